#include "platform/text/TextRaster.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <memory>

namespace text
{
namespace
{
// TTF_Init is counted: every successful call is paired with TTF_Quit.
struct TtfLibrary
{
    bool started = TTF_Init() == 0;
    ~TtfLibrary()
    {
        if (started)
            TTF_Quit();
    }
};

struct FontCloser
{
    void operator()(TTF_Font* font) const { TTF_CloseFont(font); }
};

struct SurfaceFreer
{
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
} // namespace

namespace
{
bool RenderCodes(const std::string& fontFile, int pixelSize, const std::u16string& codes,
                 std::vector<GlyphPicture>& pictures, std::string& error)
{
    pictures.clear();
    TtfLibrary library;
    if (!library.started)
    {
        error = std::string("TrueType start-up failed: ") + TTF_GetError();
        return false;
    }
    std::unique_ptr<TTF_Font, FontCloser> font(TTF_OpenFont(fontFile.c_str(), pixelSize));
    if (!font)
    {
        error = "cannot open " + fontFile + ": " + TTF_GetError();
        return false;
    }
    const int lineHeight = TTF_FontHeight(font.get());
    for (const char16_t c : codes)
    {
        GlyphPicture picture;
        picture.character = static_cast<std::uint8_t>(c & 0xFF);
        picture.height = static_cast<std::uint32_t>(lineHeight);
        const Uint16 code = static_cast<Uint16>(c);
        int minX = 0, maxX = 0, minY = 0, maxY = 0, advance = 0;
        if (TTF_GlyphIsProvided(font.get(), code) == 0 ||
            TTF_GlyphMetrics(font.get(), code, &minX, &maxX, &minY, &maxY, &advance) != 0)
        {
            pictures.push_back(picture);
            continue;
        }
        const SDL_Color white{255, 255, 255, 255};
        std::unique_ptr<SDL_Surface, SurfaceFreer> drawn(TTF_RenderGlyph_Blended(font.get(), code, white));
        std::unique_ptr<SDL_Surface, SurfaceFreer> surface(
            drawn ? SDL_ConvertSurfaceFormat(drawn.get(), SDL_PIXELFORMAT_RGBA32, 0) : nullptr);
        if (!surface)
        {
            error = std::string("cannot draw a glyph: ") + SDL_GetError();
            return false;
        }
        picture.width = static_cast<std::uint32_t>(advance > 0 ? advance : 0);
        picture.coverage.assign(static_cast<std::size_t>(picture.width) * picture.height, 0);
        const int rows = surface->h < lineHeight ? surface->h : lineHeight;
        for (int y = 0; y < rows; ++y)
        {
            const auto* row = static_cast<const std::uint8_t*>(surface->pixels) + y * surface->pitch;
            for (int x = 0; x < surface->w && x < static_cast<int>(picture.width); ++x)
                picture.coverage[static_cast<std::size_t>(y) * picture.width + static_cast<std::size_t>(x)] =
                    row[x * 4 + 3];
        }
        pictures.push_back(std::move(picture));
    }
    return true;
}
} // namespace

bool RenderGlyphs(const std::string& fontFile, int pixelSize, const std::string& characters,
                  std::vector<GlyphPicture>& pictures, std::string& error)
{
    // Latin-1 bytes are the first 256 code points.
    std::u16string codes;
    for (const char c : characters)
        codes.push_back(static_cast<char16_t>(static_cast<std::uint8_t>(c)));
    return RenderCodes(fontFile, pixelSize, codes, pictures, error);
}

bool RenderSymbols(const std::string& fontFile, int pixelSize, const std::u16string& symbols,
                   std::vector<GlyphPicture>& pictures, std::string& error)
{
    return RenderCodes(fontFile, pixelSize, symbols, pictures, error);
}
} // namespace text
