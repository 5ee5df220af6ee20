// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QIcon>
#include <QObject>
#include <QString>

#include "tray/inotifyareaservice.h"

class QEventLoop;

// The program's icon in the notification area: picture, tooltip, balloons, and the
// mouse reports on it as signals. Form1 owns the one instance for the whole run.
// UI thread only. At most one instance may be in the tray at a time per service.
class cSysTray : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool InTray READ InTray WRITE setInTray)
    Q_PROPERTY(QString TrayTip READ TrayTip WRITE setTrayTip)
    Q_PROPERTY(QIcon TrayIcon READ TrayIcon WRITE setTrayIcon)

public:
    static constexpr int kTipLength = 127;
    static constexpr int kBalloonTextLength = 255;
    static constexpr int kBalloonTitleLength = 63;

    // Starts out of the tray with the tip "Telnet Server" and the V picture.
    explicit cSysTray(INotifyAreaService& service, QObject* parent = nullptr);
    // Takes the icon out of the tray when it is in.
    ~cSysTray() override;

    bool InTray() const { return m_inTray; }
    // Adds the icon with the current tip and picture, or removes it; nothing when unchanged.
    void setInTray(bool v);

    QString TrayTip() const { return m_trayTip; }
    // Forwarded at once when in the tray; any text, the empty one included.
    void setTrayTip(const QString& tip);

    QIcon TrayIcon() const { return m_trayIcon; }
    // Forwarded at once when in the tray; an empty picture is ignored.
    void setTrayIcon(const QIcon& icon);

    // Shows a balloon. With seconds > 0 it returns only after that many seconds, or
    // earlier when the desktop reports the balloon gone, processing events meanwhile,
    // and withdraws a balloon still showing. With `once`, only the first such call of
    // this instance shows anything. Throws Failure when seconds * 1000 overflows.
    void ShowBalloon(const QString& text, const QString& title, qint32 seconds, bool once);

    // Turns a report of the service into a signal (or the end of a balloon).
    void TrayCallback(int code, qint32 id);

    qint32 TrayId() const { return m_trayId; }
    bool AddedToTray() const { return m_addedToTray; }
    bool BalloonVisible() const { return m_balloonVisible; }
    qint32 OnceCount() const { return m_onceCount; }

Q_SIGNALS:
    void MouseMove(qint32 id);
    // button: 1 left, 2 right
    void MouseDown(qint16 button, qint32 id);
    void MouseUp(qint16 button, qint32 id);
    void MouseDblClick(qint16 button, qint32 id);

private:
    void AddTrayIcon(qint32 id, const QString& tip, const QIcon& icon);
    void DeleteTrayIcon(qint32 id);
    void endBalloonWaits();

    INotifyAreaService& m_service;
    bool m_inTray = false;
    qint32 m_trayId = 0;
    QString m_trayTip;
    QIcon m_trayIcon;
    bool m_addedToTray = false;
    bool m_balloonVisible = false;
    qint32 m_onceCount = 0;
    std::vector<QEventLoop*> m_balloonWaits;
};

// The first `n` characters of `text`, never splitting a surrogate pair.
QString cutText(const QString& text, int n);
