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
class XvfbSession {
public:
    XvfbSession() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
            skipReason = QStringLiteral("xdotool is not installed");
            return;
        }
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
                skipReason = QStringLiteral("no DISPLAY and Xvfb is not installed");
                return;
            }
            if (!startXvfb()) {
                skipReason = QStringLiteral("Xvfb did not start");
                return;
            }
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    ~XvfbSession() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    bool ok() const { return skipReason.isEmpty(); }
    QString skipReason;

private:
    // Xvfb writes its display number to the pipe once it accepts connections.
    bool startXvfb() {
        for (const char* display :
             {static_cast<const char*>(":13"), static_cast<const char*>(nullptr)}) {
            int fds[2];
            if (::pipe(fds) != 0) return false;
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::close(fds[0]);
                ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the test
                const std::string fd = std::to_string(fds[1]);
                const int null = ::open("/dev/null", O_WRONLY);
                ::dup2(null, 2);
                // -noreset: by default the server resets when its last client leaves, and
                // the check below is a client; a connection made during the reset fails.
                if (display)
                    ::execlp("Xvfb", "Xvfb", display, "-displayfd", fd.c_str(), "-screen", "0",
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
                const QByteArray name = ":" + QByteArray(buf).trimmed();
                qputenv("DISPLAY", name);
                return waitForServer(name);
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

// Runs xdotool (synthetic input through XTEST) and waits for it.
inline void xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
}
