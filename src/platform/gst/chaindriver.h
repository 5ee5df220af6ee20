// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to the GStreamer adapter: it names GStreamer types.

#include <deque>
#include <memory>
#include <mutex>

#include <gst/gst.h>

// Carries one chain's state changes and seeks out, in the order they were asked for, on
// GStreamer's own worker threads: a sound output that blocks (a hung sound server, a
// device that went away) holds a worker, never the UI thread. The UI thread asks and
// goes on; the outcome comes back on the chain's bus (a state change that completed at
// once is told by an application message named kStateDone, one that failed by
// kStateFailed, each carrying the "state" asked for).
class ChainDriver : public std::enable_shared_from_this<ChainDriver> {
public:
    static constexpr const char* kStateDone = "quaverly-state-done";
    static constexpr const char* kStateFailed = "quaverly-state-failed";

    // `pipeline` is not owned: the chain's owner keeps it until close() and after.
    static std::shared_ptr<ChainDriver> make(GstElement* pipeline);

    // A state asked for while an earlier one still waits replaces it.
    void setState(GstState state);
    void seek(double rate, gint64 position);
    // Nothing asked for runs any more; one that runs now finishes on its worker.
    void close();

private:
    explicit ChainDriver(GstElement* pipeline) : m_pipeline(pipeline) {}
    struct Step {
        bool seek = false;
        GstState state = GST_STATE_VOID_PENDING;
        double rate = 1.0;
        gint64 position = 0;
    };
    void push(const Step& step);
    void drain();

    GstElement* m_pipeline;
    std::mutex m_mutex;
    std::deque<Step> m_steps;
    bool m_busy = false;  // a worker drains the steps
    bool m_closed = false;
};
