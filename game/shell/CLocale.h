#pragma once

#include "framework/COrvaneLocale.h"

#include <cstdint>

class COrvaneTagTree;

// The game's texts and fonts in the chosen language. For now it holds no
// texts: it reads the language number and counts the per-frame glyph
// releases.
class CLocale : public COrvaneLocale
{
public:
    CLocale() = default;
    ~CLocale() override = default;

    void ReleaseLocale() override {}
    // The language from the settings.
    bool Load();
    bool LoadFontsAndScreenText(COrvaneTagTree* pkData);
    // The fonts' glyph batches of the last frame go.
    void ReleaseFontGlyphs() { ++m_uiGlyphReleases; }
    [[nodiscard]] std::uint32_t GetGlyphReleases() const { return m_uiGlyphReleases; }

private:
    std::uint32_t m_uiGlyphReleases = 0;
};
