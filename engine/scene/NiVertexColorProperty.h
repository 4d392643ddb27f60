#pragma once

#include "engine/scene/NiProperty.h"

#include <cstdint>

class NiVertexColorProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiVertexColorProperty)

public:
    enum SourceVertexMode : std::uint32_t
    {
        SOURCE_IGNORE = 0,
        SOURCE_EMISSIVE = 1,
        SOURCE_AMB_DIFF = 2,
    };
    enum LightingMode : std::uint32_t
    {
        LIGHTING_E = 0,
        LIGHTING_E_A_D = 1,
    };

    NiVertexColorProperty() = default;
    static NiObject* CreateObject() { return new NiVertexColorProperty; }
    [[nodiscard]] int GetType() const override { return VERTEX_COLOR; }

    // Only the stream fills this word.
    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    [[nodiscard]] std::uint32_t GetSourceMode() const { return m_eSource; }
    void SetSourceMode(std::uint32_t e) { m_eSource = e; }
    [[nodiscard]] std::uint32_t GetLightingMode() const { return m_eLighting; }
    void SetLightingMode(std::uint32_t e) { m_eLighting = e; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    std::uint16_t m_uFlags = 0;
    std::uint32_t m_eSource = SOURCE_IGNORE;
    std::uint32_t m_eLighting = LIGHTING_E_A_D;
};
