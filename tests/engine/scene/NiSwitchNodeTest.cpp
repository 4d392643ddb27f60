// Switch nodes and level-of-detail nodes with their data.

#include "engine/scene/NiSwitchNode.h"

#include "engine/scene/NiLODNode.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

using namespace scene_test;

namespace
{
class NiSwitchNodeTest : public SceneGraphTest
{
protected:
    // A switch-like node with n children named "0".."n-1", each with a
    // counting controller.
    template <class T>
    NiRefPtr<T> Build(std::uint32_t uiCount)
    {
        NiRefPtr<T> sp = new T;
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            NiRefPtr<VisitLeaf> spLeaf = new VisitLeaf;
            spLeaf->SetName(std::to_string(i).c_str());
            spLeaf->m_pkLog = &m_kLog;
            auto* pkController = new TestController;
            spLeaf->PrependController(pkController);
            m_kControllers.push_back(pkController);
            sp->AttachChild(spLeaf);
        }
        return sp;
    }

    std::vector<std::string> m_kLog;
    std::vector<TestController*> m_kControllers; // held by the leaves
};

TEST_F(NiSwitchNodeTest, OnlyTheActiveChildUpdatesAndMissedUpdatesCatchUp)
{
    auto spSwitch = Build<NiSwitchNode>(2);
    NiRefPtr<NiCamera> spCamera = PosedCamera(NiVec3(-10, 0, 0));

    // Index -1: nothing shown, an empty bound.
    spSwitch->Update(1.0f);
    EXPECT_EQ(spSwitch->GetWorldBound().m_fRadius, 0.0f);
    CullFrom(spSwitch, spCamera);
    EXPECT_TRUE(m_kLog.empty());

    spSwitch->SetIndex(0);
    spSwitch->Update(2.0f);
    EXPECT_EQ(m_kControllers[0]->m_kTimes, std::vector<float>{2.0f});
    EXPECT_TRUE(m_kControllers[1]->m_kTimes.empty());
    EXPECT_EQ(spSwitch->GetWorldBound().m_fRadius, 1.0f);
    EXPECT_EQ(spSwitch->GetChildStamp(0), spSwitch->GetUpdateCounter());

    // The other child missed that update: it catches up before it is culled.
    spSwitch->SetIndex(1);
    CullFrom(spSwitch, spCamera);
    EXPECT_EQ(m_kControllers[1]->m_kTimes, std::vector<float>{2.0f});
    EXPECT_EQ(m_kLog, std::vector<std::string>{"1"});
    CullFrom(spSwitch, spCamera);
    EXPECT_EQ(m_kControllers[1]->m_kTimes.size(), 1u) << "up to date now";

    spSwitch->UpdateControllers(3.0f);
    EXPECT_EQ(m_kControllers[0]->m_kTimes.size(), 1u);
    EXPECT_EQ(m_kControllers[1]->m_kTimes.back(), 3.0f);

    // Detaching the active child: index -1.
    (void)spSwitch->DetachChildAt(1);
    EXPECT_EQ(spSwitch->GetIndex(), -1);
    spSwitch->UpdateWorldBound();
    EXPECT_EQ(spSwitch->GetWorldBound().m_fRadius, 0.0f);
}

TEST_F(NiSwitchNodeTest, ModelBoundBringsMissedChildrenUpToDate)
{
    auto spSwitch = Build<NiSwitchNode>(2);
    spSwitch->SetIndex(0);
    spSwitch->SetTranslate(NiVec3(0, 0, 5));
    spSwitch->Update(4.0f);
    EXPECT_TRUE(m_kControllers[1]->m_kTimes.empty());

    spSwitch->UpdateModelBound();
    EXPECT_EQ(m_kControllers[1]->m_kTimes, std::vector<float>{4.0f}) << "with the stored time";
    EXPECT_EQ(spSwitch->GetChildStamp(1), spSwitch->GetUpdateCounter());
    EXPECT_EQ(m_kControllers[0]->m_kTimes.size(), 1u) << "the active child was current";
    ExpectNear(spSwitch->GetAt(1)->GetWorldTransform().m_kTranslate, NiVec3(0, 0, 5));
    // The active child's sphere about (0, 0, 5), in the node's own space.
    ExpectNear(spSwitch->GetModelBound().m_kCenter, NiVec3(0, 0, 0));
    EXPECT_EQ(spSwitch->GetModelBound().m_fRadius, 1.0f);
}

TEST_F(NiSwitchNodeTest, HostileLODRecordsFail)
{
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    Bytes kLODNode = NodeRecord(uiVersion, "lod", {}).U16(1).I32(0).U32(1);
    Bytes kHugeRanges = Bytes().F32(0).F32(0).F32(0).U32(0xFFFFFFFF);
    Bytes kHugeProportions = Bytes().F32(0).F32(0).F32(0).F32(1).F32(0).F32(0).F32(0).F32(1).U32(0xFFFFFFFF);
    const std::vector<std::vector<Record>> aFiles = {
        {{"NiLODNode", kLODNode}, {"NiNode", NodeRecord(uiVersion, "n", {})}},
        {{"NiLODNode", kLODNode}, {"NiRangeLODData", kHugeRanges}},
        {{"NiLODNode", kLODNode}, {"NiScreenLODData", kHugeProportions}},
    };
    for (std::size_t i = 0; i < aFiles.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_FALSE(LoadFile(uiVersion, aFiles[i], {0}));
        EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
        EXPECT_TRUE(m_kLoaded.empty());
    }
    // The same node with real data loads.
    ASSERT_TRUE(LoadFile(uiVersion, {{"NiLODNode", kLODNode}, {"NiRangeLODData", Bytes().F32(0).F32(0).F32(0).U32(0)}},
                         {0}))
        << m_kStream.GetLastErrorMessage();
}

TEST_F(NiSwitchNodeTest, RangeLevelsOverrideAndStepDown)
{
    auto spLOD = Build<NiLODNode>(2);
    NiRefPtr<NiRangeLODData> spData = new NiRangeLODData;
    spData->SetNumRanges(3);
    spData->SetRange(0, 0, 10);
    spData->SetRange(1, 10, 20);
    spData->SetRange(2, 20, 30);
    spData->SetCenter(NiVec3(1, 0, 0)); // world centre (2, 0, 0) at scale 2
    spLOD->SetLODData(spData);
    spLOD->SetScale(2.0f);
    spLOD->Update(0.0f);
    ExpectNear(spData->GetWorldCenter(), NiVec3(2, 0, 0));
    EXPECT_EQ(spData->GetRange(1).m_fWorldNear, 20.0f);

    struct Case
    {
        float m_fCameraX;
        float m_fAdjust;
        const char* m_pcShown; // null: nothing
    };
    // Distance |(C - P) . D x factor| against world ranges 0-20, 20-40, 40-60.
    const Case aCases[] = {
        {-8.0f, 1.0f, "0"},  // 10
        {-28.0f, 1.0f, "1"}, // 30
        {-8.0f, 3.0f, "1"},  // 30 through the factor
        {-48.0f, 1.0f, "1"}, // level 2 has no child: steps down to 1
        {-98.0f, 1.0f, nullptr},
    };
    for (const Case& kCase : aCases)
    {
        SCOPED_TRACE(kCase.m_fCameraX);
        m_kLog.clear();
        NiRefPtr<NiCamera> spCamera = PosedCamera(NiVec3(kCase.m_fCameraX, 0, 0));
        spCamera->SetLODAdjust(kCase.m_fAdjust);
        CullFrom(spLOD, spCamera);
        if (kCase.m_pcShown == nullptr)
            EXPECT_TRUE(m_kLog.empty());
        else
            EXPECT_EQ(m_kLog, std::vector<std::string>{kCase.m_pcShown});
    }

    // Override: the (n+1)-th smallest distinct near distance, later entry
    // winning among equals.
    spData->SetRange(0, 10, 20);
    spData->SetRange(1, 0, 10);
    spData->SetRange(2, 10, 30);
    EXPECT_EQ(spData->MapOverrideLevel(0), 1);
    EXPECT_EQ(spData->MapOverrideLevel(1), 2);
    EXPECT_EQ(spData->MapOverrideLevel(2), 2) << "only two distinct distances";
    NiLODNode::SetGlobalLOD(0x7FFFFFFF);
    m_kLog.clear();
    CullFrom(spLOD, PosedCamera(NiVec3(-8, 0, 0)));
    EXPECT_EQ(m_kLog, std::vector<std::string>{"1"}) << "level 2 steps down to the last child";
    NiLODNode::SetGlobalLOD(-1);
    NiRefPtr<NiRangeLODData> spEmpty = new NiRangeLODData;
    EXPECT_EQ(spEmpty->MapOverrideLevel(0), -1);
}

TEST_F(NiSwitchNodeTest, ScreenLevelsByProportion)
{
    auto spLOD = Build<NiLODNode>(3);
    NiRefPtr<NiScreenLODData> spData = new NiScreenLODData;
    spData->SetNumProportions(2);
    spData->SetProportion(0, 0.5f);
    spData->SetProportion(1, 0.1f);
    spLOD->SetLODData(spData);
    spLOD->SetIndex(0);
    spLOD->Update(0.0f);
    // Every child sits at the origin with radius 1.
    EXPECT_EQ(spData->GetWorldBound().m_fRadius, 1.0f);

    struct Case
    {
        float m_fDistance;
        const char* m_pcShown;
    };
    // p = max(2 / 1, 2 / 1) x 1 / d.
    const Case aCases[] = {{0.5f, "0"}, {3.0f, "0"}, {10.0f, "1"}, {40.0f, "2"}};
    for (const Case& kCase : aCases)
    {
        SCOPED_TRACE(kCase.m_fDistance);
        m_kLog.clear();
        CullFrom(spLOD, PosedCamera(NiVec3(-kCase.m_fDistance, 0, 0)));
        EXPECT_EQ(m_kLog, std::vector<std::string>{kCase.m_pcShown});
    }
    EXPECT_EQ(spData->MapOverrideLevel(9), 2);
    spData->SetProportion(2, 0.01f); // beyond the count: ignored
    EXPECT_EQ(spData->GetNumProportions(), 2u);
    EXPECT_EQ(spData->GetProportion(1), 0.1f);
}

TEST_F(NiSwitchNodeTest, RecordsOldSwitchFlagsAndInlineRanges)
{
    // 10.0.1.0: the switch flags come from bits 8-15 of the raw object flags;
    // before 10.1.0.12 the ranges sit in the LOD node's own record.
    const std::uint32_t uiVersion = V(10, 0, 1, 0);
    Bytes kLOD = NodeRecord(uiVersion, "lod", {1, 2}, {}, 0x0000);
    kLOD.I32(1);
    kLOD.F32(1).F32(2).F32(3).U32(2).F32(0).F32(5).F32(5).F32(50);
    Bytes kSwitch = NodeRecord(uiVersion, "switch", {}, {}, 0x0100);
    kSwitch.I32(-1);
    ASSERT_TRUE(LoadFile(uiVersion, {{"NiLODNode", kLOD}, {"NiSwitchNode", kSwitch}, {"NiNode", NodeRecord(uiVersion, "leaf", {})}},
                         {0}))
        << m_kStream.GetLastErrorMessage();
    auto* pkLOD = NiDynamicCast<NiLODNode>(m_kLoaded.at(0).Get());
    ASSERT_NE(pkLOD, nullptr);
    EXPECT_EQ(pkLOD->GetIndex(), 1);
    EXPECT_FALSE(pkLOD->GetUpdateOnlyActiveChild());
    auto* pkRanges = NiDynamicCast<NiRangeLODData>(pkLOD->GetLODData());
    ASSERT_NE(pkRanges, nullptr);
    EXPECT_EQ(pkRanges->GetNumRanges(), 2u);
    EXPECT_EQ(pkRanges->GetRange(1).m_fFar, 50.0f);
    EXPECT_EQ(pkRanges->GetCenter(), NiVec3(1, 2, 3));
    auto* pkSwitch = NiDynamicCast<NiSwitchNode>(pkLOD->GetAt(0));
    ASSERT_NE(pkSwitch, nullptr);
    EXPECT_TRUE(pkSwitch->GetUpdateOnlyActiveChild());

    // LOD data of another class is unequal; a clone copies the data.
    NiRefPtr<NiLODNode> spClone = static_cast<NiLODNode*>(pkLOD->Clone());
    ASSERT_NE(spClone->GetLODData(), nullptr);
    EXPECT_NE(spClone->GetLODData(), pkLOD->GetLODData());
    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
    spClone = static_cast<NiLODNode*>(pkLOD->Clone());
    EXPECT_TRUE(pkLOD->IsEqual(spClone));
    spClone->SetLODData(new NiScreenLODData);
    EXPECT_FALSE(pkLOD->IsEqual(spClone));
}
} // namespace
