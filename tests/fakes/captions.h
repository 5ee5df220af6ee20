// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The transport buttons' captions as the user reads them, written once for the tests
// (and apart from the program's own, so that a changed caption fails them).
inline const QString kStart = QStringLiteral("Start Playing (Ctrl+Shift+X)");
inline const QString kStop = QStringLiteral("Stop Playing (Ctrl+Shift+X)");
inline const QString kPause = QStringLiteral("Pause (Ctrl+Shift+C)");
inline const QString kResume = QStringLiteral("Resume (Ctrl+Shift+C)");
