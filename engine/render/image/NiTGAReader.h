#pragma once

#include "engine/render/image/NiImageReader.h"

#include <cstdint>
#include <vector>

// Truevision TGA files: uncompressed and run-length encoded, true colour,
// grey and colour mapped, read into one level of a working format.
class NiTGAReader : public NiHeaderImageReader
{
public:
    // A colour map this long or longer (with its first index) is refused.
    static constexpr std::uint32_t MAX_MAP_END = 0x3FFF;

    [[nodiscard]] bool CanReadFile(const char* pcExtension) const override;
    [[nodiscard]] NiPixelDataPtr ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest) override;

protected:
    // One row of file pixels into image pixels, as the last parsed header
    // says; unpacking before a header chose how is a caller's bug.
    void UnpackRow(const std::uint8_t* pucSrc, std::uint8_t* pucDest) const;

private:
    enum class Unpacker
    {
        NONE,
        INDEX4_PACKED,   // 4-bit indices into a 4-bit image
        INDEX4_UNPACKED, // 4-bit indices into an 8-bit image
        INDEX8,          // 8-bit indices into an 8-bit image
        INDEX8_PACKED,   // 8-bit indices into a 4-bit image (16-entry map)
        GREY,
        GREY_ALPHA,
        RGB555,
        BGR,
        BGRA,
    };

    [[nodiscard]] bool ParseHeader(NiByteStream& kIst) override;
    [[nodiscard]] HeaderFacts GetHeaderFacts() const override { return {m_usWidth, m_usHeight, m_kFormat, false}; }
    [[nodiscard]] bool ReadColorMap(NiByteStream& kIst);
    [[nodiscard]] bool DecodeRow(NiByteStream& kIst, std::uint8_t* pucRow);

    // The header fields as read.
    std::uint8_t m_ucIDLength = 0;
    std::uint8_t m_ucColorMapType = 0;
    std::uint8_t m_ucImageType = 0;
    std::uint16_t m_usMapFirst = 0;
    std::uint16_t m_usMapLength = 0;
    std::uint8_t m_ucMapEntrySize = 0;
    std::uint16_t m_usWidth = 0;
    std::uint16_t m_usHeight = 0;
    std::uint8_t m_ucPixelDepth = 0;
    std::uint8_t m_ucDescriptor = 0;

    std::uint32_t m_uiBytesPerPixel = 0;
    bool m_bHasAlpha = false;
    bool m_bColorMapped = false;
    bool m_bBottomUp = false;
    bool m_bRLE = false;
    NiPixelFormat m_kFormat = NiPixelFormat::RGB24;
    Unpacker m_eUnpacker = Unpacker::NONE;

    std::vector<std::uint8_t> m_kRaw;
    std::vector<NiPalette::PaletteEntry> m_kColorMap;

    // Run-length packets run on from one row into the next.
    std::uint32_t m_uiPacketLeft = 0;
    bool m_bPacketIsRun = false;
    std::uint8_t m_aucRunValue[4] = {};
};
