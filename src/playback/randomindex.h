// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>

// Int(r * n) + 1 for a draw r in [0, 1): a whole number from 1 to n for n >= 1.
inline double RandomIndex(int n, double r) {
    return std::floor(r * n) + 1.0;
}

// Draws an entry from 1 to n with `draw` (each call a number in [0, 1)). With more than
// one entry the draw is repeated while it gives `current` or an entry `passBy` names.
template <class Draw, class PassBy>
int drawEntry(int n, int current, Draw&& draw, PassBy&& passBy) {
    int i = static_cast<int>(RandomIndex(n, draw()));
    if (n > 1) {
        while (i == current || passBy(i)) i = static_cast<int>(RandomIndex(n, draw()));
    }
    return i;
}
