// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>

// System-wide hot keys: Ctrl+Shift+letter and the keyboard's media keys, delivered while
// any program has the focus.
class IHotKeyService {
public:
    enum class MediaKey { Play, Pause, Stop, Next, Previous };

    virtual ~IHotKeyService() = default;
    // False when the desktop offers no global keys (no X11); registering then does nothing.
    virtual bool available() const = 0;
    // The desktop-wide number for a name: the same name gives the same number everywhere.
    virtual quint32 addAtom(const QString& name) = 0;
    // Ctrl+Shift+`letter` ('A'..'Z') now reports `id`. A refused grab is not reported.
    virtual void registerHotKey(quint32 id, char letter) = 0;
    // The media key, pressed without modifiers, now reports `id`. A key another program
    // holds is not reported to the caller.
    virtual void registerMediaKey(quint32 id, MediaKey key) = 0;
    // Called on the UI thread, from inside event processing, for each press of a registered key.
    virtual void setHandler(std::function<void(quint32 id)> onPressed) = 0;
};
