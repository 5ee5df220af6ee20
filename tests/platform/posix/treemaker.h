// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// Builds real trees with raw byte names (so names that are not UTF-8 can be made).
class TreeMaker {
public:
    TreeMaker() {
        // Readable by the unprivileged user that some tests run as.
        ::chmod(m_dir.path().toLocal8Bit().constData(), 0755);
    }
    ~TreeMaker() {
        // QDir cannot remove names that are not UTF-8; rm can.
        QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), m_dir.path()});
    }
    QString root() const { return m_dir.path(); }
    QByteArray rootBytes() const { return QFile::encodeName(m_dir.path()); }
    QByteArray at(const QByteArray& rel) const { return rootBytes() + '/' + rel; }

    bool dir(const QByteArray& rel, mode_t mode = 0755) {
        QByteArray path = rootBytes();
        bool ok = true;
        for (const QByteArray& part : rel.split('/')) {
            path += '/' + part;
            if (::mkdir(path.constData(), 0755) != 0 && errno != EEXIST) ok = false;
        }
        return ok && ::chmod(path.constData(), mode) == 0;
    }
    bool file(const QByteArray& rel, mode_t mode = 0644) {
        const int slash = rel.lastIndexOf('/');
        if (slash > 0 && !dir(rel.left(slash))) return false;
        const int fd = ::open(at(rel).constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0) return false;
        ::close(fd);
        return ::chmod(at(rel).constData(), mode) == 0;
    }
    bool link(const QByteArray& target, const QByteArray& rel) {
        return ::symlink(target.constData(), at(rel).constData()) == 0;
    }
    bool fifo(const QByteArray& rel) { return ::mkfifo(at(rel).constData(), 0644) == 0; }
    bool socket(const QByteArray& rel) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = at(rel);
        if (size_t(path.size()) >= sizeof(address.sun_path)) return false;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        ::close(fd);
        return ok;
    }

private:
    QTemporaryDir m_dir;
};

// Runs this test program again as the unprivileged user 65534 with `args`, giving
// its standard output; empty with a reason when that cannot be done here.
inline QByteArray runAsNobody(const QStringList& args, QString* why) {
    if (::geteuid() != 0) {
        *why = QStringLiteral("needs root to switch to uid 65534");
        return {};
    }
    QProcess p;
    p.start(QStringLiteral("setpriv"),
            QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                        QCoreApplication::applicationFilePath()} +
                args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *why = QStringLiteral("setpriv run failed: ") +
               QString::fromLocal8Bit(p.readAllStandardError());
        return {};
    }
    return p.readAllStandardOutput();
}
