// SPDX-License-Identifier: GPL-3.0-or-later
// Runs one store operation in a process of its own, so the tests can run it as another
// user: `settingshelper save FOLDER KEY VALUE` or `settingshelper read FOLDER KEY`.
// Prints "saved", "absent", "value:<text>" or "failed:<description>".
// `settingshelper lock FOLDER` takes the folder's lock as the program does, prints
// "locked:<message>" or "refused:<message>" and holds it until its input closes.
#include <cstdio>

#include <QCoreApplication>
#include <QTextStream>

#include "core/failure.h"
#include "platform/qt/filesettingsstore.h"
#include "platform/qt/settingslock.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream out(stdout);
    if (args.size() == 5 && args[1] == QLatin1String("save")) {
        try {
            FileSettingsStore(args[2]).save(args[3], args[4]);
            out << "saved";
            return 0;
        } catch (const Failure& f) {
            out << "failed:" << f.description();
            return 1;
        }
    }
    if (args.size() == 4 && args[1] == QLatin1String("read")) {
        try {
            const auto value = FileSettingsStore(args[2]).read(args[3]);
            out << (value ? QStringLiteral("value:") + *value : QStringLiteral("absent"));
            return 0;
        } catch (const Failure& f) {
            out << "failed:" << f.description();
            return 1;
        }
    }
    if (args.size() == 3 && args[1] == QLatin1String("lock")) {
        SettingsLock lock(args[2]);
        QString message;
        const bool taken = lock.tryLock(&message);
        out << (taken ? "locked:" : "refused:") << message << Qt::endl;
        while (taken && std::fgetc(stdin) != EOF) {
        }
        return taken ? 0 : 1;
    }
    std::fputs("usage: settingshelper save FOLDER KEY VALUE | read FOLDER KEY | lock FOLDER\n",
               stderr);
    return 2;
}
