// SPDX-License-Identifier: GPL-3.0-or-later
#include "tray/traypicture.h"

#include <QPixmap>

namespace {
// '#' frame, '.' ground, 'v' the letter.
constexpr const char* kRows[16] = {
    "################",  //
    "#..............#",  //
    "#..............#",  //
    "#.vvv......vvv.#",  //
    "#.vvv......vvv.#",  //
    "#..vvv....vvv..#",  //
    "#..vvv....vvv..#",  //
    "#...vvv..vvv...#",  //
    "#...vvv..vvv...#",  //
    "#....vvvvvv....#",  //
    "#....vvvvvv....#",  //
    "#.....vvvv.....#",  //
    "#......vv......#",  //
    "#..............#",  //
    "#..............#",  //
    "################",  //
};
}  // namespace

QImage trayPictureImage() {
    const QRgb frame = qRgb(0, 0, 0);
    const QRgb ground = qRgb(177, 255, 255);
    const QRgb letter = qRgb(7, 162, 254);
    QImage image(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const char c = kRows[y][x];
            image.setPixel(x, y, c == '#' ? frame : c == 'v' ? letter : ground);
        }
    return image;
}

QIcon trayPicture() {
    return QIcon(QPixmap::fromImage(trayPictureImage()));
}
