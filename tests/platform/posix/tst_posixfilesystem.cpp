// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/statfs.h>

#include <linux/magic.h>

#include <iostream>

#include "platform/posix/posixfilesystem.h"
#include "treemaker.h"

using namespace FileAttr;

static QStringList folderNames(const DirListing& listing) {
    QStringList out;
    for (qsizetype i = 0; i < listing.names.size(); ++i)
        if (listing.kinds.value(i) == EntryKind::Folder) out << listing.names[i];
    return out;
}

// Re-run as uid 65534: prints, for each folder given, the listing error, the number of
// sub-folders, and whether a read found the folder searchable.
static int listAsUser(int argc, char** argv) {
    PosixFileSystem fs;
    for (int i = 2; i < argc; ++i) {
        const QString folder = QFile::decodeName(argv[i]);
        const DirListing listing = fs.readFolder(folder);
        std::cout << int(listing.error) << ' ' << folderNames(listing).size() << ' '
                  << listing.stamp.searchable << '\n';
    }
    return 0;
}

class TestPosixFileSystem : public QObject {
    Q_OBJECT

    TreeMaker tree;
    PosixFileSystem fs;

    QString path(const char* rel) const { return tree.root() + '/' + QString::fromUtf8(rel); }
    // The path as a listing gives it: each byte that is not UTF-8 reads as U+0000.
    QString listed(const char* rel) const {
        QString name;
        for (const char* c = rel; *c; ++c) name += uchar(*c) < 0x80 ? QChar(*c) : QChar(0);
        return tree.root() + '/' + name;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(tree.file("file"));
        QVERIFY(tree.file("ro", 0444));
        QVERIFY(tree.file(".dot"));
        QVERIFY(tree.file(".dotro", 0444));
        QVERIFY(tree.file("noaccess", 0000));
        QVERIFY(tree.dir("dir"));
        QVERIFY(tree.dir(".dotdir"));
        QVERIFY(tree.dir("rodir", 0555));
        QVERIFY(tree.link("dir", "linkdir"));
        QVERIFY(tree.link("file", "linkfile"));
        QVERIFY(tree.link("nowhere", "dangling"));
        QVERIFY(tree.link("loop", "loop"));
        QVERIFY(tree.link("/", "linkroot"));
        QVERIFY(tree.link("..", "up"));
        QVERIFY(tree.fifo("fifo.aac"));
        QVERIFY(tree.socket("sock.aac"));
        QVERIFY(tree.file("bad\xff.aac"));
        QVERIFY(tree.file("bad\xEF\xBF\xBD.aac"));  // what "bad\xff.aac" used to read as
    }

    void attributes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("expected");  // -1: cannot be read
        auto row = [&](const char* name, int value) { QTest::newRow(name) << path(name) << value; };
        row("file", Archive);                                         // 32
        row("ro", Archive | ReadOnly);                                // 33
        row(".dot", Archive | Hidden);                                // 34
        row(".dotro", Archive | Hidden | ReadOnly);                   // 35
        row("dir", Directory);                                        // 16
        row(".dotdir", Directory | Hidden);                           // 18
        row("rodir", Directory | ReadOnly);                           // 17
        row("linkdir", Directory | Hidden | System | ReparsePoint);   // 1046
        row("linkroot", Directory | Hidden | System | ReparsePoint);  // 1046
        row("up", Directory | Hidden | System | ReparsePoint);        // 1046
        row("linkfile", Archive | ReparsePoint);                      // 1056
        row("dangling", ReparsePoint);                                // 1024
        row("loop", ReparsePoint);                                    // 1024
        row("fifo.aac", 0);
        row("missing", -1);
        QTest::newRow("trailing slash") << path("dir") + "/" << int(Directory);
        QTest::newRow("link, trailing slash")
            << path("linkdir") + "/" << int(Directory | Hidden | System | ReparsePoint);
        QTest::newRow("link to root, trailing slashes")
            << path("linkroot") + "//" << int(Directory | Hidden | System | ReparsePoint);
        QTest::newRow("dot folder, trailing slash")
            << path(".dotdir") + "/" << int(Directory | Hidden);
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("root") << "/" << int(Directory);
        QTest::newRow("root doubled") << "//" << int(Directory);
        QTest::newRow("proc") << "/proc" << 22;
        QTest::newRow("proc, trailing slash") << "/proc/" << 22;
        QTest::newRow("proc subfolder") << "/proc/sys/" << 22;
        QTest::newRow("proc link") << "/proc/self" << 1046;
        QTest::newRow("undecodable name as listed") << listed("bad\xff.aac") << -1;
        QTest::newRow("NUL after a file's name") << path("file") + QChar(u'\0') + "x.aac" << -1;
        QTest::newRow("NUL after a folder's name") << path("dir") + QChar(u'\0') << -1;
    }
    void attributes() {
        QFETCH(QString, path);
        QFETCH(int, expected);
        const auto value = fs.attributes(path);
        QCOMPARE(value ? int(*value) : -1, expected);
    }

    // Kernel folders read 22 so a scan of "/" stays out of them; /tmp (plain tmpfs or
    // disk) must stay walkable.
    void pseudoFileSystems() {
        struct statfs st {};
        if (::statfs("/sys", &st) == 0 && st.f_type == SYSFS_MAGIC)
            QCOMPARE(fs.attributes("/sys"), std::optional<quint32>(22));
        if (::statfs("/dev", &st) == 0 && st.f_type == TMPFS_MAGIC)
            QCOMPARE(fs.attributes("/dev"), std::optional<quint32>(22));
        if (::statfs("/dev/pts", &st) == 0 && st.f_type == DEVPTS_SUPER_MAGIC)
            QCOMPARE(fs.attributes("/dev/pts"), std::optional<quint32>(22));
        QVERIFY((*fs.attributes("/tmp") & System) == 0);
        QVERIFY((*fs.attributes(tree.root()) & System) == 0);
    }

    void canOpenFile_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("opens");
        QTest::newRow("file") << path("file") << true;
        QTest::newRow("no permissions at all") << path("noaccess") << true;
        QTest::newRow("folder") << path("dir") << false;
        QTest::newRow("link to folder") << path("linkdir") << false;
        QTest::newRow("link to file") << path("linkfile") << true;
        QTest::newRow("dangling") << path("dangling") << false;
        QTest::newRow("loop") << path("loop") << false;
        QTest::newRow("fifo does not block") << path("fifo.aac") << true;
        QTest::newRow("socket") << path("sock.aac") << true;
        QTest::newRow("missing") << path("missing") << false;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("undecodable name as listed") << listed("bad\xff.aac") << false;
        QTest::newRow("replacement character") << path("bad\xEF\xBF\xBD.aac") << true;
        QTest::newRow("NUL after a file's name") << path("file") + QChar(u'\0') + "x.aac" << false;
    }
    void canOpenFile() {
        QFETCH(QString, path);
        QFETCH(bool, opens);
        QCOMPARE(fs.canOpenFile(path), opens);
    }

    void fileExists() {
        QVERIFY(fs.fileExists(path("file")));
        QVERIFY(fs.fileExists(path("dir")));
        QVERIFY(fs.fileExists(path("linkfile")));
        QVERIFY(!fs.fileExists(path("dangling")));
        QVERIFY(!fs.fileExists(path("loop")));
        QVERIFY(!fs.fileExists(QString()));
        QVERIFY(!fs.fileExists(path("file") + QChar(u'\0') + "x.aac"));
    }

    void listings() {
        const DirListing all = fs.entries(tree.root());
        QCOMPARE(all.error, ListError::None);
        QStringList names = all.names;
        QVERIFY(!names.contains(".") && !names.contains(".."));
        QCOMPARE(names.size(), 18);
        // A name that is not UTF-8 comes back, but not as a path that opens, and not as
        // the name that holds U+FFFD.
        QVERIFY(names.contains(listed("bad\xff.aac").section('/', -1)));
        QVERIFY(names.contains(QString::fromUtf8("bad\xEF\xBF\xBD.aac")));
        QCOMPARE(fs.attributes(listed("bad\xff.aac")), std::nullopt);

        QStringList folders = folderNames(fs.readFolder(tree.root()));
        folders.sort();
        QCOMPARE(folders, (QStringList{".dotdir", "dir", "linkdir", "linkroot", "rodir", "up"}));
    }

    // A read with kinds lists what a plain read lists, in the same order; a kind is
    // File or Folder only where the name alone, looked up, gives that.
    void readFolderKinds() {
        const DirListing read = fs.readFolder(tree.root());
        QCOMPARE(read.error, ListError::None);
        QCOMPARE(read.names, fs.entries(tree.root()).names);
        QCOMPARE(read.kinds.size(), read.names.size());
        const QHash<QString, EntryKind> expected{
            {"file", EntryKind::File},
            {"ro", EntryKind::File},
            {".dot", EntryKind::File},
            {"noaccess", EntryKind::File},
            {"dir", EntryKind::Folder},
            {"rodir", EntryKind::Folder},
            {"linkdir", EntryKind::Folder},
            {"up", EntryKind::Folder},
            {"linkfile", EntryKind::Other},
            {"dangling", EntryKind::Other},
            {"loop", EntryKind::Other},
            {"fifo.aac", EntryKind::Other},
            {"sock.aac", EntryKind::Other},
            {listed("bad\xff.aac").section('/', -1), EntryKind::Other},
            {QString::fromUtf8("bad\xEF\xBF\xBD.aac"), EntryKind::File},
        };
        for (qsizetype i = 0; i < read.names.size(); ++i) {
            if (expected.contains(read.names[i]))
                QVERIFY2(read.kinds[i] == expected.value(read.names[i]), qPrintable(read.names[i]));
        }
        QVERIFY(read.stamp.searchable);
    }

    // A stamp says "unchanged" until the folder's entries or permissions change, and
    // only for a folder that had settled before it was read.
    void stamps() {
        QVERIFY(tree.file("stamped/a.aac"));
        QVERIFY(tree.dir("stamped/sub"));
        PosixFileSystem settling(std::chrono::milliseconds(20));
        const QString folder = path("stamped");
        DirListing read;
        QTRY_VERIFY((read = settling.readFolder(folder)).stamp.settled);
        QVERIFY(settling.unchanged(folder, read.stamp));
        QVERIFY(settling.unchanged(folder + "/", read.stamp));
        QVERIFY(!settling.unchanged(folder + QChar(u'\0') + "x", read.stamp));
        QVERIFY(!settling.unchanged(path("dir"), read.stamp));
        // A change below a sub-folder is no change of this folder's entries.
        QVERIFY(tree.file("stamped/sub/b.aac"));
        QVERIFY(settling.unchanged(folder, read.stamp));
        QVERIFY(tree.file("stamped/c.aac"));
        QVERIFY(!settling.unchanged(folder, read.stamp));

        QTRY_VERIFY((read = settling.readFolder(folder)).stamp.settled);
        QVERIFY(settling.unchanged(folder, read.stamp));
        QVERIFY(::chmod(tree.at("stamped").constData(), 0700) == 0);
        QVERIFY(!settling.unchanged(folder, read.stamp));
        // Just changed: a read now could miss a second change within the clock's tick.
        QVERIFY(!PosixFileSystem(std::chrono::hours(1)).readFolder(folder).stamp.settled);
        // The default waits longer than any test step takes.
        QVERIFY(!fs.readFolder(folder).stamp.settled);
        QVERIFY(!fs.unchanged(folder, fs.readFolder(folder).stamp));
    }

    void listingErrors_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<ListError>("error");
        QTest::newRow("missing") << path("missing") << ListError::PathNotFound;
        QTest::newRow("a file") << path("file") << ListError::PathNotFound;
        QTest::newRow("below a file") << path("file/x") << ListError::PathNotFound;
        QTest::newRow("dangling") << path("dangling") << ListError::PathNotFound;
        QTest::newRow("loop") << path("loop") << ListError::Other;
        QTest::newRow("empty") << QString() << ListError::PathNotFound;
        QTest::newRow("NUL after a folder's name")
            << path("dir") + QChar(u'\0') + "x" << ListError::PathNotFound;
    }
    void listingErrors() {
        QFETCH(QString, path);
        QFETCH(ListError, error);
        QCOMPARE(fs.entries(path).error, error);
        QCOMPARE(fs.readFolder(path).error, error);
    }

    // Root reads any folder, so the refusal is checked as the unprivileged user.
    void permissionDeniedAsUser() {
        QVERIFY(tree.dir("locked/inner", 0755));
        QVERIFY(tree.dir("noexec/inner", 0755));
        QVERIFY(::chmod(tree.at("locked").constData(), 0700) == 0);
        QVERIFY(::chmod(tree.at("noexec").constData(), 0744) == 0);  // listable, not enterable
        QString why;
        const QByteArray out =
            runAsNobody({"--list", tree.at("locked"), tree.at("dir"), tree.at("noexec")}, &why);
        if (::geteuid() != 0) QSKIP(qPrintable(why));
        QVERIFY2(!out.isEmpty(), qPrintable(why));
        // noexec lists its folder from the entry types, but names in it cannot be looked up.
        QCOMPARE(out, QByteArray("1 0 0\n0 0 1\n0 1 0\n"));
    }
};

int main(int argc, char** argv) {
    if (argc >= 2 && qstrcmp(argv[1], "--list") == 0) return listAsUser(argc, argv);
    QCoreApplication app(argc, argv);
    TestPosixFileSystem test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_posixfilesystem.moc"
