// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>

class QLockFile;

// A lock file in the settings folder that one copy of the program holds for its run,
// so that no second copy, in this session or another one sharing the folder, saves a
// list over the first one's. A lock left by a copy that died is taken over.
class SettingsLock {
public:
    explicit SettingsLock(const QString& folder);
    ~SettingsLock();
    SettingsLock(const SettingsLock&) = delete;
    SettingsLock& operator=(const SettingsLock&) = delete;

    // False only when another live copy holds the lock; `message` then says which and
    // what to do. A folder that cannot be written is no reason to refuse: nothing can
    // be saved over anything there (`message` says so and true is returned).
    bool tryLock(QString* message);
    // Gives the lock up (also done when destroyed).
    void unlock();

    QString path() const;

private:
    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
};
