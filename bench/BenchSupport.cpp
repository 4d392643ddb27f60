#include "bench/BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

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

namespace
{
// The value of --name=value or "--name value"; null when absent.
const char* FlagValue(int argc, char** argv, std::string_view kName)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string_view kArg(argv[i]);
        if (kArg.substr(0, kName.size()) != kName)
            continue;
        if (kArg.size() > kName.size() && kArg[kName.size()] == '=')
            return argv[i] + kName.size() + 1;
        if (kArg.size() == kName.size() && i + 1 < argc)
            return argv[i + 1];
    }
    return nullptr;
}
} // namespace

bool IsSmokeRun(int argc, char** argv)
{
    const char* pcValue = FlagValue(argc, argv, "--benchmark_min_time");
    // "0.01" or "0.01s"; a count of iterations ("10x") is no smoke run.
    if (pcValue == nullptr || std::strchr(pcValue, 'x') != nullptr)
        return false;
    char* pcEnd = nullptr;
    const double dSeconds = std::strtod(pcValue, &pcEnd);
    return pcEnd != pcValue && dSeconds < 0.1;
}

bool IsWanted(int argc, char** argv, const char* pcName)
{
    const char* pcFilter = FlagValue(argc, argv, "--benchmark_filter");
    if (pcFilter == nullptr || pcFilter[0] == '\0' || std::string_view(pcFilter) == "all")
        return true;
    // The filter's plain alternatives ("a|b"), each found anywhere in the
    // name; anchors and ".*" are dropped, other pattern syntax is not read.
    const std::string_view kName(pcName);
    std::string_view kRest(pcFilter);
    for (;;)
    {
        const std::size_t uiBar = kRest.find('|');
        std::string kAlternative(kRest.substr(0, uiBar));
        for (const char* pcDrop : {".*", "^", "$"})
            for (std::size_t uiAt; (uiAt = kAlternative.find(pcDrop)) != std::string::npos;)
                kAlternative.erase(uiAt, std::strlen(pcDrop));
        if (kName.find(kAlternative) != std::string_view::npos)
            return true;
        if (uiBar == std::string_view::npos)
            break;
        kRest.remove_prefix(uiBar + 1);
    }
    return false;
}

std::uint64_t PeakResidentBytes()
{
    std::FILE* pkStatus = std::fopen("/proc/self/status", "r");
    if (pkStatus == nullptr)
        return 0;
    char acLine[256];
    std::uint64_t uiKilobytes = 0;
    while (std::fgets(acLine, sizeof(acLine), pkStatus) != nullptr)
        if (std::sscanf(acLine, "VmHWM: %" SCNu64 " kB", &uiKilobytes) == 1)
            break;
    std::fclose(pkStatus);
    return uiKilobytes * 1024;
}
