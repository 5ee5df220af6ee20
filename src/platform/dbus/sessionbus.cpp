// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dbus/sessionbus.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include "core/product.h"
#include "platform/dbus/mprisservice.h"

namespace sessionbus {
namespace {
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

Result call(const QString& interface, const QString& method, const QVariantList& args,
            QString* error) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (error) *error = bus.lastError().message();
        return Result::NoBus;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        MprisService::kServiceName, MprisService::kObjectPath, interface, method);
    message.setArguments(args);
    // No auto-start: only a copy that runs already may answer.
    message.setAutoStartService(false);
    // A copy that is stopped or hangs answers late or never: a few seconds are enough.
    constexpr int kTimeoutMs = 5000;
    const QDBusMessage reply = bus.call(message, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ErrorMessage) return Result::Done;
    // The bus library's thread hands an error over first and then announces it on its
    // own, copying it through the type registry. A process that ends right away may
    // destroy the registry under that thread, which then prints two lines about an
    // invalid type. A second call, answered after the announcement, waits for it.
    bus.call(QDBusMessage::createMethodCall(
                 QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
                 QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")),
             QDBus::Block, kTimeoutMs);
    if (error) *error = reply.errorMessage();
    if (reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NoReply") ||
        reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.Timeout"))
        return Result::TimedOut;
    return reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
                   reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")
               ? Result::NotRunning
               : Result::Refused;
}
}  // namespace

Claim claimName(QString* reason) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (reason) *reason = bus.lastError().message();
        return Claim::NoBus;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(MprisService::kServiceName,
                                         QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid()) {
        if (reason) *reason = reply.error().message();
        return Claim::NoBus;
    }
    return reply.value() == QDBusConnectionInterface::ServiceRegistered ? Claim::Owned
                                                                        : Claim::Taken;
}

void releaseName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) bus.interface()->unregisterService(MprisService::kServiceName);
}

Result send(PlayerAction action, QString* error) {
    switch (action) {
        case PlayerAction::Raise:
            return call(kRootInterface, QStringLiteral("Raise"), {}, error);
        case PlayerAction::Quit:
            return call(kRootInterface, QStringLiteral("Quit"), {}, error);
        case PlayerAction::Play:
            return call(kPlayerInterface, QStringLiteral("Play"), {}, error);
        case PlayerAction::Pause:
            return call(kPlayerInterface, QStringLiteral("Pause"), {}, error);
        case PlayerAction::PlayPause:
            return call(kPlayerInterface, QStringLiteral("PlayPause"), {}, error);
        case PlayerAction::Stop:
            return call(kPlayerInterface, QStringLiteral("Stop"), {}, error);
        case PlayerAction::Next:
            return call(kPlayerInterface, QStringLiteral("Next"), {}, error);
        case PlayerAction::Previous:
            return call(kPlayerInterface, QStringLiteral("Previous"), {}, error);
    }
    return Result::Refused;
}

Result open(const QStringList& paths, QString* error) {
    return call(kPrivateInterface, QStringLiteral("Open"), {QVariant(paths)}, error);
}

}  // namespace sessionbus
