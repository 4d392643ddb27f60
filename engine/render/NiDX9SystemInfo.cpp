#include "engine/render/NiDX9SystemInfo.h"

#include "engine/render/NiDX9Renderer.h"

#include <cstdlib>

// ---- NiDX9DisplayFormatInfo ----

bool NiDX9DisplayFormatInfo::MatchesDepthStencil(std::uint32_t uiFramebufferCode, std::uint32_t uiCandidate) const
{
    if (uiFramebufferCode >= FRAMEBUFFER_CODES || uiCandidate >= DEPTH_CANDIDATES)
        return false;
    return (m_auiDepthMatches[uiFramebufferCode] & (1u << uiCandidate)) != 0;
}

void NiDX9DisplayFormatInfo::AddDepthStencilMatch(std::uint32_t uiFramebufferCode, std::uint32_t uiCandidate)
{
    if (uiFramebufferCode < FRAMEBUFFER_CODES && uiCandidate < DEPTH_CANDIDATES)
        m_auiDepthMatches[uiFramebufferCode] |= static_cast<std::uint16_t>(1u << uiCandidate);
}

// ---- NiDX9DeviceDesc ----

NiDX9DeviceDesc::NiDX9DeviceDesc(std::uint32_t uiDeviceType) : m_uiDeviceType(uiDeviceType)
{
}

NiDX9DeviceDesc::NiDX9DeviceDesc(gfx::IDirect3D9& kD3D, std::uint32_t uiAdapter, std::uint32_t uiDeviceType,
                                 gfx::D3DFORMAT eDesktopFormat, const std::vector<gfx::D3DFORMAT>& kDisplayFormats)
    : m_uiDeviceType(uiDeviceType)
{
    if (gfx::FAILED(kD3D.GetDeviceCaps(uiAdapter, uiDeviceType, &m_kD3DCaps9)))
    {
        m_kD3DCaps9 = gfx::D3DCAPS9{};
        return;
    }

    for (gfx::D3DFORMAT eFormat : kDisplayFormats)
    {
        // Only formats the adapter has modes in are considered; the checks
        // depend on the format alone, so one pass per format suffices.
        if (kD3D.GetAdapterModeCount(uiAdapter, eFormat) == 0)
            continue;
        NiDX9DisplayFormatInfo kInfo;
        kInfo.m_eD3DFormat = eFormat;
        kInfo.m_bFullscreen = gfx::SUCCEEDED(kD3D.CheckDeviceType(uiAdapter, uiDeviceType, eFormat, eFormat, 0));
        kInfo.m_bWindowed = gfx::SUCCEEDED(kD3D.CheckDeviceType(uiAdapter, uiDeviceType, eDesktopFormat, eFormat, 1));
        if (!kInfo.m_bFullscreen && !kInfo.m_bWindowed)
            continue;

        for (std::uint32_t uiCode = 1; uiCode < NiDX9DisplayFormatInfo::FRAMEBUFFER_CODES; ++uiCode)
        {
            const gfx::D3DFORMAT eTarget = NiDX9Renderer::FramebufferFormatToD3DFormat(uiCode);
            if (gfx::FAILED(kD3D.CheckDeviceFormat(uiAdapter, uiDeviceType, eFormat, gfx::D3DUSAGE_RENDERTARGET,
                                                   gfx::D3DRTYPE_SURFACE, eTarget)))
                continue;
            for (std::uint32_t i = 0; i < NiDX9DisplayFormatInfo::DEPTH_CANDIDATES; ++i)
            {
                const gfx::D3DFORMAT eDepth = NiDX9Renderer::DEPTH_STENCIL_CANDIDATES[i];
                if (gfx::SUCCEEDED(kD3D.CheckDeviceFormat(uiAdapter, uiDeviceType, eFormat,
                                                          gfx::D3DUSAGE_DEPTHSTENCIL, gfx::D3DRTYPE_SURFACE, eDepth)) &&
                    gfx::SUCCEEDED(kD3D.CheckDepthStencilMatch(uiAdapter, uiDeviceType, eFormat, eTarget, eDepth)))
                    kInfo.AddDepthStencilMatch(uiCode, i);
            }
        }
        m_kFormats.push_back(kInfo);
    }

    const NiDX9DisplayFormatInfo* pkDesktop = GetFormatInfo(eDesktopFormat);
    m_bRenderWindowed = pkDesktop != nullptr && pkDesktop->m_bWindowed;
}

const NiDX9DisplayFormatInfo* NiDX9DeviceDesc::GetFormatInfo(gfx::D3DFORMAT eDisplayFormat) const
{
    for (const NiDX9DisplayFormatInfo& kInfo : m_kFormats)
    {
        if (kInfo.m_eD3DFormat == eDisplayFormat)
            return &kInfo;
    }
    return nullptr;
}

std::uint32_t NiDX9DeviceDesc::FindFramebufferFormat(bool bWindowed, std::uint32_t uiBitDepth) const
{
    for (const NiDX9DisplayFormatInfo& kInfo : m_kFormats)
    {
        if (bWindowed ? kInfo.m_bWindowed
                      : kInfo.m_bFullscreen && NiDX9Renderer::GetD3DFormatBits(kInfo.m_eD3DFormat) ==
                                                   static_cast<int>(uiBitDepth))
            return NiDX9Renderer::D3DFormatToFramebufferFormat(kInfo.m_eD3DFormat);
    }
    return 0;
}

gfx::D3DFORMAT NiDX9DeviceDesc::FindDepthStencilFormat(gfx::D3DFORMAT eDisplayFormat,
                                                       gfx::D3DFORMAT eBackBufferFormat, std::uint32_t uiBitDepth,
                                                       bool bStencil) const
{
    return bStencil ? FindClosestDepthStencil(eDisplayFormat, eBackBufferFormat, 24, 8)
                    : FindClosestDepthStencil(eDisplayFormat, eBackBufferFormat, uiBitDepth, 0);
}

gfx::D3DFORMAT NiDX9DeviceDesc::FindClosestDepthStencil(gfx::D3DFORMAT eDisplayFormat,
                                                        gfx::D3DFORMAT eBackBufferFormat, std::uint32_t uiDepth,
                                                        std::uint32_t uiStencil) const
{
    const NiDX9DisplayFormatInfo* pkInfo = GetFormatInfo(eDisplayFormat);
    if (pkInfo == nullptr)
        return 0;
    const std::uint32_t uiCode = NiDX9Renderer::D3DFormatToFramebufferFormat(eBackBufferFormat);
    const int iWantDepth = static_cast<int>(uiDepth);
    const int iWantStencil = static_cast<int>(uiStencil);

    // The best starts at (0, 0): a candidate no nearer in either part than
    // that never wins, and a later candidate as near as the best replaces it.
    gfx::D3DFORMAT eBest = 0;
    int iBestDepth = 0;
    int iBestStencil = 0;
    for (std::uint32_t i = 0; i < NiDX9DisplayFormatInfo::DEPTH_CANDIDATES; ++i)
    {
        if (!pkInfo->MatchesDepthStencil(uiCode, i))
            continue;
        const gfx::D3DFORMAT eCandidate = NiDX9Renderer::DEPTH_STENCIL_CANDIDATES[i];
        std::uint32_t uiCandDepth = 0;
        std::uint32_t uiCandStencil = 0;
        NiDX9Renderer::GetDepthStencilBits(eCandidate, uiCandDepth, uiCandStencil);
        const int iDepth = static_cast<int>(uiCandDepth);
        const int iStencil = static_cast<int>(uiCandStencil);
        if (std::abs(iDepth - iWantDepth) <= std::abs(iBestDepth - iWantDepth) &&
            std::abs(iStencil - iWantStencil) <= std::abs(iBestStencil - iWantStencil))
        {
            eBest = eCandidate;
            iBestDepth = iDepth;
            iBestStencil = iStencil;
        }
    }
    return eBest;
}

// ---- NiDX9AdapterDesc ----

NiDX9AdapterDesc::NiDX9AdapterDesc(gfx::IDirect3D9& kD3D, std::uint32_t uiAdapter,
                                   const std::vector<gfx::D3DFORMAT>& kDisplayFormats)
    : m_uiAdapter(uiAdapter)
{
    m_bHasIdentifier = gfx::SUCCEEDED(kD3D.GetAdapterIdentifier(uiAdapter, 0, &m_kIdentifier));
    if (!m_bHasIdentifier)
        m_kIdentifier = gfx::D3DADAPTER_IDENTIFIER9{};

    for (gfx::D3DFORMAT eFormat : kDisplayFormats)
    {
        const std::uint32_t uiModes = kD3D.GetAdapterModeCount(uiAdapter, eFormat);
        for (std::uint32_t uiMode = 0; uiMode < uiModes; ++uiMode)
        {
            gfx::D3DDISPLAYMODE kMode;
            if (gfx::SUCCEEDED(kD3D.EnumAdapterModes(uiAdapter, eFormat, uiMode, &kMode)))
                AddMode(kMode);
        }
    }

    if (gfx::FAILED(kD3D.GetAdapterDisplayMode(uiAdapter, &m_kDesktop)))
        m_kDesktop = gfx::D3DDISPLAYMODE{};
    m_pkHALDevice = std::make_unique<NiDX9DeviceDesc>(kD3D, uiAdapter, gfx::D3DDEVTYPE_HAL, m_kDesktop.Format,
                                                      kDisplayFormats);
    m_pkREFDevice = std::make_unique<NiDX9DeviceDesc>(kD3D, uiAdapter, gfx::D3DDEVTYPE_REF, m_kDesktop.Format,
                                                      kDisplayFormats);
}

const NiDX9ModeDesc* NiDX9AdapterDesc::GetMode(std::uint32_t uiMode) const
{
    return uiMode < m_kModes.size() ? &m_kModes[uiMode] : nullptr;
}

void NiDX9AdapterDesc::AddMode(const gfx::D3DDISPLAYMODE& kMode)
{
    for (NiDX9ModeDesc& kDesc : m_kModes)
    {
        if (kDesc.m_eD3DFormat == kMode.Format && kDesc.m_uiWidth == kMode.Width && kDesc.m_uiHeight == kMode.Height)
        {
            kDesc.m_kRefreshRates.push_back(kMode.RefreshRate);
            return;
        }
    }
    NiDX9ModeDesc kDesc;
    kDesc.m_uiWidth = kMode.Width;
    kDesc.m_uiHeight = kMode.Height;
    const int iBits = NiDX9Renderer::GetD3DFormatBits(kMode.Format);
    kDesc.m_uiBitsPerPixel = iBits > 0 ? static_cast<std::uint32_t>(iBits) : 0;
    kDesc.m_eD3DFormat = kMode.Format;
    kDesc.m_kRefreshRates.push_back(kMode.RefreshRate);
    m_kModes.push_back(std::move(kDesc));
}

const NiDX9ModeDesc* NiDX9AdapterDesc::FindMode(gfx::D3DFORMAT eFormat, std::uint32_t uiWidth,
                                                std::uint32_t uiHeight, std::uint32_t& uiRefreshRate) const
{
    for (const NiDX9ModeDesc& kDesc : m_kModes)
    {
        if (kDesc.m_eD3DFormat != eFormat || kDesc.m_uiWidth != uiWidth || kDesc.m_uiHeight != uiHeight)
            continue;
        if (uiRefreshRate != 0 && !kDesc.m_kRefreshRates.empty())
        {
            std::uint32_t uiBest = kDesc.m_kRefreshRates.front();
            for (std::uint32_t uiRate : kDesc.m_kRefreshRates)
            {
                const auto Distance = [uiRefreshRate](std::uint32_t uiValue) {
                    return uiValue > uiRefreshRate ? uiValue - uiRefreshRate : uiRefreshRate - uiValue;
                };
                if (Distance(uiRate) < Distance(uiBest))
                    uiBest = uiRate;
            }
            uiRefreshRate = uiBest;
        }
        return &kDesc;
    }
    return nullptr;
}

NiDX9DeviceDesc* NiDX9AdapterDesc::GetDevice(std::uint32_t uiDeviceType)
{
    if (uiDeviceType == gfx::D3DDEVTYPE_HAL)
        return m_pkHALDevice.get();
    if (uiDeviceType == gfx::D3DDEVTYPE_REF)
        return m_pkREFDevice.get();
    return nullptr;
}

const NiDX9DeviceDesc* NiDX9AdapterDesc::GetDevice(std::uint32_t uiDeviceType) const
{
    return const_cast<NiDX9AdapterDesc*>(this)->GetDevice(uiDeviceType);
}

// ---- NiDX9SystemInfo ----

NiDX9SystemInfo::NiDX9SystemInfo(gfx::IDirect3D9& kD3D, const std::vector<gfx::D3DFORMAT>& kDisplayFormats)
{
    const std::uint32_t uiCount = kD3D.GetAdapterCount();
    for (std::uint32_t uiAdapter = 0; uiAdapter < uiCount; ++uiAdapter)
        m_kAdapters.push_back(std::make_unique<NiDX9AdapterDesc>(kD3D, uiAdapter, kDisplayFormats));
}

NiDX9AdapterDesc* NiDX9SystemInfo::GetAdapter(std::uint32_t uiAdapter)
{
    return uiAdapter < m_kAdapters.size() ? m_kAdapters[uiAdapter].get() : nullptr;
}

const NiDX9AdapterDesc* NiDX9SystemInfo::GetAdapter(std::uint32_t uiAdapter) const
{
    return uiAdapter < m_kAdapters.size() ? m_kAdapters[uiAdapter].get() : nullptr;
}
