// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"

#include <algorithm>
#include <array>

#include <QCommandLineParser>

namespace {
struct RemoteOption {
    const char* name;
    PlayerAction action;
};
constexpr std::array kRemoteOptions = {
    RemoteOption{"play-pause", PlayerAction::PlayPause},
    RemoteOption{"play", PlayerAction::Play},
    RemoteOption{"pause", PlayerAction::Pause},
    RemoteOption{"stop", PlayerAction::Stop},
    RemoteOption{"next", PlayerAction::Next},
    RemoteOption{"previous", PlayerAction::Previous},
    RemoteOption{"raise", PlayerAction::Raise},
    RemoteOption{"quit", PlayerAction::Quit},
};

CommandLine failed(QString error, bool toolkitMayKnow = false) {
    CommandLine c;
    c.mode = CommandLine::Mode::Error;
    c.error = std::move(error);
    c.toolkitMayKnow = toolkitMayKnow;
    return c;
}

// `arguments` without the options among `names` written as -name or -name=value, the form
// of the toolkit's own options; after "--" nothing is an option.
QStringList withoutSingleDashWords(const QStringList& arguments, const QStringList& names) {
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--")) return out + arguments.mid(i);
        const bool word = std::any_of(names.begin(), names.end(), [&arg](const QString& name) {
            return arg == QLatin1Char('-') + name || arg.startsWith(QLatin1Char('-') + name + '=');
        });
        if (!word) out << arg;
    }
    return out;
}
}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption sink(QStringLiteral("audio-sink"), QString(),
                                  QStringLiteral("description"));
    const QCommandLineOption noHotKeys(QStringLiteral("no-hot-keys"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({sink, noHotKeys, help, version});
    for (const RemoteOption& r : kRemoteOptions)
        parser.addOption(QCommandLineOption(QLatin1String(r.name)));

    if (!parser.parse(arguments)) {
        const QString error = parser.errorText();
        // The application object takes the toolkit's own options (-session, -platform, ...)
        // and the rest is read again from what it leaves. Before that, the error names only
        // what is not written as one of them: that is neither the toolkit's nor ours.
        const QStringList ours = withoutSingleDashWords(arguments, parser.unknownOptionNames());
        if (ours.size() == arguments.size()) return failed(error);
        if (parser.parse(ours)) return failed(error, true);
        return failed(parser.errorText());
    }
    CommandLine c;
    if (parser.isSet(help)) {
        c.mode = CommandLine::Mode::Help;
        return c;
    }
    if (parser.isSet(version)) {
        c.mode = CommandLine::Mode::Version;
        return c;
    }
    if (parser.values(sink).size() > 1) return failed(QStringLiteral("give --audio-sink once"));
    if (parser.isSet(sink)) c.audioSink = parser.value(sink);
    c.noHotKeys = parser.isSet(noHotKeys);
    c.paths = parser.positionalArguments();
    for (const RemoteOption& r : kRemoteOptions) {
        if (!parser.isSet(QLatin1String(r.name))) continue;
        const QString name = QStringLiteral("--") + QLatin1String(r.name);
        if (c.remote)
            return failed(
                QStringLiteral("give one of %1 and %2, not both").arg(c.remoteOption, name));
        c.remote = r.action;
        c.remoteOption = name;
    }
    if (c.remote) {
        if (!c.paths.isEmpty())
            return failed(QStringLiteral("%1 takes no files; give files without it to add them")
                              .arg(c.remoteOption));
        c.mode = CommandLine::Mode::Remote;
    }
    return c;
}

QString usageError(const QString& error) {
    return QStringLiteral("quaverly: %1\nTry 'quaverly --help' for more information.\n").arg(error);
}

QString usage() {
    return QStringLiteral(
        "Usage: quaverly [OPTION]... [FILE|FOLDER]...\n"
        "A player for AAC audio files. Files given are added to the list unless they are\n"
        "in it already, folders are searched for files, and the first file plays at once.\n"
        "When Quaverly already runs, they are handed to it and this command ends.\n"
        "\n"
        "Options:\n"
        "  --audio-sink DESCRIPTION  play through this GStreamer sink description (also\n"
        "                            QUAVERLY_AUDIO_SINK; default: the desktop's output)\n"
        "  --no-hot-keys             take no global keys (neither the hot keys below nor\n"
        "                            the keyboard's media keys)\n"
        "  --play-pause              pause or resume the running copy, or start it\n"
        "  --play                    start or resume playing in the running copy\n"
        "  --pause                   pause the running copy\n"
        "  --stop                    stop playing in the running copy\n"
        "  --next                    play the next file in the running copy\n"
        "  --previous                play the previous file in the running copy\n"
        "  --raise                   bring the running copy's window to the front\n"
        "  --quit                    close the running copy (its list is saved)\n"
        "  -h, --help                show this help and exit\n"
        "  -v, --version             show the version and exit\n"
        "\n"
        "The options from --play-pause to --quit act on the copy already running and exit\n"
        "with status 1 when there is none.\n"
        "\n"
        "Hot keys, working while any program has the focus:\n"
        "  Ctrl+Shift+X, Ctrl+Shift+V  start or stop\n"
        "  Ctrl+Shift+C                pause or resume\n"
        "  Ctrl+Shift+Z                previous file\n"
        "  Ctrl+Shift+B                next file\n"
        "  media keys                  Play (start, pause or resume), Pause, Stop,\n"
        "                              Next and Previous\n");
}
