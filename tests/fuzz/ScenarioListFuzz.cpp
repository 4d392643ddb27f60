// The scenario screen's list: any bytes as the one scenario file "SCENARIOS"
// names. Its number and level are read or 0; the entry is always there.

#include "framework/COrvaneTagTree.h"
#include "game/shell/CFrontEndScreens.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{
const fuzz::ScratchFile g_kFile(".fds");
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    const std::string kPath = g_kFile.GetPath();
    const std::string kName = kPath.substr(0, kPath.size() - 4);
    COrvaneTagTree kData;
    // A failed load leaves an empty document with its root.
    (void)kData.Load("");
    if (!kData.SelectSection("root", true) || !kData.AddChild("SCENARIOS") || !kData.SelectSection("<SCENARIOS>", true))
        std::abort();
    kData.AddValue(kName + "\r\n");
    CFrontEndScenarioSelect kScreen;
    kScreen.BuildScenarioList(&kData);
    if (kScreen.GetEntryCount() != 1 || kScreen.CurrentFile() != kName)
        std::abort();
    kScreen.NextScenario();
    kScreen.PreviousScenario();
    if (kScreen.GetCurrentIndex() != 0)
        std::abort();
    return 0;
}
