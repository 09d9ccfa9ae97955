// SPDX-License-Identifier: MIT
#pragma once

// Small helpers shared by the command line's benchmarks.

#include <QString>

#include <algorithm>
#include <vector>

namespace vantor::bench {

struct Spread
{
    double median = 0;
    double p95 = 0;
    double min = 0;
    double max = 0;
};

inline Spread spread(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    if (n == 0)
        return {};
    const double median = n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return { median, v[std::min(n - 1, n * 95 / 100)], v.front(), v.back() };
}

inline QString describe(const Spread &s, const char *unit = "ms")
{
    return QStringLiteral("median %1 %5 (p95 %2, min %3, max %4)")
        .arg(s.median, 0, 'f', 2)
        .arg(s.p95, 0, 'f', 2)
        .arg(s.min, 0, 'f', 2)
        .arg(s.max, 0, 'f', 2)
        .arg(QLatin1StringView(unit));
}

} // namespace vantor::bench
