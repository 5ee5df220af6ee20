// The list at 1,000, 10,000 and 100,000 entries: restoring it from "Files" into the window,
// encoding it at close, one drag exchange, and one small save beside the long "Files".
// Prints each figure in milliseconds; run under a display (Xvfb is fine).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeView>

#include "app/form1.h"
#include "core/imessageboxes.h"
#include "platform/posix/posixfilesystem.h"
#include "platform/qt/filesettingsstore.h"
#include "playback/imediaengine.h"
#include "playlist/listeditor.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"
#include "playlist/playlistmodel.h"

namespace {
using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

class SilentEngine : public IMediaEngine {
public:
    bool load(const QString&) override { return false; }
    void run() override {}
    void pause() override {}
    void stop() override {}
    State state() const override { return State::Stopped; }
    double position() const override { return 0; }
    void setPosition(double) override {}
    double duration() const override { return 0; }
    double rate() const override { return 1; }
    void setRate(double) override {}
    int volume() const override { return 0; }
    void setVolume(int) override {}
    int balance() const override { return 0; }
    void setBalance(int) override {}
    bool hasAudio() const override { return false; }
};

class QuietBoxes : public IMessageBoxes {
public:
    void information(const QString&, const QString&) override {}
    bool question(const QString&, const QString&) override { return false; }
    void error(const QString&, const QString& text) override {
        std::fprintf(stderr, "box: %s\n", qPrintable(text));
    }
};
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::printf("%-9s %14s %12s %14s %16s %18s\n", "entries", "restore+show", "encode",
                "one exchange", "small save", "small save alone");
    for (int n : {1000, 10000, 100000}) {
        QTemporaryDir dir;
        FileSettingsStore store(dir.path() + "/Varnelta/Quaverly");
        QString files;
        for (int i = 0; i < n; ++i)
            files +=
                QStringLiteral("/home/someone/Music/Artist %1/Album/track %2.aac||MySeparator12||")
                    .arg(i % 97)
                    .arg(i);
        store.save(QStringLiteral("Files"), files);
        store.save(QStringLiteral("Snapshot"), QStringLiteral("x"));

        PosixFileSystem fs;
        SilentEngine engine;
        QuietBoxes boxes;
        Form1 form(dir.path());
        Form1::Services s;
        s.store = &store;
        s.boxes = &boxes;
        s.fs = &fs;
        s.engine = &engine;
        s.runPump = false;
        form.setServices(s);

        auto t0 = Clock::now();
        form.Form_Load();
        form.showCentred();
        QApplication::processEvents();
        const double restore = msSince(t0);

        t0 = Clock::now();
        const QString encoded = encodePlaylist(form.playlist().Texts());
        const double encode = msSince(t0);

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
        std::sort(times.begin(), times.end());
        const double exchange = times[times.size() / 2];
        form.listEditor().ListView1_MouseUp();

        t0 = Clock::now();
        store.save(QStringLiteral("Volume Level"), QStringLiteral("37"));
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
