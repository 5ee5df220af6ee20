// Wiring only: parse the command line, make the real systems, hand them to the window.
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include "app/form1.h"
#include "platform/gst/gstmediaengine.h"
#include "platform/posix/posixfilesystem.h"
#include "platform/posix/signalwatcher.h"
#include "platform/qt/filesettingsstore.h"
#include "platform/qt/qtmessageboxes.h"
#include "platform/qt/qtshell.h"
#include "platform/qt/qttrayservice.h"
#include "platform/x11/x11hotkeyservice.h"

namespace {
const char* const kUsage =
    "Usage: quaverly [--audio-sink \"<description>\"] [--no-hot-keys]\n"
    "A player for AAC audio files.\n"
    "\n"
    "Options:\n"
    "  --audio-sink \"<description>\"  play through this GStreamer sink description\n"
    "                                (also QUAVERLY_AUDIO_SINK; default: the desktop's output)\n"
    "  --no-hot-keys                 take no global keys (neither the hot keys below nor\n"
    "                                the keyboard's media keys)\n"
    "  -h, --help                    show this help and exit\n"
    "  -v, --version                 show the version and exit\n"
    "\n"
    "Hot keys, working while any program has the focus:\n"
    "  Ctrl+Shift+X, Ctrl+Shift+V  start or stop\n"
    "  Ctrl+Shift+C                pause or resume\n"
    "  Ctrl+Shift+Z                previous track\n"
    "  Ctrl+Shift+B                next track\n"
    "  media keys                  Play (start or pause), Pause, Stop, Next, Prev\n";

// The window whose list is saved when Qt ends the program itself (the X connection broke);
// null once the event loop has returned.
Form1* g_formAtExit = nullptr;

// Runs `work` once from the event loop after the first expose of `window`, that is once
// the window is mapped and its first picture painted.
class AfterFirstExpose : public QObject {
public:
    AfterFirstExpose(QWindow* window, std::function<void()> work)
        : QObject(window), m_work(std::move(work)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                m_work();
                deleteLater();
            });
        }
        return false;
    }

private:
    std::function<void()> m_work;
};

// Answers --help and --version before any window system is touched; false to go on.
bool answeredOnStdout(int argc, char** argv, int* status) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            *status = 0;
            return true;
        }
        if (arg == "--version" || arg == "-v") {
            std::printf("quaverly %s\n", QUAVERLY_VERSION);
            *status = 0;
            return true;
        }
        if (arg == "--audio-sink") {
            if (i + 1 >= argc) {
                std::fputs("quaverly: --audio-sink needs a description\n", stderr);
                *status = 2;
                return true;
            }
            ++i;
        } else if (!arg.startsWith("--audio-sink=") && arg != "--no-hot-keys" &&
                   arg.startsWith("-")) {
            std::fprintf(stderr, "quaverly: unknown option %s\n%s", argv[i], kUsage);
            *status = 2;
            return true;
        }
    }
    return false;
}
}  // namespace

int main(int argc, char** argv) {
    int status = 0;
    if (answeredOnStdout(argc, argv, &status)) return status;

    // Our diagnostics go to standard error; the debug ones only when asked for
    // (QT_LOGGING_RULES="quaverly.*.debug=true").
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("quaverly.*.debug=false"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quaverly"));
    QApplication::setOrganizationName(QStringLiteral("Varnelta"));
    QApplication::setApplicationVersion(QStringLiteral(QUAVERLY_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("quaverly"));
    QApplication::setQuitOnLastWindowClosed(false);

    const QString sink =
        audioSinkDescription(app.arguments(), qEnvironmentVariable("QUAVERLY_AUDIO_SINK"));

    // The services outlive the window that uses them.
    FileSettingsStore store;
    PosixFileSystem fs;
    std::unique_ptr<IMediaEngine> engine = makeGstMediaEngine(sink);
    std::unique_ptr<IHotKeyService> hotKeys =
        createHotKeyService(!app.arguments().contains(QStringLiteral("--no-hot-keys")));
    QtTrayService tray;
    Form1 form(QCoreApplication::applicationDirPath());
    QtMessageBoxes boxes(&form);
    QtShell shell(&form);

    Form1::Services services;
    services.store = &store;
    services.boxes = &boxes;
    services.fs = &fs;
    services.shell = &shell;
    services.engine = engine.get();
    services.hotKeys = hotKeys.get();
    services.tray = &tray;
    // Ends at once: open objects are not cleaned up, the settings are already on disk.
    services.endProgram = [] {
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(0);
    };
    form.setServices(std::move(services));

    // The end of the desktop session and the termination signals close the window
    // the same way as its close button.
    SignalWatcher signals;
    QObject::connect(&signals, &SignalWatcher::closeRequested, &form,
                     [&form](int) { form.Form_QueryUnload(); });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &form,
                     [&form](QSessionManager&) { form.Form_QueryUnload(); });

    // When the X server goes away, Qt says so and calls exit(): the list is saved then too.
    g_formAtExit = &form;
    std::atexit([] {
        if (g_formAtExit) g_formAtExit->saveListAtExit();
    });

    form.Form_Load();
    form.showCentred();
    // The media framework starts once the window is on screen and painted: the window
    // does not wait for it, and the first Start waits only for its playback chain.
    new AfterFirstExpose(form.windowHandle(), [&engine] { prepareGstMediaEngine(*engine); });
    const int result = app.exec();
    g_formAtExit = nullptr;
    return result;
}
