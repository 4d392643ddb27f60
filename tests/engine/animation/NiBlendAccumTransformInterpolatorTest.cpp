#include "engine/animation/NiBlendAccumTransformInterpolator.h"

#include "tests/engine/animation/AnimModelSupport.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>

using animtest::MoveX;

namespace
{
class NiBlendAccumTransformInterpolatorTest : public animtest::ModelTest
{
};

float X(NiBlendAccumTransformInterpolator& kBlend, float fTime)
{
    NiQuatTransform kValue;
    EXPECT_TRUE(kBlend.UpdateTransform(fTime, nullptr, kValue));
    EXPECT_TRUE(kValue.IsTranslateValid());
    return kValue.m_kTranslate.x;
}
} // namespace

TEST_F(NiBlendAccumTransformInterpolatorTest, OneItemStartsWhereItIsAndAddsTheCycleAtALoop)
{
    NiRefPtr<NiBlendAccumTransformInterpolator> sp = new NiBlendAccumTransformInterpolator(false, 0, 2);
    ASSERT_NE(sp->AddInterpInfo(MoveX(0, 10), 1.0f), NiBlendInterpolator::INVALID_INDEX);
    EXPECT_FLOAT_EQ(X(*sp, 0.5f), 0.0f);
    EXPECT_FLOAT_EQ(X(*sp, 0.9f), 4.0f);
    EXPECT_FLOAT_EQ(X(*sp, 0.1f), 6.0f); // looped: no jump back
    EXPECT_FLOAT_EQ(X(*sp, 0.6f), 11.0f);

    NiQuatTransform kAccum;
    ASSERT_TRUE(sp->GetAccumulatedTransform(kAccum));
    EXPECT_FLOAT_EQ(kAccum.m_kTranslate.x, 11.0f);

    // An item time that was never set gives nothing.
    NiRefPtr<NiBlendAccumTransformInterpolator> spManaged = new NiBlendAccumTransformInterpolator(true, 0, 2);
    spManaged->AddInterpInfo(MoveX(0, 10), 1.0f);
    NiQuatTransform kUntouched(NiVec3(7, 7, 7), NiQuat::IDENTITY, 1);
    EXPECT_FALSE(spManaged->UpdateTransform(0.5f, nullptr, kUntouched));
    EXPECT_EQ(kUntouched.m_kTranslate, NiVec3(7, 7, 7));
    EXPECT_FALSE(spManaged->GetAccumulatedTransform(kUntouched));
}

TEST_F(NiBlendAccumTransformInterpolatorTest, SeveralItemsBlendTheirMotion)
{
    NiRefPtr<NiBlendAccumTransformInterpolator> sp = new NiBlendAccumTransformInterpolator(false, 0, 2);
    sp->AddInterpInfo(MoveX(0, 20, 0, 10), 1.0f);
    sp->AddInterpInfo(MoveX(0, 40, 0, 10), 1.0f);
    // The first update places the root at the blended current values.
    EXPECT_FLOAT_EQ(X(*sp, 1.0f), 3.0f);
    EXPECT_FLOAT_EQ(X(*sp, 2.0f), 6.0f);
    EXPECT_FLOAT_EQ(X(*sp, 3.0f), 9.0f);
    // The same time again moves nothing.
    EXPECT_FLOAT_EQ(X(*sp, 3.0f), 9.0f);

    // No item gives a rotation: the output carries none.
    NiQuatTransform kValue;
    ASSERT_TRUE(sp->UpdateTransform(4.0f, nullptr, kValue));
    EXPECT_FALSE(kValue.IsRotateValid());
    EXPECT_FALSE(kValue.IsScaleValid());
    EXPECT_FLOAT_EQ(kValue.m_kTranslate.x, 12.0f);

    // No item: false and the output untouched.
    NiRefPtr<NiBlendAccumTransformInterpolator> spEmpty = new NiBlendAccumTransformInterpolator(false, 0, 2);
    EXPECT_FALSE(spEmpty->UpdateTransform(1.0f, nullptr, kValue));
}

TEST_F(NiBlendAccumTransformInterpolatorTest, SwitchingBetweenOneAndSeveralKeepsThePosition)
{
    NiRefPtr<NiBlendAccumTransformInterpolator> sp = new NiBlendAccumTransformInterpolator(false, 0, 2);
    std::uint8_t ucFirst = sp->AddInterpInfo(MoveX(0, 10), 1.0f);
    EXPECT_FLOAT_EQ(X(*sp, 0.2f), 0.0f);
    EXPECT_FLOAT_EQ(X(*sp, 0.7f), 5.0f);
    // A second item folds the single item's pose into the accumulation.
    std::uint8_t ucSecond = sp->AddInterpInfo(MoveX(0, 10), 1.0f);
    ASSERT_NE(ucSecond, NiBlendInterpolator::INVALID_INDEX);
    NiQuatTransform kAccum;
    ASSERT_TRUE(sp->GetAccumulatedTransform(kAccum));
    EXPECT_FLOAT_EQ(kAccum.m_kTranslate.x, 5.0f);
    // Removing back to one item keeps the accumulation and resets the
    // remaining item's record.
    sp->RemoveInterpInfo(ucFirst);
    const auto* pkRecord = sp->GetAccumItem(ucSecond);
    ASSERT_NE(pkRecord, nullptr);
    EXPECT_EQ(pkRecord->m_fLastTime, -FLT_MAX);
    EXPECT_TRUE(pkRecord->m_kLastValue.IsTransformInvalid());

    // Growing the slots keeps the existing records.
    NiBlendInterpolator::SetArrayGrowBy(3);
    sp->AddInterpInfo(MoveX(0, 1), 1.0f);
    sp->AddInterpInfo(MoveX(0, 1), 1.0f);
    EXPECT_EQ(sp->GetArraySize(), 5);
    ASSERT_NE(sp->GetAccumItem(4), nullptr);
    EXPECT_EQ(sp->GetAccumItem(4)->m_fLastTime, -FLT_MAX);
}

TEST_F(NiBlendAccumTransformInterpolatorTest, RecordRoundTripsWithItsRecordsAndAccumulation)
{
    NiRefPtr<NiBlendAccumTransformInterpolator> sp = new NiBlendAccumTransformInterpolator(false, 0, 2);
    sp->AddInterpInfo(MoveX(0, 10), 1.0f);
    sp->AddInterpInfo(MoveX(0, 20), 1.0f);
    NiQuatTransform kValue;
    ASSERT_TRUE(sp->UpdateTransform(0.5f, nullptr, kValue));
    ASSERT_TRUE(sp->UpdateTransform(0.75f, nullptr, kValue));

    auto kFile = animtest::Save(sp);
    NiObjectPtr spLoaded = animtest::Load(kFile);
    auto* pkLoaded = NiDynamicCast<NiBlendAccumTransformInterpolator>(spLoaded.Get());
    ASSERT_NE(pkLoaded, nullptr);
    EXPECT_TRUE(pkLoaded->IsEqual(sp));
    NiQuatTransform kA, kB;
    ASSERT_TRUE(pkLoaded->GetAccumulatedTransform(kA));
    ASSERT_TRUE(sp->GetAccumulatedTransform(kB));
    EXPECT_EQ(kA, kB);
    // Last times are not stored.
    EXPECT_EQ(pkLoaded->GetAccumItem(0)->m_fLastTime, -FLT_MAX);
    EXPECT_EQ(pkLoaded->GetAccumItem(0)->m_kDeltaValue, sp->GetAccumItem(0)->m_kDeltaValue);
    EXPECT_EQ(animtest::Save(pkLoaded), kFile);

    NiRefPtr<NiBlendAccumTransformInterpolator> spCopy = static_cast<NiBlendAccumTransformInterpolator*>(sp->Clone());
    EXPECT_TRUE(spCopy->IsEqual(sp));

    for (std::size_t n = 0; n < kFile.size(); ++n)
    {
        SCOPED_TRACE(n);
        EXPECT_EQ(animtest::Load(kFile, n), nullptr);
    }
}
