#pragma once

#include "engine/core/NiMatrix3x3.h"
#include "engine/core/NiVec2.h"

#include <cstdint>

class NiObjectStream;

// The optional 2-D transform of one texture map, owned by the map: its
// values and the 3 x 3 matrix built from them, rebuilt when asked for after
// a change.
class NiTextureTransform
{
public:
    // Bytes of the stored form.
    static constexpr std::uint32_t RECORD_SIZE = 32;

    // Translation (0, 0), no rotation, scale (1, 1) about (0.5, 0.5),
    // method 0; the matrix is built on first request.
    NiTextureTransform() = default;
    // Stores the values and builds the matrix.
    NiTextureTransform(const NiVec2& kTranslate, float fRotate, const NiVec2& kScale, const NiVec2& kCenter,
                       std::uint32_t uiMethod);

    // The transform every map without its own uses; its matrix is the
    // identity.
    [[nodiscard]] static const NiTextureTransform& GetDefault();

    [[nodiscard]] const NiVec2& GetTranslate() const { return m_kTranslate; }
    void SetTranslate(const NiVec2& k) { m_kTranslate = k, m_bMatrixDirty = true; }
    [[nodiscard]] float GetRotate() const { return m_fRotate; }
    void SetRotate(float f) { m_fRotate = f, m_bMatrixDirty = true; }
    [[nodiscard]] const NiVec2& GetScale() const { return m_kScale; }
    void SetScale(const NiVec2& k) { m_kScale = k, m_bMatrixDirty = true; }
    [[nodiscard]] const NiVec2& GetCenter() const { return m_kCenter; }
    void SetCenter(const NiVec2& k) { m_kCenter = k, m_bMatrixDirty = true; }
    // 0 and 1 select the two formulas; any other method leaves the matrix
    // as it was.
    [[nodiscard]] std::uint32_t GetTransformMethod() const { return m_eMethod; }
    void SetTransformMethod(std::uint32_t e) { m_eMethod = e, m_bMatrixDirty = true; }
    [[nodiscard]] bool IsMatrixDirty() const { return m_bMatrixDirty; }

    // Rebuilt first when a value changed since the last build.
    [[nodiscard]] const NiMatrix3x3& GetMatrix() const;
    void UpdateMatrix() const;

    // Translation, scale, rotation, method, centre; reading marks the matrix
    // out of date.
    void ReadFromStream(NiObjectStream& kStream);
    void WriteToStream(NiObjectStream& kStream) const;
    // The texture map's names for the same.
    void LoadBinary(NiObjectStream& kStream) { ReadFromStream(kStream); }
    void SaveBinary(NiObjectStream& kStream) const { WriteToStream(kStream); }

    // The values, not the cached matrix.
    [[nodiscard]] bool IsEqual(const NiTextureTransform& k) const;
    bool operator==(const NiTextureTransform& k) const { return IsEqual(k); }
    bool operator!=(const NiTextureTransform& k) const { return !IsEqual(k); }

private:
    NiVec2 m_kTranslate{0.0f, 0.0f};
    float m_fRotate = 0.0f;
    NiVec2 m_kScale{1.0f, 1.0f};
    NiVec2 m_kCenter{0.5f, 0.5f};
    // A cache of the values: starts as the identity, so a method that builds
    // nothing never leaves it undefined.
    mutable bool m_bMatrixDirty = true;
    mutable NiMatrix3x3 m_kMatrix;
    std::uint32_t m_eMethod = 0;
};
