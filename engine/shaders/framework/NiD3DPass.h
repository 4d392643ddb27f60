#pragma once

#include "platform/gfx/Gfx.h"

#include <cstdint>

class NiD3DRenderState;
class NiDX9Renderer;

// One rendering pass of a shader. For now only the process-wide stage limits
// every pass works within: the renderer sets them from the device's
// capabilities when it creates its device; the state cache and the vertex
// layout read them.
class NiD3DPass
{
public:
    // Texture stages in use before any device exists.
    static constexpr std::uint32_t DEFAULT_STAGES = 2;

    static void SetMaxTextureBlendStages(std::uint32_t uiStages) { ms_uiMaxTextureBlendStages = uiStages; }
    static void SetMaxSimultaneousTextures(std::uint32_t uiTextures) { ms_uiMaxSimultaneousTextures = uiTextures; }
    static void SetMaxSamplers(std::uint32_t uiSamplers) { ms_uiMaxSamplers = uiSamplers; }
    [[nodiscard]] static std::uint32_t GetMaxTextureBlendStages() { return ms_uiMaxTextureBlendStages; }
    [[nodiscard]] static std::uint32_t GetMaxSimultaneousTextures() { return ms_uiMaxSimultaneousTextures; }
    [[nodiscard]] static std::uint32_t GetMaxSamplers() { return ms_uiMaxSamplers; }

    // The renderer, its device (one reference) and its state cache every
    // pass works with; null lets go.
    static void SetRenderer(NiDX9Renderer* pkRenderer);
    [[nodiscard]] static NiDX9Renderer* GetRenderer() { return ms_pkRenderer; }
    [[nodiscard]] static gfx::IDirect3DDevice9* GetD3DDevice() { return ms_pkD3DDevice; }
    [[nodiscard]] static NiD3DRenderState* GetRenderState() { return ms_pkRenderState; }

    // Back to the limits of a process without a device (tests).
    static void ResetStageLimits();

private:
    static std::uint32_t ms_uiMaxTextureBlendStages;
    static std::uint32_t ms_uiMaxSimultaneousTextures;
    static std::uint32_t ms_uiMaxSamplers;
    static NiDX9Renderer* ms_pkRenderer;
    static gfx::IDirect3DDevice9* ms_pkD3DDevice;
    static NiD3DRenderState* ms_pkRenderState;
};
