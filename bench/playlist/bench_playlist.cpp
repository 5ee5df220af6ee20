// SPDX-License-Identifier: GPL-3.0-or-later
// The list at 1,000, 10,000 and 100,000 entries: restoring it from "Files" into the window,
// encoding it at close, one drag exchange, and one small save beside the long "Files".
// Then one long entry (5 and 50 million characters, beside an ordinary one): the time to
// restore and paint the window, and the process's peak memory, each in a process of its
// own. Prints each figure; run under a display (Xvfb is fine).
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeView>

#include "app/form1.h"
#include "benchkit.h"
#include "fakes/fakemediaengine.h"
#include "fakes/fakemessageboxes.h"
#include "platform/posix/posixfilesystem.h"
#include "platform/qt/filesettingsstore.h"
#include "playlist/listeditor.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"
#include "playlist/playlistmodel.h"

namespace {
using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

}  // namespace

// A window on a real store in a folder of its own, whose "Files" is `files`.
struct Window {
    QTemporaryDir dir;
    FileSettingsStore store{dir.path() + "/Varnelta/Quaverly"};
    PosixFileSystem fs;
    FakeMediaEngine engine;
    FakeMessageBoxes boxes;
    Form1 form{dir.path()};

    explicit Window(const QString& files) {
        store.save(QStringLiteral("Files"), files);
        store.save(QStringLiteral("Snapshot"), QStringLiteral("x"));
        Form1::Services s;
        s.store = &store;
        s.boxes = &boxes;
        s.fs = &fs;
        s.engine = &engine;
        engine.loadSucceeds = false;
        boxes.printErrors = true;
        s.runPump = false;
        form.setServices(s);
    }
    // Milliseconds from the load step to the list painted once.
    double restoreAndShow() {
        const auto t0 = Clock::now();
        form.Form_Load();
        form.showCentred();
        QApplication::processEvents();
        form.ListView1->viewport()->repaint();
        return msSince(t0);
    }
};

// In a process of its own: one entry of `chars` characters; prints the time and the peak.
int longEntry(qsizetype chars) {
    const QString entry = QStringLiteral("/music/") + QString(chars, u'x') + QStringLiteral(".aac");
    Window w(entry + QStringLiteral("||MySeparator12||"));
    const double ms = w.restoreAndShow();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.1f %ld\n", ms, usage.ru_maxrss / 1024);
    return 0;
}

void longEntries(const QString& self) {
    std::printf("%-22s %14s %12s\n", "one entry of", "restore+show", "peak memory");
    for (qsizetype chars : {qsizetype(100), qsizetype(5'000'000), qsizetype(50'000'000)}) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(self, {QStringLiteral("--long"), QString::number(chars)});
        child.waitForFinished(-1);
        double ms = 0;
        long mb = 0;
        if (std::sscanf(child.readAllStandardOutput().constData(), "%lf %ld", &ms, &mb) != 2) {
            std::printf("%-11lld characters: the child process failed\n", qlonglong(chars));
            continue;
        }
        std::printf("%-11lld characters %11.1f ms %9ld MB%s\n", qlonglong(chars), ms, mb,
                    chars == 100 ? "  (reference)" : "");
    }
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--long") == 0)
        return longEntry(QByteArray(argv[2]).toLongLong());
    longEntries(QCoreApplication::applicationFilePath());
    std::printf("\n");
    std::printf("%-9s %14s %12s %14s %16s %18s\n", "entries", "restore+show", "encode",
                "one exchange", "small save", "small save alone");
    for (int n : {1000, 10000, 100000}) {
        QString files;
        for (int i = 0; i < n; ++i)
            files +=
                QStringLiteral("/home/someone/Music/Artist %1/Album/track %2.aac||MySeparator12||")
                    .arg(i % 97)
                    .arg(i);
        Window w(files);
        Form1& form = w.form;
        const double restore = w.restoreAndShow();

        auto t0 = Clock::now();
        const QString encoded = encodePlaylist(form.playlist().Texts());
        const double encode = msSince(t0);
        if (decodePlaylist(encoded) != form.playlist().Texts())
            std::printf("the list read back from its text differs at %d entries\n", n);

        // One exchange in the middle of the list, as a drag makes it.
        Playlist& list = form.playlist();
        list.Select(n / 2);
        list.MakeVisible(n / 2);
        QApplication::processEvents();
        const QRect r = form.ListView1->visualRect(list.model()->index(n / 2, 0));
        const QRect below = form.ListView1->visualRect(list.model()->index(n / 2 + 1, 0));
        form.listEditor().ListView1_MouseDown();
        form.listEditor().ListView1_ItemClick();
        std::vector<double> times;
        for (int k = 0; k < 51; ++k) {  // back and forth over two rows; the median counts
            t0 = Clock::now();
            form.listEditor().ListView1_MouseMove((k % 2 ? r : below).center(), QPoint(400, 330));
            QApplication::processEvents();
            times.push_back(msSince(t0));
        }
        const double exchange = bench::stats(times).median;
        form.listEditor().ListView1_MouseUp();

        t0 = Clock::now();
        w.store.save(QStringLiteral("Volume Level"), QStringLiteral("37"));
        const double save = msSince(t0);

        QTemporaryDir alone;
        FileSettingsStore empty(alone.path());
        t0 = Clock::now();
        empty.save(QStringLiteral("Volume Level"), QStringLiteral("37"));
        const double saveAlone = msSince(t0);

        std::printf("%-9d %11.1f ms %9.1f ms %11.3f ms %13.3f ms %15.3f ms\n", n, restore, encode,
                    exchange, save, saveAlone);
        form.hide();
    }
    std::printf(
        "(reference: the same small save with no \"Files\" beside it is the last column)\n");
    return 0;
}
