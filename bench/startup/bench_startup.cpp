// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up of the program beside a bare Qt window, in one run:
//  1. from process start to the MapNotify of the main window, the CPU time all its
//     threads used until then (the work itself, whatever else the machine runs), and the
//     resident memory at that moment and once start-up has settled (1 s later), with a stored list
//     of 0 and of 10,000 entries; the reference is bench_startup_bare, a Qt window of the same size
//     holding a list view with the same rows;
//  2. from pressing Start (Ctrl+Shift+X) in a freshly started program to the first
//     buffer at the sink, beside gst-play-1.0 from its process start to the first
//     buffer on the same file and the same sink (a file sink writing into a FIFO);
//  3. from process start to the hot keys registered (the program's debug line) and to
//     the first buffer at that sink with Start pressed at once, on a warm start and on a
//     first start after the media framework's plug-ins changed (a registry that does not
//     exist yet), beside gst-play-1.0's first buffer on the same two kinds of start.
// Every start gets a home and a settings folder of its own, holding what an earlier run
// of the program stored; the cache folder (font and media-framework caches) is shared
// and warmed by one start of each kind first.
// Runs under $DISPLAY, which should have a window manager; without one it starts a
// private Xvfb with icewm itself.
//
//   bench_startup [-n RUNS] [--program PATH] [--bare PATH] [--no-sound]

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "benchkit.h"
#include "entries.h"
#include "fakes/aacfixture.h"
#include "fakes/processpeak.h"
#include "fakes/xvfbsession.h"
#include "startupkit.h"

namespace {
using startup::Child;
using startup::Clock;
using startup::msBetween;
using startup::sleepMs;
using startup::Watcher;
constexpr int kLongList = 10000;
constexpr int kSettleMs = 1000;
constexpr int kTimeoutMs = 20000;

double rssMiB(pid_t pid) {
    const long kib = processStatus("VmRSS:", QString::number(pid));
    return kib < 0 ? -1 : double(kib) / 1024.0;
}

// CPU time of all threads of `pid` so far: the work done, whatever else the machine runs.
double cpuMs(pid_t pid) {
    double ns = 0;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + u'/' + task + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly)) ns += stat.readAll().split(' ').value(0).toDouble();
    }
    return ns / 1e6;
}

using bench::Stats;
using bench::stats;

// The scratch folders and the environment every start gets.
class Scratch {
public:
    Scratch() {
        m_cache = m_dir.filePath(QStringLiteral("cache"));
        m_runtime = m_dir.filePath(QStringLiteral("runtime"));
        QDir().mkpath(m_cache);
        QDir().mkpath(m_runtime);
        ::chmod(QFile::encodeName(m_runtime).constData(), 0700);
        QDir().mkpath(logs());
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString logs() const { return m_dir.filePath(QStringLiteral("logs")); }

    // A new home with its own settings folder; `settings` are written into it.
    QProcessEnvironment freshHome(const QList<std::pair<QString, QString>>& settings = {}) {
        const QString home = m_dir.filePath(QStringLiteral("home-%1").arg(++m_homes));
        const QString config = home + QStringLiteral("/.config");
        const QString store = config + QStringLiteral("/Varnelta/Quaverly");
        QDir().mkpath(store);
        for (const auto& [key, value] : settings) {
            QFile f(store + u'/' + key);
            if (f.open(QIODevice::WriteOnly)) f.write(value.toUtf8());
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "SESSION_MANAGER",
                                 "QUAVERLY_AUDIO_SINK", "QT_LOGGING_RULES", "XDG_DATA_HOME"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_cache);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        return env;
    }

private:
    QTemporaryDir m_dir;
    QString m_cache, m_runtime;
    int m_homes = 0;
};

struct Sample {
    double mapMs = -1, cpuAtMap = -1, rssAtMap = -1, rssSettled = -1;
};

Sample measureStart(Watcher& x, Scratch& scratch, const QStringList& args,
                    const QProcessEnvironment& env) {
    x.reset();
    Child child(args, env, scratch.logs() + QStringLiteral("/starts.log"));
    Sample s;
    if (child.pid <= 0) return s;
    const auto mapped =
        x.waitForMap(child.pid, child.started + std::chrono::milliseconds(kTimeoutMs));
    if (!mapped) {
        std::fprintf(stderr, "bench_startup: %s did not map a window\n", qPrintable(args[0]));
        return s;
    }
    s.cpuAtMap = cpuMs(child.pid);
    s.rssAtMap = rssMiB(child.pid);
    s.mapMs = msBetween(child.started, *mapped);
    sleepMs(kSettleMs);
    s.rssSettled = rssMiB(child.pid);
    return s;
}

// A FIFO the sink writes into; held open for both ends so that a writer closing it
// never makes it look readable.
class Fifo {
public:
    explicit Fifo(const QString& path) : m_path(path) {
        const QByteArray native = QFile::encodeName(path);
        if (::mkfifo(native.constData(), 0600) == 0)
            m_fd = ::open(native.constData(), O_RDWR | O_NONBLOCK);
    }
    ~Fifo() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool ok() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }
    bool drain() {
        char buf[65536];
        bool got = false;
        while (::read(m_fd, buf, sizeof buf) > 0) got = true;
        return got;
    }
    std::optional<Clock::time_point> waitForData(Clock::time_point deadline) {
        for (;;) {
            const int left = int(msBetween(Clock::now(), deadline));
            if (left <= 0) return std::nullopt;
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, left) > 0 && (p.revents & POLLIN)) {
                const Clock::time_point at = Clock::now();
                drain();
                return at;
            }
        }
    }

private:
    QString m_path;
    int m_fd = -1;
};

QString sinkInto(const Fifo& fifo) {
    return QStringLiteral("filesink location=%1 sync=true buffer-mode=unbuffered").arg(fifo.path());
}

// A fresh home whose list holds `file` alone, played in order into `fifo`.
QProcessEnvironment oneFileHome(Scratch& scratch, const Fifo& fifo, const QString& file,
                                const QString& snapshot) {
    QProcessEnvironment env =
        scratch.freshHome({{QStringLiteral("Files"), file + QStringLiteral("||MySeparator12||")},
                           {QStringLiteral("Snapshot"), snapshot},
                           {QStringLiteral("Option1"), QStringLiteral("0")},
                           {QStringLiteral("Option2"), QStringLiteral("1")}});
    env.insert(QStringLiteral("QUAVERLY_AUDIO_SINK"), sinkInto(fifo));
    return env;
}

// Press Start in a program that has just started with one file in its list.
double ourStartToSound(Watcher& x, Scratch& scratch, Fifo& fifo, const QString& program,
                       const QString& file, const QString& snapshot) {
    QProcessEnvironment env = oneFileHome(scratch, fifo, file, snapshot);
    x.reset();
    fifo.drain();
    Child child({program}, env, scratch.logs() + QStringLiteral("/sound.log"));
    if (child.pid <= 0 || !x.waitForMap(child.pid, child.started + std::chrono::seconds(20)))
        return -1;
    sleepMs(kSettleMs);
    fifo.drain();
    const Clock::time_point pressed = x.pressStart();
    const auto sounded = fifo.waitForData(pressed + std::chrono::seconds(10));
    x.releaseStart();
    child.end(SIGTERM, [&] { fifo.drain(); });
    return sounded ? msBetween(pressed, *sounded) : -1;
}

// The first moments of a program started with one file in its list, Start pressed as
// soon as its hot keys are registered (and again when it says it dropped the press, as a
// person would press again): from process start to the keys and to the first buffer at
// the sink. `registry` names the media framework's plug-in registry to use; a file that
// does not exist yet makes a first start, which scans every plug-in.
struct Moments {
    double keysMs = -1, soundMs = -1;
};
Moments ourFirstMoments(Watcher& x, Scratch& scratch, Fifo& fifo, const QString& program,
                        const QString& file, const QString& snapshot, const QString& registry) {
    QProcessEnvironment env = oneFileHome(scratch, fifo, file, snapshot);
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quaverly.app.pump.debug=true"));
    if (!registry.isEmpty()) env.insert(QStringLiteral("GST_REGISTRY"), registry);
    x.reset();
    fifo.drain();
    startup::Lines lines;
    Child child({program}, env, scratch.logs() + QStringLiteral("/moments.log"), &lines);
    Moments m;
    if (child.pid <= 0 || !lines.ok()) return m;
    const Clock::time_point deadline = child.started + std::chrono::seconds(20);
    const auto keys = lines.waitFor("keys registered; pumping", deadline);
    if (!keys) return m;
    m.keysMs = msBetween(child.started, *keys);
    std::optional<Clock::time_point> sounded;
    for (int press = 0; press < 20 && !sounded && Clock::now() < deadline; ++press) {
        const size_t dropped = lines.count("dropped: the program is busy");
        x.pressStart();
        x.releaseStart();
        while (!sounded && lines.count("dropped: the program is busy") == dropped &&
               Clock::now() < deadline)
            sounded =
                fifo.waitForData(std::min(deadline, Clock::now() + std::chrono::milliseconds(10)));
    }
    child.end(SIGTERM, [&] {
        fifo.drain();
        lines.count("");
    });
    if (sounded) m.soundMs = msBetween(child.started, *sounded);
    return m;
}

double referenceStartToSound(Scratch& scratch, Fifo& fifo, const QString& player,
                             const QString& file, const QString& registry = QString()) {
    fifo.drain();
    QProcessEnvironment env = scratch.freshHome();
    if (!registry.isEmpty()) env.insert(QStringLiteral("GST_REGISTRY"), registry);
    Child child({player, QStringLiteral("--no-interactive"),
                 QStringLiteral("--audiosink=") + sinkInto(fifo), file},
                env, scratch.logs() + QStringLiteral("/gst-play.log"));
    if (child.pid <= 0) return -1;
    const auto sounded = fifo.waitForData(child.started + std::chrono::seconds(10));
    child.end(SIGINT, [&] { fifo.drain(); });
    return sounded ? msBetween(child.started, *sounded) : -1;
}

QString samplesSnapshot(const QString& programFolder) {
    const QString folder = programFolder + QStringLiteral("/Samples");
    QStringList paths;
    for (const QString& name : QDir(folder).entryList(QDir::Files, QDir::Name))
        paths.append(folder + u'/' + name);
    return paths.join(u'|');
}

QString longList(int entries) {
    QString text;
    for (int i = 0; i < entries; ++i) text += benchEntry(i) + QStringLiteral("||MySeparator12||");
    return text;
}

void printRow(const char* list, const char* who, const Sample* samples, int n) {
    std::vector<double> map, cpu, atMap, settled;
    for (int i = 0; i < n; ++i) {
        map.push_back(samples[i].mapMs);
        cpu.push_back(samples[i].cpuAtMap);
        atMap.push_back(samples[i].rssAtMap);
        settled.push_back(samples[i].rssSettled);
    }
    const Stats m = stats(map), c = stats(cpu), a = stats(atMap), s = stats(settled);
    std::printf(
        "%-6s %-9s %6.1f (%5.1f-%5.1f) %6.1f (%5.1f-%5.1f) %5.1f (%4.1f-%4.1f) %5.1f "
        "(%4.1f-%4.1f)\n",
        list, who, m.median, m.low, m.high, c.median, c.low, c.high, a.median, a.low, a.high,
        s.median, s.low, s.high);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 7;
    QString program = QStringLiteral(QUAVERLY_PROGRAM);
    QString bare = QStringLiteral(BENCH_STARTUP_BARE);
    const QStringList args = app.arguments();
    const bool sound = !args.contains(QStringLiteral("--no-sound"));
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QStringLiteral("-n")) runs = std::max(1, args[i + 1].toInt());
        if (args[i] == QStringLiteral("--program")) program = args[i + 1];
        if (args[i] == QStringLiteral("--bare")) bare = args[i + 1];
    }

    XvfbSession display;
    if (!display.ok()) {
        std::fprintf(stderr, "bench_startup: %s\n", qPrintable(display.skipReason));
        return 1;
    }
    Scratch scratch;
    Watcher x;
    if (!x.ok()) {
        std::fprintf(stderr, "bench_startup: cannot reach the display\n");
        return 1;
    }
    std::unique_ptr<Child> wm;
    if (!x.hasWindowManager()) {
        wm = std::make_unique<Child>(QStringList{QStandardPaths::findExecutable("icewm")},
                                     scratch.freshHome(), scratch.logs() + "/icewm.log");
        for (int i = 0; i < 100 && !x.hasWindowManager(); ++i) sleepMs(100);
        if (!x.hasWindowManager()) std::fprintf(stderr, "bench_startup: no window manager\n");
    }

    const QString snapshot = samplesSnapshot(QFileInfo(program).absolutePath());
    const QString stored = longList(kLongList);
    auto ourEnv = [&](int entries) {
        QProcessEnvironment env =
            scratch.freshHome({{QStringLiteral("Files"), entries ? stored : QString()},
                               {QStringLiteral("Snapshot"), snapshot},
                               {QStringLiteral("Option1"), QStringLiteral("1")},
                               {QStringLiteral("Option2"), QStringLiteral("0")},
                               {QStringLiteral("Volume Level"), QStringLiteral("50")}});
        env.insert(QStringLiteral("QUAVERLY_AUDIO_SINK"), QStringLiteral("fakesink sync=true"));
        return env;
    };

    std::printf("%d starts of each, under %s; medians (lowest-highest)\n", runs,
                qgetenv("DISPLAY").constData());
    std::fflush(stdout);
    // Warm the caches and the page cache: one start of each kind, not counted.
    measureStart(x, scratch, {program}, ourEnv(kLongList));
    measureStart(x, scratch, {bare, QString::number(kLongList)}, scratch.freshHome());

    const auto n = static_cast<size_t>(runs);
    std::vector<Sample> ours0(n), ours10k(n), bare0(n), bare10k(n);
    for (size_t i = 0; i < n; ++i) {
        ours0[i] = measureStart(x, scratch, {program}, ourEnv(0));
        bare0[i] = measureStart(x, scratch, {bare, QStringLiteral("0")}, scratch.freshHome());
        ours10k[i] = measureStart(x, scratch, {program}, ourEnv(kLongList));
        bare10k[i] =
            measureStart(x, scratch, {bare, QString::number(kLongList)}, scratch.freshHome());
    }
    std::printf("%-6s %-9s %20s %20s %18s %18s\n", "list", "window", "mapped after (ms)",
                "CPU until map (ms)", "RSS at map (MiB)", "RSS 1 s on (MiB)");
    printRow("0", "quaverly", ours0.data(), runs);
    printRow("0", "bare Qt", bare0.data(), runs);
    printRow("10000", "quaverly", ours10k.data(), runs);
    printRow("10000", "bare Qt", bare10k.data(), runs);
    std::vector<double> mapDiff, rssDiff, oursRss, bareRss;
    for (size_t i = 0; i < n; ++i) {
        mapDiff.push_back(ours10k[i].mapMs - bare10k[i].mapMs);
        rssDiff.push_back(ours10k[i].rssSettled - bare10k[i].rssSettled);
        oursRss.push_back(ours10k[i].rssSettled);
        bareRss.push_back(bare10k[i].rssSettled);
    }
    const double mapOver = stats(mapDiff).median, rssOver = stats(rssDiff).median;
    // The lightest peer player, measured by hand on this list beside the same bare window
    // (it is not installed here): 41 MiB when the bare window held 32.4, so 8.6 over it.
    constexpr double kPeerOverBare = 41.0 - 32.4;
    const double peer = stats(bareRss).median + kPeerOverBare;
    std::printf(
        "10000 entries, quaverly over the bare window (median of the pairs): mapped %+.1f ms "
        "(goal <= +25), RSS 1 s later %+.1f MiB; against the lightest peer (bare window "
        "+%.1f MiB = %.1f MiB): %.2f x (goal <= 0.85 x)\n",
        mapOver, rssOver, kPeerOverBare, peer, stats(oursRss).median / peer);
    std::fflush(stdout);

    if (!sound) return 0;
    // Start to sound, on a 5 s file, through the same sink.
    const QString player = QStandardPaths::findExecutable(QStringLiteral("gst-play-1.0"));
    const QString file = scratch.path(QStringLiteral("tone.aac"));
    QString error;
    Fifo fifo(scratch.path(QStringLiteral("sink.fifo")));
    if (!fifo.ok() || !writeAacFile(file, 5, 440, &error)) {
        std::fprintf(stderr, "bench_startup: no test file or FIFO: %s\n", qPrintable(error));
        return 1;
    }
    std::vector<double> ourSound, theirSound;
    int registries = 0;
    for (int i = 0; i < runs; ++i) {
        ourSound.push_back(ourStartToSound(x, scratch, fifo, program, file, snapshot));
        if (!player.isEmpty())
            theirSound.push_back(referenceStartToSound(scratch, fifo, player, file));
    }
    const Stats ours = stats(ourSound), theirs = stats(theirSound);
    std::printf("start to first buffer at the sink (%s):\n", qPrintable(sinkInto(fifo)));
    std::printf("  quaverly, Start pressed 1 s after start-up: %.1f ms (%.1f-%.1f)\n", ours.median,
                ours.low, ours.high);
    if (player.isEmpty())
        std::printf("  gst-play-1.0 not available (install gstreamer1.0-plugins-base-apps)\n");
    else
        std::printf("  gst-play-1.0 from its process start (reference): %.1f ms (%.1f-%.1f)\n",
                    theirs.median, theirs.low, theirs.high);
    std::fflush(stdout);

    // A warm start, and a first start after the plug-ins changed (a registry of its own
    // that does not exist yet), each pressing Start as soon as the hot keys are there.
    std::printf(
        "from process start, Start pressed once the hot keys are registered; a first start "
        "scans the plug-ins anew:\n");
    std::printf("  %-6s %-13s %22s %22s\n", "start", "program", "hot keys (ms)",
                "first sound (ms)");
    for (const bool first : {false, true}) {
        std::vector<double> keys, sound, reference;
        for (int i = 0; i < runs; ++i) {
            const auto registry = [&] {
                return first ? scratch.path(QStringLiteral("registry-%1.bin").arg(++registries))
                             : QString();
            };
            const Moments m =
                ourFirstMoments(x, scratch, fifo, program, file, snapshot, registry());
            keys.push_back(m.keysMs);
            sound.push_back(m.soundMs);
            if (!player.isEmpty())
                reference.push_back(referenceStartToSound(scratch, fifo, player, file, registry()));
        }
        const Stats k = stats(keys), s = stats(sound), r = stats(reference);
        const char* kind = first ? "first" : "warm";
        std::printf("  %-6s %-13s %6.1f (%6.1f-%6.1f) %6.1f (%6.1f-%6.1f)\n", kind, "quaverly",
                    k.median, k.low, k.high, s.median, s.low, s.high);
        if (!player.isEmpty())
            std::printf("  %-6s %-13s %22s %6.1f (%6.1f-%6.1f)\n", kind, "gst-play-1.0", "-",
                        r.median, r.low, r.high);
        std::fflush(stdout);
    }
    if (wm) wm->end(SIGTERM);
    return 0;
}
