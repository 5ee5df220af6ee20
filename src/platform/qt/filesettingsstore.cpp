#include "platform/qt/filesettingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>
#include <QStandardPaths>

#include "app/failure.h"

Q_LOGGING_CATEGORY(lcSettings, "quaverly.platform.settings")

namespace {
const QString kApplication = QStringLiteral("Varnelta");
const QString kSection = QStringLiteral("Quaverly");
}  // namespace

FileSettingsStore::FileSettingsStore() : FileSettingsStore(defaultFolder()) {}

FileSettingsStore::FileSettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString FileSettingsStore::defaultFolder() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QLatin1Char('/') + kApplication + QLatin1Char('/') + kSection;
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
        qCWarning(lcSettings) << "refusing to read the key" << key;
        return std::nullopt;
    }
    const QString path = pathFor(key);
    const QFileInfo info(path);
    if (!info.exists()) return std::nullopt;
    if (info.isDir()) {
        qCWarning(lcSettings) << "the setting" << key << "is a folder; reading it as absent";
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcSettings) << "cannot read the setting" << key << ":" << file.errorString();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        qCWarning(lcSettings) << "reading the setting" << key
                              << "stopped early:" << file.errorString();
    }
    // fromUtf8 replaces each invalid sequence with U+FFFD and keeps everything else.
    return QString::fromUtf8(bytes);
}

// The key's file already holds exactly `bytes` and could be replaced: saving the same
// value again would only wait for the disk (the load step stores the play order again
// at every start). A folder that cannot be written still fails as before.
bool FileSettingsStore::holds(const QString& key, const QByteArray& bytes) const {
    QFile file(pathFor(key));
    if (file.size() != bytes.size() || !QFileInfo(m_folder).isWritable()) return false;
    return file.open(QIODevice::ReadOnly) && file.readAll() == bytes && file.atEnd();
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
        throw Failure(QStringLiteral("Cannot save the setting \"%1\" in %2: %3")
                          .arg(key, m_folder, file.errorString()));
    }
    // A short write leaves the file uncommitted; QSaveFile then drops its temporary file.
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        throw Failure(QStringLiteral("Cannot save the setting \"%1\" in %2: %3")
                          .arg(key, m_folder, file.errorString()));
    }
}
