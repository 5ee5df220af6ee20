// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/gstmediaengine.h"

#include "platform/gst/playbinengine.h"

std::unique_ptr<IMediaEngine> makeGstMediaEngine(const QString& sinkDescription) {
    return std::make_unique<PlaybinEngine>(sinkDescription);
}

void prepareGstMediaEngine(IMediaEngine& engine) {
    if (auto* playbin = dynamic_cast<PlaybinEngine*>(&engine)) playbin->initialise();
}
