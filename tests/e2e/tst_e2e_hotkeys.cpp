// SPDX-License-Identifier: GPL-3.0-or-later
// The five hot keys and the media keys on a real X server: real grabs, keys pressed
// through XTEST by xdotool while the program's own pump runs, acting on the window's
// buttons; and the built program leaving them all alone when asked to.
#include <QtTest>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QThread>

#include "app/form1.h"
#include "app/hotkeypump.h"
#include "fakes/captions.h"
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
            ++received;
            onPressed(id);
        });
    }
    HotKeyPump* pump = nullptr;
    int missed = 0;
    int received = 0;  // every press that reached the program

private:
    IHotKeyService& m_real;
};

const QString kProgram = QStringLiteral(QUAVERLY_BINARY_DIR "/bin/quaverly");
}  // namespace

class TestE2EHotKeys : public QObject {
    Q_OBJECT

    // One press and the state it leads to; an empty state only waits for the press to
    // have been made (a key the program does not take).
    struct Step {
        QString key;
        QString expected;
        std::function<void()> before = {};
    };

    // Presses the keys of `steps` one after another inside the program's pump, each once
    // the program has taken the one before and reached its state, then leaves the pump.
    // Gives the states reached; a state not reached within 20 s is the last one given.
    QStringList pumpThrough(Form1& form, CountingHotKeys& keys, const QList<Step>& steps,
                            const std::function<QString()>& state) {
        QStringList seen;
        qsizetype at = -1;
        int missed = 0;
        int received = 0;
        QDeadlineTimer deadline;
        QTimer driver;
        driver.setInterval(20);
        QObject::connect(&driver, &QTimer::timeout, &form, [&] {
            // Not while a box is open, nor while the last press is being made.
            if (QThread::currentThread()->loopLevel() > 0) return;
            if (m_presser->state() != QProcess::NotRunning) return;
            if (keys.missed > missed) {  // dropped by design: press again
                missed = keys.missed;
                press(m_lastPress);
                return;
            }
            if (at >= 0 && !steps[at].expected.isEmpty()) {
                const bool reached = keys.received > received && state() == steps[at].expected;
                if (!reached && !deadline.hasExpired()) return;
                seen << state();
                if (!reached) at = steps.size() - 1;  // the rest would only wait as long
            }
            if (++at == steps.size()) {
                driver.stop();
                form.pump()->StopPump = true;
                return;
            }
            received = keys.received;
            deadline.setRemainingTime(20000);
            if (steps[at].before) steps[at].before();
            press(steps[at].key);
        });
        driver.start();
        form.pump()->Timer1_Timer();  // returns when StopPump is set
        return seen;
    }

    // Presses a key, holding its modifiers down a moment first, as a person does: the
    // modifiers change the keyboard state, which wakes the pump on its own, and a letter
    // that lands in the pump's own event processing is dropped by design.
    void press(const QString& keys) {
        m_lastPress = keys;
        m_presser->waitForFinished();
        const qsizetype plus = keys.lastIndexOf(u'+');
        if (plus < 0) {
            m_presser->start(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
            return;
        }
        const QString modifiers = keys.left(plus);
        m_presser->start(QStringLiteral("xdotool"), {"keydown", modifiers, "sleep", "0.05", "key",
                                                     keys.mid(plus + 1), "keyup", modifiers});
    }

    std::unique_ptr<QProcess> m_presser = std::make_unique<QProcess>();
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

        // Captions and the loaded file.
        const auto state = [&] {
            return form.PushButton1->text() + " | " + form.PushButton4->text() + " | " +
                   engine.loadedPath;
        };
        // While a message box is open, a hot key does nothing: the box stays until the
        // key pressed meanwhile has reached the program.
        boxes.setOnOpen([&](const FakeMessageBoxes::Box&) {
            const int before = keys.received;
            QEventLoop modal;
            QTimer arrived;
            QObject::connect(&arrived, &QTimer::timeout, &modal, [&] {
                if (keys.received > before) modal.quit();
            });
            press("ctrl+shift+x");
            arrived.start(10);
            QTimer::singleShot(20000, &modal, &QEventLoop::quit);
            modal.exec();
        });
        const QString started = kStop + " | " + kPause + " | ";
        const QString paused = kStop + " | " + kResume + " | ";
        const QString stopped = kStart + " | " + kPause + " | ";
        const QList<Step> steps = {
            {"ctrl+shift+x", started + files[0]},  // X starts with the selected entry
            {"ctrl+shift+c", paused + files[0]},   // C pauses
            {"ctrl+shift+c", started + files[0]},  // C resumes
            {"ctrl+shift+b", started + files[1]},  // B: next
            {"ctrl+shift+z", started + files[0]},  // Z: previous
            {"ctrl+shift+v", stopped + files[0]},  // V stops
            {"Num_Lock", {}},
            {"ctrl+shift+x", started + files[1]},  // X, with Num Lock on, starts the next
            {"Num_Lock", {}},
            {"ctrl+shift+v", stopped + files[1]},    // V stops
            {"ctrl+shift+x", started + files[2]},    // X starts
            {"XF86AudioPlay", paused + files[2]},    // Play, while playing, pauses
            {"XF86AudioPause", started + files[2]},  // Pause resumes
            {"XF86AudioNext", started + files[0]},   // Next
            {"XF86AudioPrev", started + files[2]},   // Prev
            {"XF86AudioStop", stopped + files[2]},   // Stop stops
            {"XF86AudioStop", stopped + files[2]},   // Stop, when stopped, does nothing
            {"XF86AudioPlay", started + files[0]},   // Play, when stopped, starts
            {"ctrl+shift+v", stopped + files[0]},    // V stops
            // Pause while stopped opens the "start first" box, and the key pressed while
            // it is open is lost.
            {"ctrl+shift+c", stopped + files[0]},
        };
        QStringList expected;
        for (const Step& step : steps)
            if (!step.expected.isEmpty()) expected << step.expected;
        const QStringList seen = pumpThrough(form, keys, steps, state);
        if (keys.missed > 0) qInfo("%d press(es) landed in the pump's own processing", keys.missed);
        QCOMPARE(seen, expected.mid(0, seen.size()));  // shows the state that was not reached
        QCOMPARE(seen.size(), expected.size());
        QVERIFY(!form.isActiveWindow());
        other.kill();
        other.waitForFinished();
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
