// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class IFileSystem;

// Path tests and listings shared by the handlers. None of them raises a failure:
// a path that cannot be examined simply fails the test.

// True when the path (following links) reports a modification time; false for "".
bool FileExists(const IFileSystem& fs, const QString& path);
// True when the path's attributes include the directory bit.
bool IsFolder(const IFileSystem& fs, const QString& path);
// True when the path opens as an existing non-folder, asking for no access.
bool CanOpenFile(const IFileSystem& fs, const QString& path);
// True when a code point of the name is below 32, from 127 to 159, or "?". A name read
// from disk whose bytes were not UTF-8 holds U+0000 in their place, so it counts too.
bool HasUnsafeChars(const QString& name);
// True when `name` matches the wildcard `pattern` ("*" any run, "?" one character),
// ignoring case. A trailing ".*" also matches a name without a dot, so "*.*" takes all.
bool MatchesPattern(const QString& name, const QString& pattern);
// The names in `folder` that match `pattern` and open as files, hidden ones included,
// in the directory's own order. Empty when the folder cannot be read.
QStringList ListFiles(const IFileSystem& fs, QString folder, const QString& pattern);
// Replaces each pair of adjacent "/" by one in a single left-to-right pass ("///" gives
// "//"); a leading run of "/" becomes a single "/".
QString CollapseBackslashes(const QString& path);
