#include "tools/COrvaneDemoScreens.h"

#include "platform/os/OsFiles.h"
#include "tools/COrvaneTgaWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
constexpr std::uint16_t WIDTH = 1024;
constexpr std::uint16_t HEIGHT = 768;

// Dark slate fading to the floor's brown, with a row of bars: the prison
// gate the player waits behind.
std::vector<std::uint8_t> LoadingPicture()
{
    std::vector<std::uint8_t> kPixels(static_cast<std::size_t>(WIDTH) * HEIGHT * 3);
    std::uint8_t* pucPixel = kPixels.data();
    for (std::uint32_t y = 0; y < HEIGHT; ++y)
        for (std::uint32_t x = 0; x < WIDTH; ++x)
        {
            const std::uint32_t uiMix = y * 255 / HEIGHT;
            const bool bBar = y > 160 && y < 520 && (x % 64) < 10;
            const bool bRail = (y > 150 && y < 166) || (y > 514 && y < 530);
            std::uint32_t r = (28 * (255 - uiMix) + 58 * uiMix) / 255;
            std::uint32_t g = (40 * (255 - uiMix) + 50 * uiMix) / 255;
            std::uint32_t b = (56 * (255 - uiMix) + 38 * uiMix) / 255;
            if (bBar || bRail)
            {
                r = 84;
                g = 92;
                b = 104;
            }
            *pucPixel++ = static_cast<std::uint8_t>(r);
            *pucPixel++ = static_cast<std::uint8_t>(g);
            *pucPixel++ = static_cast<std::uint8_t>(b);
        }
    return kPixels;
}

// A monitor's casing round a clear picture: opaque at the edges, a soft
// shadow inwards, corner marks of the camera's view.
std::vector<std::uint8_t> FramePicture()
{
    constexpr int EDGE = 28;
    constexpr int SHADOW = 36;
    std::vector<std::uint8_t> kPixels(static_cast<std::size_t>(WIDTH) * HEIGHT * 4);
    std::uint8_t* pucPixel = kPixels.data();
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x)
        {
            const int iInside = std::min({x, y, WIDTH - 1 - x, HEIGHT - 1 - y});
            std::uint8_t r = 22, g = 24, b = 26, a = 0;
            if (iInside < EDGE)
                a = 255;
            else if (iInside < EDGE + SHADOW)
                a = static_cast<std::uint8_t>(160 * (EDGE + SHADOW - iInside) / SHADOW);
            // Corner marks: two strokes 60 long, 3 wide, 20 inside the shadow.
            const int iX = std::min(x, WIDTH - 1 - x), iY = std::min(y, HEIGHT - 1 - y);
            const int iMark = EDGE + 20;
            if ((iX >= iMark && iX < iMark + 60 && iY >= iMark && iY < iMark + 3) ||
                (iY >= iMark && iY < iMark + 60 && iX >= iMark && iX < iMark + 3))
            {
                r = 150;
                g = 220;
                b = 150;
                a = 200;
            }
            *pucPixel++ = r;
            *pucPixel++ = g;
            *pucPixel++ = b;
            *pucPixel++ = a;
        }
    return kPixels;
}

// A faint green band, brightest in its middle row.
std::vector<std::uint8_t> ScanLinePicture()
{
    constexpr std::uint16_t ROWS = 8;
    std::vector<std::uint8_t> kPixels;
    for (int y = 0; y < ROWS; ++y)
    {
        const auto ucAlpha = static_cast<std::uint8_t>(90 - 20 * std::abs(2 * y - (ROWS - 1)) / 2);
        for (int x = 0; x < WIDTH; ++x)
            kPixels.insert(kPixels.end(), {170, 255, 170, ucAlpha});
    }
    return kPixels;
}
} // namespace

bool WriteDemoScreens(const std::string& kFolder)
{
    const std::string kImages = kFolder + "/images";
    if (!os::CreateFolderTree(kImages))
    {
        std::fprintf(stderr, "demo data: cannot make the folder %s\n", kImages.c_str());
        return false;
    }
    return WriteTga(kImages + "/loading.tga", WIDTH, HEIGHT, 24, LoadingPicture()) &&
           WriteTga(kImages + "/screen.tga", WIDTH, HEIGHT, 32, FramePicture()) &&
           WriteTga(kImages + "/scanline.tga", WIDTH, 8, 32, ScanLinePicture());
}
