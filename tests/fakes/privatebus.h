// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>

#include <QProcess>
#include <QStandardPaths>
#include <QString>

// A session bus of the test's own: dbus-daemon started here and ended with the object.
// Make it before anything opens the session bus (before the application object for an
// in-process test), or hand `address` to the programs a test starts.
class PrivateBus {
public:
    explicit PrivateBus(bool exportAddress) {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            skipReason = QStringLiteral("dbus-daemon is not installed");
            return;
        }
        QProcess p;
        p.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--print-address=1"),
                 QStringLiteral("--print-pid=1"), QStringLiteral("--fork")});
        if (!p.waitForFinished(10000) || p.exitCode() != 0) {
            skipReason = QStringLiteral("dbus-daemon did not start: ") +
                         QString::fromLocal8Bit(p.readAllStandardError());
            return;
        }
        const QStringList lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n');
        address = lines.value(0).trimmed();
        m_pid = lines.value(1).trimmed().toLongLong();
        if (exportAddress) qputenv("DBUS_SESSION_BUS_ADDRESS", address.toLocal8Bit());
    }
    ~PrivateBus() {
        if (m_pid > 0) ::kill(pid_t(m_pid), SIGTERM);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool ok() const { return skipReason.isEmpty(); }
    QString address;
    QString skipReason;

private:
    qint64 m_pid = 0;
};
