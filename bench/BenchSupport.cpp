#include "bench/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

void RatioReporter::ReportRuns(const std::vector<Run>& kRuns)
{
    for (const Run& kRun : kRuns)
    {
        if (kRun.run_type == Run::RT_Iteration && kRun.iterations > 0)
            m_kTimes[kRun.run_name.function_name] = kRun.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(kRuns);
}

namespace
{
double TimeUnits(const std::function<void()>& fn, int iUnits)
{
    auto kStart = std::chrono::steady_clock::now();
    for (int i = 0; i < iUnits; ++i)
        fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
}
} // namespace

PairRatio MeasurePairs(int iPairs, double dSideSeconds, const std::function<void()>& fnSystem,
                       const std::function<void()>& fnBaseline)
{
    PairRatio kResult;
    iPairs = std::max(iPairs, 15);
    // Warm both sides, then size the sides from the baseline's unit.
    fnSystem();
    fnBaseline();
    int iUnits = 1;
    double dUnit = TimeUnits(fnBaseline, 1);
    while (dUnit * iUnits < dSideSeconds && iUnits < (1 << 20))
        iUnits *= 2;
    std::vector<double> kRatios;
    for (int p = 0; p < iPairs; ++p)
    {
        double dSystem = TimeUnits(fnSystem, iUnits);
        double dBaseline = TimeUnits(fnBaseline, iUnits);
        if (dBaseline > 0.0)
            kRatios.push_back(dSystem / dBaseline);
    }
    if (kRatios.empty())
        return kResult;
    std::sort(kRatios.begin(), kRatios.end());
    const std::size_t n = kRatios.size();
    kResult.m_dMedian = n % 2 ? kRatios[n / 2] : 0.5 * (kRatios[n / 2 - 1] + kRatios[n / 2]);
    kResult.m_dLow = kRatios.front();
    kResult.m_dHigh = kRatios.back();
    kResult.m_iPairs = static_cast<int>(n);
    kResult.m_iUnits = iUnits;
    return kResult;
}

void PrintPairRatio(const char* pcMeasure, const PairRatio& kRatio, double dGoal)
{
    std::printf("%s = %.2f (goal <= %.1f)\n", pcMeasure, kRatio.m_dMedian, dGoal);
    std::printf("  median of %d interleaved pairs of %d units a side; pair ratios %.2f to %.2f\n", kRatio.m_iPairs,
                kRatio.m_iUnits, kRatio.m_dLow, kRatio.m_dHigh);
}
