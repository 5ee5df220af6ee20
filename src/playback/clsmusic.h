// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVariant>
#include <QtGlobal>

#include "playback/imediaengine.h"

// The window's one door to sound. It plays one file at a time through the media
// engine and never reports a failure: each operation swallows what goes wrong below
// it, and a reading that fails gives 0 (false for the two Boolean readings).
// UI thread only; the engine plays on threads of its own.
class clsMusic {
public:
    explicit clsMusic(IMediaEngine& engine);

    // Audio only: there is never a picture, so both read 0.
    QVariant Width() const;
    QVariant Height() const;

    // Owner window of video output. Kept for callers; nothing is drawn into it.
    quint32 Window() const { return m_ownerWindow; }
    void setWindow(quint32 window) { m_ownerWindow = window; }

    QString FileName() const { return m_fileName; }
    // Stores the path and replaces the engine's chain; the file is prepared while the
    // event loop runs, and reads as silent with a length of 0 until it is ready.
    void setFileName(const QString& path);

    // Starts or resumes; a file standing at its end starts again from 0.
    void Play();
    void Pause();
    void StopPlaying();

    // Seconds. Writes clamp to 0..duration.
    double Position() const;
    void setPosition(double seconds);

    // 0 stopped (also with nothing loaded), 1 playing, 2 paused.
    int State() const;

    // Playback rate, 1.0 is normal; never set below 0.1.
    double Speed() const;
    void setSpeed(double rate);

    double duration() const;

    // Hundredths of a decibel: volume -10000 (silent) .. 0, balance -10000 .. 10000.
    int Volume() const;
    void setVolume(int volume);
    int Balance() const;
    void setBalance(int balance);

    // The loaded file is ready and carries sound.
    bool HasAudio() const;
    bool HasVideo() const { return m_hasVideo; }
    // Why the loaded file cannot be played, once that is known; empty otherwise.
    QString Failure() const;
    // Why the sound output could not be used, once the engine gave up waiting for it.
    QString OutputFailure() const;

    static constexpr int kMinVolume = MediaRange::kMinVolume;
    static constexpr int kMaxVolume = MediaRange::kMaxVolume;
    static constexpr int kMaxBalance = MediaRange::kMaxBalance;

private:
    void setHasVideo(bool value) { m_hasVideo = value; }

    IMediaEngine& m_engine;
    quint32 m_ownerWindow = 0;
    QString m_fileName;
    bool m_loaded = false;  // the engine built a chain for m_fileName
    bool m_hasVideo = false;
};
