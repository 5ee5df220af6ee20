// SPDX-License-Identifier: GPL-3.0-or-later
// Measures, in one run, what files that cannot be played cost:
//  1. a good stream behind 5,000 empty ID3 tags: time until the engine has played or
//     given it up, with the peak threads and memory of this process, beside gst-play-1.0
//     on the same file (given 5 s at most);
//  2. ten unplayable files and one good one in list order, moved on by the monitor's rule
//     (a failed file counts as ended at the next 100 ms tick): time to the good one's sound,
//     peak threads and memory, beside gst-play-1.0 playing the same list;
//  3. the share of one core used while unplayable files are passed over, one every tick;
//  4. the longest time the event loop did not answer during 100 file changes (one file in
//     ten unplayable), beside the same loop with no file changes.
// Output goes to a clock-synchronised fakesink: no sound device is needed.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include "benchkit.h"
#include "enginekit.h"
#include "fakes/aacfixture.h"
#include "fakes/processpeak.h"
#include "platform/gst/gstmediaengine.h"
#include "platform/gst/playbinengine.h"
#include "playback/clsmusic.h"

extern char** environ;

namespace {

constexpr int kTickMs = 100;
constexpr int kChanges = 100;

struct Figure {
    double ms = -1;  // < 0: did not happen in the time given
    long threads = 0;
    long growthMiB = 0;
};

void print(const char* what, const Figure& f) {
    if (f.ms < 0)
        std::printf("  %-28s did not finish in time", what);
    else
        std::printf("  %-28s %8.0f ms", what, f.ms);
    std::printf(", peak %ld threads, %+ld MiB\n", f.threads, f.growthMiB);
}

// Plays `files` in order with the monitor's rule until one sounds or the last one has
// failed; `limitMs` at most.
Figure ours(const QStringList& files, int limitMs) {
    PlaybinEngine engine(QStringLiteral("fakesink sync=true"));
    engine.initialise();
    clsMusic music(engine);
    ProcessPeak peak(5);
    QElapsedTimer clock;
    clock.start();
    Figure figure;
    int next = 0;
    const auto start = [&] {
        music.setFileName(files[next++]);
        music.setPosition(0);
        music.Play();
    };
    QEventLoop loop;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const bool givenUp = !music.Failure().isEmpty() && next == files.size();
        if (music.Position() > 0 || givenUp) {
            figure.ms = double(clock.nsecsElapsed()) / 1e6;
            loop.quit();
        }
    });
    QTimer monitor;
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        if (!music.Failure().isEmpty() && next < files.size()) start();
    });
    start();
    sampler.start(5);
    monitor.start(kTickMs);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    figure.threads = peak.threads();
    figure.growthMiB = peak.growthKiB() / 1024;
    return figure;
}

// gst-play-1.0 on the same files, until it ends or `limitMs` pass; the time is its whole
// run less `tailMs` (the good file's own length).
Figure reference(const QStringList& files, int limitMs, double tailMs) {
    Figure figure;
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gst-play-1.0"));
    if (program.isEmpty()) return figure;
    QList<QByteArray> args{QFile::encodeName(program), "--audiosink=fakesink sync=true",
                           "--no-interactive", "-q"};
    for (const QString& f : files) args << QFile::encodeName(f);
    std::vector<char*> argv;
    for (QByteArray& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    QElapsedTimer clock;
    clock.start();
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return figure;
    ProcessPeak peak(0, QString::number(pid));
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        peak.sample();
        if (clock.elapsed() > limitMs) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            figure.threads = peak.threads();
            figure.growthMiB = peak.rssKiB() / 1024;
            return figure;
        }
        usleep(5000);
    }
    figure.ms = double(clock.nsecsElapsed()) / 1e6 - tailMs;
    figure.threads = peak.threads();
    figure.growthMiB = peak.rssKiB() / 1024;
    return figure;
}

// The longest gap between two turns of the event loop while `changes` files are started,
// one every tick; with no files, the loop's own jitter.
double longestStallMs(const QStringList& files, int changes) {
    PlaybinEngine engine(QStringLiteral("fakesink sync=true"));
    engine.initialise();
    clsMusic music(engine);
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed();
    qint64 worst = 0;
    QEventLoop loop;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    int done = 0;
    QTimer changer;
    QObject::connect(&changer, &QTimer::timeout, [&] {
        if (done == changes) {
            loop.quit();
            return;
        }
        if (!files.isEmpty()) {
            music.setFileName(files[done % files.size()]);
            music.setPosition(0);
            music.Play();
        }
        ++done;
    });
    heartbeat.start(1);
    changer.start(kTickMs);
    loop.exec();
    return double(worst) / 1e6;
}

// The share of one core used while the monitor's rule passes over unplayable files, one
// every tick, for `seconds`.
double cpuShareOverUnplayable(const QStringList& bad, int seconds) {
    PlaybinEngine engine(QStringLiteral("fakesink sync=true"));
    engine.initialise();
    clsMusic music(engine);
    int next = 0;
    const auto start = [&] {
        music.setFileName(bad[next++ % bad.size()]);
        music.setPosition(0);
        music.Play();
    };
    QTimer monitor;
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        if (!music.Failure().isEmpty()) start();
    });
    const double before = bench::cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    start();
    monitor.start(kTickMs);
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = bench::cpuSeconds() - before;
    std::printf("  (%d files passed over)\n", next);
    return cpu / (double(clock.nsecsElapsed()) / 1e9);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!startMediaFramework()) return 1;
    QString error;
    QTemporaryDir dir;
    const QString tags = dir.filePath(QStringLiteral("tags.aac"));
    const QString good = dir.filePath(QStringLiteral("good.aac"));
    const QString other = dir.filePath(QStringLiteral("other.aac"));
    QStringList bad;
    const QStringList kinds{"text", "random", "cut",  "png",  "video",
                            "id3",  "empty",  "jpeg", "text", "random"};
    bool ok = writeBadFile(tags, QStringLiteral("tags"), &error) &&
              writeAacFile(good, 1.0, 440, &error) && writeAacFile(other, 1.0, 660, &error);
    for (int i = 0; ok && i < kinds.size(); ++i) {
        bad << dir.filePath(QStringLiteral("bad%1.aac").arg(i));
        ok = writeBadFile(bad.last(), kinds[i], &error);
    }
    if (!ok) {
        std::fprintf(stderr, "cannot write test files: %s\n", qPrintable(error));
        return 1;
    }

    std::printf("a good stream behind 5,000 empty tags, until it sounds or is given up:\n");
    print("quaverly engine", ours({tags}, 10000));
    print("gst-play-1.0 (reference)", reference({tags}, 5000, 0));

    std::printf("ten unplayable files, then a good one, until the good one sounds:\n");
    print("quaverly engine and monitor", ours(bad + QStringList{good}, 30000));
    print("gst-play-1.0 (reference)", reference(bad + QStringList{good}, 30000, 1000));

    std::printf("passing over unplayable files, one every tick, for 10 s:\n");
    const double share = cpuShareOverUnplayable(bad, 10);
    std::printf("  %.1f %% of one core\n", 100 * share);

    QStringList mix;
    for (int i = 0; i < 10; ++i) mix << (i == 9 ? bad[i] : i % 2 ? good : other);
    const double stall = longestStallMs(mix, kChanges);
    const double idle = longestStallMs({}, kChanges);
    std::printf(
        "longest time the event loop did not answer over %d file changes: %.1f ms "
        "(the same loop with no changes: %.1f ms)\n",
        kChanges, stall, idle);
    return 0;
}
