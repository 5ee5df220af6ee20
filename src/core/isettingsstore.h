// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>

// The per-user settings store of application "Varnelta", section "Quaverly".
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    // The stored text, or nullopt when the key is absent; throws Failure when the value
    // is there but cannot be read, so that it is never taken for a missing one.
    virtual std::optional<QString> read(const QString& key) const = 0;
    // Creates or replaces the value at once; throws Failure when it cannot be written.
    virtual void save(const QString& key, const QString& value) = 0;
};

// The keys of every value the program keeps.
namespace SettingKey {
inline const QString Files = QStringLiteral("Files");
inline const QString Option1 = QStringLiteral("Option1");
inline const QString Option2 = QStringLiteral("Option2");
inline const QString VolumeLevel = QStringLiteral("Volume Level");
inline const QString LastFolder = QStringLiteral("LastFolder");
inline const QString Snapshot = QStringLiteral("Snapshot");
}  // namespace SettingKey

inline QString readSetting(const ISettingsStore& store, const QString& key,
                           const QString& fallback = QString()) {
    return store.read(key).value_or(fallback);
}
