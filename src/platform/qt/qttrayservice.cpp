// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qttrayservice.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPixmap>

Q_LOGGING_CATEGORY(lcTrayService, "quaverly.tray.service", QtInfoMsg)

namespace {
// An icon slot without a picture of its own still needs something to show.
QIcon blankIcon() {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return QIcon(p);
}
}  // namespace

QtTrayService::QtTrayService(QObject* parent) : QObject(parent) {
    m_balloonTimer.setSingleShot(true);
    connect(&m_balloonTimer, &QTimer::timeout, this,
            [this] { balloonEnded(INotifyAreaService::BalloonTimeout); });
    connect(&m_icon, &QSystemTrayIcon::activated, this, &QtTrayService::onActivated);
    connect(&m_icon, &QSystemTrayIcon::messageClicked, this,
            [this] { balloonEnded(INotifyAreaService::BalloonUserClick); });
}

QtTrayService::~QtTrayService() = default;

bool QtTrayService::available() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTrayService::add(const QIcon& icon, const QString& tip) {
    m_icon.setIcon(icon.isNull() ? blankIcon() : icon);
    m_icon.setToolTip(tip);
    // Outside X11 only a StatusNotifierItem host can show the icon; without one, Qt's
    // fallback would reach for X11's tray and warn.
    if (!QSystemTrayIcon::isSystemTrayAvailable() &&
        QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    m_icon.show();
}

void QtTrayService::modifyTip(const QString& tip) {
    m_icon.setToolTip(tip);
}

void QtTrayService::modifyIcon(const QIcon& icon) {
    m_icon.setIcon(icon);
}

void QtTrayService::showBalloon(const QString& title, const QString& text, int timeoutMs) {
    if (title.isEmpty() && text.isEmpty()) {
        // Withdrawal: Qt takes an empty message as "hide the balloon".
        m_icon.showMessage(QString(), QString(), QIcon(), 0);
        if (m_balloonShown) balloonEnded(INotifyAreaService::BalloonHide);
        return;
    }
    if (!m_icon.isVisible()) {
        qCDebug(lcTrayService) << "balloon asked for while the icon is not shown";
        return;
    }
    const int ms = timeoutMs > 0 ? timeoutMs : kDefaultBalloonMs;
    m_icon.showMessage(title, text, QIcon(), ms);
    m_balloonShown = true;
    report(INotifyAreaService::BalloonShow);
    m_balloonTimer.start(ms);
}

void QtTrayService::remove() {
    m_balloonTimer.stop();
    m_balloonShown = false;
    m_icon.hide();
}

void QtTrayService::setNotify(std::function<void(int)> onNotify) {
    m_notify = std::move(onNotify);
}

QRect QtTrayService::geometry() const {
    return m_icon.geometry();
}

bool QtTrayService::isShown() const {
    return m_icon.isVisible();
}

void QtTrayService::onActivated(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            report(LeftDown);
            report(LeftUp);
            break;
        case QSystemTrayIcon::Context:
            report(RightDown);
            report(RightUp);
            break;
        case QSystemTrayIcon::DoubleClick:
            report(LeftDoubleClick);
            report(LeftUp);
            break;
        case QSystemTrayIcon::MiddleClick:
            report(MiddleDown);
            report(MiddleUp);
            break;
        case QSystemTrayIcon::Unknown:
            break;
    }
}

void QtTrayService::balloonEnded(int code) {
    if (!m_balloonShown) return;
    m_balloonShown = false;
    m_balloonTimer.stop();
    report(code);
}

// Reports go out from the event loop, so a listener may call back into the service
// (or run a nested loop) without re-entering whatever the service was doing.
void QtTrayService::report(int code) {
    QMetaObject::invokeMethod(
        this,
        [this, code] {
            if (m_notify) m_notify(code);
        },
        Qt::QueuedConnection);
}
