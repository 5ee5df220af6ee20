// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/playbinengine.h"

#include <algorithm>
#include <cmath>

#include <gst/gst.h>

#include <QFile>
#include <QLoggingCategory>

#include "platform/gst/adtslength.h"
#include "platform/gst/chaindriver.h"
#include "platform/gst/mediaframework.h"
#include "platform/regularfile.h"

Q_LOGGING_CATEGORY(lcMediaEngine, "quaverly.media", QtInfoMsg)

namespace {

constexpr int kMute = MediaRange::kMinVolume;
constexpr int kFullBalance = MediaRange::kMaxBalance;

// The framework's reasons are sentences of their own; ours go inside one.
QString withoutFullStop(QString reason) {
    reason = reason.trimmed();
    while (reason.endsWith(QLatin1Char('.'))) reason.chop(1);
    return reason;
}

constexpr const char* kCountedLength = "quaverly-counted-length";

// Streaming playlists list their parts by address, elsewhere: no local file is one.
bool isStreamingPlaylist(const QString& type) {
    return type == QLatin1String("application/x-hls") ||
           type == QLatin1String("application/dash+xml") ||
           type == QLatin1String("application/vnd.ms-sstr+xml");
}

}  // namespace

bool PlaybinEngine::load(const QString& path) {
    releaseChain();
    if (m_retryTimer) g_source_remove(m_retryTimer);
    m_retryTimer = 0;
    m_chain = Chain::None;
    m_requested = State::Stopped;
    m_failure.clear();
    m_outputFailure.clear();
    m_duration = 0;
    m_lastPosition = 0;
    m_hasAudio = false;
    m_ended = false;
    m_seekPending = false;
    m_atStart = false;
    m_pendingSeek = -1;
    m_holding = m_fullDecoder = false;
    m_path = path;
    // An outage of the output goes on across files: the next file waits for it too.
    initialise();
    if (!m_usable) {
        fail(QStringLiteral("the media engine could not be started"), Fault::Plugin);
        return false;
    }
    if (!isRegularFile(path)) {
        fail(QStringLiteral("not a regular file"));
        return false;
    }
    if (m_silent) probeOutput();  // the real output may be there by now
    return startChain();
}

// A chain for the current file, prepared while the event loop runs: the bus says when it
// is ready, or why not.
bool PlaybinEngine::startChain() {
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(QFile::encodeName(m_path).constData(), &error);
    if (!uri) {
        fail(frameworkErrorText(error));
        g_clear_error(&error);
        return false;
    }
    m_missingPlugin.clear();
    m_lengthCounted = false;
    const bool built = buildChain();
    if (built) g_object_set(m_playbin, "uri", uri, nullptr);
    g_free(uri);
    if (!built) return false;
    m_chain = Chain::Prerolling;
    m_deadline = g_timeout_add(kLoadDeadlineMs, &PlaybinEngine::onDeadline, this);
    m_driver->setState(GST_STATE_PAUSED);
    return true;
}

gboolean PlaybinEngine::onDeadline(gpointer self) {
    auto* engine = static_cast<PlaybinEngine*>(self);
    engine->m_deadline = 0;
    if (engine->m_chain != Chain::Prerolling) return G_SOURCE_REMOVE;
    if (engine->heldUpByTheOutput())
        engine->outputFault(QStringLiteral("it did not take the sound within %1 seconds")
                                .arg(kLoadDeadlineMs / 1000));
    else
        engine->fail(QStringLiteral("it was not ready to play after %1 seconds")
                         .arg(kLoadDeadlineMs / 1000));
    return G_SOURCE_REMOVE;
}

void PlaybinEngine::finishPreroll() {
    if (m_deadline) g_source_remove(m_deadline);
    m_deadline = 0;
    gint audioStreams = 0;
    g_object_get(m_playbin, "n-audio", &audioStreams, nullptr);
    if (audioStreams <= 0) {
        fail(QStringLiteral("no sound in the file"));
        return;
    }
    noteOutputWorks();
    m_chain = Chain::Ready;
    m_hasAudio = true;
    m_holding = false;
    queryDuration();
    if (m_duration <= 0) {
        // Counted on a worker; the answer comes back on the bus.
        auto* path = new QString(m_path);
        gst_element_call_async(
            m_playbin,
            [](GstElement* playbin, gpointer data) {
                const double length = adtsLength(*static_cast<QString*>(data));
                if (length > 0)
                    gst_element_post_message(
                        playbin, gst_message_new_application(
                                     GST_OBJECT(playbin),
                                     gst_structure_new(kCountedLength, "seconds", G_TYPE_DOUBLE,
                                                       length, nullptr)));
            },
            path, [](gpointer data) { delete static_cast<QString*>(data); });
    }
    const double target = std::max(0.0, m_pendingSeek);
    m_pendingSeek = -1;
    if (target > 0 || m_rate != 1.0) seek(target, m_rate);
    m_ended = m_duration > 0 && target >= m_duration;
    m_atStart = target == 0 && m_requested != State::Running;
    if (m_requested == State::Running) m_driver->setState(GST_STATE_PLAYING);
}

// Logged once per file; the chain is torn down at once, so its threads and memory go.
void PlaybinEngine::fail(const QString& reason, Fault fault) {
    if (m_chain == Chain::Failed || (fault == Fault::File && fallBackToFullDecoder())) return;
    const QString why = withoutFullStop(reason);
    qCInfo(lcMediaEngine).noquote()
        << QStringLiteral("'%1' could not be played: %2. %3")
               .arg(m_path, why,
                    fault == Fault::Plugin ? QStringLiteral("Check the GStreamer installation.")
                                           : QStringLiteral("Check that it is an AAC audio file."));
    releaseChain();
    if (m_retryTimer) g_source_remove(m_retryTimer);
    m_retryTimer = 0;
    m_chain = Chain::Failed;
    m_failure = why;
    m_duration = 0;
    m_lastPosition = 0;
    m_hasAudio = false;
    m_ended = false;
    m_seekPending = false;
    m_holding = false;
}

// The output failed, not the file. Until an output has worked, the file plays on
// silently at once; after that the file keeps its place and is tried again at growing
// intervals, until the output is back or the engine's patience ends.
void PlaybinEngine::outputFault(const QString& reason) {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling) return;
    const QString why = withoutFullStop(reason);
    if (!m_holding) {
        m_resumeAt = m_chain == Chain::Ready ? position() : std::max(0.0, m_pendingSeek);
        m_heldDuration = m_chain == Chain::Ready ? duration() : 0;
        m_holding = true;
    }
    if (!m_outputWorked) {
        sayPlayingSilently(QStringLiteral("the audio output '%1' could not be opened: %2")
                               .arg(m_sinkDescription, why));
        reopen();
        return;
    }
    releaseChain();
    m_chain = Chain::Waiting;
    m_outageReason = why;
    const gint64 now = g_get_monotonic_time();
    if (m_outageSinceUs == 0) {
        m_outageSinceUs = now;
        m_retries = 0;
        qCWarning(lcMediaEngine).noquote()
            << QStringLiteral("the audio output '%1' failed: %2; waiting for it to come back")
                   .arg(m_sinkDescription, why);
    }
    const gint64 waitedMs = (now - m_outageSinceUs) / 1000;
    if (waitedMs >= kOutputPatienceMs) {
        qCWarning(lcMediaEngine).noquote()
            << QStringLiteral(
                   "the audio output '%1' did not come back within %2 seconds (%3); playing "
                   "stopped. Another output can be chosen with --audio-sink, for example "
                   "--audio-sink pulsesink or --audio-sink alsasink.")
                   .arg(m_sinkDescription)
                   .arg(kOutputPatienceMs / 1000)
                   .arg(why);
        m_outputFailure = QStringLiteral("%1: %2").arg(m_sinkDescription, why);
        m_chain = Chain::None;
        m_requested = State::Stopped;
        m_holding = false;
        m_outageSinceUs = 0;
        return;
    }
    const gint64 interval = std::min(4000, 500 << std::min(m_retries, 3));
    ++m_retries;
    m_retryTimer = g_timeout_add(guint(std::min(interval, kOutputPatienceMs - waitedMs)),
                                 &PlaybinEngine::onRetry, this);
}

gboolean PlaybinEngine::onRetry(gpointer self) {
    auto* engine = static_cast<PlaybinEngine*>(self);
    engine->m_retryTimer = 0;
    if (engine->m_chain == Chain::Waiting) engine->reopen();
    return G_SOURCE_REMOVE;
}

// The same file again on a new chain, from the place it held, in the state asked for.
void PlaybinEngine::reopen() {
    const State requested = m_requested;
    releaseChain();
    m_chain = Chain::None;
    m_hasAudio = false;
    m_ended = false;
    m_seekPending = false;
    m_atStart = false;
    m_duration = 0;
    m_pendingSeek = m_resumeAt > 0 ? m_resumeAt : -1;
    if (startChain()) m_requested = requested;
}

// Stop gives up the wait: nothing is loaded any more, and the next start begins anew.
void PlaybinEngine::stopWaiting() {
    if (m_retryTimer) g_source_remove(m_retryTimer);
    m_retryTimer = 0;
    m_chain = Chain::None;
    m_requested = State::Stopped;
    m_holding = false;
    m_outageSinceUs = 0;
}

void PlaybinEngine::run() {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling && m_chain != Chain::Waiting)
        return;
    m_requested = State::Running;
    m_atStart = false;
    if (m_chain == Chain::Ready) m_driver->setState(GST_STATE_PLAYING);
}

void PlaybinEngine::pause() {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling && m_chain != Chain::Waiting)
        return;
    m_requested = State::Paused;
    if (m_chain == Chain::Ready) m_driver->setState(GST_STATE_PAUSED);
}

// Stopping keeps the position and the chain, like a pause that reads as stopped;
// the next run goes on from there. It ends a wait for the output.
void PlaybinEngine::stop() {
    if (m_chain == Chain::Waiting) stopWaiting();
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling) return;
    m_requested = State::Stopped;
    if (m_chain == Chain::Ready) m_driver->setState(GST_STATE_PAUSED);
}

IMediaEngine::State PlaybinEngine::state() const {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling && m_chain != Chain::Waiting)
        return State::Stopped;
    return m_requested;
}

bool PlaybinEngine::queryPosition(double* seconds) const {
    gint64 position = 0;
    if (!gst_element_query_position(m_playbin, GST_FORMAT_TIME, &position) || position < 0)
        return false;
    *seconds = double(position) / GST_SECOND;
    return true;
}

double PlaybinEngine::position() const {
    // While the output is away the file holds its place.
    if (m_holding && m_chain != Chain::Ready) return m_resumeAt;
    if (m_chain != Chain::Ready) return 0;
    if (m_ended) return duration();
    // While a seek is under way the sink still reports the old place: give the target.
    if (!seekPending()) queryPosition(&m_lastPosition);
    return m_lastPosition;
}

void PlaybinEngine::setPosition(double seconds) {
    if (!std::isfinite(seconds)) return;
    seconds = std::max(0.0, seconds);
    if (m_holding && m_chain != Chain::Ready) m_resumeAt = seconds;
    if (m_chain == Chain::Prerolling) {
        m_pendingSeek = seconds;
        return;
    }
    if (m_chain != Chain::Ready) return;
    const double length = duration();
    m_ended = length > 0 && seconds >= length;
    if (m_atStart && seconds == 0) return;  // freshly loaded: already there
    seek(seconds, m_rate);
    m_atStart = seconds == 0 && m_requested != State::Running;
}

void PlaybinEngine::queryDuration() {
    gint64 length = 0;
    if (gst_element_query_duration(m_playbin, GST_FORMAT_TIME, &length) && length > 0)
        m_duration = double(length) / GST_SECOND;
}

double PlaybinEngine::duration() const {
    if (m_holding && m_chain != Chain::Ready) return m_heldDuration;
    if (m_chain != Chain::Ready) return 0;
    // Some streams know their length only once data flows; ask until they do.
    if (m_duration <= 0 && !m_ended) const_cast<PlaybinEngine*>(this)->queryDuration();
    return m_duration;
}

void PlaybinEngine::setRate(double rate) {
    if (!std::isfinite(rate) || rate <= 0) return;
    m_rate = rate;
    // A chain that is not ready, or stands at its end, takes the rate with its next seek.
    if (m_chain != Chain::Ready || m_ended) return;
    double from = m_lastPosition;
    if (!seekPending()) queryPosition(&from);
    seek(from, rate);
}

// Carried out by the chain's driver; the position reads the target until it has landed.
bool PlaybinEngine::seek(double seconds, double rate) {
    m_driver->seek(rate, gint64(std::llround(seconds * GST_SECOND)));
    m_seekPending = true;
    m_seekStartedUs = g_get_monotonic_time();
    m_lastPosition = seconds;
    return true;
}

// A seek counts as under way until the chain has settled at the new place, or for a
// short while at most, so that a completion the bus never reports cannot freeze the
// position or hide the end of the track.
bool PlaybinEngine::seekPending() const {
    return m_seekPending && g_get_monotonic_time() - m_seekStartedUs < kSeekSettleUs;
}

double PlaybinEngine::gainForVolume(int volume) {
    return std::pow(10.0, std::clamp(volume, kMute, 0) / 2000.0);
}

double PlaybinEngine::panoramaForBalance(int balance) {
    const int amount = std::min(std::abs(balance), kFullBalance);
    const double attenuation =
        amount == kFullBalance ? 1.0 : 1.0 - std::pow(10.0, -amount / 2000.0);
    return balance < 0 ? -attenuation : attenuation;
}

void PlaybinEngine::setVolume(int volume) {
    m_volume = std::clamp(volume, kMute, 0);
    applyVolume();
}

void PlaybinEngine::setBalance(int balance) {
    m_balance = std::clamp(balance, -kFullBalance, kFullBalance);
    applyBalance();
}

void PlaybinEngine::applyVolume() {
    if (!m_volumeElement) return;
    g_object_set(m_volumeElement, "volume", gainForVolume(m_volume), "mute",
                 gboolean(m_volume <= kMute), nullptr);
}

void PlaybinEngine::applyBalance() {
    if (!m_panorama) return;
    g_object_set(m_panorama, "panorama", gfloat(panoramaForBalance(m_balance)), nullptr);
}

gboolean PlaybinEngine::onBusMessage(GstBus*, GstMessage* message, gpointer self) {
    static_cast<PlaybinEngine*>(self)->handleMessage(message);
    return G_SOURCE_CONTINUE;
}

void PlaybinEngine::handleMessage(GstMessage* message) {
    if (!m_playbin) return;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            handleError(message);
            return;
        case GST_MESSAGE_WARNING: {
            GError* error = nullptr;
            gst_message_parse_warning(message, &error, nullptr);
            qCDebug(lcMediaEngine).noquote() << "Warning:" << frameworkErrorText(error);
            g_clear_error(&error);
            return;
        }
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* said = gst_message_get_structure(message);
            // A demuxer that finds a reference to media elsewhere says so, then fails
            // with an error that the decoding bin may swallow while it is still trying
            // that demuxer: the file fails on what was said.
            if (said && gst_structure_has_name(said, "redirect")) {
                if (m_chain == Chain::Prerolling) fail(QLatin1String(kElsewhere));
                return;
            }
            // Said before the error it leads to: what no installed plug-in could handle (the
            // structure's name is what the plug-in utilities' test reads, without loading
            // that library and the video and tag libraries it brings).
            if (said && gst_structure_has_name(said, "missing-plugin")) {
                GstCaps* caps = nullptr;
                gst_structure_get(said, "detail", GST_TYPE_CAPS, &caps, nullptr);
                if (caps && !gst_caps_is_empty(caps))
                    m_missingPlugin =
                        QString::fromUtf8(gst_structure_get_name(gst_caps_get_structure(caps, 0)));
                if (caps) gst_caps_unref(caps);
            }
            return;
        }
        case GST_MESSAGE_APPLICATION:
            handleApplication(message);
            return;
        case GST_MESSAGE_DURATION_CHANGED:
            if (m_chain == Chain::Ready && !m_ended && !m_lengthCounted) queryDuration();
            return;
        default:
            break;
    }
    if (GST_MESSAGE_SRC(message) != GST_OBJECT(m_playbin)) return;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ASYNC_DONE:
            if (m_chain == Chain::Prerolling)
                finishPreroll();
            else
                m_seekPending = false;
            break;
        case GST_MESSAGE_EOS:
            // An end reported before the last seek completed belongs to the old place.
            if (m_chain != Chain::Ready || seekPending()) break;
            if (m_duration <= 0) {
                // The length was never known: the place where the stream ended is it.
                queryPosition(&m_lastPosition);
                m_duration = m_lastPosition;
            }
            m_ended = true;
            break;
        default:
            break;
    }
}

void PlaybinEngine::handleError(GstMessage* message) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    const QString reason = frameworkErrorText(error);
    const bool missingPlugin =
        error &&
        ((error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN) ||
         (error->domain == GST_STREAM_ERROR && error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND));
    g_clear_error(&error);
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling) return;
    if (fromTheOutput(GST_MESSAGE_SRC(message)))
        outputFault(reason);
    else if (missingPlugin && isStreamingPlaylist(m_missingPlugin))
        fail(
            QStringLiteral("it is a streaming playlist whose parts lie elsewhere, and only local "
                           "files are played"));
    else if (missingPlugin && !m_missingPlugin.isEmpty())
        fail(QStringLiteral("no installed plug-in reads %1").arg(m_missingPlugin), Fault::Plugin);
    else
        fail(reason);
}

// What the chain's workers tell: a state change that completed at once, or failed, and
// a length counted from the file.
void PlaybinEngine::handleApplication(GstMessage* message) {
    const GstStructure* s = gst_message_get_structure(message);
    double seconds = 0;
    if (s && gst_structure_has_name(s, kCountedLength) && m_chain == Chain::Ready &&
        m_duration <= 0 && gst_structure_get_double(s, "seconds", &seconds)) {
        m_duration = seconds;
        m_lengthCounted = true;
    }
    if (!s || m_chain != Chain::Prerolling) return;
    int state = GST_STATE_VOID_PENDING;
    gst_structure_get_int(s, "state", &state);
    if (gst_structure_has_name(s, ChainDriver::kStateFailed))
        fail(QStringLiteral("the chain could not start"));
    else if (gst_structure_has_name(s, ChainDriver::kStateDone) && state >= GST_STATE_PAUSED)
        finishPreroll();
}
