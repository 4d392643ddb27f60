#include "bench/BenchSupport.h"

void RatioReporter::ReportRuns(const std::vector<Run>& kRuns)
{
    for (const Run& kRun : kRuns)
    {
        if (kRun.run_type == Run::RT_Iteration && kRun.iterations > 0)
            m_kTimes[kRun.run_name.function_name] = kRun.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(kRuns);
}
