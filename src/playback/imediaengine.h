// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The ranges of the engine's settings, for every engine and its callers. Volume and
// balance are in hundredths of a decibel (the rate's are in playback/playrate.h).
namespace MediaRange {
inline constexpr int kMinVolume = -10000;  // silent
inline constexpr int kMaxVolume = 0;       // full
inline constexpr int kMaxBalance = 10000;  // the right channel only; the negative: the left
}  // namespace MediaRange

// The audio back-end behind clsMusic: one playback chain for one file at a time.
// Every call is made on the UI thread and never throws; a reading that fails gives 0.
class IMediaEngine {
public:
    enum class State { Stopped, Paused, Running };

    virtual ~IMediaEngine() = default;
    // Stops and discards the current chain and starts preparing one for `path`, without
    // waiting for it: the length reads 0 until it is known. Returns false when no chain
    // can be built for the file at all (nothing will sound); a file found unplayable
    // later says so through failure().
    virtual bool load(const QString& path) = 0;
    virtual void run() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual State state() const = 0;
    // Seconds. After the last sample has played, position() == duration() exactly
    // until the position changes or another file is loaded.
    virtual double position() const = 0;
    virtual void setPosition(double seconds) = 0;
    virtual double duration() const = 0;
    virtual double rate() const = 0;
    virtual void setRate(double rate) = 0;
    // Hundredths of a decibel: volume -10000..0, balance -10000..10000.
    virtual int volume() const = 0;
    virtual void setVolume(int volume) = 0;
    virtual int balance() const = 0;
    virtual void setBalance(int balance) = 0;
    // The loaded chain carries sound (answers a volume query).
    virtual bool hasAudio() const = 0;
    // Why the loaded file cannot be played, once that is known, without a closing full
    // stop; empty while it plays, is being prepared or waits for the output, and for an
    // engine that never finds out.
    virtual QString failure() const { return {}; }
    // Why the sound output could not be used, once the engine has given up waiting for it
    // to come back (nothing is loaded then); empty otherwise. A fault of the output is
    // never a failure() of the file.
    virtual QString outputFailure() const { return {}; }
};
