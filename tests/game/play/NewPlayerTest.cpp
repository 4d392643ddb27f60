// A new player's first days, played through the window's input on a copy of
// the demo data: from the launcher to a new free game, the first prison a
// player would build put down by clicks, then the main panel's top speed
// with the parole desk closed each morning, each frame as long as a played
// game's on a 60 Hz display (the loop paces its frames to the display's
// refresh): people step and choose once a frame, so the game's longest
// frame, 0.05 s, plays another game, with fewer fights. Every first prison
// of the cells a newcomer's small block takes must hold its money at each
// of four mornings, deaths and escapes included as the desk shows them: the
// obvious one (small block, six single cells, canteen, one serving
// counter), the larger one (small block, eight single cells, large block,
// canteen, counter) and the two-bed one (small block, four double cells,
// canteen, counter, three tables), built as a newcomer builds them, with
// nothing against boredom. Fights, and so deaths, must stay rare: a death
// costs a sum drawn by chance, up to 25000, more than a day's earnings. The
// cells' guards keep anyone from escaping for want of guards. Each build is
// played on four seeds, one CTest test each.

#include "tests/game/support/CPlayScript.h"

#include "game/shell/CGame.h"
#include "game/shell/ui/CDeskTopPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

namespace
{
std::string Boxes(const CPlayScript& kScript)
{
    std::string kText;
    for (const CPlayScript::Box& kBox : kScript.Boxes())
        kText += kBox.m_kCaption + ": " + kBox.m_kText + "\n";
    return kText;
}

// A yard building and the rooms put inside it, in the order clicked.
struct Building
{
    const char* pcTemplate;
    std::int32_t iRow;
    std::int32_t iColumn;
    std::vector<const char*> kRooms;
};

struct Build
{
    const char* pcName;
    std::vector<Building> kBuildings;
    // The fourth morning not below the third, once the prison is full.
    bool bEarning;
    // Beds, for "full".
    int iBeds;
};

// The obvious first prison, the larger one (its cells first, as they lift
// the prison to the large block's level) and the two-bed one: the cells of
// level 0, the only ones a first prison's small block takes.
const Build OBVIOUS = {"Obvious",
                       {{"cellblock_small", 2, 2, std::vector<const char*>(6, "cell_single")},
                        {"canteen_food", 20, 2, {"serving_counter"}}},
                       true,
                       6};
const Build LARGER = {"Larger",
                      {{"cellblock_small", 2, 2, std::vector<const char*>(8, "cell_single")},
                       {"cellblock_large", 20, 22, {}},
                       {"canteen_food", 20, 2, {"serving_counter"}}},
                      false,
                      8};
const Build DOUBLES = {"Doubles",
                       {{"cellblock_small", 2, 2, std::vector<const char*>(4, "cell_double")},
                        {"canteen_food", 20, 2, {"serving_counter", "dining_table", "dining_table", "dining_table"}}},
                       false,
                       8};
struct Case
{
    const Build* pkBuild;
    std::uint32_t uiSeed;
};

// The case as CTest lists it: the build and the seed.
void PrintTo(const Case& kCase, std::ostream* pkOut)
{
    *pkOut << kCase.pkBuild->pcName << " seed " << kCase.uiSeed;
}

// A played game's frame on a 60 Hz display: the loop hands the game the
// time it measured, and the game's 0.05 s cap is three of these. People
// step and choose once a frame, so a longer frame is not the same game.
constexpr float DISPLAY_FRAME = 1.0f / 60.0f;
constexpr int MORNINGS = 4;
// A game day at speed 3 is 24 minutes of play, 86400 frames of
// DISPLAY_FRAME; the night's fade adds some.
constexpr int FRAMES_PER_MORNING = 100000;

// A morning's desk: what it shows.
struct Morning
{
    int iBalance = 0;
    int iPrisoners = 0;
    // Deaths and escapes: their costs are drawn by chance, up to 25000 a
    // death, which no price of the demo can cover.
    int iIncidents = 0;
};

class NewPlayerTest : public FrameworkTest, public testing::WithParamInterface<Case>
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
    }
};

TEST_P(NewPlayerTest, TheFirstPrisonKeepsItsMoney)
{
    const Case& kCase = GetParam();
    const Build& kBuild = *kCase.pkBuild;
    CPlayScript kScript(kCase.uiSeed);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    CGame& kGame = kScript.Game();
    const CPrisonStatistics& kLedger = *kGame.GetStatistics();
    const int iStart = kLedger.GetBalance();
    // Built paused, as a player reading the build menu is.
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    for (const Building& kBuilding : kBuild.kBuildings)
    {
        auto* pkBuilding = dynamic_cast<CWorldObject*>(
            kScript.BuildOnYard(kBuilding.pcTemplate, kBuilding.iRow * pkYard->GetColumns() + kBuilding.iColumn));
        ASSERT_NE(pkBuilding, nullptr) << kBuilding.pcTemplate << ": " << kScript.Why() << Boxes(kScript);
        for (std::size_t i = 0; i < kBuilding.kRooms.size(); ++i)
            ASSERT_TRUE(kScript.BuildInside(*pkBuilding, kBuilding.kRooms[i]))
                << kBuilding.kRooms[i] << " " << i << ": " << kScript.Why() << Boxes(kScript);
        kScript.LeaveBuilding();
    }
    EXPECT_EQ(kLedger.m_usBeds, kBuild.iBeds);
    EXPECT_EQ(kScript.m_iEnteredWithoutClick, 0);
    const int iBuilt = kLedger.GetBalance();
    EXPECT_GE(iBuilt, 0);
    std::printf("%s: %d at the start, %d built\n", kBuild.pcName, iStart, iBuilt);

    // The main panel's fastest speed at a played game's frame rate; each
    // morning the desk is read and left.
    ASSERT_TRUE(kScript.SetSpeedButton(3)) << kScript.Why();
    kScript.SetFrameTime(DISPLAY_FRAME);
    std::vector<Morning> kMornings;
    bool bEscapeMessage = false;
    for (int i = 0; i < FRAMES_PER_MORNING * MORNINGS && static_cast<int>(kMornings.size()) < MORNINGS; ++i)
    {
        kScript.Frame();
        bEscapeMessage = bEscapeMessage || CPlayScript::WasPosted(CAIPrisoner::MESSAGE_ESCAPE);
        const CInterface* pkInterface = CInterface::Get();
        if (pkInterface == nullptr || !pkInterface->IsDeskTopShown())
            continue;
        kMornings.push_back({kLedger.GetBalance(), kLedger.m_usPrisonersNow, kLedger.m_iIncidentCosts});
        std::printf("%s, morning %zu: %d with %d prisoners; %s\n", kBuild.pcName, kMornings.size(),
                    kMornings.back().iBalance, kMornings.back().iPrisoners, kLedger.FormatLine().c_str());
        ASSERT_TRUE(kScript.ClickDeskTop(CDeskTopPanel::WIDGET_LEAVE)) << kScript.Why();
        ASSERT_FALSE(CInterface::Get()->IsDeskTopShown());
        // Still the top speed after the desk.
        ASSERT_EQ(kGame.GetGameSpeed(), 3.0f);
    }
    ASSERT_EQ(static_cast<int>(kMornings.size()), MORNINGS);
    // The money holds as the desk shows it: at or above 0 each morning.
    for (std::size_t i = 0; i < kMornings.size(); ++i)
        EXPECT_GE(kMornings[i].iBalance, 0) << "morning " << i + 1;
    // Full at the third morning, the prison earns on to the fourth.
    if (kBuild.bEarning && kMornings[2].iPrisoners >= kBuild.iBeds)
    {
        EXPECT_GE(kMornings[3].iBalance + kMornings[3].iIncidents, kMornings[2].iBalance + kMornings[2].iIncidents);
    }
    // Angry prisoners fight where no guard stands, on the yard: while a
    // block's ground floor led out to the yard as often as up its stairs,
    // the larger and the two-bed builds saw 14 to 23 knockdowns here, all on
    // the yard, and up to six deaths.
    EXPECT_LE(kLedger.m_usKnockdowns, 10) << "fights are common";
    EXPECT_FALSE(bEscapeMessage) << "a prisoner escaped for want of guards";
    EXPECT_GT(kMornings.back().iPrisoners, 0);
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}

std::vector<Case> Cases()
{
    std::vector<Case> kCases;
    for (const Build* pkBuild : {&OBVIOUS, &LARGER, &DOUBLES})
        for (const std::uint32_t uiSeed : {11u, 12u, 13u, 14u})
            kCases.push_back({pkBuild, uiSeed});
    return kCases;
}

INSTANTIATE_TEST_SUITE_P(FourSeeds, NewPlayerTest, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<Case>& kInfo) {
                             return std::string(kInfo.param.pkBuild->pcName) + "Seed" +
                                    std::to_string(kInfo.param.uiSeed);
                         });
} // namespace
