// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandline.h"

#include <functional>

namespace {
// One row per option: to add one, add a row (and a field to CommandLine when it
// carries something).
struct Option {
    const char* name;
    const char* shortName;  // or nullptr
    const char* valueName;  // nullptr when the option takes no value
    const char* help;
    std::function<void(CommandLine&, const QString& value)> apply;
};

std::function<void(CommandLine&, const QString&)> remote(PlayerAction action) {
    return [action](CommandLine& c, const QString&) { c.remote = action; };
}

const std::vector<Option>& options() {
    static const std::vector<Option> table = {
        {"--audio-sink", nullptr, "\"<description>\"",
         "play through this GStreamer sink description\n"
         "(also QUAVERLY_AUDIO_SINK; default: the desktop's output)",
         [](CommandLine& c, const QString& v) { c.audioSink = v; }},
        {"--no-hot-keys", nullptr, nullptr,
         "take no global keys (neither the hot keys below nor\n"
         "the keyboard's media keys)",
         [](CommandLine& c, const QString&) { c.noHotKeys = true; }},
        {"--play-pause", nullptr, nullptr, "pause or resume the running copy, or start it",
         remote(PlayerAction::PlayPause)},
        {"--play", nullptr, nullptr, "start or resume playing in the running copy",
         remote(PlayerAction::Play)},
        {"--pause", nullptr, nullptr, "pause the running copy", remote(PlayerAction::Pause)},
        {"--stop", nullptr, nullptr, "stop playing in the running copy",
         remote(PlayerAction::Stop)},
        {"--next", nullptr, nullptr, "play the next file in the running copy",
         remote(PlayerAction::Next)},
        {"--previous", nullptr, nullptr, "play the previous file in the running copy",
         remote(PlayerAction::Previous)},
        {"--raise", nullptr, nullptr, "bring the running copy's window to the front",
         remote(PlayerAction::Raise)},
        {"--quit", nullptr, nullptr, "close the running copy (its list is saved)",
         remote(PlayerAction::Quit)},
        {"--help", "-h", nullptr, "show this help and exit",
         [](CommandLine& c, const QString&) { c.mode = CommandLine::Mode::Help; }},
        {"--version", "-v", nullptr, "show the version and exit",
         [](CommandLine& c, const QString&) { c.mode = CommandLine::Mode::Version; }},
    };
    return table;
}

const Option* find(const QString& arg) {
    for (const Option& o : options()) {
        if (arg == QLatin1String(o.name) || (o.shortName && arg == QLatin1String(o.shortName)))
            return &o;
    }
    return nullptr;
}

CommandLine failed(QString error) {
    CommandLine c;
    c.mode = CommandLine::Mode::Error;
    c.error = std::move(error);
    return c;
}
}  // namespace

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine c;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (optionsEnded || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
            c.paths << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = arg;
        std::optional<QString> value;
        if (const qsizetype eq = arg.indexOf(QLatin1Char('='));
            arg.startsWith(QLatin1String("--")) && eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
        }
        const Option* option = find(name);
        if (!option) return failed(QStringLiteral("unknown option %1").arg(arg));
        if (option->valueName && !value) {
            if (i + 1 >= arguments.size())
                return failed(QStringLiteral("%1 needs a value").arg(name));
            value = arguments[++i];
        } else if (!option->valueName && value) {
            return failed(QStringLiteral("%1 takes no value").arg(name));
        }
        const std::optional<PlayerAction> before = c.remote;
        option->apply(c, value.value_or(QString()));
        if (c.remote != before) {
            if (before)
                return failed(
                    QStringLiteral("give one of %1 and %2, not both").arg(c.remoteOption, name));
            c.remoteOption = name;
        }
    }
    if (c.mode != CommandLine::Mode::Run) return c;
    if (c.remote) {
        if (!c.paths.isEmpty())
            return failed(QStringLiteral("%1 takes no files; give files without it to add them")
                              .arg(c.remoteOption));
        c.mode = CommandLine::Mode::Remote;
    }
    return c;
}

QString usage() {
    QString text = QStringLiteral(
        "Usage: quaverly [OPTION]... [FILE|FOLDER]...\n"
        "A player for AAC audio files. Files and folders given are added to the list as a\n"
        "drop adds them, and the first one added plays when nothing is playing; when\n"
        "Quaverly already runs, they are handed to it and this command ends.\n"
        "\n"
        "Options:\n");
    for (const Option& o : options()) {
        QString head = QStringLiteral("  ");
        if (o.shortName) head += QLatin1String(o.shortName) + QStringLiteral(", ");
        head += QLatin1String(o.name);
        if (o.valueName) head += QLatin1Char(' ') + QLatin1String(o.valueName);
        const QStringList lines = QString::fromUtf8(o.help).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            text += (i == 0 ? head : QString()).leftJustified(32) + QLatin1Char(' ') + lines[i] +
                    QLatin1Char('\n');
        }
    }
    text += QStringLiteral(
        "\n"
        "The options from --play-pause to --quit act on the copy already running and exit\n"
        "with status 1 when there is none.\n"
        "\n"
        "Hot keys, working while any program has the focus:\n"
        "  Ctrl+Shift+X, Ctrl+Shift+V  start or stop\n"
        "  Ctrl+Shift+C                pause or resume\n"
        "  Ctrl+Shift+Z                previous track\n"
        "  Ctrl+Shift+B                next track\n"
        "  media keys                  Play (start or pause), Pause, Stop, Next, Prev\n");
    return text;
}
