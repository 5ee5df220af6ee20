// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>

// What a file says about itself in its own tags; empty fields are not in it.
struct TrackTags {
    QString title;
    QString artist;
    QString album;
    QString albumArtist;
    QString genre;
    int trackNumber = 0;  // 0: none
    QString artPath;      // the embedded cover, copied to a file; empty when none

    bool operator==(const TrackTags&) const = default;
};

// Reads a file's tags away from the UI thread, so playback never waits for it. UI
// thread only; `done` is called there for the latest read only, unless the reader is
// gone by then.
class ITagReader {
public:
    virtual ~ITagReader() = default;
    // The cover file of an earlier read is removed when a later read is asked for; an
    // empty `path` only removes it.
    virtual void read(const QString& path, std::function<void(const TrackTags&)> done) = 0;
};
