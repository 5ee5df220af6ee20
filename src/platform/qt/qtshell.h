// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QStringList>

#include "playlist/ishell.h"

class QWidget;

// File dialog, folder browser and "show this folder" through Qt and the desktop.
// UI thread only; the dialogs are modal to `parent`.
class QtShell : public IShell {
public:
    explicit QtShell(QWidget* parent);

    OpenResult openFiles(const QString& title, const QString& filter, int capacity) override;
    QString browseForFolder(const QString& title, const QString& initial) override;
    void openFolder(const QString& path) override;

    // "Desc (*.x)|*.x|Other|*.y;*.z|" becomes "Desc (*.x);;Other (*.y *.z)".
    static QString toQtFilter(const QString& filter);
    // The text a multi-selection dialog gives: one path alone, or the common folder
    // followed by the names, NUL-separated. Paths from different folders are given
    // relative to "/" so that folder + "/" + name still names each file.
    static QString selectionText(const QStringList& paths);

private:
    QPointer<QWidget> m_parent;
};
