#pragma once

#include <cstdint>

class NiByteStream;

// A 2-vector of floats (texture coordinates, screen positions). Plain value.
class NiVec2
{
public:
    float x = 0.0f;
    float y = 0.0f;

    constexpr NiVec2() = default;
    constexpr NiVec2(float fX, float fY) : x(fX), y(fY) {}

    // Exact comparisons: used to detect changed values, not to compare
    // results of arithmetic.
    constexpr bool operator==(const NiVec2& k) const { return x == k.x && y == k.y; }
    constexpr bool operator!=(const NiVec2& k) const { return x != k.x || y != k.y; }

    constexpr NiVec2 operator+(const NiVec2& k) const { return {x + k.x, y + k.y}; }
    constexpr NiVec2 operator-(const NiVec2& k) const { return {x - k.x, y - k.y}; }
    constexpr NiVec2 operator*(float f) const { return {x * f, y * f}; }
    constexpr NiVec2 operator-() const { return {-x, -y}; }

    // Scene-file encoding: x, y as little-endian floats.
    [[nodiscard]] bool ReadFromStream(NiByteStream& kStream);
    bool WriteToStream(NiByteStream& kStream) const;
};
