// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the benchmarks share: the spread of a series of timings, and CPU time.

#include <sys/resource.h>

#include <algorithm>
#include <vector>

namespace bench {

// The median (the mean of the middle two for an even count), lowest, highest and mean
// of a series. Negative entries (runs that timed out) are left out; with none left,
// every figure is -1.
struct Stats {
    double median = -1, low = -1, high = -1, mean = -1;
};
inline Stats stats(std::vector<double> v) {
    std::erase_if(v, [](double x) { return x < 0; });
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    double sum = 0;
    for (double x : v) sum += x;
    return {n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back(), sum / double(n)};
}

// Seconds of processor time, user and system, in `r`.
inline double cpuSeconds(const rusage& r) {
    return double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}
// This process's so far.
inline double cpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return cpuSeconds(r);
}

}  // namespace bench
