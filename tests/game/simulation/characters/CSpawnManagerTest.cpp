#include "game/simulation/characters/CSpawnManager.h"

#include "engine/core/NiRandom.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneAIControllerManager.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneSceneNode.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CObjectRecord.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsFiles.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/simulation/characters/CharacterTestSupport.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneTgaWriter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

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
    // Three criminals, then the eight staff of "SECURITY" and its later
    // siblings, in the document's order.
    ASSERT_EQ(m_kSpawn.m_kHeadSets.size(), 11u);
    EXPECT_EQ(m_kSpawn.m_kHeadSets[0]->m_kName, "prison1/criminals/thug.nif");
    EXPECT_EQ(m_kSpawn.m_kHeadSets[3]->m_kName, "prison1/staff/guard1.nif");
    EXPECT_EQ(m_kSpawn.m_kHeadSets[10]->m_kName, "prison1/staff/maint_worker.nif");
}

TEST_F(SpawnTest, CharactersShowTheHeadOfTheirVariantAndPostsTheirRoomsHeadTexture)
{
    // The demo prisoners' folder holds five heads, one per variant.
    CGameCharacter* pkThug = Make("PrisonerFactory", "thug");
    ASSERT_NE(pkThug, nullptr);
    const std::uint16_t usHead = pkThug->GetStats().m_usHeadTexture;
    ASSERT_GE(usHead, 1);
    ASSERT_NE(pkThug->GetPortrait(), nullptr);
    EXPECT_EQ(pkThug->GetPortrait(), m_kSpawn.FindHeadImage("thug", usHead - 1u));
    CCharacterStats kStats = pkThug->GetStats();
    kStats.m_usHeadTexture = usHead == 5 ? 1 : usHead + 1;
    pkThug->SetStats(kStats);
    EXPECT_EQ(pkThug->GetPortrait(), m_kSpawn.FindHeadImage("thug", kStats.m_usHeadTexture - 1u));
    EXPECT_NE(pkThug->GetPortrait(), m_kSpawn.FindHeadImage("thug", usHead - 1u));
    // A variant without a picture has no portrait.
    kStats.m_usHeadTexture = 6;
    pkThug->SetStats(kStats);
    EXPECT_EQ(pkThug->GetPortrait(), nullptr);
    pkThug->DrawPortrait(10.0f, 10.0f);

    // Posts take their head texture once per file, shared between rooms.
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("admin_staff_security");
    kDesc.m_ucMode = 1;
    COrvaneObjectFactory* pkFactory = m_pkManager->FindFactory("WorldObjectFactory", nullptr);
    auto* pkFirst = dynamic_cast<CBaseObject*>(m_pkManager->CreateObject(pkFactory, kDesc));
    auto* pkSecond = dynamic_cast<CBaseObject*>(m_pkManager->CreateObject(pkFactory, kDesc));
    ASSERT_TRUE(pkFirst && pkSecond);
    ASSERT_EQ(pkFirst->GetPosts().size(), 3u);
    for (std::size_t i = 0; i < 3; ++i)
    {
        ASSERT_NE(pkFirst->GetPosts()[i]->m_pkHeadTexture, nullptr);
        EXPECT_EQ(pkFirst->GetPosts()[i]->m_pkHeadTexture, pkSecond->GetPosts()[i]->m_pkHeadTexture);
    }
    EXPECT_NE(pkFirst->GetPosts()[0]->m_pkHeadTexture, pkFirst->GetPosts()[1]->m_pkHeadTexture);
    EXPECT_EQ(pkFirst->GetPosts()[2]->m_pkHeadTexture, m_kSpawn.FindHeadImage("visitor.tga", 0));
}

TEST_F(SpawnTest, WithoutAnArrivalRoadNewcomersStartInTheMiddleOfTheFirstOutsideCell)
{
    CBlockGrid* pkYard = Area(1);
    NiVec3 kFirst;
    ASSERT_NE(pkYard->CellPosition(0, kFirst, true), nullptr);
    CAIPrisoner* pkPrisoner = m_kSpawn.CreateArrivingPrisoner();
    ASSERT_NE(pkPrisoner, nullptr);
    EXPECT_EQ(pkPrisoner->GetGrid(), pkYard);
    ASSERT_NE(pkPrisoner->GetModelPosition(), nullptr);
    EXPECT_FLOAT_EQ(pkPrisoner->GetModelPosition()->x, kFirst.x);
    EXPECT_FLOAT_EQ(pkPrisoner->GetModelPosition()->z, kFirst.z);
}

TEST_F(SpawnTest, AtTheDayChangeEveryCharacterFinishesItsActivity)
{
    CBlockGrid* pkYard = Area(1);
    CGameCharacter* pkThug = Make("PrisonerFactory", "thug", pkYard);
    ASSERT_NE(pkThug, nullptr);
    StandOn(*pkThug, 20);
    m_pkManager->NewDayStep();
    // Without home or road: the middle of the outside's first cell.
    NiVec3 kFirst;
    ASSERT_NE(pkYard->CellPosition(0, kFirst, true), nullptr);
    ASSERT_NE(pkThug->GetModelPosition(), nullptr);
    EXPECT_FLOAT_EQ(pkThug->GetModelPosition()->x, kFirst.x);
    EXPECT_FLOAT_EQ(pkThug->GetModelPosition()->z, kFirst.z);
    EXPECT_EQ(pkThug->GetCurrentCell(), 0);
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
    EXPECT_TRUE(pkPrisoner->IsGone());
    EXPECT_EQ(m_pkLedger->m_usEscapes, 1);
    // The escaped prisoner leaves the ledger as it goes, at its next update.
    m_pkManager->UpdateObjects(0.05f);
    m_pkManager->UpdateObjects(0.05f);
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

// A room of the kind and name, at the level, standing nowhere.
class TestRoom : public CPathableObject
{
public:
    TestRoom(const char* pcKind, const char* pcName, std::uint16_t usLevel) : m_kName(pcName)
    {
        m_kStringParameter = pcKind;
        m_kRecord.m_usRequiredLevel = usLevel;
        m_kRecord.m_usStaffCount = 2;
    }
    [[nodiscard]] const char* GetName() const override { return m_kName.c_str(); }

private:
    std::string m_kName;
};

class StaffSpawnTest : public SpawnTest
{
protected:
    void SetUp() override
    {
        SpawnTest::SetUp();
        Area(1);
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view kCaption,
                                     std::uint32_t) {
            m_kBoxes.emplace_back(std::string(kCaption) + ": " + std::string(kText));
            return 1;
        });
    }
    void TearDown() override
    {
        os::ResetMessageBoxHook();
        SpawnTest::TearDown();
    }

    // The staff member's template name, or "none".
    std::string Spawn(const char* pcKind, const char* pcName, std::uint16_t usLevel, CGameCharacter** ppkMade = nullptr)
    {
        m_kRooms.push_back(std::make_unique<TestRoom>(pcKind, pcName, usLevel));
        CGameCharacter* pkStaff = m_kSpawn.SpawnStaffForRoom(m_kRooms.back().get());
        if (ppkMade)
            *ppkMade = pkStaff;
        if (!pkStaff)
            return "none";
        EXPECT_EQ(pkStaff->GetHome(), m_kRooms.back().get());
        // The model's own name, without folder and extension.
        std::string kName = pkStaff->GetName() ? pkStaff->GetName() : "";
        kName.erase(0, kName.rfind('/') + 1);
        return kName.substr(0, kName.find('.'));
    }

    [[nodiscard]] std::uint32_t ObjectCount() const
    {
        std::uint32_t i = 0;
        while (m_pkManager->GetObjectAt(i))
            ++i;
        return i;
    }

    std::vector<std::unique_ptr<TestRoom>> m_kRooms;
    std::vector<std::string> m_kBoxes;
};

TEST_F(StaffSpawnTest, EachKindOfRoomGetsItsStaffAndAMissingModelShowsTheBox)
{
    CGameCharacter* pkMade = nullptr;
    EXPECT_EQ(Spawn("health", "prison1/contents/health/therapy_room.nif", 0, &pkMade), "counsellor");
    EXPECT_NE(dynamic_cast<CAISupportStaff*>(pkMade), nullptr);
    EXPECT_EQ(Spawn("health", "prison1/contents/health/medical_room.nif", 0, &pkMade), "doctor");
    EXPECT_NE(dynamic_cast<CAIMedical*>(pkMade), nullptr);
    EXPECT_EQ(Spawn("indoor_sports", "gym", 0, &pkMade), "chaplain");
    EXPECT_NE(dynamic_cast<CAISupportStaff*>(pkMade), nullptr);
    EXPECT_EQ(Spawn("work", "maint_shed", 0, &pkMade), "maint_worker");
    EXPECT_NE(dynamic_cast<CAIMaintenance*>(pkMade), nullptr);
    // Guards by the room's level: models 0, 1 and 2 (guards of grades 1 to
    // 3); levels above 2 ask for model 2 too.
    EXPECT_EQ(Spawn("security", "guard_room", 0, &pkMade), "guard1");
    EXPECT_NE(dynamic_cast<CAISecurity*>(pkMade), nullptr);
    EXPECT_EQ(Spawn("food", "canteen", 1), "guard2");
    EXPECT_EQ(Spawn("food", "canteen", 3), "guard3");
    EXPECT_TRUE(m_kBoxes.empty());
    // A staff group without the model asked for: the box, nothing made.
    m_kSpawn.m_uiStaffGroupBase += 3;
    const std::uint32_t uiMade = ObjectCount();
    EXPECT_EQ(Spawn("food", "canteen", 3), "none");
    ASSERT_EQ(m_kBoxes.size(), 1u);
    EXPECT_EQ(m_kBoxes[0], "Application Error: Staff Spawn Error. Category: " +
                               std::to_string(m_kSpawn.m_uiStaffGroupBase) + " Model: 2");
    EXPECT_EQ(ObjectCount(), uiMade);
}

// The demo workshop's repair room, made from its template: it hires a
// maintenance worker, counted with the maintenance staff, not a guard.
TEST_F(StaffSpawnTest, TheDemoRepairRoomHiresAMaintenanceWorker)
{
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("repair_room");
    ASSERT_NE(kDesc.m_pkTemplate, nullptr);
    kDesc.m_ucMode = 1;
    auto* pkRoom = dynamic_cast<CPathableObject*>(
        m_pkManager->CreateObject(m_pkManager->FindFactory("PathableObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkRoom, nullptr);
    const std::uint16_t usGuards = m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_SECURITY)->m_usCount;
    const std::uint16_t usWorkers = m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_MAINTENANCE)->m_usCount;
    CGameCharacter* pkHired = m_kSpawn.SpawnStaffForRoom(pkRoom);
    EXPECT_NE(dynamic_cast<CAIMaintenance*>(pkHired), nullptr);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_MAINTENANCE)->m_usCount, usWorkers + 1);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_SECURITY)->m_usCount, usGuards);
    EXPECT_TRUE(m_kBoxes.empty());
    m_pkManager->DestroyAllObjects();
}

// The demo chapel, made from its template: its kind word is one the
// administration building's name holds, so it goes in there, and it hires a
// chaplain, counted with the care staff, not a guard.
TEST_F(StaffSpawnTest, TheDemoChapelGoesInTheAdministrationBuildingAndHiresAChaplain)
{
    COrvaneObjectDesc kDesc;
    kDesc.m_ucMode = 1;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("admin_staff_security");
    ASSERT_NE(kDesc.m_pkTemplate, nullptr);
    auto* pkBuilding = dynamic_cast<CWorldObject*>(
        m_pkManager->CreateObject(m_pkManager->FindFactory("WorldObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkBuilding, nullptr);
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("chapel");
    ASSERT_NE(kDesc.m_pkTemplate, nullptr);
    auto* pkRoom = dynamic_cast<CPathableObject*>(
        m_pkManager->CreateObject(m_pkManager->FindFactory("PathableObjectFactory", nullptr), kDesc));
    ASSERT_NE(pkRoom, nullptr);
    EXPECT_EQ(pkRoom->GetStringParameter(), "indoor");
    EXPECT_TRUE(pkBuilding->NameContains(pkRoom->GetStringParameter().c_str()));
    EXPECT_EQ(pkRoom->GetRecord().m_usStaffCount, 1);
    const std::uint16_t usGuards = m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_SECURITY)->m_usCount;
    const std::uint16_t usCare = m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_CARE)->m_usCount;
    CGameCharacter* pkHired = m_kSpawn.SpawnStaffForRoom(pkRoom);
    const auto* pkChaplain = dynamic_cast<CAISupportStaff*>(pkHired);
    ASSERT_NE(pkChaplain, nullptr);
    EXPECT_TRUE(pkChaplain->IsChaplain());
    EXPECT_EQ(pkChaplain->GetHome(), pkRoom);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_CARE)->m_usCount, usCare + 1);
    EXPECT_EQ(m_pkLedger->GetStaffGroup(CAIStaff::CATEGORY_SECURITY)->m_usCount, usGuards);
    EXPECT_TRUE(m_kBoxes.empty());
    m_pkManager->DestroyAllObjects();
}

TEST_F(StaffSpawnTest, WithoutStaffGroupsEveryRoomShowsTheBoxAndARoomAsksPerUnit)
{
    m_kSpawn.m_uiStaffGroupBase = CSpawnManager::NO_STAFF_GROUP_BASE;
    EXPECT_EQ(Spawn("health", "sick_bay", 0), "none");
    ASSERT_EQ(m_kBoxes.size(), 1u);
    EXPECT_EQ(m_kBoxes[0], "Application Error: Staff Spawn Error. Category: -1 Model: 0");

    // A placed room asks the game once per unit of its staff count.
    COrvaneTagTree kDocument;
    ASSERT_TRUE(kDocument.Load("data.xml"));
    m_kSpawn.LoadRosters(kDocument);
    TestRoom kRoom("security", "guard_room", 0);
    const std::size_t uiBefore = m_kHost.CallsNamed("SpawnStaffForRoom").size();
    EXPECT_EQ(kRoom.SpawnStaff(), 2);
    EXPECT_EQ(m_kHost.CallsNamed("SpawnStaffForRoom").size(), uiBefore + 2);
    int iGuards = 0;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = m_pkManager->GetObjectAt(i); ++i)
        if (auto* pkGuard = dynamic_cast<CAISecurity*>(pkObject); pkGuard && pkGuard->GetHome() == &kRoom)
            ++iGuards;
    EXPECT_EQ(iGuards, 2);
    m_pkManager->DestroyAllObjects();
}

TEST_F(StaffSpawnTest, EveryPrisonerTakesTheMoodAndStaffKeepTheirs)
{
    CGameCharacter* pkA = Make("PrisonerFactory", "thug");
    CGameCharacter* pkB = Make("PrisonerFactory", "con_female");
    CGameCharacter* pkGuard = Make("SecurityGuardFactory", "guard1");
    ASSERT_TRUE(pkA && pkB && pkGuard);
    const std::uint32_t uiGuardMood = pkGuard->GetStats().m_uiMood;
    m_kSpawn.SetAllPrisonersMood(4);
    EXPECT_EQ(pkA->GetStats().m_uiMood, 4u);
    EXPECT_EQ(pkB->GetStats().m_uiMood, 4u);
    EXPECT_EQ(pkGuard->GetStats().m_uiMood, uiGuardMood);
}

TEST_F(StaffSpawnTest, TheArrivalRoadMarksItsEndCellAndReportsABadRoad)
{
    CBlockGrid* pkYard = CBlockGridManager::GetExisting()->FindGrid(1);
    NiVec3 kCell9;
    NiVec3 kCell20;
    ASSERT_NE(pkYard->CellPosition(9, kCell9, true), nullptr);
    ASSERT_NE(pkYard->CellPosition(20, kCell20, true), nullptr);
    auto Road = [](const NiVec3& kTo) {
        auto pkPath = std::make_unique<CSpawnManager::ArrivalPath>();
        pkPath->m_pkSpline = std::make_unique<COrvaneAnimationSpline>();
        pkPath->m_pkSpline->CreateFromFile(MakeDemoRoute("road", NiVec3(-40.0f, 0.0f, -40.0f), kTo).Get(), "road");
        return pkPath;
    };
    m_kSpawn.SetArrivalPath(Road(kCell9));
    EXPECT_EQ(pkYard->GetBlock(9)->GetState(), CSpawnManager::ARRIVAL_POINT_TYPE);
    // A new road frees the old end.
    m_kSpawn.SetArrivalPath(Road(kCell20));
    EXPECT_EQ(pkYard->GetBlock(9)->GetState(), COrvaneBlock::STATE_FREE);
    EXPECT_EQ(pkYard->GetBlock(20)->GetState(), CSpawnManager::ARRIVAL_POINT_TYPE);
    EXPECT_TRUE(m_kBoxes.empty());

    m_kSpawn.SetArrivalPath(Road(NiVec3(-40.0f, 0.0f, -40.0f)));
    EXPECT_EQ(pkYard->GetBlock(20)->GetState(), COrvaneBlock::STATE_FREE);
    m_kSpawn.SetArrivalPath(std::make_unique<CSpawnManager::ArrivalPath>());
    EXPECT_EQ(m_kBoxes, (std::vector<std::string>{"Application Error: Spawn point does not end on valid map index",
                                                   "Application Error: Spawn point has no spline"}));
    // The road is kept either way.
    ASSERT_NE(m_kSpawn.m_pkArrivalPath, nullptr);
}

TEST_F(StaffSpawnTest, TheCameraGoesToTheLevelsStartViewWhenAFollowEnds)
{
    COrvaneCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(0.0f, 0.0f, 0.0f));
    m_kHost.m_pkCamera = &kCamera;
    const NiVec3 kAway(1.0f, 2.0f, 3.0f);
    kCamera.SetPosition(kAway);
    // Not following and not forced: nothing.
    m_kSpawn.ResetCameraView(false);
    EXPECT_EQ(kCamera.GetEngineCamera()->GetTranslate(), kAway);

    const float fDegree = std::numbers::pi_v<float> / 180.0f;
    const struct
    {
        std::uint32_t uiLevel;
        NiVec3 kAt;
        float fHeading;
    } kViews[] = {{0, NiVec3(104.0f, 13.0f, -30.0f), 20.0f},
                  {1, NiVec3(98.0f, 29.0f, 25.0f), 153.0f},
                  {2, NiVec3(67.0f, 29.0f, 36.0f), 118.0f}};
    for (const auto& kView : kViews)
    {
        m_kHost.m_uiLevel = kView.uiLevel;
        kCamera.RotateC(nullptr, 0.7f, 0);
        m_kSpawn.m_ucCameraFollows = 1;
        m_kSpawn.ResetCameraView(false);
        EXPECT_EQ(m_kSpawn.m_ucCameraFollows, 0);
        EXPECT_EQ(kCamera.GetEngineCamera()->GetTranslate(), kView.kAt);
        EXPECT_FLOAT_EQ(kCamera.GetAngleA(), 9.0f * fDegree);
        EXPECT_FLOAT_EQ(kCamera.GetAngleB(), kView.fHeading * fDegree);
        EXPECT_EQ(kCamera.GetAngleC(), 0.0f);
        // Looking along the heading, tilted down by the 9 degrees.
        NiMatrix3x3 kExpected;
        NiMatrix3x3 kQuarter;
        NiMatrix3x3 kTilt;
        NiMatrix3x3 kBack;
        NiMatrix3x3 kTurn;
        kQuarter.MakeYRotation(std::numbers::pi_v<float> / 2.0f);
        kTilt.MakeXRotation(9.0f * fDegree);
        kBack.MakeYRotation(-std::numbers::pi_v<float> / 2.0f);
        kTurn.MakeYRotation(-kView.fHeading * fDegree);
        kExpected = kQuarter * kTilt * kBack * kTurn;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(kCamera.GetEngineCamera()->GetRotate().GetEntry(r, c), kExpected.GetEntry(r, c), 1e-5f);
    }
    // A level without a start view: the follow ends, the camera stays.
    m_kHost.m_uiLevel = 5;
    kCamera.SetPosition(kAway);
    m_kSpawn.m_ucCameraFollows = 1;
    m_kSpawn.ResetCameraView(false);
    EXPECT_EQ(m_kSpawn.m_ucCameraFollows, 0);
    EXPECT_EQ(kCamera.GetEngineCamera()->GetTranslate(), kAway);
    // Forced, as after a load, without a follow.
    m_kHost.m_uiLevel = 0;
    m_kSpawn.ResetCameraView(true);
    EXPECT_EQ(kCamera.GetEngineCamera()->GetTranslate(), NiVec3(104.0f, 13.0f, -30.0f));
    m_kHost.m_pkCamera = nullptr;
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

    // The marker's colour and alpha.
    [[nodiscard]] NiColorRGBA MarkerColour() const
    {
        const COrvaneSceneNode* pkMarker = m_kSpawn.m_pkCarryMarker.get();
        const auto* pkMaterial = pkMarker && pkMarker->GetSceneRoot()
                                     ? static_cast<const NiMaterialProperty*>(
                                           pkMarker->GetSceneRoot()->GetProperty(NiProperty::MATERIAL))
                                     : nullptr;
        if (!pkMaterial)
            return NiColorRGBA{-1.0f, -1.0f, -1.0f, -1.0f};
        const NiColorRGB& kColour = pkMaterial->GetAmbientColor();
        return NiColorRGBA{kColour.r, kColour.g, kColour.b, pkMaterial->GetAlpha()};
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
    EXPECT_EQ(MarkerColour(), (NiColorRGBA{0.0f, 0.0f, 1.0f, 0.5f}));
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
    // The marker lies just above the pick, blue.
    ASSERT_NE(m_kSpawn.m_pkCarryMarker, nullptr);
    EXPECT_EQ(m_kSpawn.m_pkCarryMarker->GetRoot()->GetTranslate(), NiVec3(kPick.x, kPick.y + 0.1f, kPick.z));
    EXPECT_EQ(MarkerColour(), (NiColorRGBA{0.0f, 0.0f, 1.0f, 0.5f}));
    m_kSpawn.DropCharacter();
    EXPECT_EQ(m_kSpawn.m_pkCarryMarker, nullptr);
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
    // Nowhere to put it down: red.
    EXPECT_EQ(MarkerColour(), (NiColorRGBA{1.0f, 0.0f, 0.0f, 0.5f}));
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
