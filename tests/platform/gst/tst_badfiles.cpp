// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "enginetestutil.h"
#include "fakes/aacfixture.h"
#include "platform/gst/decoderchoice.h"
#include "playback/clsmusic.h"

namespace {
// Stands in for whatever video output is installed (some open a window or a device, or
// crash, as soon as they are made) and counts how many the engine made.
int g_videoOutputsMade = 0;
struct StandInVideoSink {
    GstElement parent;
};
struct StandInVideoSinkClass {
    GstElementClass parent_class;
};
G_DEFINE_TYPE(StandInVideoSink, stand_in_video_sink, GST_TYPE_ELEMENT)
void stand_in_video_sink_init(StandInVideoSink*) {
    ++g_videoOutputsMade;
}
void stand_in_video_sink_class_init(StandInVideoSinkClass* klass) {
    static GstStaticPadTemplate sink = GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                                                               GST_STATIC_CAPS("video/x-raw"));
    gst_element_class_add_static_pad_template(GST_ELEMENT_CLASS(klass), &sink);
    gst_element_class_set_static_metadata(GST_ELEMENT_CLASS(klass), "Stand-in video output",
                                          "Sink/Video", "Counts its instances", "Quaverly");
}

}  // namespace

// Files the engine cannot play, and paths it must not trip over. Whatever comes in,
// loading returns at once, nothing throws, and the engine goes on to play the next file.
class TestBadFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void unplayableLoadsAsSilence_data();
    void unplayableLoadsAsSilence();
    void damagedButPlayableEnds_data();
    void damagedButPlayableEnds();
    void lightDecoderOnlyWhereItDecodesAlike_data();
    void lightDecoderOnlyWhereItDecodesAlike();
    void awkwardPathsPlay_data();
    void awkwardPathsPlay();

private:
    QString writeBytes(const QString& name, const QByteArray& bytes);
    void playsToTheEnd(clsMusic& music, const QString& path);
    QTemporaryDir m_dir;
    QString m_good;
    QByteArray m_goodBytes;
};

void TestBadFiles::initTestCase() {
    qunsetenv("DISPLAY");
    QVERIFY(m_dir.isValid());
    QVERIFY(initMediaFramework());
    QVERIFY(gst_element_register(nullptr, "standinvideosink", GST_RANK_PRIMARY,
                                 stand_in_video_sink_get_type()));
    m_good = m_dir.filePath(QStringLiteral("good.aac"));
    QString error;
    QVERIFY2(writeAacFile(m_good, 1.0, 440, &error), qPrintable(error));
    QFile f(m_good);
    QVERIFY(f.open(QIODevice::ReadOnly));
    m_goodBytes = f.readAll();
}

QString TestBadFiles::writeBytes(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir.filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write");
    return path;
}

void TestBadFiles::playsToTheEnd(clsMusic& music, const QString& path) {
    music.setFileName(path);
    QTRY_VERIFY_WITH_TIMEOUT(music.HasAudio(), PlaybinEngine::kLoadDeadlineMs);
    QVERIFY(music.Failure().isEmpty());
    music.setPosition(0);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music), 5000);
}

void TestBadFiles::unplayableLoadsAsSilence_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty") << "empty";
    QTest::newRow("random bytes") << "random";
    QTest::newRow("text") << "text";
    QTest::newRow("tag header and junk") << "id3";
    QTest::newRow("cut ADTS") << "cut";
    QTest::newRow("5,000 empty tags") << "tags";
    QTest::newRow("folder") << "folder";
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("missing") << "missing";
    QTest::newRow("empty path") << "none";
    QTest::newRow("NUL after a good file's name") << "nul";
    QTest::newRow("PNG picture") << "png";
    QTest::newRow("JPEG picture") << "jpeg";
    QTest::newRow("WebM video") << "video";
}

// Whatever the file makes the chain do, loading returns at once, the file is soon known
// as unplayable and why, its chain's threads are given back, and the same engine plays
// the next file.
void TestBadFiles::unplayableLoadsAsSilence() {
    QFETCH(QString, kind);
    const QString name = kind + QStringLiteral(".aac");
    QString path = m_dir.filePath(name);
    QString error;
    if (kind == "folder") {
        QVERIFY(QDir(m_dir.path()).mkdir(name));
    } else if (kind == "fifo") {
        // Opening a FIFO blocks until a writer comes: none ever will.
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "none") {
        path.clear();
    } else if (kind == "nul") {
        path = m_good + QChar(u'\0') + QStringLiteral(".aac");
    } else if (kind != "missing") {
        QVERIFY2(writeBadFile(path, kind, &error), qPrintable(error));
    }
    g_videoOutputsMade = 0;

    auto engine = makeTestEngine();
    clsMusic music(*engine);
    const long threadsBefore = processStatus("Threads:");
    ProcessPeak peak;
    music.setFileName(path);
    QCOMPARE(music.FileName(), path);
    music.setPosition(0);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(!music.Failure().isEmpty(), PlaybinEngine::kLoadDeadlineMs + 1000);
    QVERIFY(!music.HasAudio());
    QCOMPARE(music.duration(), 0.0);
    QCOMPARE(music.Position(), 0.0);
    QCOMPARE(music.State(), 0);
    QCOMPARE(g_videoOutputsMade, 0);
    QVERIFY2(peak.threads() < 100 && peak.growthKiB() < 100 * 1024,
             qPrintable(QStringLiteral("%1 threads, %2 KiB more at the peak")
                            .arg(peak.threads())
                            .arg(peak.growthKiB())));
    QTRY_VERIFY_WITH_TIMEOUT(processStatus("Threads:") <= threadsBefore + 8, 10000);  // gone

    // The same engine plays the next file as if nothing had happened.
    playsToTheEnd(music, m_good);
}

void TestBadFiles::damagedButPlayableEnds_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("cut mid-frame") << "truncated";
    QTest::newRow("junk after the start") << "tail";
    QTest::newRow("mono, made stereo by the light decoder") << "mono";
    QTest::newRow("silent frames that the light decoder cannot read") << "zeroed";
}

// A damaged file plays what it can and still ends exactly, so the list moves on.
void TestBadFiles::damagedButPlayableEnds() {
    QFETCH(QString, kind);
    QByteArray bytes = m_goodBytes.left(m_goodBytes.size() / 2 + 3);
    if (kind == "tail") bytes += QByteArray(4000, '\x55');
    QString path = writeBytes(kind + QStringLiteral(".aac"), bytes);
    // Offered to the light decoder, which gives mono as stereo: played with libav's.
    if (kind == "mono")
        QVERIFY(writeMediaFile(path,
                               "audiotestsrc num-buffers=40 ! audio/x-raw,channels=1 ! "
                               "avenc_aac ! aacparse ! audio/mpeg,stream-format=adts ! "
                               "filesink name=out"));
    // Frames whose contents are all zero bits, from a second in: libav's decoder reads them
    // as silence, the light one gives up on them.
    if (kind == "zeroed") {
        QVERIFY(writeAacFile(path, 2.0));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        bytes = file.readAll();
        for (qsizetype at = 0, frame = 0; at + 7 <= bytes.size(); ++frame) {
            const auto byte = [&](qsizetype i) { return uchar(bytes[at + i]); };
            const qsizetype length = (byte(3) & 3) << 11 | byte(4) << 3 | byte(5) >> 5;
            const qsizetype header = byte(1) & 1 ? 7 : 9;
            if (length <= header) break;
            if (frame >= 43 && frame < 73)
                std::fill(bytes.begin() + at + header, bytes.begin() + at + length, '\0');
            at += length;
        }
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size());
    }
    qputenv("QUAVERLY_AAC_DECODER", kind == "mono" ? "faad" : "");
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    music.setFileName(path);
    music.Play();
    QTRY_VERIFY_WITH_TIMEOUT(engine->pipeline(), 5000);
    g_autoptr(GstElement) chain = GST_ELEMENT(gst_object_ref(engine->pipeline()));
    QTRY_VERIFY_WITH_TIMEOUT(atTheEnd(music) || !music.Failure().isEmpty(), 10000);
    qunsetenv("QUAVERLY_AAC_DECODER");
    QVERIFY2(music.Failure().isEmpty(), qPrintable(music.Failure()));
    QVERIFY(music.duration() > 0.2);
    if (kind == "mono" || kind == "zeroed") {  // played on with libav's decoder
        g_autoptr(GstIterator) it = gst_bin_iterate_all_by_element_factory_name(
            GST_BIN(engine->pipeline()), decoderchoice::kFull);
        g_auto(GValue) item = G_VALUE_INIT;
        QCOMPARE(gst_iterator_next(it, &item), GST_ITERATOR_OK);
        // in the chain the file started in: a new one would be heard as a break
        QCOMPARE(engine->pipeline(), chain);
    }
    playsToTheEnd(music, m_good);
}

void TestBadFiles::lightDecoderOnlyWhereItDecodesAlike_data() {
    QTest::addColumn<QString>("stream");
    QTest::addColumn<QString>("decoded");  // empty: the light decoder is not offered it
    QTest::addColumn<bool>("alike");
    const QString lc = QStringLiteral(
        "audio/mpeg,mpegversion=4,stream-format=adts,profile=lc,rate=44100,channels=2");
    const QString stereo = QStringLiteral("audio/x-raw,rate=44100,channels=2");
    QTest::newRow("AAC-LC stereo") << lc << stereo << true;
    QTest::newRow("without the SBR layer: half rate")
        << lc << "audio/x-raw,rate=22050,channels=2" << false;
    QTest::newRow("5.1 given as stereo")
        << "audio/mpeg,mpegversion=4,profile=lc,rate=48000,channels=6" << stereo << false;
    QTest::newRow("HE-AAC signalled in MP4 (object type 5)")
        << "audio/mpeg,mpegversion=4,stream-format=raw,rate=44100,channels=2,"
           "codec_data=(buffer)2b920800"
        << QString() << false;
    QTest::newRow("mono") << "audio/mpeg,mpegversion=4,profile=lc,rate=44100,channels=1"
                          << QString() << false;
}

// The light decoder is offered only the streams it was measured to decode as libav's
// does, and what it gives is held against the stream's header.
void TestBadFiles::lightDecoderOnlyWhereItDecodesAlike() {
    QFETCH(QString, stream);
    QFETCH(QString, decoded);
    QFETCH(bool, alike);
    g_autoptr(GstCaps) in = gst_caps_from_string(stream.toUtf8().constData());
    g_autoptr(GstCaps) out = gst_caps_from_string(decoded.toUtf8().constData());
    QCOMPARE(decoderchoice::lightFits(in), !decoded.isEmpty());
    if (out) QCOMPARE(decoderchoice::decodedAsStreamSays(in, out), alike);
}

void TestBadFiles::awkwardPathsPlay_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("spaces") << "my  song .aac";
    QTest::newRow("quotes") << "it's \"quoted\".aac";
    QTest::newRow("hash") << "track #1.aac";
    QTest::newRow("percent") << "100% %20 done.aac";
    QTest::newRow("non-ASCII") << QString::fromUtf8("Ünïcödé – ♫ 歌.aac");
    QTest::newRow("question and backslash") << "what?\\why.aac";
    QTest::newRow("upper-case suffix") << "LOUD.AAC";
}

void TestBadFiles::awkwardPathsPlay() {
    QFETCH(QString, name);
    const QString path = m_dir.filePath(name);
    QString error;
    QVERIFY2(writeAacFile(path, 0.5, 550, &error), qPrintable(error));
    auto engine = makeTestEngine();
    clsMusic music(*engine);
    playsToTheEnd(music, path);
}

// The streaming threads of every chain made here are gone before the process ends, so
// that the leak check at exit finds them all at rest.
void TestBadFiles::cleanupTestCase() {
    gst_task_cleanup_all();
}

QTEST_GUILESS_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
