// SPDX-License-Identifier: GPL-3.0-or-later
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "core/failure.h"
#include "fakes/fakenotifyareaservice.h"
#include "tray/csystray.h"
#include "tray/traypicture.h"

using Code = INotifyAreaService::Code;

class TestCSysTray : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void inTrayAddsAndRemovesOnlyOnChange() {
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.setInTray(false);
        QVERIFY(shell.calls.empty());
        tray.setTrayTip(QStringLiteral("Quaverly"));
        tray.setInTray(true);
        tray.setInTray(true);
        QCOMPARE(shell.ops(), QStringList{QStringLiteral("add")});
        QCOMPARE(shell.calls[0].tip, QStringLiteral("Quaverly"));
        QVERIFY(!shell.calls[0].icon.isNull());
        QVERIFY(tray.AddedToTray());
        tray.setInTray(false);
        tray.setInTray(false);
        QCOMPARE(shell.ops(), (QStringList{"add", "remove"}));
        QVERIFY(!tray.AddedToTray());
        // Out of the tray, reports no longer reach the control.
        QSignalSpy ups(&tray, &cSysTray::MouseUp);
        shell.send(Code::LeftUp);
        QCOMPARE(ups.count(), 0);
    }

    void propertiesOutOfTrayAreOnlyStored() {
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        const QIcon other(QPixmap(QSize(16, 16)));
        tray.setTrayTip(QString());
        tray.setTrayIcon(other);
        QVERIFY(shell.calls.empty());
        tray.setInTray(true);
        QCOMPARE(shell.ops(), QStringList{QStringLiteral("add")});
        QVERIFY2(shell.calls[0].tip.isEmpty(), "an empty tip is added without a tip");
        QCOMPARE(shell.calls[0].icon.cacheKey(), other.cacheKey());
    }

    void propertiesInTrayAreForwardedAndTipCut() {
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.setInTray(true);
        const QString longTip(200, QLatin1Char('t'));
        tray.setTrayTip(longTip);
        tray.setTrayIcon(QIcon());  // empty picture: ignored
        const QIcon other(QPixmap(QSize(16, 16)));
        tray.setTrayIcon(other);
        QCOMPARE(shell.ops(), (QStringList{"add", "tip", "icon"}));
        QCOMPARE(shell.calls[1].tip, longTip.left(127));
        QCOMPARE(tray.TrayTip(), longTip);
        QCOMPARE(tray.TrayIcon().cacheKey(), other.cacheKey());
    }

    void cutText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("expected");
        const QString note = QString::fromUtf8("\xF0\x9D\x85\x9E");  // one character, two units
        QTest::newRow("short") << "abc" << 5 << "abc";
        QTest::newRow("exact") << "abcde" << 5 << "abcde";
        QTest::newRow("long") << "abcdef" << 5 << "abcde";
        QTest::newRow("pair kept whole") << ("abc" + note) << 5 << ("abc" + note);
        QTest::newRow("pair not split") << ("abcd" + note) << 5 << "abcd";
    }
    void cutText() {
        QFETCH(QString, text);
        QFETCH(int, n);
        QTEST(::cutText(text, n), "expected");
    }

    void balloonTextsAreCut() {
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.ShowBalloon(QString(300, 'x'), QString(100, 'y'), 0, false);
        QCOMPARE(shell.calls.at(0).text.size(), 255);
        QCOMPARE(shell.calls.at(0).title.size(), 63);
    }

    void onceOnlyBalloonShowsOnce() {
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.ShowBalloon("a", "t", 0, true);
        tray.ShowBalloon("b", "t", 0, true);
        tray.ShowBalloon("c", "t", 0, false);
        tray.ShowBalloon("d", "t", 0, true);
        tray.ShowBalloon("e", "t", 0, false);
        QStringList shown;
        for (const auto& c : shell.calls) shown << c.text;
        QCOMPARE(shown, (QStringList{"a", "c", "e"}));
        QCOMPARE(tray.OnceCount(), 1);
    }

    void zeroSecondsNeitherWaitsNorWithdraws() {
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.setInTray(true);
        tray.ShowBalloon("text", "title", 0, false);
        QCOMPARE(shell.ops(), (QStringList{"add", "balloon"}));
        QCOMPARE(shell.calls[1].timeoutMs, 0);
        QVERIFY(tray.BalloonVisible());
    }

    void reportEndsTheWaitEarly_data() {
        QTest::addColumn<int>("code");
        QTest::newRow("hidden") << int(Code::BalloonHide);
        QTest::newRow("timed out") << int(Code::BalloonTimeout);
        QTest::newRow("clicked") << int(Code::BalloonUserClick);
    }
    void reportEndsTheWaitEarly() {
        QFETCH(int, code);
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.setInTray(true);
        shell.onBalloon = [&] { QTimer::singleShot(0, [&] { shell.send(code); }); };
        // Were the report not to end the wait, this would hang for an hour and fail.
        tray.ShowBalloon("text", "title", 3600, false);
        QCOMPARE(shell.ops(), (QStringList{"add", "balloon"}));
        QCOMPARE(shell.calls[1].timeoutMs, 3600 * 1000);
        QVERIFY(!tray.BalloonVisible());
    }

    void balloonStillShownIsWithdrawnAfterTheWait_data() {
        QTest::addColumn<bool>("inTray");
        QTest::newRow("in the tray") << true;
        QTest::newRow("out of the tray") << false;
    }
    void balloonStillShownIsWithdrawnAfterTheWait() {
        QFETCH(bool, inTray);
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.setInTray(inTray);
        shell.calls.clear();
        bool eventsFlowed = false;
        QTimer::singleShot(0, [&] { eventsFlowed = true; });
        tray.ShowBalloon("text", "title", 1, true);
        QVERIFY2(eventsFlowed, "events are processed during the wait");
        QCOMPARE(shell.ops(), (QStringList{"balloon", "balloon"}));
        QCOMPARE(shell.calls[1].title, QString());
        QCOMPARE(shell.calls[1].text, QString());
        QVERIFY2(tray.BalloonVisible(), "only the desktop's report clears it");
    }

    void overflowingSecondsFailBeforeShowing_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("fails");
        QTest::newRow("largest") << 2147483 << false;
        QTest::newRow("one more") << 2147484 << true;
        QTest::newRow("max") << std::numeric_limits<int>::max() << true;
        QTest::newRow("negative") << std::numeric_limits<int>::min() << false;
    }
    void overflowingSecondsFailBeforeShowing() {
        QFETCH(int, seconds);
        QFETCH(bool, fails);
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.setInTray(true);
        shell.calls.clear();
        shell.onBalloon = [&] {
            QTimer::singleShot(0, &tray, [&] { shell.send(Code::BalloonTimeout); });
        };
        bool failed = false;
        try {
            tray.ShowBalloon("text", "title", seconds, true);
        } catch (const Failure& f) {
            failed = true;
            QCOMPARE(f.description(), QStringLiteral("Overflow"));
        }
        QCOMPARE(failed, fails);
        QCOMPARE(int(shell.calls.size()), fails ? 0 : 1);
        QCOMPARE(tray.OnceCount(), fails ? 0 : 1);
        if (!fails) QCOMPARE(shell.calls[0].timeoutMs, seconds > 0 ? seconds * 1000 : 0);
    }

    void callbackCodes_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("signal");
        QTest::addColumn<int>("button");
        QTest::newRow("move") << 0x200 << "move" << 0;
        QTest::newRow("left down") << 0x201 << "down" << 1;
        QTest::newRow("left up") << 0x202 << "up" << 1;
        QTest::newRow("left double") << 0x203 << "dbl" << 1;
        QTest::newRow("right down") << 0x204 << "down" << 2;
        QTest::newRow("right up") << 0x205 << "up" << 2;
        QTest::newRow("right double") << 0x206 << "dbl" << 2;
        QTest::newRow("middle down") << 0x207 << "" << 0;
        QTest::newRow("middle up") << 0x208 << "" << 0;
        QTest::newRow("balloon shown") << 0x402 << "" << 0;
    }
    void callbackCodes() {
        QFETCH(int, code);
        QFETCH(QString, signal);
        QFETCH(int, button);
        FakeNotifyAreaService shell;
        cSysTray tray(shell);
        tray.setInTray(true);
        QSignalSpy move(&tray, &cSysTray::MouseMove);
        QSignalSpy down(&tray, &cSysTray::MouseDown);
        QSignalSpy up(&tray, &cSysTray::MouseUp);
        QSignalSpy dbl(&tray, &cSysTray::MouseDblClick);
        shell.send(code);
        QCOMPARE(move.count(), signal == "move" ? 1 : 0);
        QCOMPARE(down.count(), signal == "down" ? 1 : 0);
        QCOMPARE(up.count(), signal == "up" ? 1 : 0);
        QCOMPARE(dbl.count(), signal == "dbl" ? 1 : 0);
        for (QSignalSpy* spy : {&down, &up, &dbl}) {
            if (spy->isEmpty()) continue;
            QCOMPARE(spy->at(0).at(0).value<qint16>(), qint16(button));
            QCOMPARE(spy->at(0).at(1).value<qint32>(), tray.TrayId());
        }
    }

    void endOfLifeRemovesTheIconWhenInTray() {
        FakeNotifyAreaService shell;
        { cSysTray out(shell); }
        QVERIFY(shell.calls.empty());
        {
            cSysTray in(shell);
            in.setInTray(true);
        }
        QCOMPARE(shell.ops(), (QStringList{"add", "remove"}));
    }

    void controlEndingDuringItsWaitIsSafe() {
        FakeNotifyAreaService shell;
        auto* tray = new cSysTray(shell);
        tray->setInTray(true);
        shell.onBalloon = [&] { QTimer::singleShot(0, [&] { delete tray; }); };
        tray->ShowBalloon("text", "title", 3600, false);
        QCOMPARE(shell.ops(), (QStringList{"add", "balloon", "remove"}));
    }

    void trayPicture() {
        const QImage img = trayPictureImage();
        QCOMPARE(img.size(), QSize(16, 16));
        QCOMPARE(img.pixel(0, 0), qRgb(0, 0, 0));
        QCOMPARE(img.pixel(15, 9), qRgb(0, 0, 0));
        QCOMPARE(img.pixel(1, 1), qRgb(177, 255, 255));
        const QRgb blue = qRgb(7, 162, 254);
        int letterRows = 0;
        for (int y = 1; y < 15; ++y) {
            int run = 0, longest = 0, runs = 0;
            for (int x = 1; x < 15; ++x) {
                const bool b = img.pixel(x, y) == blue;
                if (b && run == 0) ++runs;
                run = b ? run + 1 : 0;
                longest = std::max(longest, run);
            }
            if (runs == 0) continue;
            ++letterRows;
            // Two strokes of 2..3 pixels, or where they meet at the bottom one run.
            if (runs == 2) QVERIFY(longest >= 2 && longest <= 3);
        }
        QVERIFY(letterRows >= 8);
        QVERIFY(!::trayPicture().isNull());
    }
};

QTEST_MAIN(TestCSysTray)
#include "tst_csystray.moc"
