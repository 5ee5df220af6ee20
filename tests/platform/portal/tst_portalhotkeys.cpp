// SPDX-License-Identifier: GPL-3.0-or-later
// The built program on a headless Wayland compositor, its hot keys going through the
// desktop's real portal front end to a stand-in desktop served by this test: what it
// asks the desktop to bind, what an activation does, what it says when the desktop binds
// other keys, declines, or has no global shortcuts; and its icon in a panel's tray.
#include <QtTest>

#include <QDBusVariant>

#include "fakes/fakeportaldesktop.h"
#include "fakes/privatebus.h"

namespace {
const QString kProgram = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/quaverly");
PrivateBus* g_bus = nullptr;

// Playback state and file, as the desktop's media controls read them.
QString player() {
    const auto get = [](const char* property) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.mpris.MediaPlayer2.quaverly",
                                                        "/org/mpris/MediaPlayer2",
                                                        "org.freedesktop.DBus.Properties", "Get");
        m << "org.mpris.MediaPlayer2.Player" << property;
        const QDBusMessage reply = QDBusConnection::sessionBus().call(m);
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    };
    return get("PlaybackStatus").toString() + " " +
           QUrl(qdbus_cast<QVariantMap>(get("Metadata")).value("xesam:url").toString()).fileName();
}
}  // namespace

// A panel's tray watcher, where the program's icon registers itself.
class StandInWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ yes)
    Q_PROPERTY(int ProtocolVersion READ zero)
public:
    QStringList items;
    bool yes() const { return true; }
    int zero() const { return 0; }
public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& item) { items << item; }
};

class TestPortalHotKeys : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QProcess m_weston;
    QString m_socket = QStringLiteral("quaverly-test-%1").arg(QCoreApplication::applicationPid());

private Q_SLOTS:
    void initTestCase() {
        if (!g_bus->ok()) QSKIP(qPrintable(g_bus->skipReason));
        if (!QFile::exists("/usr/libexec/xdg-desktop-portal") ||
            QStandardPaths::findExecutable("weston").isEmpty())
            QSKIP("needs xdg-desktop-portal and weston");
        m_weston.start("weston",
                       {"--backend=headless-backend.so", "--socket=" + m_socket, "--idle-time=0"});
        QTRY_VERIFY_WITH_TIMEOUT(
            QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/" + m_socket), 20000);
    }
    void cleanupTestCase() {
        m_weston.terminate();
        m_weston.waitForFinished();
    }

    void keysThroughThePortal_data() {
        QTest::addColumn<bool>("offered");
        QTest::addColumn<QStringList>("chosen");  // id=trigger the desktop's user chose
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("said");
        const QString advice =
            "; bind keys to quaverly --play-pause, --next, --previous and "
            "--stop in the desktop's keyboard settings instead.\n";
        QTest::newRow("bound as asked") << true << QStringList{} << QStringList{} << "";
        QTest::newRow("the user chose other keys")
            << true << QStringList{"start-stop=Meta+X", "start-stop-2="} << QStringList{}
            << "quaverly: the desktop bound the hot keys this way: Next AAC: Ctrl+Shift+B; Start "
               "or stop playing (second key): no key; Pause or resume: Ctrl+Shift+C; Start or "
               "stop playing: Meta+X; Previous AAC: Ctrl+Shift+Z\n";
        QTest::newRow("declined") << true << QStringList{"declined="} << QStringList{}
                                  << "quaverly: global hot keys are unavailable: binding them was "
                                     "declined on the desktop" +
                                         advice;
        QTest::newRow("no global shortcuts")
            << false << QStringList{} << QStringList{}
            << "quaverly: global hot keys are unavailable: this is a Wayland session and the "
               "desktop offers no global shortcuts" +
                   advice;
        QTest::newRow("--no-hot-keys")
            << true << QStringList{} << QStringList{"--no-hot-keys"} << "";
    }
    void keysThroughThePortal() {
        QFETCH(bool, offered);
        QFETCH(QStringList, chosen);
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        FakePortalDesktop desktop(g_bus->address);
        for (const QString& c : chosen) desktop.chosen[c.section('=', 0, 0)] = c.section('=', 1);
        StandInWatcher watcher;
        QVERIFY(desktop.bus.registerObject("/StatusNotifierWatcher", &watcher,
                                           QDBusConnection::ExportAllContents));
        QVERIFY(desktop.bus.registerService("org.kde.StatusNotifierWatcher"));
        QProcess frontEnd;
        QVERIFY(desktop.startFrontEnd(frontEnd, m_dir.filePath(QTest::currentDataTag()), offered));

        // Three sample files played in list order, and settings of its own.
        QTemporaryDir config;
        QDir(config.path()).mkpath("Varnelta/Quaverly");
        QStringList files;
        for (const char* name : {"Welcome", "Little Bells", "Morning Tune"})
            files << QStringLiteral(QUAVERLY_BINARY_DIR "/bin/Samples/%1.aac").arg(name);
        for (const auto& [setting, value] : {std::pair{"Files", files.join("||MySeparator12||")},
                                             {"Option1", "0"},
                                             {"Option2", "1"},
                                             {"Snapshot", "x"}}) {
            QFile f(config.filePath(QStringLiteral("Varnelta/Quaverly/") + setting));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(value.toUtf8());
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("QT_QPA_PLATFORM", "wayland");
        env.insert("WAYLAND_DISPLAY", m_socket);
        env.insert("QT_LOGGING_RULES",
                   "quaverly.app.pump.debug=true\nquaverly.hotkeys.choice.debug=true");
        env.remove("DISPLAY");
        QProcess program;
        program.setProcessEnvironment(env);
        QString err;
        connect(&program, &QProcess::readyReadStandardError, this,
                [&] { err += QString::fromUtf8(program.readAllStandardError()); });
        program.start(kProgram, arguments);
        const auto dump = qScopeGuard([&] {
            if (QTest::currentTestFailed()) qInfo().noquote() << "the program said:\n" + err;
        });
        QTRY_VERIFY_WITH_TIMEOUT(err.contains("keys registered; pumping"), 20000);
        if (!arguments.isEmpty()) {
            // No portal service was ever made, so nothing can ask later.
            QVERIFY(err.contains("no global hot keys: the command line asked for none"));
            QCOMPARE(desktop.asked, QStringList{});
        } else if (offered) {
            QTRY_COMPARE_WITH_TIMEOUT(
                desktop.asked,
                QStringList({"next | Next AAC | CTRL+SHIFT+b",
                             "start-stop-2 | Start or stop playing (second key) | CTRL+SHIFT+v",
                             "pause-resume | Pause or resume | CTRL+SHIFT+c",
                             "start-stop | Start or stop playing | CTRL+SHIFT+x",
                             "previous | Previous AAC | CTRL+SHIFT+z"}),
                20000);
        }
        if (!said.isEmpty()) QTRY_VERIFY_WITH_TIMEOUT(err.contains(said), 20000);
        if (QTest::currentDataTag() == QLatin1String("bound as asked")) {
            // Each activation acts as its button would, whatever has the focus.
            const QStringList presses = {"start-stop", "pause-resume", "next", "previous",
                                         "start-stop-2"};
            const QStringList states = {"Playing Welcome.aac", "Paused Welcome.aac",
                                        "Playing Little Bells.aac", "Playing Welcome.aac",
                                        "Stopped Welcome.aac"};
            for (int i = 0; i < presses.size(); ++i) {
                // One that lands while the program is busy is dropped, and said to be:
                // a person would press again.
                for (qsizetype dropped = -1; dropped != err.count("dropped");) {
                    dropped = err.count("dropped");
                    desktop.send("Activated", {presses[i], quint64(0), QVariantMap()});
                    QTRY_VERIFY_WITH_TIMEOUT(
                        player() == states[i] || err.count("dropped") > dropped, 10000);
                }
                QCOMPARE(player(), states[i]);
            }
            // The user changes a key in the desktop's settings: the program says so again.
            desktop.send("ShortcutsChanged", {desktop.bound({{"start-stop", "Meta+S"}})});
            QTRY_VERIFY_WITH_TIMEOUT(err.contains("Start or stop playing: Meta+S; "), 10000);
            QCOMPARE(watcher.items.size(), 1);  // the icon is in the panel's tray
        }
        program.terminate();
        QVERIFY(program.waitForFinished(15000));
        // Nothing else on standard error: no warning about what Wayland lacks.
        err.remove(said);
        const QStringList lines =
            err.split('\n', Qt::SkipEmptyParts)
                .filter(QRegularExpression("^(?!quaverly: (quaverly.(app.pump|hotkeys.choice): "
                                           "|closing on signal|the desktop bound the hot keys))"));
        QCOMPARE(lines, QStringList());
    }
};

int main(int argc, char** argv) {
    PrivateBus bus(true);  // before the application object, which opens it
    g_bus = &bus;
    QCoreApplication app(argc, argv);
    TestPortalHotKeys test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_portalhotkeys.moc"
