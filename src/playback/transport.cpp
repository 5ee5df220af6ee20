// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/transport.h"

#include <algorithm>

#include <QAbstractItemModel>
#include <QLoggingCategory>
#include <QScopeGuard>

#include "core/failure.h"
#include "core/ifilesystem.h"
#include "core/imessageboxes.h"
#include "core/isettingsstore.h"
#include "core/numbers.h"
#include "core/steprunner.h"
#include "playback/playrate.h"
#include "playlist/playlist.h"
#include "playlist/playlistmodel.h"

Q_LOGGING_CATEGORY(lcPlayback, "quaverly.playback")

Transport::Transport(Playlist& list, TransportView& view, IMessageBoxes& boxes, IFileSystem& fs,
                     ISettingsStore& store, const QString& appTitle)
    : m_list(list), m_view(view), m_boxes(boxes), m_fs(fs), m_store(store), m_appTitle(appTitle) {
    // Entries come and go through the list editor, drops and the load step. A scan adds
    // them one at a time; readers are told only when the list becomes empty or stops
    // being so.
    if (const QAbstractItemModel* model = list.model()) {
        const auto tell = [this] { tellChanges(); };
        connect(model, &QAbstractItemModel::rowsInserted, this, tell);
        connect(model, &QAbstractItemModel::rowsRemoved, this, tell);
        connect(model, &QAbstractItemModel::modelReset, this, tell);
    }
}

Transport::Shown Transport::shown() const {
    return {status(), track(), length(), m_level, shuffle(), m_speed, m_list.Count() > 0};
}

void Transport::tellChanges() {
    Shown now = shown();
    if (now == m_told) return;
    m_told = std::move(now);
    Q_EMIT changed();
}

clsMusic& Transport::music() const {
    if (!m_music) throw Failure(QStringLiteral("Object variable not set"));
    return *m_music;
}

void Transport::tell(const QString& text) {
    m_boxes.information(m_appTitle, text);
}

TrackChoice::Entries Transport::entries() const {
    return {m_list.Count(), m_list.Selected(), [this](int k) { return m_list.Text(k); }};
}

void Transport::PlayTheFile(bool GoBack, bool Navigate) {
    ++m_playTheFileDepth;
    const auto leave = qScopeGuard([this] { --m_playTheFileDepth; });
    StepRunner r(m_boxes, formLocation("PlayTheFile"));
    Playlist& list = m_list;

    r.step(100, [&] { m_choice.reseed(); });
    if (r.test(102, [&] { return list.Count() == 0; })) {
        tell(QStringLiteral("No files added."));
        return;
    }
    // The choice uses up the requested entry and KeepSelection also where selecting its
    // answer fails (a request beyond the list): the box tells, and the selected entry plays.
    using Way = TrackChoice::Way;
    const TrackChoice::Pick pick = m_choice.choose(entries(), GoBack, Navigate);
    if (pick.way != Way::None) {
        const int step = pick.way == Way::Requested ? 108 : pick.way == Way::Drawn ? 116 : 118;
        r.step(step, [&] { list.Select(pick.position); });
    }
    QString path;
    r.step(138, [&] { path = list.SelectedText(); });
    r.step(140, [&] {
        if (m_view.windowVisible())
            list.ScrollToItem(list.Selected());
        else
            list.MakeVisible(list.Selected());
    });
    if (r.test(146, [&] { return path.isEmpty(); })) {
        tell(QStringLiteral("You must open or select a file first."));
        return;
    }
    if (r.test(148, [&] { return !ordinaryFileExists(m_fs, path); })) {
        m_choice.missing(path);
        tell(QStringLiteral("File selected does not exists."));
        return;
    }
    m_choice.loading(path);
    r.step(164, [&] { IsPlaying = true; });
    r.step(166, [&] { music().setFileName(path); });
    r.step(168, [&] { music().setPosition(0); });
    r.step(170, [&] { music().Play(); });
    r.step(172, [&] { m_view.startMonitor(); });
}

int Transport::LevelToVolume(int level) {
    if (level == 0) return clsMusic::kMinVolume;
    if (level == kMaxLevel) return clsMusic::kMaxVolume;
    return level * 10 - 1000;
}

void Transport::PushButton1_Click() {
    const auto notice = changeNotice();
    StepRunner r(m_boxes, formLocation("PushButton1_Click"));
    if (r.test(100, [&] { return m_started; })) {
        r.step(112, [&] { showStarted(false); });
        r.step(114, [&] { showPaused(false); });
        r.step(116, [&] { music().StopPlaying(); });
        r.step(118, [&] { IsPlaying = false; });
        m_choice.runOver();
        return;
    }
    if (r.test(102, [&] { return IsPlaying; })) {
        tell(QStringLiteral("Please stop playing first."));
        return;
    }
    r.step(104, [&] { showStarted(true); });
    r.step(106, [&] { showPaused(false); });
    r.step(108, [&] { PlayTheFile(false, false); });
}

void Transport::PushButton4_Click() {
    const auto notice = changeNotice();
    StepRunner r(m_boxes, formLocation("PushButton4_Click"));
    if (r.test(100, [&] { return !m_paused; })) {
        if (r.test(102, [&] { return !IsPlaying; })) {
            tell(QStringLiteral("Please start playing first."));
            return;
        }
        r.step(106, [&] { music().Pause(); });
        r.step(108, [&] { showPaused(true); });
        return;
    }
    r.step(110, [&] { showPaused(false); });
    r.step(112, [&] { music().Play(); });
}

void Transport::PushButton6_Click() {
    const auto notice = changeNotice();
    StepRunner r(m_boxes, formLocation("PushButton6_Click"));
    r.step(100, [&] { PlayTheFile(true, true); });
    r.step(102, [&] { showStarted(true); });
    r.step(104, [&] { showPaused(false); });
}

void Transport::PushButton7_Click() {
    const auto notice = changeNotice();
    StepRunner r(m_boxes, formLocation("PushButton7_Click"));
    r.step(100, [&] { PlayTheFile(false, true); });
    r.step(102, [&] { showStarted(true); });
    r.step(104, [&] { showPaused(false); });
}

void Transport::playRequest(int position) {
    const auto notice = changeNotice();
    m_choice.request(position);
    PushButton1_Click();
}

void Transport::playFromOutside(int position) {
    const auto notice = changeNotice();
    if (m_started) PushButton1_Click();
    playRequest(position);
}

void Transport::tmrTimer_Timer() {
    // While an earlier PlayTheFile still waits in one of its message boxes, a tick must
    // not start another one: with a missing next file that would stack a new box every
    // 100 ms without end.
    if (m_playTheFileDepth > 0 || !m_music) return;
    const auto notice = changeNotice();
    if (outputGaveUp() || passOverUnplayable()) return;
    if (m_music->duration() == 0) return;
    m_choice.runOver();  // this file plays: a run of failures is over
    const double length = m_music->duration();
    const double position = m_music->Position();
    if (position == length) PlayTheFile(false, false);
}

PlaybackStatus Transport::status() const {
    if (!m_started || !IsPlaying) return PlaybackStatus::Stopped;
    return m_paused ? PlaybackStatus::Paused : PlaybackStatus::Playing;
}

QString Transport::track() const {
    return m_music ? m_music->FileName() : QString();
}

double Transport::length() const {
    return m_music ? m_music->duration() : 0;
}

double Transport::position() const {
    return m_music ? m_music->Position() : 0;
}

void Transport::applyLevel(int level) {
    music().setVolume(LevelToVolume(level));
}

void Transport::stopEngine() {
    if (music().State() != 0) music().StopPlaying();
}

void Transport::seek(double seconds) {
    if (!m_music || status() != PlaybackStatus::Playing) return;
    m_music->setPosition(std::clamp(seconds, 0.0, std::max(0.0, m_music->duration())));
}

void Transport::start() {
    const auto notice = changeNotice();
    if (status() != PlaybackStatus::Stopped) return;
    if (m_started) PushButton1_Click();  // captions left by a refused start go back first
    PushButton1_Click();
}

void Transport::stop() {
    const auto notice = changeNotice();
    if (m_started) PushButton1_Click();
}

void Transport::showStarted(bool started) {
    m_view.setStartStopCaption(started ? Caption::Stop : Caption::Start);
    m_started = started;
}

void Transport::showPaused(bool paused) {
    m_view.setPauseCaption(paused ? Caption::Resume : Caption::Pause);
    m_paused = paused;
}

// The engine waited for a sound output that went away, and it did not come back: playback
// stops as the Stop button stops it, and one box says why. The list is not at fault.
bool Transport::outputGaveUp() {
    if (!IsPlaying) return false;
    const QString why = m_music->OutputFailure();
    if (why.isEmpty()) return false;
    stopAfterFailures(
        QStringLiteral("Playing has stopped: the sound output could not be used (%1).").arg(why));
    return true;
}

// While playing, a file that cannot be played counts as a track that has ended: the next
// entry is chosen as at the end of a track, in the direction the user last went. Once
// every entry of the list has failed in a row, playback stops as the Stop button stops
// it, and one box says why. A list emptied meanwhile stops without one.
bool Transport::passOverUnplayable() {
    if (!IsPlaying || m_paused) return false;
    const QString why = m_music->Failure();
    if (why.isEmpty()) return false;
    m_choice.failed(m_music->FileName(), why);
    if (m_list.Count() == 0)
        stopAfterFailures(QString());
    else if (m_choice.untriedBesides(entries(), 0))
        PlayTheFile(m_choice.goingBack(), false);
    else
        stopAfterFailures(QStringLiteral("None of the files in the list could be played. The "
                                         "last one, %1, could not be played: %2.")
                              .arg(m_choice.lastTried(), m_choice.lastTriedWhy(why)));
    return true;
}

void Transport::stopAfterFailures(const QString& message) {
    m_choice.runOver();
    showStarted(false);
    showPaused(false);
    m_music->StopPlaying();
    IsPlaying = false;
    if (!message.isEmpty()) tell(message);
}

void Transport::restoreLevel(int level) {
    m_level = level;
    tellChanges();
}

double Transport::rate() const {
    return PlayRate::clamp(m_speed / kSpeedScale);
}

void Transport::Slider1_Change(int level) {
    const auto notice = changeNotice();
    m_level = level;
    m_view.setVolumeCaption(Caption::volumeLevel(level));
    save({{SettingKey::VolumeLevel, QString::number(level)}}, "volume level");
    if (m_music) m_music->setVolume(LevelToVolume(level));
}

void Transport::Volume_Scroll(int value, int maximum) {
    try {
        const qint32 volume = checkedSub(value, maximum);
        if (m_music) m_music->setVolume(volume);
    } catch (const std::exception& e) {
        qCWarning(lcPlayback).noquote()
            << QStringLiteral("the volume could not be set: %1; move the slider again.")
                   .arg(QString::fromLocal8Bit(e.what()));
    }
}

void Transport::Balance_Scroll(int value) {
    if (m_music) m_music->setBalance(value);
}

void Transport::Speed_Scroll(int value) {
    const auto notice = changeNotice();
    m_speed = value;
    if (m_music) m_music->setSpeed(value / kSpeedScale);
}

void Transport::rememberOptions(bool random, bool inOrder) {
    const auto notice = changeNotice();
    m_choice.setOrder(random ? PlayOrder::Random : inOrder ? PlayOrder::InOrder : PlayOrder::None);
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    save({{SettingKey::Option1, flag(random)}, {SettingKey::Option2, flag(inOrder)}}, "play order");
}

void Transport::save(std::initializer_list<std::pair<QString, QString>> values, const char* what) {
    try {
        for (const auto& [key, value] : values) m_store.save(key, value);
    } catch (const std::exception& e) {
        qCWarning(lcPlayback).noquote()
            << QStringLiteral(
                   "the %1 could not be saved: %2; the next start uses the %1 saved before. "
                   "Check the settings folder.")
                   .arg(QLatin1String(what), QString::fromLocal8Bit(e.what()));
    }
}
