#include "engine/render/NiDX9RenderedTextureData.h"

namespace
{
// Render-target candidates by alpha wish.
constexpr std::array<std::uint32_t, 6> ALPHA_ORDER = {
    NiDX9Renderer::TEX_RGBA8888, NiDX9Renderer::TEX_RGBA4444, NiDX9Renderer::TEX_RGBA5551,
    NiDX9Renderer::TEX_RGB888,   NiDX9Renderer::TEX_RGB565,   NiDX9Renderer::TEX_RGB555,
};
constexpr std::array<std::uint32_t, 6> PLAIN_ORDER = {
    NiDX9Renderer::TEX_RGB888,   NiDX9Renderer::TEX_RGBA8888, NiDX9Renderer::TEX_RGB565,
    NiDX9Renderer::TEX_RGB555,   NiDX9Renderer::TEX_RGBA4444, NiDX9Renderer::TEX_RGBA5551,
};

void ReleaseTexture(gfx::IDirect3DBaseTexture9* pkTexture, NiDX9Renderer* pkRenderer)
{
    if (pkTexture == nullptr)
        return;
    if (pkRenderer != nullptr && pkRenderer->GetRenderState() != nullptr)
        pkRenderer->GetRenderState()->ClearTexture(pkTexture);
    pkTexture->Release();
}
} // namespace

// ---- NiDX9RenderedTextureData ----

NiDX9RenderedTextureData::NiDX9RenderedTextureData(NiRenderedTexture* pkTexture, NiDX9Renderer* pkRenderer)
    : NiDX9TextureData(pkTexture, pkRenderer)
{
}

NiDX9RenderedTextureData::~NiDX9RenderedTextureData()
{
    ReleaseTexture(m_pkD3DTexture, m_pkRenderer);
    m_pkD3DTexture = nullptr;
    ReleaseTarget(m_spRenderTarget);
    if (m_pkRenderer != nullptr)
        m_pkRenderer->RemoveRenderedTexture(m_pkTexture, this);
}

void NiDX9RenderedTextureData::ReleaseTarget(std::unique_ptr<NiDX9TextureRenderTarget>& spTarget)
{
    if (spTarget == nullptr)
        return;
    if (m_pkRenderer != nullptr)
    {
        m_pkRenderer->SetRenderTarget(nullptr);
        // Inside a scene the switch is refused: the renderer must still not
        // keep drawing into a target that is gone.
        m_pkRenderer->ForgetRenderTarget(spTarget.get());
    }
    spTarget = nullptr;
}

const NiDX9Renderer::TextureFormatEntry* NiDX9RenderedTextureData::ChooseTargetFormat(
    const NiTexture::FormatPrefs& kPrefs, const FormatTable& kTable)
{
    if (kPrefs.m_ePixelLayout == NiTexture::FormatPrefs::HIGH_COLOR_16)
    {
        if (kTable[NiDX9Renderer::TEX_RGB565].m_bValid)
            return &kTable[NiDX9Renderer::TEX_RGB565];
        if (kTable[NiDX9Renderer::TEX_RGB555].m_bValid)
            return &kTable[NiDX9Renderer::TEX_RGB555];
    }
    const bool bAlpha = kPrefs.m_eAlphaFmt == NiTexture::FormatPrefs::BINARY ||
                        kPrefs.m_eAlphaFmt == NiTexture::FormatPrefs::SMOOTH;
    for (std::uint32_t eFormat : bAlpha ? ALPHA_ORDER : PLAIN_ORDER)
    {
        if (kTable[eFormat].m_bValid)
            return &kTable[eFormat];
    }
    return nullptr;
}

bool NiDX9RenderedTextureData::CreateSurf(std::uint32_t eUsage)
{
    const NiDX9Renderer::TextureFormatEntry* pkEntry =
        ChooseTargetFormat(m_pkTexture->GetFormatPreferences(), m_pkRenderer->GetTextureFormats(eUsage));
    gfx::IDirect3DDevice9* pkDevice = m_pkRenderer->GetD3DDevice();
    if (pkEntry == nullptr || pkDevice == nullptr)
        return false;
    const std::uint32_t uiWidth = m_pkTexture->GetWidth();
    const std::uint32_t uiHeight = m_pkTexture->GetHeight();
    if (gfx::FAILED(pkDevice->CreateTexture(uiWidth, uiHeight, 1, gfx::D3DUSAGE_RENDERTARGET, pkEntry->m_eD3DFormat,
                                            gfx::D3DPOOL_DEFAULT, &m_pkD3DTexture, nullptr)))
    {
        m_pkD3DTexture = nullptr;
        return false;
    }
    m_kPixelFormat = *pkEntry;
    m_uiWidth = uiWidth;
    m_uiHeight = uiHeight;
    m_uiLevels = 1;
    return true;
}

NiDX9RenderedTextureData* NiDX9RenderedTextureData::Create(NiRenderedTexture* pkTexture, NiDX9Renderer* pkRenderer)
{
    if (pkTexture == nullptr || pkRenderer == nullptr || pkRenderer->GetD3DDevice() == nullptr)
        return nullptr;
    std::unique_ptr<NiDX9RenderedTextureData> spData(new NiDX9RenderedTextureData(pkTexture, pkRenderer));
    if (!spData->CreateSurf(NiDX9Renderer::TEXUSE_RENDERED_TEX))
        return nullptr;

    // The depth surface takes the format of the one the device draws with,
    // else the one the renderer matched to the target's format.
    gfx::IDirect3DDevice9* pkDevice = pkRenderer->GetD3DDevice();
    gfx::D3DFORMAT eDepth = pkRenderer->GetRenderTargetDepthFormat(spData->m_kPixelFormat.m_uiIndex);
    gfx::IDirect3DSurface9* pkCurrentDepth = nullptr;
    if (gfx::SUCCEEDED(pkDevice->GetDepthStencilSurface(&pkCurrentDepth)) && pkCurrentDepth != nullptr)
    {
        gfx::D3DSURFACE_DESC kDesc{};
        if (gfx::SUCCEEDED(pkCurrentDepth->GetDesc(&kDesc)))
            eDepth = kDesc.Format;
        pkCurrentDepth->Release();
    }
    spData->m_spRenderTarget = NiDX9TextureRenderTarget::Create(spData->m_pkD3DTexture, eDepth, pkDevice);
    if (spData->m_spRenderTarget == nullptr)
        return nullptr;
    NiDX9RenderedTextureData* pkData = spData.get();
    pkTexture->SetRendererData(std::move(spData));
    return pkData;
}

// ---- NiDX9RenderedCubeMapData ----

NiDX9RenderedCubeMapData::NiDX9RenderedCubeMapData(NiRenderedCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer)
    : NiDX9RenderedTextureData(pkCubeMap, pkRenderer)
{
}

NiDX9RenderedCubeMapData::~NiDX9RenderedCubeMapData()
{
    ReleaseTexture(m_pkCubeTexture, m_pkRenderer);
    m_pkCubeTexture = nullptr;
    for (std::unique_ptr<NiDX9TextureRenderTarget>& spTarget : m_aspFaceTargets)
        ReleaseTarget(spTarget);
    if (m_pkRenderer != nullptr)
        m_pkRenderer->RemoveRenderedCubeMap(m_pkTexture, this);
}

NiDX9RenderTarget* NiDX9RenderedCubeMapData::GetRenderTarget() const
{
    return GetFaceTarget(static_cast<NiRenderedCubeMap*>(m_pkTexture)->GetCurrentCubeFace());
}

NiDX9RenderTarget* NiDX9RenderedCubeMapData::GetFaceTarget(std::uint32_t uiFace) const
{
    return uiFace < m_aspFaceTargets.size() ? m_aspFaceTargets[uiFace].get() : nullptr;
}

bool NiDX9RenderedCubeMapData::CreateCubeSurf()
{
    const NiDX9Renderer::TextureFormatEntry* pkEntry = ChooseTargetFormat(
        m_pkTexture->GetFormatPreferences(), m_pkRenderer->GetTextureFormats(NiDX9Renderer::TEXUSE_RENDERED_CUBE));
    gfx::IDirect3DDevice9* pkDevice = m_pkRenderer->GetD3DDevice();
    if (pkEntry == nullptr || pkDevice == nullptr)
        return false;
    const std::uint32_t uiEdge = m_pkTexture->GetWidth();
    if (gfx::FAILED(pkDevice->CreateCubeTexture(uiEdge, 1, gfx::D3DUSAGE_RENDERTARGET, pkEntry->m_eD3DFormat,
                                                gfx::D3DPOOL_DEFAULT, &m_pkCubeTexture, nullptr)))
    {
        m_pkCubeTexture = nullptr;
        return false;
    }
    m_kPixelFormat = *pkEntry;
    m_uiWidth = uiEdge;
    m_uiHeight = uiEdge;
    m_uiLevels = 1;
    return true;
}

NiDX9RenderedCubeMapData* NiDX9RenderedCubeMapData::Create(NiRenderedCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer)
{
    if (pkCubeMap == nullptr || pkRenderer == nullptr || pkRenderer->GetD3DDevice() == nullptr)
        return nullptr;
    std::unique_ptr<NiDX9RenderedCubeMapData> spData(new NiDX9RenderedCubeMapData(pkCubeMap, pkRenderer));
    if (!spData->CreateCubeSurf())
        return nullptr;
    gfx::IDirect3DDevice9* pkDevice = pkRenderer->GetD3DDevice();
    spData->m_aspFaceTargets[0] =
        NiDX9Renderer::CreateRenderedTextureRendererData(spData->m_pkCubeTexture, 0, nullptr, pkDevice);
    if (spData->m_aspFaceTargets[0] == nullptr)
        return nullptr;
    for (std::uint32_t uiFace = 1; uiFace < NiRenderedCubeMap::FACE_NUM; ++uiFace)
    {
        spData->m_aspFaceTargets[uiFace] = NiDX9Renderer::CreateRenderedTextureRendererData(
            spData->m_pkCubeTexture, uiFace, spData->m_aspFaceTargets[0].get(), pkDevice);
        if (spData->m_aspFaceTargets[uiFace] == nullptr)
            return nullptr;
    }
    NiDX9RenderedCubeMapData* pkData = spData.get();
    pkCubeMap->SetRendererData(std::move(spData));
    return pkData;
}
