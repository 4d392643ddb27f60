#include "engine/core/NiHermite.h"

#include <gtest/gtest.h>

TEST(NiHermite, CubicHitsItsEndsAndTangents)
{
    const float p0 = 2.0f, m0 = -3.0f, p1 = 5.0f, m1 = 1.5f;
    EXPECT_EQ(NiHermiteCubic(0.0f, p0, m0, p1, m1), p0);
    EXPECT_FLOAT_EQ(NiHermiteCubic(1.0f, p0, m0, p1, m1), p1);
    const float h = 1e-3f;
    EXPECT_NEAR((NiHermiteCubic(h, p0, m0, p1, m1) - p0) / h, m0, 3e-2f); // curvature adds about 13.5 h
    EXPECT_NEAR((p1 - NiHermiteCubic(1.0f - h, p0, m0, p1, m1)) / h, m1, 3e-2f);
    // Tangents equal to the chord give a straight line.
    EXPECT_FLOAT_EQ(NiHermiteCubic(0.25f, 0.0f, 4.0f, 4.0f, 4.0f), 1.0f);
}

TEST(NiHermite, SplitSegmentReproducesTheCurveOnBothSides)
{
    struct Case
    {
        float p0, m0, p1, m1, t0, t1, ts;
    };
    for (const Case& c : {Case{2.0f, -3.0f, 5.0f, 1.5f, 1.0f, 3.0f, 1.5f}, Case{0.0f, 10.0f, 0.0f, -10.0f, 0.0f, 1.0f, 0.5f},
                          Case{-1.0f, 0.0f, 4.0f, 0.0f, -2.0f, 6.0f, 5.0f}, Case{3.0f, 2.0f, 3.5f, -7.0f, 10.0f, 10.5f, 10.1f}})
    {
        SCOPED_TRACE(testing::Message() << "t0 " << c.t0 << " t1 " << c.t1 << " ts " << c.ts);
        auto Original = [&](float fTime) { return NiHermiteCubic((fTime - c.t0) / (c.t1 - c.t0), c.p0, c.m0, c.p1, c.m1); };
        float fValueAtTs = Original(c.ts);
        float m0 = c.m0, m1 = c.m1, fIn = 0.0f, fOut = 0.0f;
        NiHermiteTangentsForInterval(c.p0, c.t0, m0, c.p1, c.t1, m1, c.ts, fIn, fOut);
        for (int i = 0; i <= 10; ++i)
        {
            float v = static_cast<float>(i) / 10.0f;
            float fLeftTime = c.t0 + v * (c.ts - c.t0);
            float fRightTime = c.ts + v * (c.t1 - c.ts);
            EXPECT_NEAR(NiHermiteCubic(v, c.p0, m0, fValueAtTs, fIn), Original(fLeftTime), 1e-4f) << v;
            EXPECT_NEAR(NiHermiteCubic(v, fValueAtTs, fOut, c.p1, m1), Original(fRightTime), 1e-4f) << v;
        }
    }
}
