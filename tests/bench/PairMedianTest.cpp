#include "bench/PairMedian.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace
{
std::vector<double> Sorted(std::vector<double> k)
{
    std::sort(k.begin(), k.end());
    return k;
}

TEST(PairMedianTest, TheMedianOfOddAndEvenCountsAndOfNone)
{
    EXPECT_DOUBLE_EQ(bench::SortedMedian({}), 0.0);
    EXPECT_DOUBLE_EQ(bench::SortedMedian({1.5}), 1.5);
    EXPECT_DOUBLE_EQ(bench::SortedMedian(Sorted({3.0, 1.0, 2.0})), 2.0);
    EXPECT_DOUBLE_EQ(bench::SortedMedian(Sorted({4.0, 1.0, 2.0, 3.0})), 2.5);
    // A tail of slow pairs does not move it.
    EXPECT_DOUBLE_EQ(bench::SortedMedian(Sorted({1.0, 1.1, 1.2, 90.0, 95.0})), 1.2);
}

TEST(PairMedianTest, TheBoundsAreTheOrderStatisticsAboutTheMiddle)
{
    // 100 values 0..99: the bounds are ranks 50 -/+ 0.98 * 10, widened to
    // whole ranks (40 and 60).
    std::vector<double> k;
    for (int i = 0; i < 100; ++i)
        k.push_back(static_cast<double>(i));
    const bench::MedianBounds kBounds = bench::SortedMedianBounds(k);
    EXPECT_DOUBLE_EQ(kBounds.m_dLow, 40.0);
    EXPECT_DOUBLE_EQ(kBounds.m_dHigh, 60.0);
    // Few values: the bounds are the extremes, never past them.
    const bench::MedianBounds kFew = bench::SortedMedianBounds({1.0, 2.0, 3.0});
    EXPECT_DOUBLE_EQ(kFew.m_dLow, 1.0);
    EXPECT_DOUBLE_EQ(kFew.m_dHigh, 3.0);
    const bench::MedianBounds kOne = bench::SortedMedianBounds({7.0});
    EXPECT_DOUBLE_EQ(kOne.m_dLow, 7.0);
    EXPECT_DOUBLE_EQ(kOne.m_dHigh, 7.0);
    const bench::MedianBounds kNone = bench::SortedMedianBounds({});
    EXPECT_DOUBLE_EQ(kNone.m_dLow, 0.0);
    EXPECT_DOUBLE_EQ(kNone.m_dHigh, 0.0);
}

TEST(PairMedianTest, TheBoundsNarrowAsPairsAreAdded)
{
    // The same spread of ratios, 0.9 to 1.1, at growing counts.
    const auto Spread = [](int n) {
        std::vector<double> k;
        for (int i = 0; i < n; ++i)
            k.push_back(0.9 + 0.2 * static_cast<double>(i) / static_cast<double>(n - 1));
        return k;
    };
    double dLastWidth = 1.0;
    for (int n : {31, 101, 401, 1601})
    {
        const bench::MedianBounds kBounds = bench::SortedMedianBounds(Spread(n));
        const double dWidth = kBounds.m_dHigh - kBounds.m_dLow;
        EXPECT_LT(dWidth, dLastWidth) << n;
        EXPECT_LE(kBounds.m_dLow, 1.0) << n;
        EXPECT_GE(kBounds.m_dHigh, 1.0) << n;
        dLastWidth = dWidth;
    }
}

TEST(PairMedianTest, SettledOnlyWhenBothBoundsAreWithinTheTolerance)
{
    // 0.9 to 1.1 evenly: the bounds of 31 are about 1 -/+ 0.035, of 401
    // about 1 -/+ 0.01.
    const auto Spread = [](int n) {
        std::vector<double> k;
        for (int i = 0; i < n; ++i)
            k.push_back(0.9 + 0.2 * static_cast<double>(i) / static_cast<double>(n - 1));
        return k;
    };
    EXPECT_FALSE(bench::MedianSettled(Spread(31), 0.03));
    EXPECT_TRUE(bench::MedianSettled(Spread(401), 0.03));
    EXPECT_TRUE(bench::MedianSettled(Spread(31), 0.05));
    // One side of the median far off is enough to keep it unsettled.
    std::vector<double> kSkewed(50, 1.0);
    for (int i = 0; i < 50; ++i)
        kSkewed.push_back(2.0);
    kSkewed.push_back(1.0);
    EXPECT_FALSE(bench::MedianSettled(Sorted(kSkewed), 0.03));
    // No pairs, or a median of 0, is never settled.
    EXPECT_FALSE(bench::MedianSettled({}, 0.03));
    EXPECT_FALSE(bench::MedianSettled({0.0, 0.0, 0.0}, 0.03));
    EXPECT_TRUE(bench::MedianSettled(std::vector<double>(31, 2.0), 0.0));
}
} // namespace

TEST(PairMedianTest, UnitsFollowTheUnitsTimeSmoothlyWithinTheirBounds)
{
    // 2 x 0.1 s over 7 ms a pair of units: 28.57... units, the nearest 29.
    EXPECT_EQ(bench::UnitsForPair(0.007, 0.1, 1 << 20), 29);
    // A unit 5 % slower moves the count by about as much, not by half.
    EXPECT_EQ(bench::UnitsForPair(0.00735, 0.1, 1 << 20), 27);
    // Exactly on a side's time: one unit; slower than it: still one.
    EXPECT_EQ(bench::UnitsForPair(0.2, 0.1, 1 << 20), 1);
    EXPECT_EQ(bench::UnitsForPair(3.0, 0.1, 1 << 20), 1);
    // No time asked for is one unit a side, whatever the unit takes.
    EXPECT_EQ(bench::UnitsForPair(1e-6, 0.0, 1 << 20), 1);
    // Units too quick to time, or read as taking nothing, stop at the cap.
    EXPECT_EQ(bench::UnitsForPair(1e-12, 0.1, 1 << 20), 1 << 20);
    EXPECT_EQ(bench::UnitsForPair(0.0, 0.1, 64), 64);
}
