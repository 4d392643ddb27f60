#include "engine/animation/NiLookAtInterpolator.h"

#include "engine/animation/NiFloatInterpolator.h"
#include "engine/animation/NiLookAtController.h"
#include "engine/animation/NiPoint3Interpolator.h"
#include "engine/scene/NiDefaultAVObjectPalette.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimShapes.h"

#include <gtest/gtest.h>

#include <cmath>

using animtest::Bytes;
using animtest::NULL_LINK;
using animtest::V;

namespace
{
class NiLookAtInterpolatorTest : public animtest::ModelTest
{
};

// The object at the origin, the one it looks at at kAt; both under a root
// whose world transform is up to date.
struct Scene
{
    NiRefPtr<NiNode> m_spRoot = new NiNode;
    NiRefPtr<NiNode> m_spObject = new NiNode;
    NiRefPtr<NiNode> m_spTarget = new NiNode;

    explicit Scene(const NiVec3& kAt)
    {
        m_spObject->SetName("object");
        m_spTarget->SetName("target");
        m_spTarget->SetTranslate(kAt);
        m_spRoot->AttachChild(m_spObject);
        m_spRoot->AttachChild(m_spTarget);
        m_spRoot->Update(0.0f);
    }
};

NiMatrix3x3 RotationOf(const NiQuatTransform& k)
{
    NiMatrix3x3 kM;
    k.m_kRotate.ToRotation(kM);
    return kM;
}

void ExpectColumns(const NiMatrix3x3& k, const NiVec3& k0, const NiVec3& k1, const NiVec3& k2)
{
    const NiVec3 akWant[3] = {k0, k1, k2};
    for (int c = 0; c < 3; ++c)
    {
        const NiVec3 kCol = k.GetColumn(c);
        EXPECT_NEAR(kCol.x, akWant[c].x, 1e-5f) << "column " << c;
        EXPECT_NEAR(kCol.y, akWant[c].y, 1e-5f) << "column " << c;
        EXPECT_NEAR(kCol.z, akWant[c].z, 1e-5f) << "column " << c;
    }
}

void ExpectProperRotation(const NiMatrix3x3& k)
{
    const NiMatrix3x3 kProduct = k.TransposeMultiply(k);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(kProduct.GetEntry(r, c), r == c ? 1.0f : 0.0f, 1e-5f);
    EXPECT_NEAR(k.GetColumn(0).Cross(k.GetColumn(1)).Dot(k.GetColumn(2)), 1.0f, 1e-5f);
}
} // namespace

TEST_F(NiLookAtInterpolatorTest, AxisXLooksAlongOrAwayByTheFlip)
{
    Scene k(NiVec3(10, 0, 0));
    NiLookAtInterpolatorPtr spFlip = new NiLookAtInterpolator(k.m_spTarget, NiLookAtInterpolator::X, true);
    NiQuatTransform kValue;
    ASSERT_TRUE(spFlip->UpdateTransform(0.0f, k.m_spObject, kValue));
    ExpectColumns(RotationOf(kValue), {1, 0, 0}, {0, 0, 1}, {0, -1, 0});
    EXPECT_FALSE(kValue.IsTranslateValid());

    NiLookAtInterpolatorPtr spPlain = new NiLookAtInterpolator(k.m_spTarget, NiLookAtInterpolator::X, false);
    ASSERT_TRUE(spPlain->UpdateTransform(0.0f, k.m_spObject, kValue));
    ExpectColumns(RotationOf(kValue), {-1, 0, 0}, {0, 0, 1}, {0, 1, 0});

    // Axis 3 has no meaning of its own: it looks as X does.
    spPlain->SetFlags(static_cast<std::uint16_t>(3u << NiLookAtInterpolator::AXIS_POS));
    ASSERT_TRUE(spPlain->UpdateTransform(1.0f, k.m_spObject, kValue));
    ExpectColumns(RotationOf(kValue), {-1, 0, 0}, {0, 0, 1}, {0, 1, 0});
}

TEST_F(NiLookAtInterpolatorTest, StraightUpDownNearAndRolled)
{
    for (float z : {10.0f, -10.0f})
    {
        Scene k(NiVec3(0, 0, z));
        for (auto eAxis : {NiLookAtInterpolator::X, NiLookAtInterpolator::Y, NiLookAtInterpolator::Z})
        {
            NiLookAtInterpolatorPtr sp = new NiLookAtInterpolator(k.m_spTarget, eAxis, false);
            NiQuatTransform kValue;
            ASSERT_TRUE(sp->UpdateTransform(0.0f, k.m_spObject, kValue));
            ExpectProperRotation(RotationOf(kValue));
        }
    }
    Scene kNear(NiVec3(0.01f, 0.01f, 0));
    NiLookAtInterpolatorPtr spNear = new NiLookAtInterpolator(kNear.m_spTarget, NiLookAtInterpolator::Y, true);
    NiQuatTransform kValue;
    ASSERT_TRUE(spNear->UpdateTransform(0.0f, kNear.m_spObject, kValue));
    ExpectColumns(RotationOf(kValue), {1, 0, 0}, {0, 1, 0}, {0, 0, 1});

    // A roll of pi/2 turns the result a quarter about its own Z.
    Scene k(NiVec3(10, 0, 0));
    NiLookAtInterpolatorPtr sp = new NiLookAtInterpolator(k.m_spTarget, NiLookAtInterpolator::X, true);
    sp->SetSub(NiLookAtInterpolator::ROLL, new NiFloatInterpolator(NI_HALF_PI));
    ASSERT_TRUE(sp->UpdateTransform(0.0f, k.m_spObject, kValue));
    NiMatrix3x3 kTurn;
    kTurn.MakeZRotation(-NI_HALF_PI);
    NiMatrix3x3 kFlip;
    kFlip.SetColumns(NiVec3(1, 0, 0), NiVec3(0, 0, 1), NiVec3(0, -1, 0));
    const NiMatrix3x3 kWant = kFlip * kTurn;
    ExpectColumns(RotationOf(kValue), kWant.GetColumn(0), kWant.GetColumn(1), kWant.GetColumn(2));

    // Without an object nothing is valid.
    NiLookAtInterpolatorPtr spNone = new NiLookAtInterpolator;
    NiQuatTransform kNone(NiVec3(1, 1, 1), NiQuat(), 1.0f);
    EXPECT_FALSE(spNone->UpdateTransform(0.0f, k.m_spObject, kNone));
    EXPECT_TRUE(kNone.IsTransformInvalid());
}

TEST_F(NiLookAtInterpolatorTest, SubInterpolatorsDependenciesAndSequenceCopies)
{
    Scene k(NiVec3(10, 0, 0));
    NiLookAtInterpolatorPtr sp = new NiLookAtInterpolator(k.m_spTarget, NiLookAtInterpolator::Z, true);
    sp->SetSub(NiLookAtInterpolator::TRANSLATE, new NiPoint3Interpolator(NiVec3(0, 0, 5)));
    sp->SetSub(NiLookAtInterpolator::SCALE, new NiFloatInterpolator(2.0f));
    NiQuatTransform kValue;
    ASSERT_TRUE(sp->UpdateTransform(0.0f, k.m_spObject, kValue));
    EXPECT_EQ(kValue.m_kTranslate, NiVec3(0, 0, 5));
    EXPECT_EQ(kValue.m_fScale, 2.0f);
    // Looking from (0, 0, 5) towards (10, 0, 0): Z along the direction.
    const NiVec3 kZ = RotationOf(kValue).GetColumn(2);
    EXPECT_NEAR(kZ.x, 10.0f / std::sqrt(125.0f), 1e-5f);
    EXPECT_TRUE(sp->AlwaysUpdate());

    // The sequence copy finds its object by name in the scene's palette,
    // and keeps flags and pose.
    NiInterpolatorPtr spCopy = sp->GetSequenceInterpolator(0.0f, 1.0f);
    auto* pkCopy = NiDynamicCast<NiLookAtInterpolator>(spCopy.Get());
    ASSERT_NE(pkCopy, nullptr);
    EXPECT_EQ(pkCopy->GetLookAt(), nullptr);
    EXPECT_STREQ(pkCopy->GetLookAtName(), "target");
    EXPECT_EQ(pkCopy->GetFlags(), sp->GetFlags());
    EXPECT_NE(pkCopy->GetSub(NiLookAtInterpolator::SCALE), nullptr);
    NiRefPtr<NiDefaultAVObjectPalette> spPalette = new NiDefaultAVObjectPalette(k.m_spRoot);
    EXPECT_TRUE(pkCopy->ResolveDependencies(spPalette.Get()));
    EXPECT_EQ(pkCopy->GetLookAt(), k.m_spTarget.Get());
    NiLookAtInterpolatorPtr spLost = new NiLookAtInterpolator;
    EXPECT_FALSE(spLost->ResolveDependencies(spPalette.Get()));

    // Records: everything but the pointer round trips; the name stays.
    sp->SetUpDependencies();
    animtest::ExpectRoundTrip(sp);
}

TEST_F(NiLookAtInterpolatorTest, OldControllerTurnsItsObjectAndCloneFollowsCopies)
{
    Scene k(NiVec3(10, 0, 0));
    NiLookAtControllerPtr sp = new NiLookAtController;
    sp->SetLookAt(k.m_spTarget);
    sp->SetLookAtFlags(NiLookAtInterpolator::FLIP_MASK);
    sp->SetTarget(k.m_spObject);
    sp->Update(0.0f);
    ExpectColumns(k.m_spObject->GetRotate(), {1, 0, 0}, {0, 0, 1}, {0, -1, 0});

    NiRefPtr<NiNode> spCopy = static_cast<NiNode*>(k.m_spRoot->Clone());
    auto* pkCopyObject = static_cast<NiNode*>(spCopy->GetAt(0));
    auto* pkCopy = NiDynamicCast<NiLookAtController>(pkCopyObject->GetControllers());
    ASSERT_NE(pkCopy, nullptr);
    EXPECT_EQ(pkCopy->GetLookAt(), spCopy->GetAt(1));
    pkCopy->SetTarget(nullptr);

    // Saved with its scene, and from 10.0.1.1 with flags in the flags word.
    const auto kFile = animtest::Save(k.m_spRoot);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    ASSERT_NE(spLoaded, nullptr);
    EXPECT_EQ(animtest::Save(spLoaded), kFile);
    sp->SetTarget(nullptr);

    animtest::File kOld(V(10, 0, 1, 1));
    kOld.Add("NiLookAtController",
             animtest::TimeControllerRecord(static_cast<std::uint16_t>(0x0C | (5u << 5))).U8(0).U32(NULL_LINK));
    kOld.Top(0);
    NiObjectPtr spOld = animtest::Load(kOld.Build());
    auto* pkOld = NiDynamicCast<NiLookAtController>(spOld.Get());
    ASSERT_NE(pkOld, nullptr);
    EXPECT_EQ(pkOld->GetLookAtFlags(), 5);

    animtest::File kWrong;
    kWrong.Add("NiLookAtController", animtest::TimeControllerRecord(0x0C).U16(0).U32(1));
    kWrong.Add("NiFloatData", Bytes().U32(0));
    kWrong.Top(0);
    EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr);
}

// Found by fuzzing: a look-at interpolator whose sub-interpolator is itself
// loaded and could never be freed.
const std::uint8_t SELF_SUB_LOOK_AT[114] = {
    0x46, 0x69, 0x6C, 0x65, 0x20, 0x46, 0x6F, 0x72, 0x6D, 0x61, 0x74, 0x0A, 0x00, 0x00, 0x02, 0x0A, 0x00, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x14, 0x00, 0x00, 0x00, 0x4E, 0x69, 0x4C, 0x6F, 0x6F, 0x6B, 0x41, 0x74,
    0x49, 0x6E, 0x74, 0x65, 0x72, 0x70, 0x6F, 0x6C, 0x61, 0x74, 0x6F, 0x72, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x0D,
};

TEST_F(NiLookAtInterpolatorTest, ASubChainBackToTheInterpolatorFailsTheLoad)
{
    std::vector<std::uint8_t> kFile(std::begin(SELF_SUB_LOOK_AT), std::end(SELF_SUB_LOOK_AT));
    kFile.resize(kFile.size() + 48, 0);
    EXPECT_EQ(animtest::Load(kFile), nullptr);

    // Two that name each other, and one that names another: the first fails,
    // the second loads.
    NiRefPtr<NiLookAtInterpolator> spA = new NiLookAtInterpolator;
    NiRefPtr<NiLookAtInterpolator> spB = new NiLookAtInterpolator;
    spA->SetSub(NiLookAtInterpolator::TRANSLATE, spB);
    spB->SetSub(NiLookAtInterpolator::TRANSLATE, spA);
    const std::vector<std::uint8_t> kPair = animtest::Save(spA);
    spB->SetSub(NiLookAtInterpolator::TRANSLATE, nullptr);
    ASSERT_FALSE(kPair.empty());
    EXPECT_EQ(animtest::Load(kPair), nullptr);
    EXPECT_NE(animtest::Load(animtest::Save(spA)), nullptr);
}
