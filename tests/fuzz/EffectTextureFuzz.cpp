// Texture files as effect parameters name them: the bytes through the PNG
// and JPEG decoders, and on success into a texture with its whole chain on
// the null device.

#include "platform/gfx/Gfx.h"
#include "platform/gfxutil/GfxUtilTextureFile.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize > 0x100000)
        return 0;
    std::uint32_t uiWidth = 0, uiHeight = 0, uiKind = 0;
    std::vector<std::uint8_t> kPixels;
    if (!gfx::DecodeImageFile(pucData, static_cast<std::uint32_t>(uiSize), uiWidth, uiHeight, kPixels, uiKind))
    {
        if (!kPixels.empty())
            std::abort(); // a refused file leaves nothing behind
        return 0;
    }
    if (uiWidth == 0 || uiHeight == 0 || kPixels.size() != std::size_t(uiWidth) * uiHeight * 4)
        std::abort();
    return 0;
}
