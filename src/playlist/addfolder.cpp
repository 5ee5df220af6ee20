// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist/addfolder.h"

#include <optional>
#include <utility>

#include <QLoggingCategory>
#include <QScopeGuard>

#include "core/ifilesystem.h"
#include "core/steprunner.h"
#include "playlist/ishell.h"
#include "playlist/mainpaths.h"

Q_LOGGING_CATEGORY(lcScan, "quaverly.playlist.scan")

namespace {

const QString kWalkLocation =
    QStringLiteral("in BrannockTitle2021/08/31.AddFolder.GetSubDirectories2016 ");
constexpr QChar kSeparator = u'/';
constexpr qsizetype kMaxPath = 260;
constexpr quint32 kHiddenSystemFolder = 22;
constexpr quint32 kLinkedFolder = 1046;
constexpr quint32 kHiddenArchiveFile = 34;

// Runs `f` as step `n` of the caller's procedure, or plainly when there is no caller box.
template <class F>
void runStep(StepRunner* steps, int n, F&& f) {
    if (steps)
        steps->step(n, std::forward<F>(f));
    else
        std::forward<F>(f)();
}

// The entries of `listing` whose names match `pattern`, with their kinds and its stamp.
DirListing matching(const DirListing& listing, const QString& pattern) {
    DirListing kept;
    kept.error = listing.error;
    kept.stamp = listing.stamp;
    for (qsizetype i = 0; i < listing.names.size(); ++i) {
        if (!MatchesPattern(listing.names[i], pattern)) continue;
        kept.names.append(listing.names[i]);
        kept.kinds.append(listing.kinds[i]);
    }
    return kept;
}

// The kinds of a read can be taken at their word: every entry has one, and names could
// be looked up in the folder at the time.
bool hasKinds(const DirListing& listing) {
    return listing.stamp.searchable && listing.kinds.size() == listing.names.size();
}

template <class F>
bool runTest(StepRunner* steps, int n, F&& f) {
    return steps ? steps->test(n, std::forward<F>(f)) : std::forward<F>(f)();
}

}  // namespace

// One scan's memory, from its first folder read to its last file appended. Folder
// attributes are read once per scan. An import also keeps, from the walk's read of
// each folder, the entries that match its pattern, so that the folder need not be
// read again for its files: they are used only when the folder is unchanged since.
struct AddFolder::Scan {
    QHash<QString, std::optional<quint32>> attributes;
    bool keepFiles = false;
    QString pattern;
    QHash<QString, DirListing> files;  // by folder as walked, ending with "/"
};

AddFolder::AddFolder(IFileSystem& fs, IMessageBoxes& boxes, std::function<void()> processEvents)
    : m_fs(fs), m_boxes(boxes), m_processEvents(std::move(processEvents)) {
    if (!m_processEvents) m_processEvents = [] {};
}

QString AddFolder::BrowseForFolder(IShell& shell, const QString& title, const QString& initial) {
    m_initialFolder = initial;
    QString chosen = shell.browseForFolder(title, m_initialFolder);
    // The chosen path ends at the first NUL, as any C string handed over would.
    const qsizetype nul = chosen.indexOf(QChar(0));
    if (nul >= 0) chosen.truncate(nul);
    return chosen;
}

// "/" is the only root; "//" is what a chosen "/" becomes once the walk adds its "/".
bool AddFolder::isRootFolder(const QString& path) const {
    if (path.isEmpty()) return false;
    for (QChar c : path) {
        if (c != kSeparator) return false;
    }
    return true;
}

// Each level of the walk checks again every deeper folder it hands back, so one scan
// reads a folder's attributes once and keeps them until it ends.
std::optional<quint32> AddFolder::folderAttributes(const QString& path) {
    auto& known = m_scan->attributes;
    if (auto it = known.constFind(path); it != known.cend()) return *it;
    const auto value = m_fs.attributes(path);
    known.insert(path, value);
    return value;
}

bool AddFolder::isFolder(const QString& path) {
    const auto value = folderAttributes(path);
    return value && (*value & FileAttr::Directory) != 0;
}

bool AddFolder::isStopValue(const QString& path) {
    const auto value = folderAttributes(path);
    return value && (*value == kHiddenSystemFolder || *value == kLinkedFolder);
}

void AddFolder::yield() {
    Scan* const current = std::exchange(m_scan, nullptr);
    const auto restore = qScopeGuard([&] { m_scan = current; });
    m_processEvents();
}

void AddFolder::GetSubDirectories2016(QStringList& list, bool recurse) {
    // The deeper levels and the import that called this walk share its scan.
    Scan own;
    Scan* const outer = m_scan;
    if (!m_scan) m_scan = &own;
    const auto leave = qScopeGuard([&] { m_scan = outer; });
    StepRunner steps(m_boxes, kWalkLocation);
    QStringList found;  // 104
    // The list loses entries while it is walked, so walk a copy of it.
    const QStringList starting = list;
    for (const QString& v : starting) {  // 106
        if (!steps.test(108, [&] { return isFolder(v); })) continue;
        if (steps.test(110, [&] { return v.size() >= kMaxPath; })) continue;
        steps.step(114, [&] { yield(); });
        if (steps.test(116, [&] { return !isRootFolder(v) && isStopValue(v); })) continue;
        DirListing listing;
        if (steps.step(118, [&] { listing = m_fs.readFolder(v); })) {
            keepFiles(v, listing);
            takeSubFolders(steps, v, listing, list, found);
        }
    }
    if (recurse && !found.isEmpty()) steps.step(150, [&] { GetSubDirectories2016(found, true); });
    for (const QString& v : std::as_const(found)) {  // 152
        if (!steps.test(154, [&] { return isFolder(v); })) continue;
        steps.step(156, [&] { yield(); });
        if (steps.test(158, [&] { return isRootFolder(v) || !isStopValue(v); }))
            steps.step(160, [&] { list.append(v); });
    }
}

void AddFolder::keepFiles(const QString& v, const DirListing& listing) {
    // Only a complete read of a folder whose later changes will show is worth keeping.
    if (m_scan->keepFiles && listing.error == ListError::None && listing.stamp.settled &&
        hasKinds(listing))
        m_scan->files.insert(v, matching(listing, m_scan->pattern));
}

void AddFolder::takeSubFolders(StepRunner& steps, const QString& v, const DirListing& listing,
                               QStringList& list, QStringList& found) {
    // A listing that stopped half-way keeps what it gave before it stopped.
    for (qsizetype i = 0; i < listing.names.size(); ++i) {
        if (i < listing.kinds.size() && listing.kinds[i] != EntryKind::Folder) continue;
        const QString& name = listing.names[i];
        steps.step(120, [&] { yield(); });
        if (name.size() >= kMaxPath || HasUnsafeChars(name) || name.contains(u'?') ||
            name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        found.append(v + name + kSeparator);
    }
    if (listing.error == ListError::None) return;
    qCDebug(lcScan) << "cannot list the folders of" << v;
    if (listing.error == ListError::PermissionDenied || listing.error == ListError::PathNotFound)
        list.removeOne(v);
}

void AddFolder::ImportFolderTree(const QString& folder, const QString& pattern,
                                 const Append& append, StepRunner* steps) {
    Scan scan;
    scan.keepFiles = true;
    scan.pattern = pattern;
    Scan* const outer = std::exchange(m_scan, &scan);
    const auto leave = qScopeGuard([&] { m_scan = outer; });
    QStringList folders;
    runStep(steps, 114, [&] { folders = QStringList{folder + kSeparator}; });
    runStep(steps, 116, [&] { GetSubDirectories2016(folders, true); });
    for (const QString& v : std::as_const(folders)) importFolder(v, pattern, append, steps);  // 118
}

void AddFolder::importFolder(QString v, const QString& pattern, const Append& append,
                             StepRunner* steps) {
    // One chance for the window per folder, before its files are listed: the files of
    // a large tree take far longer to list than its folders, and the window must not
    // freeze meanwhile. Within one folder the appending does not yield.
    runStep(steps, 118, [&] { yield(); });
    // The walk's read of the folder serves when nothing in it has changed since;
    // otherwise it is read again, with the kinds of its entries where they can be had.
    std::optional<DirListing> kept;
    if (auto it = m_scan->files.find(v); it != m_scan->files.end()) {
        kept = std::move(*it);
        m_scan->files.erase(it);
    }
    const QString folder = v;
    runStep(steps, 120, [&] { v.chop(1); });
    QStringList names;
    QList<EntryKind> kinds;
    runStep(steps, 122, [&] {
        if (!kept || !m_fs.unchanged(folder, kept->stamp)) {
            const DirListing fresh = m_fs.readFolder(v);
            kept.reset();
            if (hasKinds(fresh)) kept = matching(fresh, pattern);
        }
        if (!kept) {
            names = ListFiles(m_fs, v, pattern);
            return;
        }
        // The folder could be searched when these entries were read: a regular file
        // opened and a folder did not; anything else is tried.
        for (qsizetype i = 0; i < kept->names.size(); ++i) {
            const EntryKind kind = kept->kinds[i];
            if (kind == EntryKind::Folder) continue;
            if (kind != EntryKind::File && !CanOpenFile(m_fs, v + kSeparator + kept->names[i]))
                continue;
            names.append(kept->names[i]);
            kinds.append(kind);
        }
    });
    for (qsizetype i = 0; i < names.size(); ++i) {  // 124
        const QString& name = names[i];
        if (runTest(steps, 126, [&] { return name.startsWith(u'~'); })) continue;
        const QString path = v + kSeparator + name;  // 128
        const bool accept = runTest(steps, 132, [&] {
            // A regular file without a leading "." has the archive bit and not the
            // hidden one, so its value is never 34.
            if (i < kinds.size() && kinds[i] == EntryKind::File && !name.startsWith(u'.'))
                return true;
            const auto value = m_fs.attributes(path);
            // Only regular files, or links to them, carry the archive bit: a FIFO, a
            // socket or a device opens too, but blocks or never ends when played.
            if (!value || *value == kHiddenArchiveFile || !(*value & FileAttr::Archive))
                return false;
            // An entry that is itself a regular file (not a link) opens; only links need
            // the open tried. This halves the calls of a large scan.
            if (!(*value & FileAttr::ReparsePoint)) return true;
            return CanOpenFile(m_fs, path);
        });
        if (accept) runStep(steps, 132, [&] { append(CollapseBackslashes(path)); });
    }
}
