// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the two hot-key benchmarks share: the clock, the count of actions run, and a pump
// whose start/stop action toggles a Start/Stop button's caption, as the window's does.

#include <atomic>
#include <chrono>
#include <thread>

#include <QPushButton>

#include "app/hotkeypump.h"
#include "core/busystate.h"
#include "fakes/fakemessageboxes.h"

namespace keybench {

using Clock = std::chrono::steady_clock;
inline constexpr int kPresses = 50;
inline std::atomic<qint64> actionNs{0};  // when the last action ran
inline std::atomic<int> actions{0};      // how many have run

inline qint64 now() {
    return Clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
}

// Waits up to 2 s for the `value`th action; false when it did not come.
inline bool waitFor(int value) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (actions.load() < value && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    return actions.load() >= value;
}

// The pump over `keys`; each start/stop toggles `button` between Start and Stop.
struct TogglingPump {
    TogglingPump(IHotKeyService& keys, QPushButton& button)
        : pump(keys, boxes, busy, toggling(button, playing)) {
        boxes.printErrors = true;
    }
    static HotKeyPump::Actions toggling(QPushButton& button, bool& playing) {
        HotKeyPump::Actions a;
        a.startStop = [&button, &playing] {
            actionNs = now();
            playing = !playing;
            button.setText(playing ? QStringLiteral("Stop (Ctrl+Shift+X)")
                                   : QStringLiteral("Start (Ctrl+Shift+X)"));
            ++actions;
        };
        return a;
    }
    FakeMessageBoxes boxes;
    BusyState busy;
    bool playing = false;
    HotKeyPump pump;
};

}  // namespace keybench
