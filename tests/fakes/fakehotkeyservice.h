// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <utility>
#include <vector>

#include <QString>
#include <QTimer>

#include "core/failure.h"
#include "core/ihotkeyservice.h"

// Hot keys without a desktop: atoms are numbered from 0xC001 in order of first use,
// registrations are recorded, and a test "presses" a key by its id.
class FakeHotKeyService : public IHotKeyService {
public:
    bool available() const override { return true; }

    quint32 addAtom(const QString& name) override {
        auto it = atoms.find(name);
        if (it == atoms.end()) it = atoms.emplace(name, quint32(0xC001 + atoms.size())).first;
        return it->second;
    }

    void registerHotKey(quint32 id, char letter) override {
        if (letter == failOnLetter) throw Failure(QStringLiteral("Invalid procedure call"));
        registered.emplace_back(id, letter);
    }

    void registerMediaKey(quint32 id, MediaKey key) override { media.emplace_back(id, key); }

    void setHandler(std::function<void(quint32)> onPressed) override {
        handler = std::move(onPressed);
    }

    // As the desktop does it: the press reaches the handler from the event loop.
    void press(quint32 id) {
        QTimer::singleShot(0, [this, id] { pressNow(id); });
    }
    // Delivers at once, from wherever the test is (inside a handler, say).
    void pressNow(quint32 id) {
        if (handler) handler(id);
    }
    quint32 atom(const QString& name) const { return atoms.at(name); }

    std::map<QString, quint32> atoms;
    std::vector<std::pair<quint32, char>> registered;
    std::vector<std::pair<quint32, MediaKey>> media;
    std::function<void(quint32)> handler;
    char failOnLetter = 0;
};
