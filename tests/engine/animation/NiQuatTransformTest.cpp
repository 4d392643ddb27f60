#include "engine/animation/NiQuatTransform.h"

#include "engine/core/NiMemoryStream.h"
#include "tests/engine/animation/AnimTestFile.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

using animtest::Bytes;
using animtest::V;

namespace
{
NiQuat AboutZ(float fAngle)
{
    return NiQuat(std::cos(fAngle / 2), 0, 0, std::sin(fAngle / 2));
}
} // namespace

TEST(NiQuatTransform, ComposeScalesTheTranslationByBothScales)
{
    NiQuatTransform kA(NiVec3(1, 0, 0), NiQuat::IDENTITY, 2.0f);
    NiQuatTransform kB(NiVec3(1, 0, 0), NiQuat::IDENTITY, 3.0f);
    NiQuatTransform k = NiQuatTransform::Compose(kA, kB);
    EXPECT_EQ(k.m_fScale, 6.0f);
    EXPECT_EQ(k.m_kTranslate, NiVec3(7, 0, 0));
    EXPECT_EQ(k.m_kRotate, NiQuat::IDENTITY);

    // A's rotation turns B's translation.
    NiQuatTransform kTurn(NiVec3(0, 0, 0), AboutZ(NI_HALF_PI), 1.0f);
    k = NiQuatTransform::Compose(kTurn, NiQuatTransform(NiVec3(1, 0, 0), NiQuat::IDENTITY, 1.0f));
    EXPECT_NEAR(k.m_kTranslate.x, 0.0f, 1e-6f);
    EXPECT_NEAR(k.m_kTranslate.y, 1.0f, 1e-6f);

    // An invalid rotation: no rotation of the translation, rotation invalid.
    NiQuatTransform kNoRot(NiVec3(0, 0, 0), AboutZ(NI_HALF_PI), 1.0f);
    kNoRot.MakeRotateInvalid();
    k = NiQuatTransform::Compose(kNoRot, NiQuatTransform(NiVec3(1, 0, 0), AboutZ(0.3f), 1.0f));
    EXPECT_FALSE(k.IsRotateValid());
    EXPECT_EQ(k.m_kTranslate, NiVec3(1, 0, 0));

    // Invalid scale: the translation is added unscaled, the scale invalid.
    NiQuatTransform kNoScale(NiVec3(1, 0, 0), NiQuat::IDENTITY, 5.0f);
    kNoScale.MakeScaleInvalid();
    k = NiQuatTransform::Compose(kNoScale, kB);
    EXPECT_FALSE(k.IsScaleValid());
    EXPECT_EQ(k.m_kTranslate, NiVec3(2, 0, 0));
}

TEST(NiQuatTransform, ComposePartsAndInverses)
{
    NiQuatTransform kA(NiVec3(1, 2, 3), AboutZ(0.5f), 2.0f);
    NiQuatTransform kB(NiVec3(1, 1, 1), AboutZ(0.25f), 4.0f);
    NiQuatTransform k = NiQuatTransform::ComposeParts(kA, kB);
    EXPECT_EQ(k.m_kTranslate, NiVec3(2, 3, 4));
    EXPECT_EQ(k.m_fScale, 8.0f);
    EXPECT_NEAR(k.m_kRotate.z, std::sin(0.375f), 1e-6f);

    NiQuatTransform kInv = kA.Invert();
    EXPECT_EQ(kInv.m_fScale, 0.5f);
    EXPECT_EQ(kInv.m_kRotate, kA.m_kRotate.Conjugate());
    // With unit scale the inverse undoes the transform (Compose multiplies the
    // translation by both scales, so other scales would not cancel).
    NiQuatTransform kUnit(NiVec3(1, 2, 3), AboutZ(0.5f), 1.0f);
    NiQuatTransform kBack = NiQuatTransform::Compose(kUnit.Invert(), kUnit);
    EXPECT_NEAR(kBack.m_kTranslate.x, 0.0f, 1e-5f);
    EXPECT_NEAR(kBack.m_kTranslate.y, 0.0f, 1e-5f);
    EXPECT_NEAR(kBack.m_kTranslate.z, 0.0f, 1e-5f);

    NiQuatTransform kParts = kA.InvertParts();
    EXPECT_EQ(kParts.m_kTranslate, NiVec3(-1, -2, -3));
    EXPECT_EQ(kParts.m_fScale, 0.5f);

    NiQuatTransform kHalf(NiVec3(2, 0, 0), NiQuat::IDENTITY, 4.0f);
    kHalf.MakeRotateInvalid();
    kInv = kHalf.Invert();
    EXPECT_FALSE(kInv.IsRotateValid());
    EXPECT_EQ(kInv.m_kTranslate, NiVec3(-0.5f, 0, 0));
    kHalf.MakeInvalid();
    EXPECT_TRUE(kHalf.Invert().IsTransformInvalid());
    EXPECT_TRUE(kHalf.IsTransformInvalid());
    EXPECT_EQ(kHalf.m_kTranslate.y, 0.0f); // only the markers change
}

TEST(NiQuatTransform, RecordIsThirtyTwoBytesPlusValidityBytesInOldFiles)
{
    NiQuatTransform k(NiVec3(1, 2, 3), NiQuat(1, 0, 0, 0), 1.5f);
    NiMemoryStream kOut;
    ASSERT_TRUE(k.SaveBinary(kOut));
    Bytes kExpected;
    kExpected.Floats({1, 2, 3, 1, 0, 0, 0, 1.5f});
    ASSERT_EQ(kOut.GetSize(), 32u);
    EXPECT_EQ(std::memcmp(kOut.GetBuffer(), kExpected.m.data(), 32), 0);

    NiQuatTransform kRead;
    NiMemoryStream kIn(kOut.GetBuffer(), kOut.GetSize());
    ASSERT_TRUE(kRead.LoadBinary(kIn, V(10, 2, 0, 0)));
    EXPECT_EQ(kRead, k);

    Bytes kOld = kExpected;
    kOld.U8(1).U8(1).U8(0);
    NiMemoryStream kOldIn(kOld.m.data(), static_cast<std::uint32_t>(kOld.Size()));
    ASSERT_TRUE(kRead.LoadBinary(kOldIn, V(10, 1, 0, 104)));
    EXPECT_EQ(kOldIn.GetBytesLeft(), 0u);
    EXPECT_TRUE(kRead.IsTranslateValid());
    EXPECT_TRUE(kRead.IsRotateValid());
    EXPECT_FALSE(kRead.IsScaleValid());

    for (std::uint32_t n = 0; n < kOld.Size(); ++n)
    {
        SCOPED_TRACE(n);
        NiMemoryStream kCut(kOld.m.data(), n);
        NiQuatTransform kUntouched(NiVec3(9, 9, 9), NiQuat::IDENTITY, 9.0f);
        EXPECT_FALSE(kUntouched.LoadBinary(kCut, V(10, 1, 0, 104)));
        EXPECT_EQ(kUntouched.m_fScale, 9.0f);
    }
}
