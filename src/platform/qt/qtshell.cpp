// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qtshell.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>

QtShell::QtShell(QWidget* parent) : m_parent(parent) {}

QString QtShell::toQtFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts).join(u' ');
        if (description.isEmpty() && patterns.isEmpty()) continue;
        // Qt reads the patterns from the last parentheses of each entry.
        if (description.endsWith(QLatin1Char(')')) && description.contains(u'('))
            filters.append(description);
        else
            filters.append(description + QStringLiteral(" (") + patterns + u')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString QtShell::selectionText(const QStringList& paths) {
    if (paths.isEmpty()) return {};
    if (paths.size() == 1) return paths.first();
    const QString folder = QFileInfo(paths.first()).path();
    bool sameFolder = true;
    for (const QString& path : paths) sameFolder = sameFolder && QFileInfo(path).path() == folder;
    QStringList parts{sameFolder ? folder : QStringLiteral("/")};
    for (const QString& path : paths)
        parts.append(sameFolder ? QFileInfo(path).fileName() : path.mid(1));
    return parts.join(QChar(0));
}

IShell::OpenResult QtShell::openFiles(const QString& title, const QString& filter, int capacity) {
    const QStringList paths =
        QFileDialog::getOpenFileNames(m_parent, title, QString(), toQtFilter(filter));
    OpenResult result;
    result.text = selectionText(paths);
    if (result.text.size() > capacity) {
        result.text.clear();
        result.tooMany = true;
    }
    return result;
}

QString QtShell::browseForFolder(const QString& title, const QString& initial) {
    // A remembered folder that has gone opens the browser on what is left of its path
    // rather than on the working folder with a "not found" complaint.
    QString start = initial;
    while (!start.isEmpty() && !QFileInfo(start).isDir()) {
        const QString parent = QFileInfo(start).path();
        start = parent == start ? QString() : parent;
    }
    if (start.isEmpty()) start = QDir::homePath();
    return QFileDialog::getExistingDirectory(m_parent, title, start, QFileDialog::ShowDirsOnly);
}

void QtShell::openFolder(const QString& path) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}
