#pragma once

#include "engine/render/image/NiFont.h"

#include <cstdint>
#include <string>
#include <vector>

// Writes bitmap font files: the demo data's fonts and the files tests build.
// Every field is kept as given, so a writer can also make the damaged files
// a reader must refuse.
class NiFontWriter
{
public:
    std::uint32_t m_uiVersion = NiFont::CURRENT_VERSION;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiCharHeight = 0;
    std::uint32_t m_uiFlags = 0;
    // Glyph i belongs to character 0x20 + i. The glyph count written is the
    // table's size unless m_bOverrideGlyphCount is set.
    std::vector<NiFont::Glyph> m_kGlyphs;
    bool m_bOverrideGlyphCount = false;
    std::int32_t m_iGlyphCount = 0;
    std::uint32_t m_uiTextureWidth = 0;
    std::uint32_t m_uiTextureHeight = 0;
    float m_fTextureScale = 1.0f;
    std::uint32_t m_auiReserved[4] = {0, 0, 0, 0};
    // The pixel block's three size words; zeros write width, height and 32.
    std::uint32_t m_auiPixelSize[3] = {0, 0, 0};
    // RGBA bytes, row by row from the top.
    std::vector<std::uint8_t> m_kPixels;

    // A font of uiChars glyphs from the space upward, each uiGlyphWidth x
    // uiGlyphHeight texels, side by side in one row from the top left of the
    // smallest power-of-two texture that holds them all; opaque white pixels.
    static NiFontWriter MakeGrid(std::uint32_t uiChars, std::uint32_t uiGlyphWidth, std::uint32_t uiGlyphHeight);

    [[nodiscard]] std::vector<std::uint8_t> ToBytes() const;
    // False when the file cannot be written whole.
    [[nodiscard]] bool WriteFile(const char* pcPath) const;
};
