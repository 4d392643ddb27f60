#pragma once

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiVec2.h"

#include <cstdint>

class NiObjectStream;

// The optional 2-D transform of one texture map, owned by the map.
class NiTextureTransform
{
public:
    NiTextureTransform() = default;

    [[nodiscard]] const NiVec2& GetTranslate() const { return m_kTranslate; }
    void SetTranslate(const NiVec2& k) { m_kTranslate = k, m_bMatrixDirty = true; }
    [[nodiscard]] float GetRotate() const { return m_fRotate; }
    void SetRotate(float f) { m_fRotate = f, m_bMatrixDirty = true; }
    [[nodiscard]] const NiVec2& GetScale() const { return m_kScale; }
    void SetScale(const NiVec2& k) { m_kScale = k, m_bMatrixDirty = true; }
    [[nodiscard]] const NiVec2& GetCenter() const { return m_kCenter; }
    void SetCenter(const NiVec2& k) { m_kCenter = k, m_bMatrixDirty = true; }
    [[nodiscard]] std::uint32_t GetTransformMethod() const { return m_eMethod; }
    void SetTransformMethod(std::uint32_t e) { m_eMethod = e, m_bMatrixDirty = true; }
    [[nodiscard]] bool IsMatrixDirty() const { return m_bMatrixDirty; }

    // Record: translation, scale, rotation, method, centre.
    void LoadBinary(NiObjectStream& kStream);
    void SaveBinary(NiObjectStream& kStream) const;

    bool operator==(const NiTextureTransform& k) const;
    bool operator!=(const NiTextureTransform& k) const { return !(*this == k); }

private:
    NiVec2 m_kTranslate{0.0f, 0.0f};
    float m_fRotate = 0.0f;
    NiVec2 m_kScale{1.0f, 1.0f};
    NiVec2 m_kCenter{0.5f, 0.5f};
    std::uint32_t m_eMethod = 0;
    NiMatrix3x3 m_kMatrix;
    bool m_bMatrixDirty = true;
};
