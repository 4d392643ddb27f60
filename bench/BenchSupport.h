#pragma once

// Shared by the benchmark programs that end their run with ratio lines.

#include <benchmark/benchmark.h>

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
// number of units. A busy moment of a shared machine then falls on both
// sides of a pair alike; the median pair ratio is the figure.
struct PairRatio
{
    double m_dMedian = 0.0;
    double m_dLow = 0.0;
    double m_dHigh = 0.0;
    int m_iPairs = 0;
    int m_iUnits = 0; // units of work per side
};

// fnSystem and fnBaseline each do one unit of work. Units per side are
// chosen so the baseline's side takes about dSideSeconds; at least 15 pairs.
[[nodiscard]] PairRatio MeasurePairs(int iPairs, double dSideSeconds, const std::function<void()>& fnSystem,
                                     const std::function<void()>& fnBaseline);

// "<measure> = <ratio> (goal <= <goal>)" and a line on the pairs.
void PrintPairRatio(const char* pcMeasure, const PairRatio& kRatio, double dGoal);
