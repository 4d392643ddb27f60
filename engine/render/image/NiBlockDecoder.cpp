#include "engine/render/image/NiBlockDecoder.h"

#include "engine/core/NiEndian.h"

#include <algorithm>
#include <cstring>

NiBlockDecoder::NiBlockDecoder()
{
    for (std::uint32_t i = 0; i < 256; ++i)
    {
        m_aucAlphaTable[i][0] = static_cast<std::uint8_t>(static_cast<float>(i & 0xF) * 255.0f / 15.0f);
        m_aucAlphaTable[i][1] = static_cast<std::uint8_t>(static_cast<float>(i >> 4) * 255.0f / 15.0f);
    }
}

void NiBlockDecoder::DecodeColorBlock(const std::uint8_t* pucBlock, bool bAllowTransparent, std::uint8_t* pucOut)
{
    const std::uint32_t c0 = NiGetLE16(pucBlock);
    const std::uint32_t c1 = NiGetLE16(pucBlock + 2);
    const std::uint32_t r0 = (c0 >> 8) & 0xF8, g0 = (c0 >> 3) & 0xFC, b0 = (c0 << 3) & 0xF8;
    const std::uint32_t r1 = (c1 >> 8) & 0xF8, g1 = (c1 >> 3) & 0xFC, b1 = (c1 << 3) & 0xF8;
    auto Pack = [](std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a) {
        return r | (g << 8) | (b << 16) | (a << 24);
    };
    std::uint32_t auiColor[4];
    auiColor[0] = Pack(r0, g0, b0, 255);
    auiColor[1] = Pack(r1, g1, b1, 255);
    if (!bAllowTransparent || c0 > c1)
    {
        auiColor[2] = Pack((2 * r0 + r1) / 3, (2 * g0 + g1) / 3, (2 * b0 + b1) / 3, 255);
        auiColor[3] = Pack((r0 + 2 * r1) / 3, (g0 + 2 * g1) / 3, (b0 + 2 * b1) / 3, 255);
    }
    else
    {
        auiColor[2] = Pack((r0 + r1) / 2, (g0 + g1) / 2, (b0 + b1) / 2, 255);
        auiColor[3] = auiColor[2] & 0x00FFFFFF;
    }
    for (int y = 0; y < 4; ++y)
    {
        const std::uint32_t ucRow = pucBlock[4 + y];
        for (int x = 0; x < 4; ++x)
            NiPutLE32(pucOut + 4 * (4 * y + x), auiColor[(ucRow >> (2 * x)) & 3]);
    }
}

void NiBlockDecoder::DecodeExplicitAlpha(const std::uint8_t* pucBlock, std::uint8_t* pucOut) const
{
    for (int i = 0; i < 8; ++i)
    {
        pucOut[4 * (2 * i) + 3] = m_aucAlphaTable[pucBlock[i]][0];
        pucOut[4 * (2 * i + 1) + 3] = m_aucAlphaTable[pucBlock[i]][1];
    }
}

void NiBlockDecoder::DecodeInterpolatedAlpha(const std::uint8_t* pucBlock, std::uint8_t* pucOut)
{
    const std::uint32_t a0 = pucBlock[0];
    const std::uint32_t a1 = pucBlock[1];
    std::uint32_t auiAlpha[8] = {a0, a1};
    if (a0 > a1)
    {
        for (std::uint32_t i = 1; i <= 6; ++i)
            auiAlpha[1 + i] = ((7 - i) * a0 + i * a1) / 7;
    }
    else
    {
        for (std::uint32_t i = 1; i <= 4; ++i)
            auiAlpha[1 + i] = ((5 - i) * a0 + i * a1) / 5;
        auiAlpha[6] = 0;
        auiAlpha[7] = 255;
    }
    std::uint64_t uiBits = 0;
    for (int i = 0; i < 6; ++i)
        uiBits |= static_cast<std::uint64_t>(pucBlock[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i)
        pucOut[4 * i + 3] = static_cast<std::uint8_t>(auiAlpha[(uiBits >> (3 * i)) & 7]);
}

NiPixelDataPtr NiBlockDecoder::Decode(const NiPixelData& kSrc) const
{
    const NiPixelFormat& kFormat = kSrc.GetPixelFormat();
    if (!kFormat.IsCompressed() || kSrc.GetNumMipmapLevels() == 0)
        return nullptr;
    const std::uint32_t uiKind = kFormat.GetKind();
    const std::uint32_t uiBlockBytes = uiKind == NiPixelFormat::DXT1_KIND ? 8 : 16;
    NiPixelDataPtr spDest =
        new NiPixelData(kSrc.GetWidth(), kSrc.GetHeight(), NiPixelFormat::RGBA32, kSrc.GetNumMipmapLevels());
    if (spDest->GetPixels() == nullptr || spDest->GetNumMipmapLevels() != kSrc.GetNumMipmapLevels())
        return nullptr;
    std::uint8_t aucBlock[64];
    for (std::uint32_t uiLevel = 0; uiLevel < kSrc.GetNumMipmapLevels(); ++uiLevel)
    {
        const std::uint32_t uiWidth = kSrc.GetWidth(uiLevel);
        const std::uint32_t uiHeight = kSrc.GetHeight(uiLevel);
        if (uiWidth != spDest->GetWidth(uiLevel) || uiHeight != spDest->GetHeight(uiLevel))
            return nullptr;
        const std::uint32_t uiBlocksWide = (uiWidth + 3) / 4;
        const std::uint32_t uiBlocksHigh = (uiHeight + 3) / 4;
        if (static_cast<std::uint64_t>(uiBlocksWide) * uiBlocksHigh * uiBlockBytes > kSrc.GetSizeInBytes(uiLevel))
            return nullptr;
        const std::uint8_t* pucSrc = kSrc.GetPixels(uiLevel);
        std::uint8_t* pucDest = spDest->GetPixels(uiLevel);
        for (std::uint32_t by = 0; by < uiBlocksHigh; ++by)
        {
            for (std::uint32_t bx = 0; bx < uiBlocksWide; ++bx, pucSrc += uiBlockBytes)
            {
                if (uiKind == NiPixelFormat::DXT1_KIND)
                {
                    DecodeColorBlock(pucSrc, true, aucBlock);
                }
                else
                {
                    // Alpha after the colours: the colour pass writes alpha too.
                    DecodeColorBlock(pucSrc + 8, false, aucBlock);
                    if (uiKind == NiPixelFormat::DXT3_KIND)
                        DecodeExplicitAlpha(pucSrc, aucBlock);
                    else
                        DecodeInterpolatedAlpha(pucSrc, aucBlock);
                }
                // Edge blocks are clipped to the level.
                const std::uint32_t uiCols = std::min(4u, uiWidth - 4 * bx);
                const std::uint32_t uiRows = std::min(4u, uiHeight - 4 * by);
                for (std::uint32_t y = 0; y < uiRows; ++y)
                {
                    std::uint8_t* pucRow = pucDest + (static_cast<std::size_t>(4 * by + y) * uiWidth + 4 * bx) * 4;
                    std::memcpy(pucRow, aucBlock + 16 * y, 4 * uiCols);
                }
            }
        }
    }
    return spDest;
}
