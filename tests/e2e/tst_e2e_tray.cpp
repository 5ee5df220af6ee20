// SPDX-License-Identifier: GPL-3.0-or-later
// The window with the real notification-area icon, under the test display's tray host:
// the icon is there from start-up, minimising hides the window behind it, and a click
// on it brings the window back with the focus.
#include <QtTest>

#include <QProcess>
#include <QStandardPaths>
#include <QSystemTrayIcon>

#include "fakes/formrig.h"
#include "platform/qt/qttrayservice.h"
#include "tray/csystray.h"
#include "tray/trayhiding.h"

class TestE2ETray : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (the test command starts Xvfb)");
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            QSKIP("needs a tray host on the display (the test command starts icewm)");
        if (QStandardPaths::findExecutable("xdotool").isEmpty()) QSKIP("needs xdotool");
    }

    // As a person minimises: the window manager iconifies the window, and the program
    // hears of it afterwards.
    static void minimise(Form1& f) {
        QProcess::execute("xdotool", {"windowminimize", QString::number(f.winId())});
    }

    void minimiseAndClickBack() {
        QtTrayService tray;
        FormRig rig;
        rig.make([&](Form1::Services& s) { s.tray = &tray; });
        Form1& f = *rig.form;
        f.Form_Load();
        f.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTRY_VERIFY(tray.isShown());
        QCOMPARE(f.cSysTray1->TrayTip(), QStringLiteral("Quaverly"));
        QVERIFY(f.cSysTray1->InTray());

        minimise(f);
        QTRY_VERIFY(!f.isVisible());
        QVERIFY(f.trayHiding().hiddenInTray());
        QCOMPARE(f.cSysTray1->OnceCount(), 1);  // the balloon, once

        QTRY_VERIFY(tray.geometry().isValid());
        const QPoint at = tray.geometry().center();
        QProcess::execute("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()),
                                      "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(f.isVisible(), 10000);  // also ends the balloon's wait
        QVERIFY(!f.trayHiding().hiddenInTray());
        QTRY_VERIFY(f.isActiveWindow());

        minimise(f);  // the second time: hidden, no second balloon
        QTRY_VERIFY(!f.isVisible());
        QCOMPARE(f.cSysTray1->OnceCount(), 1);
        f.Form_QueryUnload();
        QVERIFY(!f.cSysTray1->InTray());
        QTRY_VERIFY(!tray.isShown());
        QCOMPARE(rig.ended, 1);
        rig.form.reset();  // before the tray service it used
    }
};

QTEST_MAIN(TestE2ETray)
#include "tst_e2e_tray.moc"
