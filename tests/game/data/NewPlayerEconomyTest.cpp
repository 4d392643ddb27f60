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
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoPrison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

namespace
{
// The language file's entry of a list: its three lines (English, German,
// French); empty when the list or the entry is missing.
std::array<std::string, 3> LanguageEntry(const std::string& kFile, const std::string& kList, std::size_t uiEntry)
{
    const std::size_t uiList = kFile.find("<" + kList + ">\r\n");
    const std::size_t uiListEnd = kFile.find("</" + kList + ">\r\n", uiList);
    if (uiList == std::string::npos || uiListEnd == std::string::npos)
        return {};
    const std::string kOpen = "<" + std::to_string(uiEntry) + ">\r\n";
    std::size_t uiAt = kFile.find(kOpen, uiList);
    if (uiAt == std::string::npos || uiAt > uiListEnd)
        return {};
    uiAt += kOpen.size();
    std::array<std::string, 3> akLines;
    for (std::string& kLine : akLines)
    {
        const std::size_t uiEnd = kFile.find("\r\n", uiAt);
        if (uiEnd == std::string::npos)
            return {};
        kLine = kFile.substr(uiAt, uiEnd - uiAt);
        uiAt = uiEnd + 2;
    }
    return akLines;
}
} // namespace

// A room's build page says what its guards cost on the day it is built,
// in each language: the figure after the day's words, the two joined by
// no-break spaces (the page's wrapping breaks only at plain ones) so that
// they read on one line. It is what placing the room takes beyond its
// price: a guard's wage is booked when he is hired and again when he
// arrives, and a room of a higher level hires a guard of a higher grade.
TEST_F(NewPlayerEconomyTest, ARoomsPageSaysWhatItsGuardCostsOnTheDayItIsBuilt)
{
    CPlayScript kScript(5);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    auto* pkBlock = dynamic_cast<CWorldObject*>(kScript.BuildOnYard("cellblock_small", 2 * pkYard->GetColumns() + 2));
    ASSERT_NE(pkBlock, nullptr) << kScript.Why();
    const CPrisonStatistics& kLedger = *kScript.Game().GetStatistics();
    const std::string kLanguage = ReadFileBytes(Folder() / "language.xml");

    // The cells page's entries in menu order.
    std::vector<std::string> kCellsPage;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
        if (kPlan.m_kCategory == "CONTENTSCELLS")
            kCellsPage.push_back(kPlan.m_kName);
    const char* const DAY_WORDS[3] = {"1st\xa0""day:\xa0", "1.\xa0Tag:\xa0", "Jour\xa0""1\xa0:\xa0"};
    struct Room
    {
        const char* pcName;
        int iPrice; // as the page shows it
        int iTaken; // what placing it takes
    };
    const Room ROOMS[] = {{"cell_single", 100, 300}, {"cell_double", 250, 450}};
    for (const Room& kRoom : ROOMS)
    {
        SCOPED_TRACE(kRoom.pcName);
        ASSERT_EQ(Price(kRoom.pcName), kRoom.iPrice);
        const int iBefore = kLedger.GetBalance();
        ASSERT_TRUE(kScript.BuildInside(*pkBlock, kRoom.pcName)) << kScript.Why();
        const int iTaken = iBefore - kLedger.GetBalance();
        EXPECT_EQ(iTaken, kRoom.iTaken);

        const auto itEntry = std::find(kCellsPage.begin(), kCellsPage.end(), kRoom.pcName);
        ASSERT_NE(itEntry, kCellsPage.end());
        const std::array<std::string, 3> akWords =
            LanguageEntry(kLanguage, "PRISON1TEMPLATESBUILD_OBJECTSCONTENTSCELLBLOCKS",
                          static_cast<std::size_t>(itEntry - kCellsPage.begin()));
        for (std::size_t l = 0; l < 3; ++l)
        {
            SCOPED_TRACE(l);
            const std::size_t uiDay = akWords[l].rfind(DAY_WORDS[l]);
            ASSERT_NE(uiDay, std::string::npos) << akWords[l];
            const std::string kFigure = akWords[l].substr(uiDay + std::string(DAY_WORDS[l]).size());
            ASSERT_FALSE(kFigure.empty()) << akWords[l];
            EXPECT_EQ(kFigure.find_first_not_of("0123456789"), std::string::npos) << akWords[l];
            EXPECT_EQ(std::atoi(kFigure.c_str()), iTaken - kRoom.iPrice) << akWords[l];
            EXPECT_EQ(std::atoi(kFigure.c_str()), DemoStaffCostOnBuildDay(kRoom.pcName));
        }
    }
    // A page of a room that hires nobody says nothing of it.
    EXPECT_EQ(DemoStaffCostOnBuildDay("games_table"), 0);
    EXPECT_EQ(DemoStaffCostOnBuildDay("dining_table"), 0);
    // Two guards, of the grade the room's level calls for.
    EXPECT_EQ(DemoStaffCostOnBuildDay("guard_room"), 2 * DemoStaffCostOnBuildDay("cell_single"));
    EXPECT_EQ(DemoStaffCostOnBuildDay("cell_secure"), 3 * DemoStaffCostOnBuildDay("cell_single"));
}

namespace
{
// The language list and entry of a plan's build-page description: one
// list per category, in menu order.
std::pair<std::string, std::size_t> PageEntry(const std::string& kName)
{
    std::string kCategory;
    std::size_t uiEntry = 0;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        if (kPlan.m_kCategory != kCategory)
        {
            kCategory = kPlan.m_kCategory;
            uiEntry = 0;
        }
        if (kPlan.m_kName == kName)
            return {"PRISON1TEMPLATESBUILD_OBJECTS" + (kCategory == "CONTENTSCELLS" ? "CONTENTSCELLBLOCKS" : kCategory),
                    uiEntry};
        ++uiEntry;
    }
    return {};
}
} // namespace

// Every plan that employs anybody says on its page, in each language, what
// they cost on the day it is built, and placing it on a game takes its
// price and that figure, no more: a doctor's, counsellor's, chaplain's and
// maintenance worker's wage is booked as he is hired and again as he
// arrives, like a guard's, and a building's or a room's posts book theirs
// once as it is built. A building held under the cursor employs nobody
// yet: the balance shows no wage of its posts until it is put down, and
// dropping it gives none back. A plan that employs nobody says nothing.
TEST_F(NewPlayerEconomyTest, EveryPagesStaffFigureIsWhatBuildingItTakesBesidesItsPrice)
{
    CPlayScript kScript(7);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    // Money, and the prison level the therapy and execution rooms call for.
    ASSERT_TRUE(kScript.EnterCheatCode(false)) << kScript.Why();
    kScript.AddCheatMoney(CPlayScript::CHEAT_PRESSES);
    for (int i = 0; i < 3; ++i)
        kScript.PressScanCode(0x2D); // x: score
    const CPrisonStatistics& kLedger = *kScript.Game().GetStatistics();
    ASSERT_GE(kLedger.m_usPrisonLevel, 2);
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    const std::string kLanguage = ReadFileBytes(Folder() / "language.xml");
    const char* const DAY_WORDS[3] = {"1st\xa0""day:\xa0", "1.\xa0Tag:\xa0", "Jour\xa0""1\xa0:\xa0"};

    int iStated = 0;
    const auto PageSays = [&](const std::string& kName, int iTaken) {
        SCOPED_TRACE(kName);
        const int iStaff = iTaken - Price(kName.c_str());
        EXPECT_EQ(DemoStaffCostOnBuildDay(kName), iStaff);
        const auto [kList, uiEntry] = PageEntry(kName);
        const std::array<std::string, 3> akWords = LanguageEntry(kLanguage, kList, uiEntry);
        for (std::size_t l = 0; l < 3; ++l)
        {
            SCOPED_TRACE(l);
            ASSERT_FALSE(akWords[l].empty()) << kList << " " << uiEntry;
            const std::size_t uiDay = akWords[l].rfind(DAY_WORDS[l]);
            if (iStaff == 0)
            {
                EXPECT_EQ(uiDay, std::string::npos) << akWords[l];
                continue;
            }
            ASSERT_NE(uiDay, std::string::npos) << akWords[l];
            const std::string kFigure = akWords[l].substr(uiDay + std::string(DAY_WORDS[l]).size());
            EXPECT_EQ(kFigure, std::to_string(iStaff)) << akWords[l];
            ++iStated;
        }
    };

    struct Place
    {
        const char* pcBuilding;
        std::int32_t iRow, iColumn;
        std::vector<const char*> kRooms;
    };
    const Place PLACES[] = {
        {"hospital_health_therapy", 20, 22, {"sick_bed", "medical_room", "therapy_room", "counselling_room"}},
        {"admin_staff_security_indoor", 30, 10, {"chapel", "execution_room"}},
        {"workshop_maint", 2, 22, {"maint_repair_room"}},
    };
    for (const Place& kPlace : PLACES)
    {
        const int iBefore = kLedger.GetBalance();
        auto* pkBuilding = dynamic_cast<CWorldObject*>(
            kScript.BuildOnYard(kPlace.pcBuilding, kPlace.iRow * pkYard->GetColumns() + kPlace.iColumn));
        ASSERT_NE(pkBuilding, nullptr) << kScript.Why();
        // The page picked the building up again for the next copy: held,
        // it has cost nothing, and dropped it gives nothing back.
        ASSERT_NE(CBuildPlacement::GetExisting()->GetObject(), nullptr);
        ASSERT_NE(CBuildPlacement::GetExisting()->GetObject(), pkBuilding);
        const int iHeld = kLedger.GetBalance();
        kScript.LeaveBuilding();
        kScript.Frame();
        EXPECT_EQ(CBuildPlacement::GetExisting()->GetObject(), nullptr);
        EXPECT_EQ(kLedger.GetBalance(), iHeld) << kPlace.pcBuilding;
        PageSays(kPlace.pcBuilding, iBefore - kLedger.GetBalance());
        for (const char* pcRoom : kPlace.kRooms)
        {
            const int iRoomBefore = kLedger.GetBalance();
            ASSERT_TRUE(kScript.BuildInside(*pkBuilding, pcRoom)) << kScript.Why();
            const int iRoomHeld = kLedger.GetBalance();
            kScript.LeaveBuilding();
            kScript.Frame();
            EXPECT_EQ(kLedger.GetBalance(), iRoomHeld) << pcRoom;
            PageSays(pcRoom, iRoomBefore - kLedger.GetBalance());
        }
    }
    // Every room above hires somebody, and the hospital and the
    // administration have posts; the workshop alone employs nobody.
    EXPECT_EQ(iStated, 3 * (7 + 2));
    // The figures the game's wages make: a doctor 250, a counsellor or a
    // chaplain 150, a worker 250, each twice; a post 25 once; the execution
    // room's guard of the third grade twice and its two guards' posts.
    EXPECT_EQ(DemoStaffCostOnBuildDay("sick_bed"), 500);
    EXPECT_EQ(DemoStaffCostOnBuildDay("medical_room"), 500);
    EXPECT_EQ(DemoStaffCostOnBuildDay("therapy_room"), 300);
    EXPECT_EQ(DemoStaffCostOnBuildDay("chapel"), 300);
    EXPECT_EQ(DemoStaffCostOnBuildDay("maint_repair_room"), 500);
    EXPECT_EQ(DemoStaffCostOnBuildDay("hospital_health_therapy"), 25);
    EXPECT_EQ(DemoStaffCostOnBuildDay("admin_staff_security_indoor"), 50);
    EXPECT_EQ(DemoStaffCostOnBuildDay("execution_room"), 650);
}
