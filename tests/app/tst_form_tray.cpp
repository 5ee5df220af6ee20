// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "fakes/fakenotifyareaservice.h"
#include "fakes/formrig.h"
#include "tray/csystray.h"
#include "tray/trayhiding.h"

// The main window and its tray icon: present for the whole run, hiding the window on
// minimise with the balloon the first time, bringing it back on a button release.
class TestFormTray : public QObject {
    Q_OBJECT

    struct TrayRig : FormRig {
        FakeNotifyAreaService tray;
        ~TrayRig() { form.reset(); }  // the window's icon goes before the service
        void makeWithTray() {
            make([this](Form1::Services& s) { s.tray = &tray; });
            form->Form_Load();
        }
    };

    static void minimise(Form1& f) {
        f.showMinimized();
        QTRY_VERIFY(!f.isVisible() || !(f.windowState() & Qt::WindowMinimized));
    }

private Q_SLOTS:
    void iconForTheWholeRun() {
        TrayRig rig;
        rig.makeWithTray();
        QCOMPARE(rig.tray.ops(), QStringList({"add"}));
        QCOMPARE(rig.tray.calls[0].tip, QStringLiteral("Quaverly"));
        QVERIFY(!rig.tray.calls[0].icon.isNull());
        rig.form->Form_QueryUnload();
        QCOMPARE(rig.tray.ops(), QStringList({"add", "remove"}));
        QCOMPARE(rig.ended, 1);
    }

    void minimiseHidesWithBalloonOnce() {
        TrayRig rig;
        rig.makeWithTray();
        Form1& f = *rig.form;
        // The balloon's wait ends early when the desktop reports it closed.
        rig.tray.onBalloon = [&] {
            QTimer::singleShot(50, &f, [&] { rig.tray.send(INotifyAreaService::BalloonTimeout); });
        };
        f.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        minimise(f);
        QTRY_VERIFY(!f.isVisible());
        QVERIFY(f.trayHiding().hiddenInTray());
        QCOMPARE(rig.tray.ops().count("balloon"), 1);
        const auto& b = rig.tray.calls.back();
        QCOMPARE(b.title, QStringLiteral("Quaverly"));
        QCOMPARE(b.text, QStringLiteral("has been minimized to the system tray.\r\nClick on the "
                                        "blue 'V' icon (V for Varnelta) to bring the software "
                                        "back."));
        QCOMPARE(b.timeoutMs, 5000);

        // A click of either button brings it back. The notification area tells of a click
        // only once it is over, so the service reports the press and the release together.
        rig.tray.send(INotifyAreaService::RightDown);
        rig.tray.send(INotifyAreaService::RightUp);
        QTRY_VERIFY(f.isVisible());
        QVERIFY(!f.trayHiding().hiddenInTray());
        QTRY_VERIFY(!(f.windowState() & Qt::WindowMinimized));  // back in the normal state

        minimise(f);  // the second time: hidden, no balloon
        QTRY_VERIFY(!f.isVisible());
        QCOMPARE(rig.tray.ops().count("balloon"), 1);
        rig.tray.send(INotifyAreaService::LeftDown);
        rig.tray.send(INotifyAreaService::LeftUp);
        QTRY_VERIFY(f.isVisible());
    }

    void noNotificationAreaLeavesItMinimised() {
        TrayRig rig;
        rig.tray.isAvailable = false;
        rig.makeWithTray();
        Form1& f = *rig.form;
        f.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        f.showMinimized();
        // Once minimised, the handling queued for the change has run.
        QTRY_VERIFY(f.windowState() & Qt::WindowMinimized);
        QCoreApplication::sendPostedEvents(&f, QEvent::MetaCall);
        QVERIFY(!f.trayHiding().hiddenInTray());
        QVERIFY(f.isVisible());
        QCOMPARE(rig.tray.ops().count("balloon"), 0);
    }

    // Closing while hidden saves the list and removes the icon.
    void closingWhileHidden() {
        TrayRig rig;
        rig.store.set("Files", "/a.aac||MySeparator12||");
        rig.makeWithTray();
        Form1& f = *rig.form;
        rig.tray.onBalloon = [&] {
            QTimer::singleShot(10, &f,
                               [&] { rig.tray.send(INotifyAreaService::BalloonUserClick); });
        };
        f.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        minimise(f);
        QTRY_VERIFY(!f.isVisible());
        f.Form_QueryUnload();
        QCOMPARE(rig.tray.ops().last(), QStringLiteral("remove"));
        QCOMPARE(rig.store.value("Files"), QStringLiteral("/a.aac||MySeparator12||"));
        QCOMPARE(rig.ended, 1);
    }
};

QTEST_MAIN(TestFormTray)
#include "tst_form_tray.moc"
