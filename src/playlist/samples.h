// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>

class IFileSystem;
class IMessageBoxes;
class IShell;
class ISettingsStore;

// The sample files that ship in the folder "Samples" beside the program. Which files
// count as samples is recorded once in the setting "Snapshot"; loading reads that
// record, never the folder's current contents. UI thread only.

// The question asked after every load.
extern const QString kOpenSamplesQuestion;

// True when "Snapshot" is empty or missing: start-up then takes the snapshot.
bool SamplesSnapshotMissing(const ISettingsStore& store);

// Records the files of programFolder + "/Samples" as full paths joined by "|" under
// "Snapshot" and returns that text. A store failure propagates to the caller's box.
QString TakeSamplesSnapshot(ISettingsStore& store, const IFileSystem& fs,
                            const QString& programFolder);

struct SampleLoadContext {
    const ISettingsStore& store;
    const IFileSystem& fs;
    IMessageBoxes& boxes;
    IShell& shell;
    QString appTitle;
    QString programFolder;
    std::function<bool(const QString& path)> isInPlaylist;
    std::function<void(const QString& path)> append;
};

// Appends each recorded sample that still exists and is not in the Playlist by exactly
// the same text, then asks whether to open the Samples folder and opens it on Yes.
// Returns how many entries were appended. A failure propagates to the caller's box;
// entries appended until then stay.
int LoadSampleFiles(const SampleLoadContext& context);
