#include "bench/BenchSupport.h"

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
// The processor time of every thread of this process and of the children
// it waited for (a compile's child), in seconds: what a side costs, without
// the time other programs on a shared machine took the processor away from
// it (the wall clock counts that too, unevenly between the two sides).
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
           Seconds(kChildren.ru_utime) + Seconds(kChildren.ru_stime);
}

double TimeUnits(const std::function<void()>& fn, int iUnits)
{
    const double dStart = ProcessSeconds();
    for (int i = 0; i < iUnits; ++i)
        fn();
    return ProcessSeconds() - dStart;
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

// Outside smoke mode a ratio is measured for at least this long: on a
// shared machine single pairs scatter widely, and only a median of many
// holds from run to run.
constexpr double MEASURE_SECONDS = 6.0;
constexpr int MAX_PAIRS = 2001;
} // namespace

PairRatio MeasurePairs(int iPairs, double dSideSeconds, const std::function<void()>& fnSystem,
                       const std::function<void()>& fnBaseline)
{
    PairRatio kResult;
    const bool bSmoke = IsSmokeProcess();
    iPairs = std::max(iPairs, bSmoke ? 15 : 31);
    // Warm both sides, then size the sides by timing the baseline's side
    // whole (one unit's time alone is too rough on a busy machine).
    fnSystem();
    fnBaseline();
    int iUnits = 1;
    while (TimeUnits(fnBaseline, iUnits) < dSideSeconds && iUnits < (1 << 20))
        iUnits *= 2;
    std::vector<double> kRatios;
    const auto kStart = std::chrono::steady_clock::now();
    for (int p = 0; p < MAX_PAIRS; ++p)
    {
        if (p >= iPairs && (bSmoke || std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count() >=
                                          MEASURE_SECONDS))
            break;
        // Each side first in every other pair: what one side leaves in the
        // caches falls on both alike.
        double dSystem = 0.0, dBaseline = 0.0;
        if (p % 2 == 0)
        {
            dSystem = TimeUnits(fnSystem, iUnits);
            dBaseline = TimeUnits(fnBaseline, iUnits);
        }
        else
        {
            dBaseline = TimeUnits(fnBaseline, iUnits);
            dSystem = TimeUnits(fnSystem, iUnits);
        }
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
