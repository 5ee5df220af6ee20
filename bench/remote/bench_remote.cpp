// SPDX-License-Identifier: GPL-3.0-or-later
// Round trip of a remote command: from starting `quaverly --play-pause` to the running
// copy signalling its new PlaybackStatus on the bus, 30 times. Reference: the same with
// `playerctl --player=quaverly play-pause`, against the same copy in the same run.
// Runs on a private session bus and, without $DISPLAY, a private Xvfb.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include "benchkit.h"
#include "fakes/privatebus.h"
#include "fakes/xvfbsession.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kRounds = 30;
const QString kProgram = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/quaverly");
}  // namespace

// Quits its loop when the player signals a change of PlaybackStatus.
class Watcher : public QObject {
    Q_OBJECT
public:
    QEventLoop loop;
public Q_SLOTS:
    void onChanged(const QString&, const QVariantMap& props, const QStringList&) {
        if (props.contains(QStringLiteral("PlaybackStatus"))) loop.quit();
    }
};

namespace {
// Milliseconds from the start of the command to the signal, or -1.
double roundTrip(Watcher& w, const QString& program, const QStringList& args,
                 const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    bool timedOut = false;
    QTimer::singleShot(10000, &w.loop, [&] {
        timedOut = true;
        w.loop.quit();
    });
    const auto start = Clock::now();
    p.start(program, args);
    w.loop.exec();
    const auto end = Clock::now();
    p.waitForFinished(10000);
    return timedOut ? -1 : std::chrono::duration<double, std::milli>(end - start).count();
}

void report(const char* what, const std::vector<double>& ms) {
    const bench::Stats s = bench::stats(ms);
    std::printf("%-34s median %7.1f ms  mean %7.1f ms  worst %7.1f ms\n", what, s.median, s.mean,
                s.high);
}
}  // namespace

int main(int argc, char** argv) {
    XvfbSession display;
    PrivateBus bus(true);
    if (!display.ok() || !bus.ok()) {
        std::fprintf(stderr, "bench_remote: %s\n",
                     qPrintable(display.ok() ? bus.skipReason : display.skipReason));
        return 1;
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir config;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    env.insert(QStringLiteral("QUAVERLY_AUDIO_SINK"), QStringLiteral("fakesink sync=true"));

    Watcher watcher;
    QDBusConnection::sessionBus().connect(QString(), QStringLiteral("/org/mpris/MediaPlayer2"),
                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                          QStringLiteral("PropertiesChanged"), &watcher,
                                          SLOT(onChanged(QString, QVariantMap, QStringList)));

    // The running copy, playing the samples.
    QProcess player;
    player.setProcessEnvironment(env);
    player.start(kProgram, {QStringLiteral(QUAVERLY_BINARY_DIR "/bin/Samples")});
    if (roundTrip(watcher, QStringLiteral("true"), {}, env) < 0) {
        std::fprintf(stderr, "bench_remote: the player did not start playing\n");
        return 1;
    }

    std::vector<double> ours, reference;
    for (int i = 0; i < kRounds; ++i) {
        ours.push_back(roundTrip(watcher, kProgram, {QStringLiteral("--play-pause")}, env));
        reference.push_back(
            roundTrip(watcher, QStringLiteral("playerctl"),
                      {QStringLiteral("--player=quaverly"), QStringLiteral("play-pause")}, env));
    }
    if (std::count(ours.begin(), ours.end(), -1.0) +
            std::count(reference.begin(), reference.end(), -1.0) >
        0) {
        std::fprintf(stderr, "bench_remote: a command was not seen within 10 s\n");
        return 1;
    }
    std::printf("%d rounds each, from the command's start to PlaybackStatus on the bus:\n",
                kRounds);
    report("quaverly --play-pause", ours);
    report("playerctl play-pause (reference)", reference);
    QProcess quit;
    quit.setProcessEnvironment(env);
    quit.start(kProgram, {QStringLiteral("--quit")});
    quit.waitForFinished(10000);
    player.waitForFinished(10000);
    return 0;
}
#include "bench_remote.moc"
