// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include <QTemporaryDir>
#include <QtTest>

#include <gst/base/gstbasesink.h>

#include "enginetestutil.h"
#include "fakes/aacfixture.h"
#include "playback/clsmusic.h"

namespace {

// Loudness of each channel of what reaches the sink, summed by the streaming thread.
struct ChannelMeter {
    std::mutex mutex;
    double left = 0;
    double right = 0;

    static void onHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer self) {
        auto* meter = static_cast<ChannelMeter*>(self);
        GstMapInfo map;
        if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
        const auto* samples = reinterpret_cast<const float*>(map.data);
        const gsize frames = map.size / (2 * sizeof(float));
        std::lock_guard lock(meter->mutex);
        for (gsize i = 0; i < frames; ++i) {
            meter->left += double(samples[2 * i]) * samples[2 * i];
            meter->right += double(samples[2 * i + 1]) * samples[2 * i + 1];
        }
        gst_buffer_unmap(buffer, &map);
    }
};

// A sound output that hangs on its way down, as one on a sound server that stopped
// answering does, until the test lets it go (or ten seconds have passed).
std::mutex g_hangMutex;
std::condition_variable g_hangReleased;
bool g_released = false;
std::atomic_int g_outputsGone = 0;  // freed with their chain
struct HangingSink {
    GstBaseSink parent;
};
struct HangingSinkClass {
    GstBaseSinkClass parent_class;
};
G_DEFINE_TYPE(HangingSink, hanging_sink, GST_TYPE_BASE_SINK)
GstStateChangeReturn hangingSinkChangeState(GstElement* element, GstStateChange transition) {
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
        std::unique_lock lock(g_hangMutex);
        g_hangReleased.wait_for(lock, std::chrono::seconds(10), [] { return g_released; });
    }
    return GST_ELEMENT_CLASS(hanging_sink_parent_class)->change_state(element, transition);
}
void hanging_sink_init(HangingSink*) {}
void hanging_sink_class_init(HangingSinkClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = [](GObject* object) {
        ++g_outputsGone;
        G_OBJECT_CLASS(hanging_sink_parent_class)->finalize(object);
    };
    static GstStaticPadTemplate sink = GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                                                               GST_STATIC_CAPS("audio/x-raw"));
    gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &sink);
    gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Hanging sound output",
                                          "Sink/Audio", "Hangs on its way down", "Quaverly");
    GST_ELEMENT_CLASS(klass)->change_state = hangingSinkChangeState;
}

}  // namespace

class TestPlaybinEngine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void playsToTheEndWithPositionEqualToDuration();
    void transportStates();
    void seekingClampsAndEnds();
    void settingsReachTheChain_data();
    void settingsReachTheChain();
    void speedReachesTheChainAndIsKept();
    void settingsWrittenBeforeLoadingApply();
    void balanceAttenuatesTheOppositeChannel_data();
    void balanceAttenuatesTheOppositeChannel();
    void nextFileReplacesTheChain();
    void formatChangesAtEveryRate_data();
    void formatChangesAtEveryRate();
    void videoFilePlaysItsSoundOnly();
    void unopenableOutputPlaysSilently_data();
    void unopenableOutputPlaysSilently();
    void chainThatHangsOnItsWayDownHoldsNothingUp();

private:
    QString fixture(const QString& name, double seconds);
    QTemporaryDir m_dir;
    QString m_oneSecond;
    QString m_twoSeconds;
};

void TestPlaybinEngine::initTestCase() {
    // Any video output would need a display: make sure there is none to find.
    qunsetenv("DISPLAY");
    qunsetenv("WAYLAND_DISPLAY");
    QVERIFY(m_dir.isValid());
    QString error;
    QVERIFY2(initMediaFramework(&error), qPrintable(error));
    for (const char* name : {"playbin", "avenc_aac", "avdec_aac", "scaletempo", "audiopanorama"})
        if (!hasMediaElement(name, &error)) QSKIP(qPrintable(error));
    m_oneSecond = fixture(QStringLiteral("one.aac"), 1.0);
    m_twoSeconds = fixture(QStringLiteral("two.aac"), 2.0);
}

QString TestPlaybinEngine::fixture(const QString& name, double seconds) {
    const QString path = m_dir.filePath(name);
    QString error;
    if (!writeAacFile(path, seconds, 440, &error)) qFatal("fixture: %s", qPrintable(error));
    return path;
}

void TestPlaybinEngine::playsToTheEndWithPositionEqualToDuration() {
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setFileName(m_oneSecond);
    QCOMPARE(music.duration(), 0.0);  // being prepared: nothing known yet
    QTRY_VERIFY_WITH_TIMEOUT(music.HasAudio(), PlaybinEngine::kLoadDeadlineMs);
    QVERIFY(!music.HasVideo());
    QCOMPARE(music.Width().toInt(), 0);
    music.setPosition(0);
    music.Play();
    // An ADTS stream tells its length once some of it has been parsed.
    QTRY_VERIFY_WITH_TIMEOUT(music.duration() > 0, 10000);
    const double length = music.duration();
    QVERIFY2(std::abs(length - 1.0) < 0.1, qPrintable(QString::number(length)));
    QVERIFY(music.Position() < length);
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
    QCOMPARE(music.duration(), length);

    // It stays at its end, exactly, while the loop runs on.
    QCOMPARE(positionsAtTicks(music, 3), QList<double>(3, length));
    QCOMPARE(music.State(), 1);

    // Play at the end starts again from the beginning.
    music.Play();
    QVERIFY(music.Position() < length);
    QTRY_VERIFY_WITH_TIMEOUT(music.Position() > 0.1 && music.Position() < length, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
}

void TestPlaybinEngine::transportStates() {
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setFileName(m_twoSeconds);
    QCOMPARE(music.State(), 0);
    // Its length is known before a sample has played.
    QTRY_VERIFY(std::abs(music.duration() - 2.0) < 0.05);
    music.Play();
    QCOMPARE(music.State(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(music.Position() > 0.2, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(music.duration() > 0, 10000);
    music.Pause();
    QCOMPARE(music.State(), 2);
    QTRY_COMPARE(currentState(engine->pipeline()), GST_STATE_PAUSED);
    const double pausedAt = music.Position();
    QCOMPARE(positionsAtTicks(music, 3), QList<double>(3, pausedAt));  // a pause holds its place
    music.Play();
    QCOMPARE(music.State(), 1);
    music.StopPlaying();
    QCOMPARE(music.State(), 0);
    QVERIFY(music.Position() < music.duration());  // stopping midway is not the end
}

void TestPlaybinEngine::seekingClampsAndEnds() {
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setFileName(m_twoSeconds);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(music.duration() > 0, 10000);
    music.Pause();
    const double length = music.duration();
    music.setPosition(-5);
    QCOMPARE(music.Position(), 0.0);
    music.setPosition(1.5);
    QTRY_VERIFY(std::abs(music.Position() - 1.5) < 0.05);
    // Beyond the end lands exactly on the end, where the monitor sees a finished track.
    AsyncDoneCounter seeks(engine->pipeline());
    music.setPosition(500);
    QCOMPARE(music.Position(), length);
    QTRY_VERIFY(seeks.count() > 0);  // and once the seek has landed
    QCOMPARE(positionsAtTicks(music, 2), QList<double>(2, length));
    // Play from there starts over.
    music.Play();
    QVERIFY(music.Position() < 0.5);
    QTRY_VERIFY_WITH_TIMEOUT(music.Position() > 0.1, 10000);
    // A seek while playing lands and playback goes on to the real end.
    music.setPosition(length - 0.3);
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
    QCOMPARE(music.duration(), length);
}

void TestPlaybinEngine::settingsReachTheChain_data() {
    QTest::addColumn<int>("volume");
    QTest::addColumn<double>("gain");
    QTest::addColumn<bool>("mute");
    QTest::addColumn<int>("balance");
    QTest::addColumn<float>("panorama");
    QTest::newRow("full, centred") << 0 << 1.0 << false << 0 << 0.0f;
    QTest::newRow("-6 dB, right 6 dB")
        << -600 << std::pow(10.0, -0.3) << false << 600 << float(1 - std::pow(10.0, -0.3));
    QTest::newRow("-20 dB, left 20 dB") << -2000 << 0.1 << false << -2000 << -0.9f;
    QTest::newRow("silent, right only") << -10000 << 1e-5 << true << 10000 << 1.0f;
    QTest::newRow("left only") << -1 << std::pow(10.0, -1 / 2000.0) << false << -10000 << -1.0f;
}

void TestPlaybinEngine::settingsReachTheChain() {
    QFETCH(int, volume);
    QFETCH(double, gain);
    QFETCH(bool, mute);
    QFETCH(int, balance);
    QFETCH(float, panorama);
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setFileName(m_oneSecond);
    music.setVolume(volume);
    music.setBalance(balance);
    // The element keeps its gain in single precision.
    QVERIFY(std::abs(readProperty<double>(engine->volumeElement(), "volume") - gain) < 1e-6 * gain);
    QCOMPARE(bool(readProperty<gboolean>(engine->volumeElement(), "mute")), mute);
    QVERIFY(std::abs(readProperty<float>(engine->panoramaElement(), "panorama") - panorama) < 1e-6);
    QCOMPARE(readProperty<int>(engine->panoramaElement(), "method"), 1);  // simple
    QTRY_COMPARE(music.Volume(), volume);
    QCOMPARE(music.Balance(), balance);
}

void TestPlaybinEngine::speedReachesTheChainAndIsKept() {
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setFileName(m_twoSeconds);
    music.Play();
    music.setSpeed(1.5);
    QTRY_COMPARE(readProperty<double>(engine->tempoElement(), "rate"), 1.5);
    QCOMPARE(music.Speed(), 1.5);
    music.setSpeed(0);  // raised to the floor
    QTRY_COMPARE(readProperty<double>(engine->tempoElement(), "rate"), 0.1);
    music.setSpeed(2.0);
    // The next file starts at the rate last written, and still ends exactly.
    music.setFileName(m_oneSecond);
    music.setPosition(0);
    music.Play();
    QTRY_COMPARE(readProperty<double>(engine->tempoElement(), "rate"), 2.0);
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
}

void TestPlaybinEngine::settingsWrittenBeforeLoadingApply() {
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setVolume(-500);  // start-up writes the level before any file is loaded
    music.setBalance(-3000);
    music.setSpeed(0.5);
    for (const QString& file : {m_oneSecond, m_twoSeconds}) {
        music.setFileName(file);
        music.setPosition(0);
        music.Play();
        QVERIFY(std::abs(readProperty<double>(engine->volumeElement(), "volume") -
                         std::pow(10.0, -0.25)) < 1e-6);
        QVERIFY(readProperty<float>(engine->panoramaElement(), "panorama") < -0.9f);
        QTRY_COMPARE(readProperty<double>(engine->tempoElement(), "rate"), 0.5);
        QTRY_COMPARE(music.Volume(), -500);
        QCOMPARE(music.Balance(), -3000);
        QCOMPARE(music.Speed(), 0.5);
    }
}

void TestPlaybinEngine::balanceAttenuatesTheOppositeChannel_data() {
    QTest::addColumn<int>("balance");
    QTest::addColumn<double>("rightOverLeft");  // amplitude ratio expected
    QTest::newRow("centred") << 0 << 1.0;
    QTest::newRow("right 6 dB") << 600 << 1 / std::pow(10.0, -0.3);
    QTest::newRow("left 6 dB") << -600 << std::pow(10.0, -0.3);
    QTest::newRow("left 20 dB") << -2000 << 0.1;
}

// What actually reaches the output: decoded samples, measured channel by channel.
void TestPlaybinEngine::balanceAttenuatesTheOppositeChannel() {
    QFETCH(int, balance);
    QFETCH(double, rightOverLeft);
    auto engine = makeTestEngine(
        QStringLiteral("audioconvert ! audio/x-raw,format=F32LE,channels=2,layout=interleaved ! "
                       "fakesink name=meter sync=false signal-handoffs=true"));
    ChannelMeter meter;
    clsMusic music(*engine);
    music.setBalance(balance);
    music.setFileName(m_oneSecond);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(engine->audioSink()), "meter");
    QVERIFY(sink);
    g_signal_connect(sink, "handoff", G_CALLBACK(&ChannelMeter::onHandoff), &meter);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
    gst_object_unref(sink);
    std::lock_guard lock(meter.mutex);
    QVERIFY(meter.left > 0);
    const double ratio = std::sqrt(meter.right / meter.left);
    QVERIFY2(std::abs(ratio - rightOverLeft) < 0.02 * rightOverLeft,
             qPrintable(QStringLiteral("ratio %1, expected %2").arg(ratio).arg(rightOverLeft)));
}

// The road of one track to the next: the old chain's end must not leak into the new file.
void TestPlaybinEngine::nextFileReplacesTheChain() {
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setFileName(m_oneSecond);
    music.setPosition(0);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
    const double first = music.duration();
    music.setFileName(m_twoSeconds);
    QCOMPARE(music.State(), 0);
    QCOMPARE(music.Position(), 0.0);
    QVERIFY(music.duration() != first);
    music.setPosition(0);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(music.duration() > first + 0.5, 10000);
    QVERIFY(music.Position() < music.duration());
    QCOMPARE(music.FileName(), m_twoSeconds);
}

void TestPlaybinEngine::formatChangesAtEveryRate_data() {
    QTest::addColumn<double>("rate");
    QTest::newRow("0.5") << 0.5;
    QTest::newRow("1.4") << 1.4;
    QTest::newRow("2.0") << 2.0;
}

// Files of every format one after the other, each change between two formats once, at a
// rate that keeps the tempo stage working: each file plays to its end.
void TestPlaybinEngine::formatChangesAtEveryRate() {
    QFETCH(double, rate);
    struct Format {
        int rate;
        int channels;
    };
    const Format formats[] = {{8000, 1},  {22050, 2}, {32000, 1},
                              {44100, 2}, {48000, 6}, {96000, 2}};
    const int n = int(std::size(formats));
    QStringList files;
    for (const Format& f : formats) {
        const QString path =
            m_dir.filePath(QStringLiteral("%1-%2.aac").arg(f.rate).arg(f.channels));
        QString error;
        if (!QFile::exists(path))
            QVERIFY2(
                writeMediaFile(path,
                               QStringLiteral("audiotestsrc num-buffers=8 samplesperbuffer=%1 ! "
                                              "audio/x-raw,rate=%2,channels=%3 ! "
                                              "audioconvert ! avenc_aac ! aacparse ! "
                                              "audio/mpeg,stream-format=adts ! filesink name=out")
                                   .arg(f.rate / 40)
                                   .arg(f.rate)
                                   .arg(f.channels),
                               &error),
                qPrintable(error));
        files << path;
    }
    // A walk that takes every ordered pair of formats once (each has an edge to each other).
    std::vector<std::vector<int>> next(n);
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            if (a != b) next[a].push_back(b);
    std::vector<int> walk, stack{0};
    while (!stack.empty()) {
        const int v = stack.back();
        if (next[v].empty()) {
            walk.push_back(v);
            stack.pop_back();
        } else {
            stack.push_back(next[v].back());
            next[v].pop_back();
        }
    }
    QCOMPARE(int(walk.size()), n * (n - 1) + 1);

    auto engine = makeTestEngine(QStringLiteral("fakesink sync=false"));
    clsMusic music(*engine);
    music.setSpeed(rate);
    for (int v : walk) {
        music.setFileName(files[v]);
        music.setPosition(0);
        music.Play();
        QTRY_VERIFY2_WITH_TIMEOUT(atTheEnd(music) || !music.Failure().isEmpty(),
                                  qPrintable(files[v]), 5000);
        QVERIFY2(music.Failure().isEmpty(), qPrintable(files[v] + ": " + music.Failure()));
    }
}

void TestPlaybinEngine::videoFilePlaysItsSoundOnly() {
    const QString path = m_dir.filePath(QStringLiteral("clip.mkv"));
    QString error;
    if (!writeVideoFile(path, 1.0, &error)) QSKIP(qPrintable(error));
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    music.setFileName(path);
    QTRY_VERIFY_WITH_TIMEOUT(music.HasAudio(), PlaybinEngine::kLoadDeadlineMs);
    QVERIFY(!music.HasVideo());
    QCOMPARE(music.Width().toInt(), 0);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(music.duration() > 0.5, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
    QVERIFY(!containsElementOfClass(engine->pipeline(), {"Sink", "Video"}));
}

void TestPlaybinEngine::unopenableOutputPlaysSilently_data() {
    QTest::addColumn<QString>("output");
    QTest::newRow("refuses to open") << "pulsesink server=unix:/nonexistent/socket";
    QTest::newRow("never takes the sound") << "valve drop=true ! fakesink sync=true";
}

// An output that fails from the start is not the file's fault: the file plays its course
// silently, and the terminal hears once what failed and what to do.
void TestPlaybinEngine::unopenableOutputPlaysSilently() {
    QFETCH(QString, output);
    GstElementFactory* pulse = gst_element_factory_find("pulsesink");
    if (!pulse) QSKIP("pulsesink is not installed: no device output to fail");
    gst_object_unref(pulse);
    QTest::ignoreMessage(
        QtWarningMsg,
        QRegularExpression("^the audio output '" + QRegularExpression::escape(output) +
                           "' could not be opened: .+; tracks play silently. "
                           "Check the sound settings"));
    auto engine = makeTestEngine(output);
    QVERIFY(!engine->playsSilently());  // the output is opened with the first file's chain
    clsMusic music(*engine);
    music.setFileName(m_oneSecond);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(engine->playsSilently(), PlaybinEngine::kLoadDeadlineMs + 1000);
    QTRY_VERIFY_WITH_TIMEOUT(music.Position() > 0.2 && music.duration() > 0, 10000);
    QVERIFY(music.Position() < music.duration());  // against the clock, not all at once
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
    QVERIFY(music.Failure().isEmpty());
}

// A chain whose output hangs on its way down holds up neither the next file nor the
// engine's end: it is taken down elsewhere, and left behind when it takes too long.
void TestPlaybinEngine::chainThatHangsOnItsWayDownHoldsNothingUp() {
    QVERIFY(gst_element_register(nullptr, "hangingsink", GST_RANK_NONE, hanging_sink_get_type()));
    auto engine = makeTestEngine(QStringLiteral("hangingsink"));
    engine->load(m_oneSecond);
    QTRY_VERIFY(engine->hasAudio());
    const int gone = g_outputsGone;  // the outputs made only to try them
    engine->load(m_twoSeconds);
    QCOMPARE(g_outputsGone, gone);  // back before the first chain was down
    QTRY_VERIFY(engine->hasAudio());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("did not stop within 2 seconds"));
    engine.reset();
    QCOMPARE(g_outputsGone, gone);  // over while both chains still hang
    {
        std::lock_guard lock(g_hangMutex);
        g_released = true;
    }
    g_hangReleased.notify_all();
    QTRY_COMPARE(g_outputsGone, gone + 2);
}

// The streaming threads of every chain made here are gone before the process ends, so
// that the leak check at exit finds them all at rest.
void TestPlaybinEngine::cleanupTestCase() {
    gst_task_cleanup_all();
}

QTEST_GUILESS_MAIN(TestPlaybinEngine)
#include "tst_playbinengine.moc"
