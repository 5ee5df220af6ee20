#pragma once

#include <QString>
#include <QStringList>

// The text of the saved list ("Files"): every entry followed by the separator,
// the last one included; an empty list is the empty text. There is no escaping.
QString encodePlaylist(const QStringList& entries);

// Splits at every separator and keeps each piece, unchanged, that is more than
// blanks; an entry that held the separator comes back as two.
QStringList decodePlaylist(const QString& text);

inline const QString kPlaylistSeparator = QStringLiteral("||MySeparator12||");
