// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include "core/ihotkeyservice.h"

// Global hot keys on X11: passive grabs of Ctrl+Shift+letter and of the media keys on
// every root window of Qt's own xcb connection, served by a native event filter on the
// UI thread.
// Construct only after QGuiApplication, and only when it runs on the "xcb" platform.
class X11HotKeyService : public IHotKeyService {
public:
    X11HotKeyService();
    ~X11HotKeyService() override;

    bool available() const override;
    quint32 addAtom(const QString& name) override;
    void registerHotKey(quint32 id, char letter) override;
    void registerMediaKey(quint32 id, MediaKey key) override;
    void setHandler(std::function<void(quint32 id)> onPressed) override;

    // Grabs the key as registerHotKey does; false when the server refused any of the
    // lock-state variants (another client holds the combination) or the letter has no key.
    bool grabHotKey(quint32 id, char letter);
    // Grabs the media key as registerMediaKey does; false when refused or no key types it.
    // Refused media keys are named once, on standard error, soon after.
    bool grabMediaKey(quint32 id, MediaKey key);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
