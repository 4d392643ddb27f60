#pragma once

#include <cmath>
#include <cstdint>

class NiByteStream;

// Colours as floats, nominally 0..1 per channel. Plain values.
class NiColorRGB
{
public:
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;

    constexpr NiColorRGB() = default;
    constexpr NiColorRGB(float fR, float fG, float fB) : r(fR), g(fG), b(fB) {}

    constexpr bool operator==(const NiColorRGB& k) const { return r == k.r && g == k.g && b == k.b; }
    constexpr bool operator!=(const NiColorRGB& k) const { return !(*this == k); }
};

class NiColorRGBA
{
public:
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;

    constexpr NiColorRGBA() = default;
    constexpr NiColorRGBA(float fR, float fG, float fB, float fA) : r(fR), g(fG), b(fB), a(fA) {}

    // Opaque black (0, 0, 0, 1).
    static const NiColorRGBA BLACK;

    // Component-wise sum and scaling.
    [[nodiscard]] constexpr NiColorRGBA Add(const NiColorRGBA& k) const
    {
        return {r + k.r, g + k.g, b + k.b, a + k.a};
    }
    [[nodiscard]] constexpr NiColorRGBA Scale(float f) const { return {r * f, g * f, b * f, a * f}; }
    constexpr NiColorRGBA operator+(const NiColorRGBA& k) const { return Add(k); }
    constexpr NiColorRGBA operator*(float f) const { return Scale(f); }

    // All four exactly equal.
    constexpr bool operator==(const NiColorRGBA& k) const { return r == k.r && g == k.g && b == k.b && a == k.a; }
    constexpr bool operator!=(const NiColorRGBA& k) const { return !(*this == k); }

    // Scene-file encoding: r, g, b, a as little-endian floats.
    [[nodiscard]] bool ReadFromStream(NiByteStream& kStream);
    bool WriteToStream(NiByteStream& kStream) const;
};

inline constexpr NiColorRGBA NiColorRGBA::BLACK{0.0f, 0.0f, 0.0f, 1.0f};

// Viewer strings "%s = (%5.3f,%5.3f,%5.3f)" and "%s = (%5.3f,%5.3f,%5.3f,%5.3f)";
// new heap strings the caller frees with delete[].
[[nodiscard]] char* NiViewerColorRGB(const char* pcName, const NiColorRGB& kValue);
[[nodiscard]] char* NiViewerColorRGBA(const char* pcName, const NiColorRGBA& kValue);

// One channel of a device colour word (0xAARRGGBB) from a float nominally
// 0..1. Rounded: scaled by 255 in single precision and rounded to the
// nearest, ties to even; NaN and negatives give 0, 255 and above give 255.
[[nodiscard]] inline std::uint32_t NiColorChannelRounded(float f)
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

// Truncated: scaled by 255, cut toward zero and to its low 8 bits, as a
// plain integer conversion does; beyond the 32-bit range (and NaN) 0.
[[nodiscard]] inline std::uint32_t NiColorChannelTruncated(float f)
{
    const float fScaled = f * 255.0f;
    if (!(std::fabs(fScaled) < 2147483648.0f))
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(fScaled)) & 0xFF;
}

