// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/signalwatcher.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include <fcntl.h>
#include <unistd.h>

#include <QLoggingCategory>
#include <QSocketNotifier>

Q_LOGGING_CATEGORY(lcSignals, "quaverly.app.signals")

namespace {
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
// The handler can reach nothing but plain globals; these belong to the live watcher.
volatile sig_atomic_t g_writeFd = -1;
int g_readFd = -1;
struct sigaction g_previous[std::size(kSignals)];

extern "C" void onSignal(int signo) {
    const int saved = errno;
    const int fd = g_writeFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signo);
        [[maybe_unused]] ssize_t n = ::write(fd, &byte, 1);  // full pipe: already pending
    }
    errno = saved;
}
}  // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    if (g_writeFd >= 0) {
        qCWarning(lcSignals) << "a second signal watcher was made and watches nothing (a fault "
                                "of the program: please report it)";
        return;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(lcSignals).noquote()
            << QStringLiteral(
                   "termination signals cannot be watched: no pipe could be made "
                   "(%1); a signal then ends the program without saving the list. "
                   "Close the window to keep it.")
                   .arg(QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    g_readFd = fds[0];
    g_writeFd = fds[1];
    m_notifier = new QSocketNotifier(g_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::drain);

    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &sa, &g_previous[i]);
}

SignalWatcher::~SignalWatcher() {
    if (!m_notifier) return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    const int w = g_writeFd;
    g_writeFd = -1;
    delete m_notifier;
    ::close(w);
    ::close(g_readFd);
    g_readFd = -1;
}

void SignalWatcher::drain() {
    unsigned char buffer[64];
    int last = 0;
    ssize_t n;
    while ((n = ::read(g_readFd, buffer, sizeof buffer)) > 0) last = buffer[n - 1];
    // Signals that arrive while the closing handling runs (it processes events) are
    // part of the same request: the handling is not entered twice.
    if (last == 0 || m_handling) return;
    qCInfo(lcSignals).noquote() << QStringLiteral(
                                       "closing on signal %1 (%2), as the window's "
                                       "close button would")
                                       .arg(last)
                                       .arg(QString::fromLocal8Bit(strsignal(last)));
    m_handling = true;
    Q_EMIT closeRequested(last);
    m_handling = false;
}
