#include "tools/COrvaneTgaWriter.h"

#include <cstdio>
#include <memory>

namespace
{
void PutLE16(std::vector<std::uint8_t>& kBytes, std::uint32_t uiValue)
{
    kBytes.push_back(static_cast<std::uint8_t>(uiValue));
    kBytes.push_back(static_cast<std::uint8_t>(uiValue >> 8));
}

struct FileCloser
{
    void operator()(std::FILE* pkFile) const { std::fclose(pkFile); }
};
} // namespace

std::vector<std::uint8_t> TgaFile(const TgaHeader& kHeader, const std::vector<std::uint8_t>& kMapAndPixels)
{
    std::vector<std::uint8_t> kBytes;
    kBytes.reserve(18 + kHeader.ucIDLength + kMapAndPixels.size());
    kBytes.push_back(kHeader.ucIDLength);
    kBytes.push_back(kHeader.ucMapType);
    kBytes.push_back(kHeader.ucType);
    PutLE16(kBytes, kHeader.usMapFirst);
    PutLE16(kBytes, kHeader.usMapLength);
    kBytes.push_back(kHeader.ucMapEntrySize);
    PutLE16(kBytes, 0); // x origin
    PutLE16(kBytes, 0); // y origin
    PutLE16(kBytes, kHeader.usWidth);
    PutLE16(kBytes, kHeader.usHeight);
    kBytes.push_back(kHeader.ucDepth);
    kBytes.push_back(kHeader.ucDescriptor);
    for (std::uint32_t i = 0; i < kHeader.ucIDLength; ++i)
        kBytes.push_back(static_cast<std::uint8_t>('a' + i));
    kBytes.insert(kBytes.end(), kMapAndPixels.begin(), kMapAndPixels.end());
    return kBytes;
}

std::vector<std::uint8_t> TgaImage(std::uint16_t usWidth, std::uint16_t usHeight, std::uint8_t ucDepth,
                                   const std::vector<std::uint8_t>& kPixels)
{
    if (ucDepth != 24 && ucDepth != 32)
        return {};
    const std::size_t uiBytes = ucDepth / 8u;
    if (kPixels.size() != uiBytes * usWidth * usHeight)
        return {};
    TgaHeader kHeader;
    kHeader.usWidth = usWidth;
    kHeader.usHeight = usHeight;
    kHeader.ucDepth = ucDepth;
    // Bits 0-3: alpha bits per pixel.
    kHeader.ucDescriptor = static_cast<std::uint8_t>(0x20 | (ucDepth == 32 ? 8 : 0));
    // The file keeps blue, green, red (and alpha) in that order.
    std::vector<std::uint8_t> kStored(kPixels.size());
    const std::uint8_t* pucFrom = kPixels.data();
    std::uint8_t* pucTo = kStored.data();
    for (std::size_t i = 0; i < kPixels.size(); i += uiBytes)
    {
        pucTo[i] = pucFrom[i + 2];
        pucTo[i + 1] = pucFrom[i + 1];
        pucTo[i + 2] = pucFrom[i];
        if (uiBytes == 4)
            pucTo[i + 3] = pucFrom[i + 3];
    }
    return TgaFile(kHeader, kStored);
}

bool WriteTga(const std::string& kPath, std::uint16_t usWidth, std::uint16_t usHeight, std::uint8_t ucDepth,
              const std::vector<std::uint8_t>& kPixels)
{
    const std::vector<std::uint8_t> kBytes = TgaImage(usWidth, usHeight, ucDepth, kPixels);
    if (kBytes.empty())
    {
        std::fprintf(stderr, "tga writer: %s: pixels do not match %ux%u at %u bits\n", kPath.c_str(), usWidth,
                     usHeight, ucDepth);
        return false;
    }
    std::unique_ptr<std::FILE, FileCloser> pkFile(std::fopen(kPath.c_str(), "wb"));
    if (!pkFile || std::fwrite(kBytes.data(), 1, kBytes.size(), pkFile.get()) != kBytes.size())
    {
        std::fprintf(stderr, "tga writer: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}
