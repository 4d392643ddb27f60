#include "engine/render/NiDX9SourceCubeMapData.h"

#include "engine/render/image/NiImageConverter.h"

#include <algorithm>
#include <memory>

using namespace gfx;

namespace
{
bool IsPowerOfTwo(std::uint32_t uiValue)
{
    return uiValue != 0 && (uiValue & (uiValue - 1)) == 0;
}

bool HasAnyEntry(const NiDX9Renderer::TextureFormatTable& kTable)
{
    for (const NiDX9Renderer::TextureFormatEntry& kEntry : kTable)
    {
        if (kEntry.m_bValid)
            return true;
    }
    return false;
}
} // namespace

NiDX9SourceCubeMapData::NiDX9SourceCubeMapData(NiSourceCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer)
    : NiDX9SourceTextureData(pkCubeMap, pkRenderer)
{
}

NiDX9SourceCubeMapData::~NiDX9SourceCubeMapData()
{
    // The base releases the one reference.
    m_pkCubeTexture = nullptr;
}

NiDX9SourceCubeMapData* NiDX9SourceCubeMapData::Create(NiSourceCubeMap* pkCubeMap, NiDX9Renderer* pkRenderer)
{
    if (pkCubeMap == nullptr || pkRenderer == nullptr || pkRenderer->GetD3DDevice() == nullptr)
        return nullptr;
    const NiDX9Renderer::TextureFormatTable& kCubeTable = pkRenderer->GetTextureFormats(NiDX9Renderer::TEXUSE_CUBE);
    if (!HasAnyEntry(kCubeTable))
        return nullptr;

    std::unique_ptr<NiDX9SourceCubeMapData> spData(new NiDX9SourceCubeMapData(pkCubeMap, pkRenderer));
    const NiTexture::FormatPrefs& kPrefs = pkCubeMap->GetFormatPreferences();
    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    constexpr std::uint32_t FACES = NiSourceCubeMap::FACE_NUM;

    // The faces' images, each checked against face 0.
    std::array<NiPixelDataPtr, FACES> aspImages;
    std::array<std::uint32_t, FACES>& auiErrors = spData->m_auiFaceErrors;
    for (std::uint32_t uiFace = 0; uiFace < FACES; ++uiFace)
    {
        const std::string& kFile = pkCubeMap->GetFacePlatformFileName(uiFace);
        if (!kFile.empty())
        {
            if (pkConverter != nullptr)
                aspImages[uiFace] = pkConverter->ReadImageFile(kFile.c_str(), nullptr);
        }
        else
        {
            aspImages[uiFace] = pkCubeMap->GetFacePixelData(uiFace);
        }
        NiPixelData* pkImage = aspImages[uiFace];
        if (pkImage == nullptr)
        {
            auiErrors[uiFace] = NiTexture::REPLACE_NO_IMAGE;
            continue;
        }
        spData->m_auiFaceRevIDs[uiFace] = pkImage->GetRevisionID();
        if (uiFace == 0)
        {
            if (pkImage->GetWidth() != pkImage->GetHeight() || !IsPowerOfTwo(pkImage->GetWidth()))
                auiErrors[0] = NiTexture::REPLACE_BAD_SIZE;
            continue;
        }
        const NiPixelData* pkFirst = aspImages[0];
        if (pkFirst == nullptr)
            continue;
        if (pkImage->GetWidth() != pkFirst->GetWidth() || pkImage->GetHeight() != pkFirst->GetHeight() ||
            pkImage->GetNumMipmapLevels() != pkFirst->GetNumMipmapLevels())
            auiErrors[uiFace] = NiTexture::REPLACE_BAD_SIZE;
        else if (pkImage->GetPixelFormat() != pkFirst->GetPixelFormat())
            auiErrors[uiFace] = NiTexture::REPLACE_CUBE_FORMAT;
    }

    // One format for the six faces, chosen by face 0.
    const NiDX9Renderer::TextureFormatEntry* pkEntry = nullptr;
    if (aspImages[0] != nullptr && auiErrors[0] == 0)
        pkEntry = NiDX9TextureData::ChooseFormat(aspImages[0]->GetPixelFormat(), kPrefs, kCubeTable);
    spData->m_bMipmap = kPrefs.m_eMipMapped == NiTexture::FormatPrefs::YES ||
                        (kPrefs.m_eMipMapped == NiTexture::FormatPrefs::MIP_DEFAULT && NiTexture::GetDefaultMipmap() &&
                         pkRenderer->GetMipmapCubeMaps());

    // Every face that has its own image in the chosen format.
    std::array<NiPixelDataPtr, FACES> aspConverted;
    std::uint64_t uiSize = 0;
    for (std::uint32_t uiFace = 0; uiFace < FACES && pkEntry != nullptr; ++uiFace)
    {
        if (auiErrors[uiFace] != 0)
            continue;
        if (pkConverter != nullptr)
            aspConverted[uiFace] =
                pkConverter->ConvertPixelData(*aspImages[uiFace], pkEntry->m_kPixelFormat, nullptr, spData->m_bMipmap);
        if (!aspConverted[uiFace])
            auiErrors[uiFace] = NiTexture::REPLACE_NO_FORMAT;
        else
            uiSize += aspConverted[uiFace]->GetTotalSizeInBytes();
    }

    // One face that cannot be made makes every face a replacement: the cube
    // stays one size and one format.
    bool bReplace = pkEntry == nullptr;
    for (std::uint32_t uiError : auiErrors)
        bReplace = bReplace || uiError != 0;
    const NiDX9Renderer::TextureFormatTable& kTable = pkRenderer->GetTextureFormats(NiDX9Renderer::TEXUSE_TEX);
    if (bReplace)
    {
        for (std::uint32_t& uiError : auiErrors)
        {
            if (uiError == 0)
                uiError = NiTexture::REPLACE_CUBE_FORMAT;
        }
        const std::uint32_t uiIndex = pkRenderer->GetDefaultRenderTargetFormat();
        pkEntry = uiIndex < NiDX9Renderer::TEX_NUM && kTable[uiIndex].m_bValid ? &kTable[uiIndex] : nullptr;
        if (pkEntry == nullptr)
            return nullptr;
        uiSize = 0;
        for (std::uint32_t uiFace = 0; uiFace < FACES; ++uiFace)
        {
            NiPixelDataPtr spReplacement = NiTexture::GetReplacementPixelData(pkCubeMap, auiErrors[uiFace]);
            if (spReplacement && spReplacement->GetPixelFormat() != pkEntry->m_kPixelFormat && pkConverter != nullptr)
                spReplacement = pkConverter->ConvertPixelData(*spReplacement, pkEntry->m_kPixelFormat, nullptr, false);
            if (!spReplacement)
                return nullptr;
            aspConverted[uiFace] = spReplacement;
            uiSize += spReplacement->GetTotalSizeInBytes();
        }
        spData->m_bReplacementData = true;
    }

    // The cube texture: one level unless the device mip-maps cube maps.
    const NiPixelData& kFirst = *aspConverted[0];
    const std::uint32_t uiEdge = kFirst.GetWidth();
    const std::uint32_t uiLevels = pkRenderer->GetMipmapCubeMaps() ? kFirst.GetNumMipmapLevels() : 1;
    IDirect3DCubeTexture9* pkCube = nullptr;
    if (FAILED(pkRenderer->GetD3DDevice()->CreateCubeTexture(uiEdge, uiLevels, 0, pkEntry->m_eD3DFormat,
                                                             D3DPOOL_MANAGED, &pkCube, nullptr)))
        return nullptr;
    spData->m_pkD3DTexture = pkCube;
    spData->m_pkCubeTexture = pkCube;
    spData->m_kPixelFormat = *pkEntry;
    spData->m_uiWidth = uiEdge;
    spData->m_uiHeight = uiEdge;
    spData->m_uiLevels = uiLevels;
    spData->m_uiSourceSize = static_cast<std::uint32_t>(std::min<std::uint64_t>(uiSize, 0xFFFFFFFFu));

    for (std::uint32_t uiFace = 0; uiFace < FACES; ++uiFace)
        spData->CopyFace(uiFace, *aspConverted[uiFace]);
    if (aspImages[0] != nullptr)
        spData->SetPalette(aspImages[0]->GetPalette());

    NiDX9SourceCubeMapData* pkData = spData.get();
    pkCubeMap->SetRendererData(std::move(spData));
    return pkData;
}

void NiDX9SourceCubeMapData::CopyFace(std::uint32_t uiFace, const NiPixelData& kImage)
{
    if (m_pkCubeTexture == nullptr)
        return;
    for (std::uint32_t uiLevel = 0; uiLevel < m_uiLevels && uiLevel < kImage.GetNumMipmapLevels(); ++uiLevel)
    {
        IDirect3DSurface9* pkSurface = nullptr;
        if (FAILED(m_pkCubeTexture->GetCubeMapSurface(uiFace, uiLevel, &pkSurface)) || pkSurface == nullptr)
            return;
        CopyDataToSurface(kImage, uiLevel, pkSurface);
        pkSurface->Release();
    }
}

void NiDX9SourceCubeMapData::Update()
{
    if (m_bReplacementData)
        return;
    NiSourceCubeMap* pkCubeMap = GetCubeMap();
    NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
    if (pkCubeMap == nullptr || pkConverter == nullptr)
        return;
    NiPalette* pkPalette = nullptr;
    for (std::uint32_t uiFace = 0; uiFace < NiSourceCubeMap::FACE_NUM; ++uiFace)
    {
        if (NiPixelData* pkImage = pkCubeMap->GetFacePixelData(uiFace))
        {
            pkPalette = pkImage->GetPalette();
            break;
        }
    }
    const bool bPaletteChanged = SetPalette(pkPalette);
    for (std::uint32_t uiFace = 0; uiFace < NiSourceCubeMap::FACE_NUM; ++uiFace)
    {
        NiPixelData* pkImage = pkCubeMap->GetFacePixelData(uiFace);
        if (pkImage == nullptr || (pkImage->GetRevisionID() == m_auiFaceRevIDs[uiFace] && !bPaletteChanged))
            continue;
        m_auiFaceRevIDs[uiFace] = pkImage->GetRevisionID();
        NiPixelDataPtr spConverted =
            pkConverter->ConvertPixelData(*pkImage, m_kPixelFormat.m_kPixelFormat, nullptr, m_bMipmap);
        if (spConverted)
            CopyFace(uiFace, *spConverted);
    }
}
