// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <random>

#include <QSet>
#include <QString>
#include <QtGlobal>

enum class PlayOrder { None, Random, InOrder };

// The choice of the entry that plays next: a requested entry first, then the play order,
// the selected entry again right after start-up or a click, and, during a run of
// failures, past the entries already found unplayable. It is told the list and answers
// a position; selecting it, and every box, is the caller's business. UI thread only.
class TrackChoice {
public:
    // The list as it stands: positions 1..count, the selected one (0: none), their texts.
    struct Entries {
        int count = 0;
        int selected = 0;
        std::function<QString(int)> text;
    };
    // How the entry to select was found; None: the selection stays as it is.
    enum class Way { None, Requested, Drawn, Stepped };
    struct Pick {
        Way way = Way::None;
        int position = 0;
        bool operator==(const Pick&) const = default;
    };

    // `draw` gives numbers in [0, 1); unset, a generator reseeded from the clock does.
    explicit TrackChoice(std::function<double()> draw = {}) : m_draw(std::move(draw)) {}

    PlayOrder order() const { return m_order; }
    void setOrder(PlayOrder order) { m_order = order; }
    // The next in-order choice keeps the selected entry (start-up).
    void keepSelection() { KeepSelection = true; }
    // The entry at `position` is the next choice, whatever the order (a click on it).
    void request(int position);

    // Reseeds the generator from the time of day.
    void reseed();
    // The entry for a start or the end of a track, Previous (GoBack) or Next (Navigate).
    // It uses up the request and KeepSelection.
    Pick choose(const Entries& list, bool GoBack, bool Navigate);

    // A run of failures, as the caller sees it: an entry about to be loaded, one found
    // missing, a loaded file that failed and why; it is over once a file plays or
    // playback stops.
    void loading(const QString& path);
    void missing(const QString& path);
    void failed(const QString& path, const QString& why);
    void runOver() { m_unplayable.clear(); }
    // Some entry other than the one at `position` has not failed during the run.
    bool untriedBesides(const Entries& list, int position) const;
    // The last choice went backwards: a failed file is passed in the same direction.
    bool goingBack() const { return m_goingBack; }
    // The entry tried last, and why it failed: its own reason, else `otherwise`.
    QString lastTried() const { return m_lastTried; }
    QString lastTriedWhy(const QString& otherwise) const;

private:
    double draw();

    std::function<double()> m_draw;
    std::mt19937 m_rng;
    PlayOrder m_order = PlayOrder::None;
    bool KeepSelection = false;
    qint32 RequestedIndex = 0;
    bool m_goingBack = false;
    QSet<QString> m_unplayable;
    QString m_lastTried;
    QString m_lastTriedWhy;  // empty until known
};
