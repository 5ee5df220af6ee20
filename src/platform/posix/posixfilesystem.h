// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <chrono>

#include <QHash>

#include "core/ifilesystem.h"

// The file system through POSIX calls. Every call is one system call or a short
// fixed sequence of them; only the kind of each mounted file system is remembered.
// One thread at a time.
class PosixFileSystem : public IFileSystem {
public:
    // A folder whose entries or permissions changed less than `settleTime` before a
    // read is not stamped settled: file systems keep times only to some resolution
    // (two seconds on FAT), and a second change within it would not show.
    explicit PosixFileSystem(std::chrono::milliseconds settleTime = std::chrono::seconds(2));

    bool fileExists(const QString& path) const override;
    std::optional<quint32> attributes(const QString& path) const override;
    bool canOpenFile(const QString& path) const override;
    DirListing entries(const QString& folder) const override;
    DirListing readFolder(const QString& folder) const override;
    bool unchanged(const QString& folder, const FolderStamp& stamp) const override;

private:
    enum class ReadMode { Names, WithKinds };
    DirListing read(const QString& folder, ReadMode mode) const;
    bool isPseudoFolder(const QByteArray& path, dev_t device) const;

    qint64 m_settleNs = 0;
    dev_t m_devDevice = 0;
    bool m_haveDevDevice = false;
    mutable QHash<dev_t, bool> m_pseudoByDevice;
};
