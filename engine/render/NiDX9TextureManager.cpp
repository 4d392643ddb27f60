#include "engine/render/NiDX9TextureManager.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9SourceTextureData.h"
#include "engine/render/NiSourceTexture.h"

namespace
{
// Data is made under the renderer's precache lock, which other threads'
// precaching takes too.
class PrecacheGuard
{
public:
    explicit PrecacheGuard(NiRenderer* pkRenderer) : m_pkRenderer(pkRenderer) { m_pkRenderer->LockPrecache(); }
    ~PrecacheGuard() { m_pkRenderer->UnlockPrecache(); }
    PrecacheGuard(const PrecacheGuard&) = delete;
    PrecacheGuard& operator=(const PrecacheGuard&) = delete;

private:
    NiRenderer* m_pkRenderer;
};
} // namespace

NiDX9TextureManager::NiDX9TextureManager(NiDX9Renderer* pkRenderer)
    : m_pkRenderer(pkRenderer), m_pkD3DDevice9(pkRenderer != nullptr ? pkRenderer->GetD3DDevice() : nullptr)
{
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->AddRef();
}

NiDX9TextureManager::~NiDX9TextureManager()
{
    if (m_pkD3DDevice9 != nullptr)
        m_pkD3DDevice9->Release();
}

NiDX9TextureData* NiDX9TextureManager::GetData(NiTexture* pkTexture)
{
    return pkTexture != nullptr ? dynamic_cast<NiDX9TextureData*>(pkTexture->GetRendererData()) : nullptr;
}

gfx::IDirect3DBaseTexture9* NiDX9TextureManager::GetD3DTextureForRendering(NiTexture* pkTexture, bool& bChanged,
                                                                           bool& bMipmapped)
{
    bChanged = false;
    bMipmapped = false;
    if (pkTexture == nullptr)
        return nullptr;

    NiDX9TextureData* pkData = nullptr;
    {
        PrecacheGuard kGuard(m_pkRenderer);
        if (pkTexture->GetRendererData() == nullptr)
        {
            auto* pkSource = NiDynamicCast<NiSourceTexture>(pkTexture);
            if (pkSource == nullptr)
                return nullptr;
            (void)NiDX9SourceTextureData::Create(pkSource, m_pkRenderer);
            bChanged = true;
        }
        pkData = GetData(pkTexture);
    }
    if (pkData == nullptr)
        return nullptr;

    if (pkData->GetAsRenderedTextureData() != nullptr)
        return pkData->GetD3DTexture();

    if (NiDX9SourceTextureData* pkSourceData = pkData->GetAsSourceTextureData())
    {
        if (!pkSourceData->HasDeviceTexture())
        {
            pkSourceData->Update();
            bChanged = true;
        }
        else if (auto* pkSource = NiDynamicCast<NiSourceTexture>(pkTexture); pkSource != nullptr &&
                                                                              !pkSource->GetStatic())
        {
            pkSourceData->Update();
        }
    }
    bMipmapped = pkData->GetLevels() > 1;
    return pkData->GetD3DTexture();
}

bool NiDX9TextureManager::PrecacheTexture(NiTexture* pkTexture)
{
    if (pkTexture == nullptr)
        return false;
    PrecacheGuard kGuard(m_pkRenderer);
    if (pkTexture->GetRendererData() == nullptr)
    {
        auto* pkSource = NiDynamicCast<NiSourceTexture>(pkTexture);
        if (pkSource == nullptr)
            return false;
        (void)NiDX9SourceTextureData::Create(pkSource, m_pkRenderer);
    }
    NiDX9TextureData* pkData = GetData(pkTexture);
    if (pkData == nullptr)
        return false;
    if (pkData->GetAsSourceTextureData() != nullptr)
        return true;
    if (pkData->GetAsRenderedTextureData() != nullptr)
        return pkData->HasDeviceTexture();
    return false;
}

std::uint32_t NiDX9TextureManager::GetFormatIndex(NiTexture* pkTexture)
{
    if (pkTexture == nullptr)
        return FORMAT_NONE;
    if (pkTexture->GetRendererData() == nullptr)
    {
        // Only source textures are made here; others come with their data.
        if (!NiIsKindOf<NiSourceTexture>(pkTexture) || !m_pkRenderer->PrecacheTexture(pkTexture))
            return FORMAT_NONE;
    }
    NiDX9TextureData* pkData = GetData(pkTexture);
    if (pkData == nullptr)
        return FORMAT_NONE;
    return pkData->GetPixelFormat().m_uiIndex;
}
