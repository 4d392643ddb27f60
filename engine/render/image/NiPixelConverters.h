#pragma once

#include "engine/render/image/NiPixelFormat.h"

#include <cstdint>

class NiPalette;

// Where each channel of a layout lies, as the per-pixel converters use it.
struct NiChannelLayout
{
    std::uint32_t m_auiMask[4] = {};
    std::uint8_t m_aucShift[4] = {};
    std::uint8_t m_aucBits[4] = {};
    std::uint32_t m_uiBitsPerPixel = 0;
    std::uint32_t m_uiKind = 0;

    [[nodiscard]] static NiChannelLayout From(const NiPixelFormat& kFormat);

    // Channel value to 8 bits by shifting, low bits zero (no replication);
    // channels wider than 8 bits keep their top 8; a missing channel is 0.
    [[nodiscard]] std::uint8_t Widen(std::uint32_t uiPixel, std::uint32_t c) const
    {
        const std::uint32_t uiBits = m_aucBits[c];
        if (uiBits == 0)
            return 0;
        const std::uint32_t uiValue = (uiPixel & m_auiMask[c]) >> m_aucShift[c];
        if (uiBits >= 8)
            return static_cast<std::uint8_t>(uiValue >> (uiBits - 8));
        return static_cast<std::uint8_t>((uiValue & 0xFF) << (8 - uiBits));
    }
    // A byte into the channel by truncation; nothing for a missing channel.
    [[nodiscard]] std::uint32_t Narrow(std::uint8_t ucByte, std::uint32_t c) const
    {
        const std::uint32_t uiBits = m_aucBits[c];
        if (uiBits == 0)
            return 0;
        const std::uint64_t uiValue = uiBits >= 8 ? static_cast<std::uint64_t>(ucByte) << (uiBits - 8)
                                                  : static_cast<std::uint64_t>(ucByte >> (8 - uiBits));
        return static_cast<std::uint32_t>((uiValue << m_aucShift[c]) & m_auiMask[c]);
    }
    [[nodiscard]] std::uint32_t Pack(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) const
    {
        return Narrow(r, 0) | Narrow(g, 1) | Narrow(b, 2) | Narrow(a, 3);
    }
};

// One mip level from one layout into another. Rows follow each other
// directly; 4-bit levels hold (width x height) / 2 bytes.
using NiPixelConverter = bool (*)(std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint8_t* pucDest,
                                  const NiPalette* pkPalette, const NiChannelLayout& kDest, const std::uint8_t* pucSrc,
                                  const NiChannelLayout& kSrc);

// The converter for a pair of layouts, or null when there is none.
[[nodiscard]] NiPixelConverter NiSelectPixelConverter(const NiPixelFormat& kSrc, const NiPixelFormat& kDest);
// True for the converter that copies palette indices unchanged.
[[nodiscard]] bool NiIsIndexCopyConverter(NiPixelConverter pfnConverter);
