// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The product's name: the window's caption, the tray icon's tip, the balloon's title,
// and where the application title comes from.
inline const QString kProductName = QStringLiteral("Quaverly");
