// A new game's first morning as a player meets it: the game paused at once,
// cells built, then run at normal speed. The first arrival falls due as the
// game starts, before anything can be built, and finds no beds; its "no
// beds" message waits in the ticker behind the welcome messages. Once the
// player has built cells it is false by its turn, and is neither shown nor
// listed; a prison left without cells still hears it.

#include "tests/game/support/CPlayScript.h"

#include "game/shell/CGame.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace
{
constexpr std::int32_t NO_BEDS = CSpawnManager::MESSAGE_NO_BEDS;

class FirstMorningTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
    }

    // Frames at normal speed until 06:30; every frame the ticker's shown
    // message is noted.
    static bool RunToHalfPastSix(CPlayScript& kScript, bool& bShown)
    {
        if (!kScript.SetSpeedButton(1))
            return false;
        for (int i = 0; i < 4000 && kScript.Game().GetGameClock().m_fMinutes < 6.5f * 60.0f; ++i)
        {
            kScript.Frame();
            const CMainPanel* pkMain = CInterface::Get()->GetMainPanel();
            bShown = bShown || (pkMain->HasMessages() && pkMain->GetQueue().front().m_iMessage == NO_BEDS);
        }
        return kScript.Game().GetGameClock().m_fMinutes >= 6.5f * 60.0f;
    }
};

TEST_F(FirstMorningTest, CellsBuiltWhilePausedSilenceTheNoBedsMessage)
{
    CPlayScript kScript(21);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    // The arrival came due with the new game and found nothing built.
    const float fStart = kScript.Game().GetGameClock().m_fMinutes;
    EXPECT_LT(fStart, 6.25f * 60.0f);
    ASSERT_TRUE(CPlayScript::WasPosted(NO_BEDS));

    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    auto* pkBlock =
        dynamic_cast<CWorldObject*>(kScript.BuildOnYard("cellblock_small", 2 * pkYard->GetColumns() + 2));
    ASSERT_NE(pkBlock, nullptr) << kScript.Why();
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(kScript.BuildInside(*pkBlock, "cell_single")) << i << ": " << kScript.Why();
    kScript.LeaveBuilding();
    // Still paused: the clock has not moved while building.
    EXPECT_EQ(kScript.Game().GetGameClock().m_fMinutes, fStart);
    ASSERT_GT(kScript.Game().GetStatistics()->m_usBeds, 0);

    bool bShown = false;
    ASSERT_TRUE(RunToHalfPastSix(kScript, bShown)) << kScript.Why();
    EXPECT_FALSE(bShown);
    EXPECT_FALSE(CPlayScript::WasPosted(NO_BEDS));
    // The welcome messages ahead of it had their turn and were listed.
    EXPECT_FALSE(CInterface::Get()->GetMainPanel()->HasMessages());
    EXPECT_TRUE(kScript.Boxes().empty());
}

TEST_F(FirstMorningTest, APrisonLeftWithoutCellsIsToldItHasNoBeds)
{
    CPlayScript kScript(21);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    ASSERT_EQ(kScript.Game().GetStatistics()->m_usBeds, 0);
    bool bShown = false;
    ASSERT_TRUE(RunToHalfPastSix(kScript, bShown)) << kScript.Why();
    EXPECT_TRUE(bShown);
    EXPECT_TRUE(CPlayScript::WasPosted(NO_BEDS));
}
} // namespace
