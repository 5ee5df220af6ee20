// SPDX-License-Identifier: GPL-3.0-or-later
// Wiring only: read the command line, hand it to a copy that runs already or make the
// real systems and give them to the window.
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include "app/commandline.h"
#include "app/form1.h"
#include "app/remotewiring.h"
#include "core/product.h"
#include "platform/dbus/mprisservice.h"
#include "platform/dbus/sessionbus.h"
#include "platform/gst/eventloopcheck.h"
#include "platform/gst/mediamodule.h"
#include "platform/hotkeychoice.h"
#include "platform/posix/posixfilesystem.h"
#include "platform/posix/signalwatcher.h"
#include "platform/qt/filesettingsstore.h"
#include "platform/qt/qtmessageboxes.h"
#include "platform/qt/qtshell.h"
#include "platform/qt/qttrayservice.h"
#include "platform/qt/settingslock.h"

Q_LOGGING_CATEGORY(lcStartup, "quaverly.app.startup", QtInfoMsg)

namespace {
// What is said before the application object exists (the remote options, --help,
// --version, a wrong command line) is printed directly; from then on diagnostics go
// through the logging categories, whose message pattern adds the program's name.

// A remote command (--next, ...): sent to the copy that runs; no window is made.
int runRemote(const CommandLine& command) {
    QString error;
    switch (sessionbus::send(*command.remote, &error)) {
        case sessionbus::Result::Done:
            return 0;
        case sessionbus::Result::NoBus:
            std::fprintf(stderr,
                         "quaverly: no session bus (%s), so no running Quaverly can be reached; "
                         "use %s inside the desktop session that runs Quaverly\n",
                         qPrintable(error), qPrintable(command.remoteOption));
            return 1;
        case sessionbus::Result::NotRunning:
            std::fprintf(stderr,
                         "quaverly: Quaverly is not running, so %s was not sent; start "
                         "it first\n",
                         qPrintable(command.remoteOption));
            return 1;
        case sessionbus::Result::TimedOut:
            std::fprintf(stderr,
                         "quaverly: the running Quaverly did not answer in time; %s may still "
                         "reach it\n",
                         qPrintable(command.remoteOption));
            return 1;
        case sessionbus::Result::Refused:
            break;
    }
    std::fprintf(stderr, "quaverly: the running Quaverly did not take %s: %s\n",
                 qPrintable(command.remoteOption), qPrintable(error));
    return 1;
}

// Files and folders from the command line, made absolute; missing ones are left out.
QStringList existingPaths(const QStringList& paths, bool* allFound) {
    QStringList out;
    for (const QString& p : paths) {
        const QFileInfo info(p);
        if (info.exists()) {
            out << info.absoluteFilePath();
            continue;
        }
        *allFound = false;
        // Names are read as UTF-8: bytes that are not become U+FFFD and the file is lost.
        if (p.contains(QChar::ReplacementCharacter))
            qCWarning(lcStartup, "cannot open %s: its name is not valid UTF-8", qUtf8Printable(p));
        else
            qCWarning(lcStartup, "no such file or folder: %s", qUtf8Printable(p));
    }
    return out;
}

// The window whose list is saved when Qt ends the program itself (the X connection broke);
// null once the event loop has returned, and never set in a copy that hands over.
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

// Another copy holds the session's name: it gets the files, or comes to the front.
int handOver(const QStringList& paths) {
    QString error;
    const sessionbus::Result r = paths.isEmpty() ? sessionbus::send(PlayerAction::Raise, &error)
                                                 : sessionbus::open(paths, &error);
    if (r == sessionbus::Result::Done) return 0;
    if (r == sessionbus::Result::TimedOut) {
        qCWarning(lcStartup,
                  "Quaverly already runs, but it did not answer in time; %s may still reach it",
                  paths.isEmpty() ? "the request to come to the front" : "the files");
        return 1;
    }
    qCWarning(lcStartup, "Quaverly already runs, and it did not take %s: %s",
              paths.isEmpty() ? "the request to come to the front" : "the files",
              qUtf8Printable(error));
    return 1;
}

// Answers the command lines that start no window: help, version, errors and the remote
// options, which need no display. -1 when the window is to be made.
int answerWithoutWindow(const CommandLine& command, int argc, char** argv) {
    switch (command.mode) {
        case CommandLine::Mode::Help:
            std::fputs(qPrintable(usage()), stdout);
            return 0;
        case CommandLine::Mode::Version:
            std::printf("quaverly %s\n", QUAVERLY_VERSION);
            return 0;
        case CommandLine::Mode::Error:
            std::fputs(qPrintable(usageError(command.error)), stderr);
            return 2;
        case CommandLine::Mode::Remote: {
            QCoreApplication app(argc, argv);
            return runRemote(command);
        }
        case CommandLine::Mode::Run:
            break;
    }
    return -1;
}
}  // namespace

int main(int argc, char** argv) {
    // Every thread that allocates would otherwise keep a malloc arena of its own (each
    // file's chain brings new streaming threads), and memory freed there stays with the
    // process; two arenas hold playback's few allocations without contention.
    mallopt(M_ARENA_MAX, 2);
    QStringList raw;
    for (int i = 0; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    CommandLine command = parseCommandLine(raw);
    // Options of the toolkit's own (-session, -platform, ...) are taken by the application
    // object; the rest is read again from what it leaves.
    if (!(command.mode == CommandLine::Mode::Error && command.toolkitMayKnow)) {
        if (const int status = answerWithoutWindow(command, argc, argv); status >= 0) return status;
    }

    // Our diagnostics go to standard error; the debug ones only when asked for
    // (QT_LOGGING_RULES="quaverly.*.debug=true").
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("quaverly.*.debug=false"));
    // Every line on standard error, Qt's own too, starts with the program's name; debug
    // lines also name their category.
    qSetMessagePattern(QStringLiteral("quaverly: %{if-debug}%{category}: %{endif}%{message}"));
    quietSoundLibraries();  // while no other thread runs
    QApplication app(argc, argv);
    QApplication::setApplicationName(kProductName);
    QApplication::setOrganizationName(kOrganisationName);
    QApplication::setApplicationVersion(QStringLiteral(QUAVERLY_VERSION));
    QApplication::setDesktopFileName(kApplicationId);
    QApplication::setQuitOnLastWindowClosed(false);
    command = parseCommandLine(QCoreApplication::arguments());
    if (const int status = answerWithoutWindow(command, argc, argv); status >= 0) return status;
    checkEventLoopForMedia();
    const QString sink = command.audioSink.value_or(qEnvironmentVariable("QUAVERLY_AUDIO_SINK"));
    // Started once the application object has set the locale, which the framework reads,
    // and only when it will scan its plug-ins; the window does not wait for it, and the
    // first Start waits only for what is left. Otherwise the first file starts it.
    const std::unique_ptr<IMediaStart> framework = startMediaFrameworkIfScanning(sink);

    bool allFound = true;
    const QStringList paths = existingPaths(command.paths, &allFound);

    // Held by the copy that runs, from before its load step until it ends.
    SettingsLock lock(FileSettingsStore::defaultFolder());

    // The services outlive the window that uses them.
    ModuleTagReader tagReader(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/quaverly"));
    FileSettingsStore store;
    PosixFileSystem fs;
    std::unique_ptr<IMediaEngine> engine = makeModuleEngine(sink);
    std::unique_ptr<IHotKeyService> hotKeys = createHotKeyService(!command.noHotKeys);
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
    services.endProgram = [&lock, &tagReader] {
        lock.unlock();
        tagReader.close();
        // Also lets the reply to a Quit request leave before the process does.
        sessionbus::releaseName();
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(0);
    };
    form.setServices(std::move(services));

    // One copy per session: the name on the session bus says whether one runs. The
    // object is on the bus before the name, so whoever finds the name can call it.
    // Nothing has been read or saved yet.
    RemoteWiring remote(form);
    MprisService mpris(remote, &tagReader);
    QString busProblem;
    const sessionbus::Claim claim =
        mpris.publish(&busProblem) ? sessionbus::claimName(&busProblem) : sessionbus::Claim::NoBus;
    if (claim == sessionbus::Claim::Taken) {
        const int status = handOver(paths);
        return status == 0 && !allFound ? 1 : status;
    }
    if (claim == sessionbus::Claim::NoBus)
        qCWarning(lcStartup,
                  "no session bus (%s): the desktop's media controls and the remote options "
                  "cannot reach this copy",
                  qUtf8Printable(busProblem));
    // Also without a bus, and across sessions that share the settings: only the copy
    // holding the lock may save its list there.
    QString lockMessage;
    if (!lock.tryLock(&lockMessage)) {
        qCWarning(lcStartup, "%s", qUtf8Printable(lockMessage));
        return 1;
    }
    if (!lockMessage.isEmpty()) qCInfo(lcStartup, "%s", qUtf8Printable(lockMessage));

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
    // When the framework starts with the program, the engine gets ready once the window is
    // on screen and painted and the framework has started, so that the first Start waits
    // only for its playback chain.
    if (framework) {
        new AfterFirstExpose(form.windowHandle(), [&framework, &form, &engine] {
            framework->whenDone(&form, [&engine] { prepareModuleEngine(*engine); });
        });
    }
    if (!paths.isEmpty()) remote.open(paths);
    const int result = app.exec();
    g_formAtExit = nullptr;
    return result;
}
