#include "engine/core/NiVec2.h"

#include "engine/core/NiEndian.h"

bool NiVec2::ReadFromStream(NiByteStream& kStream)
{
    float af[2];
    if (!NiReadLE(kStream, af, 2))
        return false;
    x = af[0];
    y = af[1];
    return true;
}

bool NiVec2::WriteToStream(NiByteStream& kStream) const
{
    const float af[2] = {x, y};
    return NiWriteLE(kStream, af, 2);
}
