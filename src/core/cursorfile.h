// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCursor>
#include <QPoint>
#include <QString>

// Loads a cursor or icon file (.cur or .ico) as a pointer. A .cur file's own hot spot
// is used; an icon's is `iconHotSpot`. Throws Failure when the file is no picture.
QCursor loadCursorFile(const QString& path, QPoint iconHotSpot = QPoint(0, 0));
