// SPDX-License-Identifier: GPL-3.0-or-later
#include "playback/trackchoice.h"

#include <chrono>

#include "playback/randomindex.h"

void TrackChoice::request(int position) {
    KeepSelection = true;
    RequestedIndex = position;
}

void TrackChoice::reseed() {
    using namespace std::chrono;
    // Seconds since midnight, fraction included, as the seed.
    const auto now = system_clock::now().time_since_epoch();
    const auto sinceMidnight = duration_cast<nanoseconds>(now % hours(24)).count();
    m_rng.seed(static_cast<std::mt19937::result_type>(sinceMidnight ^ (sinceMidnight >> 32)));
}

double TrackChoice::draw() {
    if (m_draw) return m_draw();
    return static_cast<double>(m_rng() >> 8) / 16777216.0;
}

TrackChoice::Pick TrackChoice::choose(const Entries& list, bool GoBack, bool Navigate) {
    // Files passed over while they fail are passed in the direction the user went.
    m_goingBack = GoBack;
    if (Navigate) KeepSelection = false;
    Pick pick;
    if (RequestedIndex != 0) {
        pick = {Way::Requested, RequestedIndex};
        RequestedIndex = 0;
    } else if (m_order == PlayOrder::Random) {
        reseed();
        // While files keep failing, those already found unplayable are passed by too, so
        // that a round reaches every other entry.
        const bool avoidUnplayable =
            list.count > 1 && !m_unplayable.isEmpty() && untriedBesides(list, list.selected);
        pick = {Way::Drawn,
                drawEntry(
                    list.count, list.selected, [this] { return draw(); },
                    [&](int k) { return avoidUnplayable && m_unplayable.contains(list.text(k)); })};
    } else if (m_order == PlayOrder::InOrder && !KeepSelection) {
        const int k = list.selected;
        if (GoBack)
            pick = {Way::Stepped, k == 1 ? list.count : k - 1};
        else
            pick = {Way::Stepped, k == list.count ? 1 : k + 1};
    }
    KeepSelection = false;
    return pick;
}

void TrackChoice::loading(const QString& path) {
    m_lastTried = path;
    m_lastTriedWhy.clear();
}

void TrackChoice::missing(const QString& path) {
    m_unplayable.insert(path);
    m_lastTried = path;
    m_lastTriedWhy = QStringLiteral("it does not exist");
}

void TrackChoice::failed(const QString& path, const QString& why) {
    m_unplayable.insert(path);
    if (m_lastTried == path && m_lastTriedWhy.isEmpty()) m_lastTriedWhy = why;
}

bool TrackChoice::untriedBesides(const Entries& list, int position) const {
    for (int i = 1; i <= list.count; ++i)
        if (i != position && !m_unplayable.contains(list.text(i))) return true;
    return false;
}

QString TrackChoice::lastTriedWhy(const QString& otherwise) const {
    return m_lastTriedWhy.isEmpty() ? otherwise : m_lastTriedWhy;
}
