#pragma once

#include "engine/core/NiColor.h"
#include "engine/scene/NiProperty.h"

#include <cstdint>

class NiFogProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFogProperty)

public:
    enum FogFunction : std::uint16_t
    {
        FOG_Z_LINEAR = 0,
        FOG_RANGE_SQ = 1,
        FOG_VERTEX_ALPHA = 2,
    };

    NiFogProperty() = default;
    static NiObject* CreateObject() { return new NiFogProperty; }
    [[nodiscard]] int GetType() const override { return FOG; }

    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    void SetFlags(std::uint16_t u) { m_uFlags = u; }
    [[nodiscard]] bool GetFog() const { return (m_uFlags & 1) != 0; }
    void SetFog(bool b) { m_uFlags = static_cast<std::uint16_t>((m_uFlags & ~1u) | (b ? 1u : 0u)); }
    [[nodiscard]] std::uint16_t GetFogFunction() const { return (m_uFlags >> 1) & 3; }
    void SetFogFunction(std::uint16_t e) { m_uFlags = static_cast<std::uint16_t>((m_uFlags & ~6u) | ((e & 3u) << 1)); }
    [[nodiscard]] float GetDepth() const { return m_fDepth; }
    void SetDepth(float f) { m_fDepth = f; }
    [[nodiscard]] const NiColorRGB& GetFogColor() const { return m_kColor; }
    void SetFogColor(const NiColorRGB& k) { m_kColor = k; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_uFlags = 0;
    float m_fDepth = 1.0f;
    NiColorRGB m_kColor;
};
