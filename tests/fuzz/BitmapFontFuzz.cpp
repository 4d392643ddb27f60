// Bitmap fonts: the glyph cells are measured on whatever pixels the image
// holds. The input is shaped into a valid picture so every run reaches the
// measuring: byte 0 and 1 give the width and height (1..64), byte 2 the
// length of the character list that follows, the rest are 24-bit pixels
// (missing ones black). Every measured glyph must lie inside the image;
// drawing and wrapping without a camera follow.

#include "engine/render/image/NiImageFileConverter.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneWidget.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tools/COrvaneTgaWriter.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
const fuzz::ScratchFile g_kImage(".tga");
const fuzz::ScratchFile g_kDescription(".txt");
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (uiSize < 3)
        return 0;
    const std::uint16_t usWidth = static_cast<std::uint16_t>(1 + pucData[0] % 64);
    const std::uint16_t usHeight = static_cast<std::uint16_t>(1 + pucData[1] % 64);
    std::size_t uiAt = 3;
    std::string kChars;
    for (std::size_t i = 0; i < pucData[2] && uiAt < uiSize; ++i, ++uiAt)
    {
        // A line break would end the list early: keep the list one line.
        if (pucData[uiAt] != '\n' && pucData[uiAt] != '\r')
            kChars.push_back(static_cast<char>(pucData[uiAt]));
    }
    std::vector<std::uint8_t> kPixels(static_cast<std::size_t>(usWidth) * usHeight * 3, 0);
    for (std::size_t i = 0; i < kPixels.size() && uiAt < uiSize; ++i, ++uiAt)
        kPixels[i] = pucData[uiAt];
    const std::vector<std::uint8_t> kImage = TgaImage(usWidth, usHeight, 24, kPixels);
    if (!g_kImage.Write(kImage.data(), kImage.size()))
        return 0;
    const std::string kPath = g_kImage.GetPath();
    const std::string kText = "font\r\n" + kPath.substr(kPath.find_last_of('/') + 1) + "\r\n\r\n" + kChars + "\r\n";
    if (!g_kDescription.Write(reinterpret_cast<const std::uint8_t*>(kText.data()), kText.size()))
        return 0;

    COrvaneFont kFont;
    if (!kFont.Create(g_kDescription.GetPath(), nullptr))
        std::abort(); // the description was written
    for (const COrvaneGlyph& kGlyph : kFont.GetGlyphs())
    {
        if (kGlyph.m_uiWidth == 0)
            continue;
        if (kGlyph.m_uiX + kGlyph.m_uiWidth > usWidth || kGlyph.m_uiY + kGlyph.m_uiHeight > usHeight)
            std::abort();
    }
    std::string kAll;
    for (int c = 1; c < 256; ++c)
        kAll.push_back(static_cast<char>(c));
    (void)kFont.GetTextWidth(kAll.c_str());
    kFont.BeginBatch();
    kFont.SetColor(1.0f, 0.5f, 0.0f, 1.0f);
    kFont.DrawText(2.0f, 3.0f, kChars.c_str());
    COrvaneWidgetRect kRect;
    kRect.m_fX = 0.0f;
    kRect.m_fY = 0.0f;
    kRect.m_fWidth = static_cast<float>(pucData[0] % 32);
    kRect.m_fHeight = 100.0f;
    // Texts are C strings: they end at a NUL of the list.
    const std::string kText0 = kChars.c_str();
    const std::string kWords = kText0 + " " + kText0 + "\n" + kText0;
    if (kFont.DrawTextWrapped(kRect, kWords.c_str()) < 2)
        std::abort(); // the line feed alone makes two lines
    kFont.Flush();
    kFont.ResetBatches();
    return 0;
}
