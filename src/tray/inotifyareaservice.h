// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QIcon>
#include <QString>

// One icon in the desktop's notification area.
class INotifyAreaService {
public:
    // Mouse and balloon reports, as the tray control's code table numbers them.
    enum Code : int {
        MouseMove = 0x200,
        LeftDown = 0x201,
        LeftUp = 0x202,
        LeftDoubleClick = 0x203,
        RightDown = 0x204,
        RightUp = 0x205,
        RightDoubleClick = 0x206,
        MiddleDown = 0x207,
        MiddleUp = 0x208,
        BalloonShow = 0x402,
        BalloonHide = 0x403,
        BalloonTimeout = 0x404,
        BalloonUserClick = 0x405,
    };

    virtual ~INotifyAreaService() = default;
    // False when the desktop has no notification area at all.
    virtual bool available() const = 0;
    // Adds the icon; a null icon or empty tip means the record carries none.
    virtual void add(const QIcon& icon, const QString& tip) = 0;
    virtual void modifyTip(const QString& tip) = 0;
    virtual void modifyIcon(const QIcon& icon) = 0;
    // Shows a balloon; timeoutMs 0 leaves it to the desktop. Empty title and text withdraw it.
    virtual void showBalloon(const QString& title, const QString& text, int timeoutMs) = 0;
    virtual void remove() = 0;
    // Reports arrive on the UI thread with one of the codes above.
    virtual void setNotify(std::function<void(int code)> onNotify) = 0;
};
