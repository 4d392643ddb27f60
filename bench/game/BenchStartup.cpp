// The game's start on the demo data, in process, on the `gl` back end under
// SDL's offscreen driver with dummy audio: from the launcher's Play (clicked
// by the dialog's idle hook) to the first front-end frame presented, the
// median of 21 fresh starts. Goal: under 1000 ms. The baseline, in the same
// run, is reading every file the start opened (as the path resolver
// recorded them) into memory.

#include "bench/BenchSupport.h"
#include "bench/game/BenchGame.h"
#include "framework/COrvaneApplication.h"
#include "game/shell/CGame.h"
#include "game/shell/CStartUp.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsDialogWindow.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsSystem.h"
#include "platform/os/OsWindow.h"
#include "tests/platform/os/OsInputInjection.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;
// Odd, so the median is one start's; enough that a slow start or two on a
// shared machine do not move it.
constexpr int STARTS = 21;
constexpr int SMOKE_STARTS = 1;
// Idle passes of the launcher after the click before it counts as stuck.
constexpr int STUCK_PASSES = 50;

// The game as it ships; its first front-end frame notes the time and closes
// the window, as the player would.
class TimedGame : public CGame
{
public:
    void Render() override
    {
        CGame::Render();
        if (m_bPresented || GetState() != STATE_FRONT_END)
            return;
        m_bPresented = true;
        m_kPresented = Clock::now();
        (void)os::PostMessage(os::GetMainWindow(), os::WM_CLOSE, 0, 0);
    }
    bool m_bPresented = false;
    Clock::time_point m_kPresented;
};

class TimedGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override
    {
        auto pkGame = std::make_unique<TimedGame>();
        m_pkGame = pkGame.get();
        return pkGame;
    }
    TimedGame* m_pkGame = nullptr;
};

struct Point
{
    int m_iX = -1;
    int m_iY = -1;
};

// Where the launcher's Play button is: the launcher read once without being
// shown (it plays at once then, saving nothing).
Point FindPlay()
{
    FreshProcess kProcess;
    CStartUp kLauncher;
    CStartUp::SetShownWhenHeadless(false);
    if (!kLauncher.Run())
        return {};
    for (const auto* pkList : {&kLauncher.GetOptionButtons(), &kLauncher.GetTextButtons()})
        for (const auto& pkButton : *pkList)
            if (pkButton->m_iAction == CStartUp::ACTION_PLAY)
                return {(pkButton->m_iLeft + pkButton->m_iRight) / 2, (pkButton->m_iTop + pkButton->m_iBottom) / 2};
    return {};
}

struct Start
{
    bool m_bDone = false;
    double m_dMs = 0.0;
    std::size_t m_uiBoxes = 0;
};

// One fresh start: the launcher shown, Play clicked as soon as it waits,
// the clock from the click to the first front-end frame.
Start StartOnce(const Point& kPlay, std::set<std::string>& kOpened)
{
    Start kResult;
    FreshProcess kProcess;
    os::SetPathRecorder([&kOpened](const std::string& kPath) { kOpened.insert(kPath); });
    CStartUp::SetShownWhenHeadless(true);
    Clock::time_point kClicked;
    int iPasses = 0;
    os::SetDialogIdleHook([&](os::DialogWindow& kWindow) {
        if (iPasses++ == 0)
        {
            kClicked = Clock::now();
            ostest::InjectDialogMotion(kWindow.GetWindowId(), kPlay.m_iX, kPlay.m_iY);
            ostest::InjectDialogClick(kWindow.GetWindowId(), kPlay.m_iX, kPlay.m_iY);
        }
        else if (iPasses > STUCK_PASSES)
        {
            ostest::InjectDialogClose(kWindow.GetWindowId());
        }
    });
    TimedGameFactory kGames;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    if (pkApp != nullptr && pkApp->Init(nullptr, kGames, 1024, 768) && pkApp->Start())
        (void)pkApp->Run();
    os::SetDialogIdleHook(nullptr);
    os::SetPathRecorder(nullptr);
    if (kGames.m_pkGame != nullptr && kGames.m_pkGame->m_bPresented && iPasses > 0)
    {
        kResult.m_bDone = true;
        kResult.m_dMs = std::chrono::duration<double, std::milli>(kGames.m_pkGame->m_kPresented - kClicked).count();
    }
    kResult.m_uiBoxes = kProcess.GetBoxes().size();
    for (const std::string& kBox : kProcess.GetBoxes())
        std::fprintf(stderr, "startup: box \"%s\"\n", kBox.c_str());
    return kResult;
}

// Every opened file read whole into memory; the milliseconds taken.
double ReadAll(const std::vector<std::string>& kFiles, std::uint64_t& uiBytes)
{
    uiBytes = 0;
    std::vector<char> kBuffer;
    const Clock::time_point kStart = Clock::now();
    for (const std::string& kPath : kFiles)
    {
        std::FILE* pkFile = std::fopen(kPath.c_str(), "rb");
        if (pkFile == nullptr)
            continue;
        std::fseek(pkFile, 0, SEEK_END);
        const long lSize = std::ftell(pkFile);
        std::fseek(pkFile, 0, SEEK_SET);
        kBuffer.resize(static_cast<std::size_t>(std::max(lSize, 0L)));
        uiBytes += std::fread(kBuffer.data(), 1, kBuffer.size(), pkFile);
        std::fclose(pkFile);
        benchmark::DoNotOptimize(kBuffer.data());
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - kStart).count();
}

double Median(std::vector<double> kValues)
{
    std::sort(kValues.begin(), kValues.end());
    const std::size_t n = kValues.size();
    return n == 0 ? 0.0 : n % 2 ? kValues[n / 2] : 0.5 * (kValues[n / 2 - 1] + kValues[n / 2]);
}
} // namespace

int main(int argc, char** argv)
{
    const bool bSmoke = IsSmokeRun(argc, argv);
    const bool bWanted = IsWanted(argc, argv, "startup");
    benchmark::Initialize(&argc, argv);
    if (!bWanted)
        return 0;
    UseOffscreenDrivers();
    DemoFolder kFolder;
    if (!kFolder.Create(ORVANE_DEMO_DATA))
        return 1;

    const Point kPlay = FindPlay();
    if (kPlay.m_iX < 0)
    {
        std::fprintf(stderr, "startup: the launcher has no Play button\n");
        return 1;
    }
    std::set<std::string> kOpened;
    std::vector<double> kStarts;
    std::size_t uiBoxes = 0;
    for (int i = 0; i < (bSmoke ? SMOKE_STARTS : STARTS); ++i)
    {
        const Start kStart = StartOnce(kPlay, kOpened);
        if (!kStart.m_bDone)
        {
            std::fprintf(stderr, "startup: start %d did not reach the front end\n", i + 1);
            return 1;
        }
        kStarts.push_back(kStart.m_dMs);
        uiBoxes += kStart.m_uiBoxes;
    }
    os::Shutdown();

    // The files among the paths resolved (folders and names that matched
    // nothing are left out).
    std::vector<std::string> kFiles;
    for (const std::string& kPath : kOpened)
    {
        std::error_code kError;
        if (std::filesystem::is_regular_file(kPath, kError))
            kFiles.push_back(kPath);
    }
    std::vector<double> kReads;
    std::uint64_t uiBytes = 0;
    (void)ReadAll(kFiles, uiBytes); // warm, as the starts found them
    for (std::size_t i = 0; i < kStarts.size(); ++i)
        kReads.push_back(ReadAll(kFiles, uiBytes));

    const double dStart = Median(kStarts);
    const double dRead = Median(kReads);
    std::printf("start to front end = %.0f ms (goal < 1000 ms)\n", dStart);
    std::printf("start / raw read = %.1f\n", dRead > 0.0 ? dStart / dRead : 0.0);
    std::printf("  median of %zu fresh starts, %.0f to %.0f ms; %zu files opened, %.1f MB, read in %.2f ms; %zu boxes\n",
                kStarts.size(), *std::min_element(kStarts.begin(), kStarts.end()),
                *std::max_element(kStarts.begin(), kStarts.end()), kFiles.size(),
                static_cast<double>(uiBytes) / (1024.0 * 1024.0), dRead, uiBoxes);
    benchmark::Shutdown();
    return uiBoxes == 0 ? 0 : 1;
}
