// SPDX-License-Identifier: GPL-3.0-or-later
// The window on the session bus as the desktop's media controls see it: a private bus,
// the real playerctl as the client, and the window (on fakes) answering in this process.
#include <QtTest>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTcpServer>

#include <sys/stat.h>

#include <limits>

#include "fakes/aacfixture.h"
#include "fakes/fakeplayercontrol.h"
#include "fakes/privatebus.h"
#include "fakes/processpeak.h"
#include "fakes/remoterig.h"
#include "fakes/xvfbsession.h"
#include "platform/dbus/mprisservice.h"
#include "platform/gst/gsttagreader.h"

namespace {
PrivateBus* g_bus = nullptr;
XvfbSession* g_display = nullptr;

struct Ran {
    int code = -1;
    QString out;
};

// Runs playerctl against our player while this process goes on serving the bus.
Ran playerctl(const QStringList& args) {
    QProcess p;
    QEventLoop loop;
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    p.start(QStringLiteral("playerctl"), QStringList{"--player=quaverly"} + args);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::processEvents();  // what the request queued runs now
    return {p.state() == QProcess::NotRunning ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()).trimmed()};
}

}  // namespace

using namespace remoterig;

// What the player signals, seen from another connection as a desktop would see it.
class Recorder : public QObject {
    Q_OBJECT
public:
    QStringList changed;  // property names, in order
    QList<qlonglong> seeked;
public Q_SLOTS:
    void onChanged(const QString&, const QVariantMap& props, const QStringList&) {
        changed << props.keys();
    }
    void onSeeked(qlonglong position) { seeked << position; }
};

// The window on fakes, with the bus service over its remote wiring.
struct BusRig : RemoteRig {
    std::unique_ptr<MprisService> service;
    explicit BusRig(int n) : RemoteRig(n) {
        service = std::make_unique<MprisService>(*remote);
        QString reason;
        if (!service->publish(&reason)) qWarning() << "not on the bus:" << reason;
        QDBusConnection::sessionBus().registerService(MprisService::kServiceName);
    }
    ~BusRig() { QDBusConnection::sessionBus().unregisterService(MprisService::kServiceName); }
};

// The bus service over a fake player, and a second connection that calls it.
struct FakeBusRig {
    FakePlayerControl player;
    MprisService service;
    QDBusConnection caller = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "caller");
    explicit FakeBusRig(ITagReader* tags = nullptr) : service(player, tags) {
        QString reason;
        if (!service.publish(&reason)) qWarning() << "not on the bus:" << reason;
        QDBusConnection::sessionBus().registerService(MprisService::kServiceName);
    }
    ~FakeBusRig() {
        QDBusConnection::sessionBus().unregisterService(MprisService::kServiceName);
        QDBusConnection::disconnectFromBus("caller");
    }
    // The error's name, or empty for a reply.
    QString call(const QString& interface, const QString& method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            MprisService::kServiceName, MprisService::kObjectPath, interface, method);
        m.setArguments(args);
        const QDBusMessage reply = caller.call(m, QDBus::BlockWithGui, 10000);
        return reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString();
    }
};

class TestE2EMpris : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        if (!g_display->ok()) QSKIP(qPrintable(g_display->skipReason));
        if (!g_bus->ok()) QSKIP(qPrintable(g_bus->skipReason));
        if (QStandardPaths::findExecutable("playerctl").isEmpty())
            QSKIP("playerctl is not installed");
    }

    // playerctl's commands, one after another, and what the window shows after them.
    void transport_data() {
        QTest::addColumn<int>("files");
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("caption1");
        QTest::addColumn<QString>("caption4");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("at start") << 3 << QStringList{} << "Stopped" << kStart << kPause << ""
                                  << QStringList{};
        QTest::newRow("play") << 3 << QStringList{"play"} << "Playing" << kStop << kPause
                              << "Track 1" << QStringList{};
        QTest::newRow("pause") << 3 << QStringList{"play", "pause"} << "Paused" << kStop << kResume
                               << "Track 1" << QStringList{};
        QTest::newRow("play-pause resumes")
            << 3 << QStringList{"play", "pause", "play-pause"} << "Playing" << kStop << kPause
            << "Track 1" << QStringList{};
        QTest::newRow("next") << 3 << QStringList{"play", "next"} << "Playing" << kStop << kPause
                              << "Track 2" << QStringList{};
        QTest::newRow("previous wraps") << 3 << QStringList{"play", "previous"} << "Playing"
                                        << kStop << kPause << "Track 3" << QStringList{};
        QTest::newRow("stop") << 3 << QStringList{"play", "stop"} << "Stopped" << kStart << kPause
                              << "Track 1" << QStringList{};
    }
    void transport() {
        QFETCH(int, files);
        QFETCH(QStringList, commands);
        BusRig rig(files);
        for (const QString& c : commands) QCOMPARE(playerctl({c}).code, 0);
        QTEST(playerctl({"status"}).out, "status");
        QTEST(rig.form->PushButton1->text(), "caption1");
        QTEST(rig.form->PushButton4->text(), "caption4");
        QTEST(playerctl({"metadata", "title"}).out, "title");
        QTEST(rig.messages(), "messages");
    }

    void metadataAndPosition() {
        BusRig rig(2);
        Recorder rec;
        QDBusConnection observer =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "observer");
        QVERIFY(observer.connect(QString(), MprisService::kObjectPath,
                                 "org.mpris.MediaPlayer2.Player", "Seeked", &rec,
                                 SLOT(onSeeked(qlonglong))));
        QCOMPARE(playerctl({"metadata", "mpris:trackid"}).out,
                 QStringLiteral("'/org/mpris/MediaPlayer2/TrackList/NoTrack'"));
        QCOMPARE(playerctl({"play"}).code, 0);
        const Ran meta =
            playerctl({"metadata", "--format", "{{xesam:url}}|{{xesam:title}}|{{mpris:length}}"});
        QCOMPARE(meta.out, QStringLiteral("file:///music/Track%201.aac|Track 1|60000000"));
        QVERIFY(
            playerctl({"metadata", "mpris:trackid"}).out.startsWith("'/com/varnelta/Quaverly/"));

        rig.engine.currentPosition = 12.5;
        // playerctl adds the time since it read the position while playing: no more than
        // the time it ran.
        QElapsedTimer ran;
        ran.start();
        const double position = playerctl({"position"}).out.toDouble();
        QVERIFY2(position >= 12.5 && position <= 12.5 + ran.elapsed() / 1000.0 + 0.01,
                 qPrintable(QString::number(position)));
        QCOMPARE(playerctl({"position", "30"}).code, 0);  // SetPosition with the trackid
        QCOMPARE(rig.engine.currentPosition, 30.0);
        QCOMPARE(playerctl({"position", "5-"}).code, 0);  // Seek
        QCOMPARE(rig.engine.currentPosition, 25.0);
        QTRY_COMPARE(rec.seeked, (QList<qlonglong>{30'000'000, 25'000'000}));
        QCOMPARE(playerctl({"position", "100+"}).code, 0);  // past the end: the next track
        QCOMPARE(playerctl({"metadata", "title"}).out, QStringLiteral("Track 2"));
        QDBusConnection::disconnectFromBus("observer");
    }

    // Written through the slider's and the option buttons' handlings into the settings.
    void volumeShuffleAndRate() {
        BusRig rig(1);
        QCOMPARE(playerctl({"volume"}).out, QStringLiteral("0.500000"));
        QCOMPARE(playerctl({"volume", "0.37"}).code, 0);
        QCOMPARE(rig.store.value("Volume Level"), QStringLiteral("37"));
        QCOMPARE(rig.form->Frame3->title(), QStringLiteral("Volume Level = 37"));
        QCOMPARE(playerctl({"shuffle", "On"}).code, 0);
        QCOMPARE(rig.store.value("Option1") + rig.store.value("Option2"), QStringLiteral("10"));
        QCOMPARE(playerctl({"shuffle"}).out, QStringLiteral("On"));
        QCOMPARE(playerctl({"shuffle", "Off"}).code, 0);
        QCOMPARE(rig.store.value("Option1") + rig.store.value("Option2"), QStringLiteral("01"));
        QCOMPARE(playerctl({"loop"}).out, QStringLiteral("Playlist"));
        playerctl({"loop", "None"});  // refused: the list always wraps
        QCOMPARE(playerctl({"loop"}).out, QStringLiteral("Playlist"));
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(MprisService::kServiceName, MprisService::kObjectPath,
                                           "org.freedesktop.DBus.Properties", "Set")
            << "org.mpris.MediaPlayer2.Player"
            << "Rate" << QVariant::fromValue(QDBusVariant(1.5)));
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QCOMPARE(rig.form->Speed->value(), 75);
    }

    // Whatever changed it, a remote hears of it, once.
    void propertiesChangedWhateverChangedIt() {
        BusRig rig(2);
        Recorder rec;
        QDBusConnection observer =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "observer2");
        QVERIFY(observer.connect(QString(), MprisService::kObjectPath,
                                 "org.freedesktop.DBus.Properties", "PropertiesChanged", &rec,
                                 SLOT(onChanged(QString, QVariantMap, QStringList))));
        playerctl({"status"});           // the match rule is in place once a call has gone round
        rig.form->PushButton1->click();  // the button
        QTRY_VERIFY(rec.changed.contains("PlaybackStatus"));
        QVERIFY(rec.changed.contains("Metadata"));
        rec.changed.clear();
        rig.form->Slider1->setValue(80);  // the sliders and the options
        QTRY_COMPARE(rec.changed, QStringList({"Volume"}));
        rec.changed.clear();
        rig.form->Speed->setValue(75);
        QTRY_COMPARE(rec.changed, QStringList({"Rate"}));
        rec.changed.clear();
        rig.form->Option1->click();
        QTRY_COMPARE(rec.changed, QStringList({"Shuffle"}));
        rec.changed.clear();
        rig.engine.endTrack();  // the monitor moves on
        rig.form->tmrTimer_Timer();
        QTRY_COMPARE(rec.changed, QStringList({"Metadata"}));
        rec.changed.clear();
        QCOMPARE(playerctl({"pause"}).code, 0);  // the bus
        QTRY_COMPARE(rec.changed, QStringList({"CanSeek", "PlaybackStatus"}));
        QDBusConnection::disconnectFromBus("observer2");
        rig.service.reset();  // the window outlives the interface, and goes on changing
        rig.form->Slider1->setValue(20);
    }

    // Values a client may send that the interface's types or the player do not allow.
    void hostileValues_data() {
        QTest::addColumn<QString>("state");   // playing, paused, stopped or empty
        QTest::addColumn<QString>("method");  // Interface.Method, or Set.Property
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("calls");
        const QString invalid = "org.freedesktop.DBus.Error.InvalidArgs";
        const qlonglong max = std::numeric_limits<qint64>::max();
        const QVariant nan = std::numeric_limits<double>::quiet_NaN();
        const QString dir = QDir::tempPath();
        QTest::newRow("Next") << "playing"
                              << "Player.Next" << QVariantList{} << "" << QStringList{"request:4"};
        QTest::newRow("Next with an argument")
            << "playing"
            << "Player.Next" << QVariantList{"x"} << invalid << QStringList{};
        QTest::newRow("Play with two")
            << "stopped"
            << "Player.Play" << QVariantList{1, 2} << invalid << QStringList{};
        QTest::newRow("Seek by the largest")
            << "playing"
            << "Player.Seek" << QVariantList{max} << "" << QStringList{"request:4"};
        QTest::newRow("Seek while paused")
            << "paused"
            << "Player.Seek" << QVariantList{qlonglong(1)} << "" << QStringList{};
        QTest::newRow("SetPosition while stopped")
            << "stopped"
            << "Player.SetPosition"
            << QVariantList{QVariant::fromValue(QDBusObjectPath(MprisService::trackId("/a.aac"))),
                            qlonglong(5)}
            << "" << QStringList{};
        // A write needs the property's own type and a value the player takes.
        QTest::newRow("Volume NaN")
            << "playing"
            << "Set.Volume" << QVariantList{nan} << invalid << QStringList{};
        QTest::newRow("Rate NaN") << "playing"
                                  << "Set.Rate" << QVariantList{nan} << invalid << QStringList{};
        QTest::newRow("Rate below 0")
            << "playing"
            << "Set.Rate" << QVariantList{-1.0} << invalid << QStringList{};
        QTest::newRow("Volume as an integer")
            << "playing"
            << "Set.Volume" << QVariantList{1} << invalid << QStringList{};
        QTest::newRow("Shuffle as text")
            << "playing"
            << "Set.Shuffle" << QVariantList{"no"} << invalid << QStringList{};
        QTest::newRow("LoopStatus None")
            << "playing"
            << "Set.LoopStatus" << QVariantList{"None"} << invalid << QStringList{};
        QTest::newRow("LoopStatus Playlist changes nothing")
            << "playing"
            << "Set.LoopStatus" << QVariantList{"Playlist"} << "" << QStringList{};
        QTest::newRow("Rate 0 pauses")
            << "playing"
            << "Set.Rate" << QVariantList{0.0} << "" << QStringList{"request:1"};
        QTest::newRow("PlaybackStatus")
            << "playing"
            << "Set.PlaybackStatus" << QVariantList{"Stopped"}
            << "org.freedesktop.DBus.Error.PropertyReadOnly" << QStringList{};
        QTest::newRow("no such property")
            << "playing"
            << "Set.Loop" << QVariantList{"None"} << "org.freedesktop.DBus.Error.UnknownProperty"
            << QStringList{};
        QTest::newRow("OpenUri a device")
            << "empty"
            << "Player.OpenUri" << QVariantList{"file:///dev/zero"} << invalid << QStringList{};
        QTest::newRow("OpenUri a folder")
            << "empty"
            << "Player.OpenUri" << QVariantList{QUrl::fromLocalFile(dir).toString()} << invalid
            << QStringList{};
        QTest::newRow("OpenUri a pipe")
            << "empty"
            << "Player.OpenUri" << QVariantList{"@fifo"} << invalid << QStringList{};
        QTest::newRow("OpenUri a file")
            << "empty"
            << "Player.OpenUri" << QVariantList{"@file"} << "" << QStringList{"open:@file"};
        // By content and name, as the desktop's file manager types a file.
        QTest::newRow("OpenUri a text file")
            << "empty"
            << "Player.OpenUri" << QVariantList{"file:///etc/passwd"} << invalid << QStringList{};
        QTest::newRow("OpenUri a playlist")
            << "empty"
            << "Player.OpenUri" << QVariantList{"@m3u:list.m3u"} << invalid << QStringList{};
        QTest::newRow("OpenUri ADTS named otherwise")
            << "empty"
            << "Player.OpenUri" << QVariantList{"@adts:tone"} << "" << QStringList{"open:@made"};
        QTest::newRow("OpenUri MP4")
            << "empty"
            << "Player.OpenUri" << QVariantList{"@mp4:tone.mp4"} << "" << QStringList{"open:@made"};
        QTest::newRow("Open a missing file")
            << "empty"
            << "Open" << QVariantList{QStringList{"/no/such.aac"}} << invalid << QStringList{};
        QTest::newRow("Open a folder")
            << "empty"
            << "Open" << QVariantList{QStringList{dir}} << "" << QStringList{"open:" + dir};
    }
    void hostileValues() {
        QFETCH(QString, state);
        QFETCH(QString, method);
        QFETCH(QVariantList, args);
        QFETCH(QStringList, calls);
        QTemporaryDir dir;
        const QString file = dir.filePath("a.aac"), fifo = dir.filePath("fifo");
        QVERIFY(writeAacFile(file, 0.1));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QString made, error;  // "@kind:name": a file of that kind made for the row
        for (QVariant& a : args) {
            if (a == "@file") a = QUrl::fromLocalFile(file).toString();
            if (a == "@fifo") a = QUrl::fromLocalFile(fifo).toString();
            const QString text = a.toString();
            if (!text.startsWith('@') || !text.contains(':')) continue;
            made = dir.filePath(text.section(':', 1));
            const QString kind = text.section(':', 0, 0);
            QFile list(made);
            QVERIFY2(kind == "@m3u" ? list.open(QIODevice::WriteOnly) && list.write("a.aac\n") > 0
                     : kind == "@adts" ? QFile::copy(file, made)
                                       : writeMediaFile(made,
                                                        "audiotestsrc num-buffers=20 ! audioconvert"
                                                        " ! avenc_aac ! mp4mux ! filesink name=out",
                                                        &error),
                     qPrintable(error));
            a = QUrl::fromLocalFile(made).toString();
        }
        calls.replaceInStrings("@file", file);
        calls.replaceInStrings("@made", made);
        FakeBusRig rig;
        PlayerState& s = rig.player.shown;
        s.entries = state == "empty" ? 0 : 2;
        s.status = state == "playing"  ? PlaybackStatus::Playing
                   : state == "paused" ? PlaybackStatus::Paused
                                       : PlaybackStatus::Stopped;
        s.track = state == "empty" ? QString() : QStringLiteral("/a.aac");
        s.lengthUs = s.track.isEmpty() ? 0 : 60'000'000;
        rig.player.position = state == "stopped" ? 0 : 1'000'000;
        const QString name = method.section('.', 1);
        if (method.startsWith("Set."))
            error = rig.call("org.freedesktop.DBus.Properties", "Set",
                             {"org.mpris.MediaPlayer2.Player", name,
                              QVariant::fromValue(QDBusVariant(args.value(0)))});
        else if (method == "Open")
            error = rig.call("com.varnelta.Quaverly", "Open", args);
        else
            error = rig.call("org.mpris.MediaPlayer2.Player", name, args);
        QTEST(error, "error");
        QCOMPARE(rig.player.calls, calls);
    }

    // What the desktop's media widgets show for a file with tags of its own: an ADTS file
    // with ID3 in front, and an MP4 file named .aac.
    void tagsOfAFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("cover");
        QTest::newRow("ID3 and ADTS") << "id3"
                                      << "Harbour Lights|The Quavers|Night Tunes|3" << true;
        QTest::newRow("MP4") << "mp4"
                             << "Dawn|Someone|Daybreak|2" << false;
    }
    void tagsOfAFile() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString file = dir.filePath("tagged.aac"), covers = dir.filePath("cache");
        QString error;
        QVERIFY2(kind == "id3" ? writeTaggedAdts(file, &error)
                               : writeMediaFile(file,
                                                "audiotestsrc num-buffers=40 ! audioconvert ! "
                                                "avenc_aac ! taginject tags=\"title=Dawn,artist="
                                                "Someone,album=Daybreak,track-number=(uint)2\" "
                                                "! mp4mux ! filesink name=out",
                                                &error),
                 qPrintable(error));
        GstTagReader reader(covers);
        FakeBusRig rig(&reader);
        rig.player.shown.track = file;
        rig.player.shown.entries = 1;
        rig.service.publishChanges();
        const QString format = "{{title}}|{{artist}}|{{album}}|{{xesam:trackNumber}}";
        // The file's name stands for the title until the tags are read.
        QTRY_VERIFY_WITH_TIMEOUT(playerctl({"metadata", "title"}).out != "tagged", 15000);
        QTEST(playerctl({"metadata", "--format", format}).out, "shown");
        const QString art = playerctl({"metadata", "mpris:artUrl"}).out;
        QFETCH(bool, cover);
        QCOMPARE(QFile::exists(QUrl(art).toLocalFile()), cover);
        rig.player.shown.track.clear();  // no longer loaded: the cover goes
        rig.service.publishChanges();
        QCOMPARE(QDir(covers).entryList(QDir::Files), QStringList());
    }

    // A file that sends its reader elsewhere (an MP4 reference movie) is read without a word
    // to the address it names.
    void tagsReachNothingElsewhere() {
        QTemporaryDir dir;
        QTcpServer web;
        QVERIFY(web.listen(QHostAddress::LocalHost));
        const QString file = dir.filePath("elsewhere.aac");
        QVERIFY(writeReferenceMovie(
            file, QStringLiteral("http://127.0.0.1:%1/x.mp4").arg(web.serverPort())));
        GstTagReader reader(dir.filePath("cache"));
        bool told = false;
        reader.read(file, [&told](const TrackTags&) { told = true; });
        QTRY_VERIFY(told);
        QVERIFY(!web.hasPendingConnections() && !web.waitForNewConnection(0));
    }

    // Reads asked for faster than they are done (Next held down): one is read at a time,
    // only the last is told, and only its cover stays. Closed while a cover is written but
    // not yet told (the program ends during a read), the reader leaves no cover behind.
    void tagReadsKeepUpWithTheTrack() {
        QTemporaryDir dir;
        const QString file = dir.filePath("tagged.aac"), covers = dir.filePath("cache");
        QVERIFY(writeTaggedAdts(file));
        GstTagReader reader(covers);
        QList<TrackTags> told;
        const long threads = processStatus("Threads:");
        ProcessPeak peak;
        for (int i = 0; i < 50; ++i) reader.read(file, [&told](const TrackTags& t) { told << t; });
        QTRY_COMPARE(told.size(), 1);
        QVERIFY2(peak.threads() < threads + 10,
                 qPrintable(QString::number(peak.threads() - threads)));
        QCOMPARE(QDir(covers).entryList(QDir::Files),
                 QStringList{QFileInfo(told[0].artPath).fileName()});
        reader.read(file, [](const TrackTags&) {});
        QDeadlineTimer written(5000);  // the event loop does not run: nothing is told
        while (QDir(covers).entryList(QDir::Files).isEmpty() && !written.hasExpired())
            QThread::yieldCurrentThread();
        reader.close();
        QCOMPARE(QDir(covers).entryList(QDir::Files), QStringList());
    }

    void openUriPlaysIt() {
        BusRig rig(1);
        QTemporaryDir dir;
        const QString file = dir.filePath("from outside.aac");
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        rig.fs.addFile(file);
        QCOMPARE(playerctl({"play"}).code, 0);
        QCOMPARE(playerctl({"open", QUrl::fromLocalFile(file).toString()}).code, 0);
        QCOMPARE(rig.texts(), tracks(1) << file);
        QCOMPARE(playerctl({"metadata", "title"}).out, QStringLiteral("from outside"));
        QCOMPARE(playerctl({"status"}).out, QStringLiteral("Playing"));
        QVERIFY(playerctl({"open", "file:///no/such/file.aac"}).code != 0);  // refused
        QCOMPARE(rig.texts().size(), 2);
    }
};

int main(int argc, char** argv) {
    // Both before the application object: Qt opens the session bus with what it finds.
    XvfbSession display;
    PrivateBus bus(true);
    g_display = &display;
    g_bus = &bus;
    QApplication app(argc, argv);
    TestE2EMpris test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_e2e_mpris.moc"
