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
// Vectors may sit at any byte stride, so they are moved with memcpy rather
// than dereferenced as possibly misaligned NiVec3 objects.
void UnitizeAt(unsigned char* pucVector, const std::uint32_t* puiTable)
{
    float af[3];
    std::memcpy(af, pucVector, sizeof(af));
    float fFactor = NiTableInverseLength(af[0], af[1], af[2], puiTable);
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
