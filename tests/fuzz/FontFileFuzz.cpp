// Bitmap font files (the font opens files by name only: a scratch file),
// loaded without a renderer as the font tests do, then measured.

#include "engine/render/image/NiFont.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>

namespace
{
const fuzz::ScratchFile g_kFile(".nff");
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kFile.Write(pucData, uiSize))
        return 0;
    NiFontPtr spFont = NiFont::Create(nullptr, g_kFile.GetPath());
    if (!spFont)
        return 0;
    static const char s_acText[] = "The quick brown fox\njumps over\tthe lazy dog \x7f\x80\xff";
    float fWidth = 0.0f;
    float fHeight = 0.0f;
    spFont->GetTextExtent(s_acText, fWidth, fHeight);
    for (int c = 0; c < 256; ++c)
    {
        spFont->GetCharExtent(static_cast<char>(c), fWidth, fHeight);
        (void)spFont->GetGlyph(static_cast<char>(c));
    }
    (void)spFont->GetLineHeight();
    return 0;
}
