#include "platform/gfxutil/GfxUtilMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace
{
using gfx::D3DXMATRIX;
using gfx::D3DXVECTOR4;

D3DXMATRIX Make(std::initializer_list<float> kValues)
{
    D3DXMATRIX k{};
    int i = 0;
    for (float f : kValues)
        k.m[i / 4][i % 4] = f, ++i;
    return k;
}

// Row-vector reference product in double.
D3DXMATRIX Reference(const D3DXMATRIX& a, const D3DXMATRIX& b)
{
    D3DXMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            double f = 0;
            for (int k = 0; k < 4; ++k)
                f += double(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = float(f);
        }
    return r;
}

TEST(GfxUtilMath, ProductAppliesTheLeftMatrixFirstAndMayWriteIntoAnInput)
{
    // Scale x by 2, then move by (5, 0, 0): the point (1, 0, 0, 1) lands on 7.
    const D3DXMATRIX kScale = Make({2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    const D3DXMATRIX kMove = Make({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1});
    D3DXMATRIX kOut;
    ASSERT_EQ(gfx::D3DXMatrixMultiply(&kOut, &kScale, &kMove), &kOut);
    D3DXVECTOR4 kPoint{1, 0, 0, 1};
    ASSERT_EQ(gfx::D3DXVec4Transform(&kPoint, &kPoint, &kOut), &kPoint);
    EXPECT_FLOAT_EQ(kPoint.x, 7.0f);
    EXPECT_FLOAT_EQ(kPoint.w, 1.0f);

    // Aliased output: the same as a separate one.
    const D3DXMATRIX kA = Make({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    const D3DXMATRIX kB = Make({0, 1, 0, 2, 1, 0, 3, 0, 0, 4, 0, 1, 5, 0, 1, 0});
    D3DXMATRIX kInPlace = kA;
    gfx::D3DXMatrixMultiply(&kInPlace, &kInPlace, &kB);
    const D3DXMATRIX kExpected = Reference(kA, kB);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_FLOAT_EQ(kInPlace.m[i][j], kExpected.m[i][j]) << i << "," << j;

    D3DXMATRIX kT = kA;
    gfx::D3DXMatrixTranspose(&kT, &kT);
    EXPECT_EQ(kT.m[0][3], 13.0f);
    EXPECT_EQ(kT.m[3][0], 4.0f);
    EXPECT_EQ(kT.m[2][1], 7.0f);
}

TEST(GfxUtilMath, RandomInvertibleMatricesTimesTheirInverseGiveTheIdentity)
{
    std::mt19937 kRandom(1234);
    std::uniform_real_distribution<float> kValue(-4.0f, 4.0f);
    int iTested = 0;
    for (int iRun = 0; iRun < 500; ++iRun)
    {
        D3DXMATRIX kM;
        for (auto& afRow : kM.m)
            for (float& f : afRow)
                f = kValue(kRandom);
        float fDet = 0;
        D3DXMATRIX kInv;
        if (gfx::D3DXMatrixInverse(&kInv, &fDet, &kM) == nullptr)
            continue;
        if (std::fabs(fDet) < 0.5f) // badly conditioned: not a fair 1e-5 check
            continue;
        ++iTested;
        const D3DXMATRIX kI = Reference(kM, kInv);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                ASSERT_NEAR(kI.m[i][j], i == j ? 1.0f : 0.0f, 1e-5f) << "run " << iRun;
    }
    EXPECT_GT(iTested, 400);
}

TEST(GfxUtilMath, SingularOrNonFiniteMatricesHaveNoInverseAndLeaveTheOutputAlone)
{
    // Third row zero (a texture-coordinate transform's 4x4 form).
    const D3DXMATRIX kSingular = Make({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0.5f, 0.5f, 0, 1});
    D3DXMATRIX kOut = Make({9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
    float fDet = 7;
    EXPECT_EQ(gfx::D3DXMatrixInverse(&kOut, &fDet, &kSingular), nullptr);
    EXPECT_EQ(fDet, 0.0f);
    EXPECT_EQ(kOut.m[2][2], 9.0f);

    D3DXMATRIX kInfinite{};
    gfx::D3DXMatrixIdentity(&kInfinite);
    kInfinite.m[0][0] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(gfx::D3DXMatrixInverse(&kOut, nullptr, &kInfinite), nullptr);
    kInfinite.m[0][0] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(gfx::D3DXMatrixInverse(&kOut, nullptr, &kInfinite), nullptr);
    // A determinant that overflows float but not the inverse's terms.
    D3DXMATRIX kHuge{};
    gfx::D3DXMatrixIdentity(&kHuge);
    kHuge.m[0][0] = kHuge.m[1][1] = kHuge.m[2][2] = kHuge.m[3][3] = 1e30f;
    D3DXMATRIX kHugeInv;
    ASSERT_NE(gfx::D3DXMatrixInverse(&kHugeInv, nullptr, &kHuge), nullptr);
    EXPECT_FLOAT_EQ(kHugeInv.m[0][0], 1e-30f);
    EXPECT_EQ(kOut.m[0][0], 9.0f);
}
} // namespace
