#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiNIFImageReader.h"
#include "engine/render/image/NiPixelFormat.h"

#include <cstdint>
#include <memory>
#include <string>

class NiByteStream;

// Every image file reaches memory through the process-wide current
// converter. This base reads only engine pixel-data files and copies images
// whose format already fits.
class NiImageConverter : public NiRefObject
{
public:
    // Buffer of the files the converter opens.
    static constexpr std::uint32_t FILE_BUFFER_SIZE = 32768;

    NiImageConverter() = default;
    ~NiImageConverter() override = default;

    [[nodiscard]] virtual bool ReadImageFileInfo(const char* pcFilename, NiPixelFormat& kFormat, bool& bMipmap,
                                                 std::uint32_t& uiWidth, std::uint32_t& uiHeight);
    [[nodiscard]] virtual NiPixelDataPtr ReadImageFile(const char* pcFilename, NiPixelData* pkOptDest);
    [[nodiscard]] virtual bool CanConvertPixelData(const NiPixelFormat& kSrc, const NiPixelFormat& kDest) const;
    [[nodiscard]] virtual NiPixelDataPtr ConvertPixelData(NiPixelData& kSrc, const NiPixelFormat& kDest,
                                                          NiPixelData* pkOptDest, bool bMipmap);

    static void CreateDefault();
    // Counted: the previous converter goes when its last reference does.
    static void SetCurrent(NiImageConverter* pkConverter);
    [[nodiscard]] static NiImageConverter* GetCurrent();
    // Back to no converter (shut-down, and tests between cases).
    static void ReleaseCurrent();
    [[nodiscard]] static std::string ConvertFilenameToPlatformSpecific(const char* pcFilename);

protected:
    // The file opened for reading, or null when it does not open.
    [[nodiscard]] static std::unique_ptr<NiByteStream> OpenForReading(const char* pcFilename);
    // Same layout: the reuse object refilled, or a copy of the source.
    [[nodiscard]] NiPixelDataPtr CopyPixelData(NiPixelData& kSrc, NiPixelData* pkOptDest) const;

    NiNIFImageReader m_kReader;

private:
    static NiRefPtr<NiImageConverter> ms_spConverter;
};

using NiImageConverterPtr = NiRefPtr<NiImageConverter>;
