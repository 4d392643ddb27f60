#include "game/simulation/objects/CPrisonStatistics.h"

#include "framework/COrvaneFile.h"
#include "game/simulation/characters/CCharacterStats.h"
#include "game/simulation/objects/CObjectRecord.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace
{

using CPrisonStatisticsFileTest = FrameworkTest;

const char* const FRESH_LINE = "100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500";

CCharacterStats MakePerson(std::uint16_t usLevel, std::uint16_t usTerm, std::uint16_t usWage)
{
    CCharacterStats kPerson;
    kPerson.m_usSecurityLevel = usLevel;
    kPerson.m_usTerm = usTerm;
    kPerson.m_usWage = usWage;
    return kPerson;
}

TEST(CPrisonStatistics, ScoreSetsTheLevelAtItsEdges)
{
    CPrisonStatistics kStats;
    const std::pair<int, int> akEdges[] = {
        {-5, 0}, {99, 0}, {100, 1}, {249, 1}, {250, 2}, {499, 2}, {500, 3}, {100000, 3}};
    for (const auto& [iScore, iLevel] : akEdges)
    {
        kStats.AddScore(iScore - kStats.m_iScore);
        EXPECT_EQ(kStats.m_iScore, iScore);
        EXPECT_EQ(kStats.m_usPrisonLevel, iLevel) << iScore;
    }
}

TEST(CPrisonStatistics, OrderStaysWithinItsRange)
{
    CPrisonStatistics kStats;
    kStats.m_iOrder = 995;
    kStats.AddOrder(10);
    EXPECT_EQ(kStats.m_iOrder, 1000);
    kStats.m_iOrder = 3;
    kStats.AddOrder(-10);
    EXPECT_EQ(kStats.m_iOrder, 0);
    kStats.AddOrder(7);
    EXPECT_EQ(kStats.m_iOrder, 7);
}

TEST(CPrisonStatistics, StaffCategoriesLieInTheirStoredOrder)
{
    CPrisonStatistics kStats;
    kStats.CountCategory(1);
    kStats.CountCategory(1);
    kStats.CountCategory(2);
    kStats.CountCategory(4);
    kStats.CountCategory(-1);
    EXPECT_EQ(kStats.m_akStaff[0].m_usServices, 0);
    EXPECT_EQ(kStats.m_akStaff[1].m_usServices, 1);
    EXPECT_EQ(kStats.m_akStaff[2].m_usServices, 2);
    EXPECT_EQ(kStats.m_akStaff[3].m_usServices, 0);
    EXPECT_EQ(kStats.GetStaffGroup(4), nullptr);

    CCharacterStats kGuard = MakePerson(0, 0, 30);
    CCharacterStats kCook = MakePerson(0, 0, 20);
    CCharacterStats kVisitor = MakePerson(0, 0, 5);
    EXPECT_FALSE(kStats.RegisterStaff(nullptr, 0));
    ASSERT_TRUE(kStats.RegisterStaff(&kGuard, 0));
    ASSERT_TRUE(kStats.RegisterStaff(&kCook, 2));
    // Outside the four categories only the expense is booked.
    ASSERT_TRUE(kStats.RegisterStaff(&kVisitor, 5));
    EXPECT_EQ(kStats.m_akStaff[0].m_usCount, 1);
    EXPECT_EQ(kStats.m_akStaff[0].m_usWages, 30);
    EXPECT_EQ(kStats.m_akStaff[1].m_usCount, 1);
    EXPECT_EQ(kStats.m_akStaff[1].m_usWages, 20);
    EXPECT_EQ(kStats.m_iWages, 55);
    EXPECT_EQ(kStats.m_kStaff.size(), 3u);

    ASSERT_TRUE(kStats.RemoveStaff(&kCook, 2));
    EXPECT_EQ(kStats.m_akStaff[1].m_usCount, 0);
    EXPECT_EQ(kStats.m_akStaff[1].m_usWages, 0);
    // The wage paid stays booked.
    EXPECT_EQ(kStats.m_iWages, 55);
    // Removing again floors the counts at 0.
    ASSERT_TRUE(kStats.RemoveStaff(&kCook, 2));
    EXPECT_EQ(kStats.m_akStaff[1].m_usCount, 0);
    EXPECT_EQ(kStats.m_akStaff[1].m_usWages, 0);
    EXPECT_EQ(kStats.m_kStaff, (std::vector<CCharacterStats*>{&kGuard, &kVisitor}));
}

TEST(CPrisonStatistics, PrisonersAreCountedAndCountsFloorAtZero)
{
    CPrisonStatistics kStats;
    CCharacterStats kLow = MakePerson(0, 5, 0);
    CCharacterStats kMax = MakePerson(3, 20, 0);
    CCharacterStats kOdd = MakePerson(9, 1, 0);
    EXPECT_FALSE(kStats.RegisterPrisoner(nullptr));
    EXPECT_FALSE(kStats.RemovePrisoner(nullptr));
    ASSERT_TRUE(kStats.RegisterPrisoner(&kLow));
    ASSERT_TRUE(kStats.RegisterPrisoner(&kMax));
    ASSERT_TRUE(kStats.RegisterPrisoner(&kOdd));
    EXPECT_EQ(kStats.m_usPrisonersNow, 3);
    EXPECT_EQ(kStats.m_usPrisonersReceived, 3);
    EXPECT_EQ(kStats.m_usSentenceTotal, 26);
    EXPECT_EQ(kStats.m_iScore, -(1 + 4 + 10));
    EXPECT_EQ(kStats.m_ausPrisonersByLevel[0], 1);
    EXPECT_EQ(kStats.m_ausPrisonersByLevel[3], 1);

    ASSERT_TRUE(kStats.RemovePrisoner(&kMax));
    ASSERT_TRUE(kStats.RemovePrisoner(&kOdd));
    EXPECT_EQ(kStats.m_usPrisonersNow, 1);
    EXPECT_EQ(kStats.m_usSentenceTotal, 5);
    EXPECT_EQ(kStats.m_iScore, -1);
    EXPECT_EQ(kStats.m_ausPrisonersByLevel[3], 0);
    EXPECT_EQ(kStats.m_kPrisoners, (std::vector<CCharacterStats*>{&kLow}));

    // A prisoner removed twice must not wrap the counts.
    ASSERT_TRUE(kStats.RemovePrisoner(&kMax));
    ASSERT_TRUE(kStats.RemovePrisoner(&kLow));
    ASSERT_TRUE(kStats.RemovePrisoner(&kLow));
    EXPECT_EQ(kStats.m_usPrisonersNow, 0);
    EXPECT_EQ(kStats.m_usSentenceTotal, 0);
    EXPECT_EQ(kStats.m_ausPrisonersByLevel[0], 0);
    EXPECT_EQ(kStats.m_ausPrisonersByLevel[3], 0);
    EXPECT_EQ(kStats.m_usPrisonersReceived, 3);
}

TEST(CPrisonStatistics, TotalsAndResetKeepThePeople)
{
    CPrisonStatistics kStats;
    kStats.m_iPrisonerPayments = 2000;
    kStats.m_iWorkIncome = 50;
    kStats.m_iPurchases = 30000;
    kStats.m_iAdminCosts = 2500;
    kStats.m_iFoodCosts = 12;
    kStats.UpdateTotals();
    EXPECT_EQ(kStats.m_iIncomeTotal, 102050);
    EXPECT_EQ(kStats.m_iExpenseTotal, 32512);
    EXPECT_EQ(kStats.GetBalance(), 69538);

    CCharacterStats kPerson;
    ASSERT_TRUE(kStats.RegisterPrisoner(&kPerson));
    kStats.Reset();
    EXPECT_EQ(kStats.m_kPrisoners.size(), 1u);
    EXPECT_EQ(kStats.m_usPrisonersNow, 0);
    EXPECT_EQ(kStats.m_iOrder, 500);
    EXPECT_EQ(kStats.FormatLine(), FRESH_LINE);
}

TEST(CPrisonStatistics, LineReadsShortLongAndDamagedLines)
{
    int aiValues[CPrisonStatistics::LINE_VALUES];
    CPrisonStatistics kStats;

    // 19 values: an older line without the order.
    CPrisonStatistics::ParseLine("1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19", aiValues);
    kStats.ApplyLine(aiValues);
    EXPECT_EQ(kStats.FormatLine(), "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,500");
    EXPECT_EQ(kStats.m_akStaff[1].m_usServices, 16);
    EXPECT_EQ(kStats.GetStaffGroup(2)->m_usServices, 16);

    // 5 values: the rest keep the fresh block's.
    CPrisonStatistics::ParseLine("7,8,9,10,11", aiValues);
    kStats.ApplyLine(aiValues);
    EXPECT_EQ(kStats.FormatLine(), "7,8,9,10,11,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500");

    // 25 values: past twenty ignored.
    CPrisonStatistics::ParseLine(
        "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,900,2,2,2,2,2", aiValues);
    kStats.ApplyLine(aiValues);
    EXPECT_EQ(kStats.m_iOrder, 900);

    // A piece that is no number reads 0; 16-bit fields keep the low bits.
    CPrisonStatistics::ParseLine("abc,,5,0,0,0,0,0,0,0,70000,-1,0,0,0,0,0,0,0,1", aiValues);
    kStats.ApplyLine(aiValues);
    EXPECT_EQ(kStats.m_iStartingFunds, 0);
    EXPECT_EQ(kStats.m_iPrisonerPayments, 5);
    EXPECT_EQ(kStats.m_usPrisonersReceived, 70000 - 65536);
    EXPECT_EQ(kStats.m_usPrisonersGone, 65535);
    // The empty piece was skipped, so the line held 19 values.
    EXPECT_EQ(kStats.m_iOrder, 500);

    CPrisonStatistics::ParseLine("", aiValues);
    kStats.ApplyLine(aiValues);
    EXPECT_EQ(kStats.FormatLine(), FRESH_LINE);
}

TEST_F(CPrisonStatisticsFileTest, FreshLineIsByteExactAndRoundTrips)
{
    CPrisonStatistics kStats;
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("stats.txt", COrvaneFile::MODE_WRITE), 1);
    ASSERT_TRUE(kStats.SaveLine(kFile));
    kStats.m_iWages = -40;
    kStats.m_usEscapes = 65535;
    kStats.CountCategory(3);
    kStats.m_iOrder = 1000;
    ASSERT_TRUE(kStats.SaveLine(kFile));
    ASSERT_TRUE(kFile.Flush());
    kFile.Close();
    EXPECT_EQ(ReadFileBytes(Folder() / "stats.txt"),
        std::string(FRESH_LINE) + "\r\n100000,0,0,0,-40,0,0,0,0,0,0,0,0,0,0,0,0,1,65535,1000\r\n");

    ASSERT_EQ(kFile.Open("stats.txt", COrvaneFile::MODE_READ), 1);
    std::string kLine;
    kFile.ReadLine(kLine);
    kFile.ReadLine(kLine);
    int aiValues[CPrisonStatistics::LINE_VALUES];
    CPrisonStatistics::ParseLine(kLine, aiValues);
    CPrisonStatistics kRead;
    kRead.ApplyLine(aiValues);
    EXPECT_EQ(kRead.FormatLine(), kStats.FormatLine());
    EXPECT_EQ(kRead.m_akStaff[3].m_usServices, 1);
}

CObjectRecord MakeCell(std::uint16_t usLevel, std::uint16_t usBeds, std::uint16_t usPrice = 0,
    std::int16_t sScore = 0)
{
    CObjectRecord kCell;
    kCell.m_usRequiredLevel = usLevel;
    kCell.m_usPlaces = usBeds;
    kCell.m_usPrice = usPrice;
    kCell.m_sScoreValue = sScore;
    return kCell;
}

TEST(CPrisonStatistics, ObjectsBookPriceAndScoreButAreNotRefunded)
{
    CPrisonStatistics kStats;
    CObjectRecord kKitchen;
    kKitchen.m_usPrice = 4000;
    kKitchen.m_sScoreValue = 120;
    EXPECT_FALSE(kStats.AddObject(nullptr));
    EXPECT_FALSE(kStats.RemoveObject(nullptr));
    ASSERT_TRUE(kStats.AddObject(&kKitchen));
    EXPECT_EQ(kStats.m_iPurchases, 4000);
    EXPECT_EQ(kStats.m_iScore, 120);
    EXPECT_EQ(kStats.m_usPrisonLevel, 1);
    ASSERT_TRUE(kStats.RemoveObject(&kKitchen));
    EXPECT_EQ(kStats.m_iPurchases, 4000);
    EXPECT_EQ(kStats.m_iScore, 0);
    EXPECT_EQ(kStats.m_usPrisonLevel, 0);

    // A negative score value lowers the score while counted.
    kKitchen.m_sScoreValue = -30;
    ASSERT_TRUE(kStats.AddObject(&kKitchen));
    EXPECT_EQ(kStats.m_iScore, -30);
}

TEST(CPrisonStatistics, CellsAreListedPerLevelAndTheHighestFollowsRemovals)
{
    CPrisonStatistics kStats;
    CObjectRecord kLevel4 = MakeCell(4, 2, 500, 10);
    EXPECT_FALSE(kStats.AddCell(&kLevel4));
    EXPECT_FALSE(kStats.AddCell(nullptr));
    EXPECT_TRUE(kStats.m_kCellsByLevel.empty());
    EXPECT_EQ(kStats.m_usBeds, 0);
    EXPECT_EQ(kStats.m_iPurchases, 0);
    EXPECT_EQ(kStats.m_iScore, 0);

    CObjectRecord kLow = MakeCell(1, 2, 300, 5);
    CObjectRecord kLow2 = MakeCell(1, 1, 300, 5);
    CObjectRecord kHigh = MakeCell(3, 4, 900, 40);
    ASSERT_TRUE(kStats.AddCell(&kLow));
    // The lists below the level exist, empty.
    ASSERT_EQ(kStats.m_kCellsByLevel.size(), 2u);
    EXPECT_TRUE(kStats.m_kCellsByLevel[0].empty());
    ASSERT_TRUE(kStats.AddCell(&kHigh));
    ASSERT_TRUE(kStats.AddCell(&kLow2));
    ASSERT_EQ(kStats.m_kCellsByLevel.size(), 4u);
    EXPECT_EQ(kStats.m_kCellsByLevel[1], (std::vector<CObjectRecord*>{&kLow, &kLow2}));
    EXPECT_EQ(kStats.m_kCellsByLevel[3], (std::vector<CObjectRecord*>{&kHigh}));
    EXPECT_EQ(kStats.m_usHighestCellLevel, 3);
    EXPECT_EQ(kStats.m_usBeds, 7);
    EXPECT_EQ(kStats.m_iPurchases, 1500);
    EXPECT_EQ(kStats.m_iScore, 50);

    // The only level-3 cell goes: level-1 cells remain.
    ASSERT_TRUE(kStats.RemoveCell(&kHigh));
    EXPECT_EQ(kStats.m_usHighestCellLevel, 1);
    EXPECT_EQ(kStats.m_usBeds, 3);
    EXPECT_EQ(kStats.m_iScore, 10);
    EXPECT_EQ(kStats.m_iPurchases, 1500);
    // Removed twice: refused, nothing taken again.
    EXPECT_FALSE(kStats.RemoveCell(&kHigh));
    EXPECT_EQ(kStats.m_usBeds, 3);
    EXPECT_EQ(kStats.m_iScore, 10);

    ASSERT_TRUE(kStats.RemoveCell(&kLow));
    ASSERT_TRUE(kStats.RemoveCell(&kLow2));
    EXPECT_EQ(kStats.m_usHighestCellLevel, 0);
    EXPECT_EQ(kStats.m_usBeds, 0);

    // A level without a list changes nothing.
    CPrisonStatistics kEmpty;
    CObjectRecord kStray = MakeCell(2, 3, 0, 7);
    EXPECT_FALSE(kEmpty.RemoveCell(&kStray));
    EXPECT_EQ(kEmpty.m_iScore, 0);

    // Reset keeps the lists.
    ASSERT_TRUE(kStats.AddCell(&kLow));
    kStats.Reset();
    EXPECT_EQ(kStats.m_usBeds, 0);
    EXPECT_EQ(kStats.m_kCellsByLevel[1], (std::vector<CObjectRecord*>{&kLow}));
}

TEST(CPrisonStatistics, FindCellForPrefersAnEmptyCellThenMostFreeBeds)
{
    CPrisonStatistics kStats;
    CObjectRecord kA = MakeCell(2, 4);
    CObjectRecord kB = MakeCell(2, 6);
    CObjectRecord kC = MakeCell(2, 6);
    CObjectRecord kD = MakeCell(2, 2);
    for (CObjectRecord* pkCell : {&kA, &kB, &kC, &kD})
    {
        ASSERT_TRUE(kStats.AddCell(pkCell));
    }
    EXPECT_EQ(kStats.FindCellFor(-1), nullptr);
    EXPECT_EQ(kStats.FindCellFor(1), nullptr);
    EXPECT_EQ(kStats.FindCellFor(3), nullptr);
    EXPECT_EQ(kStats.FindCellFor(4), nullptr);

    // The first empty one, whatever its size.
    EXPECT_EQ(kStats.FindCellFor(2), &kA);
    kA.m_usOccupancy = 1;
    EXPECT_EQ(kStats.FindCellFor(2), &kB);
    kB.m_usOccupancy = 1;
    kC.m_usOccupancy = 1;
    kD.m_usOccupancy = 1;
    // None empty: most free beds, the first of equals (B and C have 5).
    EXPECT_EQ(kStats.FindCellFor(2), &kB);
    kB.m_usOccupancy = 3;
    EXPECT_EQ(kStats.FindCellFor(2), &kC);
    // An over-full cell counts as full, not as a huge number of free beds.
    kC.m_usOccupancy = 9;
    EXPECT_EQ(kStats.FindCellFor(2), &kA);
    kA.m_usOccupancy = 4;
    kB.m_usOccupancy = 6;
    kD.m_usOccupancy = 2;
    EXPECT_EQ(kStats.FindCellFor(2), nullptr);

    // A cell without beds is never offered, even empty.
    CPrisonStatistics kBare;
    CObjectRecord kNoBeds = MakeCell(0, 0);
    CObjectRecord kRoomy = MakeCell(0, 2);
    kRoomy.m_usOccupancy = 1;
    ASSERT_TRUE(kBare.AddCell(&kNoBeds));
    ASSERT_TRUE(kBare.AddCell(&kRoomy));
    EXPECT_EQ(kBare.FindCellFor(0), &kRoomy);
}

} // namespace
