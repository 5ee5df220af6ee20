// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/clsmusic.h"

#include <algorithm>
#include <cmath>

#include "playback/imediaengine.h"
#include "playback/playrate.h"

namespace {

// Runs one engine call with its failure swallowed: the caller goes on with its next
// step, and a reading that failed gives `fallback`.
template <class T, class F>
T guarded(T fallback, F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return fallback;
    }
}

template <class F>
void guarded(F&& f) noexcept {
    try {
        f();
    } catch (...) {
    }
}

}  // namespace

clsMusic::clsMusic(IMediaEngine& engine) : m_engine(engine) {}

QVariant clsMusic::Width() const {
    return QVariant::fromValue<qint16>(0);
}

QVariant clsMusic::Height() const {
    return QVariant::fromValue<qint16>(0);
}

void clsMusic::setFileName(const QString& path) {
    m_fileName = path;
    // The engine stops and discards the previous chain before it builds the new one.
    m_loaded = guarded(false, [&] { return m_engine.load(FileName()); });
    // Video is never rendered, so the video branch of loading never runs.
    setHasVideo(false);
}

void clsMusic::Play() {
    if (m_fileName.isEmpty()) return;
    const double position = Position();
    const double length = duration();
    if (position == length) setPosition(0);
    guarded([&] { m_engine.run(); });
}

void clsMusic::Pause() {
    guarded([&] { m_engine.pause(); });
}

void clsMusic::StopPlaying() {
    guarded([&] { m_engine.stop(); });
}

double clsMusic::Position() const {
    return guarded(0.0, [&] { return m_engine.position(); });
}

void clsMusic::setPosition(double seconds) {
    // A position that is not a number cannot be sought to; ignore the write.
    if (std::isnan(seconds)) return;
    if (seconds < 0) {
        seconds = 0;
    } else {
        const double length = duration();
        if (seconds > length) seconds = length;
    }
    guarded([&] { m_engine.setPosition(seconds); });
}

int clsMusic::State() const {
    const auto state = guarded(IMediaEngine::State::Stopped, [&] { return m_engine.state(); });
    switch (state) {
        case IMediaEngine::State::Stopped:
            return 0;
        case IMediaEngine::State::Paused:
            return 2;
        case IMediaEngine::State::Running:
            return 1;
    }
    return 0;
}

double clsMusic::Speed() const {
    if (!m_loaded) return 0;
    return guarded(0.0, [&] { return m_engine.rate(); });
}

void clsMusic::setSpeed(double rate) {
    if (std::isnan(rate)) return;
    rate = PlayRate::clamp(rate);
    if (std::isinf(rate)) return;  // no chain can play at an infinite rate
    guarded([&] { m_engine.setRate(rate); });
}

double clsMusic::duration() const {
    return guarded(0.0, [&] { return m_engine.duration(); });
}

bool clsMusic::HasAudio() const {
    return m_loaded && guarded(false, [&] { return m_engine.hasAudio(); });
}

QString clsMusic::Failure() const {
    return guarded(QString(), [&] { return m_engine.failure(); });
}

QString clsMusic::OutputFailure() const {
    return guarded(QString(), [&] { return m_engine.outputFailure(); });
}

int clsMusic::Volume() const {
    if (!HasAudio()) return 0;
    return guarded(0, [&] { return m_engine.volume(); });
}

void clsMusic::setVolume(int volume) {
    volume = std::clamp(volume, kMinVolume, kMaxVolume);
    guarded([&] { m_engine.setVolume(volume); });
}

int clsMusic::Balance() const {
    if (!HasAudio()) return 0;
    return guarded(0, [&] { return m_engine.balance(); });
}

void clsMusic::setBalance(int balance) {
    balance = std::clamp(balance, -kMaxBalance, kMaxBalance);
    guarded([&] { m_engine.setBalance(balance); });
}
