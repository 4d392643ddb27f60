#pragma once
// A failing drawing test keeps its frame: an uncompressed PNG (stored
// deflate blocks), enough for any image viewer, with no library needed.

#include <array>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace test_png
{
inline std::uint32_t Crc32(const std::uint8_t* puc, std::size_t n, std::uint32_t uiCrc = 0xFFFFFFFFu)
{
    for (std::size_t i = 0; i < n; ++i)
    {
        uiCrc ^= puc[i];
        for (int k = 0; k < 8; ++k)
            uiCrc = (uiCrc >> 1) ^ (0xEDB88320u & (0u - (uiCrc & 1u)));
    }
    return uiCrc;
}

inline void PutBE32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void Chunk(std::vector<std::uint8_t>& kFile, const char* pcType, const std::vector<std::uint8_t>& kData)
{
    PutBE32(kFile, static_cast<std::uint32_t>(kData.size()));
    std::vector<std::uint8_t> kBody(pcType, pcType + 4);
    kBody.insert(kBody.end(), kData.begin(), kData.end());
    kFile.insert(kFile.end(), kBody.begin(), kBody.end());
    PutBE32(kFile, Crc32(kBody.data(), kBody.size()) ^ 0xFFFFFFFFu);
}

// Pixels row by row from the top, R, G, B per pixel. False when the file
// cannot be written or the pixels do not fill the image.
inline bool WriteRgb(const std::string& kPath, std::uint32_t uiWidth, std::uint32_t uiHeight,
                     const std::vector<std::uint8_t>& kRgb)
{
    if (kRgb.size() != std::size_t(uiWidth) * uiHeight * 3)
        return false;
    std::vector<std::uint8_t> kRaw;
    for (std::uint32_t y = 0; y < uiHeight; ++y)
    {
        kRaw.push_back(0); // filter: none
        kRaw.insert(kRaw.end(), kRgb.begin() + std::ptrdiff_t(y) * uiWidth * 3,
                    kRgb.begin() + std::ptrdiff_t(y + 1) * uiWidth * 3);
    }
    std::vector<std::uint8_t> kZ = {0x78, 0x01};
    std::uint32_t uiA = 1, uiB = 0;
    for (std::uint8_t uc : kRaw)
        uiA = (uiA + uc) % 65521u, uiB = (uiB + uiA) % 65521u;
    for (std::size_t uiAt = 0; uiAt < kRaw.size() || kRaw.empty();)
    {
        const std::size_t uiLen = std::min<std::size_t>(65535, kRaw.size() - uiAt);
        const bool bLast = uiAt + uiLen == kRaw.size();
        kZ.push_back(bLast ? 1 : 0);
        kZ.push_back(static_cast<std::uint8_t>(uiLen));
        kZ.push_back(static_cast<std::uint8_t>(uiLen >> 8));
        kZ.push_back(static_cast<std::uint8_t>(~uiLen));
        kZ.push_back(static_cast<std::uint8_t>(~uiLen >> 8));
        kZ.insert(kZ.end(), kRaw.begin() + std::ptrdiff_t(uiAt), kRaw.begin() + std::ptrdiff_t(uiAt + uiLen));
        uiAt += uiLen;
        if (bLast)
            break;
    }
    PutBE32(kZ, (uiB << 16) | uiA);
    std::vector<std::uint8_t> kFile = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<std::uint8_t> kHeader;
    PutBE32(kHeader, uiWidth);
    PutBE32(kHeader, uiHeight);
    kHeader.insert(kHeader.end(), {8, 2, 0, 0, 0}); // 8-bit RGB
    Chunk(kFile, "IHDR", kHeader);
    Chunk(kFile, "IDAT", kZ);
    Chunk(kFile, "IEND", {});
    std::ofstream kOut(kPath, std::ios::binary);
    return static_cast<bool>(kOut.write(reinterpret_cast<const char*>(kFile.data()), std::streamsize(kFile.size())));
}
} // namespace test_png
