#include "game/simulation/objects/CWorld.h"

#include "engine/animation/NiAnimKeyTables.h"
#include "engine/animation/NiTransformController.h"
#include "engine/animation/NiTransformData.h"
#include "engine/animation/NiTransformInterpolator.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "engine/scene/NiStringExtraData.h"
#include "engine/scene/NiSwitchNode.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneObject.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"
#include "tests/game/simulation/objects/PrisonTestSupport.h"
#include "tools/COrvaneDemoLevel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

NiRefPtr<NiNode> Named(const char* pcName)
{
    NiRefPtr<NiNode> sp = new NiNode;
    sp->SetName(pcName);
    return sp;
}

NiRefPtr<NiNode> Placeholder(const char* pcText, const NiVec3& kAt)
{
    NiRefPtr<NiNode> sp = Named("placeholder");
    sp->AddExtraData(new NiStringExtraData((std::string(pcText) + "\r\n").c_str()));
    sp->SetTranslate(kAt);
    return sp;
}

// A level route on the ground along x (the level's turn keeps such points).
NiRefPtr<NiNode> Route(const char* pcName, float fFromX, float fToX)
{
    NiRefPtr<NiNode> spRoute = Named(pcName);
    const std::uint8_t ucSize = NiAnimKeyTables::GetKeySize(NI_POSKEY, NI_LINKEY);
    NiAnimKey* pkKeys = NiAnimKeyTables::GetCreateFunction(NI_POSKEY, NI_LINKEY)(2);
    auto* pkFirst = static_cast<NiPosKey*>(NiAnimKey::At(pkKeys, 0, ucSize));
    pkFirst->m_fTime = 0.0f;
    pkFirst->m_kPos = NiVec3(fFromX, 0.0f, 0.0f);
    auto* pkLast = static_cast<NiPosKey*>(NiAnimKey::At(pkKeys, 1, ucSize));
    pkLast->m_fTime = 2.0f;
    pkLast->m_kPos = NiVec3(fToX, 0.0f, 0.0f);
    NiAnimKeyTables::GetFillDerivedFunction(NI_POSKEY, NI_LINKEY)(pkKeys, 2, ucSize);
    NiTransformDataPtr spData = new NiTransformData;
    spData->ReplacePosKeys(pkKeys, 2, NI_LINKEY);
    NiRefPtr<NiTransformController> spController = new NiTransformController;
    spController->SetInterpolator(new NiTransformInterpolator(spData));
    spController->ResetTimeExtrema();
    spController->SetTarget(spRoute);
    return spRoute;
}

// A level of the placeholder texts and routes, with a fence switch of three
// children and two detail nodes.
void WriteLevel(const char* pcPath, const std::vector<std::pair<const char*, NiVec3>>& kTexts,
                const std::vector<NiRefPtr<NiNode>>& kRoutes)
{
    NiRefPtr<NiNode> spRoot = Named("level");
    NiRefPtr<NiNode> spObjects = Named("objects");
    for (const auto& [pcText, kAt] : kTexts)
        spObjects->AttachChild(Placeholder(pcText, kAt));
    spRoot->AttachChild(spObjects);
    NiRefPtr<NiNode> spSplines = Named("splines");
    for (const NiRefPtr<NiNode>& spRoute : kRoutes)
        spSplines->AttachChild(spRoute);
    spRoot->AttachChild(spSplines);
    NiRefPtr<NiSwitchNode> spFence = new NiSwitchNode;
    spFence->SetName("NiSwitchNode_fence");
    for (const char* pcChild : {"fence0", "fence1", "fence2"})
        spFence->AttachChild(Named(pcChild));
    spRoot->AttachChild(spFence);
    NiRefPtr<NiNode> spTrees = Named("trees");
    spTrees->AttachChild(Named("detail2"));
    spRoot->AttachChild(spTrees);
    spRoot->AttachChild(Named("detail2"));
    NiObjectStream kStream;
    kStream.InsertTopObject(spRoot);
    ASSERT_TRUE(kStream.SaveFile(pcPath));
}

std::unique_ptr<COrvaneObject> MakePlainObject()
{
    return std::make_unique<COrvaneObject>();
}

class CWorldTest : public PrisonTest
{
protected:
    void SetUp() override
    {
        PrisonTest::SetUp();
        static_cast<CGameObjectFactory*>(m_pkManager->FactoryNamed("SpawnObjectFactory"))->SetMaker(&MakePlainObject);
        m_kHost.m_pkWorld = &m_kWorld;
    }

    int FenceIndex()
    {
        auto* pkFence = NiDynamicCast<NiSwitchNode>(m_kWorld.GetSceneRoot()->GetObjectByName("NiSwitchNode_fence"));
        return pkFence ? pkFence->GetIndex() : -2;
    }

    CWorld m_kWorld;
};

TEST(CWorldMapText, FiveNumbersFromTheEndAndDoorRunsAfterTheFirstComma)
{
    CGridDesc kDesc;
    ASSERT_TRUE(CWorld::ParseMapText("yard_map_1_40_30_0_2", kDesc));
    EXPECT_EQ(std::vector<std::int32_t>(std::begin(kDesc.m_aiNumbers), std::end(kDesc.m_aiNumbers)),
              (std::vector<std::int32_t>{1, 40, 30, 0, 2}));
    EXPECT_TRUE(kDesc.m_kDoors.empty());
    ASSERT_TRUE(CWorld::ParseMapText("map_2_6_8_0_2,3-5,7,9-,x,-2", kDesc));
    EXPECT_EQ(kDesc.m_aiNumbers[0], 2);
    using Run = std::pair<float, float>;
    EXPECT_EQ(kDesc.m_kDoors, (std::vector<Run>{{3.0f, 5.0f}, {7.0f, -1.0f}, {9.0f, -1.0f}, {-2.0f, -1.0f}}));
    // Fewer than five numbers, or a field that is no number: no grid.
    CGridDesc kUntouched;
    EXPECT_FALSE(CWorld::ParseMapText("map_1_40_40_2", kUntouched));
    EXPECT_FALSE(CWorld::ParseMapText("map_1_40_4x_0_2", kUntouched));
    EXPECT_FALSE(CWorld::ParseMapText("map_1_40_40_0_2_", kUntouched));
    EXPECT_FALSE(CWorld::ParseMapText(",1_2_3_4_5", kUntouched));
    EXPECT_EQ(kUntouched.m_aiNumbers[0], -1);
}

TEST_F(CWorldTest, ALevelBuildsItsAreasConnectorsCameraProtestersAndArrivalRoad)
{
    WriteLevel("level.nif",
               {{"map_1_20_20_0_2", NiVec3(-19.0f, 0.0f, 19.0f)},
                {"map_camera_3_4_4_0_2,0-3", NiVec3(99.0f, 0.0f, 3.0f)},
                {"map_5_0_4_0_2", NiVec3(300.0f, 0.0f, 0.0f)},
                {"map_6_4_4", NiVec3(300.0f, 0.0f, 0.0f)},
                {"camera_45", NiVec3(1.0f, 50.0f, -2.0f)},
                {"protest", NiVec3(-40.0f, 0.0f, 4.0f)}},
               {Route("spawn_road", -50.0f, -5.0f), Route("connectorA_1_3", 11.0f, 101.0f),
                Route("connectorB_3_1", 103.0f, 1.0f), Route("connectorC_1_9", 13.0f, 500.0f),
                Route("connectorD_9_1", 500.0f, 13.0f)});
    m_kWorld.SetUpgradeLevel(2);
    ASSERT_TRUE(m_kWorld.LoadLevel("level.nif", nullptr));

    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    ASSERT_EQ(pkGrids->GetStacks().size(), 2u);
    CBlockGrid* pkYard = pkGrids->FindGrid(1);
    CBlockGrid* pkField = pkGrids->FindGrid(3);
    ASSERT_TRUE(pkYard && pkField);
    EXPECT_EQ(pkYard->GetRows(), 20);
    EXPECT_EQ(pkYard->GetCellSize(), 2);
    EXPECT_EQ(*pkYard->GetOrigin(), NiVec3(-19.0f, 0.0f, 19.0f));
    // "map" is tested before "camera"; its door run is marked.
    EXPECT_EQ(pkField->GetBlock(2)->GetState(), CBlock::STATE_DOOR);
    EXPECT_EQ(pkField->GetBlock(4)->GetState(), CBlock::STATE_FREE);
    EXPECT_EQ(m_kWorld.GetHighestMapNumber(), 3);

    EXPECT_EQ(m_kWorld.GetCameraStart(), NiVec3(1.0f, 50.0f, -2.0f));
    EXPECT_EQ(m_kWorld.GetCameraValue(), 45.0f);

    // One connector each way; none to or from the missing grid 9.
    ASSERT_EQ(pkYard->GetMarkers().size(), 1u);
    ASSERT_EQ(pkField->GetMarkers().size(), 1u);
    COrvaneGridMarker* pkOut = pkYard->GetConnector(3);
    ASSERT_NE(pkOut, nullptr);
    EXPECT_EQ(CConnector::GetStart(*pkOut), NiVec3(11.0f, 0.0f, 0.0f));
    EXPECT_EQ(CConnector::GetEnd(*pkOut), NiVec3(101.0f, 0.0f, 0.0f));
    EXPECT_EQ(CConnector::GetSpline(*pkOut), m_kWorld.GetSplines()[1].get());
    EXPECT_EQ(pkYard->GetBlock(pkYard->CellAt(NiVec3(11.0f, 0.0f, 0.0f)))->GetState(), CBlock::STATE_CONNECTOR);
    EXPECT_EQ(pkYard->GetConnector(9), nullptr);
    EXPECT_EQ(CConnector::GetDestination(*pkField->GetConnector(1)), pkYard);

    // The protesters wait hidden.
    COrvaneObject* pkProtesters = m_kWorld.GetProtesters();
    ASSERT_NE(pkProtesters, nullptr);
    EXPECT_TRUE(m_pkManager->IsLive(pkProtesters));
    EXPECT_FALSE(pkProtesters->IsModelVisible());
    EXPECT_EQ(pkProtesters->GetWorld(), &m_kWorld);

    // The arrival road reached the spawn manager with its vehicle.
    ASSERT_NE(m_kSpawn.m_pkArrivalPath, nullptr);
    ASSERT_NE(m_kSpawn.m_pkArrivalPath->m_pkSpline, nullptr);
    NiVec3 kEnd;
    ASSERT_TRUE(m_kSpawn.m_pkArrivalPath->m_pkSpline->GetEndPosition(kEnd));
    EXPECT_EQ(kEnd, NiVec3(-5.0f, 0.0f, 0.0f));
    ASSERT_NE(m_kSpawn.m_pkArrivalPath->m_pkVehicle, nullptr);
    EXPECT_TRUE(m_pkManager->IsLive(m_kSpawn.m_pkArrivalPath->m_pkVehicle));

    // The upgrade level set before the load picks the fence.
    EXPECT_EQ(m_kWorld.GetUpgradeLevel(), 2);
    EXPECT_EQ(FenceIndex(), 2);
    m_kWorld.SetUpgradeLevel(1);
    EXPECT_EQ(FenceIndex(), 1);

    // Both detail nodes are held; only the first one leaves and comes back.
    ASSERT_EQ(m_kWorld.GetDetailNodes().size(), 2u);
    NiAVObject* pkFirst = m_kWorld.GetDetailNodes()[0]->GetObject();
    NiAVObject* pkSecond = m_kWorld.GetDetailNodes()[1]->GetObject();
    ASSERT_NE(pkFirst->GetParent(), nullptr);
    m_kWorld.ToggleDetails();
    EXPECT_FALSE(m_kWorld.AreDetailsShown());
    EXPECT_EQ(pkFirst->GetParent(), nullptr);
    EXPECT_NE(pkSecond->GetParent(), nullptr);
    m_kWorld.ToggleDetails();
    EXPECT_TRUE(m_kWorld.AreDetailsShown());
    EXPECT_NE(pkFirst->GetParent(), nullptr);

    // Shut down, the world forgets its level's values.
    m_kWorld.Destroy();
    EXPECT_EQ(m_kWorld.GetUpgradeLevel(), 0);
    EXPECT_EQ(m_kWorld.GetProtesters(), nullptr);
    EXPECT_TRUE(m_kWorld.GetDetailNodes().empty());
}

TEST_F(CWorldTest, ALevelWithoutFenceDetailsOrTemplatesStillLoads)
{
    // No protester template, no spawn manager.
    m_kHost.m_pkSpawnManager = nullptr;
    CDynamicObjectManager::DestroyInstance();
    NiRefPtr<NiNode> spRoot = Named("level");
    NiRefPtr<NiNode> spObjects = Named("objects");
    spObjects->AttachChild(Placeholder("protest", NiVec3::ZERO));
    spObjects->AttachChild(Placeholder("map_4_4_4_0_1", NiVec3::ZERO));
    spRoot->AttachChild(spObjects);
    NiRefPtr<NiNode> spSplines = Named("splines");
    spSplines->AttachChild(Route("spawn", 0.0f, 1.0f));
    spRoot->AttachChild(spSplines);
    NiObjectStream kStream;
    kStream.InsertTopObject(spRoot);
    ASSERT_TRUE(kStream.SaveFile("plain.nif"));

    m_kWorld.SetUpgradeLevel(1);
    ASSERT_TRUE(m_kWorld.LoadLevel("plain.nif", nullptr));
    EXPECT_EQ(m_kWorld.GetProtesters(), nullptr);
    EXPECT_EQ(m_kWorld.GetHighestMapNumber(), 4);
    EXPECT_EQ(m_kWorld.GetUpgradeLevel(), 1);
    m_kWorld.SetUpgradeLevel(2);
    EXPECT_EQ(m_kWorld.GetUpgradeLevel(), 2);
    m_kWorld.ToggleDetails();
    EXPECT_FALSE(m_kWorld.AreDetailsShown());
    EXPECT_EQ(m_kSpawn.m_pkArrivalPath, nullptr);
    // A missing level file gives no grids.
    CWorld kMissing;
    EXPECT_FALSE(kMissing.LoadLevel("missing.nif", nullptr));
    EXPECT_EQ(CBlockGridManager::GetInstance()->GetStacks().size(), 1u);
}

TEST_F(CWorldTest, TheDemoLevelGivesTheYardTheFieldTheirConnectorsTheRoadAndTheFence)
{
    ASSERT_TRUE(WriteDemoLevel("."));
    m_kWorld.SetUpgradeLevel(1);
    ASSERT_TRUE(m_kWorld.LoadLevel(DEMO_LEVEL_FILE, nullptr));
    CBlockGridManager* pkGrids = CBlockGridManager::GetInstance();
    CBlockGrid* pkYard = pkGrids->FindGrid(1);
    CBlockGrid* pkField = pkGrids->FindGrid(2);
    ASSERT_TRUE(pkYard && pkField);
    EXPECT_EQ(pkYard->GetRows(), 40);
    EXPECT_EQ(pkYard->GetColumns(), 40);
    EXPECT_EQ(pkField->GetColumns(), 8);
    EXPECT_EQ(pkField->GetBlock(3)->GetState(), CBlock::STATE_DOOR);
    EXPECT_EQ(m_kWorld.GetHighestMapNumber(), 2);
    EXPECT_EQ(m_kWorld.GetCameraValue(), 45.0f);

    COrvaneGridMarker* pkOut = pkYard->GetConnector(2);
    COrvaneGridMarker* pkBack = pkField->GetConnector(1);
    ASSERT_TRUE(pkOut && pkBack);
    EXPECT_EQ(pkField->CellAt(CConnector::GetEnd(*pkOut)) >= 0, true);
    EXPECT_EQ(pkYard->CellAt(CConnector::GetEnd(*pkBack)) >= 0, true);

    // The road ends on a cell of the yard, which becomes the arrival point.
    ASSERT_NE(m_kSpawn.m_pkArrivalPath, nullptr);
    NiVec3 kEnd;
    ASSERT_TRUE(m_kSpawn.m_pkArrivalPath->m_pkSpline->GetEndPosition(kEnd));
    const std::int32_t iArrival = pkYard->CellAt(kEnd);
    ASSERT_GE(iArrival, 0);
    EXPECT_EQ(pkYard->GetBlock(iArrival)->GetState(), CSpawnManager::ARRIVAL_POINT_TYPE);

    EXPECT_EQ(FenceIndex(), 1);
    EXPECT_EQ(m_kWorld.GetDetailNodes().size(), 1u);
}

} // namespace
