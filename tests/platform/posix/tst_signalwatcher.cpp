// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include <QSignalSpy>
#include <QTest>

#include "platform/posix/signalwatcher.h"

class TestSignalWatcher : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void signalAsksToClose_data() {
        QTest::addColumn<int>("signo");
        QTest::newRow("TERM") << SIGTERM;
        QTest::newRow("INT") << SIGINT;
        QTest::newRow("HUP") << SIGHUP;
    }
    void signalAsksToClose() {
        QFETCH(int, signo);
        SignalWatcher watcher;
        QVERIFY(watcher.isActive());
        QSignalSpy spy(&watcher, &SignalWatcher::closeRequested);
        ::raise(signo);
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.at(0).at(0).toInt(), signo);
    }

    void signalsDuringTheClosingAreAbsorbed() {
        SignalWatcher watcher;
        int entered = 0;
        connect(&watcher, &SignalWatcher::closeRequested, [&] {
            ++entered;
            ::raise(SIGTERM);
            QTest::qWait(50);  // the closing handling processes events
        });
        QSignalSpy spy(&watcher, &SignalWatcher::closeRequested);
        ::raise(SIGTERM);
        ::raise(SIGINT);
        QVERIFY(spy.wait(5000));
        QCOMPARE(entered, 1);
    }

    void previousHandlingComesBack() {
        struct sigaction ignore = {}, before = {}, after = {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGHUP, &ignore, &before);
        { SignalWatcher watcher; }
        ::sigaction(SIGHUP, &before, &after);
        QVERIFY(after.sa_handler == SIG_IGN);
        // A second watcher after the first has gone works again.
        SignalWatcher again;
        QVERIFY(again.isActive());
    }
};

QTEST_GUILESS_MAIN(TestSignalWatcher)
#include "tst_signalwatcher.moc"
