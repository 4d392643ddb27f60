#include "engine/render/NiDX9RenderTarget.h"

#include "engine/render/NiDX9TextureData.h"

gfx::IDirect3DSurface9* NiDX9RenderTarget::ms_apkBoundTargets[MAX_TARGETS] = {};
gfx::IDirect3DSurface9* NiDX9RenderTarget::ms_pkBoundDepthStencil = nullptr;
std::uint32_t NiDX9RenderTarget::ms_uiHighestIndex = 0;
bool NiDX9RenderTarget::ms_bIndependentBitDepths = false;

namespace
{
void ReleaseSurface(gfx::IDirect3DSurface9*& pkSurface)
{
    if (pkSurface != nullptr)
        pkSurface->Release();
    pkSurface = nullptr;
}
} // namespace

// ---- NiDX9RenderTarget ----

NiDX9RenderTarget::~NiDX9RenderTarget()
{
    ReleaseSurface(m_pkColor);
    ReleaseSurface(m_pkDepthStencil);
}

void NiDX9RenderTarget::ReleaseSurfaces()
{
    ReleaseSurface(m_pkColor);
    ReleaseSurface(m_pkDepthStencil);
    m_spFormat = nullptr;
}

std::uint32_t NiDX9RenderTarget::GetBitDepth() const
{
    return m_spFormat != nullptr ? NiDX9Renderer::GetFormatBitsPerPixel(m_spFormat->m_eD3DFormat) : 0;
}

bool NiDX9RenderTarget::DescribeColorSurface()
{
    gfx::D3DSURFACE_DESC kDesc{};
    if (m_pkColor == nullptr || gfx::FAILED(m_pkColor->GetDesc(&kDesc)))
        return false;
    m_uiWidth = kDesc.Width;
    m_uiHeight = kDesc.Height;
    m_spFormat = std::make_unique<NiDX9Renderer::TextureFormatEntry>();
    NiDX9PixelFormatFromD3D(*m_spFormat, kDesc.Format);
    return true;
}

bool NiDX9RenderTarget::SetRenderTarget(gfx::IDirect3DDevice9* pkDevice, std::uint32_t uiIndex)
{
    if (pkDevice == nullptr || m_pkColor == nullptr || uiIndex > ms_uiHighestIndex || uiIndex >= MAX_TARGETS)
        return false;

    if (m_pkColor != ms_apkBoundTargets[uiIndex])
    {
        if (uiIndex == 0)
        {
            for (std::uint32_t uiOther = 1; uiOther < MAX_TARGETS; ++uiOther)
            {
                if (!IsCompatible(uiOther))
                    return false;
            }
        }
        else if (!IsCompatible(0))
        {
            return false;
        }
        if (gfx::FAILED(pkDevice->SetRenderTarget(uiIndex, m_pkColor)))
            return false;
        ms_apkBoundTargets[uiIndex] = m_pkColor;
    }

    if (uiIndex == 0 && m_pkDepthStencil != ms_pkBoundDepthStencil)
    {
        if (gfx::FAILED(pkDevice->SetDepthStencilSurface(m_pkDepthStencil)))
            return false;
        ms_pkBoundDepthStencil = m_pkDepthStencil;
    }
    return true;
}

void NiDX9RenderTarget::ClearRenderTarget(gfx::IDirect3DDevice9* pkDevice, std::uint32_t uiIndex)
{
    if (pkDevice == nullptr || uiIndex == 0 || uiIndex >= MAX_TARGETS || ms_apkBoundTargets[uiIndex] == nullptr)
        return;
    pkDevice->SetRenderTarget(uiIndex, nullptr);
    ms_apkBoundTargets[uiIndex] = nullptr;
}

bool NiDX9RenderTarget::IsCompatible(std::uint32_t uiIndex) const
{
    if (uiIndex >= MAX_TARGETS || ms_apkBoundTargets[uiIndex] == nullptr)
        return true;
    gfx::D3DSURFACE_DESC kDesc{};
    if (gfx::FAILED(ms_apkBoundTargets[uiIndex]->GetDesc(&kDesc)))
        return false;
    if (kDesc.MultiSampleType != gfx::D3DMULTISAMPLE_NONE)
        return false;
    if (kDesc.Width != m_uiWidth || kDesc.Height != m_uiHeight)
        return false;
    if (!ms_bIndependentBitDepths && NiDX9Renderer::GetFormatBitsPerPixel(kDesc.Format) != GetBitDepth())
        return false;
    return true;
}

gfx::IDirect3DSurface9* NiDX9RenderTarget::GetBoundTarget(std::uint32_t uiIndex)
{
    return uiIndex < MAX_TARGETS ? ms_apkBoundTargets[uiIndex] : nullptr;
}

void NiDX9RenderTarget::SetTargetLimits(std::uint32_t uiHighestIndex, bool bIndependentBitDepths)
{
    ms_uiHighestIndex = uiHighestIndex < MAX_TARGETS ? uiHighestIndex : MAX_TARGETS - 1;
    ms_bIndependentBitDepths = bIndependentBitDepths;
}

void NiDX9RenderTarget::ForgetBindings()
{
    for (gfx::IDirect3DSurface9*& pkBound : ms_apkBoundTargets)
        pkBound = nullptr;
    ms_pkBoundDepthStencil = nullptr;
}

void NiDX9RenderTarget::ResetStatics()
{
    ForgetBindings();
    ms_uiHighestIndex = 0;
    ms_bIndependentBitDepths = false;
}

// ---- NiDX9TextureRenderTarget ----

NiDX9TextureRenderTarget::~NiDX9TextureRenderTarget()
{
    if (m_pkTexture != nullptr)
        m_pkTexture->Release();
    m_pkTexture = nullptr;
}

void NiDX9TextureRenderTarget::ReleaseSurfaces()
{
    NiDX9RenderTarget::ReleaseSurfaces();
    if (m_pkTexture != nullptr)
        m_pkTexture->Release();
    m_pkTexture = nullptr;
}

std::unique_ptr<NiDX9TextureRenderTarget> NiDX9TextureRenderTarget::Create(gfx::IDirect3DTexture9* pkTexture,
                                                                           gfx::D3DFORMAT eDepthFormat,
                                                                           gfx::IDirect3DDevice9* pkDevice)
{
    if (pkTexture == nullptr || pkDevice == nullptr)
        return nullptr;
    std::unique_ptr<NiDX9TextureRenderTarget> spTarget(new NiDX9TextureRenderTarget);
    pkTexture->AddRef();
    spTarget->m_pkTexture = pkTexture;
    if (gfx::FAILED(pkTexture->GetSurfaceLevel(0, &spTarget->m_pkColor)))
    {
        spTarget->m_pkColor = nullptr;
        return nullptr;
    }
    if (!spTarget->DescribeColorSurface())
        return nullptr;
    // A refused depth surface leaves the target without one: it still draws.
    if (gfx::FAILED(pkDevice->CreateDepthStencilSurface(spTarget->m_uiWidth, spTarget->m_uiHeight, eDepthFormat,
                                                         gfx::D3DMULTISAMPLE_NONE, 0, 1,
                                                         &spTarget->m_pkDepthStencil, nullptr)))
        spTarget->m_pkDepthStencil = nullptr;
    return spTarget;
}

std::unique_ptr<NiDX9TextureRenderTarget> NiDX9TextureRenderTarget::CreateCubeFace(
    gfx::IDirect3DCubeTexture9* pkCube, std::uint32_t uiFace, const NiDX9RenderTarget* pkShared,
    gfx::IDirect3DDevice9* pkDevice)
{
    if (pkCube == nullptr || pkDevice == nullptr || uiFace >= 6)
        return nullptr;
    std::unique_ptr<NiDX9TextureRenderTarget> spTarget(new NiDX9TextureRenderTarget);
    pkCube->AddRef();
    spTarget->m_pkTexture = pkCube;
    if (gfx::FAILED(pkCube->GetCubeMapSurface(uiFace, 0, &spTarget->m_pkColor)))
    {
        spTarget->m_pkColor = nullptr;
        return nullptr;
    }
    if (!spTarget->DescribeColorSurface())
        return nullptr;
    if (pkShared != nullptr && pkShared->GetDepthStencilSurface() != nullptr)
    {
        spTarget->m_pkDepthStencil = pkShared->GetDepthStencilSurface();
        spTarget->m_pkDepthStencil->AddRef();
    }
    else if (gfx::FAILED(pkDevice->CreateDepthStencilSurface(spTarget->m_uiWidth, spTarget->m_uiHeight,
                                                              gfx::D3DFMT_D16, gfx::D3DMULTISAMPLE_NONE, 0, 1,
                                                              &spTarget->m_pkDepthStencil, nullptr)))
    {
        spTarget->m_pkDepthStencil = nullptr;
    }
    return spTarget;
}

// ---- NiDX9BackBufferTarget ----

NiDX9BackBufferTarget::~NiDX9BackBufferTarget()
{
    // The surfaces go before the device they belong to.
    NiDX9RenderTarget::ReleaseSurfaces();
    if (m_pkDevice != nullptr)
        m_pkDevice->Release();
    m_pkDevice = nullptr;
}

std::unique_ptr<NiDX9BackBufferTarget> NiDX9BackBufferTarget::Create(gfx::IDirect3DDevice9* pkDevice,
                                                                     const gfx::D3DPRESENT_PARAMETERS& kParams)
{
    if (pkDevice == nullptr)
        return nullptr;
    std::unique_ptr<NiDX9BackBufferTarget> spTarget(new NiDX9BackBufferTarget);
    spTarget->m_kPresentParams = kParams;
    pkDevice->AddRef();
    spTarget->m_pkDevice = pkDevice;
    // A new device binds its own back buffer and depth surface.
    ForgetBindings();
    if (!spTarget->FetchSurfaces())
        return nullptr;

    if (ms_uiHighestIndex == 0)
    {
        if (auto* pkRenderer = NiDynamicCast<NiDX9Renderer>(NiRenderer::GetRenderer()))
        {
            const std::uint32_t uiCount = pkRenderer->GetMaxSimultaneousRenderTargets();
            SetTargetLimits(uiCount > 0 ? uiCount - 1 : 0, pkRenderer->GetIndependentBitDepths());
        }
    }
    return spTarget;
}

bool NiDX9BackBufferTarget::FetchSurfaces()
{
    if (gfx::FAILED(m_pkDevice->GetRenderTarget(0, &m_pkColor)))
    {
        m_pkColor = nullptr;
        return false;
    }
    if (!DescribeColorSurface())
    {
        ReleaseSurface(m_pkColor);
        return false;
    }
    if (gfx::FAILED(m_pkDevice->GetDepthStencilSurface(&m_pkDepthStencil)))
        m_pkDepthStencil = nullptr;
    return true;
}

bool NiDX9BackBufferTarget::Display()
{
    return m_pkDevice != nullptr && gfx::SUCCEEDED(m_pkDevice->Present(nullptr, nullptr, nullptr, nullptr));
}

void NiDX9BackBufferTarget::ReleaseSurfaces()
{
    NiDX9RenderTarget::ReleaseSurfaces();
    if (m_pkDevice != nullptr)
        m_pkDevice->Release();
    m_pkDevice = nullptr;
}

bool NiDX9BackBufferTarget::OnDeviceLost()
{
    ReleaseSurfaces();
    return true;
}

bool NiDX9BackBufferTarget::Recreate(gfx::IDirect3DDevice9* pkDevice)
{
    if (m_pkColor != nullptr)
        OnDeviceLost();
    ms_apkBoundTargets[0] = nullptr;
    ms_pkBoundDepthStencil = nullptr;
    // Only a device still held is let go: losing the device let go of it.
    if (m_pkDevice != nullptr)
        m_pkDevice->Release();
    m_pkDevice = pkDevice;
    if (m_pkDevice == nullptr)
        return false;
    m_pkDevice->AddRef();
    return FetchSurfaces();
}
