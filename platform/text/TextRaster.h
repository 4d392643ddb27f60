#pragma once

// Glyphs of a TrueType font drawn as coverage pictures, one per Latin-1
// character, so tools can make the game's bitmap fonts from a scalable one.

#include <cstdint>
#include <string>
#include <vector>

namespace text
{
// One character's picture: advance columns by the font's line height,
// one coverage byte (0..255) per pixel, rows from the top.
struct GlyphPicture
{
    std::uint8_t character = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> coverage;
};

// The pictures of the characters (Latin-1 bytes) at the pixel size, in the
// given order; all have the font's line height. False (with the reason in
// error) when the font file cannot be opened or a glyph cannot be drawn;
// a character the font lacks gets its empty picture.
bool RenderGlyphs(const std::string& fontFile, int pixelSize, const std::string& characters,
                  std::vector<GlyphPicture>& pictures, std::string& error);
// The same for code points of the basic plane (symbols for icons); each
// picture's character is the code point's low byte.
bool RenderSymbols(const std::string& fontFile, int pixelSize, const std::u16string& symbols,
                   std::vector<GlyphPicture>& pictures, std::string& error);
} // namespace text
