// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QStringList>

#include "core/failure.h"
#include "core/imessageboxes.h"
#include "core/isettingsstore.h"

// Records every box and answers questions with `answer`.
class RecordingBoxes : public IMessageBoxes {
public:
    struct Box {
        QString kind, title, text;
    };
    QList<Box> boxes;
    bool answer = false;

    void information(const QString& title, const QString& text) override {
        boxes.append({QStringLiteral("information"), title, text});
    }
    bool question(const QString& title, const QString& text) override {
        boxes.append({QStringLiteral("question"), title, text});
        return answer;
    }
    void error(const QString& title, const QString& text) override {
        boxes.append({QStringLiteral("error"), title, text});
    }
};

// Settings in memory; `failSaves` makes every save throw as a full disk would.
class MemoryStore : public ISettingsStore {
public:
    QHash<QString, QString> values;
    bool failSaves = false;

    std::optional<QString> read(const QString& key) const override {
        auto it = values.find(key);
        if (it == values.end()) return std::nullopt;
        return *it;
    }
    void save(const QString& key, const QString& value) override {
        if (failSaves) throw Failure(QStringLiteral("Permission denied"));
        values.insert(key, value);
    }
};
