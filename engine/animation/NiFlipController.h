#pragma once

#include "engine/animation/NiSingleInterpController.h"
#include "engine/render/NiTexture.h"

#include <cstdint>
#include <vector>

// Flip-book animation: the float value picks which of its textures one map
// of a texturing property shows. Maps from 1024 on are the property's
// shader maps.
class NiFlipController : public NiFloatInterpController
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiFlipController)

public:
    static constexpr std::uint32_t SHADER_MAP_BASE = 1024;

    NiFlipController() = default;
    ~NiFlipController() override;

    [[nodiscard]] static NiObject* CreateObject();

    void Update(float fTime) override;
    [[nodiscard]] bool InterpTargetIsCorrectType(NiObjectNET* pkTarget) const override;
    void GetTargetFloatValue(float& fValue) override;
    // Flips never mix: the blend takes the heaviest source only.
    [[nodiscard]] NiBlendInterpolator* CreateBlendInterpolator(std::uint16_t usIndex, bool bManagerControlled,
                                                               bool bAccumulate, float fWeightThreshold,
                                                               std::uint8_t ucArraySize) const override;
    // The affected map as "%d".
    [[nodiscard]] const char* GetCtlrID() override;

    // The texture a value selects: NaN gives 0; a value whose index would
    // fall below 0 by a whole texture or beyond the list gives the last one.
    [[nodiscard]] static std::uint32_t TextureIndexFor(float fValue, std::uint32_t uiCount);

    [[nodiscard]] std::uint32_t GetTextureCount() const { return static_cast<std::uint32_t>(m_kTextures.size()); }
    [[nodiscard]] NiTexture* GetTextureAt(std::uint32_t ui) const
    {
        return ui < m_kTextures.size() ? m_kTextures[ui].Get() : nullptr;
    }
    void AttachTexture(NiTexture* pkTexture) { m_kTextures.emplace_back(pkTexture); }
    [[nodiscard]] std::uint32_t GetAffectedMap() const { return m_uiAffectedMap; }
    void SetAffectedMap(std::uint32_t ui);
    [[nodiscard]] std::uint32_t GetCurrentIndex() const { return m_uiIndex; }

    // Record: u32 affected map, u32 texture count and the links. Files
    // before 10.1.0.104 hold a start time and a step instead of an
    // interpolator; they become step keys.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    // A texture whose own controllers include this one would hold itself.
    void PostLink(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
    void DropCountedLinks() override;

private:
    std::vector<NiTexturePtr> m_kTextures;
    std::uint32_t m_uiIndex = 0;
    std::uint32_t m_uiAffectedMap = 0;
    char* m_pcCtlrID = nullptr;
};

using NiFlipControllerPtr = NiRefPtr<NiFlipController>;
