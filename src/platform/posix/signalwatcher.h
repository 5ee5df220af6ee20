// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into closeRequested() on the UI thread, so they run
// the window's normal closing handling. The signal handler only writes a byte to a
// pipe; the rest happens in the event loop. One instance at a time; the previous
// dispositions are restored when it ends.
class SignalWatcher : public QObject {
    Q_OBJECT

public:
    explicit SignalWatcher(QObject* parent = nullptr);
    ~SignalWatcher() override;

    // False when the pipe could not be made (the signals then keep their old handling).
    bool isActive() const { return m_notifier != nullptr; }

Q_SIGNALS:
    // Emitted once per request; signals arriving while it is handled are absorbed.
    void closeRequested(int signalNumber);

private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;
    bool m_handling = false;
};
