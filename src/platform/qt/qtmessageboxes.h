// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include "core/imessageboxes.h"

class QWidget;

// Modal message boxes shown with QMessageBox, each modal to the parent window given to
// the constructor (which may be null) while it is shown, else centred on the screen.
// Texts are shown as plain text, never as markup: they often carry file names. UI thread
// only; each call runs a nested event loop.
class QtMessageBoxes : public IMessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* parent);

    void information(const QString& title, const QString& text) override;
    bool question(const QString& title, const QString& text) override;
    void error(const QString& title, const QString& text) override;

    // The text as a box shows it: the carriage returns of the message texts
    // ("\r\n", and a lone "\r") become line breaks.
    static QString displayText(const QString& text);

private:
    QMessageBox::StandardButton show(QMessageBox::Icon icon, const QString& title,
                                     const QString& text, QMessageBox::StandardButtons buttons,
                                     QMessageBox::StandardButton escape);

    QPointer<QWidget> m_parent;
};
