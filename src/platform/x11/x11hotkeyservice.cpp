// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/x11hotkeyservice.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <vector>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QStringList>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

Q_LOGGING_CATEGORY(lcHotKeys, "quaverly.hotkeys", QtInfoMsg)

namespace {

constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;
constexpr quint16 kCtrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
// Beyond this gap a press of a key we think is still held counts as a new press, so a
// release that never reached us cannot silence the key for good.
constexpr quint32 kRepeatGapMs = 2000;

struct Grab {
    quint32 id;
    xcb_keycode_t keycode;
    quint16 modifiers;  // without the lock states, which are grabbed in every combination
};

bool operator==(const Grab& a, const Grab& b) {
    return a.id == b.id && a.keycode == b.keycode && a.modifiers == b.modifiers;
}

struct MediaKeySym {
    xcb_keysym_t keysym;
    const char* name;
};

// In the order of IHotKeyService::MediaKey.
constexpr MediaKeySym kMediaKeys[] = {{0x1008ff14, "XF86AudioPlay"},
                                      {0x1008ff31, "XF86AudioPause"},
                                      {0x1008ff15, "XF86AudioStop"},
                                      {0x1008ff17, "XF86AudioNext"},
                                      {0x1008ff16, "XF86AudioPrev"}};

// A key asked for: Ctrl+Shift+`letter`, or a media key when `letter` is 0.
struct Wanted {
    quint32 id;
    char letter;
    MediaKeySym media;
};

// The keyboard extension's own event numbers: 0 a new keyboard, 1 a new key map.
constexpr quint8 kXkbNewKeyboardNotify = 0;
constexpr quint8 kXkbMapNotify = 1;

struct KeyState {
    bool down = false;
    xcb_timestamp_t lastPress = 0;
    xcb_timestamp_t lastRelease = 0;
    bool released = false;
};

}  // namespace

struct X11HotKeyService::Private : QAbstractNativeEventFilter {
    xcb_connection_t* conn = nullptr;
    xcb_key_symbols_t* symbols = nullptr;
    std::vector<xcb_window_t> roots;
    quint16 numLockMask = 0;
    std::vector<Grab> grabs;
    std::vector<Grab> attempted;  // granted or not, for the keyboard map in use
    std::vector<Wanted> wanted;   // every key asked for, to grab again after a layout change
    QStringList refusedMedia;     // not yet said on standard error
    bool refusalSaid = false;
    std::map<xcb_keycode_t, KeyState> keys;
    std::function<void(quint32)> handler;
    quint8 xkbFirstEvent = 0;  // 0: the server has no keyboard extension
    bool regrabQueued = false;
    QObject context;  // queued work dies with us

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;
    bool grab(const Wanted& w);
    std::vector<Grab> targetsFor(const Wanted& w) const;
    void sayRefused(const char* name);
    void ungrabAll();
    void queueRegrab();
    void regrab();
    void findXkbEvents();
    void findNumLockMask();
    std::vector<xcb_keycode_t> keycodesFor(char letter) const;
    bool isRoot(xcb_window_t w) const;
    const Grab* grabFor(xcb_keycode_t keycode, std::optional<quint16> modifiers) const;
    bool isRepeat(xcb_keycode_t keycode, xcb_timestamp_t time);
};

X11HotKeyService::X11HotKeyService() : d(std::make_unique<Private>()) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    d->conn = x11->connection();
    d->symbols = xcb_key_symbols_alloc(d->conn);
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(d->conn)); it.rem; xcb_screen_next(&it))
        d->roots.push_back(it.data->root);
    d->findNumLockMask();
    d->findXkbEvents();
    QCoreApplication::instance()->installNativeEventFilter(d.get());
}

X11HotKeyService::~X11HotKeyService() {
    if (!d->conn) return;
    if (auto* app = QCoreApplication::instance()) {
        app->removeNativeEventFilter(d.get());
        // Our grabs go with our object; a second service may take the keys after us.
        d->ungrabAll();
        xcb_flush(d->conn);
    }
    xcb_key_symbols_free(d->symbols);
}

bool X11HotKeyService::available() const {
    return d->conn != nullptr;
}

quint32 X11HotKeyService::addAtom(const QString& name) {
    if (!d->conn) return 0;
    const QByteArray latin = name.toLatin1();
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        d->conn, xcb_intern_atom(d->conn, 0, quint16(latin.size()), latin.constData()), nullptr);
    if (!reply) {
        qCWarning(lcHotKeys).noquote()
            << QStringLiteral(
                   "the X server gave no number for the name %1; the hot keys may "
                   "not work. Start the program again if they do not.")
                   .arg(name);
        return 0;
    }
    const quint32 atom = reply->atom;
    std::free(reply);
    return atom;
}

void X11HotKeyService::registerHotKey(quint32 id, char letter) {
    grabHotKey(id, letter);
}

void X11HotKeyService::setHandler(std::function<void(quint32)> onPressed) {
    d->handler = std::move(onPressed);
}

bool X11HotKeyService::grabHotKey(quint32 id, char letter) {
    if (!d->conn) return false;
    d->wanted.push_back({id, letter, {}});
    return d->grab(d->wanted.back());
}

void X11HotKeyService::registerMediaKey(quint32 id, MediaKey key) {
    grabMediaKey(id, key);
}

bool X11HotKeyService::grabMediaKey(quint32 id, MediaKey key) {
    if (!d->conn) return false;
    d->wanted.push_back({id, 0, kMediaKeys[int(key)]});
    return d->grab(d->wanted.back());
}

bool X11HotKeyService::Private::grab(const Wanted& w) {
    const std::vector<Grab> targets = targetsFor(w);
    const QString name = w.letter ? QStringLiteral("Ctrl+Shift+%1").arg(QLatin1Char(w.letter))
                                  : QString::fromLatin1(w.media.name);
    if (targets.empty()) {
        // Many keyboards have no media keys; a missing letter is worth a word.
        if (w.letter)
            qCWarning(lcHotKeys).noquote()
                << QStringLiteral(
                       "the hot key %1 could not be set up: no key of this keyboard "
                       "types %2; use the window's button instead.")
                       .arg(name, QString(QLatin1Char(w.letter)));
        else
            qCDebug(lcHotKeys) << "no key on this keyboard types" << name;
        return false;
    }
    attempted.insert(attempted.end(), targets.begin(), targets.end());
    const quint16 lock = XCB_MOD_MASK_LOCK;
    const quint16 locks[] = {0, numLockMask, lock, quint16(numLockMask | lock)};
    bool granted = true;
    for (const Grab& target : targets) {
        struct Variant {
            xcb_void_cookie_t cookie;
            xcb_window_t root;
            quint16 modifiers;
        };
        std::vector<Variant> variants;
        for (xcb_window_t root : roots)
            for (quint16 extra : locks) {
                const quint16 mods = target.modifiers | extra;
                variants.push_back({xcb_grab_key_checked(conn, 0, root, mods, target.keycode,
                                                         XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
                                    root, mods});
            }
        std::vector<const Variant*> taken;
        for (const Variant& v : variants) {
            if (xcb_generic_error_t* e = xcb_request_check(conn, v.cookie))
                std::free(e);
            else
                taken.push_back(&v);
        }
        if (taken.size() == variants.size()) {
            grabs.push_back(target);
            continue;
        }
        // Someone else holds (part of) the combination; it stays theirs, whole: the lock
        // states we did get would only swallow their presses.
        for (const Variant* v : taken) xcb_ungrab_key(conn, target.keycode, v->root, v->modifiers);
        xcb_flush(conn);
        granted = false;
    }
    if (granted) return true;
    if (w.letter) {
        qCInfo(lcHotKeys).noquote()
            << QStringLiteral(
                   "the hot key %1 could not be set up: another program holds it; "
                   "free it there, or use the window's button instead.")
                   .arg(name);
    } else {
        qCDebug(lcHotKeys) << name << "is held by another client";
        sayRefused(w.media.name);  // the one line about them all
    }
    return false;
}

// The media keys and the Ctrl+Shift letters that type the wanted key, each with the
// modifiers that select it on its key (Shift for a symbol on the second level).
std::vector<Grab> X11HotKeyService::Private::targetsFor(const Wanted& w) const {
    std::vector<Grab> result;
    if (w.letter) {
        for (xcb_keycode_t keycode : keycodesFor(w.letter))
            result.push_back({w.id, keycode, kCtrlShift});
        return result;
    }
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, w.media.keysym);
    if (!codes) return result;
    for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k) {
        for (int level = 0; level < 2; ++level) {
            if (xcb_key_symbols_get_keysym(symbols, *k, level) != w.media.keysym) continue;
            const Grab g{w.id, *k, quint16(level ? XCB_MOD_MASK_SHIFT : 0)};
            if (std::find(result.begin(), result.end(), g) == result.end()) result.push_back(g);
            break;
        }
    }
    std::free(codes);
    return result;
}

// A desktop that passes the media keys to its media-player interface holds them itself.
// Said once per run, for all the keys refused at start-up together.
void X11HotKeyService::Private::sayRefused(const char* name) {
    if (refusalSaid || refusedMedia.contains(QLatin1String(name))) return;
    refusedMedia << QString::fromLatin1(name);
    if (refusedMedia.size() > 1) return;
    QTimer::singleShot(0, &context, [this] {
        refusalSaid = true;
        std::fprintf(stderr,
                     "quaverly: another program holds the media keys %s; they reach Quaverly "
                     "through the desktop's media-player interface instead.\n",
                     qPrintable(refusedMedia.join(QStringLiteral(", "))));
        refusedMedia.clear();
    });
}

void X11HotKeyService::Private::ungrabAll() {
    for (const Grab& g : grabs)
        for (xcb_window_t root : roots) xcb_ungrab_key(conn, g.keycode, root, XCB_MOD_MASK_ANY);
    grabs.clear();
    attempted.clear();
    keys.clear();
}

// A layout switch moves letters to other keys: the grabs must follow the letters. One
// switch arrives as a burst of notifications; they are answered once, from the loop.
void X11HotKeyService::Private::queueRegrab() {
    if (regrabQueued) return;
    regrabQueued = true;
    QTimer::singleShot(0, &context, [this] { regrab(); });
}

void X11HotKeyService::Private::regrab() {
    regrabQueued = false;
    // The table reads the new map on its next lookup.
    xcb_key_symbols_free(symbols);
    symbols = xcb_key_symbols_alloc(conn);
    const quint16 oldNumLockMask = numLockMask;
    findNumLockMask();
    // Typing on another keyboard also announces a "new" map, mostly the same one: keep
    // the grabs while they still hold the right keys.
    std::vector<Grab> wantedGrabs;
    for (const Wanted& w : wanted) {
        const std::vector<Grab> targets = targetsFor(w);
        wantedGrabs.insert(wantedGrabs.end(), targets.begin(), targets.end());
    }
    if (numLockMask == oldNumLockMask && wantedGrabs == attempted) return;
    ungrabAll();
    for (const Wanted& w : wanted) grab(w);
    xcb_flush(conn);
    qCDebug(lcHotKeys) << "keyboard map changed: hot keys grabbed again";
}

// Qt listens to the keyboard extension, and a client that does is told of map changes
// through it rather than through the core notification.
void X11HotKeyService::Private::findXkbEvents() {
    static const char kName[] = "XKEYBOARD";
    auto* reply = xcb_query_extension_reply(
        conn, xcb_query_extension(conn, sizeof kName - 1, kName), nullptr);
    if (!reply) return;
    if (reply->present) xkbFirstEvent = reply->first_event;
    std::free(reply);
}

void X11HotKeyService::Private::findNumLockMask() {
    numLockMask = 0;
    xcb_keycode_t* numLock = xcb_key_symbols_get_keycode(symbols, kNumLockKeysym);
    if (!numLock) return;
    auto* reply = xcb_get_modifier_mapping_reply(conn, xcb_get_modifier_mapping(conn), nullptr);
    if (reply) {
        const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int mod = 0; mod < 8 && !numLockMask; ++mod)
            for (int i = 0; i < perModifier && !numLockMask; ++i)
                for (xcb_keycode_t* k = numLock; *k != XCB_NO_SYMBOL; ++k)
                    if (map[mod * perModifier + i] == *k) numLockMask = quint16(1u << mod);
        std::free(reply);
    }
    std::free(numLock);
}

std::vector<xcb_keycode_t> X11HotKeyService::Private::keycodesFor(char letter) const {
    std::vector<xcb_keycode_t> result;
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) return result;
    const xcb_keysym_t lower = xcb_keysym_t(letter | 0x20);
    for (xcb_keysym_t sym : {lower, xcb_keysym_t(lower - 0x20)}) {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, sym);
        if (!codes) continue;
        for (xcb_keycode_t* k = codes; *k != XCB_NO_SYMBOL; ++k)
            if (std::find(result.begin(), result.end(), *k) == result.end()) result.push_back(*k);
        std::free(codes);
        if (!result.empty()) break;
    }
    return result;
}

bool X11HotKeyService::Private::isRoot(xcb_window_t w) const {
    return std::find(roots.begin(), roots.end(), w) != roots.end();
}

// The grab of the key with these modifiers, or of the key whatever the modifiers.
const Grab* X11HotKeyService::Private::grabFor(xcb_keycode_t keycode,
                                               std::optional<quint16> modifiers) const {
    for (const Grab& g : grabs)
        if (g.keycode == keycode && (!modifiers || g.modifiers == *modifiers)) return &g;
    return nullptr;
}

// A held-down key acts once. The server repeats it either as press after press (when
// the client asked for detectable repeat) or as release+press pairs with one timestamp.
bool X11HotKeyService::Private::isRepeat(xcb_keycode_t keycode, xcb_timestamp_t time) {
    KeyState& k = keys[keycode];
    const bool repeat = (k.released && time == k.lastRelease) ||
                        (k.down && quint32(time - k.lastPress) < kRepeatGapMs);
    k.down = true;
    k.released = false;
    k.lastPress = time;
    return repeat;
}

bool X11HotKeyService::Private::nativeEventFilter(const QByteArray& eventType, void* message,
                                                  qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    const quint8 type = ev->response_type & 0x7f;
    if (type == XCB_MAPPING_NOTIFY) {
        auto* m = reinterpret_cast<xcb_mapping_notify_event_t*>(ev);
        if (m->request != XCB_MAPPING_POINTER) queueRegrab();
        return false;
    }
    if (xkbFirstEvent != 0 && type == xkbFirstEvent) {
        const quint8 xkbType = ev->pad0;
        if (xkbType == kXkbNewKeyboardNotify || xkbType == kXkbMapNotify) queueRegrab();
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(ev);
    if (!isRoot(key->event)) return false;
    if (type == XCB_KEY_RELEASE) {
        if (!grabFor(key->detail, std::nullopt)) return false;
        KeyState& k = keys[key->detail];
        k.down = false;
        k.released = true;
        k.lastRelease = key->time;
        return true;
    }
    const Grab* grab = grabFor(key->detail, key->state & 0xff & ~(XCB_MOD_MASK_LOCK | numLockMask));
    if (!grab) return false;
    if (isRepeat(key->detail, key->time)) return true;
    qCDebug(lcHotKeys) << "hot key" << grab->id;
    if (handler) handler(grab->id);
    return true;
}
