#pragma once

#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"

#include <cstdint>
#include <vector>

class NiD3DRenderStateGroup;

// A shader made of passes: states for the whole shader, then per pass its
// states, stages and programs.
class NiD3DShader : public NiD3DShaderInterface
{
    NiDeclareTypeInfo()

public:
    // The extra data the constant maps read a geometry's attributes from.
    static constexpr const char* SCM_EXTRA_DATA = "__ZRB_SCMData";

    NiD3DShader() = default;
    ~NiD3DShader() override;

    bool SetupGeometry(NiGeometry* pkGeometry) override;
    bool Initialize(NiDX9Renderer* pkRenderer) override;
    std::uint32_t PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                     const NiEffectSet* pkEffects, const NiXform& kWorld,
                                     const NiBoundSphere& kBound) override;
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
    NiDX9GeometryBufferData* PrepareGeometryForRendering(NiGeometry* pkGeometry, const Partition* pkPartition,
                                                         NiDX9GeometryBufferData* pkBuffers,
                                                         const NiPropertySet* pkState) override;
    std::uint32_t PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                      NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                      const NiEffectSet* pkEffects, const NiXform& kWorld,
                                      const NiBoundSphere& kBound) override;
    std::uint32_t FirstPass() override;
    std::uint32_t NextPass() override;
    void PurgeRendererData() override;
    void RecreateRendererData() override;
    [[nodiscard]] bool AllPassesHaveVertexShader() const override;
    [[nodiscard]] bool AnyPassHasVertexShader() const override;
    [[nodiscard]] bool AllPassesHavePixelShader() const override;
    [[nodiscard]] bool AnyPassHasPixelShader() const override;
    virtual void ReleasePasses();

    // The pass array; a pass at the count's index is appended.
    void SetPass(std::uint32_t uiIndex, NiD3DPass* pkPass);
    [[nodiscard]] NiD3DPass* GetPass(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kPasses.size() ? m_kPasses[uiIndex].Get() : nullptr;
    }
    [[nodiscard]] std::uint32_t GetPassCount() const { return m_uiPassCount; }
    void SetPassCount(std::uint32_t uiCount) { m_uiPassCount = uiCount; }
    [[nodiscard]] std::uint32_t GetCurrentPassIndex() const { return m_uiCurrentPass; }
    [[nodiscard]] NiD3DPass* GetCurrentPass() const { return m_spCurrentPass; }
    // The shader owns its group.
    void SetRenderStateGroup(NiD3DRenderStateGroup* pkGroup);
    [[nodiscard]] NiD3DRenderStateGroup* GetRenderStateGroup() const { return m_pkRenderStateGroup; }
    // Constant maps set for every pass's programs (held; null: none).
    void SetPixelConstantMap(NiD3DShaderConstantMap* pkMap) { m_spPixelConstantMap = pkMap; }
    [[nodiscard]] NiD3DShaderConstantMap* GetPixelConstantMap() const { return m_spPixelConstantMap; }
    void SetVertexConstantMap(NiD3DShaderConstantMap* pkMap) { m_spVertexConstantMap = pkMap; }
    [[nodiscard]] NiD3DShaderConstantMap* GetVertexConstantMap() const { return m_spVertexConstantMap; }
    void SetApplyProperties(bool bApply) { m_bApplyProperties = bApply ? 1 : 0; }
    void SetApplyVertexColorLighting(bool bApply) { m_bApplyVertexColorLighting = bApply ? 1 : 0; }

protected:
    std::uint8_t m_bApplyProperties = 0;
    std::uint8_t m_bApplyVertexColorLighting = 0;
    NiD3DRenderStateGroup* m_pkRenderStateGroup = nullptr;
    std::uint32_t m_uiCurrentPass = 0;
    std::uint32_t m_uiPassCount = 0;
    NiD3DPassPtr m_spCurrentPass;
    std::vector<NiD3DPassPtr> m_kPasses;
    NiD3DShaderConstantMapPtr m_spPixelConstantMap;
    NiD3DShaderConstantMapPtr m_spVertexConstantMap;
};

using NiD3DShaderPtr = NiRefPtr<NiD3DShader>;
