// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <thread>

#include <QString>

#include "playback/itagreader.h"

// Tags through the media framework (ID3 in front of ADTS, the atoms of an MP4 file), read
// one file at a time on a worker thread of the reader's own: a read asked for while
// another waits takes its place, and the one under way is cut short once a later read
// overtakes it, its cover removed. A read slower than kSlowMs is logged. Each read's
// cover goes to a file of its own in `coverFolder` (made when needed), removed when the
// next file is read and when the reader ends. UI thread only.
class GstTagReader : public ITagReader {
public:
    static constexpr int kSlowMs = 2000;
    static constexpr int kJoinLimitMs = 2000;

    explicit GstTagReader(QString coverFolder);
    // Closes, then waits at most kJoinLimitMs for the worker before leaving it behind.
    ~GstTagReader() override;
    GstTagReader(const GstTagReader&) = delete;
    GstTagReader& operator=(const GstTagReader&) = delete;

    void read(const QString& path, std::function<void(const TrackTags&)> done) override;
    // Ends for good: no read goes on or is told, every cover file is removed, the one
    // being written too, and none is written after. For an end without destructors.
    void close();

private:
    struct Shared;
    struct Job;
    static void work(std::shared_ptr<Shared> shared);
    static void tell(const std::shared_ptr<Shared>& shared, const Job& job, const TrackTags& tags);

    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};
