// SPDX-License-Identifier: GPL-3.0-or-later
#include <functional>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "fakes/xvfbsession.h"
#include "platform/qt/qtmessageboxes.h"

namespace {

// Waits for the next modal box to open and hands it to `act`, which must close it.
void whenBoxOpens(std::function<void(QMessageBox*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(box);
        }
    });
    poll->start();
}

struct Seen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::AutoText;
    QWidget* parent = nullptr;
};

}  // namespace

class TestQtMessageBoxes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void boxes_data();
    void boxes();
    void textIsShownAsPlainLines();
    void parentClosedWhileBoxIsOpen();
    void placement_data();
    void placement();
};

void TestQtMessageBoxes::boxes_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("press");  // a StandardButton, or 0 for the Escape key
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<bool>("answer");
    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    QTest::newRow("information") << "information" << int(QMessageBox::Ok)
                                 << int(QMessageBox::NoIcon) << int(QMessageBox::Ok) << false;
    QTest::newRow("error") << "error" << int(QMessageBox::Ok) << int(QMessageBox::Warning)
                           << int(QMessageBox::Ok) << false;
    QTest::newRow("error closed by Escape")
        << "error" << 0 << int(QMessageBox::Warning) << int(QMessageBox::Ok) << false;
    QTest::newRow("question yes") << "question" << int(QMessageBox::Yes) << int(QMessageBox::NoIcon)
                                  << yesNo << true;
    QTest::newRow("question no") << "question" << int(QMessageBox::No) << int(QMessageBox::NoIcon)
                                 << yesNo << false;
    QTest::newRow("question closed by Escape")
        << "question" << 0 << int(QMessageBox::NoIcon) << yesNo << false;
}

void TestQtMessageBoxes::boxes() {
    QFETCH(QString, kind);
    QFETCH(int, press);
    QFETCH(int, icon);
    QFETCH(int, buttons);
    QFETCH(bool, answer);

    QWidget window;
    window.show();
    QtMessageBoxes boxes(&window);
    Seen seen;
    whenBoxOpens([&](QMessageBox* box) {
        seen = {box->windowTitle(),     box->text(),       box->icon(),
                box->standardButtons(), box->textFormat(), box->parentWidget()};
        if (press == 0) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else {
            box->button(QMessageBox::StandardButton(press))->click();
        }
    });
    bool result = false;
    if (kind == "information") boxes.information("Quaverly", "Some text");
    if (kind == "error") boxes.error("Application Error", "Some text");
    if (kind == "question") result = boxes.question("Quaverly", "Some text");

    QCOMPARE(seen.title, kind == "error" ? QString("Application Error") : QString("Quaverly"));
    QCOMPARE(seen.text, QString("Some text"));
    QCOMPARE(int(seen.icon), icon);
    QCOMPARE(int(seen.buttons), buttons);
    QCOMPARE(seen.format, Qt::PlainText);
    QCOMPARE(seen.parent, &window);
    QCOMPARE(result, answer);
    QVERIFY(!QApplication::activeModalWidget());
}

// Error texts carry "\r\n" and "\r\r"; file names may look like markup.
void TestQtMessageBoxes::textIsShownAsPlainLines() {
    QCOMPARE(QtMessageBoxes::displayText("Bad\r\nin X at line 5\r\rPlease"),
             QString("Bad\nin X at line 5\n\nPlease"));
    QtMessageBoxes boxes(nullptr);
    QString shown;
    whenBoxOpens([&](QMessageBox* box) {
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
    });
    boxes.information("Quaverly", "/music/<b>loud</b>.aac\r\rnext");
    QCOMPARE(shown, QString("/music/<b>loud</b>.aac\n\nnext"));
}

void TestQtMessageBoxes::parentClosedWhileBoxIsOpen() {
    QPointer<QWidget> window = new QWidget;
    window->show();
    QtMessageBoxes boxes(window);
    whenBoxOpens([&](QMessageBox*) { delete window.data(); });
    QCOMPARE(boxes.question("Quaverly", "Still there?"), false);
    QVERIFY(window.isNull());
    // Later boxes have no parent but still work.
    whenBoxOpens([](QMessageBox* box) { box->button(QMessageBox::Yes)->click(); });
    QCOMPARE(boxes.question("Quaverly", "And now?"), true);
}

// A box opens centred over its window when the window is shown, and centred on the
// screen while it is not (the window is not shown yet during the load step).
void TestQtMessageBoxes::placement_data() {
    QTest::addColumn<bool>("windowShown");
    QTest::newRow("window shown") << true;
    QTest::newRow("window not shown yet") << false;
}

void TestQtMessageBoxes::placement() {
    QFETCH(bool, windowShown);
    QWidget window;
    window.setGeometry(40, 60, 500, 300);
    if (windowShown) {
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QtMessageBoxes boxes(&window);
    QPoint centre;
    whenBoxOpens([&](QMessageBox* box) {
        centre = box->frameGeometry().center();
        box->button(QMessageBox::Ok)->click();
    });
    boxes.information("Quaverly", "Where am I?");
    const QPoint expected = windowShown ? window.frameGeometry().center()
                                        : window.screen()->availableGeometry().center();
    // Within what a window frame may add to either side.
    QVERIFY2((centre - expected).manhattanLength() < 60,
             qPrintable(QStringLiteral("box centre %1,%2, expected %3,%4")
                            .arg(centre.x())
                            .arg(centre.y())
                            .arg(expected.x())
                            .arg(expected.y())));
}

int main(int argc, char** argv) {
    // A real display, where a box's place is the window system's.
    XvfbSession display;
    if (!display.ok()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestQtMessageBoxes test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtmessageboxes.moc"
