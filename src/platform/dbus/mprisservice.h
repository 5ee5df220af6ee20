// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QObject>
#include <QString>
#include <QVariantMap>

#include "playback/iplayercontrol.h"
#include "playback/itagreader.h"

// The player on the session bus under the media-player interfaces, with one extra
// method for handing files over from a second start. It publishes an object at
// kObjectPath and signals every property change the player tells it of, whatever made
// it (button, hot key, playback monitor, bus). UI thread only.
class MprisService : public QObject {
    Q_OBJECT
public:
    static const QString kServiceName;  // kMprisBusName
    static const QString kObjectPath;   // /org/mpris/MediaPlayer2
    static const QString kTrackPath;    // track ids start with it: kTrackObjectPath

    // With `tags`, the metadata carries the tags of the file that is loaded, once read.
    explicit MprisService(IPlayerControl& control, ITagReader* tags = nullptr,
                          QObject* parent = nullptr);
    ~MprisService() override;

    // Puts the object on the session bus; false (with a reason) when there is none.
    bool publish(QString* reason);
    // Signals the properties that changed since the last call.
    void publishChanges();

    // The player interface's properties as they are now, and the parts that build them.
    static QVariantMap playerProperties(const PlayerState& state);
    static QVariantMap metadata(const PlayerState& state, const TrackTags& tags = {});
    // The metadata as a remote reads it now.
    QVariantMap currentMetadata() const;
    static QString trackId(const QString& path);
    // The properties whose values differ between two states.
    static QVariantMap changedProperties(const PlayerState& before, const PlayerState& after);

    IPlayerControl& control() const { return m_control; }
    // Signals a jump of the position to `positionUs`.
    void seeked(qint64 positionUs);

private:
    void send(const QVariantMap& changed);
    void readTags(const QString& track);

    IPlayerControl& m_control;
    ITagReader* m_tagReader;
    TrackTags m_tags;  // of m_published.track, once read
    PlayerState m_published;
    bool m_onBus = false;
};
