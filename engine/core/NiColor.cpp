#include "engine/core/NiColor.h"

#include "engine/core/NiEndian.h"
#include "engine/core/NiViewerStrings.h"

#include <cmath>

bool NiColorRGBA::ReadFromStream(NiByteStream& kStream)
{
    float af[4];
    if (!NiReadLE(kStream, af, 4))
        return false;
    *this = NiColorRGBA(af[0], af[1], af[2], af[3]);
    return true;
}

bool NiColorRGBA::WriteToStream(NiByteStream& kStream) const
{
    const float af[4] = {r, g, b, a};
    return NiWriteLE(kStream, af, 4);
}

char* NiViewerColorRGB(const char* pcName, const NiColorRGB& k)
{
    return NiViewerFormat("%s = (%5.3f,%5.3f,%5.3f)", pcName ? pcName : "", static_cast<double>(k.r),
                        static_cast<double>(k.g), static_cast<double>(k.b));
}

char* NiViewerColorRGBA(const char* pcName, const NiColorRGBA& k)
{
    return NiViewerFormat("%s = (%5.3f,%5.3f,%5.3f,%5.3f)", pcName ? pcName : "", static_cast<double>(k.r),
                        static_cast<double>(k.g), static_cast<double>(k.b), static_cast<double>(k.a));
}

std::uint32_t NiColorChannelRounded(float f)
{
    const float fScaled = f * 255.0f; // single precision, as stored
    if (!(fScaled > 0.0f)) // NaN and negatives
        return 0;
    if (fScaled >= 255.0f)
        return 255;
    // Adding and taking away 1.5 x 2^23 leaves the nearest integer, ties to
    // even, without a call into the maths library.
    const float fShifted = fScaled + 12582912.0f;
    return static_cast<std::uint32_t>(fShifted - 12582912.0f);
}

std::uint32_t NiColorChannelTruncated(float f)
{
    const float fScaled = f * 255.0f;
    if (!(std::fabs(fScaled) < 2147483648.0f))
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(fScaled)) & 0xFF;
}
