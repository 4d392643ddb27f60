#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiTypeInfo.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/image/NiFont.h"

#include <cstdint>

class NiRenderer;

// One text shown with a font: the text, its colour and display flags, and
// its measured extent, kept up to date whenever the text changes. The
// screen-text class lays its glyphs out from these fields.
class NiFontString : public NiRefObject
{
    NiDeclareRootTypeInfo()

public:
    // Display flags.
    static constexpr std::uint32_t COLORED = 0x1;   // the string's colour, not opaque white
    static constexpr std::uint32_t CENTERED = 0x2;  // centred on the screen position
    // Given to SetText: leave the flags as they are.
    static constexpr std::uint32_t KEEP_FLAGS = 0xFFFFFFFF;

    NiFontString(NiFont* pkFont, std::uint32_t uiFlags, std::uint32_t uiMaxStringLen, const char* pcString,
                 const NiColorRGBA& kColor);
    // The same, placed at (x, y) in pixels and laid out on the screen.
    NiFontString(NiFont* pkFont, std::uint32_t uiFlags, std::uint32_t uiMaxStringLen, const char* pcString,
                 const NiColorRGBA& kColor, std::int16_t sX, std::int16_t sY);
    ~NiFontString() override;
    NiFontString(const NiFontString&) = delete;
    NiFontString& operator=(const NiFontString&) = delete;

    // Replaces the text and the flags (KEEP_FLAGS keeps them) and measures
    // the text again. The same text again changes nothing but the flags. A
    // null text clears the string.
    void SetText(const char* pcText, std::uint32_t uiFlags);
    // Line count, widest line and height of the current text.
    void ComputeTextExtent();

    [[nodiscard]] NiFont* GetFont() const { return m_spFont; }
    [[nodiscard]] std::uint32_t GetFlags() const { return m_uiFlags; }
    [[nodiscard]] std::uint32_t GetCapacity() const { return m_uiMaxStringLen; }
    // Bytes of the text with its terminating zero; 0 without text.
    [[nodiscard]] std::uint32_t GetLength() const { return m_uiStringLen; }
    [[nodiscard]] const char* GetText() const { return m_pcString; }
    [[nodiscard]] const NiColorRGBA& GetColor() const { return m_kColor; }
    void SetColor(const NiColorRGBA& kColor) { m_kColor = kColor; }
    [[nodiscard]] std::uint32_t GetLineCount() const { return m_uiLines; }
    [[nodiscard]] float GetWidth() const { return m_fWidth; }
    [[nodiscard]] float GetHeight() const { return m_fHeight; }
    // Set whenever the text changes; the screen-text class clears it after
    // laying the glyphs out again.
    [[nodiscard]] bool IsModified() const { return m_bModified; }
    void ClearModified() { m_bModified = false; }

    // ---- On the screen ----
    // Lays the glyphs out again when the text or the position changed (the
    // first time: makes the screen texture), then has the renderer draw
    // them. Without text there is nothing to draw and no screen texture.
    void Draw(NiRenderer* pkRenderer);
    // A new position marks the string changed.
    void SetPosition(std::int16_t sX, std::int16_t sY);
    [[nodiscard]] std::int16_t GetX() const { return m_sX; }
    [[nodiscard]] std::int16_t GetY() const { return m_sY; }
    [[nodiscard]] NiScreenTexture* GetScreenTexture() const { return m_spScreenTexture; }

protected:
    // A new screen texture over the font's texture, laid out; none without
    // text.
    void PrepareScreenTexture();
    // One rectangle per glyph, lines going down from the position.
    void RebuildScreenRects();
    [[nodiscard]] bool HasText() const { return m_uiStringLen > 1 && m_pcString != nullptr && m_spFont != nullptr; }

    NiFontPtr m_spFont;
    std::uint32_t m_uiFlags = 0;
    std::uint32_t m_uiMaxStringLen = 0;
    std::uint32_t m_uiStringLen = 0;
    char* m_pcString = nullptr;
    NiColorRGBA m_kColor;
    std::uint32_t m_uiLines = 0;
    float m_fWidth = 0.0f;
    float m_fHeight = 0.0f;
    bool m_bModified = false;

    std::int16_t m_sX = 0;
    std::int16_t m_sY = 0;
    std::uint32_t m_auiScreenReserved[4] = {0, 0, 0, 0};
    NiScreenTexturePtr m_spScreenTexture;
};

using NiFontStringPtr = NiRefPtr<NiFontString>;
