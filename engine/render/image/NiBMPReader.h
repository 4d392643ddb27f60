#pragma once

#include "engine/render/image/NiImageReader.h"

#include <cstdint>

// Uncompressed Windows bitmaps of 4, 8, 24 and 32 bits (32-bit bit-field
// files included), read into PAL8, RGB24 or RGBA32.
class NiBMPReader : public NiHeaderImageReader
{
public:
    [[nodiscard]] bool CanReadFile(const char* pcExtension) const override;
    [[nodiscard]] NiPixelDataPtr ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest) override;

private:
    [[nodiscard]] bool ParseHeader(NiByteStream& kIst) override;
    [[nodiscard]] HeaderFacts GetHeaderFacts() const override { return {m_uiWidth, m_uiHeight, m_kFormat, false}; }

    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
    NiPixelFormat m_kFormat = NiPixelFormat::RGB24;
    std::uint16_t m_usBitCount = 0;
    std::uint32_t m_uiColorsUsed = 0;
    std::uint32_t m_uiDataOffset = 0;
    bool m_bBottomUp = false;
    // Bit-field files: the channel masks, and where the header part ends.
    bool m_bBitFields = false;
    std::uint32_t m_auiMasks[3] = {};
    std::uint64_t m_uiPosition = 0;
};
