// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include "tray/inotifyareaservice.h"

// The notification-area icon through QSystemTrayIcon. Qt reports activations, not
// presses and releases, so each activation is reported as a press followed by a
// release of its button. Reports are delivered on the UI thread from the event loop,
// never from inside a call into this service.
class QtTrayService : public QObject, public INotifyAreaService {
    Q_OBJECT

public:
    explicit QtTrayService(QObject* parent = nullptr);
    ~QtTrayService() override;

    bool available() const override;
    void add(const QIcon& icon, const QString& tip) override;
    void modifyTip(const QString& tip) override;
    void modifyIcon(const QIcon& icon) override;
    void showBalloon(const QString& title, const QString& text, int timeoutMs) override;
    void remove() override;
    void setNotify(std::function<void(int code)> onNotify) override;

    // Where the icon is on the screen (empty when not shown or not known).
    QRect geometry() const;
    bool isShown() const;

    // Timeout used for a balloon whose length is left to the desktop.
    static constexpr int kDefaultBalloonMs = 10000;

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void balloonEnded(int code);
    void report(int code);

    QSystemTrayIcon m_icon;
    QTimer m_balloonTimer;
    bool m_balloonShown = false;
    std::function<void(int)> m_notify;
};
