#pragma once

#include "engine/core/NiVec3.h"

// A plane: the points p with normal . p = constant. The default plane has a
// zero normal and constant 0.
class NiPlane
{
public:
    NiVec3 m_kNormal;
    float m_fConstant = 0.0f;

    constexpr NiPlane() = default;
    constexpr NiPlane(const NiVec3& kNormal, float fConstant) : m_kNormal(kNormal), m_fConstant(fConstant) {}
    // The plane with this normal through kPoint.
    constexpr NiPlane(const NiVec3& kNormal, const NiVec3& kPoint)
        : m_kNormal(kNormal), m_fConstant(kNormal.Dot(kPoint))
    {
    }

    // normal . p - constant: positive on the side the normal points to.
    [[nodiscard]] constexpr float Distance(const NiVec3& kPoint) const { return m_kNormal.Dot(kPoint) - m_fConstant; }

    bool operator==(const NiPlane& k) const { return m_kNormal == k.m_kNormal && m_fConstant == k.m_fConstant; }
    bool operator!=(const NiPlane& k) const { return !(*this == k); }

    // "(%g,%g,%g), %g" (normal, constant). The label is accepted for symmetry
    // with the other viewer formatters but is not part of the text. A new
    // heap string the caller frees with delete[].
    [[nodiscard]] char* GetViewerString(const char* pcLabel) const;
};
