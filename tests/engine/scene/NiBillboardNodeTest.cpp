// The nodes that change how their children are visited: billboards, BSP
// nodes and sort-adjust nodes.

#include "engine/scene/NiBillboardNode.h"

#include "engine/scene/NiBSPNode.h"
#include "engine/scene/NiSortAdjustNode.h"
#include "tests/engine/scene/SceneGraphTestSupport.h"

using namespace scene_test;

namespace
{
class NiBillboardNodeTest : public SceneGraphTest
{
protected:
    NiRefPtr<NiBillboardNode> Billboard(std::uint16_t eMode)
    {
        NiRefPtr<NiBillboardNode> sp = new NiBillboardNode;
        sp->SetMode(eMode);
        NiRefPtr<VisitLeaf> spLeaf = new VisitLeaf;
        spLeaf->SetTranslate(NiVec3(0, 0, 3));
        sp->AttachChild(spLeaf);
        sp->Update(0.0f);
        return sp;
    }

    static void ExpectRotation(const NiMatrix3x3& kActual, const NiMatrix3x3& kExpected)
    {
        for (int r = 0; r < 3; ++r)
            ExpectNear(kActual.GetRow(r), kExpected.GetRow(r));
    }
};

TEST_F(NiBillboardNodeTest, RotateAboutUpTurnsTowardTheCameraButNotFromAbove)
{
    auto spAbove = Billboard(NiBillboardNode::ROTATE_ABOUT_UP);
    CullFrom(spAbove, PosedCamera(NiVec3(0, 10, 0)));
    ExpectRotation(spAbove->GetWorldTransform().m_kRotate, NiMatrix3x3());

    auto spSide = Billboard(NiBillboardNode::ROTATE_ABOUT_UP);
    CullFrom(spSide, PosedCamera(NiVec3(10, 0, 0)));
    // v = (10, 0, 0): cos 0, sin 1.
    ExpectRotation(spSide->GetWorldTransform().m_kRotate, NiMatrix3x3(0, 0, 1, 0, 1, 0, -1, 0, 0));
    // The children follow the turned node.
    ExpectNear(spSide->GetAt(0)->GetWorldTransform().m_kTranslate, NiVec3(3, 0, 0));
}

TEST_F(NiBillboardNodeTest, FaceModesAndUnknownModes)
{
    // Camera at (10, 0, 0) looking back along -x: direction (-1, 0, 0),
    // up (0, 1, 0), right (0, 0, -1).
    NiMatrix3x3 kLookBack(-1, 0, 0, 0, 1, 0, 0, 0, -1);
    NiRefPtr<NiCamera> spCamera = PosedCamera(NiVec3(10, 0, 0), kLookBack);
    ExpectNear(spCamera->GetWorldDirection(), NiVec3(-1, 0, 0));

    auto spRigid = Billboard(NiBillboardNode::RIGID_FACE_CAMERA);
    CullFrom(spRigid, spCamera);
    // Columns right, up, toward = (0, 0, -1), (0, 1, 0), (1, 0, 0).
    ExpectRotation(spRigid->GetWorldTransform().m_kRotate, NiMatrix3x3(0, 0, 1, 0, 1, 0, -1, 0, 0));

    auto spAlways = Billboard(NiBillboardNode::ALWAYS_FACE_CAMERA);
    CullFrom(spAlways, spCamera);
    // u.y = 1, r.y = 0: p = 1, q = 0: the same columns.
    ExpectRotation(spAlways->GetWorldTransform().m_kRotate, NiMatrix3x3(0, 0, 1, 0, 1, 0, -1, 0, 0));

    // Facing the centre from a camera looking elsewhere: toward becomes the
    // direction to the camera.
    auto spCenter = Billboard(NiBillboardNode::RIGID_FACE_CENTER);
    CullFrom(spCenter, PosedCamera(NiVec3(10, 0, 0)));
    ExpectNear(spCenter->GetWorldTransform().m_kRotate.GetColumn(2), NiVec3(1, 0, 0));

    for (std::uint16_t eMode : {5, 6, 7})
    {
        SCOPED_TRACE(eMode);
        auto sp = Billboard(eMode);
        CullFrom(sp, spCamera);
        ExpectRotation(sp->GetWorldTransform().m_kRotate, NiMatrix3x3());
    }
}

TEST_F(NiBillboardNodeTest, BoundHoldsEveryTurnAndOldFlagsGiveTheMode)
{
    auto sp = Billboard(NiBillboardNode::ROTATE_ABOUT_UP);
    sp->SetTranslate(NiVec3(1, 0, 0));
    sp->Update(0.0f);
    // Child sphere centre (1, 0, 3) radius 1: r + |c - T| = 4 about (1, 0, 0).
    ExpectNear(sp->GetWorldBound().m_kCenter, NiVec3(1, 0, 0));
    EXPECT_NEAR(sp->GetWorldBound().m_fRadius, 4.0f, 1e-5f);

    const std::uint32_t uiVersion = V(4, 1, 0, 0);
    for (auto [usFlags, uiMode] : {std::pair<std::uint16_t, std::uint16_t>{0x0100, 1}, {0x0200, 2}})
    {
        SCOPED_TRACE(usFlags);
        ASSERT_TRUE(LoadFile(uiVersion, {{"NiBillboardNode", NodeRecord(uiVersion, "b", {}, {}, usFlags)}}, {0}))
            << m_kStream.GetLastErrorMessage();
        auto* pk = NiDynamicCast<NiBillboardNode>(m_kLoaded.at(0).Get());
        ASSERT_NE(pk, nullptr);
        EXPECT_EQ(pk->GetMode(), uiMode);
    }
}

TEST_F(NiBillboardNodeTest, BSPVisitsTheCameraSideFirst)
{
    NiRefPtr<NiBSPNode> spBSP = new NiBSPNode;
    spBSP->SetModelPlane(NiPlane(NiVec3(0, 1, 0), 0.0f));
    std::vector<std::string> kLog;
    for (const char* pc : {"left", "right"})
    {
        NiRefPtr<VisitLeaf> spLeaf = new VisitLeaf;
        spLeaf->SetName(pc);
        spLeaf->m_pkLog = &kLog;
        spBSP->AttachChild(spLeaf);
    }
    spBSP->SetTranslate(NiVec3(0, 2, 0));
    spBSP->Update(0.0f);
    EXPECT_EQ(spBSP->GetWorldPlane().m_fConstant, 2.0f);

    CullFrom(spBSP, PosedCamera(NiVec3(0, 0, 0)));
    EXPECT_EQ(kLog, (std::vector<std::string>{"right", "left"})) << "camera below the plane";
    kLog.clear();
    CullFrom(spBSP, PosedCamera(NiVec3(0, 5, 0)));
    EXPECT_EQ(kLog, (std::vector<std::string>{"left", "right"}));
    EXPECT_EQ(NiBSPNode::WhichSide(spBSP->GetWorldPlane(), NiVec3(0, 2, 0)), 0);

    // Folding a translation moves the model plane with the geometry.
    spBSP->ApplyTransform(NiMatrix3x3(), NiVec3(0, 3, 0), false);
    EXPECT_EQ(spBSP->GetModelPlane().m_fConstant, 3.0f);
}

TEST_F(NiBillboardNodeTest, SortAdjustModesSwapTheRenderersSorter)
{
    NiRefPtr<RecordingRenderer> spRenderer = new RecordingRenderer;
    NiRefPtr<TestAccumulator> spCurrent = new TestAccumulator;
    spRenderer->SetAccumulator(spCurrent);
    NiRefPtr<NiCamera> spCamera = PosedCamera(NiVec3(-10, 0, 0));
    spCamera->SetRenderer(spRenderer);

    NiRefPtr<NiSortAdjustNode> spNode = new NiSortAdjustNode;
    NiRefPtr<VisitLeaf> spLeaf = new VisitLeaf;
    spNode->AttachChild(spLeaf);
    spNode->Update(0.0f);
    NiRefPtr<TestAccumulator> spOwn = new TestAccumulator;
    spNode->SetAccumulator(spOwn);

    struct Case
    {
        std::uint32_t m_eMode;
        bool m_bRefuse;
        NiAccumulator* m_pkSeen;
    };
    const Case aCases[] = {
        {NiSortAdjustNode::SORTING_INHERIT, false, spCurrent},
        {NiSortAdjustNode::SORTING_OFF, false, nullptr},
        {NiSortAdjustNode::SORTING_SUBSORT, false, spOwn},
        {NiSortAdjustNode::SORTING_SUBSORT, true, nullptr},
    };
    for (const Case& kCase : aCases)
    {
        SCOPED_TRACE(kCase.m_eMode);
        spNode->SetSortingMode(kCase.m_eMode);
        spOwn->m_bRefuse = kCase.m_bRefuse;
        spLeaf->m_pkSorterSeen = reinterpret_cast<NiAccumulator*>(1);
        CullFrom(spNode, spCamera);
        EXPECT_EQ(spLeaf->m_pkSorterSeen, kCase.m_pkSeen);
        EXPECT_EQ(spRenderer->GetAccumulator(), spCurrent.Get()) << "restored after the visit";
    }
    EXPECT_EQ(spOwn->m_uiStarts, 1u);
    EXPECT_EQ(spOwn->m_uiFinishes, 1u);

    // A camera without a renderer changes no sorter.
    spCamera->SetRenderer(nullptr);
    spNode->SetSortingMode(NiSortAdjustNode::SORTING_OFF);
    CullFrom(spNode, spCamera);
    EXPECT_EQ(spRenderer->GetAccumulator(), spCurrent.Get());

    // A clone gets a clone of the accumulator.
    NiRefPtr<NiSortAdjustNode> spClone = static_cast<NiSortAdjustNode*>(spNode->Clone());
    ASSERT_NE(spClone->GetAccumulator(), nullptr);
    EXPECT_NE(spClone->GetAccumulator(), spOwn.Get());
    EXPECT_EQ(spClone->GetSortingMode(), NiSortAdjustNode::SORTING_OFF);

    // A record whose accumulator link names a node fails the load.
    const std::uint32_t uiVersion = NiObjectStream::CURRENT_VERSION;
    EXPECT_FALSE(LoadFile(uiVersion,
                          {{"NiSortAdjustNode", NodeRecord(uiVersion, "sort", {}).U32(2).U32(1)},
                           {"NiNode", NodeRecord(uiVersion, "n", {})}},
                          {0}));
    EXPECT_EQ(m_kStream.GetLastError(), NiObjectStream::ERROR_CORRUPT);
}
} // namespace
