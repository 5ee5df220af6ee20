// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/dbus/mprisservice.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QCryptographicHash>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMimeDatabase>
#include <QMimeType>
#include <QPointer>
#include <QUrl>

#include "core/product.h"
#include "platform/dbus/mprisadaptors.h"
#include "platform/regularfile.h"

Q_LOGGING_CATEGORY(lcMpris, "quaverly.platform.mpris")

const QString MprisService::kServiceName = kMprisBusName;
const QString MprisService::kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString MprisService::kTrackPath = kTrackObjectPath;

namespace {
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");
const QString kInvalidArgs = QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
const QString kBusyText =
    QStringLiteral("Quaverly is waiting for an answer to one of its messages; answer it first");

QString statusName(PlaybackStatus status) {
    switch (status) {
        case PlaybackStatus::Playing:
            return QStringLiteral("Playing");
        case PlaybackStatus::Paused:
            return QStringLiteral("Paused");
        case PlaybackStatus::Stopped:
            break;
    }
    return QStringLiteral("Stopped");
}

// Seeking moves within the file that plays; while stopped or paused the position stays.
bool canSeekIn(const PlayerState& s) {
    return s.status == PlaybackStatus::Playing && !s.track.isEmpty() && s.lengthUs > 0;
}

// The arguments a method takes, by their signature; a call with others is refused.
bool takes(const QDBusMessage& message, const char* signature) {
    if (message.signature() == QLatin1String(signature)) return true;
    refuseCall(message, kInvalidArgs,
               QStringLiteral("arguments '%1' where '%2' was expected")
                   .arg(message.signature(), QLatin1String(signature)));
    return false;
}

// Whether the player takes the file through OpenUri: sound, as the desktop's file manager
// types it by its name and content, or an MP4 container. Playlists are typed as audio
// but hold only text. Gives the type found in `type`.
bool isSoundFile(const QString& path, QString* type) {
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(path);
    *type = mime.name();
    if (mime.inherits(QStringLiteral("text/plain"))) return false;
    for (const char* container : {"audio/mp4", "video/mp4", "application/mp4"})
        if (mime.inherits(QLatin1String(container))) return true;
    const QStringList kinds = QStringList{mime.name()} + mime.allAncestors();
    return std::any_of(kinds.begin(), kinds.end(), [](const QString& kind) {
        return kind.startsWith(QLatin1String("audio/"));
    });
}

// The answer to a request to open files.
void answer(OpenResult result, const QDBusMessage& message) {
    switch (result) {
        case OpenResult::Taken:
            return;
        case OpenResult::Closing:
            refuseCall(message, kClosingErrorName, QStringLiteral("Quaverly is closing"));
            return;
        case OpenResult::BadPath:
            refuseCall(
                message, kInvalidArgs,
                QStringLiteral("a path holds the text that separates the saved list's entries"));
            return;
    }
}
}  // namespace

// ---- The service ----

MprisService::MprisService(IPlayerControl& control, ITagReader* tags, QObject* parent)
    : QObject(parent), m_control(control), m_tagReader(tags) {
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    new QuaverlyAdaptor(this);
    new MprisPropertiesAdaptor(this);
}

MprisService::~MprisService() {
    if (m_onBus) QDBusConnection::sessionBus().unregisterObject(kObjectPath);
}

bool MprisService::publish(QString* reason) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (reason) *reason = bus.lastError().message();
        return false;
    }
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportAdaptors)) {
        if (reason) *reason = QStringLiteral("the object path is taken");
        return false;
    }
    m_onBus = true;
    m_published = m_control.state();
    // Whatever made a change (button, hot key, playback monitor, bus), the player tells
    // it the moment the handling is done: nothing is polled.
    // The player may outlive this object: the notice then reaches no one.
    m_control.whenChanged([self = QPointer<MprisService>(this)] {
        if (self) self->publishChanges();
    });
    return true;
}

void MprisService::publishChanges() {
    if (!m_onBus) return;
    const PlayerState now = m_control.state();
    if (now == m_published) return;
    QVariantMap changed = changedProperties(m_published, now);
    if (now.track != m_published.track) {
        m_tags = {};
        readTags(now.track);
    }
    m_published = now;
    if (changed.contains(QStringLiteral("Metadata")))
        changed.insert(QStringLiteral("Metadata"), currentMetadata());
    send(changed);
}

void MprisService::send(const QVariantMap& changed) {
    if (changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

void MprisService::readTags(const QString& track) {
    if (!m_tagReader) return;
    QPointer<MprisService> self(this);
    m_tagReader->read(track, [self, track](const TrackTags& tags) {
        if (!self || self->m_published.track != track) return;
        self->m_tags = tags;
        self->send({{QStringLiteral("Metadata"), self->currentMetadata()}});
    });
}

QVariantMap MprisService::currentMetadata() const {
    const PlayerState state = m_control.state();
    return metadata(state, state.track == m_published.track ? m_tags : TrackTags{});
}

void MprisService::seeked(qint64 positionUs) {
    publishChanges();  // a new track first, then the jump within it
    if (auto* player = findChild<MprisPlayerAdaptor*>()) Q_EMIT player->Seeked(positionUs);
}

QString MprisService::trackId(const QString& path) {
    if (path.isEmpty()) return kNoTrack;
    // Object-path elements allow only [A-Za-z0-9_]: the path's digest stands for it.
    const QByteArray digest = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1);
    return kTrackPath + QString::fromLatin1(digest.toHex());
}

QVariantMap MprisService::metadata(const PlayerState& state, const TrackTags& tags) {
    QVariantMap m;
    m.insert(QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath(trackId(state.track))));
    if (state.track.isEmpty()) return m;
    m.insert(QStringLiteral("xesam:url"),
             QString::fromUtf8(QUrl::fromLocalFile(state.track).toEncoded()));
    m.insert(QStringLiteral("xesam:title"),
             tags.title.isEmpty() ? QFileInfo(state.track).completeBaseName() : tags.title);
    if (state.lengthUs > 0) m.insert(QStringLiteral("mpris:length"), qlonglong(state.lengthUs));
    const auto text = [&m](const char* key, const QString& value) {
        if (!value.isEmpty()) m.insert(QLatin1String(key), value);
    };
    const auto list = [&m](const char* key, const QString& value) {
        if (!value.isEmpty()) m.insert(QLatin1String(key), QStringList{value});
    };
    list("xesam:artist", tags.artist);
    text("xesam:album", tags.album);
    list("xesam:albumArtist", tags.albumArtist);
    list("xesam:genre", tags.genre);
    if (tags.trackNumber > 0) m.insert(QStringLiteral("xesam:trackNumber"), tags.trackNumber);
    if (!tags.artPath.isEmpty())
        m.insert(QStringLiteral("mpris:artUrl"),
                 QString::fromUtf8(QUrl::fromLocalFile(tags.artPath).toEncoded()));
    return m;
}

QVariantMap MprisService::playerProperties(const PlayerState& s) {
    return {
        {QStringLiteral("PlaybackStatus"), statusName(s.status)},
        {QStringLiteral("Metadata"), metadata(s)},
        {QStringLiteral("Volume"), s.volume},
        {QStringLiteral("Shuffle"), s.shuffle},
        {QStringLiteral("Rate"), s.rate},
        {QStringLiteral("MinimumRate"), s.minRate},
        {QStringLiteral("MaximumRate"), s.maxRate},
        {QStringLiteral("CanSeek"), canSeekIn(s)},
        {QStringLiteral("CanPlay"), s.entries > 0},
        {QStringLiteral("CanPause"), s.entries > 0},
        {QStringLiteral("CanGoNext"), s.entries > 0},
        {QStringLiteral("CanGoPrevious"), s.entries > 0},
    };
}

QVariantMap MprisService::changedProperties(const PlayerState& before, const PlayerState& after) {
    const QVariantMap old = playerProperties(before);
    QVariantMap now = playerProperties(after);
    for (auto it = now.begin(); it != now.end();) {
        // Metadata holds an object path, which QVariant cannot compare by value.
        const bool same = it.key() == QStringLiteral("Metadata")
                              ? before.track == after.track && before.lengthUs == after.lengthUs
                              : old.value(it.key()) == it.value();
        it = same ? now.erase(it) : std::next(it);
    }
    return now;
}

// ---- org.mpris.MediaPlayer2 ----

MprisRootAdaptor::MprisRootAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), m_service(service) {}

QStringList MprisRootAdaptor::supportedMimeTypes() const {
    return {QStringLiteral("audio/aac"), QStringLiteral("audio/x-aac"),
            QStringLiteral("audio/x-hx-aac-adts")};
}

void MprisRootAdaptor::Raise() {
    m_service->control().request(PlayerAction::Raise);
}

void MprisRootAdaptor::Quit() {
    m_service->control().request(PlayerAction::Quit);
}

// ---- org.mpris.MediaPlayer2.Player ----

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), m_service(service) {}

QString MprisPlayerAdaptor::playbackStatus() const {
    return statusName(m_service->control().state().status);
}

double MprisPlayerAdaptor::rate() const {
    return m_service->control().state().rate;
}

void MprisPlayerAdaptor::setRate(double rate) {
    // Not a rate: left unapplied.
    if (std::isnan(rate) || rate < 0) return;
    // A rate of 0 is a request to pause.
    if (rate == 0.0)
        m_service->control().request(PlayerAction::Pause);
    else
        m_service->control().setRate(rate);
    m_service->publishChanges();
}

bool MprisPlayerAdaptor::shuffle() const {
    return m_service->control().state().shuffle;
}

void MprisPlayerAdaptor::setShuffle(bool shuffle) {
    m_service->control().setShuffle(shuffle);
    m_service->publishChanges();
}

QVariantMap MprisPlayerAdaptor::metadata() const {
    return m_service->currentMetadata();
}

double MprisPlayerAdaptor::volume() const {
    return m_service->control().state().volume;
}

void MprisPlayerAdaptor::setVolume(double volume) {
    if (std::isnan(volume)) return;  // not a level: left unapplied
    m_service->control().setVolume(volume);
    m_service->publishChanges();
}

qlonglong MprisPlayerAdaptor::position() const {
    return m_service->control().positionUs();
}

double MprisPlayerAdaptor::minimumRate() const {
    return m_service->control().state().minRate;
}

double MprisPlayerAdaptor::maximumRate() const {
    return m_service->control().state().maxRate;
}

bool MprisPlayerAdaptor::canSeek() const {
    return canSeekIn(m_service->control().state());
}

bool MprisPlayerAdaptor::hasEntries() const {
    return m_service->control().state().entries > 0;
}

void MprisPlayerAdaptor::act(PlayerAction action, const QDBusMessage& message) {
    if (!takes(message, "")) return;
    if (!m_service->control().request(action)) refuseCall(message, kBusyErrorName, kBusyText);
}

void MprisPlayerAdaptor::Play(const QDBusMessage& message) {
    act(PlayerAction::Play, message);
}
void MprisPlayerAdaptor::Pause(const QDBusMessage& message) {
    act(PlayerAction::Pause, message);
}
void MprisPlayerAdaptor::PlayPause(const QDBusMessage& message) {
    act(PlayerAction::PlayPause, message);
}
void MprisPlayerAdaptor::Stop(const QDBusMessage& message) {
    act(PlayerAction::Stop, message);
}
void MprisPlayerAdaptor::Next(const QDBusMessage& message) {
    act(PlayerAction::Next, message);
}
void MprisPlayerAdaptor::Previous(const QDBusMessage& message) {
    act(PlayerAction::Previous, message);
}

void MprisPlayerAdaptor::Seek(qlonglong offset) {
    IPlayerControl& control = m_service->control();
    const PlayerState state = control.state();
    if (!canSeekIn(state)) return;
    qint64 target = 0;
    if (__builtin_add_overflow(control.positionUs(), offset, &target))
        target = offset < 0 ? 0 : std::numeric_limits<qint64>::max();
    target = std::max<qint64>(0, target);
    // Past the end is the next track.
    if (target > state.lengthUs) {
        control.request(PlayerAction::Next);
        return;
    }
    control.setPositionUs(target);
    m_service->seeked(control.positionUs());
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong position) {
    IPlayerControl& control = m_service->control();
    const PlayerState state = control.state();
    // A request meant for a track that is no longer loaded is stale.
    if (!canSeekIn(state) || track.path() != MprisService::trackId(state.track)) return;
    if (position < 0 || position > state.lengthUs) return;
    control.setPositionUs(position);
    m_service->seeked(control.positionUs());
}

void MprisPlayerAdaptor::OpenUri(const QString& uri, const QDBusMessage& message) {
    const QUrl url(uri);
    if (!url.isLocalFile() || !isRegularFile(url.toLocalFile())) {
        refuseCall(message, kInvalidArgs, QStringLiteral("not a local file: ") + uri);
        return;
    }
    const QString path = QFileInfo(url.toLocalFile()).absoluteFilePath();
    if (QString type; !isSoundFile(path, &type)) {
        refuseCall(message, kInvalidArgs,
                   QStringLiteral("not a sound file: %1 (%2)").arg(path, type));
        return;
    }
    answer(m_service->control().open({path}), message);
}

// ---- the program's own interface ----

QuaverlyAdaptor::QuaverlyAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), m_service(service) {}

void QuaverlyAdaptor::Open(const QStringList& paths, const QDBusMessage& message) {
    for (const QString& p : paths) {
        if (!QFileInfo(p).isAbsolute() || !QFileInfo::exists(p)) {
            refuseCall(message, kInvalidArgs, QStringLiteral("no such file or folder: ") + p);
            return;
        }
    }
    answer(m_service->control().open(paths), message);
}
