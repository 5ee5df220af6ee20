// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include <QIcon>
#include <QString>
#include <QStringList>

#include "tray/inotifyareaservice.h"

// Records every call with its arguments; a test sends reports with send().
class FakeNotifyAreaService : public INotifyAreaService {
public:
    struct Call {
        QString op;  // "add", "tip", "icon", "balloon", "remove"
        QString tip;
        QIcon icon;
        QString title;
        QString text;
        int timeoutMs = 0;
    };

    bool available() const override { return isAvailable; }
    void add(const QIcon& icon, const QString& tip) override {
        calls.push_back({QStringLiteral("add"), tip, icon, {}, {}, 0});
    }
    void modifyTip(const QString& tip) override {
        calls.push_back({QStringLiteral("tip"), tip, {}, {}, {}, 0});
    }
    void modifyIcon(const QIcon& icon) override {
        calls.push_back({QStringLiteral("icon"), {}, icon, {}, {}, 0});
    }
    void showBalloon(const QString& title, const QString& text, int timeoutMs) override {
        calls.push_back({QStringLiteral("balloon"), {}, {}, title, text, timeoutMs});
        if (onBalloon) onBalloon();
    }
    void remove() override { calls.push_back({QStringLiteral("remove"), {}, {}, {}, {}, 0}); }
    void setNotify(std::function<void(int)> onNotify) override { notify = std::move(onNotify); }

    void send(int code) {
        if (notify) notify(code);
    }
    QStringList ops() const {
        QStringList r;
        for (const Call& c : calls) r << c.op;
        return r;
    }

    bool isAvailable = true;
    std::vector<Call> calls;
    std::function<void(int)> notify;
    std::function<void()> onBalloon;  // runs after each balloon call is recorded
};
