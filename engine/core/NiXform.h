#pragma once

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiVec3.h"

class NiByteStream;

// Rotation, translation and uniform scale: p' = s (R p) + T.
class NiXform
{
public:
    NiMatrix3x3 m_kRotate;
    NiVec3 m_kTranslate;
    float m_fScale = 1.0f;

    // Identity rotation, zero translation, scale 1.
    constexpr NiXform() = default;
    constexpr NiXform(const NiMatrix3x3& kRotate, const NiVec3& kTranslate, float fScale)
        : m_kRotate(kRotate), m_kTranslate(kTranslate), m_fScale(fScale)
    {
    }

    void MakeIdentity() { *this = NiXform(); }

    // this x other: other is applied first. Rotation R1 R2, translation
    // T1 + s1 (R1 T2), scale s1 s2.
    [[nodiscard]] NiXform Multiply(const NiXform& kOther) const;
    NiXform operator*(const NiXform& kOther) const { return Multiply(kOther); }
    // Rotation transpose(R), scale 1/s, translation -(1/s) (transpose(R) T).
    // The rotation is assumed orthonormal, as every engine transform's is.
    [[nodiscard]] NiXform Invert() const;
    // s (R p) + T.
    [[nodiscard]] NiVec3 TransformPoint(const NiVec3& kPoint) const;
    NiVec3 operator*(const NiVec3& kPoint) const { return TransformPoint(kPoint); }

    // Exact comparisons of all three parts.
    bool operator==(const NiXform& k) const
    {
        return m_kRotate == k.m_kRotate && m_kTranslate == k.m_kTranslate && m_fScale == k.m_fScale;
    }
    bool operator!=(const NiXform& k) const { return !(*this == k); }

    // Scene-file encoding: rotation (9), translation (3), scale (1). Writing
    // snaps the rotation itself first.
    [[nodiscard]] bool ReadFromStream(NiByteStream& kStream);
    bool WriteToStream(NiByteStream& kStream);
};
