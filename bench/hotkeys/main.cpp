// SPDX-License-Identifier: GPL-3.0-or-later
// Hot-key latency: Ctrl+Shift+X typed through XTest on a second X connection, from the
// press to the Start/Stop action toggling a button caption, 50 times. Reference: one
// X request round trip (GetInputFocus) from the typing connection, from the request to
// the reply, from the same connection (what the server alone costs).
// Idle cost: the process's CPU over 10 s with the pump waiting, beside a plain Qt
// event loop idling for the same time.
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include "benchkit.h"
#include "fakes/xvfbsession.h"
#include "keykit.h"
#include "platform/x11/x11hotkeyservice.h"

namespace {
using namespace keybench;
constexpr int kIdleSeconds = 10;

// Runs on its own thread with its own connection, like another program would.
void typist(std::vector<double>& keyMs, std::vector<double>& refMs, double& idleCpu) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    xcb_key_symbols_t* syms = xcb_key_symbols_alloc(c);
    auto code = [&](xcb_keysym_t s) {
        xcb_keycode_t* k = xcb_key_symbols_get_keycode(syms, s);
        const xcb_keycode_t r = k ? k[0] : 0;
        std::free(k);
        return r;
    };
    const xcb_keycode_t ctrl = code(0xffe3), shift = code(0xffe1), x = code('x');
    auto fake = [&](quint8 type, xcb_keycode_t k) {
        xcb_test_fake_input(c, type, k, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int i = 0; i < kPresses; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the pump idle
        fake(XCB_KEY_PRESS, ctrl);
        fake(XCB_KEY_PRESS, shift);
        xcb_flush(c);
        // A person holds the modifiers well before the letter; without this gap the
        // modifier state events wake the pump just as the letter arrives, and a key
        // landing in the pump's own event processing is dropped by design.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const qint64 t0 = now();
        fake(XCB_KEY_PRESS, x);
        xcb_flush(c);
        const bool acted = waitFor(i + 1);
        fake(XCB_KEY_RELEASE, x);
        fake(XCB_KEY_RELEASE, shift);
        fake(XCB_KEY_RELEASE, ctrl);
        xcb_flush(c);
        if (acted) {
            keyMs.push_back(double(actionNs - t0) / 1e6);
        } else {
            std::fprintf(stderr, "press %d was lost\n", i + 1);
            actions = i + 1;  // count it and go on
        }

        const qint64 t1 = now();
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        refMs.push_back(double(now() - t1) / 1e6);
    }
    const double before = bench::cpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
    idleCpu = bench::cpuSeconds() - before;
    xcb_key_symbols_free(syms);
    xcb_disconnect(c);
}
}  // namespace

int main(int argc, char** argv) {
    qunsetenv("DISPLAY");  // always our own server, never the desktop in use
    XvfbSession display;
    if (!display.ok()) {
        std::fprintf(stderr, "bench_hotkeys: %s\n", qPrintable(display.skipReason));
        return 1;
    }
    QApplication app(argc, argv);
    QPushButton button(QStringLiteral("Start (Ctrl+Shift+X)"));
    button.show();

    // Reference idle: a plain event loop with nothing to do.
    double refIdle = 0;
    {
        QEventLoop loop;
        QTimer::singleShot(kIdleSeconds * 1000, &loop, &QEventLoop::quit);
        const double before = bench::cpuSeconds();
        loop.exec();
        refIdle = bench::cpuSeconds() - before;
    }

    X11HotKeyService keys;
    TogglingPump toggling(keys, button);
    HotKeyPump& pump = toggling.pump;

    std::vector<double> keyMs, refMs;
    double pumpIdle = 0;
    std::thread t([&] {
        typist(keyMs, refMs, pumpIdle);
        QMetaObject::invokeMethod(
            &app, [&] { pump.StopPump = true; }, Qt::QueuedConnection);
    });
    // Form1's Timer1 may stay enabled at 10 ms; --repeating-timer1 shows what that costs.
    QTimer timer1;
    timer1.setInterval(10);
    timer1.setSingleShot(!app.arguments().contains(QStringLiteral("--repeating-timer1")));
    int ticks = 0;
    QObject::connect(&timer1, &QTimer::timeout, [&] {
        ++ticks;
        pump.Timer1_Timer();
    });
    timer1.start();
    QTimer::singleShot(20, &app, &QApplication::quit);  // runs once the pump has stopped
    app.exec();
    t.join();

    const bench::Stats k = bench::stats(keyMs), r = bench::stats(refMs);
    std::printf("hot key to caption change (%zu of %d presses): median %.2f ms, worst %.2f ms\n",
                keyMs.size(), kPresses, k.median, k.high);
    std::printf("  reference, one X request round trip: median %.2f ms, worst %.2f ms\n", r.median,
                r.high);
    std::printf("idle CPU over %d s: pump %.3f%% of one core; reference plain event loop %.3f%%\n",
                kIdleSeconds, 100.0 * pumpIdle / kIdleSeconds, 100.0 * refIdle / kIdleSeconds);
    std::printf("Timer1 ticks: %d\n", ticks);
    return 0;
}
