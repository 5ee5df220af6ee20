// SPDX-License-Identifier: GPL-3.0-or-later
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
using MediaKey = IHotKeyService::MediaKey;

const char* said(bool granted) {
    return granted ? "granted" : "refused";
}

// The second copy of the program: same atoms, but the keys are already taken.
int secondCopy(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    X11HotKeyService keys;
    const quint32 atom = keys.addAtom(QStringLiteral("A00F4"));
    const bool x = keys.grabHotKey(atom, 'X');
    const bool q = keys.grabHotKey(atom, 'Q');
    const bool play = keys.grabMediaKey(1, MediaKey::Play);
    const bool next = keys.grabMediaKey(2, MediaKey::Next);
    keys.grabMediaKey(1, MediaKey::Play);  // a key refused twice is named once
    QCoreApplication::processEvents();     // the refused media keys are named from the loop
    std::printf("atom=%u X=%s Q=%s Play=%s Next=%s\n", atom, said(x), said(q), said(play),
                said(next));
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);  // keep the grabs until the first copy is done
    return 0;
}

// Another client holding Ctrl+Shift+W only with Caps Lock; told to, it tries it without.
int capsLockHolder(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    xcb_connection_t* conn = app.nativeInterface<QNativeInterface::QX11Application>()->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(conn)).data->root;
    const xcb_keycode_t w = 25;  // on the US layout of the test display
    for (const int lock : {int(XCB_MOD_MASK_LOCK), 0}) {
        const quint16 mods = quint16(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT | lock);
        xcb_generic_error_t* e = xcb_request_check(
            conn,
            xcb_grab_key_checked(conn, 0, root, mods, w, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        std::printf("%s\n", said(e == nullptr));
        std::fflush(stdout);
        std::free(e);
        std::string line;
        std::getline(std::cin, line);
    }
    return 0;
}
}  // namespace

class TestX11HotKeys : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<X11HotKeyService> m_keys;
    QList<quint32> m_pressed;
    quint32 m_x = 0, m_z = 0;
    // The media keys report these, in the order of MediaKey.
    const QList<quint32> m_media = {101, 102, 103, 104, 105};
    quint32 media(MediaKey key) const { return m_media[int(key)]; }

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
        for (MediaKey key :
             {MediaKey::Play, MediaKey::Pause, MediaKey::Stop, MediaKey::Next, MediaKey::Previous})
            QVERIFY(m_keys->grabMediaKey(media(key), key));
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
        // Not ours: without Shift, Shift+Alt, a media key with Ctrl.
        xdotool({"key", "ctrl+z", "ctrl+shift+alt+x", "ctrl+shift+x", "ctrl+XF86AudioNext",
                 "XF86AudioPlay", "XF86AudioPause", "XF86AudioStop", "XF86AudioNext",
                 "XF86AudioPrev"});
        for (const QString& l : locks) xdotool({"key", l});
        QTRY_COMPARE(m_pressed, (QList<quint32>{m_x} + m_media));
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
        QCOMPARE(report,
                 QStringLiteral("atom=%1 X=refused Q=granted Play=refused Next=refused").arg(m_x));
        xdotool({"key", "ctrl+shift+x", "XF86AudioPlay"});
        QTRY_COMPARE(m_pressed, (QList<quint32>{m_x, media(MediaKey::Play)}));
        second.closeWriteChannel();
        QVERIFY(second.waitForFinished(10000));
        const QString err = QString::fromLocal8Bit(second.readAllStandardError());
        // Which key it could not have, and why.
        QVERIFY(
            err.contains("the hot key Ctrl+Shift+X could not be set up: another program "
                         "holds it"));
        const QStringList lines = err.split('\n').filter(QRegularExpression("media keys"));
        QCOMPARE(lines, QStringList{
                            "quaverly.hotkeys: another program holds the media keys XF86AudioPlay, "
                            "XF86AudioNext; they reach Quaverly through the desktop's "
                            "media-player interface instead."});
    }

    // A combination that another client holds in one lock state stays wholly theirs: the
    // lock states we got would only swallow presses.
    void partlyHeldKeyIsLeftWhole() {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {"--hold-caps-lock-w"});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 20000);
        QCOMPARE(holder.readLine().trimmed(), QByteArray("granted"));  // with Caps Lock
        QVERIFY(!m_keys->grabHotKey(m_x, 'W'));
        holder.write("\n");
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 20000);
        QCOMPARE(holder.readLine().trimmed(), QByteArray("granted"));  // without
        holder.write("\n");
        QVERIFY(holder.waitForFinished(10000));
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
            xdotool({"key", "ctrl+shift+y", "ctrl+shift+x", "XF86AudioNext"});
            QTRY_COMPARE(m_pressed, (QList<quint32>{m_x, media(MediaKey::Next)}));
            m_pressed.clear();
        }
    }
};

int main(int argc, char** argv) {
    if (argc > 1 && qstrcmp(argv[1], "--second-copy") == 0) return secondCopy(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--hold-caps-lock-w") == 0) return capsLockHolder(argc, argv);
    XvfbSession display;
    g_skipReason = display.skipReason;
    if (!display.ok()) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestX11HotKeys test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_x11hotkeys.moc"
