// SPDX-License-Identifier: GPL-3.0-or-later
// Form1's handlers by the controls' names, each forwarding to the object that owns the
// work, and what the transport needs of the window.
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include "app/form1.h"
#include "playlist/listeditor.h"
#include "tray/trayhiding.h"

void Form1::PushButton1_Click() {
    m_transport->PushButton1_Click();
}
void Form1::PushButton4_Click() {
    m_transport->PushButton4_Click();
}
void Form1::PushButton6_Click() {
    m_transport->PushButton6_Click();
}
void Form1::PushButton7_Click() {
    m_transport->PushButton7_Click();
}
void Form1::tmrTimer_Timer() {
    m_transport->tmrTimer_Timer();
}
void Form1::Slider1_Change() {
    m_transport->Slider1_Change(Slider1->value());
}
void Form1::Volume_Scroll() {
    m_transport->Volume_Scroll(Volume->value(), Volume->maximum());
}
void Form1::Balance_Scroll() {
    m_transport->Balance_Scroll(Balance->value());
}
void Form1::Speed_Scroll() {
    m_transport->Speed_Scroll(Speed->value());
}
void Form1::Option1_Click() {
    m_transport->rememberOptions(Option1->isChecked(), Option2->isChecked());
}
void Form1::Option2_Click() {
    m_transport->rememberOptions(Option1->isChecked(), Option2->isChecked());
}

void Form1::ListView1_Click() {
    m_listEditor->ListView1_Click();
}
bool Form1::ListView1_OLEDragOver(const QMimeData* data) const {
    return m_listEditor->ListView1_OLEDragOver(data);
}
void Form1::ListView1_OLEDragDrop(const QMimeData* data) {
    m_listEditor->ListView1_OLEDragDrop(data);
}
void Form1::PushButton5_Click() {
    m_listEditor->PushButton5_Click();
}
void Form1::PushButton2_Click() {
    m_listEditor->PushButton2_Click();
}
void Form1::PushButton11_Click() {
    m_listEditor->PushButton11_Click();
}
void Form1::PushButton3_Click() {
    m_listEditor->PushButton3_Click();
}

void Form1::Form_Resize() {
    m_trayHiding->Form_Resize();
}
void Form1::cSysTray1_MouseUp(int /*button*/, int /*id*/) {
    m_trayHiding->cSysTray1_MouseUp();
}

void Form1::restoreFromTray() {
    // The window manager may still record the hidden window as minimised.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Form1::setStartStopCaption(const QString& caption) {
    PushButton1->setText(caption);
}
void Form1::setPauseCaption(const QString& caption) {
    PushButton4->setText(caption);
}
void Form1::setVolumeCaption(const QString& caption) {
    Frame3->setTitle(caption);
}
bool Form1::windowVisible() const {
    return isVisible();
}
void Form1::startMonitor() {
    tmrTimer->start();
}
