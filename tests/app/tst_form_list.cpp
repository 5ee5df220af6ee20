// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>

#include "fakes/captions.h"
#include "fakes/formrig.h"
#include "playlist/playlistmodel.h"

namespace {
QPoint centreOf(Form1& f, int position) {
    return f.ListView1->visualRect(f.ListView1->model()->index(position - 1, 0)).center();
}
}  // namespace

class TestFormList : public QObject {
    Q_OBJECT

    // The left button on an entry, a move over one, and the release, all as mouse events
    // on the list.
    static void press(Form1& f, int position) {
        QTest::mousePress(f.ListView1->viewport(), Qt::LeftButton, {}, centreOf(f, position));
    }
    static void moveTo(Form1& f, int position) {
        QTest::mouseMove(f.ListView1->viewport(), centreOf(f, position));
    }
    static void release(Form1& f, int position) {
        QTest::mouseRelease(f.ListView1->viewport(), Qt::LeftButton, {}, centreOf(f, position));
    }
    // Moves the shown window down by `dy` pixels and waits until it is there.
    static bool moveWindowBy(Form1& f, int dy) {
        const QPoint before = f.mapToGlobal(QPoint());
        f.move(f.pos() + QPoint(0, dy));
        return QTest::qWaitFor([&] { return f.mapToGlobal(QPoint()).y() == before.y() + dy; });
    }
    // Shows the window with the list's entries between the two auto-scroll bands of the
    // screen, so that a drag never scrolls.
    static void showAwayFromTheScrollBands(Form1& f) {
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const int y = f.ListView1->viewport()->mapToGlobal(centreOf(f, 1)).y();
        if (y < 310) QVERIFY(moveWindowBy(f, 310 - y));
        if (y > 315) QVERIFY(moveWindowBy(f, 310 - y));
    }

private Q_SLOTS:
    void modelIsConsistent() {
        FormRig rig;
        rig.load({"a", "b"});
        QAbstractItemModelTester tester(rig.list().model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        rig.list().Append("c");
        rig.list().SetText(1, "z");
        rig.list().Clear();
        QCOMPARE(rig.list().Selected(), 0);
        rig.list().AppendAll({"x", "y"});
        QCOMPARE(rig.list().Selected(), 1);  // the first append to an empty list selects
        rig.list().Append("w");
        QCOMPARE(rig.list().Selected(), 1);  // later appends leave it
        QVERIFY(rig.list().IsInPlaylist("y"));
        QVERIFY(!rig.list().IsInPlaylist("Y"));
        // An entry of megabytes is shown cut, never laid out whole; it stays whole.
        const QString longEntry = "/music/" + QString(3'000'000, u'x') + ".aac";
        rig.list().Append(longEntry);
        const QModelIndex last = rig.list().model()->index(3, 0);
        for (int role : {int(Qt::DisplayRole), int(Qt::AccessibleTextRole)}) {
            const QString shown = last.data(role).toString();
            QVERIFY(shown.size() < 10'000);
            QVERIFY(longEntry.startsWith(shown.chopped(1)));
        }
        QCOMPARE(rig.list().Text(4), longEntry);
        QCOMPARE(rig.texts().last(), longEntry);
    }

    // Press on an entry, then one move event over each listed row, then the release:
    // real mouse events through the window's event filter.
    void drag_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<int>>("moves");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("selected");
        const QStringList abcd{"A", "B", "C", "D"};
        QTest::newRow("row by row down")
            << abcd << 1 << QList<int>{1, 2, 3, 4} << QStringList{"B", "C", "D", "A"} << 4;
        QTest::newRow("one jump") << abcd << 1 << QList<int>{4} << QStringList{"D", "B", "C", "A"}
                                  << 4;
        QTest::newRow("row by row up")
            << abcd << 4 << QList<int>{4, 3, 2, 1} << QStringList{"D", "A", "B", "C"} << 1;
        QTest::newRow("over an equal text")
            << QStringList{"A", "B", "A"} << 1 << QList<int>{3} << QStringList{"A", "B", "A"} << 1;
        QTest::newRow("equal text, then another")
            << QStringList{"A", "B", "A"} << 1 << QList<int>{3, 2} << QStringList{"B", "A", "A"}
            << 2;
    }
    void drag() {
        QFETCH(QStringList, entries);
        QFETCH(int, from);
        QFETCH(QList<int>, moves);
        QFETCH(QStringList, after);
        QFETCH(int, selected);
        FormRig rig;
        rig.load(entries);
        Form1& f = *rig.form;
        showAwayFromTheScrollBands(f);
        press(f, from);
        for (int row : moves) moveTo(f, row);
        release(f, moves.last());
        QCOMPARE(rig.texts(), after);
        QCOMPARE(rig.list().Selected(), selected);
        QCOMPARE(f.listEditor().dragItem(), selected);  // the release keeps it
        QVERIFY(!f.listEditor().mouseIsDown());
    }

    // Only a held left button drags: not after its release, not from below the entries,
    // not with another button, and not after a release that went elsewhere (a box opened
    // while the button was held).
    void noLeftButtonNoDrag_data() {
        QTest::addColumn<QString>("how");
        for (const char* how :
             {"released", "below the entries", "right button", "middle button", "release lost"})
            QTest::newRow(how) << how;
    }
    void noLeftButtonNoDrag() {
        QFETCH(QString, how);
        FormRig rig;
        rig.load({"A", "B"});
        Form1& f = *rig.form;
        showAwayFromTheScrollBands(f);
        QWidget* vp = f.ListView1->viewport();
        const QPoint below(5, vp->height() - 3);
        if (how == "released") {
            press(f, 1);
            release(f, 1);
        } else if (how == "below the entries") {
            QTest::mousePress(vp, Qt::LeftButton, {}, below);
        } else if (how == "right button" || how == "middle button") {
            QTest::mousePress(vp, how == "right button" ? Qt::RightButton : Qt::MiddleButton, {},
                              centreOf(f, 1));
        } else {
            press(f, 1);
            QWidget box;  // takes the release, as a modal box would
            QTest::mouseRelease(&box, Qt::LeftButton);
        }
        // Plain hovering with the button state the test left, as the window system reports
        // it (the test's input keeps that state across widgets, as the X server does).
        struct MoveCounter : QObject {
            int moves = 0;
            bool eventFilter(QObject*, QEvent* e) override {
                moves += e->type() == QEvent::MouseMove;
                return false;
            }
        } counter;
        // Over the second entry until two moves have arrived: the window system may drop a
        // move, so each goes one pixel further.
        vp->installEventFilter(&counter);
        for (int i = 0; counter.moves < 2 && i < 8; ++i) {
            const int before = counter.moves;
            QTest::mouseMove(vp, centreOf(f, 2) + QPoint(0, i - 3));
            // A loaded server is late; the count is checked below.
            (void)QTest::qWaitFor([&] { return counter.moves > before; }, 200);
        }
        QCOMPARE(counter.moves, 2);
        moveTo(f, 2);
        QCOMPARE(rig.texts(), QStringList({"A", "B"}));
        if (how != "below the entries") QVERIFY(!f.listEditor().mouseIsDown());
        QTest::mouseRelease(vp, how == "middle button" ? Qt::MiddleButton : Qt::RightButton, {},
                            below);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, below);
        QCOMPARE(rig.engine.loadedPath, QString());  // nor did any of it play
    }

    // A reference to a position that is gone is never used: the list is cut short under
    // a held drag.
    void goneReferenceNotUsed() {
        FormRig rig;
        rig.load({"X", "Y", "Z"});
        Form1& f = *rig.form;
        showAwayFromTheScrollBands(f);
        press(f, 3);
        f.PushButton11_Click();
        rig.list().Append("X");
        f.listEditor().ListView1_MouseMove(centreOf(f, 1), QPoint(400, 330));
        QCOMPARE(rig.texts(), QStringList({"X"}));
    }

    // The auto-scroll follows the pointer's screen row: above 305 the entry above
    // comes into view, from 365 on the entry below, and in between nothing scrolls. The
    // window is moved so that the entry dragged over is at that row of the screen.
    void autoScroll_data() {
        QTest::addColumn<int>("screenY");
        QTest::addColumn<int>("expectTopChange");  // -1 up, +1 down, 0 none
        QTest::newRow("above 305") << 304 << -1;
        QTest::newRow("305 to 364") << 305 << 0;
        QTest::newRow("364") << 364 << 0;
        QTest::newRow("365 and below") << 365 << 1;
    }
    void autoScroll() {
        QFETCH(int, screenY);
        QFETCH(int, expectTopChange);
        FormRig rig;
        QStringList entries;
        for (int i = 1; i <= 100; ++i) entries << QStringLiteral("entry %1").arg(i);
        rig.load(entries);
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        rig.list().ScrollBy(20 * centreOf(f, 2).y());  // somewhere in the middle
        const int top = rig.list().FirstVisible();
        const QRect shown = f.ListView1->viewport()->rect();
        const auto rectOf = [&](int position) {
            return f.ListView1->visualRect(f.ListView1->model()->index(position - 1, 0));
        };
        int lastWhole = top;
        while (shown.contains(rectOf(lastWhole + 1))) ++lastWhole;
        const int to = expectTopChange > 0 ? lastWhole : top + 1;
        const int from = expectTopChange > 0 ? to - 1 : top + 2;
        QWidget* vp = f.ListView1->viewport();
        const int dy = screenY - vp->mapToGlobal(centreOf(f, to)).y();
        if (dy != 0) QVERIFY(moveWindowBy(f, dy));
        const QPoint over = centreOf(f, to);
        QCOMPARE(vp->mapToGlobal(over).y(), screenY);
        press(f, from);
        moveTo(f, to);
        QCOMPARE(rig.list().Selected(), to);
        if (expectTopChange < 0) QVERIFY(shown.contains(rectOf(to - 1)));
        if (expectTopChange == 0) QCOMPARE(rig.list().FirstVisible(), top);
        if (expectTopChange > 0)  // scrolled down to show it (the view keeps a pixel of slack)
            QVERIFY(shown.intersected(rectOf(to + 1)).height() >= rectOf(to + 1).height() - 1);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, over);
    }

    void clickOnEmptyListDoesNothing() {
        FormRig rig;
        rig.load();
        rig.form->ListView1_Click();
        QCOMPARE(rig.boxes.count(), 0);
        QCOMPARE(rig.form->PushButton1->text(), kStart);
    }

    // Real mouse and key events on the list: press-release on an entry is a click that
    // plays; a double-click is two clicks, and removes nothing; Enter is a click on the
    // selected entry.
    void realClicks() {
        FormRig rig;
        rig.addFiles({"/m/1.aac", "/m/2.aac"});
        rig.load({"/m/1.aac", "/m/2.aac"});
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        // The other buttons neither select nor play.
        for (Qt::MouseButton other : {Qt::RightButton, Qt::MiddleButton}) {
            QTest::mouseClick(f.ListView1->viewport(), other, {}, centreOf(f, 2));
            QCOMPARE(rig.list().Selected(), 1);
            QCOMPARE(rig.engine.loadedPath, QString());
        }
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, centreOf(f, 2));
        QCOMPARE(rig.engine.loadedPath, QStringLiteral("/m/2.aac"));
        QCOMPARE(f.PushButton1->text(), kStop);
        // As the window system delivers a double-click: press, release, press, double-click,
        // release. Two clicks: the first stops, the second starts the entry again.
        QWidget* vp = f.ListView1->viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, centreOf(f, 1));
        QCOMPARE(f.PushButton1->text(), kStart);
        QTest::mouseDClick(vp, Qt::LeftButton, {}, centreOf(f, 1));
        QTest::mouseRelease(vp, Qt::LeftButton, {}, centreOf(f, 1));
        QCOMPARE(rig.list().Count(), 2);
        QCOMPARE(rig.engine.loadedPath, QStringLiteral("/m/1.aac"));
        QCOMPARE(f.ListView1->viewport()->cursor().shape(), Qt::ArrowCursor);
        // Return and Enter do what a click on the selected entry does.
        QTest::keyClick(f.ListView1, Qt::Key_Down);
        QTest::keyClick(f.ListView1, Qt::Key_Return);
        QCOMPARE(f.PushButton1->text(), kStart);
        QTest::keyClick(f.ListView1, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(rig.engine.loadedPath, QStringLiteral("/m/2.aac"));
        QCOMPARE(f.PushButton1->text(), kStop);
        // A scan after the clicks: the hourglass shows over the list too.
        f.setMousePointer(11);
        QCOMPARE(f.ListView1->viewport()->cursor().shape(), Qt::WaitCursor);
    }

    // Whatever the keys and clicks, a list with entries keeps exactly one selected, and it
    // is the one the list reports.
    void oneEntryStaysSelected() {
        FormRig rig;
        rig.load({"A", "B", "C"});
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const auto selectedRows = [&] {
            QList<int> rows;
            for (const QModelIndex& i : f.ListView1->selectionModel()->selectedRows())
                rows << i.row() + 1;
            return rows;
        };
        f.ListView1->setFocus();
        const QList<std::pair<Qt::Key, int>> keys = {{Qt::Key_Space, 1}, {Qt::Key_Space, 1},
                                                     {Qt::Key_Down, 2},  {Qt::Key_Space, 2},
                                                     {Qt::Key_End, 3},   {Qt::Key_Space, 3}};
        for (const auto& [key, expected] : keys) {
            QTest::keyClick(f.ListView1, key, Qt::ControlModifier);
            QCOMPARE(selectedRows(), QList<int>{expected});
            QCOMPARE(rig.list().Selected(), expected);
        }
        QWidget* vp = f.ListView1->viewport();
        for (int position : {1, 1}) {
            QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, centreOf(f, position));
            QCOMPARE(selectedRows(), QList<int>{1});
            QCOMPARE(rig.list().Selected(), 1);
        }
    }

    void clearList() {
        FormRig rig;
        rig.addFiles({"/m/1.aac", "/m/2.aac"});
        rig.load({"/m/1.aac", "/m/2.aac"});
        Form1& f = *rig.form;
        f.setMousePointer(11);  // a scan is running
        f.PushButton11_Click();
        QCOMPARE(rig.list().Count(), 2);
        f.setMousePointer(0);
        f.PushButton1_Click();
        f.PushButton11_Click();
        QCOMPARE(rig.list().Count(), 0);
        QCOMPARE(rig.engine.currentState, IMediaEngine::State::Running);  // plays on
        QCOMPARE(rig.boxes.count(), 0);
    }

    void dropOnTheWindow() {
        FormRig rig;
        rig.fs.addFolder("/drop/tree");
        rig.fs.addFile("/drop/tree/x.txt");
        rig.fs.addFolder("/drop/tree/sub");
        rig.fs.addFile("/drop/tree/sub/y.aac");
        rig.load({"first"});
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        auto drop = [&](QMimeData* data) {
            const QPoint at = f.ListView1->viewport()->rect().center();
            QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(f.ListView1->viewport(), &enter);
            const bool accepted = enter.isAccepted();
            QDropEvent dropEvent(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(f.ListView1->viewport(), &dropEvent);
            return accepted;
        };
        QMimeData text;
        text.setText("just words");
        QVERIFY(!drop(&text));
        QMimeData remote;
        remote.setUrls({QUrl("https://example.invalid/a.aac")});
        QVERIFY(!drop(&remote));
        QCOMPARE(rig.texts(), QStringList({"first"}));
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile("/else/notes.txt"), QUrl::fromLocalFile("/drop/tree"),
                       QUrl::fromLocalFile("/drop/tree")});
        QVERIFY(drop(&files));
        QCOMPARE(rig.texts(),
                 QStringList({"first", "/else/notes.txt", "/drop/tree/x.txt",
                              "/drop/tree/sub/y.aac", "/drop/tree/x.txt", "/drop/tree/sub/y.aac"}));
    }

    void addFilesThroughTheDialog() {
        FormRig rig;
        rig.load();
        Form1& f = *rig.form;
        f.PushButton5_Click();  // cancelled
        QCOMPARE(rig.list().Count(), 0);
        rig.shell.selection.text = QStringLiteral("/music/a.aac");
        f.PushButton5_Click();
        f.PushButton5_Click();
        rig.shell.selection.text = QStringLiteral("/") + QChar(0) + "a.aac" + QChar(0) + "b.aac";
        f.PushButton5_Click();
        QCOMPARE(rig.texts(), QStringList({"/music/a.aac", "/music/a.aac", "/a.aac", "/b.aac"}));
        QCOMPARE(rig.shell.openCalls.last().title,
                 QStringLiteral("Add File(s) - Hold Ctrl or Shift to select multiple files"));
        rig.shell.selection.tooMany = true;
        f.PushButton5_Click();
        QCOMPARE(rig.messages(),
                 QStringList({"You've selected too many files to add.\r\rPlease try adding via "
                              "the \"Add All\" button."}));
        QCOMPARE(rig.list().Count(), 4);
    }

    void scanButton() {
        FormRig rig;
        rig.fs.addFolder("/tunes");
        rig.fs.addFile("/tunes/a.aac");
        rig.fs.addFile("/tunes/b.AAC");
        rig.fs.addFile("/tunes/c.mp3");
        rig.fs.addFolder("/empty");
        rig.store.set("LastFolder", "/before");
        rig.load();
        Form1& f = *rig.form;
        f.PushButton2_Click();  // cancelled: nothing changes
        QCOMPARE(rig.store.value("LastFolder"), QStringLiteral("/before"));
        QCOMPARE(rig.shell.browseCalls.last().second, QStringLiteral("/before"));
        rig.shell.folder = "/empty";
        f.PushButton2_Click();
        QCOMPARE(rig.store.value("LastFolder"), QStringLiteral("/empty"));
        rig.shell.folder = "/tunes";
        int pointerDuringScan = -1;
        // The walk lets events through: a zero timer sees the pointer mid-scan.
        QTimer::singleShot(0, &f, [&] { pointerDuringScan = f.MousePointer(); });
        f.PushButton2_Click();
        QCOMPARE(pointerDuringScan, 11);
        QCOMPARE(f.MousePointer(), 0);
        QCOMPARE(rig.texts(), QStringList({"/tunes/a.aac", "/tunes/b.AAC"}));
        QCOMPARE(rig.shell.browseCalls.last().second, QStringLiteral("/empty"));
    }

    // Paths that would come back from the saved list as other entries are left out of a
    // drop, the folders' scan included, with one line for the whole drop.
    void unstorablePathsLeftOut() {
        FormRig rig;
        const QString held = "/in/a||MySeparator12||b.aac";
        rig.addFiles({held, "/in/ok.aac", "/in/c||MySeparator12"});
        rig.load();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^3 path\\(s\\) left out of the "
                                                              "list, such as '/in/a\\|"));
        QTest::failOnWarning(QRegularExpression("left out"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(held), QUrl::fromLocalFile("/in")});
        rig.form->ListView1_OLEDragDrop(&data);
        QCOMPARE(rig.texts(), QStringList{"/in/ok.aac"});
    }
};

QTEST_MAIN(TestFormList)
#include "tst_form_list.moc"
