// SPDX-License-Identifier: GPL-3.0-or-later
// Measures, in one run:
//  1. CPU seconds to play 20 s of a 60 s AAC file through our engine, polled every
//     100 ms like the playback monitor, beside gst-play-1.0 playing the same file;
//  2. the gap between the end of one track and the first buffer of the next reaching
//     the sink, when the next file is started on the first 100 ms tick after the end;
//  3. the cost of one Position and one duration read, beside the raw pipeline queries.
// Output goes to a clock-synchronised fakesink: no sound device is needed.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <gst/gst.h>

#include "benchkit.h"
#include "enginekit.h"
#include "fakes/aacfixture.h"
#include "platform/gst/gstmediaengine.h"
#include "platform/gst/playbinengine.h"
#include "playback/clsmusic.h"

extern char** environ;

namespace {

constexpr int kPlaySeconds = 20;
constexpr int kTickMs = 100;
constexpr int kGapRounds = 6;
constexpr int kReads = 20000;

void runLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double ourPlaybackCpu(const QString& file) {
    PlaybinEngine engine(QStringLiteral("fakesink sync=true"));
    clsMusic music(engine);
    const double before = bench::cpuSeconds();
    music.setFileName(file);
    music.setPosition(0);
    music.Play();
    QTimer monitor;
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        if (music.duration() != 0) (void)(music.Position() == music.duration());
    });
    monitor.start(kTickMs);
    runLoopFor(kPlaySeconds * 1000);
    monitor.stop();
    const double used = bench::cpuSeconds() - before;
    music.StopPlaying();
    return used;
}

// CPU of gst-play-1.0 playing the same file for the same time; < 0 when unavailable.
double referencePlaybackCpu(const QString& file) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("gst-play-1.0"));
    if (program.isEmpty()) return -1;
    const QByteArray exe = QFile::encodeName(program);
    const QByteArray path = QFile::encodeName(file);
    char arg1[] = "--audiosink=fakesink sync=true";
    char arg2[] = "--no-interactive";
    char* argv[] = {const_cast<char*>(exe.constData()), arg1, arg2,
                    const_cast<char*>(path.constData()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    sleep(kPlaySeconds);
    kill(pid, SIGINT);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return bench::cpuSeconds(usage);
}

struct GapProbe {
    std::atomic<gint64> endedAt{0};        // EOS posted for the track that ended
    std::atomic<gint64> firstBufferAt{0};  // first buffer rendered after `armed`
    std::atomic<bool> armed{false};

    static GstBusSyncReply onMessage(GstBus*, GstMessage* msg, gpointer self) {
        if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS)
            static_cast<GapProbe*>(self)->endedAt = g_get_monotonic_time();
        return GST_BUS_PASS;
    }
    static void onHandoff(GstElement*, GstBuffer*, GstPad*, gpointer self) {
        auto* probe = static_cast<GapProbe*>(self);
        if (probe->armed.exchange(false)) probe->firstBufferAt = g_get_monotonic_time();
    }
};

struct Gaps {
    double worstMs = 0;
    double meanMs = 0;
    double loadMeanMs = 0;
};

// Each file has a chain of its own: the probe listens to each new one.
void attachProbe(PlaybinEngine& engine, GapProbe& probe) {
    GstBus* bus = gst_element_get_bus(engine.pipeline());
    gst_bus_set_sync_handler(bus, &GapProbe::onMessage, &probe, nullptr);
    gst_object_unref(bus);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(engine.audioSink()), "out");
    g_signal_connect(sink, "handoff", G_CALLBACK(&GapProbe::onHandoff), &probe);
    gst_object_unref(sink);
}

Gaps trackChangeGaps(const QString& first, const QString& second) {
    PlaybinEngine engine(QStringLiteral("fakesink name=out sync=true signal-handoffs=true"));
    GapProbe probe;
    clsMusic music(engine);
    Gaps gaps;
    int rounds = 0;
    double loadTotal = 0;
    QEventLoop loop;
    QTimer monitor;
    // The monitor's rule: on the first tick that finds the track at its end, start the next.
    QObject::connect(&monitor, &QTimer::timeout, [&] {
        if (probe.firstBufferAt != 0 && probe.endedAt != 0) {
            const double gap = double(probe.firstBufferAt - probe.endedAt) / 1000.0;
            gaps.worstMs = std::max(gaps.worstMs, gap);
            gaps.meanMs += gap;
            probe.firstBufferAt = 0;
            probe.endedAt = 0;
            if (++rounds == kGapRounds) loop.quit();
        }
        if (music.duration() == 0 || music.Position() != music.duration()) return;
        QElapsedTimer load;
        load.start();
        probe.armed = true;
        music.setFileName(rounds % 2 ? first : second);
        attachProbe(engine, probe);
        music.setPosition(0);
        music.Play();
        loadTotal += double(load.nsecsElapsed()) / 1e6;
    });
    music.setFileName(first);
    attachProbe(engine, probe);
    music.Play();
    monitor.start(kTickMs);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    music.StopPlaying();
    if (rounds > 0) {
        gaps.meanMs /= rounds;
        loadTotal /= rounds;
    }
    gaps.loadMeanMs = loadTotal;
    return gaps;
}

template <class F>
double microsPerCall(F&& f) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kReads; ++i) f();
    return double(timer.nsecsElapsed()) / 1000.0 / kReads;
}

void readCosts(const QString& file) {
    PlaybinEngine engine(QStringLiteral("fakesink sync=true"));
    clsMusic music(engine);
    music.setFileName(file);
    music.Play();
    runLoopFor(1000);  // playing, length known
    volatile double sink = 0;
    const double position = microsPerCall([&] { sink = sink + music.Position(); });
    const double length = microsPerCall([&] { sink = sink + music.duration(); });
    gint64 value = 0;
    const double rawPosition = microsPerCall(
        [&] { gst_element_query_position(engine.pipeline(), GST_FORMAT_TIME, &value); });
    const double rawDuration = microsPerCall(
        [&] { gst_element_query_duration(engine.pipeline(), GST_FORMAT_TIME, &value); });
    std::printf(
        "read cost: Position %.2f us (raw pipeline query %.2f us), "
        "duration %.3f us (raw pipeline query %.2f us)\n",
        position, rawPosition, length, rawDuration);
    music.StopPlaying();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!startMediaFramework()) return 1;
    QString error;
    QTemporaryDir dir;
    const QString longFile = dir.filePath(QStringLiteral("sixty.aac"));
    const QString a = dir.filePath(QStringLiteral("a.aac"));
    const QString b = dir.filePath(QStringLiteral("b.aac"));
    if (!writeAacFile(longFile, 60, 440, &error) || !writeAacFile(a, 1.0, 440, &error) ||
        !writeAacFile(b, 1.0, 660, &error)) {
        std::fprintf(stderr, "cannot write test files: %s\n", qPrintable(error));
        return 1;
    }

    std::printf("playing %d s of a 60 s AAC file, polled every %d ms\n", kPlaySeconds, kTickMs);
    std::fflush(stdout);
    const double ours = ourPlaybackCpu(longFile);
    const double reference = referencePlaybackCpu(longFile);
    std::printf("cpu: quaverly engine %.3f s", ours);
    if (reference >= 0)
        std::printf(", gst-play-1.0 (reference) %.3f s\n", reference);
    else
        std::printf(", gst-play-1.0 not available (install gstreamer1.0-plugins-base-apps)\n");

    const Gaps gaps = trackChangeGaps(a, b);
    std::printf(
        "track change over %d changes: mean gap %.1f ms, worst %.1f ms (target <= 150 ms);"
        " loading the next file takes %.1f ms of it on average\n",
        kGapRounds, gaps.meanMs, gaps.worstMs, gaps.loadMeanMs);
    readCosts(longFile);
    return 0;
}
