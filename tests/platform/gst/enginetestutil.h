// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>

#include <QList>
#include <QString>
#include <QTest>
#include <QTimer>

#include <gst/gst.h>

#include "fakes/processpeak.h"
#include "platform/gst/gstmediaengine.h"
#include "platform/gst/playbinengine.h"
#include "playback/clsmusic.h"

// The real engine, playing against the clock into a fakesink: no sound device needed.
inline std::unique_ptr<PlaybinEngine> makeTestEngine(
    const QString& sink = QStringLiteral("fakesink sync=true")) {
    auto engine = std::make_unique<PlaybinEngine>(sink);
    engine->initialise();
    return engine;
}

// An ADTS stream reads a length of 0 until its parser has estimated one, and so does
// the position before playback starts: 0 == 0 is not the end of anything.
inline bool atTheEnd(const clsMusic& music) {
    return music.duration() > 0 && music.Position() == music.duration();
}

// What Position() reads at each of `ticks` turns of a timer at the window's monitor's
// period, as the monitor would see it (fewer when they do not come within 10 s).
inline QList<double> positionsAtTicks(const clsMusic& music, int ticks) {
    QList<double> readings;
    QTimer monitor;
    QObject::connect(&monitor, &QTimer::timeout, [&] { readings << music.Position(); });
    monitor.start(100);
    (void)QTest::qWaitFor([&] { return readings.size() >= ticks; }, 10000);
    return readings.mid(0, ticks);
}

// Counts the chain's completed state changes and seeks as they are posted, from whichever
// thread posts them; its bus hands them to the engine on the next turns of the loop.
class AsyncDoneCounter {
public:
    explicit AsyncDoneCounter(GstElement* pipeline) : m_bus(gst_element_get_bus(pipeline)) {
        gst_bus_enable_sync_message_emission(m_bus);
        const auto done = +[](GstBus*, GstMessage*, std::atomic_int* count) { ++*count; };
        m_handler = g_signal_connect(m_bus, "sync-message::async-done", G_CALLBACK(done), &m_count);
    }
    ~AsyncDoneCounter() {
        g_signal_handler_disconnect(m_bus, m_handler);
        gst_bus_disable_sync_message_emission(m_bus);
        gst_object_unref(m_bus);
    }
    int count() const { return m_count; }

private:
    GstBus* m_bus;
    gulong m_handler;
    std::atomic_int m_count = 0;
};

template <class T>
T readProperty(GstElement* element, const char* name) {
    T value{};
    g_object_get(element, name, &value, nullptr);
    return value;
}

inline GstState currentState(GstElement* element) {
    GstState state = GST_STATE_VOID_PENDING;
    gst_element_get_state(element, &state, nullptr, 0);
    return state;
}

// True when some element below `bin` is of a kind whose class names all of `words`.
inline bool containsElementOfClass(GstElement* bin, std::initializer_list<const char*> words) {
    bool found = false;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(bin));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory =
            gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        const char* klass =
            factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS)
                    : nullptr;
        bool all = klass != nullptr;
        for (const char* w : words) all = all && g_strrstr(klass, w);
        found = found || all;
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
}
