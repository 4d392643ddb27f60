#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiQuat.h"
#include "engine/core/NiVec3.h"

#include <cstdint>

class NiObjectStream;

// File form of the values interpolators keep in their records: a float, a
// bool byte, three floats for a point, four for a colour (r, g, b, a) and
// four for a rotation (w, x, y, z). A short read is left to the stream to
// report; the value is then not to be relied on.
void NiReadAnimValue(NiObjectStream& kStream, float& fValue);
void NiReadAnimValue(NiObjectStream& kStream, std::uint8_t& ucValue);
void NiReadAnimValue(NiObjectStream& kStream, NiVec3& kValue);
void NiReadAnimValue(NiObjectStream& kStream, NiColorRGBA& kValue);
void NiReadAnimValue(NiObjectStream& kStream, NiQuat& kValue);

void NiWriteAnimValue(NiObjectStream& kStream, float fValue);
void NiWriteAnimValue(NiObjectStream& kStream, std::uint8_t ucValue);
void NiWriteAnimValue(NiObjectStream& kStream, const NiVec3& kValue);
void NiWriteAnimValue(NiObjectStream& kStream, const NiColorRGBA& kValue);
void NiWriteAnimValue(NiObjectStream& kStream, const NiQuat& kValue);
