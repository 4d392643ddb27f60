#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/shaders/effect/NiD3DXEffectShader.h"
#include "engine/shaders/nsb/NiShaderDesc.h"
#include "platform/gfxutil/GfxUtilEffect.h"

#include <cstdint>
#include <string>
#include <vector>

class NiD3DXEffectFile;
class NiD3DXEffectParameter;
class NiDX9Renderer;
class NSBAttributeTable;

// What the effect says about one technique, read from its annotations and
// its passes' programs.
struct NiD3DXEffectTechniqueDesc
{
    // Binormal-tangent methods of the "nbtmethod" words.
    static constexpr std::uint32_t NBT_NONE = 0, NBT_ZRB = 0x1000, NBT_MAX = 0x2000, NBT_ATI = 0x3000;

    std::string m_kTechniqueName;
    std::string m_kShaderName; // "" when not given
    std::string m_kDescription;
    std::int32_t m_iImplementation = 0;
    std::uint32_t m_uiPixelShaderVersion = 0;
    std::uint32_t m_uiVertexShaderVersion = 0;
    std::uint32_t m_uiUserVersion = 0;
    std::uint32_t m_uiBonesPerPartition = 0;
    std::uint32_t m_uiNBTMethod = NBT_NONE;
    bool m_bUsesRenderState = false;
    bool m_bUsesLightState = false;
    bool m_bSoftwareVPRequired = false;
    bool m_bSoftwareVPFallback = false;

    // Reads the technique's annotations (names ignoring case) and its
    // passes' program versions (the largest of each). False when the
    // effect cannot describe it.
    bool Read(gfx::ID3DXBaseEffect* pkEffect, gfx::D3DXHANDLE hTechnique);
};

// One technique of an effect file: one implementation of a shader name.
class NiD3DXEffectTechnique : public NiRefObject
{
public:
    NiD3DXEffectTechnique() = default;
    ~NiD3DXEffectTechnique() override;

    void Initialize(const NiD3DXEffectTechniqueDesc& kDesc);
    // Appends a parameter the technique uses; time values mark the technique.
    void AddParameter(NiD3DXEffectParameter* pkParameter);
    [[nodiscard]] NiD3DXEffectParameter* GetFirstParameter();
    [[nodiscard]] NiD3DXEffectParameter* GetNextParameter();
    [[nodiscard]] const std::vector<NiD3DXEffectParameter*>& GetParameters() const { return m_kParameters; }

    // The technique in a compiled effect: its handle and which passes have
    // programs.
    void LinkHandle(gfx::ID3DXBaseEffect* pkEffect);
    // The handle goes and the shader lets go of the effect.
    void ReleaseDeviceObjects();

    // The renderer shader of this technique, made once when the device can
    // run the technique; null otherwise. Any vertex-processing mode switched
    // to find that out is switched back.
    NiD3DXEffectShader* GetD3DShader(NiDX9Renderer* pkRenderer);
    [[nodiscard]] NiD3DXEffectShader* GetShader() const { return m_spShader.Get(); }

    void SetFile(NiD3DXEffectFile* pkFile) { m_pkFile = pkFile; }
    [[nodiscard]] NiD3DXEffectFile* GetFile() const { return m_pkFile; }
    [[nodiscard]] const std::string& GetTechniqueName() const { return m_kTechniqueName; }
    [[nodiscard]] const std::string& GetShaderName() const { return m_kShaderName; }
    [[nodiscard]] std::int32_t GetImplementation() const { return m_iImplementation; }
    [[nodiscard]] gfx::D3DXHANDLE GetTechniqueHandle() const { return m_hTechnique; }
    [[nodiscard]] std::uint32_t GetPassCount() const { return m_uiPassCount; }
    [[nodiscard]] bool PassHasVertexShader(std::uint32_t uiPass) const;
    [[nodiscard]] bool PassHasPixelShader(std::uint32_t uiPass) const;
    [[nodiscard]] bool AllPassesHaveVertexShaders() const;
    [[nodiscard]] bool AnyPassHasVertexShader() const;
    [[nodiscard]] bool AllPassesHavePixelShaders() const;
    [[nodiscard]] bool AnyPassHasPixelShader() const;
    [[nodiscard]] bool UsesTime() const { return m_bUsesTime; }
    [[nodiscard]] bool UsesRenderState() const { return m_bUsesRenderState; }
    [[nodiscard]] bool UsesLightState() const { return m_bUsesLightState; }
    [[nodiscard]] bool SoftwareVPRequired() const { return m_bSoftwareVPRequired; }
    [[nodiscard]] bool SoftwareVPFallback() const { return m_bSoftwareVPFallback; }
    [[nodiscard]] std::uint32_t GetBonesPerPartition() const { return m_uiBonesPerPartition; }
    [[nodiscard]] NiShaderRequirementDesc* GetRequirements() const { return m_spRequirements.Get(); }

private:
    std::string m_kTechniqueName;
    std::string m_kShaderName;
    std::int32_t m_iImplementation = 0;
    gfx::D3DXHANDLE m_hTechnique = nullptr;
    NiD3DXEffectFile* m_pkFile = nullptr; // owner
    std::vector<NiD3DXEffectParameter*> m_kParameters; // owned by the file
    std::size_t m_uiParameterIter = 0;
    std::uint32_t m_uiPassCount = 0;
    std::vector<std::uint8_t> m_kPassVertexShader, m_kPassPixelShader;
    bool m_bUsesTime = false;
    bool m_bUsesRenderState = false, m_bUsesLightState = false;
    bool m_bSoftwareVPRequired = false, m_bSoftwareVPFallback = false;
    std::uint32_t m_uiBonesPerPartition = 0;
    NiShaderRequirementDescPtr m_spRequirements;
    NiD3DXEffectShaderPtr m_spShader;
};

using NiD3DXEffectTechniquePtr = NiRefPtr<NiD3DXEffectTechnique>;

// The techniques of one shader name, indexed by implementation.
class NiD3DXEffectTechniqueSet : public NiRefObject
{
public:
    explicit NiD3DXEffectTechniqueSet(const char* pcName) : m_kName(pcName ? pcName : "") {}

    // At its implementation, replacing one there; false (left out) for an
    // implementation outside 0..255.
    bool AddTechnique(NiD3DXEffectTechnique* pkTechnique);
    [[nodiscard]] NiD3DXEffectTechnique* GetTechnique(std::uint32_t uiImplementation) const
    {
        return uiImplementation < m_kTechniques.size() ? m_kTechniques[uiImplementation].Get() : nullptr;
    }
    [[nodiscard]] std::uint32_t GetImplementationCount() const { return static_cast<std::uint32_t>(m_kTechniques.size()); }
    [[nodiscard]] std::uint32_t GetTechniqueCount() const;
    void ReleaseDeviceObjects();
    // The technique of the implementation when the set has one there, else
    // the default.
    NiD3DXEffectShader* GetD3DShader(NiDX9Renderer* pkRenderer, std::uint32_t uiImplementation);
    // The first technique, by implementation, that gives a shader; it is
    // remembered, and its shader reports implementation 0xFFFFFFFF.
    NiD3DXEffectShader* GetDefaultShader(NiDX9Renderer* pkRenderer);
    // Once per set; later calls give the same description.
    NiShaderDesc* CreateShaderDesc(NSBAttributeTable& kAttributes);
    [[nodiscard]] const std::string& GetName() const { return m_kName; }

    static constexpr std::uint32_t MAX_IMPLEMENTATIONS = 256;

private:
    std::string m_kName;
    std::vector<NiD3DXEffectTechniquePtr> m_kTechniques;
    NiD3DXEffectTechnique* m_pkDefault = nullptr; // one of m_kTechniques
    NiShaderDescPtr m_spShaderDesc;
};

using NiD3DXEffectTechniqueSetPtr = NiRefPtr<NiD3DXEffectTechniqueSet>;
