#pragma once

#include "engine/core/NiMathConstants.h"
#include "engine/core/NiObject.h"
#include "engine/core/NiQuat.h"
#include "engine/core/NiVec3.h"

#include <cstdint>

class NiByteStream;

// A transform value as animation produces it: translation, rotation and a
// uniform scale, each part valid or not on its own (an invalid part has
// -FLT_MAX in its marker component: translation x, rotation x, scale).
class NiQuatTransform
{
public:
    NiVec3 m_kTranslate{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};
    NiQuat m_kRotate{NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT, NI_MIN_FLOAT};
    float m_fScale = NI_MIN_FLOAT;

    NiQuatTransform() = default;
    NiQuatTransform(const NiVec3& kTranslate, const NiQuat& kRotate, float fScale)
        : m_kTranslate(kTranslate), m_kRotate(kRotate), m_fScale(fScale)
    {
    }

    static const NiQuatTransform INVALID;

    [[nodiscard]] bool IsTranslateValid() const { return m_kTranslate.x != NI_MIN_FLOAT; }
    [[nodiscard]] bool IsRotateValid() const { return m_kRotate.x != NI_MIN_FLOAT; }
    [[nodiscard]] bool IsScaleValid() const { return m_fScale != NI_MIN_FLOAT; }
    [[nodiscard]] bool IsTransformInvalid() const
    {
        return !IsTranslateValid() && !IsRotateValid() && !IsScaleValid();
    }
    void MakeTranslateInvalid() { m_kTranslate.x = NI_MIN_FLOAT; }
    void MakeRotateInvalid() { m_kRotate.x = NI_MIN_FLOAT; }
    void MakeScaleInvalid() { m_fScale = NI_MIN_FLOAT; }
    // Marks all three parts invalid; the other components keep their values.
    void MakeInvalid()
    {
        MakeTranslateInvalid();
        MakeRotateInvalid();
        MakeScaleInvalid();
    }

    bool operator==(const NiQuatTransform& k) const
    {
        return m_kTranslate == k.m_kTranslate && m_kRotate == k.m_kRotate && m_fScale == k.m_fScale;
    }
    bool operator!=(const NiQuatTransform& k) const { return !(*this == k); }

    // A applied after B. The translation of B is scaled by both scales:
    // stored animations were authored against exactly this.
    [[nodiscard]] static NiQuatTransform Compose(const NiQuatTransform& kA, const NiQuatTransform& kB);
    // Part by part, translations simply added.
    [[nodiscard]] static NiQuatTransform ComposeParts(const NiQuatTransform& kA, const NiQuatTransform& kB);
    [[nodiscard]] NiQuatTransform Invert() const;
    [[nodiscard]] NiQuatTransform InvertParts() const;

    // File record: translation, rotation (w, x, y, z), scale; files before
    // 10.1.0.110 follow with one validity byte per part.
    [[nodiscard]] bool LoadBinary(NiByteStream& kStream, std::uint32_t uiVersion);
    bool SaveBinary(NiByteStream& kStream) const;

    void AppendViewerStrings(NiViewerStringArray& kStrings) const;
};
