// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/filesettingsstore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

#include "core/failure.h"
#include "core/product.h"

Q_LOGGING_CATEGORY(lcSettings, "quaverly.platform.settings")

namespace {

struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
};

// "Cannot read the setting "Files" in /home/u/.config/Varnelta/Quaverly: Permission denied"
Failure cannot(const char* verb, const QString& key, const QString& folder, const QString& why) {
    return Failure(QStringLiteral("Cannot %1 the setting \"%2\" in %3: %4")
                       .arg(QLatin1String(verb), key, folder, why));
}

Failure cannot(const char* verb, const QString& key, const QString& folder, int err) {
    return cannot(verb, key, folder, QString::fromLocal8Bit(std::strerror(err)));
}

// Writes all of `bytes`; 0, or the error that stopped it (a short write that makes no
// progress is a full file system).
int writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;
        done += n;
    }
    return 0;
}
}  // namespace

FileSettingsStore::FileSettingsStore() : FileSettingsStore(defaultFolder()) {}

FileSettingsStore::FileSettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString FileSettingsStore::defaultFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    // A relative $XDG_CONFIG_HOME is invalid and ignored: used as it stands, it would
    // make the settings depend on the folder the program was started from.
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + kOrganisationName + QLatin1Char('/') + kProductName;
}

bool FileSettingsStore::isValidKey(const QString& key) {
    return !key.isEmpty() && key != QLatin1String(".") && key != QLatin1String("..") &&
           !key.contains(QLatin1Char('/')) && !key.contains(QChar(u'\0'));
}

QString FileSettingsStore::pathFor(const QString& key) const {
    return m_folder + QLatin1Char('/') + key;
}

std::optional<QString> FileSettingsStore::read(const QString& key) const {
    if (!isValidKey(key)) {
        qCWarning(lcSettings).noquote()
            << QStringLiteral(
                   "the setting '%1' was not read: a key is a plain file name; this "
                   "is a fault of the program, please report it.")
                   .arg(key);
        return std::nullopt;
    }
    const int fd = ::open(QFile::encodeName(pathFor(key)).constData(),
                          O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        // Only a name that is not there is an absent key; anything else is a value
        // that exists and must not be taken for a missing one.
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        throw cannot("read", key, m_folder, errno);
    }
    const FdCloser closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0) throw cannot("read", key, m_folder, errno);
    if (S_ISDIR(st.st_mode)) throw cannot("read", key, m_folder, EISDIR);
    if (!S_ISREG(st.st_mode)) {
        throw cannot("read", key, m_folder, QStringLiteral("not a regular file"));
    }
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            throw cannot("read", key, m_folder, errno);
        }
        bytes.append(buffer, got);
    }
    // fromUtf8 replaces each invalid sequence with U+FFFD and keeps everything else.
    return QString::fromUtf8(bytes);
}

// The key's file already holds exactly `bytes` and could be replaced: saving the same
// value again would only wait for the disk (the load step stores the play order again
// at every start). A folder that cannot be written still fails as before.
bool FileSettingsStore::holds(const QString& key, const QByteArray& bytes) const {
    struct stat st {};
    if (::stat(QFile::encodeName(pathFor(key)).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_size != bytes.size() || ::access(QFile::encodeName(m_folder).constData(), W_OK) != 0)
        return false;
    QFile file(pathFor(key));
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes;
}

void FileSettingsStore::save(const QString& key, const QString& value) {
    if (!isValidKey(key)) {
        throw Failure(QStringLiteral("Invalid setting name \"%1\"").arg(key));
    }
    const QByteArray bytes = value.toUtf8();
    if (holds(key, bytes)) return;
    if (!QDir().mkpath(m_folder)) {
        throw Failure(QStringLiteral("Cannot create the settings folder %1").arg(m_folder));
    }
    QSaveFile file(pathFor(key));
    // Never fall back to writing the old file in place: a torn value is worse than
    // a failed save.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        throw cannot("save", key, m_folder, file.errorString());
    }
    // The bytes go to the new file's descriptor directly and every error is checked
    // here: QSaveFile buffers small writes and commits even when flushing them failed
    // (a full disk then left an empty value). On any error the QSaveFile is destroyed
    // uncommitted, which removes the new file and leaves the old value as it was.
    if (const int err = writeAll(file.handle(), bytes); err != 0)
        throw cannot("save", key, m_folder, err);
    if (::fdatasync(file.handle()) != 0) throw cannot("save", key, m_folder, errno);
    if (!file.commit()) {
        throw cannot("save", key, m_folder, file.errorString());
    }
}
