// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>

#include "playback/itagreader.h"

// Tags through the media framework (ID3 in front of ADTS, the atoms of an MP4 file),
// each read on a short-lived worker thread of its own; a result that a later read has
// overtaken is dropped with its cover. Covers are written to `coverFolder` (made when
// needed) and removed when the next file is read and when the reader ends.
class GstTagReader : public ITagReader {
public:
    explicit GstTagReader(QString coverFolder);
    ~GstTagReader() override;
    void read(const QString& path, std::function<void(const TrackTags&)> done) override;
    // Removes the cover file of the latest read (for an end without destructors).
    void removeCover();

    // The tags of `path`, read now on the calling thread; the cover goes to `coverFile`
    // plus the image's extension.
    static TrackTags readNow(const QString& path, const QString& coverFile);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};
