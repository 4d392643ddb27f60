#include "engine/animation/NiAnimValueStream.h"

#include "engine/core/NiObjectStream.h"

void NiReadAnimValue(NiObjectStream& kStream, float& fValue)
{
    (void)kStream.ReadLE(fValue);
}

void NiReadAnimValue(NiObjectStream& kStream, std::uint8_t& ucValue)
{
    (void)kStream.ReadLE(ucValue);
}

void NiReadAnimValue(NiObjectStream& kStream, NiVec3& kValue)
{
    float af[3];
    if (kStream.ReadLE(af, 3))
        kValue = NiVec3(af[0], af[1], af[2]);
}

void NiReadAnimValue(NiObjectStream& kStream, NiColorRGBA& kValue)
{
    float af[4];
    if (kStream.ReadLE(af, 4))
        kValue = NiColorRGBA(af[0], af[1], af[2], af[3]);
}

void NiReadAnimValue(NiObjectStream& kStream, NiQuat& kValue)
{
    float af[4];
    if (kStream.ReadLE(af, 4))
        kValue = NiQuat(af[0], af[1], af[2], af[3]);
}

void NiWriteAnimValue(NiObjectStream& kStream, float fValue)
{
    kStream.WriteLE(fValue);
}

void NiWriteAnimValue(NiObjectStream& kStream, std::uint8_t ucValue)
{
    kStream.WriteLE(ucValue);
}

void NiWriteAnimValue(NiObjectStream& kStream, const NiVec3& kValue)
{
    const float af[3] = {kValue.x, kValue.y, kValue.z};
    kStream.WriteLE(af, 3);
}

void NiWriteAnimValue(NiObjectStream& kStream, const NiColorRGBA& kValue)
{
    const float af[4] = {kValue.r, kValue.g, kValue.b, kValue.a};
    kStream.WriteLE(af, 4);
}

void NiWriteAnimValue(NiObjectStream& kStream, const NiQuat& kValue)
{
    const float af[4] = {kValue.w, kValue.x, kValue.y, kValue.z};
    kStream.WriteLE(af, 4);
}
