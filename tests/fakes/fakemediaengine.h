// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include "playback/imediaengine.h"

// A media engine that plays nothing. It records every call and the values written,
// and lets a test say what a load gives, when the track has ended, and that every call
// fails from now on (`throwing`), as a broken back-end might.
class FakeMediaEngine : public IMediaEngine {
public:
    // What the next load() builds.
    bool loadSucceeds = true;
    bool loadHasAudio = true;
    double loadDuration = 60.0;
    // Files that load as real ones do but then turn out unplayable: failure() says why.
    QSet<QString> unplayable;
    bool throwing = false;

    // Every call, in order: "load:<path>", "run", "pause", "stop", "setPosition:<s>",
    // "setRate:<r>", "setVolume:<v>", "setBalance:<b>".
    QStringList calls;
    QString loadedPath;
    int loadCount = 0;

    State currentState = State::Stopped;
    double currentPosition = 0;
    double currentDuration = 0;
    double currentRate = 1.0;
    int currentVolume = 0;
    int currentBalance = 0;
    bool currentHasAudio = false;
    bool loaded = false;
    QString currentFailure;
    // The engine gave up waiting for its sound output.
    QString currentOutputFailure;

    // The track played to its end: position reads exactly the duration.
    void endTrack() { currentPosition = currentDuration; }
    // Time passes while playing.
    void advance(double seconds) {
        if (currentState == State::Running)
            currentPosition = qMin(currentPosition + seconds, currentDuration);
    }
    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& c : calls) n += c.startsWith(prefix) ? 1 : 0;
        return n;
    }

    bool load(const QString& path) override {
        record(QStringLiteral("load:") + path);
        loadedPath = path;
        ++loadCount;
        currentState = State::Stopped;
        currentPosition = 0;
        loaded = loadSucceeds;
        const bool plays = loadSucceeds && !unplayable.contains(path);
        currentFailure = plays ? QString() : QStringLiteral("no sound in the file");
        currentDuration = plays ? loadDuration : 0;
        currentHasAudio = plays && loadHasAudio;
        return loadSucceeds;
    }
    void run() override {
        record(QStringLiteral("run"));
        if (loaded) currentState = State::Running;
    }
    void pause() override {
        record(QStringLiteral("pause"));
        if (loaded) currentState = State::Paused;
    }
    void stop() override {
        record(QStringLiteral("stop"));
        currentState = State::Stopped;
    }
    State state() const override { return read(currentState); }
    double position() const override { return read(currentPosition); }
    void setPosition(double seconds) override {
        record(QStringLiteral("setPosition:%1").arg(seconds));
        if (loaded) currentPosition = seconds;
    }
    double duration() const override { return read(currentDuration); }
    double rate() const override { return read(currentRate); }
    void setRate(double rate) override {
        record(QStringLiteral("setRate:%1").arg(rate));
        currentRate = rate;
    }
    int volume() const override { return read(currentVolume); }
    void setVolume(int volume) override {
        record(QStringLiteral("setVolume:%1").arg(volume));
        currentVolume = volume;
    }
    int balance() const override { return read(currentBalance); }
    void setBalance(int balance) override {
        record(QStringLiteral("setBalance:%1").arg(balance));
        currentBalance = balance;
    }
    bool hasAudio() const override { return read(currentHasAudio); }
    QString failure() const override { return read(currentFailure); }
    QString outputFailure() const override { return read(currentOutputFailure); }

private:
    // A broken back-end may throw anything, not only the standard exceptions.
    void record(const QString& call) { calls << (throwing ? throw call : call); }
    template <class T>
    T read(const T& v) const {
        return throwing ? throw 42 : v;
    }
};
