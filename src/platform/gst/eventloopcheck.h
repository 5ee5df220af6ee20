// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether the application's event loop runs GLib's default main context, on which the
// media engine watches its chains and keeps its deadlines. When it does not (Qt's own
// loop, which QT_NO_GLIB asks for), no file would ever get ready and nothing would say
// why: this says so in one line on standard error. Call once the application object
// exists, on the UI thread.
bool checkEventLoopForMedia();
