#include "engine/render/image/NiDDSReader.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace
{
// Published DirectDraw surface numbers.
constexpr std::uint32_t DDS_MAGIC = 0x20534444;        // "DDS "
constexpr std::uint32_t DDS_HEADER_SIZE = 124;
constexpr std::uint32_t DDSD_REQUIRED = 0x1007;        // caps, height, width, pixel format
constexpr std::uint32_t DDSD_DEPTH = 0x800000;
constexpr std::uint32_t DDPF_ALPHAPIXELS = 0x1;
constexpr std::uint32_t DDPF_FOURCC = 0x4;
constexpr std::uint32_t DDPF_RGB = 0x40;
constexpr std::uint32_t DDSCAPS_COMPLEX = 0x8;
constexpr std::uint32_t DDSCAPS_TEXTURE = 0x1000;
constexpr std::uint32_t DDSCAPS_MIPMAP = 0x400000;
constexpr std::uint32_t DDSCAPS2_CUBEMAP = 0x200;
constexpr std::uint32_t DDSCAPS2_VOLUME = 0x200000;
constexpr std::uint32_t FOURCC_DXT1 = 0x31545844;     // "DXT1"
constexpr std::uint32_t FOURCC_DXT3 = 0x33545844;     // "DXT3"
constexpr std::uint32_t FOURCC_DXT5 = 0x35545844;     // "DXT5"
constexpr std::uint32_t FILE_HEADER_BYTES = 128;
} // namespace

bool NiDDSReader::CanReadFile(const char* pcExtension) const
{
    return ExtensionIs(pcExtension, ".dds");
}

std::uint8_t NiDDSReader::Replicate(std::uint32_t uiPixel, std::uint32_t uiMask)
{
    if (uiMask == 0)
        return 0;
    const std::uint32_t uiShift = static_cast<std::uint32_t>(std::countr_zero(uiMask));
    const std::uint32_t uiBits = static_cast<std::uint32_t>(std::countr_one(uiMask >> uiShift));
    const std::uint32_t uiValue = (uiPixel & uiMask) >> uiShift;
    if (uiBits >= 8)
        return static_cast<std::uint8_t>(uiValue >> (uiBits - 8));
    std::uint32_t uiOut = 0;
    int iPos = 8 - static_cast<int>(uiBits);
    for (; iPos > -static_cast<int>(uiBits); iPos -= static_cast<int>(uiBits))
        uiOut |= iPos >= 0 ? (uiValue << iPos) : (uiValue >> -iPos);
    return static_cast<std::uint8_t>(uiOut);
}

bool NiDDSReader::ParseHeader(NiByteStream& kIst)
{
    std::uint8_t aucHeader[FILE_HEADER_BYTES];
    if (!ReadExact(kIst, aucHeader, FILE_HEADER_BYTES))
        return false;
    auto Word = [&aucHeader](std::uint32_t uiOffset) { return NiGetLE32(aucHeader + uiOffset); };
    if (Word(0) != DDS_MAGIC || Word(4) != DDS_HEADER_SIZE || (Word(8) & DDSD_REQUIRED) != DDSD_REQUIRED)
        return false;
    m_uiHeight = Word(12);
    m_uiWidth = Word(16);
    if ((Word(8) & DDSD_DEPTH) != 0 && Word(24) != 0)
        return false;
    const std::uint32_t uiMipCount = Word(28);
    const std::uint32_t uiPFFlags = Word(80);
    if (uiPFFlags & DDPF_FOURCC)
    {
        m_bCompressed = true;
        switch (Word(84))
        {
        case FOURCC_DXT1: m_kImageFormat = NiPixelFormat::DXT1; break;
        case FOURCC_DXT3: m_kImageFormat = NiPixelFormat::DXT3; break;
        case FOURCC_DXT5: m_kImageFormat = NiPixelFormat::DXT5; break;
        default: return false;
        }
        m_kFileFormat = m_kImageFormat;
        m_uiBitCount = 0;
    }
    else if (uiPFFlags & DDPF_RGB)
    {
        m_bCompressed = false;
        m_uiBitCount = Word(88);
        if (m_uiBitCount != 16 && m_uiBitCount != 24 && m_uiBitCount != 32)
            return false;
        for (int c = 0; c < 4; ++c)
            m_auiMasks[c] = Word(92 + 4 * c);
        if ((uiPFFlags & DDPF_ALPHAPIXELS) == 0)
            m_auiMasks[3] = 0;
        m_kFileFormat = NiPixelFormat(m_auiMasks[0], m_auiMasks[1], m_auiMasks[2], m_auiMasks[3], m_uiBitCount);
        if (m_uiBitCount == 24)
            m_kImageFormat = NiPixelFormat::RGB24;
        else if (m_uiBitCount == 32 || m_auiMasks[3] != 0)
            m_kImageFormat = NiPixelFormat::RGBA32;
        else
            m_kImageFormat = NiPixelFormat::RGB24;
    }
    else
    {
        return false;
    }
    const std::uint32_t uiCaps1 = Word(108);
    if ((uiCaps1 & (DDSCAPS_COMPLEX | DDSCAPS_TEXTURE | DDSCAPS_MIPMAP)) == 0)
        return false;
    if ((Word(112) & (DDSCAPS2_CUBEMAP | DDSCAPS2_VOLUME)) != 0)
        return false;
    if (!IsAcceptableSize(m_uiWidth, m_uiHeight))
        return false;

    m_bMipmap = (uiCaps1 & DDSCAPS_COMPLEX) && (uiCaps1 & DDSCAPS_MIPMAP) && uiMipCount > 1;
    m_uiLevels = m_bMipmap ? uiMipCount : 1;
    // A chain longer than the halvings of the longest side describes data
    // that cannot be there.
    if (m_uiLevels > static_cast<std::uint32_t>(std::bit_width(std::max(m_uiWidth, m_uiHeight))))
        return false;
    return true;
}

NiPixelDataPtr NiDDSReader::ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest)
{
    NiRecursiveLockGuard kGuard(m_kReadCriticalSection);
    if (!ParseHeader(kIst))
        return nullptr;
    // Every level is stored whole, in the file's own layout.
    std::uint64_t uiFileBytes = 0;
    for (std::uint32_t uiLevel = 0; uiLevel < m_uiLevels; ++uiLevel)
    {
        const std::uint32_t uiW = std::max(m_uiWidth >> uiLevel, 1u);
        const std::uint32_t uiH = std::max(m_uiHeight >> uiLevel, 1u);
        uiFileBytes += m_bCompressed ? NiPixelData::ComputeLevelSize(m_kFileFormat, uiW, uiH)
                                     : static_cast<std::uint64_t>(uiW) * uiH * (m_uiBitCount / 8);
    }
    if (!HoldsAtLeast(kIst, uiFileBytes))
        return nullptr;
    NiPixelDataPtr spImage = MakeImage(pkOptDest, m_uiWidth, m_uiHeight, m_kImageFormat, m_uiLevels, true);
    if (!spImage)
        return nullptr;

    const bool bStraight = m_bCompressed || (m_uiBitCount == 24 && m_auiMasks[0] == 0xFF &&
                                             m_auiMasks[1] == 0xFF00 && m_auiMasks[2] == 0xFF0000) ||
                           m_kFileFormat == m_kImageFormat;
    for (std::uint32_t uiLevel = 0; uiLevel < m_uiLevels; ++uiLevel)
    {
        std::uint8_t* pucLevel = spImage->GetPixels(uiLevel);
        const std::uint32_t uiPixels = spImage->GetWidth(uiLevel) * spImage->GetHeight(uiLevel);
        if (bStraight)
        {
            if (!ReadExact(kIst, pucLevel, spImage->GetSizeInBytes(uiLevel)))
                return nullptr;
            continue;
        }
        if (m_uiBitCount == 24)
        {
            if (!ReadExact(kIst, pucLevel, spImage->GetSizeInBytes(uiLevel)))
                return nullptr;
            if (m_auiMasks[0] == 0xFF0000)
            {
                for (std::uint32_t i = 0; i < uiPixels; ++i)
                    std::swap(pucLevel[3 * i], pucLevel[3 * i + 2]);
            }
        }
        else if (m_uiBitCount == 32)
        {
            if (!ReadExact(kIst, pucLevel, static_cast<std::uint64_t>(uiPixels) * 4))
                return nullptr;
            for (std::uint32_t i = 0; i < uiPixels; ++i)
            {
                std::uint8_t* p = pucLevel + 4 * i;
                const std::uint32_t uiPixel = NiGetLE32(p);
                p[0] = Replicate(uiPixel, m_auiMasks[0]);
                p[1] = Replicate(uiPixel, m_auiMasks[1]);
                p[2] = Replicate(uiPixel, m_auiMasks[2]);
                p[3] = m_auiMasks[3] ? Replicate(uiPixel, m_auiMasks[3]) : 255;
            }
        }
        else
        {
            const std::uint32_t uiOut = spImage->GetPixelStride();
            std::uint8_t aucChunk[512];
            std::uint8_t* p = pucLevel;
            for (std::uint32_t uiDone = 0; uiDone < uiPixels;)
            {
                const std::uint32_t n = std::min<std::uint32_t>(uiPixels - uiDone, sizeof(aucChunk) / 2);
                if (!ReadExact(kIst, aucChunk, 2 * n))
                    return nullptr;
                for (std::uint32_t i = 0; i < n; ++i, p += uiOut)
                {
                    const std::uint32_t uiPixel = NiGetLE16(aucChunk + 2 * i);
                    p[0] = Replicate(uiPixel, m_auiMasks[0]);
                    p[1] = Replicate(uiPixel, m_auiMasks[1]);
                    p[2] = Replicate(uiPixel, m_auiMasks[2]);
                    if (uiOut == 4)
                        p[3] = Replicate(uiPixel, m_auiMasks[3]);
                }
                uiDone += n;
            }
        }
    }
    return spImage;
}
