// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QCoreApplication>

#include "app/remotewiring.h"
#include "fakes/captions.h"
#include "fakes/formrig.h"

namespace remoterig {
inline QStringList tracks(int n) {
    QStringList out;
    for (int i = 1; i <= n; ++i) out << QStringLiteral("/music/Track %1.aac").arg(i);
    return out;
}
}  // namespace remoterig

// A loaded window on fakes with n existing files played in list order, and its remote.
struct RemoteRig : FormRig {
    std::unique_ptr<RemoteWiring> remote;
    explicit RemoteRig(int n) {
        addFiles(remoterig::tracks(n));
        store.set("Option1", "0");
        store.set("Option2", "1");
        load(remoterig::tracks(n));
        remote = std::make_unique<RemoteWiring>(*form);
    }
    // A request, carried out as the event loop gets to it.
    bool ask(PlayerAction a) {
        const bool taken = remote->request(a);
        QCoreApplication::processEvents();
        return taken;
    }
    PlaybackStatus status() const { return remote->state().status; }
};
