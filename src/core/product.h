// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The product's names, each written here once.

// The application id: the desktop entry's and the icon's name. The private bus interface
// is named after it; Q_CLASSINFO needs that name as a string literal, hence the macro.
#define QUAVERLY_APPLICATION_ID "com.varnelta.Quaverly"

// The product's name: the window's caption, the tray icon's tip, the balloon's title,
// the media-player interface's identity, the settings' section and where the application
// title comes from.
inline const QString kProductName = QStringLiteral("Quaverly");
// The maker: the settings' application folder.
inline const QString kOrganisationName = QStringLiteral("Varnelta");
inline const QString kApplicationId = QStringLiteral(QUAVERLY_APPLICATION_ID);

// The session bus: the media-player interface's name (held by the copy that runs), the
// program's own interface with its error names, and where the tracks' object paths start.
inline const QString kMprisBusName = QStringLiteral("org.mpris.MediaPlayer2.quaverly");
inline const QString kPrivateInterface = QStringLiteral(QUAVERLY_APPLICATION_ID);
inline const QString kBusyErrorName = QStringLiteral(QUAVERLY_APPLICATION_ID ".Error.Busy");
inline const QString kClosingErrorName = QStringLiteral(QUAVERLY_APPLICATION_ID ".Error.Closing");
inline const QString kTrackObjectPath = QStringLiteral("/com/varnelta/Quaverly/track/");
