#pragma once

#include <optional>

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

struct DirListing {
    QStringList names;  // bare names, in the directory's own order, never "." or ".."
    ListError error = ListError::None;
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
    // One read of the folder: the names of its entries that are folders.
    virtual DirListing subFolders(const QString& folder) const = 0;
};
