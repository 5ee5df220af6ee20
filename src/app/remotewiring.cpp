// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/remotewiring.h"

#include <algorithm>
#include <cmath>

#include <QApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QUrl>

#include "app/form1.h"
#include "playback/clsmusic.h"
#include "playback/transport.h"
#include "playlist/playlist.h"

Q_LOGGING_CATEGORY(lcRemote, "quaverly.app.remote")

namespace {
constexpr double kSpeedScale = 50.0;  // Speed slider value per unit of rate
}  // namespace

RemoteWiring::RemoteWiring(Form1& form) : m_form(form) {}

bool RemoteWiring::startedCaption() const {
    return m_form.PushButton1->text() == Caption::Stop;
}

PlayerState RemoteWiring::state() const {
    PlayerState s;
    // The three states the user sees; captions that read as started while nothing
    // was started (a rejected start) count as stopped.
    if (startedCaption() && m_form.transport().IsPlaying)
        s.status = m_form.PushButton4->text() == Caption::Resume ? PlaybackStatus::Paused
                                                                 : PlaybackStatus::Playing;
    if (const clsMusic* music = m_form.transport().Music.get()) {
        s.track = music->FileName();
        s.lengthUs = std::llround(music->duration() * 1e6);
    }
    s.volume = m_form.Slider1->value() / 100.0;
    s.shuffle = m_form.Option1->isChecked();
    s.minRate = clsMusic::kMinSpeed;
    s.maxRate = m_form.Speed->maximum() / kSpeedScale;
    s.rate = std::max(s.minRate, m_form.Speed->value() / kSpeedScale);
    return s;
}

qint64 RemoteWiring::positionUs() const {
    const clsMusic* music = m_form.transport().Music.get();
    return music ? std::llround(music->Position() * 1e6) : 0;
}

bool RemoteWiring::waitsForUser() const {
    return QApplication::activeModalWidget() != nullptr;
}

void RemoteWiring::later(std::function<void()> work, bool evenWhenWaiting) {
    QTimer::singleShot(0, &m_form, [this, work = std::move(work), evenWhenWaiting] {
        if (!evenWhenWaiting && waitsForUser()) {
            qCWarning(lcRemote) << "a remote request came while a message waits for an answer; "
                                   "it is dropped";
            return;
        }
        work();
    });
}

bool RemoteWiring::request(PlayerAction action) {
    // Raise and Quit work as the tray icon and the end of the session do: also while a
    // message waits for an answer.
    const bool always = action == PlayerAction::Raise || action == PlayerAction::Quit;
    if (!always && waitsForUser()) return false;
    later([this, action] { perform(action); }, always);
    return true;
}

void RemoteWiring::start() {
    // Captions that read as started while nothing was started go back first, as the
    // user's second press of the button does.
    if (startedCaption()) m_form.PushButton1_Click();
    m_form.PushButton1_Click();
}

void RemoteWiring::perform(PlayerAction action) {
    const PlaybackStatus status = state().status;
    switch (action) {
        case PlayerAction::Play:
            if (status == PlaybackStatus::Paused)
                m_form.PushButton4_Click();
            else if (status == PlaybackStatus::Stopped)
                start();
            break;
        case PlayerAction::PlayPause:
            if (status == PlaybackStatus::Stopped)
                start();
            else
                m_form.PushButton4_Click();
            break;
        case PlayerAction::Pause:
            if (status == PlaybackStatus::Playing) m_form.PushButton4_Click();
            break;
        case PlayerAction::Stop:
            if (startedCaption()) m_form.PushButton1_Click();
            break;
        case PlayerAction::Next:
            m_form.PushButton7_Click();
            break;
        case PlayerAction::Previous:
            m_form.PushButton6_Click();
            break;
        case PlayerAction::Raise:
            m_form.cSysTray1_MouseUp(1, 0);
            break;
        case PlayerAction::Quit:
            m_form.Form_QueryUnload();
            break;
    }
}

bool RemoteWiring::open(const QStringList& paths, bool playNow) {
    if (waitsForUser()) return false;
    later([this, paths, playNow] { addAndPlay(paths, playNow); });
    return true;
}

void RemoteWiring::addAndPlay(const QStringList& paths, bool playNow) {
    Playlist& list = m_form.playlist();
    const int before = list.Count();
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    QMimeData drop;
    drop.setUrls(urls);
    m_form.ListView1_OLEDragDrop(&drop);
    if (list.Count() == before) return;
    if (playNow || state().status == PlaybackStatus::Stopped) playEntry(before + 1);
}

void RemoteWiring::playEntry(int index) {
    // As a click on the entry: one that stops playback first, then one that starts it.
    if (startedCaption()) m_form.PushButton1_Click();
    m_form.transport().playRequest(index);
}

void RemoteWiring::setVolume(double volume) {
    QSlider& slider = *m_form.Slider1;
    const double level = std::clamp(volume, 0.0, 1.0) * slider.maximum();
    slider.setValue(static_cast<int>(std::lround(level)));
}

void RemoteWiring::setShuffle(bool shuffle) {
    // The click handling selects the option and stores both.
    (shuffle ? m_form.Option1 : m_form.Option2)->click();
}

void RemoteWiring::setRate(double rate) {
    QSlider& slider = *m_form.Speed;
    const double value =
        std::clamp(rate * kSpeedScale, clsMusic::kMinSpeed * kSpeedScale, double(slider.maximum()));
    slider.setValue(static_cast<int>(std::lround(value)));
}

void RemoteWiring::setPositionUs(qint64 position) {
    if (clsMusic* music = m_form.transport().Music.get())
        music->setPosition(double(position) / 1e6);
}
