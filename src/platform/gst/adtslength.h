// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The length in seconds of an ADTS stream (behind an ID3 tag or not), counted from its
// frames' headers, or 0 when the file is not one. The stream's parser knows the length
// only once a good part of the stream has played; this knows it before a sample has.
// Reads the whole file: call it off the UI thread.
double adtsLength(const QString& path);
