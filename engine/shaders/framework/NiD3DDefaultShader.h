#pragma once

#include "engine/shaders/framework/NiD3DShader.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

class NiAlphaProperty;
class NiD3DTextureStage;
class NiFogProperty;
class NiTextureEffect;
class NiTextureMap;
class NiTexturingProperty;

// Draws geometry without a shader of its own with the fixed-function
// pipeline. For every batch it builds its passes from the texturing
// property's maps, the alpha and fog properties, the vertex colours and the
// texture effects, packing as many stages into each pass as the device
// allows and blending further passes over it when it runs out. Fog over
// several passes fogs each towards black and adds the fog colour last.
// Passes built without texture effects are kept under every value the build
// read, and a batch whose values match takes them instead of building anew:
// most geometry shares a handful of property combinations. Builds unused
// for a whole frame are let go at the next BeginScene.
class NiD3DDefaultShader : public NiD3DShader
{
    NiDeclareTypeInfo()

public:
    NiD3DDefaultShader();
    ~NiD3DDefaultShader() override;

    bool Initialize(NiDX9Renderer* pkRenderer) override;
    std::uint32_t PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                     const NiBoundSphere& kBound) override;
    // Rebuilds the passes; -1 (nothing drawn) for missing inputs.
    std::uint32_t UpdatePipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                 NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                 const NiEffectSet* pkEffects, const NiXform& kWorld,
                                 const NiBoundSphere& kBound) override;
    std::uint32_t PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                      NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                      const NiEffectSet* pkEffects, const NiXform& kWorld,
                                      const NiBoundSphere& kBound) override;

    // Forgets the per-frame effect lists and the builds the last frame did
    // not use (every BeginScene).
    void ResetPassCache();
    // Lets every kept build go.
    void ForgetBuilds();
    [[nodiscard]] std::uint32_t GetKeptBuildCount() const { return static_cast<std::uint32_t>(m_kBuilds.size()); }
    // The renderer's caps; the second form reads a given caps record.
    void ReadTextureOpCaps();
    void ReadTextureOpCaps(const gfx::D3DCAPS9& kCaps);

    [[nodiscard]] bool GetBlendTextureAlphaSupported() const { return m_bBlendTextureAlpha != 0; }
    [[nodiscard]] std::uint32_t GetBumpMapOperation() const { return m_uiBumpOp; }
    [[nodiscard]] std::uint32_t GetPassFogFlag(std::uint32_t uiPass) const
    {
        return uiPass < m_kFogFlags.size() ? m_kFogFlags[uiPass] : 0;
    }
    // Effects of list 0-5 (A-F) for the cached effect state.
    [[nodiscard]] std::uint32_t GetEffectCount(std::uint32_t uiList) const
    {
        return uiList < LIST_COUNT ? static_cast<std::uint32_t>(m_akLists[uiList].size()) : 0;
    }
    [[nodiscard]] const NiEffectSet* GetCachedEffectState() const { return m_pkCachedEffects; }

    enum EffectList : std::uint32_t
    {
        LIGHT_PLANE = 0, // A
        LIGHT = 1,       // B
        SHADOW_PLANE = 2, // C
        SHADOW = 3,      // D
        ENVIRONMENT = 4, // E
        FOG_MAP = 5,     // F
        LIST_COUNT = 6
    };

private:
    // Passes of one build and the values it read.
    struct KeptBuild
    {
        std::vector<std::uint64_t> m_kInputs;
        std::vector<NiD3DPassPtr> m_kPasses;
        std::vector<std::uint32_t> m_kFogFlags;
        std::uint32_t m_uiFrame = 0;
        std::uint8_t m_bFogFlags = 0; // the build wrote fog flags
    };
    static constexpr std::size_t MAX_KEPT_BUILDS = 1024;

    using EffectStageSetter = void (NiD3DDefaultShader::*)(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect);

    void ClearEffectLists();
    void BuildEffectLists(const NiEffectSet* pkEffects);
    void Classify(NiTextureEffect* pkEffect, bool bPlane);
    std::uint32_t BuildPasses(NiGeometry* pkGeometry, NiDX9GeometryBufferData* pkBuffers,
                              const NiPropertySet* pkState);
    [[nodiscard]] static std::uint32_t TextureSetsOf(NiGeometry* pkGeometry, const NiDX9GeometryBufferData* pkBuffers);
    // Every value BuildPasses reads, into m_kInputs; false when the build
    // depends on more (texture effects, their camera-space matrices).
    bool ReadBuildInputs(NiGeometry* pkGeometry, const NiDX9GeometryBufferData* pkBuffers,
                         const NiPropertySet* pkState);

    // ---- pass primitives ----
    void StartNewPass(std::uint32_t uiSrc, std::uint32_t uiDest, bool bReserveBase, bool bAlphaFromDiffuse);
    void FinishPass(const NiTextureMap* pkBase, std::uint32_t uiBaseIndex);
    void ClosePass() { FinishPass(nullptr, 0); }
    [[nodiscard]] bool PassBlendMatches(std::uint32_t uiSrc, std::uint32_t uiDest) const;
    [[nodiscard]] bool BudgetLasts() const { return m_uiStagesLeft > 0 && m_uiTexturesLeft > 0; }
    [[nodiscard]] bool IsPassOpen() const { return m_spOpenPass != nullptr; }
    NiD3DTextureStage* AddTextureStage(const NiTextureMap* pkMap, std::uint32_t uiIndex);
    NiD3DTextureStage* AddEffectStage(const NiTextureEffect* pkEffect);
    NiD3DTextureStage* AddClipPlaneStage(const NiTextureEffect* pkEffect);
    NiD3DTextureStage* AddBumpMapStage(const NiTextureMap* pkMap, std::uint32_t uiIndex);
    NiD3DTextureStage* TakeStage(bool bTexture);
    void AppendStage(NiD3DTextureStage* pkStage);
    std::uint32_t DiffuseOrCurrent();
    void SetMapTransform(NiD3DTextureStage* pkStage, const NiTextureMap* pkMap);

    // ---- coordinate generation of texture effects ----
    void FillEffectMatrix(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect, bool bPositionRow);
    void SetWorldParallel(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect);
    void SetWorldPerspective(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect);
    void SetSphereMap(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect);
    void SetSpecularCubeMap(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect);
    void SetDiffuseCubeMap(NiD3DTextureStage* pkStage, const NiTextureEffect* pkEffect);

    void FogFixUp(const NiFogProperty* pkFog, const NiAlphaProperty* pkAlpha, const NiTextureMap* pkBase,
                  std::uint32_t uiBaseIndex, std::uint32_t uiApplyMode);
    [[nodiscard]] std::uint32_t MapAlpha(std::uint32_t uiFunction) const;

    std::vector<NiTextureEffect*> m_akLists[LIST_COUNT];
    EffectStageSetter m_apfnSetters[5];
    std::uint8_t m_bReserveBase = 0;
    std::uint8_t m_bAlphaFromDiffuse = 0;
    std::uint32_t m_uiMaxTexIndex = 0;
    std::uint32_t m_uiStagesLeft = 0;
    std::uint32_t m_uiTexturesLeft = 0;
    std::uint32_t m_uiSavedLighting = 0;
    std::vector<std::uint32_t> m_kFogFlags;
    std::uint8_t m_bBlendTextureAlpha = 0;
    std::uint32_t m_uiBumpOp = 1;
    const NiEffectSet* m_pkCachedEffects = nullptr;
    NiD3DPassPtr m_spOpenPass;
    std::vector<std::uint64_t> m_kInputs;
    std::unordered_map<std::uint64_t, KeptBuild> m_kBuilds; // by a hash of the inputs
    std::uint32_t m_uiFrame = 0;
    std::uint8_t m_bFogFlagsWritten = 0;
};

using NiD3DDefaultShaderPtr = NiRefPtr<NiD3DDefaultShader>;
