#include "engine/render/NiDX9BltSourceData.h"

#include "engine/core/NiRecursiveLock.h"
#include "engine/render/NiDX9RenderTarget.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/image/NiImageConverter.h"

#include <algorithm>
#include <cstring>
#include <memory>

NiDX9BltSourceData::NiDX9BltSourceData(NiBltSource* pkBltSource, NiDX9Renderer* pkRenderer, std::uint32_t uiWidth,
                                       std::uint32_t uiHeight)
    : m_pkBltSource(pkBltSource), m_pkRenderer(pkRenderer), m_uiWidth(uiWidth), m_uiHeight(uiHeight)
{
}

NiDX9BltSourceData::~NiDX9BltSourceData()
{
    if (m_pkSurface != nullptr)
        m_pkSurface->Release();
}

NiDX9BltSourceData* NiDX9BltSourceData::Create(NiBltSource* pkBltSource, NiDX9Renderer* pkRenderer)
{
    if (pkBltSource == nullptr || pkRenderer == nullptr)
        return nullptr;
    NiDX9BackBufferTarget* pkTarget = pkRenderer->GetDefaultRenderTarget();
    const NiDX9Renderer::TextureFormatEntry* pkFormat = pkTarget != nullptr ? pkTarget->GetFormat() : nullptr;
    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    if (pkFormat == nullptr || pkConverter == nullptr)
        return nullptr;

    NiPixelDataPtr spImage = pkBltSource->GetSourcePixelData();
    if (!spImage && !pkBltSource->GetPlatformSpecificFileName().empty())
        spImage = pkConverter->ReadImageFile(pkBltSource->GetPlatformSpecificFileName().c_str(), nullptr);
    if (!spImage)
        return nullptr;
    NiPixelDataPtr spConverted = pkConverter->ConvertPixelData(*spImage, pkFormat->m_kPixelFormat, nullptr, false);
    if (!spConverted || spConverted->GetPixels() == nullptr)
        return nullptr;

    std::unique_ptr<NiDX9BltSourceData> spData(
        new NiDX9BltSourceData(pkBltSource, pkRenderer, spConverted->GetWidth(), spConverted->GetHeight()));
    (void)spData->CreateSurf(*spConverted, pkFormat->m_eD3DFormat);
    NiDX9BltSourceData* pkData = spData.get();
    pkBltSource->SetRendererData(std::move(spData));
    return pkData;
}

bool NiDX9BltSourceData::CreateSurf(const NiPixelData& kImage, gfx::D3DFORMAT eFormat)
{
    gfx::IDirect3DDevice9* pkDevice = m_pkRenderer->GetD3DDevice();
    if (pkDevice == nullptr)
        return false;
    if (gfx::FAILED(pkDevice->CreateOffscreenPlainSurface(m_uiWidth, m_uiHeight, eFormat, gfx::D3DPOOL_SYSTEMMEM,
                                                          &m_pkSurface, nullptr)))
    {
        m_pkSurface = nullptr;
        return false;
    }
    gfx::D3DSURFACE_DESC kDesc;
    gfx::D3DLOCKED_RECT kLocked{};
    if (gfx::FAILED(m_pkSurface->GetDesc(&kDesc)) || gfx::FAILED(m_pkSurface->LockRect(&kLocked, nullptr, 0)))
    {
        m_pkSurface->Release();
        m_pkSurface = nullptr;
        return false;
    }
    const std::size_t uiRowBytes =
        std::min<std::size_t>(std::size_t(kImage.GetPixelStride()) * m_uiWidth, std::size_t(kLocked.Pitch));
    const std::uint32_t uiRows = std::min(kDesc.Height, kImage.GetHeight());
    const std::uint8_t* pucSource = kImage.GetPixels();
    auto* pucDest = static_cast<std::uint8_t*>(kLocked.pBits);
    for (std::uint32_t uiRow = 0; uiRow < uiRows; ++uiRow)
        std::memcpy(pucDest + std::size_t(uiRow) * kLocked.Pitch, pucSource + std::size_t(uiRow) * kImage.GetPixelStride() * m_uiWidth, uiRowBytes);
    m_pkSurface->UnlockRect();
    return true;
}

void NiDX9BltSourceData::PurgeAllBltSourceRendererData()
{
    NiRecursiveLockGuard kGuard(NiBltSourceLock());
    for (NiBltSource* pkSource = NiBltSource::GetListHead(); pkSource != nullptr; pkSource = pkSource->GetListNext())
        pkSource->SetRendererData(nullptr);
}
