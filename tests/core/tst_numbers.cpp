// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "core/failure.h"
#include "core/numbers.h"
#include "core/steprunner.h"
#include "fakes/fakemessageboxes.h"

class TestNumbers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void wholeNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<double>("value");
        QTest::newRow("one") << "1" << true << 1.0;
        QTest::newRow("one point zero") << "1.0" << true << 1.0;
        QTest::newRow("blanks around") << "  1 \t" << true << 1.0;
        QTest::newRow("sign and exponent") << "-2.5e1" << true << -25.0;
        QTest::newRow("leading point") << ".5" << true << 0.5;
        QTest::newRow("word") << "yes" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("line feed at the end") << "1 \n" << true << 1.0;
        QTest::newRow("blank inside") << "1 0" << false << 0.0;
        QTest::newRow("trailing text") << "1x" << false << 0.0;
        QTest::newRow("lone point") << "." << false << 0.0;
        QTest::newRow("huge exponent") << "1e999" << false << 0.0;
    }
    void wholeNumber() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        QFETCH(double, value);
        if (ok) {
            QCOMPARE(readWholeNumber(text), value);
        } else {
            QVERIFY_THROWS_EXCEPTION(Failure, readWholeNumber(text));
        }
    }

    void leadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("rounded");
        QTest::newRow("plain") << "50" << 50;
        QTest::newRow("word") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("half down to even") << "62.5" << 62;
        QTest::newRow("half up to even") << "63.5" << 64;
        QTest::newRow("blanks inside") << " 7 0" << 70;
        QTest::newRow("tabs and line feeds") << "\t3\n7" << 37;
        QTest::newRow("no exponent") << "1e3" << 1;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("number then words") << "42 apples" << 42;
        QTest::newRow("carriage return stops") << "4\r2" << 4;
        QTest::newRow("point first") << ".5" << 0;
        QTest::newRow("point first, more") << "1.5" << 2;
    }
    void leadingNumber() {
        QFETCH(QString, text);
        QFETCH(int, rounded);
        QCOMPARE(roundHalfEven(readLeadingNumber(text)), rounded);
    }

    void roundingOverflows() {
        QVERIFY_THROWS_EXCEPTION(Failure, roundHalfEven(readLeadingNumber("99999999999999")));
    }

    void appTitle_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("no blank stays whole") << "Quaverly"
                                              << "Quaverly";
        QTest::newRow("cut once even when short") << "Quaverly Player"
                                                  << "Quaverly";
        QTest::newRow("cut until 40") << "aaaaaaaaaa bbbbbbbbbb cccccccccc dddddddddd eeeeeeeeee"
                                      << "aaaaaaaaaa bbbbbbbbbb cccccccccc";
    }
    void appTitle() {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(makeAppTitle(name), title);
    }

    void errorBoxText() {
        const QString text =
            ::errorBoxText(QStringLiteral("Type mismatch"),
                           QStringLiteral("in Tindrell2021/08/31.Form1.Form_Load "), 152);
        QCOMPARE(text,
                 QStringLiteral("Type mismatch\r\nin Tindrell2021/08/31.Form1.Form_Load at line "
                                "152\r\rPlease email screenshot of this message to ") +
                     QStringLiteral(QUAVERLY_SUPPORT_EMAIL));
    }

    // A failing step shows one box and the procedure goes on; a failed test runs
    // what it guards; a step failing in a loop shows a box per failure.
    void stepRunnerGoesOn() {
        FakeMessageBoxes boxes;
        QStringList ran;
        StepRunner r(boxes, QStringLiteral("in X.Y.Z "));
        r.step(100, [&] { ran << "100"; });
        QVERIFY(!r.step(102, [&]() { throw Failure(QStringLiteral("boom")); }));
        r.step(104, [&] { ran << "104"; });
        if (r.test(106, [&]() -> bool { throw Failure(QStringLiteral("bad test")); }))
            ran << "guarded";
        for (int i = 0; i < 2; ++i) r.step(108, [&]() { throw std::runtime_error("loop"); });
        QCOMPARE(ran, QStringList({"100", "104", "guarded"}));
        QCOMPARE(boxes.count(), 4);
        QCOMPARE(boxes.boxes()[0].title, QStringLiteral("Application Error"));
        QVERIFY(
            boxes.boxes()[0].text.startsWith(QStringLiteral("boom\r\nin X.Y.Z at line 102\r\r")));
        QVERIFY(boxes.boxes()[1].text.contains(QStringLiteral("at line 106")));
        QVERIFY(boxes.boxes()[3].text.startsWith(QStringLiteral("loop\r\n")));
    }

    // Once the stop condition holds, no step runs, no box shows, a test guards nothing,
    // and a value step gives its fallback.
    void stepRunnerStops() {
        FakeMessageBoxes boxes;
        QStringList ran;
        bool stopped = false;
        StepRunner r(boxes, QStringLiteral("in X.Y.Z "));
        r.stopWhen([&] { return stopped; });
        QVERIFY(r.step(100, [&] { ran << "100"; }));
        stopped = true;
        QVERIFY(!r.step(102, [&] { ran << "102"; }));
        QVERIFY(!r.step(104, [&]() { throw Failure(QStringLiteral("boom")); }));
        QVERIFY(!r.test(106, [&] {
            ran << "106";
            return true;
        }));
        QCOMPARE(r.value(108, 7, [&] { return 9; }), 7);
        QCOMPARE(ran, QStringList{"100"});
        QCOMPARE(boxes.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
