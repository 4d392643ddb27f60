#include "game/simulation/objects/CPrisonStatistics.h"

#include "engine/core/NiRandom.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObject.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectTemplate.h"
#include "game/simulation/characters/CCharacterStats.h"
#include "game/simulation/objects/CObjectRecord.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/game/support/CRecordingHost.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <memory>
#include <string>
#include <vector>

namespace
{

using CPrisonStatisticsFileTest = FrameworkTest;

const char* const FRESH_LINE = "100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500,0";

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
    EXPECT_EQ(kStats.FormatLine(), "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,500,0");
    EXPECT_EQ(kStats.m_akStaff[1].m_usServices, 16);
    EXPECT_EQ(kStats.GetStaffGroup(2)->m_usServices, 16);

    // 5 values: the rest keep the fresh block's.
    CPrisonStatistics::ParseLine("7,8,9,10,11", aiValues);
    kStats.ApplyLine(aiValues);
    EXPECT_EQ(kStats.FormatLine(), "7,8,9,10,11,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500,0");

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
        std::string(FRESH_LINE) + "\r\n100000,0,0,0,-40,0,0,0,0,0,0,0,0,0,0,0,0,1,65535,1000,0\r\n");

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

// The purchases follow the twenty values. A load places the objects again,
// which counts the prices of those standing; the saved figure then replaces
// that count, once. A line of twenty values leaves the count as it is.
TEST(CPrisonStatistics, SavedPurchasesReplaceTheCountOfWhatStandsOnce)
{
    CObjectRecord kRecord;
    kRecord.m_usPrice = 15000;
    CPrisonStatistics kSaved;
    ASSERT_TRUE(kSaved.AddObject(&kRecord));
    ASSERT_TRUE(kSaved.AddObject(&kRecord));
    ASSERT_TRUE(kSaved.RemoveObject(&kRecord)); // demolished: still paid for
    EXPECT_EQ(kSaved.FormatLine(), "100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,500,30000");

    CPrisonStatistics kLoaded;
    kLoaded.LoadLine(kSaved.FormatLine());
    ASSERT_TRUE(kLoaded.AddObject(&kRecord)); // the one still standing
    kLoaded.TakeSavedPurchases();
    kLoaded.UpdateTotals();
    EXPECT_EQ(kLoaded.m_iPurchases, 30000);
    EXPECT_EQ(kLoaded.FormatLine(), kSaved.FormatLine());
    // Taken once: a later count is the game's own again.
    ASSERT_TRUE(kLoaded.AddObject(&kRecord));
    kLoaded.TakeSavedPurchases();
    EXPECT_EQ(kLoaded.m_iPurchases, 45000);

    CPrisonStatistics kOlder;
    kOlder.LoadLine("100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,700");
    ASSERT_TRUE(kOlder.AddObject(&kRecord));
    kOlder.TakeSavedPurchases();
    EXPECT_EQ(kOlder.m_iPurchases, 15000);
    EXPECT_EQ(kOlder.m_iOrder, 700);
    kOlder.LoadLine("100000,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    kOlder.TakeSavedPurchases();
    EXPECT_EQ(kOlder.m_iPurchases, 15000);
    EXPECT_EQ(kOlder.m_iOrder, 500);
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

using Calls = std::vector<std::string>;

// A ledger with a number of prisoners held, all of security level 0.
class CPrisonStatisticsHostTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        NiResetRandom();
    }

    void Hold(CPrisonStatistics& kStats, int iCount)
    {
        m_kPeople.resize(static_cast<std::size_t>(iCount));
        for (CCharacterStats& kPerson : m_kPeople)
        {
            ASSERT_TRUE(kStats.RegisterPrisoner(&kPerson));
        }
    }

    // One update with the clock moving from one minute to another.
    void Step(CPrisonStatistics& kStats, float fFrom, float fTo, bool bDayRolled = false)
    {
        m_kHost.m_kClock.m_fPreviousMinutes = fFrom;
        m_kHost.m_kClock.m_fMinutes = fTo;
        m_kHost.m_kClock.m_ucDayRolled = bDayRolled ? 1 : 0;
        kStats.Update();
    }

    CRecordingHost m_kHost;
    std::vector<CCharacterStats> m_kPeople;
};

TEST_F(CPrisonStatisticsHostTest, EachShortageWarnsOnceADayPastHalfThePrisoners)
{
    CPrisonStatistics kStats;
    Hold(kStats, 7);
    struct Kind
    {
        void (CPrisonStatistics::*m_pfnReport)();
        const char* m_pcMessage;
    };
    const Kind akKinds[] = {
        {&CPrisonStatistics::ReportNoFood, "PostMessage 56"},
        {&CPrisonStatistics::ReportNoWork, "PostMessage 59"},
        {&CPrisonStatistics::ReportNoHospital, "PostMessage 58"},
        {&CPrisonStatistics::ReportShortage, "PostMessage 57"},
    };
    for (const Kind& kKind : akKinds)
    {
        SCOPED_TRACE(kKind.m_pcMessage);
        m_kHost.ClearCalls();
        for (int i = 0; i < 3; ++i)
        {
            (kStats.*kKind.m_pfnReport)();
        }
        EXPECT_EQ(m_kHost.Actions(), Calls{});
        // The fourth report of the day: 4 > 7 / 2.
        (kStats.*kKind.m_pfnReport)();
        EXPECT_EQ(m_kHost.Actions(), Calls{kKind.m_pcMessage});
        for (int i = 0; i < 20; ++i)
        {
            (kStats.*kKind.m_pfnReport)();
        }
        EXPECT_EQ(m_kHost.Actions(), Calls{kKind.m_pcMessage});
    }
    EXPECT_EQ(kStats.m_iNoFoodReports, 0);
    EXPECT_EQ(kStats.m_ucNoFoodWarned, 1);
    EXPECT_EQ(kStats.m_ucShortageWarned, 1);

    // The next day warns again, after the next four reports.
    kStats.NewDay();
    m_kHost.ClearCalls();
    for (int i = 0; i < 4; ++i)
    {
        kStats.ReportNoHospital();
    }
    EXPECT_EQ(m_kHost.Actions(), Calls{"PostMessage 58"});

    // Reports short of a warning are not forgotten at the day change.
    CPrisonStatistics kSlow;
    Hold(kSlow, 7);
    kSlow.ReportNoFood();
    kSlow.ReportNoFood();
    kSlow.NewDay();
    m_kHost.ClearCalls();
    kSlow.ReportNoFood();
    kSlow.ReportNoFood();
    EXPECT_EQ(m_kHost.Actions(), Calls{"PostMessage 56"});
}

TEST_F(CPrisonStatisticsHostTest, EveningReportFollowsTheDaysKnockdowns)
{
    // The chatter must not mix in: a message is showing.
    m_kHost.m_bMessageShowing = true;
    CPrisonStatistics kStats;
    Hold(kStats, 10);
    const std::pair<int, const char*> akCases[] = {
        {0, "PostMessage 60"}, {4, "PostMessage 60"}, {5, "PostMessage 61"},
        {9, "PostMessage 61"}, {10, "PostMessage 62"}, {30, "PostMessage 62"}};
    for (const auto& [iKnockdowns, pcMessage] : akCases)
    {
        SCOPED_TRACE(iKnockdowns);
        m_kHost.ClearCalls();
        kStats.m_usTodayKnockdowns = static_cast<std::uint16_t>(iKnockdowns);
        Step(kStats, 1079.5f, 1080.25f);
        EXPECT_EQ(m_kHost.Actions(), Calls{pcMessage});
        EXPECT_EQ(kStats.m_usTodayKnockdowns, 0);
    }
    // Within the hour nothing more is said, and the counter runs on.
    m_kHost.ClearCalls();
    kStats.m_usTodayKnockdowns = 3;
    Step(kStats, 1080.25f, 1100.0f);
    EXPECT_EQ(m_kHost.Actions(), Calls{});
    EXPECT_EQ(kStats.m_usTodayKnockdowns, 3);
    // A jump across several hours into 18 still reports.
    Step(kStats, 900.0f, 1090.0f);
    EXPECT_EQ(m_kHost.Actions(), Calls{"PostMessage 60"});

    // Without prisoners nothing is posted, but the counter is cleared.
    CPrisonStatistics kEmpty;
    kEmpty.m_usTodayKnockdowns = 6;
    m_kHost.ClearCalls();
    Step(kEmpty, 1079.5f, 1080.25f);
    EXPECT_EQ(m_kHost.Actions(), Calls{});
    EXPECT_EQ(kEmpty.m_usTodayKnockdowns, 0);
}

TEST_F(CPrisonStatisticsHostTest, NoonRingsAndTheDayRollCollectsPayments)
{
    m_kHost.m_bMessageShowing = true;
    CPrisonStatistics kStats;
    CCharacterStats kLow = MakePerson(0, 1, 0);
    CCharacterStats kHigh = MakePerson(3, 1, 0);
    ASSERT_TRUE(kStats.RegisterPrisoner(&kLow));
    ASSERT_TRUE(kStats.RegisterPrisoner(&kHigh));

    Step(kStats, 719.9f, 720.3f);
    EXPECT_EQ(m_kHost.Actions(), Calls{"PlaySample 20,255,0"});
    m_kHost.ClearCalls();
    Step(kStats, 720.3f, 721.0f);
    EXPECT_EQ(m_kHost.Actions(), Calls{});
    EXPECT_EQ(kStats.m_iPrisonerPayments, 0);

    // The one update after the day changed: (level + 1) x 1000 a prisoner.
    // The totals are summed first, so they show it one frame later.
    Step(kStats, 0.0f, 0.5f, true);
    EXPECT_EQ(kStats.m_iPrisonerPayments, 5000);
    EXPECT_EQ(kStats.m_iIncomeTotal, 100000);
    Step(kStats, 0.5f, 1.0f);
    EXPECT_EQ(kStats.m_iPrisonerPayments, 5000);
    EXPECT_EQ(kStats.m_iIncomeTotal, 105000);
    // The morning jump also rolls the day.
    Step(kStats, 1325.0f, 360.0f, true);
    Step(kStats, 360.0f, 360.5f);
    EXPECT_EQ(kStats.m_iPrisonerPayments, 10000);
    EXPECT_EQ(kStats.m_iIncomeTotal, 110000);

    // Without a game running only the totals move.
    CGameHost::Set(nullptr);
    kStats.m_iWorkIncome = 7;
    kStats.Update();
    EXPECT_EQ(kStats.m_iIncomeTotal, 110007);
    CGameHost::Set(&m_kHost);
}

TEST_F(CPrisonStatisticsHostTest, HourlyChatterDrawsFromTheProjectRandomSource)
{
    CPrisonStatistics kStats;
    Hold(kStats, 3);
    // What a day of hours must say, drawn from the same seed.
    NiSeedRandom(4242);
    Calls kExpected;
    for (int iHour = 0; iHour < 48; ++iHour)
    {
        if (NiRand() % 5 == 0)
        {
            kExpected.push_back("PostMessage " + std::to_string(68 + NiRand() % 15));
        }
    }
    ASSERT_GE(kExpected.size(), 3u);

    NiSeedRandom(4242);
    Calls kSaid;
    for (int iHour = 0; iHour < 48; ++iHour)
    {
        // Hours 12 and 18 bring their own calls: keep only the chatter.
        const float fMinute = static_cast<float>((iHour % 24) * 60);
        m_kHost.ClearCalls();
        Step(kStats, fMinute + 30.0f, fMinute + 45.0f);
        EXPECT_EQ(m_kHost.CallsNamed("PostMessage"), Calls{});
        Step(kStats, fMinute + 45.0f, fMinute + 60.5f);
        for (const std::string& kArgument : m_kHost.CallsNamed("PostMessage"))
        {
            const int iMessage = std::stoi(kArgument);
            if (iMessage >= 68)
            {
                EXPECT_LE(iMessage, 82);
                kSaid.push_back("PostMessage " + kArgument);
            }
        }
    }
    EXPECT_EQ(kSaid, kExpected);

    // While a message shows, or with nobody held, nothing is drawn.
    NiSeedRandom(7);
    const int iFirst = NiRand();
    NiSeedRandom(7);
    m_kHost.m_bMessageShowing = true;
    m_kHost.ClearCalls();
    Step(kStats, 59.0f, 61.0f);
    CPrisonStatistics kEmpty;
    m_kHost.m_bMessageShowing = false;
    Step(kEmpty, 119.0f, 121.0f);
    EXPECT_EQ(m_kHost.CallsNamed("PostMessage"), Calls{});
    EXPECT_EQ(NiRand(), iFirst);
}

TEST_F(CPrisonStatisticsHostTest, NewDayReportsTheDaysDeparturesInOrder)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    // The protesters as the level makes them: an object sharing its
    // template's model.
    NiRefPtr<NiNode> spRoot = new NiNode;
    spRoot->SetName("Scene Root");
    auto pkModel = std::make_unique<COrvaneComposite>();
    COrvaneModelSource kSource;
    kSource.m_kName = "protesters";
    kSource.m_pkPrebuilt = spRoot;
    pkModel->Load(kSource);
    COrvaneObjectTemplate kTemplate;
    kTemplate.m_kModels.push_back(std::make_shared<COrvaneModelEntry>(std::move(pkModel)));
    COrvaneObject kProtesters;
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = &kTemplate;
    ASSERT_EQ(kProtesters.Load(kDesc), 1);
    ASSERT_TRUE(kProtesters.IsModelVisible());
    kWorld.SetProtesters(&kProtesters);

    CPrisonStatistics kStats;
    kStats.m_usTodayExecutions = 2;
    kStats.m_usTodayDeaths = 1;
    kStats.m_usTodayOtherDepartures = 3;
    kStats.m_usTodayEscapes = 4;
    kStats.m_usTodayCompleted = 5;
    kStats.m_usTodayReleases = 6;
    kStats.m_usTodayKnockdowns = 7;
    kStats.m_ucNoFoodWarned = 1;
    kStats.m_ucNoWorkWarned = 1;
    kStats.m_ucShortageWarned = 1;
    kStats.m_ucNoHospitalWarned = 1;
    kStats.NewDay();
    EXPECT_EQ(m_kHost.Actions(),
        (Calls{"StopSample 25", "PostNumberedMessage 19,2", "PostNumberedMessage 15,1",
            "PostNumberedMessage 18,3", "PostNumberedMessage 16,4", "PostNumberedMessage 20,5",
            "PostNumberedMessage 14,6"}));
    EXPECT_FALSE(kProtesters.IsModelVisible());
    EXPECT_EQ(kStats.m_usTodayExecutions, 0);
    EXPECT_EQ(kStats.m_usTodayDeaths, 0);
    EXPECT_EQ(kStats.m_usTodayOtherDepartures, 0);
    EXPECT_EQ(kStats.m_usTodayEscapes, 0);
    EXPECT_EQ(kStats.m_usTodayCompleted, 0);
    EXPECT_EQ(kStats.m_usTodayReleases, 0);
    EXPECT_EQ(kStats.m_ucNoFoodWarned + kStats.m_ucNoWorkWarned + kStats.m_ucShortageWarned
            + kStats.m_ucNoHospitalWarned,
        0);
    // The knockdowns wait for the evening report.
    EXPECT_EQ(kStats.m_usTodayKnockdowns, 7);

    // Quiet days say nothing; without executions the protesters stay.
    kProtesters.SetModelHidden(false);
    m_kHost.ClearCalls();
    kStats.NewDay();
    EXPECT_EQ(m_kHost.Actions(), Calls{});
    kStats.m_usTodayEscapes = 1;
    kStats.NewDay();
    EXPECT_EQ(m_kHost.Actions(), Calls{"PostNumberedMessage 16,1"});
    EXPECT_TRUE(kProtesters.IsModelVisible());
    kWorld.SetProtesters(nullptr);
}

TEST_F(CPrisonStatisticsHostTest, AdminRoomsRaiseTheWorldsAndTheClericalLevels)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    CPrisonStatistics kStats;
    CObjectRecord kRoom;
    kRoom.m_usPrice = 2000;
    kRoom.m_sScoreValue = 60;
    EXPECT_FALSE(kStats.AddAdminRoom(nullptr, 1, 1));

    ASSERT_TRUE(kStats.AddAdminRoom(&kRoom, 1, 1));
    EXPECT_EQ(kWorld.GetUpgradeLevel(), 1);
    EXPECT_EQ(kStats.m_usUpgradeLevel, 1);
    EXPECT_EQ(kStats.m_iPurchases, 2000);
    EXPECT_EQ(kStats.m_iScore, 60);
    // A room at or below the level changes no level.
    ASSERT_TRUE(kStats.AddAdminRoom(&kRoom, 1, 1));
    EXPECT_EQ(kWorld.GetUpgradeLevel(), 1);
    EXPECT_EQ(kStats.m_iPurchases, 4000);
    // A world already further on is not lowered; the ledger follows it.
    kWorld.SetUpgradeLevel(3);
    ASSERT_TRUE(kStats.AddAdminRoom(&kRoom, 1, 2));
    EXPECT_EQ(kWorld.GetUpgradeLevel(), 3);
    EXPECT_EQ(kStats.m_usUpgradeLevel, 3);

    ASSERT_TRUE(kStats.AddAdminRoom(&kRoom, 2, 2));
    ASSERT_TRUE(kStats.AddAdminRoom(&kRoom, 2, 1));
    EXPECT_EQ(kStats.m_usClericalLevel, 2);
    // Other rooms count as objects.
    ASSERT_TRUE(kStats.AddAdminRoom(&kRoom, 0, 5));
    EXPECT_EQ(kStats.m_usClericalLevel, 2);
    EXPECT_EQ(kStats.m_usUpgradeLevel, 3);
    EXPECT_EQ(kStats.m_iScore, 360);

    // Removal takes the score back; the levels stay.
    ASSERT_TRUE(kStats.RemoveAdminRoom(&kRoom, 2, 2));
    EXPECT_EQ(kStats.m_iScore, 300);
    EXPECT_EQ(kStats.m_usClericalLevel, 2);
    EXPECT_EQ(kStats.m_iPurchases, 12000);

    // Without a world the ledger keeps the level the room gives.
    m_kHost.m_pkWorld = nullptr;
    CPrisonStatistics kAlone;
    ASSERT_TRUE(kAlone.AddAdminRoom(&kRoom, 1, 2));
    EXPECT_EQ(kAlone.m_usUpgradeLevel, 2);
}

TEST_F(CPrisonStatisticsHostTest, StatisticKindsReadTheirFields)
{
    CPrisonStatistics kStats;
    kStats.m_iStartingFunds = 1000;
    kStats.m_iPurchases = 1500;
    kStats.UpdateTotals();
    kStats.m_usPrisonersReceived = 12;
    kStats.m_iOrder = 640;
    kStats.m_usPrisonersNow = 9;
    kStats.m_ausPrisonersByLevel[0] = 1;
    kStats.m_ausPrisonersByLevel[1] = 2;
    kStats.m_ausPrisonersByLevel[2] = 3;
    kStats.m_ausPrisonersByLevel[3] = 4;
    kStats.m_usPrisonersReleased = 5;
    kStats.m_usPrisonersGone = 6;
    kStats.m_usIntake = 7;
    kStats.m_usKnockdowns = 8;
    kStats.m_usEscapes = 65535;
    kStats.m_usPrisonLevel = 2;
    m_kHost.m_kClock.m_sYearOffset = 3;
    const std::int32_t aiExpected[] = {-500, 3, 12, 640, 9, 1, 2, 3, 4, 5, 6, 7, 8, 65535, 2};
    for (int iKind = 0; iKind < 15; ++iKind)
    {
        EXPECT_EQ(kStats.GetStatistic(iKind), aiExpected[iKind]) << iKind;
    }
    EXPECT_EQ(kStats.GetStatistic(-1), 0);
    EXPECT_EQ(kStats.GetStatistic(15), 0);
    CGameHost::Set(nullptr);
    EXPECT_EQ(kStats.GetStatistic(1), 0);
    CGameHost::Set(&m_kHost);
}

TEST_F(CPrisonStatisticsHostTest, SaveAndLoadOnAFile)
{
    CWorld kWorld;
    kWorld.SetUpgradeLevel(2);
    m_kHost.m_pkWorld = &kWorld;

    CPrisonStatistics kFresh;
    CPrisonStatistics kStats;
    kStats.m_iOtherIncome = -12;
    kStats.m_usKnockdowns = 77;
    kStats.CountCategory(2);
    kStats.m_iOrder = 3;
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("ledger.txt", COrvaneFile::MODE_WRITE), 1);
    ASSERT_TRUE(kFresh.Save(kFile));
    ASSERT_TRUE(kStats.Save(kFile));
    ASSERT_TRUE(kFile.WriteString("</STATISTICS>\r\n"));
    // A loader handed a file open for writing reads nothing.
    CPrisonStatistics kWrong;
    kWrong.m_iOrder = 9;
    EXPECT_FALSE(kWrong.Load(kFile));
    EXPECT_EQ(kWrong.m_iOrder, 9);
    ASSERT_TRUE(kFile.Flush());
    kFile.Close();
    EXPECT_EQ(ReadFileBytes(Folder() / "ledger.txt"),
        std::string(FRESH_LINE) + "\r\n100000,0,-12,0,0,0,0,0,0,0,0,0,0,77,0,1,0,0,0,3,0\r\n"
            + "</STATISTICS>\r\n");

    ASSERT_EQ(kFile.Open("ledger.txt", COrvaneFile::MODE_READ), 1);
    CPrisonStatistics kRead;
    kRead.m_iPurchases = 800;
    ASSERT_TRUE(kRead.Load(kFile));
    EXPECT_EQ(kRead.m_usUpgradeLevel, 2);
    ASSERT_TRUE(kRead.Load(kFile));
    EXPECT_EQ(kRead.GetStaffGroup(2)->m_usServices, 1);
    // Fields the line does not hold stay as they were; the purchases wait
    // for the objects to be placed again.
    EXPECT_EQ(kRead.m_iPurchases, 800);
    kRead.TakeSavedPurchases();
    EXPECT_EQ(kRead.FormatLine(), kStats.FormatLine());

    // The closing tag, then the end of the file: refused, nothing changed.
    kWorld.SetUpgradeLevel(3);
    EXPECT_FALSE(kRead.Load(kFile));
    EXPECT_FALSE(kRead.Load(kFile));
    EXPECT_EQ(kRead.FormatLine(), kStats.FormatLine());
    EXPECT_EQ(kRead.m_usUpgradeLevel, 2);
    kFile.Close();
    EXPECT_FALSE(kRead.Load(kFile));
}

} // namespace
