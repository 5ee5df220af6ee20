// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/hotkeychoice.h"

#include <QGuiApplication>
#include <QLoggingCategory>

#include "platform/portal/portalhotkeyservice.h"
#include "platform/x11/x11hotkeyservice.h"

Q_LOGGING_CATEGORY(lcHotKeyChoice, "quaverly.hotkeys.choice", QtInfoMsg)

namespace {

// No global keys: nothing is registered, and nothing ever arrives.
class NullHotKeyService : public IHotKeyService {
public:
    bool available() const override { return false; }
    quint32 addAtom(const QString&) override { return 0; }
    void registerHotKey(quint32, char) override {}
    void registerMediaKey(quint32, MediaKey) override {}
    void setHandler(std::function<void(quint32)>) override {}
};

const QString kNoPortal = QStringLiteral(
    "this is a Wayland session and the desktop offers no global shortcuts; bind keys to "
    "quaverly --play-pause, --next, --previous and --stop in the desktop's keyboard settings "
    "instead.");

}  // namespace

HotKeyChoice chooseHotKeys(const QString& platform, bool waylandSession, bool x11Reachable,
                           const std::function<bool()>& portalOffered) {
    using S = HotKeyChoice::Service;
    const bool xcb = platform == QLatin1String("xcb");
    if (!waylandSession) {
        if (xcb && x11Reachable) return {S::X11, {}};
        return {S::None,
                QStringLiteral("global hot keys are unavailable: %1; use the window's "
                               "buttons instead.")
                    .arg(xcb ? QStringLiteral("the X display could not be reached")
                             : QStringLiteral("the window system '%1' has none").arg(platform))};
    }
    if (portalOffered && portalOffered()) return {S::Portal, {}};
    // XWayland hands its clients keys only while one of its own windows has the focus.
    if (xcb && x11Reachable)
        return {S::X11, QStringLiteral("the hot keys work only while a window of an X11 "
                                       "program has the focus: ") +
                            kNoPortal};
    return {S::None, QStringLiteral("global hot keys are unavailable: ") + kNoPortal};
}

std::unique_ptr<IHotKeyService> createHotKeyService(bool grabKeys) {
    if (!grabKeys) {
        qCDebug(lcHotKeyChoice, "no global hot keys: the command line asked for none");
        return std::make_unique<NullHotKeyService>();
    }
    const QString platform = QGuiApplication::platformName();
    const bool wayland = platform.startsWith(QLatin1String("wayland")) ||
                         !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                         qgetenv("XDG_SESSION_TYPE") == "wayland";
    std::unique_ptr<X11HotKeyService> x11;
    if (platform == QLatin1String("xcb")) x11 = std::make_unique<X11HotKeyService>();
    std::unique_ptr<PortalHotKeyService> portal;
    const HotKeyChoice choice = chooseHotKeys(platform, wayland, x11 && x11->available(), [&] {
        portal = std::make_unique<PortalHotKeyService>(QGuiApplication::desktopFileName());
        return portal->available();
    });
    if (!choice.message.isEmpty()) qCWarning(lcHotKeyChoice, "%s", qUtf8Printable(choice.message));
    switch (choice.service) {
        case HotKeyChoice::Service::X11:
            return x11;
        case HotKeyChoice::Service::Portal:
            return portal;
        case HotKeyChoice::Service::None:
            break;
    }
    return std::make_unique<NullHotKeyService>();
}
