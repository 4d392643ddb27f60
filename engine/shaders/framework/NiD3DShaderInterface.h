#pragma once

#include "engine/render/NiDX9ShaderDeclaration.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/shaders/framework/NiShader.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>

class NiBoundSphere;
class NiD3DRenderState;
class NiDX9GeometryBufferData;
class NiDX9Renderer;
class NiEffectSet;
class NiPropertySet;
class NiSkinInstance;
class NiXform;

// Every shader the device renderer draws with. The renderer drives a batch of
// geometry through these operations in a fixed order: PreProcessPipeline,
// UpdatePipeline, FirstPass, then per pass SetupRenderingPass and per
// geometry SetupTransformations, PrepareGeometryForRendering,
// SetupShaderPrograms, the draw and PostRender, then NextPass; at the end
// PostProcessPipeline.
class NiD3DShaderInterface : public NiShader
{
    NiDeclareTypeInfo()

public:
    using Partition = NiSkinPartition::Partition;

    NiD3DShaderInterface() = default;
    ~NiD3DShaderInterface() override;

    [[nodiscard]] virtual bool IsInitialized() { return m_bInitialized != 0; }
    virtual bool Initialize(NiDX9Renderer* pkRenderer);
    // 0 to go on; anything else skips the batch.
    virtual std::uint32_t PreProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                             NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                             const NiEffectSet* pkEffects, const NiXform& kWorld,
                                             const NiBoundSphere& kBound);
    virtual std::uint32_t UpdatePipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                         NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                         const NiEffectSet* pkEffects, const NiXform& kWorld,
                                         const NiBoundSphere& kBound);
    virtual std::uint32_t SetupRenderingPass(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                             NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                             const NiEffectSet* pkEffects, const NiXform& kWorld,
                                             const NiBoundSphere& kBound);
    virtual std::uint32_t SetupTransformations(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                               const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                               const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                               const NiXform& kWorld, const NiBoundSphere& kBound);
    virtual std::uint32_t SetupShaderPrograms(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                              const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                              const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                              const NiXform& kWorld, const NiBoundSphere& kBound);
    // The buffers to draw; null to skip.
    virtual NiDX9GeometryBufferData* PrepareGeometryForRendering(NiGeometry* pkGeometry, const Partition* pkPartition,
                                                                 NiDX9GeometryBufferData* pkBuffers,
                                                                 const NiPropertySet* pkState);
    virtual std::uint32_t PostRender(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                     const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                     const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                     const NiXform& kWorld, const NiBoundSphere& kBound);
    virtual std::uint32_t PostProcessPipeline(NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                              NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                              const NiEffectSet* pkEffects, const NiXform& kWorld,
                                              const NiBoundSphere& kBound);
    // Passes left to draw.
    virtual std::uint32_t FirstPass();
    virtual std::uint32_t NextPass();
    [[nodiscard]] virtual NiDX9ShaderDeclaration* GetShaderDecl() const { return m_spShaderDecl; }
    virtual void SetShaderDecl(NiDX9ShaderDeclaration* pkDecl) { m_spShaderDecl = pkDecl; }
    virtual void HandleLostDevice() {}
    virtual void HandleResetDevice() {}
    // When the renderer purges the shader: whatever it made on the device
    // goes, which is what purging its renderer data does.
    virtual void ReleaseDeviceObjects() { PurgeRendererData(); }
    virtual void PurgeRendererData() {}
    virtual void RecreateRendererData() {}
    [[nodiscard]] virtual bool AllPassesHaveVertexShader() const { return false; }
    [[nodiscard]] virtual bool AnyPassHasVertexShader() const { return false; }
    [[nodiscard]] virtual bool AllPassesHavePixelShader() const { return false; }
    [[nodiscard]] virtual bool AnyPassHasPixelShader() const { return false; }
    // Whether the shader's vertex programs blend the bones themselves.
    [[nodiscard]] virtual bool GetVertexSkinning() const { return false; }
    [[nodiscard]] virtual bool IsDefaultImplementation() const { return m_bDefaultImplementation != 0; }
    virtual void SetDefaultImplementation(bool bDefault) { m_bDefaultImplementation = bDefault ? 1 : 0; }

    // Null lets go of the device and the state cache.
    void SetRenderer(NiDX9Renderer* pkRenderer);
    [[nodiscard]] NiDX9Renderer* GetRenderer() const { return m_pkRenderer; }
    [[nodiscard]] gfx::IDirect3DDevice9* GetD3DDevice() const { return m_pkD3DDevice; }
    [[nodiscard]] NiD3DRenderState* GetRenderState() const { return m_pkRenderState; }

protected:
    gfx::IDirect3DDevice9* m_pkD3DDevice = nullptr; // one reference
    NiDX9Renderer* m_pkRenderer = nullptr;
    NiD3DRenderState* m_pkRenderState = nullptr;
    std::uint8_t m_bInitialized = 0;
    std::uint8_t m_bDefaultImplementation = 0;
    NiRefPtr<NiDX9ShaderDeclaration> m_spShaderDecl;
};

using NiD3DShaderInterfacePtr = NiRefPtr<NiD3DShaderInterface>;
