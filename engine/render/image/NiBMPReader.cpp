#include "engine/render/image/NiBMPReader.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/render/image/NiDDSReader.h"

#include <climits>
#include <cstring>
#include <vector>

namespace
{
// Published bitmap numbers.
constexpr std::uint16_t BMP_MAGIC = 0x4D42; // "BM"
constexpr std::uint32_t FILE_HEADER_SIZE = 14;
constexpr std::uint32_t INFO_HEADER_SIZE = 40;
constexpr std::uint32_t BI_RLE8 = 1;
constexpr std::uint32_t BI_RLE4 = 2;
constexpr std::uint32_t BI_BITFIELDS = 3;
constexpr std::uint32_t MAX_COLORS = 256;
} // namespace

bool NiBMPReader::CanReadFile(const char* pcExtension) const
{
    return ExtensionIs(pcExtension, ".bmp");
}

bool NiBMPReader::ParseHeader(NiByteStream& kIst)
{
    std::uint8_t aucHeader[FILE_HEADER_SIZE + INFO_HEADER_SIZE];
    if (!ReadExact(kIst, aucHeader, FILE_HEADER_SIZE + INFO_HEADER_SIZE) || NiGetLE16(aucHeader) != BMP_MAGIC)
        return false;
    m_uiDataOffset = NiGetLE32(aucHeader + 10);
    const std::uint32_t uiInfoSize = NiGetLE32(aucHeader + 14);
    const std::int32_t iWidth = static_cast<std::int32_t>(NiGetLE32(aucHeader + 18));
    const std::int32_t iHeight = static_cast<std::int32_t>(NiGetLE32(aucHeader + 22));
    m_usBitCount = NiGetLE16(aucHeader + 28);
    const std::uint32_t uiCompression = NiGetLE32(aucHeader + 30);
    m_uiColorsUsed = NiGetLE32(aucHeader + 46);
    if (uiInfoSize < INFO_HEADER_SIZE)
        return false;
    if (iWidth <= 0 || iHeight == 0 || iHeight == INT_MIN)
        return false;
    m_uiWidth = static_cast<std::uint32_t>(iWidth);
    m_bBottomUp = iHeight > 0;
    m_uiHeight = static_cast<std::uint32_t>(iHeight > 0 ? iHeight : -iHeight);
    if (!IsAcceptableSize(m_uiWidth, m_uiHeight))
        return false;
    if (uiCompression == BI_RLE8 || uiCompression == BI_RLE4)
        return false;
    switch (m_usBitCount)
    {
    case 4:
    case 8:
        m_kFormat = NiPixelFormat::PAL8;
        if (m_uiColorsUsed == 0)
            m_uiColorsUsed = 1u << m_usBitCount;
        if (m_uiColorsUsed > MAX_COLORS)
            return false;
        break;
    case 24: m_kFormat = NiPixelFormat::RGB24; break;
    case 32: m_kFormat = NiPixelFormat::RGBA32; break;
    default: return false;
    }
    // Bit-field masks follow the 40 header bytes, inside a longer header or
    // as 12 bytes of their own after a short one.
    m_uiPosition = FILE_HEADER_SIZE + INFO_HEADER_SIZE;
    m_bBitFields = m_usBitCount == 32 && uiCompression == BI_BITFIELDS;
    if (m_bBitFields)
    {
        std::uint8_t aucMasks[12];
        if (!ReadExact(kIst, aucMasks, sizeof(aucMasks)))
            return false;
        for (int c = 0; c < 3; ++c)
            m_auiMasks[c] = NiGetLE32(aucMasks + 4 * c);
        m_uiPosition += sizeof(aucMasks);
    }
    const std::uint64_t uiHeaderEnd = FILE_HEADER_SIZE + static_cast<std::uint64_t>(uiInfoSize);
    if (uiHeaderEnd > m_uiPosition)
    {
        if (!Skip(kIst, uiHeaderEnd - m_uiPosition))
            return false;
        m_uiPosition = uiHeaderEnd;
    }
    // The pixels cannot start inside what comes before them.
    if (m_uiDataOffset < m_uiPosition + 4ull * m_uiColorsUsed)
        return false;
    return true;
}

NiPixelDataPtr NiBMPReader::ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest)
{
    NiRecursiveLockGuard kGuard(m_kReadCriticalSection);
    if (!ParseHeader(kIst))
        return nullptr;

    NiPalettePtr spPalette;
    if (m_kFormat == NiPixelFormat::PAL8)
    {
        std::uint8_t aucTable[4 * MAX_COLORS];
        if (!ReadExact(kIst, aucTable, 4ull * m_uiColorsUsed))
            return nullptr;
        NiPalette::PaletteEntry akEntries[MAX_COLORS] = {};
        for (std::uint32_t i = 0; i < m_uiColorsUsed; ++i)
            akEntries[i] = {aucTable[4 * i + 2], aucTable[4 * i + 1], aucTable[4 * i], 255};
        spPalette = new NiPalette(false, MAX_COLORS, akEntries);
    }
    else if (!Skip(kIst, 4ull * m_uiColorsUsed))
    {
        return nullptr;
    }
    const std::uint64_t uiReached = m_uiPosition + 4ull * m_uiColorsUsed;
    if (!Skip(kIst, m_uiDataOffset - uiReached))
        return nullptr;
    const std::uint32_t uiDataBytes = m_usBitCount == 4 ? (m_uiWidth + 1) / 2 : m_uiWidth * (m_usBitCount / 8u);
    const std::uint32_t uiFileRow = (uiDataBytes + 3) & ~3u;
    if (!HoldsAtLeast(kIst, static_cast<std::uint64_t>(uiFileRow) * m_uiHeight))
        return nullptr;

    NiPixelDataPtr spImage = MakeImage(pkOptDest, m_uiWidth, m_uiHeight, m_kFormat);
    if (!spImage)
        return nullptr;
    const std::uint32_t uiStride = spImage->GetPixelStride();
    const std::uint32_t uiImageRow = m_uiWidth * uiStride;
    std::vector<std::uint8_t> kRow(uiFileRow);
    std::uint8_t* pucPixels = spImage->GetPixels();
    for (std::uint32_t r = 0; r < m_uiHeight; ++r)
    {
        if (!ReadExact(kIst, kRow.data(), uiFileRow))
            return nullptr;
        std::uint8_t* pucDest = pucPixels + static_cast<std::size_t>(m_bBottomUp ? m_uiHeight - 1 - r : r) * uiImageRow;
        if (m_usBitCount == 4)
        {
            for (std::uint32_t x = 0; x < m_uiWidth; ++x)
                pucDest[x] = static_cast<std::uint8_t>((x & 1) ? (kRow[x / 2] & 0xF) : (kRow[x / 2] >> 4));
        }
        else if (m_bBitFields)
        {
            for (std::uint32_t x = 0; x < m_uiWidth; ++x, pucDest += 4)
            {
                const std::uint32_t uiPixel = NiGetLE32(kRow.data() + 4 * x);
                pucDest[0] = NiDDSReader::Replicate(uiPixel, m_auiMasks[0]);
                pucDest[1] = NiDDSReader::Replicate(uiPixel, m_auiMasks[1]);
                pucDest[2] = NiDDSReader::Replicate(uiPixel, m_auiMasks[2]);
                pucDest[3] = 255;
            }
        }
        else if (m_usBitCount == 8)
        {
            std::memcpy(pucDest, kRow.data(), m_uiWidth);
        }
        else
        {
            // Stored blue, green, red (, alpha): swap into red first.
            for (std::uint32_t x = 0; x < m_uiWidth; ++x, pucDest += uiStride)
            {
                const std::uint8_t* pucSrc = kRow.data() + x * uiStride;
                pucDest[0] = pucSrc[2];
                pucDest[1] = pucSrc[1];
                pucDest[2] = pucSrc[0];
                if (uiStride == 4)
                    pucDest[3] = pucSrc[3];
            }
        }
    }
    if (spPalette)
        spImage->SetPalette(spPalette);
    return spImage;
}
