#pragma once

#include <sys/types.h>

#include <QHash>

#include "playlist/ifilesystem.h"

// The file system through POSIX calls. Every call is one system call or a short
// fixed sequence of them; only the kind of each mounted file system is remembered.
// One thread at a time.
class PosixFileSystem : public IFileSystem {
public:
    PosixFileSystem();

    bool fileExists(const QString& path) const override;
    std::optional<quint32> attributes(const QString& path) const override;
    bool canOpenFile(const QString& path) const override;
    DirListing entries(const QString& folder) const override;
    DirListing subFolders(const QString& folder) const override;

private:
    DirListing read(const QString& folder, bool foldersOnly) const;
    bool isPseudoFolder(const QByteArray& path, dev_t device) const;

    dev_t m_devDevice = 0;
    bool m_haveDevDevice = false;
    mutable QHash<dev_t, bool> m_pseudoByDevice;
};
