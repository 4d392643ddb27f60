// The memory the game needs: the play-through's first three steps (launcher
// Play, a free game on level 0, the prison built with the mouse; cheats and
// speed 12 for 30 game days with the morning's parole desk; at noon paused,
// saved, loaded, saved again, and a damaged save refused), then five more
// days at speed 12, all on the `gl` back end under SDL's offscreen driver.
// The figure is the process's peak resident set; goal: 256 MB at most.

#include "bench/BenchSupport.h"
#include "bench/MemoryGoal.h"
#include "bench/game/BenchGame.h"
#include "game/shell/CGame.h"
#include "game/shell/SaveNames.h"
#include "game/shell/ui/CDeskTopPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "platform/os/OsSystem.h"
#include "tests/game/support/CPlayScript.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
constexpr int DAYS = 30;
constexpr int MORE_DAYS = 5;
constexpr double GOAL_MB = 256.0;

// "<name>.fds" of the save folder.
std::filesystem::path SavePath(const std::string& kName)
{
    return std::filesystem::path(SAVE_FOLDER) / (kName + ".fds");
}

// A copy of the save cut in the middle of its objects section; false when
// the save has none.
bool WriteCutCopy(const std::string& kFrom, const std::string& kTo)
{
    std::ifstream kIn(SavePath(kFrom), std::ios::binary);
    const std::string kBytes((std::istreambuf_iterator<char>(kIn)), std::istreambuf_iterator<char>());
    const std::size_t uiStart = kBytes.find("<OBJECTS>");
    const std::size_t uiEnd = kBytes.find("</OBJECTS>", uiStart);
    if (uiStart == std::string::npos || uiEnd == std::string::npos)
        return false;
    std::ofstream kOut(SavePath(kTo), std::ios::binary | std::ios::trunc);
    kOut.write(kBytes.data(), static_cast<std::streamsize>(uiStart + (uiEnd - uiStart) / 2));
    return kOut.good();
}

struct Run
{
    bool m_bPlayed = false;
    // A step the script could not do, and why; the run goes on without it.
    std::string m_kSkipped;
    std::size_t m_uiBoxes = 0;
};

// Steps 1 to 3 and the further days. A smoke run builds, saves and loads
// without running days.
Run Play(CPlayScript& kScript, bool bSmoke)
{
    Run kRun;
    const auto Why = [&kScript](const char* pcStep) {
        std::string kText = std::string(pcStep) + ": " + kScript.Why();
        for (const CPlayScript::Box& kBox : kScript.Boxes())
            kText += "; box " + kBox.m_kCaption + ": " + kBox.m_kText;
        return kText;
    };
    const auto Fail = [&](const char* pcStep) {
        std::fprintf(stderr, "play_memory: %s\n", Why(pcStep).c_str());
        return kRun;
    };
    if (!kScript.Start() || !kScript.EnterFreeGame())
        return Fail("start");
    if (!kScript.BuildPrison())
        return Fail("building");
    if (!kScript.EnterCheatCode(true))
        return Fail("cheats and speed 12");
    // Each morning of an odd day the first parole candidate is granted.
    const auto Morning = [&kScript](int iDay) {
        CSpawnManager* pkSpawn = kScript.Game().GetSpawnManager();
        if (iDay % 2 == 1 && pkSpawn != nullptr && !pkSpawn->GetParoleCandidates().empty())
            (void)kScript.ClickDeskTop(CDeskTopPanel::WIDGET_GRANT);
    };
    if (!bSmoke && (!kScript.RunDays(DAYS, Morning) || !kScript.RunUntilHour(12.0f)))
        return Fail("the days");
    CInterface* pkInterface = CInterface::Get();
    if (pkInterface == nullptr || pkInterface->GetMainPanel() == nullptr ||
        !kScript.ClickWidget(*pkInterface->GetMainPanel(), CMainPanel::WIDGET_SPEED_0))
        return Fail("noon's pause");
    kRun.m_uiBoxes = kScript.Boxes().size();
    if (!kScript.SaveAs("run1") || !kScript.LoadFrom("run1") || !kScript.SaveAs("run2"))
    {
        kRun.m_kSkipped = Why("save, load and save again");
    }
    else
    {
        kRun.m_uiBoxes = kScript.Boxes().size();
        // The damaged save: a box, and the game goes on.
        if (WriteCutCopy("run1", "cut"))
            (void)kScript.LoadFrom("cut");
    }
    kScript.ClearBoxes();
    // Every panel closed (a failed step may have left one open and the game
    // held paused), then speed 12 again.
    kScript.LeaveBuilding();
    if (kScript.Game().IsPanelPaused())
    {
        if (CInterface* pkOpen = CInterface::Get())
            pkOpen->CloseAllPanels();
        kScript.Game().SetPanelPause(false);
        kScript.Frame();
    }
    if (!kScript.EnterCheatCode(true) || (!bSmoke && !kScript.RunDays(MORE_DAYS, Morning)))
        return Fail("the further days");
    kRun.m_uiBoxes += kScript.Boxes().size();
    kRun.m_bPlayed = true;
    return kRun;
}
} // namespace

int main(int argc, char** argv)
{
    const bool bSmoke = IsSmokeRun(argc, argv);
    const bool bWanted = IsWanted(argc, argv, "play_memory");
    benchmark::Initialize(&argc, argv);
    if (!bWanted)
        return 0;
    UseOffscreenDrivers();
    Run kRun;
    {
        std::string kTemplate = (std::filesystem::temp_directory_path() / "orvane-bench-XXXXXX").string();
        if (mkdtemp(kTemplate.data()) == nullptr ||
            !CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, kTemplate))
        {
            std::fprintf(stderr, "play_memory: cannot copy the demo data\n");
            return 1;
        }
        const std::filesystem::path kPrevious = std::filesystem::current_path();
        std::filesystem::current_path(kTemplate);
        if (os::Startup())
        {
            CPlayScript kScript(44);
            kRun = Play(kScript, bSmoke);
        }
        os::Shutdown();
        std::error_code kError;
        std::filesystem::current_path(kPrevious, kError);
        std::filesystem::remove_all(kTemplate, kError);
    }
    const double dMb = static_cast<double>(PeakResidentBytes()) / (1024.0 * 1024.0);
    if (!kRun.m_bPlayed)
        return 1;
    // The ratio printed to four places and the verdict on the figure as
    // measured: a miss by a fraction of a megabyte is a miss.
    const bool bMet = bench::MemoryGoalMet(dMb, GOAL_MB);
    std::printf("peak RSS = %.2f MB; %.2f / %.0f = %.4f (goal R <= 1.00): %s\n", dMb, dMb, GOAL_MB, dMb / GOAL_MB,
                bMet ? "met" : "MISSED");
    std::printf("  %d + %d game days; other boxes: %zu\n", bSmoke ? 0 : DAYS, bSmoke ? 0 : MORE_DAYS, kRun.m_uiBoxes);
    if (!kRun.m_kSkipped.empty())
        std::printf("  left out: %s\n", kRun.m_kSkipped.c_str());
    benchmark::Shutdown();
    return bMet ? 0 : 2;
}
