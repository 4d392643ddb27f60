// The demo prices checked against the game's own money rules, from the
// balance a new free game shows: a room costs its price every day, a
// building a hundredth of its price, the administration ADMIN_COST each
// morning, a prisoner pays (security level + 1) x 1000 a day, and every
// guard a room hires his wage. The first prisons a new player can afford,
// each with the games table beside its cells, must not sink: the obvious
// first build (small block, six single cells, canteen, one serving counter)
// stays at or above 0 for four mornings even before a prisoner comes, and
// at six prisoners it earns; so does the two-bed one (small block, four
// double cells, canteen, counter, three tables) at eight; the larger build
// (small block, eight single cells, large block, canteen, counter) through
// the second morning without a prisoner (the prisoners of the first day pay
// for the third). A cell of a higher security level earns more than any of
// level 0. Every cell hires a guard, and the games table is what calms the
// bored: an object a bored prisoner looks for, placed in any cell block,
// hiring nobody, and cheaper a day than one prisoner's pay.

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
// Then the kind word, the score and the staff it hires.
constexpr std::size_t ROOM_STAFF = CBuildSubPanel::PARAMETER_PRICE + 5;
// A guard's daily wage: 100 per grade; a room hires the grade one above its
// security level, at most 3.
constexpr int WAGE_PER_GRADE = 100;
// A meal costs 10 to 19; a prisoner eats at most three times a day.
constexpr int FOOD_AT_MOST = 3 * 19;
constexpr int PAY_PER_LEVEL = 1000;

class NewPlayerEconomyTest : public FrameworkTest
{
public:
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
};

struct Costs
{
    int iPurchase = 0;
    int iDaily = 0;
    int iGuards = 0;
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
        // Every room of these builds that hires staff hires guards; a
        // guard's wage is booked when he is hired and again each morning.
        const int iGuards = iCount * NewPlayerEconomyTest::Parameter(pcName, ROOM_STAFF);
        const int iWage = WAGE_PER_GRADE * (std::min(NewPlayerEconomyTest::Parameter(pcName, ROOM_LEVEL), 2) + 1);
        kCosts.iGuards += iGuards;
        kCosts.iPurchase += iGuards * iWage;
        kCosts.iDaily += iGuards * iWage;
    }
    kCosts.iDaily += CGame::ADMIN_COST;
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
                          {{"cell_single", 6}, {"games_table", 1}, {"serving_counter", 1}}};
    const Costs kA = CostsOf(kFirst, fnPrice);
    // Six cells' guards and the counter's.
    EXPECT_EQ(kA.iGuards, 7);
    SCOPED_TRACE("start " + std::to_string(iStart) + ", first build " + std::to_string(kA.iPurchase) + " then " +
                 std::to_string(kA.iDaily) + " a day");
    for (int iMorning = 1; iMorning <= 4; ++iMorning)
        EXPECT_GE(iStart - kA.iPurchase - iMorning * kA.iDaily, 0) << "morning " << iMorning << ", no prisoner yet";
    const int iPrisoners = 6 * Parameter("cell_single", ROOM_PLACES);
    ASSERT_EQ(iPrisoners, 6);
    EXPECT_GE(iPrisoners * PAY_PER_LEVEL - kA.iDaily - iPrisoners * FOOD_AT_MOST, 0) << "a day at six prisoners";

    const Build kLarger = {{{"cellblock_small", 1}, {"cellblock_large", 1}, {"canteen_food", 1}},
                           {{"cell_single", 8}, {"games_table", 1}, {"serving_counter", 1}}};
    const Costs kB = CostsOf(kLarger, fnPrice);
    EXPECT_EQ(kB.iGuards, 9);
    ASSERT_LE(kB.iPurchase, iStart) << "the larger build is affordable";
    for (int iMorning = 1; iMorning <= 2; ++iMorning)
        EXPECT_GE(iStart - kB.iPurchase - iMorning * kB.iDaily, 0)
            << "larger build, morning " << iMorning << ", no prisoner yet: " << kB.iPurchase << " then " << kB.iDaily;

    const Build kDoubles = {{{"cellblock_small", 1}, {"canteen_food", 1}},
                            {{"cell_double", 4}, {"games_table", 1}, {"serving_counter", 1}, {"dining_table", 3}}};
    const Costs kC = CostsOf(kDoubles, fnPrice);
    // A guard for each two-bed cell as for each single one.
    EXPECT_EQ(kC.iGuards, 5);
    for (int iMorning = 1; iMorning <= 4; ++iMorning)
        EXPECT_GE(iStart - kC.iPurchase - iMorning * kC.iDaily, 0)
            << "two-bed build, morning " << iMorning << ", no prisoner yet: " << kC.iPurchase << " then " << kC.iDaily;
    const int iBeds = 4 * Parameter("cell_double", ROOM_PLACES);
    ASSERT_EQ(iBeds, 8);
    EXPECT_GE(iBeds * PAY_PER_LEVEL - kC.iDaily - iBeds * FOOD_AT_MOST, 0) << "a day at eight prisoners";
}

// What keeps a first prison's prisoners from fighting, as the build pages
// offer it: every cell, one bed or two, of any level, hires a guard (its
// kind word calls for no other staff); the games table goes into every cell
// block, is made as the kind of object a bored prisoner looks for (not a
// cell, food, work, care or an office), hires nobody and costs less a day
// than one prisoner pays.
TEST_F(NewPlayerEconomyTest, EveryCellHiresAGuardAndTheGamesTableCalmsTheBored)
{
    CPlayScript kScript(3);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    const CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    int iCells = 0;
    for (const char* pcCell : {"cell_single", "cell_double", "cell_secure", "cell_double_medium", "cell_double_high",
                               "cell_double_max"})
    {
        const COrvaneObjectTemplate* pkCell = pkManager->FindTemplate(pcCell);
        ASSERT_NE(pkCell, nullptr) << pcCell;
        ASSERT_STREQ(CBuildSubPanelInternal::FactoryName(*pkCell), "CellFactory") << pcCell;
        EXPECT_EQ(Parameter(pcCell, ROOM_STAFF), 1) << pcCell;
        const std::string& kWord = pkCell->m_kParameters[CBuildSubPanel::PARAMETER_CATEGORY_WORD];
        for (const char* pcOther : {"health", "indoor", "maint"})
            EXPECT_EQ(kWord.find(pcOther), std::string::npos) << pcCell << " hires no guard but " << pcOther;
        ++iCells;
    }
    EXPECT_EQ(iCells, 6);

    const COrvaneObjectTemplate* pkTable = pkManager->FindTemplate("games_table");
    ASSERT_NE(pkTable, nullptr);
    EXPECT_STREQ(CBuildSubPanelInternal::FactoryName(*pkTable), "PathableObjectFactory");
    const std::string& kWord = pkTable->m_kParameters[CBuildSubPanel::PARAMETER_CATEGORY_WORD];
    for (const char* pcBlock : {"cellblock_small", "cellblock_large", "cellblock_secure"})
        EXPECT_NE(std::string(pcBlock).find(kWord), std::string::npos) << pcBlock << " has no place for it";
    for (const char* pcOther : {"canteen_food", "workshop_maint", "hospital_health_therapy"})
        EXPECT_EQ(std::string(pcOther).find(kWord), std::string::npos) << pcOther;
    EXPECT_EQ(Parameter("games_table", ROOM_STAFF), 0);
    EXPECT_EQ(Parameter("games_table", ROOM_LEVEL), 0) << "a first prison's blocks take it";
    EXPECT_GE(Parameter("games_table", ROOM_PLACES), 1);
    EXPECT_LT(Price("games_table"), PAY_PER_LEVEL);
    EXPECT_GT(Price("games_table"), 0);
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
