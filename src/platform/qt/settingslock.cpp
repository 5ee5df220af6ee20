// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/settingslock.h"

#include <QDir>
#include <QLockFile>

SettingsLock::SettingsLock(const QString& folder)
    : m_folder(folder), m_lock(std::make_unique<QLockFile>(path())) {
    m_lock->setStaleLockTime(0);  // stale only when its process has gone
}

SettingsLock::~SettingsLock() = default;

QString SettingsLock::path() const {
    return m_folder + QStringLiteral("/.lock");
}

bool SettingsLock::tryLock(QString* message) {
    QDir().mkpath(m_folder);
    if (m_lock->tryLock(0)) return true;
    if (m_lock->error() != QLockFile::LockFailedError) {
        if (message)
            *message = QStringLiteral(
                           "cannot create the lock %1; the settings may not be saved "
                           "either")
                           .arg(path());
        return true;
    }
    qint64 pid = 0;
    QString host;
    QString app;
    m_lock->getLockInfo(&pid, &host, &app);
    if (message)
        *message = QStringLiteral(
                       "Quaverly is already running (process %1 on %2) with the settings in %3. "
                       "Use that copy, or close it first. If no copy runs, delete %4.")
                       .arg(pid)
                       .arg(host, m_folder, path());
    return false;
}

void SettingsLock::unlock() {
    m_lock->unlock();
}
