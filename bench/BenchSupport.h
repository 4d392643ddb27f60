#pragma once

// Shared by the benchmark programs that end their run with ratio lines.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Keeps each benchmark's time per iteration, by function name, so that a
// program can set it against a baseline measured in the same run.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    std::map<std::string, double> m_kTimes;
    void ReportRuns(const std::vector<Run>& kRuns) override;
};

// A ratio measured as interleaved pairs: the system's work, then the
// baseline's, then the system's again..., each side timed over the same
// number of units in processor time (this process's threads and the
// children it waited for). A busy moment of a shared machine then falls on
// both sides of a pair alike; the median pair ratio is the figure.
struct PairRatio
{
    double m_dMedian = 0.0;
    double m_dLow = 0.0;
    double m_dHigh = 0.0;
    int m_iPairs = 0;
    int m_iUnits = 0; // units of work per side
};

// fnSystem and fnBaseline each do one unit of work. Units per side are
// chosen so the baseline's side takes about dSideSeconds; at least iPairs
// pairs and 31 (15 in a smoke run), and outside a smoke run pairs go on
// until the measure has taken some seconds, each side first in every other
// pair.
[[nodiscard]] PairRatio MeasurePairs(int iPairs, double dSideSeconds, const std::function<void()>& fnSystem,
                                     const std::function<void()>& fnBaseline);

// "<measure> = <ratio> (goal <= <goal>)" and a line on the pairs.
void PrintPairRatio(const char* pcMeasure, const PairRatio& kRatio, double dGoal);

// The flags scripts/bench passes, read before benchmark::Initialize takes
// them out. A smoke run (CI: --benchmark_min_time below 0.1 s) only checks
// that a program still runs, so the long measurements shrink to a token.
[[nodiscard]] bool IsSmokeRun(int argc, char** argv);
// Whether a measurement of its own named pcName runs: always without a
// --benchmark_filter, else when the filter's pattern is found in the name.
[[nodiscard]] bool IsWanted(int argc, char** argv, const char* pcName);

// The process's peak resident set in bytes ("VmHWM" of /proc/self/status);
// 0 when it cannot be read.
[[nodiscard]] std::uint64_t PeakResidentBytes();
