// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>

#include "platform/qt/qtshell.h"

class TestQtShell : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void filter_data() {
        QTest::addColumn<QString>("design");
        QTest::addColumn<QString>("qt");
        QTest::newRow("aac") << "AAC Files (*.aac)|*.aac|"
                             << "AAC Files (*.aac)";
        QTest::newRow("no trailing bar") << "AAC Files (*.aac)|*.aac"
                                         << "AAC Files (*.aac)";
        QTest::newRow("description without patterns") << "Audio|*.aac;*.m4a|All|*.*|"
                                                      << "Audio (*.aac *.m4a);;All (*.*)";
    }
    void filter() {
        QFETCH(QString, design);
        QFETCH(QString, qt);
        QCOMPARE(QtShell::toQtFilter(design), qt);
    }

    void selection_data() {
        const QChar nul(0);
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("text");
        QTest::newRow("none") << QStringList{} << QString();
        QTest::newRow("one") << QStringList{"/m/a.aac"} << "/m/a.aac";
        QTest::newRow("two") << QStringList{"/m/a.aac", "/m/b.aac"}
                             << QString("/m") + nul + "a.aac" + nul + "b.aac";
        QTest::newRow("in root") << QStringList{"/a.aac", "/b.aac"}
                                 << QString("/") + nul + "a.aac" + nul + "b.aac";
        QTest::newRow("two folders") << QStringList{"/m/a.aac", "/n/b.aac"}
                                     << QString("/") + nul + "m/a.aac" + nul + "n/b.aac";
    }
    void selection() {
        QFETCH(QStringList, paths);
        QFETCH(QString, text);
        QCOMPARE(QtShell::selectionText(paths), text);
    }
};

QTEST_GUILESS_MAIN(TestQtShell)
#include "tst_qtshell.moc"
