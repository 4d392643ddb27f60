#pragma once

#include "engine/render/image/NiImageReader.h"

#include <cstdint>
#include <vector>

// SGI image files of one to four channels, verbatim or run-length encoded,
// read into RGB24 (1 or 3 channels) or RGBA32 (2 or 4 channels).
class NiSGIReader : public NiHeaderImageReader
{
public:
    [[nodiscard]] bool CanReadFile(const char* pcExtension) const override;
    [[nodiscard]] NiPixelDataPtr ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest) override;

private:
    [[nodiscard]] bool ParseHeader(NiByteStream& kIst) override;
    [[nodiscard]] HeaderFacts GetHeaderFacts() const override { return {m_usWidth, m_usHeight, m_kFormat, false}; }
    [[nodiscard]] bool ReadVerbatim(NiByteStream& kIst, NiPixelData& kImage);
    // A run-length file's rows: each row's place in the packet bytes.
    struct EncodedRows
    {
        struct Row
        {
            std::uint32_t m_uiStart = 0;
            std::uint32_t m_uiLength = 0;
        };
        std::vector<Row> m_kRows;
        std::vector<std::uint8_t> m_kPackets;
    };
    // The row tables and the packet bytes they point at, each row checked to
    // lie inside what was read; no image exists yet.
    [[nodiscard]] bool ReadEncodedRows(NiByteStream& kIst, EncodedRows& kOut) const;
    void DecodeEncodedRows(const EncodedRows& kRows, NiPixelData& kImage) const;
    // Decodes one row of packets into channel bytes spaced uiStride apart.
    void DecodeRow(const std::uint8_t* pucSrc, std::uint32_t uiLength, std::uint8_t* pucDest,
                   std::uint32_t uiStride) const;

    std::uint16_t m_usWidth = 0;
    std::uint16_t m_usHeight = 0;
    std::uint16_t m_usChannels = 0;
    std::uint8_t m_ucBytesPerChannel = 0;
    bool m_bRLE = false;
    NiPixelFormat m_kFormat = NiPixelFormat::RGB24;
};
