// SPDX-License-Identifier: GPL-3.0-or-later
#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <utility>

#include "platform/gst/decoderchoice.h"

// The decoder a chain made for the light AAC decoder plugs: the light decoder inside a
// bin that, when it fails on a frame, puts libav's in its place within the same chain and
// hands it that frame, so the sound goes on where it was with nothing heard. libav's gets
// the frames whose sound has not come out yet and two before them (each frame's sound
// overlaps the one before); what it makes of sound already heard is dropped, and the
// rest is timed to follow on from it.
//
// The two decoders do not time their sound alike: the light one gives nothing for a
// stream's first frame and times the second one's sound as the first's, and libav's,
// started in the middle of a stream, may give its sound a frame later than its times. So
// where libav's sound goes on is found by comparing it with the last sound heard.

namespace {

constexpr guint kPrimingFrames = 2;
constexpr guint kMostKept = 64;  // about 1.5 s of frames
constexpr int kCandidates = 3;   // libav's sound timed 0, 1 or 2 frames after the last heard
constexpr double kSameSoundDb = 20;

struct SwitchingDecoder {
    GstBin parent;
    std::atomic<GstElement*> decoder;  // the light one until it fails, then libav's
    GstPad* sink;
    GstPad* src;
    std::atomic<bool> switched;
    std::atomic<bool> inChain;  // a buffer is being handed on, on the streaming thread
    GstMessage* held;           // the light decoder's error, kept until it is known mended
    GQueue kept;                // frames whose sound has not come out yet, and a few before
    GstBuffer* lastHeard;       // the light decoder's last sound
    GstClockTime pushedEnd;     // the end of the frame being decoded
    GstClockTime soundEnd;      // the end of the frame the last sound was decoded from
};

struct SwitchingDecoderClass {
    GstBinClass parent_class;
};

G_DEFINE_TYPE(SwitchingDecoder, switching_decoder, GST_TYPE_BIN)

GstClockTime endOf(const GstBuffer* buffer) {
    return GST_BUFFER_PTS_IS_VALID(buffer) && GST_BUFFER_DURATION_IS_VALID(buffer)
               ? GST_BUFFER_PTS(buffer) + GST_BUFFER_DURATION(buffer)
               : GST_CLOCK_TIME_NONE;
}

void forgetKept(SwitchingDecoder* self) {
    g_queue_clear_full(&self->kept, reinterpret_cast<GDestroyNotify>(gst_buffer_unref));
    gst_clear_buffer(&self->lastHeard);
    self->soundEnd = GST_CLOCK_TIME_NONE;
}

bool heard(const SwitchingDecoder* self, const GstBuffer* frame) {
    return GST_CLOCK_TIME_IS_VALID(self->soundEnd) && GST_BUFFER_PTS_IS_VALID(frame) &&
           GST_BUFFER_PTS(frame) < self->soundEnd;
}

void keep(SwitchingDecoder* self, GstBuffer* frame) {
    GQueue* kept = &self->kept;
    g_queue_push_tail(kept, gst_buffer_ref(frame));
    while (kept->length > kMostKept ||
           (kept->length > kPrimingFrames &&
            heard(self, static_cast<GstBuffer*>(g_queue_peek_nth(kept, kPrimingFrames)))))
        gst_buffer_unref(static_cast<GstBuffer*>(g_queue_pop_head(kept)));
}

// A seek: what was kept is from elsewhere in the stream.
GstPadProbeReturn onFlush(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<SwitchingDecoder*>(data);
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP && !self->switched)
        forgetKept(self);
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn onLightSound(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<SwitchingDecoder*>(data);
    GstBuffer* sound = GST_PAD_PROBE_INFO_BUFFER(info);
    if (!GST_CLOCK_TIME_IS_VALID(endOf(sound))) return GST_PAD_PROBE_OK;
    // A copy in a buffer of our own: a reference would leave the sound read-only to the
    // elements after, which would then copy every buffer to change it.
    GstMapInfo map;
    if (!gst_buffer_map(sound, &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    if (!self->lastHeard || gst_buffer_get_size(self->lastHeard) != map.size) {
        gst_clear_buffer(&self->lastHeard);
        self->lastHeard = gst_buffer_new_allocate(nullptr, map.size, nullptr);
    }
    gst_buffer_fill(self->lastHeard, 0, map.data, map.size);
    gst_buffer_unmap(sound, &map);
    GST_BUFFER_PTS(self->lastHeard) = GST_BUFFER_PTS(sound);
    GST_BUFFER_DURATION(self->lastHeard) = GST_BUFFER_DURATION(sound);
    self->soundEnd = self->pushedEnd;
    return GST_PAD_PROBE_OK;
}

// How alike two stretches of sound in the same format (16-bit samples) are, in dB.
double likeness(GstBuffer* a, GstBuffer* b) {
    GstMapInfo ma, mb;
    if (!gst_buffer_map(a, &ma, GST_MAP_READ)) return 0;
    if (!gst_buffer_map(b, &mb, GST_MAP_READ)) {
        gst_buffer_unmap(a, &ma);
        return 0;
    }
    const gsize n = std::min(ma.size, mb.size) / sizeof(gint16);
    double signal = 0, difference = 0;
    for (gsize i = 0; i < n; ++i) {
        gint16 x, y;
        std::memcpy(&x, ma.data + i * sizeof x, sizeof x);
        std::memcpy(&y, mb.data + i * sizeof y, sizeof y);
        signal += double(x) * x;
        difference += (double(x) - y) * (double(x) - y);
    }
    gst_buffer_unmap(a, &ma);
    gst_buffer_unmap(b, &mb);
    return signal == 0 ? 0 : 10 * std::log10(signal / (difference + 1));
}

// libav's sound in the format heard, until it is known where it follows on from the light
// decoder's; then moved onto the light decoder's times, until the stream starts anew.
struct Takeover {
    GstBuffer* heard;      // the light decoder's last sound
    GstClockTime heardAt;  // its time
    GstClockTime frame;
    GstClockTime lead;  // how far the light decoder's times run behind the frames it decodes
    GstBuffer* candidate[kCandidates] = {};  // libav's sound timed heardAt + k frames
    GstClockTime shift = GST_CLOCK_TIME_NONE;

    ~Takeover() {
        if (heard) gst_buffer_unref(heard);
        for (GstBuffer*& sound : candidate) gst_clear_buffer(&sound);
    }

    int candidateAt(GstClockTime time) const {
        if (!GST_CLOCK_TIME_IS_VALID(time) || time + frame / 2 < heardAt) return -1;
        const GstClockTime k = (time - heardAt + frame / 2) / frame;
        return k < kCandidates ? int(k) : kCandidates;
    }

    // The candidate most like the last sound heard: libav's sound from the one after it
    // on is new. Without one clearly alike (silence, damage), libav's times are taken
    // to be the frames' own.
    int decide() const {
        int best = int((lead + frame / 2) / frame);
        double bestDb = kSameSoundDb;
        for (int k = 0; k < kCandidates; ++k) {
            const double db = candidate[k] ? likeness(heard, candidate[k]) : 0;
            if (db > bestDb) best = k, bestDb = db;
        }
        return std::clamp(best, 0, kCandidates - 1);
    }

    // `sound` is libav's next buffer; returns what goes on out of the bin, if anything.
    GstBuffer* take(GstBuffer* sound) {
        const bool anew = GST_BUFFER_IS_DISCONT(sound);
        if (GST_CLOCK_TIME_IS_VALID(shift)) {
            // Having found its feet again after damage, libav's times are the frames' own.
            if (anew) shift = lead;
            return moved(sound);
        }
        const int k = candidateAt(GST_BUFFER_PTS(sound));
        if (k < 0) return dropped(sound);  // before the last sound heard
        const bool stored = k == 0 || (k < kCandidates && !anew);
        if (stored) {
            gst_buffer_replace(&candidate[k], sound);
            if (k < kCandidates - 1) return dropped(sound);
        }
        const int best = decide();
        shift = anew && !stored ? lead : GstClockTime(best) * frame;
        // What follows the sound heard, in one piece: a candidate or two, and `sound`.
        GstBuffer* out = nullptr;
        for (int j = best + 1; j < kCandidates; ++j)
            if (candidate[j] && candidate[j] != sound)
                out = joined(out, gst_buffer_ref(candidate[j]));
        out = stored && k <= best ? (dropped(sound), out) : joined(out, sound);
        heard = (gst_buffer_unref(heard), nullptr);
        for (GstBuffer*& each : candidate) gst_clear_buffer(&each);
        return out ? moved(out) : nullptr;
    }

    // `next` after `first`, when it follows on without a gap; only `next` otherwise.
    static GstBuffer* joined(GstBuffer* first, GstBuffer* next) {
        if (!first) return next;
        const GstClockTime end = endOf(next);
        const GstClockTime gap = GST_BUFFER_PTS(next) > endOf(first)
                                     ? GST_BUFFER_PTS(next) - endOf(first)
                                     : endOf(first) - GST_BUFFER_PTS(next);
        if (!GST_CLOCK_TIME_IS_VALID(end) || gap > GST_MSECOND) {
            gst_buffer_unref(first);
            return next;
        }
        first = gst_buffer_append(gst_buffer_make_writable(first), next);
        GST_BUFFER_DURATION(first) = end - GST_BUFFER_PTS(first);
        return first;
    }

    GstBuffer* moved(GstBuffer* sound) {
        if (!shift || !GST_BUFFER_PTS_IS_VALID(sound) || GST_BUFFER_PTS(sound) < shift)
            return sound;
        sound = gst_buffer_make_writable(sound);
        GST_BUFFER_PTS(sound) -= shift;
        return sound;
    }

    static GstBuffer* dropped(GstBuffer* sound) {
        gst_buffer_unref(sound);
        return nullptr;
    }
};

GstPadProbeReturn onFullSound(GstPad*, GstPadProbeInfo* info, gpointer data) {
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_FLUSH)
        return GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) == GST_EVENT_FLUSH_STOP
                   ? GST_PAD_PROBE_REMOVE
                   : GST_PAD_PROBE_OK;
    GstBuffer* out = static_cast<Takeover*>(data)->take(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = out;
    return out ? GST_PAD_PROBE_OK : GST_PAD_PROBE_HANDLED;
}

// libav's decoder, then a converter to the format heard so far, so that the output is not
// set up anew (which loses what it holds). Returns the last of them.
GstElement* addFullDecoder(SwitchingDecoder* self, GstElement* full) {
    gst_bin_add(GST_BIN(self), full);
    GstCaps* format = gst_pad_get_current_caps(self->src);
    if (!format) return full;
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* filter = gst_element_factory_make("capsfilter", nullptr);
    GstElement* last = full;
    if (convert && filter) {
        g_object_set(filter, "caps", format, nullptr);
        gst_bin_add_many(GST_BIN(self), convert, filter, nullptr);
        gst_element_link_many(full, convert, filter, nullptr);
        gst_element_sync_state_with_parent(filter);
        gst_element_sync_state_with_parent(convert);
        last = filter;
    } else {
        if (convert) gst_object_unref(gst_object_ref_sink(convert));
        if (filter) gst_object_unref(gst_object_ref_sink(filter));
    }
    gst_caps_unref(format);
    return last;
}

// On the streaming thread, right after the light decoder refused `refused`.
bool switchDecoder(SwitchingDecoder* self, GstBuffer* refused) {
    GstElement* full = gst_element_factory_make(decoderchoice::kFull, nullptr);
    if (!full) return false;
    GstElement* light = self->decoder;
    gst_element_set_locked_state(light, TRUE);
    GstElement* last = addFullDecoder(self, full);
    GstPad* fullSink = gst_element_get_static_pad(full, "sink");
    GstPad* lastSrc = gst_element_get_static_pad(last, "src");
    // The sink's proxy keeps the stream's events and gives them to its new peer first.
    gst_ghost_pad_set_target(GST_GHOST_PAD(self->sink), fullSink);
    gst_ghost_pad_set_target(GST_GHOST_PAD(self->src), lastSrc);
    const GstClockTime heardEnd = self->lastHeard ? endOf(self->lastHeard) : GST_CLOCK_TIME_NONE;
    if (last != full && GST_CLOCK_TIME_IS_VALID(heardEnd) &&
        GST_CLOCK_TIME_IS_VALID(self->soundEnd) && self->soundEnd >= heardEnd &&
        GST_BUFFER_DURATION_IS_VALID(refused) && GST_BUFFER_DURATION(refused) > 0)
        gst_pad_add_probe(
            lastSrc,
            static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                         GST_PAD_PROBE_TYPE_EVENT_FLUSH),
            &onFullSound,
            new Takeover{gst_buffer_ref(self->lastHeard), GST_BUFFER_PTS(self->lastHeard),
                         GST_BUFFER_DURATION(refused), self->soundEnd - heardEnd},
            [](gpointer data) { delete static_cast<Takeover*>(data); });
    gst_object_unref(fullSink);
    gst_object_unref(lastSrc);
    gst_element_sync_state_with_parent(full);
    self->decoder = full;
    self->switched = true;
    // Taken down away from the stream, which must not wait for it.
    gst_element_call_async(
        GST_ELEMENT(self),
        [](GstElement* bin, gpointer data) {
            auto* light = static_cast<GstElement*>(data);
            gst_element_set_state(light, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(bin), light);
        },
        gst_object_ref(light), gst_object_unref);
    GST_INFO_OBJECT(self, "the light decoder gave up; libav's goes on from here");
    return true;
}

GstFlowReturn handOn(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    return gst_proxy_pad_chain_default(pad, parent, buffer);
}

GstFlowReturn chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    auto* self = reinterpret_cast<SwitchingDecoder*>(parent);
    if (self->switched) return handOn(pad, parent, buffer);
    if (GST_BUFFER_IS_DISCONT(buffer)) forgetKept(self);
    self->pushedEnd = endOf(buffer);
    self->inChain = true;
    const GstFlowReturn flow = handOn(pad, parent, gst_buffer_ref(buffer));
    self->inChain = false;
    GST_OBJECT_LOCK(self);
    GstMessage* held = std::exchange(self->held, nullptr);
    GST_OBJECT_UNLOCK(self);
    const bool refused = flow == GST_FLOW_ERROR || flow == GST_FLOW_NOT_NEGOTIATED;
    if (held && refused && switchDecoder(self, buffer)) {
        gst_message_unref(held);
        // libav's starts afresh here.
        bool first = true;
        while (auto* earlier = static_cast<GstBuffer*>(g_queue_pop_head(&self->kept))) {
            if (std::exchange(first, false)) {
                earlier = gst_buffer_make_writable(earlier);
                GST_BUFFER_FLAG_SET(earlier, GST_BUFFER_FLAG_DISCONT);
            }
            handOn(pad, parent, earlier);
        }
        return handOn(pad, parent, buffer);
    }
    if (held) GST_BIN_CLASS(switching_decoder_parent_class)->handle_message(GST_BIN(self), held);
    if (flow == GST_FLOW_OK) keep(self, buffer);
    gst_buffer_unref(buffer);
    return flow;
}

GstFlowReturn chainList(GstPad* pad, GstObject* parent, GstBufferList* list) {
    GstFlowReturn flow = GST_FLOW_OK;
    for (guint i = 0; i < gst_buffer_list_length(list) && flow == GST_FLOW_OK; ++i)
        flow = chain(pad, parent, gst_buffer_ref(gst_buffer_list_get(list, i)));
    gst_buffer_list_unref(list);
    return flow;
}

// The light decoder's errors while it decodes a frame wait for what comes of the frame.
void handleMessage(GstBin* bin, GstMessage* message) {
    auto* self = reinterpret_cast<SwitchingDecoder*>(bin);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && self->inChain && !self->switched &&
        GST_MESSAGE_SRC(message) == GST_OBJECT(self->decoder.load())) {
        GST_OBJECT_LOCK(self);
        std::swap(self->held, message);
        GST_OBJECT_UNLOCK(self);
        if (message) gst_message_unref(message);
        return;
    }
    GST_BIN_CLASS(switching_decoder_parent_class)->handle_message(bin, message);
}

void switching_decoder_init(SwitchingDecoder* self) {
    self->pushedEnd = self->soundEnd = GST_CLOCK_TIME_NONE;
    GstElementClass* klass = GST_ELEMENT_GET_CLASS(self);
    GstElement* light = gst_element_factory_make(decoderchoice::kLight, nullptr);
    if (!light) return;                             // no pads: the decoding bin passes it over
    g_object_set(light, "max-errors", 0, nullptr);  // the first bad frame goes to libav's
    decoderchoice::checkDecodedSound(light);
    gst_bin_add(GST_BIN(self), light);
    self->decoder = light;
    GstPad* lightSink = gst_element_get_static_pad(light, "sink");
    GstPad* lightSrc = gst_element_get_static_pad(light, "src");
    gst_pad_add_probe(lightSrc, GST_PAD_PROBE_TYPE_BUFFER, &onLightSound, self, nullptr);
    self->sink = gst_ghost_pad_new_from_template("sink", lightSink,
                                                 gst_element_class_get_pad_template(klass, "sink"));
    gst_pad_set_chain_function(self->sink, &chain);
    gst_pad_set_chain_list_function(self->sink, &chainList);
    gst_pad_add_probe(self->sink, GST_PAD_PROBE_TYPE_EVENT_FLUSH, &onFlush, self, nullptr);
    self->src = gst_ghost_pad_new_from_template("src", lightSrc,
                                                gst_element_class_get_pad_template(klass, "src"));
    gst_object_unref(lightSink);
    gst_object_unref(lightSrc);
    gst_element_add_pad(GST_ELEMENT(self), self->sink);
    gst_element_add_pad(GST_ELEMENT(self), self->src);
}

void finalize(GObject* object) {
    auto* self = reinterpret_cast<SwitchingDecoder*>(object);
    forgetKept(self);
    if (self->held) gst_message_unref(self->held);
    G_OBJECT_CLASS(switching_decoder_parent_class)->finalize(object);
}

void switching_decoder_class_init(SwitchingDecoderClass* klass) {
    static GstStaticPadTemplate sink = GST_STATIC_PAD_TEMPLATE(
        "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
        GST_STATIC_CAPS("audio/mpeg, mpegversion = (int) 2; audio/mpeg, mpegversion = (int) 4, "
                        "stream-format = (string) { raw, adts }"));
    static GstStaticPadTemplate src =
        GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-raw"));
    auto* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sink);
    gst_element_class_add_static_pad_template(element, &src);
    gst_element_class_set_static_metadata(
        element, "AAC decoder, light with libav's behind it", "Codec/Decoder/Audio",
        "Decodes with the light AAC decoder until it fails", "Quaverly");
    GST_BIN_CLASS(klass)->handle_message = &handleMessage;
    G_OBJECT_CLASS(klass)->finalize = &finalize;
}

}  // namespace

namespace decoderchoice {

bool registerSwitchingDecoder() {
    static const bool registered = [] {
        GstElementFactory* light = gst_element_factory_find(kLight);
        if (!light) return false;
        gst_object_unref(light);
        return gst_element_register(nullptr, kSwitching, GST_RANK_MARGINAL,
                                    switching_decoder_get_type()) == TRUE;
    }();
    return registered;
}

}  // namespace decoderchoice
