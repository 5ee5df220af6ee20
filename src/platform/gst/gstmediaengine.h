// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>

#include "platform/gst/mediaframework.h"
#include "playback/imediaengine.h"

// The media engine of the program: one audio-only playback chain at a time, played
// through `sinkDescription` (a pipeline description such as "fakesink sync=true");
// empty means the desktop's default audio output. Creating it is cheap: the framework
// is initialised by prepareGstMediaEngine or at the first file, and the playback chain
// is built at the first file. Create and use it on the UI thread, inside a running
// GLib-based event loop.
std::unique_ptr<IMediaEngine> makeGstMediaEngine(const QString& sinkDescription = QString());

// Initialises the framework for an engine from makeGstMediaEngine now (saying on
// standard error when it cannot start), so that the first file waits only for its
// chain; waits for a MediaFrameworkStart that runs. Does nothing the second time, or
// for other engines.
void prepareGstMediaEngine(IMediaEngine& engine);
