// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/hotkeypump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QThread>

#include "core/busystate.h"
#include "core/ihotkeyservice.h"
#include "core/steprunner.h"

Q_LOGGING_CATEGORY(lcPump, "quaverly.app.pump", QtInfoMsg)

namespace {
const QString kTimerLocation = formLocation("Timer1_Timer");
const QString kPumpLocation = formLocation("ProcessMessages");

void run(const std::function<void()>& f) {
    if (f) f();
}

using MediaKey = IHotKeyService::MediaKey;
constexpr MediaKey kMediaKeys[] = {MediaKey::Play, MediaKey::Pause, MediaKey::Stop, MediaKey::Next,
                                   MediaKey::Previous};
// The media keys are registered, and act, after the five combinations' numbered steps;
// a failure there names this step.
constexpr int kMediaKeyStep = 121;

constexpr quint32 mediaKeyId(MediaKey key) {
    return HotKeyPump::MediaKeyIdBase + quint32(key);
}
}  // namespace

HotKeyPump::HotKeyPump(IHotKeyService& keys, IMessageBoxes& boxes, const BusyState& busy,
                       Actions actions)
    : m_keys(keys), m_boxes(boxes), m_busy(busy), m_actions(std::move(actions)) {
    m_keys.setHandler([this](quint32 id) { onHotKey(id); });
}

HotKeyPump::~HotKeyPump() {
    m_keys.setHandler({});
}

void HotKeyPump::Timer1_Timer() {
    // Timer1 stays enabled while the pump runs inside its first tick; later ticks
    // arrive from inside the pump and must not start a second one.
    if (m_inTimer) return;
    m_inTimer = true;
    StepRunner r(m_boxes, kTimerLocation);
    r.step(100, [&] { StopPump = false; });
    r.step(102, [&] { HotKeyId1 = m_keys.addAtom(QStringLiteral("A00F1")); });
    r.step(104, [&] { HotKeyId2 = m_keys.addAtom(QStringLiteral("A00F2")); });
    r.step(106, [&] { HotKeyId3 = m_keys.addAtom(QStringLiteral("A00F3")); });
    r.step(108, [&] { HotKeyId4 = m_keys.addAtom(QStringLiteral("A00F4")); });
    r.step(110, [&] { HotKeyId5 = m_keys.addAtom(QStringLiteral("A00F5")); });
    r.step(112, [&] { m_keys.registerHotKey(HotKeyId1, 'B'); });
    r.step(114, [&] { m_keys.registerHotKey(HotKeyId2, 'V'); });
    r.step(116, [&] { m_keys.registerHotKey(HotKeyId3, 'C'); });
    r.step(118, [&] { m_keys.registerHotKey(HotKeyId4, 'X'); });
    r.step(120, [&] { m_keys.registerHotKey(HotKeyId5, 'Z'); });
    for (MediaKey key : kMediaKeys)
        r.step(kMediaKeyStep, [&] { m_keys.registerMediaKey(mediaKeyId(key), key); });
    r.step(122, [&] { run(m_actions.keepImage); });
    r.step(124, [&] { run(m_actions.showWindow); });
    qCDebug(lcPump) << "keys registered; pumping";
    r.step(126, [&] { ProcessMessages(); });
    m_inTimer = false;
}

void HotKeyPump::ProcessMessages() {
    StepRunner r(m_boxes, kPumpLocation);
    m_started = true;
    const int outerLevel = m_loopLevel;
    m_loopLevel = QThread::currentThread()->loopLevel();
    for (;;) {
        bool leave = false;
        r.step(100, [&] { leave = StopPump; });
        if (leave) break;
        m_pending.reset();
        r.step(102, [&] {
            // Blocks until something arrives, then dispatches it; a hot key among it
            // is kept in m_pending by onHotKey.
            m_waiting = true;
            struct Reset {
                bool& flag;
                ~Reset() { flag = false; }
            } reset{m_waiting};
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        });
        std::optional<quint32> key;
        r.step(104, [&] {
            key = m_pending;
            m_pending.reset();
        });
        if (key) runAction(*key, r);
        r.step(126, [] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
    }
    m_loopLevel = outerLevel;
}

void HotKeyPump::runAction(quint32 id, StepRunner& r) {
    const std::pair<quint32, const std::function<void()>*> table[] = {
        {HotKeyId1, &m_actions.next},        {HotKeyId2, &m_actions.startStop},
        {HotKeyId3, &m_actions.pauseResume}, {HotKeyId4, &m_actions.startStop},
        {HotKeyId5, &m_actions.previous},
    };
    int n = 106;
    for (const auto& [hotKeyId, action] : table) {
        if (r.test(n, [&] { return id == hotKeyId; })) {
            r.step(n + 2, [&] { run(*action); });
            return;
        }
        n += 4;
    }
    if (id >= mediaKeyId(MediaKey::Play) && id <= mediaKeyId(MediaKey::Previous)) {
        r.step(kMediaKeyStep, [&] { runMediaKey(id); });
        return;
    }
    qCDebug(lcPump) << "hot key" << id << "is none of ours";
}

void HotKeyPump::runMediaKey(quint32 id) {
    const auto playing = [this] { return m_actions.playing && m_actions.playing(); };
    switch (MediaKey(id - MediaKeyIdBase)) {
        case MediaKey::Play:
            run(playing() ? m_actions.pauseResume
                          : (m_actions.start ? m_actions.start : m_actions.startStop));
            break;
        case MediaKey::Pause:
            run(m_actions.pauseResume);
            break;
        case MediaKey::Stop:
            if (playing()) run(m_actions.startStop);
            break;
        case MediaKey::Next:
            run(m_actions.next);
            break;
        case MediaKey::Previous:
            run(m_actions.previous);
            break;
    }
}

bool HotKeyPump::acceptsHotKey() const {
    return m_waiting && !m_busy.processingEvents() && !m_pending &&
           QThread::currentThread()->loopLevel() == m_loopLevel;
}

void HotKeyPump::onHotKey(quint32 id) {
    if (!acceptsHotKey()) {
        qCDebug(lcPump) << "hot key" << id << "dropped: the program is busy";
        return;
    }
    m_pending = id;
}
