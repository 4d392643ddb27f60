#include "engine/core/NiBatch.h"

#include "engine/core/NiEndian.h"
#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiProcessorInfo.h"
#include "engine/core/NiVec3.h"
#include "engine/core/NiXform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace
{
class NiBatchTest : public testing::Test
{
protected:
    void SetUp() override
    {
        NiResetBatchRoutines();
        NiBuildSqrtTable();
    }
    void TearDown() override { NiResetBatchRoutines(); }
};

// The table root computed without bit surgery on the root: for the sum
// 2^e (1 + f), the root is 2^floor(e/2) sqrt(1 + f7) or
// 2^floor(e/2) sqrt(2 (1 + f7)) for odd e, f7 being f cut to 7 bits, each
// root rounded to float.
float ReferenceFactor(float fSquared)
{
    if (fSquared == 0.0f)
        return 0.0f;
    int iExponent;
    float fFraction = std::frexp(fSquared, &iExponent); // fSquared = fFraction 2^iExponent, fFraction in [0.5, 1)
    int e = iExponent - 1;                              // fSquared = (2 fFraction) 2^e
    float fMantissa = 2.0f * fFraction;                 // in [1, 2)
    float fCut = 1.0f + std::floor((fMantissa - 1.0f) * 128.0f) / 128.0f;
    bool bOdd = (e % 2) != 0;
    float fRoot = std::sqrt(bOdd ? 2.0f * fCut : fCut);
    int iHalf = bOdd ? (e - 1) / 2 : e / 2; // floor(e / 2) either way
    return 1.0f / std::ldexp(fRoot, iHalf);
}

void ExpectUnitizedLike(const NiVec3& kOriginal, const NiVec3& kResult)
{
    float fFactor = ReferenceFactor(kOriginal.x * kOriginal.x + kOriginal.y * kOriginal.y + kOriginal.z * kOriginal.z);
    EXPECT_EQ(NiFloatBits(kResult.x), NiFloatBits(kOriginal.x * fFactor));
    EXPECT_EQ(NiFloatBits(kResult.y), NiFloatBits(kOriginal.y * fFactor));
    EXPECT_EQ(NiFloatBits(kResult.z), NiFloatBits(kOriginal.z * fFactor));
}
} // namespace

TEST_F(NiBatchTest, SqrtTableHoldsRootMantissas)
{
    const std::uint32_t* puiTable = NiGetSqrtTable();
    ASSERT_NE(puiTable, nullptr);
    EXPECT_EQ(puiTable[0], 0u);                              // sqrt(1) = 1.0
    EXPECT_EQ(puiTable[128], NiFloatBits(std::sqrt(2.0f)) & 0x7FFFFFu);
    EXPECT_EQ(puiTable[64], NiFloatBits(std::sqrt(1.5f)) & 0x7FFFFFu);
    EXPECT_EQ(puiTable[192], NiFloatBits(std::sqrt(3.0f)) & 0x7FFFFFu);
    // Rising within each half.
    for (int i = 1; i < 256; ++i)
    {
        if (i != 128)
        {
            EXPECT_GT(puiTable[i], puiTable[i - 1]) << i;
        }
    }

    // Building again keeps the table; freeing drops it.
    NiBuildSqrtTable();
    EXPECT_EQ(NiGetSqrtTable(), puiTable);
    NiFreeSqrtTable();
    EXPECT_EQ(NiGetSqrtTable(), nullptr);
    NiFreeSqrtTable();
}

TEST_F(NiBatchTest, UnitizeArrayBasicCases)
{
    NiVec3 akVectors[3] = {NiVec3(3, 4, 0), NiVec3(0, 0, 0), NiVec3(0, 0, -2)};
    NiVec3::UnitizeArray(akVectors, 3, sizeof(NiVec3));
    EXPECT_NEAR(akVectors[0].x, 0.6f, 0.6f / 256.0f);
    EXPECT_NEAR(akVectors[0].y, 0.8f, 0.8f / 256.0f);
    EXPECT_EQ(akVectors[0].z, 0.0f);
    EXPECT_EQ(akVectors[1], NiVec3::ZERO);
    // A power-of-four length is exact in the table.
    EXPECT_EQ(akVectors[2], NiVec3(0, 0, -1));

    NiVec3 kUntouched(5, 5, 5);
    NiVec3::UnitizeArray(&kUntouched, 0, sizeof(NiVec3));
    EXPECT_EQ(kUntouched, NiVec3(5, 5, 5));
}

TEST_F(NiBatchTest, UnitizeArrayOverOddAndEvenExponentsIsBitExact)
{
    std::mt19937 kRandom(99);
    std::uniform_real_distribution<float> kComponent(-1.0f, 1.0f);
    std::vector<NiVec3> kOriginal;
    for (int iExponent = -55; iExponent <= 60; ++iExponent)
    {
        for (int i = 0; i < 7; ++i)
        {
            NiVec3 k(kComponent(kRandom), kComponent(kRandom), kComponent(kRandom));
            kOriginal.push_back(k * std::ldexp(1.0f, iExponent));
        }
    }
    std::vector<NiVec3> kVectors = kOriginal;
    NiVec3::UnitizeArray(kVectors.data(), static_cast<std::uint32_t>(kVectors.size()), sizeof(NiVec3));
    int iOdd = 0, iEven = 0;
    for (std::size_t i = 0; i < kVectors.size(); ++i)
    {
        SCOPED_TRACE(i);
        ExpectUnitizedLike(kOriginal[i], kVectors[i]);
        EXPECT_NEAR(kVectors[i].Length(), 1.0f, 1.0f / 256.0f);
        int iExponent = static_cast<int>(NiFloatBits(kOriginal[i].SqrLength()) >> 23) - 127;
        (iExponent % 2 ? iOdd : iEven)++;
    }
    EXPECT_GT(iOdd, 100);
    EXPECT_GT(iEven, 100);
}

TEST_F(NiBatchTest, UnitizeArrayHonoursTheStride)
{
    struct Padded
    {
        NiVec3 kVector;
        float fPad;
    };
    static_assert(sizeof(Padded) == 16);
    Padded akPadded[5];
    for (int i = 0; i < 5; ++i)
        akPadded[i] = {NiVec3(static_cast<float>(i + 1), 2.0f, -1.0f), -123.0f - static_cast<float>(i)};
    NiVec3::UnitizeArray(&akPadded[0].kVector, 5, 16);
    for (int i = 0; i < 5; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(akPadded[i].fPad, -123.0f - static_cast<float>(i));
        ExpectUnitizedLike(NiVec3(static_cast<float>(i + 1), 2.0f, -1.0f), akPadded[i].kVector);
    }

    // An odd stride: vectors at unaligned offsets, filler bytes kept.
    const std::uint32_t uiStride = 13;
    std::vector<unsigned char> kBytes(uiStride * 6, 0xAB);
    for (int i = 0; i < 6; ++i)
    {
        float af[3] = {1.0f, static_cast<float>(i), 0.5f};
        std::memcpy(kBytes.data() + i * uiStride, af, sizeof(af));
    }
    NiVec3::UnitizeArray(reinterpret_cast<NiVec3*>(kBytes.data()), 6, uiStride);
    for (int i = 0; i < 6; ++i)
    {
        float af[3];
        std::memcpy(af, kBytes.data() + i * uiStride, sizeof(af));
        ExpectUnitizedLike(NiVec3(1.0f, static_cast<float>(i), 0.5f), NiVec3(af[0], af[1], af[2]));
        EXPECT_EQ(kBytes[i * uiStride + 12], 0xAB) << i;
    }
}

TEST_F(NiBatchTest, UnitizeArrayWithoutTableIsExact)
{
    NiFreeSqrtTable();
    NiVec3 k(1, 2, 2);
    NiVec3::UnitizeArray(&k, 1, sizeof(NiVec3));
    EXPECT_FLOAT_EQ(k.x, 1.0f / 3.0f);
    EXPECT_FLOAT_EQ(k.y, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(k.z, 2.0f / 3.0f);
}

TEST_F(NiBatchTest, AddScaledArray)
{
    std::vector<NiVec3> kDest(9, NiVec3(1, 1, 1));
    std::vector<NiVec3> kSource;
    for (int i = 0; i < 9; ++i)
        kSource.emplace_back(static_cast<float>(i), -2.0f, 0.5f);

    NiVec3::AddScaledArray(kDest.data(), 2.0f, kSource.data(), 0);
    for (const NiVec3& k : kDest)
        EXPECT_EQ(k, NiVec3(1, 1, 1));

    NiVec3::AddScaledArray(kDest.data(), 2.0f, kSource.data(), 5);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(kDest[i], i < 5 ? NiVec3(1.0f + 2.0f * static_cast<float>(i), -3.0f, 2.0f) : NiVec3(1, 1, 1)) << i;

    NiVec3::AddScaledArray(kDest.data(), -1.0f, kSource.data(), 9);
    EXPECT_EQ(kDest[8], NiVec3(-7.0f, 3.0f, 0.5f));
}

TEST_F(NiBatchTest, RoutinePairsAgree)
{
    std::mt19937 kRandom(5);
    std::uniform_real_distribution<float> kValue(-100.0f, 100.0f);
    NiXform kXform;
    kXform.m_kRotate.MakeAxisRotation(0.9f, NiVec3(0.48f, 0.6f, 0.64f));
    kXform.m_kTranslate = NiVec3(3.0f, -7.0f, 11.0f);
    kXform.m_fScale = 2.5f;

    for (std::uint16_t usCount : {0, 1, 3, 4, 7, 64})
    {
        SCOPED_TRACE(usCount);
        std::vector<NiVec3> kIn(usCount);
        for (NiVec3& k : kIn)
            k = NiVec3(kValue(kRandom), kValue(kRandom), kValue(kRandom));
        std::vector<NiVec3> kGeneric(usCount), kTuned(usCount), kRotGeneric(usCount), kRotTuned(usCount);
        NiTransformPointsGeneric(usCount, kIn.data(), kGeneric.data(), kXform);
        NiTransformPointsTuned(usCount, kIn.data(), kTuned.data(), kXform);
        NiRotateVectorsGeneric(usCount, kIn.data(), kRotGeneric.data(), kXform.m_kRotate);
        NiRotateVectorsTuned(usCount, kIn.data(), kRotTuned.data(), kXform.m_kRotate);
        for (std::size_t i = 0; i < usCount; ++i)
        {
            NiVec3 kExpect = kXform.TransformPoint(kIn[i]);
            EXPECT_EQ(kGeneric[i], kExpect);
            EXPECT_NEAR(kTuned[i].x, kExpect.x, 1e-3f);
            EXPECT_NEAR(kTuned[i].y, kExpect.y, 1e-3f);
            EXPECT_NEAR(kTuned[i].z, kExpect.z, 1e-3f);
            EXPECT_EQ(kRotGeneric[i], kXform.m_kRotate * kIn[i]);
            EXPECT_EQ(kRotTuned[i], kRotGeneric[i]);
        }

        // In place.
        std::vector<NiVec3> kInPlace = kIn;
        NiTransformPointsTuned(usCount, kInPlace.data(), kInPlace.data(), kXform);
        EXPECT_EQ(kInPlace, kTuned);
        kInPlace = kIn;
        NiRotateVectorsGeneric(usCount, kInPlace.data(), kInPlace.data(), kXform.m_kRotate);
        EXPECT_EQ(kInPlace, kRotGeneric);
    }
}

TEST_F(NiBatchTest, SelectionInstallsTheTunedPairOnKnownProcessors)
{
    EXPECT_EQ(NiGetTransformPointsRoutine(), &NiTransformPointsGeneric);
    EXPECT_EQ(NiGetRotateVectorsRoutine(), &NiRotateVectorsGeneric);
    EXPECT_FALSE(NiIsProcessorDetected());

    NiSelectBatchRoutines();
    EXPECT_TRUE(NiIsProcessorDetected());
    std::uint32_t uiClass = NiGetProcessorClass();
    if (uiClass >= 1 && uiClass <= 6)
    {
        EXPECT_EQ(NiGetTransformPointsRoutine(), &NiTransformPointsTuned);
        EXPECT_EQ(NiGetRotateVectorsRoutine(), &NiRotateVectorsTuned);
    }
    else
    {
        EXPECT_EQ(NiGetTransformPointsRoutine(), &NiTransformPointsGeneric);
    }

    NiVec3 kIn(1, 2, 3), kOut;
    NiXform kXform;
    kXform.m_kTranslate = NiVec3(1, 1, 1);
    NiTransformPoints(1, &kIn, &kOut, kXform);
    EXPECT_EQ(kOut, NiVec3(2, 3, 4));
    NiRotateVectors(1, &kIn, &kOut, NiMatrix3x3(0, 1, 0, 1, 0, 0, 0, 0, 1));
    EXPECT_EQ(kOut, NiVec3(2, 1, 3));

    NiResetBatchRoutines();
    EXPECT_EQ(NiGetTransformPointsRoutine(), &NiTransformPointsGeneric);
    EXPECT_FALSE(NiIsProcessorDetected());
    EXPECT_EQ(NiGetSqrtTable(), nullptr);
}
