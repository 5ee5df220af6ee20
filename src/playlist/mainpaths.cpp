// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist/mainpaths.h"

#include "core/ifilesystem.h"

namespace {

constexpr QChar kSeparator = u'/';

// Single pass, no overlap: the second "/" of a pair is dropped and the scan moves past it.
QString collapsePairs(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        out.append(text[i]);
        if (text[i] == kSeparator && i + 1 < text.size() && text[i + 1] == kSeparator) ++i;
    }
    return out;
}

bool foldedEqual(QChar a, QChar b) {
    if (a == b) return true;
    const char16_t x = a.unicode(), y = b.unicode();
    // Two ASCII characters fold alike only as the two cases of one letter; a non-ASCII
    // one may fold to ASCII (the Kelvin sign to "k"), so it takes the full table.
    if (x < 128 && y < 128)
        return (x | 0x20) == (y | 0x20) && (x | 0x20) >= u'a' && (x | 0x20) <= u'z';
    return a.toCaseFolded() == b.toCaseFolded();
}

// The number of UTF-16 units of the character at `i`: "?" takes a whole character.
qsizetype charSize(QStringView s, qsizetype i) {
    return s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate() ? 2 : 1;
}

// Iterative wildcard match with one backtrack point: linear for the usual patterns,
// and no allocation, since a scan matches every name it meets.
bool wildcardMatch(QStringView name, QStringView pattern) {
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && pattern[p] == u'?') {
            ++p;
            n += charSize(name, n);
        } else if (p < pattern.size() && foldedEqual(pattern[p], name[n])) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            starN += charSize(name, starN);
            n = starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

}  // namespace

bool FileExists(const IFileSystem& fs, const QString& path) {
    return !path.isEmpty() && fs.fileExists(path);
}

bool IsFolder(const IFileSystem& fs, const QString& path) {
    const auto attributes = fs.attributes(path);
    return attributes && (*attributes & FileAttr::Directory) != 0;
}

bool CanOpenFile(const IFileSystem& fs, const QString& path) {
    return !path.isEmpty() && fs.canOpenFile(path);
}

bool HasUnsafeChars(const QString& name) {
    for (char32_t c : name.toUcs4()) {
        if (c < 32 || (c >= 127 && c <= 159) || c == '?') return true;
    }
    return false;
}

bool MatchesPattern(const QString& name, const QString& pattern) {
    if (wildcardMatch(name, pattern)) return true;
    // "x.*" also takes "x": an empty extension matches the ".*" at the end.
    if (pattern.endsWith(QStringLiteral(".*")) && !name.contains(u'.'))
        return wildcardMatch(name, QStringView(pattern).chopped(2));
    return false;
}

QStringList ListFiles(const IFileSystem& fs, QString folder, const QString& pattern) {
    if (!folder.endsWith(kSeparator)) folder.append(kSeparator);
    QStringList names;
    const DirListing listing = fs.entries(folder);
    for (const QString& name : listing.names) {
        if (MatchesPattern(name, pattern) && CanOpenFile(fs, folder + name)) names.append(name);
    }
    return names;
}

QString CollapseBackslashes(const QString& path) {
    if (!path.startsWith(kSeparator)) return collapsePairs(path);
    qsizetype k = 1;
    while (k < path.size() && path[k] == kSeparator) ++k;
    return kSeparator + collapsePairs(QStringView(path).mid(k));
}
