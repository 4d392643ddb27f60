#pragma once

#include "engine/core/NiMathConstants.h"

class NiByteStream;
class NiMatrix3x3;

// Quaternion (w, x, y, z), in that order in memory and in files. Rotation
// keys of the animation system; a unit quaternion q corresponds to the
// matrix built by ToRotation, and FromRotation inverts that up to sign.
class NiQuat
{
public:
    float w = 1.0f;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    // The identity (1, 0, 0, 0).
    constexpr NiQuat() = default;
    constexpr NiQuat(float fW, float fX, float fY, float fZ) : w(fW), x(fX), y(fY), z(fZ) {}

    static const NiQuat IDENTITY;
    // Sentinels of the animation code: all four components the most negative
    // finite float, a value no rotation key ever holds. One marks an unset
    // rotation of a transform, the other an unset interpolated quaternion.
    static const NiQuat INVALID_ROTATION;
    static const NiQuat INVALID_QUATERNION;

    // Component-wise.
    [[nodiscard]] static constexpr NiQuat Add(const NiQuat& p, const NiQuat& q)
    {
        return {p.w + q.w, p.x + q.x, p.y + q.y, p.z + q.z};
    }
    [[nodiscard]] static constexpr NiQuat Subtract(const NiQuat& p, const NiQuat& q)
    {
        return {p.w - q.w, p.x - q.x, p.y - q.y, p.z - q.z};
    }
    [[nodiscard]] constexpr NiQuat Negate() const { return {-w, -x, -y, -z}; }
    // (w, -x, -y, -z).
    [[nodiscard]] constexpr NiQuat Conjugate() const { return {w, -x, -y, -z}; }
    [[nodiscard]] constexpr NiQuat ScaleBy(float s) const { return {w * s, x * s, y * s, z * s}; }
    // Four-component dot product.
    [[nodiscard]] static constexpr float Dot(const NiQuat& p, const NiQuat& q)
    {
        return p.w * q.w + p.x * q.x + p.y * q.y + p.z * q.z;
    }
    // Hamilton product p q.
    [[nodiscard]] static constexpr NiQuat Multiply(const NiQuat& p, const NiQuat& q)
    {
        return {p.w * q.w - p.x * q.x - p.y * q.y - p.z * q.z,
                p.w * q.x + p.x * q.w + p.y * q.z - p.z * q.y,
                p.w * q.y + p.y * q.w + p.z * q.x - p.x * q.z,
                p.w * q.z + p.z * q.w + p.x * q.y - p.y * q.x};
    }

    constexpr NiQuat operator+(const NiQuat& q) const { return Add(*this, q); }
    constexpr NiQuat operator-(const NiQuat& q) const { return Subtract(*this, q); }
    constexpr NiQuat operator-() const { return Negate(); }
    constexpr NiQuat operator*(const NiQuat& q) const { return Multiply(*this, q); }
    constexpr NiQuat operator*(float s) const { return ScaleBy(s); }
    friend constexpr NiQuat operator*(float s, const NiQuat& q) { return q.ScaleBy(s); }

    // Exact comparisons of the four floats.
    constexpr bool operator==(const NiQuat& q) const
    {
        return w == q.w && x == q.x && y == q.y && z == q.z;
    }
    constexpr bool operator!=(const NiQuat& q) const { return !(*this == q); }

    // Divides by the length. A zero quaternion is left as it is.
    void Normalize();
    // Scales towards unit length with a linear approximation of 1/sqrt and
    // up to two Newton steps; exact enough for interpolated keys, no sqrt.
    void FastNormalize();
    // Components with magnitude <= 1e-8 become 0.
    void SnapTinyToZero();

    // From a rotation matrix (trace method; the largest diagonal element when
    // the trace is not positive).
    void FromRotation(const NiMatrix3x3& kMatrix);
    // The matrix of a unit quaternion, in the engine's (transposed)
    // convention, so FromRotation(ToRotation(q)) gives q up to sign.
    void ToRotation(NiMatrix3x3& kMatrix) const;

    // Log of a unit quaternion: (0, f x, f y, f z) with a = acos(w) and
    // f = a / sin(a), f = 1 when |sin(a)| < 0.001.
    [[nodiscard]] static NiQuat Log(const NiQuat& q);
    // Exp of a pure quaternion (w ignored): (cos a, f x, f y, f z) with
    // a = |(x, y, z)|, f = sin(a) / a, f = 1 when |sin(a)| < 0.001.
    [[nodiscard]] static NiQuat Exp(const NiQuat& q);
    // Fast approximate spherical interpolation from p (t = 0) to q (t = 1).
    // No sign flip when p . q < 0: keeping keys in one hemisphere is the
    // caller's concern.
    [[nodiscard]] static NiQuat Slerp(float t, const NiQuat& p, const NiQuat& q);
    // Spherical cubic through keys p, q with control points a, b.
    [[nodiscard]] static NiQuat Squad(float t, const NiQuat& p, const NiQuat& a, const NiQuat& b, const NiQuat& q);
    // The squad control point of current between its neighbours.
    [[nodiscard]] static NiQuat Intermediate(const NiQuat& kPrevious, const NiQuat& kCurrent, const NiQuat& kNext);

    // Scene-file encoding: w, x, y, z as little-endian floats. Writing snaps
    // this quaternion itself first.
    [[nodiscard]] bool ReadFromStream(NiByteStream& kStream);
    bool WriteToStream(NiByteStream& kStream);
};

inline constexpr NiQuat NiQuat::IDENTITY{1.0f, 0.0f, 0.0f, 0.0f};
inline constexpr NiQuat NiQuat::INVALID_ROTATION{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};
inline constexpr NiQuat NiQuat::INVALID_QUATERNION{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};

// Viewer string "%s: (w=%g,x=%g,y=%g,z=%g)"; a new heap string the caller
// frees with delete[].
[[nodiscard]] char* NiViewerQuat(const char* pcName, const NiQuat& kValue);

// Slerp, Squad and FastNormalize are inline: animation evaluates them for
// every rotation channel every frame, and a quaternion returned from a call
// comes back in two halves that the caller joins through memory.
namespace NiQuatDetail
{
// Linear approximation of 1/sqrt(v) about s0.
inline float ApproxInverseRoot(float v)
{
    return NI_FAST_SLERP_K1 + NI_FAST_SLERP_K2 * (v - NI_FAST_SLERP_S0);
}
} // namespace NiQuatDetail

inline void NiQuat::FastNormalize()
{
    float fSquared = Dot(*this, *this);
    float u = NiQuatDetail::ApproxInverseRoot(fSquared);
    if (fSquared <= NI_FAST_SLERP_REFINE_1)
    {
        u *= NiQuatDetail::ApproxInverseRoot(u * u * fSquared);
        if (fSquared <= NI_FAST_SLERP_REFINE_2)
            u *= NiQuatDetail::ApproxInverseRoot(u * u * fSquared);
    }
    *this = ScaleBy(u);
}

inline NiQuat NiQuat::Slerp(float t, const NiQuat& p, const NiQuat& q)
{
    // A renormalised chord point lags near the ends and runs ahead in the
    // middle; this cubic in t, weighted by how far apart p and q are,
    // corrects the parameter before the chord point is renormalised.
    float d = Dot(p, q);
    float e = 1.0f - NI_FAST_SLERP_ATTENUATION * d;
    float fCorrected;
    if (t > 0.5f)
    {
        float s = 1.0f - t;
        fCorrected = 1.0f - s * (e * e * NI_FAST_SLERP_CORRECTION * ((2.0f * s - 3.0f) * s + 1.0f) + 1.0f);
    }
    else
    {
        fCorrected = t * (e * e * NI_FAST_SLERP_CORRECTION * ((2.0f * t - 3.0f) * t + 1.0f) + 1.0f);
    }
    NiQuat r = p + (q - p) * fCorrected;
    r.FastNormalize();
    return r;
}

inline NiQuat NiQuat::Squad(float t, const NiQuat& p, const NiQuat& a, const NiQuat& b, const NiQuat& q)
{
    return Slerp(2.0f * t * (1.0f - t), Slerp(t, p, q), Slerp(t, a, b));
}
