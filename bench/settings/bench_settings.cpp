// SPDX-License-Identifier: GPL-3.0-or-later
// What one save of "Volume Level" costs while a long saved playlist sits beside it, in
// the file-per-key store and, as the reference, in one INI file through QSettings, which
// rewrites the whole file on every save. Both write to the same disk in the same run.
//
//   bench_settings [rounds]   (default 20)
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

#include "benchkit.h"
#include "platform/qt/filesettingsstore.h"

namespace {

QString playlistText(int n) {
    QString text;
    for (int i = 0; i < n; ++i) {
        text += QStringLiteral("/home/someone/Music/Album %1/track %2.aac||MySeparator12||")
                    .arg(i / 12)
                    .arg(i);
    }
    return text;
}

// Median milliseconds of `rounds` calls of save(i).
double medianMs(int rounds, const std::function<void(int)>& save) {
    std::vector<double> ms;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer t;
        t.start();
        save(i);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    return bench::stats(ms).median;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    std::printf("one save of \"Volume Level\", median of %d, milliseconds\n", rounds);
    std::printf("%-22s %14s %18s\n", "\"Files\" beside it", "file per key", "QSettings INI (ref)");
    for (int entries : {10000, 100000}) {
        const QString files = playlistText(entries);
        QTemporaryDir dir;

        FileSettingsStore store(dir.filePath("store"));
        store.save(QStringLiteral("Files"), files);
        if (store.read(QStringLiteral("Files")) != files)
            std::printf("\"Files\" read back differs at %d entries\n", entries);
        const double ours = medianMs(rounds, [&](int i) {
            store.save(QStringLiteral("Volume Level"), QString::number(i % 101));
        });

        QSettings ini(dir.filePath("Quaverly.ini"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Quaverly/Files"), files);
        ini.sync();
        const double ref = medianMs(rounds, [&](int i) {
            ini.setValue(QStringLiteral("Quaverly/Volume Level"), QString::number(i % 101));
            ini.sync();
        });
        std::printf("%-22s %14.3f %18.3f\n", qPrintable(QStringLiteral("%1 entries").arg(entries)),
                    ours, ref);
    }
    return 0;
}
