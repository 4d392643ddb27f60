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

namespace
{
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
} // namespace
