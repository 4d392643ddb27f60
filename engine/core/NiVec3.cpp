#include "engine/core/NiVec3.h"

#include "engine/core/NiBatch.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiViewerStrings.h"

#include <cmath>
#include <cstring>

float NiVec3::Length() const
{
    return std::sqrt(SqrLength());
}

NiVec3 NiVec3::UnitCross(const NiVec3& k) const
{
    NiVec3 kCross = Cross(k);
    float fLength = kCross.Length();
    if (fLength < 1e-6f)
        return ZERO;
    return kCross * (1.0f / fLength);
}

float NiVec3::Normalize()
{
    float fLength = Length();
    if (fLength < 1e-6f)
    {
        *this = ZERO;
        return fLength;
    }
    *this *= 1.0f / fLength;
    return fLength;
}

namespace
{
// The reciprocal square root of x^2 + y^2 + z^2 taken from the table: the
// root's exponent is half the exponent of the sum, its mantissa the table
// entry picked by the sum's top 7 mantissa bits and its exponent's parity.
float TableInverseLength(float fX, float fY, float fZ, const std::uint32_t* puiTable)
{
    float fSquared = fX * fX + fY * fY + fZ * fZ;
    std::uint32_t uiBits = NiFloatBits(fSquared);
    if (uiBits == 0)
        return 0.0f;
    if (!puiTable)
        return 1.0f / std::sqrt(fSquared);

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

// Vectors may sit at any byte stride, so they are moved with memcpy rather
// than dereferenced as possibly misaligned NiVec3 objects.
void UnitizeAt(unsigned char* pucVector, const std::uint32_t* puiTable)
{
    float af[3];
    std::memcpy(af, pucVector, sizeof(af));
    float fFactor = TableInverseLength(af[0], af[1], af[2], puiTable);
    af[0] *= fFactor;
    af[1] *= fFactor;
    af[2] *= fFactor;
    std::memcpy(pucVector, af, sizeof(af));
}
} // namespace

void NiVec3::UnitizeArray(NiVec3* pkVectors, std::uint32_t uiCount, std::uint32_t uiStride)
{
    if (!pkVectors || uiCount == 0)
        return;
    const std::uint32_t* puiTable = NiGetSqrtTable();
    auto* pucVector = reinterpret_cast<unsigned char*>(pkVectors);
    std::uint32_t i = 0;
    for (; i + 4 <= uiCount; i += 4)
    {
        UnitizeAt(pucVector, puiTable);
        UnitizeAt(pucVector + uiStride, puiTable);
        UnitizeAt(pucVector + 2 * static_cast<std::size_t>(uiStride), puiTable);
        UnitizeAt(pucVector + 3 * static_cast<std::size_t>(uiStride), puiTable);
        pucVector += 4 * static_cast<std::size_t>(uiStride);
    }
    for (; i < uiCount; ++i)
    {
        UnitizeAt(pucVector, puiTable);
        pucVector += uiStride;
    }
}

void NiVec3::AddScaledArray(NiVec3* pkDest, float fScale, const NiVec3* pkSource, std::uint32_t uiCount)
{
    if (!pkDest || !pkSource)
        return;
    std::uint32_t i = 0;
    for (; i + 4 <= uiCount; i += 4)
    {
        pkDest[i] += pkSource[i] * fScale;
        pkDest[i + 1] += pkSource[i + 1] * fScale;
        pkDest[i + 2] += pkSource[i + 2] * fScale;
        pkDest[i + 3] += pkSource[i + 3] * fScale;
    }
    for (; i < uiCount; ++i)
        pkDest[i] += pkSource[i] * fScale;
}

bool NiVec3::ReadFromStream(NiByteStream& kStream)
{
    float af[3];
    if (!NiReadLE(kStream, af, 3))
        return false;
    x = af[0];
    y = af[1];
    z = af[2];
    return true;
}

bool NiVec3::WriteToStream(NiByteStream& kStream) const
{
    const float af[3] = {x, y, z};
    return NiWriteLE(kStream, af, 3);
}

char* NiViewerVec3(const char* pcName, const NiVec3& kValue)
{
    return NiViewerFormat("%s = (%g,%g,%g)", pcName ? pcName : "", static_cast<double>(kValue.x),
                        static_cast<double>(kValue.y), static_cast<double>(kValue.z));
}
