// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>
#include <QStringList>
#include <QtGlobal>

// What a remote (the desktop's media controls, the command line of a second start)
// may ask of the player. Each action is carried out by the same handling as the
// window's own control for it.
enum class PlayerAction { Play, Pause, PlayPause, Stop, Next, Previous, Raise, Quit };

enum class PlaybackStatus { Stopped, Playing, Paused };

// What the window shows at one moment, as a remote sees it.
struct PlayerState {
    PlaybackStatus status = PlaybackStatus::Stopped;
    QString track;         // full path of the loaded entry; empty when none
    qint64 lengthUs = 0;   // 0 while unknown
    double volume = 0.0;   // 0.0 .. 1.0
    bool shuffle = false;  // random play order
    double rate = 1.0;     // minRate .. maxRate
    double minRate = 1.0;
    double maxRate = 1.0;
    int entries = 0;  // entries in the list

    bool operator==(const PlayerState&) const = default;
};

// What open() did with the paths.
enum class OpenResult {
    Taken,    // they are added now, or once the open message box is answered
    Closing,  // the window is closing and takes nothing more
    BadPath,  // a path the list cannot hold (it contains the list's separator)
};

// The player as a remote drives it. The window implements it; the bus adapter calls it.
// UI thread only.
class IPlayerControl {
public:
    virtual ~IPlayerControl() = default;

    virtual PlayerState state() const = 0;
    // 0 while stopped.
    virtual qint64 positionUs() const = 0;

    // Carries the action out once the current event has been handled, so a box it
    // shows does not hold up the caller; requests of one kind that wait together are
    // carried out once. False when it is refused: the window waits for the user to
    // answer a message (Raise and Quit are never refused).
    virtual bool request(PlayerAction action) = 0;

    // Files and folders from outside (absolute paths): a file already in the list is
    // not added again, folders are scanned as a drop onto the list scans them, and the
    // first file given is played at once, also while another one plays. Runs later,
    // like request(); while a message waits for an answer, the paths wait with it.
    virtual OpenResult open(const QStringList& paths) = 0;

    // Move the level slider (0.0 .. 1.0), the play-order options and the speed slider
    // as the user would; values outside the ranges are clamped, NaN is ignored.
    virtual void setVolume(double volume) = 0;
    virtual void setShuffle(bool shuffle) = 0;
    virtual void setRate(double rate) = 0;
    // Moves within the file that plays; clamped to 0 .. its length.
    virtual void setPositionUs(qint64 position) = 0;

    // `notify` runs whenever what a remote shows of state() has changed (of the entries,
    // whether there are any), right after the handling that changed it; the length also
    // when the loaded file becomes ready.
    virtual void whenChanged(std::function<void()> notify) = 0;
};
