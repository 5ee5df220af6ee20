// The window driving the real engine on real files: GStreamer decodes short AAC files
// made here, through a sink that keeps time but makes no sound.
#include <cmath>

#include <QtTest>

#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTreeView>

#include "app/form1.h"
#include "fakes/aacfixture.h"
#include "fakes/fakemessageboxes.h"
#include "fakes/fakesettingsstore.h"
#include "fakes/fakeshell.h"
#include "fakes/formrig.h"
#include "platform/gst/gstmediaengine.h"
#include "platform/posix/posixfilesystem.h"
#include "playback/clsmusic.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"

class TestE2EPlayback : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_files;

    // The window on the real file system and engine; the other services are fakes.
    struct Rig : FormRig {
        PosixFileSystem posix;
        std::unique_ptr<IMediaEngine> realEngine = makeGstMediaEngine("fakesink sync=true");
        QStringList played;

        Rig(const QString& folder, const QStringList& files, bool inOrder) {
            store.set("Option1", inOrder ? "0" : "1");
            store.set("Option2", inOrder ? "1" : "0");
            store.set("Snapshot", "none");
            store.set("Files", encodePlaylist(files));
            programFolder = folder;
            make([this](Form1::Services& s) {
                s.fs = &posix;
                s.engine = realEngine.get();
            });
            form->Form_Load();
            // Each track that starts, in order.
            QObject::connect(form->tmrTimer, &QTimer::timeout, form.get(), [this] {
                const QString now = form->transport().Music->FileName();
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
        QCOMPARE(rig.form->transport().Music->State(), 0);
    }

    void randomNeverRepeatsAtOnce() {
        Rig rig(m_dir.path(), m_files, false);
        rig.form->PushButton1_Click();
        QTRY_VERIFY_WITH_TIMEOUT(rig.played.size() >= 5, 20000);
        for (qsizetype i = 1; i < rig.played.size(); ++i)
            QVERIFY(rig.played[i] != rig.played[i - 1]);
    }

    void transportStates() {
        Rig rig(m_dir.path(), m_files, true);
        Form1& f = *rig.form;
        f.PushButton1_Click();
        QTRY_COMPARE(f.transport().Music->State(), 1);
        f.PushButton4_Click();
        QTRY_COMPARE(f.transport().Music->State(), 2);
        QCOMPARE(f.PushButton4->text(), QStringLiteral("Resume (Ctrl+Shift+C)"));
        // The chain settles into its pause a moment after the request: read from then.
        QTest::qWait(200);
        const double held = f.transport().Music->Position();
        QTest::qWait(300);
        QVERIFY(std::abs(f.transport().Music->Position() - held) < 0.02);  // paused means paused
        f.PushButton4_Click();
        QTRY_COMPARE(f.transport().Music->State(), 1);
        f.PushButton1_Click();
        QTRY_COMPARE(f.transport().Music->State(), 0);
        QCOMPARE(f.PushButton1->text(), QStringLiteral("Start Playing (Ctrl+Shift+X)"));
        QCOMPARE(f.PushButton4->text(), QStringLiteral("Pause (Ctrl+Shift+C)"));
    }

    void clickOnAnEntryPlaysIt() {
        Rig rig(m_dir.path(), m_files, false);
        Form1& f = *rig.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QRect third = f.ListView1->visualRect(f.ListView1->model()->index(2, 0));
        QTest::mouseClick(f.ListView1->viewport(), Qt::LeftButton, {}, third.center());
        QTRY_COMPARE(f.transport().Music->FileName(), m_files[2]);
        QTRY_COMPARE(f.transport().Music->State(), 1);
    }

    // A file the engine cannot play loads silently and the list waits for the user.
    void unplayableFileWaits() {
        const QString junk = m_dir.filePath("junk.aac");
        QFile file(junk);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, '\x5a'));
        file.close();
        Rig rig(m_dir.path(), {junk, m_files[0]}, true);
        rig.form->PushButton1_Click();
        QTest::qWait(800);
        QCOMPARE(rig.form->transport().Music->FileName(), junk);
        QCOMPARE(rig.form->transport().Music->duration(), 0.0);
        QCOMPARE(rig.boxes.count(), 0);
        rig.form->PushButton7_Click();  // Next moves on by hand
        QTRY_COMPARE(rig.form->transport().Music->State(), 1);
        QCOMPARE(rig.form->transport().Music->FileName(), m_files[0]);
    }
};

QTEST_MAIN(TestE2EPlayback)
#include "tst_e2e_playback.moc"
