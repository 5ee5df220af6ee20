// Start-up of the program beside a bare Qt window, in one run:
//  1. from process start to the MapNotify of the main window, the CPU time all its
//     threads used until then (the work itself, whatever else the machine runs), and the
//     resident memory at that moment and once start-up has settled (1 s later), with a stored list
//     of 0 and of 10,000 entries; the reference is bench_startup_bare, a Qt window of the same size
//     holding a list view with the same rows;
//  2. from pressing Start (Ctrl+Shift+X) in a freshly started program to the first
//     buffer at the sink, beside gst-play-1.0 from its process start to the first
//     buffer on the same file and the same sink (a file sink writing into a FIFO).
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

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include "entries.h"
#include "fakes/aacfixture.h"
#include "fakes/xvfbsession.h"

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kLongList = 10000;
constexpr int kSettleMs = 1000;
constexpr int kTimeoutMs = 20000;
constexpr int kMinWindowSide = 100;  // smaller windows are tray icons and helpers

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

double rssMiB(pid_t pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
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

struct Stats {
    double median = -1, low = -1, high = -1;
};
Stats stats(std::vector<double> v) {
    std::erase_if(v, [](double x) { return x < 0; });
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, v.front(), v.back()};
}

// The second X client: sees windows appear and map, and types like a user.
class Watcher {
public:
    Watcher() {
        m_c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(m_c)) return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_c, m_root, XCB_CW_EVENT_MASK, &mask);
        m_pidAtom = atom("_NET_WM_PID");
        m_wmCheck = atom("_NET_SUPPORTING_WM_CHECK");
        m_syms = xcb_key_symbols_alloc(m_c);
        m_ok = true;
    }
    ~Watcher() {
        if (m_syms) xcb_key_symbols_free(m_syms);
        xcb_disconnect(m_c);
    }
    bool ok() const { return m_ok; }

    bool hasWindowManager() {
        auto* reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, m_root, m_wmCheck, XCB_ATOM_WINDOW, 0, 1), nullptr);
        const bool has = reply && xcb_get_property_value_length(reply) == 4;
        std::free(reply);
        return has;
    }

    // Forgets the windows of earlier starts; call before starting the next program.
    void reset() {
        xcb_flush(m_c);
        while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) std::free(e);
        m_candidates.clear();
    }

    // Waits for a window of `pid` of at least kMinWindowSide on each side to be mapped
    // and returns when; nullopt on time-out.
    std::optional<Clock::time_point> waitForMap(pid_t pid, Clock::time_point deadline) {
        const int fd = xcb_get_file_descriptor(m_c);
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(m_c)) {
                const auto mapped = handle(e, pid);
                std::free(e);
                if (mapped) return mapped;
            }
            if (xcb_connection_has_error(m_c)) return std::nullopt;
            const int left = int(msBetween(Clock::now(), deadline));
            if (left <= 0) return std::nullopt;
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, left);
        }
    }

    // Holds Ctrl+Shift, then types X: the program's Start/Stop hot key. Returns the
    // moment the letter went out.
    Clock::time_point pressStart() {
        const xcb_keycode_t ctrl = code(0xffe3), shift = code(0xffe1), x = code('x');
        fake(XCB_KEY_PRESS, ctrl);
        fake(XCB_KEY_PRESS, shift);
        xcb_flush(m_c);
        sleepMs(30);  // a person holds the modifiers well before the letter
        fake(XCB_KEY_PRESS, x);
        std::free(xcb_get_input_focus_reply(m_c, xcb_get_input_focus(m_c), nullptr));
        return Clock::now();
    }
    void releaseStart() {
        fake(XCB_KEY_RELEASE, code('x'));
        fake(XCB_KEY_RELEASE, code(0xffe1));
        fake(XCB_KEY_RELEASE, code(0xffe3));
        xcb_flush(m_c);
    }

private:
    xcb_atom_t atom(const char* name) {
        auto* reply = xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return a;
    }
    xcb_keycode_t code(xcb_keysym_t sym) {
        xcb_keycode_t* k = xcb_key_symbols_get_keycode(m_syms, sym);
        const xcb_keycode_t r = k ? k[0] : 0;
        std::free(k);
        return r;
    }
    void fake(uint8_t type, xcb_keycode_t key) {
        xcb_test_fake_input(m_c, type, key, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    bool belongsTo(xcb_window_t w, pid_t pid) {
        auto* reply = xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 0, w, m_pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        const bool mine = reply && xcb_get_property_value_length(reply) == 4 &&
                          *static_cast<uint32_t*>(xcb_get_property_value(reply)) == uint32_t(pid);
        std::free(reply);
        return mine;
    }

    std::optional<Clock::time_point> handle(xcb_generic_event_t* e, pid_t pid) {
        const Clock::time_point at = Clock::now();
        switch (e->response_type & 0x7f) {
            case XCB_CREATE_NOTIFY: {
                auto* c = reinterpret_cast<xcb_create_notify_event_t*>(e);
                if (c->parent != m_root || c->override_redirect || c->width < kMinWindowSide ||
                    c->height < kMinWindowSide)
                    return std::nullopt;
                const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(m_c, c->window, XCB_CW_EVENT_MASK, &mask);
                m_candidates.push_back(c->window);
                // Mapped before we listened: count it from now.
                auto* attrs = xcb_get_window_attributes_reply(
                    m_c, xcb_get_window_attributes(m_c, c->window), nullptr);
                const bool viewable = attrs && attrs->map_state != XCB_MAP_STATE_UNMAPPED;
                std::free(attrs);
                if (viewable && belongsTo(c->window, pid)) return at;
                return std::nullopt;
            }
            case XCB_MAP_NOTIFY: {
                auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                if (std::find(m_candidates.begin(), m_candidates.end(), m->window) ==
                    m_candidates.end())
                    return std::nullopt;
                if (belongsTo(m->window, pid)) return at;
                return std::nullopt;
            }
            default:
                return std::nullopt;
        }
    }

    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_pidAtom = XCB_ATOM_NONE;
    xcb_atom_t m_wmCheck = XCB_ATOM_NONE;
    xcb_key_symbols_t* m_syms = nullptr;
    std::vector<xcb_window_t> m_candidates;
    bool m_ok = false;
};

// A started child process with its own environment; ended and reaped on destruction.
class Child {
public:
    Child(const QStringList& args, const QProcessEnvironment& env, const QString& log) {
        std::vector<QByteArray> argBytes, envBytes;
        for (const QString& a : args) argBytes.push_back(a.toLocal8Bit());
        for (const QString& e : env.toStringList()) envBytes.push_back(e.toLocal8Bit());
        std::vector<char*> argv, envp;
        for (QByteArray& a : argBytes) argv.push_back(a.data());
        for (QByteArray& e : envBytes) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        const QByteArray logPath = QFile::encodeName(log);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.constData(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        started = Clock::now();
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() { end(SIGTERM); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Asks the process to end with `sig`, keeps `whileWaiting` running (a FIFO to
    // drain), and kills it after 5 s.
    void end(int sig, const std::function<void()>& whileWaiting = {}) {
        if (pid <= 0) return;
        ::kill(pid, sig);
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (::waitpid(pid, nullptr, WNOHANG) == 0) {
            if (Clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
                break;
            }
            if (whileWaiting) whileWaiting();
            sleepMs(5);
        }
        pid = -1;
    }

    pid_t pid = -1;
    Clock::time_point started;
};

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

// Press Start in a program that has just started with one file in its list.
double ourStartToSound(Watcher& x, Scratch& scratch, Fifo& fifo, const QString& program,
                       const QString& file, const QString& snapshot) {
    QProcessEnvironment env =
        scratch.freshHome({{QStringLiteral("Files"), file + QStringLiteral("||MySeparator12||")},
                           {QStringLiteral("Snapshot"), snapshot},
                           {QStringLiteral("Option1"), QStringLiteral("0")},
                           {QStringLiteral("Option2"), QStringLiteral("1")}});
    env.insert(QStringLiteral("QUAVERLY_AUDIO_SINK"), sinkInto(fifo));
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

double referenceStartToSound(Scratch& scratch, Fifo& fifo, const QString& player,
                             const QString& file) {
    fifo.drain();
    Child child({player, QStringLiteral("--no-interactive"),
                 QStringLiteral("--audiosink=") + sinkInto(fifo), file},
                scratch.freshHome(), scratch.logs() + QStringLiteral("/gst-play.log"));
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
    std::vector<double> mapDiff, rssDiff;
    for (size_t i = 0; i < n; ++i) {
        mapDiff.push_back(ours10k[i].mapMs - bare10k[i].mapMs);
        rssDiff.push_back(ours10k[i].rssSettled - bare10k[i].rssSettled);
    }
    const double mapOver = stats(mapDiff).median, rssOver = stats(rssDiff).median;
    std::printf(
        "10000 entries, quaverly over the bare window (median of the pairs): mapped %+.1f ms "
        "(goal <= +25), RSS 1 s later %+.1f MiB (goal <= +10)\n",
        mapOver, rssOver);
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
    if (wm) wm->end(SIGTERM);
    return 0;
}
