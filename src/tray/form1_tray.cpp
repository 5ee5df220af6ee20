// Form1's window dressing: the skin, hiding to the tray on minimise, and coming back.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLoggingCategory>
#include <QRadioButton>
#include <QTimer>

#include "app/form1.h"
#include "app/hotkeypump.h"
#include "playlist/ifilesystem.h"
#include "tray/csystray.h"
#include "tray/inotifyareaservice.h"
#include "tray/skinframework.h"

Q_DECLARE_LOGGING_CATEGORY(lcTray)

void Form1::ApplySkin() {
    const QString skinFile = m_programFolder + QStringLiteral("/x/o.cjs");
    const auto attributes = m_services.fs->attributes(skinFile);
    const bool ordinary =
        attributes && (*attributes & FileAttr::Archive) &&
        !(*attributes & (FileAttr::Directory | FileAttr::Hidden | FileAttr::System));
    if (!ordinary) return;
    const QColor face = palette().color(QPalette::Active, QPalette::Button);
    auto recolour = [&](QWidget* w) {
        QPalette p = w->palette();
        p.setColor(QPalette::Window, face);
        w->setPalette(p);
        w->setAutoFillBackground(true);
    };
    recolour(this);
    for (QWidget* w : findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w))
            recolour(w);
    }
    SkinFramework skin;
    skin.LoadSkin(skinFile, QString());
    skin.Options = skin.Options | 1;
    skin.FlagA = true;
    skin.FlagB = true;
    skin.ApplyWindow(this);
}

void Form1::Form_Resize() {
    if (!(windowState() & Qt::WindowMinimized) || mSysTray::HiddenInTray) return;
    if (!m_services.tray || !m_services.tray->available()) {
        // Hiding would lose the window for good: it stays minimised as usual.
        static bool told = false;
        if (!told) {
            qCWarning(lcTray) << "no notification area on this desktop: minimising leaves the "
                                 "window minimised instead of hiding it";
            told = true;
        }
        return;
    }
    // The window stays minimised while hidden: leaving that state maps it again on X11,
    // and the window manager would then show it. The way back clears the state.
    hide();
    mSysTray::HiddenInTray = true;
    if (cSysTray1) {
        const PumpBusy busy(m_pump.get());
        cSysTray1->ShowBalloon(
            QStringLiteral("has been minimized to the system tray.\r\nClick on the blue 'V' icon "
                           "(V for Varnelta) to bring the software back."),
            QStringLiteral("Quaverly"), 5, true);
    }
}

void Form1::cSysTray1_MouseUp(int /*button*/, int /*id*/) {
    // The window manager may still record the hidden window as minimised.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    mSysTray::HiddenInTray = false;
}
