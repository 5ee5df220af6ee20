// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>

// Int(r * n) + 1 for a draw r in [0, 1): a whole number from 1 to n for n >= 1.
inline double RandomIndex(int n, double r) {
    return std::floor(r * n) + 1.0;
}
