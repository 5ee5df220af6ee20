// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "playback/iplayercontrol.h"

class Form1;

// The window as a remote drives it: every request goes through the handler of the
// control that does the same thing (buttons, sliders, option buttons, the list's drop,
// the tray icon, closing), so captions, boxes and settings follow as they do for the
// user. UI thread only.
class RemoteWiring : public IPlayerControl {
public:
    explicit RemoteWiring(Form1& form);

    PlayerState state() const override;
    qint64 positionUs() const override;
    bool request(PlayerAction action) override;
    bool open(const QStringList& paths, bool playNow) override;
    void setVolume(double volume) override;
    void setShuffle(bool shuffle) override;
    void setRate(double rate) override;
    void setPositionUs(qint64 position) override;

private:
    // A message box is open: the window waits for the user.
    bool waitsForUser() const;
    // Runs `work` once the current event is handled, unless a box is open by then
    // and `evenWhenWaiting` is false.
    void later(std::function<void()> work, bool evenWhenWaiting = false);
    void perform(PlayerAction action);
    bool startedCaption() const;
    void start();
    void playEntry(int index);
    void addAndPlay(const QStringList& paths, bool playNow);

    Form1& m_form;
};
