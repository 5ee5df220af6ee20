// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/chainreaper.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMediaEngine)

namespace {
bool isPowerOfTwo(size_t n) {
    return n != 0 && (n & (n - 1)) == 0;
}
QString inSeconds(gint64 us) {
    return QString::number(double(us) / G_USEC_PER_SEC, 'f', 1);
}
}  // namespace

// Shared by the reaper and its threads, so that a thread left stuck at the end still has
// it after the reaper is gone.
struct ChainReaper::State {
    struct Chain {
        GstElement* pipeline;
        gpointer watcher;
        GDestroyNotify release;
    };
    std::mutex mutex;
    std::condition_variable work;   // a chain to take down, or the end
    std::condition_variable ended;  // a thread has ended
    std::deque<Chain> waiting;
    int workers = 0;  // threads started and not ended
    int idle = 0;     // of them, those free to take a chain
    bool closing = false;
    // Per thread: since when its chain has been going down (0: none), and whether the
    // terminal has heard that it is slow.
    std::array<gint64, kMaxWorkers> downSinceUs{};
    std::array<bool, kMaxWorkers> toldSlow{};
};

ChainReaper::ChainReaper() : m_state(std::make_shared<State>()) {}

ChainReaper::~ChainReaper() {
    State& s = *m_state;
    std::unique_lock lock(s.mutex);
    s.closing = true;
    s.work.notify_all();
    const bool ended = s.ended.wait_for(lock, std::chrono::milliseconds(kJoinLimitMs),
                                        [&s] { return s.workers == 0; });
    const size_t left = s.waiting.size() + size_t(s.workers - s.idle);
    lock.unlock();
    if (ended) {
        for (std::thread& thread : m_threads) thread.join();
        return;
    }
    qCWarning(lcMediaEngine).noquote()
        << QStringLiteral(
               "%1 playback chain(s) did not stop within %2 seconds (a sound server or a "
               "network mount that does not answer?); they are left behind")
               .arg(left)
               .arg(kJoinLimitMs / 1000);
    for (std::thread& thread : m_threads) thread.detach();
}

void ChainReaper::dispose(GstElement* pipeline, gpointer watcher, GDestroyNotify release) {
    State& s = *m_state;
    std::lock_guard lock(s.mutex);
    s.waiting.push_back({pipeline, watcher, release});
    tellSlow(s);
    if (s.waiting.size() > size_t(s.idle)) {
        if (s.workers < kMaxWorkers) {
            ++s.workers;
            ++s.idle;
            m_threads.emplace_back(&ChainReaper::work, m_state, int(m_threads.size()));
        } else if (isPowerOfTwo(s.waiting.size())) {
            qCWarning(lcMediaEngine).noquote()
                << QStringLiteral(
                       "%1 playback chain(s) wait to be taken down behind %2 that do not stop")
                       .arg(s.waiting.size())
                       .arg(kMaxWorkers);
        }
    }
    s.work.notify_one();
}

// Says once of each chain that has been going down for longer than kSlowMs and still is.
void ChainReaper::tellSlow(State& s) {
    const gint64 now = g_get_monotonic_time();
    for (int i = 0; i < kMaxWorkers; ++i) {
        const gint64 since = s.downSinceUs[size_t(i)];
        if (since == 0 || s.toldSlow[size_t(i)] || now - since <= kSlowMs * 1000) continue;
        s.toldSlow[size_t(i)] = true;
        qCWarning(lcMediaEngine).noquote()
            << QStringLiteral(
                   "a playback chain has not stopped after %1 seconds (a sound server or a "
                   "network mount that does not answer?)")
                   .arg(inSeconds(now - since));
    }
}

void ChainReaper::work(std::shared_ptr<State> state, int worker) {
    State& s = *state;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.work.wait(lock, [&s] { return s.closing || !s.waiting.empty(); });
        if (s.waiting.empty()) break;
        const State::Chain chain = s.waiting.front();
        s.waiting.pop_front();
        --s.idle;
        const gint64 since = g_get_monotonic_time();
        s.downSinceUs[size_t(worker)] = since;
        s.toldSlow[size_t(worker)] = false;
        lock.unlock();

        gst_element_set_state(chain.pipeline, GST_STATE_NULL);
        g_signal_handlers_disconnect_by_data(chain.pipeline, chain.watcher);
        if (chain.release) chain.release(chain.watcher);
        gst_object_unref(chain.pipeline);
        const gint64 took = g_get_monotonic_time() - since;

        lock.lock();
        if (took > kSlowMs * 1000 && !s.toldSlow[size_t(worker)])
            qCInfo(lcMediaEngine).noquote()
                << QStringLiteral("a playback chain took %1 seconds to stop").arg(inSeconds(took));
        s.downSinceUs[size_t(worker)] = 0;
        ++s.idle;
    }
    --s.idle;
    --s.workers;
    s.ended.notify_all();
}
