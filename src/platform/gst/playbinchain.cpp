// SPDX-License-Identifier: GPL-3.0-or-later
// The making and unmaking of PlaybinEngine's chains: the framework, the audio output,
// and the guards that watch a chain grow; chainreaper.cpp tears chains down.
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include <QLoggingCategory>

#include "platform/gst/chaindriver.h"
#include "platform/gst/chainreaper.h"
#include "platform/gst/decoderchoice.h"
#include "platform/gst/mediaframework.h"
#include "platform/gst/playbinengine.h"

Q_DECLARE_LOGGING_CATEGORY(lcMediaEngine)

namespace {

constexpr guint kPlayFlagAudio = 1u << 1;  // playbin's "audio" flag, alone: no video, no text
constexpr const char* kFilterDescription =
    "audioconvert ! audioresample ! scaletempo name=tempo ! audioconvert ! "
    "audiopanorama name=pan method=simple ! volume name=vol";
constexpr const char* kSilentOutput = "fakesink sync=true";

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

constexpr const char* kDesktopOutput = "autoaudiosink";

// The device output inside an output that is READY or beyond (the element an
// autoaudiosink chose, or the fakesink it fell back to when it found no device), or
// null. Below READY an autoaudiosink holds a placeholder.
const char* deviceOf(GstElement* output) {
    if (!GST_IS_BIN(output)) {
        GstElementFactory* factory = gst_element_get_factory(output);
        return factory ? gst_plugin_feature_get_name(factory) : nullptr;
    }
    const char* name = nullptr;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(output));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(element);
        if (!GST_IS_BIN(element) && factory &&
            std::strstr(gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS),
                        "Sink"))
            name = gst_plugin_feature_get_name(factory);
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return name;
}

bool isFake(const char* device) {
    return device && g_str_equal(device, "fakesink");
}

}  // namespace

// What the streaming threads may touch of a chain: it lives until the chain is gone.
struct ChainGuard {
    GstElement* pipeline = nullptr;  // not owned
    std::atomic<int> elements{0};
    std::atomic<bool> tripped{false};
    std::atomic<bool> decoded{false};  // a decoder has given sound
    std::atomic<bool> light{false};    // made for the light AAC decoder
    std::atomic<bool> lightPlugged{false};
    std::mutex addressMutex;
    std::string address;  // the one the chain reads: its file's

    bool overgrown() const {
        return tripped.load() || elements.load() >= PlaybinEngine::kMaxElements;
    }

    // A decoding bin asks before it plugs each further stage: once the chain has grown
    // too far it plugs nothing more, so the growth stops where it was found, not only
    // once the UI thread has taken the chain down.
    static gboolean onAutoplugContinue(GstElement*, GstPad*, GstCaps*, gpointer self) {
        return !static_cast<ChainGuard*>(self)->overgrown();
    }

    static GstPadProbeReturn onDecoded(GstPad*, GstPadProbeInfo*, gpointer self) {
        static_cast<ChainGuard*>(self)->decoded = true;
        return GST_PAD_PROBE_REMOVE;
    }

    // Kept from starting, so it fetches nothing and spawns no thread; the error takes the
    // whole chain down on the UI thread at once.
    void refuse(GstElement* element, const char* why) {
        gst_element_set_locked_state(element, TRUE);
        if (tripped.exchange(true)) return;
        GError* error = g_error_new_literal(GST_STREAM_ERROR, GST_STREAM_ERROR_FAILED, why);
        gst_element_post_message(pipeline,
                                 gst_message_new_error(GST_OBJECT(element), error, nullptr));
        g_error_free(error);
    }

    // A decoding bin is told the address it reads: the chain's file, first. A later one
    // comes from the file itself (an MP4 "reference movie" names media elsewhere, and
    // playbin follows it with a decoding bin of its own, which starts its source by
    // itself): it is taken away before any source is made for it.
    static void onAddressSet(GObject* object, GParamSpec*, gpointer self) {
        auto* guard = static_cast<ChainGuard*>(self);
        gchar* uri = nullptr;
        g_object_get(object, "uri", &uri, nullptr);
        if (!uri) return;
        bool elsewhere = false;
        {
            std::lock_guard lock(guard->addressMutex);
            if (guard->address.empty()) guard->address = uri;
            elsewhere = guard->address != uri;
        }
        g_free(uri);
        if (!elsewhere) return;
        g_object_set(object, "uri", nullptr, nullptr);
        guard->refuse(GST_ELEMENT(object), PlaybinEngine::kElsewhere);
    }

    // Runs on whichever thread adds an element anywhere below the pipeline.
    static void onElementAdded(GstBin*, GstBin*, GstElement* element, gpointer self) {
        auto* guard = static_cast<ChainGuard*>(self);
        // Sound out of a decoder means the file played its part: a chain that still
        // does not get ready is held up by the output.
        const char* klass = klassOf(element);
        if (std::strstr(klass, "Decoder") && std::strstr(klass, "Audio")) {
            if (GstPad* src = gst_element_get_static_pad(element, "src")) {
                gst_pad_add_probe(src, GST_PAD_PROBE_TYPE_BUFFER, &ChainGuard::onDecoded, guard,
                                  nullptr);
                gst_object_unref(src);
            }
        }
        if (g_signal_lookup("autoplug-continue", G_OBJECT_TYPE(element)) != 0)
            g_signal_connect(element, "autoplug-continue",
                             G_CALLBACK(&ChainGuard::onAutoplugContinue), guard);
        if (g_signal_lookup("autoplug-select", G_OBJECT_TYPE(element)) != 0)
            g_signal_connect(element, "autoplug-select",
                             G_CALLBACK(&decoderchoice::onAutoplugSelect), &guard->light);
        if (guard->light && decoderchoice::isLightDecoder(element)) guard->lightPlugged = true;
        if (GST_IS_BIN(element) && g_object_class_find_property(G_OBJECT_GET_CLASS(element), "uri"))
            g_signal_connect(element, "notify::uri", G_CALLBACK(&ChainGuard::onAddressSet), guard);
        const char* why = nullptr;
        if (isNetworkSource(element))
            why = "it asks for data from the network, and only local files are played";
        else if (guard->elements.fetch_add(1) + 1 > PlaybinEngine::kMaxElements)
            why = "it makes the playback chain grow without end (thousands of stacked tags?)";
        if (why) guard->refuse(element, why);
    }
};

// Lets work finished on another thread find the engine, or find that it is gone.
struct PlaybinEngine::Liveness {
    PlaybinEngine* engine;
};

PlaybinEngine::PlaybinEngine(QString sinkDescription)
    : m_wantedSink(sinkDescription.trimmed().isEmpty() ? QLatin1String(kDesktopOutput)
                                                       : sinkDescription.trimmed()),
      m_liveness(std::make_shared<Liveness>(Liveness{this})) {}

PlaybinEngine::~PlaybinEngine() {
    m_liveness.reset();
    if (m_retryTimer) g_source_remove(m_retryTimer);
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
    // The output is only made here, not opened: that happens with the first file, on a
    // streaming thread, where a sound server that does not answer holds no window.
    m_sinkDescription = m_wantedSink;
    GError* parseError = nullptr;
    GstElement* sink =
        gst_parse_bin_from_description(m_wantedSink.toUtf8().constData(), TRUE, &parseError);
    if (!sink || parseError) {
        qCWarning(lcMediaEngine).noquote()
            << QStringLiteral(
                   "the audio output '%1' could not be made: %2; playing through the "
                   "desktop's output instead. Check the --audio-sink description.")
                   .arg(m_wantedSink, frameworkErrorText(parseError));
        m_wantedSink = m_sinkDescription = QLatin1String(kDesktopOutput);
    }
    g_clear_error(&parseError);
    if (sink) gst_object_unref(gst_object_ref_sink(sink));
    m_usable = true;
}

bool PlaybinEngine::buildChain() {
    GError* error = nullptr;
    GstElement* filter = gst_parse_bin_from_description(kFilterDescription, TRUE, &error);
    GstElement* playbin = filter ? gst_element_factory_make("playbin", nullptr) : nullptr;
    if (!playbin) {
        const QString why =
            filter ? QStringLiteral("no playbin element") : frameworkErrorText(error);
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
    m_guard->light = !m_fullDecoder && decoderchoice::registerSwitchingDecoder();
    m_driver = ChainDriver::make(m_playbin);
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
    m_driver->close();
    m_driver.reset();
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

// Each chain gets an output of its own: the one found for the output asked for, or a
// clock-synchronised fakesink while no output can be had, so tracks run their course.
GstElement* PlaybinEngine::makeSink() {
    GstElement* sink = m_silent ? nullptr
                                : gst_parse_bin_from_description(
                                      m_sinkDescription.toUtf8().constData(), TRUE, nullptr);
    m_chainSilent = !sink;
    if (!sink) sink = gst_parse_bin_from_description(kSilentOutput, TRUE, nullptr);
    return GST_ELEMENT(gst_object_ref_sink(sink));
}

// The file gave sound that the output did not take, or the output is still being opened
// (a sound server that does not answer holds it there): either way the file is not at
// fault for a chain that is not ready.
bool PlaybinEngine::heldUpByTheOutput() const {
    if (m_guard && m_guard->decoded) return true;
    GstState state = GST_STATE_VOID_PENDING;
    GstState pending = GST_STATE_VOID_PENDING;
    return m_sink && gst_element_get_state(m_sink, &state, &pending, 0) == GST_STATE_CHANGE_ASYNC &&
           state == GST_STATE_NULL && pending != GST_STATE_VOID_PENDING;
}

// Whether a message comes from the output side of the chain: the sink, or the part of
// playbin that makes and links it.
bool PlaybinEngine::fromTheOutput(GstObject* source) const {
    bool output = false;
    GstObject* object = source ? GST_OBJECT(gst_object_ref(source)) : nullptr;
    while (object && !output) {
        if (m_sink && object == GST_OBJECT(m_sink)) output = true;
        if (GST_IS_ELEMENT(object)) {
            GstElementFactory* factory = gst_element_get_factory(GST_ELEMENT(object));
            output = output ||
                     (factory && g_str_equal(gst_plugin_feature_get_name(factory), "playsink"));
        }
        GstObject* parent = gst_object_get_parent(object);
        gst_object_unref(object);
        object = parent;
    }
    if (object) gst_object_unref(object);
    return output;
}

// A chain has prerolled on its output. The desktop's output is pinned to the device it
// found, so that a device that goes away is waited for rather than swapped for silence.
void PlaybinEngine::noteOutputWorks() {
    if (m_chainSilent) return;
    if (m_sinkDescription == QLatin1String(kDesktopOutput)) {
        const char* device = deviceOf(m_sink);
        if (isFake(device)) {
            sayPlayingSilently(QStringLiteral("the desktop's audio output found no device"));
            m_chainSilent = true;
            return;
        }
        if (device) m_sinkDescription = QString::fromUtf8(device);
    }
    m_outputWorked = true;
    if (m_outageSinceUs != 0)
        qCInfo(lcMediaEngine).noquote()
            << QStringLiteral("the audio output '%1' is back").arg(m_sinkDescription);
    m_outageSinceUs = 0;
    m_retries = 0;
}

void PlaybinEngine::sayPlayingSilently(const QString& why) {
    m_silent = true;
    if (m_toldSilent) return;
    m_toldSilent = true;
    qCWarning(lcMediaEngine).noquote()
        << why + QStringLiteral(
                     "; tracks play silently. Check the sound settings, or name "
                     "another output with --audio-sink.");
}

namespace {
struct OutputProbe {
    std::weak_ptr<void> engine;
    GstElement* output;
    QString device;  // what opened, empty when nothing did
};
}  // namespace

// While tracks play silently, each new file looks again for the output asked for, on a
// GStreamer worker (opening it may take as long as a sound server lets it). The first
// time it opens, the file that plays moves to it, and later files are made with it.
void PlaybinEngine::probeOutput() {
    if (m_probing) return;
    GstElement* output =
        gst_parse_bin_from_description(m_wantedSink.toUtf8().constData(), TRUE, nullptr);
    if (!output) return;
    m_probing = true;
    auto* probe = new OutputProbe{std::static_pointer_cast<void>(m_liveness),
                                  GST_ELEMENT(gst_object_ref_sink(output)), QString()};
    const auto run = [](GstElement* element, gpointer data) {
        auto* probe = static_cast<OutputProbe*>(data);
        GstBus* bus = gst_bus_new();  // its errors are heard here, not on the terminal
        gst_element_set_bus(element, bus);
        if (gst_element_set_state(element, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
            const char* device = deviceOf(element);
            if (device && !isFake(device)) probe->device = QString::fromUtf8(device);
        }
        gst_element_set_state(element, GST_STATE_NULL);
        gst_element_set_bus(element, nullptr);
        gst_object_unref(bus);
        // The answer goes to the UI thread, where the engine lives.
        g_main_context_invoke_full(
            nullptr, G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* probe = static_cast<OutputProbe*>(data);
                if (auto alive = probe->engine.lock())
                    static_cast<Liveness*>(alive.get())->engine->outputProbed(probe->device);
                return G_SOURCE_REMOVE;
            },
            probe,
            [](gpointer data) {
                auto* probe = static_cast<OutputProbe*>(data);
                gst_object_unref(probe->output);
                delete probe;
            });
    };
    gst_element_call_async(probe->output, run, probe, nullptr);
}

void PlaybinEngine::outputProbed(const QString& device) {
    m_probing = false;
    if (device.isEmpty() || !m_silent) return;
    m_silent = false;
    m_sinkDescription = m_wantedSink == QLatin1String(kDesktopOutput) ? device : m_wantedSink;
    qCInfo(lcMediaEngine).noquote()
        << QStringLiteral("the audio output '%1' can be had now; playing through it")
               .arg(m_sinkDescription);
    if (!m_chainSilent || (m_chain != Chain::Ready && m_chain != Chain::Prerolling)) return;
    m_resumeAt = m_chain == Chain::Ready ? position() : std::max(0.0, m_pendingSeek);
    m_heldDuration = m_chain == Chain::Ready ? duration() : 0;
    m_holding = true;
    reopen();
}

// A file that failed in a chain made for the light AAC decoder, where libav's could not
// take over within the chain, is played again at once with libav's, from where it was,
// without a word: the file may not be at fault. Once per load; a chain that never
// plugged the light decoder is not retried.
bool PlaybinEngine::fallBackToFullDecoder() {
    if (m_fullDecoder || !m_guard || !m_guard->lightPlugged ||
        (m_chain != Chain::Ready && m_chain != Chain::Prerolling))
        return false;
    m_fullDecoder = true;
    qCDebug(lcMediaEngine).noquote()
        << QStringLiteral("'%1': the light AAC decoder gave up; using libav's").arg(m_path);
    if (!m_holding) {
        m_resumeAt = m_chain == Chain::Ready ? position() : std::max(0.0, m_pendingSeek);
        m_heldDuration = m_chain == Chain::Ready ? duration() : 0;
        m_holding = true;
    }
    reopen();
    return true;
}
