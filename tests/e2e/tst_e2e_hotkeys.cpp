// SPDX-License-Identifier: GPL-3.0-or-later
// The five hot keys and the media keys on a real X server: real grabs, keys pressed
// through XTEST by xdotool while the program's own pump runs, acting on the window's
// buttons; and the built program leaving them all alone when asked to.
#include <QtTest>

#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>

#include "app/form1.h"
#include "app/hotkeypump.h"
#include "fakes/fakefilesystem.h"
#include "fakes/fakemediaengine.h"
#include "fakes/fakemessageboxes.h"
#include "fakes/fakesettingsstore.h"
#include "fakes/fakeshell.h"
#include "fakes/formrig.h"
#include "platform/hotkeychoice.h"
#include "platform/x11/x11hotkeyservice.h"
#include "playlist/playlist.h"

namespace {

// The real service, passed through, counting the presses that land while the pump is
// busy with its own event processing rather than waiting: the program drops those by
// design, and a person would press again. So does the test.
class CountingHotKeys : public IHotKeyService {
public:
    explicit CountingHotKeys(IHotKeyService& real) : m_real(real) {}
    bool available() const override { return m_real.available(); }
    quint32 addAtom(const QString& name) override { return m_real.addAtom(name); }
    void registerHotKey(quint32 id, char letter) override { m_real.registerHotKey(id, letter); }
    void registerMediaKey(quint32 id, MediaKey key) override { m_real.registerMediaKey(id, key); }
    void setHandler(std::function<void(quint32)> onPressed) override {
        if (!onPressed) return m_real.setHandler({});
        m_real.setHandler([this, onPressed](quint32 id) {
            // At the pump's own level (no message box open) and yet not taken.
            if (pump && !pump->acceptsHotKey() && QThread::currentThread()->loopLevel() == 0)
                ++missed;
            onPressed(id);
        });
    }
    HotKeyPump* pump = nullptr;
    int missed = 0;

private:
    IHotKeyService& m_real;
};

const QString kStart = QStringLiteral("Start Playing (Ctrl+Shift+X)");
const QString kStop = QStringLiteral("Stop Playing (Ctrl+Shift+X)");
const QString kPause = QStringLiteral("Pause (Ctrl+Shift+C)");
const QString kResume = QStringLiteral("Resume (Ctrl+Shift+C)");
const QString kProgram = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/quaverly");
}  // namespace

class TestE2EHotKeys : public QObject {
    Q_OBJECT

    // Runs `steps` one after another, 300 ms apart, inside the program's pump, then
    // leaves the pump. Each step may press keys; its results are checked afterwards.
    void pumpThrough(Form1& form, CountingHotKeys& keys,
                     const QList<std::function<void()>>& steps) {
        int at = 0;
        int missed = 0;
        QTimer driver;
        driver.setInterval(300);
        QObject::connect(&driver, &QTimer::timeout, &form, [&] {
            if (keys.missed > missed) {
                missed = keys.missed;
                press(m_lastPress);
                return;
            }
            if (at < steps.size()) {
                steps[at++]();
            } else {
                driver.stop();
                form.pump()->StopPump = true;
            }
        });
        driver.start();
        form.pump()->Timer1_Timer();  // returns when StopPump is set
    }

    // Presses a key, holding its modifiers down a moment first, as a person does: the
    // modifiers change the keyboard state, which wakes the pump on its own, and a letter
    // that lands in the pump's own event processing is dropped by design.
    void press(const QString& keys) {
        m_lastPress = keys;
        const qsizetype plus = keys.lastIndexOf(u'+');
        if (plus < 0) {
            QProcess::startDetached(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
            return;
        }
        const QString modifiers = keys.left(plus);
        QProcess::startDetached(
            QStringLiteral("xdotool"),
            {"keydown", modifiers, "sleep", "0.05", "key", keys.mid(plus + 1), "keyup", modifiers});
    }

    QString m_lastPress;

private Q_SLOTS:
    void initTestCase() {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server (the test command starts Xvfb)");
        if (QStandardPaths::findExecutable("xdotool").isEmpty())
            QSKIP("needs xdotool to press keys through XTEST");
    }

    void eachKeyRunsItsButton() {
        std::unique_ptr<IHotKeyService> x11 = createHotKeyService();
        QVERIFY(x11->available());
        CountingHotKeys keys(*x11);
        FormRig rig;
        QStringList files;
        for (int i = 1; i <= 3; ++i) files << QStringLiteral("/m/%1.aac").arg(i);
        rig.addFiles(files);
        rig.store.set("Files", files.join("||MySeparator12||"));
        rig.store.set("Option1", "0");
        rig.store.set("Option2", "1");
        rig.store.set("Snapshot", "x");
        rig.make([&](Form1::Services& s) { s.hotKeys = &keys; });  // the test runs the pump
        Form1& form = *rig.form;
        FakeMessageBoxes& boxes = rig.boxes;
        FakeMediaEngine& engine = rig.engine;
        form.Form_Load();
        form.showCentred();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        keys.pump = form.pump();
        // A window manager under load may take a while to focus the new window.
        QTRY_VERIFY_WITH_TIMEOUT(form.isActiveWindow(), 20000);
        // The keys are for when another program has the focus: give it to one.
        QProcess other;
        other.start(QStringLiteral("xmessage"), {"-timeout", "60", "another program"});
        QVERIFY(other.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!form.isActiveWindow(), 20000);

        QStringList seen;  // captions and the loaded file after each key
        auto record = [&] {
            seen << form.PushButton1->text() + " | " + form.PushButton4->text() + " | " +
                        engine.loadedPath;
        };
        // While a message box is open, a hot key does nothing.
        boxes.setOnOpen([&](const FakeMessageBoxes::Box&) {
            QEventLoop modal;
            press("ctrl+shift+x");
            QTimer::singleShot(600, &modal, &QEventLoop::quit);
            modal.exec();
        });
        const auto recordThenPress = [&](const char* key) -> std::function<void()> {
            return [&, key] {
                record();
                press(QString::fromLatin1(key));
            };
        };
        pumpThrough(form, keys,
                    {
                        [&] { press("ctrl+shift+x"); },
                        [&] {
                            record();
                            press("ctrl+shift+c");
                        },
                        [&] {
                            record();
                            press("ctrl+shift+c");
                        },
                        [&] {
                            record();
                            press("ctrl+shift+b");
                        },
                        [&] {
                            record();
                            press("ctrl+shift+z");
                        },
                        [&] {
                            record();
                            press("ctrl+shift+v");
                        },
                        [&] {
                            record();
                            press("Num_Lock");
                        },
                        [&] { press("ctrl+shift+x"); },
                        [&] {
                            record();
                            press("Num_Lock");
                        },
                        [&] { press("ctrl+shift+v"); },
                        [&] {
                            record();
                            press("ctrl+shift+x");
                        },
                        recordThenPress("XF86AudioPlay"),
                        recordThenPress("XF86AudioPause"),
                        recordThenPress("XF86AudioNext"),
                        recordThenPress("XF86AudioPrev"),
                        recordThenPress("XF86AudioStop"),
                        recordThenPress("XF86AudioStop"),
                        recordThenPress("XF86AudioPlay"),
                        recordThenPress("ctrl+shift+v"),
                        // Pause while stopped opens the "start first" box, and a key
                        // pressed while it is open is lost.
                        recordThenPress("ctrl+shift+c"),
                        [&] {},
                        [&] { record(); },
                    });
        const QStringList expected = {
            kStop + " | " + kPause + " | " + files[0],   // X starts with the selected entry
            kStop + " | " + kResume + " | " + files[0],  // C pauses
            kStop + " | " + kPause + " | " + files[0],   // C resumes
            kStop + " | " + kPause + " | " + files[1],   // B: next
            kStop + " | " + kPause + " | " + files[0],   // Z: previous
            kStart + " | " + kPause + " | " + files[0],  // V stops
            kStop + " | " + kPause + " | " + files[1],   // X, with Num Lock on, starts the next
            kStart + " | " + kPause + " | " + files[1],  // V stops
            kStop + " | " + kPause + " | " + files[2],   // X starts
            kStop + " | " + kResume + " | " + files[2],  // Play, while playing, pauses
            kStop + " | " + kPause + " | " + files[2],   // Pause resumes
            kStop + " | " + kPause + " | " + files[0],   // Next
            kStop + " | " + kPause + " | " + files[2],   // Prev
            kStart + " | " + kPause + " | " + files[2],  // Stop stops
            kStart + " | " + kPause + " | " + files[2],  // Stop, when stopped, does nothing
            kStop + " | " + kPause + " | " + files[0],   // Play, when stopped, starts
            kStart + " | " + kPause + " | " + files[0],  // V stops
            kStart + " | " + kPause + " | " + files[0],  // the key during the box did nothing
        };
        QVERIFY(!form.isActiveWindow());
        other.kill();
        other.waitForFinished();
        if (keys.missed > 0) qInfo("%d press(es) landed in the pump's own processing", keys.missed);
        QCOMPARE(seen, expected);
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(boxes.last().text, QStringLiteral("Please start playing first."));
        QCOMPARE(engine.loadCount, 8);
    }

    // The built program holds every global key, unless told not to take any: then
    // another client gets them while it runs.
    void noHotKeysLeavesTheKeysToOthers() {
        for (const bool noHotKeys : {false, true}) {
            QTemporaryDir config;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("XDG_CONFIG_HOME", config.path());
            env.insert("QT_LOGGING_RULES", "quaverly.app.pump.debug=true");
            QProcess program;
            program.setProcessEnvironment(env);
            program.start(kProgram, noHotKeys ? QStringList{"--no-hot-keys"} : QStringList{});
            QByteArray said;
            QTRY_VERIFY_WITH_TIMEOUT(
                (said += program.readAllStandardError()).contains("keys registered; pumping"),
                20000);
            X11HotKeyService other;
            QCOMPARE(other.grabHotKey(1, 'X'), noHotKeys);
            QCOMPARE(other.grabMediaKey(2, IHotKeyService::MediaKey::Play), noHotKeys);
            program.terminate();
            QVERIFY(program.waitForFinished(15000));
            QCOMPARE(program.exitCode(), 0);
        }
    }
};

QTEST_MAIN(TestE2EHotKeys)
#include "tst_e2e_hotkeys.moc"
