// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QStringList>
#include <QTimer>

#include "playback/iplayercontrol.h"

class Form1;

// The window as a remote drives it: every request goes through the handler of the
// control that does the same thing (buttons, sliders, option buttons, the list, the tray
// icon, closing), so captions, boxes and settings follow as they do for the user.
//
// Requests wait in a queue that holds at most one of each kind and is served one entry
// per pass of the event loop, inside the pump once it runs: a flood of requests neither
// starves the window nor runs a handler outside the pump. Quit overtakes what waits, and
// once the window closes nothing more is carried out. UI thread only.
class RemoteWiring : public IPlayerControl {
public:
    explicit RemoteWiring(Form1& form);

    PlayerState state() const override;
    qint64 positionUs() const override;
    bool request(PlayerAction action) override;
    OpenResult open(const QStringList& paths) override;
    void setVolume(double volume) override;
    void setShuffle(bool shuffle) override;
    void setRate(double rate) override;
    void setPositionUs(qint64 position) override;
    void whenChanged(std::function<void()> notify) override;

private:
    // A message box is open: the window waits for the user.
    bool waitsForUser() const;
    void serveLater(int delayMs = 0);
    void serve();
    void perform(PlayerAction action);
    void openNow(const QStringList& paths);

    Form1& m_form;
    QTimer m_timer;
    QList<PlayerAction> m_actions;  // waiting, one of each kind, oldest first
    QStringList m_paths;            // waiting files and folders, in the order given
};
