// SPDX-License-Identifier: GPL-3.0-or-later
#include <QTest>

#include "fakes/fakefilesystem.h"
#include "fakes/fakemessageboxes.h"
#include "fakes/fakesettingsstore.h"
#include "fakes/fakeshell.h"
#include "platform/posix/posixfilesystem.h"
#include "playlist/samples.h"

class TestSamples : public QObject {
    Q_OBJECT

    FakeFileSystem fs;
    FakeSettingsStore store;
    FakeMessageBoxes boxes;
    FakeShell shell;
    QStringList playlist;

    SampleLoadContext context() {
        return SampleLoadContext{store,
                                 fs,
                                 boxes,
                                 shell,
                                 QStringLiteral("Quaverly"),
                                 QStringLiteral("/opt/q"),
                                 [this](const QString& p) { return playlist.contains(p); },
                                 [this](const QString& p) { playlist.append(p); }};
    }

private Q_SLOTS:
    void init() {
        fs = FakeFileSystem();
        store = FakeSettingsStore();
        boxes = FakeMessageBoxes();
        shell = FakeShell();
        playlist.clear();
    }

    void snapshotListsEveryFileInOrder() {
        fs.addFile("/opt/q/Samples/b.aac");
        fs.addFile("/opt/q/Samples/~a.aac");
        fs.addFile("/opt/q/Samples/.hidden", FileAttr::Hidden | FileAttr::Archive);
        fs.addFile("/opt/q/Samples/notes");
        fs.addFolder("/opt/q/Samples/sub");
        fs.addFile("/opt/q/Samples/sub/deep.aac");
        QVERIFY(SamplesSnapshotMissing(store));
        const QString expected =
            "/opt/q/Samples/b.aac|/opt/q/Samples/~a.aac|/opt/q/Samples/.hidden|"
            "/opt/q/Samples/notes";
        QCOMPARE(TakeSamplesSnapshot(store, fs, "/opt/q"), expected);
        QCOMPARE(store.value("Snapshot"), expected);
        QVERIFY(!SamplesSnapshotMissing(store));
    }

    void emptyOrMissingFolderGivesEmptySnapshot() {
        QCOMPARE(TakeSamplesSnapshot(store, fs, "/opt/q"), QString());
        QVERIFY(store.contains("Snapshot"));
        QVERIFY(SamplesSnapshotMissing(store));
        fs.addFolder("/opt/q/Samples");
        QCOMPARE(TakeSamplesSnapshot(store, fs, "/opt/q"), QString());
        LoadSampleFiles(context());
        QVERIFY(playlist.isEmpty());
        QCOMPARE(boxes.count(), 1);
    }

    void snapshotStoreFailurePropagates() {
        store.setFailSaves(true);
        QVERIFY_THROWS_EXCEPTION(Failure, TakeSamplesSnapshot(store, fs, "/opt/q"));
    }

    // Twice: added once, asked both times; an entry equal by exact text is not added
    // again, one differing only in case is.
    void loadAddsEachSampleOnceAndAlwaysAsks() {
        fs.addFile("/opt/q/Samples/a.aac");
        fs.addFile("/opt/q/Samples/b.aac");
        fs.addFile("/opt/q/Samples/c.aac");
        TakeSamplesSnapshot(store, fs, "/opt/q");
        playlist = {"/opt/q/Samples/a.aac", "/opt/q/Samples/B.aac"};
        QCOMPARE(LoadSampleFiles(context()), 2);
        QCOMPARE(LoadSampleFiles(context()), 0);
        QCOMPARE(playlist, (QStringList{"/opt/q/Samples/a.aac", "/opt/q/Samples/B.aac",
                                        "/opt/q/Samples/b.aac", "/opt/q/Samples/c.aac"}));
        QCOMPARE(boxes.count(), 2);
        for (const auto& box : boxes.boxes()) {
            QVERIFY(box.kind == FakeMessageBoxes::Kind::Question);
            QCOMPARE(box.title, QString("Quaverly"));
            QCOMPARE(box.text, kOpenSamplesQuestion);
        }
        QVERIFY(shell.openedFolders.isEmpty());
    }

    // The record, not the folder, decides: a deleted sample is skipped, a new file ignored.
    void loadReadsTheRecordNotTheFolder() {
        fs.addFile("/opt/q/Samples/a.aac");
        fs.addFile("/opt/q/Samples/b.aac");
        TakeSamplesSnapshot(store, fs, "/opt/q");
        fs.remove("/opt/q/Samples/a.aac");
        fs.addFile("/opt/q/Samples/new.aac");
        LoadSampleFiles(context());
        QCOMPARE(playlist, QStringList{"/opt/q/Samples/b.aac"});
    }

    void yesOpensTheSamplesFolder() {
        boxes.setDefaultAnswer(true);
        LoadSampleFiles(context());
        QCOMPARE(shell.openedFolders, QStringList{"/opt/q/Samples/"});
    }

    // The files we ship: short ADTS streams, each small enough to keep the package light.
    void shippedSamples() {
        PosixFileSystem disk;
        const QString folder = QStringLiteral(QUAVERLY_SOURCE_DIR "/assets/beside");
        const QStringList paths = TakeSamplesSnapshot(store, disk, folder).split(u'|');
        QVERIFY(paths.size() >= 3);
        for (const QString& path : paths) {
            QVERIFY2(path.endsWith(".aac") && !path.contains('|'), qPrintable(path));
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QVERIFY2(f.size() < 200 * 1024, qPrintable(path));
            const QByteArray head = f.read(2);
            QVERIFY2(
                head.size() == 2 && quint8(head[0]) == 0xFF && (quint8(head[1]) & 0xF6) == 0xF0,
                qPrintable(path));
        }
    }

    void missingSnapshotAddsNothingButAsks() {
        LoadSampleFiles(context());
        QVERIFY(playlist.isEmpty());
        QCOMPARE(boxes.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSamples)
#include "tst_samples.moc"
