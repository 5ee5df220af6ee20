#include <QtTest>

#include <gst/gst.h>

#include "platform/gst/gstmediaengine.h"

class TestAudioSink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data();
    void choice();
    void engineStartsTheFrameworkLate();
};

void TestAudioSink::choice_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("expected");
    const QString fake = QStringLiteral("fakesink sync=true");
    QTest::newRow("default") << QStringList{"quaverly"} << QString() << QString();
    QTest::newRow("environment") << QStringList{"quaverly"} << fake << fake;
    QTest::newRow("option, two words")
        << QStringList{"quaverly", "--audio-sink", fake} << "pulsesink" << fake;
    QTest::newRow("option with =")
        << QStringList{"quaverly", "--audio-sink=" + fake} << "pulsesink" << fake;
    QTest::newRow("option without value falls back")
        << QStringList{"quaverly", "--audio-sink"} << "pulsesink"
        << "pulsesink";
    QTest::newRow("other options ignored")
        << QStringList{"quaverly", "--audio-sinks", "x", "-style", "fusion"} << QString()
        << QString();
}

void TestAudioSink::choice() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, environment);
    QFETCH(QString, expected);
    QCOMPARE(audioSinkDescription(arguments, environment), expected);
}

// Making the program's engine costs start-up nothing: the framework starts when asked or
// at the first file, and what was written before reaches the chain built then.
void TestAudioSink::engineStartsTheFrameworkLate() {
    QVERIFY(!gst_is_initialized());
    auto engine = makeGstMediaEngine(QStringLiteral("fakesink sync=true"));
    engine->setVolume(-500);
    engine->setBalance(20000);
    engine->setRate(0.5);
    engine->run();
    QVERIFY(!gst_is_initialized());
    QCOMPARE(engine->state(), IMediaEngine::State::Stopped);
    QCOMPARE(engine->volume(), -500);
    QCOMPARE(engine->balance(), 10000);
    QCOMPARE(engine->rate(), 0.5);
    prepareGstMediaEngine(*engine);
    QVERIFY(gst_is_initialized());
    QVERIFY(!engine->load(QStringLiteral("/nonexistent/file.aac")));  // the chain is built now
    QCOMPARE(engine->volume(), -500);
    QCOMPARE(engine->balance(), 10000);
    QCOMPARE(engine->rate(), 0.5);
    QCOMPARE(engine->duration(), 0.0);
}

QTEST_GUILESS_MAIN(TestAudioSink)
#include "tst_audiosink.moc"
