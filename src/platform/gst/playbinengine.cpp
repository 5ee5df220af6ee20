// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/playbinengine.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMediaEngine, "quaverly.media", QtInfoMsg)

namespace {

constexpr int kMute = MediaRange::kMinVolume;
constexpr int kFullBalance = MediaRange::kMaxBalance;

QString errorText(GError* error) {
    return QString::fromUtf8(error && error->message ? error->message : "unknown error");
}

}  // namespace

bool PlaybinEngine::load(const QString& path) {
    releaseChain();
    m_chain = Chain::None;
    m_requested = State::Stopped;
    m_failure.clear();
    m_duration = 0;
    m_lastPosition = 0;
    m_hasAudio = false;
    m_ended = false;
    m_seekPending = false;
    m_atStart = false;
    m_pendingSeek = -1;
    m_path = path;
    initialise();
    if (!m_usable) {
        fail(QStringLiteral("the media engine could not be started"));
        return false;
    }
    // Opening a FIFO or a device blocks or never ends: only regular files are played.
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    // A NUL would end the name early and play the file named by the part before it.
    if (path.isEmpty() || path.contains(QChar(u'\0')) || ::stat(native.constData(), &info) != 0 ||
        !S_ISREG(info.st_mode)) {
        fail(QStringLiteral("not a regular file"));
        return false;
    }
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(native.constData(), &error);
    if (!uri) {
        fail(errorText(error));
        g_clear_error(&error);
        return false;
    }
    const bool built = buildChain();
    if (built) g_object_set(m_playbin, "uri", uri, nullptr);
    g_free(uri);
    if (!built) return false;

    // Prepared while the event loop runs: the bus says when it is ready, or why not.
    m_chain = Chain::Prerolling;
    m_deadline = g_timeout_add(kLoadDeadlineMs, &PlaybinEngine::onDeadline, this);
    const GstStateChangeReturn result = gst_element_set_state(m_playbin, GST_STATE_PAUSED);
    if (result == GST_STATE_CHANGE_FAILURE) {
        QString reason = QStringLiteral("the chain could not start");
        if (GstMessage* msg = gst_bus_pop_filtered(m_bus, GST_MESSAGE_ERROR)) {
            gst_message_parse_error(msg, &error, nullptr);
            reason = errorText(error);
            g_clear_error(&error);
            gst_message_unref(msg);
        }
        fail(reason);
        return false;
    }
    if (result != GST_STATE_CHANGE_ASYNC) finishPreroll();
    return m_chain != Chain::Failed;
}

gboolean PlaybinEngine::onDeadline(gpointer self) {
    auto* engine = static_cast<PlaybinEngine*>(self);
    engine->m_deadline = 0;
    if (engine->m_chain == Chain::Prerolling)
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
    m_chain = Chain::Ready;
    m_hasAudio = true;
    queryDuration();
    const double target = std::max(0.0, m_pendingSeek);
    m_pendingSeek = -1;
    if (target > 0 || m_rate != 1.0) seek(target, m_rate);
    m_ended = m_duration > 0 && target >= m_duration;
    m_atStart = target == 0 && m_requested != State::Running;
    if (m_requested == State::Running) gst_element_set_state(m_playbin, GST_STATE_PLAYING);
}

// Logged once per file; the chain is torn down at once, so its threads and memory go.
void PlaybinEngine::fail(const QString& reason) {
    if (m_chain == Chain::Failed) return;
    qCInfo(lcMediaEngine).noquote()
        << QStringLiteral("'%1' could not be played: %2. Check that it is an AAC audio file.")
               .arg(m_path, reason);
    releaseChain();
    m_chain = Chain::Failed;
    m_failure = reason;
    m_duration = 0;
    m_lastPosition = 0;
    m_hasAudio = false;
    m_ended = false;
    m_seekPending = false;
}

void PlaybinEngine::run() {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling) return;
    m_requested = State::Running;
    m_atStart = false;
    if (m_chain == Chain::Ready) gst_element_set_state(m_playbin, GST_STATE_PLAYING);
}

void PlaybinEngine::pause() {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling) return;
    m_requested = State::Paused;
    if (m_chain == Chain::Ready) gst_element_set_state(m_playbin, GST_STATE_PAUSED);
}

// Stopping keeps the position and the chain, like a pause that reads as stopped;
// the next run goes on from there.
void PlaybinEngine::stop() {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling) return;
    m_requested = State::Stopped;
    if (m_chain == Chain::Ready) gst_element_set_state(m_playbin, GST_STATE_PAUSED);
}

IMediaEngine::State PlaybinEngine::state() const {
    if (m_chain != Chain::Ready && m_chain != Chain::Prerolling) return State::Stopped;
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
    if (m_chain != Chain::Ready) return 0;
    if (m_ended) return duration();
    // While a seek is under way the sink still reports the old place: give the target.
    if (!seekPending()) queryPosition(&m_lastPosition);
    return m_lastPosition;
}

void PlaybinEngine::setPosition(double seconds) {
    if (!std::isfinite(seconds)) return;
    seconds = std::max(0.0, seconds);
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

bool PlaybinEngine::seek(double seconds, double rate) {
    const auto target = gint64(std::llround(seconds * GST_SECOND));
    const bool ok =
        gst_element_seek(m_playbin, rate, GST_FORMAT_TIME,
                         GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                         GST_SEEK_TYPE_SET, target, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    if (ok) {
        m_seekPending = true;
        m_seekStartedUs = g_get_monotonic_time();
        m_lastPosition = seconds;
    } else {
        qCDebug(lcMediaEngine) << "Seek to" << seconds << "at rate" << rate << "refused";
    }
    return ok;
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
    if (GST_MESSAGE_SRC(message) != GST_OBJECT(m_playbin) &&
        GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR &&
        GST_MESSAGE_TYPE(message) != GST_MESSAGE_WARNING &&
        GST_MESSAGE_TYPE(message) != GST_MESSAGE_DURATION_CHANGED)
        return;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            const QString reason = errorText(error);
            g_clear_error(&error);
            if (m_chain == Chain::Ready || m_chain == Chain::Prerolling) fail(reason);
            break;
        }
        case GST_MESSAGE_WARNING: {
            GError* error = nullptr;
            gst_message_parse_warning(message, &error, nullptr);
            qCDebug(lcMediaEngine).noquote() << "Warning:" << errorText(error);
            g_clear_error(&error);
            break;
        }
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
        case GST_MESSAGE_DURATION_CHANGED:
            if (m_chain == Chain::Ready && !m_ended) queryDuration();
            break;
        default:
            break;
    }
}
