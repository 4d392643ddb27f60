// Interface images as an image widget loads them: the scratch file's
// extension (ORVANE_FUZZ_EXTENSION) picks the image converter (".tga") or
// the scene-file stream of saved previews (".fdp"). A loaded image must be
// covered exactly by its tiles, every tile side a power of two up to 256;
// hit tests, tints, scales and a draw without a camera follow.

#include "engine/render/image/NiImageFileConverter.h"
#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneWidget.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>

#ifndef ORVANE_FUZZ_EXTENSION
#error "ORVANE_FUZZ_EXTENSION names the file kind"
#endif

namespace
{
const fuzz::ScratchFile g_kFile(ORVANE_FUZZ_EXTENSION);

bool IsTileSide(std::uint32_t uiSide)
{
    return uiSide >= 1 && uiSide <= COrvaneImageTexture::MAX_TILE_SIDE && (uiSide & (uiSide - 1)) == 0;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    // The renderer holder's converter: every image file kind.
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    CWidgetDesc kDesc;
    kDesc.m_kName = g_kFile.GetPath();
    kDesc.m_fX = 3.0f;
    kDesc.m_fY = 5.0f;
    COrvaneImageTexture kTexture;
    COrvaneWidgetRect kRect;
    if (!kTexture.Load(kDesc, kRect, kDesc.m_kName))
    {
        if (!kTexture.GetTiles().empty())
            std::abort();
        return 0;
    }
    std::uint64_t uiArea = 0;
    for (const COrvaneImageTexture::Tile& kTile : kTexture.GetTiles())
    {
        if (!IsTileSide(kTile.m_uiWidth) || !IsTileSide(kTile.m_uiHeight) || kTile.m_spPixels == nullptr ||
            kTile.m_spPixels->GetWidth() != kTile.m_uiWidth || kTile.m_spPixels->GetHeight() != kTile.m_uiHeight ||
            static_cast<float>(kTile.m_uiLeft + kTile.m_uiWidth) > kRect.m_fWidth ||
            static_cast<float>(kTile.m_uiTop + kTile.m_uiHeight) > kRect.m_fHeight)
            std::abort();
        uiArea += static_cast<std::uint64_t>(kTile.m_uiWidth) * kTile.m_uiHeight;
    }
    if (static_cast<double>(uiArea) != static_cast<double>(kRect.m_fWidth) * static_cast<double>(kRect.m_fHeight))
        std::abort();

    // Points across the rectangle and just outside it, edges included.
    for (int iStep = -1; iStep <= 9; ++iStep)
    {
        const float fX = kRect.m_fX + kRect.m_fWidth * static_cast<float>(iStep) / 8.0f;
        const float fY = kRect.m_fY + kRect.m_fHeight * static_cast<float>(8 - iStep) / 8.0f;
        const NiVec2 kPoint(fX, fY);
        (void)kTexture.HitTest(&kPoint, kRect);
    }
    kTexture.SetColor(NiColorRGBA(0.0f, 1.0f, 0.0f, 1.0f));
    kTexture.Scale(2.0f, 0.5f);
    kTexture.Draw(kRect, 1.0f, 1.0f);
    return 0;
}
