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
        Error,    // print `error` and the hint to --help on standard error, exit 2
    };
    Mode mode = Mode::Run;
    std::optional<PlayerAction> remote;
    QString remoteOption;  // the option that asked for `remote`, as written
    QStringList paths;     // files and folders as given
    std::optional<QString> audioSink;
    bool noHotKeys = false;  // take no global keys
    QString error;
    // Error only: every unknown option is a word after a single dash, as the toolkit's
    // own options (-session, -platform, ...) are; the toolkit may take them first.
    bool toolkitMayKnow = false;
};

// `arguments` with the program's name first, as the application object gives them.
// Options and paths may mix; "--" ends the options.
CommandLine parseCommandLine(const QStringList& arguments);
// The --help text.
QString usage();
// The two lines of a command line error.
QString usageError(const QString& error);
