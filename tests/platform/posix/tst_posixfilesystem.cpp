#include <sys/statfs.h>

#include <linux/magic.h>

#include <iostream>

#include "platform/posix/posixfilesystem.h"
#include "treemaker.h"

using namespace FileAttr;

// Re-run as uid 65534: prints the listing error of each folder given.
static int listAsUser(int argc, char** argv) {
    PosixFileSystem fs;
    for (int i = 2; i < argc; ++i) {
        const DirListing listing = fs.subFolders(QFile::decodeName(argv[i]));
        std::cout << int(listing.error) << ' ' << listing.names.size() << '\n';
    }
    return 0;
}

class TestPosixFileSystem : public QObject {
    Q_OBJECT

    TreeMaker tree;
    PosixFileSystem fs;

    QString path(const char* rel) const { return tree.root() + '/' + QString::fromUtf8(rel); }

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
        QTest::newRow("undecodable name") << path("bad\xff.aac") << -1;
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
        QTest::newRow("undecodable name") << path("bad\xff.aac") << false;
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
    }

    void listings() {
        const DirListing all = fs.entries(tree.root());
        QCOMPARE(all.error, ListError::None);
        QStringList names = all.names;
        QVERIFY(!names.contains(".") && !names.contains(".."));
        QCOMPARE(names.size(), 17);
        // A name that is not UTF-8 comes back, but not as a path that opens.
        QVERIFY(names.contains(QFile::decodeName("bad\xff.aac")));

        QStringList folders = fs.subFolders(tree.root()).names;
        folders.sort();
        QCOMPARE(folders, (QStringList{".dotdir", "dir", "linkdir", "linkroot", "rodir", "up"}));
        // The same read order for both kinds of listing.
        QStringList inOrder;
        for (const QString& n : all.names)
            if (fs.subFolders(tree.root()).names.contains(n)) inOrder.append(n);
        QCOMPARE(fs.subFolders(tree.root()).names, inOrder);
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
    }
    void listingErrors() {
        QFETCH(QString, path);
        QFETCH(ListError, error);
        QCOMPARE(fs.entries(path).error, error);
        QCOMPARE(fs.subFolders(path).error, error);
    }

    // Root reads any folder, so the refusal is checked as the unprivileged user.
    void permissionDeniedAsUser() {
        QVERIFY(tree.dir("locked/inner", 0755));
        QVERIFY(::chmod(tree.at("locked").constData(), 0700) == 0);
        QString why;
        const QByteArray out = runAsNobody({"--list", tree.at("locked"), tree.at("dir")}, &why);
        if (::geteuid() != 0) QSKIP(qPrintable(why));
        QVERIFY2(!out.isEmpty(), qPrintable(why));
        QCOMPARE(out, QByteArray("1 0\n0 0\n"));
    }
};

int main(int argc, char** argv) {
    if (argc >= 2 && qstrcmp(argv[1], "--list") == 0) return listAsUser(argc, argv);
    QCoreApplication app(argc, argv);
    TestPosixFileSystem test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_posixfilesystem.moc"
