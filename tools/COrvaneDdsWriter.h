#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The one DDS writer: the demo-data builder writes its compressed textures
// with it and the tests build their DDS files with it.

// Header fields a caller varies; the defaults describe a 4 x 4 DXT1 texture
// without mip levels.
struct DdsHeader
{
    std::uint32_t uiFlags = 0x1007;
    std::uint32_t uiHeight = 4;
    std::uint32_t uiWidth = 4;
    std::uint32_t uiDepth = 0;
    std::uint32_t uiMipCount = 0;
    std::uint32_t uiPFFlags = 0x4;
    std::uint32_t uiFourCC = 0x31545844; // "DXT1"
    std::uint32_t uiBitCount = 0;
    std::uint32_t auiMasks[4] = {0, 0, 0, 0};
    std::uint32_t uiCaps1 = 0x1000;
    std::uint32_t uiCaps2 = 0;
};

// The magic, the 124-byte header and the pixel bytes exactly as handed over
// (so a test can build any variant, also broken ones).
[[nodiscard]] std::vector<std::uint8_t> DdsFile(const DdsHeader& kHeader, const std::vector<std::uint8_t>& kPixels);

// One DXT1 block of a single colour (R5G6B5 in both end points, every texel
// index 0).
[[nodiscard]] std::vector<std::uint8_t> Dxt1SolidBlock(std::uint16_t usColor565);

// A DXT1 texture of one level filled with one colour; false (with the reason
// on standard error) when the size is not a multiple of 4 or the file cannot
// be written.
[[nodiscard]] bool WriteSolidDxt1(const std::string& kPath, std::uint32_t uiWidth, std::uint32_t uiHeight,
                                  std::uint16_t usColor565);
