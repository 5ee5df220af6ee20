// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <xcb/xcb.h>

// A display for the real-system tests, made before the application object exists:
// $DISPLAY when set, else a private Xvfb on :13 (or the first free display when :13
// is taken). Qt is pointed at xcb. Leaves `skipReason` set when no display can be had.
// With `ownServer`, always a private Xvfb, and the environment is left alone: for a test
// that runs a program on that display and then takes the display away (stop()).
class XvfbSession {
public:
    explicit XvfbSession(bool ownServer = false) {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            skipReason = QStringLiteral("xdotool is not installed");
            return;
        }
        if (!ownServer && !qEnvironmentVariableIsEmpty("DISPLAY")) {
            display = qgetenv("DISPLAY");
        } else if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
            skipReason = QStringLiteral("Xvfb is not installed");
            return;
        } else if (!startXvfb()) {
            skipReason = QStringLiteral("Xvfb did not start");
            return;
        }
        if (ownServer) return;
        qputenv("DISPLAY", display);
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    ~XvfbSession() { stop(); }
    // Ends the private server, if there is one: its clients lose their display.
    void stop() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool ok() const { return skipReason.isEmpty(); }
    QString skipReason;
    QByteArray display;  // the display's name, such as ":13"

private:
    // Xvfb writes its display number to the pipe once it accepts connections.
    bool startXvfb() {
        for (const char* wanted :
             {static_cast<const char*>(":13"), static_cast<const char*>(nullptr)}) {
            int fds[2];
            if (::pipe(fds) != 0) return false;
            // Made before the fork: the child of a process with threads may not allocate.
            const std::string fd = std::to_string(fds[1]);
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(fds[0]);
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the test
                const int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 2);
                // -noreset: by default the server resets when its last client leaves, and
                // the check below is a client; a connection made during the reset fails.
                if (wanted)
                    ::execlp("Xvfb", "Xvfb", wanted, "-displayfd", fd.c_str(), "-screen", "0",
                             "1280x1024x24", "-nolisten", "tcp", "-noreset", nullptr);
                else
                    ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0",
                             "1280x1024x24", "-nolisten", "tcp", "-noreset", nullptr);
                ::_exit(127);
            }
            ::close(fds[1]);
            // Read the whole line: closing the pipe before Xvfb has written its
            // newline would kill it with SIGPIPE.
            char buf[16] = {};
            size_t n = 0;
            while (pid > 0 && n < sizeof buf - 1 && !std::strchr(buf, '\n')) {
                const ssize_t got = ::read(fds[0], buf + n, sizeof buf - 1 - n);
                if (got <= 0) break;
                n += size_t(got);
            }
            ::close(fds[0]);
            if (n > 0) {
                m_pid = pid;
                display = ":" + QByteArray(buf).trimmed();
                return waitForServer(display);
            }
            if (pid > 0) ::waitpid(pid, nullptr, 0);
        }
        return false;
    }

    // The number can come a little before the server takes connections.
    static bool waitForServer(const QByteArray& name) {
        for (int i = 0; i < 200; ++i) {
            xcb_connection_t* c = xcb_connect(name.constData(), nullptr);
            const bool up = !xcb_connection_has_error(c);
            xcb_disconnect(c);
            if (up) return true;
            ::usleep(50 * 1000);
        }
        return false;
    }

    pid_t m_pid = -1;
};

// Runs xdotool (synthetic input through XTEST), waits for it and gives what it printed.
inline QString xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
    return QString::fromLatin1(p.readAllStandardOutput());
}
