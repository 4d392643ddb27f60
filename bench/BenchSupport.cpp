#include "bench/BenchSupport.h"

#include "bench/PairMedian.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <sys/resource.h>
#include <time.h>

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
std::function<double()> s_fnHelperSeconds;

// The processor time of every thread of this process, of the children it
// waited for and of its helpers that live on (a compile's workers), in
// seconds: what a side costs, without the time other programs on a shared
// machine took the processor away from it (the wall clock counts that too,
// unevenly between the two sides).
double ProcessSeconds()
{
    timespec kNow{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &kNow);
    rusage kChildren{};
    getrusage(RUSAGE_CHILDREN, &kChildren);
    const auto Seconds = [](const timeval& kTime) {
        return static_cast<double>(kTime.tv_sec) + 1e-6 * static_cast<double>(kTime.tv_usec);
    };
    return static_cast<double>(kNow.tv_sec) + 1e-9 * static_cast<double>(kNow.tv_nsec) +
           Seconds(kChildren.ru_utime) + Seconds(kChildren.ru_stime) + (s_fnHelperSeconds ? s_fnHelperSeconds() : 0.0);
}

// One side of a pair over iUnits units, in processor seconds: the median of
// its units' times, each unit timed alone, times the count. A burst of load
// that falls on a few units of a side then moves neither side; work a unit
// leaves running (a rasteriser's threads) falls on the next one, which in
// a run of units is as much as the unit itself leaves.
double TimeSide(const PairSide& kSide, int iUnits)
{
    std::vector<double> kUnits;
    kUnits.reserve(static_cast<std::size_t>(iUnits));
    for (int i = 0; i < iUnits; ++i)
    {
        if (kSide.m_fnBefore)
            kSide.m_fnBefore();
        const double dStart = ProcessSeconds();
        kSide.m_fnUnit();
        kUnits.push_back(ProcessSeconds() - dStart);
        if (kSide.m_fnAfter)
            kSide.m_fnAfter();
    }
    std::sort(kUnits.begin(), kUnits.end());
    return bench::SortedMedian(kUnits) * iUnits;
}
} // namespace

namespace
{
// Whether this process runs in smoke mode, read from its own command line
// (the programs that measure pairs do not all look at their arguments).
bool IsSmokeProcess()
{
    static const bool s_bSmoke = [] {
        std::FILE* pkFile = std::fopen("/proc/self/cmdline", "rb");
        if (pkFile == nullptr)
            return false;
        std::string kLine;
        char acChunk[4096];
        for (std::size_t n; (n = std::fread(acChunk, 1, sizeof(acChunk), pkFile)) > 0;)
            kLine.append(acChunk, n);
        std::fclose(pkFile);
        std::vector<std::string> kArgs;
        for (std::size_t uiAt = 0; uiAt < kLine.size();)
        {
            const std::size_t uiEnd = kLine.find('\0', uiAt);
            kArgs.push_back(kLine.substr(uiAt, uiEnd == std::string::npos ? std::string::npos : uiEnd - uiAt));
            if (uiEnd == std::string::npos)
                break;
            uiAt = uiEnd + 1;
        }
        std::vector<char*> kArgv;
        for (std::string& kArg : kArgs)
            kArgv.push_back(kArg.data());
        return IsSmokeRun(static_cast<int>(kArgv.size()), kArgv.data());
    }();
    return s_bSmoke;
}

// A full run measures each ratio for at least MIN_SECONDS: on a shared
// machine the load comes and goes over seconds, and a median taken over a
// shorter stretch can sit in one such phase. It goes on until the median is
// settled, up to MAX_SECONDS; the median of a long-tailed spread of pairs
// (a device's frame against plain GL) needs many.
constexpr double MIN_SECONDS = 6.0;
constexpr double MAX_SECONDS = 20.0;
constexpr int MIN_PAIRS = 31;
constexpr int MAX_PAIRS = 4001;
constexpr int MAX_UNITS = 1 << 20;
constexpr int SIZING_TRIES = 3;
// A smoke run only shows that the measure still runs.
constexpr int SMOKE_PAIRS = 5;
constexpr double SMOKE_SIDE_SHARE = 0.1;
} // namespace

void CountHelperSeconds(std::function<double()> fnSeconds)
{
    s_fnHelperSeconds = std::move(fnSeconds);
}

double ProcessorSecondsSoFar()
{
    return ProcessSeconds();
}

PairRatio MeasurePairs(int iPairs, double dSideSeconds, const std::function<void()>& fnSystem,
                       const std::function<void()>& fnBaseline)
{
    return MeasurePairs(iPairs, dSideSeconds, PairSide{fnSystem, {}, {}}, PairSide{fnBaseline, {}, {}});
}

PairRatio MeasurePairs(int iPairs, double dSideSeconds, const PairSide& kSystem, const PairSide& kBaseline)
{
    PairRatio kResult;
    const bool bSmoke = IsSmokeProcess();
    iPairs = bSmoke ? SMOKE_PAIRS : std::max(iPairs, MIN_PAIRS);
    if (bSmoke)
        dSideSeconds *= SMOKE_SIDE_SHARE;
    // Warm both sides, then size them: a pair takes about twice
    // dSideSeconds, however far apart the sides are. The sizing reads the
    // quickest of a few timings of a growing run of units (load only ever
    // adds time).
    (void)TimeSide(kSystem, 1);
    (void)TimeSide(kBaseline, 1);
    int iUnits = 1;
    if (dSideSeconds > 0.0)
    {
        int iProbe = 1;
        double dPair = 0.0;
        for (;;)
        {
            dPair = 0.0;
            for (int iTry = 0; iTry < SIZING_TRIES; ++iTry)
            {
                const double dTry = TimeSide(kSystem, iProbe) + TimeSide(kBaseline, iProbe);
                dPair = iTry == 0 ? dTry : std::min(dPair, dTry);
            }
            // A probe of a tenth of the pair times itself well enough.
            if (dPair >= 0.2 * dSideSeconds || iProbe >= MAX_UNITS)
                break;
            iProbe *= 2;
        }
        iUnits = bench::UnitsForPair(dPair / iProbe, dSideSeconds, MAX_UNITS);
    }
    std::vector<double> kRatios, kSorted, kSystemTimes, kBaselineTimes;
    const auto kStart = std::chrono::steady_clock::now();
    const auto Elapsed = [&kStart] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
    };
    for (int p = 0; p < MAX_PAIRS; ++p)
    {
        if (p >= iPairs)
        {
            if (bSmoke)
                break;
            const double dElapsed = Elapsed();
            if (dElapsed >= MAX_SECONDS)
                break;
            if (dElapsed >= MIN_SECONDS)
            {
                kSorted = kRatios;
                std::sort(kSorted.begin(), kSorted.end());
                if (bench::MedianSettled(kSorted, PAIR_TOLERANCE))
                    break;
            }
        }
        // Each side first in every other pair: what one side leaves in the
        // caches falls on both alike.
        double dSystem = 0.0, dBaseline = 0.0;
        if (p % 2 == 0)
        {
            dSystem = TimeSide(kSystem, iUnits);
            dBaseline = TimeSide(kBaseline, iUnits);
        }
        else
        {
            dBaseline = TimeSide(kBaseline, iUnits);
            dSystem = TimeSide(kSystem, iUnits);
        }
        if (dBaseline > 0.0)
            kRatios.push_back(dSystem / dBaseline);
        kSystemTimes.push_back(dSystem / iUnits);
        kBaselineTimes.push_back(dBaseline / iUnits);
    }
    if (kRatios.empty())
        return kResult;
    std::sort(kRatios.begin(), kRatios.end());
    const bench::MedianBounds kBounds = bench::SortedMedianBounds(kRatios);
    kResult.m_dMedian = bench::SortedMedian(kRatios);
    kResult.m_dLow = kRatios.front();
    kResult.m_dHigh = kRatios.back();
    kResult.m_dMedianLow = kBounds.m_dLow;
    kResult.m_dMedianHigh = kBounds.m_dHigh;
    kResult.m_iPairs = static_cast<int>(kRatios.size());
    kResult.m_iUnits = iUnits;
    kResult.m_bSettled = bench::MedianSettled(kRatios, PAIR_TOLERANCE);
    kResult.m_bSmoke = bSmoke;
    std::sort(kSystemTimes.begin(), kSystemTimes.end());
    std::sort(kBaselineTimes.begin(), kBaselineTimes.end());
    kResult.m_dSystemUnit = bench::SortedMedian(kSystemTimes);
    kResult.m_dBaselineUnit = bench::SortedMedian(kBaselineTimes);
    return kResult;
}

void PrintPairDetail(const PairRatio& kRatio)
{
    std::printf("  median of %d interleaved pairs of %d units a side, within %.2f to %.2f%s; pair ratios %.2f to "
                "%.2f; a unit %.4g ms / %.4g ms\n",
                kRatio.m_iPairs, kRatio.m_iUnits, kRatio.m_dMedianLow, kRatio.m_dMedianHigh,
                kRatio.m_bSettled || kRatio.m_bSmoke ? "" : " (not settled in the time given)", kRatio.m_dLow,
                kRatio.m_dHigh, 1e3 * kRatio.m_dSystemUnit, 1e3 * kRatio.m_dBaselineUnit);
}

void PrintPairRatio(const char* pcMeasure, const PairRatio& kRatio, double dGoal)
{
    // The goal to two places, without the zeros that add nothing: 1.5,
    // 0.25, 2.0.
    char acGoal[32];
    std::snprintf(acGoal, sizeof(acGoal), "%.2f", dGoal);
    for (std::size_t n = std::strlen(acGoal); n > 0 && acGoal[n - 1] == '0' && n >= 2 && acGoal[n - 2] != '.'; --n)
        acGoal[n - 1] = '\0';
    std::printf("%s = %.2f (goal <= %s)\n", pcMeasure, kRatio.m_dMedian, acGoal);
    PrintPairDetail(kRatio);
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
