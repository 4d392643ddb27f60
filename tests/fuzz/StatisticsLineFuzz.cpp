// The ledger's save line, read from a scratch file line after line the way a
// save's statistics section is read. A refused line must leave the ledger as
// it was; an accepted one must leave a ledger whose own line reads back to
// the same ledger.

#include "framework/COrvaneFile.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
const fuzz::ScratchFile g_kFile(".txt");

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    COrvaneFile kFile;
    if (kFile.Open(g_kFile.GetPath(), COrvaneFile::MODE_READ) == 0)
        return 0;

    CPrisonStatistics kStats;
    while (!kFile.IsEof())
    {
        const std::string kBefore = kStats.FormatLine();
        if (!kStats.Load(kFile))
        {
            Check(kStats.FormatLine() == kBefore);
            continue;
        }
        int aiValues[CPrisonStatistics::LINE_VALUES];
        CPrisonStatistics::ParseLine(kStats.FormatLine(), aiValues);
        CPrisonStatistics kAgain;
        kAgain.ApplyLine(aiValues);
        Check(kAgain.FormatLine() == kStats.FormatLine());
    }
    Check(!kStats.Load(kFile));
    return 0;
}
