// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portal/portalhotkeyservice.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QLoggingCategory>
#include <QSet>

#include "platform/portal/portalshortcut.h"

Q_LOGGING_CATEGORY(lcPortalKeys, "quaverly.hotkeys.portal", QtInfoMsg)

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kRegistry = QStringLiteral("org.freedesktop.host.portal.Registry");
// A portal that has to start first may take a while; a desktop without one answers at once.
constexpr int kStartTimeoutMs = 5000;

const char kAdvice[] =
    "bind keys to quaverly --play-pause, --next, --previous and --stop in the desktop's "
    "keyboard settings instead";

// What each of the program's combinations does, in the words the desktop shows the user.
// The ids stay the same from run to run, so the desktop remembers what the user chose.
struct Known {
    char letter;
    const char* id;
    const char* description;
};
constexpr Known kKnown[] = {
    {'X', "start-stop", "Start or stop playing"},
    {'V', "start-stop-2", "Start or stop playing (second key)"},
    {'C', "pause-resume", "Pause or resume"},
    {'Z', "previous", "Previous AAC"},
    {'B', "next", "Next AAC"},
};

// "ctrl+shift+x", "Ctrl+Shift+X" and "Shift+Control+X" are the same trigger.
QSet<QString> triggerKeys(const QString& trigger) {
    QSet<QString> keys;
    for (QString k : trigger.toLower().remove(u' ').split(u'+', Qt::SkipEmptyParts))
        keys << (k == u"control" ? QStringLiteral("ctrl") : k);
    return keys;
}

QString objectPath(const QVariant& v) {
    return v.canConvert<QDBusObjectPath>() ? v.value<QDBusObjectPath>().path() : v.toString();
}

QDBusMessage portalCall(const QString& interface, const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, interface, method);
}

}  // namespace

PortalHotKeyService::PortalHotKeyService(const QString& appId) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<PortalShortcuts>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    // The registry must come before any other call to the portal; older portals have
    // none and take the caller for a program without an id.
    QDBusMessage reg = portalCall(kRegistry, QStringLiteral("Register"));
    reg << appId << QVariantMap();
    const QDBusMessage regReply = bus.call(reg, QDBus::Block, kStartTimeoutMs);
    if (regReply.type() == QDBusMessage::ErrorMessage)
        qCDebug(lcPortalKeys) << "no registry:" << regReply.errorMessage();
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kShortcuts << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, kStartTimeoutMs);
    m_offered = reply.type() == QDBusMessage::ReplyMessage;
    if (!m_offered) {
        qCDebug(lcPortalKeys) << "no global shortcuts:" << reply.errorMessage();
        return;
    }
    bus.connect(kService, kPath, kShortcuts, QStringLiteral("Activated"), this,
                SLOT(onActivated(QDBusMessage)));
    bus.connect(kService, kPath, kShortcuts, QStringLiteral("ShortcutsChanged"), this,
                SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalHotKeyService::~PortalHotKeyService() {
    // The portal also ends the session when the program leaves the bus.
    if (!m_session.isEmpty())
        QDBusConnection::sessionBus().send(
            QDBusMessage::createMethodCall(kService, m_session, kSession, QStringLiteral("Close")));
}

bool PortalHotKeyService::available() const {
    return m_offered;
}

quint32 PortalHotKeyService::addAtom(const QString& name) {
    auto it = m_atoms.find(name);
    if (it == m_atoms.end()) it = m_atoms.emplace(name, quint32(m_atoms.size() + 1)).first;
    return it->second;
}

void PortalHotKeyService::registerHotKey(quint32 id, char letter) {
    if (!m_offered) return;
    if (m_state != State::Idle && m_state != State::Creating) {
        // A session binds its shortcuts once.
        qCDebug(lcPortalKeys) << "too late to bind Ctrl+Shift+" << letter;
        return;
    }
    const QChar upper = QChar::fromLatin1(letter).toUpper();
    Shortcut s{QStringLiteral("ctrl-shift-%1").arg(upper.toLower()),
               QStringLiteral("Ctrl+Shift+%1").arg(upper),
               QStringLiteral("CTRL+SHIFT+%1").arg(upper.toLower()), QString()};
    for (const Known& k : kKnown)
        if (upper == QLatin1Char(k.letter)) {
            s.id = QString::fromLatin1(k.id);
            s.description = QString::fromLatin1(k.description);
        }
    m_ids[id] = s.id;
    m_shortcuts.push_back(std::move(s));
    // The program registers its keys one after another; the session's answer comes
    // from the event loop, after the last of them.
    if (m_state == State::Idle) createSession();
}

void PortalHotKeyService::registerMediaKey(quint32, MediaKey) {}

void PortalHotKeyService::setHandler(std::function<void(quint32)> onPressed) {
    m_handler = std::move(onPressed);
}

// Where the portal will answer a request of ours: known before the call, so the answer
// cannot come before we listen.
QString PortalHotKeyService::requestPath(const QString& token) const {
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(u'.', u'_');
    return QStringLiteral("%1/request/%2/%3").arg(kPath, sender, token);
}

bool PortalHotKeyService::watchRequest(const QString& path, const char* slot) {
    m_request = path;
    return QDBusConnection::sessionBus().connect(kService, path, kRequest,
                                                 QStringLiteral("Response"), this, slot);
}

void PortalHotKeyService::dropRequest(const char* slot) {
    QDBusConnection::sessionBus().disconnect(kService, m_request, kRequest,
                                             QStringLiteral("Response"), this, slot);
    m_request.clear();
}

void PortalHotKeyService::createSession() {
    m_state = State::Creating;
    const QString token = QStringLiteral("quaverly%1").arg(++m_tokens);
    watchRequest(requestPath(token), SLOT(onSessionResponse(QDBusMessage)));
    QDBusMessage call = portalCall(kShortcuts, QStringLiteral("CreateSession"));
    call << QVariantMap{{QStringLiteral("handle_token"), token},
                        {QStringLiteral("session_handle_token"), token}};
    sendRequest(call, SLOT(onSessionResponse(QDBusMessage)));
}

void PortalHotKeyService::sendRequest(const QDBusMessage& call, const char* slot) {
    const State waiting = m_state;
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, waiting, slot](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *w;
                if (reply.isError()) return fail(reply.error().message());
                // Older portals answer elsewhere than asked.
                if (m_state == waiting && reply.value().path() != m_request) {
                    dropRequest(slot);
                    watchRequest(reply.value().path(), slot);
                }
            });
}

void PortalHotKeyService::onSessionResponse(const QDBusMessage& message) {
    dropRequest(SLOT(onSessionResponse(QDBusMessage)));
    const QList<QVariant> args = message.arguments();
    const uint response = args.value(0).toUInt();
    const QVariantMap results = qdbus_cast<QVariantMap>(args.value(1));
    m_session = objectPath(results.value(QStringLiteral("session_handle")));
    if (response != 0 || m_session.isEmpty())
        return fail(
            QStringLiteral("the desktop opened no session for them (answer %1)").arg(response));
    QDBusConnection::sessionBus().connect(kService, m_session, kSession, QStringLiteral("Closed"),
                                          this, SLOT(onSessionClosed(QDBusMessage)));
    bindShortcuts();
}

void PortalHotKeyService::bindShortcuts() {
    m_state = State::Binding;
    const QString token = QStringLiteral("quaverly%1").arg(++m_tokens);
    watchRequest(requestPath(token), SLOT(onBindResponse(QDBusMessage)));
    PortalShortcuts pairs;
    for (const Shortcut& s : m_shortcuts)
        pairs << PortalShortcut{s.id,
                                {{QStringLiteral("description"), s.description},
                                 {QStringLiteral("preferred_trigger"), s.preferredTrigger}}};
    QDBusMessage call = portalCall(kShortcuts, QStringLiteral("BindShortcuts"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariant::fromValue(pairs)
         << QString() << QVariantMap{{QStringLiteral("handle_token"), token}};
    sendRequest(call, SLOT(onBindResponse(QDBusMessage)));
}

void PortalHotKeyService::onBindResponse(const QDBusMessage& message) {
    dropRequest(SLOT(onBindResponse(QDBusMessage)));
    const QList<QVariant> args = message.arguments();
    const uint response = args.value(0).toUInt();
    if (response == 1) return fail(QStringLiteral("binding them was declined on the desktop"));
    if (response != 0)
        return fail(QStringLiteral("the desktop did not bind them (answer %1)").arg(response));
    m_state = State::Bound;
    takeShortcuts(qdbus_cast<QVariantMap>(args.value(1)).value(QStringLiteral("shortcuts")));
    sayBound(false);
}

// Records the triggers the desktop reports; shortcuts it does not mention keep theirs.
void PortalHotKeyService::takeShortcuts(const QVariant& list) {
    if (!list.canConvert<QDBusArgument>()) return;
    const PortalShortcuts pairs = qdbus_cast<PortalShortcuts>(list.value<QDBusArgument>());
    for (const PortalShortcut& p : pairs)
        for (Shortcut& s : m_shortcuts)
            if (s.id == p.id)
                s.boundTrigger =
                    p.properties.value(QStringLiteral("trigger_description")).toString();
}

// Silent when the desktop bound every key as asked, unless `always`.
void PortalHotKeyService::sayBound(bool always) {
    QStringList said;
    bool asAsked = true;
    for (const Shortcut& s : m_shortcuts) {
        const bool same = !s.boundTrigger.isEmpty() &&
                          triggerKeys(s.boundTrigger) == triggerKeys(s.preferredTrigger);
        asAsked = asAsked && same;
        said << QStringLiteral("%1: %2").arg(
            s.description, s.boundTrigger.isEmpty() ? QStringLiteral("no key") : s.boundTrigger);
    }
    qCDebug(lcPortalKeys) << "bound:" << said;
    if (asAsked && !always) return;
    qCInfo(lcPortalKeys, "the desktop bound the hot keys this way: %s",
           qUtf8Printable(said.join(QStringLiteral("; "))));
}

void PortalHotKeyService::fail(const QString& why) {
    m_state = State::Failed;
    qCWarning(lcPortalKeys, "global hot keys are unavailable: %s; %s.", qUtf8Printable(why),
              kAdvice);
}

void PortalHotKeyService::onActivated(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (m_session.isEmpty() || objectPath(args.value(0)) != m_session) return;
    const QString id = args.value(1).toString();
    for (const auto& [number, shortcutId] : m_ids)
        if (shortcutId == id) {
            qCDebug(lcPortalKeys) << "activated" << id;
            if (m_handler) m_handler(number);
            return;
        }
}

void PortalHotKeyService::onShortcutsChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (m_session.isEmpty() || objectPath(args.value(0)) != m_session) return;
    takeShortcuts(args.value(1));
    sayBound(true);
}

void PortalHotKeyService::onSessionClosed(const QDBusMessage&) {
    m_session.clear();
    fail(QStringLiteral("the desktop ended their session"));
}
