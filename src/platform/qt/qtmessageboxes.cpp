// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/qtmessageboxes.h"

#include <QWidget>

QtMessageBoxes::QtMessageBoxes(QWidget* parent) : m_parent(parent) {}

QString QtMessageBoxes::displayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtMessageBoxes::information(const QString& title, const QString& text) {
    show(QMessageBox::NoIcon, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool QtMessageBoxes::question(const QString& title, const QString& text) {
    return show(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No,
                QMessageBox::No) == QMessageBox::Yes;
}

void QtMessageBoxes::error(const QString& title, const QString& text) {
    show(QMessageBox::Warning, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

QMessageBox::StandardButton QtMessageBoxes::show(QMessageBox::Icon icon, const QString& title,
                                                 const QString& text,
                                                 QMessageBox::StandardButtons buttons,
                                                 QMessageBox::StandardButton escape) {
    // On the heap behind a guard: the parent may be destroyed while the box's own event
    // loop runs (the program closing), and a box on the stack would then be deleted twice.
    // A box is placed over its parent, which is nowhere while the parent is not shown
    // (the load step runs before the window shows): a box without one opens centred on
    // the screen.
    QWidget* parent = m_parent && m_parent->isVisible() ? m_parent.data() : nullptr;
    QPointer<QMessageBox> box = new QMessageBox(icon, title, displayText(text), buttons, parent);
    box->setTextFormat(Qt::PlainText);
    box->setEscapeButton(escape);
    box->setDefaultButton(buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    const int result = box->exec();
    delete box.data();
    // exec() gives the standard button's value, or the escape button's when the box
    // was closed in any other way.
    const auto chosen = static_cast<QMessageBox::StandardButton>(result);
    return buttons.testFlag(chosen) ? chosen : escape;
}
