#include <cstdio>
#include <iostream>

#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include "fakes/xvfbsession.h"
#include "platform/x11/x11hotkeyservice.h"

namespace {
QString g_skipReason;

// The second copy of the program: same atoms, but the keys are already taken.
int secondCopy(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    X11HotKeyService keys;
    const quint32 atom = keys.addAtom(QStringLiteral("A00F4"));
    const bool x = keys.grabHotKey(atom, 'X');
    const bool q = keys.grabHotKey(atom, 'Q');
    std::printf("atom=%u X=%s Q=%s\n", atom, x ? "granted" : "refused", q ? "granted" : "refused");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);  // keep the grabs until the first copy is done
    return 0;
}
}  // namespace

class TestX11HotKeys : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<X11HotKeyService> m_keys;
    QList<quint32> m_pressed;
    quint32 m_x = 0, m_z = 0;

private Q_SLOTS:
    void initTestCase() {
        if (!g_skipReason.isEmpty()) QSKIP(qPrintable(g_skipReason));
        m_keys = std::make_unique<X11HotKeyService>();
        QVERIFY(m_keys->available());
        m_x = m_keys->addAtom(QStringLiteral("A00F4"));
        m_z = m_keys->addAtom(QStringLiteral("A00F5"));
        QVERIFY(m_x != 0 && m_x != m_z);
        QCOMPARE(m_keys->addAtom(QStringLiteral("A00F4")), m_x);
        QVERIFY(m_keys->grabHotKey(m_x, 'X'));
        QVERIFY(m_keys->grabHotKey(m_z, 'Z'));
        m_keys->setHandler([this](quint32 id) { m_pressed << id; });
    }
    void init() { m_pressed.clear(); }

    void pressReachesHandler_data() {
        QTest::addColumn<QString>("lock");
        QTest::newRow("no lock") << QString();
        QTest::newRow("Num Lock") << "Num_Lock";
        QTest::newRow("Caps Lock") << "Caps_Lock";
        QTest::newRow("both") << "Num_Lock Caps_Lock";
    }
    void pressReachesHandler() {
        QFETCH(QString, lock);
        const QStringList locks = lock.split(' ', Qt::SkipEmptyParts);
        for (const QString& l : locks) xdotool({"key", l});
        // Not ours: without Shift, and Shift+Alt. Only the third press counts.
        xdotool({"key", "ctrl+z", "ctrl+shift+alt+x", "ctrl+shift+x"});
        for (const QString& l : locks) xdotool({"key", l});
        QTRY_COMPARE(m_pressed, QList<quint32>{m_x});
    }

    void heldKeyActsOnce() {
        xdotool({"keydown", "ctrl+shift+z"});
        xdotool({"sleep", "1.2"});  // well past the server's repeat delay
        xdotool({"keyup", "z", "keyup", "shift+ctrl"});
        xdotool({"key", "ctrl+shift+x"});
        QTRY_COMPARE(m_pressed.size(), 2);
        QCOMPARE(m_pressed, (QList<quint32>{m_z, m_x}));
    }

    void secondCopyCannotTakeTheKeys() {
        QProcess second;
        second.start(QCoreApplication::applicationFilePath(), {"--second-copy"});
        QVERIFY(second.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(second.canReadLine(), 20000);
        const QString report = QString::fromLatin1(second.readLine()).trimmed();
        QCOMPARE(report, QStringLiteral("atom=%1 X=refused Q=granted").arg(m_x));
        xdotool({"key", "ctrl+shift+x"});
        QTRY_COMPARE(m_pressed, QList<quint32>{m_x});
        second.closeWriteChannel();
        QVERIFY(second.waitForFinished(10000));
    }

    // A German layout puts Z where Y was and Y where Z was: the keys follow the letters.
    void grabsFollowALayoutChange() {
        if (QStandardPaths::findExecutable(QStringLiteral("setxkbmap")).isEmpty())
            QSKIP("setxkbmap is not installed");
        struct Restore {
            ~Restore() { QProcess::execute(QStringLiteral("setxkbmap"), {"us"}); }
        } restore;
        for (const QString& layout : {QStringLiteral("de"), QStringLiteral("us")}) {
            QCOMPARE(QProcess::execute(QStringLiteral("setxkbmap"), {layout}), 0);
            // The service hears of the change a moment later: press until it answers.
            for (int i = 0; i < 50 && m_pressed.isEmpty(); ++i) {
                xdotool({"key", "ctrl+shift+z"});
                QTest::qWait(100);
            }
            QCOMPARE(m_pressed, QList<quint32>{m_z});
            // The key that typed Z before the change is no longer ours.
            m_pressed.clear();
            xdotool({"key", "ctrl+shift+y", "ctrl+shift+x"});
            QTRY_COMPARE(m_pressed, QList<quint32>{m_x});
            m_pressed.clear();
        }
    }
};

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--second-copy") == 0) return secondCopy(argc, argv);
    XvfbSession display;
    g_skipReason = display.skipReason;
    if (!display.ok()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestX11HotKeys test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_x11hotkeys.moc"
