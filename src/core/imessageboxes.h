// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Modal message boxes. The logic never opens a window itself; it asks this.
class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // A plain box with an OK button only.
    virtual void information(const QString& title, const QString& text) = 0;
    // A Yes/No question; true when the user answers Yes.
    virtual bool question(const QString& title, const QString& text) = 0;
    // The error box: warning icon, one OK button.
    virtual void error(const QString& title, const QString& text) = 0;
};
