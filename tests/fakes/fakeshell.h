// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include "playlist/ishell.h"

// A shell whose dialogs return what the test set, recording what they were asked.
class FakeShell : public IShell {
public:
    // What the next openFiles returns; `tooMany` makes it report an over-long selection.
    OpenResult selection;
    // What browseForFolder returns (empty: cancelled).
    QString folder;

    struct OpenCall {
        QString title, filter;
        int capacity = 0;
    };
    QList<OpenCall> openCalls;
    QList<QPair<QString, QString>> browseCalls;  // title, initial folder
    QStringList openedFolders;

    OpenResult openFiles(const QString& title, const QString& filter, int capacity) override {
        openCalls.append({title, filter, capacity});
        return selection;
    }
    QString browseForFolder(const QString& title, const QString& initial) override {
        browseCalls.append({title, initial});
        return folder;
    }
    void openFolder(const QString& path) override { openedFolders.append(path); }
};
