// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/mediaframework.h"

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <dlfcn.h>
#include <pthread.h>

#include <QLoggingCategory>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <gst/gst.h>

Q_LOGGING_CATEGORY(lcFramework, "quaverly.media.framework", QtInfoMsg)

namespace {
using Clock = std::chrono::steady_clock;

// What the start thread and the callers of initMediaFramework share. Never destroyed: a
// thread left to the end of the process may still write it.
struct Shared {
    std::mutex mutex;
    std::condition_variable finished;
    bool begun = false;  // a start thread was made
    bool done = false;   // and it has finished, with `ok` and `error`
    bool ok = false;
    QString error;
    bool quietenAlsa = true;  // for a start at the first use
    std::function<void()> tell;  // tells the start's owner; cleared when it goes
};
Shared& shared() {
    static auto* s = new Shared;
    return *s;
}

bool initialise(QString* error) {
    GError* err = nullptr;
    if (gst_init_check(nullptr, nullptr, &err)) return true;
    if (error) *error = frameworkErrorText(err);
    g_clear_error(&err);
    return false;
}

// Whether the output `sinkDescription` names (the desktop's when empty) may be ALSA's
// own or OpenAL's, which uses ALSA.
bool mayUseAlsa(const QString& sinkDescription) {
    const QString d = sinkDescription.trimmed();
    return d.isEmpty() || d.contains(QLatin1String("autoaudiosink")) ||
           d.contains(QLatin1String("alsasink")) || d.contains(QLatin1String("openalsink"));
}

// ALSA's error handler: what the library would print on standard error.
void alsaSaid(const char* file, int line, const char* function, int err, const char* format, ...) {
    if (!lcFramework().isDebugEnabled()) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    qCDebug(lcFramework, "ALSA %s:%d (%s) %s%s%s", file, line, function, text, err ? ": " : "",
            err ? qPrintable(qt_error_string(std::abs(err))) : "");
}

// ALSA's handler is the library's own, global to the process: set here, before the
// framework starts, it is in place before any output plug-in loads the library, and the
// library stays loaded. Looked up rather than linked: without it there is nothing to quiet.
void quietAlsa() {
    void* alsa = ::dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL);
    if (!alsa) return;
    using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetHandler = int (*)(Handler);
    if (auto set = reinterpret_cast<SetHandler>(::dlsym(alsa, "snd_lib_error_set_handler")))
        set(&alsaSaid);
}

// The start thread: scans the plug-ins when they changed, or reads their registry.
void runStart(bool quietenAlsa) {
    pthread_setname_np(pthread_self(), "media start");
    const Clock::time_point began = Clock::now();
    if (quietenAlsa) quietAlsa();
    QString error;
    const bool ok = initialise(&error);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began);
    if (ms.count() > MediaFrameworkStart::kSlowMs)
        qCInfo(lcFramework, "the media framework took %.1f s to start", double(ms.count()) / 1000);
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.done = true;
    s.ok = ok;
    s.error = error;
    s.finished.notify_all();
    if (s.tell) s.tell();
}
}  // namespace

QString frameworkErrorText(const GError* error) {
    return QString::fromUtf8(error && error->message ? error->message : "unknown error");
}

bool initMediaFramework(QString* error) {
    Shared& s = shared();
    bool quieten = true;
    {
        std::unique_lock lock(s.mutex);
        if (s.begun) {
            if (!s.finished.wait_for(lock, std::chrono::milliseconds(kMediaFrameworkWaitMs),
                                     [&] { return s.done; })) {
                if (error)
                    *error = QStringLiteral("it did not start within %1 s")
                                 .arg(kMediaFrameworkWaitMs / 1000);
                return false;
            }
            if (!s.ok && error) *error = s.error;
            return s.ok;
        }
        quieten = s.quietenAlsa;
    }
    if (gst_is_initialized()) return true;
    if (quieten) quietAlsa();
    return initialise(error);
}

struct MediaFrameworkStart::Private {
    std::thread thread;
    QObject receiver;  // on the owner's thread, where the end is told
    bool told = false;
    std::vector<std::pair<QPointer<QObject>, std::function<void()>>> waiting;

    void runWaiting() {
        told = true;
        const auto now = std::exchange(waiting, {});
        for (const auto& [context, then] : now)
            if (context) then();
    }
};

MediaFrameworkStart::MediaFrameworkStart(const QString& sinkDescription)
    : d(std::make_unique<Private>()) {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    if (s.begun) {  // not the first: initMediaFramework waits for that one
        d->told = true;
        return;
    }
    s.begun = true;
    Private* p = d.get();
    s.tell = [p] {
        QMetaObject::invokeMethod(
            &p->receiver, [p] { p->runWaiting(); }, Qt::QueuedConnection);
    };
    d->thread = std::thread(runStart, mayUseAlsa(sinkDescription));
}

MediaFrameworkStart::~MediaFrameworkStart() {
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    s.tell = nullptr;
    if (!d->thread.joinable()) return;
    const bool ended =
        s.finished.wait_for(lock, std::chrono::milliseconds(kJoinMs), [&] { return s.done; });
    lock.unlock();
    if (ended) {
        d->thread.join();
        return;
    }
    qCInfo(lcFramework,
           "the media framework was still starting after %d s; the program ends "
           "without waiting for it",
           kJoinMs / 1000);
    d->thread.detach();
}

void MediaFrameworkStart::whenDone(QObject* context, std::function<void()> then) {
    if (d->told)
        QTimer::singleShot(0, context, std::move(then));
    else
        d->waiting.emplace_back(context, std::move(then));
}

void expectMediaOutput(const QString& sinkDescription) {
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.quietenAlsa = mayUseAlsa(sinkDescription);
}
