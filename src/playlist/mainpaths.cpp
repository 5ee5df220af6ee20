#include "playlist/mainpaths.h"

#include "playlist/ifilesystem.h"

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

bool foldedEqual(char32_t a, char32_t b) {
    return a == b || QChar::toCaseFolded(a) == QChar::toCaseFolded(b);
}

// Iterative wildcard match with one backtrack point: linear for the usual patterns.
bool wildcardMatch(const QList<uint>& name, const QList<uint>& pattern) {
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || foldedEqual(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
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
        if (c < 32 || (c >= 127 && c <= 159) || c == '?' || c == 0xFFFD) return true;
    }
    return false;
}

bool MatchesPattern(const QString& name, const QString& pattern) {
    const QList<uint> n = name.toUcs4();
    const QList<uint> p = pattern.toUcs4();
    if (wildcardMatch(n, p)) return true;
    // "x.*" also takes "x": an empty extension matches the ".*" at the end.
    if (pattern.endsWith(QStringLiteral(".*")) && !name.contains(u'.'))
        return wildcardMatch(n, p.mid(0, p.size() - 2));
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
