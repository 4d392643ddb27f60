// The demo prison built through the placement tool: a cell block on the
// demo level and a cell inside it.

#include "game/shell/ui/CBuildPlacement.h"

#include "game/shell/CCamera.h"

#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneBlock.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneTagTree.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CCell.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CScalableObject.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiPicker.h"
#include "engine/scene/NiIntegerExtraData.h"
#include "tests/game/data/CoplanarFaces.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"
#include "tests/support/DemoDataOnce.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoLevel.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>

namespace
{
class CBuildInsideTest : public PrisonTest
{
protected:
    void SetUp() override
    {
        PrisonTest::SetUp();
        CBuildPlacement::Destroy();
        CBuildPlacement::SetPanelTest(nullptr);
        m_kPrevious = std::filesystem::current_path();
        ASSERT_TRUE(demotest::CopyDemoData("demo"));
        std::filesystem::current_path("demo");
        COrvaneTagTree kDocument;
        ASSERT_TRUE(kDocument.Load("data.xml"));
        m_pkManager->LoadPrisonTemplates(kDocument);
        m_kHost.m_pkWorld = &m_kWorld;
        ASSERT_TRUE(m_kWorld.LoadLevel(DEMO_LEVEL_FILE, nullptr));
    }

    void TearDown() override
    {
        CBuildPlacement::Destroy();
        m_pkManager->RemoveAllObjects();
        CBlockGridManager::GetInstance()->Clear();
        std::filesystem::current_path(m_kPrevious);
        PrisonTest::TearDown();
    }

    // The template's place in the registry's groups, by its model name.
    bool Find(const char* pcGroup, const char* pcModel, std::uint16_t& usGroup, std::uint16_t& usIndex) const
    {
        const int iGroup = m_pkManager->FindTemplateGroup(pcGroup);
        if (iGroup < 0)
            return false;
        for (std::uint16_t i = 0; COrvaneObjectTemplate* pkTemplate = m_pkManager->GetTemplate(
                                      static_cast<std::uint16_t>(iGroup), i);
             ++i)
        {
            if (pkTemplate == m_pkManager->FindTemplate(pcModel))
            {
                usGroup = static_cast<std::uint16_t>(iGroup);
                usIndex = i;
                return true;
            }
        }
        return false;
    }

    // The large cell block through the placement, in the middle of the
    // yard.
    CWorldObject* PlaceCellBlock(const char* pcModel = "cellblock_large", int iQuarterTurns = 0)
    {
        std::uint16_t usGroup = 0, usIndex = 0;
        if (!Find("CELLBLOCKS", pcModel, usGroup, usIndex))
            return nullptr;
        CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
        (void)pkPlacement->BeginPlacing(usGroup, usIndex, m_pkManager->FindFactory("WorldObjectFactory", nullptr));
        for (int i = 0; i < iQuarterTurns; ++i)
            (void)pkPlacement->Rotate();
        auto* pkBuilding = dynamic_cast<CWorldObject*>(pkPlacement->GetObject());
        PointAt(*CBlockGridManager::GetInstance()->FindGrid(1), 20 * 40 + 20);
        return pkPlacement->Commit() == 1 ? pkBuilding : nullptr;
    }

    // A small cell block placed with money to spare and entered down to its
    // ground floor, and a cell of the model held there.
    void HoldACellInANewSmallBlock(const char* pcModel, CWorldObject*& pkBuilding, CBlockGrid*& pkGround,
                                   CCell*& pkCell)
    {
        CPrisonStatistics& kLedger = *m_pkManager->GetStatistics();
        kLedger.m_iIncomeTotal = 1000000;
        kLedger.m_usPrisonLevel = 3;
        pkBuilding = PlaceCellBlock("cellblock_small", 0);
        ASSERT_NE(pkBuilding, nullptr);
        m_kHost.m_pkSelectedBuilding = pkBuilding;
        m_kHost.m_pkSelectedBuildingObject = pkBuilding;
        while (pkBuilding->GoDownFloor())
        {
        }
        pkGround = pkBuilding->GetStack()->GetCurrentGrid();
        ASSERT_NE(pkGround, nullptr);
        std::uint16_t usGroup = 0, usIndex = 0;
        ASSERT_TRUE(Find("CELLS", pcModel, usGroup, usIndex));
        ASSERT_TRUE(CBuildPlacement::GetInstance()->BeginPlacing(
            usGroup, usIndex, m_pkManager->FindFactory("CellFactory", nullptr)));
        pkCell = dynamic_cast<CCell*>(CBuildPlacement::GetInstance()->GetObject());
        ASSERT_NE(pkCell, nullptr);
    }

    static void PointAt(const CBlockGrid& kGrid, std::int32_t iCell)
    {
        NiVec3 kAt;
        ASSERT_NE(kGrid.CellPosition(iCell, kAt, false), nullptr);
        (void)CBlockGridManager::GetInstance()->PickCell(kAt);
    }

    std::filesystem::path m_kPrevious;
    CWorld m_kWorld;
};
} // namespace

TEST_F(CBuildInsideTest, ACellBlockAndATwoBedCellAreBuiltThroughThePlacement)
{
    CPrisonStatistics& kLedger = *m_pkManager->GetStatistics();
    kLedger.m_iIncomeTotal = 100000;
    kLedger.m_usPrisonLevel = 3;
    const int iPurchases = kLedger.m_iPurchases;
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkYard = pkGrids->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    ASSERT_NE(pkGrids->FindGrid(2), nullptr);

    // The cell block, turned once, in the middle of the yard.
    std::uint16_t usGroup = 0, usIndex = 0;
    ASSERT_TRUE(Find("CELLBLOCKS", "cellblock_large", usGroup, usIndex));
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    ASSERT_TRUE(pkPlacement->BeginPlacing(usGroup, usIndex, m_pkManager->FindFactory("WorldObjectFactory", nullptr)));
    auto* pkBuilding = dynamic_cast<CWorldObject*>(pkPlacement->GetObject());
    ASSERT_NE(pkBuilding, nullptr);
    EXPECT_TRUE(pkPlacement->CanPlace());
    EXPECT_EQ(pkBuilding->GetBuildingKind(), 0);
    PointAt(*pkYard, 20 * 40 + 20);
    ASSERT_EQ(pkPlacement->Commit(), 1);
    EXPECT_TRUE(pkBuilding->IsPlaced());
    EXPECT_TRUE(pkBuilding->IsComplete());
    ASSERT_EQ(pkBuilding->GetFloors().size(), 3u);
    EXPECT_EQ(pkBuilding->GetCurrentFloor(), pkBuilding->GetRoofIndex());
    EXPECT_EQ(pkBuilding->GetRoofIndex(), 2);
    // Its floors number on after the yard (1) and the field (2).
    EXPECT_EQ(pkBuilding->GetFirstGridNumber(), 3);
    CBlockGrid* pkGround = pkGrids->FindGrid(3);
    CBlockGrid* pkUpper = pkGrids->FindGrid(4);
    ASSERT_TRUE(pkGround && pkUpper);
    EXPECT_EQ(pkGround->GetRows(), 8);
    EXPECT_EQ(pkGround->GetColumns(), 9);
    // Upright in the level's turned scene: the ground floor on the yard's
    // level, the upper one a storey above it, both over the footprint.
    EXPECT_NEAR(pkGround->GetOrigin()->y, pkYard->GetOrigin()->y, 0.01f);
    EXPECT_NEAR(pkUpper->GetOrigin()->y, pkGround->GetOrigin()->y + 3.0f, 0.01f);
    NiVec3 kMiddle;
    ASSERT_NE(pkGround->CellPosition(4 * 9 + 4, kMiddle, true), nullptr);
    const std::int32_t iUnder = pkYard->CellAt(kMiddle);
    ASSERT_GE(iUnder, 0);
    EXPECT_FALSE(pkYard->GetBlock(iUnder)->IsWalkable());
    // The way in from the yard and the stairs end on their floors.
    const COrvaneGridMarker* pkIn = pkYard->GetConnector(3);
    ASSERT_NE(pkIn, nullptr);
    EXPECT_GE(pkGround->CellAt(CConnector::GetEnd(*pkIn)), 0);
    const COrvaneGridMarker* pkUp = pkGround->GetConnector(4);
    ASSERT_NE(pkUp, nullptr);
    EXPECT_GE(pkUpper->CellAt(CConnector::GetEnd(*pkUp)), 0);
    EXPECT_NE(pkUpper->GetConnector(3), nullptr);
    EXPECT_NE(pkGround->GetConnector(1), nullptr);
    // Someone idling on the ground floor takes one of its connectors at
    // random: the flights up outnumber the one way out to the yard, where
    // no post stands and the idle would gather.
    int iUp = 0;
    int iOut = 0;
    for (const std::unique_ptr<COrvaneGridMarker>& pkMarker : pkGround->GetMarkers())
    {
        ASSERT_NE(pkMarker->m_pkOwner, nullptr);
        iUp += pkMarker->m_pkOwner->GetMarkerKey() == 4 ? 1 : 0;
        iOut += pkMarker->m_pkOwner->GetMarkerKey() == 1 ? 1 : 0;
    }
    EXPECT_EQ(iOut, 1);
    EXPECT_EQ(iUp, 8);
    const std::int32_t iEntrance = pkBuilding->GetEntrances().at(0)->m_iCell;
    EXPECT_GE(iEntrance, 0);
    EXPECT_TRUE(pkYard->IsAreaFree(iEntrance, 1, 1, true));

    // Inside, on the ground floor.
    m_kHost.m_pkSelectedBuilding = pkBuilding;
    m_kHost.m_pkSelectedBuildingObject = pkBuilding;
    EXPECT_TRUE(pkBuilding->GoDownFloor());
    EXPECT_TRUE(pkBuilding->GoDownFloor());
    EXPECT_EQ(pkBuilding->GetStack()->GetCurrentGrid(), pkGround);
    ASSERT_TRUE(Find("CELLS", "cell_double", usGroup, usIndex));
    ASSERT_TRUE(pkPlacement->BeginPlacing(usGroup, usIndex, m_pkManager->FindFactory("CellFactory", nullptr)));
    auto* pkCell = dynamic_cast<CCell*>(pkPlacement->GetObject());
    ASSERT_NE(pkCell, nullptr);
    PointAt(*pkGround, 3 * 9 + 4);
    EXPECT_EQ(pkGrids->GetPickGrid(), pkGround);
    // The ledger works the prison's level out afresh as objects join.
    kLedger.m_usPrisonLevel = 3;
    EXPECT_TRUE(pkPlacement->CanPlace());
    ASSERT_EQ(pkPlacement->Commit(), 1);
    EXPECT_TRUE(pkCell->IsPlaced());
    EXPECT_EQ(pkCell->GetCapacity(), 2);
    EXPECT_EQ(pkCell->GetRequiredLevel(), 1);
    EXPECT_EQ(kLedger.m_usBeds, 2);
    // The block and the two-bed cell, at the demo templates' prices.
    EXPECT_EQ(kLedger.m_iPurchases, iPurchases + 35000 + 250);
    EXPECT_TRUE(pkGround->IsMember(pkCell));
}

// The first model a pick meets in the collision node is the one the mouse
// finds: a cell placed inside a building goes ahead of the building, so a
// click on it finds the cell and not the building around it.
TEST_F(CBuildInsideTest, ACellInsideABuildingIsPickedBeforeTheBuilding)
{
    CPrisonStatistics& kLedger = *m_pkManager->GetStatistics();
    kLedger.m_iIncomeTotal = 100000;
    kLedger.m_usPrisonLevel = 3;
    CWorldObject* pkBuilding = PlaceCellBlock();
    ASSERT_NE(pkBuilding, nullptr);
    m_kHost.m_pkSelectedBuilding = pkBuilding;
    m_kHost.m_pkSelectedBuildingObject = pkBuilding;
    ASSERT_TRUE(pkBuilding->GoDownFloor());
    ASSERT_TRUE(pkBuilding->GoDownFloor());
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkGround = pkGrids->FindGrid(3);
    ASSERT_NE(pkGround, nullptr);
    std::uint16_t usGroup = 0, usIndex = 0;
    ASSERT_TRUE(Find("CELLS", "cell_double", usGroup, usIndex));
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    ASSERT_TRUE(pkPlacement->BeginPlacing(usGroup, usIndex, m_pkManager->FindFactory("CellFactory", nullptr)));
    auto* pkCell = dynamic_cast<CCell*>(pkPlacement->GetObject());
    ASSERT_NE(pkCell, nullptr);
    PointAt(*pkGround, 3 * 9 + 4);
    ASSERT_EQ(pkPlacement->Commit(), 1);

    // Straight down onto the cell's middle, as the game's pick: first hit,
    // in the node's order.
    auto Picked = [this](const NiVec3& kAt) -> COrvaneObject* {
        NiNode* pkCollision = m_kWorld.GetCollisionNode();
        pkCollision->Update(0.0f);
        NiPicker kPicker;
        kPicker.SetPickType(NiPicker::FIND_FIRST);
        kPicker.SetSortType(NiPicker::NO_SORT);
        kPicker.SetCoordinateType(NiPicker::WORLD_COORDINATES);
        kPicker.SetTarget(pkCollision);
        if (!kPicker.Pick(NiVec3(kAt.x, kAt.y + 50.0f, kAt.z), NiVec3(0.0f, -1.0f, 0.0f)) || kPicker.GetSize() == 0)
            return nullptr;
        for (NiAVObject* pkNode = kPicker.GetAt(0)->GetAVObject(); pkNode != nullptr; pkNode = pkNode->GetParent())
            if (auto* pkOwner = NiDynamicCast<NiIntegerExtraData>(pkNode->GetExtraData("Owner")))
            {
                const COrvaneComposite* pkModel =
                    COrvaneComposite::FromHandle(static_cast<std::uint32_t>(pkOwner->GetValue()));
                return pkModel != nullptr ? pkModel->GetOwner() : nullptr;
            }
        return nullptr;
    };
    const NiVec3* pkCellAt = pkCell->GetModelPosition();
    ASSERT_NE(pkCellAt, nullptr);
    m_kWorld.KeepRoomsAheadOfBuildings();
    EXPECT_EQ(Picked(*pkCellAt), pkCell);
    // Outside the cell, on the building's floor, the building is found.
    NiVec3 kFloor;
    ASSERT_NE(pkGround->CellPosition(7 * 9 + 1, kFloor, true), nullptr);
    EXPECT_EQ(Picked(kFloor), pkBuilding);
    // Once in order the order stands: nothing is moved again.
    NiNode* pkUpright = m_kWorld.GetUprightNode(true);
    std::vector<NiAVObject*> kBefore;
    for (std::uint32_t i = 0; i < pkUpright->GetArrayCount(); ++i)
        kBefore.push_back(pkUpright->GetAt(i));
    m_kWorld.KeepRoomsAheadOfBuildings();
    for (std::uint32_t i = 0; i < pkUpright->GetArrayCount(); ++i)
        EXPECT_EQ(pkUpright->GetAt(i), kBefore[i]);
}

TEST_F(CBuildInsideTest, TheCameraWalksRoundTheOpenBuildingAndKeepsToIt)
{
    CCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(1024.0f, 768.0f, 0.0f));
    kCamera.SetWorld(&m_kWorld);
    kCamera.SetPosition(NiVec3(0.0f, 40.0f, 0.0f));
    EXPECT_EQ(kCamera.GetBoundsSide(), CCamera::NO_SIDE);
    float fWidth = 0.0f, fDepth = 0.0f;
    EXPECT_FALSE(CCamera::GetBuildingExtents(fWidth, fDepth));

    CWorldObject* pkBuilding = PlaceCellBlock();
    ASSERT_NE(pkBuilding, nullptr);
    m_kHost.m_pkSelectedBuilding = pkBuilding;
    ASSERT_TRUE(CCamera::GetBuildingExtents(fWidth, fDepth));
    // 24 x 16 world units at heading 0: 12 rows along x, 8 columns along -z.
    EXPECT_FLOAT_EQ(fWidth, 24.0f);
    EXPECT_FLOAT_EQ(fDepth, 16.0f);
    NiVec3 kAt;
    ASSERT_TRUE(CCamera::GetBuildingCorner(1, kAt));

    // Corners in turn, then the view from above, then corner 1 again.
    const float fA = std::atan2(fDepth, fWidth);
    const float afTurns[4] = {fA, 2.0f * 3.14159265f - fA, 3.14159265f + fA, 3.14159265f - fA};
    const NiVec3 akCorners[4] = {NiVec3(kAt.x, 0.0f, kAt.z), NiVec3(kAt.x, 0.0f, kAt.z - fDepth),
                                 NiVec3(kAt.x + fWidth, 0.0f, kAt.z - fDepth), NiVec3(kAt.x + fWidth, 0.0f, kAt.z)};
    for (int i = 0; i < 4; ++i)
    {
        SCOPED_TRACE(i + 1);
        kCamera.ViewBuilding(-1);
        const NiVec3 kNow = kCamera.GetPosition();
        EXPECT_FLOAT_EQ(kNow.x, akCorners[i].x);
        EXPECT_FLOAT_EQ(kNow.z, akCorners[i].z);
        EXPECT_EQ(kCamera.GetBoundsSide(), i + 1);
        EXPECT_FLOAT_EQ(kCamera.GetAngleB(), afTurns[i]);
        // Kept between the first floor + 15 and the floors + 50.
        EXPECT_GE(kNow.y, kCamera.GetLowerLimit());
        EXPECT_LE(kNow.y, kCamera.GetClampUpperLimit());
        const float fTilt = 1.25f * std::atan2(kNow.y - pkBuilding->GetModelPosition()->y,
                                               std::sqrt(fWidth * fWidth + fDepth * fDepth));
        EXPECT_FLOAT_EQ(kCamera.GetAngleA(), fTilt);
    }
    kCamera.ViewBuilding(-1);
    const NiVec3 kTop = kCamera.GetPosition();
    EXPECT_FLOAT_EQ(kTop.x, kAt.x + fWidth * 0.5f - 1.0f);
    EXPECT_FLOAT_EQ(kTop.y, pkBuilding->GetModelPosition()->y + 3.5f * fWidth);
    EXPECT_FLOAT_EQ(kTop.z, kAt.z - (fDepth * 0.5f - 1.0f));
    EXPECT_FLOAT_EQ(kCamera.GetAngleA(), CCamera::STRAIGHT_DOWN);
    EXPECT_EQ(kCamera.GetBoundsSide(), CCamera::NO_SIDE);
    kCamera.ViewBuilding(-1);
    EXPECT_EQ(kCamera.GetBoundsSide(), 1);

    // Limits: first floor + 15 to floor count (3) + 25, or + 50 when
    // clamped.
    EXPECT_FLOAT_EQ(kCamera.GetLowerLimit(), pkBuilding->GetStack()->GetFloor(0)->GetOrigin()->y + 15.0f);
    EXPECT_FLOAT_EQ(kCamera.GetUpperLimit(), 28.0f);
    EXPECT_FLOAT_EQ(kCamera.GetClampUpperLimit(), 53.0f);
    const NiVec3 kCentre = *pkBuilding->GetModelPosition();
    kCamera.SetPositionClamped(NiVec3(kCentre.x, 500.0f, kCentre.z));
    EXPECT_FLOAT_EQ(kCamera.GetPosition().y, 28.0f);
    NiVec3 kHigh(kCentre.x, 500.0f, kCentre.z);
    EXPECT_TRUE(kCamera.ClampHeight(kHigh));
    EXPECT_FLOAT_EQ(kHigh.y, 53.0f);

    // The circle: centred on the building, its radius the larger extent.
    NiVec3 kFar(kCentre.x + 100.0f, 30.0f, kCentre.z);
    EXPECT_TRUE(kCamera.ConstrainPosition(kFar));
    EXPECT_FLOAT_EQ(kFar.x, kCentre.x + 24.0f);
    EXPECT_FLOAT_EQ(kFar.z, kCentre.z);
    EXPECT_FLOAT_EQ(kFar.y, 30.0f);

    // Without the building the prison's rules come back.
    m_kHost.m_pkSelectedBuilding = nullptr;
    EXPECT_EQ(kCamera.GetBoundsSide(), CCamera::NO_SIDE);
    EXPECT_FLOAT_EQ(kCamera.GetUpperLimit(), kCamera.GetGroundHeight() + CCamera::MAX_HEIGHT);
    CCamera::ResetCurrent();
}

// Whatever the block and its turn, the corners are the footprint's own
// (the yard cells the building took), each looks across the building
// through its middle, and the view from above is over the middle.
TEST_F(CBuildInsideTest, EveryCornerLooksAtTheBuildingWhateverItsTurnAndSize)
{
    CPrisonStatistics& kLedger = *m_pkManager->GetStatistics();
    kLedger.m_iIncomeTotal = 1000000;
    kLedger.m_usPrisonLevel = 3;
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    for (const char* pcModel : {"cellblock_large", "cellblock_small"})
    {
        for (int iTurns = 0; iTurns < 4; ++iTurns)
        {
            SCOPED_TRACE(std::string(pcModel) + " turned " + std::to_string(iTurns * 90));
            std::vector<std::int32_t> kFreeBefore;
            for (std::int32_t i = 0; i < pkYard->GetRows() * pkYard->GetColumns(); ++i)
                kFreeBefore.push_back(pkYard->GetBlock(i) != nullptr ? pkYard->GetBlock(i)->GetState() : -1);
            CWorldObject* pkBuilding = PlaceCellBlock(pcModel, iTurns);
            ASSERT_NE(pkBuilding, nullptr);
            // The footprint from the cells the building came to block (its
            // entrance square, left walkable beside it, is no part of it).
            float fMinX = 1e9f, fMaxX = -1e9f, fMinZ = 1e9f, fMaxZ = -1e9f;
            const float fHalf = static_cast<float>(pkYard->GetCellSize()) * 0.5f;
            for (std::int32_t i = 0; i < pkYard->GetRows() * pkYard->GetColumns(); ++i)
            {
                if (pkYard->GetBlock(i) == nullptr || pkYard->GetBlock(i)->GetState() == kFreeBefore[i] ||
                    pkYard->GetBlock(i)->GetState() != COrvaneBlock::STATE_BLOCKING)
                    continue;
                NiVec3 kCell;
                ASSERT_NE(pkYard->CellPosition(i, kCell, true), nullptr);
                fMinX = std::min(fMinX, kCell.x - fHalf);
                fMaxX = std::max(fMaxX, kCell.x + fHalf);
                fMinZ = std::min(fMinZ, kCell.z - fHalf);
                fMaxZ = std::max(fMaxZ, kCell.z + fHalf);
            }
            ASSERT_LT(fMinX, fMaxX);
            m_kHost.m_pkSelectedBuilding = pkBuilding;
            float fWidth = 0.0f, fDepth = 0.0f;
            ASSERT_TRUE(CCamera::GetBuildingExtents(fWidth, fDepth));
            EXPECT_FLOAT_EQ(fWidth, fMaxX - fMinX);
            EXPECT_FLOAT_EQ(fDepth, fMaxZ - fMinZ);

            CCamera kCamera;
            ASSERT_TRUE(kCamera.LoadSettings(1024.0f, 768.0f, 0.0f));
            kCamera.SetWorld(&m_kWorld);
            kCamera.SetPosition(NiVec3(0.0f, 40.0f, 0.0f));
            const float afCornerX[4] = {fMinX, fMinX, fMaxX, fMaxX};
            const float afCornerZ[4] = {fMaxZ, fMinZ, fMinZ, fMaxZ};
            const float fMiddleX = (fMinX + fMaxX) * 0.5f, fMiddleZ = (fMinZ + fMaxZ) * 0.5f;
            for (int iSide = 1; iSide <= 4; ++iSide)
            {
                SCOPED_TRACE(iSide);
                kCamera.ViewBuilding(-1);
                const NiVec3 kNow = kCamera.GetPosition();
                EXPECT_FLOAT_EQ(kNow.x, afCornerX[iSide - 1]);
                EXPECT_FLOAT_EQ(kNow.z, afCornerZ[iSide - 1]);
                EXPECT_EQ(kCamera.GetBoundsSide(), iSide);
                // Looking along the diagonal, through the middle.
                const NiVec3& kLook = kCamera.GetEngineCamera()->GetWorldDirection();
                const float fToX = fMiddleX - kNow.x, fToZ = fMiddleZ - kNow.z;
                const float fLookLength = std::sqrt(kLook.x * kLook.x + kLook.z * kLook.z);
                ASSERT_GT(fLookLength, 0.0f);
                const float fCos = (kLook.x * fToX + kLook.z * fToZ) /
                                   (fLookLength * std::sqrt(fToX * fToX + fToZ * fToZ));
                EXPECT_GT(fCos, 0.9999f);
                EXPECT_LT(kLook.y, 0.0f); // and down at it
            }
            kCamera.ViewBuilding(-1);
            const NiVec3 kTop = kCamera.GetPosition();
            // Over the middle, but for the view's offset of one unit each way.
            EXPECT_NEAR(kTop.x, fMiddleX - 1.0f, 1e-4f);
            EXPECT_NEAR(kTop.z, fMiddleZ + 1.0f, 1e-4f);
            EXPECT_EQ(kCamera.GetBoundsSide(), CCamera::NO_SIDE);
            m_kHost.m_pkSelectedBuilding = nullptr;
            CCamera::ResetCurrent();
            m_pkManager->RemoveAllObjects();
        }
    }
}

TEST_F(CBuildInsideTest, TheDemoPrisonOffersTheRoomsAndFurnitureInside)
{
    // Staff rooms by their kind words, and their staff.
    const std::pair<const char*, const char*> akRooms[] = {{"guard_room", "security"},
                                                           {"medical_room", "health"},
                                                           {"counselling_room", "therapy"},
                                                           {"repair_room", "maint"},
                                                           {"chapel", "indoor"}};
    for (const auto& [pcModel, pcKind] : akRooms)
    {
        SCOPED_TRACE(pcModel);
        auto* pkRoom = dynamic_cast<CPathableObject*>(Make("PathableObjectFactory", pcModel));
        ASSERT_NE(pkRoom, nullptr);
        EXPECT_EQ(pkRoom->GetStringParameter(), pcKind);
        EXPECT_GE(pkRoom->GetRecord().m_usStaffCount, 1);
        EXPECT_EQ(pkRoom->GetCapacity(), 1);
    }
    // A bench to sit on, the two bunks of the double cell.
    auto* pkBench = dynamic_cast<CPathableObject*>(Make("FoodObjectFactory", "bench"));
    ASSERT_NE(pkBench, nullptr);
    ASSERT_NE(pkBench->GetSlotSpline(0, 0), nullptr);
    EXPECT_STREQ(pkBench->GetSlotSpline(0, 0)->GetName(), "SP_sit");
    auto* pkCell = dynamic_cast<CCell*>(Make("CellFactory", "cell_double"));
    ASSERT_NE(pkCell, nullptr);
    EXPECT_STREQ(pkCell->GetSlotSpline(0, 1)->GetName(), "SP_sleep2");
    // Two-bed cells for every security level.
    const char* const apcTwoBeds[] = {"cell_double", "cell_double_medium", "cell_double_high", "cell_double_max"};
    for (std::uint16_t usLevel = 0; usLevel < 4; ++usLevel)
    {
        SCOPED_TRACE(apcTwoBeds[usLevel]);
        auto* pkTwoBeds = dynamic_cast<CCell*>(Make("CellFactory", apcTwoBeds[usLevel]));
        ASSERT_NE(pkTwoBeds, nullptr);
        EXPECT_EQ(pkTwoBeds->GetCapacity(), 2);
        EXPECT_EQ(pkTwoBeds->GetRecord().m_usPlaces, 2);
        EXPECT_EQ(pkTwoBeds->GetRecord().m_usRequiredLevel, usLevel);
    }
    // A wall stretched where it is laid.
    EXPECT_NE(dynamic_cast<CScalableObject*>(Make("ScalableObjectFactory", "wall_stretch")), nullptr);
    // The plate under a building while it is laid out.
    EXPECT_TRUE(std::filesystem::is_regular_file("images/panels/build/ground.tga"));
}

// A new prison is at level 0: the large block (level 1) and the secure one
// (level 3) are refused until the rooms built raise the prison's score, and
// then each is held with its footprint and built on the demo level.
TEST_F(CBuildInsideTest, TheLargeAndSecureBlocksAreBuiltOnceTheRoomsRaiseThePrisonsLevel)
{
    CPrisonStatistics& kLedger = *m_pkManager->GetStatistics();
    kLedger.m_iIncomeTotal = 1000000;
    ASSERT_EQ(kLedger.m_usPrisonLevel, 0);
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    COrvaneObjectFactory* pkBuildings = m_pkManager->FindFactory("WorldObjectFactory", nullptr);
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    // Held with its footprint (width x depth in world units) and put down at the yard's cell.
    auto HoldBlock = [&](const char* pcModel) -> CWorldObject* {
        std::uint16_t usGroup = 0, usIndex = 0;
        if (!Find("CELLBLOCKS", pcModel, usGroup, usIndex) || !pkPlacement->BeginPlacing(usGroup, usIndex, pkBuildings))
            return nullptr;
        return dynamic_cast<CWorldObject*>(pkPlacement->GetObject());
    };
    // At the first of the yard's places (row, column) where it fits.
    auto BuildBlock = [&](const char* pcModel) -> CWorldObject* {
        CWorldObject* pkBlock = HoldBlock(pcModel);
        if (pkBlock == nullptr || !pkPlacement->CanPlace())
            return nullptr;
        for (const auto& aiAt : {std::array<int, 2>{20, 10}, {20, 30}, {32, 10}, {32, 30}, {8, 10}, {8, 30}})
        {
            PointAt(*pkYard, aiAt[0] * pkYard->GetColumns() + aiAt[1]);
            if (pkPlacement->Commit() == 1)
                return pkBlock;
        }
        return nullptr;
    };
    // Two-bed cells on the block's floors, from the ground up, one after
    // another, until the prison reaches the level; the number built.
    auto BuildCellsUntil = [&](CWorldObject& kBlock, std::uint16_t usLevel) {
        (void)pkPlacement->Clear();
        m_kHost.m_pkSelectedBuilding = &kBlock;
        m_kHost.m_pkSelectedBuildingObject = &kBlock;
        // Up and down again: each move makes the floor the one the mouse picks on.
        while (kBlock.GoUpFloor(true))
        {
        }
        while (kBlock.GoDownFloor())
        {
        }
        std::uint16_t usGroup = 0, usIndex = 0;
        int iBuilt = 0;
        if (!Find("CELLS", "cell_double", usGroup, usIndex))
            return iBuilt;
        do
        {
            const auto* pkFloor = dynamic_cast<const CBlockGrid*>(kBlock.GetStack()->GetCurrentGrid());
            const std::int32_t iCells = pkFloor != nullptr ? pkFloor->GetColumns() * pkFloor->GetRows() : 0;
            for (std::int32_t iCell = 0; iCell < iCells && kLedger.m_usPrisonLevel < usLevel; ++iCell)
            {
                // Cells the floor's map leaves out have no place.
                NiVec3 kAt;
                if (pkFloor->CellPosition(iCell, kAt, false) == nullptr)
                    continue;
                if (!pkPlacement->IsPlacing())
                    (void)pkPlacement->BeginPlacing(usGroup, usIndex, m_pkManager->FindFactory("CellFactory", nullptr));
                (void)CBlockGridManager::GetInstance()->PickCell(kAt);
                iBuilt += pkPlacement->Commit();
            }
        } while (kLedger.m_usPrisonLevel < usLevel && kBlock.GoUpFloor(true));
        (void)pkPlacement->Clear();
        m_kHost.m_pkSelectedBuilding = nullptr;
        m_kHost.m_pkSelectedBuildingObject = nullptr;
        return iBuilt;
    };

    CWorldObject* pkLarge = HoldBlock("cellblock_large");
    ASSERT_NE(pkLarge, nullptr);
    EXPECT_FALSE(pkPlacement->CanPlace());
    CWorldObject* pkSmall = BuildBlock("cellblock_small");
    ASSERT_NE(pkSmall, nullptr);

    EXPECT_LE(BuildCellsUntil(*pkSmall, 1), 3);
    ASSERT_EQ(kLedger.m_usPrisonLevel, 1);
    pkLarge = HoldBlock("cellblock_large");
    ASSERT_NE(pkLarge, nullptr);
    EXPECT_TRUE(pkPlacement->CanPlace());
    ASSERT_NE(pkPlacement->GetMarker(), nullptr);
    EXPECT_EQ(pkLarge->GetWidth() * pkLarge->GetDepth(), 24 * 16);
    (void)pkPlacement->Clear();
    pkLarge = BuildBlock("cellblock_large");
    ASSERT_NE(pkLarge, nullptr);
    EXPECT_TRUE(pkLarge->IsPlaced());

    CWorldObject* pkSecure = HoldBlock("cellblock_secure");
    ASSERT_NE(pkSecure, nullptr);
    EXPECT_FALSE(pkPlacement->CanPlace());
    EXPECT_LE(BuildCellsUntil(*pkSmall, 3), 8);
    ASSERT_EQ(kLedger.m_usPrisonLevel, 3);
    pkSecure = BuildBlock("cellblock_secure");
    ASSERT_NE(pkSecure, nullptr);
    EXPECT_TRUE(pkSecure->IsPlaced());
}

// A room may stand on any free square of the floor, its outer ring too, but
// the square in front of its door, where its users stand, must be an inner
// one that is free and no stair's or entrance's: in a new small block most
// squares by the walls refuse a single cell for that alone. Pointed at each
// square of the empty ground floor in turn, the cell is refused exactly
// where its entrance square breaks that rule.
TEST_F(CBuildInsideTest, ARoomIsRefusedWhereItsEntranceSquareWouldNotBeAFreeInnerOne)
{
    CWorldObject* pkBuilding = nullptr;
    CBlockGrid* pkGround = nullptr;
    CCell* pkCell = nullptr;
    ASSERT_NO_FATAL_FAILURE(HoldACellInANewSmallBlock("cell_single", pkBuilding, pkGround, pkCell));
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    const std::int32_t iRows = pkGround->GetRows(), iColumns = pkGround->GetColumns();
    int iRefused = 0, iTaken = 0;
    for (std::int32_t iCell = 0; iCell < iRows * iColumns; ++iCell)
    {
        SCOPED_TRACE(iCell);
        NiVec3 kAt;
        ASSERT_NE(pkGround->CellPosition(iCell, kAt, true), nullptr);
        (void)CBlockGridManager::GetInstance()->PickCell(kAt);
        pkPlacement->Update();
        ASSERT_EQ(pkCell->GetAnchor(), iCell);
        // The entrance: a row on and a column on from the cell.
        const std::int32_t iRow = iCell / iColumns + 1, iColumn = iCell % iColumns + 1;
        const bool bInner = iRow >= 1 && iRow < iRows - 1 && iColumn >= 1 && iColumn < iColumns - 1;
        const std::int32_t iEntrance = iRow * iColumns + iColumn;
        const bool bFree = bInner && pkGround->GetBlock(iEntrance)->GetState() == COrvaneBlock::STATE_FREE &&
                           pkGround->GetBlock(iCell)->GetState() == COrvaneBlock::STATE_FREE;
        if (bInner)
        {
            EXPECT_EQ(pkCell->GetAccessCell(0), iEntrance);
        }
        EXPECT_EQ(pkCell->IsPlacementValid(true), bFree);
        (bFree ? iTaken : iRefused) += 1;
    }
    // Both happen, and the stairs' and the entrance's squares count.
    EXPECT_GT(iTaken, 0);
    EXPECT_GT(iRefused, (iRows + iColumns) * 2 - 4);
}

// Seen from outside, from as high as the camera goes, right over a building
// and from afar, no face of a cell block or of a room in it lies so near a
// face parallel to it, of the building, the room or the yard's floor display
// under them, that the depth buffer cannot tell them apart: such a face
// loses to the one under it by chance, and the building's floor and the
// rooms on it show striped with the yard's grey.
TEST_F(CBuildInsideTest, ABuildingAndWhatStandsInItAreApartInDepthFromTheYardSeenFromHighUp)
{
    CWorldObject* pkBuilding = nullptr;
    CBlockGrid* pkGround = nullptr;
    CCell* pkCell = nullptr;
    ASSERT_NO_FATAL_FAILURE(HoldACellInANewSmallBlock("cell_double", pkBuilding, pkGround, pkCell));
    CBuildPlacement* pkPlacement = CBuildPlacement::GetInstance();
    PointAt(*pkGround, 3 * 9 + 4);
    ASSERT_EQ(pkPlacement->Commit(), 1);
    // Left as the player leaves it: every floor and what stands on it shown.
    pkBuilding->ShowAllFloors();
    m_kHost.m_pkSelectedBuilding = nullptr;
    m_kHost.m_pkSelectedBuildingObject = nullptr;

    // The depth range as the game's camera takes it from the settings, and
    // the 24 bits of the depth buffer the game's device is given.
    COrvaneTagTree kSetup;
    ASSERT_TRUE(kSetup.Load("setup.xml"));
    ASSERT_TRUE(kSetup.SelectSection("Game_Data", true));
    ASSERT_TRUE(kSetup.FindChild("FarClipPlane"));
    ASSERT_FALSE(kSetup.GetValues().empty());
    const float fFar = std::strtof(kSetup.GetValues().front().c_str(), nullptr);
    ASSERT_GT(fFar, 100.0f);
    const float fNear = std::max(fFar / 10000.0f, 0.1f);

    m_kWorld.GetSceneRoot()->Update(0.0f);
    std::vector<coplanar::Triangle> kShown;
    for (const CBaseObject* pkObject :
         {static_cast<const CBaseObject*>(pkBuilding), static_cast<const CBaseObject*>(pkCell)})
    {
        ASSERT_NE(pkObject->GetModel(), nullptr);
        ASSERT_NE(pkObject->GetModel()->GetRoot(), nullptr);
        coplanar::Collect(*pkObject->GetModel()->GetRoot(), kShown);
    }
    // From above only the faces turned up show: the floors, the tops of the
    // walls and of what stands on them.
    std::erase_if(kShown, [](const coplanar::Triangle& k) { return k.kNormal.y < 0.999f; });
    const auto Has = [&kShown](const char* pcOwner) {
        return std::any_of(kShown.begin(), kShown.end(), [pcOwner](const coplanar::Triangle& k) { return k.kOwner == pcOwner; });
    };
    ASSERT_TRUE(Has("slab"));
    ASSERT_TRUE(Has("tile"));
    ASSERT_TRUE(Has("joist"));
    // The yard's floor display: the yard's cells at the yard's height.
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    const NiVec3& kOrigin = *pkYard->GetOrigin();
    const float fSize = static_cast<float>(pkYard->GetCellSize());
    const NiVec3 kMin(kOrigin.x - 0.5f * fSize, kOrigin.y,
                      kOrigin.z - fSize * static_cast<float>(pkYard->GetColumns() - 1) - 0.5f * fSize);
    const NiVec3 kMax(kOrigin.x + fSize * static_cast<float>(pkYard->GetRows() - 1) + 0.5f * fSize, kOrigin.y,
                      kOrigin.z + 0.5f * fSize);
    std::vector<coplanar::Triangle> kGround;
    for (const bool bFirstHalf : {true, false})
    {
        coplanar::Triangle kDisplay;
        kDisplay.akCorner[0] = kMin;
        kDisplay.akCorner[1] = bFirstHalf ? NiVec3(kMin.x, kOrigin.y, kMax.z) : kMax;
        kDisplay.akCorner[2] = bFirstHalf ? kMax : NiVec3(kMax.x, kOrigin.y, kMin.z);
        kDisplay.kNormal = NiVec3(0.0f, 1.0f, 0.0f);
        kDisplay.kOwner = "yard display";
        kDisplay.pvShape = pkYard;
        kGround.push_back(kDisplay);
    }
    // The held room's red or green squares lie a tenth of a unit over the
    // floor they are held over: over each of the building's floors, so
    // that its drawn floor never reaches their height (whichever won there
    // did so by chance, and a square was missing on one cell, shown on the
    // next).
    for (std::size_t uiFloor = 0; const CBlockGrid* pkFloor = pkBuilding->GetStack()->GetFloor(uiFloor); ++uiFloor)
    {
        const NiVec3& kCorner = *pkFloor->GetOrigin();
        const float fCell = static_cast<float>(pkFloor->GetCellSize());
        const float fY = kCorner.y + 0.1f;
        const NiVec3 kLow(kCorner.x - 0.5f * fCell, fY,
                          kCorner.z - fCell * static_cast<float>(pkFloor->GetColumns() - 1) - 0.5f * fCell);
        const NiVec3 kHigh(kCorner.x + fCell * static_cast<float>(pkFloor->GetRows() - 1) + 0.5f * fCell, fY,
                           kCorner.z + 0.5f * fCell);
        for (const bool bFirstHalf : {true, false})
        {
            coplanar::Triangle kMarker;
            kMarker.akCorner[0] = kLow;
            kMarker.akCorner[1] = bFirstHalf ? NiVec3(kLow.x, fY, kHigh.z) : kHigh;
            kMarker.akCorner[2] = bFirstHalf ? kHigh : NiVec3(kHigh.x, fY, kLow.z);
            kMarker.kNormal = NiVec3(0.0f, 1.0f, 0.0f);
            kMarker.kOwner = "placement square";
            kMarker.pvShape = pkFloor;
            kGround.push_back(kMarker);
        }
    }
    const NiVec3 kAt = *pkBuilding->GetModelPosition();
    const float fTop = kOrigin.y + CCamera::MAX_HEIGHT;
    for (const NiVec3& kEye : {NiVec3(kAt.x, fTop, kAt.z), NiVec3(kAt.x + 150.0f, fTop, kAt.z + 150.0f)})
    {
        SCOPED_TRACE("eye at " + std::to_string(kEye.x) + ", " + std::to_string(kEye.y) + ", " + std::to_string(kEye.z));
        for (const coplanar::Fight& kFight : coplanar::FindFights(kShown, kGround, kEye, fNear, fFar, 24, 2.0f))
            ADD_FAILURE() << kFight.kFirst << " and " << kFight.kSecond << " lie " << kFight.fGap
                          << " apart, the depth buffer's step there being " << kFight.fStep;
    }
}
