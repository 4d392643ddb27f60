#include "game/shell/CDX9RendererFactory.h"

#include "engine/render/NiDX9Renderer.h"
#include "game/shell/CShaderErrorLog.h"

NiRendererPtr CDX9RendererFactory::Create(const COrvaneRendererParams& kParams)
{
    // The further values in the framework's order: device kind, framebuffer
    // format, depth/stencil format, presentation interval, swap effect,
    // multisample, back-buffer count, refresh rate.
    const auto& kValues = kParams.m_auiValues;
    // The engine libraries have started, so the shader factory exists: its
    // reports (from the renderer's own shaders on) are printed from here.
    CShaderErrorLog::Install();
    NiDX9RendererPtr spRenderer = NiDX9Renderer::Create(
        kParams.m_uiWidth, kParams.m_uiHeight, kParams.m_uiFlags, kParams.m_pkDeviceWindow, kParams.m_pkFocusWindow,
        kParams.m_uiAdapter, kValues[0], kValues[1], kValues[2], kValues[3], kValues[4],
        static_cast<std::int32_t>(kValues[5]), kValues[6], kValues[7]);
    return NiRendererPtr(spRenderer.Get());
}

std::string CDX9RendererFactory::GetLastError() const
{
    return NiDX9Renderer::GetLastErrorString();
}

const std::vector<COrvaneAdapterDesc>& CDX9RendererFactory::GetSystemInfo()
{
    if (m_bDescribed)
        return m_kAdapters;
    const NiDX9SystemInfo* pkInfo = NiDX9Renderer::GetSystemInfo();
    if (pkInfo == nullptr)
        return m_kAdapters; // asked again next time: the device may come later
    m_bDescribed = true;
    for (std::uint32_t uiAdapter = 0; uiAdapter < pkInfo->GetAdapterCount(); ++uiAdapter)
    {
        const NiDX9AdapterDesc* pkAdapter = pkInfo->GetAdapter(uiAdapter);
        COrvaneAdapterDesc kDesc;
        kDesc.m_kDescription = pkAdapter->GetStringDescription();
        for (std::uint32_t uiMode = 0; uiMode < pkAdapter->GetModeCount(); ++uiMode)
        {
            const NiDX9ModeDesc* pkMode = pkAdapter->GetMode(uiMode);
            kDesc.m_kModes.push_back({pkMode->m_uiWidth, pkMode->m_uiHeight, pkMode->m_uiBitsPerPixel,
                                      pkMode->m_eD3DFormat});
        }
        m_kAdapters.push_back(std::move(kDesc));
    }
    return m_kAdapters;
}

bool CDX9RendererFactory::FindMode(std::uint32_t uiAdapter, std::uint32_t uiFormat, std::uint32_t uiWidth,
                                   std::uint32_t uiHeight)
{
    const NiDX9SystemInfo* pkInfo = NiDX9Renderer::GetSystemInfo();
    const NiDX9AdapterDesc* pkAdapter = pkInfo != nullptr ? pkInfo->GetAdapter(uiAdapter) : nullptr;
    std::uint32_t uiRefreshRate = 0;
    return pkAdapter != nullptr && pkAdapter->FindMode(uiFormat, uiWidth, uiHeight, uiRefreshRate) != nullptr;
}

std::uint32_t CDX9RendererFactory::GetCreationFlags(const NiRenderer* pkRenderer) const
{
    const auto* pkDX9 = dynamic_cast<const NiDX9Renderer*>(pkRenderer);
    if (pkDX9 == nullptr)
        return 0;
    std::uint32_t uiWidth = 0, uiHeight = 0, uiFlags = 0, uiAdapter = 0, eDesc = 0, eFBFormat = 0;
    std::uint32_t eInterval = 0, eSwap = 0, uiBackBuffers = 0, uiRefresh = 0;
    gfx::WindowHandle kDevice = nullptr;
    gfx::WindowHandle kFocus = nullptr;
    gfx::D3DFORMAT eDSFormat = 0;
    std::int32_t iFBMode = 0;
    pkDX9->GetCreationParameters(uiWidth, uiHeight, uiFlags, kDevice, kFocus, uiAdapter, eDesc, eFBFormat, eDSFormat,
                                 eInterval, eSwap, iFBMode, uiBackBuffers, uiRefresh);
    return uiFlags;
}

bool CDX9RendererFactory::WaitsForRetrace(const NiRenderer* pkRenderer) const
{
    const auto* pkDX9 = dynamic_cast<const NiDX9Renderer*>(pkRenderer);
    return pkDX9 != nullptr && pkDX9->GetPresentParams().PresentationInterval != gfx::D3DPRESENT_INTERVAL_IMMEDIATE;
}

std::int32_t CDX9RendererFactory::GetRefreshRate(const NiRenderer* pkRenderer) const
{
    const auto* pkDX9 = dynamic_cast<const NiDX9Renderer*>(pkRenderer);
    const NiDX9SystemInfo* pkInfo = pkDX9 != nullptr ? NiDX9Renderer::GetSystemInfo() : nullptr;
    const NiDX9AdapterDesc* pkAdapter = pkInfo != nullptr ? pkInfo->GetAdapter(pkDX9->GetAdapter()) : nullptr;
    return pkAdapter != nullptr ? static_cast<std::int32_t>(pkAdapter->GetDesktopMode().RefreshRate) : 0;
}
