#pragma once

#include "engine/core/NiObjectStream.h"
#include "engine/render/image/NiImageReader.h"

// Engine scene files that hold exactly one top-level pixel data object.
class NiNIFImageReader : public NiImageReader
{
public:
    [[nodiscard]] bool CanReadFile(const char* pcExtension) const override;
    // The stream keeps its own reference until the next file is read.
    [[nodiscard]] NiPixelDataPtr ReadFile(NiByteStream& kIst, NiPixelData* pkOptDest) override;
    [[nodiscard]] bool ReadHeader(NiByteStream& kIst, std::uint32_t& uiWidth, std::uint32_t& uiHeight,
                                  NiPixelFormat& kFormat, bool& bMipmap) override;

private:
    NiObjectStream m_kStream;
};
