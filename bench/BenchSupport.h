#pragma once

// Shared by the benchmark programs that end their run with ratio lines.

#include <benchmark/benchmark.h>

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
