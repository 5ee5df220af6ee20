// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The X client and the child processes of bench_startup.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QFile>
#include <QProcessEnvironment>
#include <QStringList>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

namespace startup {
using Clock = std::chrono::steady_clock;
constexpr int kMinWindowSide = 100;  // smaller windows are tray icons and helpers

inline double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

inline void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
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

// What a child writes on standard error, line by line, each line with the moment it
// arrived: the program's own word of what it has done (its debug lines).
class Lines {
public:
    Lines() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return;
        m_read = fds[0];
        m_write = fds[1];
    }
    ~Lines() {
        for (int fd : {m_read, m_write})
            if (fd >= 0) ::close(fd);
    }
    Lines(const Lines&) = delete;
    Lines& operator=(const Lines&) = delete;
    bool ok() const { return m_read >= 0; }
    int writeEnd() const { return m_write; }
    // Once the child has its copy: the pipe then ends when the child does.
    void closeWriteEnd() {
        if (m_write >= 0) ::close(m_write);
        m_write = -1;
    }
    // How many lines holding `text` have arrived so far.
    size_t count(const char* text) {
        drain();
        return size_t(std::count_if(m_lines.begin(), m_lines.end(), [&](const auto& l) {
            return l.first.find(text) != std::string::npos;
        }));
    }
    // The moment a line holding `text` arrived, waiting for it until `deadline`; nullopt
    // when it did not come (or the child ended first).
    std::optional<Clock::time_point> waitFor(const char* text, Clock::time_point deadline) {
        for (size_t seen = 0;;) {
            drain();
            for (; seen < m_lines.size(); ++seen)
                if (m_lines[seen].first.find(text) != std::string::npos)
                    return m_lines[seen].second;
            const int left = int(msBetween(Clock::now(), deadline));
            if (left <= 0 || m_ended) return std::nullopt;
            pollfd p{m_read, POLLIN, 0};
            ::poll(&p, 1, left);
        }
    }

private:
    void drain() {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(m_read, buf, sizeof buf);
            if (n == 0) m_ended = true;
            if (n <= 0) break;
            const Clock::time_point at = Clock::now();
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != '\n') {
                    m_partial += buf[i];
                    continue;
                }
                m_lines.emplace_back(std::move(m_partial), at);
                m_partial.clear();
            }
        }
    }

    int m_read = -1, m_write = -1;
    bool m_ended = false;
    std::string m_partial;
    std::vector<std::pair<std::string, Clock::time_point>> m_lines;
};

// A started child process with its own environment; ended and reaped on destruction.
// Its output goes to `log`; its standard error into `lines` instead when given.
class Child {
public:
    Child(const QStringList& args, const QProcessEnvironment& env, const QString& log,
          Lines* lines = nullptr) {
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
        posix_spawn_file_actions_adddup2(&actions, lines ? lines->writeEnd() : STDOUT_FILENO,
                                         STDERR_FILENO);
        started = Clock::now();
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        if (lines) lines->closeWriteEnd();
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

}  // namespace startup
