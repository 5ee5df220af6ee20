// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Test media made on the spot by encoding a sine tone in-process. Each returns false
// and fills `error` when the file could not be written. Safe to call before or after
// the media engine has initialised the media framework.

// A stereo AAC file in ADTS framing, `seconds` long, a sine of `frequency` Hz.
bool writeAacFile(const QString& path, double seconds, int frequency = 440,
                  QString* error = nullptr);

// An ADTS file of one second with an ID3 tag in front: title "Harbour Lights", artist "The
// Quavers", album "Night Tunes", track 3 and a small PNG cover.
bool writeTaggedAdts(const QString& path, QString* error = nullptr);

// Whether the media framework has the element `name`; `error` says which is missing.
bool hasMediaElement(const char* name, QString* error = nullptr);

// A small container with a moving picture and an AAC sound track, `seconds` long.
// Returns false with `error` naming the reason when no video encoder is installed.
bool writeVideoFile(const QString& path, double seconds, QString* error = nullptr);

// Runs the media pipeline `description` (gst-launch syntax) to its end; it writes `path`
// through its file sink named "out".
bool writeMediaFile(const QString& path, const QString& description, QString* error = nullptr);

// A file that a player meets in real folders but cannot play as sound, named by `kind`:
// "empty", "random" (64 KiB of noise), "text", "id3" (a tag header and junk), "cut" (the
// first bytes of an ADTS stream), "png", "jpeg", "video" (WebM with pictures only) and
// "tags" (a good stream behind 5,000 empty ID3 tags, which makes a naive chain grow a
// stage and a thread per tag).
bool writeBadFile(const QString& path, const QString& kind, QString* error = nullptr);

// An MP4 "reference movie": no sound of its own, only a data reference that sends the
// reader to `url` (the demuxer asks its user to follow it).
bool writeReferenceMovie(const QString& path, const QString& url, QString* error = nullptr);
