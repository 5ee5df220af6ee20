// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <random>

#include <QSet>
#include <QString>
#include <QtGlobal>

#include "playback/clsmusic.h"

class IFileSystem;
class IMediaEngine;
class IMessageBoxes;
class ISettingsStore;
class Playlist;

// The transport buttons' captions, which are also the play state they compare.
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
    // Read from the option buttons at each choice of a track.
    virtual PlayOrder playOrder() const = 0;
    virtual QString startStopCaption() const = 0;
    virtual void setStartStopCaption(const QString& caption) = 0;
    virtual QString pauseCaption() const = 0;
    virtual void setPauseCaption(const QString& caption) = 0;
    virtual void setVolumeCaption(const QString& caption) = 0;
    // False while the window is hidden in the notification area.
    virtual bool windowVisible() const = 0;
    // Starts the 100 ms playback monitor (it is never stopped).
    virtual void startMonitor() = 0;
};

// Playback as the user drives it: track selection, the four transport handlings, the
// end-of-track monitor and the sliders. Every control surface (buttons, hot keys, a
// click on an entry) calls this one object. The window owns it; UI thread only.
class Transport {
public:
    // `appTitle` is the caption of its message boxes; it is set during the load step.
    Transport(Playlist& list, TransportView& view, IMessageBoxes& boxes, IFileSystem& fs,
              ISettingsStore& store, const QString& appTitle);

    // Load step: the engine is made once and kept for the run.
    void createMusic(IMediaEngine& engine) { Music = std::make_unique<clsMusic>(engine); }

    void PlayTheFile(bool GoBack, bool Navigate);
    void ScrollToItem(int index);
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

    void Slider1_Change(int level);
    void Volume_Scroll(int value, int maximum);
    void Balance_Scroll(int value);
    void Speed_Scroll(int value);
    // Stores the play order as the option buttons show it now.
    void rememberOptions(bool random, bool inOrder);

    void reseed();

    std::unique_ptr<clsMusic> Music;
    bool KeepSelection = false;
    qint32 RequestedIndex = 0;
    bool IsPlaying = false;

private:
    clsMusic& music() const;
    bool passOverUnplayable();
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
    int m_playTheFileDepth = 0;
    // Entries found unplayable (or missing) since a file last played.
    QSet<QString> m_unplayable;
};
