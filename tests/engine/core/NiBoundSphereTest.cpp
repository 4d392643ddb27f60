#include "engine/core/NiBoundSphere.h"

#include "engine/core/NiXform.h"
#include "tests/engine/core/NiMathTestStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

TEST(NiBoundSphere, ComputeFromPoints)
{
    NiBoundSphere k(NiVec3(5, 5, 5), 5);
    k.ComputeFromPoints(0, nullptr);
    EXPECT_EQ(k, NiBoundSphere(NiVec3::ZERO, 0.0f));

    NiVec3 kOne(3, -1, 2);
    k.ComputeFromPoints(1, &kOne);
    EXPECT_EQ(k, NiBoundSphere(kOne, 0.0f));

    NiVec3 akTwo[2] = {NiVec3(0, 0, 0), NiVec3(2, 0, 0)};
    k.ComputeFromPoints(2, akTwo);
    EXPECT_EQ(k, NiBoundSphere(NiVec3(1, 0, 0), 1.0f));

    // Box centre, not the mean: the lone far point decides the radius.
    NiVec3 akMany[4] = {NiVec3(0, 0, 0), NiVec3(0.1f, 0, 0), NiVec3(0, 0.1f, 0), NiVec3(4, 2, -2)};
    k.ComputeFromPoints(4, akMany);
    EXPECT_EQ(k.m_kCenter, NiVec3(2, 1, -1));
    EXPECT_FLOAT_EQ(k.m_fRadius, std::sqrt(6.0f));
    for (const NiVec3& p : akMany)
        EXPECT_LE((p - k.m_kCenter).Length(), k.m_fRadius * 1.000001f);
}

TEST(NiBoundSphere, MergeContainedAndContaining)
{
    NiBoundSphere kBig(NiVec3(0, 0, 0), 10);
    NiBoundSphere kSmall(NiVec3(1, 2, 3), 1);

    NiBoundSphere k = kBig;
    k.Merge(kSmall);
    EXPECT_EQ(k, kBig);

    k = kSmall;
    k.Merge(kBig);
    EXPECT_EQ(k, kBig);

    // Equal spheres: the other is taken, which is the same sphere.
    k = kSmall;
    k.Merge(kSmall);
    EXPECT_EQ(k, kSmall);
}

TEST(NiBoundSphere, MergeDisjointSpheres)
{
    NiBoundSphere k(NiVec3(0, 0, 0), 1);
    k.Merge(NiBoundSphere(NiVec3(4, 0, 0), 1));
    EXPECT_EQ(k.m_kCenter, NiVec3(2, 0, 0));
    EXPECT_EQ(k.m_fRadius, 3.0f);

    // Different radii: the result just touches both far sides.
    NiBoundSphere a(NiVec3(0, 0, 0), 1);
    NiBoundSphere b(NiVec3(0, 6, 0), 3);
    a.Merge(b);
    EXPECT_FLOAT_EQ(a.m_fRadius, 5.0f);
    EXPECT_NEAR(a.m_kCenter.y, 4.0f, 1e-6f);
    EXPECT_EQ(a.m_kCenter.x, 0.0f);
}

TEST(NiBoundSphere, AMergeTooFarApartForAFloatKeepsTheSphereNearerTheOrigin)
{
    // One sphere put away at the lowest float: the other stays whole, in
    // either order, never not-a-number.
    const NiBoundSphere kHere(NiVec3(200, 0, -64), 120);
    const NiBoundSphere kAway(NiVec3(0, -3.4028235e38f, 0), 11);
    NiBoundSphere k = kHere;
    k.Merge(kAway);
    EXPECT_EQ(k, kHere);
    k = kAway;
    k.Merge(kHere);
    EXPECT_EQ(k, kHere);
}

TEST(NiBoundSphere, TransformMovesCentreAndScalesRadius)
{
    NiXform kXform;
    kXform.m_kRotate.MakeZRotation(1.0f);
    kXform.m_kTranslate = NiVec3(1, 2, 3);
    kXform.m_fScale = 3.0f;
    NiBoundSphere kLocal(NiVec3(1, 0, 0), 2);
    NiBoundSphere kWorld;
    kWorld.Transform(kLocal, kXform);
    EXPECT_EQ(kWorld.m_kCenter, kXform.m_kTranslate + kXform.m_kRotate.MultiplyVector(NiVec3(1, 0, 0)) * 3.0f);
    EXPECT_EQ(kWorld.m_fRadius, 6.0f);
}

TEST(NiBoundSphere, EncodingAndViewer)
{
    NiBoundSphere k(NiVec3(1, 2, 3), 4.5f);
    NiMathTestStream s;
    ASSERT_TRUE(k.WriteToStream(s));
    std::vector<float> kExpect = {1, 2, 3, 4.5f};
    EXPECT_EQ(s.Floats(), kExpect);
    NiBoundSphere kRead;
    ASSERT_TRUE(kRead.ReadFromStream(s));
    EXPECT_TRUE(kRead.IsEqual(k));
    kRead.m_kCenter.z = 3.0001f;
    EXPECT_FALSE(kRead.IsEqual(k));

    NiMathTestStream kShort;
    kShort.m_bytes.assign(s.m_bytes.begin(), s.m_bytes.begin() + 15);
    NiBoundSphere kUnchanged(NiVec3(9, 9, 9), 9);
    EXPECT_FALSE(kUnchanged.ReadFromStream(kShort));
    EXPECT_EQ(kUnchanged, NiBoundSphere(NiVec3(9, 9, 9), 9));

    EXPECT_EQ(NiViewerText(NiViewerBoundSphere("m_kBound", k)).Str(), "m_kBound = (1, 2, 3) , 4.5");
}
