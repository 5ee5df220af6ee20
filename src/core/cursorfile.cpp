// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cursorfile.h"

#include <QFile>
#include <QPixmap>

#include "core/failure.h"

QCursor loadCursorFile(const QString& path, QPoint iconHotSpot) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw Failure(QStringLiteral("File not found: ") + path);
    const QByteArray bytes = file.read(22);
    file.close();
    const QPixmap picture(path);
    if (picture.isNull() || bytes.size() < 22) throw Failure(QStringLiteral("Invalid picture"));
    int x = qBound(0, iconHotSpot.x(), picture.width() - 1);
    int y = qBound(0, iconHotSpot.y(), picture.height() - 1);
    // Header: reserved, type (2 = cursor), count; then the first entry, whose
    // fields at 10 and 12 are the hot spot for a cursor.
    const auto word = [&](int at) {
        return int(quint8(bytes[at])) | (int(quint8(bytes[at + 1])) << 8);
    };
    if (word(2) == 2) {
        x = qBound(0, word(10), picture.width() - 1);
        y = qBound(0, word(12), picture.height() - 1);
    }
    return QCursor(picture, x, y);
}
