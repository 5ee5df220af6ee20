#include <QtTest>

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>

#include "fakes/formrig.h"
#include "playlist/playlistmodel.h"

namespace {
QPoint centreOf(Form1& f, int position) {
    return f.ListView1->visualRect(f.ListView1->model()->index(position - 1, 0)).center();
}
const QPoint kMiddleOfScreen(400, 330);  // between the two auto-scroll bands
}  // namespace

class TestFormList : public QObject {
    Q_OBJECT

    void press(Form1& f, int position) {
        f.listEditor().ListView1_MouseDown();
        f.playlist().Select(position);
        f.listEditor().ListView1_ItemClick();
    }
    void moveTo(Form1& f, int position, QPoint screen = kMiddleOfScreen) {
        f.listEditor().ListView1_MouseMove(centreOf(f, position), screen);
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

    // Press on an entry, then one move event over each listed row.
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
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        press(f, from);
        for (int row : moves) moveTo(f, row);
        f.listEditor().ListView1_MouseUp();
        QCOMPARE(rig.texts(), after);
        QCOMPARE(rig.list().Selected(), selected);
        QCOMPARE(f.listEditor().DragItem, selected);  // the release keeps it
        QVERIFY(!f.listEditor().MouseIsDown);
    }

    void noButtonNoDrag() {
        FormRig rig;
        rig.load({"A", "B"});
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        press(f, 1);
        f.listEditor().ListView1_MouseUp();
        moveTo(f, 2);
        QCOMPARE(rig.texts(), QStringList({"A", "B"}));
        // A press below the last entry drags nothing, whatever was dragged before.
        QWidget* vp = f.ListView1->viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(5, vp->height() - 3));
        f.listEditor().ListView1_MouseMove(centreOf(f, 2), kMiddleOfScreen);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(5, vp->height() - 3));
        QCOMPARE(rig.texts(), QStringList({"A", "B"}));
        // A reference to a position that is gone is never used.
        f.PushButton11_Click();
        rig.list().AppendAll({"X"});
        f.listEditor().ListView1_MouseDown();
        f.listEditor().DragItem = 3;
        moveTo(f, 1);
        QCOMPARE(rig.texts(), QStringList({"X"}));
    }

    // The auto-scroll follows the pointer's screen row: above 305 the entry above
    // comes into view, from 365 on the entry below, and in between nothing scrolls.
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
        press(f, from);
        moveTo(f, to, QPoint(400, screenY));
        QCOMPARE(rig.list().Selected(), to);
        if (expectTopChange < 0) QVERIFY(shown.contains(rectOf(to - 1)));
        if (expectTopChange == 0) QCOMPARE(rig.list().FirstVisible(), top);
        if (expectTopChange > 0)  // scrolled down to show it (the view keeps a pixel of slack)
            QVERIFY(shown.intersected(rectOf(to + 1)).height() >= rectOf(to + 1).height() - 1);
    }

    void clickOnEmptyListDoesNothing() {
        FormRig rig;
        rig.load();
        rig.form->ListView1_Click();
        QCOMPARE(rig.boxes.count(), 0);
        QCOMPARE(rig.form->PushButton1->text(), QStringLiteral("Start Playing (Ctrl+Shift+X)"));
    }

    // Real mouse events on the list: press-release on an entry is a click that plays;
    // a double-click is two clicks, and removes nothing.
    void realClicks() {
        FormRig rig;
        rig.addFiles({"/m/1.aac", "/m/2.aac"});
        rig.load({"/m/1.aac", "/m/2.aac"});
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, centreOf(f, 2));
        QCOMPARE(rig.engine.loadedPath, QStringLiteral("/m/2.aac"));
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Stop Playing (Ctrl+Shift+X)"));
        // As the window system delivers a double-click: press, release, press, double-click,
        // release. Two clicks: the first stops, the second starts the entry again.
        QWidget* vp = f.ListView1->viewport();
        QTest::mouseClick(vp, Qt::LeftButton, {}, centreOf(f, 1));
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Start Playing (Ctrl+Shift+X)"));
        QTest::mouseDClick(vp, Qt::LeftButton, {}, centreOf(f, 1));
        QTest::mouseRelease(vp, Qt::LeftButton, {}, centreOf(f, 1));
        QCOMPARE(rig.list().Count(), 2);
        QCOMPARE(rig.engine.loadedPath, QStringLiteral("/m/1.aac"));
        QCOMPARE(f.ListView1->viewport()->cursor().shape(), Qt::ArrowCursor);
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
};

QTEST_MAIN(TestFormList)
#include "tst_form_list.moc"
