// SPDX-License-Identifier: GPL-3.0-or-later
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "app/hotkeypump.h"
#include "core/busystate.h"
#include "fakes/fakehotkeyservice.h"
#include "fakes/fakemessageboxes.h"

namespace {

struct Harness {
    FakeHotKeyService keys;
    FakeMessageBoxes boxes;
    std::function<void()> whileOpen;  // runs inside a box's modal loop
    QStringList ran;
    bool playing = false;
    std::function<void(const QString&)> onAction;
    BusyState busy;
    HotKeyPump pump{keys, boxes, busy, actions()};

    Harness() {
        // A box runs a modal loop of its own, as the real one does.
        boxes.setOnOpen([this](const FakeMessageBoxes::Box&) {
            QEventLoop modal;
            if (whileOpen) whileOpen();
            QTimer::singleShot(0, &modal, &QEventLoop::quit);
            modal.exec();
        });
    }

    HotKeyPump::Actions actions() {
        auto act = [this](const char* name) {
            return [this, name] {
                ran << QString::fromLatin1(name);
                if (onAction) onAction(QString::fromLatin1(name));
            };
        };
        return {act("next"),      act("startStop"),  act("pauseResume"),         act("previous"),
                act("keepImage"), act("showWindow"), [this] { return playing; }, {}};
    }
    // Registers without pumping: the window step stops the pump before it starts.
    void registerKeys() {
        auto saved = onAction;
        onAction = [this](const QString& a) {
            if (a == "showWindow") pump.StopPump = true;
        };
        pump.Timer1_Timer();
        onAction = saved;
        ran.clear();
        pump.StopPump = false;
    }
    quint32 id(const char* atom) const { return keys.atom(QString::fromLatin1(atom)); }
    static quint32 id(IHotKeyService::MediaKey key) {
        return HotKeyPump::MediaKeyIdBase + quint32(key);
    }
    // Stops the pump once everything already queued has been handled.
    void stopSoon() {
        QTimer::singleShot(1, [this] { pump.StopPump = true; });
    }
};

}  // namespace

class TestHotKeyPump : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void registersTheFiveKeysInOrder() {
        Harness h;
        h.keys.failOnLetter = 'C';
        h.onAction = [&](const QString& a) {
            if (a == "showWindow") h.pump.StopPump = true;
        };
        h.pump.Timer1_Timer();
        const std::vector<std::pair<quint32, char>> expected = {
            {h.id("A00F1"), 'B'}, {h.id("A00F2"), 'V'}, {h.id("A00F4"), 'X'}, {h.id("A00F5"), 'Z'}};
        QCOMPARE(h.keys.registered, expected);
        QCOMPARE(h.keys.media.size(), size_t(5));  // after them, in the order of MediaKey
        for (int k = 0; k < 5; ++k)
            QCOMPARE(h.keys.media[k],
                     std::pair(h.id(IHotKeyService::MediaKey(k)), IHotKeyService::MediaKey(k)));
        QCOMPARE(h.pump.HotKeyId3, h.id("A00F3"));
        QCOMPARE(h.ran, (QStringList{"keepImage", "showWindow"}));
        QCOMPARE(h.boxes.count(FakeMessageBoxes::Kind::Error), 1);
        QVERIFY(
            h.boxes.last().title == "Application Error" &&
            h.boxes.last().text.startsWith("Invalid procedure call\r\n"
                                           "in Tindrell2021/08/31.Form1.Timer1_Timer at line 116"));
    }

    void secondTickWhilePumpingDoesNothing() {
        Harness h;
        int ticks = 0;
        h.onAction = [&](const QString& a) {
            if (a != "showWindow") return;
            if (++ticks == 1) {
                QTimer::singleShot(0, [&] { h.pump.Timer1_Timer(); });
                h.stopSoon();
            }
        };
        h.pump.Timer1_Timer();
        QCOMPARE(ticks, 1);
        QCOMPARE(h.keys.registered.size(), size_t(5));
    }

    // A key is an atom name or a media key; the media keys also look at the play state.
    void keyRunsItsAction_data() {
        using K = IHotKeyService::MediaKey;
        QTest::addColumn<QString>("atom");
        QTest::addColumn<int>("mediaKey");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<QString>("action");
        const auto row = [](const char* name, const char* atom, const char* action) {
            QTest::newRow(name) << atom << -1 << false << action;
        };
        const auto media = [](const char* name, K key, bool playing, const char* action) {
            QTest::newRow(name) << QString() << int(key) << playing << action;
        };
        row("B", "A00F1", "next");
        row("V", "A00F2", "startStop");
        row("C", "A00F3", "pauseResume");
        row("X", "A00F4", "startStop");
        row("Z", "A00F5", "previous");
        row("none of ours", "other", "");
        media("Play, stopped", K::Play, false, "startStop");
        media("Play, playing", K::Play, true, "pauseResume");
        media("Pause, stopped", K::Pause, false, "pauseResume");
        media("Pause, playing", K::Pause, true, "pauseResume");
        media("Stop, stopped", K::Stop, false, "");
        media("Stop, playing", K::Stop, true, "startStop");
        media("Next", K::Next, true, "next");
        media("Prev", K::Previous, false, "previous");
    }
    void keyRunsItsAction() {
        QFETCH(QString, atom);
        QFETCH(int, mediaKey);
        QFETCH(bool, playing);
        QFETCH(QString, action);
        Harness h;
        h.registerKeys();
        h.playing = playing;
        h.keys.press(mediaKey < 0 ? h.keys.addAtom(atom)
                                  : h.id(IHotKeyService::MediaKey(mediaKey)));
        h.stopSoon();
        h.pump.ProcessMessages();
        QCOMPARE(h.ran, action.isEmpty() ? QStringList() : QStringList{action});
    }

    void firstMatchingIdentifierWins() {
        Harness h;
        h.registerKeys();
        h.pump.HotKeyId3 = h.pump.HotKeyId5;
        h.keys.press(h.pump.HotKeyId5);
        h.stopSoon();
        h.pump.ProcessMessages();
        QCOMPARE(h.ran, QStringList{"pauseResume"});
    }

    void oneActionPerPass() {
        Harness h;
        h.registerKeys();
        h.keys.press(h.id(IHotKeyService::MediaKey::Next));
        h.keys.press(h.id("A00F4"));
        h.keys.press(h.id("A00F1"));
        h.keys.press(h.id("A00F5"));
        h.stopSoon();
        h.pump.ProcessMessages();
        QCOMPARE(h.ran, QStringList{"next"});
    }

    // A press that lands while something else runs is lost; the pump then still takes
    // the next press made while it is idle.
    void pressWhileBusyIsDropped_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("message box of a failed action") << "box";
        QTest::newRow("handler holding Busy") << "busy";
        QTest::newRow("pump's own event processing") << "step5";
        QTest::newRow("nested loop of another handler") << "nested";
        QTest::newRow("running action") << "action";
    }
    void pressWhileBusyIsDropped() {
        QFETCH(QString, where);
        Harness h;
        h.registerKeys();
        const quint32 x = h.id("A00F4");
        const quint32 b = h.id("A00F1");
        bool scenarioDone = false;
        QTimer idle;
        idle.setInterval(1);
        connect(&idle, &QTimer::timeout, [&] {
            // Pressed as soon as the pump is idle again: this one must act.
            if (!h.pump.acceptsHotKey()) return;
            idle.stop();
            h.keys.pressNow(b);
        });
        auto finish = [&] {
            scenarioDone = true;
            idle.start();
        };
        h.onAction = [&](const QString& a) {
            if (a == "next" && scenarioDone) h.pump.StopPump = true;
        };
        if (where == "box") {
            h.whileOpen = [&] { h.keys.press(x); };
            h.onAction = [&](const QString& a) {
                if (a != "pauseResume") {
                    if (scenarioDone) h.pump.StopPump = true;
                    return;
                }
                finish();
                throw Failure(QStringLiteral("Type mismatch"));
            };
            h.keys.press(h.id("A00F3"));
        } else if (where == "busy") {
            QTimer::singleShot(0, [&] {
                BusyState::Guard busy(h.busy);
                h.keys.press(h.id(IHotKeyService::MediaKey::Play));  // Start, if it acted
                QCoreApplication::processEvents();
                QCoreApplication::processEvents();
                finish();
            });
        } else if (where == "step5") {
            h.onAction = [&](const QString& a) {
                if (a == "pauseResume") {
                    QTimer::singleShot(0, [&] { h.keys.pressNow(x); });
                    finish();
                } else if (a == "next") {
                    h.pump.StopPump = true;
                }
            };
            h.keys.press(h.id("A00F3"));
        } else if (where == "nested") {
            QTimer::singleShot(0, [&] {
                QEventLoop loop;
                h.keys.press(x);
                QTimer::singleShot(0, &loop, &QEventLoop::quit);
                loop.exec();
                finish();
            });
        } else if (where == "action") {
            h.onAction = [&](const QString& a) {
                if (a == "pauseResume") {
                    h.keys.pressNow(x);
                    finish();
                } else if (a == "next") {
                    h.pump.StopPump = true;
                }
            };
            h.keys.press(h.id("A00F3"));
        }
        h.pump.ProcessMessages();
        QVERIFY(scenarioDone);
        QVERIFY2(!h.ran.contains("startStop"), qPrintable(h.ran.join(',')));
        QCOMPARE(h.ran.last(), QStringLiteral("next"));
        QCOMPARE(h.boxes.count(FakeMessageBoxes::Kind::Error), where == "box" ? 1 : 0);
        if (where == "box")
            QVERIFY(h.boxes.last().text.contains("Form1.ProcessMessages at line 116"));
    }

    void stopPumpLeavesWithoutActing() {
        Harness h;
        h.registerKeys();
        h.keys.press(h.id("A00F4"));
        h.pump.StopPump = true;
        h.pump.ProcessMessages();
        QVERIFY(h.ran.isEmpty());
        QVERIFY(!h.pump.acceptsHotKey());
        QCoreApplication::processEvents();  // the press arrives outside the pump
        QVERIFY(h.ran.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHotKeyPump)
#include "tst_hotkeypump.moc"
