// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "playback/iplayercontrol.h"

// The program's name on the session bus: the first copy in a session holds it for its
// whole run, and a later start reaches that copy through it. UI thread only.
namespace sessionbus {

enum class Claim {
    Owned,  // this process holds the name now
    Taken,  // another copy holds it
    NoBus,  // no session bus to hold it on
};
// Asks for the name without queueing behind its owner; `reason` says why on NoBus.
Claim claimName(QString* reason);
// Gives the name up. Blocks until the bus has handled it, so every reply this process
// sent before has left too: call it right before the process ends.
void releaseName();

enum class Result {
    Done,
    NoBus,       // no session bus
    NotRunning,  // no copy holds the name
    Refused,     // the running copy answered with an error
    TimedOut,    // the running copy did not answer within a few seconds
};
// Asks the running copy to carry out `action`; `error` holds the bus's words otherwise.
Result send(PlayerAction action, QString* error);
// Hands absolute paths of files and folders to the running copy.
Result open(const QStringList& paths, QString* error);

}  // namespace sessionbus
