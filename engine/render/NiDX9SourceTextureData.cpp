#include "engine/render/NiDX9SourceTextureData.h"

#include "engine/core/NiFile.h"
#include "engine/core/NiFilePath.h"
#include "engine/render/NiDX9ErrorString.h"
#include "engine/render/NiDX9SourceCubeMapData.h"
#include "engine/render/NiSourceCubeMap.h"
#include "engine/render/image/NiImageConverter.h"
#include "platform/gfxutil/GfxUtilImage.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <strings.h>
#include <vector>

using namespace gfx;

namespace
{
std::string g_kLastDiagnostic;

// Device failures are written to the engine's debug output, which keeps
// nothing; the last one stays readable for tests.
[[gnu::format(printf, 1, 2)]] void Diagnose(const char* pcFormat, ...)
{
    char acText[512];
    va_list kArgs;
    va_start(kArgs, pcFormat);
    std::vsnprintf(acText, sizeof(acText), pcFormat, kArgs);
    va_end(kArgs);
    g_kLastDiagnostic = acText;
}

bool IsPowerOfTwo(std::uint32_t uiValue)
{
    return uiValue != 0 && (uiValue & (uiValue - 1)) == 0;
}

// Signed formats a bump-map texture may load straight from its file.
bool IsBumpFormat(D3DFORMAT eFormat)
{
    switch (eFormat)
    {
    case D3DFMT_V8U8:
    case D3DFMT_Q8W8V8U8:
    case D3DFMT_V16U16:
    case D3DFMT_Q16W16V16U16:
    case D3DFMT_CxV8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_X8L8V8U8:
    case D3DFMT_A2W10V10U10: return true;
    default: return false;
    }
}

// Bits per pixel of a device level, block-compressed formats by their
// blocks.
std::uint32_t LevelBits(D3DFORMAT eFormat)
{
    if (eFormat == D3DFMT_DXT1)
        return 4;
    if (eFormat == D3DFMT_DXT2 || eFormat == D3DFMT_DXT3 || eFormat == D3DFMT_DXT4 || eFormat == D3DFMT_DXT5)
        return 8;
    return NiDX9Renderer::GetFormatBitsPerPixel(eFormat);
}

// The whole file in memory; empty when it cannot be opened or holds
// nothing.
std::vector<std::uint8_t> ReadWholeFile(const char* pcFileName)
{
    std::vector<std::uint8_t> kBytes;
    std::unique_ptr<NiByteStream> spFile = NiOpenFile(pcFileName, 0, NiImageConverter::FILE_BUFFER_SIZE);
    if (!spFile || !spFile->IsGood())
        return kBytes;
    constexpr std::uint32_t CHUNK = 1u << 16;
    for (;;)
    {
        const std::size_t uiAt = kBytes.size();
        // Past what 32 bits can describe nothing is a texture file.
        if (uiAt > 0xFFFFFFFFu - CHUNK)
            return {};
        kBytes.resize(uiAt + CHUNK);
        const std::uint32_t uiRead = spFile->Read(kBytes.data() + uiAt, CHUNK);
        kBytes.resize(uiAt + uiRead);
        if (uiRead < CHUNK)
            break;
    }
    return kBytes;
}
} // namespace

NiDX9SourceTextureData::NiDX9SourceTextureData(NiSourceTexture* pkTexture, NiDX9Renderer* pkRenderer)
    : NiDX9TextureData(pkTexture, pkRenderer)
{
}

NiDX9SourceTextureData::~NiDX9SourceTextureData()
{
    ReleaseD3DTexture();
}

void NiDX9SourceTextureData::ReleaseD3DTexture()
{
    if (m_pkD3DTexture == nullptr)
        return;
    // No stage may keep drawing with a texture that is gone.
    if (m_pkRenderer != nullptr && m_pkRenderer->GetRenderState() != nullptr)
        m_pkRenderer->GetRenderState()->ClearTexture(m_pkD3DTexture);
    m_pkD3DTexture->Release();
    m_pkD3DTexture = nullptr;
}

const std::string& NiDX9SourceTextureData::GetLastDiagnostic()
{
    return g_kLastDiagnostic;
}

void NiDX9SourceTextureData::ResetLastDiagnostic()
{
    g_kLastDiagnostic.clear();
}

NiDX9TextureData* NiDX9SourceTextureData::Create(NiSourceTexture* pkTexture, NiDX9Renderer* pkRenderer)
{
    if (pkTexture == nullptr || pkRenderer == nullptr)
        return nullptr;
    if (auto* pkCubeMap = NiDynamicCast<NiSourceCubeMap>(pkTexture))
        return NiDX9SourceCubeMapData::Create(pkCubeMap, pkRenderer);

    std::unique_ptr<NiDX9SourceTextureData> spData(new NiDX9SourceTextureData(pkTexture, pkRenderer));
    const NiTexture::FormatPrefs& kPrefs = pkTexture->GetFormatPreferences();
    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();

    NiPixelDataPtr spImage = pkTexture->GetSourcePixelData();
    if (!spImage)
    {
        const std::string& kFile = pkTexture->GetPlatformSpecificFileName();
        if (pkTexture->GetLoadDirectToRendererHint() &&
            spData->LoadFileDirect(kFile.c_str(), pkRenderer, kPrefs))
        {
            NiDX9TextureData* pkData = spData.get();
            pkTexture->SetRendererData(std::move(spData));
            return pkData;
        }
        // Held only for this call: the texture does not keep it.
        if (pkConverter != nullptr && !kFile.empty())
            spImage = pkConverter->ReadImageFile(kFile.c_str(), nullptr);
    }

    const NiDX9Renderer::TextureFormatTable& kTable = pkRenderer->GetTextureFormats(NiDX9Renderer::TEXUSE_TEX);
    const NiDX9Renderer::TextureFormatEntry* pkEntry = nullptr;
    std::uint32_t uiError = 0;
    if (!spImage)
        uiError = NiTexture::REPLACE_NO_IMAGE;
    else if (!IsPowerOfTwo(spImage->GetWidth()) || !IsPowerOfTwo(spImage->GetHeight()))
        uiError = NiTexture::REPLACE_BAD_SIZE;
    else if ((pkEntry = NiDX9TextureData::ChooseFormat(spImage->GetPixelFormat(), kPrefs, kTable)) == nullptr)
        uiError = NiTexture::REPLACE_NO_FORMAT;
    if (uiError != 0)
    {
        spImage = NiTexture::GetReplacementPixelData(pkTexture, uiError);
        // Replacement images come in the format of the renderer's default
        // target entry.
        const std::uint32_t uiIndex = pkRenderer->GetDefaultRenderTargetFormat();
        pkEntry = uiIndex < NiDX9Renderer::TEX_NUM && kTable[uiIndex].m_bValid ? &kTable[uiIndex] : nullptr;
        spData->m_bReplacementData = true;
    }

    if (spImage && pkEntry != nullptr)
    {
        spData->m_uiSourceRevID = spImage->GetRevisionID();
        spData->m_kPixelFormat = *pkEntry;
        spData->m_uiWidth = spImage->GetWidth();
        spData->m_uiHeight = spImage->GetHeight();
        spData->m_bMipmap = kPrefs.m_eMipMapped == NiTexture::FormatPrefs::YES ||
                            (kPrefs.m_eMipMapped == NiTexture::FormatPrefs::MIP_DEFAULT &&
                             NiTexture::GetDefaultMipmap());

        NiPixelDataPtr spConverted;
        if (pkConverter != nullptr)
            spConverted = pkConverter->ConvertPixelData(*spImage, pkEntry->m_kPixelFormat, spImage, spData->m_bMipmap);
        if (spConverted)
        {
            if (spData->CreateSurf(*spConverted))
                spData->CopyDataToSurfaces(*spConverted);
            spData->m_uiSourceSize = spConverted->GetTotalSizeInBytes();
        }
        if (NiPalette* pkPalette = spImage->GetPalette())
            spData->SetPalette(pkPalette);
    }

    NiDX9TextureData* pkData = spData.get();
    pkTexture->SetRendererData(std::move(spData));
    return pkData;
}

bool NiDX9SourceTextureData::LoadFileDirect(const char* pcFileName, NiDX9Renderer* pkRenderer,
                                            const NiTexture::FormatPrefs& kPrefs)
{
    if (pkRenderer == nullptr || pkRenderer->GetD3DDevice() == nullptr || pcFileName == nullptr)
        return false;
    const NiFilePath kPath(pcFileName);
    const char* pcExt = kPath.GetExt().c_str();
    if (strcasecmp(pcExt, ".bmp") != 0 && strcasecmp(pcExt, ".tga") != 0 && strcasecmp(pcExt, ".dds") != 0)
        return false;

    std::vector<std::uint8_t> kFile = ReadWholeFile(pcFileName);
    if (kFile.empty())
        return false;
    const auto uiSize = static_cast<std::uint32_t>(kFile.size());

    D3DXIMAGE_INFO kInfo;
    if (FAILED(D3DXGetImageInfoFromFileInMemory(kFile.data(), uiSize, &kInfo)))
        return false;
    if (kPrefs.m_ePixelLayout == NiTexture::FormatPrefs::BUMPMAP && !IsBumpFormat(kInfo.Format))
        return false;

    IDirect3DDevice9* pkDevice = pkRenderer->GetD3DDevice();
    IDirect3DBaseTexture9* pkD3DTexture = nullptr;
    HRESULT eResult = D3DERR_INVALIDCALL;
    if (kInfo.ResourceType == D3DRTYPE_TEXTURE)
    {
        IDirect3DTexture9* pkPlain = nullptr;
        eResult = D3DXCreateTextureFromFileInMemory(pkDevice, kFile.data(), uiSize, &pkPlain);
        pkD3DTexture = pkPlain;
    }
    else if (kInfo.ResourceType == D3DRTYPE_CUBETEXTURE)
    {
        IDirect3DCubeTexture9* pkCube = nullptr;
        eResult = D3DXCreateCubeTextureFromFileInMemory(pkDevice, kFile.data(), uiSize, &pkCube);
        pkD3DTexture = pkCube;
    }
    else if (kInfo.ResourceType == D3DRTYPE_VOLUMETEXTURE)
    {
        IDirect3DVolumeTexture9* pkVolume = nullptr;
        eResult = D3DXCreateVolumeTextureFromFileInMemory(pkDevice, kFile.data(), uiSize, &pkVolume);
        pkD3DTexture = pkVolume;
    }
    if (FAILED(eResult) || pkD3DTexture == nullptr)
        return false;

    if (!InitializeFromD3DTexture(pkD3DTexture))
    {
        pkD3DTexture->Release();
        return false;
    }
    return true;
}

bool NiDX9SourceTextureData::InitializeFromD3DTexture(IDirect3DBaseTexture9* pkD3DTexture)
{
    if (pkD3DTexture == nullptr)
        return false;
    const std::uint32_t uiType = pkD3DTexture->GetType();
    if (uiType != D3DRTYPE_TEXTURE && uiType != D3DRTYPE_CUBETEXTURE && uiType != D3DRTYPE_VOLUMETEXTURE)
        return false;
    const std::uint32_t uiLevels = pkD3DTexture->GetLevelCount();
    std::uint64_t uiSize = 0;
    for (std::uint32_t uiLevel = 0; uiLevel < uiLevels; ++uiLevel)
    {
        D3DSURFACE_DESC kDesc;
        std::uint32_t uiDepth = 1;
        if (!GetLevelDesc(pkD3DTexture, uiLevel, kDesc, &uiDepth))
            return false;
        if (uiLevel == 0)
        {
            if (kDesc.Format == D3DFMT_P8 || kDesc.Format == D3DFMT_A8P8)
                return false;
            m_uiWidth = kDesc.Width;
            m_uiHeight = kDesc.Height;
            NiDX9PixelFormatFromD3D(m_kPixelFormat, kDesc.Format);
        }
        uiSize += std::uint64_t(LevelBits(kDesc.Format)) * kDesc.Width * kDesc.Height * uiDepth / 8;
    }
    if (uiType == D3DRTYPE_CUBETEXTURE)
        uiSize *= 6;
    m_uiLevels = uiLevels;
    m_bMipmap = uiLevels != 1;
    m_uiSourceSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(uiSize, 0xFFFFFFFFu));
    if (m_pkD3DTexture != pkD3DTexture)
    {
        ReleaseD3DTexture();
        m_pkD3DTexture = pkD3DTexture;
    }
    return true;
}

bool NiDX9SourceTextureData::CreateSurf(const NiPixelData& kConverted)
{
    IDirect3DDevice9* pkDevice = m_pkRenderer != nullptr ? m_pkRenderer->GetD3DDevice() : nullptr;
    const std::uint32_t uiLevels = kConverted.GetNumMipmapLevels();
    if (pkDevice == nullptr || uiLevels == 0)
        return false;
    const D3DFORMAT eFormat = NiDX9PixelFormatToD3D(m_kPixelFormat.m_kPixelFormat);
    m_uiSkipLevels = std::min(m_pkRenderer->GetMipmapSkipLevel(), uiLevels - 1);
    // A side shorter than the skip stays one texel, as the image's own
    // levels do.
    m_uiWidth = std::max(m_uiWidth >> m_uiSkipLevels, 1u);
    m_uiHeight = std::max(m_uiHeight >> m_uiSkipLevels, 1u);
    m_uiLevels = uiLevels - m_uiSkipLevels;

    IDirect3DTexture9* pkTexture = nullptr;
    const HRESULT eResult =
        pkDevice->CreateTexture(m_uiWidth, m_uiHeight, m_uiLevels, 0, eFormat, D3DPOOL_MANAGED, &pkTexture, nullptr);
    if (FAILED(eResult))
    {
        Diagnose("NiDX9SourceTextureData::CreateSurf> Failed CreateImageSurface - %s\n", NiDX9ErrorString(eResult));
        ReleaseD3DTexture();
        return false;
    }
    ReleaseD3DTexture();
    m_pkD3DTexture = pkTexture;
    return true;
}

void NiDX9SourceTextureData::CopyDataToSurfaces(const NiPixelData& kImage)
{
    if (m_pkD3DTexture == nullptr || m_pkD3DTexture->GetType() != D3DRTYPE_TEXTURE)
        return;
    auto* pkTexture = static_cast<IDirect3DTexture9*>(m_pkD3DTexture);
    const std::uint32_t uiLevels = kImage.GetNumMipmapLevels();
    for (std::uint32_t j = 0; j + m_uiSkipLevels < uiLevels; ++j)
    {
        IDirect3DSurface9* pkSurface = nullptr;
        const HRESULT eResult = pkTexture->GetSurfaceLevel(j, &pkSurface);
        if (FAILED(eResult))
        {
            Diagnose("NiDX9SourceTextureData::CopyDataToSurface> Failed GetSurfaceLevel (%u)- %s", j,
                     NiDX9ErrorString(eResult));
            return;
        }
        CopyDataToSurface(kImage, m_uiSkipLevels + j, pkSurface);
        pkSurface->Release();
    }
}

void NiDX9SourceTextureData::CopyDataToSurface(const NiPixelData& kImage, std::uint32_t uiLevel,
                                               IDirect3DSurface9* pkSurface)
{
    if (pkSurface == nullptr)
        return;
    D3DSURFACE_DESC kDesc;
    HRESULT eResult = pkSurface->GetDesc(&kDesc);
    if (FAILED(eResult))
    {
        Diagnose("NiDX9SourceTextureData::CopyDataToSurface> Failed GetDesc - %s", NiDX9ErrorString(eResult));
        return;
    }
    D3DLOCKED_RECT kLocked{};
    eResult = pkSurface->LockRect(&kLocked, nullptr, 0);
    if (FAILED(eResult))
    {
        Diagnose("NiDX9SourceTextureData::CopyDataToSurface> Failed GetSurfaceLevel - %s", NiDX9ErrorString(eResult));
        return;
    }

    const std::uint8_t* pucSrc = kImage.GetPixels(uiLevel);
    const std::uint32_t uiWidth = kImage.GetWidth(uiLevel);
    std::uint32_t uiRowBytes = kImage.GetPixelStride() * uiWidth;
    std::uint32_t uiRows = std::min(kImage.GetHeight(uiLevel), kDesc.Height);
    std::uint32_t uiPitch = static_cast<std::uint32_t>(kLocked.Pitch);
    if (kImage.GetPixelFormat().IsCompressed())
    {
        // Each group of four rows is one row of 4 x 4 blocks.
        uiRows = (uiRows + 3) & ~3u;
        uiPitch /= 4;
        uiRowBytes = kDesc.Format == D3DFMT_DXT1 ? ((uiWidth + 3) / 2) & ~1u : (uiWidth + 3) & ~3u;
    }
    // Never past the level's own bytes, whatever the surface says.
    if (uiRowBytes != 0 && std::uint64_t(uiRows) * uiRowBytes > kImage.GetSizeInBytes(uiLevel))
        uiRows = kImage.GetSizeInBytes(uiLevel) / uiRowBytes;

    auto* pucDest = static_cast<std::uint8_t*>(kLocked.pBits);
    if (pucSrc != nullptr && pucDest != nullptr)
    {
        if (uiRowBytes == uiPitch)
        {
            std::memcpy(pucDest, pucSrc, std::size_t(uiRows) * uiRowBytes);
        }
        else
        {
            const std::uint32_t uiCopy = std::min(uiRowBytes, uiPitch);
            for (std::uint32_t uiRow = 0; uiRow < uiRows; ++uiRow)
            {
                std::memcpy(pucDest, pucSrc, uiCopy);
                pucSrc += uiRowBytes;
                pucDest += uiPitch;
            }
        }
    }
    pkSurface->UnlockRect();
}

bool NiDX9SourceTextureData::SetPalette(NiPalette* pkPalette)
{
    const std::uint32_t uiRevID = pkPalette != nullptr ? pkPalette->GetRevisionID() : 0;
    if (pkPalette == m_spPalette && uiRevID == m_uiPalRevID)
        return false;
    m_spPalette = pkPalette;
    m_uiPalRevID = uiRevID;
    return true;
}

void NiDX9SourceTextureData::Update()
{
    if (m_bReplacementData)
        return;
    NiSourceTexture* pkTexture = GetSourceTexture();
    NiPixelData* pkImage = pkTexture != nullptr ? pkTexture->GetSourcePixelData() : nullptr;
    if (pkImage == nullptr)
        return;
    bool bPaletteChanged = false;
    if (NiPalette* pkPalette = pkImage->GetPalette())
        bPaletteChanged = SetPalette(pkPalette);
    if (pkImage->GetRevisionID() == m_uiSourceRevID && !bPaletteChanged)
        return;

    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    NiPixelDataPtr spConverted;
    if (pkConverter != nullptr)
        spConverted = pkConverter->ConvertPixelData(*pkImage, m_kPixelFormat.m_kPixelFormat, pkImage, m_bMipmap);
    m_uiSourceRevID = pkImage->GetRevisionID();
    if (spConverted && m_pkD3DTexture != nullptr)
        CopyDataToSurfaces(*spConverted);
}
