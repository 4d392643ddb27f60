#include "game/simulation/objects/CBlockGrid.h"

#include "engine/core/NiRandom.h"
#include "framework/COrvaneGridEntity.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneObjectFactory.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

namespace
{

class Named : public COrvaneBase
{
public:
    explicit Named(const char* pcName) { SetName(pcName); }
};

class Person : public COrvaneGridEntity
{
public:
    explicit Person(COrvaneBase* pkFactory)
    {
        COrvaneObjectDesc kDesc;
        kDesc.m_pkType = pkFactory;
        Load(kDesc);
    }
    std::int32_t GetEntityKind() const override { return 1; }
};

// A usable object counts its posts as staff of its floor.
class StaffedObject : public CBaseObject
{
public:
    bool AddsPostsToFloorStaff() const override { return true; }
};

std::set<std::int32_t> CellsOfState(const CBlockGrid& kGrid, std::int32_t iState)
{
    std::set<std::int32_t> kCells;
    for (std::int32_t i = 0; i < kGrid.GetCellCount(); ++i)
        if (kGrid.GetBlock(i)->GetState() == iState)
            kCells.insert(i);
    return kCells;
}

std::set<std::int32_t> DoorsAfterTurn(float fRotation, const std::vector<CBlockGrid::DoorRun>& kDoors)
{
    CBlockGrid kGrid;
    kGrid.Setup(3, 5, NiVec3::ZERO, 2, 1, 0, nullptr, kDoors, fRotation);
    return CellsOfState(kGrid, CBlock::STATE_DOOR);
}

CGridDesc Description(std::int32_t iNumber, std::int32_t iRows, std::int32_t iColumns, std::int32_t iFloor,
                      std::int32_t iCellSize, bool bOwnStack, const NiVec3& kOrigin = NiVec3::ZERO)
{
    CGridDesc kDesc;
    kDesc.m_aiNumbers[0] = iNumber;
    kDesc.m_aiNumbers[1] = iRows;
    kDesc.m_aiNumbers[2] = iColumns;
    kDesc.m_aiNumbers[3] = iFloor;
    kDesc.m_aiNumbers[4] = iCellSize;
    kDesc.m_ucOwnStack = bOwnStack ? 1 : 0;
    kDesc.m_kOrigin = kOrigin;
    return kDesc;
}

TEST(CBlockGrid, DoorRunsTurnWithTheBuildingAboutTheGridCentre)
{
    // A run along the first row of the unturned building.
    const std::vector<CBlockGrid::DoorRun> kRun{{0.0f, 2.0f}};
    EXPECT_EQ(DoorsAfterTurn(0.0f, kRun), (std::set<std::int32_t>{0, 1, 2}));
    // Turned a quarter, the unturned building is 5 x 3: its first row lies
    // along the first column of the laid grid.
    EXPECT_EQ(DoorsAfterTurn(90.0f, kRun), (std::set<std::int32_t>{0, 5, 10}));
    EXPECT_EQ(DoorsAfterTurn(180.0f, kRun), (std::set<std::int32_t>{12, 13, 14}));
    EXPECT_EQ(DoorsAfterTurn(270.0f, kRun), (std::set<std::int32_t>{4, 9, 14}));
    // -1 as the second value: the one cell.
    EXPECT_EQ(DoorsAfterTurn(180.0f, {{0.0f, -1.0f}}), (std::set<std::int32_t>{14}));
    EXPECT_EQ(DoorsAfterTurn(90.0f, {{0.0f, -1.0f}}), (std::set<std::int32_t>{10}));
    // Door cells off the grid are skipped, the others still marked.
    EXPECT_EQ(DoorsAfterTurn(0.0f, {{15.0f, -1.0f}, {-3.0f, 1.0f}, {std::nanf(""), -1.0f}, {7.0f, -1.0f}}),
              (std::set<std::int32_t>{7}));
}

TEST(CBlockGrid, PlaceableAreasStayOnTheGridAndOffDoorsAndConnectors)
{
    CBlockGrid kGrid;
    kGrid.Setup(3, 5, NiVec3::ZERO, 2, 1, 0, nullptr, {{7.0f, -1.0f}}, 0.0f);
    EXPECT_TRUE(kGrid.IsAreaPlaceable(0, 0, 5));
    EXPECT_TRUE(kGrid.IsAreaPlaceable(99, 0, 5));
    EXPECT_TRUE(kGrid.IsAreaPlaceable(0, 1, 5));
    EXPECT_TRUE(kGrid.IsAreaPlaceable(10, 1, 5));
    // Wraps into the next row, runs off the last row, starts off the grid.
    EXPECT_FALSE(kGrid.IsAreaPlaceable(3, 1, 3));
    EXPECT_FALSE(kGrid.IsAreaPlaceable(10, 2, 1));
    EXPECT_FALSE(kGrid.IsAreaPlaceable(-1, 1, 1));
    // The door cell, then a connector's cell.
    EXPECT_FALSE(kGrid.IsAreaPlaceable(1, 2, 2));
    EXPECT_TRUE(kGrid.IsAreaPlaceable(3, 2, 2));
    NiVec3 kCell3;
    ASSERT_NE(kGrid.CellPosition(3, kCell3, true), nullptr);
    kGrid.AddMarker(CConnector::Make(kCell3, NiVec3::ZERO, nullptr, nullptr));
    EXPECT_EQ(kGrid.GetBlock(3)->GetState(), CBlock::STATE_CONNECTOR);
    EXPECT_FALSE(kGrid.IsAreaPlaceable(3, 2, 2));
}

TEST(CBlockGrid, MembersAreGroupedByTheirFactoryInJoiningOrder)
{
    Named kGuards("SecurityGuardFactory");
    Named kMedics("MedicalFactory");
    Person kA(&kGuards), kB(&kMedics), kC(&kGuards);
    CBlockGrid kFloor;
    EXPECT_TRUE(kFloor.AddMember(&kA));
    EXPECT_TRUE(kFloor.AddMember(&kB));
    EXPECT_TRUE(kFloor.AddMember(&kC));
    EXPECT_FALSE(kFloor.AddMember(nullptr));
    // Once only.
    EXPECT_FALSE(kFloor.AddMember(&kA));
    ASSERT_NE(kFloor.GetMembers(), nullptr);
    const auto& kGroups = kFloor.GetMembers()->m_kCharacters;
    ASSERT_EQ(kGroups.size(), 2u);
    EXPECT_EQ(kGroups[0].m_pkFactory, &kGuards);
    EXPECT_EQ(kGroups[0].m_kMembers, (std::vector<COrvaneGridEntity*>{&kA, &kC}));
    EXPECT_TRUE(kFloor.GetMembers()->m_kObjects.empty());
    EXPECT_EQ(kFloor.GetMemberCount(), 3u);
    EXPECT_TRUE(kFloor.IsMember(&kB));

    EXPECT_TRUE(kFloor.RemoveMember(&kA));
    // Not a member (any more): false, nothing changed.
    EXPECT_FALSE(kFloor.RemoveMember(&kA));
    Person kStranger(&kMedics);
    EXPECT_FALSE(kFloor.RemoveMember(&kStranger));
    EXPECT_FALSE(kFloor.IsMember(&kA));
    EXPECT_EQ(kFloor.GetMemberCount(), 2u);
}

using CBlockGridPrisonTest = PrisonTest;

TEST_F(CBlockGridPrisonTest, StaffAndPrisonersAreCountedOnceAndPostsOfStaffedObjects)
{
    CBlockGrid kFloor;
    kFloor.Setup(6, 6, NiVec3::ZERO, 2, 1, 0, nullptr, {}, 0.0f);
    TestCharacter* pkGuard = MakeCharacter();
    TestCharacter* pkPrisoner = MakeCharacter();
    TestCharacter* pkVisitor = MakeCharacter();
    ASSERT_TRUE(pkGuard && pkPrisoner && pkVisitor);
    pkGuard->m_eRole = CGridCharacter::Role::Staff;
    pkPrisoner->m_eRole = CGridCharacter::Role::Prisoner;
    EXPECT_TRUE(kFloor.AddMember(pkGuard));
    EXPECT_TRUE(kFloor.AddMember(pkPrisoner));
    EXPECT_TRUE(kFloor.AddMember(pkVisitor));
    EXPECT_FALSE(kFloor.AddMember(pkGuard));
    EXPECT_EQ(kFloor.GetStaffCount(), 1u);
    EXPECT_EQ(kFloor.GetPrisonerCount(), 1u);

    // A placed object of three posts; a plain base object counts none.
    StaffedObject kRoom;
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = m_pkManager->FindTemplate("guardroom");
    kDesc.m_ucMode = 1;
    kDesc.m_pkType = m_pkManager->FactoryNamed("PathableObjectFactory");
    kRoom.Load(kDesc);
    ASSERT_EQ(kRoom.GetPosts().size(), 3u);
    CBaseObject* pkBench = MakeObject("bench");
    ASSERT_NE(pkBench, nullptr);
    EXPECT_TRUE(kFloor.AddMember(&kRoom));
    EXPECT_TRUE(kFloor.AddMember(pkBench));
    EXPECT_EQ(kFloor.GetStaffCount(), 4u);
    EXPECT_EQ(kFloor.GetMembers()->m_kObjects.size(), 2u);
    EXPECT_EQ(kFloor.GetMembers()->m_kCharacters.size(), 1u);

    // Non-members change nothing.
    TestCharacter* pkStranger = MakeCharacter();
    pkStranger->m_eRole = CGridCharacter::Role::Staff;
    EXPECT_FALSE(kFloor.RemoveMember(pkStranger));
    EXPECT_EQ(kFloor.GetStaffCount(), 4u);
    EXPECT_TRUE(kFloor.RemoveMember(&kRoom));
    EXPECT_TRUE(kFloor.RemoveMember(pkGuard));
    EXPECT_TRUE(kFloor.RemoveMember(pkPrisoner));
    EXPECT_EQ(kFloor.GetStaffCount(), 0u);
    EXPECT_EQ(kFloor.GetPrisonerCount(), 0u);
}

TEST_F(CBlockGridPrisonTest, FloorsShowTheirMembersGoingUpAndHideThemGoingDown)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkGround = pkGrids->CreateGrid(Description(1, 4, 4, 0, 2, false));
    CBlockGrid* pkUpper = pkGrids->CreateGrid(Description(2, 4, 4, 1, 2, false));
    ASSERT_TRUE(pkGround && pkUpper);
    CBlockGridStack* pkStack = pkGrids->GetStackUnderConstruction();
    ASSERT_NE(pkStack, nullptr);
    // The highest floor is current after each build.
    EXPECT_EQ(pkStack->GetCurrentGrid(), pkUpper);
    EXPECT_EQ(pkGrids->CommitStack(), pkGround);
    EXPECT_EQ(pkGrids->GetStackUnderConstruction(), nullptr);

    TestCharacter* pkBelow = MakeCharacter(pkGround);
    TestCharacter* pkAbove = MakeCharacter(pkUpper);
    CBaseObject* pkBench = MakeObject("bench");
    ASSERT_TRUE(pkBelow && pkAbove && pkBench);
    pkBench->AddToWorld(&kWorld, true);
    EXPECT_TRUE(pkUpper->AddMember(pkBench));
    ASSERT_TRUE(pkAbove->IsModelVisible());

    // Down from the top: the top floor's members are hidden.
    EXPECT_EQ(pkStack->PreviousFloor(), pkGround);
    EXPECT_FALSE(pkAbove->IsModelVisible());
    EXPECT_EQ(pkBench->GetWorld(), nullptr);
    EXPECT_TRUE(pkBelow->IsModelVisible());
    // At the first floor its members are hidden and it stays current.
    EXPECT_EQ(pkStack->PreviousFloor(), nullptr);
    EXPECT_EQ(pkStack->GetCurrentGrid(), pkGround);
    EXPECT_FALSE(pkBelow->IsModelVisible());
    // Up: the floor entered shows its members again.
    EXPECT_EQ(pkStack->NextFloor(), pkUpper);
    EXPECT_TRUE(pkAbove->IsModelVisible());
    EXPECT_EQ(pkBench->GetWorld(), &kWorld);
    pkStack->ShowAllFloors();
    EXPECT_TRUE(pkBelow->IsModelVisible());

    // Deleting the stacks destroys every floor's members; characters are
    // told their floors went.
    EXPECT_EQ(m_pkManager->GetLiveCount(), 3u);
    TestCharacter* pkElsewhere = MakeCharacter();
    pkGrids->Clear();
    EXPECT_EQ(m_pkManager->GetLiveCount(), 1u);
    EXPECT_EQ(pkElsewhere->m_kTold, (std::vector<std::string>{"grid gone", "grid gone"}));
    EXPECT_EQ(pkGrids->FindGrid(1), nullptr);
}

TEST(CBlockGridManager, OutsideAreasKeepTheirNumbersAndEveryBuildingNumbersOnAfterTheGridsInUse)
{
    CBlockGridManager::DestroyInstance();
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    EXPECT_EQ(pkGrids->FindGrid(1), nullptr);
    ASSERT_NE(pkGrids->CreateGrid(Description(1, 10, 10, 0, 2, true)), nullptr);
    ASSERT_NE(pkGrids->CreateGrid(Description(2, 4, 4, 0, 2, true)), nullptr);
    ASSERT_EQ(pkGrids->GetStacks().size(), 2u);

    // Two buildings of one model: floors 1 and 2 of each.
    for (int iBuilding = 0; iBuilding < 2; ++iBuilding)
    {
        ASSERT_NE(pkGrids->CreateGrid(Description(1, 3, 3, 0, 2, false)), nullptr);
        ASSERT_NE(pkGrids->CreateGrid(Description(2, 3, 3, 1, 2, false)), nullptr);
        ASSERT_NE(pkGrids->CommitStack(), nullptr);
    }
    ASSERT_EQ(pkGrids->GetStacks().size(), 4u);
    EXPECT_EQ(pkGrids->GetStacks()[2]->GetFloor(0)->GetId(), 3);
    EXPECT_EQ(pkGrids->GetStacks()[2]->GetFloor(1)->GetId(), 4);
    EXPECT_EQ(pkGrids->GetStacks()[3]->GetFloor(0)->GetId(), 5);
    EXPECT_EQ(pkGrids->GetStacks()[3]->GetFloor(1)->GetId(), 6);
    EXPECT_EQ(pkGrids->FindGrid(6), pkGrids->GetStacks()[3]->GetFloor(1));
    EXPECT_EQ(pkGrids->FindGrid(6)->GetFloorIndex(), 1);
    EXPECT_EQ(pkGrids->FindGrid(6)->GetStack(), pkGrids->GetStacks()[3].get());

    // A numbered base: floor index + N1, as saved.
    CGridDesc kSaved = Description(20, 3, 3, 1, 2, false);
    kSaved.m_ucNumberedBase = 1;
    int iToken = 0;
    kSaved.m_pkOwner = &iToken;
    CBlockGrid* pkSaved = pkGrids->CreateGrid(kSaved);
    ASSERT_NE(pkSaved, nullptr);
    EXPECT_EQ(pkSaved->GetId(), 21);
    EXPECT_EQ(pkGrids->GetStackFloor(1), pkSaved);
    EXPECT_EQ(pkGrids->GetStackFloor(0), nullptr);
    EXPECT_EQ(pkGrids->GetStackFloor(9), nullptr);
    EXPECT_EQ(pkGrids->GetStackUnderConstruction()->GetOwner(), &iToken);

    // Descriptions naming no grid, or more than is ever laid out.
    EXPECT_EQ(pkGrids->CreateGrid(Description(9, 0, 4, 0, 2, true)), nullptr);
    EXPECT_EQ(pkGrids->CreateGrid(Description(9, 4, 4, 0, 0, true)), nullptr);
    EXPECT_EQ(pkGrids->CreateGrid(Description(9, 100000, 100000, 0, 2, true)), nullptr);
    EXPECT_EQ(pkGrids->CreateGrid(Description(9, 4, 513, 0, 2, true)), nullptr);
    EXPECT_NE(pkGrids->CreateGrid(Description(10, 512, 2, 0, 2, true)), nullptr);
    EXPECT_EQ(pkGrids->CreateGrid(Description(9, 4, 4, 2000000000, 2, true)), nullptr);
    EXPECT_EQ(pkGrids->CreateGrid(Description(9, 4, 4, -1, 2, true)), nullptr);
    CBlockGridManager::DestroyInstance();
}

TEST_F(CBlockGridPrisonTest, ConnectorsAreFoundByDestinationAndDrawnAmongOpenAreasAndFloors)
{
    CWorld kWorld;
    kWorld.SetHighestMapNumber(3);
    m_kHost.m_pkWorld = &kWorld;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkYard = pkGrids->CreateGrid(Description(1, 10, 10, 0, 2, true));
    CBlockGrid* pkField = pkGrids->CreateGrid(Description(2, 4, 4, 0, 2, true));
    CBlockGrid* pkFarField = pkGrids->CreateGrid(Description(3, 4, 4, 0, 2, true));
    CBlockGrid* pkFloor = pkGrids->CreateGrid(Description(1, 4, 4, 0, 2, false));
    ASSERT_TRUE(pkYard && pkField && pkFarField && pkFloor);
    pkGrids->CommitStack();
    ASSERT_EQ(pkFloor->GetId(), 4);

    TestCharacter* pkWalker = MakeCharacter(pkYard);
    auto Connect = [pkYard](std::int32_t iCell, CBlockGrid* pkTo)
    {
        NiVec3 kStart;
        pkYard->CellPosition(iCell, kStart, true);
        pkYard->AddMarker(CConnector::Make(kStart, NiVec3(1.0f, 2.0f, 3.0f), pkTo, nullptr));
    };
    EXPECT_EQ(pkYard->GetConnector(-1), nullptr);
    Connect(11, pkField);
    Connect(12, pkFarField);
    // The start cell is a connector cell, and the characters there heard.
    EXPECT_EQ(pkYard->GetBlock(11)->GetState(), CBlock::STATE_CONNECTOR);
    EXPECT_EQ(pkWalker->m_kTold, (std::vector<std::string>{"cell 11", "cell 12"}));

    COrvaneGridMarker* pkToField = pkYard->GetConnector(2);
    ASSERT_NE(pkToField, nullptr);
    EXPECT_EQ(CConnector::GetDestination(*pkToField), pkField);
    EXPECT_EQ(CConnector::GetEnd(*pkToField), NiVec3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(pkYard->GetConnector(4), nullptr);

    // At upgrade level 0 neither outside area is open: ten draws, then
    // nothing.
    NiSeedRandom(7);
    EXPECT_EQ(pkYard->GetConnector(-1), nullptr);
    NiSeedRandom(7);
    for (int i = 0; i < 10; ++i)
        (void)NiRand();
    const int iNext = NiRand();
    NiSeedRandom(7);
    (void)pkYard->RandomConnector();
    EXPECT_EQ(NiRand(), iNext);

    // A building floor is always open; ten unlucky draws still give
    // nothing.
    Connect(13, pkFloor);
    int iFound = 0;
    for (std::uint32_t uiSeed = 1; uiSeed < 41; ++uiSeed)
    {
        NiSeedRandom(uiSeed);
        if (COrvaneGridMarker* pkDrawn = pkYard->RandomConnector())
        {
            EXPECT_EQ(CConnector::GetDestination(*pkDrawn), pkFloor);
            ++iFound;
        }
    }
    EXPECT_GE(iFound, 35);
    // Upgrade level 1 opens grid 2, not grid 3.
    kWorld.SetUpgradeLevel(1);
    std::set<CBlockGrid*> kReached;
    for (std::uint32_t uiSeed = 1; uiSeed < 60; ++uiSeed)
    {
        NiSeedRandom(uiSeed);
        if (COrvaneGridMarker* pkDrawn = pkYard->RandomConnector())
            kReached.insert(CConnector::GetDestination(*pkDrawn));
    }
    EXPECT_EQ(kReached, (std::set<CBlockGrid*>{pkField, pkFloor}));
}

TEST_F(CBlockGridPrisonTest, AGridThatGoesTakesTheConnectorsLeadingToItAlong)
{
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkYard = pkGrids->CreateGrid(Description(1, 10, 10, 0, 2, true));
    ASSERT_NE(pkYard, nullptr);
    NiVec3 kStart;
    pkYard->CellPosition(11, kStart, true);
    {
        CBlockGrid kGone;
        kGone.Setup(4, 4, NiVec3::ZERO, 2, 7, 0, nullptr, {}, 0.0f);
        pkYard->AddMarker(CConnector::Make(kStart, NiVec3::ZERO, &kGone, nullptr));
        ASSERT_NE(pkYard->GetConnector(7), nullptr);
    }
    EXPECT_TRUE(pkYard->GetMarkers().empty());
    EXPECT_EQ(pkYard->GetBlock(11)->GetState(), CBlock::STATE_FREE);
    EXPECT_EQ(pkYard->GetConnector(7), nullptr);
}

TEST_F(CBlockGridPrisonTest, ThePickFindsTheCellCentreOnOpenAreasOrTheSelectedBuilding)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    const float fNowhere = std::numeric_limits<float>::max();
    EXPECT_EQ(pkGrids->PickCell(NiVec3(1.0f, 0.0f, -1.0f)), NiVec3(fNowhere, fNowhere, fNowhere));
    EXPECT_EQ(pkGrids->GetPickGrid(), nullptr);

    CBlockGrid* pkYard = pkGrids->CreateGrid(Description(1, 10, 10, 0, 2, true, NiVec3(0.0f, 5.0f, 0.0f)));
    CBlockGrid* pkField = pkGrids->CreateGrid(Description(2, 10, 10, 0, 2, true, NiVec3(100.0f, 7.0f, 0.0f)));
    ASSERT_TRUE(pkYard && pkField);
    // Row 1, column 2 of the yard: the centre at the grid's height.
    EXPECT_EQ(pkGrids->PickCell(NiVec3(2.6f, 30.0f, -4.4f)), NiVec3(2.0f, 5.0f, -4.0f));
    EXPECT_EQ(pkGrids->GetPickCell(), 12);
    EXPECT_EQ(pkGrids->GetPickGrid(), pkYard);
    EXPECT_EQ(pkGrids->GetPickStack(), pkGrids->GetStacks()[0].get());
    // The second area is closed at upgrade level 0.
    EXPECT_EQ(pkGrids->PickCell(NiVec3(102.0f, 0.0f, -2.0f)).x, fNowhere);
    EXPECT_EQ(pkGrids->GetPickCell(), -1);
    kWorld.SetUpgradeLevel(1);
    pkGrids->UpdatePick(nullptr);
    EXPECT_EQ(pkGrids->GetPickCell(), -1);
    const NiVec3 kMouse(102.0f, 0.0f, -2.0f);
    pkGrids->UpdatePick(&kMouse);
    EXPECT_EQ(pkGrids->GetPickGrid(), pkField);
    EXPECT_EQ(pkGrids->GetPickPoint(), NiVec3(102.0f, 7.0f, -2.0f));

    // With a building selected only its current floor is picked.
    int iBuilding = 0;
    CGridDesc kFloor = Description(1, 4, 4, 0, 2, false, NiVec3(50.0f, 9.0f, 0.0f));
    kFloor.m_pkOwner = &iBuilding;
    CBlockGrid* pkInside = pkGrids->CreateGrid(kFloor);
    pkGrids->CommitStack();
    m_kHost.m_pkSelectedBuilding = reinterpret_cast<CWorldObject*>(&iBuilding);
    EXPECT_EQ(pkGrids->PickCell(NiVec3(2.0f, 0.0f, -2.0f)).x, fNowhere);
    EXPECT_EQ(pkGrids->PickCell(NiVec3(52.0f, 0.0f, 0.0f)), NiVec3(52.0f, 9.0f, 0.0f));
    EXPECT_EQ(pkGrids->GetPickGrid(), pkInside);
    m_kHost.m_pkSelectedBuilding = nullptr;
}

// Seen at a slant, the point the mouse's pick met on the building's ground
// lies off the cell of the upper floor the ray passes through: the cell is
// taken where the ray crosses each floor's own height.
TEST_F(CBlockGridPrisonTest, ThePickOnARayTakesTheCellWhereTheRayCrossesTheFloor)
{
    CWorld kWorld;
    m_kHost.m_pkWorld = &kWorld;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkYard = pkGrids->CreateGrid(Description(1, 10, 10, 0, 2, true, NiVec3(0.0f, 5.0f, 0.0f)));
    int iBuilding = 0;
    CGridDesc kFloor = Description(1, 4, 4, 0, 2, false, NiVec3(50.0f, 9.0f, 0.0f));
    kFloor.m_pkOwner = &iBuilding;
    CBlockGrid* pkUpper = pkGrids->CreateGrid(kFloor);
    pkGrids->CommitStack();
    ASSERT_TRUE(pkYard && pkUpper);
    m_kHost.m_pkSelectedBuilding = reinterpret_cast<CWorldObject*>(&iBuilding);

    // From (56, 19, 0) down through (54, 9, -2), the centre of row 2,
    // column 1 of the floor at height 9; the ray meets height 0 at
    // (52.2, 0, -3.8), over row 1, column 2.
    const NiVec3 kEye(56.0f, 19.0f, 0.0f);
    const NiVec3 kDown(-2.0f, -10.0f, -2.0f);
    const NiVec3 kMet(52.2f, 0.0f, -3.8f);
    EXPECT_EQ(pkGrids->PickCell(kMet), NiVec3(52.0f, 9.0f, -4.0f));
    EXPECT_EQ(pkGrids->GetPickCell(), 6);
    EXPECT_EQ(pkGrids->PickCellOnRay(kEye, kDown, kMet), NiVec3(54.0f, 9.0f, -2.0f));
    EXPECT_EQ(pkGrids->GetPickCell(), 9);
    EXPECT_EQ(pkGrids->GetPickGrid(), pkUpper);
    pkGrids->ResetPick();
    pkGrids->UpdatePick(&kMet, &kEye, &kDown);
    EXPECT_EQ(pkGrids->GetPickCell(), 9);
    // A ray that does not come down onto the floor: the point met.
    EXPECT_EQ(pkGrids->PickCellOnRay(kEye, NiVec3(-2.0f, 10.0f, -2.0f), kMet).z, -4.0f);
    EXPECT_EQ(pkGrids->GetPickCell(), 6);
    EXPECT_EQ(pkGrids->PickCellOnRay(NiVec3(56.0f, 8.0f, 0.0f), kDown, kMet).z, -4.0f);
    EXPECT_EQ(pkGrids->GetPickCell(), 6);

    // On the open yard (height 5) alike: from (8.5, 15, -2) through
    // (4.5, 5, -6), row 2, column 3; height 0 is met at (2.5, 0, -8), over
    // row 1, column 4.
    m_kHost.m_pkSelectedBuilding = nullptr;
    const NiVec3 kSteep(-4.0f, -10.0f, -4.0f);
    EXPECT_EQ(pkGrids->PickCellOnRay(NiVec3(8.5f, 15.0f, -2.0f), kSteep, NiVec3(2.5f, 0.0f, -8.0f)),
              NiVec3(4.0f, 5.0f, -6.0f));
    EXPECT_EQ(pkGrids->GetPickGrid(), pkYard);
    EXPECT_EQ(pkGrids->GetPickCell(), 23);
    EXPECT_EQ(pkGrids->PickCell(NiVec3(2.5f, 0.0f, -8.0f)), NiVec3(2.0f, 5.0f, -8.0f));
    EXPECT_EQ(pkGrids->GetPickCell(), 14);
}

} // namespace
