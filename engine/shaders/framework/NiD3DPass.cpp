#include "engine/shaders/framework/NiD3DPass.h"

#include "engine/render/NiDX9Renderer.h"

std::uint32_t NiD3DPass::ms_uiMaxTextureBlendStages = NiD3DPass::DEFAULT_STAGES;
std::uint32_t NiD3DPass::ms_uiMaxSimultaneousTextures = NiD3DPass::DEFAULT_STAGES;
std::uint32_t NiD3DPass::ms_uiMaxSamplers = NiD3DPass::DEFAULT_STAGES;

void NiD3DPass::ResetStageLimits()
{
    ms_uiMaxTextureBlendStages = DEFAULT_STAGES;
    ms_uiMaxSimultaneousTextures = DEFAULT_STAGES;
    ms_uiMaxSamplers = DEFAULT_STAGES;
}

NiDX9Renderer* NiD3DPass::ms_pkRenderer = nullptr;
gfx::IDirect3DDevice9* NiD3DPass::ms_pkD3DDevice = nullptr;
NiD3DRenderState* NiD3DPass::ms_pkRenderState = nullptr;

void NiD3DPass::SetRenderer(NiDX9Renderer* pkRenderer)
{
    gfx::IDirect3DDevice9* pkDevice = pkRenderer != nullptr ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice != nullptr)
        pkDevice->AddRef();
    if (ms_pkD3DDevice != nullptr)
        ms_pkD3DDevice->Release();
    ms_pkD3DDevice = pkDevice;
    ms_pkRenderer = pkRenderer;
    ms_pkRenderState = pkRenderer != nullptr ? pkRenderer->GetRenderState() : nullptr;
}
