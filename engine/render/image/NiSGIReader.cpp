#include "engine/render/image/NiSGIReader.h"

#include "engine/core/NiByteStream.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace
{
constexpr std::uint16_t SGI_MAGIC = 474;
constexpr std::uint32_t HEADER_SIZE = 512;

inline std::uint16_t GetBE16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}
inline std::uint32_t GetBE32(const std::uint8_t* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}
} // namespace

bool NiSGIReader::CanReadFile(const char* pcExtension) const
{
    return ExtensionIs(pcExtension, ".sgi") || ExtensionIs(pcExtension, ".rgb") ||
           ExtensionIs(pcExtension, ".rgba") || ExtensionIs(pcExtension, ".int") ||
           ExtensionIs(pcExtension, ".inta");
}

bool NiSGIReader::ParseHeader(NiByteStream& kIst)
{
    std::uint8_t aucHeader[HEADER_SIZE];
    if (!ReadExact(kIst, aucHeader, 3) || GetBE16(aucHeader) != SGI_MAGIC)
        return false;
    if (!ReadExact(kIst, aucHeader + 3, HEADER_SIZE - 3))
        return false;
    const std::uint8_t ucStorage = aucHeader[2];
    if (ucStorage > 1)
        return false;
    m_bRLE = ucStorage == 1;
    m_ucBytesPerChannel = aucHeader[3];
    m_usWidth = GetBE16(aucHeader + 6);
    m_usHeight = GetBE16(aucHeader + 8);
    m_usChannels = GetBE16(aucHeader + 10);
    if (m_ucBytesPerChannel != 1 && m_ucBytesPerChannel != 2)
        return false;
    if (m_usChannels == 0 || m_usChannels > 4)
        return false;
    if (!IsAcceptableSize(m_usWidth, m_usHeight))
        return false;
    m_kFormat = (m_usChannels == 2 || m_usChannels == 4) ? NiPixelFormat::RGBA32 : NiPixelFormat::RGB24;
    return true;
}

bool NiSGIReader::ReadVerbatim(NiByteStream& kIst, NiPixelData& kImage)
{
    const std::uint32_t uiStride = kImage.GetPixelStride();
    const std::uint32_t uiRowBytes = m_usWidth * m_ucBytesPerChannel;
    std::vector<std::uint8_t> kRow(uiRowBytes);
    std::uint8_t* pucPixels = kImage.GetPixels();
    for (std::uint32_t c = 0; c < m_usChannels; ++c)
    {
        for (std::uint32_t r = 0; r < m_usHeight; ++r)
        {
            if (!ReadExact(kIst, kRow.data(), uiRowBytes))
                return false;
            // Two-byte values keep their most significant (first) byte.
            std::uint8_t* pucDest = pucPixels + (static_cast<std::size_t>(m_usHeight - 1 - r) * m_usWidth) * uiStride + c;
            for (std::uint32_t x = 0; x < m_usWidth; ++x, pucDest += uiStride)
                *pucDest = kRow[x * m_ucBytesPerChannel];
        }
    }
    return true;
}

void NiSGIReader::DecodeRow(const std::uint8_t* pucSrc, std::uint32_t uiLength, std::uint8_t* pucDest,
                            std::uint32_t uiStride) const
{
    const std::uint32_t uiValue = m_ucBytesPerChannel;
    const std::uint8_t* pucEnd = pucSrc + uiLength;
    std::uint32_t uiLeft = m_usWidth;
    while (uiLeft > 0 && pucEnd - pucSrc >= static_cast<std::ptrdiff_t>(uiValue))
    {
        // A packet is one value wide: its low 7 bits count, bit 7 says copy.
        const std::uint32_t uiPacket = uiValue == 2 ? GetBE16(pucSrc) : *pucSrc;
        pucSrc += uiValue;
        std::uint32_t uiCount = uiPacket & 0x7F;
        if (uiCount == 0)
            break;
        uiCount = std::min(uiCount, uiLeft);
        if (uiPacket & 0x80)
        {
            for (; uiCount > 0 && pucEnd - pucSrc >= static_cast<std::ptrdiff_t>(uiValue); --uiCount, --uiLeft)
            {
                *pucDest = *pucSrc;
                pucDest += uiStride;
                pucSrc += uiValue;
            }
            if (uiCount > 0)
                break;
        }
        else
        {
            if (pucEnd - pucSrc < static_cast<std::ptrdiff_t>(uiValue))
                break;
            const std::uint8_t ucValue = *pucSrc;
            pucSrc += uiValue;
            for (; uiCount > 0; --uiCount, --uiLeft)
            {
                *pucDest = ucValue;
                pucDest += uiStride;
            }
        }
    }
}

bool NiSGIReader::ReadEncodedRows(NiByteStream& kIst, EncodedRows& kOut) const
{
    const std::uint32_t uiRows = static_cast<std::uint32_t>(m_usChannels) * m_usHeight;
    const std::uint64_t uiTableBytes = static_cast<std::uint64_t>(uiRows) * 8;
    if (!HoldsAtLeast(kIst, uiTableBytes))
        return false;
    std::vector<std::uint8_t> kTables(static_cast<std::size_t>(uiTableBytes));
    if (!ReadExact(kIst, kTables.data(), kTables.size()))
        return false;
    std::uint64_t uiSum = 0;
    for (std::uint32_t i = 0; i < uiRows; ++i)
        uiSum += GetBE32(kTables.data() + 4 * (uiRows + i));
    // Rows may share bytes, so the sum is only an upper bound: read up to it
    // or to the end of the file, growing as the data arrives.
    const std::uint64_t uiDataStart = HEADER_SIZE + uiTableBytes;
    std::vector<std::uint8_t>& kPackets = kOut.m_kPackets;
    kPackets.clear();
    while (kPackets.size() < uiSum)
    {
        const std::size_t uiOld = kPackets.size();
        const std::size_t uiWant =
            static_cast<std::size_t>(std::min<std::uint64_t>(uiSum - uiOld, std::max<std::size_t>(uiOld, 65536)));
        kPackets.resize(uiOld + uiWant);
        const std::uint32_t uiRead = kIst.Read(kPackets.data() + uiOld, static_cast<std::uint32_t>(uiWant));
        kPackets.resize(uiOld + uiRead);
        if (uiRead < uiWant)
            break;
    }
    kOut.m_kRows.resize(uiRows);
    for (std::uint32_t i = 0; i < uiRows; ++i)
    {
        const std::uint64_t uiOffset = GetBE32(kTables.data() + 4 * i);
        const std::uint64_t uiLength = GetBE32(kTables.data() + 4 * (uiRows + i));
        if (uiOffset < uiDataStart || uiOffset - uiDataStart + uiLength > kPackets.size())
            return false;
        kOut.m_kRows[i] = {static_cast<std::uint32_t>(uiOffset - uiDataStart), static_cast<std::uint32_t>(uiLength)};
    }
    return true;
}

void NiSGIReader::DecodeEncodedRows(const EncodedRows& kRows, NiPixelData& kImage) const
{
    const std::uint32_t uiStride = kImage.GetPixelStride();
    std::uint8_t* pucPixels = kImage.GetPixels();
    // Encoded rows that end early leave the rest of their row as zero.
    std::memset(pucPixels, 0, static_cast<std::size_t>(m_usWidth) * m_usHeight * uiStride);
    for (std::uint32_t c = 0; c < m_usChannels; ++c)
    {
        for (std::uint32_t r = 0; r < m_usHeight; ++r)
        {
            const EncodedRows::Row& kRow = kRows.m_kRows[c * m_usHeight + r];
            std::uint8_t* pucDest = pucPixels + (static_cast<std::size_t>(m_usHeight - 1 - r) * m_usWidth) * uiStride + c;
            DecodeRow(kRows.m_kPackets.data() + kRow.m_uiStart, kRow.m_uiLength, pucDest, uiStride);
        }
    }
}

NiPixelDataPtr NiSGIReader::ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest)
{
    NiRecursiveLockGuard kGuard(m_kReadCriticalSection);
    if (!ParseHeader(kIst))
        return nullptr;
    const std::size_t uiPixels = static_cast<std::size_t>(m_usWidth) * m_usHeight;
    // Whatever the file holds is read, or known to be there, before the image
    // is made: a header alone never costs a whole image.
    EncodedRows kEncoded;
    if (m_bRLE ? !ReadEncodedRows(kIst, kEncoded) : !HoldsAtLeast(kIst, uiPixels * m_usChannels * m_ucBytesPerChannel))
        return nullptr;
    NiPixelDataPtr spImage = MakeImage(pkOptDest, m_usWidth, m_usHeight, m_kFormat);
    if (!spImage)
        return nullptr;
    std::uint8_t* pucPixels = spImage->GetPixels();
    const std::uint32_t uiStride = spImage->GetPixelStride();
    if (m_bRLE)
        DecodeEncodedRows(kEncoded, *spImage);
    else if (!ReadVerbatim(kIst, *spImage))
        return nullptr;
    for (std::size_t i = 0; i < uiPixels; ++i)
    {
        std::uint8_t* p = pucPixels + i * uiStride;
        if (m_usChannels == 1)
        {
            p[1] = p[2] = p[0];
        }
        else if (m_usChannels == 2)
        {
            p[3] = p[1];
            p[1] = p[2] = p[0];
        }
    }
    return spImage;
}
