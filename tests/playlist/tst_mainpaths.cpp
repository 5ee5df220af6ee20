// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>

#include "fakes/fakefilesystem.h"
#include "playlist/mainpaths.h"

class TestMainPaths : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void collapse_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("plain") << "/music/a.aac"
                               << "/music/a.aac";
        QTest::newRow("root plus added") << "//a.aac"
                                         << "/a.aac";
        QTest::newRow("pair inside") << "/m//a.aac"
                                     << "/m/a.aac";
        QTest::newRow("three become two") << "/m///a.aac"
                                          << "/m//a.aac";
        QTest::newRow("four become two") << "/m////a.aac"
                                         << "/m//a.aac";
        QTest::newRow("five become three") << "/m/////a"
                                           << "/m///a";
        QTest::newRow("long leading run") << "////m//a"
                                          << "/m/a";
        QTest::newRow("only separators") << "///"
                                         << "/";
        QTest::newRow("relative") << "m//a///b"
                                  << "m/a//b";
        QTest::newRow("trailing pair") << "/m//"
                                       << "/m/";
        QTest::newRow("backslash untouched") << "/m\\\\a"
                                             << "/m\\\\a";
    }
    void collapse() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(CollapseBackslashes(path), expected);
    }

    void unsafe_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("unsafe");
        QTest::newRow("plain") << "Song 1.aac" << false;
        QTest::newRow("accents and cjk") << QString::fromUtf8("Café – 東京.aac") << false;
        QTest::newRow("emoji (surrogate pair)")
            << QString::fromUtf8("\xF0\x9F\x8E\xB5.aac") << false;
        QTest::newRow("question mark") << "what?.aac" << true;
        QTest::newRow("newline") << "a\nb" << true;
        QTest::newRow("tab") << "a\tb" << true;
        QTest::newRow("code 31") << QString(QChar(31)) << true;
        QTest::newRow("code 32") << " " << false;
        QTest::newRow("delete 127") << QString(QChar(127)) << true;
        QTest::newRow("C1 159") << QString(QChar(159)) << true;
        QTest::newRow("160 nbsp") << QString(QChar(160)) << false;
        QTest::newRow("replacement character, valid UTF-8")
            << QString::fromUtf8("ok\xEF\xBF\xBD.aac") << false;
        QTest::newRow("bytes not UTF-8, as the disk reads them")
            << QString("bad") + QChar(0) + QChar(0) << true;
    }
    void unsafe() {
        QFETCH(QString, name);
        QFETCH(bool, unsafe);
        QCOMPARE(HasUnsafeChars(name), unsafe);
    }

    void pattern_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        QTest::newRow("ext") << "a.aac"
                             << "*.aac" << true;
        QTest::newRow("ext upper") << "b.AAC"
                                   << "*.aac" << true;
        QTest::newRow("other ext") << "c.mp3"
                                   << "*.aac" << false;
        QTest::newRow("longer ext") << "c.aacx"
                                    << "*.aac" << false;
        QTest::newRow("bare aac") << "aac"
                                  << "*.aac" << false;
        QTest::newRow("only ext") << ".aac"
                                  << "*.aac" << true;
        QTest::newRow("two dots") << "x.y.aac"
                                  << "*.aac" << true;
        QTest::newRow("all with dot") << "x.y"
                                      << "*.*" << true;
        QTest::newRow("all without dot") << "README"
                                         << "*.*" << true;
        QTest::newRow("question one char") << "a1.aac"
                                           << "a?.aac" << true;
        QTest::newRow("question not zero") << "a.aac"
                                           << "a?.aac" << false;
        QTest::newRow("brackets literal") << "[a].aac"
                                          << "[a].aac" << true;
        QTest::newRow("bracket not a class") << "a.aac"
                                             << "[a].aac" << false;
        QTest::newRow("non-ascii case")
            << QString::fromUtf8("ÄÖ.AAC") << QString::fromUtf8("äö.aac") << true;
        // Letters fold; other ASCII pairs one case bit apart do not.
        QTest::newRow("at is not backquote") << "@.aac"
                                             << "`.aac" << false;
        QTest::newRow("bracket is not brace") << "[.aac"
                                              << "{.aac" << false;
        QTest::newRow("kelvin sign folds to k")
            << QString::fromUtf8("\u212A.aac") << "k.AAC" << true;
        QTest::newRow("long s folds to s") << QString::fromUtf8("\u017F.aac") << "S.aac" << true;
        QTest::newRow("question takes a whole emoji")
            << QString::fromUtf8("\xF0\x9F\x8E\xB5.aac") << "?.aac" << true;
        QTest::newRow("many stars") << "aaaaaaaaaaaaaaaaaaaaaaaaaab"
                                    << "*a*a*a*a*a*c" << false;
    }
    void pattern() {
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(MatchesPattern(name, pattern), matches);
    }

    // ListFiles keeps the directory order and only names that open as files, and it
    // joins the folder with "/" whether or not the folder ends with one.
    void listFiles() {
        FakeFileSystem fs;
        fs.addFile("/m/z.aac");
        fs.addFile("/m/.hidden.aac", FileAttr::Archive | FileAttr::Hidden);
        fs.addFolder("/m/folder.aac");
        fs.addFile("/m/c.mp3");
        fs.addFile("/m/A.AAC");
        const QStringList expected{"z.aac", ".hidden.aac", "A.AAC"};
        QCOMPARE(ListFiles(fs, "/m", "*.aac"), expected);
        QCOMPARE(ListFiles(fs, "/m/", "*.aac"), expected);
        QCOMPARE(ListFiles(fs, "/nowhere", "*.*"), QStringList());
        fs.setListError("/m", ListError::PermissionDenied);
        QCOMPARE(ListFiles(fs, "/m", "*.*"), QStringList());
    }

    void pathTests() {
        FakeFileSystem fs;
        fs.addFile("/m/a.aac");
        fs.addFolder("/m/d", FileAttr::Directory | FileAttr::Hidden | FileAttr::System);
        QVERIFY(IsFolder(fs, "/m/d"));
        QVERIFY(!IsFolder(fs, "/m/a.aac"));
        QVERIFY(!IsFolder(fs, "/m/missing"));
        QVERIFY(CanOpenFile(fs, "/m/a.aac"));
        QVERIFY(!CanOpenFile(fs, "/m/d"));
        QVERIFY(!FileExists(fs, ""));
        QVERIFY(FileExists(fs, "/m/d"));
        QVERIFY(!FileExists(fs, "/m/missing"));
    }
};

QTEST_GUILESS_MAIN(TestMainPaths)
#include "tst_mainpaths.moc"
