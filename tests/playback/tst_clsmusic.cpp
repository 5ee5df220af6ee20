// SPDX-License-Identifier: GPL-3.0-or-later
#include <limits>

#include <QtTest>

#include "fakes/fakemediaengine.h"
#include "playback/clsmusic.h"

class TestClsMusic : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nothingLoadedReadsZero();
    void loadingProbesSound_data();
    void loadingProbesSound();
    void playRewindsOnlyAtTheEnd_data();
    void playRewindsOnlyAtTheEnd();
    void seekClamps_data();
    void seekClamps();
    void speedClamps_data();
    void speedClamps();
    void volumeAndBalanceClamp_data();
    void volumeAndBalanceClamp();
    void stateMapping();
    void writesBeforeLoadReachTheEngine();
    void failuresAreSwallowed();
};

void TestClsMusic::nothingLoadedReadsZero() {
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.Play();
    QCOMPARE(engine.count("run"), 0);  // no file name: Play does nothing
    QCOMPARE(music.State(), 0);
    QCOMPARE(music.Position(), 0.0);
    QCOMPARE(music.duration(), 0.0);
    QCOMPARE(music.Speed(), 0.0);
    QCOMPARE(music.Volume(), 0);
    QCOMPARE(music.Balance(), 0);
    QCOMPARE(music.Width().toInt(), 0);
    QCOMPARE(music.Height().toInt(), 0);
    QVERIFY(!music.HasAudio());
    QVERIFY(!music.HasVideo());
}

void TestClsMusic::loadingProbesSound_data() {
    QTest::addColumn<bool>("succeeds");
    QTest::addColumn<bool>("sound");
    QTest::addColumn<bool>("hasAudio");
    QTest::newRow("audio file") << true << true << true;
    QTest::newRow("unplayable") << false << true << false;
    QTest::newRow("no sound") << true << false << false;
}

void TestClsMusic::loadingProbesSound() {
    QFETCH(bool, succeeds);
    QFETCH(bool, sound);
    QFETCH(bool, hasAudio);
    FakeMediaEngine engine;
    engine.loadSucceeds = succeeds;
    engine.loadHasAudio = sound;
    clsMusic music(engine);
    music.setWindow(77);
    music.setFileName(QStringLiteral("/music/a b.aac"));
    QCOMPARE(engine.loadedPath, QStringLiteral("/music/a b.aac"));
    QCOMPARE(music.FileName(), QStringLiteral("/music/a b.aac"));  // kept even when unplayable
    QCOMPARE(music.HasAudio(), hasAudio);
    QVERIFY(!music.HasVideo());
    QCOMPARE(music.Width().toInt(), 0);
    QCOMPARE(music.Window(), 77u);
    QCOMPARE(music.State(), 0);  // built, not started
}

void TestClsMusic::playRewindsOnlyAtTheEnd_data() {
    QTest::addColumn<double>("position");
    QTest::addColumn<bool>("rewinds");
    QTest::newRow("at the end") << 60.0 << true;
    QTest::newRow("in the middle") << 12.5 << false;
    QTest::newRow("just before the end") << 59.999 << false;
}

void TestClsMusic::playRewindsOnlyAtTheEnd() {
    QFETCH(double, position);
    QFETCH(bool, rewinds);
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.setFileName(QStringLiteral("/music/a.aac"));
    engine.currentPosition = position;
    engine.calls.clear();
    music.Play();
    const QStringList expected = rewinds ? QStringList{"setPosition:0", "run"} : QStringList{"run"};
    QCOMPARE(engine.calls, expected);
    QCOMPARE(music.State(), 1);
    QCOMPARE(music.Position(), rewinds ? 0.0 : position);
}

void TestClsMusic::seekClamps_data() {
    QTest::addColumn<double>("requested");
    QTest::addColumn<double>("sought");
    QTest::newRow("negative") << -5.0 << 0.0;
    QTest::newRow("inside") << 30.25 << 30.25;
    QTest::newRow("exactly the end") << 60.0 << 60.0;
    QTest::newRow("beyond the end") << 500.0 << 60.0;
    QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << 0.0;
    QTest::newRow("plus infinity") << std::numeric_limits<double>::infinity() << 60.0;
}

void TestClsMusic::seekClamps() {
    QFETCH(double, requested);
    QFETCH(double, sought);
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.setFileName(QStringLiteral("/music/a.aac"));
    music.setPosition(requested);
    QCOMPARE(engine.calls.last(), QStringLiteral("setPosition:%1").arg(sought));
    QCOMPARE(music.Position(), sought);

    // Not a number cannot be sought to: the write is dropped.
    engine.calls.clear();
    music.setPosition(std::numeric_limits<double>::quiet_NaN());
    QVERIFY(engine.calls.isEmpty());
}

void TestClsMusic::speedClamps_data() {
    QTest::addColumn<double>("requested");
    QTest::addColumn<QString>("call");  // empty: nothing reaches the engine
    QTest::newRow("zero") << 0.0 << "setRate:0.1";
    QTest::newRow("below the floor") << 0.05 << "setRate:0.1";
    QTest::newRow("negative") << -2.0 << "setRate:0.1";
    QTest::newRow("slider step 6") << 0.12 << "setRate:0.12";
    QTest::newRow("double") << 2.0 << "setRate:2";
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << "";
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << "";
}

void TestClsMusic::speedClamps() {
    QFETCH(double, requested);
    QFETCH(QString, call);
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.setFileName(QStringLiteral("/music/a.aac"));
    engine.calls.clear();
    music.setSpeed(requested);
    QCOMPARE(engine.calls, call.isEmpty() ? QStringList{} : QStringList{call});
}

void TestClsMusic::volumeAndBalanceClamp_data() {
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("balance");
    QTest::newRow("above") << 500 << 0 << 500;
    QTest::newRow("far above") << 20000 << 0 << 10000;
    QTest::newRow("far below") << -20000 << -10000 << -10000;
    QTest::newRow("int min") << std::numeric_limits<int>::min() << -10000 << -10000;
    QTest::newRow("int max") << std::numeric_limits<int>::max() << 0 << 10000;
    QTest::newRow("inside") << -990 << -990 << -990;
}

void TestClsMusic::volumeAndBalanceClamp() {
    QFETCH(int, requested);
    QFETCH(int, volume);
    QFETCH(int, balance);
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.setFileName(QStringLiteral("/music/a.aac"));
    music.setVolume(requested);
    music.setBalance(requested);
    QCOMPARE(engine.currentVolume, volume);
    QCOMPARE(engine.currentBalance, balance);
    QCOMPARE(music.Volume(), volume);
    QCOMPARE(music.Balance(), balance);
}

void TestClsMusic::stateMapping() {
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.setFileName(QStringLiteral("/music/a.aac"));
    music.Play();
    QCOMPARE(music.State(), 1);
    music.Pause();
    QCOMPARE(music.State(), 2);
    music.Play();
    QCOMPARE(music.State(), 1);
    music.StopPlaying();
    QCOMPARE(music.State(), 0);
    QCOMPARE(engine.calls.mid(1), (QStringList{"run", "pause", "run", "stop"}));
}

// Start-up writes the volume before any file is loaded; the engine keeps it.
void TestClsMusic::writesBeforeLoadReachTheEngine() {
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.setVolume(-500);
    music.setBalance(2000);
    music.setSpeed(1.5);
    QCOMPARE(engine.calls, (QStringList{"setVolume:-500", "setBalance:2000", "setRate:1.5"}));
    QCOMPARE(music.Volume(), 0);  // nothing loaded reads 0
    music.setFileName(QStringLiteral("/music/a.aac"));
    QCOMPARE(music.Volume(), -500);
    QCOMPARE(music.Balance(), 2000);
    QCOMPARE(music.Speed(), 1.5);
}

void TestClsMusic::failuresAreSwallowed() {
    FakeMediaEngine engine;
    clsMusic music(engine);
    music.setFileName(QStringLiteral("/music/a.aac"));
    engine.throwing = true;
    QVERIFY(!music.HasAudio());
    QCOMPARE(music.State(), 0);
    QCOMPARE(music.Position(), 0.0);
    QCOMPARE(music.duration(), 0.0);
    QCOMPARE(music.Speed(), 0.0);
    QCOMPARE(music.Volume(), 0);
    QCOMPARE(music.Failure(), QString());
    music.setVolume(-100);
    music.setBalance(100);
    music.setSpeed(1.0);
    music.setFileName(QStringLiteral("/music/b.aac"));
    music.setPosition(3);
    music.Play();
    music.Pause();
    music.StopPlaying();
    QCOMPARE(music.FileName(), QStringLiteral("/music/b.aac"));
}

QTEST_GUILESS_MAIN(TestClsMusic)
#include "tst_clsmusic.moc"
