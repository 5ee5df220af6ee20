// SPDX-License-Identifier: GPL-3.0-or-later
#include <QtTest>

#include <gst/base/gstbasesink.h>
#include <gst/gst.h>

#include "platform/gst/eventloopcheck.h"
#include "platform/gst/gstmediaengine.h"
#include "platform/gst/mediamodule.h"
#include "platform/gst/playbinengine.h"

namespace {
// The module's entry, linked in: the program's path to the engine but for dlopen.
extern "C" const MediaModuleApi* quaverlyMediaModule();
const MediaModuleApi* linkedModule(QString*) {
    return quaverlyMediaModule();
}
const MediaModuleApi* missingModule(QString* error) {
    *error = QStringLiteral("libquaverly-media.so: cannot open shared object file");
    return nullptr;
}

// A sound device that is always there: the desktop's output finds it first.
struct StandInAudioSink {
    GstBaseSink parent;
};
struct StandInAudioSinkClass {
    GstBaseSinkClass parent_class;
};
G_DEFINE_TYPE(StandInAudioSink, stand_in_audio_sink, GST_TYPE_BASE_SINK)
void stand_in_audio_sink_init(StandInAudioSink*) {}
void stand_in_audio_sink_class_init(StandInAudioSinkClass* klass) {
    static GstStaticPadTemplate sink = GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                                                               GST_STATIC_CAPS("audio/x-raw"));
    gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &sink);
    gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Stand-in sound device",
                                          "Sink/Audio", "Takes sound and keeps it", "Quaverly");
}
}  // namespace

class TestAudioSink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void engineStartsTheFrameworkLate();
    void missingModulePlaysNothing();
    void scanDueWhenPlugInsChanged_data();
    void scanDueWhenPlugInsChanged();
    void deviceFoundPlaysAloud();
};

// Making the program's engine costs start-up nothing: the module and the framework start
// when asked or at the first file, and what was written before reaches the chain built then.
void TestAudioSink::engineStartsTheFrameworkLate() {
    QVERIFY(checkEventLoopForMedia());  // the engine's bus watches will be served
    QVERIFY(!gst_is_initialized());
    auto engine = makeModuleEngine(QStringLiteral("fakesink sync=true"), &linkedModule);
    engine->setVolume(-500);
    engine->setBalance(20000);
    engine->setRate(0.5);
    engine->run();
    QVERIFY(!gst_is_initialized());
    QCOMPARE(engine->state(), IMediaEngine::State::Stopped);
    QCOMPARE(engine->volume(), -500);
    QCOMPARE(engine->balance(), 10000);
    QCOMPARE(engine->rate(), 0.5);
    prepareModuleEngine(*engine);
    QVERIFY(gst_is_initialized());
    QVERIFY(!engine->load(QStringLiteral("/nonexistent/file.aac")));  // the chain is built now
    QCOMPARE(engine->volume(), -500);
    QCOMPARE(engine->balance(), 10000);
    QCOMPARE(engine->rate(), 0.5);
    QCOMPARE(engine->duration(), 0.0);
}

// Without its module the program still runs; each file fails with a reason, and the
// terminal says once what to do.
void TestAudioSink::missingModulePlaysNothing() {
    auto engine = makeModuleEngine(QString(), &missingModule);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot open shared object.*Reinstall"));
    QVERIFY(!engine->load(QCoreApplication::applicationFilePath()));
    QVERIFY(!engine->load(QCoreApplication::applicationFilePath()));
    QVERIFY(!engine->failure().isEmpty());
}

// The program starts the framework with itself only when the framework would scan its
// plug-ins: a first start that missed it would scan at the first Start, one that always
// started it would hold the registry in memory for nothing.
void TestAudioSink::scanDueWhenPlugInsChanged_data() {
    QTest::addColumn<int>("registryAge");  // seconds older than the plug-in folder; 0: none
    QTest::addColumn<bool>("due");
    QTest::newRow("no registry yet") << 0 << true;
    QTest::newRow("registry written after the change") << -60 << false;
    QTest::newRow("a plug-in changed since") << 60 << true;
}
void TestAudioSink::scanDueWhenPlugInsChanged() {
    QFETCH(int, registryAge);
    QFETCH(bool, due);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("plugins")));  // changed now
    const QString registry = dir.filePath(QStringLiteral("registry.bin"));
    if (registryAge) {
        QFile file(registry);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-registryAge),
                                 QFileDevice::FileModificationTime));
    }
    qputenv("GST_REGISTRY", QFile::encodeName(registry));
    qputenv("GST_PLUGIN_SYSTEM_PATH", QFile::encodeName(dir.filePath(QStringLiteral("plugins"))));
    const bool said = mediaPlugInsChangedSinceScan();
    qunsetenv("GST_REGISTRY");
    qunsetenv("GST_PLUGIN_SYSTEM_PATH");
    QCOMPARE(said, due);
}

// With a device there, the desktop's output is taken for what it is: no word of silence.
void TestAudioSink::deviceFoundPlaysAloud() {
    QVERIFY(initMediaFramework());
    QVERIFY(gst_element_register(nullptr, "standinaudiosink", GST_RANK_PRIMARY + 1000,
                                 stand_in_audio_sink_get_type()));
    QTest::failOnWarning(QRegularExpression("play silently"));
    PlaybinEngine engine{QString()};
    engine.initialise();
    // Not a sound file, but the chain is made for it, and the output opened with it.
    engine.load(QCoreApplication::applicationFilePath());
    QVERIFY(engine.audioSink());
    QVERIFY(!engine.playsSilently());
    QTRY_VERIFY(!engine.failure().isEmpty());
}

QTEST_GUILESS_MAIN(TestAudioSink)
#include "tst_audiosink.moc"
