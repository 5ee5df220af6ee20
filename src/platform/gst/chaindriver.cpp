// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/chaindriver.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcMediaEngine)

std::shared_ptr<ChainDriver> ChainDriver::make(GstElement* pipeline) {
    return std::shared_ptr<ChainDriver>(new ChainDriver(pipeline));
}

void ChainDriver::setState(GstState state) {
    push({false, state, 1.0, 0});
}

void ChainDriver::seek(double rate, gint64 position) {
    push({true, GST_STATE_VOID_PENDING, rate, position});
}

void ChainDriver::close() {
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_steps.clear();
}

void ChainDriver::push(const Step& step) {
    std::lock_guard lock(m_mutex);
    if (m_closed) return;
    if (!step.seek && !m_steps.empty() && !m_steps.back().seek)
        m_steps.back() = step;
    else
        m_steps.push_back(step);
    if (m_busy) return;
    m_busy = true;
    // The worker holds the driver, and GStreamer holds the pipeline, until it is done.
    auto* self = new std::shared_ptr<ChainDriver>(shared_from_this());
    gst_element_call_async(
        m_pipeline,
        [](GstElement*, gpointer data) {
            (*static_cast<std::shared_ptr<ChainDriver>*>(data))->drain();
        },
        self, [](gpointer data) { delete static_cast<std::shared_ptr<ChainDriver>*>(data); });
}

// Runs on a GStreamer worker thread, one at a time per chain.
void ChainDriver::drain() {
    std::unique_lock lock(m_mutex);
    while (!m_steps.empty() && !m_closed) {
        const Step step = m_steps.front();
        m_steps.pop_front();
        lock.unlock();
        const gint64 startedUs = g_get_monotonic_time();
        if (step.seek) {
            if (!gst_element_seek(m_pipeline, step.rate, GST_FORMAT_TIME,
                                  GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                  GST_SEEK_TYPE_SET, step.position, GST_SEEK_TYPE_NONE,
                                  GST_CLOCK_TIME_NONE))
                qCDebug(lcMediaEngine) << "Seek to" << double(step.position) / GST_SECOND
                                       << "at rate" << step.rate << "refused";
        } else {
            const GstStateChangeReturn result = gst_element_set_state(m_pipeline, step.state);
            const char* outcome = result == GST_STATE_CHANGE_FAILURE ? kStateFailed
                                  : result == GST_STATE_CHANGE_ASYNC ? nullptr
                                                                     : kStateDone;
            if (outcome)
                gst_element_post_message(
                    m_pipeline,
                    gst_message_new_application(
                        GST_OBJECT(m_pipeline),
                        gst_structure_new(outcome, "state", G_TYPE_INT, int(step.state), nullptr)));
        }
        const gint64 tookMs = (g_get_monotonic_time() - startedUs) / 1000;
        if (tookMs > 1000)
            qCInfo(lcMediaEngine).noquote()
                << QStringLiteral("the sound output held a change of the playback chain for %1 ms")
                       .arg(tookMs);
        lock.lock();
    }
    m_busy = false;
}
