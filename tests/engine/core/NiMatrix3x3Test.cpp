#include "engine/core/NiMatrix3x3.h"

#include "engine/core/NiMathConstants.h"
#include "tests/engine/core/NiMathTestStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
void ExpectNear(const NiMatrix3x3& a, const NiMatrix3x3& b, float fTolerance)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a.m_afEntry[r][c], b.m_afEntry[r][c], fTolerance) << "row " << r << " col " << c;
}

void ExpectNear(const NiVec3& a, const NiVec3& b, float fTolerance)
{
    EXPECT_NEAR(a.x, b.x, fTolerance);
    EXPECT_NEAR(a.y, b.y, fTolerance);
    EXPECT_NEAR(a.z, b.z, fTolerance);
}

NiVec3 RandomAxis(std::mt19937& kRandom)
{
    std::normal_distribution<float> kNormal;
    NiVec3 k;
    do
        k = NiVec3(kNormal(kRandom), kNormal(kRandom), kNormal(kRandom));
    while (k.SqrLength() < 1e-4f);
    k.Normalize();
    return k;
}

NiMatrix3x3 AxisRotation(float fAngle, const NiVec3& kAxis)
{
    NiMatrix3x3 m;
    m.MakeAxisRotation(fAngle, kAxis);
    return m;
}
} // namespace

TEST(NiMatrix3x3, RotationsAreTransposedColumnVectorRotations)
{
    NiMatrix3x3 m;
    m.MakeZRotation(NI_HALF_PI);
    ExpectNear(m * NiVec3::UNIT_X, NiVec3(0.0f, -1.0f, 0.0f), 1e-6f);
    m.MakeXRotation(NI_HALF_PI);
    ExpectNear(m * NiVec3::UNIT_Y, NiVec3(0.0f, 0.0f, -1.0f), 1e-6f);
    m.MakeYRotation(NI_HALF_PI);
    ExpectNear(m * NiVec3::UNIT_Z, NiVec3(-1.0f, 0.0f, 0.0f), 1e-6f);
    // Row-vector use undoes the transpose: v M rotates the usual way.
    m.MakeZRotation(NI_HALF_PI);
    ExpectNear(NiVec3::UNIT_X * m, NiVec3(0.0f, 1.0f, 0.0f), 1e-6f);

    // The axis form agrees with the three axis-aligned forms.
    for (float fAngle : {-2.0f, 0.3f, 1.7f, 3.0f})
    {
        NiMatrix3x3 kFixed;
        kFixed.MakeXRotation(fAngle);
        ExpectNear(AxisRotation(fAngle, NiVec3::UNIT_X), kFixed, 1e-6f);
        kFixed.MakeYRotation(fAngle);
        ExpectNear(AxisRotation(fAngle, NiVec3::UNIT_Y), kFixed, 1e-6f);
        kFixed.MakeZRotation(fAngle);
        ExpectNear(AxisRotation(fAngle, NiVec3::UNIT_Z), kFixed, 1e-6f);
    }
}

TEST(NiMatrix3x3, ProductsAndTransposes)
{
    NiMatrix3x3 a(1, 2, 3, 4, 5, 6, 7, 8, 10);
    NiMatrix3x3 b(-1, 0, 2, 3, 1, -2, 0.5f, 4, 1);
    EXPECT_EQ(a.Multiply(b), NiMatrix3x3(6.5f, 14, 1, 14, 29, 4, 22, 48, 8));
    EXPECT_EQ(a.TransposeMultiply(b), a.Transpose().Multiply(b));
    EXPECT_EQ(a.MultiplyVector(NiVec3(1, -1, 2)), NiVec3(5, 11, 19));
    EXPECT_EQ(a.TransposeMultiplyVector(NiVec3(1, -1, 2)), NiVec3(11, 13, 17));
    EXPECT_EQ(a.ScaleBy(2.0f), NiMatrix3x3(2, 4, 6, 8, 10, 12, 14, 16, 20));
    EXPECT_EQ(a.Transpose().Transpose(), a);

    NiMatrix3x3 c;
    c.SetColumns(NiVec3(1, 2, 3), NiVec3(4, 5, 6), NiVec3(7, 8, 9));
    EXPECT_EQ(c, NiMatrix3x3(1, 4, 7, 2, 5, 8, 3, 6, 9));
    EXPECT_EQ(c.GetColumn(1), NiVec3(4, 5, 6));
    EXPECT_EQ(c.GetRow(1), NiVec3(2, 5, 8));
    EXPECT_NE(c, c.Transpose());
}

TEST(NiMatrix3x3, InverseTimesMatrixIsIdentity)
{
    std::mt19937 kRandom(7);
    std::uniform_real_distribution<float> kElement(-3.0f, 3.0f);
    int iTested = 0;
    for (int iCase = 0; iCase < 200; ++iCase)
    {
        NiMatrix3x3 m;
        for (auto& afRow : m.m_afEntry)
            for (float& f : afRow)
                f = kElement(kRandom);
        if (std::fabs(m.Determinant()) < 0.5f)
            continue; // keep the check about the inverse, not about conditioning
        NiMatrix3x3 kInverse;
        ASSERT_TRUE(m.Inverse(kInverse));
        SCOPED_TRACE(iCase);
        ExpectNear(m * kInverse, NiMatrix3x3::IDENTITY, 1e-4f);
        ExpectNear(kInverse * m, NiMatrix3x3::IDENTITY, 1e-4f);
        ++iTested;
    }
    EXPECT_GT(iTested, 100);

    // A rotation's inverse is its transpose.
    NiMatrix3x3 kRotation = AxisRotation(1.1f, NiVec3(0.48f, 0.6f, 0.64f));
    NiMatrix3x3 kInverse;
    ASSERT_TRUE(kRotation.Inverse(kInverse));
    ExpectNear(kInverse, kRotation.Transpose(), 1e-6f);
}

TEST(NiMatrix3x3, NearlySingularMatrixHasNoInverse)
{
    NiMatrix3x3 kOut;
    EXPECT_FALSE(NiMatrix3x3(1e-7f, 0, 0, 0, 1, 0, 0, 0, 1).Inverse(kOut));
    EXPECT_FALSE(NiMatrix3x3::ZERO.Inverse(kOut));
    EXPECT_FALSE(NiMatrix3x3(1, 2, 3, 2, 4, 6, 0, 1, 1).Inverse(kOut));
    // Just above the threshold still inverts.
    EXPECT_TRUE(NiMatrix3x3(2e-6f, 0, 0, 0, 1, 0, 0, 0, 1).Inverse(kOut));
    EXPECT_NEAR(kOut.m_afEntry[0][0], 5e5f, 1.0f);
}

TEST(NiMatrix3x3, NiACosClampsItsDomain)
{
    EXPECT_EQ(NiACos(-1.0f), NI_PI);
    EXPECT_EQ(NiACos(-1.5f), NI_PI);
    EXPECT_EQ(NiACos(1.0f), 0.0f);
    EXPECT_EQ(NiACos(7.0f), 0.0f);
    EXPECT_FLOAT_EQ(NiACos(0.5f), std::acos(0.5f));
}

TEST(NiMatrix3x3, ExtractAngleAndAxisSpecialCases)
{
    float fAngle, x, y, z;
    NiMatrix3x3::IDENTITY.ExtractAngleAndAxis(fAngle, x, y, z);
    EXPECT_EQ(fAngle, 0.0f);
    EXPECT_EQ(NiVec3(x, y, z), NiVec3::UNIT_X);

    NiMatrix3x3 m;
    m.MakeYRotation(NI_PI);
    m.ExtractAngleAndAxis(fAngle, x, y, z);
    EXPECT_NEAR(fAngle, NI_PI, 1e-3f);
    EXPECT_NEAR(std::fabs(y), 1.0f, 1e-6f);
    EXPECT_NEAR(x, 0.0f, 1e-3f);
    EXPECT_NEAR(z, 0.0f, 1e-3f);

    m.MakeZRotation(0.75f);
    m.ExtractAngleAndAxis(fAngle, x, y, z);
    EXPECT_NEAR(fAngle, 0.75f, 1e-5f);
    ExpectNear(NiVec3(x, y, z), NiVec3::UNIT_Z, 1e-5f);
}

TEST(NiMatrix3x3, HalfTurnAxisKeepsItsSignPattern)
{
    // Diagonal roots give (1, 1, 1)/sqrt(3); only (x, -y, z) is the axis,
    // and it must be found even though flipping z then y misses it.
    const float fInv = 1.0f / std::sqrt(3.0f);
    for (NiVec3 kAxis : {NiVec3(fInv, -fInv, fInv), NiVec3(-fInv, fInv, -fInv), NiVec3(fInv, fInv, -fInv),
                         NiVec3(fInv, -fInv, -fInv), NiVec3(fInv, fInv, fInv), NiVec3(0.6f, -0.8f, 0.0f),
                         NiVec3(0.0f, 0.6f, -0.8f)})
    {
        SCOPED_TRACE(testing::Message() << kAxis.x << "," << kAxis.y << "," << kAxis.z);
        NiMatrix3x3 m = AxisRotation(NI_PI, kAxis);
        float fAngle, x, y, z;
        m.ExtractAngleAndAxis(fAngle, x, y, z);
        EXPECT_NEAR(fAngle, NI_PI, 1e-3f);
        NiVec3 kFound(x, y, z);
        float fDot = kFound.Dot(kAxis);
        EXPECT_NEAR(std::fabs(fDot), 1.0f, 1e-4f);
        ExpectNear(AxisRotation(fAngle, kFound), m, 2e-3f);
    }
}

TEST(NiMatrix3x3, AngleAndAxisRebuildTheSameMatrix)
{
    std::mt19937 kRandom(12345);
    std::uniform_real_distribution<float> kAngle(0.0f, NI_TWO_PI);
    for (int iCase = 0; iCase < 2000; ++iCase)
    {
        NiVec3 kAxis = RandomAxis(kRandom);
        float fAngle;
        if (iCase % 5 == 0)
            fAngle = NI_PI; // half turns
        else
            do
                fAngle = kAngle(kRandom);
            while (std::fabs(fAngle - NI_PI) < 1e-4f);
        SCOPED_TRACE(testing::Message() << "case " << iCase << " angle " << fAngle << " axis " << kAxis.x << ","
                                        << kAxis.y << "," << kAxis.z);
        NiMatrix3x3 m = AxisRotation(fAngle, kAxis);
        float fOutAngle, x, y, z;
        m.ExtractAngleAndAxis(fOutAngle, x, y, z);
        EXPECT_GE(fOutAngle, 0.0f);
        EXPECT_LE(fOutAngle, NI_PI);
        EXPECT_NEAR(NiVec3(x, y, z).Length(), 1.0f, 1e-4f);
        ExpectNear(AxisRotation(fOutAngle, NiVec3(x, y, z)), m, 2e-3f);
        if (fAngle > NI_PI + 1e-2f)
        {
            // Past a half turn: 2 pi - a about the opposite axis.
            EXPECT_NEAR(fOutAngle, NI_TWO_PI - fAngle, 2e-3f);
            EXPECT_LT(NiVec3(x, y, z).Dot(kAxis), -0.99f);
        }
    }
}

TEST(NiMatrix3x3, SnapTinyToZero)
{
    NiMatrix3x3 m(1e-8f, -1e-8f, 1.1e-8f, -2e-8f, 5e-9f, 1, 0, -0.0f, 3);
    m.SnapTinyToZero();
    EXPECT_EQ(m, NiMatrix3x3(0, 0, 1.1e-8f, -2e-8f, 0, 1, 0, 0, 3));
}

TEST(NiMatrix3x3, EncodingSnapsTheMatrixItself)
{
    NiMatrix3x3 m(1, 5e-9f, 2, 3, 4, 5, 6, 7, -8);
    NiMathTestStream s;
    ASSERT_TRUE(m.WriteToStream(s));
    std::vector<float> kExpect = {1, 0, 2, 3, 4, 5, 6, 7, -8};
    EXPECT_EQ(s.Floats(), kExpect);
    EXPECT_EQ(m.m_afEntry[0][1], 0.0f);

    NiMatrix3x3 kRead;
    ASSERT_TRUE(kRead.ReadFromStream(s));
    EXPECT_EQ(kRead, m);

    for (std::size_t n = 0; n < s.m_bytes.size(); ++n)
    {
        NiMathTestStream kShort;
        kShort.m_bytes.assign(s.m_bytes.begin(), s.m_bytes.begin() + static_cast<std::ptrdiff_t>(n));
        NiMatrix3x3 kUnchanged;
        EXPECT_FALSE(kUnchanged.ReadFromStream(kShort)) << n;
        EXPECT_EQ(kUnchanged, NiMatrix3x3::IDENTITY) << n;
    }
}

TEST(NiMatrix3x3, ViewerString)
{
    EXPECT_EQ(NiViewerText(NiViewerMatrix3x3("m_kRotate", NiMatrix3x3(1, 0, -0.5f, 0, 1, 0, 2.25f, 0, 1))).Str(),
              "m_kRotate = ((1,0,-0.5),(0,1,0),(2.25,0,1))");
}
