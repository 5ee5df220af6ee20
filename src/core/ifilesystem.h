// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

// Attribute bits, as the scan rules compare them.
namespace FileAttr {
constexpr quint32 ReadOnly = 1;
constexpr quint32 Hidden = 2;
constexpr quint32 System = 4;
constexpr quint32 Directory = 16;
constexpr quint32 Archive = 32;
constexpr quint32 ReparsePoint = 1024;
}  // namespace FileAttr

// Why a directory read failed. PermissionDenied and PathNotFound are the two
// failures the folder walk gives a meaning to.
enum class ListError { None, PermissionDenied, PathNotFound, Other };

// What a directory read tells of an entry without looking at the entry itself.
enum class EntryKind : quint8 {
    Other,   // anything else, or not known: only the entry itself can tell
    File,    // a regular file (not a link) whose name names it exactly
    Folder,  // a folder, or a link that leads to one
};

// Which folder one directory read saw, and how it stood then. A later look compares
// it with the folder as it is now (IFileSystem::unchanged).
struct FolderStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 modified = 0;  // last change of the entries, ns since the epoch
    qint64 changed = 0;   // last change of the entries, owner or permissions
    // Names could be looked up in the folder at the time of the read, so a File entry
    // then opened as a file and a Folder entry was a folder.
    bool searchable = false;
    // The folder had not changed for longer than its clock's resolution before the
    // read, so any later change shows in the times.
    bool settled = false;
};

struct DirListing {
    QStringList names;  // bare names, in the directory's own order, never "." or ".."
    ListError error = ListError::None;
    QList<EntryKind> kinds;  // one per name; filled by readFolder only
    FolderStamp stamp;       // filled by readFolder only
};

// The file system as the program sees it. Paths are native absolute paths.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // True when the path (following links) reports a modification time.
    virtual bool fileExists(const QString& path) const = 0;
    // The attribute value of the entry; nullopt when it cannot be read.
    virtual std::optional<quint32> attributes(const QString& path) const = 0;
    // The path opens as an existing non-folder with no read or write access asked.
    virtual bool canOpenFile(const QString& path) const = 0;
    // One read of the folder: the names of all its entries.
    virtual DirListing entries(const QString& folder) const = 0;

    // One read of the folder: every entry with its kind, and the folder's stamp.
    virtual DirListing readFolder(const QString& folder) const = 0;
    // True when `folder` is still the folder that `stamp` was taken of, settled, with
    // the same entries and permissions, and its names can be looked up now.
    virtual bool unchanged(const QString& folder, const FolderStamp& stamp) const {
        Q_UNUSED(folder);
        Q_UNUSED(stamp);
        return false;
    }
};

// An ordinary file: a regular file that is neither hidden nor system. Folders never match.
inline bool ordinaryFileExists(const IFileSystem& fs, const QString& path) {
    const auto attributes = fs.attributes(path);
    if (!attributes) return false;
    const quint32 a = *attributes;
    return (a & FileAttr::Directory) == 0 && (a & FileAttr::Archive) != 0 &&
           (a & (FileAttr::Hidden | FileAttr::System)) == 0;
}
