#pragma once

#include "engine/core/NiRefPtr.h"
#include "platform/gfxutil/GfxUtilEffect.h"

#include <atomic>
#include <cstdint>

class NiDX9Renderer;
class NiDX9RenderState;

// The one state manager every effect gets: the states an effect pass sets go
// through the renderer's render-state cache (and its constant cache), so the
// cache stays true. Counted like a COM object: it starts at 0 and goes when
// the last effect lets it go.
class NiD3DXEffectStateManager final : public gfx::ID3DXEffectStateManager
{
public:
    // The existing manager; else a new one when the renderer has a cache and
    // a device; else null.
    [[nodiscard]] static NiD3DXEffectStateManager* GetInstance(NiDX9Renderer* pkRenderer);
    [[nodiscard]] static NiD3DXEffectStateManager* PeekInstance() { return ms_pkInstance; }

    gfx::HRESULT QueryInterface(const gfx::GUID& kIID, void** ppvOut) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;
    gfx::HRESULT SetTransform(std::uint32_t uiState, const gfx::D3DMATRIX* pkMatrix) override;
    gfx::HRESULT SetMaterial(const gfx::D3DMATERIAL9* pkMaterial) override;
    gfx::HRESULT SetLight(std::uint32_t uiIndex, const gfx::D3DLIGHT9* pkLight) override;
    gfx::HRESULT LightEnable(std::uint32_t uiIndex, std::int32_t iEnable) override;
    gfx::HRESULT SetRenderState(std::uint32_t uiState, std::uint32_t uiValue) override;
    gfx::HRESULT SetTexture(std::uint32_t uiStage, gfx::IDirect3DBaseTexture9* pkTexture) override;
    gfx::HRESULT SetTextureStageState(std::uint32_t uiStage, std::uint32_t uiType, std::uint32_t uiValue) override;
    // A sampler or type the cache does not hold goes straight to the device.
    gfx::HRESULT SetSamplerState(std::uint32_t uiSampler, std::uint32_t uiType, std::uint32_t uiValue) override;
    gfx::HRESULT SetNPatchMode(float fSegments) override;
    gfx::HRESULT SetFVF(std::uint32_t uiFVF) override;
    gfx::HRESULT SetVertexShader(gfx::IDirect3DVertexShader9* pkShader) override;
    gfx::HRESULT SetVertexShaderConstantF(std::uint32_t uiStart, const float* pfData, std::uint32_t uiCount) override;
    gfx::HRESULT SetVertexShaderConstantI(std::uint32_t uiStart, const std::int32_t* piData,
                                          std::uint32_t uiCount) override;
    gfx::HRESULT SetVertexShaderConstantB(std::uint32_t uiStart, const std::int32_t* piData,
                                          std::uint32_t uiCount) override;
    gfx::HRESULT SetPixelShader(gfx::IDirect3DPixelShader9* pkShader) override;
    gfx::HRESULT SetPixelShaderConstantF(std::uint32_t uiStart, const float* pfData, std::uint32_t uiCount) override;
    gfx::HRESULT SetPixelShaderConstantI(std::uint32_t uiStart, const std::int32_t* piData,
                                         std::uint32_t uiCount) override;
    gfx::HRESULT SetPixelShaderConstantB(std::uint32_t uiStart, const std::int32_t* piData,
                                         std::uint32_t uiCount) override;

    [[nodiscard]] std::uint32_t GetRefCount() const { return m_uiRefs.load(); }

private:
    NiD3DXEffectStateManager(NiDX9RenderState* pkRenderState, gfx::IDirect3DDevice9* pkDevice);
    ~NiD3DXEffectStateManager() override;

    std::atomic<std::uint32_t> m_uiRefs{0};
    NiRefPtr<NiDX9RenderState> m_spRenderState;
    gfx::IDirect3DDevice9* m_pkDevice; // counted
    static NiD3DXEffectStateManager* ms_pkInstance;
};
