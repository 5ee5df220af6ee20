#include "playlist/addfolder.h"

#include <QLoggingCategory>
#include <QScopeGuard>

#include "app/steprunner.h"
#include "playlist/ifilesystem.h"
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

template <class F>
bool runTest(StepRunner* steps, int n, F&& f) {
    return steps ? steps->test(n, std::forward<F>(f)) : std::forward<F>(f)();
}

}  // namespace

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

// Each level of the walk checks again every deeper folder it hands back, so one walk
// reads a folder's attributes once and keeps them until the outermost level returns.
std::optional<quint32> AddFolder::folderAttributes(const QString& path) {
    if (auto known = m_walkAttributes.constFind(path); known != m_walkAttributes.cend())
        return *known;
    const auto value = m_fs.attributes(path);
    m_walkAttributes.insert(path, value);
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

void AddFolder::GetSubDirectories2016(QStringList& list, bool recurse) {
    ++m_walkDepth;
    const auto leave = qScopeGuard([this] {
        if (--m_walkDepth == 0) m_walkAttributes.clear();
    });
    StepRunner steps(m_boxes, kWalkLocation);
    QStringList found;  // 104
    // The list loses entries while it is walked, so walk a copy of it.
    const QStringList starting = list;
    for (const QString& v : starting) {  // 106
        if (!steps.test(108, [&] { return isFolder(v); })) continue;
        if (steps.test(110, [&] { return v.size() >= kMaxPath; })) continue;
        steps.step(114, [&] { m_processEvents(); });
        if (steps.test(116, [&] { return !isRootFolder(v) && isStopValue(v); })) continue;
        DirListing listing;
        if (steps.step(118, [&] { listing = m_fs.subFolders(v); }))
            takeSubFolders(steps, v, listing, list, found);
    }
    if (recurse && !found.isEmpty()) steps.step(150, [&] { GetSubDirectories2016(found, true); });
    for (const QString& v : std::as_const(found)) {  // 152
        if (!steps.test(154, [&] { return isFolder(v); })) continue;
        steps.step(156, [&] { m_processEvents(); });
        if (steps.test(158, [&] { return isRootFolder(v) || !isStopValue(v); }))
            steps.step(160, [&] { list.append(v); });
    }
}

void AddFolder::takeSubFolders(StepRunner& steps, const QString& v, const DirListing& listing,
                               QStringList& list, QStringList& found) {
    // A listing that stopped half-way keeps what it gave before it stopped.
    for (const QString& name : listing.names) {
        steps.step(120, [&] { m_processEvents(); });
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
    runStep(steps, 118, [&] { m_processEvents(); });
    runStep(steps, 120, [&] { v.chop(1); });
    QStringList names;
    runStep(steps, 122, [&] { names = ListFiles(m_fs, v, pattern); });
    for (const QString& name : std::as_const(names)) {  // 124
        if (runTest(steps, 126, [&] { return name.startsWith(u'~'); })) continue;
        const QString path = v + kSeparator + name;  // 128
        const bool accept = runTest(steps, 132, [&] {
            const auto value = m_fs.attributes(path);
            if (value && *value == kHiddenArchiveFile) return false;
            // An entry that is itself a regular file (archive, not a link) opens; only
            // other kinds need the open tried. This halves the calls of a large scan.
            constexpr quint32 kKind =
                FileAttr::Archive | FileAttr::ReparsePoint | FileAttr::Directory;
            if (value && (*value & kKind) == FileAttr::Archive) return true;
            return CanOpenFile(m_fs, path);
        });
        if (accept) runStep(steps, 132, [&] { append(CollapseBackslashes(path)); });
    }
}
