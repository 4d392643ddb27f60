// The demo prices checked against the game's own money rules, from the
// balance a new free game shows: a room costs its price every day, a
// building a hundredth of its price, the administration ADMIN_COST each
// morning, a prisoner pays (security level + 1) x 1000 a day. The first
// prisons a new player can afford must not sink: the obvious first build
// (small block, six single cells, canteen, one serving counter) stays at or
// above 0 for four mornings even before a prisoner comes, and at six
// prisoners it earns; the larger build (small block, eight single cells,
// large block, canteen, counter) stays at or above 0 through the third
// morning without a prisoner. A cell of a higher security level earns more
// than any of level 0.

#include "tests/game/support/CPlayScript.h"

#include "framework/COrvaneObjectTemplate.h"
#include "game/shell/CGame.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tools/COrvaneDemoData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace
{
// A room's parameters after the price: its places, then its security level.
constexpr std::size_t ROOM_PLACES = CBuildSubPanel::PARAMETER_PRICE + 1;
constexpr std::size_t ROOM_LEVEL = CBuildSubPanel::PARAMETER_PRICE + 2;
// The highest guard's daily wage (100 per grade, grades 1-3): whichever
// guard the counter hires costs no more.
constexpr int GUARD_WAGE_AT_MOST = 300;
// A meal costs 10 to 19; a prisoner eats at most three times a day.
constexpr int FOOD_AT_MOST = 3 * 19;
constexpr int PAY_PER_LEVEL = 1000;

class NewPlayerEconomyTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(BuildDemoData(Folder().string()));
    }

    static int Parameter(const char* pcTemplate, std::size_t uiIndex)
    {
        const COrvaneObjectTemplate* pkTemplate = CDynamicObjectManager::GetInstance()->FindTemplate(pcTemplate);
        EXPECT_NE(pkTemplate, nullptr) << pcTemplate;
        if (pkTemplate == nullptr || pkTemplate->m_kParameters.size() <= uiIndex)
            return -1;
        return std::atoi(pkTemplate->m_kParameters[uiIndex].c_str());
    }
    static int Price(const char* pcTemplate) { return Parameter(pcTemplate, CBuildSubPanel::PARAMETER_PRICE); }
};

// What a build costs to buy and then every day, its prisoners aside.
struct Build
{
    std::vector<std::pair<const char*, int>> kBuildings;
    std::vector<std::pair<const char*, int>> kRooms;
    int iGuards = 0;
};

struct Costs
{
    int iPurchase = 0;
    int iDaily = 0;
};

Costs CostsOf(const Build& kBuild, int (*fnPrice)(const char*))
{
    Costs kCosts;
    for (const auto& [pcName, iCount] : kBuild.kBuildings)
    {
        kCosts.iPurchase += iCount * fnPrice(pcName);
        kCosts.iDaily += iCount * (fnPrice(pcName) / 100);
    }
    for (const auto& [pcName, iCount] : kBuild.kRooms)
    {
        kCosts.iPurchase += iCount * fnPrice(pcName);
        kCosts.iDaily += iCount * fnPrice(pcName);
    }
    // A guard's wage is booked when he is hired and again each morning.
    kCosts.iPurchase += kBuild.iGuards * GUARD_WAGE_AT_MOST;
    kCosts.iDaily += kBuild.iGuards * GUARD_WAGE_AT_MOST + CGame::ADMIN_COST;
    return kCosts;
}
} // namespace

TEST_F(NewPlayerEconomyTest, TheFirstPrisonsANewPlayerCanAffordPayTheirWay)
{
    CPlayScript kScript(3);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    const int iStart = kScript.Game().GetStatistics()->GetBalance();
    ASSERT_GT(iStart, 0);
    auto* fnPrice = &NewPlayerEconomyTest::Price;

    const Build kFirst = {{{"cellblock_small", 1}, {"canteen_food", 1}},
                          {{"cell_single", 6}, {"serving_counter", 1}},
                          1};
    const Costs kA = CostsOf(kFirst, fnPrice);
    SCOPED_TRACE("start " + std::to_string(iStart) + ", first build " + std::to_string(kA.iPurchase) + " then " +
                 std::to_string(kA.iDaily) + " a day");
    for (int iMorning = 1; iMorning <= 4; ++iMorning)
        EXPECT_GE(iStart - kA.iPurchase - iMorning * kA.iDaily, 0) << "morning " << iMorning << ", no prisoner yet";
    const int iPrisoners = 6 * Parameter("cell_single", ROOM_PLACES);
    ASSERT_EQ(iPrisoners, 6);
    EXPECT_GE(iPrisoners * PAY_PER_LEVEL - kA.iDaily - iPrisoners * FOOD_AT_MOST, 0) << "a day at six prisoners";

    const Build kLarger = {{{"cellblock_small", 1}, {"cellblock_large", 1}, {"canteen_food", 1}},
                           {{"cell_single", 8}, {"serving_counter", 1}},
                           1};
    const Costs kB = CostsOf(kLarger, fnPrice);
    ASSERT_LE(kB.iPurchase, iStart) << "the larger build is affordable";
    for (int iMorning = 1; iMorning <= 3; ++iMorning)
        EXPECT_GE(iStart - kB.iPurchase - iMorning * kB.iDaily, 0)
            << "larger build, morning " << iMorning << ", no prisoner yet: " << kB.iPurchase << " then " << kB.iDaily;
}

TEST_F(NewPlayerEconomyTest, ACellOfAHigherLevelEarnsMoreThanAnyOfLevelZero)
{
    CPlayScript kScript(3);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    const char* const apcCells[] = {"cell_single",        "cell_double",      "cell_secure",
                                    "cell_double_medium", "cell_double_high", "cell_double_max"};
    // A full cell's day: its prisoners' pay at its level less its price.
    const auto Earns = [](const char* pcCell) {
        return Parameter(pcCell, ROOM_PLACES) * (Parameter(pcCell, ROOM_LEVEL) + 1) * PAY_PER_LEVEL - Price(pcCell);
    };
    int iBestLevelZero = 0;
    int iHigher = 0;
    for (const char* pcCell : apcCells)
        if (Parameter(pcCell, ROOM_LEVEL) == 0)
        {
            EXPECT_GT(Earns(pcCell), 0) << pcCell;
            iBestLevelZero = std::max(iBestLevelZero, Earns(pcCell));
        }
    for (const char* pcCell : apcCells)
        if (Parameter(pcCell, ROOM_LEVEL) > 0)
        {
            ++iHigher;
            EXPECT_GT(Earns(pcCell), iBestLevelZero) << pcCell;
        }
    EXPECT_EQ(iHigher, 4);
}
