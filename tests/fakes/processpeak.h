// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <utility>

#include <QFile>
#include <QString>
#include <QTimer>

// A field of a process's /proc status in its own unit (threads, KiB); -1 once it has ended.
inline long processStatus(const char* field, const QString& pid = QStringLiteral("self")) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ')[0].toLong();
    return -1;
}

// The most threads and resident memory a process had while this lives: sampled at once,
// at each sample(), and every `periodMs` while the event loop runs (0: only when asked).
class ProcessPeak {
public:
    explicit ProcessPeak(int periodMs = 2, QString pid = QStringLiteral("self"))
        : m_pid(std::move(pid)), m_rssBefore(processStatus("VmRSS:", m_pid)) {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { sample(); });
        if (periodMs > 0) m_timer.start(periodMs);
        sample();
    }
    void sample() {
        m_threads = std::max(m_threads, int(processStatus("Threads:", m_pid)));
        m_rss = std::max(m_rss, processStatus("VmRSS:", m_pid));
    }
    int threads() const { return m_threads; }
    long rssKiB() const { return m_rss; }
    long growthKiB() const { return m_rss - m_rssBefore; }

private:
    QTimer m_timer;
    QString m_pid;
    long m_rssBefore, m_rss = 0;
    int m_threads = 0;
};
