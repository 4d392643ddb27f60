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

