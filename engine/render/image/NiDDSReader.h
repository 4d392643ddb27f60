#pragma once

#include "engine/render/image/NiImageReader.h"

#include <cstdint>

// Two-dimensional DirectDraw Surface files: block-compressed levels are kept
// as they are, 16-, 24- and 32-bit RGB levels become RGB24 or RGBA32.
class NiDDSReader : public NiHeaderImageReader
{
public:
    [[nodiscard]] bool CanReadFile(const char* pcExtension) const override;
    [[nodiscard]] NiPixelDataPtr ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest) override;

    // A channel value of its mask's width widened to 8 bits by repeating its
    // bits from the top; wider channels keep their top 8 bits, an empty mask
    // gives 0.
    [[nodiscard]] static std::uint8_t Replicate(std::uint32_t uiPixel, std::uint32_t uiMask);

private:
    [[nodiscard]] bool ParseHeader(NiByteStream& kIst) override;
    [[nodiscard]] HeaderFacts GetHeaderFacts() const override
    {
        return {m_uiWidth, m_uiHeight, m_kFileFormat, m_bMipmap};
    }

    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiLevels = 0;
    NiPixelFormat m_kImageFormat = NiPixelFormat::DXT1;
    // The file's own layout (RGB files) as the header describes it.
    NiPixelFormat m_kFileFormat = NiPixelFormat::DXT1;
    bool m_bMipmap = false;
    bool m_bCompressed = false;
    std::uint32_t m_uiBitCount = 0;
    std::uint32_t m_auiMasks[4] = {};
};
