#include "engine/core/NiQuat.h"

#include "engine/core/NiMathConstants.h"
#include "engine/core/NiMatrix3x3.h"
#include "tests/engine/core/NiMathTestStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace
{
void ExpectNear(const NiQuat& a, const NiQuat& b, float fTolerance)
{
    EXPECT_NEAR(a.w, b.w, fTolerance);
    EXPECT_NEAR(a.x, b.x, fTolerance);
    EXPECT_NEAR(a.y, b.y, fTolerance);
    EXPECT_NEAR(a.z, b.z, fTolerance);
}

// q or -q, whichever is closer to the reference: both are the same rotation.
NiQuat SameHemisphere(const NiQuat& q, const NiQuat& kReference)
{
    return NiQuat::Dot(q, kReference) < 0.0f ? q.Negate() : q;
}

float Length(const NiQuat& q)
{
    return std::sqrt(NiQuat::Dot(q, q));
}

NiQuat RandomUnit(std::mt19937& kRandom)
{
    std::normal_distribution<float> kNormal;
    NiQuat q;
    do
        q = NiQuat(kNormal(kRandom), kNormal(kRandom), kNormal(kRandom), kNormal(kRandom));
    while (NiQuat::Dot(q, q) < 1e-4f);
    q.Normalize();
    return q;
}

// Trigonometric slerp in double precision, the reference for the fast one.
NiQuat ExactSlerp(double t, const NiQuat& p, const NiQuat& q)
{
    double d = std::min(1.0, std::max(-1.0, static_cast<double>(NiQuat::Dot(p, q))));
    double fTheta = std::acos(d);
    double a, b;
    if (std::sin(fTheta) < 1e-9)
    {
        a = 1.0 - t;
        b = t;
    }
    else
    {
        a = std::sin((1.0 - t) * fTheta) / std::sin(fTheta);
        b = std::sin(t * fTheta) / std::sin(fTheta);
    }
    return NiQuat(static_cast<float>(a * p.w + b * q.w), static_cast<float>(a * p.x + b * q.x),
                  static_cast<float>(a * p.y + b * q.y), static_cast<float>(a * p.z + b * q.z));
}

NiQuat AboutZ(float fAngle)
{
    // The engine's matrices are transposed, so its quaternion of a rotation
    // by a carries -sin(a/2).
    return NiQuat(std::cos(fAngle * 0.5f), 0.0f, 0.0f, -std::sin(fAngle * 0.5f));
}
} // namespace

TEST(NiQuat, ArithmeticAndHamiltonProduct)
{
    NiQuat p(1, 2, 3, 4), q(-0.5f, 1, 0, 2);
    EXPECT_EQ(NiQuat::Add(p, q), NiQuat(0.5f, 3, 3, 6));
    EXPECT_EQ(NiQuat::Subtract(p, q), NiQuat(1.5f, 1, 3, 2));
    EXPECT_EQ(p.Negate(), NiQuat(-1, -2, -3, -4));
    EXPECT_EQ(p.Conjugate(), NiQuat(1, -2, -3, -4));
    EXPECT_EQ(p.ScaleBy(2), NiQuat(2, 4, 6, 8));
    EXPECT_EQ(0.5f * p, NiQuat(0.5f, 1, 1.5f, 2));
    EXPECT_EQ(NiQuat::Dot(p, q), -0.5f + 2 + 0 + 8);
    // i j = k, j i = -k.
    NiQuat i(0, 1, 0, 0), j(0, 0, 1, 0), k(0, 0, 0, 1);
    EXPECT_EQ(i * j, k);
    EXPECT_EQ(j * i, k.Negate());
    EXPECT_EQ(i * i, NiQuat(-1, 0, 0, 0));
    EXPECT_EQ(NiQuat::Multiply(p, q), NiQuat(1 * -0.5f - 2 * 1 - 3 * 0 - 4 * 2, 1 * 1 + 2 * -0.5f + 3 * 2 - 4 * 0,
                                             1 * 0 + 3 * -0.5f + 4 * 1 - 2 * 2, 1 * 2 + 4 * -0.5f + 2 * 0 - 3 * 1));
    // q q* = |q|^2.
    EXPECT_EQ(p * p.Conjugate(), NiQuat(30, 0, 0, 0));
}

TEST(NiQuat, NormalizeAndFastNormalize)
{
    NiQuat q(0, 3, 0, 4);
    q.Normalize();
    EXPECT_EQ(q, NiQuat(0, 0.6f, 0, 0.8f));
    NiQuat kZero(0, 0, 0, 0);
    kZero.Normalize();
    EXPECT_EQ(kZero, NiQuat(0, 0, 0, 0));

    // At s0 the line is exact by construction: the scale is k1.
    float fRoot = std::sqrt(NI_FAST_SLERP_S0);
    NiQuat kAtS0(fRoot, 0, 0, 0);
    kAtS0.FastNormalize();
    EXPECT_FLOAT_EQ(kAtS0.w, fRoot * 1.000311f / std::sqrt(0.959066f));

    // Over the range interpolation produces (chords of unit quaternions) the
    // result is close to unit length, refinement steps included.
    for (float fSquared : {1.0f, 0.95f, 0.9f, 0.8f, 0.7f, 0.6f, 0.5f})
    {
        SCOPED_TRACE(fSquared);
        NiQuat k(std::sqrt(fSquared * 0.5f), 0, std::sqrt(fSquared * 0.5f), 0);
        k.FastNormalize();
        EXPECT_NEAR(Length(k), 1.0f, 2e-3f);
    }
}

TEST(NiQuat, LogAndExp)
{
    EXPECT_EQ(NiQuat::Log(NiQuat::IDENTITY), NiQuat(0, 0, 0, 0));
    EXPECT_EQ(NiQuat::Exp(NiQuat(0, 0, 0, 0)), NiQuat::IDENTITY);
    // w is ignored by Exp.
    EXPECT_EQ(NiQuat::Exp(NiQuat(5, 0, 0, 0)), NiQuat::IDENTITY);

    NiQuat q = AboutZ(1.2f);
    NiQuat kLog = NiQuat::Log(q);
    ExpectNear(kLog, NiQuat(0, 0, 0, -0.6f), 1e-6f);
    ExpectNear(NiQuat::Exp(kLog), q, 1e-6f);

    std::mt19937 kRandom(3);
    for (int i = 0; i < 100; ++i)
    {
        NiQuat r = RandomUnit(kRandom);
        ExpectNear(SameHemisphere(NiQuat::Exp(NiQuat::Log(r)), r), r, 1e-4f);
    }
}

TEST(NiQuat, FromRotationOfXRotationsAcrossBothBranches)
{
    NiQuat q;
    q.FromRotation(NiMatrix3x3::IDENTITY);
    EXPECT_EQ(q, NiQuat::IDENTITY);

    const float fTwoThirds = NI_TWO_PI / 3.0f;
    for (int i = 0; i <= 400; ++i)
    {
        float a = -NI_PI + NI_TWO_PI * static_cast<float>(i) / 400.0f;
        if (std::fabs(a - fTwoThirds) < 1e-3f || a > NI_PI)
            continue;
        SCOPED_TRACE(a);
        NiMatrix3x3 m;
        m.MakeXRotation(a);
        q.FromRotation(m);
        NiQuat kExpect(std::cos(a * 0.5f), -std::sin(a * 0.5f), 0, 0);
        if (a > fTwoThirds)
            kExpect = kExpect.Negate(); // trace branch left: the x component leads and stays positive
        ExpectNear(q, kExpect, 2e-5f);
    }
}

TEST(NiQuat, FromRotationLargestDiagonalBranches)
{
    // Half-ish turns about axes close to x, y and z make the trace negative
    // and the matching diagonal element the largest.
    const NiVec3 akAxes[3] = {NiVec3(0.96f, 0.28f, 0.0f), NiVec3(0.0f, 0.96f, 0.28f), NiVec3(0.28f, 0.0f, 0.96f)};
    for (int iBranch = 0; iBranch < 3; ++iBranch)
    {
        for (float a : {2.3f, 2.8f, NI_PI, -2.5f})
        {
            SCOPED_TRACE(testing::Message() << "branch " << iBranch << " angle " << a);
            NiMatrix3x3 m;
            m.MakeAxisRotation(a, akAxes[iBranch]);
            float fTrace = m.m_afEntry[0][0] + m.m_afEntry[1][1] + m.m_afEntry[2][2];
            ASSERT_LE(fTrace, 0.0f);
            int iLargest = 0;
            for (int d = 1; d < 3; ++d)
                if (m.m_afEntry[d][d] > m.m_afEntry[iLargest][iLargest])
                    iLargest = d;
            ASSERT_EQ(iLargest, iBranch);

            NiQuat q;
            q.FromRotation(m);
            float s = std::sin(a * 0.5f);
            NiQuat kExpect(std::cos(a * 0.5f), -s * akAxes[iBranch].x, -s * akAxes[iBranch].y, -s * akAxes[iBranch].z);
            ExpectNear(SameHemisphere(q, kExpect), kExpect, 2e-5f);

            NiMatrix3x3 kBack;
            q.ToRotation(kBack);
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    EXPECT_NEAR(kBack.m_afEntry[r][c], m.m_afEntry[r][c], 1e-5f);
        }
    }
}

TEST(NiQuat, ToRotationMatchesMatrixProducts)
{
    std::mt19937 kRandom(11);
    for (int i = 0; i < 50; ++i)
    {
        NiQuat p = RandomUnit(kRandom), q = RandomUnit(kRandom);
        NiMatrix3x3 mp, mq, mpq;
        p.ToRotation(mp);
        q.ToRotation(mq);
        (p * q).ToRotation(mpq);
        NiMatrix3x3 kProduct = mp * mq;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(mpq.m_afEntry[r][c], kProduct.m_afEntry[r][c], 1e-5f);
        NiQuat kBack;
        kBack.FromRotation(mp);
        ExpectNear(SameHemisphere(kBack, p), p, 1e-5f);
    }
}

TEST(NiQuat, SlerpEndsAndMidpoint)
{
    NiQuat p = AboutZ(0.2f);
    NiQuat q = AboutZ(1.4f);
    ExpectNear(NiQuat::Slerp(0.0f, p, q), p, 1e-3f);
    ExpectNear(NiQuat::Slerp(1.0f, p, q), q, 1e-3f);
    NiQuat kMid = NiQuat::Slerp(0.5f, p, q);
    EXPECT_NEAR(Length(kMid), 1.0f, 1e-3f);
    ExpectNear(kMid, AboutZ(0.8f), 2e-3f);
}

TEST(NiQuat, FastSlerpTracksExactSlerp)
{
    std::mt19937 kRandom(2024);
    float fWorstNear = 0.0f;
    for (int iPair = 0; iPair < 400; ++iPair)
    {
        NiQuat p = RandomUnit(kRandom);
        NiQuat q = SameHemisphere(RandomUnit(kRandom), p);
        float d = NiQuat::Dot(p, q);
        float fTolerance = d >= 0.5f ? 0.002f : 0.025f;
        for (int iStep = 0; iStep <= 20; ++iStep)
        {
            float t = static_cast<float>(iStep) / 20.0f;
            SCOPED_TRACE(testing::Message() << "pair " << iPair << " dot " << d << " t " << t);
            NiQuat kFast = NiQuat::Slerp(t, p, q);
            NiQuat kExact = ExactSlerp(t, p, q);
            ExpectNear(kFast, kExact, fTolerance);
            if (d >= 0.5f)
                fWorstNear = std::max(fWorstNear, std::fabs(kFast.w - kExact.w));
        }
    }
    EXPECT_LT(fWorstNear, 0.002f);
}

TEST(NiQuat, SlerpKeepsANegativeDotAsGiven)
{
    // No hemisphere flip: from p towards -p's neighbourhood the path goes the
    // long way, so the midpoint is far from both keys' shared rotation.
    NiQuat p = AboutZ(0.1f);
    NiQuat q = AboutZ(0.3f).Negate();
    NiQuat kMid = NiQuat::Slerp(0.5f, p, q);
    EXPECT_LT(std::fabs(NiQuat::Dot(kMid, AboutZ(0.2f))), 0.5f);
}

TEST(NiQuat, SquadAndIntermediate)
{
    // Evenly spaced keys about one axis: each control point is its key, and
    // squad then follows the plain interpolation.
    NiQuat q0 = AboutZ(0.0f), q1 = AboutZ(0.5f), q2 = AboutZ(1.0f), q3 = AboutZ(1.5f);
    NiQuat a = NiQuat::Intermediate(q0, q1, q2);
    NiQuat b = NiQuat::Intermediate(q1, q2, q3);
    ExpectNear(a, q1, 1e-5f);
    ExpectNear(b, q2, 1e-5f);
    ExpectNear(NiQuat::Squad(0.0f, q1, a, b, q2), q1, 1e-3f);
    ExpectNear(NiQuat::Squad(1.0f, q1, a, b, q2), q2, 1e-3f);
    ExpectNear(NiQuat::Squad(0.5f, q1, a, b, q2), AboutZ(0.75f), 2e-3f);

    // Uneven keys bend the control point off the key.
    NiQuat kBent = NiQuat::Intermediate(AboutZ(0.0f), AboutZ(0.5f), AboutZ(1.5f));
    EXPECT_GT(std::fabs(kBent.z - q1.z), 1e-3f);
    EXPECT_NEAR(Length(kBent), 1.0f, 1e-5f);
}

TEST(NiQuat, EncodingSnapsTinyComponents)
{
    NiQuat q(1.0f, 5e-9f, -1e-8f, 0.25f);
    NiMathTestStream s;
    ASSERT_TRUE(q.WriteToStream(s));
    std::vector<float> kExpect = {1.0f, 0.0f, 0.0f, 0.25f};
    EXPECT_EQ(s.Floats(), kExpect);
    EXPECT_EQ(q, NiQuat(1.0f, 0.0f, 0.0f, 0.25f));
    NiQuat kRead(9, 9, 9, 9);
    ASSERT_TRUE(kRead.ReadFromStream(s));
    EXPECT_EQ(kRead, q);

    NiMathTestStream kShort;
    kShort.m_bytes.assign(s.m_bytes.begin(), s.m_bytes.begin() + 12);
    NiQuat kUnchanged(9, 9, 9, 9);
    EXPECT_FALSE(kUnchanged.ReadFromStream(kShort));
    EXPECT_EQ(kUnchanged, NiQuat(9, 9, 9, 9));
}

TEST(NiQuat, ViewerString)
{
    EXPECT_EQ(NiViewerText(NiViewerQuat("m_kRotation", NiQuat(1, 0, -0.5f, 2.5e-7f))).Str(),
              "m_kRotation: (w=1,x=0,y=-0.5,z=2.5e-07)");
}
