#include "game/simulation/objects/CWorldObject.h"

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiStringExtraData.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneObjectTemplate.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CObjectQuery.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
struct ModelNode
{
    std::string m_kName;
    NiVec3 m_kAt;
    std::string m_kText; // none when empty
};

void WriteModel(const std::string& kPath, const std::vector<ModelNode>& kNodes)
{
    std::filesystem::create_directories(std::filesystem::path(kPath).parent_path());
    NiObjectStream kStream;
    NiRefPtr<NiNode> spTop = new NiNode;
    spTop->SetName("Scene Root");
    NiRefPtr<NiNode> spModel = new NiNode;
    spModel->SetName("Model");
    spTop->AttachChild(spModel);
    for (const ModelNode& kNode : kNodes)
    {
        NiRefPtr<NiNode> spChild = new NiNode;
        spChild->SetName(kNode.m_kName.c_str());
        spChild->SetTranslate(kNode.m_kAt);
        if (!kNode.m_kText.empty())
            spChild->AddExtraData(new NiStringExtraData((kNode.m_kText + "\r\n").c_str()));
        spModel->AttachChild(spChild);
    }
    kStream.InsertTopObject(spTop);
    ASSERT_TRUE(kStream.SaveFile(kPath.c_str()));
}

// Two floors of 4 x 3 cells and a roof; one entrance in front (+z) with
// its way in and out; stairs up and down; two stairs to a floor that does
// not exist.
const std::vector<ModelNode> CELLBLOCK = {
    {"floor0", NiVec3(-2.0f, 0.0f, 2.0f), "map_1_4_3_0_2"},
    {"floor1", NiVec3(-2.0f, 3.0f, 2.0f), "map_2_4_3_1_2"},
    {"roof", NiVec3(0.0f, 6.0f, 0.0f), "roof"},
    {"mark_door", NiVec3(0.0f, 0.0f, 3.5f), "door_e1"},
    {"SP_enter_e1", NiVec3(0.05f, 0.0f, 3.45f), ""},
    {"SP_exit_e1", NiVec3(0.0f, 0.0f, 3.5f), ""},
    {"mark_up", NiVec3(2.0f, 0.0f, 0.0f), "connector_1_2"},
    {"path_1_2", NiVec3(2.0f, 0.0f, 0.0f), ""},
    {"mark_down", NiVec3(1.0f, 3.0f, 0.0f), "connector_2_1"},
    {"path_2_1", NiVec3(1.0f, 3.0f, 0.0f), ""},
    {"mark_high", NiVec3(-1.0f, 0.0f, 0.0f), "connector_1_3"},
    {"path_1_3", NiVec3(-1.0f, 0.0f, 0.0f), ""},
    {"mark_low", NiVec3(-1.0f, 3.0f, -1.0f), "connector_3_1"},
    {"path_3_1", NiVec3(-1.0f, 3.0f, -1.0f), ""},
};

const char* const BUILDINGS =
    "<TEMPLATES>\r\n<PRISON1>\r\n"
    "<BUILDINGS_CELLBLOCKS>\r\n<plans>\r\n"
    // width, depth, price, required level, kind word
    "<cellblock>\r\nprison1/cellblock/cellblock.nif\r\n8\r\n6\r\n20000\r\n2\r\ncellblock\r\n</cellblock>\r\n"
    "<gappy>\r\nprison1/gappy/gappy.nif\r\n8\r\n6\r\n1000\r\n0\r\ncellblock\r\n</gappy>\r\n"
    "<shed>\r\nprison1/shed/shed.nif\r\n4\r\n4\r\n500\r\n0\r\nstore\r\n</shed>\r\n"
    "</plans>\r\n</BUILDINGS_CELLBLOCKS>\r\n"
    "<BUILDINGS_SERVICES>\r\n<plans>\r\n"
    "<canteen_hall>\r\nprison1/hall/canteen_hall.nif\r\n8\r\n6\r\n15000\r\n0\r\nfood\r\n</canteen_hall>\r\n"
    "</plans>\r\n</BUILDINGS_SERVICES>\r\n"
    "<CONTENTS_CELLS>\r\n<plans>\r\n"
    "<cell_double>\r\nprison1/cell/cell_double.nif\r\n2\r\n2\r\n1800\r\n2\r\n3\r\ncell\r\n3\r\n0\r\n</cell_double>\r\n"
    "</plans>\r\n</CONTENTS_CELLS>\r\n"
    "</PRISON1>\r\n</TEMPLATES>\r\n";

class CWorldObjectTest : public PrisonTest
{
protected:
    void SetUp() override
    {
        PrisonTest::SetUp();
        WriteModel("prison1/cellblock/cellblock.nif", CELLBLOCK);
        // Floors 0 and 2 (1 missing), a second "floor 0", a number out of
        // range and a roof.
        WriteModel("prison1/gappy/gappy.nif", {{"floor0", NiVec3(-2.0f, 0.0f, 2.0f), "map_1_4_3_0_2"},
                                               {"floor0b", NiVec3(-2.0f, 0.0f, 2.0f), "level"},
                                               {"floor2", NiVec3(-2.0f, 6.0f, 2.0f), "map_2_4_3_2_2"},
                                               {"floor999", NiVec3(0.0f, 9.0f, 0.0f), "level"},
                                               {"roof", NiVec3(0.0f, 9.0f, 0.0f), "roof"}});
        WriteModel("prison1/shed/shed.nif", {});
        WriteModel("prison1/cell/cell_double.nif", {});
        WriteModel("prison1/hall/canteen_hall.nif", CELLBLOCK);
        WriteFileBytes("buildings.xml", BUILDINGS);
        COrvaneTagTree kDocument;
        ASSERT_TRUE(kDocument.Load("buildings.xml"));
        m_pkManager->LoadPrisonTemplates(kDocument);
        m_pkOutside = Outside();
    }

    CPrisonStatistics& Ledger() { return *m_pkManager->GetStatistics(); }

    // The outside map: 40 x 40 cells of size 2, numbered 1.
    static CBlockGrid* Outside()
    {
        CGridDesc kDesc;
        kDesc.m_aiNumbers[0] = 1;
        kDesc.m_aiNumbers[1] = 40;
        kDesc.m_aiNumbers[2] = 40;
        kDesc.m_aiNumbers[3] = 0;
        kDesc.m_aiNumbers[4] = 2;
        kDesc.m_ucOwnStack = 1;
        return CBlockGridManager::GetInstance()->CreateGrid(kDesc);
    }

    CWorldObject* Building(const char* pcTemplate = "cellblock")
    {
        return dynamic_cast<CWorldObject*>(Make("WorldObjectFactory", pcTemplate));
    }

    // Stands the building at (x, 0, z) turned to the heading, on the
    // outside map.
    void Stand(CWorldObject& kBuilding, float fX, float fZ, float fHeading)
    {
        kBuilding.Rotate(NiVec3(0.0f, 1.0f, 0.0f), fHeading, false);
        const NiVec3 kAt(fX, 0.0f, fZ);
        kBuilding.SetPosition(kAt, 0);
        kBuilding.PlaceAt(kAt, m_pkOutside);
        kBuilding.Update(0.0f);
        if (COrvaneComposite* pkModel = kBuilding.GetModel())
            pkModel->UpdateNode(0.0f);
    }

    CWorldObject* Placed(float fHeading = 0.0f, float fX = 20.0f, float fZ = -20.0f)
    {
        CWorldObject* pkBuilding = Building();
        if (!pkBuilding)
            return nullptr;
        Stand(*pkBuilding, fX, fZ, fHeading);
        pkBuilding->Place();
        return pkBuilding;
    }

    static std::size_t ConnectorsTo(const CBlockGrid& kFrom, const CBlockGrid* pkTo)
    {
        std::size_t uiCount = 0;
        for (const std::unique_ptr<COrvaneGridMarker>& pkMarker : kFrom.GetMarkers())
            if (pkMarker && CConnector::GetDestination(*pkMarker) == pkTo)
                ++uiCount;
        return uiCount;
    }

    // The model and factory lines the registry reads before a record.
    static void SkipNames(COrvaneFile& kFile)
    {
        std::string kLine;
        kFile.ReadLine(kLine);
        kFile.ReadLine(kLine);
    }

    CBlockGrid* m_pkOutside = nullptr;
};
} // namespace

TEST_F(CWorldObjectTest, CreateReadsTheRecordKindPathsAndEntrances)
{
    CWorldObject* pkBuilding = Building();
    ASSERT_NE(pkBuilding, nullptr);
    EXPECT_TRUE(pkBuilding->IsBuilding());
    EXPECT_EQ(pkBuilding->GetRecord().m_usPrice, 20000);
    EXPECT_EQ(pkBuilding->GetRequiredLevel(), 2);
    EXPECT_EQ(pkBuilding->GetStringParameter(), "cellblock");
    EXPECT_EQ(pkBuilding->GetBuildingKind(), 0);
    EXPECT_FLOAT_EQ(pkBuilding->GetConstructionTimer(), 1.0f);
    EXPECT_FALSE(pkBuilding->IsComplete());
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), -1);
    // "SP" nodes first, then "path" nodes.
    ASSERT_EQ(pkBuilding->GetPathNodes().size(), 6u);
    EXPECT_STREQ(pkBuilding->GetPathNodes()[0]->GetObject()->GetName(), "SP_enter_e1");
    EXPECT_STREQ(pkBuilding->GetPathNodes()[2]->GetObject()->GetName(), "path_1_2");
    ASSERT_EQ(pkBuilding->GetEntrances().size(), 1u);
    EXPECT_NE(pkBuilding->GetEntrances()[0]->m_pkMarker, nullptr);

    CWorldObject* pkHall = Building("canteen_hall");
    ASSERT_NE(pkHall, nullptr);
    EXPECT_EQ(pkHall->GetBuildingKind(), 1);
    EXPECT_TRUE(pkHall->NameContains("food"));
    EXPECT_FALSE(pkHall->NameContains("staff"));

    // Upkeep: price / ((clerical level + 1) x 100).
    Ledger().m_usClericalLevel = 1;
    pkBuilding->Update(0.0f);
    EXPECT_EQ(pkBuilding->GetRecord().m_usUpkeep, 100);
}

TEST_F(CWorldObjectTest, PlacingLaysOutFloorsConnectorsAndCompletesTheBuilding)
{
    const int iPurchases = Ledger().m_iPurchases;
    CWorldObject* pkBuilding = Placed();
    ASSERT_NE(pkBuilding, nullptr);
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkGround = pkGrids->FindGrid(2);
    CBlockGrid* pkUpper = pkGrids->FindGrid(3);
    ASSERT_NE(pkGround, nullptr);
    ASSERT_NE(pkUpper, nullptr);
    EXPECT_EQ(pkGrids->GetStackUnderConstruction(), nullptr);
    EXPECT_EQ(pkGround->GetStack(), pkBuilding->GetStack());
    EXPECT_EQ(pkBuilding->GetStack()->GetOwner(), static_cast<const void*>(pkBuilding));
    EXPECT_EQ(CWorldObject::FindOwnerOf(pkUpper), pkBuilding);
    EXPECT_EQ(CWorldObject::FindOwnerOf(m_pkOutside), nullptr);
    EXPECT_EQ(pkBuilding->GetFirstGridNumber(), 2);
    EXPECT_TRUE(pkBuilding->HasInteriorFloors());
    EXPECT_FLOAT_EQ(pkGround->GetOrigin()->x, 18.0f);
    EXPECT_FLOAT_EQ(pkGround->GetOrigin()->z, -18.0f);
    EXPECT_FLOAT_EQ(pkUpper->GetOrigin()->y, 3.0f);
    EXPECT_EQ(pkGround->GetRows(), 4);
    EXPECT_EQ(pkGround->GetColumns(), 3);

    ASSERT_EQ(pkBuilding->GetFloors().size(), 3u);
    EXPECT_STREQ(pkBuilding->GetFloors()[0]->GetName(), "floor0");
    EXPECT_STREQ(pkBuilding->GetFloors()[2]->GetName(), "roof");
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 2);
    EXPECT_EQ(pkBuilding->GetRoofIndex(), 2);
    EXPECT_TRUE(pkBuilding->IsComplete());
    EXPECT_TRUE(pkBuilding->IsPlaced());
    EXPECT_EQ(pkBuilding->GetGroundPlate(), nullptr);
    EXPECT_EQ(pkBuilding->GetEntrances()[0]->m_pkMarker, nullptr);
    EXPECT_EQ(pkBuilding->GetEntrances()[0]->m_iCell, 10 * 40 + 8);
    EXPECT_EQ(Ledger().m_iPurchases, iPurchases + 20000);

    // In, out, up and down; nothing to or from the missing third floor.
    EXPECT_EQ(ConnectorsTo(*m_pkOutside, pkGround), 1u);
    EXPECT_EQ(ConnectorsTo(*pkGround, m_pkOutside), 1u);
    EXPECT_EQ(ConnectorsTo(*pkGround, pkUpper), 1u);
    EXPECT_EQ(ConnectorsTo(*pkUpper, pkGround), 1u);
    EXPECT_EQ(pkGround->GetMarkers().size(), 2u);
    EXPECT_EQ(pkUpper->GetMarkers().size(), 1u);
    EXPECT_EQ(pkBuilding->GetExitCount(), 1u);
    const COrvaneGridMarker* pkEnter = m_pkOutside->GetConnector(2);
    ASSERT_NE(pkEnter, nullptr);
    EXPECT_FLOAT_EQ(CConnector::GetStart(*pkEnter).x, 20.0f);
    EXPECT_FLOAT_EQ(CConnector::GetStart(*pkEnter).z, -16.5f);
    EXPECT_NE(CConnector::GetSpline(*pkEnter), nullptr);

    // A second building of the model numbers its floors after the first.
    CWorldObject* pkSecond = Placed(0.0f, 50.0f, -50.0f);
    ASSERT_NE(pkSecond, nullptr);
    EXPECT_EQ(pkSecond->GetFirstGridNumber(), 4);
    EXPECT_NE(pkGrids->FindGrid(5), nullptr);
}

TEST_F(CWorldObjectTest, HeadingsTurnTheFloorsAndTheirOrigins)
{
    struct Case
    {
        float m_fHeading;
        float m_fX, m_fZ;
        std::int32_t m_iRows, m_iColumns;
    };
    // At (20, -20): the floor node at (-2, 2) turned, then moved so the
    // grid's origin is its corner of least x and greatest z.
    const Case akCases[] = {{0.0f, 18.0f, -18.0f, 4, 3},
                            {90.0f, 18.0f, -16.0f, 3, 4},
                            {180.0f, 16.0f, -18.0f, 4, 3},
                            {270.0f, 18.0f, -18.0f, 3, 4},
                            {45.0f, 18.0f, -18.0f, 4, 3}};
    for (const Case& kCase : akCases)
    {
        SCOPED_TRACE(kCase.m_fHeading);
        CWorldObject* pkBuilding = Placed(kCase.m_fHeading);
        ASSERT_NE(pkBuilding, nullptr);
        const CBlockGrid* pkGround = pkBuilding->GetStack()->GetFloor(0);
        ASSERT_NE(pkGround, nullptr);
        EXPECT_FLOAT_EQ(pkGround->GetOrigin()->x, kCase.m_fX);
        EXPECT_FLOAT_EQ(pkGround->GetOrigin()->z, kCase.m_fZ);
        EXPECT_EQ(pkGround->GetRows(), kCase.m_iRows);
        EXPECT_EQ(pkGround->GetColumns(), kCase.m_iColumns);
        m_pkManager->DestroyObject(pkBuilding, true);
        EXPECT_EQ(CBlockGridManager::GetInstance()->GetStacks().size(), 1u);
    }
}

TEST_F(CWorldObjectTest, ConstructionShowsAFloorEverySixtySecondsButNotWhileHeld)
{
    CWorldObject* pkBuilding = Placed();
    ASSERT_NE(pkBuilding, nullptr);
    // As after a load: the floors laid out again, construction from the
    // ground.
    pkBuilding->BuildFloors();
    EXPECT_FALSE(pkBuilding->IsComplete());
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), -1);
    EXPECT_TRUE(pkBuilding->GetFloors()[0]->GetAppCulled());
    EXPECT_TRUE(pkBuilding->GetFloors()[2]->GetAppCulled());
    EXPECT_EQ(CBlockGridManager::GetInstance()->FindGrid(2), pkBuilding->GetStack()->GetFloor(0));

    m_kHost.m_pkHeldForPlacing = pkBuilding;
    pkBuilding->Update(100.0f);
    EXPECT_FLOAT_EQ(pkBuilding->GetConstructionTimer(), 1.0f);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), -1);
    m_kHost.m_pkHeldForPlacing = nullptr;

    pkBuilding->Update(58.0f);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), -1);
    pkBuilding->Update(1.0f);
    EXPECT_FLOAT_EQ(pkBuilding->GetConstructionTimer(), 61.0f);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 0);
    EXPECT_FALSE(pkBuilding->GetFloors()[0]->GetAppCulled());
    EXPECT_TRUE(pkBuilding->GetFloors()[1]->GetAppCulled());
    pkBuilding->Update(59.0f);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 1);
    EXPECT_EQ(pkBuilding->GetStack()->GetCurrentGrid()->GetId(), 3);
    pkBuilding->Update(59.0f);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 2);
    EXPECT_TRUE(pkBuilding->IsComplete());
    EXPECT_FALSE(pkBuilding->GetFloors()[2]->GetAppCulled());
    pkBuilding->Update(60.0f);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 2);
}

TEST_F(CWorldObjectTest, FloorGapsDuplicatesAndMissingFloors)
{
    CWorldObject* pkBuilding = Building("gappy");
    ASSERT_NE(pkBuilding, nullptr);
    Stand(*pkBuilding, 20.0f, -20.0f, 0.0f);
    pkBuilding->BuildFloors();
    // floor0, a gap, floor2, the roof; the second "floor 0" and the
    // number out of range are left out.
    const std::vector<NiAVObject*>& kFloors = pkBuilding->GetFloors();
    ASSERT_EQ(kFloors.size(), 4u);
    EXPECT_STREQ(kFloors[0]->GetName(), "floor0");
    EXPECT_EQ(kFloors[1], nullptr);
    EXPECT_STREQ(kFloors[2]->GetName(), "floor2");
    EXPECT_STREQ(kFloors[3]->GetName(), "roof");
    pkBuilding->ConstructionStep(false);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 0);
    pkBuilding->ConstructionStep(false);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 2);
    EXPECT_FALSE(pkBuilding->IsComplete());
    pkBuilding->ConstructionStep(false);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 3);
    EXPECT_TRUE(pkBuilding->IsComplete());
    EXPECT_TRUE(pkBuilding->GoDownFloor());
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 2);
    EXPECT_TRUE(pkBuilding->GoDownFloor());
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 0);
    EXPECT_FALSE(pkBuilding->GoDownFloor());

    // A model without floor nodes: no floors, complete.
    CWorldObject* pkShed = Building("shed");
    ASSERT_NE(pkShed, nullptr);
    Stand(*pkShed, 40.0f, -40.0f, 0.0f);
    pkShed->Place();
    EXPECT_TRUE(pkShed->GetFloors().empty());
    EXPECT_TRUE(pkShed->IsComplete());
    EXPECT_FALSE(pkShed->HasInteriorFloors());
    EXPECT_FALSE(pkShed->GoUpFloor(false));
    EXPECT_FALSE(pkShed->GoDownFloor());
    pkShed->BuildFloors();
    pkShed->ConstructionStep(false);
    EXPECT_TRUE(pkShed->IsComplete());
}

TEST_F(CWorldObjectTest, FloorsStepWithTheStackAndTheCameraFollows)
{
    CWorldObject* pkBuilding = Placed();
    ASSERT_NE(pkBuilding, nullptr);
    CBlockGridStack* pkStack = pkBuilding->GetStack();
    EXPECT_EQ(pkStack->GetCurrentGrid()->GetId(), 3);
    EXPECT_TRUE(pkBuilding->IsCurrentBuilding(pkStack->GetCurrentGrid()));
    EXPECT_FALSE(pkBuilding->IsCurrentBuilding(m_pkOutside));

    // Off the roof the top floor stays the stack's.
    m_kHost.ClearCalls();
    EXPECT_TRUE(pkBuilding->GoDownFloor());
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 1);
    EXPECT_TRUE(pkBuilding->GetFloors()[2]->GetAppCulled());
    EXPECT_EQ(pkStack->GetCurrentGrid()->GetId(), 3);
    EXPECT_TRUE(m_kHost.CallsNamed("SetCameraHeight").empty());

    // With the camera at a corner it takes the floor's height.
    m_kHost.m_iCameraBoundsSide = 2;
    EXPECT_TRUE(pkBuilding->GoDownFloor());
    EXPECT_EQ(pkStack->GetCurrentGrid()->GetId(), 2);
    EXPECT_EQ(m_kHost.CallsNamed("SetCameraHeight"), std::vector<std::string>{"0"});
    EXPECT_FALSE(pkBuilding->GoDownFloor());

    EXPECT_TRUE(pkBuilding->GoUpFloor(true));
    EXPECT_EQ(m_kHost.CallsNamed("SetCameraHeight"), (std::vector<std::string>{"0", "3"}));
    EXPECT_FALSE(pkBuilding->GoUpFloor(true));
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 1);
    EXPECT_TRUE(pkBuilding->GoUpFloor(false));
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 2);
    EXPECT_FALSE(pkBuilding->GoUpFloor(false));

    // Focus: one floor down, bounds around the building (W 6, D 8).
    m_kHost.m_iCameraBoundsSide = 5;
    pkBuilding->FocusCamera();
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 1);
    EXPECT_EQ(m_kHost.CallsNamed("SetCameraBounds"), std::vector<std::string>{"16,-17,30,-27.5"});
    pkBuilding->GoDownFloor();
    pkBuilding->ShowAllFloors();
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), 2);
}

TEST_F(CWorldObjectTest, EntrancesOnTakenCellsMakeThePlacementInvalid)
{
    CWorldObject* pkBuilding = Building();
    ASSERT_NE(pkBuilding, nullptr);
    Stand(*pkBuilding, 20.0f, -20.0f, 0.0f);
    pkBuilding->Update(0.0f);
    EXPECT_EQ(pkBuilding->GetEntrances()[0]->m_iCell, 408);
    EXPECT_TRUE(pkBuilding->IsPlacementValid(true));
    CBaseObject* pkBlocker = MakeObject("bench");
    ASSERT_NE(pkBlocker, nullptr);
    m_pkOutside->OccupyArea(408, pkBlocker, 1, 1, true);
    pkBuilding->Update(0.0f);
    EXPECT_FALSE(pkBuilding->IsPlacementValid(true));
    m_pkOutside->ClearArea(408, 1, 1, true, 0);
    EXPECT_TRUE(pkBuilding->IsPlacementValid(true));
    // A door cell in front.
    m_pkOutside->GetBlock(408)->SetState(5);
    EXPECT_FALSE(pkBuilding->IsPlacementValid(true));
}

TEST_F(CWorldObjectTest, DailyCostsQueriesAndRoomSums)
{
    CWorldObject* pkBuilding = Building();
    ASSERT_NE(pkBuilding, nullptr);
    const int iCosts = Ledger().m_iRunningCosts;
    pkBuilding->Update(0.0f);
    pkBuilding->DailyUpdate();
    EXPECT_EQ(Ledger().m_iRunningCosts, iCosts);
    Stand(*pkBuilding, 20.0f, -20.0f, 0.0f);
    pkBuilding->Place();
    const int iWages = Ledger().m_iWages;
    pkBuilding->DailyUpdate();
    EXPECT_EQ(Ledger().m_iRunningCosts, iCosts + 200);
    EXPECT_EQ(Ledger().m_iWages, iWages);

    CObjectQuery kQuery;
    kQuery.m_ucWantUnattractive = 0;
    kQuery.m_iBuildingKind = 1;
    EXPECT_FALSE(pkBuilding->MatchQuery(kQuery));

    TestCharacter* pkStaff = MakeCharacter(CBlockGridManager::GetInstance()->FindGrid(3));
    ASSERT_NE(pkStaff, nullptr);
    pkStaff->m_eRole = CGridCharacter::Role::Staff;
    TestCharacter* pkPrisoner = MakeCharacter();
    pkPrisoner->m_eRole = CGridCharacter::Role::Prisoner;
    CBlockGridManager::GetInstance()->FindGrid(2)->AddMember(pkPrisoner);
    EXPECT_EQ(pkBuilding->SumRoomOccupancy(), 1u);
}

TEST_F(CWorldObjectTest, TakingABuildingDownSendsCharactersOutAndDropsItsFloors)
{
    CWorldObject* pkBuilding = Placed();
    ASSERT_NE(pkBuilding, nullptr);
    TestCharacter* pkOutside = MakeCharacter(m_pkOutside);
    ASSERT_NE(pkOutside, nullptr);
    EXPECT_NE(m_pkOutside->GetConnector(2), nullptr);
    m_pkManager->DestroyObject(pkBuilding, true);
    ASSERT_FALSE(pkOutside->m_kTold.empty());
    EXPECT_NE(std::find(pkOutside->m_kTold.begin(), pkOutside->m_kTold.end(), "building gone"),
              pkOutside->m_kTold.end());
    EXPECT_EQ(m_pkOutside->GetConnector(2), nullptr);
    EXPECT_EQ(CBlockGridManager::GetInstance()->FindGrid(2), nullptr);
    EXPECT_EQ(CBlockGridManager::GetInstance()->GetStacks().size(), 1u);
    EXPECT_TRUE(m_pkOutside->IsAreaFree(10 * 40 + 9, 4, 3, true));
}

TEST_F(CWorldObjectTest, ACellTakesItsBuildingsLevel)
{
    CWorldObject* pkBuilding = Placed();
    ASSERT_NE(pkBuilding, nullptr);
    auto* pkCell = dynamic_cast<CCell*>(Make("CellFactory", "cell_double"));
    ASSERT_NE(pkCell, nullptr);
    EXPECT_EQ(pkCell->GetRequiredLevel(), 3);
    pkCell->SetGrid(CBlockGridManager::GetInstance()->FindGrid(3));
    EXPECT_EQ(pkCell->GetRequiredLevel(), 2);
    // Its own level 3 is above the building's 2.
    Ledger().m_usPrisonLevel = 5;
    Ledger().m_iIncomeTotal = 100000;
    m_kHost.m_pkSelectedBuildingObject = pkBuilding;
    EXPECT_FALSE(pkCell->CanBuild());
}

TEST_F(CWorldObjectTest, TheSaveLineRoundTripsAndRefusesWhatDoesNotRead)
{
    CWorldObject* pkBuilding = Placed();
    ASSERT_NE(pkBuilding, nullptr);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("building.txt", COrvaneFile::MODE_WRITE), 1);
        ASSERT_EQ(pkBuilding->SaveState(kFile), 1);
    }
    CWorldObject* pkCopy = Building();
    ASSERT_NE(pkCopy, nullptr);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("building.txt", COrvaneFile::MODE_READ), 1);
        SkipNames(kFile);
        ASSERT_EQ(pkCopy->LoadState(kFile), 1);
    }
    EXPECT_EQ(pkCopy->GetSavedGrid(), 2);

    // The record with its last line damaged, cut off, or negative.
    const std::string kGood = ReadFileBytes("building.txt");
    ASSERT_GE(kGood.size(), 3u);
    ASSERT_EQ(kGood.substr(kGood.size() - 3), "2\r\n");
    for (const std::string& kLast : {std::string("x\r\n"), std::string(""), std::string("-4\r\n")})
    {
        WriteFileBytes("bad.txt", kGood.substr(0, kGood.size() - 3) + kLast);
        CWorldObject* pkBad = Building();
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("bad.txt", COrvaneFile::MODE_READ), 1);
        SkipNames(kFile);
        EXPECT_EQ(pkBad->LoadState(kFile), 0);
        EXPECT_EQ(pkBad->GetSavedGrid(), 0);
    }
}

TEST_F(CWorldObjectTest, ALoadedPrisonGivesItsBuildingsTheirSavedNumbersBack)
{
    CWorldObject* pkFirst = Placed();
    CWorldObject* pkSecond = Placed(0.0f, 50.0f, -50.0f);
    ASSERT_NE(pkFirst, nullptr);
    ASSERT_NE(pkSecond, nullptr);
    CBlockGrid* pkUpper = CBlockGridManager::GetInstance()->FindGrid(5);
    auto* pkCell = dynamic_cast<CCell*>(Make("CellFactory", "cell_double", pkUpper));
    ASSERT_NE(pkCell, nullptr);
    ASSERT_TRUE(pkCell->PlaceAt(*pkUpper->GetOrigin(), pkUpper));
    pkCell->Place();
    // The first goes: the second keeps floors 4 and 5.
    m_pkManager->DestroyObject(pkFirst, true);
    EXPECT_EQ(pkSecond->GetFirstGridNumber(), 4);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("prison.txt", COrvaneFile::MODE_WRITE), 1);
        ASSERT_TRUE(m_pkManager->SaveObjects(kFile));
    }
    m_pkManager->RemoveAllObjects();
    CBlockGridManager::GetInstance()->Clear();
    m_pkOutside = Outside();
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("prison.txt", COrvaneFile::MODE_READ), 1);
        ASSERT_TRUE(m_pkManager->LoadObjects(kFile));
    }
    ASSERT_TRUE(m_pkManager->RelinkAfterLoad());
    CWorldObject* pkLoaded = nullptr;
    CCell* pkLoadedCell = nullptr;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = m_pkManager->GetObjectAt(i); ++i)
    {
        if (auto* pkBuilding = dynamic_cast<CWorldObject*>(pkObject))
            pkLoaded = pkBuilding;
        if (auto* pkFound = dynamic_cast<CCell*>(pkObject))
            pkLoadedCell = pkFound;
    }
    ASSERT_NE(pkLoaded, nullptr);
    ASSERT_NE(pkLoadedCell, nullptr);
    EXPECT_EQ(pkLoaded->GetFirstGridNumber(), 4);
    EXPECT_TRUE(pkLoaded->IsComplete());
    EXPECT_TRUE(pkLoaded->IsPlaced());
    EXPECT_EQ(pkLoaded->GetCurrentFloor(), 2);
    // The cell found its floor by the saved number.
    EXPECT_EQ(pkLoadedCell->GetGrid(), CBlockGridManager::GetInstance()->FindGrid(5));
    EXPECT_EQ(pkLoadedCell->GetRequiredLevel(), 2);

    // A saved number already in use: numbered as a new building.
    CWorldObject* pkTaken = Building();
    ASSERT_NE(pkTaken, nullptr);
    Stand(*pkTaken, 70.0f, -20.0f, 0.0f);
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("one.txt", COrvaneFile::MODE_WRITE), 1);
        ASSERT_EQ(pkLoaded->SaveState(kFile), 1);
    }
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("one.txt", COrvaneFile::MODE_READ), 1);
        SkipNames(kFile);
        ASSERT_EQ(pkTaken->LoadState(kFile), 1);
    }
    EXPECT_EQ(pkTaken->GetSavedGrid(), 4);
    Stand(*pkTaken, 70.0f, -20.0f, 0.0f);
    pkTaken->BuildFloors();
    EXPECT_EQ(pkTaken->GetFirstGridNumber(), 6);
}
