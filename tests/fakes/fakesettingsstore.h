// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <optional>
#include <utility>

#include <QString>

#include "core/failure.h"
#include "core/isettingsstore.h"

// An in-memory settings store. Saves can be made to fail, for every key or for one,
// and are counted per key (failed saves are not counted and change nothing). A key can
// be made unreadable: reading it throws, as a value that is there but cannot be read.
class FakeSettingsStore : public ISettingsStore {
public:
    FakeSettingsStore() = default;
    explicit FakeSettingsStore(std::map<QString, QString> values) : m_values(std::move(values)) {}

    std::optional<QString> read(const QString& key) const override {
        if (m_unreadable.count(key) != 0) throw Failure(QStringLiteral("Permission denied"));
        const auto it = m_values.find(key);
        if (it == m_values.end()) return std::nullopt;
        return it->second;
    }
    void save(const QString& key, const QString& value) override {
        if (m_failAll || m_failing.count(key) != 0) {
            throw Failure(QStringLiteral("Cannot save the setting \"%1\"").arg(key));
        }
        m_values[key] = value;
        ++m_saves[key];
    }

    // Sets a value without counting it as a save (the state left by an earlier run).
    void set(const QString& key, const QString& value) { m_values[key] = value; }
    void remove(const QString& key) { m_values.erase(key); }
    bool contains(const QString& key) const { return m_values.count(key) != 0; }
    QString value(const QString& key) const {
        const auto it = m_values.find(key);
        return it == m_values.end() ? QString() : it->second;
    }
    const std::map<QString, QString>& values() const { return m_values; }

    void setFailSaves(bool fail) { m_failAll = fail; }
    void setFailSaves(const QString& key, bool fail) {
        if (fail) {
            m_failing[key] = true;
        } else {
            m_failing.erase(key);
        }
    }

    void setUnreadable(const QString& key, bool unreadable) {
        if (unreadable) {
            m_unreadable[key] = true;
        } else {
            m_unreadable.erase(key);
        }
    }

    int saveCount(const QString& key) const {
        const auto it = m_saves.find(key);
        return it == m_saves.end() ? 0 : it->second;
    }
    void resetCounts() { m_saves.clear(); }

private:
    std::map<QString, QString> m_values;
    std::map<QString, bool> m_failing;
    std::map<QString, bool> m_unreadable;
    std::map<QString, int> m_saves;
    bool m_failAll = false;
};
