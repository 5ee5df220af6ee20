// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The text of entry `i` of the long list, the same for the program and the bare window.
inline QString benchEntry(int i) {
    return QStringLiteral("/home/someone/Music/Artist %1/Album/track %2.aac").arg(i % 97).arg(i);
}
