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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("QUAVERLY_AUDIO_SINK", "fakesink sync=true");
        p.setProcessEnvironment(env);
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
};

QTEST_GUILESS_MAIN(TestE2EProgram)
#include "tst_e2e_program.moc"
