// SPDX-License-Identifier: GPL-3.0-or-later
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>

#include <QThread>

#include "fakes/fakemessageboxes.h"
#include "platform/posix/posixfilesystem.h"
#include "playlist/addfolder.h"
#include "treemaker.h"

namespace {

using std::chrono::milliseconds;

// Folders settle for the scan after this; trees wait longer than this before a scan.
constexpr milliseconds kSettle{20};
constexpr milliseconds kNeverSettled = std::chrono::hours(24);

void letSettle() {
    QThread::msleep(100);
}

// Scans `folder`; `change` runs when the import begins, after the walk has read every
// folder. A walk alone counts the walk's yields, so the import's first is known.
QStringList scan(const QString& folder, const QString& pattern, int* boxCount = nullptr,
                 milliseconds settle = kSettle, const std::function<void()>& change = {}) {
    PosixFileSystem fs(settle);
    FakeMessageBoxes boxes;
    int walkYields = 0;
    if (change) {
        AddFolder walk(fs, boxes, [&] { ++walkYields; });
        QStringList list{folder + '/'};
        walk.GetSubDirectories2016(list, true);
    }
    int yields = 0;
    AddFolder add(fs, boxes, [&] {
        if (++yields == walkYields + 1 && change) change();
    });
    QStringList out;
    add.ImportFolderTree(folder, pattern, [&](const QString& p) { out.append(p); });
    if (boxCount) *boxCount = boxes.count();
    return out;
}

// Reads folders only as separate listings of sub-folders and of files, and tests each
// file by its path: the scan without entry kinds or stamps.
class PlainReads : public PosixFileSystem {
public:
    // Only the sub-folders, and no stamp: nothing is taken from the read for later.
    DirListing readFolder(const QString& folder) const override {
        const DirListing all = PosixFileSystem::readFolder(folder);
        DirListing folders;
        folders.error = all.error;
        for (qsizetype i = 0; i < all.names.size(); ++i) {
            if (all.kinds.value(i) != EntryKind::Folder) continue;
            folders.names << all.names[i];
            folders.kinds << EntryKind::Folder;
        }
        return folders;
    }
};

QStringList scanPlain(const QString& folder, const QString& pattern) {
    PlainReads fs;
    FakeMessageBoxes boxes;
    AddFolder add(fs, boxes, [] {});
    QStringList out;
    add.ImportFolderTree(folder, pattern, [&](const QString& p) { out.append(p); });
    return out;
}

// Re-run as uid 65534: prints each imported path, then the number of boxes shown. With
// a mode, the folder "p" in it takes that mode once the walk is done.
int scanAsUser(const char* folder, const char* mode) {
    int boxes = 0;
    const QString root = QFile::decodeName(folder);
    std::function<void()> change;
    if (mode) {
        change = [&] {
            const QByteArray p = QFile::encodeName(root) + "/p";
            if (::chmod(p.constData(), mode_t(std::strtol(mode, nullptr, 8))) != 0)
                std::cout << "chmod failed\n";
        };
    }
    letSettle();
    for (const QString& p : scan(root, QStringLiteral("*.aac"), &boxes, kSettle, change))
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
        QVERIFY(t.file("bad\xff.aac"));         // cannot be named in UTF-8: not imported
        QVERIFY(t.file("ok\xEF\xBF\xBD.aac"));  // U+FFFD, valid UTF-8: imported once
        QVERIFY(t.file("ok\xff.aac"));
        // Regular files only: what else opens would block or never end when played.
        QVERIFY(t.fifo("pipe.aac"));  // opened for attributes only: no hang
        QVERIFY(t.socket("sock.aac"));
        QVERIFY(t.link("/dev/zero", "zero.aac"));
        QVERIFY(t.link("pipe.aac", "topipe.aac"));
        QVERIFY(t.link("a.aac", "toa.aac"));
        QVERIFY(t.dir("folder.aac"));
        QStringList got = scan(t.root(), "*.aac");
        got.sort();
        const QString r = t.root() + '/';
        QStringList expected{r + "a.aac",         r + "b.AAC",       r + ".kept.aac",
                             r + "new\nline.aac", r + "what?.aac",   r + "bell\x07.aac",
                             r + "toa.aac",       r + "ok\uFFFD.aac"};
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
        // A name holding U+FFFD is valid UTF-8, and walked, once, whatever its neighbour
        // that is not UTF-8 would read as.
        QVERIFY(t.file("ok\xEF\xBF\xBD/found.aac"));
        QVERIFY(t.file("ok\xff/lost.aac"));
        QVERIFY(t.link("x", "linked"));
        QVERIFY(t.link("..", "x/up"));
        QVERIFY(t.link("/", "x/root"));
        QVERIFY(t.file("top.aac"));
        const QStringList got = scan(t.root(), "*.aac");
        const QString r = t.root() + '/';
        QCOMPARE(got.first(), r + "top.aac");
        QCOMPARE(got.last(), r + "x/y/deeper.aac");
        QCOMPARE(got.size(), 5);
        QVERIFY(got.contains(r + "ok\uFFFD/found.aac"));
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

    // Whether a folder is read once for the walk and its files, read again, or read
    // without entry kinds, the same files come in the same order.
    void readOnceOrTwiceAgree() {
        TreeMaker t;
        for (const char* f : {"a.aac", "b.AAC", ".hidden.aac", "~tmp.aac", "c.mp3", "x/in.aac",
                              "x/y/deep.aac", ".dotdir/dot.aac", "bad\xff.aac", "x/bad\xff/f.aac"})
            QVERIFY(t.file(f));
        QVERIFY(t.file(".kept.aac", 0444));
        QVERIFY(t.file("noaccess.aac", 0000));
        QVERIFY(t.fifo("pipe.aac"));
        QVERIFY(t.dir("folder.aac"));
        QVERIFY(t.link("a.aac", "linked.aac"));
        QVERIFY(t.link("x", "x.aac"));
        QVERIFY(t.link("gone", "dangling.aac"));
        letSettle();
        for (const char* pattern : {"*.aac", "*.*"}) {
            const QStringList once = scan(t.root(), pattern);
            QCOMPARE(once, scan(t.root(), pattern, nullptr, kNeverSettled));
            QCOMPARE(once, scanPlain(t.root(), pattern));
            QVERIFY(once.contains(t.root() + "/linked.aac"));
            QVERIFY(!once.contains(t.root() + "/x.aac"));
            QVERIFY(!once.contains(t.root() + "/dangling.aac"));
        }
    }

    // A folder that changes after the walk has read it gives the files it holds then,
    // as a second read of it would.
    void changedAfterTheWalk_data() {
        QTest::addColumn<QString>("change");
        for (const char* change : {"add", "remove", "folder", "link to folder", "rename"})
            QTest::newRow(change) << change;
    }
    void changedAfterTheWalk() {
        QFETCH(QString, change);
        TreeMaker t;
        QVERIFY(t.file("top.aac"));
        QVERIFY(t.file("p/a.aac"));
        QVERIFY(t.file("p/b.aac"));
        QVERIFY(t.file("q/c.aac"));
        letSettle();
        const QByteArray a = t.at("p/a.aac");
        const QStringList got = scan(t.root(), "*.aac", nullptr, kSettle, [&] {
            if (change == "add") QVERIFY(t.file("p/new.aac"));
            if (change != "add" && change != "rename") QVERIFY(::unlink(a.constData()) == 0);
            if (change == "folder") QVERIFY(t.dir("p/a.aac"));
            if (change == "link to folder") QVERIFY(t.link("..", "p/a.aac"));
            if (change == "rename") QVERIFY(::rename(a.constData(), t.at("p/z.aac")) == 0);
        });
        QCOMPARE(got, scan(t.root(), "*.aac", nullptr, kNeverSettled));
        QCOMPARE(got.contains(t.root() + "/p/a.aac"), change == "add");
    }

    // A folder that can no longer be read or searched once the walk has read it gives
    // no files, as a second read of it would not.
    void permissionChangedAfterTheWalkAsUser_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("no search") << "600";
        QTest::newRow("no read") << "300";
        QTest::newRow("unchanged") << "755";
    }
    void permissionChangedAfterTheWalkAsUser() {
        QFETCH(QString, mode);
        TreeMaker t;
        QVERIFY(t.file("top.aac"));
        QVERIFY(t.file("p/a.aac"));
        QVERIFY(t.file("q/b.aac"));
        QVERIFY(::chown(t.at("p").constData(), 65534, 65534) == 0);
        QString why;
        const QByteArray out = runAsNobody({"--scan", t.root(), mode}, &why);
        if (::geteuid() != 0) QSKIP(qPrintable(why));
        QVERIFY2(!out.isEmpty(), qPrintable(why));
        const QString r = t.root() + '/';
        // Directory order decides whether p comes before q.
        QStringList expected{r + "top.aac", r + "q/b.aac"};
        if (mode == "755") expected.append(r + "p/a.aac");
        QStringList got = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(got.takeFirst(), r + "top.aac");
        QCOMPARE(got.takeLast(), QString("boxes 0"));
        expected.removeFirst();
        got.sort();
        expected.sort();
        QCOMPARE(got, expected);
    }

    void kernelFoldersAreNotWalked() {
        PosixFileSystem fs;
        FakeMessageBoxes boxes;
        AddFolder add(fs, boxes, [] {});
        QStringList procList{"/proc/"};
        add.GetSubDirectories2016(procList, true);
        QCOMPARE(procList, QStringList{"/proc/"});
        // The root is walked one level: its ordinary folders come, /proc and /sys do not.
        QStringList rootList{"//"};
        add.GetSubDirectories2016(rootList, false);
        QVERIFY(rootList.contains("//tmp/"));
        QVERIFY(!rootList.contains("//proc/"));
        QVERIFY(!rootList.contains("//sys/"));
        QCOMPARE(boxes.count(), 0);
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
    if ((argc == 3 || argc == 4) && qstrcmp(argv[1], "--scan") == 0)
        return scanAsUser(argv[2], argc == 4 ? argv[3] : nullptr);
    QCoreApplication app(argc, argv);
    TestRealScan test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_realscan.moc"
