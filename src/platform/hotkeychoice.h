// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "core/ihotkeyservice.h"

// Which service serves the global hot keys in this session, and what the program says
// about it on standard error (empty: nothing).
struct HotKeyChoice {
    enum class Service { None, X11, Portal };
    Service service = Service::None;
    QString message;
};

// What decides it: Qt's platform ("xcb", "wayland", ...), whether the session is a
// Wayland one (for xcb: the X server is XWayland), whether the X11 service reached its
// server, and, asked only in a Wayland session, whether the desktop's portal offers
// global shortcuts.
HotKeyChoice chooseHotKeys(const QString& platform, bool waylandSession, bool x11Reachable,
                           const std::function<bool()>& portalOffered);

// The service for this session, having said once on standard error what is missing.
// Without `grabKeys` (the user wants no global keys) a service without keys, silently.
std::unique_ptr<IHotKeyService> createHotKeyService(bool grabKeys = true);
