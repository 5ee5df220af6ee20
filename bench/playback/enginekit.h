// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include <QString>

#include "platform/gst/mediaframework.h"

// Starts the media framework for a playback benchmark; says why on standard error when
// it cannot.
inline bool startMediaFramework() {
    QString error;
    if (initMediaFramework(&error)) return true;
    std::fprintf(stderr, "cannot start the media framework: %s\n", qPrintable(error));
    return false;
}
