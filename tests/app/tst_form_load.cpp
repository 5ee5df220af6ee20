// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <QAccessible>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTreeView>

#include "fakes/formrig.h"

class TestFormLoad : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void firstStartWithNoSettings() {
        FormRig rig;
        rig.fs.addFolder(rig.programFolder + "/Samples");
        rig.fs.addFile(rig.programFolder + "/Samples/a.aac");
        rig.load();
        Form1& f = *rig.form;
        QCOMPARE(rig.boxes.count(), 0);
        QCOMPARE(rig.list().Count(), 0);
        QVERIFY(f.Option1->isChecked());
        QVERIFY(!f.Option2->isChecked());
        QCOMPARE(f.Slider1->value(), 50);
        QCOMPARE(f.Frame3->title(), QStringLiteral("Volume Level = 50"));
        QCOMPARE(rig.engine.currentVolume, -500);
        QCOMPARE(rig.store.value("Snapshot"), rig.programFolder + "/Samples/a.aac");
        QCOMPARE(rig.store.value("Option1"), QStringLiteral("1"));
        QCOMPARE(rig.store.value("Option2"), QStringLiteral("0"));
        QVERIFY(!rig.store.contains("Volume Level"));  // read, not written
        QCOMPARE(f.windowTitle(), QStringLiteral("Quaverly"));
        QCOMPARE(f.appTitle(), QStringLiteral("Quaverly"));
        QVERIFY(!f.hasCustomPointer());  // no HAND-M.CUR beside the program: no box either
        QCOMPARE(f.ListView1->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("AAC File(s)"));
    }

    // The window's fixed size and designed places, at the screen's resolution.
    void layoutAsDesigned() {
        FormRig rig;
        rig.load();
        Form1& f = *rig.form;
        const double px = f.logicalDpiX() / 1440.0;
        QCOMPARE(f.size(), QSize(qRound(8040 * px), qRound(6990 * px)));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QVERIFY(!(f.windowFlags() & Qt::WindowMaximizeButtonHint));
        // Every control at its designed place, in twips, relative to its container.
        const struct {
            const char* name;
            QWidget* container;
            int left, top, width, height;
        } design[] = {
            {"Frame3", &f, 120, 6015, 7800, 855},
            {"Slider1", f.Frame3, 540, 300, 6555, 315},
            {"Label2", f.Frame3, 150, 360, 375, 195},
            {"Label3", f.Frame3, 7170, 345, 405, 225},
            {"Frame2", &f, 120, 8400, 7800, 2265},
            {"Volume", f.Frame2, 945, 160, 6660, 630},
            {"Balance", f.Frame2, 945, 855, 6660, 630},
            {"Speed", f.Frame2, 945, 1530, 6660, 630},
            {"Label1_2", f.Frame2, 135, 383, 690, 225},
            {"Label1_3", f.Frame2, 135, 1065, 735, 225},
            {"Label1_4", f.Frame2, 135, 1740, 585, 225},
            {"Frame1", &f, 120, 5250, 7800, 705},
            {"Option2", f.Frame1, 2280, 300, 1695, 255},
            {"Option1", f.Frame1, 240, 300, 1695, 255},
            {"ListView1", &f, 120, 120, 7800, 2535},
            {"PushButton5", &f, 120, 2750, 3840, 405},
            {"PushButton2", &f, 4080, 2750, 3840, 405},
            {"PushButton1", &f, 120, 3770, 7800, 405},
            {"PushButton11", &f, 120, 3260, 3840, 405},
            {"PushButton3", &f, 4080, 3260, 3840, 405},
            {"PushButton4", &f, 120, 4280, 7800, 405},
            {"PushButton6", &f, 120, 4790, 3840, 405},
            {"PushButton7", &f, 4080, 4790, 3840, 405},
        };
        for (const auto& d : design) {
            auto* w = f.findChild<QWidget*>(QString::fromLatin1(d.name));
            QVERIFY2(w && w->parentWidget() == d.container, d.name);
            const QRect expected(qRound(d.left * px), qRound(d.top * px), qRound(d.width * px),
                                 qRound(d.height * px));
            QVERIFY2(w->geometry() == expected, d.name);
        }
        QVERIFY(f.Frame2->y() > f.height());  // out of sight
        QCOMPARE(f.ListView1->header()->sectionSize(0), qRound(6500 * px));
        QCOMPARE(f.PushButton5->font().pointSizeF(), 11.25);
        QVERIFY(f.font().bold());
        // The designed tab order of the controls in sight; the Settings frame's sliders,
        // out of sight, take no focus and are not offered to assistive technology.
        const QList<QWidget*> order = {f.ListView1,    f.PushButton5, f.PushButton2, f.PushButton1,
                                       f.PushButton11, f.PushButton3, f.PushButton4, f.PushButton6,
                                       f.PushButton7,  f.Option1,     f.Option2,     f.Slider1};
        for (qsizetype i = 1; i < order.size(); ++i) {
            QWidget* next = order[i - 1]->nextInFocusChain();
            while (!order.contains(next) && !(next->focusPolicy() & Qt::TabFocus))
                next = next->nextInFocusChain();  // the list's own inner widgets
            QCOMPARE(next, order[i]);
        }
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(&f);
        QList<QObject*> offered;
        for (int i = 0; i < window->childCount(); ++i) offered << window->child(i)->object();
        QVERIFY(offered.contains(f.Frame1) && !offered.contains(f.Frame2));
        for (QSlider* s : {f.Volume, f.Balance, f.Speed}) QCOMPARE(s->focusPolicy(), Qt::NoFocus);
    }

    // A dark desktop palette leaves the window's own controls black on white, as designed,
    // on screen; the boxes follow the desktop.
    void coloursUnderADarkPalette() {
        const QPalette desktop = QApplication::palette();
        const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });
        QPalette dark = desktop;
        for (auto [role, colour] : {std::pair{QPalette::Window, QColor(0x20, 0x20, 0x20)},
                                    {QPalette::WindowText, QColor(Qt::white)},
                                    {QPalette::Base, QColor(0x10, 0x10, 0x10)},
                                    {QPalette::Text, QColor(Qt::white)},
                                    {QPalette::Button, QColor(0x30, 0x30, 0x30)},
                                    {QPalette::ButtonText, QColor(Qt::white)}})
            dark.setColor(role, colour);
        QApplication::setPalette(dark);
        FormRig rig;
        rig.load({"entry"});
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        for (QWidget* w : std::initializer_list<QWidget*>{
                 f.Label2, f.Label3, f.Frame1, f.Frame3, f.Option1, f.Option2, f.ListView1,
                 f.ListView1->viewport(), f.Slider1, f.PushButton1}) {
            const QPalette p = w->palette();
            QCOMPARE(p.color(w->foregroundRole()), QColor(Qt::black));
            QCOMPARE(p.color(QPalette::Text), QColor(Qt::black));
            QVERIFY2(p.color(w->backgroundRole()).lightness() > 200, qPrintable(w->objectName()));
        }
        // As drawn: the captions' pixels are dark on the white window.
        for (QWidget* w :
             std::initializer_list<QWidget*>{f.Label2, f.Frame1, f.Option1, f.Frame3}) {
            const QImage shot = w->grab().toImage();
            int dark = 0;
            for (int y = 0; y < shot.height(); ++y)
                for (int x = 0; x < shot.width(); ++x) dark += qGray(shot.pixel(x, y)) < 80;
            QVERIFY2(dark > 10, qPrintable(w->objectName()));
        }
        QCOMPARE(QMessageBox(&f).palette().color(QPalette::Window), dark.color(QPalette::Window));
    }

    void restoresFiles() {
        FormRig rig;
        rig.store.set("Files", QStringLiteral("A||MySeparator12||   ||MySeparator12|| B||"
                                              "MySeparator12||||MySeparator12||C"));
        rig.load();
        QCOMPARE(rig.texts(), QStringList({"A", " B", "C"}));
        QCOMPARE(rig.list().Selected(), 1);
        QCOMPARE(rig.store.saveCount("Files"), 0);
    }

    void options_data() {
        QTest::addColumn<QString>("option1");
        QTest::addColumn<QString>("option2");
        QTest::addColumn<bool>("random");
        QTest::addColumn<bool>("inOrder");
        QTest::addColumn<int>("errorStep");
        QTest::newRow("both zero") << "0"
                                   << "0" << false << false << 0;
        QTest::newRow("both one: in order wins") << "1"
                                                 << "1" << false << true << 0;
        QTest::newRow("one point zero") << "1.0"
                                        << "0" << true << false << 0;
        QTest::newRow("word in Option1") << "yes"
                                         << "0" << false << false << 148;
        QTest::newRow("word in Option2") << "1"
                                         << "" << true << false << 150;
    }
    void options() {
        QFETCH(QString, option1);
        QFETCH(QString, option2);
        QFETCH(bool, random);
        QFETCH(bool, inOrder);
        QFETCH(int, errorStep);
        FormRig rig;
        rig.store.set("Option1", option1);
        rig.store.set("Option2", option2);
        rig.load();
        QCOMPARE(rig.form->Option1->isChecked(), random);
        QCOMPARE(rig.form->Option2->isChecked(), inOrder);
        if (errorStep) {
            QCOMPARE(rig.errorTexts().size(), 1);
            QVERIFY(rig.errorTexts()[0].contains(
                QStringLiteral("in Tindrell2021/08/31.Form1.Form_Load at line %1").arg(errorStep)));
        } else {
            QCOMPARE(rig.boxes.count(), 0);
        }
        if (random || inOrder) {  // a selected option stores both again, as numbers
            QCOMPARE(rig.store.value("Option1"),
                     random ? QStringLiteral("1") : QStringLiteral("0"));
            QCOMPARE(rig.store.value("Option2"),
                     inOrder ? QStringLiteral("1") : QStringLiteral("0"));
        }
    }

    void volumeLevel_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("box");
        QTest::newRow("word") << "abc" << 0 << false;
        QTest::newRow("62.5") << "62.5" << 62 << false;
        QTest::newRow("63.5") << "63.5" << 64 << false;
        QTest::newRow("blanks") << " 7 0" << 70 << false;
        QTest::newRow("exponent not read") << "1e3" << 1 << false;
        QTest::newRow("below range") << "-5" << 0 << true;
        QTest::newRow("above range") << "101" << 0 << true;
    }
    void volumeLevel() {
        QFETCH(QString, stored);
        QFETCH(int, level);
        QFETCH(bool, box);
        FormRig rig;
        rig.store.set("Volume Level", stored);
        rig.load();
        QCOMPARE(rig.form->Slider1->value(), level);
        QCOMPARE(rig.form->Frame3->title(), QStringLiteral("Volume Level = %1").arg(level));
        QCOMPARE(rig.engine.currentVolume, level == 0 ? -10000 : level * 10 - 1000);
        QCOMPARE(rig.errorTexts().size(), box ? 1 : 0);
        if (box) QVERIFY(rig.errorTexts()[0].contains(QStringLiteral("at line 152")));
        // Start-up reads the level; only the user's move writes it.
        QCOMPARE(rig.store.value("Volume Level"), stored);
        QCOMPARE(rig.store.saveCount("Volume Level"), 0);
    }

    // A damaged store never stops start-up: every later step still runs.
    void damagedStoreStillStarts() {
        FormRig rig;
        rig.store.set("Option1", "\xff\xfe");
        rig.store.set("Option2", "x");
        rig.store.set("Volume Level", "-1e9");
        rig.store.set("Files", QStringLiteral("||MySeparator12||"));
        rig.store.setFailSaves(true);  // the snapshot cannot be recorded either
        rig.load();
        QCOMPARE(rig.list().Count(), 0);
        const QStringList errors = rig.errorTexts();
        QCOMPARE(errors.size(), 5);  // snapshot twice, both options, the level
        QVERIFY(errors[0].contains("at line 110"));
        QVERIFY(errors[1].contains("at line 126"));
        QVERIFY(errors[2].contains("at line 148"));
        QVERIFY(errors[3].contains("at line 150"));
        QVERIFY(errors[4].contains("at line 152"));
        QCOMPARE(rig.form->Timer1->interval(), 10);  // the load step went on to its end
    }

    // A value that exists but cannot be read says so in its step's box, start-up goes on,
    // and neither a default nor a new record is written over it.
    void unreadableValueIsKept_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("step");
        QTest::newRow("Files") << "Files" << 134;
        QTest::newRow("Snapshot") << "Snapshot" << 110;
        QTest::newRow("Option1") << "Option1" << 148;
        QTest::newRow("Volume Level") << "Volume Level" << 152;
    }
    void unreadableValueIsKept() {
        QFETCH(QString, key);
        QFETCH(int, step);
        FormRig rig;
        rig.store.set(key, QStringLiteral("/m/a.aac||MySeparator12||"));
        rig.store.setUnreadable(key, true);
        rig.load();
        QCOMPARE(rig.errorTexts().size(), 1);
        QVERIFY(rig.errorTexts()[0].contains("Permission denied"));
        QVERIFY(rig.errorTexts()[0].contains(QStringLiteral("at line %1").arg(step)));
        QCOMPARE(rig.form->Timer1->interval(), 10);  // the load step went on to its end
        rig.form->Form_QueryUnload();
        QCOMPARE(rig.ended, 1);
        QCOMPARE(rig.store.saveCount(key), 0);
    }

    void handCursorAndSkin() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        FormRig rig;
        rig.programFolder = dir.path();
        // A cursor file we cannot read as a picture: the box of step 108.
        rig.fs.addFile(dir.path() + "/HAND-M.CUR");
        QFile bad(dir.path() + "/HAND-M.CUR");
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a cursor");
        bad.close();
        // A skin file that is not a style sheet: the box of step 102, colours changed.
        QDir(dir.path()).mkpath("x");
        QFile skin(dir.path() + "/x/o.cjs");
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write("QWidget { color: red; ");
        skin.close();
        rig.fs.addFile(dir.path() + "/x/o.cjs");
        rig.load();
        const QStringList errors = rig.errorTexts();
        QCOMPARE(errors.size(), 2);
        QVERIFY(errors[0].contains("at line 102"));
        QVERIFY(errors[1].contains("at line 108"));
        QVERIFY(!rig.form->hasCustomPointer());
        const QColor face = rig.form->palette().color(QPalette::Button);
        QCOMPARE(rig.form->Frame1->palette().color(QPalette::Window), face);
        QCOMPARE(rig.form->styleSheet(), QString());
    }

    // A skin is applied when Qt reads it as a style sheet; otherwise the box of step 102.
    void skinFile_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("applied");
        QTest::newRow("rules") << QByteArray("QPushButton { color: navy; } /* ours */") << true;
        QTest::newRow("two rules, bad value")
            << QByteArray("QLabel#x { color: } QLabel#y { color: navy }") << true;
        QTest::newRow("prose") << QByteArray("this is not a style sheet at all navy") << false;
        QTest::newRow("bare properties") << QByteArray("color: navy;") << false;
        QTest::newRow("text after the rules")
            << QByteArray("QLabel { color: navy; } and more") << false;
    }
    void skinFile() {
        QFETCH(QByteArray, text);
        QFETCH(bool, applied);
        QTemporaryDir dir;
        FormRig rig;
        rig.programFolder = dir.path();
        QDir(dir.path()).mkpath("x");
        QFile skin(dir.path() + "/x/o.cjs");
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.write(text);
        skin.close();
        rig.fs.addFile(dir.path() + "/x/o.cjs");
        rig.load();
        QCOMPARE(rig.form->styleSheet().contains("navy"), applied);
        QCOMPARE(rig.errorTexts().size(), applied ? 0 : 1);
        if (!applied) QVERIFY(rig.errorTexts().first().contains("at line 102"));
    }

    // The window opens centred on the screen with the frame the window manager gives it
    // (the test command runs one; without one there is no frame to wait for).
    void centredWithItsFrame() {
        FormRig rig;
        rig.load();
        Form1& f = *rig.form;
        f.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const bool framed =
            QTest::qWaitFor([&] { return f.frameGeometry() != f.geometry(); }, 2000);
        Q_UNUSED(framed);  // without a window manager there is none
        const QPoint centre = f.screen()->availableGeometry().center();
        QTRY_VERIFY2((f.frameGeometry().center() - centre).manhattanLength() <= 2,
                     qPrintable(QStringLiteral("frame %1,%2 %3x%4")
                                    .arg(f.frameGeometry().x())
                                    .arg(f.frameGeometry().y())
                                    .arg(f.frameGeometry().width())
                                    .arg(f.frameGeometry().height())));
        // A frame the window draws itself (Wayland) offers maximise all the same: undone.
        f.setWindowState(Qt::WindowMaximized);
        QVERIFY(!(f.windowState() & Qt::WindowMaximized));
    }

    // The hourglass survives every hover; the hand shows over buttons otherwise.
    void hoverRules() {
        FormRig rig;
        rig.load();
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::mouseMove(f.PushButton1);
        QTRY_COMPARE(f.MousePointer(), 99);
        QTest::mouseMove(f.Option1);
        QCOMPARE(f.MousePointer(), 99);  // option buttons leave it alone
        QTest::mouseMove(f.Frame1, QPoint(f.Frame1->width() - 3, f.Frame1->height() - 3));
        QTRY_COMPARE(f.MousePointer(), 0);
        f.setMousePointer(11);
        QTest::mouseMove(f.PushButton2);
        QTest::mouseMove(f.ListView1->viewport());
        QTest::mouseMove(&f, QPoint(2, f.height() - 2));
        QCOMPARE(f.MousePointer(), 11);
        QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
    }

    // Closing saves the list with a separator after every entry, stops playback and ends;
    // a store that cannot be written gets its box and the program still ends.
    void closingSavesTheList() {
        FormRig rig;
        rig.load({"/m/a.aac", "/m/b.aac"});
        rig.form->close();
        QCOMPARE(rig.store.value("Files"),
                 QStringLiteral("/m/a.aac||MySeparator12||/m/b.aac||MySeparator12||"));
        QCOMPARE(rig.ended, 1);

        FormRig empty;
        empty.load();
        empty.store.setFailSaves(true);
        empty.form->Form_QueryUnload();
        QCOMPARE(empty.errorTexts().size(), 1);
        QVERIFY(empty.errorTexts()[0].contains(
            QStringLiteral("in Tindrell2021/08/31.Form1.Form_QueryUnload at line 118")));
        QCOMPARE(empty.ended, 1);
    }

    // A close that arrives while a scan lets events through saves what was added so far.
    void closingDuringAScan() {
        FormRig rig;
        rig.fs.addFolder("/tunes");
        rig.fs.addFile("/tunes/a.aac");
        rig.fs.addFolder("/tunes/more");
        rig.fs.addFile("/tunes/more/b.aac");
        rig.load({"/first.aac"});
        rig.shell.folder = "/tunes";
        QStringList atClose;
        QTimer::singleShot(0, rig.form.get(), [&] {
            atClose = rig.texts();
            rig.form->Form_QueryUnload();
        });
        rig.form->PushButton2_Click();
        QCOMPARE(rig.ended, 1);
        QVERIFY(!atClose.isEmpty());
        QStringList saved = rig.store.value("Files").split("||MySeparator12||");
        saved.removeLast();
        QCOMPARE(saved, atClose);
    }

    void closingWhilePlayingStops() {
        FormRig rig;
        rig.addFiles({"/m/a.aac"});
        rig.load({"/m/a.aac"});
        rig.form->PushButton1_Click();
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Running);
        rig.form->Form_QueryUnload();
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Stopped);
        QCOMPARE(rig.store.value("Files"), QStringLiteral("/m/a.aac||MySeparator12||"));
        rig.form->Form_QueryUnload();  // a second close request changes nothing
        QCOMPARE(rig.ended, 1);
    }
};

QTEST_MAIN(TestFormLoad)
#include "tst_form_load.moc"
