// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDir>
#include <QMap>
#include <QProcess>
#include <QTest>

#include "platform/portal/portalshortcut.h"

// The desktop's side of global shortcuts behind the real portal front end: binds the
// shortcuts as asked, or as its user chose (`chosen`: id → trigger, "" for none; the id
// "declined" declines), and activates them when told. Served on a connection of its own.
class FakePortalDesktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.GlobalShortcuts")
public:
    static inline const QString kName = QStringLiteral("org.freedesktop.impl.portal.desktop.fake");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");

    explicit FakePortalDesktop(const QString& busAddress)
        : bus(QDBusConnection::connectToBus(busAddress, kName)) {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        bus.registerObject(kPath, this, QDBusConnection::ExportAllSlots);
        bus.registerService(kName);
    }
    ~FakePortalDesktop() override { QDBusConnection::disconnectFromBus(kName); }

    // Starts the front end in front of this desktop, or of one without global shortcuts,
    // with its portal description in `dir`; true once it is on the bus.
    bool startFrontEnd(QProcess& frontEnd, const QString& dir, bool offered) {
        QDir().mkpath(dir);
        QFile portal(dir + "/fake.portal");
        if (offered && portal.open(QIODevice::WriteOnly))
            portal.write("[portal]\nDBusName=" + kName.toLatin1() +
                         "\nInterfaces=org.freedesktop.impl.portal.GlobalShortcuts;\nUseIn=fake\n");
        portal.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DESKTOP_PORTAL_DIR", dir);
        env.insert("XDG_CURRENT_DESKTOP", "fake");
        frontEnd.setProcessEnvironment(env);
        frontEnd.start(QStringLiteral("/usr/libexec/xdg-desktop-portal"), QStringList{});
        return QTest::qWaitFor(
            [&] {
                return bus.interface()
                    ->isServiceRegistered("org.freedesktop.portal.Desktop")
                    .value();
            },
            20000);
    }
    // Sends Activated or ShortcutsChanged for the session, with the rest of `args`.
    void send(const QString& signal, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createSignal(
            kPath, QStringLiteral("org.freedesktop.impl.portal.GlobalShortcuts"), signal);
        m.setArguments(QVariantList{QVariant::fromValue(QDBusObjectPath(session))} + args);
        bus.send(m);
    }
    static QVariant bound(const QMap<QString, QString>& triggers) {
        QList<PortalShortcut> out;
        for (auto it = triggers.begin(); it != triggers.end(); ++it)
            out << PortalShortcut{it.key(), {{"trigger_description", it.value()}}};
        return QVariant::fromValue(out);
    }

    QDBusConnection bus;
    QMap<QString, QString> chosen;
    QStringList asked;  // "id | description | preferred trigger"
    QString session;

public Q_SLOTS:
    uint CreateSession(const QDBusObjectPath&, const QDBusObjectPath& s, const QString&,
                       const QVariantMap&, QVariantMap& results) {
        session = s.path();
        results["session_id"] = "1";
        return 0;
    }
    uint BindShortcuts(const QDBusObjectPath&, const QDBusObjectPath&,
                       const QList<PortalShortcut>& shortcuts, const QString&, const QVariantMap&,
                       QVariantMap& results) {
        QMap<QString, QString> triggers;
        for (const PortalShortcut& p : shortcuts) {
            const QString trigger = p.properties["preferred_trigger"].toString();
            asked << p.id + " | " + p.properties["description"].toString() + " | " + trigger;
            // As a desktop words it: "Ctrl+Shift+X".
            triggers[p.id] = chosen.value(
                p.id, trigger.toUpper().replace("CTRL", "Ctrl").replace("SHIFT", "Shift"));
        }
        results["shortcuts"] = bound(triggers);
        return chosen.contains("declined") ? 1 : 0;
    }
};
