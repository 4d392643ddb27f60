#pragma once

// The statistics of a ratio measured as interleaved pairs: its median and
// how far that median could move if the measure were taken again. Shared by
// the benchmarks' pair measure and the test that pins it.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace bench
{
// The median of values sorted in ascending order; 0 for none.
[[nodiscard]] inline double SortedMedian(const std::vector<double>& kSorted)
{
    const std::size_t n = kSorted.size();
    if (n == 0)
        return 0.0;
    return n % 2 ? kSorted[n / 2] : 0.5 * (kSorted[n / 2 - 1] + kSorted[n / 2]);
}

// About 95 % bounds on the median of the values' distribution, read from the
// sorted values themselves: the order statistics about sqrt(n) ranks either
// side of the middle. They assume nothing of the distribution's shape, which
// for pair ratios on a shared machine is skewed and long-tailed.
struct MedianBounds
{
    double m_dLow = 0.0;
    double m_dHigh = 0.0;
};

[[nodiscard]] inline MedianBounds SortedMedianBounds(const std::vector<double>& kSorted)
{
    const std::size_t n = kSorted.size();
    if (n == 0)
        return {};
    const double dHalfWidth = 0.98 * std::sqrt(static_cast<double>(n)); // 1.96 sqrt(n) / 2
    const double dLow = std::floor(0.5 * static_cast<double>(n) - dHalfWidth);
    const double dHigh = std::ceil(0.5 * static_cast<double>(n) + dHalfWidth);
    const std::size_t uiLow = dLow <= 0.0 ? 0 : static_cast<std::size_t>(dLow);
    const std::size_t uiHigh = std::min(n - 1, static_cast<std::size_t>(std::max(0.0, dHigh)));
    return {kSorted[uiLow], kSorted[uiHigh]};
}

// Whether the median of the sorted values is settled: both its bounds
// within dRelative of it. A ratio measured to that point reads the same,
// within about that much, when the same build is measured again.
[[nodiscard]] inline bool MedianSettled(const std::vector<double>& kSorted, double dRelative)
{
    const double dMedian = SortedMedian(kSorted);
    if (dMedian <= 0.0)
        return false;
    const MedianBounds kBounds = SortedMedianBounds(kSorted);
    return kBounds.m_dLow >= dMedian * (1.0 - dRelative) && kBounds.m_dHigh <= dMedian * (1.0 + dRelative);
}

// Units a side so that a pair of sides takes about twice dSideSeconds,
// given the quickest time seen of one unit of each side together: the
// nearest whole count, at least one and at most iMaxUnits. It follows the
// unit's time smoothly; a count that doubled at thresholds changed what the
// caches hold from one run of a build to the next, and the ratio with it.
[[nodiscard]] inline int UnitsForPair(double dPairUnitSeconds, double dSideSeconds, int iMaxUnits)
{
    if (dSideSeconds <= 0.0)
        return 1;
    if (dPairUnitSeconds <= 0.0)
        return iMaxUnits;
    const double dUnits = std::round(2.0 * dSideSeconds / dPairUnitSeconds);
    return dUnits < 1.0 ? 1 : dUnits > static_cast<double>(iMaxUnits) ? iMaxUnits : static_cast<int>(dUnits);
}
} // namespace bench
