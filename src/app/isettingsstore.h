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

inline QString readSetting(const ISettingsStore& store, const QString& key,
                           const QString& fallback = QString()) {
    return store.read(key).value_or(fallback);
}
