// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

// The main window's pointer, by the values the handlers set and compare.
enum class Pointer : int { Default = 0, Hourglass = 11, Hand = 99 };

// What the handlers read to know that the program is busy. The window owns the one
// instance for the whole run; UI thread only.
// - The pointer: the hourglass shows while a folder scan runs. "Clear List" refuses to
//   act then, and hovering does not replace it.
// - Sections in which a handler processes pending events itself (a folder walk, the
//   balloon wait, the closing handling). Such processing does not raise the thread's
//   loop level, so the hot-key pump asks here and drops the keys that arrive meanwhile.
class BusyState {
public:
    // Marks one such section for the life of the scope.
    class Guard {
    public:
        explicit Guard(BusyState& state) : m_state(state) { ++m_state.m_sections; }
        ~Guard() { --m_state.m_sections; }
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

    private:
        BusyState& m_state;
    };

    bool processingEvents() const { return m_sections > 0; }

    Pointer pointer() const { return m_pointer; }
    bool hourglass() const { return m_pointer == Pointer::Hourglass; }
    void setPointer(Pointer p) {
        m_pointer = p;
        if (onPointerChanged) onPointerChanged(p);
    }
    // The hover rule: any pointer but over the hourglass.
    void hover(Pointer p) {
        if (!hourglass()) setPointer(p);
    }

    // Shows the pointer on screen; set by the window.
    std::function<void(Pointer)> onPointerChanged;

private:
    int m_sections = 0;
    Pointer m_pointer = Pointer::Default;
};
