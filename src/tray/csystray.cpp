// SPDX-License-Identifier: GPL-3.0-or-later
#include "tray/csystray.h"

#include <limits>

#include <QEventLoop>
#include <QLoggingCategory>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

#include "core/failure.h"
#include "tray/traypicture.h"

Q_LOGGING_CATEGORY(lcTray, "quaverly.tray", QtInfoMsg)

QString cutText(const QString& text, int n) {
    if (text.size() <= n) return text;
    if (n > 0 && text.at(n - 1).isHighSurrogate()) --n;
    return text.left(n);
}

cSysTray::cSysTray(INotifyAreaService& service, QObject* parent)
    : QObject(parent), m_service(service) {
    // The stored instance: out of the tray, the default tip, the V picture.
    setInTray(false);
    setTrayIcon(trayPicture());
    setTrayTip(QStringLiteral("Telnet Server"));
}

cSysTray::~cSysTray() {
    endBalloonWaits();
    if (m_inTray) setInTray(false);
}

void cSysTray::setInTray(bool v) {
    if (v == m_inTray) return;
    if (v) {
        m_service.setNotify([this](int code) { TrayCallback(code, m_trayId); });
        AddTrayIcon(m_trayId, m_trayTip, m_trayIcon);
        m_addedToTray = true;
    } else if (m_addedToTray) {
        DeleteTrayIcon(m_trayId);
        m_service.setNotify({});
        m_addedToTray = false;
    }
    m_inTray = v;
}

void cSysTray::setTrayTip(const QString& tip) {
    if (m_addedToTray) m_service.modifyTip(cutText(tip, kTipLength));
    m_trayTip = tip;
}

void cSysTray::setTrayIcon(const QIcon& icon) {
    if (icon.isNull() || icon.pixmap(QSize(16, 16)).isNull()) {
        qCDebug(lcTray) << "ignored an empty tray picture";
        return;
    }
    if (m_addedToTray) m_service.modifyIcon(icon);
    m_trayIcon = icon;
}

void cSysTray::AddTrayIcon(qint32, const QString& tip, const QIcon& icon) {
    QIcon recordIcon;
    QString recordTip;
    if (!icon.isNull()) {
        recordIcon = icon;
        m_trayIcon = icon;
    }
    if (!tip.isEmpty()) {
        recordTip = cutText(tip, kTipLength);
        m_trayTip = tip;
    }
    m_service.add(recordIcon, recordTip);
}

void cSysTray::DeleteTrayIcon(qint32) {
    m_service.remove();
}

namespace {
// The balloon's timeout is a 32-bit count of milliseconds, as the seconds times 1000
// are computed: more seconds than that are an overflow, not a longer wait.
constexpr qint64 kMaxTimeoutMs = std::numeric_limits<qint32>::max();
}  // namespace

void cSysTray::ShowBalloon(const QString& text, const QString& title, qint32 seconds, bool once) {
    if (once && m_onceCount >= 1) return;
    int timeoutMs = 0;
    if (seconds > 0) {
        const qint64 ms = qint64(seconds) * 1000;
        if (ms > kMaxTimeoutMs) throw Failure(QStringLiteral("Overflow"));
        timeoutMs = int(ms);
    }
    m_service.showBalloon(cutText(title, kBalloonTitleLength), cutText(text, kBalloonTextLength),
                          timeoutMs);
    m_balloonVisible = true;
    if (once) ++m_onceCount;
    if (seconds <= 0) return;

    // Wait in a nested loop: events keep flowing, the thread sleeps, and the loop level
    // it raises tells the hot-key pump that a handler is still running.
    QPointer<cSysTray> self(this);
    QEventLoop wait;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    connect(&deadline, &QTimer::timeout, &wait, &QEventLoop::quit);
    deadline.start(timeoutMs);
    m_balloonWaits.push_back(&wait);
    if (m_balloonVisible) wait.exec();
    if (!self) return;  // the control ended while we waited
    std::erase(m_balloonWaits, &wait);
    if (m_balloonVisible) m_service.showBalloon(QString(), QString(), 0);
}

void cSysTray::endBalloonWaits() {
    for (QEventLoop* loop : m_balloonWaits) loop->quit();
}

void cSysTray::TrayCallback(int code, qint32 id) {
    using C = INotifyAreaService;
    switch (code) {
        case C::MouseMove:
            Q_EMIT MouseMove(id);
            break;
        case C::LeftDown:
            Q_EMIT MouseDown(1, id);
            break;
        case C::LeftUp:
            Q_EMIT MouseUp(1, id);
            break;
        case C::LeftDoubleClick:
            Q_EMIT MouseDblClick(1, id);
            break;
        case C::RightDown:
            Q_EMIT MouseDown(2, id);
            break;
        case C::RightUp:
            Q_EMIT MouseUp(2, id);
            break;
        case C::RightDoubleClick:
            Q_EMIT MouseDblClick(2, id);
            break;
        case C::BalloonHide:
        case C::BalloonTimeout:
        case C::BalloonUserClick:
            m_balloonVisible = false;
            endBalloonWaits();
            break;
        default:
            break;
    }
}
