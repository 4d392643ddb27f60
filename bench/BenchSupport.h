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
// baseline's, then the system's again..., each side the same number of
// units, each unit timed alone in processor time (this process's threads
// and the children it waited for) and the side read as the median of its
// units. A busy moment of a shared machine then falls on both sides of a
// pair alike, or on too few units of a side to move it; the median pair
// ratio is the figure.
struct PairRatio
{
    double m_dMedian = 0.0;
    double m_dLow = 0.0;  // the lowest pair ratio
    double m_dHigh = 0.0; // the highest
    // About 95 % bounds on the median (bench::SortedMedianBounds).
    double m_dMedianLow = 0.0;
    double m_dMedianHigh = 0.0;
    int m_iPairs = 0;
    int m_iUnits = 0; // units of work per side
    bool m_bSettled = false; // the bounds within PAIR_TOLERANCE of the median
    bool m_bSmoke = false;   // a smoke run's few pairs
    // The median processor seconds of one unit of each side.
    double m_dSystemUnit = 0.0;
    double m_dBaselineUnit = 0.0;
};

// The bounds on a full run's median, relative to it, at which pairs stop:
// two runs of one build then read within a few per cent of each other.
inline constexpr double PAIR_TOLERANCE = 0.03;

// One side of a pair: m_fnUnit does one unit of work and is timed; the
// optional m_fnBefore and m_fnAfter run around each unit outside its time
// (a scene loaded before each unit that frees it).
struct PairSide
{
    std::function<void()> m_fnUnit;
    std::function<void()> m_fnBefore;
    std::function<void()> m_fnAfter;
};

// fnSystem and fnBaseline each do one unit of work. Units per side are
// chosen so the two sides together take about twice dSideSeconds (a tenth
// of that in a smoke run), from the quickest of a few timings, so a busy
// moment while sizing moves the count little; 0 is one unit a side. A smoke run takes a fixed few pairs. A full run takes at
// least iPairs pairs and 31, for at least some seconds, then goes on until
// the median is settled or a time limit is reached; each side first in
// every other pair.
// The processor seconds so far of helper processes the measured work keeps
// alive (never waited for, so not among the children's), counted in each
// side's time from now on.
void CountHelperSeconds(std::function<double()> fnSeconds);

// The processor seconds so far of this process's threads, of the children
// it waited for and of the helpers counted: the clock each unit of a pair
// is timed by, for a measurement too long to repeat in pairs.
[[nodiscard]] double ProcessorSecondsSoFar();

[[nodiscard]] PairRatio MeasurePairs(int iPairs, double dSideSeconds, const std::function<void()>& fnSystem,
                                     const std::function<void()>& fnBaseline);
[[nodiscard]] PairRatio MeasurePairs(int iPairs, double dSideSeconds, const PairSide& kSystem,
                                     const PairSide& kBaseline);

// "<measure> = <ratio> (goal <= <goal>)" and a line on the pairs: their
// count, the median's bounds and the range of the pair ratios.
void PrintPairRatio(const char* pcMeasure, const PairRatio& kRatio, double dGoal);
// The line on the pairs alone, under a line of the caller's.
void PrintPairDetail(const PairRatio& kRatio);

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
