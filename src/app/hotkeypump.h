// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>

#include <QtGlobal>

class BusyState;
class IHotKeyService;
class IMessageBoxes;

// The program's own message pump and the global keys it serves: the five Ctrl+Shift
// hot keys and the keyboard's media keys. Form1 owns one; its first Timer1 tick calls
// Timer1_Timer(), which registers the keys and then pumps until StopPump is set. UI
// thread only.
//
// A hot key acts only when it arrives while the pump is idle in its wait: not during a
// handler (an action, a message box, any nested event loop, a section the busy state counts) and
// not during the pump's own processing of pending events. Such a press is dropped.
class HotKeyPump {
public:
    // What the keys do, and the two window steps of the registration tick.
    struct Actions {
        std::function<void()> next;         // PushButton7_Click
        std::function<void()> startStop;    // PushButton1_Click
        std::function<void()> pauseResume;  // PushButton4_Click
        std::function<void()> previous;     // PushButton6_Click
        std::function<void()> keepImage;    // the window keeps a persistent image
        std::function<void()> showWindow;   // the window is shown
        // True while a track plays or is paused. The media keys decide by it: Play starts
        // when stopped and else pauses or resumes, Stop stops only when playing; Pause,
        // Next and Previous are the buttons' handlings as they are.
        std::function<bool()> playing;
        // Starts from the stopped state (also after a refused start); startStop if unset.
        std::function<void()> start;
    };

    // The media keys' identifiers: beyond every atom number, which has 29 bits.
    static constexpr quint32 MediaKeyIdBase = 0x80000000u;

    // Presses that arrive while `busy` counts a section of event processing are dropped.
    HotKeyPump(IHotKeyService& keys, IMessageBoxes& boxes, const BusyState& busy, Actions actions);
    ~HotKeyPump();
    HotKeyPump(const HotKeyPump&) = delete;
    HotKeyPump& operator=(const HotKeyPump&) = delete;

    // Registers the keys and pumps; returns only when StopPump is set. A tick that
    // arrives while it runs returns at once.
    void Timer1_Timer();
    // Returns only when StopPump is set.
    void ProcessMessages();

    // True while a press would be taken (for diagnostics and tests).
    bool acceptsHotKey() const;
    // True once the pump has begun: from then on events are handled inside it.
    bool hasStarted() const { return m_started; }

    bool StopPump = false;
    quint32 HotKeyId1 = 0;
    quint32 HotKeyId2 = 0;
    quint32 HotKeyId3 = 0;
    quint32 HotKeyId4 = 0;
    quint32 HotKeyId5 = 0;

private:
    void onHotKey(quint32 id);
    void runAction(quint32 id, class StepRunner& runner);
    void runMediaKey(quint32 id);

    IHotKeyService& m_keys;
    IMessageBoxes& m_boxes;
    const BusyState& m_busy;
    Actions m_actions;
    bool m_inTimer = false;
    bool m_waiting = false;
    bool m_started = false;
    int m_loopLevel = 0;
    std::optional<quint32> m_pending;
};
