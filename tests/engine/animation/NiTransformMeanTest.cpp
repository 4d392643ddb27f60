#include "engine/animation/NiTransformMean.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
NiQuat AboutZ(float fAngle)
{
    return NiQuat(std::cos(fAngle / 2), 0, 0, std::sin(fAngle / 2));
}
} // namespace

TEST(NiTransformMean, InvalidPartsLeaveTheirTotalsAndKeepTheTargetsPart)
{
    NiTransformMean kMean;
    EXPECT_FALSE(kMean.Any());

    // Translate only from the first, scale only from the second: each part is
    // the mean over the items that had it, not pulled toward zero.
    NiQuatTransform kA;
    kA.m_kTranslate = NiVec3(4, 0, 0);
    NiQuatTransform kB;
    kB.m_fScale = 3.0f;
    kMean.Add(0.25f, kA);
    kMean.Add(0.75f, kB);
    ASSERT_TRUE(kMean.Any());

    NiQuatTransform kValue(NiVec3(9, 9, 9), AboutZ(0.5f), 7.0f);
    const NiQuat kRotateBefore = kValue.m_kRotate;
    kMean.WriteTo(kValue);
    EXPECT_FLOAT_EQ(kValue.m_kTranslate.x, 4.0f);
    EXPECT_FLOAT_EQ(kValue.m_fScale, 3.0f);
    // No item had a rotation: the value's own stays.
    EXPECT_EQ(kValue.m_kRotate, kRotateBefore);
}

TEST(NiTransformMean, SkippedItemsCountAgainstTranslateAndScaleAndRotationsShareAHemisphere)
{
    NiTransformMean kMean;
    NiQuatTransform kA(NiVec3(2, 0, 0), AboutZ(0.4f), 2.0f);
    // The same rotation with the opposite sign: it must not cancel the first.
    NiQuat kNegated = AboutZ(0.4f);
    kNegated = -kNegated;
    NiQuatTransform kB(NiVec3(2, 0, 0), kNegated, 2.0f);
    kMean.Add(0.25f, kA);
    kMean.Add(0.25f, kB);
    kMean.Skip(0.5f);

    NiQuatTransform kValue;
    kMean.WriteTo(kValue);
    // (2 * 0.25 + 2 * 0.25) / (1 - 0.5)
    EXPECT_FLOAT_EQ(kValue.m_kTranslate.x, 2.0f);
    EXPECT_FLOAT_EQ(kValue.m_fScale, 2.0f);
    const NiQuat kExpected = AboutZ(0.4f);
    EXPECT_NEAR(kValue.m_kRotate.w, kExpected.w, 1e-6f);
    EXPECT_NEAR(kValue.m_kRotate.z, kExpected.z, 1e-6f);
}
