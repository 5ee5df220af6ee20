// SPDX-License-Identifier: GPL-3.0-or-later
// Hot-key latency on a Wayland desktop: the desktop activates the start/stop shortcut
// (a stand-in back end behind the real portal front end, on a private session bus), and
// the time runs from its signal to the Start/Stop action toggling a button caption, 50
// times. Reference: one call from the same connection to the front end and its reply
// (what a trip through the bus alone costs). Compare bench_hotkeys for the X11 key.
#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "benchkit.h"
#include "fakes/fakeportaldesktop.h"
#include "fakes/privatebus.h"
#include "keykit.h"
#include "platform/portal/portalhotkeyservice.h"

namespace {
using namespace keybench;

void median(const char* what, const std::vector<double>& v) {
    const bench::Stats s = bench::stats(v);
    if (!v.empty()) std::printf("%s: median %.2f ms, worst %.2f ms\n", what, s.median, s.high);
}
}  // namespace

int main(int argc, char** argv) {
    PrivateBus bus(true);
    if (!bus.ok()) {
        std::fprintf(stderr, "bench_portal: %s\n", qPrintable(bus.skipReason));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    FakePortalDesktop desktop(bus.address);
    QTemporaryDir dir;
    QProcess frontEnd;
    if (!desktop.startFrontEnd(frontEnd, dir.path(), true)) {
        std::fprintf(stderr, "bench_portal: the portal front end did not start\n");
        return 1;
    }
    QPushButton button(QStringLiteral("Start (Ctrl+Shift+X)"));
    button.show();
    PortalHotKeyService keys(QStringLiteral("quaverly"));
    TogglingPump toggling(keys, button);
    HotKeyPump& pump = toggling.pump;

    std::vector<double> keyMs, refMs;
    std::thread presser([&] {
        while (!keys.bound()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QDBusConnection own = QDBusConnection::connectToBus(bus.address, "reference");
        for (int i = 0; i < kPresses; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let the pump idle
            const qint64 t0 = now();
            desktop.send("Activated", {"start-stop", quint64(0), QVariantMap()});
            if (waitFor(i + 1)) {
                keyMs.push_back(double(actionNs - t0) / 1e6);
            } else {
                std::fprintf(stderr, "activation %d was lost\n", i + 1);
                actions = i + 1;
            }
            const qint64 t1 = now();
            own.call(QDBusMessage::createMethodCall("org.freedesktop.portal.Desktop", "/",
                                                    "org.freedesktop.DBus.Peer", "Ping"));
            refMs.push_back(double(now() - t1) / 1e6);
        }
        QMetaObject::invokeMethod(
            &app, [&] { pump.StopPump = true; }, Qt::QueuedConnection);
    });
    QTimer::singleShot(10, &app, [&] { pump.Timer1_Timer(); });
    QTimer::singleShot(20, &app, &QApplication::quit);  // runs once the pump has stopped
    app.exec();
    presser.join();
    frontEnd.terminate();
    frontEnd.waitForFinished();
    std::printf("portal activation to caption change (%zu of %d):\n", keyMs.size(), kPresses);
    median("  activation", keyMs);
    median("  reference, one call to the front end and its reply", refMs);
    return 0;
}
