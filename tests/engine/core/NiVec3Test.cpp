#include "engine/core/NiVec3.h"

#include "engine/core/NiColor.h"
#include "engine/core/NiPlane.h"
#include "engine/core/NiVec2.h"
#include "tests/engine/core/NiMathTestStream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

TEST(NiVec3, CrossFollowsTheRightHandRule)
{
    EXPECT_EQ(NiVec3::UNIT_X.Cross(NiVec3::UNIT_Y), NiVec3::UNIT_Z);
    EXPECT_EQ(NiVec3::UNIT_Y.Cross(NiVec3::UNIT_X), -NiVec3::UNIT_Z);
    NiVec3 a(1.0f, 2.0f, 3.0f), b(-4.0f, 0.5f, 2.0f);
    NiVec3 c = a.Cross(b);
    EXPECT_FLOAT_EQ(c.Dot(a), 0.0f);
    EXPECT_FLOAT_EQ(c.Dot(b), 0.0f);
    EXPECT_EQ(c, NiVec3(2.0f * 2.0f - 3.0f * 0.5f, 3.0f * -4.0f - 1.0f * 2.0f, 1.0f * 0.5f - 2.0f * -4.0f));
}

TEST(NiVec3, UnitCrossAndNormalizeGiveZeroForDegenerateInput)
{
    NiVec3 kUnit = NiVec3(3.0f, 0.0f, 0.0f).UnitCross(NiVec3(0.0f, 0.0f, 2.0f));
    EXPECT_FLOAT_EQ(kUnit.x, 0.0f);
    EXPECT_FLOAT_EQ(kUnit.y, -1.0f);
    EXPECT_FLOAT_EQ(kUnit.z, 0.0f);
    // Parallel inputs have no perpendicular direction.
    EXPECT_EQ(NiVec3(1.0f, 1.0f, 0.0f).UnitCross(NiVec3(2.0f, 2.0f, 0.0f)), NiVec3::ZERO);
    EXPECT_EQ(NiVec3(1e-4f, 0.0f, 0.0f).UnitCross(NiVec3(0.0f, 1e-3f, 0.0f)), NiVec3::ZERO);

    NiVec3 v(3.0f, 4.0f, 0.0f);
    EXPECT_FLOAT_EQ(v.Normalize(), 5.0f);
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.y, 0.8f);
    NiVec3 kTiny(1e-7f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(kTiny.Normalize(), 1e-7f);
    EXPECT_EQ(kTiny, NiVec3::ZERO);
}

TEST(NiVec3, ComparisonsAreExact)
{
    NiVec3 a(0.1f, 0.2f, 0.3f);
    NiVec3 b = a;
    EXPECT_TRUE(a == b);
    b.z = std::nextafter(b.z, 1.0f);
    EXPECT_TRUE(a != b);
    EXPECT_FALSE(NiVec2(1.0f, 2.0f) != NiVec2(1.0f, 2.0f));
    EXPECT_TRUE(NiVec2(1.0f, 2.0f) != NiVec2(1.0f, 2.5f));
    EXPECT_TRUE(NiVec2(1.5f, 2.0f) != NiVec2(1.0f, 2.0f));
    EXPECT_TRUE(NiColorRGB(1, 0, 0) != NiColorRGB(1, 0, 0.5f));
    EXPECT_FALSE(NiColorRGB(1, 0, 0) != NiColorRGB(1, 0, 0));
    EXPECT_TRUE(NiColorRGBA(1, 0, 0, 1) != NiColorRGBA(1, 0, 0, 0));
    EXPECT_TRUE(NiColorRGBA(1, 0, 0, 1) == NiColorRGBA(1, 0, 0, 1));
}

TEST(NiColorRGBA, AddAndScaleComponentWise)
{
    NiColorRGBA a(0.1f, 0.2f, 0.3f, 0.4f);
    NiColorRGBA b(0.5f, 0.25f, 0.0f, 1.0f);
    EXPECT_EQ(a.Add(b), NiColorRGBA(0.1f + 0.5f, 0.2f + 0.25f, 0.3f, 0.4f + 1.0f));
    EXPECT_EQ(a.Scale(2.0f), NiColorRGBA(0.2f, 0.4f, 0.6f, 0.8f));
}

TEST(NiColorChannel, RoundedToNearestEvenAndClampedTruncatedToTheLowByte)
{
    EXPECT_EQ(NiColorChannelRounded(0.0f), 0u);
    EXPECT_EQ(NiColorChannelRounded(1.0f), 255u);
    EXPECT_EQ(NiColorChannelRounded(0.25f), 64u); // 63.75
    EXPECT_EQ(NiColorChannelRounded(0.5f), 128u); // 127.5: the tie goes to the even one
    EXPECT_EQ(NiColorChannelRounded(-0.5f), 0u);
    EXPECT_EQ(NiColorChannelRounded(3.0f), 255u);
    EXPECT_EQ(NiColorChannelRounded(std::nanf("")), 0u);

    EXPECT_EQ(NiColorChannelTruncated(0.5f), 127u);
    EXPECT_EQ(NiColorChannelTruncated(1.0f), 255u);
    // Past 1 and below 0 the low byte of the integer stays: no clamping.
    EXPECT_EQ(NiColorChannelTruncated(2.0f), 254u);  // 510
    EXPECT_EQ(NiColorChannelTruncated(-1.0f), 1u);   // -255
    EXPECT_EQ(NiColorChannelTruncated(1.0e8f), 0u);  // beyond the integer range
    EXPECT_EQ(NiColorChannelTruncated(std::nanf("")), 0u);
}

TEST(NiPlane, ConstructorsAndDistance)
{
    NiPlane kDefault;
    EXPECT_EQ(kDefault.m_kNormal, NiVec3::ZERO);
    EXPECT_EQ(kDefault.m_fConstant, 0.0f);
    NiPlane kThroughPoint(NiVec3::UNIT_Z, NiVec3(7.0f, -2.0f, 3.0f));
    EXPECT_EQ(kThroughPoint.m_fConstant, 3.0f);
    EXPECT_EQ(kThroughPoint, NiPlane(NiVec3::UNIT_Z, 3.0f));
    EXPECT_FLOAT_EQ(kThroughPoint.Distance(NiVec3(0.0f, 0.0f, 5.0f)), 2.0f);
    EXPECT_FLOAT_EQ(kThroughPoint.Distance(NiVec3(1.0f, 1.0f, 3.0f)), 0.0f);
}

TEST(NiMathViewer, VectorColourAndPlaneStrings)
{
    EXPECT_EQ(NiViewerText(NiViewerVec3("m_kPos", NiVec3(1.0f, 2.5f, -3.0f))).Str(), "m_kPos = (1,2.5,-3)");
    EXPECT_EQ(NiViewerText(NiViewerVec3("v", NiVec3(1e-7f, 1234567.0f, 0.0f))).Str(), "v = (1e-07,1.23457e+06,0)");
    EXPECT_EQ(NiViewerText(NiViewerColorRGB("m_kAmbient", NiColorRGB(0.5f, 1.0f, 0.0f))).Str(),
              "m_kAmbient = (0.500,1.000,0.000)");
    EXPECT_EQ(NiViewerText(NiViewerColorRGBA("c", NiColorRGBA(0.25f, 0.125f, 12.0f, 1.0f))).Str(),
              "c = (0.250,0.125,12.000,1.000)");
    // The label is not part of the plane's text.
    EXPECT_EQ(NiViewerText(NiPlane(NiVec3::UNIT_Z, 5.0f).GetViewerString("m_kPlane")).Str(), "(0,0,1), 5");
    // A long label is not cut.
    std::string kLong(300, 'n');
    EXPECT_EQ(NiViewerText(NiViewerVec3(kLong.c_str(), NiVec3::ZERO)).Str(), kLong + " = (0,0,0)");
}

TEST(NiMathEncoding, VectorsAndColoursRoundTrip)
{
    NiMathTestStream s;
    ASSERT_TRUE(NiVec2(1.5f, -2.0f).WriteToStream(s));
    ASSERT_TRUE(NiVec3(0.25f, 3.0f, -1e10f).WriteToStream(s));
    ASSERT_TRUE(NiColorRGBA(0.1f, 0.2f, 0.3f, 0.4f).WriteToStream(s));
    std::vector<float> kExpect = {1.5f, -2.0f, 0.25f, 3.0f, -1e10f, 0.1f, 0.2f, 0.3f, 0.4f};
    EXPECT_EQ(s.Floats(), kExpect);
    // Little-endian: 1.5f is 0x3FC00000.
    EXPECT_EQ(s.m_bytes[0], 0x00);
    EXPECT_EQ(s.m_bytes[3], 0x3F);
    EXPECT_EQ(s.m_bytes[2], 0xC0);

    NiVec2 k2;
    NiVec3 k3;
    NiColorRGBA kC;
    ASSERT_TRUE(k2.ReadFromStream(s));
    ASSERT_TRUE(k3.ReadFromStream(s));
    ASSERT_TRUE(kC.ReadFromStream(s));
    EXPECT_EQ(k2, NiVec2(1.5f, -2.0f));
    EXPECT_EQ(k3, NiVec3(0.25f, 3.0f, -1e10f));
    EXPECT_EQ(kC, NiColorRGBA(0.1f, 0.2f, 0.3f, 0.4f));
}

TEST(NiMathEncoding, TruncatedVectorsFailAndStayUnchanged)
{
    NiMathTestStream kFull;
    ASSERT_TRUE(NiColorRGBA(1.0f, 2.0f, 3.0f, 4.0f).WriteToStream(kFull));
    for (std::size_t n = 0; n < kFull.m_bytes.size(); ++n)
    {
        SCOPED_TRACE(n);
        NiMathTestStream s;
        s.m_bytes.assign(kFull.m_bytes.begin(), kFull.m_bytes.begin() + static_cast<std::ptrdiff_t>(n));
        NiColorRGBA kC(9, 9, 9, 9);
        EXPECT_FALSE(kC.ReadFromStream(s));
        EXPECT_EQ(kC, NiColorRGBA(9, 9, 9, 9));
        s.m_pos = 0;
        NiVec3 k3(9, 9, 9);
        if (n < 12)
        {
            EXPECT_FALSE(k3.ReadFromStream(s));
            EXPECT_EQ(k3, NiVec3(9, 9, 9));
        }
        s.m_pos = 0;
        NiVec2 k2(9, 9);
        if (n < 8)
        {
            EXPECT_FALSE(k2.ReadFromStream(s));
            EXPECT_EQ(k2, NiVec2(9, 9));
        }
    }
}
