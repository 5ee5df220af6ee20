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

    // An entry is storable exactly when it comes back as itself beside others.
    void storableEntries_data() {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("storable");
        QTest::newRow("plain") << "/m/a.aac" << true;
        QTest::newRow("part of the separator") << "/m/||MySeparator1.aac" << true;
        QTest::newRow("holding it") << "/m/a||MySeparator12||b.aac" << false;
        QTest::newRow("ending with it") << "/m/a.aac||MySeparator12||" << false;
        QTest::newRow("ending with its start") << "/m/a||MySeparator12" << false;
        QTest::newRow("ending with more of its start") << "/m/a||MySeparator12|" << false;
    }
    void storableEntries() {
        QFETCH(QString, entry);
        QFETCH(bool, storable);
        QCOMPARE(isStorableEntry(entry), storable);
        const QStringList entries{"/first.aac", entry, "/last.aac"};
        QCOMPARE(decodePlaylist(encodePlaylist(entries)) == entries, storable);
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

    void hundredThousandEntries() {
        QStringList entries;
        for (int i = 0; i < 100000; ++i) entries << QStringLiteral("/music/%1.aac").arg(i);
        QCOMPARE(decodePlaylist(encodePlaylist(entries)), entries);
    }
};

QTEST_GUILESS_MAIN(TestPlaylistCodec)
#include "tst_playlistcodec.moc"
