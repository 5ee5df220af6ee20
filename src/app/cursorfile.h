#pragma once

#include <QCursor>
#include <QString>

// Loads a cursor or icon file (.cur or .ico) as a pointer. A .cur file's own hot spot
// is used; an icon's is its top-left corner. Throws Failure when the file is no picture.
QCursor loadCursorFile(const QString& path);
