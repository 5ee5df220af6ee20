// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/decoderchoice.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace decoderchoice {
namespace {

// decodebin's GstAutoplugSelectResult, whose type is not in its public headers.
constexpr int kTry = 0;
constexpr int kSkip = 2;

enum class Override { None, Light, Full };

Override override() {
    const char* value = std::getenv("QUAVERLY_AAC_DECODER");
    if (value && std::strcmp(value, kLight) == 0) return Override::Light;
    if (value && std::strncmp(value, "avdec", 5) == 0) return Override::Full;
    return Override::None;
}

bool isAac(const GstStructure* s) {
    int version = 0;
    return gst_structure_has_name(s, "audio/mpeg") &&
           gst_structure_get_int(s, "mpegversion", &version) && (version == 2 || version == 4);
}

// An MP4's AudioSpecificConfig: AAC-LC (object type 2) in two bytes, so that no SBR or
// PS extension is signalled behind it.
bool plainLcConfig(const GstStructure* s) {
    const GValue* value = gst_structure_get_value(s, "codec_data");
    if (!value) return true;  // ADTS: its header's profile field tells
    if (!GST_VALUE_HOLDS_BUFFER(value)) return false;
    GstBuffer* buffer = gst_value_get_buffer(value);
    guint8 bytes[3] = {};
    const gsize size = gst_buffer_extract(buffer, 0, bytes, sizeof bytes);
    return size == 2 && (bytes[0] >> 3) == 2;
}

bool factoryIs(GstElementFactory* factory, const char* name) {
    return g_str_equal(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)), name);
}

GstPadProbeReturn onLightDecoderCaps(GstPad* pad, GstPadProbeInfo* info, gpointer) {
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
    GstCaps* decoded = nullptr;
    gst_event_parse_caps(event, &decoded);
    GstElement* decoder = gst_pad_get_parent_element(pad);
    GstPad* sink = decoder ? gst_element_get_static_pad(decoder, "sink") : nullptr;
    GstCaps* stream = sink ? gst_pad_get_current_caps(sink) : nullptr;
    const bool same = decodedAsStreamSays(stream, decoded);
    if (!same && decoder)
        GST_ELEMENT_ERROR(decoder, STREAM, DECODE, (nullptr),
                          ("the decoded sound is not what the stream's header says"));
    if (stream) gst_caps_unref(stream);
    if (sink) gst_object_unref(sink);
    if (decoder) gst_object_unref(decoder);
    return same ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
}

}  // namespace

void checkDecodedSound(GstElement* light) {
    if (GstPad* src = gst_element_get_static_pad(light, "src")) {
        gst_pad_add_probe(src, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, &onLightDecoderCaps, nullptr,
                          nullptr);
        gst_object_unref(src);
    }
}

bool isLightDecoder(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    return factory && factoryIs(factory, kSwitching);
}

bool lightFits(const GstCaps* stream) {
    if (!stream || gst_caps_get_size(stream) != 1) return false;
    const GstStructure* s = gst_caps_get_structure(stream, 0);
    if (!isAac(s)) return false;
    if (override() != Override::None) return override() == Override::Light;
    int rate = 0;
    int channels = 0;
    const char* profile = gst_structure_get_string(s, "profile");
    return profile && g_str_equal(profile, "lc") && gst_structure_get_int(s, "rate", &rate) &&
           (rate == 44100 || rate == 48000) && gst_structure_get_int(s, "channels", &channels) &&
           (channels == 2 || channels == 6) && plainLcConfig(s);
}

bool decodedAsStreamSays(const GstCaps* stream, const GstCaps* decoded) {
    if (!stream || !decoded || gst_caps_is_empty(stream) || gst_caps_is_empty(decoded))
        return false;
    const GstStructure* in = gst_caps_get_structure(stream, 0);
    const GstStructure* out = gst_caps_get_structure(decoded, 0);
    int inRate = 0, inChannels = 0, outRate = 0, outChannels = 0;
    return gst_structure_get_int(in, "rate", &inRate) &&
           gst_structure_get_int(in, "channels", &inChannels) &&
           gst_structure_get_int(out, "rate", &outRate) &&
           gst_structure_get_int(out, "channels", &outChannels) && inRate == outRate &&
           inChannels == outChannels;
}

int onAutoplugSelect(GstElement*, GstPad*, GstCaps* caps, GstElementFactory* factory,
                     gpointer data) {
    const bool light = registerSwitchingDecoder() && static_cast<std::atomic<bool>*>(data)->load();
    if (factoryIs(factory, kSwitching)) return light && lightFits(caps) ? kTry : kSkip;
    if (factoryIs(factory, kLight)) return kSkip;
    // Any other decoder (libav has a fixed-point one too) would load libav.
    const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (light && klass && std::strstr(klass, "Decoder") && lightFits(caps)) return kSkip;
    return kTry;
}

}  // namespace decoderchoice
