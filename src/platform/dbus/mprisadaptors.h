// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>

#include <QDBusAbstractAdaptor>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>
#include <QVariantMap>

#include "core/product.h"
#include "playback/iplayercontrol.h"

class MprisService;

// Answers a call with the error `name` instead of its reply; debug lines say so.
void refuseCall(const QDBusMessage& message, const QString& name, const QString& text);

// org.mpris.MediaPlayer2: who the player is, Raise and Quit.
class MprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ canQuit)
    Q_PROPERTY(bool CanRaise READ canRaise)
    Q_PROPERTY(bool Fullscreen READ fullscreen)
    Q_PROPERTY(bool CanSetFullscreen READ fullscreen)
    Q_PROPERTY(bool HasTrackList READ fullscreen)
    Q_PROPERTY(QString Identity READ identity)
    Q_PROPERTY(QString DesktopEntry READ desktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ supportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ supportedMimeTypes)

public:
    explicit MprisRootAdaptor(MprisService* service);

    bool canQuit() const { return true; }
    bool canRaise() const { return true; }
    bool fullscreen() const { return false; }
    QString identity() const { return kProductName; }
    QString desktopEntry() const { return kApplicationId; }
    QStringList supportedUriSchemes() const { return {QStringLiteral("file")}; }
    QStringList supportedMimeTypes() const;

public Q_SLOTS:
    void Raise();
    void Quit();

private:
    MprisService* m_service;
};

// org.mpris.MediaPlayer2.Player: the transport, the loaded entry, volume, speed, order.
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
    Q_PROPERTY(QString LoopStatus READ loopStatus WRITE setLoopStatus)
    Q_PROPERTY(double Rate READ rate WRITE setRate)
    Q_PROPERTY(bool Shuffle READ shuffle WRITE setShuffle)
    Q_PROPERTY(QVariantMap Metadata READ metadata)
    Q_PROPERTY(double Volume READ volume WRITE setVolume)
    Q_PROPERTY(qlonglong Position READ position)
    Q_PROPERTY(double MinimumRate READ minimumRate)
    Q_PROPERTY(double MaximumRate READ maximumRate)
    Q_PROPERTY(bool CanGoNext READ hasEntries)
    Q_PROPERTY(bool CanGoPrevious READ hasEntries)
    Q_PROPERTY(bool CanPlay READ hasEntries)
    Q_PROPERTY(bool CanPause READ hasEntries)
    Q_PROPERTY(bool CanSeek READ canSeek)
    Q_PROPERTY(bool CanControl READ canControl)

public:
    explicit MprisPlayerAdaptor(MprisService* service);

    QString playbackStatus() const;
    // The list wraps at its end, and that cannot be changed: MprisPropertiesAdaptor
    // refuses any other value, so "Playlist", which changes nothing, is all that comes.
    QString loopStatus() const { return QStringLiteral("Playlist"); }
    void setLoopStatus(const QString&) {}
    double rate() const;
    void setRate(double rate);
    bool shuffle() const;
    void setShuffle(bool shuffle);
    QVariantMap metadata() const;
    double volume() const;
    void setVolume(double volume);
    qlonglong position() const;
    double minimumRate() const;
    double maximumRate() const;
    bool canControl() const { return true; }
    bool hasEntries() const;
    bool canSeek() const;

public Q_SLOTS:
    void Play(const QDBusMessage& message);
    void Pause(const QDBusMessage& message);
    void PlayPause(const QDBusMessage& message);
    void Stop(const QDBusMessage& message);
    void Next(const QDBusMessage& message);
    void Previous(const QDBusMessage& message);
    void Seek(qlonglong offset);
    void SetPosition(const QDBusObjectPath& track, qlonglong position);
    void OpenUri(const QString& uri, const QDBusMessage& message);

Q_SIGNALS:
    void Seeked(qlonglong position);

private:
    void act(PlayerAction action, const QDBusMessage& message);

    MprisService* m_service;
};

// org.freedesktop.DBus.Properties of the object, answered here instead of by the bus
// library, which converts a written value to the property's type whatever it was (any
// text other than "false" turns Shuffle on) and cannot refuse a value with an error.
// Reads answer as the library's did, from the Qt properties of the object's other
// adaptors; a write must carry the property's own D-Bus type and a value the player
// takes, and goes through the property's setter. PropertiesChanged is sent by
// MprisService. UI thread only.
class MprisPropertiesAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.DBus.Properties")
    // The library describes this interface itself, with its signal, on every object.
    Q_CLASSINFO("D-Bus Introspection", "")

public:
    explicit MprisPropertiesAdaptor(QObject* object);

public Q_SLOTS:
    QDBusVariant Get(const QString& interface, const QString& name, const QDBusMessage& message);
    QVariantMap GetAll(const QString& interface, const QDBusMessage& message);
    void Set(const QString& interface, const QString& name, const QDBusVariant& value,
             const QDBusMessage& message);

private:
    struct Found;
    QList<std::pair<QString, QObject*>> adaptors() const;
    Found find(const QString& interface, const QString& name) const;
};

// The program's own interface: a second start hands its files to the running copy.
class QuaverlyAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", QUAVERLY_APPLICATION_ID)

public:
    explicit QuaverlyAdaptor(MprisService* service);

public Q_SLOTS:
    // Absolute paths of files and folders; they are added as a drop adds them, and
    // the first one added plays when nothing is playing.
    void Open(const QStringList& paths, const QDBusMessage& message);

private:
    MprisService* m_service;
};
