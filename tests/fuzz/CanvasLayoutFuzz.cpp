// Canvas layout maps: the input is shaped into a hot-area map and, when
// byte 2 is odd, the same picture as a placement map, beside a small
// background: bytes 0 and 1 give the map's width and height (1..64), the
// rest are 24-bit pixels (missing ones black). Every hot area found must
// lie inside the map; the canvas then takes input passes and draws.

#include "engine/render/image/NiImageFileConverter.h"
#include "framework/COrvaneCanvas.h"
#include "framework/COrvaneWidget.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tools/COrvaneTgaWriter.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
// One base name: "<base>.tga", "<base>_h.tga", "<base>_p.tga".
const fuzz::ScratchFile g_kBackground(".tga");
const fuzz::ScratchFile g_kHotMap("_h.tga");
const fuzz::ScratchFile g_kPlaceMap("_p.tga");
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    const std::vector<std::uint8_t> kBackground = TgaImage(4, 4, 24, std::vector<std::uint8_t>(48, 90));
    return g_kBackground.Write(kBackground.data(), kBackground.size()) ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize < 3)
        return 0;
    const std::uint16_t usWidth = static_cast<std::uint16_t>(1 + pucData[0] % 64);
    const std::uint16_t usHeight = static_cast<std::uint16_t>(1 + pucData[1] % 64);
    std::vector<std::uint8_t> kPixels(static_cast<std::size_t>(usWidth) * usHeight * 3, 0);
    for (std::size_t i = 0; i < kPixels.size() && i + 3 < uiSize; ++i)
        kPixels[i] = pucData[i + 3];
    const std::vector<std::uint8_t> kMap = TgaImage(usWidth, usHeight, 24, kPixels);
    if (!g_kHotMap.Write(kMap.data(), kMap.size()))
        return 0;
    const bool bPlace = (pucData[2] & 1) != 0;
    if (!g_kPlaceMap.Write(kMap.data(), bPlace ? kMap.size() : 0))
        return 0;

    COrvaneCanvas kCanvas;
    kCanvas.Create(g_kBackground.GetPath(), 0.0f, 0.0f, false);
    if (kCanvas.GetWidgetCount() < 1)
        std::abort(); // the background is always there
    for (std::int32_t i = 0; i < kCanvas.GetHotAreaCount(); ++i)
    {
        const COrvaneWidgetRect& kRect = kCanvas.GetHotArea(i)->GetRect();
        if (kRect.m_fX == -1.0f && kRect.m_fWidth == -1.0f)
            continue; // a key colour that does not occur
        if (kRect.m_fX < 0.0f || kRect.m_fY < 1.0f || kRect.m_fWidth < 1.0f || kRect.m_fHeight < 1.0f ||
            kRect.m_fX + kRect.m_fWidth > usWidth || kRect.m_fY + kRect.m_fHeight > usHeight)
            std::abort();
    }
    kCanvas.UpdateHover(); // no game: nothing happens
    kCanvas.Draw();
    for (std::int32_t i = -1; i <= kCanvas.GetWidgetCount(); ++i)
        kCanvas.OnWidgetEvent(i, i % 3);
    return 0;
}
