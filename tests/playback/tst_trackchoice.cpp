// SPDX-License-Identifier: GPL-3.0-or-later
#include <stdexcept>

#include <QtTest>

#include "playback/trackchoice.h"

using Pick = TrackChoice::Pick;

namespace {
QString path(int k) {
    return QStringLiteral("/music/track%1.aac").arg(k);
}

// One choice on a list of `count` with `selected`. `before` is what the choice was told
// first: "keep" (start-up), "request N" (a click on entry N), "bad N M..." (a run of
// failures). The draws are given, and running out of them fails rather than spins.
struct Row {
    const char* name;
    PlayOrder order;
    QString before;
    int count, selected;
    bool back, navigate;
    QList<double> draws;
    Pick pick;
};
constexpr double kLast = 16777215.0 / 16777216.0;  // the largest draw the generator makes
constexpr auto kIn = PlayOrder::InOrder, kRandom = PlayOrder::Random;
using enum TrackChoice::Way;
const Row kRows[] = {
    {"in order, next", kIn, "", 5, 2, false, true, {}, {Stepped, 3}},
    {"in order, forward from the last", kIn, "", 5, 5, false, false, {}, {Stepped, 1}},
    {"in order, backward from the first", kIn, "", 5, 1, true, true, {}, {Stepped, 5}},
    {"in order, start after start-up", kIn, "keep", 5, 2, false, false, {}, {None, 0}},
    {"in order, Next after start-up", kIn, "keep", 5, 2, false, true, {}, {Stepped, 3}},
    {"no order keeps the entry", PlayOrder::None, "", 5, 2, false, true, {}, {None, 0}},
    {"a request wins, from Previous", kIn, "request 5", 6, 1, true, true, {}, {Requested, 5}},
    {"a request wins at random", kRandom, "request 5", 6, 1, false, false, {}, {Requested, 5}},
    {"a request beyond the list", kIn, "request 9", 3, 2, false, false, {}, {Requested, 9}},
    {"random, one entry", kRandom, "", 1, 1, false, true, {kLast}, {Drawn, 1}},
    {"random, two: the other at once", kRandom, "", 2, 2, true, true, {0.0}, {Drawn, 1}},
    {"random, two: redrawn", kRandom, "", 2, 1, false, true, {0.0, kLast}, {Drawn, 2}},
    {"random, ten: the last", kRandom, "", 10, 1, false, false, {kLast}, {Drawn, 10}},
    {"random, ten: past the last", kRandom, "", 10, 10, false, false, {kLast, 0.5}, {Drawn, 6}},
    {"random, past failed ones", kRandom, "bad 2 3", 4, 1, false, false, {.3, .6, .9}, {Drawn, 4}},
    {"random, all others failed", kRandom, "bad 2 3", 3, 1, false, false, {0.5}, {Drawn, 2}},
};
}  // namespace

class TestTrackChoice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choose() {
        for (const Row& row : kRows) {
            QList<double> draws = row.draws;
            TrackChoice choice([&] {
                if (draws.isEmpty()) throw std::out_of_range("no draw left");
                return draws.takeFirst();
            });
            choice.setOrder(row.order);
            const QStringList words = row.before.split(u' ', Qt::SkipEmptyParts);
            if (row.before == "keep") choice.keepSelection();
            if (row.before.startsWith("request")) choice.request(words[1].toInt());
            if (row.before.startsWith("bad"))
                for (const QString& k : words.mid(1)) choice.failed(path(k.toInt()), "bad");
            Pick pick;
            try {
                pick = choice.choose({row.count, row.selected, path}, row.back, row.navigate);
            } catch (const std::out_of_range&) {
                QFAIL(row.name);  // drew again where the draws given reach the entry
            }
            QVERIFY2(pick == row.pick && draws.isEmpty(), row.name);
            QVERIFY2(choice.goingBack() == row.back, row.name);
        }
    }

    // A request and KeepSelection serve one choice only, also where the request is not
    // played (the caller could not select it).
    void requestIsUsedOnce() {
        TrackChoice choice;
        choice.setOrder(PlayOrder::InOrder);
        choice.request(5);
        const TrackChoice::Entries list{6, 2, path};
        QCOMPARE(choice.choose(list, false, false), (Pick{Requested, 5}));
        QCOMPARE(choice.choose(list, false, false), (Pick{Stepped, 3}));
    }
};

QTEST_GUILESS_MAIN(TestTrackChoice)
#include "tst_trackchoice.moc"
