// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// File dialog, folder browser and the desktop shell's open request.
class IShell {
public:
    virtual ~IShell() = default;

    struct OpenResult {
        // Empty when cancelled; one full path; or a folder followed by names, joined by NUL.
        QString text;
        // The selection did not fit the dialog's result capacity.
        bool tooMany = false;
    };
    // Multi-selection open dialog owned by the main window.
    virtual OpenResult openFiles(const QString& title, const QString& filter, int capacity) = 0;
    // The folder browser opening on `initial`; the chosen folder, or empty when cancelled.
    virtual QString browseForFolder(const QString& title, const QString& initial) = 0;
    // Asks the desktop to show the folder; the result is not looked at.
    virtual void openFolder(const QString& path) = 0;
};
