// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/posixfilesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QFile>
#include <QLoggingCategory>
#include <QStringDecoder>

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

// The length of the valid UTF-8 sequence at `p` (`left` bytes remain), 0 when there is none.
int sequenceLength(const unsigned char* p, qsizetype left) {
    if (p[0] < 0x80) return 1;
    int length = 0;
    char32_t least = 0;
    if ((p[0] & 0xE0) == 0xC0)
        length = 2, least = 0x80;
    else if ((p[0] & 0xF0) == 0xE0)
        length = 3, least = 0x800;
    else if ((p[0] & 0xF8) == 0xF0)
        length = 4, least = 0x10000;
    if (length == 0 || left < length) return 0;
    char32_t c = p[0] & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[k] & 0x3F);
    }
    return c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) ? 0 : length;
}

// A name as UTF-8 text. Bytes that are not UTF-8 become U+0000 each rather than the
// usual U+FFFD, so such a name can be told from a real name holding U+FFFD: it counts
// as unsafe and, as a path, names nothing.
QString decodeName(const char* name, bool* valid) {
    const QByteArrayView bytes(name);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    *valid = !utf8.hasError();
    if (*valid) return text;
    text.clear();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = sequenceLength(p + i, bytes.size() - i);
        if (length == 0) {
            text.append(QChar(0));
            ++i;
        } else {
            text.append(QString::fromUtf8(bytes.sliced(i, length)));
            i += length;
        }
    }
    return text;
}

// Text that can name something on disk: not empty, and no NUL, which the system calls
// take for the end of the path (they would look at the part before it instead).
bool isPath(const QString& path) {
    return !path.isEmpty() && !path.contains(QChar(u'\0'));
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

qint64 nanoseconds(const timespec& t) {
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

qint64 realTimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now);
}

FolderStamp stampOf(const struct stat& st) {
    FolderStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.modified = nanoseconds(st.st_mtim);
    stamp.changed = nanoseconds(st.st_ctim);
    return stamp;
}

// The kind of one entry of the open folder `dirFd`. The directory's own type answers
// for folders and regular files; links and file systems that give no type are asked.
EntryKind kindOf(int dirFd, const char* name, unsigned char type) {
    if (type == DT_DIR) return EntryKind::Folder;
    if (type == DT_REG) return EntryKind::File;
    if (type != DT_UNKNOWN && type != DT_LNK) return EntryKind::Other;
    struct stat st {};
    if (type == DT_UNKNOWN && ::fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        !S_ISLNK(st.st_mode))
        return S_ISDIR(st.st_mode)   ? EntryKind::Folder
               : S_ISREG(st.st_mode) ? EntryKind::File
                                     : EntryKind::Other;
    // Links to folders are folders too; their attributes keep them out of a walk.
    return ::fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode) ? EntryKind::Folder
                                                                      : EntryKind::Other;
}

}  // namespace

PosixFileSystem::PosixFileSystem(std::chrono::milliseconds settleTime)
    : m_settleNs(qint64(std::chrono::nanoseconds(settleTime).count())) {
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
    if (!isPath(path)) return false;
    struct stat st {};
    return ::stat(nativePath(path).constData(), &st) == 0;
}

std::optional<quint32> PosixFileSystem::attributes(const QString& path) const {
    if (!isPath(path)) return std::nullopt;
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
    if (!isPath(path)) return false;
    // An open asking for no access (O_PATH) succeeds exactly when the path resolves,
    // which is what stat() checks, without taking a descriptor: a third of the calls in
    // a scan, and it never blocks, not even on a FIFO.
    struct stat st {};
    return ::stat(nativePath(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

DirListing PosixFileSystem::entries(const QString& folder) const {
    return read(folder, ReadMode::Names);
}

DirListing PosixFileSystem::readFolder(const QString& folder) const {
    return read(folder, ReadMode::WithKinds);
}

bool PosixFileSystem::unchanged(const QString& folder, const FolderStamp& stamp) const {
    if (!stamp.settled || !stamp.searchable || !isPath(folder)) return false;
    // Looking up "." in the folder needs the same search permission as looking up any
    // of its entries, so this one call also tells that they can still be reached.
    QByteArray dot = nativePath(folder);
    if (!dot.endsWith('/')) dot += '/';
    dot += '.';
    struct stat st {};
    if (::stat(dot.constData(), &st) != 0) return false;
    const FolderStamp now = stampOf(st);
    return now.device == stamp.device && now.inode == stamp.inode &&
           now.modified == stamp.modified && now.changed == stamp.changed;
}

DirListing PosixFileSystem::read(const QString& folder, ReadMode mode) const {
    DirListing result;
    if (!isPath(folder)) {
        result.error = ListError::PathNotFound;
        return result;
    }
    const qint64 readStart = realTimeNs();
    const int dirFd =
        ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (dirFd < 0) {
        result.error = listErrorFor(errno);
        return result;
    }
    if (mode == ReadMode::WithKinds) {
        struct stat st {};
        if (::fstatat(dirFd, ".", &st, 0) == 0) {
            result.stamp = stampOf(st);
            result.stamp.searchable = true;
            result.stamp.settled =
                std::max(result.stamp.modified, result.stamp.changed) <= readStart - m_settleNs;
        }
    }
    alignas(dirent64) char buffer[32 * 1024];
    for (;;) {
        const ssize_t got = ::getdents64(dirFd, buffer, sizeof buffer);
        if (got <= 0) {
            if (got < 0) {
                qCWarning(lcPosixFs).noquote()
                    << QStringLiteral(
                           "reading the folder '%1' stopped: %2; only the names read "
                           "before are used. Check the disk, then add it again.")
                           .arg(folder, QString::fromLocal8Bit(strerror(errno)));
                result.error = ListError::Other;
            }
            break;
        }
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const char* name = entry->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            const EntryKind kind =
                mode == ReadMode::Names ? EntryKind::Other : kindOf(dirFd, name, entry->d_type);
            bool valid = true;
            result.names.append(decodeName(name, &valid));
            // A name that is not UTF-8 is no path: only the entry itself could tell.
            if (mode == ReadMode::WithKinds) result.kinds.append(valid ? kind : EntryKind::Other);
        }
    }
    ::close(dirFd);
    return result;
}
