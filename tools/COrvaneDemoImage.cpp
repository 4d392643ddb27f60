#include "tools/COrvaneDemoImage.h"

#include "platform/text/TextRaster.h"
#include "tools/COrvaneDemoText.h"
#include "tools/COrvaneTgaWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

COrvaneDemoImage::COrvaneDemoImage(std::uint32_t uiWidth, std::uint32_t uiHeight, const DemoRgba& kFill)
    : m_uiWidth(uiWidth), m_uiHeight(uiHeight), m_kPixels(static_cast<std::size_t>(uiWidth) * uiHeight * 4)
{
    // Every test that needs the demo data builds it: pixels are written
    // through plain pointers, not per-pixel container calls.
    std::uint8_t* pucPixel = m_kPixels.data();
    for (std::size_t i = 0; i < m_kPixels.size(); i += 4)
        std::memcpy(pucPixel + i, kFill.data(), 4);
}

COrvaneDemoImage& COrvaneDemoImage::Set(std::uint32_t x, std::uint32_t y, const DemoRgba& kColour)
{
    if (x < m_uiWidth && y < m_uiHeight)
        std::memcpy(m_kPixels.data() + (static_cast<std::size_t>(y) * m_uiWidth + x) * 4, kColour.data(), 4);
    return *this;
}

COrvaneDemoImage& COrvaneDemoImage::Fill(const DemoRect& kRect, const DemoRgba& kColour)
{
    const std::uint32_t uiRight = std::min<std::uint64_t>(std::uint64_t(kRect.x) + kRect.w, m_uiWidth);
    const std::uint32_t uiBottom = std::min<std::uint64_t>(std::uint64_t(kRect.y) + kRect.h, m_uiHeight);
    for (std::uint32_t y = kRect.y; y < uiBottom; ++y)
    {
        std::uint8_t* pucRow = m_kPixels.data() + static_cast<std::size_t>(y) * m_uiWidth * 4;
        for (std::uint32_t x = kRect.x; x < uiRight; ++x)
            std::memcpy(pucRow + static_cast<std::size_t>(x) * 4, kColour.data(), 4);
    }
    return *this;
}

COrvaneDemoImage& COrvaneDemoImage::Box(const DemoRect& kRect, const DemoRgba& kFill)
{
    Fill(kRect, DEMO_FRAME);
    if (kRect.w > 2 && kRect.h > 2)
        Fill({kRect.x + 1, kRect.y + 1, kRect.w - 2, kRect.h - 2}, kFill);
    return *this;
}

bool COrvaneDemoImage::Label(const DemoRect& kRect, const std::string& kText, int iPixels)
{
    std::u16string kCodes;
    for (const char c : kText)
        kCodes.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(c)));
    return Symbol(kRect, kCodes, iPixels);
}

bool COrvaneDemoImage::Symbol(const DemoRect& kRect, const std::u16string& kSymbols, int iPixels)
{
    std::vector<text::GlyphPicture> kGlyphs;
    std::string kError;
    if (!text::RenderSymbols(DEMO_TRUETYPE, iPixels, kSymbols, kGlyphs, kError))
    {
        std::fprintf(stderr, "demo data: %s\n", kError.c_str());
        return false;
    }
    // The ink's box over all the glyphs side by side: the drawn strokes, not
    // the font's line, are centred in the rectangle, and nothing lands
    // outside it.
    std::int64_t iInkLeft = -1, iInkRight = -1, iInkTop = -1, iInkBottom = -1;
    std::int64_t iAdvance = 0;
    for (const text::GlyphPicture& kGlyph : kGlyphs)
    {
        for (std::uint32_t gy = 0; gy < kGlyph.height; ++gy)
            for (std::uint32_t gx = 0; gx < kGlyph.width; ++gx)
            {
                if (kGlyph.coverage[static_cast<std::size_t>(gy) * kGlyph.width + gx] == 0)
                    continue;
                const std::int64_t x = iAdvance + gx;
                iInkLeft = iInkLeft < 0 ? x : std::min(iInkLeft, x);
                iInkRight = std::max(iInkRight, x);
                iInkTop = iInkTop < 0 ? gy : std::min<std::int64_t>(iInkTop, gy);
                iInkBottom = std::max<std::int64_t>(iInkBottom, gy);
            }
        iAdvance += kGlyph.width;
    }
    if (iInkLeft < 0)
        return true;
    const std::int64_t iLeft = static_cast<std::int64_t>(kRect.x) +
                               (static_cast<std::int64_t>(kRect.w) - (iInkRight - iInkLeft + 1)) / 2 - iInkLeft;
    const std::int64_t iTop = static_cast<std::int64_t>(kRect.y) +
                              (static_cast<std::int64_t>(kRect.h) - (iInkBottom - iInkTop + 1)) / 2 - iInkTop;
    std::int64_t iX = iLeft;
    for (const text::GlyphPicture& kGlyph : kGlyphs)
    {
        for (std::uint32_t gy = 0; gy < kGlyph.height; ++gy)
            for (std::uint32_t gx = 0; gx < kGlyph.width; ++gx)
            {
                const std::int64_t x = iX + gx;
                const std::int64_t y = iTop + gy;
                if (x < kRect.x || y < kRect.y || x >= static_cast<std::int64_t>(kRect.x) + kRect.w ||
                    y >= static_cast<std::int64_t>(kRect.y) + kRect.h)
                    continue;
                Blend(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y),
                      kGlyph.coverage[static_cast<std::size_t>(gy) * kGlyph.width + gx]);
            }
        iX += kGlyph.width;
    }
    return true;
}

bool COrvaneDemoImage::Write(const std::string& kPath) const
{
    return WriteTga(kPath, static_cast<std::uint16_t>(m_uiWidth), static_cast<std::uint16_t>(m_uiHeight), 32,
                    m_kPixels);
}

void COrvaneDemoImage::Blend(std::uint32_t x, std::uint32_t y, std::uint8_t ucCoverage)
{
    if (x >= m_uiWidth || y >= m_uiHeight || ucCoverage == 0)
        return;
    std::uint8_t* puc = &m_kPixels[(static_cast<std::size_t>(y) * m_uiWidth + x) * 4];
    for (int c = 0; c < 3; ++c)
        puc[c] = static_cast<std::uint8_t>((puc[c] * (255 - ucCoverage) + 255 * ucCoverage) / 255);
    puc[3] = std::max(puc[3], ucCoverage);
}

DemoRgba DemoKeyColour(std::size_t k)
{
    return {static_cast<std::uint8_t>(40 + 20 * k), static_cast<std::uint8_t>(200 - 15 * k),
            static_cast<std::uint8_t>(k % 2 == 0 ? 60 : 160), 255};
}
