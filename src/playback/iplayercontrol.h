// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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

    bool operator==(const PlayerState&) const = default;
};

// The player as a remote drives it. The window implements it; the bus adapter calls it.
// UI thread only.
class IPlayerControl {
public:
    virtual ~IPlayerControl() = default;

    virtual PlayerState state() const = 0;
    virtual qint64 positionUs() const = 0;

    // Carries the action out once the current event has been handled, so a box it
    // shows does not hold up the caller. False when it is refused: the window waits
    // for the user to answer a message (Raise and Quit are never refused).
    virtual bool request(PlayerAction action) = 0;

    // Appends files and folders as a drop onto the list does and then plays the first
    // entry added: always when `playNow`, else only when nothing is playing. Paths are
    // absolute. Runs later, like request(), and is refused the same way.
    virtual bool open(const QStringList& paths, bool playNow) = 0;

    // Move the level slider (0.0 .. 1.0), the play-order options and the speed slider
    // as the user would; values outside the ranges are clamped.
    virtual void setVolume(double volume) = 0;
    virtual void setShuffle(bool shuffle) = 0;
    virtual void setRate(double rate) = 0;
    // Moves within the loaded file; clamped to 0 .. its length.
    virtual void setPositionUs(qint64 position) = 0;
};
