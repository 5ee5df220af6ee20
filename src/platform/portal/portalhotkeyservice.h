// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <vector>

#include <QObject>
#include <QString>

#include "core/ihotkeyservice.h"

class QDBusMessage;

// The Ctrl+Shift hot keys through the desktop's global-shortcuts portal, for Wayland
// sessions where no program may grab keys: one portal session, whose shortcuts are bound
// once, when the keys are registered. The desktop may ask the user first and may bind
// other keys or none; it says which, and so does this service, once on standard error.
// An activation reaches the handler from the event loop, as an X11 key press does.
// The media keys are left to the desktop, which hands them over through the
// media-player interface. UI thread only.
class PortalHotKeyService : public QObject, public IHotKeyService {
    Q_OBJECT
public:
    // Tells the portal who asks (programs outside a sandbox register their desktop
    // entry's name where the portal has a registry for that) and asks whether it offers
    // global shortcuts. Blocks for at most a few seconds when the portal has to start.
    explicit PortalHotKeyService(const QString& appId);
    ~PortalHotKeyService() override;

    // The portal offers global shortcuts on the session bus.
    bool available() const override;
    quint32 addAtom(const QString& name) override;
    void registerHotKey(quint32 id, char letter) override;
    void registerMediaKey(quint32 id, MediaKey key) override;
    void setHandler(std::function<void(quint32 id)> onPressed) override;

    // A shortcut as the portal knows it: the stable id, what it does, the trigger asked
    // for (XDG shortcuts format), and the trigger the desktop bound, in its own words.
    struct Shortcut {
        QString id;
        QString description;
        QString preferredTrigger;
        QString boundTrigger;
    };
    // One per registered key, in the order of registration.
    const std::vector<Shortcut>& shortcuts() const { return m_shortcuts; }
    // The shortcuts have been bound (the desktop answered, whatever it bound).
    bool bound() const { return m_state == State::Bound; }

private Q_SLOTS:
    void onSessionResponse(const QDBusMessage& message);
    void onBindResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);
    void onShortcutsChanged(const QDBusMessage& message);
    void onSessionClosed(const QDBusMessage& message);

private:
    enum class State { Idle, Creating, Binding, Bound, Failed };
    QString requestPath(const QString& token) const;
    bool watchRequest(const QString& path, const char* slot);
    void dropRequest(const char* slot);
    // Sends a request whose answer comes as a Response signal on the request object,
    // to `slot`; it follows the object when the portal names another one.
    void sendRequest(const QDBusMessage& call, const char* slot);
    void createSession();
    void bindShortcuts();
    void takeShortcuts(const QVariant& list);
    void sayBound(bool always);
    void fail(const QString& why);

    bool m_offered = false;
    State m_state = State::Idle;
    QString m_session;
    QString m_request;  // the request whose Response is awaited
    std::map<QString, quint32> m_atoms;
    std::map<quint32, QString> m_ids;  // key number → shortcut id
    std::vector<Shortcut> m_shortcuts;
    std::function<void(quint32)> m_handler;
    int m_tokens = 0;
};
