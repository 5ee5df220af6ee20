// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>

#include <QString>
#include <QStringList>

class IFileSystem;
class IMessageBoxes;
class IShell;
class StepRunner;
struct DirListing;

// The folder browser and the breadth-first tree walk behind "Add All AAC File(s) In
// Folder" and dropped folders. Owned by the main window; UI thread only. The walk lets
// the window handle events through `processEvents` (QCoreApplication::processEvents in
// the program), so other handlers may run in the middle of it.
class AddFolder {
public:
    using Append = std::function<void(const QString& path)>;

    AddFolder(IFileSystem& fs, IMessageBoxes& boxes, std::function<void()> processEvents);

    // Opens the folder browser on `initial`; the chosen folder, or empty when cancelled.
    QString BrowseForFolder(IShell& shell, const QString& title, const QString& initial);
    // The folder the browser was last asked to open on.
    const QString& initialFolder() const { return m_initialFolder; }

    // Extends `list` (folder paths ending with "/") with their sub-folders, one level,
    // or every level breadth-first when `recurse` is true. Hidden-and-system folders
    // (22) and links to folders (1046) are neither added nor walked into; a folder
    // that cannot be listed for want of permission or because it is gone leaves the
    // list. Failures show this walk's own error box and the walk goes on.
    void GetSubDirectories2016(QStringList& list, bool recurse);

    // Walks `folder`'s tree and hands each accepted file matching `pattern` to
    // `append`, folder by folder in breadth-first order, letting the window handle
    // events once before each folder's files. A folder that has not changed since the
    // walk read it is not read again for its files. With `steps`, a failure in
    // one of the import's steps shows the caller's error box with that step's number
    // (114 to 134) and the import goes on; without it, the failure propagates.
    void ImportFolderTree(const QString& folder, const QString& pattern, const Append& append,
                          StepRunner* steps = nullptr);

private:
    struct Scan;

    bool isRootFolder(const QString& path) const;
    std::optional<quint32> folderAttributes(const QString& path);
    bool isFolder(const QString& path);
    bool isStopValue(const QString& path);
    void yield();
    void keepFiles(const QString& v, const DirListing& listing);
    void takeSubFolders(StepRunner& steps, const QString& v, const DirListing& listing,
                        QStringList& list, QStringList& found);
    void importFolder(QString v, const QString& pattern, const Append& append, StepRunner* steps);

    IFileSystem& m_fs;
    IMessageBoxes& m_boxes;
    std::function<void()> m_processEvents;
    QString m_initialFolder;
    // What the scan under way has learnt; null while the window handles events, so
    // that a scan started from there learns afresh.
    Scan* m_scan = nullptr;
};
