// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// The text of the saved list ("Files"): every entry followed by the separator,
// the last one included; an empty list is the empty text. There is no escaping.
QString encodePlaylist(const QStringList& entries);

// Splits at every separator and keeps each piece, unchanged, that is more than
// blanks; an entry that held the separator comes back as two.
QStringList decodePlaylist(const QString& text);

// True when the entry comes back from the saved list as itself, whatever follows it. An
// entry holding the separator does not, nor one ending with a part of it ("||MySeparator12")
// that the separator after the entry completes.
bool isStorableEntry(const QString& entry);

inline const QString kPlaylistSeparator = QStringLiteral("||MySeparator12||");
