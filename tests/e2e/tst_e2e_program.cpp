// SPDX-License-Identifier: GPL-3.0-or-later
// The built program itself: its command line, and the closing handling that a
// termination signal runs (the list is saved and the program ends).
#include <QtTest>

#include <csignal>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QProcess>

#include "fakes/privatebus.h"
#include "fakes/xvfbsession.h"

namespace {
const QString kProgram = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/quaverly");
const QString kService = QStringLiteral("org.mpris.MediaPlayer2.quaverly");

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<none>");
}
void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
// The program's environment: its own settings in `config`, a silent sink, and the given
// session bus. Without one, the address names none: unset, it would let the bus library
// start a bus for the display. Whatever output it falls back to, no sound server is
// started and the sound library sees no card, so neither plays nor prints anything.
QProcessEnvironment programEnvironment(const QString& config, const QString& bus = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config);
    env.insert("QUAVERLY_AUDIO_SINK", "fakesink sync=true");
    env.insert("DBUS_SESSION_BUS_ADDRESS", bus.isEmpty() ? "unix:path=" + config + "/no-bus" : bus);
    env.insert("XDG_RUNTIME_DIR", config);
    env.insert("PULSE_SERVER", "unix:" + config + "/no-sound-server");
    env.insert("JACK_NO_START_SERVER", "1");
    write(config + "/asound.conf", "pcm.!default { type null }\n");
    env.insert("ALSA_CONFIG_PATH", config + "/asound.conf");
    return env;
}

struct Ran {
    int code = -1;
    QString out;
    QString err;
};
Ran run(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(15000)) p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
            QString::fromUtf8(p.readAllStandardError())};
}
// The id of a window on the display with that title, or empty.
QString windowNamed(const QString& title) {
    return xdotool({"search", "--name", "^" + title + "$"}).split('\n').value(0).trimmed();
}
// Whether the program shows its window on `display` (the test's own when empty): its load
// step is done and its event loop runs.
bool showsWindow(const QProcess& program, const QByteArray& display = {}) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!display.isEmpty()) env.insert("DISPLAY", QString::fromLatin1(display));
    p.setProcessEnvironment(env);
    p.start("xdotool", {"search", "--onlyvisible", "--pid", QString::number(program.processId())});
    return p.waitForFinished(10000) && !p.readAllStandardOutput().trimmed().isEmpty();
}

// The program started with an environment of the test's, and what it has said on
// standard error so far.
struct Started {
    QProcess p;
    QString err;
    bool start(const QProcessEnvironment& env) {
        p.setProcessEnvironment(env);
        p.start(kProgram, {});
        return p.waitForStarted(10000);
    }
    bool said(const char* text) {
        err += QString::fromUtf8(p.readAllStandardError());
        return err.contains(QLatin1String(text));
    }
    // Once its hot keys are registered, presses `key` until it says `text`. A press that
    // lands while the pump handles other events is dropped by design: press again, as a
    // person would.
    bool pressUntil(const QString& key, const char* text, int waitMs) {
        if (!QTest::qWaitFor([&] { return said("keys registered; pumping"); }, 15000)) return false;
        for (int i = 0; i < 15; ++i) {
            QProcess::execute("xdotool", {"key", key});
            if (QTest::qWaitFor([&] { return said(text); }, waitMs)) return true;
        }
        return false;
    }
};
}  // namespace

class TestE2EProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Each test runs the program on the display the test command starts, but these.
    void init() {
        static const QByteArrayList bare{"helpAndVersionOnStandardOutput",
                                         "displayGoneSavesTheList", "remoteWithNoCopyRunning"};
        if (qEnvironmentVariableIsEmpty("DISPLAY") && !bare.contains(QTest::currentTestFunction()))
            QSKIP("needs an X display (the test command starts Xvfb)");
    }

    void helpAndVersionOnStandardOutput() {
        QProcess p;
        p.start(kProgram, {"--version"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().startsWith("quaverly "));
        p.start(kProgram, {"--help"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("Ctrl+Shift+X"));
        p.start(kProgram, {"--no-such-option"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
    }

    // Every line on standard error starts with the program's name and says what failed
    // and why.
    void terminalMessages_data() {
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("expected");
        QTest::newRow("output that cannot be opened")
            << QStringList{"QUAVERLY_AUDIO_SINK=pulsesink server=unix:/nonexistent/socket"}
            << "quaverly: the audio output 'pulsesink server=unix:/nonexistent/socket' could not "
               "be opened: ";
        QTest::newRow("output that cannot be made")
            << QStringList{"QUAVERLY_AUDIO_SINK=nosuchsink"}
            << "quaverly: the audio output 'nosuchsink' could not be made: ";
        // The sound library finds no card, and would say so in lines of its own.
        QTest::newRow("no sound server and no device")
            << QStringList{"QUAVERLY_AUDIO_SINK=", "ALSA_CONFIG_PATH=@no-card"}
            << "quaverly: the desktop's audio output found no device; tracks play silently";
        QTest::newRow("Wayland session")
            << QStringList{"QT_QPA_PLATFORM=offscreen", "XDG_SESSION_TYPE=wayland",
                           "WAYLAND_DISPLAY=wayland-none"}
            << "quaverly: global hot keys are unavailable: this is a Wayland session";
    }
    void terminalMessages() {
        QFETCH(QStringList, environment);
        QFETCH(QString, expected);
        QTemporaryDir config;
        const QString folder = config.filePath("Varnelta/Quaverly");
        QVERIFY(QDir().mkpath(folder));
        // The audio output is opened at the first file: Start is pressed on a sample.
        const bool start = expected.contains("audio output");
        write(folder + "/Files",
              QByteArray(QUAVERLY_BINARY_DIR "/bin/Samples/Welcome.aac||MySeparator12||"));
        Started run;
        QProcessEnvironment env = programEnvironment(config.path());
        env.insert("QT_LOGGING_RULES", "quaverly.app.pump.debug=true");
        write(config.filePath("no-card.conf"),
              "pcm.!default { type hw card quaverly_no_card }\n"
              "ctl.!default { type hw card quaverly_no_card }\n");
        for (const QString& pair : environment)
            env.insert(pair.section('=', 0, 0),
                       pair.section('=', 1).replace("@no-card", config.filePath("no-card.conf")));
        QVERIFY(run.start(env));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/Option2"), 15000);
        if (start)
            QVERIFY2(run.pressUntil("ctrl+shift+x", "audio output", 2000), qPrintable(run.err));
        ::kill(static_cast<pid_t>(run.p.processId()), SIGTERM);
        QVERIFY(run.p.waitForFinished(15000));
        const QString err = run.err + QString::fromUtf8(run.p.readAllStandardError());
        QVERIFY2(err.contains(expected), qPrintable(err));
        for (const QString& line : err.split('\n', Qt::SkipEmptyParts))
            QVERIFY2(line.startsWith("quaverly: "), qPrintable(line));
        QVERIFY(!err.contains("X11 display"));
    }

    // SIGTERM during playback runs the normal close: the list of this run is saved.
    void terminationSavesTheList() {
        QTemporaryDir config;
        const QString folder = config.filePath("Varnelta/Quaverly");
        QVERIFY(QDir().mkpath(folder));
        const QString sample = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/Samples/Welcome.aac");
        QVERIFY(QFile::exists(sample));
        const QByteArray files =
            (sample + "||MySeparator12|| spaced name.aac||MySeparator12||").toUtf8();
        write(folder + "/Files", files);
        write(folder + "/Option1", "0");
        write(folder + "/Option2", "1.0");  // the load step stores it again as "1"

        QProcess p;
        p.setProcessEnvironment(programEnvironment(config.path()));
        p.start(kProgram, {});
        QVERIFY(p.waitForStarted(10000));
        // The load step stores the play order again once it has run.
        QTRY_COMPARE_WITH_TIMEOUT(readAll(folder + "/Option2"), QStringLiteral("1"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(showsWindow(p), 15000);
        write(folder + "/Files", "overwritten by the close");
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readAll(folder + "/Files"), QString::fromUtf8(files));
    }

    // After the media framework's plug-ins changed, its first start scans them all; the
    // window and its hot keys do not wait for it. Here the scan waits for the test.
    void hotKeysAnswerWhileThePlugInsAreScanned() {
        QTemporaryDir config;
        const QString gate = config.filePath("go-on"), registry = config.filePath("registry.bin");
        const QString scanner = config.filePath("scanner");
        write(scanner, ("#!/bin/sh\ni=0\nwhile [ ! -e '" + gate +
                        "' ] && [ $i -lt 600 ]; do sleep 0.05; i=$((i+1)); done\n"
                        "exec '" GST_PLUGIN_SCANNER_PATH "' \"$@\"\n")
                           .toUtf8());
        QVERIFY(QFile::setPermissions(scanner, QFile::ReadOwner | QFile::ExeOwner));
        QProcessEnvironment env = programEnvironment(config.path());
        env.insert("GST_REGISTRY", registry);
        env.insert("GST_PLUGIN_SCANNER", scanner);
        env.insert("QT_LOGGING_RULES", "quaverly.app.pump.debug=true;quaverly.hotkeys.debug=true");
        Started run;
        QVERIFY(run.start(env));
        // Pause/Resume, which has nothing to do while stopped; a press the pump drops by
        // design is heard all the same.
        QVERIFY2(run.pressUntil("ctrl+shift+c", "hot key", 1000), qPrintable(run.err));
        QVERIFY(!QFile::exists(registry));  // the scan still waits
        write(gate, "");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(registry), 15000);
        ::kill(static_cast<pid_t>(run.p.processId()), SIGTERM);
        QVERIFY(run.p.waitForFinished(15000));
        QCOMPARE(run.p.exitCode(), 0);
    }

    // A termination signal while a box of the start-up is open, before the list is
    // restored: the stored list stays as it is, no box follows, and the program ends
    // once the open box is answered.
    void signalDuringAStartupBox_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalDuringAStartupBox() {
        QFETCH(int, signal);
        QTemporaryDir config;
        const QString folder = config.filePath("Varnelta/Quaverly");
        // A "Snapshot" that is a folder cannot be read: the start-up's box at step 110.
        QVERIFY(QDir().mkpath(folder + "/Snapshot"));
        const QByteArray files = "/m/a.aac||MySeparator12||/m/b.aac||MySeparator12||";
        write(folder + "/Files", files);

        QProcess p;
        p.setProcessEnvironment(programEnvironment(config.path()));
        p.start(kProgram, {});
        QVERIFY(p.waitForStarted(10000));
        QString box;
        QTRY_VERIFY_WITH_TIMEOUT(!(box = windowNamed("Application Error")).isEmpty(), 15000);
        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(!p.waitForFinished(500));  // the box is still open
        // Answer the box, again if a busy window manager let the key go elsewhere.
        for (int i = 0; i < 5 && p.state() != QProcess::NotRunning; ++i) {
            xdotool({"windowactivate", "--sync", box, "key", "Return"});
            p.waitForFinished(3000);
        }
        QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished(15000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readAll(folder + "/Files"), QString::fromUtf8(files));
        QCOMPARE(windowNamed("Application Error"), QString());
        QVERIFY(!p.readAllStandardError().contains("Object variable not set"));
    }

    // The X server going away ends the program; the list of this run is saved first.
    void displayGoneSavesTheList() {
        XvfbSession server(true);
        if (!server.ok()) QSKIP(qPrintable(server.skipReason));
        QTemporaryDir config;
        const QString folder = config.filePath("Varnelta/Quaverly");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray files = "/m/a.aac||MySeparator12||";
        write(folder + "/Files", files);
        write(folder + "/Option2", "1.0");  // the load step stores it again as "1"

        QProcess p;
        QProcessEnvironment env = programEnvironment(config.path());
        env.insert("DISPLAY", QString::fromLatin1(server.display));
        p.setProcessEnvironment(env);
        p.start(kProgram, {});
        QVERIFY(p.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(readAll(folder + "/Option2"), QStringLiteral("1"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(showsWindow(p, server.display), 15000);
        write(folder + "/Files", "overwritten when the list is saved");
        server.stop();
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(readAll(folder + "/Files"), QString::fromUtf8(files));
    }

    // A second start hands its files to the first copy, and the remote drives it.
    void secondStartHandsOver() {
        PrivateBus bus(false);
        if (!bus.ok()) QSKIP(qPrintable(bus.skipReason));
        if (QStandardPaths::findExecutable("playerctl").isEmpty())
            QSKIP("playerctl is not installed");
        QTemporaryDir config;
        const QProcessEnvironment env = programEnvironment(config.path(), bus.address);
        const auto playerctl = [&](const QStringList& args) {
            return run("playerctl", QStringList{"--player=quaverly"} + args, env);
        };
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(kProgram, {});
        QVERIFY(first.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(playerctl({"status"}).out, QStringLiteral("Stopped"), 15000);

        const QString samples = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/Samples");
        const Ran second = run(kProgram, {samples, "no-such.aac"}, env);
        QCOMPARE(second.code, 1);  // the rest is handed over
        QVERIFY2(second.err.contains("no such file or folder: no-such.aac"),
                 qPrintable(second.err));
        QTRY_COMPARE_WITH_TIMEOUT(playerctl({"status"}).out, QStringLiteral("Playing"), 15000);
        const QString title = playerctl({"metadata", "title"}).out;
        QVERIFY2(QFile::exists(samples + "/" + title + ".aac"), qPrintable(title));
        QCOMPARE(run(kProgram, {}, env).code, 0);  // raises the first one

        QCOMPARE(run(kProgram, {"--pause"}, env).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(playerctl({"status"}).out, QStringLiteral("Paused"), 15000);
        // Opened again while paused: added once, and the file given plays now.
        QCOMPARE(run(kProgram, {samples + "/Morning Tune.aac", samples}, env).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(playerctl({"metadata", "title"}).out, "Morning Tune", 15000);
        QCOMPARE(playerctl({"status"}).out, QStringLiteral("Playing"));
        QCOMPARE(run(kProgram, {"--quit"}, env).code, 0);
        QVERIFY(first.waitForFinished(15000));
        QCOMPARE(first.exitCode(), 0);
        // The closing handling saved the list with the four samples.
        QCOMPARE(readAll(config.filePath("Varnelta/Quaverly/Files")).count(samples), 4);
    }

    // A flood of requests on the bus, then a termination signal: the program still ends
    // at once and saves its list.
    void floodThenTermination() {
        PrivateBus bus(false);
        if (!bus.ok()) QSKIP(qPrintable(bus.skipReason));
        QTemporaryDir config;
        const QString folder = config.filePath("Varnelta/Quaverly");
        QVERIFY(QDir().mkpath(folder));
        const QString samples = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/Samples");
        const QByteArray files = (samples + "/Welcome.aac||MySeparator12||" + samples +
                                  "/Little Bells.aac||MySeparator12||")
                                     .toUtf8();
        write(folder + "/Files", files);
        QProcess p;
        p.setProcessEnvironment(programEnvironment(config.path(), bus.address));
        p.start(kProgram, {});
        QVERIFY(p.waitForStarted(10000));
        QDBusConnection client = QDBusConnection::connectToBus(bus.address, "flood");
        QTRY_VERIFY_WITH_TIMEOUT(client.interface()->isServiceRegistered(kService), 15000);
        const auto call = [&](const QString& interface, const QString& method) {
            return QDBusMessage::createMethodCall(kService, "/org/mpris/MediaPlayer2", interface,
                                                  method);
        };
        for (int i = 0; i < 3000; ++i) {
            client.send(call("org.mpris.MediaPlayer2.Player", "Next"));
            client.send(call("org.freedesktop.DBus.Properties", "GetAll")
                        << "org.mpris.MediaPlayer2.Player");
        }
        client.call(call("org.freedesktop.DBus.Peer", "Ping"));  // the flood has arrived
        write(folder + "/Files", "overwritten by the close");
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(15000));
        qInfo("ended %lld ms after the signal", clock.elapsed());
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readAll(folder + "/Files"), QString::fromUtf8(files));
        QDBusConnection::disconnectFromBus("flood");
    }

    void remoteWithNoCopyRunning_data() {
        QTest::addColumn<bool>("withBus");
        QTest::addColumn<QString>("message");
        QTest::newRow("bus") << true << "Quaverly is not running, so --next was not sent";
        QTest::newRow("no bus") << false << "no session bus";
    }
    void remoteWithNoCopyRunning() {
        QFETCH(bool, withBus);
        PrivateBus bus(false);
        if (withBus && !bus.ok()) QSKIP(qPrintable(bus.skipReason));
        QTemporaryDir config;
        QFETCH(QString, message);
        // Its own line and nothing else: what could add others happens in some runs only.
        for (int i = 0; i < (withBus ? 25 : 1); ++i) {
            const Ran r = run(kProgram, {"--next"},
                              programEnvironment(config.path(), withBus ? bus.address : QString()));
            QCOMPARE(r.code, 1);
            QVERIFY2(r.err.startsWith("quaverly: " + message) && r.err.count('\n') == 1,
                     qPrintable(r.err));
        }
    }

    // Without a session bus the lock in the settings folder keeps a second copy out,
    // so it never saves its list over the first one's.
    void lockWithoutBus() {
        QTemporaryDir config;
        const QString folder = config.filePath("Varnelta/Quaverly");
        QVERIFY(QDir().mkpath(folder));
        write(folder + "/Files", "/a.aac||MySeparator12||");
        const QProcessEnvironment env = programEnvironment(config.path(), QString());
        QProcess first;
        first.setProcessEnvironment(env);
        first.start(kProgram, {});
        QVERIFY(first.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder + "/Option2"), 15000);
        const Ran second = run(kProgram, {}, env);
        QCOMPARE(second.code, 1);
        QVERIFY2(second.err.contains("quaverly: Quaverly is already running (process " +
                                     QString::number(first.processId())),
                 qPrintable(second.err));
        ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
        QVERIFY(first.waitForFinished(15000));
        // Gone with the first copy: the next start runs.
        QVERIFY(!QFile::exists(folder + "/.lock"));
        QCOMPARE(readAll(folder + "/Files"), QStringLiteral("/a.aac||MySeparator12||"));
    }
};

QTEST_GUILESS_MAIN(TestE2EProgram)
#include "tst_e2e_program.moc"
