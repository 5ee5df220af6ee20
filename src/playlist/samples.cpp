// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist/samples.h"

#include <QStringList>

#include "core/imessageboxes.h"
#include "core/isettingsstore.h"
#include "playlist/ishell.h"
#include "playlist/mainpaths.h"

namespace {
const QString kSamplesFolder = QStringLiteral("/Samples");
constexpr QChar kPathSeparator = u'|';
}  // namespace

const QString kOpenSamplesQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored "
    "(so that you can view them before working with them)?");

bool SamplesSnapshotMissing(const ISettingsStore& store) {
    return readSetting(store, SettingKey::Snapshot).isEmpty();
}

QString TakeSamplesSnapshot(ISettingsStore& store, const IFileSystem& fs,
                            const QString& programFolder) {
    const QString folder = programFolder + kSamplesFolder;
    QStringList paths;
    for (const QString& name : ListFiles(fs, folder, QStringLiteral("*.*")))
        paths.append(folder + u'/' + name);
    const QString snapshot = paths.join(kPathSeparator);
    store.save(SettingKey::Snapshot, snapshot);
    return snapshot;
}

int LoadSampleFiles(const SampleLoadContext& context) {
    const QString snapshot = readSetting(context.store, SettingKey::Snapshot);
    const QStringList paths = snapshot.isEmpty() ? QStringList() : snapshot.split(kPathSeparator);
    int added = 0;
    for (const QString& path : paths) {
        if (FileExists(context.fs, path) && !context.isInPlaylist(path)) {
            context.append(path);
            ++added;
        }
    }
    if (context.boxes.question(context.appTitle, kOpenSamplesQuestion))
        context.shell.openFolder(context.programFolder + kSamplesFolder + u'/');
    return added;
}
