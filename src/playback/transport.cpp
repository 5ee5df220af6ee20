// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/transport.h"

#include <algorithm>
#include <chrono>

#include <QAbstractItemModel>
#include <QLoggingCategory>
#include <QScopeGuard>

#include "core/failure.h"
#include "core/ifilesystem.h"
#include "core/imessageboxes.h"
#include "core/isettingsstore.h"
#include "core/numbers.h"
#include "core/steprunner.h"
#include "playback/randomindex.h"
#include "playlist/playlist.h"
#include "playlist/playlistmodel.h"

Q_LOGGING_CATEGORY(lcPlayback, "quaverly.playback")

namespace {
// 32-bit arithmetic with an overflow check.
qint32 checkedSub(qint32 a, qint32 b) {
    qint32 r = 0;
    if (__builtin_sub_overflow(a, b, &r)) throw Failure(QStringLiteral("Overflow"));
    return r;
}

// An ordinary file: a regular file that is neither hidden nor system. Folders never match.
bool ordinaryFileExists(const IFileSystem& fs, const QString& path) {
    const auto attributes = fs.attributes(path);
    if (!attributes) return false;
    const quint32 a = *attributes;
    return (a & FileAttr::Directory) == 0 && (a & FileAttr::Archive) != 0 &&
           (a & (FileAttr::Hidden | FileAttr::System)) == 0;
}

}  // namespace

// Tells the readers when an operation changed what they see: at its end, so a handling
// that runs others inside it is told once.
class Transport::ChangeNotice {
public:
    explicit ChangeNotice(Transport& transport) : m_transport(transport) {}
    ~ChangeNotice() { m_transport.tellChanges(); }
    ChangeNotice(const ChangeNotice&) = delete;
    ChangeNotice& operator=(const ChangeNotice&) = delete;

private:
    Transport& m_transport;
};

QString Caption::volumeLevel(int level) {
    return QStringLiteral("Volume Level = %1").arg(level);
}

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

void Transport::reseed() {
    using namespace std::chrono;
    // Seconds since midnight, fraction included, as the seed.
    const auto now = system_clock::now().time_since_epoch();
    const auto sinceMidnight = duration_cast<nanoseconds>(now % hours(24)).count();
    m_rng.seed(static_cast<std::mt19937::result_type>(sinceMidnight ^ (sinceMidnight >> 32)));
}

double Transport::rnd() {
    return static_cast<double>(m_rng() >> 8) / 16777216.0;
}

void Transport::PlayTheFile(bool GoBack, bool Navigate) {
    ++m_playTheFileDepth;
    const auto leave = qScopeGuard([this] { --m_playTheFileDepth; });
    // Files passed over while they fail are passed in the direction the user went.
    m_goingBack = GoBack;
    StepRunner r(m_boxes, formLocation("PlayTheFile"));
    Playlist& list = m_list;

    r.step(100, [&] { reseed(); });
    if (r.test(102, [&] { return list.Count() == 0; })) {
        tell(QStringLiteral("No files added."));
        return;
    }
    r.step(104, [&] {
        if (Navigate) m_keepSelection = false;
    });
    const PlayOrder order = m_order;
    if (r.test(106, [&] { return m_requestedIndex != 0; })) {
        r.step(108, [&] { list.Select(m_requestedIndex); });
        r.step(110, [&] { m_requestedIndex = 0; });
    } else if (order == PlayOrder::Random) {
        int i = 0;
        r.step(112, [&] {
            reseed();
            // While files keep failing, those already found unplayable are passed by
            // too, so that a round reaches every other entry.
            const bool avoidUnplayable =
                list.Count() > 1 && !m_unplayable.isEmpty() && untriedEntryBesides(list.Selected());
            i = drawEntry(
                list.Count(), list.Selected(), [this] { return rnd(); },
                [&](int k) { return avoidUnplayable && m_unplayable.contains(list.Text(k)); });
        });
        r.step(116, [&] { list.Select(i); });
    } else if (order == PlayOrder::InOrder) {
        r.step(118, [&] {
            if (m_keepSelection) return;
            const int k = list.Selected();
            if (GoBack)
                list.Select(k == 1 ? list.Count() : k - 1);
            else
                list.Select(k == list.Count() ? 1 : k + 1);
        });
    }
    r.step(136, [&] { m_keepSelection = false; });
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
        m_unplayable.insert(path);
        m_lastTried = path;
        m_lastTriedWhy = QStringLiteral("it does not exist");
        tell(QStringLiteral("File selected does not exists."));
        return;
    }
    m_lastTried = path;
    m_lastTriedWhy.clear();
    r.step(164, [&] { m_isPlaying = true; });
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
    const ChangeNotice notice(*this);
    StepRunner r(m_boxes, formLocation("PushButton1_Click"));
    if (r.test(100, [&] { return m_started; })) {
        r.step(112, [&] { showStarted(false); });
        r.step(114, [&] { showPaused(false); });
        r.step(116, [&] { music().StopPlaying(); });
        r.step(118, [&] { m_isPlaying = false; });
        m_unplayable.clear();
        return;
    }
    if (r.test(102, [&] { return m_isPlaying; })) {
        tell(QStringLiteral("Please stop playing first."));
        return;
    }
    r.step(104, [&] { showStarted(true); });
    r.step(106, [&] { showPaused(false); });
    r.step(108, [&] { PlayTheFile(false, false); });
}

void Transport::PushButton4_Click() {
    const ChangeNotice notice(*this);
    StepRunner r(m_boxes, formLocation("PushButton4_Click"));
    if (r.test(100, [&] { return !m_paused; })) {
        if (r.test(102, [&] { return !m_isPlaying; })) {
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
    const ChangeNotice notice(*this);
    StepRunner r(m_boxes, formLocation("PushButton6_Click"));
    r.step(100, [&] { PlayTheFile(true, true); });
    r.step(102, [&] { showStarted(true); });
    r.step(104, [&] { showPaused(false); });
}

void Transport::PushButton7_Click() {
    const ChangeNotice notice(*this);
    StepRunner r(m_boxes, formLocation("PushButton7_Click"));
    r.step(100, [&] { PlayTheFile(false, true); });
    r.step(102, [&] { showStarted(true); });
    r.step(104, [&] { showPaused(false); });
}

void Transport::playRequest(int position) {
    const ChangeNotice notice(*this);
    m_keepSelection = true;
    m_requestedIndex = position;
    PushButton1_Click();
}

void Transport::playFromOutside(int position) {
    const ChangeNotice notice(*this);
    if (m_started) PushButton1_Click();
    playRequest(position);
}

void Transport::tmrTimer_Timer() {
    // While an earlier PlayTheFile still waits in one of its message boxes, a tick must
    // not start another one: with a missing next file that would stack a new box every
    // 100 ms without end.
    if (m_playTheFileDepth > 0 || !m_music) return;
    const ChangeNotice notice(*this);
    if (outputGaveUp() || passOverUnplayable()) return;
    if (m_music->duration() == 0) return;
    m_unplayable.clear();  // this file plays: a run of failures is over
    const double length = m_music->duration();
    const double position = m_music->Position();
    if (position == length) PlayTheFile(false, false);
}

PlaybackStatus Transport::status() const {
    if (!m_started || !m_isPlaying) return PlaybackStatus::Stopped;
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
    const ChangeNotice notice(*this);
    if (status() != PlaybackStatus::Stopped) return;
    if (m_started) PushButton1_Click();  // captions left by a refused start go back first
    PushButton1_Click();
}

void Transport::stop() {
    const ChangeNotice notice(*this);
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
    if (!m_isPlaying) return false;
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
    if (!m_isPlaying || m_paused) return false;
    const QString why = m_music->Failure();
    if (why.isEmpty()) return false;
    const QString loaded = m_music->FileName();
    m_unplayable.insert(loaded);
    if (m_lastTried == loaded && m_lastTriedWhy.isEmpty()) m_lastTriedWhy = why;
    if (m_list.Count() == 0) {
        stopAfterFailures(QString());
        return true;
    }
    if (untriedEntryBesides(0)) {
        PlayTheFile(m_goingBack, false);
        return true;
    }
    stopAfterFailures(QStringLiteral("None of the files in the list could be played. The last one, "
                                     "%1, could not be played: %2.")
                          .arg(m_lastTried, m_lastTriedWhy.isEmpty() ? why : m_lastTriedWhy));
    return true;
}

void Transport::stopAfterFailures(const QString& message) {
    m_unplayable.clear();
    showStarted(false);
    showPaused(false);
    m_music->StopPlaying();
    m_isPlaying = false;
    if (!message.isEmpty()) tell(message);
}

// Some entry other than the one at `position` has not failed since a file last played.
bool Transport::untriedEntryBesides(int position) const {
    for (int i = 1; i <= m_list.Count(); ++i)
        if (i != position && !m_unplayable.contains(m_list.Text(i))) return true;
    return false;
}

void Transport::restoreLevel(int level) {
    m_level = level;
    tellChanges();
}

double Transport::rate() const {
    return std::max(clsMusic::kMinSpeed, m_speed / kSpeedScale);
}

void Transport::Slider1_Change(int level) {
    const ChangeNotice notice(*this);
    m_level = level;
    m_view.setVolumeCaption(Caption::volumeLevel(level));
    try {
        m_store.save(SettingKey::VolumeLevel, QString::number(level));
    } catch (const std::exception& e) {
        qCWarning(lcPlayback).noquote()
            << QStringLiteral(
                   "the volume level could not be saved: %1; the next start uses the "
                   "level saved before. Check the settings folder.")
                   .arg(QString::fromLocal8Bit(e.what()));
    }
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
    const ChangeNotice notice(*this);
    m_speed = value;
    if (m_music) m_music->setSpeed(value / kSpeedScale);
}

void Transport::rememberOptions(bool random, bool inOrder) {
    const ChangeNotice notice(*this);
    m_order = random ? PlayOrder::Random : inOrder ? PlayOrder::InOrder : PlayOrder::None;
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    try {
        m_store.save(SettingKey::Option1, flag(random));
        m_store.save(SettingKey::Option2, flag(inOrder));
    } catch (const std::exception& e) {
        qCWarning(lcPlayback).noquote()
            << QStringLiteral(
                   "the play order could not be saved: %1; the next start uses the "
                   "order saved before. Check the settings folder.")
                   .arg(QString::fromLocal8Bit(e.what()));
    }
}
