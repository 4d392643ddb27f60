#include "engine/animation/NiPathInterpolator.h"

#include "engine/animation/NiPathController.h"
#include "engine/animation/NiQuatTransform.h"
#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimShapes.h"

#include <gtest/gtest.h>

#include <cmath>

using animtest::Bytes;
using animtest::NULL_LINK;
using animtest::V;

namespace
{
class NiPathInterpolatorTest : public animtest::ModelTest
{
};

NiPathInterpolatorPtr StraightPath(std::initializer_list<std::pair<float, float>> kPercent = {{0, 0}, {1, 1}})
{
    NiPosDataPtr spPath = new NiPosData;
    spPath->ReplaceKeys(animtest::PosKeys(NI_LINKEY, {{0, NiVec3(0, 0, 0)}, {1, NiVec3(10, 0, 0)}}), 2, NI_LINKEY);
    NiFloatDataPtr spPercent = new NiFloatData;
    spPercent->ReplaceKeys(animtest::FloatKeys(NI_LINKEY, kPercent), static_cast<std::uint32_t>(kPercent.size()),
                           NI_LINKEY);
    return new NiPathInterpolator(spPath, spPercent);
}

// A quarter circle of radius 10 in the XY plane through Bezier-free TCB
// keys: a bend with real curvature.
NiPathInterpolatorPtr BentPath()
{
    NiPosDataPtr spPath = new NiPosData;
    spPath->ReplaceKeys(animtest::PosKeys(NI_TCBKEY, {{0, NiVec3(10, 0, 0)},
                                                     {0.5f, NiVec3(7.0710678f, 7.0710678f, 0)},
                                                     {1, NiVec3(0, 10, 0)}}),
                        3, NI_TCBKEY);
    NiFloatDataPtr spPercent = new NiFloatData;
    spPercent->ReplaceKeys(animtest::FloatKeys(NI_LINKEY, {{0, 0}, {1, 1}}), 2, NI_LINKEY);
    return new NiPathInterpolator(spPath, spPercent);
}

void ExpectOrthonormal(const NiMatrix3x3& k)
{
    const NiMatrix3x3 kProduct = k.TransposeMultiply(k);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(kProduct.GetEntry(r, c), r == c ? 1.0f : 0.0f, 1e-4f);
}

NiVec3 PositionAt(NiPathInterpolator& k, float fTime)
{
    NiQuatTransform kValue;
    EXPECT_TRUE(k.UpdateTransform(fTime, nullptr, kValue));
    return kValue.m_kTranslate;
}
} // namespace

TEST_F(NiPathInterpolatorTest, ConstantVelocityWrapsPercentagesAroundTheLength)
{
    NiPathInterpolatorPtr sp = StraightPath({{0, 0}, {1, 0.25f}, {2, -0.25f}, {3, 1.0f}, {4, 1.25f}});
    sp->GetCurve().SetConstantVelocity(true);
    EXPECT_NEAR(sp->GetCurve().GetTotalLength(), 10.0f, 1e-4f);
    EXPECT_NEAR(PositionAt(*sp, 1).x, 2.5f, 1e-4f);
    EXPECT_NEAR(PositionAt(*sp, 2).x, 7.5f, 1e-4f);
    EXPECT_NEAR(PositionAt(*sp, 3).x, 10.0f, 1e-4f);
    EXPECT_NEAR(PositionAt(*sp, 4).x, 2.5f, 1e-4f);
    EXPECT_NEAR(PositionAt(*sp, 0).x, 0.0f, 1e-4f);

    // By key times: a percent equal to a key's time gives that key.
    NiPathInterpolatorPtr spTimes = StraightPath({{0, 1.0f}, {1, 0.0f}});
    EXPECT_EQ(PositionAt(*spTimes, 0).x, 10.0f);
    EXPECT_EQ(PositionAt(*spTimes, 1).x, 0.0f);
}

TEST_F(NiPathInterpolatorTest, OneEvaluationPerTimeAndNoValueWithoutData)
{
    NiPathInterpolatorPtr sp = StraightPath();
    NiQuatTransform kValue;
    ASSERT_TRUE(sp->UpdateTransform(0.5f, nullptr, kValue));
    ASSERT_TRUE(sp->UpdateTransform(0.5f, nullptr, kValue));
    EXPECT_EQ(sp->GetEvaluationCount(), 1u);
    EXPECT_FLOAT_EQ(kValue.m_kTranslate.x, 5.0f);
    EXPECT_FALSE(kValue.IsScaleValid());
    EXPECT_FALSE(kValue.IsRotateValid()) << "not following";

    NiPathInterpolatorPtr spEmpty = new NiPathInterpolator;
    NiQuatTransform kNone;
    EXPECT_FALSE(spEmpty->UpdateTransform(0.0f, nullptr, kNone));

    // A path of one key: that key, unturned, never a read past the keys.
    NiPosDataPtr spOne = new NiPosData;
    spOne->ReplaceKeys(animtest::PosKeys(NI_LINKEY, {{0, NiVec3(3, 4, 5)}}), 1, NI_LINKEY);
    NiFloatDataPtr spPercent = new NiFloatData;
    spPercent->ReplaceKeys(animtest::FloatKeys(NI_LINKEY, {{0, 0}, {1, 1}}), 2, NI_LINKEY);
    NiPathInterpolatorPtr spOneKey = new NiPathInterpolator(spOne, spPercent);
    spOneKey->GetCurve().SetBit(NiPathCurve::FOLLOW_MASK, true);
    spOneKey->GetCurve().SetConstantVelocity(true);
    NiQuatTransform kOne;
    ASSERT_TRUE(spOneKey->UpdateTransform(0.5f, nullptr, kOne));
    EXPECT_EQ(kOne.m_kTranslate, NiVec3(3, 4, 5));
    EXPECT_FLOAT_EQ(kOne.m_kRotate.w, 1.0f);
}

TEST_F(NiPathInterpolatorTest, FollowingFramesAreRotationsAlongTheTangent)
{
    NiPathInterpolatorPtr sp = StraightPath();
    sp->GetCurve().SetBit(NiPathCurve::FOLLOW_MASK, true);
    sp->GetCurve().m_usFollowAxis = 1;
    NiQuatTransform kValue;
    ASSERT_TRUE(sp->UpdateTransform(0.5f, nullptr, kValue));
    NiMatrix3x3 kRotate;
    kValue.m_kRotate.ToRotation(kRotate);
    ExpectOrthonormal(kRotate);
    // The object's Y axis lies along the path.
    EXPECT_NEAR(kRotate.GetColumn(1).x, 1.0f, 1e-5f);

    // The bend, with every frame option: always a rotation.
    for (std::uint16_t usFlags : {0x20, 0x24, 0x26, 0x2C, 0x6E, 0x3C})
    {
        SCOPED_TRACE(usFlags);
        NiPathInterpolatorPtr spBent = BentPath();
        NiPathCurve& kCurve = spBent->GetCurve();
        kCurve.SetFlags(static_cast<std::uint16_t>(usFlags | NiPathCurve::DIRTY_MASK));
        kCurve.Prepare();
        kCurve.m_fSmoothing = 0.2f;
        kCurve.m_fMaxBankAngle = 0.5f;
        for (float t : {0.0f, 0.1f, 0.45f, 0.5f, 0.55f, 0.9f, 1.0f})
        {
            const NiPathCurve::Segment kSegment = kCurve.FindSegment(t);
            const NiMatrix3x3 kFrame = kCurve.ComputeOrientation(kSegment);
            ExpectOrthonormal(kFrame);
            EXPECT_GT(kFrame.GetColumn(0).Cross(kFrame.GetColumn(1)).Dot(kFrame.GetColumn(2)), 0.99f);
        }
    }
}

TEST_F(NiPathInterpolatorTest, FullBankAtOrAboveTheMaximumCurvature)
{
    auto BankTurn = [](NiPathInterpolator& k, float fPercent) {
        NiPathCurve& kCurve = k.GetCurve();
        kCurve.SetBit(NiPathCurve::FOLLOW_MASK, true);
        const NiPathCurve::Segment kSegment = kCurve.FindSegment(fPercent);
        kCurve.SetBit(NiPathCurve::BANK_MASK, false);
        const NiMatrix3x3 kFlat = kCurve.ComputeOrientation(kSegment);
        kCurve.SetBit(NiPathCurve::BANK_MASK, true);
        const NiMatrix3x3 kBanked = kCurve.ComputeOrientation(kSegment);
        float fAngle = 0;
        float x = 0;
        float y = 0;
        float z = 0;
        kBanked.Multiply(kFlat.Transpose()).ExtractAngleAndAxis(fAngle, x, y, z);
        return fAngle;
    };
    // A straight path: curvature 0 is the maximum its keys have, so the
    // whole bank angle turns it.
    NiPathInterpolatorPtr spStraight = StraightPath();
    spStraight->GetCurve().m_fMaxBankAngle = 0.3f;
    spStraight->GetCurve().m_iBankDir = -1;
    EXPECT_NEAR(BankTurn(*spStraight, 0.25f), 0.3f, 1e-4f);
    // In a bend below the maximum curvature the turn is less.
    NiPathInterpolatorPtr spBent = BentPath();
    spBent->GetCurve().m_fMaxBankAngle = 0.3f;
    ASSERT_GT(spBent->GetCurve().GetMaxCurvature(), 0.0f);
    const float fAngle = BankTurn(*spBent, 0.25f);
    EXPECT_GT(fAngle, 0.0f);
    EXPECT_LE(fAngle, 0.3f + 1e-4f);
}

TEST_F(NiPathInterpolatorTest, SegmentSearchClampsAndSurvivesBadTimes)
{
    // Key times that do not increase: no segment matches; the result stays
    // inside the keys.
    NiPosDataPtr spPath = new NiPosData;
    spPath->ReplaceKeys(
        animtest::PosKeys(NI_LINKEY, {{0.5f, NiVec3(0, 0, 0)}, {0.5f, NiVec3(1, 0, 0)}, {0.2f, NiVec3(2, 0, 0)}}), 3,
        NI_LINKEY);
    NiFloatDataPtr spPercent = new NiFloatData;
    spPercent->ReplaceKeys(animtest::FloatKeys(NI_LINKEY, {{0, 0.4f}}), 1, NI_LINKEY);
    NiPathInterpolatorPtr sp = new NiPathInterpolator(spPath, spPercent);
    const NiPathCurve::Segment k = sp->GetCurve().FindSegmentByPercent(0.4f);
    EXPECT_LE(k.j, 2u);
    EXPECT_EQ(k.j, k.i + 1);
    NiQuatTransform kValue;
    EXPECT_TRUE(sp->UpdateTransform(0.0f, nullptr, kValue));

    // A path of zero length at constant velocity stays on the first key.
    NiPosDataPtr spDot = new NiPosData;
    spDot->ReplaceKeys(animtest::PosKeys(NI_LINKEY, {{0, NiVec3(1, 1, 1)}, {1, NiVec3(1, 1, 1)}}), 2, NI_LINKEY);
    NiPathInterpolatorPtr spZero = new NiPathInterpolator(spDot, spPercent);
    spZero->GetCurve().SetConstantVelocity(true);
    NiQuatTransform kDot;
    ASSERT_TRUE(spZero->UpdateTransform(0.0f, nullptr, kDot));
    EXPECT_EQ(kDot.m_kTranslate, NiVec3(1, 1, 1));
}

TEST_F(NiPathInterpolatorTest, RecordsRangeCopiesAndTheOldController)
{
    NiPathInterpolatorPtr sp = StraightPath();
    NiPathCurve& kCurve = sp->GetCurve();
    kCurve.SetBit(NiPathCurve::FOLLOW_MASK, true);
    kCurve.SetConstantVelocity(true);
    kCurve.m_fMaxBankAngle = 0.25f;
    kCurve.m_fSmoothing = 0.1f;
    kCurve.m_usFollowAxis = 2;
    kCurve.m_iBankDir = -1;
    animtest::ExpectRoundTrip(sp);
    NiObjectPtr spClone = sp->Clone();
    EXPECT_TRUE(spClone->IsEqual(sp));
    EXPECT_NE(static_cast<NiPathInterpolator*>(spClone.Get())->GetCurve().m_spPathData, kCurve.m_spPathData);

    float fBegin = 0;
    float fEnd = 0;
    sp->GetActiveTimeRange(fBegin, fEnd);
    EXPECT_EQ(fBegin, 0.0f);
    EXPECT_EQ(fEnd, 1.0f);
    NiInterpolatorPtr spPart = sp->GetSequenceInterpolator(0.5f, 1.0f);
    auto* pkPart = NiDynamicCast<NiPathInterpolator>(spPart.Get());
    ASSERT_NE(pkPart, nullptr);
    // Its own percent keys: those of the range only.
    EXPECT_NE(pkPart->GetCurve().m_spPercentData, kCurve.m_spPercentData);
    EXPECT_EQ(pkPart->GetKeyCount(NiPathInterpolator::PERCENTAGE), 1u);
    EXPECT_EQ(pkPart->GetKeyCount(NiPathInterpolator::PATH), 2u);

    // The old controller moves and turns its object itself; its flags come
    // from the flags word before 10.0.1.2.
    NiRefPtr<NiNode> spNode = new NiNode;
    NiPathControllerPtr spController = new NiPathController;
    spController->GetCurve().m_spPathData = kCurve.m_spPathData;
    spController->GetCurve().m_spPercentData = kCurve.m_spPercentData;
    spController->GetCurve().SetBit(NiPathCurve::FOLLOW_MASK, true);
    spController->GetCurve().Prepare();
    spController->SetTarget(spNode);
    spController->SetBeginKeyTime(0.0f);
    spController->SetEndKeyTime(1.0f);
    spController->Update(0.5f);
    EXPECT_FLOAT_EQ(spNode->GetTranslate().x, 5.0f);
    ExpectOrthonormal(spNode->GetRotate());
    spController->SetTarget(nullptr);
    animtest::ExpectRoundTrip(spController);

    animtest::File kOld(V(10, 0, 1, 1));
    kOld.Add("NiPathController", animtest::TimeControllerRecord(static_cast<std::uint16_t>(0x0C | (0x30u << 5)))
                                     .U8(0)
                                     .I32(1)
                                     .F32(0)
                                     .F32(0)
                                     .U16(0)
                                     .U32(NULL_LINK)
                                     .U32(NULL_LINK));
    kOld.Top(0);
    NiObjectPtr spOld = animtest::Load(kOld.Build());
    auto* pkOld = NiDynamicCast<NiPathController>(spOld.Get());
    ASSERT_NE(pkOld, nullptr);
    EXPECT_EQ(pkOld->GetCurve().GetFlags() & NiPathCurve::SETTINGS_MASK, 0x30);

    animtest::File kWrong;
    kWrong.Add("NiPathInterpolator", Bytes().U16(0).I32(1).F32(0).F32(0).U16(0).U32(1).U32(NULL_LINK));
    kWrong.Add("NiFloatData", Bytes().U32(0));
    kWrong.Top(0);
    EXPECT_EQ(animtest::Load(kWrong.Build()), nullptr) << "path keys must be point data";
}
