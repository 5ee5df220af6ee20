// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "playback/iplayercontrol.h"

// A player that records what a remote asked of it and shows a state set by the test.
class FakePlayerControl : public IPlayerControl {
public:
    PlayerState shown;
    qint64 position = 0;
    QStringList calls;  // "request:N", "open:a|b", "volume:x", "rate:x", "shuffle:x", "position:x"
    bool refuse = false;

    PlayerState state() const override { return shown; }
    qint64 positionUs() const override { return position; }
    bool request(PlayerAction action) override {
        calls << QStringLiteral("request:%1").arg(int(action));
        return !refuse;
    }
    OpenResult open(const QStringList& paths) override {
        calls << QStringLiteral("open:") + paths.join('|');
        return OpenResult::Taken;
    }
    void setVolume(double v) override { calls << QStringLiteral("volume:%1").arg(v); }
    void setShuffle(bool s) override { calls << QStringLiteral("shuffle:%1").arg(s); }
    void setRate(double r) override { calls << QStringLiteral("rate:%1").arg(r); }
    void setPositionUs(qint64 p) override { calls << QStringLiteral("position:%1").arg(p); }
    void whenChanged(std::function<void()> notify) override { changed = std::move(notify); }
    std::function<void()> changed;  // what the remote asked to be told
};
