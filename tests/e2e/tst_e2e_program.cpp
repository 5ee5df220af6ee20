// The built program itself: its command line, and the closing handling that a
// termination signal runs (the list is saved and the program ends).
#include <QtTest>

#include <csignal>

#include <QProcess>

namespace {
const QString kProgram = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/quaverly");

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<none>");
}
void write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}
QProcessEnvironment programEnvironment(const QString& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configHome);
    env.insert("QUAVERLY_AUDIO_SINK", "fakesink sync=true");
    return env;
}
// The id of a window on the display with that title, or empty.
QString windowNamed(const QString& title) {
    QProcess search;
    search.start("xdotool", {"search", "--name", "^" + title + "$"});
    search.waitForFinished(5000);
    return QString::fromLatin1(search.readAllStandardOutput()).split('\n').value(0).trimmed();
}
}  // namespace

class TestE2EProgram : public QObject {
    Q_OBJECT
private Q_SLOTS:
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

    // SIGTERM during playback runs the normal close: the list of this run is saved.
    void terminationSavesTheList() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the test command starts Xvfb)");
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
        QTest::qWait(500);
        write(folder + "/Files", "overwritten by the close");
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readAll(folder + "/Files"), QString::fromUtf8(files));
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
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs an X display (the test command starts Xvfb)");
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
        QProcess::execute("xdotool", {"windowactivate", "--sync", box, "key", "Return"});
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(readAll(folder + "/Files"), QString::fromUtf8(files));
        QCOMPARE(windowNamed("Application Error"), QString());
        QVERIFY(!p.readAllStandardError().contains("Object variable not set"));
    }

    // The X server going away ends the program; the list of this run is saved first.
    void displayGoneSavesTheList() {
        QProcess xvfb;
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "800x600x24", "-nolisten", "tcp"});
        if (!xvfb.waitForStarted(10000)) QSKIP("Xvfb is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(xvfb.canReadLine(), 10000);
        const QString display = ":" + QString::fromLatin1(xvfb.readLine()).trimmed();
        QTemporaryDir config;
        const QString folder = config.filePath("Varnelta/Quaverly");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray files = "/m/a.aac||MySeparator12||";
        write(folder + "/Files", files);
        write(folder + "/Option2", "1.0");  // the load step stores it again as "1"

        QProcess p;
        QProcessEnvironment env = programEnvironment(config.path());
        env.insert("DISPLAY", display);
        p.setProcessEnvironment(env);
        p.start(kProgram, {});
        QVERIFY(p.waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(readAll(folder + "/Option2"), QStringLiteral("1"), 15000);
        QTest::qWait(500);
        write(folder + "/Files", "overwritten when the list is saved");
        xvfb.kill();
        QVERIFY(xvfb.waitForFinished(10000));
        QVERIFY(p.waitForFinished(15000));
        QCOMPARE(readAll(folder + "/Files"), QString::fromUtf8(files));
    }
};

QTEST_GUILESS_MAIN(TestE2EProgram)
#include "tst_e2e_program.moc"
