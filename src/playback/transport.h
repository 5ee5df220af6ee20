// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <random>

#include <QObject>
#include <QSet>
#include <QString>
#include <QtGlobal>

#include "playback/clsmusic.h"
#include "playback/iplayercontrol.h"

class IFileSystem;
class IMediaEngine;
class IMessageBoxes;
class ISettingsStore;
class Playlist;

// The transport buttons' captions. Transport writes them and keeps what it wrote.
namespace Caption {
inline const QString Start = QStringLiteral("Start Playing (Ctrl+Shift+X)");
inline const QString Stop = QStringLiteral("Stop Playing (Ctrl+Shift+X)");
inline const QString Pause = QStringLiteral("Pause (Ctrl+Shift+C)");
inline const QString Resume = QStringLiteral("Resume (Ctrl+Shift+C)");
// The volume frame's caption at a level.
QString volumeLevel(int level);
}  // namespace Caption

enum class PlayOrder { None, Random, InOrder };

// What the transport needs of the window. UI thread only.
class TransportView {
public:
    virtual ~TransportView() = default;
    virtual void setStartStopCaption(const QString& caption) = 0;
    virtual void setPauseCaption(const QString& caption) = 0;
    virtual void setVolumeCaption(const QString& caption) = 0;
    // False while the window is hidden in the notification area.
    virtual bool windowVisible() const = 0;
    // Starts the 100 ms playback monitor (it is never stopped).
    virtual void startMonitor() = 0;
};

// Playback as the user drives it: track selection, the four transport handlings, the
// end-of-track monitor and the sliders. Every control surface (buttons, hot keys, a
// click on an entry, the remote) calls this one object, and it owns the play state: the
// captions it wrote, whether a file was started, the engine. Readers ask status() and
// the track, never a widget; changed() tells them when either moves. The window owns
// it; UI thread only.
class Transport : public QObject {
    Q_OBJECT
public:
    // `appTitle` is the caption of its message boxes; it is set during the load step.
    Transport(Playlist& list, TransportView& view, IMessageBoxes& boxes, IFileSystem& fs,
              ISettingsStore& store, const QString& appTitle);

    // Load step: the engine is made once and kept for the run.
    void createMusic(IMediaEngine& engine) { m_music = std::make_unique<clsMusic>(engine); }
    // Load step: the engine takes the volume of a level. Throws before createMusic.
    void applyLevel(int level);
    // Closing: the engine stops when it plays or is paused. Throws before createMusic.
    void stopEngine();
    // Moves within the file that plays (0..its length); nothing while paused or stopped,
    // where the monitor would take the file's end for the end of playback.
    void seek(double seconds);

    void PlayTheFile(bool GoBack, bool Navigate);
    static int LevelToVolume(int level);

    void PushButton1_Click();  // Start/Stop
    void PushButton4_Click();  // Pause/Resume
    void PushButton6_Click();  // Previous
    void PushButton7_Click();  // Next
    // A click on the entry at `position`: it is played next, and playback starts or stops.
    void playRequest(int position);
    // A file opened from outside the window: the entry at `position` plays now, also
    // while another one plays or is paused (as a click on it after stopping would).
    void playFromOutside(int position);
    void tmrTimer_Timer();

    // The state the user sees. A start that was refused (an empty list, a missing file)
    // leaves the captions reading as started while nothing was started: that reads as
    // Stopped here, for every reader alike.
    PlaybackStatus status() const;
    // The loaded file, its length and where it stands, in seconds; empty and 0 before one.
    QString track() const;
    double length() const;
    double position() const;
    // Start and Stop for controls that name the state they want (media keys, the remote):
    // start() starts from Stopped, first putting back captions left by a refused start, as
    // the user's second press would; stop() stops whatever was started.
    void start();
    void stop();

    void Slider1_Change(int level);
    void Volume_Scroll(int value, int maximum);
    void Balance_Scroll(int value);
    void Speed_Scroll(int value);
    // The option buttons' handling: the play order they show now, kept for the choice of
    // tracks and stored.
    void rememberOptions(bool random, bool inOrder);

    void reseed();

    // The window's settings as its controls last told them: the level slider
    // (0..kMaxLevel), the play order, the speed as a rate (kMinSpeed..kMaxSpeed/kSpeedScale).
    int level() const { return m_level; }
    bool shuffle() const { return m_order == PlayOrder::Random; }
    double rate() const;
    // The load step: the level read from the settings, set on the slider without running
    // its handling (the caption and the engine are set by steps of their own).
    void restoreLevel(int level);

    bool IsPlaying() const { return m_isPlaying; }
    bool KeepSelection() const { return m_keepSelection; }
    qint32 RequestedIndex() const { return m_requestedIndex; }
    // The load step: right after start-up, Start plays the selected entry again.
    void keepSelectionForFirstStart() { m_keepSelection = true; }
    // The entry the next PlayTheFile plays, whatever the order (0: none).
    void setRequestedIndex(qint32 position) { m_requestedIndex = position; }

    // The level slider's range is 0..kMaxLevel, the speed slider's 0..kMaxSpeed; the
    // speed slider's value per unit of playback rate is kSpeedScale.
    static constexpr int kMaxLevel = 100;
    static constexpr int kMaxSpeed = 100;
    static constexpr double kSpeedScale = 50.0;

Q_SIGNALS:
    // Something a reader sees may have changed: the status, the track or its length (known
    // only once the file is ready), the level, the order, the rate, whether the list
    // holds entries.
    void changed();

private:
    class ChangeNotice;
    // What readers see, as last told by changed().
    struct Shown {
        PlaybackStatus status = PlaybackStatus::Stopped;
        QString track;
        double length = 0;
        int level = 0;
        bool shuffle = false;
        int speed = 0;
        bool listed = false;  // the list holds entries
        bool operator==(const Shown&) const = default;
    };
    Shown shown() const;
    void tellChanges();
    void showStarted(bool started);
    void showPaused(bool paused);
    clsMusic& music() const;
    bool passOverUnplayable();
    bool outputGaveUp();
    void stopAfterFailures(const QString& message);
    bool untriedEntryBesides(int position) const;
    double rnd();
    void tell(const QString& text);

    Playlist& m_list;
    TransportView& m_view;
    IMessageBoxes& m_boxes;
    IFileSystem& m_fs;
    ISettingsStore& m_store;
    const QString& m_appTitle;
    std::mt19937 m_rng;
    std::unique_ptr<clsMusic> m_music;
    Shown m_told;
    int m_level = 0;
    PlayOrder m_order = PlayOrder::None;          // as the option buttons last told it
    int m_speed = static_cast<int>(kSpeedScale);  // the slider starts at a rate of 1
    bool m_keepSelection = false;
    qint32 m_requestedIndex = 0;
    bool m_isPlaying = false;
    bool m_started = false;  // Start/Stop reads "Stop Playing"
    bool m_paused = false;   // Pause/Resume reads "Resume"
    int m_playTheFileDepth = 0;
    // Entries found unplayable (or missing) since a file last played, and the entry
    // tried last with why it failed (empty until known).
    QSet<QString> m_unplayable;
    QString m_lastTried;
    QString m_lastTriedWhy;
    bool m_goingBack = false;  // the last choice of a track went backwards
};
