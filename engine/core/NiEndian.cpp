#include "engine/core/NiEndian.h"

#include "engine/core/NiByteStream.h"

namespace
{
template <int N>
bool ReadBytes(NiByteStream& kStream, std::uint8_t (&ab)[N])
{
    return kStream.Read(ab, N) == N;
}
} // namespace

bool NiReadLE(NiByteStream& kStream, std::uint8_t& v)
{
    std::uint8_t ab[1];
    if (!ReadBytes(kStream, ab))
        return false;
    v = ab[0];
    return true;
}

bool NiReadLE(NiByteStream& kStream, std::int8_t& v)
{
    std::uint8_t u;
    if (!NiReadLE(kStream, u))
        return false;
    v = static_cast<std::int8_t>(u);
    return true;
}

bool NiReadLE(NiByteStream& kStream, std::uint16_t& v)
{
    std::uint8_t ab[2];
    if (!ReadBytes(kStream, ab))
        return false;
    v = NiGetLE16(ab);
    return true;
}

bool NiReadLE(NiByteStream& kStream, std::int16_t& v)
{
    std::uint16_t u;
    if (!NiReadLE(kStream, u))
        return false;
    v = static_cast<std::int16_t>(u);
    return true;
}

bool NiReadLE(NiByteStream& kStream, std::uint32_t& v)
{
    std::uint8_t ab[4];
    if (!ReadBytes(kStream, ab))
        return false;
    v = NiGetLE32(ab);
    return true;
}

bool NiReadLE(NiByteStream& kStream, std::int32_t& v)
{
    std::uint32_t u;
    if (!NiReadLE(kStream, u))
        return false;
    v = static_cast<std::int32_t>(u);
    return true;
}

bool NiReadLE(NiByteStream& kStream, float& v)
{
    std::uint32_t u;
    if (!NiReadLE(kStream, u))
        return false;
    v = NiBitsFloat(u);
    return true;
}

bool NiReadLE(NiByteStream& kStream, float* pv, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i)
    {
        if (!NiReadLE(kStream, pv[i]))
            return false;
    }
    return true;
}

bool NiWriteLE(NiByteStream& kStream, std::uint8_t v)
{
    return kStream.Write(&v, 1) == 1;
}

bool NiWriteLE(NiByteStream& kStream, std::int8_t v)
{
    return NiWriteLE(kStream, static_cast<std::uint8_t>(v));
}

bool NiWriteLE(NiByteStream& kStream, std::uint16_t v)
{
    std::uint8_t ab[2];
    NiPutLE16(ab, v);
    return kStream.Write(ab, 2) == 2;
}

bool NiWriteLE(NiByteStream& kStream, std::int16_t v)
{
    return NiWriteLE(kStream, static_cast<std::uint16_t>(v));
}

bool NiWriteLE(NiByteStream& kStream, std::uint32_t v)
{
    std::uint8_t ab[4];
    NiPutLE32(ab, v);
    return kStream.Write(ab, 4) == 4;
}

bool NiWriteLE(NiByteStream& kStream, std::int32_t v)
{
    return NiWriteLE(kStream, static_cast<std::uint32_t>(v));
}

bool NiWriteLE(NiByteStream& kStream, float v)
{
    return NiWriteLE(kStream, NiFloatBits(v));
}

bool NiWriteLE(NiByteStream& kStream, const float* pv, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i)
    {
        if (!NiWriteLE(kStream, pv[i]))
            return false;
    }
    return true;
}
