#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using DemoRgba = std::array<std::uint8_t, 4>;

struct DemoRect
{
    std::uint32_t x;
    std::uint32_t y;
    std::uint32_t w;
    std::uint32_t h;
};

// The frame colour of every demo panel box.
inline constexpr DemoRgba DEMO_FRAME = {150, 160, 190, 255};

// An RGBA picture the demo panels and screens are drawn into, written as a
// 32-bit TGA. Drawing outside the picture is clipped.
class COrvaneDemoImage
{
public:
    COrvaneDemoImage(std::uint32_t uiWidth, std::uint32_t uiHeight, const DemoRgba& kFill);

    COrvaneDemoImage& Set(std::uint32_t x, std::uint32_t y, const DemoRgba& kColour);
    COrvaneDemoImage& Fill(const DemoRect& kRect, const DemoRgba& kColour);
    // A one-pixel frame filled inside.
    COrvaneDemoImage& Box(const DemoRect& kRect, const DemoRgba& kFill);
    // White text centred in the rectangle, blended by the glyphs' coverage;
    // false (with the reason on standard error) when the font does not render.
    bool Label(const DemoRect& kRect, const std::string& kText, int iPixels = 18);
    // The same for symbols beyond Latin-1 (icons drawn from the font).
    bool Symbol(const DemoRect& kRect, const std::u16string& kSymbols, int iPixels = 18);
    [[nodiscard]] bool Write(const std::string& kPath) const;

private:
    void Blend(std::uint32_t x, std::uint32_t y, std::uint8_t ucCoverage);

    std::uint32_t m_uiWidth;
    std::uint32_t m_uiHeight;
    std::vector<std::uint8_t> m_kPixels;
};

// Key colour k of a placement map: never black or white.
[[nodiscard]] DemoRgba DemoKeyColour(std::size_t k);
