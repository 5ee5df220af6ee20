// SPDX-License-Identifier: GPL-3.0-or-later
// Folder scan against find(1) on the same generated tree, warm cache, same run.
// Usage: bench_scan                 generated tree, scan against find
//        bench_scan --make FOLDER   only make the tree in FOLDER
//        bench_scan FOLDER          one timed scan of FOLDER (for example "/")
#include <algorithm>
#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include "fakes/fakemessageboxes.h"
#include "platform/posix/posixfilesystem.h"
#include "playlist/addfolder.h"
#include "playlist/mainpaths.h"

namespace {

constexpr int kFolders = 2000;
constexpr int kFilesPerFolder = 20;
constexpr int kBranching = 4;
constexpr int kRuns = 5;

// 2,000 folders, breadth-first, four children each, at most six levels below the root;
// 20 files in each; one in four ".aac", one in five of those ".AAC".
void makeTree(const QString& root) {
    QStringList level{root};
    int made = 0, depth = 0, file = 0;
    QList<QString> all;
    while (made < kFolders && depth < 6) {
        QStringList next;
        for (const QString& parent : level) {
            for (int c = 0; c < kBranching && made < kFolders; ++c, ++made) {
                const QString folder = parent + QStringLiteral("/f%1").arg(made);
                QDir().mkdir(folder);
                next.append(folder);
                all.append(folder);
            }
        }
        level = next;
        ++depth;
    }
    for (const QString& folder : all) {
        for (int i = 0; i < kFilesPerFolder; ++i, ++file) {
            QString name = QStringLiteral("/track%1").arg(file);
            if (file % 4 == 0)
                name += (file / 4) % 5 == 0 ? QStringLiteral(".AAC") : QStringLiteral(".aac");
            else
                name += file % 4 == 1 ? QStringLiteral(".mp3") : QStringLiteral(".txt");
            QFile f(folder + name);
            f.open(QIODevice::WriteOnly);
        }
    }
}

struct ScanResult {
    qint64 ns = 0;
    qint64 longestGapNs = 0;
    qsizetype files = 0;
    int yields = 0;
};

ScanResult runScan(const QString& root,
                   std::chrono::milliseconds settle = std::chrono::seconds(2)) {
    PosixFileSystem fs(settle);
    FakeMessageBoxes boxes;
    boxes.printErrors = true;
    QElapsedTimer clock;
    qint64 last = 0;
    ScanResult r;
    AddFolder scan(fs, boxes, [&] {
        QCoreApplication::processEvents();
        const qint64 now = clock.nsecsElapsed();
        r.longestGapNs = std::max(r.longestGapNs, now - last);
        last = now;
        ++r.yields;
    });
    QStringList list;
    clock.start();
    scan.ImportFolderTree(root, QStringLiteral("*.aac"), [&](const QString& p) { list.append(p); });
    r.ns = clock.nsecsElapsed();
    r.longestGapNs = std::max(r.longestGapNs, r.ns - last);
    r.files = list.size();
    return r;
}

qint64 runFind(const QString& root) {
    QProcess find;
    find.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    find.start(QStringLiteral("find"), {root, QStringLiteral("-iname"), QStringLiteral("*.aac")});
    find.waitForFinished(-1);
    return clock.nsecsElapsed();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QString root = dir.path();
    if (argc > 2 && qstrcmp(argv[1], "--make") == 0) {
        QDir().mkpath(QString::fromLocal8Bit(argv[2]));
        makeTree(QString::fromLocal8Bit(argv[2]));
        return 0;
    }
    if (argc > 1) {
        root = QString::fromLocal8Bit(argv[1]);
        const ScanResult r = runScan(root);
        std::printf("scan of %s: %.1f ms, %lld files, %d yields, longest gap %.1f ms\n",
                    qPrintable(root), r.ns / 1e6, static_cast<long long>(r.files), r.yields,
                    r.longestGapNs / 1e6);
        // Where the walk went: kernel folders must not appear, and no folder twice.
        PosixFileSystem fs;
        FakeMessageBoxes boxes;
        boxes.printErrors = true;
        AddFolder walk(fs, boxes, [] {});
        QStringList folders{root + u'/'};
        walk.GetSubDirectories2016(folders, true);
        int kernel = 0;
        for (const QString& f : std::as_const(folders)) {
            const QString c = CollapseBackslashes(f);
            kernel += c.startsWith(QStringLiteral("/proc/")) ||
                      c.startsWith(QStringLiteral("/sys/")) ||
                      c.startsWith(QStringLiteral("/dev/"));
        }
        const qsizetype repeated = folders.removeDuplicates();
        std::printf(
            "%lld folders walked (%lld twice), %d under /proc, /sys or /dev, %d boxes, "
            "deepest %lld chars\n",
            static_cast<long long>(folders.size()), static_cast<long long>(repeated), kernel,
            boxes.count(),
            static_cast<long long>(std::max_element(folders.begin(), folders.end(),
                                                    [](const QString& a, const QString& b) {
                                                        return a.size() < b.size();
                                                    })
                                       ->size()));
        return 0;
    }
    makeTree(root);
    // A library being scanned is not being written to: let the new tree settle, or
    // every folder would be read twice as if it had just changed.
    QThread::msleep(2500);
    runFind(root);  // warm the cache for both
    runScan(root);

    qint64 bestScan = -1, bestFind = -1, bestUnsettled = -1, worstGap = 0;
    ScanResult last;
    for (int i = 0; i < kRuns; ++i) {
        const qint64 f = runFind(root);
        last = runScan(root);
        // As if every folder had just changed: each is read again for its files.
        const qint64 unsettled = runScan(root, std::chrono::hours(24)).ns;
        bestFind = bestFind < 0 ? f : std::min(bestFind, f);
        bestScan = bestScan < 0 ? last.ns : std::min(bestScan, last.ns);
        bestUnsettled = bestUnsettled < 0 ? unsettled : std::min(bestUnsettled, unsettled);
        worstGap = std::max(worstGap, last.longestGapNs);
    }
    std::printf("tree: %d folders, %d files; scan found %lld .aac files\n", kFolders,
                kFolders * kFilesPerFolder, static_cast<long long>(last.files));
    std::printf("find -iname '*.aac' (reference): %.1f ms (best of %d)\n", bestFind / 1e6, kRuns);
    std::printf("ImportFolderTree:                %.1f ms (best of %d)\n", bestScan / 1e6, kRuns);
    std::printf("ratio scan/find: %.2f (goal <= 1.5)\n", double(bestScan) / double(bestFind));
    std::printf("every folder just changed:       %.1f ms (best of %d), ratio %.2f\n",
                bestUnsettled / 1e6, kRuns, double(bestUnsettled) / double(bestFind));
    std::printf("longest stretch between event processing: %.1f ms (goal < 50), %d yields\n",
                worstGap / 1e6, last.yields);
    return 0;
}
