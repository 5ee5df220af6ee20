// SPDX-License-Identifier: GPL-3.0-or-later
// The window driving the real engine on real files: GStreamer decodes short AAC files
// made here, through a sink that keeps time but makes no sound.
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QtTest>

#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTreeView>

#include "app/form1.h"
#include "fakes/aacfixture.h"
#include "fakes/captions.h"
#include "fakes/fakemessageboxes.h"
#include "fakes/fakesettingsstore.h"
#include "fakes/fakeshell.h"
#include "fakes/formrig.h"
#include "platform/gst/gstmediaengine.h"
#include "platform/posix/posixfilesystem.h"
#include "playback/clsmusic.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"

namespace {
// The real engine, recording every file it is asked to load: each start of a track.
class LoadRecorder : public IMediaEngine {
public:
    explicit LoadRecorder(std::unique_ptr<IMediaEngine> real) : m_real(std::move(real)) {}
    QStringList loads;
    bool load(const QString& path) override {
        loads << path;
        return m_real->load(path);
    }
    void run() override { m_real->run(); }
    void pause() override { m_real->pause(); }
    void stop() override { m_real->stop(); }
    State state() const override { return m_real->state(); }
    double position() const override { return m_real->position(); }
    void setPosition(double seconds) override { m_real->setPosition(seconds); }
    double duration() const override { return m_real->duration(); }
    double rate() const override { return m_real->rate(); }
    void setRate(double rate) override { m_real->setRate(rate); }
    int volume() const override { return m_real->volume(); }
    void setVolume(int volume) override { m_real->setVolume(volume); }
    int balance() const override { return m_real->balance(); }
    void setBalance(int balance) override { m_real->setBalance(balance); }
    bool hasAudio() const override { return m_real->hasAudio(); }
    QString failure() const override { return m_real->failure(); }

private:
    std::unique_ptr<IMediaEngine> m_real;
};

// Counts the terminal lines that say a given file could not be played.
struct FailureLog {
    explicit FailureLog(const QString& path) {
        s_path = path;
        s_count = s_waits = 0;
        s_previous = qInstallMessageHandler(&FailureLog::handle);
    }
    ~FailureLog() { qInstallMessageHandler(s_previous); }
    int count() const { return s_count; }
    const QString& last() const { return s_last; }
    // And the lines that say the engine waits for its output.
    int waits() const { return s_waits; }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (text.contains(s_path) && text.contains(QLatin1String("could not be played"))) {
            ++s_count;
            s_last = text;
        }
        if (text.contains(QLatin1String("waiting for it to come back"))) ++s_waits;
        s_previous(type, context, text);
    }
    static inline QString s_path;
    static inline QString s_last;
    static inline int s_count = 0;
    static inline int s_waits = 0;
    static inline QtMessageHandler s_previous = nullptr;
};

// A real sound server of the test's own, playing into a null sink, that the test can kill
// and start again on the same socket.
class SoundServer {
public:
    QString socket() const { return m_dir.filePath(QStringLiteral("native")); }
    bool start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.path());
        env.insert("XDG_RUNTIME_DIR", m_dir.path());
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start("pulseaudio",
                       {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                        "--log-level=error", "-L",
                        "module-native-protocol-unix auth-anonymous=1 socket=" + socket(), "-L",
                        "module-null-sink"});
        return m_server.waitForStarted() &&
               QTest::qWaitFor([this] { return QFile::exists(socket()); });
    }
    void kill() {
        m_server.kill();
        m_server.waitForFinished();
        QFile::remove(socket());
    }
    ~SoundServer() { kill(); }

private:
    QTemporaryDir m_dir;
    QProcess m_server;
};
}  // namespace

class TestE2EPlayback : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_files;

    // The window on the real file system and engine; the other services are fakes.
    struct Rig : FormRig {
        PosixFileSystem posix;
        LoadRecorder realEngine;
        QStringList played;

        Rig(const QString& folder, const QStringList& files, bool inOrder,
            const QString& sink = QStringLiteral("fakesink sync=true"))
            : realEngine(makeGstMediaEngine(sink)) {
            store.set("Option1", inOrder ? "0" : "1");
            store.set("Option2", inOrder ? "1" : "0");
            store.set("Snapshot", "none");
            store.set("Files", encodePlaylist(files));
            programFolder = folder;
            make([this](Form1::Services& s) {
                s.fs = &posix;
                s.engine = &realEngine;
            });
            form->Form_Load();
            // Each track that starts, in order.
            QObject::connect(form->tmrTimer, &QTimer::timeout, form.get(), [this] {
                const QString now = form->transport().track();
                if (played.isEmpty() || played.last() != now) played << now;
            });
        }
        ~Rig() { form.reset(); }  // the window goes before the engine it plays on
    };

private Q_SLOTS:
    void initTestCase() {
        QString error;
        QVERIFY2(initMediaFramework(&error), qPrintable(error));
        for (int i = 1; i <= 3; ++i) {
            const QString path = m_dir.filePath(QStringLiteral("tone %1 #%%.aac").arg(i));
            if (!writeAacFile(path, 0.6, 300 + 100 * i, &error))
                QSKIP(qPrintable("cannot make AAC test files here: " + error));
            m_files << path;
        }
    }

    void inOrderPlaysThroughAndWraps() {
        Rig rig(m_dir.path(), m_files, true);
        rig.form->PushButton1_Click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.played.size() >= 4, 15000);
        QCOMPARE(rig.played.mid(0, 4),
                 QStringList({m_files[0], m_files[1], m_files[2], m_files[0]}));
        QCOMPARE(rig.boxes.count(), 0);
        // The end of a file reads exactly its length, and Play starts it over.
        rig.form->PushButton1_Click();
        QCOMPARE(rig.realEngine.state(), IMediaEngine::State::Stopped);
    }

    void randomNeverRepeatsAtOnce() {
        Rig rig(m_dir.path(), m_files, false);
        rig.form->PushButton1_Click();
        // Ten starts of three files: a draw that could repeat one passes with a chance of
        // (2/3)^9, about 3%.
        QTRY_VERIFY_WITH_TIMEOUT(rig.realEngine.loads.size() >= 10, 30000);
        const QStringList& loads = rig.realEngine.loads;
        for (qsizetype i = 1; i < loads.size(); ++i) QVERIFY(loads[i] != loads[i - 1]);
    }

    void transportStates() {
        Rig rig(m_dir.path(), m_files, true);
        Form1& f = *rig.form;
        QList<double> ticks;  // the place the engine reads at each tick of the monitor
        QObject::connect(f.tmrTimer, &QTimer::timeout, &f,
                         [&] { ticks << f.transport().position(); });
        f.PushButton1_Click();
        QTRY_VERIFY(f.transport().position() > 0);  // it sounds, not only prepared
        QCOMPARE(rig.realEngine.state(), IMediaEngine::State::Running);
        f.PushButton4_Click();
        ticks.clear();
        QTRY_COMPARE(rig.realEngine.state(), IMediaEngine::State::Paused);
        QCOMPARE(f.PushButton4->text(), kResume);
        // The chain settles into its pause a moment after the request; from the first two
        // ticks that read the same place, paused means paused for five more.
        QTRY_VERIFY(ticks.size() > 1 && ticks.last() == ticks[ticks.size() - 2]);
        const qsizetype held = ticks.size() - 1;
        QTRY_VERIFY(ticks.size() >= held + 6);
        QCOMPARE(ticks.mid(held, 6), QList<double>(6, ticks[held]));
        QTRY_VERIFY(f.transport().length() > ticks[held]);  // midway, not at the end
        f.PushButton4_Click();
        QTRY_COMPARE(rig.realEngine.state(), IMediaEngine::State::Running);
        f.PushButton1_Click();
        QTRY_COMPARE(rig.realEngine.state(), IMediaEngine::State::Stopped);
        QCOMPARE(f.PushButton1->text(), kStart);
        QCOMPARE(f.PushButton4->text(), kPause);
    }

    void clickOnAnEntryPlaysIt() {
        Rig rig(m_dir.path(), m_files, false);
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QRect third = f.ListView1->visualRect(f.ListView1->model()->index(2, 0));
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, third.center());
        QTRY_COMPARE(f.transport().track(), m_files[2]);
        QTRY_COMPARE(rig.realEngine.state(), IMediaEngine::State::Running);
    }

    // Files met in real folders that cannot be played: each is tried once, said once on
    // the terminal, passed over like a track that ended, and reaches nothing outside.
    void unplayableFileIsPassedOver_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("text") << "text";
        QTest::newRow("cut ADTS") << "cut";
        QTest::newRow("video without sound") << "video";
        QTest::newRow("PNG picture") << "png";
        QTest::newRow("5,000 tags") << "tags";
        QTest::newRow("HLS manifest") << "hls";
        QTest::newRow("MP4 that refers to the web") << "reference";
    }
    void unplayableFileIsPassedOver() {
        QFETCH(QString, kind);
        QTcpServer web;
        QVERIFY(web.listen(QHostAddress::LocalHost));
        const QString bad = m_dir.filePath(QStringLiteral("bad %1.aac").arg(kind));
        QString error;
        const QString elsewhere = QStringLiteral("http://127.0.0.1:%1/").arg(web.serverPort());
        if (kind == "reference") {
            QVERIFY2(writeReferenceMovie(bad, elsewhere + "x.mp4", &error), qPrintable(error));
        } else if (kind == "hls") {
            // Without the element that follows a manifest the file fails as a text, and
            // the row would prove nothing.
            if (!hasMediaElement("hlsdemux", &error)) QSKIP(qPrintable(error));
            QFile manifest(bad);
            QVERIFY(manifest.open(QIODevice::WriteOnly));
            manifest.write(QStringLiteral("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:10\n"
                                          "#EXTINF:10.0,\n%1one.aac\n#EXT-X-ENDLIST\n")
                               .arg(elsewhere)
                               .toUtf8());
        } else {
            QVERIFY2(writeBadFile(bad, kind, &error), qPrintable(error));
        }
        FailureLog log(bad);
        Rig rig(m_dir.path(), {bad, m_files[0]}, true);
        rig.form->PushButton1_Click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.played.contains(m_files[0]), 8000);
        QCOMPARE(rig.boxes.count(), 0);
        QCOMPARE(rig.form->PushButton1->text(), kStop);
        QCOMPARE(log.count(), 1);
        // Told at once, not once the load gives up waiting.
        if (kind == "reference")
            QVERIFY2(log.last().contains("refers to media elsewhere"), qPrintable(log.last()));
        QVERIFY(!web.hasPendingConnections());
    }

    // A list of which nothing plays: each file fails in turn, then playback stops as Stop
    // stops it, with one box that says why, once.
    void nothingPlayableStopsWithOneBox() {
        const QString text = m_dir.filePath(QStringLiteral("notes.aac"));
        QVERIFY(writeBadFile(text, QStringLiteral("text")));
        Rig rig(m_dir.path(), {text, m_dir.filePath(QStringLiteral("cut.aac"))}, true);
        QVERIFY(writeBadFile(m_dir.filePath(QStringLiteral("cut.aac")), QStringLiteral("cut")));
        rig.form->PushButton1_Click();
        QTRY_COMPARE_WITH_TIMEOUT(rig.form->PushButton1->text(), kStart, 12000);
        QCOMPARE(rig.messages().size(), 1);
        QVERIFY2(rig.messages()[0].startsWith("None of the files in the list could be played.") &&
                     !rig.messages()[0].endsWith(".."),
                 qPrintable(rig.messages()[0]));
        QCOMPARE(rig.realEngine.state(), IMediaEngine::State::Stopped);
    }

    // The sound server goes away while a file plays and comes back: the file is not to
    // blame. It keeps its place and goes on from there by itself, with no word, and the
    // list plays on.
    void soundServerThatRestartsIsWaitedFor() {
        if (QStandardPaths::findExecutable("pulseaudio").isEmpty())
            QSKIP("needs the pulseaudio server and GStreamer's pulsesink (scripts/deps.sh)");
        const QString longer = m_dir.filePath(QStringLiteral("four seconds.aac"));
        QVERIFY(writeAacFile(longer, 4.0, 330));
        SoundServer server;
        QVERIFY(server.start());
        FailureLog log(longer);
        Rig rig(m_dir.path(), {longer, m_files[0]}, true,
                "pulsesink server=unix:" + server.socket());
        rig.form->PushButton1_Click();
        const Transport& music = rig.form->transport();
        QTRY_VERIFY_WITH_TIMEOUT(music.position() > 1.0, 5000);
        server.kill();
        const double heldAt = music.position();
        QTRY_COMPARE(log.waits(), 1);  // the engine has noticed
        QVERIFY(server.start());
        QTRY_VERIFY_WITH_TIMEOUT(rig.played.contains(m_files[0]), 15000);
        QVERIFY(heldAt < 3.0);
        QCOMPARE(rig.realEngine.loads, QStringList({longer, m_files[0]}));
        QCOMPARE(rig.boxes.count(), 0);
        QCOMPARE(log.count(), 0);
    }
};

QTEST_MAIN(TestE2EPlayback)
#include "tst_e2e_playback.moc"
