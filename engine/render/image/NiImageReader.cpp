#include "engine/render/image/NiImageReader.h"

#include "engine/core/NiByteStream.h"

#include <algorithm>
#include <cctype>

bool NiImageReader::IsAcceptableSize(std::uint64_t uiWidth, std::uint64_t uiHeight)
{
    return uiWidth != 0 && uiHeight != 0 && uiWidth <= MAX_SIDE && uiHeight <= MAX_SIDE &&
           uiWidth * uiHeight <= MAX_PIXELS;
}

bool NiImageReader::ExtensionIs(const char* pcExtension, const char* pcMine)
{
    if (pcExtension == nullptr)
        return false;
    for (; *pcExtension && *pcMine; ++pcExtension, ++pcMine)
    {
        if (std::tolower(static_cast<unsigned char>(*pcExtension)) != std::tolower(static_cast<unsigned char>(*pcMine)))
            return false;
    }
    return *pcExtension == '\0' && *pcMine == '\0';
}

NiPixelDataPtr NiImageReader::MakeImage(NiPixelData* pkOptDest, std::uint32_t uiWidth, std::uint32_t uiHeight,
                                        const NiPixelFormat& kFormat, std::uint32_t uiLevels, bool bSameLevels)
{
    if (pkOptDest != nullptr && pkOptDest->GetWidth() == uiWidth && pkOptDest->GetHeight() == uiHeight &&
        pkOptDest->GetPixelFormat() == kFormat && (!bSameLevels || pkOptDest->GetNumMipmapLevels() == uiLevels))
        return pkOptDest;
    NiPixelDataPtr spImage = new NiPixelData(uiWidth, uiHeight, kFormat, uiLevels);
    if (spImage->GetPixels() == nullptr)
        return nullptr;
    return spImage;
}

bool NiImageReader::ReadExact(NiByteStream& kIst, void* pvBuffer, std::uint64_t uiBytes)
{
    auto* pucDest = static_cast<std::uint8_t*>(pvBuffer);
    while (uiBytes > 0)
    {
        const std::uint32_t uiChunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(uiBytes, 1u << 30));
        if (kIst.Read(pucDest, uiChunk) != uiChunk)
            return false;
        pucDest += uiChunk;
        uiBytes -= uiChunk;
    }
    return true;
}

bool NiImageReader::HoldsAtLeast(const NiByteStream& kIst, std::uint64_t uiBytes)
{
    const std::uint64_t uiLeft = kIst.GetBytesLeft();
    return uiLeft == NiByteStream::UNKNOWN_SIZE || uiLeft >= uiBytes;
}

bool NiImageReader::Skip(NiByteStream& kIst, std::uint64_t uiBytes)
{
    std::uint8_t aucScratch[4096];
    while (uiBytes > 0)
    {
        const std::uint32_t uiChunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(uiBytes, sizeof(aucScratch)));
        if (kIst.Read(aucScratch, uiChunk) != uiChunk)
            return false;
        uiBytes -= uiChunk;
    }
    return true;
}

bool NiHeaderImageReader::ReadHeader(NiByteStream& kIst, std::uint32_t& uiWidth, std::uint32_t& uiHeight,
                                     NiPixelFormat& kFormat, bool& bMipmap)
{
    NiRecursiveLockGuard kGuard(m_kReadCriticalSection);
    if (!ParseHeader(kIst))
        return false;
    const HeaderFacts kFacts = GetHeaderFacts();
    uiWidth = kFacts.uiWidth;
    uiHeight = kFacts.uiHeight;
    kFormat = kFacts.kFormat;
    bMipmap = kFacts.bMipmap;
    return true;
}
