#include "platform/posix/posixfilesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPosixFs, "quaverly.platform.posixfs")

namespace {

// Kernel file systems whose folders are not user data: a scan of "/" must stay out of
// them (they are endless, slow, or have side effects on read).
constexpr unsigned long kPseudoFileSystems[] = {
    PROC_SUPER_MAGIC,
    SYSFS_MAGIC,
    DEVPTS_SUPER_MAGIC,
    CGROUP_SUPER_MAGIC,
    CGROUP2_SUPER_MAGIC,
    DEBUGFS_MAGIC,
    TRACEFS_MAGIC,
    SECURITYFS_MAGIC,
    PSTOREFS_MAGIC,
    BPF_FS_MAGIC,
    0x62656570UL /* configfs */,
    0x65735543UL /* fusectl */,
    0x19800202UL /* mqueue */,
    HUGETLBFS_MAGIC,
    BINFMTFS_MAGIC,
    NSFS_MAGIC,
    SELINUX_MAGIC,
    SMACK_MAGIC,
    EFIVARFS_MAGIC,
    RDTGROUP_SUPER_MAGIC,
};

// devtmpfs reports the tmpfs magic; it only counts when it is the file system of /dev.
constexpr unsigned long kTmpfsMagic = TMPFS_MAGIC;

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

// The last path component, ignoring trailing separators; empty for "/".
QByteArray baseName(const QByteArray& path) {
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == '/') --end;
    qsizetype start = path.lastIndexOf('/', end - 1);
    return path.mid(start + 1, end - start - 1);
}

ListError listErrorFor(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
            return ListError::PermissionDenied;
        case ENOENT:
        case ENOTDIR:
            return ListError::PathNotFound;
        default:
            return ListError::Other;
    }
}

}  // namespace

PosixFileSystem::PosixFileSystem() {
    struct stat st {};
    if (::stat("/dev", &st) == 0) {
        m_devDevice = st.st_dev;
        m_haveDevDevice = true;
    }
}

bool PosixFileSystem::isPseudoFolder(const QByteArray& path, dev_t device) const {
    // A device number names one mounted file system: its kind is asked once.
    if (auto known = m_pseudoByDevice.constFind(device); known != m_pseudoByDevice.cend())
        return *known;
    struct statfs fs {};
    if (::statfs(path.constData(), &fs) != 0) return false;
    const auto type = static_cast<unsigned long>(fs.f_type);
    bool pseudo = false;
    if (type == kTmpfsMagic) {
        pseudo = m_haveDevDevice && device == m_devDevice;
    } else {
        for (unsigned long magic : kPseudoFileSystems) pseudo = pseudo || type == magic;
    }
    m_pseudoByDevice.insert(device, pseudo);
    return pseudo;
}

bool PosixFileSystem::fileExists(const QString& path) const {
    if (path.isEmpty()) return false;
    struct stat st {};
    return ::stat(nativePath(path).constData(), &st) == 0;
}

std::optional<quint32> PosixFileSystem::attributes(const QString& path) const {
    if (path.isEmpty()) return std::nullopt;
    // A trailing "/" would make lstat() follow a link and report its target instead.
    QByteArray native = nativePath(path);
    while (native.size() > 1 && native.endsWith('/')) native.chop(1);
    struct stat own {};
    if (::lstat(native.constData(), &own) != 0) return std::nullopt;

    const bool isLink = S_ISLNK(own.st_mode);
    struct stat target = own;
    const bool resolved = !isLink || ::stat(native.constData(), &target) == 0;
    const bool isFolder = resolved && S_ISDIR(target.st_mode);

    quint32 value = 0;
    if (baseName(native).startsWith('.')) value |= FileAttr::Hidden;
    if (isFolder) value |= FileAttr::Directory;
    if (resolved && S_ISREG(target.st_mode)) value |= FileAttr::Archive;
    if (isLink) {
        value |= FileAttr::ReparsePoint;
        // A link to a folder is never walked through: no loops, no second copy of a tree.
        if (isFolder) value |= FileAttr::Hidden | FileAttr::System;
    } else if (isFolder && isPseudoFolder(native, own.st_dev)) {
        // Exactly hidden + system + folder, whatever the mode bits say (/proc is 0555).
        return FileAttr::Hidden | FileAttr::System | FileAttr::Directory;
    }
    // A link's own mode is always 0777, so a link is never read-only.
    if ((own.st_mode & 0222) == 0) value |= FileAttr::ReadOnly;
    return value;
}

bool PosixFileSystem::canOpenFile(const QString& path) const {
    if (path.isEmpty()) return false;
    // An open asking for no access (O_PATH) succeeds exactly when the path resolves,
    // which is what stat() checks, without taking a descriptor: a third of the calls in
    // a scan, and it never blocks, not even on a FIFO.
    struct stat st {};
    return ::stat(nativePath(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

DirListing PosixFileSystem::entries(const QString& folder) const {
    return read(folder, false);
}

DirListing PosixFileSystem::subFolders(const QString& folder) const {
    return read(folder, true);
}

DirListing PosixFileSystem::read(const QString& folder, bool foldersOnly) const {
    DirListing result;
    if (folder.isEmpty()) {
        result.error = ListError::PathNotFound;
        return result;
    }
    DIR* dir = ::opendir(nativePath(folder).constData());
    if (!dir) {
        result.error = listErrorFor(errno);
        return result;
    }
    const int dirFd = ::dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0) {
                qCWarning(lcPosixFs) << "reading" << folder << "stopped:" << strerror(errno);
                result.error = ListError::Other;
            }
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        if (foldersOnly) {
            bool isFolder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
                // Links to folders are listed too; their attributes keep them out of a walk.
                struct stat st {};
                isFolder = ::fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            if (!isFolder) continue;
        }
        result.names.append(QFile::decodeName(name));
    }
    ::closedir(dir);
    return result;
}
