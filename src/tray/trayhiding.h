// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class BusyState;
class INotifyAreaService;
class cSysTray;

// Minimising the main window hides it behind its icon in the notification area; a
// button released on the icon brings it back. The window owns it; UI thread only.
class TrayHiding {
public:
    // What it does to the window.
    struct Window {
        std::function<bool()> minimised;
        std::function<void()> hide;
        // Shows the window out of its minimised state, raised, with the focus.
        std::function<void()> restore;
    };

    // `service` and `tray` may be null: without a notification area the window is
    // minimised the ordinary way.
    TrayHiding(INotifyAreaService* service, cSysTray* tray, BusyState& busy, Window window);

    // The window's state changed.
    void Form_Resize();
    // A mouse button was released on the icon.
    void cSysTray1_MouseUp();

    // True from the moment the window hides itself on minimise until the icon brings it back.
    bool hiddenInTray() const { return HiddenInTray; }

private:
    bool HiddenInTray = false;
    INotifyAreaService* m_service;
    cSysTray* m_tray;
    BusyState& m_busy;
    Window m_window;
    bool m_toldNoArea = false;
};
