// Texture files named by effect parameters, loaded once onto the device.

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9SourceTextureData.h"
#include "engine/render/NiDX9TextureManager.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "platform/gfxutil/GfxUtilTextureFile.h"

namespace
{
// The loaders work on the current renderer's device.
NiDX9Renderer* CurrentRenderer()
{
    return NiDynamicCast<NiDX9Renderer>(NiRenderer::GetRenderer());
}

// A size the file did not give (or a nonsensical one) takes the file's.
std::uint32_t SizeOrDefault(std::int32_t iSize)
{
    return iSize > 0 ? static_cast<std::uint32_t>(iSize) : gfx::D3DX_DEFAULT;
}

// The engine's own readers for the files the image-file loader refuses:
// the texture manager makes the device texture of an engine texture. The
// stand-in image the engine draws for unreadable files is no load here.
gfx::IDirect3DBaseTexture9* LoadThroughTheEngine(NiDX9Renderer* pkRenderer, const std::string& kFile)
{
    NiDX9TextureManager* pkManager = pkRenderer->GetTextureManager();
    if (pkManager == nullptr)
        return nullptr;
    NiSourceTexturePtr spTexture = NiSourceTexture::CreateFromFile(kFile.c_str(), NiTexture::FormatPrefs(), false);
    if (spTexture == nullptr)
        return nullptr;
    bool bChanged = false, bMipmapped = false;
    gfx::IDirect3DBaseTexture9* pkTexture = pkManager->GetD3DTextureForRendering(spTexture, bChanged, bMipmapped);
    NiDX9TextureData* pkData = NiDX9TextureManager::GetData(spTexture);
    NiDX9SourceTextureData* pkSource = pkData != nullptr ? pkData->GetAsSourceTextureData() : nullptr;
    if (pkTexture == nullptr || pkSource == nullptr || pkSource->IsReplacementData())
        return nullptr;
    // The engine texture and its data go with this function; the parameter
    // keeps the device texture by its own reference.
    pkTexture->AddRef();
    return pkTexture;
}
} // namespace

bool NiD3DXEffectParameter::LoadTexture()
{
    if (m_pkTexture != nullptr)
        return true;
    NiDX9Renderer* pkRenderer = CurrentRenderer();
    if (m_kFile.empty() || pkRenderer == nullptr || pkRenderer->GetD3DDevice() == nullptr)
        return false;
    gfx::IDirect3DTexture9* pkPlain = nullptr;
    const gfx::HRESULT hr = gfx::D3DXCreateTextureFromFileExA(
        pkRenderer->GetD3DDevice(), m_kFile.c_str(), SizeOrDefault(m_iWidth), SizeOrDefault(m_iHeight),
        gfx::D3DX_DEFAULT, 0, gfx::D3DFMT_UNKNOWN, gfx::D3DPOOL_MANAGED, gfx::D3DX_DEFAULT, gfx::D3DX_DEFAULT, 0,
        nullptr, nullptr, &pkPlain);
    if (gfx::SUCCEEDED(hr) && pkPlain != nullptr)
        m_pkTexture = pkPlain;
    else
        m_pkTexture = LoadThroughTheEngine(pkRenderer, m_kFile);
    return m_pkTexture != nullptr;
}

bool NiD3DXEffectParameter::LoadVolumeTexture()
{
    if (m_pkTexture != nullptr)
        return true;
    NiDX9Renderer* pkRenderer = CurrentRenderer();
    if (m_kFile.empty() || pkRenderer == nullptr || pkRenderer->GetD3DDevice() == nullptr)
        return false;
    // One level, as volume textures were always loaded. The parameter keeps
    // what it made (loaded once, released with the parameter).
    gfx::IDirect3DVolumeTexture9* pkVolume = nullptr;
    const gfx::HRESULT hr = gfx::D3DXCreateVolumeTextureFromFileExA(
        pkRenderer->GetD3DDevice(), m_kFile.c_str(), SizeOrDefault(m_iWidth), SizeOrDefault(m_iHeight),
        SizeOrDefault(m_iDepth), 1, 0, gfx::D3DFMT_UNKNOWN, gfx::D3DPOOL_MANAGED, gfx::D3DX_DEFAULT,
        gfx::D3DX_DEFAULT, 0, nullptr, nullptr, &pkVolume);
    if (gfx::FAILED(hr) || pkVolume == nullptr)
        return false;
    m_pkTexture = pkVolume;
    return true;
}

bool NiD3DXEffectParameter::LoadCubeTexture()
{
    if (m_pkTexture != nullptr)
        return true;
    NiDX9Renderer* pkRenderer = CurrentRenderer();
    if (m_kFile.empty() || pkRenderer == nullptr || pkRenderer->GetD3DDevice() == nullptr)
        return false;
    gfx::IDirect3DCubeTexture9* pkCube = nullptr;
    const gfx::HRESULT hr = gfx::D3DXCreateCubeTextureFromFileExA(
        pkRenderer->GetD3DDevice(), m_kFile.c_str(), SizeOrDefault(m_iWidth), gfx::D3DX_DEFAULT, 0,
        gfx::D3DFMT_UNKNOWN, gfx::D3DPOOL_MANAGED, gfx::D3DX_DEFAULT, gfx::D3DX_DEFAULT, 0, nullptr, nullptr, &pkCube);
    if (gfx::FAILED(hr) || pkCube == nullptr)
        return false;
    m_pkTexture = pkCube;
    return true;
}
