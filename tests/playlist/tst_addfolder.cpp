// SPDX-License-Identifier: GPL-3.0-or-later
#include <functional>

#include <QTest>

#include "core/steprunner.h"
#include "fakes/fakefilesystem.h"
#include "fakes/fakemessageboxes.h"
#include "fakes/fakeshell.h"
#include "playlist/addfolder.h"

using namespace FileAttr;

namespace {
constexpr quint32 kFolder = Directory;
constexpr quint32 kHiddenSystem = Directory | Hidden | System;         // 22
constexpr quint32 kLink = Directory | Hidden | System | ReparsePoint;  // 1046
const QString kWalkLocation =
    QStringLiteral("in BrannockTitle2021/08/31.AddFolder.GetSubDirectories2016 ");
}  // namespace

class TestAddFolder : public QObject {
    Q_OBJECT

    FakeFileSystem* fs = nullptr;
    FakeMessageBoxes* boxes = nullptr;
    AddFolder* scan = nullptr;
    int yields = 0;
    std::function<void()> onYield;  // runs at each yield

    QStringList import(const QString& folder, const QString& pattern = "*.aac") {
        QStringList out;
        scan->ImportFolderTree(folder, pattern, [&](const QString& p) { out.append(p); });
        return out;
    }

private Q_SLOTS:
    void init() {
        fs = new FakeFileSystem;
        boxes = new FakeMessageBoxes;
        yields = 0;
        onYield = nullptr;
        scan = new AddFolder(*fs, *boxes, [this] {
            ++yields;
            if (onYield) onYield();
        });
    }
    void cleanup() {
        delete scan;
        delete boxes;
        delete fs;
    }

    void breadthFirstByLevel() {
        fs->addFile("/r/x/y/y.aac");
        fs->addFile("/r/x/x.aac");
        fs->addFile("/r/r.aac");
        fs->addFile("/r/w/z/deep.aac");
        fs->addFile("/r/w/w.aac");
        QStringList list{"/r/"};
        scan->GetSubDirectories2016(list, true);
        QCOMPARE(list, (QStringList{"/r/", "/r/x/", "/r/w/", "/r/x/y/", "/r/w/z/"}));
        QCOMPARE(import("/r"), (QStringList{"/r/r.aac", "/r/x/x.aac", "/r/w/w.aac", "/r/x/y/y.aac",
                                            "/r/w/z/deep.aac"}));
        QCOMPARE(boxes->count(), 0);
    }

    void oneLevelOnly() {
        fs->addFolder("/r/a/b");
        QStringList list{"/r/"};
        scan->GetSubDirectories2016(list, false);
        QCOMPARE(list, (QStringList{"/r/", "/r/a/"}));
    }

    // Only the exact values 22 and 1046 stop the walk; a starting folder stays anyway.
    void stopValues_data() {
        QTest::addColumn<quint32>("attributes");
        QTest::addColumn<bool>("walked");
        QTest::newRow("plain") << kFolder << true;
        QTest::newRow("hidden only") << (kFolder | Hidden) << true;
        QTest::newRow("hidden+system") << kHiddenSystem << false;
        QTest::newRow("hidden+system+readonly") << (kHiddenSystem | ReadOnly) << true;
        QTest::newRow("link to folder") << kLink << false;
        QTest::newRow("link to folder, readonly") << (kLink | ReadOnly) << true;
        QTest::newRow("system only") << (kFolder | System) << true;
    }
    void stopValues() {
        QFETCH(quint32, attributes);
        QFETCH(bool, walked);
        fs->addFile("/r/s/in.aac");
        fs->addFile("/r/s/t/deeper.aac");
        fs->addFolder("/r/s", attributes);
        const QStringList expected =
            walked ? QStringList{"/r/s/in.aac", "/r/s/t/deeper.aac"} : QStringList{};
        QCOMPARE(import("/r"), expected);
        // Started on directly, the folder's own files come in but its sub-folders only
        // when it may be walked.
        QCOMPARE(import("/r/s"), walked ? expected : QStringList{"/r/s/in.aac"});
    }

    // "/" is walked whatever its attributes, and its files get a single "/".
    void rootFolder() {
        fs->addFolder("/", kHiddenSystem);
        fs->addFile("/top.aac");
        fs->addFile("/m/a.aac");
        fs->addFolder("/proc", kHiddenSystem);
        fs->addFile("/proc/p.aac");
        QCOMPARE(import("/"), (QStringList{"/top.aac", "/m/a.aac"}));
    }

    void unlistableFolders_data() {
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("partial");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("permission")
            << int(ListError::PermissionDenied) << false << QStringList{"/r/", "/r/ok/"};
        QTest::newRow("gone") << int(ListError::PathNotFound) << false
                              << QStringList{"/r/", "/r/ok/"};
        // Any other failure keeps the folder, but not what lies below it.
        QTest::newRow("other") << int(ListError::Other) << false
                               << QStringList{"/r/", "/r/bad/", "/r/ok/"};
        // What was listed before the failure is kept and walked.
        QTest::newRow("permission after some") << int(ListError::PermissionDenied) << true
                                               << QStringList{"/r/", "/r/ok/", "/r/bad/sub/"};
    }
    void unlistableFolders() {
        QFETCH(int, error);
        QFETCH(bool, partial);
        QFETCH(QStringList, expected);
        fs->addFile("/r/r.aac");
        fs->addFile("/r/bad/sub/sub.aac");
        fs->addFile("/r/ok/ok.aac");
        fs->setListError("/r/bad", ListError(error), partial);
        QStringList list{"/r/"};
        scan->GetSubDirectories2016(list, true);
        QCOMPARE(list, expected);
        QCOMPARE(boxes->count(), 0);
    }

    // Each unlistable copy in the starting list goes, not only the first.
    void duplicateStartingEntries() {
        fs->addFolder("/gone");
        fs->setListError("/gone", ListError::PathNotFound);
        fs->addFolder("/ok");
        QStringList list{"/gone/", "/ok/", "/gone/"};
        scan->GetSubDirectories2016(list, true);
        QCOMPARE(list, QStringList{"/ok/"});
    }

    void subFolderNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("taken");
        QTest::newRow("plain") << "Album" << true;
        QTest::newRow("dot name") << ".config" << true;
        QTest::newRow("259 chars") << QString(259, u'n') << true;
        QTest::newRow("260 chars") << QString(260, u'n') << false;
        QTest::newRow("question") << "what?" << false;
        QTest::newRow("newline") << "two\nlines" << false;
        QTest::newRow("control") << QString("a") + QChar(7) << false;
        QTest::newRow("not UTF-8, as the disk reads it") << QString("x") + QChar(0) << false;
        QTest::newRow("U+FFFD, valid UTF-8") << QString::fromUtf8("x\xEF\xBF\xBD") << true;
    }
    void subFolderNames() {
        QFETCH(QString, name);
        QFETCH(bool, taken);
        fs->addFile("/r/" + name + "/f.aac");
        QCOMPARE(import("/r").size(), taken ? 1 : 0);
    }

    // A folder path of 260 characters or more stays in the list (its files come in)
    // but is not walked into.
    void longFolderPath() {
        const QString base = "/r/" + QString(250, u'a') + "/";  // 254 characters
        fs->addFile(base + "12345/in.aac");                     // folder of 260 with "/"
        fs->addFile(base + "12345/below/lost.aac");
        fs->addFile(base + "1234/in.aac");  // folder of 259
        fs->addFile(base + "1234/below/found.aac");
        const QStringList got = import("/r");
        QCOMPARE(got, (QStringList{base + "12345/in.aac", base + "1234/in.aac",
                                   base + "1234/below/found.aac"}));
    }

    // The same files whether the walk's read of a folder serves its import (settled)
    // or the folder is read again.
    void importFilters_data() {
        QTest::addColumn<bool>("settled");
        QTest::newRow("read once") << true;
        QTest::newRow("read again") << false;
    }
    void importFilters() {
        QFETCH(bool, settled);
        fs->setSettled(settled);
        fs->addFile("/r/a.aac");
        fs->addFile("/r/b.AAC");
        fs->addFile("/r/c.mp3");
        fs->addFile("/r/~tmp.aac");
        fs->addFile("/r/.h.aac", Hidden | Archive);              // 34: skipped
        fs->addFile("/r/.ro.aac", Hidden | Archive | ReadOnly);  // 35: taken
        fs->addFile("/r/sys.aac", Hidden | System | Archive);    // 38: taken
        fs->addFolder("/r/dir.aac");
        fs->addFile("/r/tolink.aac", Archive | ReparsePoint);  // link to a file
        fs->addFile("/r/odd.aac", Hidden | Archive);           // 34 without a dot
        fs->addFile("/r/pipe.aac", 0);                         // a FIFO, socket or device
        fs->addFile("/r/todevice.aac", ReparsePoint);          // link to one
        fs->addFile("/r/dir.aac/in.aac");
        QCOMPARE(import("/r"), (QStringList{"/r/a.aac", "/r/b.AAC", "/r/.ro.aac", "/r/sys.aac",
                                            "/r/tolink.aac", "/r/dir.aac/in.aac"}));
        fs->remove("/r/tolink.aac");
        fs->remove("/r/odd.aac");
        fs->remove("/r/dir.aac");
        // A drop takes every kind of file, but still not "~" names or 34.
        QCOMPARE(import("/r", "*.*"),
                 (QStringList{"/r/a.aac", "/r/b.AAC", "/r/c.mp3", "/r/.ro.aac", "/r/sys.aac"}));
    }

    // A change after the walk has read a folder shows in the files imported from it,
    // and a change between two scans shows in the second.
    void changesAfterTheWalk_data() {
        QTest::addColumn<bool>("betweenScans");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"/r/a.aac", "/r/b.aac", "/r/x/x.aac"};
        for (bool between : {false, true}) {
            const char* when = between ? "between scans: " : "after the walk: ";
            QTest::addRow("%sfile added", when)
                << between << "add"
                << QStringList{"/r/a.aac", "/r/b.aac", "/r/c.aac", "/r/x/x.aac"};
            QTest::addRow("%sfile removed", when)
                << between << "remove" << QStringList{"/r/b.aac", "/r/x/x.aac"};
            QTest::addRow("%sfile became a folder", when)
                << between << "folder" << QStringList{"/r/b.aac", "/r/x/x.aac"};
            QTest::addRow("%sfolder no longer searchable", when)
                << between << "search" << QStringList{"/r/x/x.aac"};
            QTest::addRow("%sdeeper folder changed", when)
                << between << "deeper" << QStringList{"/r/a.aac", "/r/b.aac", "/r/x/y.aac"};
            QTest::addRow("%snothing changed", when) << between << "none" << all;
        }
    }
    void changesAfterTheWalk() {
        QFETCH(bool, betweenScans);
        QFETCH(QString, change);
        QFETCH(QStringList, expected);
        fs->addFile("/r/a.aac");
        fs->addFile("/r/b.aac");
        fs->addFile("/r/x/x.aac");
        const auto apply = [&] {
            if (change == "add") fs->addFile("/r/c.aac");
            if (change == "remove" || change == "folder") fs->remove("/r/a.aac");
            if (change == "folder") fs->addFolder("/r/a.aac");
            if (change == "search") fs->setSearchable("/r", false);
            if (change == "deeper") {
                fs->remove("/r/x/x.aac");
                fs->addFile("/r/x/y.aac");
            }
        };
        if (betweenScans) {
            import("/r");
            apply();
        } else {
            // The walk of /r yields 2 + 1 + 1 times; the next yield is the import's first.
            onYield = [&] {
                if (yields == 5) apply();
            };
        }
        QCOMPARE(import("/r"), expected);
    }

    // A scan started while another one lets events through learns for itself, and
    // the other one goes on with what it knew.
    void scanInsideAScan() {
        fs->addFile("/r/a.aac");
        fs->addFile("/r/a.mp3");
        fs->addFile("/r/x/b.aac");
        fs->addFile("/r/x/b.mp3");
        QStringList inner;
        onYield = [&] {
            if (yields != 1) return;
            scan->ImportFolderTree("/r", "*.mp3", [&](const QString& p) { inner.append(p); });
        };
        QCOMPARE(import("/r"), (QStringList{"/r/a.aac", "/r/x/b.aac"}));
        QCOMPARE(inner, (QStringList{"/r/a.mp3", "/r/x/b.mp3"}));
    }

    // Nor does a walk started from inside a scan take the attributes that scan read:
    // here /r/x has turned hidden and system after the outer walk looked at it.
    void walkInsideAScan() {
        fs->addFile("/r/x/b.aac");
        QStringList innerList{"/r/"};
        onYield = [&] {
            if (yields != 4) return;  // the outer walk hands /r/x back
            fs->addFolder("/r/x", kHiddenSystem);
            scan->GetSubDirectories2016(innerList, true);
        };
        import("/r");
        QCOMPARE(innerList, QStringList{"/r/"});
    }

    // The walk's own failures show its box with the step, and the walk goes on.
    void walkFailureShowsItsBox() {
        fs->addFile("/r/a/a.aac");
        fs->addFile("/r/b/b.aac");
        fs->failOn("/r/a/", "Device not ready");
        QStringList list{"/r/"};
        scan->GetSubDirectories2016(list, true);
        QVERIFY(list.contains("/r/b/"));
        QVERIFY(boxes->count() > 0);
        const auto& box = boxes->boxes().front();
        QVERIFY(box.kind == FakeMessageBoxes::Kind::Error);
        QCOMPARE(box.title, QString("Application Error"));
        QVERIFY2(box.text.startsWith("Device not ready\r\n" + kWalkLocation + "at line 108\r\r"),
                 qPrintable(box.text));
    }

    // With the caller's runner, the import reports its own step numbers there and goes on.
    void importFailureUsesCallerBox() {
        fs->addFile("/r/a.aac");
        fs->addFile("/r/b.aac");
        StepRunner steps(*boxes, "in Caller ");
        QStringList out;
        scan->ImportFolderTree(
            "/r", "*.aac",
            [&](const QString& p) {
                if (p.endsWith("a.aac")) throw Failure("List full");
                out.append(p);
            },
            &steps);
        QCOMPARE(out, QStringList{"/r/b.aac"});
        QCOMPARE(boxes->count(), 1);
        QVERIFY(boxes->boxes().front().text.startsWith("List full\r\nin Caller at line 132"));
        // Without one, the failure reaches the caller.
        QVERIFY_THROWS_EXCEPTION(Failure, scan->ImportFolderTree("/r", "*.aac", [](const QString&) {
            throw Failure("List full");
        }));
    }

    void browseRemembersInitialFolder() {
        FakeShell shell;
        shell.folder = "/music";
        QCOMPARE(scan->BrowseForFolder(shell, "Please select folder:", "/last"), QString("/music"));
        QCOMPARE(scan->initialFolder(), QString("/last"));
        QCOMPARE(shell.browseCalls.first().second, QString("/last"));
        shell.folder = QString("/cut") + QChar(0) + "rest";
        QCOMPARE(scan->BrowseForFolder(shell, "t", ""), QString("/cut"));
        shell.folder.clear();
        QCOMPARE(scan->BrowseForFolder(shell, "t", "/x"), QString());
    }
};

QTEST_GUILESS_MAIN(TestAddFolder)
#include "tst_addfolder.moc"
