#include <QtTest>

#include "platform/gst/gstmediaengine.h"

class TestAudioSink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choice_data();
    void choice();
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

QTEST_GUILESS_MAIN(TestAudioSink)
#include "tst_audiosink.moc"
