// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QImage>

// The program's tray picture: 16x16, black frame, light cyan ground, a blue "V".
QImage trayPictureImage();
QIcon trayPicture();
