#include "tools/COrvaneDdsWriter.h"

#include <cstdio>
#include <fstream>

namespace
{
void PutLE32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
} // namespace

std::vector<std::uint8_t> DdsFile(const DdsHeader& h, const std::vector<std::uint8_t>& kPixels)
{
    std::vector<std::uint8_t> b;
    PutLE32(b, 0x20534444); // "DDS "
    PutLE32(b, 124);
    PutLE32(b, h.uiFlags);
    PutLE32(b, h.uiHeight);
    PutLE32(b, h.uiWidth);
    PutLE32(b, 0);
    PutLE32(b, h.uiDepth);
    PutLE32(b, h.uiMipCount);
    for (int i = 0; i < 11; ++i)
        PutLE32(b, 0);
    PutLE32(b, 32);
    PutLE32(b, h.uiPFFlags);
    PutLE32(b, h.uiFourCC);
    PutLE32(b, h.uiBitCount);
    for (std::uint32_t m : h.auiMasks)
        PutLE32(b, m);
    PutLE32(b, h.uiCaps1);
    PutLE32(b, h.uiCaps2);
    PutLE32(b, 0);
    PutLE32(b, 0);
    PutLE32(b, 0);
    b.insert(b.end(), kPixels.begin(), kPixels.end());
    return b;
}

std::vector<std::uint8_t> Dxt1SolidBlock(std::uint16_t usColor565)
{
    const auto lo = static_cast<std::uint8_t>(usColor565), hi = static_cast<std::uint8_t>(usColor565 >> 8);
    return {lo, hi, lo, hi, 0, 0, 0, 0};
}

bool WriteSolidDxt1(const std::string& kPath, std::uint32_t uiWidth, std::uint32_t uiHeight, std::uint16_t usColor565)
{
    if (uiWidth == 0 || uiHeight == 0 || uiWidth % 4 != 0 || uiHeight % 4 != 0)
    {
        std::fprintf(stderr, "DDS writer: %u x %u is not made of 4 x 4 blocks (%s)\n", uiWidth, uiHeight,
                     kPath.c_str());
        return false;
    }
    DdsHeader kHeader;
    kHeader.uiWidth = uiWidth;
    kHeader.uiHeight = uiHeight;
    std::vector<std::uint8_t> kPixels;
    const std::vector<std::uint8_t> kBlock = Dxt1SolidBlock(usColor565);
    for (std::uint32_t i = 0; i < (uiWidth / 4) * (uiHeight / 4); ++i)
        kPixels.insert(kPixels.end(), kBlock.begin(), kBlock.end());
    const std::vector<std::uint8_t> kFile = DdsFile(kHeader, kPixels);
    std::ofstream kOut(kPath, std::ios::binary);
    if (!kOut.write(reinterpret_cast<const char*>(kFile.data()), static_cast<std::streamsize>(kFile.size())))
    {
        std::fprintf(stderr, "DDS writer: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}
