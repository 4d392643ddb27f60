// The game played end to end through its window's input on a copy of the
// demo data: launcher, front end, a prison built with the mouse, game days
// at speed 12 with the morning's parole desk, saves and loads through the
// options panel.

#include "tests/game/support/CPlayScript.h"

#include "framework/COrvaneObjectTemplate.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <csignal>
#include <filesystem>

namespace
{
// Line 18 of a save: the total time the program ran.
constexpr std::size_t TOTAL_TIME_LINE = 17;

std::string Boxes(const CPlayScript& kScript)
{
    std::string kText;
    for (const CPlayScript::Box& kBox : kScript.Boxes())
        kText += kBox.m_kCaption + ": " + kBox.m_kText + "\n";
    return kText;
}

int Price(const CBaseObject& kObject)
{
    const COrvaneObjectTemplate* pkTemplate = kObject.GetTemplate();
    return pkTemplate != nullptr && pkTemplate->m_kParameters.size() > CBuildSubPanel::PARAMETER_PRICE
               ? std::atoi(pkTemplate->m_kParameters[CBuildSubPanel::PARAMETER_PRICE].c_str())
               : -1;
}

// The lines of a save, the total-time line left out: real frames pass
// between two saves of one moment.
std::vector<std::string> LinesButTotalTime(const std::string& kBytes)
{
    std::vector<std::string> kLines;
    std::size_t uiFrom = 0;
    while (uiFrom < kBytes.size())
    {
        const std::size_t uiEnd = kBytes.find("\r\n", uiFrom);
        kLines.push_back(kBytes.substr(uiFrom, uiEnd == std::string::npos ? std::string::npos : uiEnd - uiFrom));
        uiFrom = uiEnd == std::string::npos ? kBytes.size() : uiEnd + 2;
    }
    if (kLines.size() > TOTAL_TIME_LINE)
        kLines[TOTAL_TIME_LINE].clear();
    return kLines;
}

class PlayThroughTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        // The device that shows nothing, unless the caller chose one.
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
    }
};

// Launcher Play, main menu 1, location 1: a free game on level 0; then the
// five buildings and a fence put down with the mouse through the grounds
// build panel. The money falls by their prices (after the cheat money).
TEST_F(PlayThroughTest, TheLauncherLeadsToAFreeGameWhereTheMouseBuildsThePrison)
{
    CPlayScript kScript(44);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    EXPECT_EQ(kScript.Game().GetLevelNumber(), 0u);
    const CPrisonStatistics& kLedger = *kScript.Game().GetStatistics();
    const int iPurchases = kLedger.m_iPurchases;
    const int iIncome = kLedger.m_iOtherIncome;
    ASSERT_TRUE(kScript.BuildGrounds()) << kScript.Why() << Boxes(kScript);
    ASSERT_EQ(kScript.m_kBuilt.size(), 5u);
    int iPrices = 500; // the fence
    for (const CWorldObject* pkBuilding : kScript.m_kBuilt)
    {
        EXPECT_TRUE(pkBuilding->IsPlaced());
        ASSERT_GT(Price(*pkBuilding), 0);
        iPrices += Price(*pkBuilding);
    }
    EXPECT_EQ(kLedger.m_iPurchases - iPurchases, iPrices);
    EXPECT_EQ(kLedger.m_iOtherIncome - iIncome, CPlayScript::CHEAT_PRESSES * 10000);
    std::printf("%s\n", kLedger.FormatLine().c_str());
    EXPECT_EQ(kScript.Game().GetGameSpeed(), 0.0f);
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}


// Damaged or foreign files in "maps" chosen for loading: a box names the
// file (and the line), the game goes on unchanged. A save over an existing
// one that fails (the disk full, the temporary file not writable): a box,
// the old save byte for byte as it was.
TEST_F(PlayThroughTest, BadFilesAndFailedSavesLeaveTheGameAndTheOldSave)
{
    CPlayScript kScript(7);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    ASSERT_TRUE(kScript.SaveAs("mine")) << kScript.Why() << Boxes(kScript);
    const std::string kMine = ReadFileBytes("maps/mine.fds");
    ASSERT_FALSE(kMine.empty());
    ASSERT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);

    // The game as it stands, saved: the reference for "unchanged".
    const auto Unchanged = [&kScript](const std::string& kName) {
        SCOPED_TRACE(kName);
        ASSERT_TRUE(kScript.Game().SaveGame("maps/check.fds"));
        EXPECT_EQ(LinesButTotalTime(ReadFileBytes("maps/check.fds")), LinesButTotalTime(ReadFileBytes("maps/mine.fds")));
    };
    const std::size_t uiObjects = kMine.find("<OBJECTS>\r\n");
    ASSERT_NE(uiObjects, std::string::npos);
    WriteFileBytes("maps/cut.fds", kMine.substr(0, uiObjects + 40));
    WriteFileBytes("maps/garbage.fds", std::string("\x89PNG\r\n\x1a\n\0\0garbage\xff\xfe", 20));
    std::filesystem::create_directories("maps/x.fds");
    const struct
    {
        const char* pcName;
        const char* pcBox;
    } akBad[] = {
        {"cut", "Could not load \"cut.fds\": the file is damaged (line "},
        {"garbage", "Could not load \"garbage.fds\": the file is damaged (line 1)."},
        {"x", "Could not load \"x.fds\""},
    };
    for (const auto& kBad : akBad)
    {
        SCOPED_TRACE(kBad.pcName);
        kScript.ClearBoxes();
        (void)kScript.LoadFrom(kBad.pcName);
        ASSERT_EQ(kScript.Boxes().size(), 1u) << kScript.Why() << Boxes(kScript);
        EXPECT_EQ(kScript.Boxes()[0].m_kText.rfind(kBad.pcBox, 0), 0u) << kScript.Boxes()[0].m_kText;
        EXPECT_EQ(kScript.Game().GetState(), CGame::STATE_IN_GAME);
        Unchanged(kBad.pcName);
    }

    // Over "mine": the disk fills after every byte count up to the new
    // file's size; then the temporary file cannot be made.
    kScript.ClearBoxes();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit kLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kLimit), 0);
    for (const std::size_t uiBytes : {std::size_t{0}, std::size_t{1}, kMine.size() / 2, kMine.size() - 1})
    {
        SCOPED_TRACE(uiBytes);
        kScript.ClearBoxes();
        rlimit kSmall = kLimit;
        kSmall.rlim_cur = uiBytes;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kSmall), 0);
        const bool bSaved = kScript.SaveAs("mine");
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kLimit), 0);
        EXPECT_FALSE(bSaved && kScript.Boxes().empty());
        ASSERT_EQ(kScript.Boxes().size(), 1u) << kScript.Why() << Boxes(kScript);
        EXPECT_EQ(kScript.Boxes()[0].m_kText, "Could not save the game to maps/mine.fds.");
        EXPECT_EQ(ReadFileBytes(Folder() / "maps/mine.fds"), kMine);
        EXPECT_FALSE(std::filesystem::exists(Folder() / "maps/mine.fds.tmp"));
        // The panel stays for another try: closed by its close button.
        kScript.CloseFilePanel();
    }
    std::signal(SIGXFSZ, SIG_DFL);
    std::filesystem::create_directory("maps/mine.fds.tmp");
    kScript.ClearBoxes();
    (void)kScript.SaveAs("mine");
    ASSERT_EQ(kScript.Boxes().size(), 1u) << Boxes(kScript);
    kScript.CloseFilePanel();
    EXPECT_EQ(ReadFileBytes("maps/mine.fds"), kMine);
    Unchanged("after the failed saves");
    EXPECT_EQ(kScript.Game().GetState(), CGame::STATE_IN_GAME);
}
} // namespace
