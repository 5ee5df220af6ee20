// SPDX-License-Identifier: GPL-3.0-or-later
#include "playlist/playlistcodec.h"

QString encodePlaylist(const QStringList& entries) {
    qsizetype size = 0;
    for (const QString& e : entries) size += e.size() + kPlaylistSeparator.size();
    QString text;
    text.reserve(size);
    for (const QString& e : entries) {
        text += e;
        text += kPlaylistSeparator;
    }
    return text;
}

QStringList decodePlaylist(const QString& text) {
    QStringList entries;
    if (text.isEmpty()) return entries;
    const QStringList pieces = text.split(kPlaylistSeparator);
    entries.reserve(pieces.size());
    for (const QString& piece : pieces) {
        // Only the blank counts as a space here; the piece itself is kept as stored.
        bool blank = true;
        for (QChar c : piece) blank = blank && c == u' ';
        if (!blank) entries.append(piece);
    }
    return entries;
}

bool isStorableEntry(const QString& entry) {
    // The separator that follows the entry must be the first one found.
    return (entry + kPlaylistSeparator).indexOf(kPlaylistSeparator) == entry.size();
}
