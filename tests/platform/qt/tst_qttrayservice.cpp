// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTest>

#include "fakes/xvfbsession.h"
#include "platform/qt/qttrayservice.h"
#include "tray/traypicture.h"

using Code = INotifyAreaService::Code;

namespace {
QString g_skipReason;

}  // namespace

// The tray service against a real tray host (icewm's task bar) on a private display.
class TestQtTrayService : public QObject {
    Q_OBJECT

private:
    QProcess m_host;
    std::unique_ptr<QtTrayService> m_service;
    QList<int> m_codes;

    bool startHost() {
        if (QStandardPaths::findExecutable(QStringLiteral("icewm")).isEmpty()) return false;
        m_host.start(QStringLiteral("icewm"), {});
        return m_host.waitForStarted();
    }
    void stopHost() {
        m_host.terminate();
        m_host.waitForFinished(10000);
    }
    void click(int button) {
        const QPoint c = m_service->geometry().center();
        xdotool({"mousemove", QString::number(c.x()), QString::number(c.y())});
        xdotool({"click", QString::number(button)});
    }
    // A host may show the icon a moment after it has given it a place: click until it
    // answers, then let the double-click time pass so the next click stands alone.
    bool clickUntilHeard() {
        for (int i = 0; i < 20; ++i) {
            click(1);
            if (QTest::qWaitFor([&] { return !m_codes.isEmpty(); }, 500)) break;
        }
        QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
        return !m_codes.isEmpty();
    }

private Q_SLOTS:
    void initTestCase() {
        if (!g_skipReason.isEmpty()) QSKIP(qPrintable(g_skipReason));
        if (!QSystemTrayIcon::isSystemTrayAvailable() && !startHost())
            QSKIP("no notification area and icewm is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 20000);
        m_service = std::make_unique<QtTrayService>();
        QVERIFY(m_service->available());
        m_service->setNotify([this](int code) { m_codes << code; });
        m_service->add(trayPicture(), QStringLiteral("Quaverly"));
        QTRY_VERIFY_WITH_TIMEOUT(m_service->geometry().isValid(), 20000);
        QVERIFY(clickUntilHeard());
    }
    void init() {
        xdotool({"mousemove", "600", "300"});
        QTest::qWait(0);
        m_codes.clear();
    }
    void cleanupTestCase() {
        m_service.reset();
        if (m_host.state() != QProcess::NotRunning) stopHost();
    }

    void clickReportsPressThenRelease_data() {
        QTest::addColumn<QString>("clicks");
        QTest::addColumn<QList<int>>("codes");
        QTest::newRow("left") << "1" << QList<int>{Code::LeftDown, Code::LeftUp};
        QTest::newRow("right") << "3" << QList<int>{Code::RightDown, Code::RightUp};
        QTest::newRow("middle") << "2" << QList<int>{Code::MiddleDown, Code::MiddleUp};
        QTest::newRow("double") << "1 1"
                                << QList<int>{Code::LeftDown, Code::LeftUp, Code::LeftDoubleClick,
                                              Code::LeftUp};
    }
    void clickReportsPressThenRelease() {
        QFETCH(QString, clicks);
        QFETCH(QList<int>, codes);
        const QStringList buttons = clicks.split(' ');
        const QPoint c = m_service->geometry().center();
        xdotool({"mousemove", QString::number(c.x()), QString::number(c.y())});
        QStringList args;
        for (const QString& b : buttons) args << "click" << b;
        xdotool(args);
        QTRY_COMPARE(m_codes, codes);
    }

    void balloonReportsItsEnd_data() {
        QTest::addColumn<bool>("withdraw");
        QTest::addColumn<int>("end");
        QTest::newRow("timed out") << false << int(Code::BalloonTimeout);
        QTest::newRow("withdrawn") << true << int(Code::BalloonHide);
    }
    void balloonReportsItsEnd() {
        QFETCH(bool, withdraw);
        QFETCH(int, end);
        m_service->showBalloon(QStringLiteral("Quaverly"), QStringLiteral("hello"),
                               withdraw ? 60000 : 200);
        if (withdraw) m_service->showBalloon(QString(), QString(), 0);
        QTRY_COMPARE(m_codes, (QList<int>{Code::BalloonShow, end}));
        // A second withdrawal of a balloon already gone reports nothing more.
        m_service->showBalloon(QString(), QString(), 0);
        QTest::qWait(0);
        QCOMPARE(m_codes.size(), 2);
    }

    void iconComesBackWithANewTrayHost() {
        if (m_host.state() == QProcess::NotRunning) QSKIP("the tray host is not ours to restart");
        stopHost();
        QTRY_VERIFY_WITH_TIMEOUT(!QSystemTrayIcon::isSystemTrayAvailable(), 20000);
        QVERIFY(startHost());
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(m_service->geometry().isValid(), 20000);
        QVERIFY(clickUntilHeard());
        QCOMPARE(m_codes.mid(0, 2), (QList<int>{Code::LeftDown, Code::LeftUp}));
    }
};

int main(int argc, char** argv) {
    // A display of its own, so that the test may stop and restart its tray host.
    qunsetenv("DISPLAY");
    XvfbSession display;
    g_skipReason = display.skipReason;
    if (!display.ok()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestQtTrayService test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_qttrayservice.moc"
