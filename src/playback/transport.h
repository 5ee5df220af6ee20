// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <initializer_list>
#include <memory>
#include <utility>

#include <QObject>
#include <QScopeGuard>
#include <QString>

#include "playback/clsmusic.h"
#include "playback/iplayercontrol.h"
#include "playback/trackchoice.h"

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
inline QString volumeLevel(int level) {
    return QStringLiteral("Volume Level = %1").arg(level);
}
}  // namespace Caption

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

// Playback as the user drives it: the start of the track TrackChoice picks, the four
// transport handlings, the end-of-track monitor and the sliders. Every control surface (buttons,
// hot keys, a click on an entry, the remote) calls this one object, and it owns the play state: the
// captions it wrote, whether a file was started, the engine. Readers ask status() and
// the track, never a widget; changed() tells them when either moves. The window owns
// it; UI thread only.
class Transport : public QObject {
    Q_OBJECT
public:
    // `appTitle` is the caption of its message boxes; it is set during the load step.
    Transport(Playlist& list, TransportView& view, IMessageBoxes& boxes, IFileSystem& fs,
              ISettingsStore& store, const QString& appTitle);

    // The engine it plays through, made in main.cpp and handed over by the window.
    using Engine = IMediaEngine;
    // Load step: the engine is made once and kept for the run.
    void createMusic(Engine& engine) { m_music = std::make_unique<clsMusic>(engine); }
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

    // The window's settings as its controls last told them: the level slider
    // (0..kMaxLevel), the play order, the speed as a rate (PlayRate::kMin..kMaxRate).
    int level() const { return m_level; }
    bool shuffle() const { return m_choice.order() == PlayOrder::Random; }
    double rate() const;
    // The load step: the level read from the settings, set on the slider without running
    // its handling (the caption and the engine are set by steps of their own).
    void restoreLevel(int level);

    // The load step: the random draw is seeded from the time of day.
    void reseed() { m_choice.reseed(); }
    // The load step: right after start-up, Start plays the selected entry again.
    void keepSelectionForFirstStart() { m_choice.keepSelection(); }

    // The level slider's range is 0..kMaxLevel, the speed slider's 0..kMaxSpeed; the
    // speed slider's value per unit of playback rate is kSpeedScale.
    static constexpr int kMaxLevel = 100;
    static constexpr int kMaxSpeed = 100;
    static constexpr double kSpeedScale = 50.0;
    static constexpr double kMaxRate = kMaxSpeed / kSpeedScale;

Q_SIGNALS:
    // Something a reader sees may have changed: the status, the track or its length (known
    // only once the file is ready), the level, the order, the rate, whether the list
    // holds entries.
    void changed();

private:
    // Tells the readers when an operation changed what they see: at its end (when the
    // guard goes), so a handling that runs others inside it is told once.
    auto changeNotice() {
        return qScopeGuard([this] { tellChanges(); });
    }
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
    TrackChoice::Entries entries() const;
    bool passOverUnplayable();
    bool outputGaveUp();
    void stopAfterFailures(const QString& message);
    void tell(const QString& text);
    // Writes settings in turn; one that cannot be written is logged with `what`.
    void save(std::initializer_list<std::pair<QString, QString>> values, const char* what);

    Playlist& m_list;
    TransportView& m_view;
    IMessageBoxes& m_boxes;
    IFileSystem& m_fs;
    ISettingsStore& m_store;
    const QString& m_appTitle;
    TrackChoice m_choice;
    std::unique_ptr<clsMusic> m_music;
    Shown m_told;
    int m_level = 0;
    int m_speed = static_cast<int>(kSpeedScale);  // the slider starts at a rate of 1
    bool IsPlaying = false;  // a file was started and playback not stopped since
    bool m_started = false;  // Start/Stop reads "Stop Playing"
    bool m_paused = false;   // Pause/Resume reads "Resume"
    int m_playTheFileDepth = 0;
};
