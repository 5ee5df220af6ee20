// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to the GStreamer adapter, its tests and benchmarks: it names GStreamer types.

#include <gst/gst.h>

// Which AAC decoder a chain plugs. The light one (FAAD2's "faad") keeps libav and its
// two dozen libraries out of the process; libav's ("avdec_aac") reads every kind of AAC.
// A chain gets the light one only for the kinds of stream it was measured to decode as
// libav's does (AAC-LC, stereo or 5.1, 44.1 or 48 kHz, no SBR signalled); when it then
// fails on a frame, or gives other sound than the stream's header promises, libav's takes
// over in the same chain from that frame on (switchingdecoder.cpp), and should that not
// be possible, the file is played again with libav's. QUAVERLY_AAC_DECODER=faad offers
// the light one every AAC stream, =avdec none.
namespace decoderchoice {

constexpr const char* kLight = "faad";
constexpr const char* kFull = "avdec_aac";
// What a chain made for the light decoder plugs: the light decoder, which hands the
// stream to libav's in the same chain at the first frame it cannot decode.
constexpr const char* kSwitching = "quaverlyaacdec";

// Makes kSwitching known to the decoding bins, once; false without the light decoder.
bool registerSwitchingDecoder();

// Whether the light decoder is offered a stream of these caps (a parser's or demuxer's).
bool lightFits(const GstCaps* stream);

// Whether a decoder's sound (its output caps) is what the stream's header promises: the
// same rate and channels. Sound at another rate or in other channels (an SBR or PS
// layer the header did not tell of, mono made stereo) is not what libav would give.
bool decodedAsStreamSays(const GstCaps* stream, const GstCaps* decoded);

// Has the light decoder `light` check its sound against the stream's header before it
// gives any, and post a decoding error instead of sound that differs.
void checkDecodedSound(GstElement* light);

// Whether a chain plugged `element` for the light decoder.
bool isLightDecoder(GstElement* element);

// A decoding bin's "autoplug-select": in a chain made for the light decoder, every other
// decoder (libav's) is skipped where kSwitching fits; in any other chain, kSwitching is
// skipped. The light decoder is only ever plugged inside kSwitching. `data` points to a
// std::atomic<bool>: the chain is made for the light one.
int onAutoplugSelect(GstElement* bin, GstPad* pad, GstCaps* caps, GstElementFactory* factory,
                     gpointer data);

}  // namespace decoderchoice
