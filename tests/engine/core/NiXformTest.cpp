#include "engine/core/NiXform.h"

#include "tests/engine/core/NiMathTestStream.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
NiXform MakeXform(float fAngle, const NiVec3& kAxis, const NiVec3& kTranslate, float fScale)
{
    NiXform k;
    k.m_kRotate.MakeAxisRotation(fAngle, kAxis);
    k.m_kTranslate = kTranslate;
    k.m_fScale = fScale;
    return k;
}

void ExpectNear(const NiVec3& a, const NiVec3& b, float fTolerance)
{
    EXPECT_NEAR(a.x, b.x, fTolerance);
    EXPECT_NEAR(a.y, b.y, fTolerance);
    EXPECT_NEAR(a.z, b.z, fTolerance);
}
} // namespace

TEST(NiXform, DefaultIsIdentity)
{
    NiXform k;
    EXPECT_EQ(k.m_kRotate, NiMatrix3x3::IDENTITY);
    EXPECT_EQ(k.m_kTranslate, NiVec3::ZERO);
    EXPECT_EQ(k.m_fScale, 1.0f);
    EXPECT_EQ(k.TransformPoint(NiVec3(1, 2, 3)), NiVec3(1, 2, 3));
}

TEST(NiXform, CompositeAppliesTheRightOperandFirst)
{
    NiXform a = MakeXform(0.7f, NiVec3(0.0f, 0.6f, 0.8f), NiVec3(1, -2, 3), 2.0f);
    NiXform b = MakeXform(-1.3f, NiVec3(1, 0, 0), NiVec3(-4, 0.5f, 2), 0.5f);
    NiXform ab = a.Multiply(b);
    EXPECT_EQ(ab.m_fScale, 1.0f);
    for (NiVec3 p : {NiVec3(0, 0, 0), NiVec3(1, 2, 3), NiVec3(-5, 0.25f, 9)})
        ExpectNear(ab.TransformPoint(p), a.TransformPoint(b.TransformPoint(p)), 1e-5f);
    EXPECT_EQ(ab.m_kRotate, a.m_kRotate * b.m_kRotate);
    EXPECT_EQ(ab.m_kTranslate, a.m_kTranslate + a.m_kRotate.MultiplyVector(b.m_kTranslate) * 2.0f);
}

TEST(NiXform, CompositeWithInverseIsIdentity)
{
    NiXform a = MakeXform(2.1f, NiVec3(0.48f, 0.6f, 0.64f), NiVec3(10, -20, 5), 4.0f);
    for (const NiXform& k : {a.Multiply(a.Invert()), a.Invert().Multiply(a)})
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(k.m_kRotate.m_afEntry[r][c], r == c ? 1.0f : 0.0f, 1e-6f);
        ExpectNear(k.m_kTranslate, NiVec3::ZERO, 1e-5f);
        EXPECT_FLOAT_EQ(k.m_fScale, 1.0f);
    }
    EXPECT_FLOAT_EQ(a.Invert().m_fScale, 0.25f);
}

TEST(NiXform, ExactInequality)
{
    NiXform a, b;
    EXPECT_FALSE(a != b);
    b.m_fScale = 1.0000001f;
    EXPECT_TRUE(a != b);
    b = a;
    b.m_kTranslate.y = 1e-30f;
    EXPECT_TRUE(a != b);
    b = a;
    b.m_kRotate.m_afEntry[2][1] = -0.0f; // -0 equals 0
    EXPECT_FALSE(a != b);
}

TEST(NiXform, EncodingIsRotationTranslationScale)
{
    NiXform k(NiMatrix3x3(1, 2, 3, 4, 5, 6, 7, 8, -1e-9f), NiVec3(10, 11, 12), 0.5f);
    NiMathTestStream s;
    ASSERT_TRUE(k.WriteToStream(s));
    std::vector<float> kExpect = {1, 2, 3, 4, 5, 6, 7, 8, 0, 10, 11, 12, 0.5f};
    EXPECT_EQ(s.Floats(), kExpect);
    EXPECT_EQ(k.m_kRotate.m_afEntry[2][2], 0.0f);
    NiXform kRead;
    ASSERT_TRUE(kRead.ReadFromStream(s));
    EXPECT_EQ(kRead, k);

    NiMathTestStream kShort;
    kShort.m_bytes.assign(s.m_bytes.begin(), s.m_bytes.end() - 1);
    NiXform kUnchanged;
    EXPECT_FALSE(kUnchanged.ReadFromStream(kShort));
    EXPECT_EQ(kUnchanged, NiXform());
}
