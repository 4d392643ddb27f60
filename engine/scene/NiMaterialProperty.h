#pragma once

#include "engine/core/NiColor.h"
#include "engine/scene/NiProperty.h"

#include <atomic>
#include <cstdint>

// Surface colours, shine and alpha. Every material has its own index; the
// revision tells the renderer when its converted copy is out of date.
class NiMaterialProperty : public NiProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiMaterialProperty)

public:
    NiMaterialProperty();
    // The renderer drops its data for the material first.
    ~NiMaterialProperty() override;
    static NiObject* CreateObject() { return new NiMaterialProperty; }
    [[nodiscard]] int GetType() const override { return MATERIAL; }

    [[nodiscard]] std::uint32_t GetIndex() const { return m_uiIndex; }
    [[nodiscard]] const NiColorRGB& GetAmbientColor() const { return m_kAmb; }
    void SetAmbientColor(const NiColorRGB& k) { m_kAmb = k; }
    [[nodiscard]] const NiColorRGB& GetDiffuseColor() const { return m_kDiff; }
    void SetDiffuseColor(const NiColorRGB& k) { m_kDiff = k; }
    [[nodiscard]] const NiColorRGB& GetSpecularColor() const { return m_kSpec; }
    void SetSpecularColor(const NiColorRGB& k) { m_kSpec = k; }
    [[nodiscard]] const NiColorRGB& GetEmittance() const { return m_kEmit; }
    void SetEmittance(const NiColorRGB& k) { m_kEmit = k; }
    [[nodiscard]] float GetShineness() const { return m_fShine; }
    void SetShineness(float f) { m_fShine = f; }
    [[nodiscard]] float GetAlpha() const { return m_fAlpha; }
    void SetAlpha(float f) { m_fAlpha = f; }

    [[nodiscard]] std::uint32_t GetRevisionID() const { return m_uiRevID; }
    void SetRevisionID(std::uint32_t ui) { m_uiRevID = ui; }
    [[nodiscard]] void* GetRendererData() const { return m_pvRendererData; }
    void SetRendererData(void* pv) { m_pvRendererData = pv; }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

    static void ResetIndexCounter();

private:
    std::uint32_t m_uiIndex;
    NiColorRGB m_kAmb{0.5f, 0.5f, 0.5f};
    NiColorRGB m_kDiff{0.5f, 0.5f, 0.5f};
    NiColorRGB m_kSpec;
    NiColorRGB m_kEmit;
    float m_fShine = 4.0f;
    float m_fAlpha = 1.0f;
    std::uint32_t m_uiRevID = 1;
    void* m_pvRendererData = nullptr; // the renderer's: made and freed by it

    static std::atomic<std::uint32_t> ms_uiNextIndex;
};

using NiMaterialPropertyPtr = NiRefPtr<NiMaterialProperty>;
