#pragma once

#include <cstdint>

class NiByteStream;

// A 3-vector of floats: positions, directions, normals. Plain value.
class NiVec3
{
public:
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr NiVec3() = default;
    constexpr NiVec3(float fX, float fY, float fZ) : x(fX), y(fY), z(fZ) {}

    // The process-wide zero vector: default translation and centre.
    static const NiVec3 ZERO;
    static const NiVec3 UNIT_X;
    static const NiVec3 UNIT_Y;
    static const NiVec3 UNIT_Z;

    // Exact comparisons.
    constexpr bool operator==(const NiVec3& k) const { return x == k.x && y == k.y && z == k.z; }
    constexpr bool operator!=(const NiVec3& k) const { return !(*this == k); }

    constexpr NiVec3 operator+(const NiVec3& k) const { return {x + k.x, y + k.y, z + k.z}; }
    constexpr NiVec3 operator-(const NiVec3& k) const { return {x - k.x, y - k.y, z - k.z}; }
    constexpr NiVec3 operator*(float f) const { return {x * f, y * f, z * f}; }
    constexpr NiVec3 operator/(float f) const { return {x / f, y / f, z / f}; }
    constexpr NiVec3 operator-() const { return {-x, -y, -z}; }
    friend constexpr NiVec3 operator*(float f, const NiVec3& k) { return k * f; }
    NiVec3& operator+=(const NiVec3& k)
    {
        x += k.x;
        y += k.y;
        z += k.z;
        return *this;
    }
    NiVec3& operator-=(const NiVec3& k)
    {
        x -= k.x;
        y -= k.y;
        z -= k.z;
        return *this;
    }
    NiVec3& operator*=(float f)
    {
        x *= f;
        y *= f;
        z *= f;
        return *this;
    }

    [[nodiscard]] constexpr float Dot(const NiVec3& k) const { return x * k.x + y * k.y + z * k.z; }
    [[nodiscard]] constexpr float SqrLength() const { return x * x + y * y + z * z; }
    [[nodiscard]] float Length() const;
    // (y oz - z oy, z ox - x oz, x oy - y ox).
    [[nodiscard]] constexpr NiVec3 Cross(const NiVec3& k) const
    {
        return {y * k.z - z * k.y, z * k.x - x * k.z, x * k.y - y * k.x};
    }
    // The normalised cross product; the zero vector when the cross product is
    // shorter than 1e-6, so nearly parallel inputs give no direction at all.
    [[nodiscard]] NiVec3 UnitCross(const NiVec3& k) const;
    // Scales to unit length and returns the old length; a vector shorter than
    // 1e-6 becomes the zero vector.
    float Normalize();

    // Normalises uiCount vectors laid out uiStride bytes apart, in place,
    // through the square-root table (about 1 part in 256); the zero vector
    // stays zero, the bytes between vectors are not touched.
    static void UnitizeArray(NiVec3* pkVectors, std::uint32_t uiCount, std::uint32_t uiStride);
    // pkDest[i] += fScale * pkSource[i] for uiCount vectors.
    static void AddScaledArray(NiVec3* pkDest, float fScale, const NiVec3* pkSource, std::uint32_t uiCount);

    // Scene-file encoding: x, y, z as little-endian floats.
    [[nodiscard]] bool ReadFromStream(NiByteStream& kStream);
    bool WriteToStream(NiByteStream& kStream) const;
};

inline constexpr NiVec3 NiVec3::ZERO{0.0f, 0.0f, 0.0f};
inline constexpr NiVec3 NiVec3::UNIT_X{1.0f, 0.0f, 0.0f};
inline constexpr NiVec3 NiVec3::UNIT_Y{0.0f, 1.0f, 0.0f};
inline constexpr NiVec3 NiVec3::UNIT_Z{0.0f, 0.0f, 1.0f};

// Viewer string "%s = (%g,%g,%g)"; a new heap string the caller frees with
// delete[].
[[nodiscard]] char* NiViewerVec3(const char* pcName, const NiVec3& kValue);
