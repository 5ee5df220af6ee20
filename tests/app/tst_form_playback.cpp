// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <QAccessible>

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "fakes/captions.h"
#include "fakes/formrig.h"
#include "platform/posix/posixfilesystem.h"

namespace {

QStringList paths(int n) {
    QStringList out;
    for (int i = 1; i <= n; ++i) out << QStringLiteral("/music/track%1.aac").arg(i);
    return out;
}
}  // namespace

class TestFormPlayback : public QObject {
    Q_OBJECT

    // A loaded window with n existing files, in the given mode.
    void setUp(FormRig& rig, int n, bool inOrder) {
        rig.addFiles(paths(n));
        rig.store.set("Option1", inOrder ? "0" : "1");
        rig.store.set("Option2", inOrder ? "1" : "0");
        rig.load(paths(n));
    }
    // A click on the entry at `position`: it starts playback, or stops it keeping the entry.
    static void clickOn(FormRig& rig, int position) {
        rig.list().Select(position);
        rig.form->ListView1_Click();
    }

private Q_SLOTS:
    void emptyListSaysSo() {
        FormRig rig;
        rig.load();
        rig.form->PushButton1_Click();
        QCOMPARE(rig.messages(), QStringList({"No files added."}));
        QCOMPARE(rig.form->PushButton1->text(), kStop);  // captions change first
        QCOMPARE(rig.form->transport().status(), PlaybackStatus::Stopped);
        rig.form->PushButton1_Click();  // the stop branch puts them back, silently
        QCOMPARE(rig.form->PushButton1->text(), kStart);
        QCOMPARE(rig.boxes.count(), 1);
        rig.form->PushButton7_Click();
        QCOMPARE(rig.messages().last(), QStringLiteral("No files added."));
        QCOMPARE(rig.form->PushButton1->text(), kStop);
        QCOMPARE(rig.form->PushButton4->text(), kPause);
        QCOMPARE(rig.engine.loadCount, 0);
    }

    void inOrderWrapsBothWays() {
        FormRig rig;
        setUp(rig, 3, true);
        Form1& f = *rig.form;
        f.PushButton1_Click();  // right after start-up the selected entry itself plays
        QCOMPARE(rig.engine.loadedPath, paths(3)[0]);
        f.PushButton7_Click();
        QCOMPARE(rig.engine.loadedPath, paths(3)[1]);
        f.PushButton7_Click();
        f.PushButton7_Click();
        QCOMPARE(rig.engine.loadedPath, paths(3)[0]);  // forward from the last
        f.PushButton6_Click();
        QCOMPARE(rig.engine.loadedPath, paths(3)[2]);  // backward from the first
        QCOMPARE(rig.list().Selected(), 3);
        QVERIFY(f.tmrTimer->isActive());
        QCOMPARE(rig.boxes.count(), 0);
    }

    // An entry clicked, then the list cut short under it: the box names the step, and the
    // selected entry plays, once; the next choice moves on from there.
    void requestBeyondCountShowsBoxAndPlaysSelected() {
        FormRig rig;
        setUp(rig, 9, true);
        Form1& f = *rig.form;
        f.PushButton1_Click();
        clickOn(rig, 9);  // stops, keeping entry 9 for the next start
        f.PushButton11_Click();
        rig.list().AppendAll(paths(3));
        rig.list().Select(2);
        f.transport().PlayTheFile(false, false);
        QCOMPARE(rig.errorTexts().size(), 1);
        QVERIFY(
            rig.errorTexts()[0].contains("in Tindrell2021/08/31.Form1.PlayTheFile at line 108"));
        QCOMPARE(rig.engine.loadedPath, paths(3)[1]);
        f.transport().PlayTheFile(false, false);
        QCOMPARE(rig.engine.loadedPath, paths(3)[2]);
    }

    void missingAndEmptyEntries() {
        FormRig rig;
        rig.addFiles({"/music/a.aac"});
        rig.store.set("Option1", "0");
        rig.store.set("Option2", "1");
        rig.load({"/music/a.aac", "/music/gone.aac", "/music/.hidden.aac", "/music"});
        rig.fs.addFile("/music/.hidden.aac", FileAttr::Archive | FileAttr::Hidden);
        Form1& f = *rig.form;
        f.PushButton1_Click();
        QCOMPARE(rig.engine.loadedPath, QStringLiteral("/music/a.aac"));
        f.PushButton7_Click();  // a missing file: the playing one goes on
        f.PushButton7_Click();  // hidden files are not ordinary files
        f.PushButton7_Click();  // nor are folders
        QCOMPARE(rig.messages(), QStringList(3, QStringLiteral("File selected does not exists.")));
        QCOMPARE(rig.engine.loadCount, 1);
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Running);
        QCOMPARE(rig.list().Selected(), 4);
        rig.list().SetText(1, QString());
        f.PushButton7_Click();
        QCOMPARE(rig.messages().last(), QStringLiteral("You must open or select a file first."));
        QCOMPARE(rig.list().Selected(), 1);
    }

    // On the real file system, an entry holding a NUL names no file, not the file
    // named by the part before the NUL.
    void entryWithNulIsNoFile() {
        QTemporaryDir dir;
        const QString file = dir.filePath("a.aac");
        QFile(file).open(QIODevice::WriteOnly);
        PosixFileSystem disk;
        FormRig rig;
        rig.store.set("Files", file + QChar(u'\0') + ".aac||MySeparator12||");
        rig.make([&](Form1::Services& s) { s.fs = &disk; });
        rig.form->Form_Load();
        rig.form->PushButton1_Click();
        QCOMPARE(rig.messages(), QStringList{"File selected does not exists."});
        QCOMPARE(rig.engine.loadCount, 0);
    }

    void transportCaptionsAndMessages() {
        FormRig rig;
        setUp(rig, 2, true);
        Form1& f = *rig.form;
        f.PushButton4_Click();
        QCOMPARE(rig.messages(), QStringList({"Please start playing first."}));
        f.PushButton1_Click();
        QCOMPARE(f.PushButton1->text(), kStop);
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Running);
        f.PushButton4_Click();
        QCOMPARE(f.PushButton4->text(), kResume);
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Paused);
        f.PushButton4_Click();
        QCOMPARE(f.PushButton4->text(), kPause);
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Running);
        f.PushButton4_Click();
        f.PushButton1_Click();  // stop from paused
        QCOMPARE(f.PushButton1->text(), kStart);
        QCOMPARE(f.PushButton4->text(), kPause);
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Stopped);
        f.PushButton4_Click();
        QCOMPARE(rig.messages().last(), QStringLiteral("Please start playing first."));
        // Stopped at the very end of a track, the monitor still starts the next one: the
        // captions read "start" while it plays, and Start refuses.
        f.PushButton7_Click();
        rig.engine.endTrack();
        f.PushButton1_Click();
        f.tmrTimer_Timer();
        QCOMPARE(f.PushButton1->text(), kStart);
        f.PushButton1_Click();
        QCOMPARE(rig.messages().last(), QStringLiteral("Please stop playing first."));
    }

    void clickOnEntry() {
        FormRig rig;
        setUp(rig, 4, false);
        Form1& f = *rig.form;
        rig.list().Select(3);
        f.ListView1_Click();  // starts with the clicked entry
        QCOMPARE(rig.engine.loadedPath, paths(4)[2]);
        rig.list().Select(2);
        f.ListView1_Click();  // stops, keeping the entry for the next start
        QCOMPARE(f.PushButton1->text(), kStart);
        f.PushButton1_Click();
        QCOMPARE(rig.engine.loadedPath, paths(4)[1]);
    }

    void monitorMovesOnAtTheEnd() {
        FormRig rig;
        setUp(rig, 3, true);
        Form1& f = *rig.form;
        f.tmrTimer_Timer();  // before the first start nothing is loaded
        QCOMPARE(rig.engine.loadCount, 0);
        f.PushButton1_Click();
        rig.engine.advance(10);
        f.tmrTimer_Timer();
        QCOMPARE(rig.engine.loadCount, 1);
        rig.engine.endTrack();
        f.tmrTimer_Timer();
        QCOMPARE(rig.engine.loadedPath, paths(3)[1]);
        f.PushButton4_Click();  // paused at its end counts as finished too
        rig.engine.endTrack();
        f.tmrTimer_Timer();
        QCOMPARE(rig.engine.loadedPath, paths(3)[2]);
        rig.engine.loadDuration = 0;  // a file that cannot be played: never moves on
        f.PushButton7_Click();
        f.tmrTimer_Timer();
        QCOMPARE(rig.engine.loadCount, 4);
    }

    // While PlayTheFile waits in a message box, the monitor does not start another.
    void monitorDoesNotStackBoxes() {
        FormRig rig;
        rig.addFiles({"/music/a.aac"});
        rig.store.set("Option1", "0");
        rig.store.set("Option2", "1");
        rig.load({"/music/a.aac", "/music/gone.aac"});
        Form1& f = *rig.form;
        f.PushButton1_Click();
        rig.engine.endTrack();
        int nested = 0;
        rig.boxes.setOnOpen([&](const FakeMessageBoxes::Box&) {
            for (int i = 0; i < 5; ++i) f.tmrTimer_Timer();  // ticks while the box is open
            nested = std::max(nested, rig.boxes.openNow());
        });
        f.tmrTimer_Timer();
        QCOMPARE(rig.messages(), QStringList({"File selected does not exists."}));
        QCOMPARE(nested, 1);
        rig.boxes.setOnOpen({});
        f.tmrTimer_Timer();  // the next tick tries again, past the missing entry
        QCOMPARE(rig.engine.loadCount, 2);
    }

    // A file that cannot be played counts as one that ended: within one round of the list
    // the playable entry plays, in either order; with none, playback stops with one box.
    void unplayableFilesArePassedOver_data() {
        QTest::addColumn<bool>("inOrder");
        QTest::addColumn<int>("good");  // the one playable entry, 0 for none
        QTest::newRow("in order, ten bad then a good one") << true << 11;
        QTest::newRow("random, one good among ten bad") << false << 4;
        QTest::newRow("in order, none playable") << true << 0;
        QTest::newRow("random, none playable") << false << 0;
    }
    void unplayableFilesArePassedOver() {
        QFETCH(bool, inOrder);
        QFETCH(int, good);
        FormRig rig;
        setUp(rig, 11, inOrder);
        const QStringList files = paths(11);
        for (int i = 1; i <= 11; ++i)
            if (i != good) rig.engine.unplayable << files[i - 1];
        Form1& f = *rig.form;
        f.PushButton1_Click();
        f.PushButton4_Click();  // paused: a failed file waits like any other
        f.tmrTimer_Timer();
        QCOMPARE(rig.engine.loadCount, 1);
        f.PushButton4_Click();
        for (int tick = 0; tick < 20; ++tick) f.tmrTimer_Timer();
        if (good) {
            QCOMPARE(rig.engine.loadedPath, files[good - 1]);
            QVERIFY2(rig.engine.loadCount <= 11, qPrintable(QString::number(rig.engine.loadCount)));
            QCOMPARE(rig.boxes.count(), 0);
            QCOMPARE(f.PushButton1->text(), kStop);
            return;
        }
        QCOMPARE(rig.engine.loadCount, 11);
        QCOMPARE(rig.messages().size(), 1);
        QVERIFY2(rig.messages()[0].startsWith("None of the files in the list could be played. "
                                              "The last one, /music/track") &&
                     rig.messages()[0].endsWith(", could not be played: no sound in the file."),
                 qPrintable(rig.messages()[0]));
        QCOMPARE(f.PushButton1->text(), kStart);
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Stopped);
        f.PushButton1_Click();  // a new start tries the list again
        QCOMPARE(rig.engine.loadCount, 12);
    }

    // How a run of failures ends, and who it blames: the entry tried last with its own
    // reason, nobody when the list was emptied, the output and not the files when it is
    // the output that went away. After Previous, the run goes on backwards.
    void failureRunsEnd_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("lastLoaded");
        QTest::newRow("an unplayable entry, then a missing one")
            << "missing"
            << QStringList({"File selected does not exists.",
                            "None of the files in the list could be played. The last one, "
                            "/music/track2.aac, could not be played: it does not exist."})
            << "";
        QTest::newRow("the list emptied while its file fails") << "cleared" << QStringList() << "";
        QTest::newRow("the output gone for good")
            << "output"
            << QStringList({"Playing has stopped: the sound output could not be used "
                            "(pulsesink: Connection refused)."})
            << "";
        QTest::newRow("Previous passes over backwards") << "back" << QStringList() << "";
    }
    void failureRunsEnd() {
        QFETCH(QString, how);
        QFETCH(QStringList, messages);
        QFETCH(QString, lastLoaded);
        FormRig rig;
        const int n = how == "missing" ? 2 : 3;
        setUp(rig, n, true);
        Form1& f = *rig.form;
        const QStringList files = paths(n);
        rig.engine.unplayable = {files[how == "back" ? 1 : 0]};
        if (how == "missing") rig.fs.remove(files[1]);
        f.PushButton1_Click();
        if (how == "back") {
            f.PushButton7_Click();
            f.PushButton7_Click();  // track 3 plays
            f.PushButton6_Click();  // track 2 fails: track 1 is next, not track 3 again
        }
        if (how == "cleared") f.PushButton11_Click();
        if (how == "output") {
            rig.engine.unplayable.clear();
            rig.engine.load(files[0]);
            rig.engine.currentOutputFailure = "pulsesink: Connection refused";
        }
        for (int tick = 0; tick < 5; ++tick) f.tmrTimer_Timer();
        QCOMPARE(rig.messages(), messages);
        QCOMPARE(rig.engine.loadedPath, lastLoaded.isEmpty() ? paths(1)[0] : lastLoaded);
        QCOMPARE(f.PushButton1->text(), how == "back" ? kStop : kStart);
    }

    void sliders() {
        FormRig rig;
        setUp(rig, 1, true);
        Form1& f = *rig.form;
        f.PushButton1_Click();
        for (auto [level, volume] : {std::pair{0, -10000}, {1, -990}, {37, -630}, {100, 0}}) {
            f.Slider1->setValue(level);
            QCOMPARE(rig.engine.currentVolume, volume);
            QCOMPARE(f.Frame3->title(), QStringLiteral("Volume Level = %1").arg(level));
            QCOMPARE(rig.store.value("Volume Level"), QString::number(level));
        }
        for (auto [pos, volume] : {std::pair{0, -10000}, {5000, -5000}, {10000, 0}}) {
            f.Volume->setValue(pos == 10000 ? 9999 : pos);
            f.Volume->setValue(pos);
            QCOMPARE(rig.engine.currentVolume, volume);
        }
        f.Balance->setValue(-10000);
        QCOMPARE(rig.engine.currentBalance, -10000);
        f.Balance->setValue(10000);
        QCOMPARE(rig.engine.currentBalance, 10000);
        for (auto [pos, rate] : {std::pair{0, 0.1}, {5, 0.1}, {6, 0.12}, {50, 1.0}, {100, 2.0}}) {
            f.Speed->setValue(pos);
            QCOMPARE(rig.engine.currentRate, rate);
        }
        rig.store.setFailSaves(true);  // a store that cannot be written: the sound still follows
        f.Slider1->setValue(10);
        QCOMPARE(rig.engine.currentVolume, -900);
        QCOMPARE(rig.boxes.count(), 0);
    }

    void optionClicksStoreBoth() {
        FormRig rig;
        rig.load();
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::mouseClick(f.Option2, Qt::LeftButton, {}, QPoint(5, f.Option2->height() / 2));
        QVERIFY(f.Option2->isChecked() && !f.Option1->isChecked());
        QCOMPARE(rig.store.value("Option1"), QStringLiteral("0"));
        QCOMPARE(rig.store.value("Option2"), QStringLiteral("1"));
        QTest::mouseClick(f.Option2, Qt::LeftButton, {}, QPoint(5, f.Option2->height() / 2));
        QVERIFY(f.Option2->isChecked());  // a click on the selected one keeps it
    }

    // The two options are one radio group: announced as radio buttons, one tab stop (the
    // chosen option), and the arrow keys move the choice, storing it as a click does.
    void optionsAreOneGroup() {
        FormRig rig;
        rig.load();
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QApplication::setActiveWindow(&f);
        for (QWidget* o : {f.Option1, f.Option2})
            QCOMPARE(QAccessible::queryAccessibleInterface(o)->role(), QAccessible::RadioButton);
        const auto tabFrom = [&](QWidget* w) {
            w->setFocus(Qt::TabFocusReason);
            QTest::keyClick(w, Qt::Key_Tab);
            return QApplication::focusWidget();
        };
        QCOMPARE(tabFrom(f.PushButton7), f.Option1);
        QCOMPARE(tabFrom(f.Option1), f.Slider1);
        f.Option1->setFocus(Qt::TabFocusReason);
        QTest::keyClick(f.Option1, Qt::Key_Right);
        QVERIFY(f.Option2->isChecked() && !f.Option1->isChecked());
        QCOMPARE(QApplication::focusWidget(), f.Option2);
        QCOMPARE(rig.store.value("Option2"), QStringLiteral("1"));
        QCOMPARE(tabFrom(f.PushButton7), f.Option2);
        QCOMPARE(tabFrom(f.Option2), f.Slider1);
        f.Option2->setFocus(Qt::TabFocusReason);
        QTest::keyClick(f.Option2, Qt::Key_Left);
        QVERIFY(f.Option1->isChecked() && !f.Option2->isChecked());
        QCOMPARE(rig.store.value("Option1"), QStringLiteral("1"));
    }

    void scrollToItemPutsEntryOnTop() {
        FormRig rig;
        setUp(rig, 200, true);
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        clickOn(rig, 3);  // starts
        QCOMPARE(rig.list().FirstVisible(), 3);
        clickOn(rig, 120);  // stops; selecting alone leaves it at the bottom
        f.PushButton1_Click();
        QCOMPARE(rig.list().FirstVisible(), 120);
        QCOMPARE(rig.list().Selected(), 120);
        QCOMPARE(f.focusWidget(), f.ListView1);
        f.hide();  // hidden: made visible only
        clickOn(rig, 150);
        f.PushButton7_Click();
        QCOMPARE(rig.engine.loadedPath, paths(200)[149]);
        QCOMPARE(rig.boxes.count(), 0);
    }
};

QTEST_MAIN(TestFormPlayback)
#include "tst_form_playback.moc"
