// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/eventloopcheck.h"

#include <QAbstractEventDispatcher>
#include <QLoggingCategory>

// The engine's category under a name of its own: this check runs in the program, the
// engine in its module.
Q_LOGGING_CATEGORY(lcMediaEventLoop, "quaverly.media", QtInfoMsg)

bool checkEventLoopForMedia() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    // Qt's loops that run GLib's context, whatever the platform, all derive from this one.
    if (dispatcher && dispatcher->inherits("QEventDispatcherGlib")) return true;
    const QString why = qEnvironmentVariableIsSet("QT_NO_GLIB")
                            ? QStringLiteral("QT_NO_GLIB is set; unset it")
                            : QStringLiteral("this Qt was built without GLib");
    qCWarning(lcMediaEventLoop).noquote()
        << QStringLiteral(
               "the event loop does not run GLib's main context, which the media engine "
               "needs: no file will play (%1)")
               .arg(why);
    return false;
}
