#pragma once

#include "engine/render/NiPixelData.h"

#include <cstdint>

// Decodes the 4 x 4-block compressed kinds into RGBA32, level by level.
class NiBlockDecoder
{
public:
    NiBlockDecoder();

    // A new RGBA32 image with the source's levels, or null when the source
    // is not block compressed or the image cannot be made.
    [[nodiscard]] NiPixelDataPtr Decode(const NiPixelData& kSrc) const;

    // One block into a 4 x 4 RGBA scratch (64 bytes, rows in order).
    static void DecodeColorBlock(const std::uint8_t* pucBlock, bool bAllowTransparent, std::uint8_t* pucOut);
    void DecodeExplicitAlpha(const std::uint8_t* pucBlock, std::uint8_t* pucOut) const;
    static void DecodeInterpolatedAlpha(const std::uint8_t* pucBlock, std::uint8_t* pucOut);

private:
    // Both 4-bit alpha values of every byte, widened (n x 255 / 15).
    std::uint8_t m_aucAlphaTable[256][2];
};
