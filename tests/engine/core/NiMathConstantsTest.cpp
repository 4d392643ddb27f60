#include "engine/core/NiMathConstants.h"

#include "engine/core/NiColor.h"
#include "engine/core/NiQuat.h"
#include "engine/core/NiVec3.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

namespace
{
// Keeps the compiler from folding the formulas, so the comparison is against
// what the processor computes in single precision.
volatile float g_fOne = 1.0f;
volatile float g_fS0 = 0.959066f;
volatile float g_fScale = 1.000311f;
} // namespace

TEST(NiMathConstants, MatchTheirSinglePrecisionFormulas)
{
    float fPi = 4.0f * std::atan(static_cast<float>(g_fOne));
    EXPECT_EQ(NI_PI, fPi);
    EXPECT_EQ(NI_HALF_PI, fPi / 2.0f);
    EXPECT_EQ(NI_TWO_PI, 2.0f * fPi);
    EXPECT_EQ(NI_SQRT_MAX_FLOAT, std::sqrt(FLT_MAX));
    EXPECT_TRUE(std::isfinite(NI_SQRT_MAX_FLOAT * NI_SQRT_MAX_FLOAT));

    float fS0 = g_fS0;
    float fScale = g_fScale;
    EXPECT_EQ(NI_FAST_SLERP_S0, fS0);
    EXPECT_EQ(NI_FAST_SLERP_K1, fScale / std::sqrt(fS0));
    EXPECT_EQ(NI_FAST_SLERP_K2, -0.5f * fScale / (std::sqrt(fS0) * fS0));
}

TEST(NiMathConstants, SharedValues)
{
    EXPECT_EQ(NiVec3::ZERO, NiVec3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(NiQuat::IDENTITY, NiQuat(1.0f, 0.0f, 0.0f, 0.0f));
    EXPECT_EQ(NiColorRGBA::BLACK, NiColorRGBA(0.0f, 0.0f, 0.0f, 1.0f));
    for (const NiQuat& q : {NiQuat::INVALID_ROTATION, NiQuat::INVALID_QUATERNION})
    {
        EXPECT_EQ(q.w, -3.4028235e38f);
        EXPECT_EQ(q.w, -FLT_MAX);
        EXPECT_EQ(q.x, -FLT_MAX);
        EXPECT_EQ(q.y, -FLT_MAX);
        EXPECT_EQ(q.z, -FLT_MAX);
    }
}
