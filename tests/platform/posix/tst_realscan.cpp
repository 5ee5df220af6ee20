#include <iostream>

#include "app/imessageboxes.h"
#include "platform/posix/posixfilesystem.h"
#include "playlist/addfolder.h"
#include "treemaker.h"

namespace {

class CountingBoxes : public IMessageBoxes {
public:
    int count = 0;
    void information(const QString&, const QString&) override { ++count; }
    bool question(const QString&, const QString&) override { return ++count, false; }
    void error(const QString&, const QString&) override { ++count; }
};

QStringList scan(const QString& folder, const QString& pattern, int* boxCount = nullptr) {
    PosixFileSystem fs;
    CountingBoxes boxes;
    AddFolder add(fs, boxes, [] {});
    QStringList out;
    add.ImportFolderTree(folder, pattern, [&](const QString& p) { out.append(p); });
    if (boxCount) *boxCount = boxes.count;
    return out;
}

// Re-run as uid 65534: prints each imported path, then the number of boxes shown.
int scanAsUser(const char* folder) {
    int boxes = 0;
    for (const QString& p : scan(QFile::decodeName(folder), QStringLiteral("*.aac"), &boxes))
        std::cout << p.toStdString() << '\n';
    std::cout << "boxes " << boxes << '\n';
    return 0;
}

}  // namespace

class TestRealScan : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Names and kinds of entries the scan meets on real disks.
    void acceptsAndSkips() {
        TreeMaker t;
        QVERIFY(t.file("a.aac"));
        QVERIFY(t.file("b.AAC"));
        QVERIFY(t.file("c.mp3"));
        QVERIFY(t.file("~tmp.aac"));
        QVERIFY(t.file(".hidden.aac"));      // 34: skipped
        QVERIFY(t.file(".kept.aac", 0444));  // 35: imported
        QVERIFY(t.file("new\nline.aac"));
        QVERIFY(t.file("what?.aac"));
        QVERIFY(t.file("bell\x07.aac"));
        QVERIFY(t.file("bad\xff.aac"));  // cannot be named in UTF-8: not imported
        QVERIFY(t.fifo("pipe.aac"));     // opened for attributes only: no hang
        QVERIFY(t.socket("sock.aac"));
        QVERIFY(t.dir("folder.aac"));
        QStringList got = scan(t.root(), "*.aac");
        got.sort();
        const QString r = t.root() + '/';
        QStringList expected{r + "a.aac",         r + "b.AAC",     r + ".kept.aac",
                             r + "new\nline.aac", r + "what?.aac", r + "bell\x07.aac",
                             r + "pipe.aac",      r + "sock.aac"};
        expected.sort();
        QCOMPARE(got, expected);
    }

    // Sub-folders with unsafe names are not walked; links are not followed.
    void foldersNotWalked() {
        TreeMaker t;
        QVERIFY(t.file("x/in.aac"));
        QVERIFY(t.file("x/y/deeper.aac"));
        QVERIFY(t.file(".dotdir/dot.aac"));
        for (const char* odd : {"new\nline", "what?", "bell\x07", "bad\xff"})
            QVERIFY(t.file(QByteArray(odd) + "/lost.aac"));
        QVERIFY(t.link("x", "linked"));
        QVERIFY(t.link("..", "x/up"));
        QVERIFY(t.link("/", "x/root"));
        QVERIFY(t.file("top.aac"));
        const QStringList got = scan(t.root(), "*.aac");
        const QString r = t.root() + '/';
        QCOMPARE(got.first(), r + "top.aac");
        QCOMPARE(got.last(), r + "x/y/deeper.aac");
        QCOMPARE(got.size(), 4);
        QVERIFY(got.contains(r + "x/in.aac"));
        QVERIFY(got.contains(r + ".dotdir/dot.aac"));
    }

    // A deep tree is walked level by level until paths reach 260 characters; the
    // folder that reaches the limit is still imported but not entered.
    void deepTree() {
        TreeMaker t;
        QByteArray rel = "d";
        for (int level = 1; level < 300; ++level) rel += "/d";
        QVERIFY(t.dir(rel));
        QByteArray file = "d";
        for (int level = 1; level < 300; ++level, file += "/d") QVERIFY(t.file(file + "/f.aac"));
        const QStringList got = scan(t.root(), "*.aac");
        QVERIFY(!got.isEmpty());
        // The deepest folder taken is the first whose path with "/" reaches 260.
        const QString deepest = got.last().chopped(int(strlen("/f.aac"))) + '/';
        QVERIFY2(deepest.size() >= 260 && deepest.size() < 262, qPrintable(deepest));
        for (int i = 1; i < got.size(); ++i) QVERIFY(got[i].size() == got[i - 1].size() + 2);
    }

    void kernelFoldersAreNotWalked() {
        PosixFileSystem fs;
        CountingBoxes boxes;
        int yields = 0;
        AddFolder add(fs, boxes, [&] { ++yields; });
        QStringList procList{"/proc/"};
        add.GetSubDirectories2016(procList, true);
        QCOMPARE(procList, QStringList{"/proc/"});
        // The root is walked one level: its ordinary folders come, /proc and /sys do not.
        QStringList rootList{"//"};
        add.GetSubDirectories2016(rootList, false);
        QVERIFY(rootList.contains("//tmp/"));
        QVERIFY(!rootList.contains("//proc/"));
        QVERIFY(!rootList.contains("//sys/"));
        QCOMPARE(boxes.count, 0);
        QVERIFY(yields > 0);
    }

    // A folder the user may not read contributes nothing, silently; the rest goes on.
    void unreadableFolderAsUser() {
        TreeMaker t;
        QVERIFY(t.file("open/b.aac"));
        QVERIFY(t.file("locked/a.aac"));
        QVERIFY(t.file("locked/inner/c.aac"));
        QVERIFY(t.file("noexec/d.aac"));
        QVERIFY(t.file("z.aac"));
        QVERIFY(::chmod(t.at("locked").constData(), 0700) == 0);
        QVERIFY(::chmod(t.at("noexec").constData(), 0744) == 0);  // listable, not enterable
        QString why;
        const QByteArray out = runAsNobody({"--scan", t.root()}, &why);
        if (::geteuid() != 0) QSKIP(qPrintable(why));
        QVERIFY2(!out.isEmpty(), qPrintable(why));
        const QString r = t.root() + '/';
        QCOMPARE(QString::fromUtf8(out), QString(r + "z.aac\n" + r + "open/b.aac\nboxes 0\n"));
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--scan") == 0) return scanAsUser(argv[2]);
    QCoreApplication app(argc, argv);
    TestRealScan test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_realscan.moc"
