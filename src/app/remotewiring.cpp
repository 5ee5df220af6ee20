// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/remotewiring.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include <QApplication>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "app/form1.h"
#include "playback/playrate.h"
#include "playback/transport.h"
#include "playlist/listeditor.h"
#include "playlist/playlist.h"
#include "playlist/playlistcodec.h"

Q_LOGGING_CATEGORY(lcRemote, "quaverly.app.remote")

namespace {
constexpr double kSpeedScale = Transport::kSpeedScale;
}  // namespace

RemoteWiring::RemoteWiring(Form1& form) : m_form(form) {
    m_timer.setSingleShot(true);
    QObject::connect(&m_timer, &QTimer::timeout, &m_form, [this] { serve(); });
}

PlayerState RemoteWiring::state() const {
    const Transport& transport = m_form.transport();
    PlayerState s;
    s.status = transport.status();
    s.track = transport.track();
    s.lengthUs = std::llround(transport.length() * 1e6);
    s.volume = double(transport.level()) / Transport::kMaxLevel;
    s.shuffle = transport.shuffle();
    s.minRate = PlayRate::kMin;
    s.maxRate = Transport::kMaxRate;
    s.rate = transport.rate();
    s.entries = m_form.playlist().Count();
    return s;
}

qint64 RemoteWiring::positionUs() const {
    const Transport& transport = m_form.transport();
    if (transport.status() == PlaybackStatus::Stopped) return 0;
    return std::llround(transport.position() * 1e6);
}

bool RemoteWiring::waitsForUser() const {
    return QApplication::activeModalWidget() != nullptr;
}

void RemoteWiring::serveLater(int delayMs) {
    if (!m_timer.isActive() || delayMs == 0) m_timer.start(delayMs);
}

void RemoteWiring::serve() {
    if (m_form.closing()) {
        m_actions.clear();
        m_paths.clear();
        return;
    }
    if (m_actions.isEmpty() && m_paths.isEmpty()) return;
    // Quit and Raise act as the end of the session and the tray icon do: also while a
    // message waits for an answer, and before the pump runs.
    for (PlayerAction a : {PlayerAction::Quit, PlayerAction::Raise}) {
        if (m_actions.removeOne(a)) {
            if (a == PlayerAction::Quit) m_actions.clear();
            perform(a);
            serveLater();
            return;
        }
    }
    // Handlers run inside the pump: until it has begun, and while a message waits for
    // an answer, the rest waits. Files stay; other requests made before the box are
    // dropped, as the user's clicks on the window would be.
    constexpr int kWaitMs = 50;
    if (m_form.pumpPending()) {
        serveLater(kWaitMs);
        return;
    }
    if (waitsForUser()) {
        if (!m_actions.isEmpty())
            qCWarning(lcRemote) << "a remote request came while a message waits for an answer; "
                                   "it is dropped";
        m_actions.clear();
        if (!m_paths.isEmpty()) serveLater(kWaitMs);
        return;
    }
    if (!m_paths.isEmpty()) {
        openNow(std::exchange(m_paths, {}));
    } else {
        perform(m_actions.takeFirst());
    }
    serveLater();
}

bool RemoteWiring::request(PlayerAction action) {
    const bool always = action == PlayerAction::Raise || action == PlayerAction::Quit;
    if (!always && waitsForUser()) return false;
    if (m_form.closing()) return true;  // the window ends anyway
    if (!m_actions.contains(action)) m_actions << action;
    serveLater();
    return true;
}
void RemoteWiring::perform(PlayerAction action) {
    // Playback requests go straight to the transport, as the hot keys do.
    Transport& transport = m_form.transport();
    const PlaybackStatus status = transport.status();
    switch (action) {
        case PlayerAction::Play:
            if (status == PlaybackStatus::Paused)
                transport.PushButton4_Click();
            else if (status == PlaybackStatus::Stopped)
                transport.start();
            break;
        case PlayerAction::PlayPause:
            if (status == PlaybackStatus::Stopped)
                transport.start();
            else
                transport.PushButton4_Click();
            break;
        case PlayerAction::Pause:
            if (status == PlaybackStatus::Playing) transport.PushButton4_Click();
            break;
        case PlayerAction::Stop:
            transport.stop();
            break;
        case PlayerAction::Next:
            transport.PushButton7_Click();
            break;
        case PlayerAction::Previous:
            transport.PushButton6_Click();
            break;
        case PlayerAction::Raise:
            m_form.cSysTray1_MouseUp(1, 0);
            break;
        case PlayerAction::Quit:
            m_form.Form_QueryUnload();
            break;
    }
}

OpenResult RemoteWiring::open(const QStringList& paths) {
    for (const QString& p : paths) {
        if (p.contains(kPlaylistSeparator)) return OpenResult::BadPath;
    }
    if (m_form.closing()) return OpenResult::Closing;
    for (const QString& p : paths) {
        if (!m_paths.contains(p)) m_paths << p;
    }
    // The user sees the window, and the box there that holds the files back.
    if (waitsForUser() && !m_actions.contains(PlayerAction::Raise))
        m_actions << PlayerAction::Raise;
    serveLater();
    return OpenResult::Taken;
}

void RemoteWiring::openNow(const QStringList& paths) {
    const int first = m_form.listEditor().addFromOutside(paths);
    if (first > 0) m_form.transport().playFromOutside(first);
}

void RemoteWiring::setVolume(double volume) {
    if (std::isnan(volume)) return;
    QSlider& slider = *m_form.Slider1;
    const double level = std::clamp(volume, 0.0, 1.0) * Transport::kMaxLevel;
    slider.setValue(static_cast<int>(std::lround(level)));
}

void RemoteWiring::setShuffle(bool shuffle) {
    // The click handling selects the option and stores both.
    (shuffle ? m_form.Option1 : m_form.Option2)->click();
}

void RemoteWiring::setRate(double rate) {
    if (std::isnan(rate)) return;
    QSlider& slider = *m_form.Speed;
    const double value = PlayRate::clamp(rate, Transport::kMaxRate) * kSpeedScale;
    slider.setValue(static_cast<int>(std::lround(value)));
}

void RemoteWiring::setPositionUs(qint64 position) {
    m_form.transport().seek(double(position) / 1e6);
}

void RemoteWiring::whenChanged(std::function<void()> notify) {
    QObject::connect(&m_form.transport(), &Transport::changed, &m_form, std::move(notify));
}
