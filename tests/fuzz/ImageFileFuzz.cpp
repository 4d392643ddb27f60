// Image files through the image file converter, as textures read them: the
// scratch file's extension (ORVANE_FUZZ_EXTENSION, one target per reader)
// picks the reader. An image that reads is converted to 32-bit RGBA and
// read again into itself, as a texture reload does.

#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiPixelFormat.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>

#ifndef ORVANE_FUZZ_EXTENSION
#error "ORVANE_FUZZ_EXTENSION names the reader's file extension"
#endif

namespace
{
const fuzz::ScratchFile g_kFile(ORVANE_FUZZ_EXTENSION);
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The engine's own pixel-data files go through the scene-file stream.
    fuzz::StartEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    NiRefPtr<NiImageFileConverter> spConverter = new NiImageFileConverter;

    NiPixelFormat kFormat;
    bool bMipmap = false;
    std::uint32_t uiWidth = 0;
    std::uint32_t uiHeight = 0;
    const bool bInfo = spConverter->ReadImageFileInfo(g_kFile.GetPath(), kFormat, bMipmap, uiWidth, uiHeight);

    NiPixelDataPtr spImage = spConverter->ReadImageFile(g_kFile.GetPath(), nullptr);
    if (!spImage)
        return 0;
    // What the header promised is what came back, and it has pixels.
    if (!bInfo || uiWidth != spImage->GetWidth() || uiHeight != spImage->GetHeight() ||
        spImage->GetPixels() == nullptr)
        std::abort();

    NiPixelDataPtr spRgba = spConverter->ConvertPixelData(*spImage, NiPixelFormat::RGBA32, nullptr, false);
    (void)spRgba;
    NiPixelDataPtr spAgain = spConverter->ReadImageFile(g_kFile.GetPath(), spImage);
    if (!spAgain)
        std::abort(); // the same bytes read once must read twice
    return 0;
}
