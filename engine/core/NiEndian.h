#pragma once

// The little-endian helpers: every stored record goes through these, field by
// field, so files are the same bytes on any host and nothing casts structs.

#include <cstdint>
#include <cstring>

class NiByteStream;

// Byte-buffer encoders/decoders (no bounds checks: callers size the buffer).
inline void NiPutLE16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void NiPutLE32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline std::uint16_t NiGetLE16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t NiGetLE32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t NiFloatBits(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}
inline float NiBitsFloat(std::uint32_t u)
{
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// Stream readers: true only when every byte arrived; the value is left
// unchanged on a short read.
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, std::uint8_t& v);
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, std::int8_t& v);
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, std::uint16_t& v);
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, std::int16_t& v);
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, std::uint32_t& v);
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, std::int32_t& v);
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, float& v);
// Reads n floats in a row (n * 4 bytes).
[[nodiscard]] bool NiReadLE(NiByteStream& kStream, float* pv, std::uint32_t n);

// Stream writers: true only when every byte was accepted.
bool NiWriteLE(NiByteStream& kStream, std::uint8_t v);
bool NiWriteLE(NiByteStream& kStream, std::int8_t v);
bool NiWriteLE(NiByteStream& kStream, std::uint16_t v);
bool NiWriteLE(NiByteStream& kStream, std::int16_t v);
bool NiWriteLE(NiByteStream& kStream, std::uint32_t v);
bool NiWriteLE(NiByteStream& kStream, std::int32_t v);
bool NiWriteLE(NiByteStream& kStream, float v);
bool NiWriteLE(NiByteStream& kStream, const float* pv, std::uint32_t n);
