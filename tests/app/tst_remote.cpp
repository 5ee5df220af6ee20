// SPDX-License-Identifier: GPL-3.0-or-later
// The remote side of the program without a bus: its command line, the window driven
// through RemoteWiring as a remote drives it, and which changes a remote is told of.
#include <QtTest>

#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "app/commandline.h"
#include "app/hotkeypump.h"
#include "fakes/fakehotkeyservice.h"
#include "fakes/remoterig.h"
#include "platform/dbus/mprisservice.h"

Q_DECLARE_METATYPE(CommandLine::Mode)

using namespace remoterig;

class TestRemote : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<CommandLine::Mode>("mode");
        QTest::addColumn<int>("action");  // -1: none
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("error");
        using M = CommandLine::Mode;
        QTest::newRow("nothing") << QStringList{} << M::Run << -1 << QStringList{} << "";
        QTest::newRow("files and a sink")
            << QStringList{"a.aac", "--audio-sink", "fakesink", "-", "--no-hot-keys", "dir"}
            << M::Run << -1 << QStringList{"a.aac", "-", "dir"} << "";
        QTest::newRow("after --") << QStringList{"--", "--audio-sink", "x", "-h"} << M::Run << -1
                                  << QStringList{"--audio-sink", "x", "-h"} << "";
        QTest::newRow("remote") << QStringList{"--play-pause"} << M::Remote
                                << int(PlayerAction::PlayPause) << QStringList{} << "";
        QTest::newRow("quit") << QStringList{"--quit"} << M::Remote << int(PlayerAction::Quit)
                              << QStringList{} << "";
        QTest::newRow("help wins")
            << QStringList{"--next", "-h"} << M::Help << -1 << QStringList{} << "";
        QTest::newRow("two remotes") << QStringList{"--next", "--stop"} << M::Error << -1
                                     << QStringList{} << "--stop and --next";
        QTest::newRow("remote with files") << QStringList{"--next", "a.aac"} << M::Error << -1
                                           << QStringList{} << "--next takes no files";
        QTest::newRow("two sinks") << QStringList{"--audio-sink", "a", "--audio-sink=b"} << M::Error
                                   << -1 << QStringList{} << "give --audio-sink once";
        QTest::newRow("sink without value")
            << QStringList{"--audio-sink"} << M::Error << -1 << QStringList{}
            << "Missing value after '--audio-sink'";
        QTest::newRow("value given to a flag")
            << QStringList{"--stop=1"} << M::Error << -1 << QStringList{}
            << "Unexpected value after '--stop'";
        QTest::newRow("unknown") << QStringList{"--shuffle"} << M::Error << -1 << QStringList{}
                                 << "Unknown option 'shuffle'";
        // Left to the application object, which takes its own options out first.
        QTest::newRow("the toolkit's") << QStringList{"-session", "x", "-style=fusion"} << M::Error
                                       << -1 << QStringList{} << "Unknown option";
        QTest::newRow("the toolkit's and an unknown one")
            << QStringList{"-platform", "x", "--bogus", "-style=fusion"} << M::Error << -1
            << QStringList{} << "Unknown option 'bogus'.";
    }
    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(CommandLine::Mode, mode);
        QFETCH(int, action);
        QFETCH(QStringList, paths);
        QFETCH(QString, error);
        const CommandLine c = parseCommandLine(QStringList{"quaverly"} + args);
        QCOMPARE(c.mode, mode);
        QVERIFY2(error.isEmpty() ? c.error.isEmpty() : c.error.contains(error),
                 qPrintable(c.error));
        QCOMPARE(c.toolkitMayKnow, args.value(0) == "-session");
        if (mode == CommandLine::Mode::Error) return;
        QCOMPARE(c.paths, paths);
        if (mode == CommandLine::Mode::Remote) QCOMPARE(int(*c.remote), action);
        for (const QString& line : usage().split('\n'))
            QVERIFY2(line.size() <= 80, qPrintable(line));
        QVERIFY(!usage().contains("track"));
    }

    // Each request runs the handler of the button that does the same, from each state.
    void transport_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<QList<int>>("before");  // requests that set the state up
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("caption1");
        QTest::addColumn<QString>("caption4");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("messages");
        using A = PlayerAction;
        const int playing = int(PlaybackStatus::Playing), paused = int(PlaybackStatus::Paused),
                  stopped = int(PlaybackStatus::Stopped);
        QTest::newRow("play") << 2 << QList<int>{} << int(A::Play) << kStop << kPause << playing
                              << QStringList{};
        QTest::newRow("play while playing") << 2 << QList<int>{int(A::Play)} << int(A::Play)
                                            << kStop << kPause << playing << QStringList{};
        QTest::newRow("pause") << 2 << QList<int>{int(A::Play)} << int(A::Pause) << kStop << kResume
                               << paused << QStringList{};
        QTest::newRow("pause when stopped: no box")
            << 2 << QList<int>{} << int(A::Pause) << kStart << kPause << stopped << QStringList{};
        QTest::newRow("play resumes")
            << 2 << QList<int>{int(A::Play), int(A::Pause)} << int(A::Play) << kStop << kPause
            << playing << QStringList{};
        QTest::newRow("play-pause starts") << 2 << QList<int>{} << int(A::PlayPause) << kStop
                                           << kPause << playing << QStringList{};
        QTest::newRow("play-pause pauses") << 2 << QList<int>{int(A::Play)} << int(A::PlayPause)
                                           << kStop << kResume << paused << QStringList{};
        QTest::newRow("stop while paused")
            << 2 << QList<int>{int(A::Play), int(A::Pause)} << int(A::Stop) << kStart << kPause
            << stopped << QStringList{};
        QTest::newRow("next while paused")
            << 2 << QList<int>{int(A::Play), int(A::Pause)} << int(A::Next) << kStop << kPause
            << playing << QStringList{};
        QTest::newRow("previous when stopped")
            << 2 << QList<int>{} << int(A::Previous) << kStop << kPause << playing << QStringList{};
        // The boxes of the buttons, and a second Play tries again as a second press would.
        QTest::newRow("play on an empty list")
            << 0 << QList<int>{int(A::Play)} << int(A::Play) << kStop << kPause << stopped
            << QStringList{"No files added.", "No files added."};
        QTest::newRow("next on an empty list")
            << 0 << QList<int>{} << int(A::Next) << kStop << kPause << stopped
            << QStringList{"No files added."};
        QTest::newRow("stop after a rejected start")
            << 0 << QList<int>{int(A::Play)} << int(A::Stop) << kStart << kPause << stopped
            << QStringList{"No files added."};
    }
    void transport() {
        QFETCH(int, files);
        QFETCH(QList<int>, before);
        QFETCH(int, action);
        RemoteRig rig(files);
        for (int a : before) QVERIFY(rig.ask(PlayerAction(a)));
        QVERIFY(rig.ask(PlayerAction(action)));
        QTEST(rig.form->PushButton1->text(), "caption1");
        QTEST(rig.form->PushButton4->text(), "caption4");
        QTEST(int(rig.status()), "status");
        QTEST(rig.messages(), "messages");
    }

    void nextAndPreviousFollowTheList() {
        RemoteRig rig(3);
        rig.ask(PlayerAction::Play);
        QCOMPARE(rig.remote->state().track, tracks(3)[0]);
        rig.ask(PlayerAction::Next);
        QCOMPARE(rig.remote->state().track, tracks(3)[1]);
        rig.ask(PlayerAction::Previous);
        rig.ask(PlayerAction::Previous);
        QCOMPARE(rig.remote->state().track, tracks(3)[2]);
        QCOMPARE(rig.remote->state().lengthUs, qint64(60'000'000));
        rig.remote->setPositionUs(12'500'000);
        QCOMPARE(rig.engine.currentPosition, 12.5);
        rig.engine.currentPosition = 20.25;
        QCOMPARE(rig.remote->positionUs(), qint64(20'250'000));
    }

    // Files from outside: added once, the first one given plays now whatever plays,
    // folders scanned as a drop scans them; held back while a message waits.
    void filesFromOutside_data() {
        QTest::addColumn<QList<int>>("before");  // requests that set the state up
        QTest::addColumn<bool>("boxOpen");
        QTest::addColumn<QStringList>("open");
        QTest::addColumn<QStringList>("added");
        QTest::addColumn<int>("selected");
        const QList<int> playing{int(PlayerAction::Play)},
            paused{int(PlayerAction::Play), int(PlayerAction::Pause)};
        const QString listed = tracks(3)[1];
        QTest::newRow("new, stopped")
            << QList<int>{} << false << QStringList{"/one.aac"} << QStringList{"/one.aac"} << 4;
        QTest::newRow("new, while playing")
            << playing << false << QStringList{"/one.aac", "/new"}
            << QStringList{"/one.aac", "/new/b.aac", "/new/sub/c.aac"} << 4;
        QTest::newRow("listed, while paused")
            << paused << false << QStringList{listed} << QStringList{} << 2;
        QTest::newRow("a folder, one file listed")
            << playing << false << QStringList{"/new", "/music"}
            << QStringList{"/new/b.aac", "/new/sub/c.aac"} << 4;
        QTest::newRow("the same file twice")
            << QList<int>{} << false << QStringList{"/one.aac", "/one.aac"}
            << QStringList{"/one.aac"} << 4;
        QTest::newRow("while a box is open")
            << playing << true << QStringList{"/one.aac"} << QStringList{"/one.aac"} << 4;
    }
    void filesFromOutside() {
        QFETCH(QList<int>, before);
        QFETCH(bool, boxOpen);
        QFETCH(QStringList, open);
        QFETCH(QStringList, added);
        QFETCH(int, selected);
        RemoteRig rig(3);
        rig.fs.addFile("/new/b.aac");
        rig.fs.addFile("/new/sub/c.aac");
        rig.fs.addFile("/music/Track 2.aac");  // in the list already
        rig.fs.addFile("/one.aac");
        for (int a : before) QVERIFY(rig.ask(PlayerAction(a)));
        auto box = std::make_unique<QDialog>();
        if (boxOpen) {
            box->setModal(true);
            box->show();
            QVERIFY(QApplication::activeModalWidget());
        }
        QCOMPARE(rig.remote->open(open), OpenResult::Taken);
        QCoreApplication::processEvents();
        if (boxOpen) {
            QCOMPARE(rig.texts(), tracks(3));  // held back, not lost
            box.reset();
            QTRY_COMPARE(rig.texts().size(), 3 + added.size());
        }
        QCoreApplication::processEvents();
        QCOMPARE(rig.texts(), tracks(3) + added);
        QCOMPARE(rig.form->playlist().Selected(), selected);
        QCOMPARE(rig.remote->state().track, rig.texts()[selected - 1]);
        QCOMPARE(rig.status(), PlaybackStatus::Playing);
        QCOMPARE(rig.boxes.count(), 0);
        QCOMPARE(rig.remote->open({"/a||MySeparator12||b.aac"}), OpenResult::BadPath);
    }

    // A flood waits as one request of each kind; Quit overtakes it, and nothing follows.
    void floodIsCoalescedAndQuitOvertakes() {
        RemoteRig rig(3);
        rig.ask(PlayerAction::Play);
        for (int i = 0; i < 3000; ++i) rig.remote->request(PlayerAction::Next);
        QCoreApplication::processEvents();
        QCOMPARE(rig.remote->state().track, tracks(3)[1]);
        rig.remote->request(PlayerAction::Next);
        rig.remote->request(PlayerAction::Quit);
        QCoreApplication::processEvents();
        QCOMPARE(rig.ended, 1);
        QCOMPARE(rig.remote->state().track, tracks(3)[1]);
        QCOMPARE(rig.remote->open({tracks(3)[0]}), OpenResult::Closing);
    }

    // Written as the slider and option handlings write them, and read back.
    void slidersAndOptions() {
        RemoteRig rig(1);
        rig.remote->setVolume(0.37);
        QCOMPARE(rig.store.value("Volume Level"), QStringLiteral("37"));
        QCOMPARE(rig.form->Frame3->title(), QStringLiteral("Volume Level = 37"));
        rig.remote->setVolume(-2);
        QCOMPARE(rig.store.value("Volume Level"), QStringLiteral("0"));
        QCOMPARE(rig.remote->state().volume, 0.0);

        rig.remote->setShuffle(true);
        QCOMPARE(rig.store.value("Option1") + rig.store.value("Option2"), QStringLiteral("10"));
        rig.remote->setShuffle(true);  // a second click keeps the choice
        QVERIFY(rig.form->Option1->isChecked());
        QVERIFY(rig.remote->state().shuffle);
        rig.remote->setShuffle(false);
        QCOMPARE(rig.store.value("Option1") + rig.store.value("Option2"), QStringLiteral("01"));

        rig.ask(PlayerAction::Play);
        rig.remote->setRate(0.5);
        QCOMPARE(rig.form->Speed->value(), 25);
        QCOMPARE(rig.engine.currentRate, 0.5);
        rig.remote->setRate(9);
        QCOMPARE(rig.remote->state().rate, 2.0);
        rig.remote->setRate(0.01);
        QCOMPARE(rig.remote->state().rate, 0.1);
        QCOMPARE(rig.remote->state().minRate, 0.1);
    }

    // While a message waits for an answer, only Raise and Quit are taken.
    void refusedWhileAMessageWaits() {
        RemoteRig rig(2);
        QDialog box;
        box.setModal(true);
        box.show();
        QVERIFY(QApplication::activeModalWidget());
        QVERIFY(!rig.remote->request(PlayerAction::Play));
        QVERIFY(rig.remote->request(PlayerAction::Quit));
        QCoreApplication::processEvents();
        QCOMPARE(rig.ended, 1);  // the closing handling ran
        QCOMPARE(rig.form->PushButton1->text(), kStart);
        QCOMPARE(rig.store.value("Files"),
                 tracks(2).join("||MySeparator12||") + QStringLiteral("||MySeparator12||"));
    }

    // After a start that was refused, the captions read as started while nothing plays:
    // the Play media key and the remote's Play both take that for stopped, and both start.
    void refusedStartThenPlay_data() {
        QTest::addColumn<bool>("mediaKey");
        QTest::newRow("Play media key") << true;
        QTest::newRow("the remote's Play") << false;
    }
    void refusedStartThenPlay() {
        QFETCH(bool, mediaKey);
        FakeHotKeyService keys;  // outlives the window, whose pump lets go of it last
        FormRig rig;
        rig.addFiles({tracks(2)[1]});  // the first entry is gone
        rig.store.set("Option1", "0");
        rig.store.set("Option2", "1");
        rig.store.set("Files", tracks(2).join("||MySeparator12||") + "||MySeparator12||");
        rig.make([&](Form1::Services& s) { s.hotKeys = &keys; });
        rig.form->Form_Load();
        RemoteWiring remote(*rig.form);
        rig.form->PushButton1_Click();
        QCOMPARE(rig.messages(), QStringList{"File selected does not exists."});
        QCOMPARE(rig.form->PushButton1->text(), kStop);
        QCOMPARE(remote.state().status, PlaybackStatus::Stopped);
        if (mediaKey) {
            keys.press(HotKeyPump::MediaKeyIdBase + quint32(IHotKeyService::MediaKey::Play));
            QTimer::singleShot(50, [&] { rig.form->pump()->StopPump = true; });
            rig.form->pump()->Timer1_Timer();
        } else {
            QVERIFY(remote.request(PlayerAction::Play));
            QTRY_COMPARE(rig.engine.loadCount, 1);
        }
        QCOMPARE(remote.state().status, PlaybackStatus::Playing);
        QCOMPARE(rig.engine.loadedPath, tracks(2)[1]);
        QCOMPARE(rig.form->PushButton1->text(), kStop);
        QCOMPARE(rig.messages().size(), 1);
    }

    void changesARemoteIsToldOf() {
        PlayerState a;
        a.volume = 0.5;
        PlayerState b = a;
        QVERIFY(MprisService::changedProperties(a, b).isEmpty());
        b.status = PlaybackStatus::Playing;
        b.track = QStringLiteral("/music/a b.x.aac");
        QCOMPARE(MprisService::changedProperties(a, b).keys(),
                 QStringList({"Metadata", "PlaybackStatus"}));
        PlayerState c = b;
        c.lengthUs = 5'000'000;  // the length became known
        c.shuffle = true;
        QCOMPARE(MprisService::changedProperties(b, c).keys(),
                 QStringList({"CanSeek", "Metadata", "Shuffle"}));
        PlayerState d = c;
        d.entries = 2;  // the list is no longer empty
        QCOMPARE(MprisService::changedProperties(c, d).keys(),
                 QStringList({"CanGoNext", "CanGoPrevious", "CanPause", "CanPlay"}));
        const QVariantMap m = MprisService::metadata(c);
        QCOMPARE(m.value("xesam:title").toString(), QStringLiteral("a b.x"));
        QCOMPARE(m.value("xesam:url").toString(), QStringLiteral("file:///music/a%20b.x.aac"));
        QCOMPARE(m.value("mpris:length").toLongLong(), 5'000'000);
        QVERIFY(MprisService::trackId(c.track).startsWith("/com/varnelta/Quaverly/track/"));
        QVERIFY(MprisService::trackId(c.track) != MprisService::trackId("/music/other.aac"));
        QVERIFY(!MprisService::metadata(a).contains("xesam:url"));
    }
};

QTEST_MAIN(TestRemote)
#include "tst_remote.moc"
