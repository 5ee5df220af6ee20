// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>

#include "core/isettingsstore.h"

// The settings store as a folder with one file per key. The file is named exactly as the
// key and holds the value's text as UTF-8 and nothing else; a missing file is an absent
// key. Saving one key rewrites only that key's file, so a small value saved often (the
// volume level) costs the same however long the saved playlist beside it is.
// UI thread only; no caching, every read goes to the file.
class FileSettingsStore : public ISettingsStore {
public:
    // The per-user folder: <config>/Varnelta/Quaverly, where <config> is
    // $XDG_CONFIG_HOME when it is an absolute path, else ~/.config (Qt's test mode
    // redirects it).
    FileSettingsStore();
    // A store in an explicit folder (tests, tools). The folder need not exist yet.
    explicit FileSettingsStore(QString folder);

    static QString defaultFolder();
    const QString& folder() const { return m_folder; }

    // A missing file (or folder) is an absent key. A file that is there but cannot be
    // read (no permission, an I/O error, a folder in its place) throws Failure with the
    // system's reason. Bytes that are not UTF-8 are decoded lossily. Nothing read is
    // ever written back.
    std::optional<QString> read(const QString& key) const override;
    // Creates the folder when needed and replaces the key's file atomically, synced to
    // disk before returning; a file that already holds the value is left as it is. Throws Failure
    // when the key is not a plain file name or the folder or file cannot be written, synced or
    // replaced (a full disk, a size limit, an I/O error); the old value then stays as it was, byte
    // for byte.
    void save(const QString& key, const QString& value) override;

    // True when `key` names a file inside the folder: not empty, no "/" or NUL,
    // not "." or "..".
    static bool isValidKey(const QString& key);

private:
    QString pathFor(const QString& key) const;
    bool holds(const QString& key, const QByteArray& bytes) const;

    QString m_folder;
};
