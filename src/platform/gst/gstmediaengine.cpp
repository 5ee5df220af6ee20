// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/gstmediaengine.h"

#include <gst/gst.h>

#include "platform/gst/playbinengine.h"

bool initMediaFramework(QString* error) {
    if (gst_is_initialized()) return true;
    GError* err = nullptr;
    if (gst_init_check(nullptr, nullptr, &err)) return true;
    if (error) *error = QString::fromUtf8(err && err->message ? err->message : "unknown error");
    g_clear_error(&err);
    return false;
}

std::unique_ptr<IMediaEngine> makeGstMediaEngine(const QString& sinkDescription) {
    return std::make_unique<PlaybinEngine>(sinkDescription);
}

void prepareGstMediaEngine(IMediaEngine& engine) {
    if (auto* playbin = dynamic_cast<PlaybinEngine*>(&engine)) playbin->initialise();
}
