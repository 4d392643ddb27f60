#include "game/simulation/characters/CSpawnManager.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CObjectRecord.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "platform/os/OsFiles.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/simulation/characters/CharacterTestSupport.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneTgaWriter.h"

#include <algorithm>

namespace
{

using CSpawnManagerTest = FrameworkTest;

TEST_F(CSpawnManagerTest, NameListsComeFromTheirSectionsInOrder)
{
    WriteFileBytes("data.xml", "<TEMPLATES>\r\n</TEMPLATES>\r\n"
                               "<MALE_NAMES>\r\nAdam\r\nBert\r\nCyril\r\n</MALE_NAMES>\r\n"
                               "<SURNAMES>\r\nFrost\r\nGale\r\n</SURNAMES>\r\n");
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    CSpawnManager kSpawn;
    kSpawn.LoadRosters(kDocument);
    EXPECT_EQ(kSpawn.GetMaleNames(), (std::vector<std::string>{"Adam", "Bert", "Cyril"}));
    EXPECT_EQ(kSpawn.m_usMaleNameCount, 3);
    // The missing section leaves its list empty.
    EXPECT_TRUE(kSpawn.GetFemaleNames().empty());
    EXPECT_EQ(kSpawn.m_usFemaleNameCount, 0);
    EXPECT_EQ(kSpawn.GetSurnames(), (std::vector<std::string>{"Frost", "Gale"}));
    EXPECT_EQ(kSpawn.m_usSurnameCount, 2);

    kSpawn.Clear();
    EXPECT_TRUE(kSpawn.GetMaleNames().empty());
    EXPECT_EQ(kSpawn.m_usSurnameCount, 0);
}

TEST_F(CSpawnManagerTest, TheDemoDataHoldsTwentyNamesInEachList)
{
    ASSERT_TRUE(BuildDemoData("."));
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    CSpawnManager kSpawn;
    kSpawn.LoadRosters(kDocument);
    // "MALE_NAMES" lies inside "FEMALE_NAMES": the male list comes first.
    ASSERT_EQ(kSpawn.m_usMaleNameCount, 20);
    ASSERT_EQ(kSpawn.m_usFemaleNameCount, 20);
    ASSERT_EQ(kSpawn.m_usSurnameCount, 20);
    EXPECT_EQ(kSpawn.GetMaleNames().front(), "Abel");
    EXPECT_EQ(kSpawn.GetFemaleNames().front(), "Alda");
    EXPECT_EQ(kSpawn.GetSurnames().back(), "Thorne");
}

TEST(CSpawnManager, ResetClearsTheArrivalAndTheCarry)
{
    CSpawnManager kSpawn;
    EXPECT_EQ(kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_IDLE);
    EXPECT_EQ(kSpawn.m_iCarryGrid, -1);
    EXPECT_EQ(kSpawn.m_iCarryCell, -1);
    kSpawn.MakeArrivalsDue();
    kSpawn.m_usPrisonersToUnload = 4;
    kSpawn.m_fUnloadTimer = 2.5f;
    kSpawn.m_ucNoCell = 1;
    kSpawn.m_pkArrivalPath = std::make_unique<CSpawnManager::ArrivalPath>();
    kSpawn.m_kReoffenders.push_back({"prison1/criminals/thug", CCharacterStats()});
    kSpawn.AddParoleCandidate(nullptr);
    EXPECT_TRUE(kSpawn.GetParoleCandidates().empty());
    EXPECT_EQ(kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_DUE);
    kSpawn.Reset();
    EXPECT_EQ(kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_IDLE);
    EXPECT_EQ(kSpawn.m_usPrisonersToUnload, 0);
    EXPECT_EQ(kSpawn.m_fUnloadTimer, 0.0f);
    EXPECT_EQ(kSpawn.m_ucNoCell, 0);
    EXPECT_EQ(kSpawn.m_pkArrivalPath, nullptr);
    // The lists keep their entries.
    EXPECT_EQ(kSpawn.m_kReoffenders.size(), 1u);
}

// The demo prison with the registry in place before the rosters, as the
// game loads them, stub controllers, grid 1 and the ledger at hand.
class SpawnTest : public CharacterTest
{
protected:
    void SetUp() override
    {
        CharacterTest::SetUp();
        UseStubControllers();
        m_kSpawn.Clear();
        m_kSpawn.m_kReoffenders.clear();
        COrvaneTagTree kDocument;
        ASSERT_TRUE(kDocument.Load("data.xml"));
        m_kSpawn.LoadRosters(kDocument);
        m_pkLedger = m_pkManager->GetStatistics();
        ASSERT_NE(m_pkLedger, nullptr);
    }

    // A cell of the level with the beds, held by a bare placeable object.
    void AddCell(std::uint16_t usLevel, std::uint16_t usBeds)
    {
        auto pkCell = std::make_unique<CBaseObject>();
        auto pkRecord = std::make_unique<CObjectRecord>();
        pkRecord->m_pkOwner = pkCell.get();
        pkRecord->m_usRequiredLevel = usLevel;
        pkRecord->m_usPlaces = usBeds;
        ASSERT_TRUE(m_pkLedger->AddCell(pkRecord.get()));
        m_kCells.push_back(std::move(pkCell));
        m_kRecords.push_back(std::move(pkRecord));
    }

    [[nodiscard]] std::size_t Posted(int iMessage) const
    {
        return static_cast<std::size_t>(std::count(m_kHost.m_kCalls.begin(), m_kHost.m_kCalls.end(),
                                                   "PostMessage " + std::to_string(iMessage)));
    }

    CPrisonStatistics* m_pkLedger = nullptr;
    std::vector<std::unique_ptr<CBaseObject>> m_kCells;
    std::vector<std::unique_ptr<CObjectRecord>> m_kRecords;
};

TEST_F(SpawnTest, RostersGiveTemplatesStaffBaseAndHeadSets)
{
    EXPECT_EQ(m_kSpawn.m_kPrisonerTemplates,
              (std::vector<std::string>{"prison1/criminals/thug.nif", "prison1/criminals/old_lag.nif",
                                        "prison1/criminals/con_female.nif"}));
    EXPECT_EQ(m_kSpawn.m_usTemplateCount, 3);
    const int iStaff = m_pkManager->FindTemplateGroup("STAFF");
    const int iBuildings = m_pkManager->FindTemplateGroup("BUILDINGS");
    ASSERT_GE(iStaff, 0);
    ASSERT_GE(iBuildings, 0);
    EXPECT_EQ(m_kSpawn.m_uiStaffGroupBase, static_cast<std::uint32_t>(iStaff - iBuildings));
    // Three criminals, then the six staff of "SECURITY" and its later
    // siblings, in the document's order.
    ASSERT_EQ(m_kSpawn.m_kHeadSets.size(), 9u);
    EXPECT_EQ(m_kSpawn.m_kHeadSets[0]->m_kName, "prison1/criminals/thug.nif");
    EXPECT_EQ(m_kSpawn.m_kHeadSets[3]->m_kName, "prison1/staff/guard1.nif");
    EXPECT_EQ(m_kSpawn.m_kHeadSets[8]->m_kName, "prison1/staff/maint_worker.nif");
}

TEST_F(SpawnTest, HeadSetSearchStopsAtTheFirstGapAndTakesOneFilePerNumber)
{
    ASSERT_TRUE(os::CreateFolderTree("heads/x"));
    const std::vector<std::uint8_t> kPixel{255, 0, 0};
    for (const char* pcName : {"heads/x/HEAD_1a.tga", "heads/x/head_1b.tga", "heads/x/head_2.tga",
                               "heads/x/head_4.tga", "heads/x/shead_3.tga", "heads/x/head3.tga"})
        ASSERT_TRUE(WriteTga(pcName, 1, 1, 24, kPixel));
    WriteFileBytes("heads.xml", "<CRIMINALS>\r\n<plans>\r\n<a>\r\nheads/x/model.nif\r\n</a>\r\n"
                                "<b>\r\n</b>\r\n</plans>\r\n</CRIMINALS>\r\n");
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("heads.xml"));
    ASSERT_TRUE(kDocument.SelectSection("CRIMINALS", true));
    CSpawnManager kSpawn;
    kSpawn.LoadHeadSets(kDocument.GetCursor());
    // The plan without values gives no set; "head_3" is missing (the decoys
    // do not match), so "head_4" is never reached.
    ASSERT_EQ(kSpawn.m_kHeadSets.size(), 1u);
    ASSERT_EQ(kSpawn.m_kHeadSets[0]->m_kImages.size(), 2u);
    EXPECT_EQ(kSpawn.FindHeadImage("model", 1), kSpawn.m_kHeadSets[0]->m_kImages[1].get());
    EXPECT_EQ(kSpawn.FindHeadImage("model", 2), nullptr);
    EXPECT_EQ(kSpawn.FindHeadImage("other", 0), nullptr);
    // An object image loads once, into a set of its own.
    COrvaneImage* pkImage = kSpawn.FindOrLoadImage("heads/x/head_2.tga");
    ASSERT_NE(pkImage, nullptr);
    EXPECT_EQ(kSpawn.FindOrLoadImage("heads/x/head_2.tga"), pkImage);
    EXPECT_EQ(kSpawn.m_kHeadSets.size(), 2u);
    EXPECT_EQ(kSpawn.FindOrLoadImage("heads/x/readme.txt"), nullptr);
}

TEST(CSpawnManager, MissingSectionsLeaveNoStaffBaseAndNoRoster)
{
    CDynamicObjectManager::DestroyInstance();
    COrvaneTagTree kDocument;
    CSpawnManager kSpawn;
    kSpawn.LoadRosters(kDocument);
    EXPECT_EQ(kSpawn.m_uiStaffGroupBase, CSpawnManager::NO_STAFF_GROUP_BASE);
    EXPECT_TRUE(kSpawn.m_kPrisonerTemplates.empty());
    EXPECT_TRUE(kSpawn.m_kHeadSets.empty());
}

TEST(CSpawnManager, FormatNameListLeavesOutIndicesOutOfRange)
{
    CSpawnManager kSpawn;
    kSpawn.m_kMaleNames = {"Abel"};
    kSpawn.m_kFemaleNames = {"Alda", "Brina"};
    kSpawn.m_kSurnames = {"Frost"};
    kSpawn.m_usMaleNameCount = 1;
    kSpawn.m_usFemaleNameCount = 2;
    kSpawn.m_usSurnameCount = 1;
    std::string kText;
    kSpawn.FormatNameList(kText, 0, 0, 0);
    EXPECT_EQ(kText, "Frost,\nAbel");
    kText.clear();
    kSpawn.FormatNameList(kText, 1, 1, 5);
    EXPECT_EQ(kText, "Brina");
    kText.clear();
    kSpawn.FormatNameList(kText, 0, 1, 0);
    EXPECT_EQ(kText, "Frost,\n");
}

TEST(CSpawnManager, ArrivalCountFollowsFreeBedsAndOrder)
{
    // The 250 cap is reached: nobody.
    EXPECT_EQ(CSpawnManager::CountArrivals(300, 260, 500), 0);
    EXPECT_EQ(CSpawnManager::CountArrivals(300, 250, 500), 0);
    EXPECT_EQ(CSpawnManager::CountArrivals(0, 0, 1000), 0);
    EXPECT_EQ(CSpawnManager::CountArrivals(10, 9, 1000), 1);
    // At most 1 for orders below 112.
    EXPECT_EQ(CSpawnManager::CountArrivals(10, 0, 111), 1);
    NiSeedRandom(7);
    // Two free beds: rand() % 1 + 1.
    EXPECT_EQ(CSpawnManager::CountArrivals(2, 0, 1000), 1);
    NiSeedRandom(7);
    const int iDraw = NiRand();
    NiSeedRandom(7);
    // 4 free beds at order 500 (at most 5): 1 to 3.
    EXPECT_EQ(CSpawnManager::CountArrivals(4, 0, 500), iDraw % 3 + 1);
    NiSeedRandom(7);
    EXPECT_EQ(CSpawnManager::CountArrivals(400, 0, 1000), iDraw % 9 + 1);
}

TEST_F(SpawnTest, WithoutBedsMessage63AndWithoutVehicleTheArrivalWaits)
{
    m_kSpawn.MakeArrivalsDue();
    m_kSpawn.UpdateArrivals(0.1f);
    EXPECT_EQ(Posted(CSpawnManager::MESSAGE_NO_BEDS), 1u);
    EXPECT_EQ(m_kSpawn.m_usPrisonersToUnload, 0);
    EXPECT_EQ(m_kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_DRIVING);
    for (int i = 0; i < 10; ++i)
        m_kSpawn.UpdateArrivals(1.0f);
    EXPECT_EQ(m_kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_DRIVING);
}

TEST_F(SpawnTest, UnloadingStepsOutOnePrisonerEveryThreeSecondsIntoCellsOfItsLevelOrHigher)
{
    Area(1);
    AddCell(3, 1);
    m_kSpawn.m_kPrisonerTemplates = {"thug"};
    m_kSpawn.SetArrivalState(CSpawnManager::ARRIVAL_UNLOADING);
    m_kSpawn.m_usPrisonersToUnload = 2;
    m_kSpawn.UpdateArrivals(0.5f);
    ASSERT_EQ(m_pkLedger->m_kPrisoners.size(), 1u);
    EXPECT_EQ(m_kSpawn.m_usPrisonersToUnload, 1);
    EXPECT_FLOAT_EQ(m_kSpawn.m_fUnloadTimer, CSpawnManager::UNLOAD_INTERVAL);
    // The timer runs out after three seconds; the next frame brings the
    // second. The cell counts its occupants itself when they move in, so
    // its bed is still free for the second.
    for (int i = 0; i < 3; ++i)
        m_kSpawn.UpdateArrivals(1.0f);
    EXPECT_EQ(m_pkLedger->m_kPrisoners.size(), 1u);
    m_kSpawn.UpdateArrivals(1.0f);
    EXPECT_EQ(m_pkLedger->m_kPrisoners.size(), 2u);
    EXPECT_TRUE(m_kSpawn.m_kWaitingPrisoners.empty());
    EXPECT_EQ(m_kSpawn.m_ucPlacedHigher, 1);
    m_kSpawn.UpdateArrivals(1.0f);
    EXPECT_EQ(m_kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_IDLE);
    EXPECT_EQ(Posted(CSpawnManager::MESSAGE_PLACED_HIGHER), 1u);
    EXPECT_EQ(Posted(CSpawnManager::MESSAGE_NO_CELL), 0u);
}

TEST_F(SpawnTest, PrisonersWithoutACellWaitAndEscapeAtTheDayChange)
{
    Area(1);
    m_kSpawn.m_kPrisonerTemplates = {"thug"};
    CAIPrisoner* pkPrisoner = m_kSpawn.CreateArrivingPrisoner();
    ASSERT_NE(pkPrisoner, nullptr);
    EXPECT_FALSE(m_kSpawn.AssignCell(pkPrisoner));
    EXPECT_EQ(m_kSpawn.m_ucNoCell, 1);
    m_kSpawn.AddWaitingPrisoner(pkPrisoner);
    m_kSpawn.AddWaitingPrisoner(pkPrisoner);
    EXPECT_EQ(m_kSpawn.m_kWaitingPrisoners.size(), 1u);
    m_kSpawn.PlaceWaitingPrisoners();
    EXPECT_TRUE(m_kSpawn.m_kWaitingPrisoners.empty());
    EXPECT_EQ(Posted(CSpawnManager::MESSAGE_ESCAPED), 1u);
    EXPECT_TRUE(m_pkLedger->m_kPrisoners.empty());
    // Nobody left waiting: no message.
    m_kSpawn.PlaceWaitingPrisoners();
    EXPECT_EQ(Posted(CSpawnManager::MESSAGE_ESCAPED), 1u);
}

TEST_F(SpawnTest, NobodyWithoutGridOneOrRosterYetTheCountFalls)
{
    m_kSpawn.m_kPrisonerTemplates = {"thug"};
    EXPECT_EQ(m_kSpawn.CreateArrivingPrisoner(), nullptr);
    Area(1);
    m_kSpawn.m_kPrisonerTemplates.clear();
    EXPECT_EQ(m_kSpawn.CreateArrivingPrisoner(), nullptr);
    m_kSpawn.SetArrivalState(CSpawnManager::ARRIVAL_UNLOADING);
    m_kSpawn.m_usPrisonersToUnload = 1;
    m_kSpawn.UpdateArrivals(0.1f);
    EXPECT_EQ(m_kSpawn.m_usPrisonersToUnload, 0);
    EXPECT_EQ(m_kSpawn.m_ucNoCell, 0);
    m_kSpawn.UpdateArrivals(0.1f);
    EXPECT_EQ(m_kSpawn.GetArrivalState(), CSpawnManager::ARRIVAL_IDLE);
}

TEST_F(SpawnTest, ReoffendersComeBackWithANewTermAndCountAsIntake)
{
    Area(1);
    CAIPrisoner* pkOld = dynamic_cast<CAIPrisoner*>(Make("PrisonerFactory", "old_lag"));
    ASSERT_NE(pkOld, nullptr);
    pkOld->GetStats().m_usSecurityLevel = 2;
    m_kSpawn.ReturnToRoster(pkOld);
    ASSERT_EQ(m_kSpawn.m_kReoffenders.size(), 1u);
    m_kHost.m_kClock.m_sYearOffset = 3;
    const std::int32_t iOrder = m_pkLedger->m_iOrder;
    CAIPrisoner* pkBack = nullptr;
    // The re-offender comes on an odd draw; the roster is empty meanwhile.
    for (int i = 0; i < 20 && !pkBack; ++i)
        pkBack = m_kSpawn.CreateArrivingPrisoner();
    ASSERT_NE(pkBack, nullptr);
    EXPECT_TRUE(m_kSpawn.m_kReoffenders.empty());
    EXPECT_EQ(pkBack->GetStats().m_usArrivalYear, 2008);
    EXPECT_EQ(pkBack->GetStats().m_usTerm % 3, 0);
    EXPECT_GE(pkBack->GetStats().m_usTerm, 3);
    EXPECT_LE(pkBack->GetStats().m_usTerm, 30);
    EXPECT_EQ(m_pkLedger->m_usIntake, 1);
    EXPECT_EQ(m_pkLedger->m_iOrder, iOrder - 1);
}

TEST_F(SpawnTest, ParoleLimitChanceAndNoDuplicates)
{
    CAIPrisoner* pkPrisoner = dynamic_cast<CAIPrisoner*>(Make("PrisonerFactory", "thug"));
    ASSERT_NE(pkPrisoner, nullptr);
    pkPrisoner->GetStats().m_usArrivalYear = 2004;
    pkPrisoner->GetStats().m_usTerm = 2;
    m_pkLedger->m_usPrisonersNow = 9;
    m_kSpawn.ConsiderParole(pkPrisoner);
    EXPECT_TRUE(m_kSpawn.GetParoleCandidates().empty());
    // One year left: always chosen, once.
    m_pkLedger->m_usPrisonersNow = 20;
    m_kSpawn.ConsiderParole(pkPrisoner);
    m_kSpawn.ConsiderParole(pkPrisoner);
    EXPECT_EQ(m_kSpawn.GetParoleCandidates().size(), 1u);
    m_kSpawn.RemoveParoleCandidate(pkPrisoner);
    EXPECT_TRUE(m_kSpawn.GetParoleCandidates().empty());
    // Sentence served: never.
    pkPrisoner->GetStats().m_usTerm = 1;
    m_kSpawn.ConsiderParole(pkPrisoner);
    EXPECT_TRUE(m_kSpawn.GetParoleCandidates().empty());
}

} // namespace

namespace
{

class CarryTest : public SpawnTest
{
protected:
    void SetUp() override
    {
        SpawnTest::SetUp();
        m_pkYard = Area(1);
        m_pkThug = Make("PrisonerFactory", "thug", m_pkYard);
        ASSERT_NE(m_pkThug, nullptr);
        StandOn(*m_pkThug, 0);
        m_kHost.m_fGameSpeed = 3.0f;
        m_kHost.m_fSavedSpeed = 1.0f;
    }

    // The pick over the cell of the yard, or over nothing.
    void PickAt(std::int32_t iCell)
    {
        CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
        if (iCell < 0)
        {
            pkGrids->ResetPick();
            return;
        }
        NiVec3 kAt;
        ASSERT_NE(m_pkYard->CellPosition(iCell, kAt, true), nullptr);
        pkGrids->PickCell(kAt);
    }

    CBlockGrid* m_pkYard = nullptr;
    CGameCharacter* m_pkThug = nullptr;
};

TEST_F(CarryTest, TheGameStaysPausedAndTheDropOnAFreeCellKeepsThePlace)
{
    ASSERT_TRUE(m_kSpawn.PickUpCharacter(m_pkThug));
    EXPECT_EQ(m_kHost.m_fGameSpeed, 0.0f);
    EXPECT_EQ(m_kHost.m_fSavedSpeed, 3.0f);
    EXPECT_EQ(m_kSpawn.m_iCarryGrid, 1);
    EXPECT_EQ(m_kSpawn.m_iCarryCell, 0);
    // A second pick-up is refused.
    CGameCharacter* pkOther = Make("PrisonerFactory", "thug", m_pkYard);
    EXPECT_FALSE(m_kSpawn.PickUpCharacter(pkOther));
    EXPECT_EQ(m_kSpawn.GetCarried(), m_pkThug);
    // A speed key has no lasting effect, and that frame nothing moves.
    PickAt(9);
    m_kHost.m_fGameSpeed = 2.0f;
    m_kSpawn.UpdateArrivals(0.0f);
    EXPECT_EQ(m_kHost.m_fGameSpeed, 0.0f);
    EXPECT_NE(m_pkThug->GetCurrentCell(), 9);
    m_kSpawn.UpdateArrivals(0.0f);
    const NiVec3 kPick = CBlockGridManager::GetExisting()->GetPickPoint();
    ASSERT_NE(m_pkThug->GetModelPosition(), nullptr);
    EXPECT_FLOAT_EQ(m_pkThug->GetModelPosition()->x, kPick.x);
    EXPECT_FLOAT_EQ(m_pkThug->GetModelPosition()->z, kPick.z);
    m_kSpawn.DropCharacter();
    EXPECT_EQ(m_kHost.m_fGameSpeed, 3.0f);
    EXPECT_EQ(m_kSpawn.GetCarried(), nullptr);
    EXPECT_EQ(m_kSpawn.m_iCarryGrid, -1);
    EXPECT_FLOAT_EQ(m_pkThug->GetModelPosition()->x, kPick.x);
}

TEST_F(CarryTest, ARefusedDropGoesBackAndAPanelsSpeedReturns)
{
    NiVec3 kHome;
    ASSERT_NE(m_pkYard->CellPosition(0, kHome, true), nullptr);
    // Paused by a panel that kept speed 2.
    m_kHost.m_fGameSpeed = 0.0f;
    m_kHost.m_fSavedSpeed = 2.0f;
    ASSERT_TRUE(m_kSpawn.PickUpCharacter(m_pkThug));
    EXPECT_EQ(m_kHost.m_fSavedSpeed, 2.0f);
    PickAt(-1);
    m_kSpawn.UpdateArrivals(0.0f);
    m_kSpawn.DropCharacter();
    EXPECT_EQ(m_kHost.m_fGameSpeed, 2.0f);
    EXPECT_EQ(m_pkThug->GetGrid(), m_pkYard);
    ASSERT_NE(m_pkThug->GetModelPosition(), nullptr);
    EXPECT_FLOAT_EQ(m_pkThug->GetModelPosition()->x, kHome.x);
    EXPECT_FLOAT_EQ(m_pkThug->GetModelPosition()->z, kHome.z);
}

TEST_F(CarryTest, CancelRestoresTheSpeedAndADestroyedCharacterEndsTheCarry)
{
    ASSERT_TRUE(m_kSpawn.PickUpCharacter(m_pkThug));
    PickAt(9);
    m_kSpawn.CancelCarry();
    EXPECT_EQ(m_kHost.m_fGameSpeed, 3.0f);
    EXPECT_EQ(m_kSpawn.GetCarried(), nullptr);
    // Nothing carried: nothing to drop or cancel.
    m_kSpawn.DropCharacter();
    EXPECT_EQ(m_kHost.m_fGameSpeed, 3.0f);
    ASSERT_TRUE(m_kSpawn.PickUpCharacter(m_pkThug));
    m_pkManager->DestroyObject(m_pkThug, true);
    EXPECT_EQ(m_kSpawn.GetCarried(), nullptr);
    m_kSpawn.UpdateArrivals(0.0f);
}

} // namespace
