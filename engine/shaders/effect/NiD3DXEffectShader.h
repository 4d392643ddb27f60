#pragma once

#include "engine/shaders/framework/NiD3DShader.h"
#include "platform/gfxutil/GfxUtilEffect.h"

#include <cstdint>

class NiD3DXEffectTechnique;

// The renderer shader of one effect technique: the draw pipeline's pass loop
// runs the effect's own Begin / BeginPass / CommitChanges / EndPass / End,
// and before each draw every parameter of the technique gets its value for
// the geometry drawn. The passes' states reach the device through the one
// effect state manager, so the render-state cache stays true.
class NiD3DXEffectShader : public NiD3DShader
{
    NiDeclareTypeInfo()

public:
    // Begin's flags: the effect saves and restores nothing; the state cache
    // and PostProcessPipeline look after the device.
    static constexpr std::uint32_t BEGIN_FLAGS = gfx::D3DXFX_DONOTSAVESTATE | gfx::D3DXFX_DONOTSAVESHADERSTATE |
                                                 gfx::D3DXFX_DONOTSAVESAMPLERSTATE;

    NiD3DXEffectShader() = default;
    ~NiD3DXEffectShader() override;

    bool SetupGeometry(NiGeometry* pkGeometry) override;
    bool Initialize(NiDX9Renderer* pkRenderer) override;
    // Non-zero (the batch is skipped) while the effect cannot be had.
    std::uint32_t PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                     const NiBoundSphere& kBound) override;
    std::uint32_t UpdatePipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                 NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                 const NiEffectSet* pkEffects, const NiXform& kWorld,
                                 const NiBoundSphere& kBound) override;
    // The effect pass applies its own states.
    std::uint32_t SetupRenderingPass(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                     const NiBoundSphere& kBound) override;
    std::uint32_t SetupTransformations(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                       const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                       const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                       const NiXform& kWorld, const NiBoundSphere& kBound) override;
    std::uint32_t SetupShaderPrograms(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                      const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                      const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                      const NiXform& kWorld, const NiBoundSphere& kBound) override;
    std::uint32_t PostRender(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin, const Partition* pkPartition,
                             NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                             const NiEffectSet* pkEffects, const NiXform& kWorld,
                             const NiBoundSphere& kBound) override;
    std::uint32_t PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                      NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                      const NiEffectSet* pkEffects, const NiXform& kWorld,
                                      const NiBoundSphere& kBound) override;
    // The pass count Begin reports; 0 (and no End) when Begin fails.
    std::uint32_t FirstPass() override;
    std::uint32_t NextPass() override;
    void HandleLostDevice() override;
    void HandleResetDevice() override;
    void PurgeRendererData() override;
    void RecreateRendererData() override;
    [[nodiscard]] bool AllPassesHaveVertexShader() const override;
    [[nodiscard]] bool AnyPassHasVertexShader() const override;
    [[nodiscard]] bool AllPassesHavePixelShader() const override;
    [[nodiscard]] bool AnyPassHasPixelShader() const override;

    // The vertex declaration of the passes' vertex programs' inputs, when
    // the shader has none yet and some pass has inputs.
    void BuildShaderDecl();
    // Lets go of the effect, the technique handle and the declaration; the
    // technique's file keeps its own effect reference.
    void ReleaseEffect();

    void SetTechnique(NiD3DXEffectTechnique* pkTechnique) { m_pkTechnique = pkTechnique; }
    [[nodiscard]] NiD3DXEffectTechnique* GetTechnique() const { return m_pkTechnique; }
    [[nodiscard]] gfx::D3DXHANDLE GetTechniqueHandle() const { return m_hTechnique; }
    [[nodiscard]] gfx::ID3DXEffect* GetD3DXEffect() const { return m_pkD3DXEffect; }
    // The technique's implementation (the shader's own may be 0xFFFFFFFF
    // when it stands in as the default).
    void SetTechniqueImplementation(std::uint32_t uiImplementation) { m_uiTechniqueImplementation = uiImplementation; }
    [[nodiscard]] std::uint32_t GetTechniqueImplementation() const { return m_uiTechniqueImplementation; }
    void SetBoneMatrixRows(std::uint32_t uiRows) { m_uiBoneMatrixRows = uiRows; }
    [[nodiscard]] std::uint32_t GetBoneMatrixRows() const { return m_uiBoneMatrixRows; }
    void SetBonePaletteKind(bool bWorldSpace) { m_bBonePaletteKind = bWorldSpace; }
    [[nodiscard]] bool GetBonePaletteKind() const { return m_bBonePaletteKind; }
    void SetSoftwareVertexProcessing(bool bSoftware) { m_bSoftwareVP = bSoftware; }
    [[nodiscard]] bool GetSoftwareVertexProcessing() const { return m_bSoftwareVP; }
    void SetUsesNiRenderState(bool bOn) { SetApplyProperties(bOn); }
    void SetUsesNiLightState(bool bOn) { SetApplyVertexColorLighting(bOn); }

private:
    NiD3DXEffectTechnique* m_pkTechnique = nullptr; // the technique owns the shader
    gfx::D3DXHANDLE m_hTechnique = nullptr;
    gfx::ID3DXBaseEffect* m_pkEffect = nullptr;     // the file's, not counted here
    gfx::ID3DXEffect* m_pkD3DXEffect = nullptr;     // one reference, from the query
    std::uint32_t m_uiTechniqueImplementation = 0;
    std::uint32_t m_uiBoneMatrixRows = 4;
    bool m_bBonePaletteKind = false;
    bool m_bSoftwareVP = false;
};

using NiD3DXEffectShaderPtr = NiRefPtr<NiD3DXEffectShader>;
