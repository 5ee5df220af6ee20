// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <limits>

// The playback rate, in times normal speed, as every control and the engine wrapper
// take it.
namespace PlayRate {
inline constexpr double kMin = 0.1;  // the slowest: a slower rate plays at this one

// `rate` as it plays: raised to kMin and lowered to `max`. NaN is left for the caller.
constexpr double clamp(double rate, double max = std::numeric_limits<double>::infinity()) {
    return rate < kMin ? kMin : rate > max ? max : rate;
}
}  // namespace PlayRate
