#pragma once

#include "engine/core/NiEndian.h"

#include <cmath>
#include <cstdint>

class NiMatrix3x3;
class NiVec3;
class NiXform;

// Batch routines over arrays of 3-vectors. Start-up builds the square-root
// table, detects the processor and installs one routine pair in the two
// slots; shut-down frees the table.

// out[i] = s (R in[i]) + T.
using NiTransformPointsRoutine = void (*)(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut,
                                          const NiXform& kXform);
// out[i] = M in[i].
using NiRotateVectorsRoutine = void (*)(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut,
                                        const NiMatrix3x3& kMatrix);

// The generic pair computes s (R p) + T per point; the tuned pair folds the
// scale into the rotation once and works four points at a time. Both accept
// pkOut == pkIn.
void NiTransformPointsGeneric(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiXform& kXform);
void NiRotateVectorsGeneric(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiMatrix3x3& kMatrix);
void NiTransformPointsTuned(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiXform& kXform);
void NiRotateVectorsTuned(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiMatrix3x3& kMatrix);

// Detects the processor if that has not happened, installs the generic pair,
// and the tuned pair instead when the processor class is 1 to 6.
void NiSelectBatchRoutines();
// The installed routines (the generic pair until a selection is made).
[[nodiscard]] NiTransformPointsRoutine NiGetTransformPointsRoutine();
[[nodiscard]] NiRotateVectorsRoutine NiGetRotateVectorsRoutine();
// Calls through the slots.
void NiTransformPoints(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiXform& kXform);
void NiRotateVectors(std::uint16_t usCount, const NiVec3* pkIn, NiVec3* pkOut, const NiMatrix3x3& kMatrix);

// The 256-entry square-root table used by NiVec3::UnitizeArray: entry i
// (0..127) holds the 23 mantissa bits of sqrt(1 + i/128), entry 128 + i those
// of sqrt(2 (1 + i/128)). Building when built already does nothing.
void NiBuildSqrtTable();
void NiFreeSqrtTable();
// Null while no table is built; UnitizeArray then normalises exactly.
[[nodiscard]] const std::uint32_t* NiGetSqrtTable();

// The factor UnitizeArray scales (x, y, z) by: 1 / length with the root's
// mantissa from the table (exact without one), 0 for the zero vector.
// Inline because skinning runs it once per vertex.
inline float NiTableInverseLength(float fX, float fY, float fZ, const std::uint32_t* puiTable)
{
    float fSquared = fX * fX + fY * fY + fZ * fZ;
    std::uint32_t uiBits = NiFloatBits(fSquared);
    if (uiBits == 0)
        return 0.0f;
    if (!puiTable)
        return 1.0f / std::sqrt(fSquared);

    // The root's exponent is half the exponent of the sum, its mantissa the
    // table entry picked by the sum's top 7 mantissa bits and its exponent's
    // parity.
    auto iExponent = static_cast<std::int16_t>(static_cast<std::int32_t>(uiBits >> 23) - 127);
    std::uint32_t uiMantissa = uiBits & 0x7FFFFFu;
    if (iExponent & 1)
        uiMantissa |= 0x800000u;
    std::uint32_t uiIndex = (uiMantissa >> 16) & 0xFFu;

    // An arithmetic shift: an odd exponent 2k+1 (negative ones included)
    // gives k, the odd half of the table supplying the sqrt(2).
    std::int32_t iRootExponent = iExponent >> 1;
    std::uint32_t uiRootBits = (static_cast<std::uint32_t>(iRootExponent + 127) << 23) | puiTable[uiIndex];
    return 1.0f / NiBitsFloat(uiRootBits);
}

// Frees the table, forgets the processor detection and puts the generic pair
// back in the slots; for tests.
void NiResetBatchRoutines();
