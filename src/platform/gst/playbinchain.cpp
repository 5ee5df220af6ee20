// SPDX-License-Identifier: GPL-3.0-or-later
// The making and unmaking of PlaybinEngine's chains: the framework, the audio output,
// the guards that watch a chain grow, and the thread that tears chains down.
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <QLoggingCategory>

#include "platform/gst/gstmediaengine.h"
#include "platform/gst/playbinengine.h"

Q_DECLARE_LOGGING_CATEGORY(lcMediaEngine)

namespace {

constexpr guint kPlayFlagAudio = 1u << 1;  // playbin's "audio" flag, alone: no video, no text
constexpr const char* kFilterDescription =
    "audioconvert ! audioresample ! scaletempo name=tempo ! audioconvert ! "
    "audiopanorama name=pan method=simple ! volume name=vol";
constexpr const char* kSilentOutput = "fakesink sync=true";

QString errorText(GError* error) {
    return QString::fromUtf8(error && error->message ? error->message : "unknown error");
}

const char* klassOf(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    return klass ? klass : "";
}

// Kinds of element that fetch what a file names from elsewhere: adaptive-streaming
// demuxers (a manifest lists URLs) and network sources. A local file never needs one.
bool fetchesFromTheNetwork(const char* klass) {
    return std::strstr(klass, "Adaptive") || std::strstr(klass, "Network");
}

bool isNetworkSource(GstElement* element) {
    if (fetchesFromTheNetwork(klassOf(element))) return true;
    if (!GST_IS_URI_HANDLER(element) ||
        gst_uri_handler_get_uri_type(GST_URI_HANDLER(element)) != GST_URI_SRC)
        return false;
    const gchar* const* protocols = gst_uri_handler_get_protocols(GST_URI_HANDLER(element));
    for (; protocols && *protocols; ++protocols)
        if (g_str_equal(*protocols, "file")) return false;
    return true;
}

// Nothing that fetches from the network is ever chosen to decode a file: this process
// plays local files only, so such elements lose their place in automatic choices.
void keepChainsLocal() {
    GList* factories = gst_element_factory_list_get_elements(
        GST_ELEMENT_FACTORY_TYPE_DEMUXER | GST_ELEMENT_FACTORY_TYPE_PARSER |
            GST_ELEMENT_FACTORY_TYPE_DECODER | GST_ELEMENT_FACTORY_TYPE_SRC,
        GST_RANK_NONE);
    for (GList* item = factories; item; item = item->next) {
        auto* factory = GST_ELEMENT_FACTORY(item->data);
        const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
        if (klass && fetchesFromTheNetwork(klass))
            gst_plugin_feature_set_rank(GST_PLUGIN_FEATURE(factory), GST_RANK_NONE);
    }
    gst_plugin_feature_list_free(factories);
}

// The fakesink an autoaudiosink falls back to when it found no device it could open. Only
// meaningful while the sink is READY or beyond: below that it holds a placeholder.
bool autoSinkFellBackToFake(GstElement* sink) {
    bool fake = false;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(sink));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(element);
        fake = fake || (factory && g_str_equal(gst_plugin_feature_get_name(factory), "fakesink"));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return fake;
}

// The factory of the device output that an autoaudiosink in READY chose, or null.
const char* autoSinkChoice(GstElement* sink) {
    const char* name = nullptr;
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(sink));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        GstElementFactory* factory =
            gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
        if (factory) name = gst_plugin_feature_get_name(factory);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return name;
}

}  // namespace

// What the streaming threads may touch of a chain: it lives until the chain is gone.
struct ChainGuard {
    GstElement* pipeline = nullptr;  // not owned
    std::atomic<int> elements{0};
    std::atomic<bool> tripped{false};

    bool overgrown() const {
        return tripped.load() || elements.load() >= PlaybinEngine::kMaxElements;
    }

    // A decoding bin asks before it plugs each further stage: once the chain has grown
    // too far it plugs nothing more, so the growth stops where it was found, not only
    // once the UI thread has taken the chain down.
    static gboolean onAutoplugContinue(GstElement*, GstPad*, GstCaps*, gpointer self) {
        return !static_cast<ChainGuard*>(self)->overgrown();
    }

    // Runs on whichever thread adds an element anywhere below the pipeline.
    static void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self) {
        auto* guard = static_cast<ChainGuard*>(self);
        if (g_signal_lookup("autoplug-continue", G_OBJECT_TYPE(element)) != 0)
            g_signal_connect(element, "autoplug-continue",
                             G_CALLBACK(&ChainGuard::onAutoplugContinue), guard);
        const char* why = nullptr;
        if (isNetworkSource(element))
            why = "it asks for data from the network, and only local files are played";
        else if (guard->elements.fetch_add(1) + 1 > PlaybinEngine::kMaxElements)
            why = "it makes the playback chain grow without end (thousands of stacked tags?)";
        if (!why) return;
        // Kept from starting, so it fetches nothing and spawns no thread; the error takes
        // the whole chain down on the UI thread at once.
        gst_element_set_locked_state(element, TRUE);
        if (guard->tripped.exchange(true)) return;
        GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, why);
        gst_element_post_message(guard->pipeline,
                                 gst_message_new_error(GST_OBJECT(element), error, nullptr));
        g_error_free(error);
    }
};

// Takes chains that are no longer wanted down to NULL and frees them, one after the other,
// on a thread of its own: a chain stalled on a file can take its time without holding the
// UI thread. The destructor waits for every chain handed over.
class ChainReaper {
public:
    ~ChainReaper() {
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_wake.notify_one();
        if (m_thread.joinable()) m_thread.join();
    }

    void dispose(GstElement* pipeline, ChainGuard* guard) {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({pipeline, guard});
        }
        if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
        m_wake.notify_one();
    }

private:
    struct Item {
        GstElement* pipeline;
        ChainGuard* guard;
    };

    void run() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_queue.empty()) return;
            const Item item = m_queue.front();
            m_queue.pop_front();
            lock.unlock();
            gst_element_set_state(item.pipeline, GST_STATE_NULL);
            g_signal_handlers_disconnect_by_data(item.pipeline, item.guard);
            gst_object_unref(item.pipeline);
            delete item.guard;
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Item> m_queue;
    bool m_closing = false;
    std::thread m_thread;
};

PlaybinEngine::PlaybinEngine(QString sinkDescription)
    : m_sinkDescription(std::move(sinkDescription)) {}

PlaybinEngine::~PlaybinEngine() {
    releaseChain();
    m_reaper.reset();  // waits for the chains still being torn down
}

void PlaybinEngine::initialise() {
    if (m_initialised) return;
    m_initialised = true;
    QString error;
    if (!initMediaFramework(&error)) {
        qCWarning(lcMediaEngine).noquote()
            << QStringLiteral(
                   "the media framework could not be started: %1; nothing will play. "
                   "Check the GStreamer 1.0 installation.")
                   .arg(error);
        return;
    }
    for (const char* name : {"playbin", "scaletempo", "audiopanorama", "volume"}) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (!factory) {
            qCWarning(lcMediaEngine).noquote()
                << QStringLiteral(
                       "the media engine could not be started: no %1 element; nothing will "
                       "play. Install the GStreamer 1.0 base and good plug-ins.")
                       .arg(QLatin1String(name));
            return;
        }
        gst_object_unref(factory);
    }
    keepChainsLocal();
    m_usable = true;
}

bool PlaybinEngine::buildChain() {
    GError* error = nullptr;
    GstElement* filter = gst_parse_bin_from_description(kFilterDescription, TRUE, &error);
    GstElement* playbin = filter ? gst_element_factory_make("playbin", nullptr) : nullptr;
    if (!playbin) {
        const QString why = filter ? QStringLiteral("no playbin element") : errorText(error);
        g_clear_error(&error);
        if (filter) gst_object_unref(gst_object_ref_sink(filter));
        fail(QStringLiteral("the playback chain could not be made: ") + why);
        return false;
    }
    g_clear_error(&error);
    m_playbin = GST_ELEMENT(gst_object_ref_sink(playbin));
    m_tempo = gst_bin_get_by_name(GST_BIN(filter), "tempo");
    m_panorama = gst_bin_get_by_name(GST_BIN(filter), "pan");
    m_volumeElement = gst_bin_get_by_name(GST_BIN(filter), "vol");
    m_sink = makeSink();
    // Sinks of our own for pictures and text, which never open a window or a device: even
    // audio only, playbin otherwise makes an installed video output (the best-ranked one)
    // to try it against the decoder of a file that holds pictures, and some of those
    // outputs grab the display or crash on the spot.
    g_object_set(m_playbin, "flags", kPlayFlagAudio, "audio-filter", filter, "audio-sink", m_sink,
                 "video-sink", gst_element_factory_make("fakesink", "no-video"), "text-sink",
                 gst_element_factory_make("fakesink", "no-text"), nullptr);
    m_guard = new ChainGuard;
    m_guard->pipeline = m_playbin;
    g_signal_connect(m_playbin, "deep-element-added", G_CALLBACK(&ChainGuard::onElementAdded),
                     m_guard);
    applyVolume();
    applyBalance();
    m_bus = gst_element_get_bus(m_playbin);
    m_busWatch = gst_bus_add_watch(m_bus, &PlaybinEngine::onBusMessage, this);
    return true;
}

// Hands the current chain to the reaper; its bus says nothing more to this engine.
void PlaybinEngine::releaseChain() {
    if (m_deadline) g_source_remove(m_deadline);
    m_deadline = 0;
    if (!m_playbin) return;
    gst_bus_remove_watch(m_bus);
    gst_object_unref(m_bus);
    for (GstElement* e : {m_tempo, m_panorama, m_volumeElement, m_sink})
        if (e) gst_object_unref(e);
    if (!m_reaper) m_reaper = std::make_unique<ChainReaper>();
    m_reaper->dispose(m_playbin, m_guard);
    m_playbin = m_tempo = m_panorama = m_volumeElement = m_sink = nullptr;
    m_bus = nullptr;
    m_guard = nullptr;
    m_busWatch = 0;
}

// Each chain gets an output of its own, made from the description checked at the first
// file.
GstElement* PlaybinEngine::makeSink() {
    if (!m_sinkChecked) {
        m_sinkChecked = true;
        m_sinkDescription = checkedSinkDescription(m_sinkDescription);
    }
    GstElement* sink =
        gst_parse_bin_from_description(m_sinkDescription.toUtf8().constData(), TRUE, nullptr);
    if (!sink) sink = gst_parse_bin_from_description(kSilentOutput, TRUE, nullptr);
    return GST_ELEMENT(gst_object_ref_sink(sink));
}

// Opens the wanted output once, to hear why it cannot be had. An output that cannot be
// made falls back to the desktop's; one that cannot be opened to a clock-synchronised
// fakesink, so tracks still run their course, silently. The desktop's output is pinned
// to the device it found, so later files do not search again.
QString PlaybinEngine::checkedSinkDescription(const QString& wanted) {
    QString text = wanted.trimmed().isEmpty() ? QStringLiteral("autoaudiosink") : wanted.trimmed();
    GError* error = nullptr;
    GstElement* sink = gst_parse_bin_from_description(text.toUtf8().constData(), TRUE, &error);
    if (!sink || error) {
        qCWarning(lcMediaEngine).noquote()
            << QStringLiteral(
                   "the audio output '%1' could not be made: %2; playing through the "
                   "desktop's output instead. Check the --audio-sink description.")
                   .arg(text, errorText(error));
        g_clear_error(&error);
        if (sink) gst_object_unref(gst_object_ref_sink(sink));
        text = QStringLiteral("autoaudiosink");
        sink = gst_parse_bin_from_description("autoaudiosink", TRUE, nullptr);
    }
    if (!sink) {
        sayPlayingSilently(QStringLiteral("no audio output could be made"));
        return QLatin1String(kSilentOutput);
    }
    gst_object_ref_sink(sink);
    // An element alone has no bus: one is lent so that its reason for failing is heard.
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(sink, bus);
    const bool opened = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    GError* openError = nullptr;
    if (GstMessage* m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        gst_message_parse_error(m, &openError, nullptr);
        gst_message_unref(m);
    }
    QString result = text;
    if (!opened) {
        sayPlayingSilently(QStringLiteral("the audio output '%1' could not be opened: %2")
                               .arg(text, errorText(openError)));
        result = QLatin1String(kSilentOutput);
    } else if (text == QLatin1String("autoaudiosink")) {
        // Read while READY: back in NULL it holds a placeholder fakesink again.
        if (autoSinkFellBackToFake(sink)) {
            sayPlayingSilently(QStringLiteral("the desktop's audio output found no device"));
            result = QLatin1String(kSilentOutput);
        } else if (const char* choice = autoSinkChoice(sink)) {
            result = QString::fromUtf8(choice);
        }
    }
    g_clear_error(&openError);
    gst_element_set_state(sink, GST_STATE_NULL);
    gst_element_set_bus(sink, nullptr);
    gst_object_unref(bus);
    gst_object_unref(sink);
    return result;
}

void PlaybinEngine::sayPlayingSilently(const QString& why) {
    if (m_silent) return;
    m_silent = true;
    qCWarning(lcMediaEngine).noquote()
        << why + QStringLiteral(
                     "; tracks play silently. Check the sound settings, or name "
                     "another output with --audio-sink.");
}
