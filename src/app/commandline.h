// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "playback/iplayercontrol.h"

// What the program was asked to do on its command line.
struct CommandLine {
    enum class Mode {
        Run,      // start (or hand `paths` to the copy already running)
        Remote,   // send `remote` to the running copy and exit
        Help,     // print usage() and exit 0
        Version,  // print the version and exit 0
        Error,    // print `error` and usage() on standard error, exit 2
    };
    Mode mode = Mode::Run;
    std::optional<PlayerAction> remote;
    QString remoteOption;  // the option that asked for `remote`, as written
    QStringList paths;     // files and folders as given
    std::optional<QString> audioSink;
    bool noHotKeys = false;  // take no global keys
    QString error;
};

// `arguments` without the program's own name. Options and paths may mix; "--" ends
// the options.
CommandLine parseCommandLine(const QStringList& arguments);
// The --help text, built from the option table.
QString usage();
