// SPDX-License-Identifier: GPL-3.0-or-later
#include "tray/trayhiding.h"

#include <QLoggingCategory>

#include "core/busystate.h"
#include "core/product.h"
#include "tray/csystray.h"
#include "tray/inotifyareaservice.h"

Q_DECLARE_LOGGING_CATEGORY(lcTray)

TrayHiding::TrayHiding(INotifyAreaService* service, cSysTray* tray, BusyState& busy, Window window)
    : m_service(service), m_tray(tray), m_busy(busy), m_window(std::move(window)) {}

void TrayHiding::Form_Resize() {
    if (!m_window.minimised() || HiddenInTray) return;
    if (!m_service || !m_service->available()) {
        // Hiding would lose the window for good: it stays minimised as usual.
        if (!m_toldNoArea) {
            qCWarning(lcTray) << "the window cannot hide in the notification area: this desktop "
                                 "has none, so it stays minimised instead. Add a notification "
                                 "area (system tray) to the desktop's panel to hide it there.";
            m_toldNoArea = true;
        }
        return;
    }
    // The window stays minimised while hidden: leaving that state maps it again on X11,
    // and the window manager would then show it. The way back clears the state.
    m_window.hide();
    HiddenInTray = true;
    if (m_tray) {
        const BusyState::Guard busy(m_busy);
        m_tray->ShowBalloon(
            QStringLiteral("has been minimized to the system tray.\r\nClick on the blue 'V' icon "
                           "(V for Varnelta) to bring the software back."),
            kProductName, 5, true);
    }
}

void TrayHiding::cSysTray1_MouseUp() {
    m_window.restore();
    HiddenInTray = false;
}
