#include "engine/render/image/NiPixelConverters.h"

#include "engine/render/NiPalette.h"
#include "engine/render/NiPixelData.h"

#include <algorithm>
#include <cstring>

NiChannelLayout NiChannelLayout::From(const NiPixelFormat& kFormat)
{
    NiChannelLayout kLayout;
    for (std::uint32_t c = 0; c < 4; ++c)
    {
        kLayout.m_auiMask[c] = kFormat.GetMask(c);
        kLayout.m_aucShift[c] = static_cast<std::uint8_t>(kFormat.GetChannelShift(c) & 31);
        // A file's descriptor may claim up to 63 bits for a channel of a
        // 32-bit pixel word; more than 32 would shift past the word.
        kLayout.m_aucBits[c] = static_cast<std::uint8_t>(std::min<std::uint32_t>(kFormat.GetChannelBits(c), 32));
    }
    kLayout.m_uiBitsPerPixel = kFormat.GetBitsPerPixel();
    kLayout.m_uiKind = kFormat.GetKind();
    return kLayout;
}

namespace
{
inline std::uint32_t LoadPixel(const std::uint8_t* p, std::uint32_t uiBytes)
{
    std::uint32_t uiValue = 0;
    for (std::uint32_t i = 0; i < uiBytes; ++i)
        uiValue |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return uiValue;
}

inline void StorePixel(std::uint8_t* p, std::uint32_t uiBytes, std::uint32_t uiValue)
{
    for (std::uint32_t i = 0; i < uiBytes; ++i)
        p[i] = static_cast<std::uint8_t>(uiValue >> (8 * i));
}

// 24-bit destinations hold whole bytes: red first or blue first.
inline void Store24(std::uint8_t* p, const NiChannelLayout& kDest, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    const bool bBlueFirst = kDest.m_auiMask[0] == 0xFF0000;
    p[0] = bBlueFirst ? b : r;
    p[1] = g;
    p[2] = bBlueFirst ? r : b;
}

// A palette's entries as destination pixels, built once per level. Indices
// past the palette's end read as an all-zero entry.
bool PaletteToDirect(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t* pucDest, const NiPalette* pkPalette,
                     const NiChannelLayout& kDest, const std::uint8_t* pucSrc, const NiChannelLayout& kSrc)
{
    if (pkPalette == nullptr)
        return false;
    const bool bFourBit = kSrc.m_uiBitsPerPixel == 4;
    const bool bAlpha = kSrc.m_uiKind == NiPixelFormat::PALETTE_ALPHA;
    const std::uint32_t uiOut = kDest.m_uiBitsPerPixel / 8;
    std::uint32_t auiTable[256];
    std::uint8_t aucTable24[256][3];
    const std::uint32_t uiEntries = bFourBit ? 16 : 256;
    for (std::uint32_t i = 0; i < uiEntries; ++i)
    {
        const NiPalette::PaletteEntry kEntry = pkPalette->GetEntry(i);
        const std::uint8_t ucAlpha = bAlpha ? kEntry.m_ucAlpha : 0xFF;
        if (uiOut == 3)
            Store24(aucTable24[i], kDest, kEntry.m_ucRed, kEntry.m_ucGreen, kEntry.m_ucBlue);
        else
            auiTable[i] = kDest.Pack(kEntry.m_ucRed, kEntry.m_ucGreen, kEntry.m_ucBlue, ucAlpha);
    }
    const std::uint64_t uiPixels = static_cast<std::uint64_t>(uiWidth) * uiHeight;
    // A 4-bit level of an odd pixel count lacks its last nibble: index 0.
    const std::uint64_t uiSrcBytes = bFourBit ? uiPixels / 2 : uiPixels;
    for (std::uint64_t i = 0; i < uiPixels; ++i, pucDest += uiOut)
    {
        std::uint32_t uiIndex;
        if (bFourBit)
        {
            const std::uint64_t uiByte = i / 2;
            uiIndex = uiByte < uiSrcBytes ? ((i & 1) ? (pucSrc[uiByte] & 0xF) : (pucSrc[uiByte] >> 4)) : 0;
        }
        else
        {
            uiIndex = pucSrc[i];
        }
        if (uiOut == 3)
            std::memcpy(pucDest, aucTable24[uiIndex], 3);
        else
            StorePixel(pucDest, uiOut, auiTable[uiIndex]);
    }
    return true;
}

bool IndexCopy(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t* pucDest, const NiPalette* pkPalette,
               const NiChannelLayout&, const std::uint8_t* pucSrc, const NiChannelLayout& kSrc)
{
    if (pkPalette == nullptr)
        return false;
    const std::uint64_t uiPixels = static_cast<std::uint64_t>(uiWidth) * uiHeight;
    std::memcpy(pucDest, pucSrc, kSrc.m_uiBitsPerPixel == 4 ? uiPixels / 2 : uiPixels);
    return true;
}

// RGB24 (red, green, blue bytes) or RGBA32 (and alpha) into any direct layout.
bool WorkingToDirect(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t* pucDest, const NiPalette*,
                     const NiChannelLayout& kDest, const std::uint8_t* pucSrc, const NiChannelLayout& kSrc)
{
    const std::uint32_t uiIn = kSrc.m_uiBitsPerPixel / 8;
    const std::uint32_t uiOut = kDest.m_uiBitsPerPixel / 8;
    const std::uint64_t uiPixels = static_cast<std::uint64_t>(uiWidth) * uiHeight;
    for (std::uint64_t i = 0; i < uiPixels; ++i, pucSrc += uiIn, pucDest += uiOut)
    {
        const std::uint8_t ucAlpha = uiIn == 4 ? pucSrc[3] : 0xFF;
        if (uiOut == 3)
            Store24(pucDest, kDest, pucSrc[0], pucSrc[1], pucSrc[2]);
        else
            StorePixel(pucDest, uiOut, kDest.Pack(pucSrc[0], pucSrc[1], pucSrc[2], ucAlpha));
    }
    return true;
}

// BUMP16 bytes U, V (luminance all ones), or BUMPLUMA32 bytes U, V, L.
bool BumpToBump(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t* pucDest, const NiPalette*,
                const NiChannelLayout& kDest, const std::uint8_t* pucSrc, const NiChannelLayout& kSrc)
{
    const std::uint32_t uiIn = kSrc.m_uiBitsPerPixel / 8;
    const std::uint32_t uiOut = kDest.m_uiBitsPerPixel / 8;
    const std::uint64_t uiPixels = static_cast<std::uint64_t>(uiWidth) * uiHeight;
    for (std::uint64_t i = 0; i < uiPixels; ++i, pucSrc += uiIn, pucDest += uiOut)
    {
        const std::uint8_t ucLuma = uiIn == 4 ? pucSrc[2] : 0xFF;
        StorePixel(pucDest, uiOut, kDest.Narrow(pucSrc[0], 0) | kDest.Narrow(pucSrc[1], 1) | kDest.Narrow(ucLuma, 3));
    }
    return true;
}

// Any direct layout of 16, 24 or 32 bits, each channel through 8 bits.
bool DirectToDirect(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t* pucDest, const NiPalette*,
                    const NiChannelLayout& kDest, const std::uint8_t* pucSrc, const NiChannelLayout& kSrc)
{
    const std::uint32_t uiIn = kSrc.m_uiBitsPerPixel / 8;
    const std::uint32_t uiOut = kDest.m_uiBitsPerPixel / 8;
    const bool bSrcAlpha = kSrc.m_aucBits[3] != 0;
    const std::uint64_t uiPixels = static_cast<std::uint64_t>(uiWidth) * uiHeight;
    for (std::uint64_t i = 0; i < uiPixels; ++i, pucSrc += uiIn, pucDest += uiOut)
    {
        const std::uint32_t uiPixel = LoadPixel(pucSrc, uiIn);
        const std::uint8_t r = kSrc.Widen(uiPixel, 0);
        const std::uint8_t g = kSrc.Widen(uiPixel, 1);
        const std::uint8_t b = kSrc.Widen(uiPixel, 2);
        const std::uint8_t a = bSrcAlpha ? kSrc.Widen(uiPixel, 3) : 0xFF;
        if (uiOut == 3)
            Store24(pucDest, kDest, r, g, b);
        else
            StorePixel(pucDest, uiOut, kDest.Pack(r, g, b, a));
    }
    return true;
}

// 24-bit sources hold whole bytes; only the order of red and blue can vary.
bool Bytes24ToWorking(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t* pucDest, const NiPalette*,
                      const NiChannelLayout& kDest, const std::uint8_t* pucSrc, const NiChannelLayout& kSrc)
{
    if (kSrc.m_auiMask[1] != 0xFF00)
        return false;
    const bool bSwap = kSrc.m_auiMask[0] == 0xFF0000;
    const std::uint32_t uiOut = kDest.m_uiBitsPerPixel / 8;
    const std::uint64_t uiPixels = static_cast<std::uint64_t>(uiWidth) * uiHeight;
    for (std::uint64_t i = 0; i < uiPixels; ++i, pucSrc += 3, pucDest += uiOut)
    {
        pucDest[0] = bSwap ? pucSrc[2] : pucSrc[0];
        pucDest[1] = pucSrc[1];
        pucDest[2] = bSwap ? pucSrc[0] : pucSrc[2];
        if (uiOut == 4)
            pucDest[3] = 0xFF;
    }
    return true;
}

bool IsDirectOf(const NiPixelFormat& kFormat, std::uint32_t uiBits)
{
    return kFormat.IsDirect() && kFormat.GetBitsPerPixel() == uiBits;
}
} // namespace

NiPixelConverter NiSelectPixelConverter(const NiPixelFormat& kSrc, const NiPixelFormat& kDest)
{
    const std::uint32_t uiDestBits = kDest.GetBitsPerPixel();
    const bool bDestDirect = kDest.IsDirect();
    if (kSrc == NiPixelFormat::PAL4 || kSrc == NiPixelFormat::PALA4)
    {
        if (bDestDirect)
            return (uiDestBits == 24 || uiDestBits == 32) ? &PaletteToDirect : nullptr;
        return (kDest == NiPixelFormat::PAL4 || kDest == NiPixelFormat::PALA4) ? &IndexCopy : nullptr;
    }
    if (kSrc == NiPixelFormat::PAL8 || kSrc == NiPixelFormat::PALA8)
    {
        if (bDestDirect)
            return (uiDestBits == 16 || uiDestBits == 24 || uiDestBits == 32) ? &PaletteToDirect : nullptr;
        return (kDest == NiPixelFormat::PAL8 || kDest == NiPixelFormat::PALA8) ? &IndexCopy : nullptr;
    }
    if (kSrc == NiPixelFormat::RGB24 || kSrc == NiPixelFormat::RGBA32)
    {
        if (bDestDirect && (uiDestBits == 16 || uiDestBits == 24 || uiDestBits == 32))
            return &WorkingToDirect;
        return nullptr;
    }
    if (kSrc == NiPixelFormat::BUMP16 || kSrc == NiPixelFormat::BUMPLUMA32)
        return (kDest.IsBump() && (uiDestBits == 16 || uiDestBits == 32)) ? &BumpToBump : nullptr;
    if ((kSrc == NiPixelFormat::A1B5G5R5 && kDest == NiPixelFormat::A1R5G5B5) ||
        (kSrc == NiPixelFormat::A1R5G5B5 && kDest == NiPixelFormat::A1B5G5R5))
        return &DirectToDirect;
    if (!kSrc.IsDirect() || (kDest != NiPixelFormat::RGBA32 && kDest != NiPixelFormat::RGB24))
        return nullptr;
    if (IsDirectOf(kSrc, 16) || IsDirectOf(kSrc, 32))
        return &DirectToDirect;
    if (IsDirectOf(kSrc, 24))
        return &Bytes24ToWorking;
    return nullptr;
}

bool NiIsIndexCopyConverter(NiPixelConverter pfnConverter)
{
    return pfnConverter == &IndexCopy;
}
