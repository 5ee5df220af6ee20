// SPDX-License-Identifier: GPL-3.0-or-later
// The reference window of bench_startup: a bare Qt window of the program's size that
// holds one list view with as many rows as its argument says, and nothing else.
#include <cstdlib>

#include <QApplication>
#include <QStringList>
#include <QStringListModel>
#include <QTreeView>
#include <QWidget>

#include "entries.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 0;
    QStringList texts;
    texts.reserve(rows);
    for (int i = 0; i < rows; ++i) texts.append(benchEntry(i));
    QStringListModel model(texts);

    QWidget window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.setFixedSize(536, 466);
    QTreeView view(&window);
    view.setModel(&model);
    view.setGeometry(8, 8, 520, 169);
    window.show();
    return app.exec();
}
