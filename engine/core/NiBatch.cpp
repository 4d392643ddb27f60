#include "engine/core/NiBatch.h"

#include "engine/core/NiEndian.h"
#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiProcessorInfo.h"
#include "engine/core/NiVec3.h"
#include "engine/core/NiXform.h"

#include <cmath>
#include <memory>
#include <new>

namespace
{
// Process-wide, set by start-up and shut-down on the main thread.
NiTransformPointsRoutine s_pfnTransformPoints = &NiTransformPointsGeneric;
NiRotateVectorsRoutine s_pfnRotateVectors = &NiRotateVectorsGeneric;
std::unique_ptr<std::uint32_t[]> s_spSqrtTable;

constexpr std::uint32_t SQRT_TABLE_SIZE = 256;
constexpr std::uint32_t MANTISSA_MASK = 0x7FFFFFu;

// M v with the rows of M passed in, so the tuned routines read the matrix
// once per call rather than once per point.
inline NiVec3 RowsTimes(const NiVec3& kRow0, const NiVec3& kRow1, const NiVec3& kRow2, const NiVec3& v)
{
    return {kRow0.x * v.x + kRow0.y * v.y + kRow0.z * v.z, kRow1.x * v.x + kRow1.y * v.y + kRow1.z * v.z,
            kRow2.x * v.x + kRow2.y * v.y + kRow2.z * v.z};
}

template <typename Op>
void FourAtATime(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, Op kOp)
{
    std::uint32_t i = 0;
    for (; i + 4 <= usCount; i += 4)
    {
        // Read all four before writing any, so pkOut may equal pkIn.
        NiVec3 k0 = kOp(pkIn[i]);
        NiVec3 k1 = kOp(pkIn[i + 1]);
        NiVec3 k2 = kOp(pkIn[i + 2]);
        NiVec3 k3 = kOp(pkIn[i + 3]);
        pkOut[i] = k0;
        pkOut[i + 1] = k1;
        pkOut[i + 2] = k2;
        pkOut[i + 3] = k3;
    }
    for (; i < usCount; ++i)
        pkOut[i] = kOp(pkIn[i]);
}
} // namespace

void NiTransformPointsGeneric(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiXform& kXform)
{
    if (!pkIn || !pkOut)
        return;
    for (std::uint32_t i = 0; i < usCount; ++i)
        pkOut[i] = kXform.m_kRotate.MultiplyVector(pkIn[i]) * kXform.m_fScale + kXform.m_kTranslate;
}

void NiRotateVectorsGeneric(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiMatrix3x3& kMatrix)
{
    if (!pkIn || !pkOut)
        return;
    for (std::uint32_t i = 0; i < usCount; ++i)
        pkOut[i] = kMatrix.MultiplyVector(pkIn[i]);
}

void NiTransformPointsTuned(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiXform& kXform)
{
    if (!pkIn || !pkOut)
        return;
    NiMatrix3x3 kScaled = kXform.m_kRotate.ScaleBy(kXform.m_fScale);
    NiVec3 kRow0 = kScaled.GetRow(0);
    NiVec3 kRow1 = kScaled.GetRow(1);
    NiVec3 kRow2 = kScaled.GetRow(2);
    NiVec3 kTranslate = kXform.m_kTranslate;
    FourAtATime(usCount, pkIn, pkOut,
                [&](const NiVec3& v) { return RowsTimes(kRow0, kRow1, kRow2, v) + kTranslate; });
}

void NiRotateVectorsTuned(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiMatrix3x3& kMatrix)
{
    if (!pkIn || !pkOut)
        return;
    NiVec3 kRow0 = kMatrix.GetRow(0);
    NiVec3 kRow1 = kMatrix.GetRow(1);
    NiVec3 kRow2 = kMatrix.GetRow(2);
    FourAtATime(usCount, pkIn, pkOut, [&](const NiVec3& v) { return RowsTimes(kRow0, kRow1, kRow2, v); });
}

void NiSelectBatchRoutines()
{
    NiDetectProcessor();
    s_pfnTransformPoints = &NiTransformPointsGeneric;
    s_pfnRotateVectors = &NiRotateVectorsGeneric;
    std::uint32_t uiClass = NiGetProcessorClass();
    if (uiClass >= NI_PROCESSOR_PLAIN && uiClass <= NI_PROCESSOR_3DNOW)
    {
        s_pfnTransformPoints = &NiTransformPointsTuned;
        s_pfnRotateVectors = &NiRotateVectorsTuned;
    }
}

NiTransformPointsRoutine NiGetTransformPointsRoutine()
{
    return s_pfnTransformPoints;
}

NiRotateVectorsRoutine NiGetRotateVectorsRoutine()
{
    return s_pfnRotateVectors;
}

void NiTransformPoints(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiXform& kXform)
{
    s_pfnTransformPoints(usCount, pkIn, pkOut, kXform);
}

void NiRotateVectors(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiMatrix3x3& kMatrix)
{
    s_pfnRotateVectors(usCount, pkIn, pkOut, kMatrix);
}

void NiBuildSqrtTable()
{
    if (s_spSqrtTable)
        return;
    std::unique_ptr<std::uint32_t[]> spTable(new (std::nothrow) std::uint32_t[SQRT_TABLE_SIZE]);
    if (!spTable)
        return;
    for (std::uint32_t i = 0; i < SQRT_TABLE_SIZE / 2; ++i)
    {
        float fMantissa = 1.0f + static_cast<float>(i) / 128.0f;
        // Even exponents take the root of the mantissa, odd ones the root of
        // twice it; both roots lie in [1, 2), so only the mantissa bits
        // are kept.
        spTable[i] = NiFloatBits(std::sqrt(fMantissa)) & MANTISSA_MASK;
        spTable[128 + i] = NiFloatBits(std::sqrt(2.0f * fMantissa)) & MANTISSA_MASK;
    }
    s_spSqrtTable = std::move(spTable);
}

void NiFreeSqrtTable()
{
    s_spSqrtTable.reset();
}

const std::uint32_t* NiGetSqrtTable()
{
    return s_spSqrtTable.get();
}

void NiResetBatchRoutines()
{
    NiFreeSqrtTable();
    NiResetProcessorInfo();
    s_pfnTransformPoints = &NiTransformPointsGeneric;
    s_pfnRotateVectors = &NiRotateVectorsGeneric;
}
