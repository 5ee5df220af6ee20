// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include "playlist/playlistcodec.h"

class TestPlaylistCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void roundTrip_data() {
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("empty") << QStringList();
        QTest::newRow("one") << QStringList({"X"});
        QTest::newRow("leading and trailing spaces kept") << QStringList({" a.aac", "b.aac  "});
        QTest::newRow("duplicates and non-ASCII")
            << QStringList({"/m/é ü.aac", "/m/é ü.aac", "/m/\u65E5\u672C.aac"});
        QTest::newRow("long path") << QStringList({"/" + QString(5000, 'x') + ".aac"});
        QTest::newRow("pipes that are not the separator") << QStringList({"a||b", "||MySep"});
    }
    void roundTrip() {
        QFETCH(QStringList, entries);
        QCOMPARE(decodePlaylist(encodePlaylist(entries)), entries);
    }

    void encodingFollowsEveryEntry() {
        QCOMPARE(encodePlaylist({}), QString());
        QCOMPARE(encodePlaylist({"A", "B"}),
                 QStringLiteral("A||MySeparator12||B||MySeparator12||"));
    }

    void decoding_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("no trailing separator") << "A||MySeparator12||B" << QStringList({"A", "B"});
        QTest::newRow("separator run")
            << "A||MySeparator12||||MySeparator12||B" << QStringList({"A", "B"});
        QTest::newRow("blanks only skipped, tab kept")
            << "   ||MySeparator12||\t" << QStringList({"\t"});
        QTest::newRow("case-sensitive separator")
            << "A||myseparator12||B" << QStringList({"A||myseparator12||B"});
        QTest::newRow("entry holding the separator splits")
            << "a||MySeparator12||b||MySeparator12||" << QStringList({"a", "b"});
    }
    void decoding() {
        QFETCH(QString, text);
        QFETCH(QStringList, entries);
        QCOMPARE(decodePlaylist(text), entries);
    }
};

QTEST_GUILESS_MAIN(TestPlaylistCodec)
#include "tst_playlistcodec.moc"
