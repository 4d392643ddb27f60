#pragma once

// Small image files built byte by byte (TGA and DDS through the tools' writers): the
// image tests feed them to every reader branch, and the fuzz seed generator
// writes them as seeds.

#include "tools/COrvaneDdsWriter.h"
#include "tools/COrvaneTgaWriter.h"

#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline void PutLE16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void PutLE32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutBE16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v >> 8));
    b.push_back(static_cast<std::uint8_t>(v));
}
inline void PutBE32(Bytes& b, std::uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Append(Bytes& b, std::initializer_list<std::uint8_t> k)
{
    b.insert(b.end(), k.begin(), k.end());
}
inline void Append(Bytes& b, const Bytes& k)
{
    b.insert(b.end(), k.begin(), k.end());
}

struct SgiHeader
{
    std::uint16_t usMagic = 474;
    std::uint8_t ucStorage = 0;
    std::uint8_t ucBytesPerChannel = 1;
    std::uint16_t usWidth = 1;
    std::uint16_t usHeight = 1;
    std::uint16_t usChannels = 3;
};

inline Bytes SgiHeaderBytes(const SgiHeader& h)
{
    Bytes b;
    PutBE16(b, h.usMagic);
    b.push_back(h.ucStorage);
    b.push_back(h.ucBytesPerChannel);
    PutBE16(b, 3);
    PutBE16(b, h.usWidth);
    PutBE16(b, h.usHeight);
    PutBE16(b, h.usChannels);
    b.resize(512, 0);
    return b;
}

// Verbatim SGI: kChannelRows[c][r] is file row r (bottom first) of channel c.
inline Bytes SgiVerbatim(const SgiHeader& h, const std::vector<std::vector<Bytes>>& kChannelRows)
{
    Bytes b = SgiHeaderBytes(h);
    for (const auto& kRows : kChannelRows)
        for (const Bytes& kRow : kRows)
            Append(b, kRow);
    return b;
}

// Run-length SGI: rows given as encoded packets; offsets and lengths made to
// match, rows stored in channel-major order.
inline Bytes SgiEncoded(const SgiHeader& h, const std::vector<std::vector<Bytes>>& kChannelRows)
{
    Bytes b = SgiHeaderBytes(h);
    const std::uint32_t uiRows = static_cast<std::uint32_t>(h.usChannels) * h.usHeight;
    std::uint32_t uiOffset = 512 + 8 * uiRows;
    Bytes kOffsets, kLengths, kData;
    for (const auto& kRows : kChannelRows)
    {
        for (const Bytes& kRow : kRows)
        {
            PutBE32(kOffsets, uiOffset);
            PutBE32(kLengths, static_cast<std::uint32_t>(kRow.size()));
            uiOffset += static_cast<std::uint32_t>(kRow.size());
            Append(kData, kRow);
        }
    }
    Append(b, kOffsets);
    Append(b, kLengths);
    Append(b, kData);
    return b;
}

struct BmpHeader
{
    std::int32_t iWidth = 1;
    std::int32_t iHeight = 1;
    std::uint16_t usBitCount = 24;
    std::uint32_t uiCompression = 0;
    std::uint32_t uiColorsUsed = 0;
    std::uint32_t uiInfoSize = 40;
    std::int64_t iDataOffset = -1; // -1: right after the palette
};

inline Bytes BmpFile(const BmpHeader& h, const Bytes& kPalette, const Bytes& kPixels, const Bytes& kMasks = {})
{
    Bytes b;
    const std::uint32_t uiBefore = 14 + h.uiInfoSize + static_cast<std::uint32_t>(kMasks.size()) +
                                   static_cast<std::uint32_t>(kPalette.size());
    const std::uint32_t uiOffset = h.iDataOffset < 0 ? uiBefore : static_cast<std::uint32_t>(h.iDataOffset);
    Append(b, {'B', 'M'});
    PutLE32(b, uiBefore + static_cast<std::uint32_t>(kPixels.size()));
    PutLE32(b, 0);
    PutLE32(b, uiOffset);
    PutLE32(b, h.uiInfoSize);
    PutLE32(b, static_cast<std::uint32_t>(h.iWidth));
    PutLE32(b, static_cast<std::uint32_t>(h.iHeight));
    PutLE16(b, 1);
    PutLE16(b, h.usBitCount);
    PutLE32(b, h.uiCompression);
    PutLE32(b, 0);
    PutLE32(b, 2835);
    PutLE32(b, 2835);
    PutLE32(b, h.uiColorsUsed);
    PutLE32(b, 0);
    b.resize(14 + h.uiInfoSize, 0);
    Append(b, kMasks);
    Append(b, kPalette);
    if (uiOffset > b.size())
        b.resize(uiOffset, 0xEE);
    Append(b, kPixels);
    return b;
}
