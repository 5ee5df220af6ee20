// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to the GStreamer adapter: it names GStreamer types.

#include <memory>
#include <thread>
#include <vector>

#include <gst/gst.h>

// Takes chains that are no longer wanted down to NULL and frees them on threads of its
// own, so that a chain stuck on its way down (a sound server or a network mount that
// does not answer) holds neither the UI thread nor the chains handed over after it.
// Up to kMaxWorkers chains are taken down at once; past that they wait their turn, and
// the terminal hears how many wait. A chain that takes longer than kSlowMs is logged.
// Used from one thread (the UI thread); the end waits at most kJoinLimitMs, then logs
// and leaves what is still stuck to the end of the process.
class ChainReaper {
public:
    static constexpr int kMaxWorkers = 4;
    static constexpr int kSlowMs = 1000;
    static constexpr int kJoinLimitMs = 2000;

    ChainReaper();
    ~ChainReaper();
    ChainReaper(const ChainReaper&) = delete;
    ChainReaper& operator=(const ChainReaper&) = delete;

    // Takes over `pipeline` (its reference) and `watcher`, the object its signals were
    // connected with: once the chain is down they are disconnected and `watcher` deleted.
    template <class T>
    void dispose(GstElement* pipeline, T* watcher) {
        dispose(pipeline, watcher, [](gpointer data) { delete static_cast<T*>(data); });
    }
    void dispose(GstElement* pipeline, gpointer watcher, GDestroyNotify release);

private:
    struct State;
    static void work(std::shared_ptr<State> state, int worker);
    static void tellSlow(State& state);

    std::shared_ptr<State> m_state;
    std::vector<std::thread> m_threads;
};
