// The launcher's button bitmaps: any bytes as a ".bmp" file. A picture that
// loads has one opaque pixel per place; one that does not leaves nothing.

#include "game/shell/CStartUp.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>

namespace
{
const fuzz::ScratchFile g_kFile(".bmp");
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    CStartUpBitmap kBitmap;
    const bool bLoaded = kBitmap.Load(g_kFile.GetPath());
    if (bLoaded != kBitmap.IsLoaded())
        std::abort();
    if (!bLoaded)
        return 0;
    if (kBitmap.m_kPixels.size() != static_cast<std::size_t>(kBitmap.m_uiWidth) * kBitmap.m_uiHeight)
        std::abort();
    for (const std::uint32_t uiPixel : kBitmap.m_kPixels)
        if ((uiPixel >> 24) != 0xFF)
            std::abort();
    return 0;
}
