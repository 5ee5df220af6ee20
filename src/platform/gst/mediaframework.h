// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QString>

class QObject;
typedef struct _GError GError;

// The reason in an error of the media framework, or "unknown error".
QString frameworkErrorText(const GError* error);

// Initialises the media framework once; safe to call again, from any thread. While a
// MediaFrameworkStart runs, waits for it (up to kMediaFrameworkWaitMs). False, with
// `error` filled, when it cannot start (the engine then loads nothing and stays silent).
bool initMediaFramework(QString* error = nullptr);
inline constexpr int kMediaFrameworkWaitMs = 30000;

// Starts the media framework on a thread of its own, so that neither the window nor its
// hot keys wait for it: after the framework's plug-ins changed it scans them all, which
// takes most of a second (otherwise the start is left to the first file, on the thread
// that asks). One per process, made on the UI thread. Its end waits for the thread up to
// kJoinMs and leaves it to the process's end after that. `sinkDescription` is the
// engine's: when that output may be ALSA's, ALSA's own error lines become debug lines of
// the engine.
class MediaFrameworkStart {
public:
    explicit MediaFrameworkStart(const QString& sinkDescription);
    ~MediaFrameworkStart();
    MediaFrameworkStart(const MediaFrameworkStart&) = delete;
    MediaFrameworkStart& operator=(const MediaFrameworkStart&) = delete;

    // Runs `then` from the event loop of this object's thread once the framework has
    // started or failed to (soon when it has already); never when `context` goes first.
    void whenDone(QObject* context, std::function<void()> then);

    static constexpr int kJoinMs = 2000;
    // A start that takes longer says so on standard error.
    static constexpr int kSlowMs = 5000;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// For a start at the first file: the output the engine will use (see MediaFrameworkStart).
void expectMediaOutput(const QString& sinkDescription);
