#include "engine/animation/NiTransformController.h"

#include "engine/animation/NiBlendAccumTransformInterpolator.h"
#include "engine/animation/NiBlendBoolInterpolator.h"
#include "engine/animation/NiBlendFloatInterpolator.h"
#include "engine/animation/NiBlendPoint3Interpolator.h"
#include "engine/animation/NiBoolInterpolator.h"
#include "engine/animation/NiExtraDataController.h"
#include "engine/animation/NiFloatController.h"
#include "engine/animation/NiFloatData.h"
#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiMultiTargetTransformController.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/core/NiCloneContext.h"
#include "engine/scene/NiFloatExtraData.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using animtest::Bytes;
using animtest::MakeSkeleton;
using animtest::MoveX;
using animtest::ProbeInterpolator;
using animtest::V;

namespace
{
constexpr std::uint32_t NONE = 0xFFFFFFFF;

class NiTransformControllerTest : public animtest::ModelTest
{
};

// The time-controller record: next, flags, frequency, phase, range, target.
Bytes TimeControllerBody(std::uint16_t usFlags, std::uint32_t uiTarget, float fLo = 0, float fHi = 1)
{
    Bytes b;
    b.U32(NONE).U16(usFlags).F32(1).F32(0).F32(fLo).F32(fHi).U32(uiTarget);
    return b;
}

// An object record the stream can load as a controller target: NiNode's
// part at 10.1.0.x (name, extra data, controller, flags, transform,
// properties, collision, children, effects).
Bytes NodeBody(const char* pcName, std::uint32_t uiController)
{
    Bytes b;
    std::string kName = pcName;
    b.U32(static_cast<std::uint32_t>(kName.size()));
    for (char c : kName)
        b.U8(static_cast<std::uint8_t>(c));
    b.U32(0).U32(uiController);
    b.U16(0x0E).Floats({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1});
    b.U32(0).U32(NONE).U32(0).U32(0);
    return b;
}

// A fixed-value float controller over a named float extra data.
class TestExtraDataController : public NiExtraDataController
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestExtraDataController)

public:
    void Update(float) override {}
    [[nodiscard]] NiInterpolator* CreatePoseInterpolator(std::uint16_t) override { return new NiFloatInterpolator(1); }
    void SynchronizePoseInterpolator(NiInterpolator*, std::uint16_t) override {}
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t, bool b, bool, float f,
                                                               std::uint8_t uc) const override
    {
        return new NiBlendFloatInterpolator(b, f, uc);
    }
    [[nodiscard]] bool InterpolatorIsCorrectType(NiInterpolator* pk, std::uint16_t) const override
    {
        return pk != nullptr && pk->IsFloatValueSupported();
    }
};
NiImplementTypeInfo(TestExtraDataController, NiExtraDataController)
NiImplementCreateClone(TestExtraDataController)
void TestExtraDataController::CopyMembers(TestExtraDataController* pkDest, NiCloneContext& kCloning)
{
    NiExtraDataController::CopyMembers(pkDest, kCloning);
}

// Typed bases with a target value the test sets.
class TestFloatController : public NiFloatInterpController
{
    NiDeclareTypeInfo()

public:
    float m_fTarget = 2.5f;
    void Update(float) override {}
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET*) const override { return true; }
    void GetTargetFloatValue(float& f) override { f = m_fTarget; }
};
NiImplementTypeInfo(TestFloatController, NiFloatInterpController)

class TestPoint3Controller : public NiPoint3InterpController
{
    NiDeclareTypeInfo()

public:
    void Update(float) override {}
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET*) const override { return true; }
    void GetTargetPoint3Value(NiVec3& k) override { k = NiVec3(1, 2, 3); }
};
NiImplementTypeInfo(TestPoint3Controller, NiPoint3InterpController)

class TestBoolController : public NiBoolInterpController
{
    NiDeclareTypeInfo()

public:
    void Update(float) override {}
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET*) const override { return true; }
    void GetTargetBoolValue(bool& b) override { b = true; }
};
NiImplementTypeInfo(TestBoolController, NiBoolInterpController)

class TestFloatDataController : public NiFloatController
{
    NiDeclareTypeInfo()
    NiDeclareClone(TestFloatDataController)

public:
    static NiObject* CreateObject() { return new TestFloatDataController; }
    void Update(float) override {}
};
NiImplementTypeInfo(TestFloatDataController, NiFloatController)
NiImplementCreateClone(TestFloatDataController)
void TestFloatDataController::CopyMembers(TestFloatDataController* pkDest, NiCloneContext& kCloning)
{
    NiFloatController::CopyMembers(pkDest, kCloning);
}
} // namespace

// ---- The single-interpolator frame ----

TEST_F(NiTransformControllerTest, TimeRangeComesFromTheInterpolatorOrIsEmpty)
{
    NiRefPtr<NiTransformController> sp = new NiTransformController;
    sp->SetBeginKeyTime(3);
    sp->SetEndKeyTime(9);
    sp->ResetTimeExtrema();
    EXPECT_EQ(sp->GetBeginKeyTime(), 0.0f);
    EXPECT_EQ(sp->GetEndKeyTime(), 0.0f);
    sp->SetInterpolator(MoveX(0, 10, 0.5f, 2.0f));
    sp->ResetTimeExtrema();
    EXPECT_EQ(sp->GetBeginKeyTime(), 0.5f);
    EXPECT_EQ(sp->GetEndKeyTime(), 2.0f);

    // One interpolator, found under any ID.
    EXPECT_EQ(sp->GetInterpolatorCount(), 1);
    EXPECT_EQ(sp->GetInterpolatorIndex("anything"), 0);
    EXPECT_EQ(sp->GetInterpolatorIndex(nullptr), 0);
    EXPECT_EQ(sp->GetInterpolatorID(0), nullptr);
    EXPECT_EQ(sp->GetCtlrID(), nullptr);
}

TEST_F(NiTransformControllerTest, ManagerControlledAsksAtInvalidTimeEveryFrame)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<NiTransformController> sp = new NiTransformController;
    NiRefPtr<ProbeInterpolator> spProbe = new ProbeInterpolator;
    spProbe->m_kTransform.m_kTranslate = NiVec3(1, 2, 3);
    sp->SetInterpolator(spProbe);
    sp->SetTarget(spNode);
    sp->SetManagerControlled(true);
    sp->Update(0.5f);
    sp->Update(0.5f); // the same time again still runs
    ASSERT_EQ(spProbe->m_kTimes.size(), 2u);
    EXPECT_EQ(spProbe->m_kTimes[0], -FLT_MAX);
    EXPECT_EQ(spProbe->m_kTimes[1], -FLT_MAX);
    EXPECT_EQ(spNode->GetTranslate(), NiVec3(1, 2, 3));
}

TEST_F(NiTransformControllerTest, UnmanagedSkipsAnUnchangedTimeUnlessTheInterpolatorAlwaysUpdates)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<NiTransformController> sp = new NiTransformController;
    sp->SetCycleType(NiTimeController::CLAMP);
    sp->SetBeginKeyTime(0);
    sp->SetEndKeyTime(10);
    NiRefPtr<ProbeInterpolator> spProbe = new ProbeInterpolator;
    sp->SetInterpolator(spProbe);
    sp->SetTarget(spNode);
    sp->Update(0.25f);
    sp->Update(0.25f);
    ASSERT_EQ(spProbe->m_kTimes.size(), 1u);
    EXPECT_EQ(spProbe->m_kTimes[0], 0.25f);
    spProbe->m_bAlways = true;
    sp->Update(0.25f);
    EXPECT_EQ(spProbe->m_kTimes.size(), 2u);
    // Inactive: skipped, but an always-updating interpolator still runs.
    sp->SetActive(false);
    spProbe->m_bAlways = false;
    sp->Update(0.5f);
    EXPECT_EQ(spProbe->m_kTimes.size(), 2u);
}

TEST_F(NiTransformControllerTest, WritesOnlyValidPartsAndScaleAsItsMagnitude)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    spNode->SetTranslate(NiVec3(5, 5, 5));
    spNode->SetScale(2.0f);
    NiMatrix3x3 kTurned;
    NiQuat(0.0f, 0.0f, 0.0f, 1.0f).ToRotation(kTurned);
    spNode->SetRotate(kTurned);

    NiRefPtr<NiTransformController> sp = new NiTransformController;
    NiRefPtr<ProbeInterpolator> spProbe = new ProbeInterpolator;
    sp->SetInterpolator(spProbe);
    sp->SetTarget(spNode);
    sp->SetManagerControlled(true);

    spProbe->m_kTransform = NiQuatTransform();
    spProbe->m_kTransform.m_kTranslate = NiVec3(1, 0, 0);
    sp->Update(0);
    EXPECT_EQ(spNode->GetTranslate(), NiVec3(1, 0, 0));
    EXPECT_EQ(spNode->GetScale(), 2.0f);
    EXPECT_EQ(spNode->GetRotate(), kTurned);

    spProbe->m_kTransform = NiQuatTransform();
    spProbe->m_kTransform.m_fScale = -3.0f;
    spProbe->m_kTransform.m_kRotate = NiQuat::IDENTITY;
    sp->Update(0);
    EXPECT_EQ(spNode->GetScale(), 3.0f);
    EXPECT_EQ(spNode->GetRotate(), NiMatrix3x3::IDENTITY);
    EXPECT_EQ(spNode->GetTranslate(), NiVec3(1, 0, 0));
}

TEST_F(NiTransformControllerTest, PoseBlendAndSynchronise)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    spNode->SetTranslate(NiVec3(1, 2, 3));
    spNode->SetScale(0.5f);
    NiRefPtr<NiTransformController> sp = new NiTransformController;
    sp->SetTarget(spNode);
    EXPECT_TRUE(sp->IsTransformController());
    EXPECT_TRUE(sp->IsTargetClassValid(spNode));

    NiInterpolatorPtr spPose = sp->CreatePoseInterpolator(0);
    auto* pkPose = NiDynamicCast<NiTransformInterpolator>(spPose.Get());
    ASSERT_NE(pkPose, nullptr);
    EXPECT_EQ(pkPose->GetPoseValue().m_kTranslate, NiVec3(1, 2, 3));
    EXPECT_EQ(pkPose->GetPoseValue().m_fScale, 0.5f);

    NiBlendInterpolatorPtr spBlend = sp->CreateBlendInterpolator(0, true, false, 0.25f, 3);
    EXPECT_TRUE(NiIsExactKindOf(NiBlendTransformInterpolator::TypeInfo(), spBlend.Get()));
    EXPECT_TRUE(spBlend->GetManagerControlled());
    EXPECT_EQ(spBlend->GetWeightThreshold(), 0.25f);
    EXPECT_EQ(spBlend->GetArraySize(), 3);
    NiBlendInterpolatorPtr spAccum = sp->CreateBlendInterpolator(0, false, true, 0, 2);
    EXPECT_TRUE(NiIsExactKindOf(NiBlendAccumTransformInterpolator::TypeInfo(), spAccum.Get()));

    NiTransformInterpolatorPtr spKeyed = MoveX(0, 10);
    sp->SynchronizePoseInterpolator(spKeyed, 0);
    EXPECT_EQ(spKeyed->GetTransformData(), nullptr);
    EXPECT_EQ(spKeyed->GetPoseValue().m_kTranslate, NiVec3(1, 2, 3));
    NiRefPtr<NiFloatInterpolator> spFloat = new NiFloatInterpolator(4.0f);
    sp->SynchronizePoseInterpolator(spFloat, 0); // another class: untouched
    EXPECT_EQ(spFloat->GetPoseValue(), 4.0f);
}

TEST_F(NiTransformControllerTest, TypedBasesMakeTheirKindAndSynchroniseOnlyTheirClass)
{
    NiRefPtr<TestFloatController> spFloat = new TestFloatController;
    NiInterpolatorPtr sp = spFloat->CreatePoseInterpolator(0);
    ASSERT_TRUE(NiIsKindOf<NiFloatInterpolator>(sp.Get()));
    EXPECT_EQ(static_cast<NiFloatInterpolator*>(sp.Get())->GetPoseValue(), 2.5f);
    NiBlendInterpolatorPtr spBlend = spFloat->CreateBlendInterpolator(0, true, true, 0.5f, 4);
    EXPECT_TRUE(NiIsExactKindOf(NiBlendFloatInterpolator::TypeInfo(), spBlend.Get()));
    EXPECT_EQ(spBlend->GetArraySize(), 4);
    EXPECT_TRUE(spFloat->InterpolatorIsCorrectType(sp, 0));
    EXPECT_FALSE(spFloat->InterpolatorIsCorrectType(MoveX(0, 1), 0));

    // A keyed float interpolator takes the target's value and drops its keys;
    // a point interpolator is left alone.
    NiRefPtr<NiFloatInterpolator> spKeyed = new NiFloatInterpolator(new NiFloatData);
    spFloat->m_fTarget = 7.0f;
    spFloat->SynchronizePoseInterpolator(spKeyed, 0);
    EXPECT_EQ(spKeyed->GetPoseValue(), 7.0f);
    EXPECT_EQ(spKeyed->GetData(), nullptr);
    NiRefPtr<NiPoint3Interpolator> spPoint = new NiPoint3Interpolator(NiVec3(9, 9, 9));
    spFloat->SynchronizePoseInterpolator(spPoint, 0);
    EXPECT_EQ(spPoint->GetPoseValue(), NiVec3(9, 9, 9));

    NiRefPtr<TestPoint3Controller> spPoint3 = new TestPoint3Controller;
    sp = spPoint3->CreatePoseInterpolator(0);
    ASSERT_TRUE(NiIsKindOf<NiPoint3Interpolator>(sp.Get()));
    EXPECT_EQ(static_cast<NiPoint3Interpolator*>(sp.Get())->GetPoseValue(), NiVec3(1, 2, 3));
    spBlend = spPoint3->CreateBlendInterpolator(0, false, false, 0, 2);
    EXPECT_TRUE(NiIsExactKindOf(NiBlendPoint3Interpolator::TypeInfo(), spBlend.Get()));

    NiRefPtr<TestBoolController> spBool = new TestBoolController;
    sp = spBool->CreatePoseInterpolator(0);
    ASSERT_TRUE(NiIsKindOf<NiBoolInterpolator>(sp.Get()));
    EXPECT_EQ(static_cast<NiBoolInterpolator*>(sp.Get())->GetPoseValue(), 1);
    spBlend = spBool->CreateBlendInterpolator(0, false, false, 0, 2);
    EXPECT_TRUE(NiIsExactKindOf(NiBlendBoolInterpolator::TypeInfo(), spBlend.Get()));
}

TEST_F(NiTransformControllerTest, ExtraDataControllerNeedsExtraDataOfExactlyItsName)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<NiFloatExtraData> spData = new NiFloatExtraData(1.0f);
    spData->SetName("Glow");
    spNode->AddExtraData(spData);

    NiRefPtr<TestExtraDataController> sp = new TestExtraDataController;
    EXPECT_FALSE(sp->IsTargetClassValid(spNode)); // no name
    sp->SetExtraDataName("glow");
    EXPECT_FALSE(sp->IsTargetClassValid(spNode));
    sp->SetTarget(spNode);
    EXPECT_EQ(sp->GetExtraData(), nullptr);
    sp->SetExtraDataName("Glow");
    EXPECT_TRUE(sp->IsTargetClassValid(spNode));
    EXPECT_STREQ(sp->GetCtlrID(), "Glow");
    sp->SetTarget(nullptr);
    sp->SetTarget(spNode);
    EXPECT_EQ(sp->GetExtraData(), spData.Get());

    // Record: the name after the single-interpolator part; the cached data
    // is found again after loading.
    spNode->SetName("holder");
    auto kFile = animtest::Save(spNode);
    ASSERT_FALSE(kFile.empty());
    NiObjectStream::RegisterCreateFunction("TestExtraDataController", [] {
        return static_cast<NiObject*>(new TestExtraDataController);
    });
    NiObjectPtr spLoaded = animtest::Load(kFile);
    NiObjectStream::UnregisterCreateFunction("TestExtraDataController");
    auto* pkNode = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkNode, nullptr);
    auto* pkController = NiDynamicCast<TestExtraDataController>(pkNode->GetControllers());
    ASSERT_NE(pkController, nullptr);
    EXPECT_STREQ(pkController->GetExtraDataName(), "Glow");
    EXPECT_EQ(pkController->GetExtraData(), pkNode->GetExtraData("Glow"));
    EXPECT_TRUE(pkController->IsEqual(sp));
    EXPECT_EQ(animtest::Save(pkNode), kFile);
}

TEST_F(NiTransformControllerTest, OldFloatControllerKeepsItsDataLink)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    NiRefPtr<TestFloatDataController> sp = new TestFloatDataController;
    std::uint32_t uiCount = 9, uiType = 9;
    std::uint8_t ucStride = 9;
    EXPECT_EQ(sp->GetKeys(uiCount, uiType, ucStride), nullptr);
    EXPECT_EQ(uiCount, 0u);
    EXPECT_EQ(uiType, 0u);
    EXPECT_EQ(ucStride, 0);
    NiFloatDataPtr spData = new NiFloatData;
    sp->SetFloatData(spData);
    sp->SetTarget(spNode);

    NiObjectStream::RegisterCreateFunction("TestFloatDataController", &TestFloatDataController::CreateObject);
    auto kFile = animtest::Save(spNode);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    NiObjectStream::UnregisterCreateFunction("TestFloatDataController");
    auto* pkNode = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkNode, nullptr);
    auto* pkController = NiDynamicCast<TestFloatDataController>(pkNode->GetControllers());
    ASSERT_NE(pkController, nullptr);
    ASSERT_NE(pkController->GetFloatData(), nullptr);
    EXPECT_TRUE(pkController->IsEqual(sp));

    NiRefPtr<NiNode> spNodeCopy = static_cast<NiNode*>(spNode->Clone());
    auto* spCopy = NiDynamicCast<TestFloatDataController>(spNodeCopy->GetControllers());
    ASSERT_NE(spCopy, nullptr);
    ASSERT_NE(spCopy->GetFloatData(), nullptr);
    EXPECT_NE(spCopy->GetFloatData(), spData.Get());
    EXPECT_TRUE(spCopy->IsEqual(sp));
}

// ---- Records ----

TEST_F(NiTransformControllerTest, RecordIsThirtyBytesAndRoundTrips)
{
    NiRefPtr<NiNode> spNode = new NiNode;
    spNode->SetName("n");
    NiRefPtr<NiTransformController> sp = new NiTransformController;
    sp->SetInterpolator(MoveX(0, 10));
    sp->SetTarget(spNode);
    sp->SetManagerControlled(true);

    // Alone in a file: next, flags, frequency, phase, range, target and the
    // interpolator link; what loads writes back the same bytes.
    Bytes kRecord = TimeControllerBody(0x2C, NONE, 0.5f, 2.0f).U32(NONE);
    ASSERT_EQ(kRecord.Size(), 30u);
    animtest::File kHand;
    kHand.Add("NiTransformController", kRecord);
    kHand.Top(0);
    auto kHandFile = kHand.Build();
    NiObjectPtr spHand = animtest::Load(kHandFile);
    ASSERT_NE(spHand, nullptr);
    EXPECT_TRUE(static_cast<NiTransformController*>(spHand.Get())->GetManagerControlled());
    EXPECT_EQ(animtest::Save(spHand), kHandFile);

    auto kFile = animtest::Save(spNode);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pkNode = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkNode, nullptr);
    auto* pkController = NiDynamicCast<NiTransformController>(pkNode->GetControllers());
    ASSERT_NE(pkController, nullptr);
    EXPECT_TRUE(pkController->GetManagerControlled());
    EXPECT_EQ(pkController->GetTarget(), pkNode);
    EXPECT_TRUE(pkController->IsEqual(sp));
    EXPECT_EQ(animtest::Save(pkNode), kFile);
}

TEST_F(NiTransformControllerTest, ManagerByteOnlyInItsVersions)
{
    for (std::uint32_t uiVersion : {V(10, 1, 0, 105), V(10, 1, 0, 108), V(10, 1, 0, 109)})
    {
        SCOPED_TRACE(uiVersion);
        animtest::File kFile(uiVersion);
        Bytes kController = TimeControllerBody(0x0C, 1);
        if (uiVersion <= V(10, 1, 0, 108))
            kController.U8(1);
        kController.U32(NONE);
        kFile.Add("NiTransformController", kController);
        kFile.Add("NiNode", NodeBody("n", 0));
        kFile.Top(1);
        NiObjectPtr spLoaded = animtest::Load(kFile.Build());
        auto* pkNode = NiDynamicCast<NiNode>(spLoaded.Get());
        ASSERT_NE(pkNode, nullptr);
        auto* pkController = NiDynamicCast<NiTransformController>(pkNode->GetControllers());
        ASSERT_NE(pkController, nullptr);
        EXPECT_EQ(pkController->GetManagerControlled(), uiVersion <= V(10, 1, 0, 108));
    }
}

TEST_F(NiTransformControllerTest, OldKeyframeControllerWrapsItsDataInACollapsedInterpolator)
{
    animtest::File kFile(V(10, 1, 0, 103));
    // Old name, time-controller part, then the key-data link.
    kFile.Add("NiKeyframeController", TimeControllerBody(0x08, 2).U32(1));
    // Transform data: no rotation keys, two linear position keys, one
    // scale key (constant: collapsed into the pose).
    Bytes kData;
    kData.U32(0);
    kData.U32(2).U32(NI_LINKEY).F32(0).Floats({0, 0, 0}).F32(1).Floats({10, 0, 0});
    kData.U32(1).U32(NI_LINKEY).F32(0).F32(2.0f);
    kFile.Add("NiKeyframeData", kData);
    kFile.Add("NiNode", NodeBody("n", 0));
    kFile.Top(2);
    NiObjectPtr spLoaded = animtest::Load(kFile.Build());
    auto* pkNode = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkNode, nullptr);
    auto* pkController = NiDynamicCast<NiTransformController>(pkNode->GetControllers());
    ASSERT_NE(pkController, nullptr);
    auto* pkInterp = NiDynamicCast<NiTransformInterpolator>(pkController->GetInterpolator(0));
    ASSERT_NE(pkInterp, nullptr);
    ASSERT_NE(pkInterp->GetTransformData(), nullptr);
    EXPECT_EQ(pkInterp->GetKeyCount(NiTransformInterpolator::POSITION), 2u);
    EXPECT_EQ(pkInterp->GetKeyCount(NiTransformInterpolator::SCALE), 0u);
    EXPECT_EQ(pkInterp->GetPoseValue().m_fScale, 2.0f);

    // A link to anything but key data is refused.
    animtest::File kBad(V(10, 1, 0, 103));
    kBad.Add("NiKeyframeController", TimeControllerBody(0x08, 1).U32(1));
    kBad.Add("NiNode", NodeBody("n", 0));
    kBad.Top(1);
    EXPECT_EQ(animtest::Load(kBad.Build()), nullptr);
}

// ---- The multi-target controller ----

TEST_F(NiTransformControllerTest, MultiTargetSlotsNamesAndSelectiveUpdate)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 3);
    std::vector<NiAVObject*> kBones;
    spRoot->CollectChildren(kBones);
    ASSERT_EQ(kBones.size(), 3u);

    NiMultiTargetTransformControllerPtr sp = new NiMultiTargetTransformController(2);
    EXPECT_EQ(sp->AddTarget(kBones[0]), 0);
    EXPECT_EQ(sp->AddTarget(kBones[1]), 1);
    EXPECT_EQ(sp->AddTarget(kBones[2]), NiInterpController::INVALID_INDEX);
    NiBlendTransformInterpolator* pkFirst = sp->GetBlendInterpolator(0);
    ASSERT_TRUE(sp->GrowTargets(1));
    EXPECT_EQ(sp->GetBlendInterpolator(0), pkFirst); // blends stay where they were
    EXPECT_EQ(sp->AddTarget(kBones[2]), 2);

    EXPECT_EQ(sp->GetInterpolatorIndex("bone1"), 1);
    EXPECT_EQ(sp->GetInterpolatorIndex("Bone1"), NiInterpController::INVALID_INDEX);
    EXPECT_EQ(sp->GetInterpolatorIndex("nobody"), NiInterpController::INVALID_INDEX);
    EXPECT_EQ(sp->GetInterpolatorIndex(nullptr), NiInterpController::INVALID_INDEX);
    EXPECT_STREQ(sp->GetInterpolatorID(2), "bone2");
    EXPECT_EQ(sp->GetInterpolator(1), sp->GetBlendInterpolator(1));
    EXPECT_EQ(sp->CreateBlendInterpolator(1, false, true, 0.5f, 9), sp->GetBlendInterpolator(1));

    // Each blend gets one item; only targets with the selective-update bit
    // move, active flag or not.
    NiRefPtr<ProbeInterpolator> aspProbe[3];
    for (std::uint16_t i = 0; i < 3; ++i)
    {
        aspProbe[i] = new ProbeInterpolator;
        aspProbe[i]->m_kTransform.m_kTranslate = NiVec3(float(i + 1), 0, 0);
        ASSERT_NE(sp->GetBlendInterpolator(i)->AddInterpInfo(aspProbe[i], 1.0f), NiBlendInterpolator::INVALID_INDEX);
        kBones[i]->SetTranslate(NiVec3::ZERO);
    }
    kBones[0]->SetFlags(kBones[0]->GetFlags() | NiAVObject::SELECTIVE_UPDATE);
    kBones[1]->SetFlags(kBones[1]->GetFlags() & ~NiAVObject::SELECTIVE_UPDATE);
    kBones[2]->SetFlags(kBones[2]->GetFlags() | NiAVObject::SELECTIVE_UPDATE);
    sp->SetActive(false);
    sp->Update(0.5f);
    EXPECT_EQ(kBones[0]->GetTranslate(), NiVec3(1, 0, 0));
    EXPECT_EQ(kBones[1]->GetTranslate(), NiVec3::ZERO);
    EXPECT_EQ(kBones[2]->GetTranslate(), NiVec3(3, 0, 0));

    // No blend has a time range: both ends 0.
    sp->ResetTimeExtrema();
    EXPECT_EQ(sp->GetBeginKeyTime(), 0.0f);
    EXPECT_EQ(sp->GetEndKeyTime(), 0.0f);
}

// A model whose sequence does not run: each bone's manager-controlled blend
// holds one item with no time to ask it at. The pass leaves the bones where
// they are, asks no item and keeps the time in every blend; once the item
// has a time, the bone moves.
TEST_F(NiTransformControllerTest, MultiTargetBlendsWithoutAnItemTimeKeepTheTimeAndLeaveTheBones)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    std::vector<NiAVObject*> kBones;
    spRoot->CollectChildren(kBones);
    ASSERT_EQ(kBones.size(), 2u);
    NiMultiTargetTransformControllerPtr sp = new NiMultiTargetTransformController(2);
    NiRefPtr<ProbeInterpolator> aspProbe[2];
    std::uint8_t aucItem[2] = {};
    for (std::uint16_t i = 0; i < 2; ++i)
    {
        ASSERT_EQ(sp->AddTarget(kBones[i]), i);
        kBones[i]->SetFlags(kBones[i]->GetFlags() | NiAVObject::SELECTIVE_UPDATE);
        kBones[i]->SetTranslate(NiVec3(5, 5, 5));
        aspProbe[i] = new ProbeInterpolator;
        aspProbe[i]->m_kTransform.m_kTranslate = NiVec3(float(i + 1), 0, 0);
        NiBlendTransformInterpolator* pkBlend = sp->GetBlendInterpolator(i);
        pkBlend->SetManagerControlled(true);
        aucItem[i] = pkBlend->AddInterpInfo(aspProbe[i], 1.0f);
        ASSERT_NE(aucItem[i], NiBlendInterpolator::INVALID_INDEX);
        ASSERT_EQ(pkBlend->GetSingleTime(), NI_MIN_FLOAT);
    }
    sp->Update(1.25f);
    for (std::uint16_t i = 0; i < 2; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(kBones[i]->GetTranslate(), NiVec3(5, 5, 5));
        EXPECT_TRUE(aspProbe[i]->m_kTimes.empty());
        EXPECT_EQ(sp->GetBlendInterpolator(i)->GetLastTime(), 1.25f);
    }

    // The second bone's item gets a time: only it moves, asked at that time.
    sp->GetBlendInterpolator(1)->SetTime(0.75f, aucItem[1]);
    sp->Update(2.0f);
    EXPECT_EQ(kBones[0]->GetTranslate(), NiVec3(5, 5, 5));
    EXPECT_EQ(kBones[1]->GetTranslate(), NiVec3(2, 0, 0));
    EXPECT_TRUE(aspProbe[0]->m_kTimes.empty());
    EXPECT_EQ(aspProbe[1]->m_kTimes, std::vector<float>{0.75f});
    EXPECT_EQ(sp->GetBlendInterpolator(0)->GetLastTime(), 2.0f);
    EXPECT_EQ(sp->GetBlendInterpolator(1)->GetLastTime(), 2.0f);
}

TEST_F(NiTransformControllerTest, MultiTargetRecordRoundTripsAndRefusesHostileCounts)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    std::vector<NiAVObject*> kBones;
    spRoot->CollectChildren(kBones);
    NiMultiTargetTransformControllerPtr sp = new NiMultiTargetTransformController(3);
    sp->AddTarget(kBones[1]);
    sp->AddTarget(kBones[0]);
    sp->SetTarget(spRoot);

    auto kFile = animtest::Save(spRoot);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pkRoot = NiDynamicCast<NiNode>(spLoaded.Get());
    ASSERT_NE(pkRoot, nullptr);
    auto* pkLoaded = NiDynamicCast<NiMultiTargetTransformController>(pkRoot->GetControllers());
    ASSERT_NE(pkLoaded, nullptr);
    ASSERT_EQ(pkLoaded->GetNumInterps(), 3);
    ASSERT_NE(pkLoaded->GetTargetAt(0), nullptr);
    EXPECT_STREQ(pkLoaded->GetTargetAt(0)->GetName(), "bone1");
    EXPECT_EQ(pkLoaded->GetTargetAt(2), nullptr);
    ASSERT_NE(pkLoaded->GetBlendInterpolator(2), nullptr);
    EXPECT_TRUE(pkLoaded->IsEqual(sp));
    EXPECT_EQ(animtest::Save(pkRoot), kFile);

    // Hand-built: a count the file cannot hold, and a link to a non-object.
    auto Build = [](std::uint16_t usCount, std::uint32_t uiLink) {
        animtest::File k;
        k.Add("NiMultiTargetTransformController", TimeControllerBody(0x08, 1).U16(usCount).U32(uiLink));
        k.Add("NiNode", NodeBody("n", 0));
        k.Top(1);
        return k.Build();
    };
    EXPECT_NE(animtest::Load(Build(1, 1)), nullptr);
    EXPECT_EQ(animtest::Load(Build(0xFFFF, 1)), nullptr);
    EXPECT_EQ(animtest::Load(Build(500, 1)), nullptr);
    EXPECT_EQ(animtest::Load(Build(1, 0)), nullptr); // the controller itself
    EXPECT_EQ(animtest::Load(Build(1, 7)), nullptr);

    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kFile, n), nullptr);
    }
}

TEST_F(NiTransformControllerTest, MultiTargetCloneMapsTargetsToTheCopies)
{
    NiRefPtr<NiNode> spRoot = MakeSkeleton("root", 2);
    std::vector<NiAVObject*> kBones;
    spRoot->CollectChildren(kBones);
    NiMultiTargetTransformControllerPtr sp = new NiMultiTargetTransformController(2);
    sp->AddTarget(kBones[0]);
    sp->SetTarget(spRoot);

    NiCloneContext::ms_uiDefaultCopyMode = NiCloneContext::COPY_EXACT;
    NiRefPtr<NiNode> spCopy = static_cast<NiNode*>(spRoot->Clone());
    auto* pkCopy = NiDynamicCast<NiMultiTargetTransformController>(spCopy->GetControllers());
    ASSERT_NE(pkCopy, nullptr);
    ASSERT_NE(pkCopy, sp.Get());
    std::vector<NiAVObject*> kCopiedBones;
    spCopy->CollectChildren(kCopiedBones);
    EXPECT_EQ(pkCopy->GetTargetAt(0), kCopiedBones[0]);
    EXPECT_EQ(pkCopy->GetTargetAt(1), nullptr);
    EXPECT_NE(pkCopy->GetBlendInterpolator(0), sp->GetBlendInterpolator(0));
    EXPECT_TRUE(pkCopy->IsEqual(sp));
}
