#include "engine/render/image/NiTGAReader.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace
{
constexpr std::uint32_t HEADER_SIZE = 18;
// Descriptor bit 5: rows stored top row first.
constexpr std::uint8_t DESCRIPTOR_TOP_DOWN = 0x20;
// The most pixels one run-length packet covers.
constexpr std::uint32_t RUN_PIXELS = 128;

// The low 15 bits of a 5-5-5 pixel, each channel moved to the top of a byte;
// the attribute bit is not kept.
inline void Unpack555(std::uint8_t ucLo, std::uint8_t ucHi, std::uint8_t* pucRGB)
{
    pucRGB[0] = static_cast<std::uint8_t>((ucHi & 0xFC) * 2);
    pucRGB[1] = static_cast<std::uint8_t>(ucHi * 64 + ((ucLo >> 2) & 0x38));
    pucRGB[2] = static_cast<std::uint8_t>(ucLo * 8);
}
} // namespace

bool NiTGAReader::CanReadFile(const char* pcExtension) const
{
    return ExtensionIs(pcExtension, ".tga") || ExtensionIs(pcExtension, ".targa");
}

bool NiTGAReader::ParseHeader(NiByteStream& kIst)
{
    std::uint8_t aucHeader[HEADER_SIZE];
    if (!ReadExact(kIst, aucHeader, HEADER_SIZE))
        return false;
    m_ucIDLength = aucHeader[0];
    m_ucColorMapType = aucHeader[1];
    m_ucImageType = aucHeader[2];
    m_usMapFirst = NiGetLE16(aucHeader + 3);
    m_usMapLength = NiGetLE16(aucHeader + 5);
    m_ucMapEntrySize = aucHeader[7];
    m_usWidth = NiGetLE16(aucHeader + 12);
    m_usHeight = NiGetLE16(aucHeader + 14);
    m_ucPixelDepth = aucHeader[16];
    m_ucDescriptor = aucHeader[17];
    if (!Skip(kIst, m_ucIDLength))
        return false;

    m_bBottomUp = (m_ucDescriptor & DESCRIPTOR_TOP_DOWN) == 0;
    switch (m_ucImageType)
    {
    case 1: m_bColorMapped = true; m_bRLE = false; break;
    case 2:
    case 3: m_bColorMapped = false; m_bRLE = false; break;
    case 9: m_bColorMapped = true; m_bRLE = true; break;
    case 10:
    case 11: m_bColorMapped = false; m_bRLE = true; break;
    default: return false;
    }
    if (!IsAcceptableSize(m_usWidth, m_usHeight))
        return false;
    if (m_ucColorMapType != 0 && m_usMapLength + 1u + m_usMapFirst > MAX_MAP_END)
        return false;

    m_eUnpacker = Unpacker::NONE;
    if (m_bColorMapped)
    {
        // Only 4- and 8-bit indices fit a palette image, and only these
        // entry sizes can be expanded to palette entries.
        if (m_ucColorMapType == 0 || (m_ucPixelDepth != 4 && m_ucPixelDepth != 8))
            return false;
        const std::uint8_t e = m_ucMapEntrySize;
        if (e != 8 && e != 15 && e != 16 && e != 24 && e != 32)
            return false;
        m_bHasAlpha = e == 32;
        const bool bFourBit = m_usMapLength == 16;
        if (bFourBit)
            m_kFormat = m_bHasAlpha ? NiPixelFormat::PALA4 : NiPixelFormat::PAL4;
        else
            m_kFormat = m_bHasAlpha ? NiPixelFormat::PALA8 : NiPixelFormat::PAL8;
        // Packed nibbles need whole bytes per row, in the file and in memory.
        if ((bFourBit || m_ucPixelDepth == 4) && (m_usWidth & 1) != 0)
            return false;
        if (m_ucPixelDepth == 4)
        {
            if (m_bRLE)
                return false;
            m_uiBytesPerPixel = 0;
            m_eUnpacker = bFourBit ? Unpacker::INDEX4_PACKED : Unpacker::INDEX4_UNPACKED;
        }
        else
        {
            m_uiBytesPerPixel = 1;
            m_eUnpacker = bFourBit ? Unpacker::INDEX8_PACKED : Unpacker::INDEX8;
        }
    }
    else
    {
        const bool bGrey = m_ucImageType == 3 || m_ucImageType == 11;
        switch (m_ucPixelDepth)
        {
        case 8:
            m_uiBytesPerPixel = 1;
            m_eUnpacker = Unpacker::GREY;
            break;
        case 15:
        case 16:
            m_uiBytesPerPixel = 2;
            // A 16-bit grey pixel is a grey byte and an alpha byte.
            m_eUnpacker = (bGrey && m_ucPixelDepth == 16) ? Unpacker::GREY_ALPHA : Unpacker::RGB555;
            break;
        case 24:
            m_uiBytesPerPixel = 3;
            m_eUnpacker = Unpacker::BGR;
            break;
        case 32:
            m_uiBytesPerPixel = 4;
            m_eUnpacker = Unpacker::BGRA;
            break;
        default: return false;
        }
        m_bHasAlpha = m_eUnpacker == Unpacker::BGRA || m_eUnpacker == Unpacker::GREY_ALPHA;
        m_kFormat = m_bHasAlpha ? NiPixelFormat::RGBA32 : NiPixelFormat::RGB24;
    }
    m_uiPacketLeft = 0;
    m_bPacketIsRun = false;
    return true;
}

bool NiTGAReader::ReadColorMap(NiByteStream& kIst)
{
    const std::uint32_t uiEntryBytes = (m_ucMapEntrySize + 7u) / 8u;
    const std::uint32_t uiRawBytes = uiEntryBytes * m_usMapLength;
    if (!m_bColorMapped)
        return Skip(kIst, uiRawBytes);
    if (m_kRaw.size() < uiRawBytes)
        m_kRaw.resize(uiRawBytes);
    if (!ReadExact(kIst, m_kRaw.data(), uiRawBytes))
        return false;
    m_kColorMap.resize(m_usMapLength);
    const std::uint8_t* p = m_kRaw.data();
    for (std::uint32_t i = 0; i < m_usMapLength; ++i, p += uiEntryBytes)
    {
        NiPalette::PaletteEntry& kEntry = m_kColorMap[i];
        switch (m_ucMapEntrySize)
        {
        case 8: kEntry = {p[0], p[0], p[0], 255}; break;
        case 15:
        case 16: {
            std::uint8_t aucRGB[3];
            Unpack555(p[0], p[1], aucRGB);
            kEntry = {aucRGB[0], aucRGB[1], aucRGB[2], 255};
            break;
        }
        case 24: kEntry = {p[2], p[1], p[0], 255}; break;
        default: kEntry = {p[2], p[1], p[0], p[3]}; break;
        }
    }
    return true;
}

bool NiTGAReader::DecodeRow(NiByteStream& kIst, std::uint8_t* pucRow)
{
    const std::uint32_t uiBytes = m_uiBytesPerPixel;
    std::uint32_t uiLeft = m_usWidth;
    while (uiLeft > 0)
    {
        if (m_uiPacketLeft == 0)
        {
            std::uint8_t ucPacket = 0;
            if (!NiReadLE(kIst, ucPacket))
                return false;
            m_bPacketIsRun = (ucPacket & 0x80) != 0;
            m_uiPacketLeft = (ucPacket & 0x7Fu) + 1u;
            if (m_bPacketIsRun && !ReadExact(kIst, m_aucRunValue, uiBytes))
                return false;
        }
        const std::uint32_t n = std::min(m_uiPacketLeft, uiLeft);
        if (m_bPacketIsRun)
        {
            for (std::uint32_t i = 0; i < n; ++i, pucRow += uiBytes)
                std::memcpy(pucRow, m_aucRunValue, uiBytes);
        }
        else
        {
            if (!ReadExact(kIst, pucRow, static_cast<std::uint64_t>(n) * uiBytes))
                return false;
            pucRow += n * uiBytes;
        }
        m_uiPacketLeft -= n;
        uiLeft -= n;
    }
    return true;
}

void NiTGAReader::UnpackRow(const std::uint8_t* pucSrc, std::uint8_t* pucDest) const
{
    const std::uint32_t uiWidth = m_usWidth;
    const std::uint8_t ucFirst = static_cast<std::uint8_t>(m_usMapFirst);
    const std::uint8_t ucFirstNibble = static_cast<std::uint8_t>(m_usMapFirst & 0xF);
    switch (m_eUnpacker)
    {
    case Unpacker::INDEX4_PACKED:
        for (std::uint32_t i = 0; i < uiWidth / 2; ++i)
        {
            const std::uint8_t ucHi = static_cast<std::uint8_t>(((pucSrc[i] >> 4) - ucFirstNibble) & 0xF);
            const std::uint8_t ucLo = static_cast<std::uint8_t>(((pucSrc[i] & 0xF) - ucFirstNibble) & 0xF);
            pucDest[i] = static_cast<std::uint8_t>((ucHi << 4) | ucLo);
        }
        break;
    case Unpacker::INDEX4_UNPACKED:
        for (std::uint32_t i = 0; i < uiWidth / 2; ++i)
        {
            pucDest[2 * i] = static_cast<std::uint8_t>((pucSrc[i] >> 4) - ucFirst);
            pucDest[2 * i + 1] = static_cast<std::uint8_t>((pucSrc[i] & 0xF) - ucFirst);
        }
        break;
    case Unpacker::INDEX8:
        for (std::uint32_t i = 0; i < uiWidth; ++i)
            pucDest[i] = static_cast<std::uint8_t>(pucSrc[i] - ucFirst);
        break;
    case Unpacker::INDEX8_PACKED:
        for (std::uint32_t i = 0; i < uiWidth / 2; ++i)
        {
            const std::uint8_t ucHi = static_cast<std::uint8_t>((pucSrc[2 * i] - ucFirst) & 0xF);
            const std::uint8_t ucLo = static_cast<std::uint8_t>((pucSrc[2 * i + 1] - ucFirst) & 0xF);
            pucDest[i] = static_cast<std::uint8_t>((ucHi << 4) | ucLo);
        }
        break;
    case Unpacker::GREY:
        for (std::uint32_t i = 0; i < uiWidth; ++i, pucDest += 3)
            pucDest[0] = pucDest[1] = pucDest[2] = pucSrc[i];
        break;
    case Unpacker::GREY_ALPHA:
        for (std::uint32_t i = 0; i < uiWidth; ++i, pucDest += 4, pucSrc += 2)
        {
            pucDest[0] = pucDest[1] = pucDest[2] = pucSrc[0];
            pucDest[3] = pucSrc[1];
        }
        break;
    case Unpacker::RGB555:
        for (std::uint32_t i = 0; i < uiWidth; ++i, pucDest += 3, pucSrc += 2)
            Unpack555(pucSrc[0], pucSrc[1], pucDest);
        break;
    case Unpacker::BGR:
        for (std::uint32_t i = 0; i < uiWidth; ++i, pucDest += 3, pucSrc += 3)
        {
            pucDest[0] = pucSrc[2];
            pucDest[1] = pucSrc[1];
            pucDest[2] = pucSrc[0];
        }
        break;
    case Unpacker::BGRA:
        for (std::uint32_t i = 0; i < uiWidth; ++i, pucDest += 4, pucSrc += 4)
        {
            pucDest[0] = pucSrc[2];
            pucDest[1] = pucSrc[1];
            pucDest[2] = pucSrc[0];
            pucDest[3] = pucSrc[3];
        }
        break;
    case Unpacker::NONE:
        // Only a header the reader accepted picks the kind, and ReadFile
        // stops at any header it refuses: no file can lead here.
        assert(false && "a TGA row unpacked before a header chose how");
        break;
    }
}

NiPixelDataPtr NiTGAReader::ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest)
{
    NiRecursiveLockGuard kGuard(m_kReadCriticalSection);
    if (!ParseHeader(kIst))
        return nullptr;
    const std::uint32_t uiRowBytes = m_uiBytesPerPixel ? m_uiBytesPerPixel * m_usWidth : m_usWidth / 2u;
    if (m_ucColorMapType != 0 && !ReadColorMap(kIst))
        return nullptr;
    // The fewest bytes that can still hold the image: every row stored, or
    // for run-length files one count byte and one pixel value per 128
    // pixels (packets run on across rows). A file shorter than that is
    // refused before its header sizes an image.
    const std::uint64_t uiPixels = static_cast<std::uint64_t>(m_usWidth) * m_usHeight;
    const std::uint64_t uiLeast = m_bRLE ? (uiPixels + RUN_PIXELS - 1) / RUN_PIXELS * (1u + m_uiBytesPerPixel)
                                         : static_cast<std::uint64_t>(uiRowBytes) * m_usHeight;
    if (!HoldsAtLeast(kIst, uiLeast))
        return nullptr;

    NiPixelDataPtr spImage = MakeImage(pkOptDest, m_usWidth, m_usHeight, m_kFormat);
    if (!spImage)
        return nullptr;

    const std::uint32_t uiStride = spImage->GetPixelStride() ? spImage->GetPixelStride() * m_usWidth
                                                             : m_usWidth / 2u;
    if (m_kRaw.size() < uiRowBytes)
        m_kRaw.resize(uiRowBytes);
    std::uint8_t* pucPixels = spImage->GetPixels();
    for (std::uint32_t r = 0; r < m_usHeight; ++r)
    {
        const std::uint32_t uiRow = m_bBottomUp ? m_usHeight - 1 - r : r;
        const bool bOk = m_bRLE ? DecodeRow(kIst, m_kRaw.data()) : ReadExact(kIst, m_kRaw.data(), uiRowBytes);
        if (!bOk)
            return nullptr;
        UnpackRow(m_kRaw.data(), pucPixels + static_cast<std::size_t>(uiRow) * uiStride);
    }
    if (m_bColorMapped)
        spImage->SetPalette(new NiPalette(m_bHasAlpha, m_usMapLength, m_kColorMap.data()));
    return spImage;
}
