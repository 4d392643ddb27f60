#pragma once

#include "engine/core/NiObject.h"
#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/core/NiTypeInfo.h"
#include "engine/render/NiPixelData.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiByteStream;
class NiRenderer;
class NiSourceTexture;

// A bitmap font: one texture holding every glyph, and the rectangle of each
// glyph in it for the characters from the space (0x20) upward.
class NiFont : public NiRefObject
{
    NiDeclareRootTypeInfo()

public:
    // "NFF" and a zero byte, in file order.
    static constexpr std::uint32_t MAGIC = 0x0046464E;
    static constexpr std::uint32_t CURRENT_VERSION = 1;
    static constexpr std::uint32_t FILE_BUFFER_SIZE = 32768;
    // Bytes a version-0 file carries after its version word.
    static constexpr std::uint32_t VERSION0_SKIP = 128;
    // Nothing wider or taller is accepted as a glyph texture.
    static constexpr std::uint32_t MAX_TEXTURE_SIDE = 16384;

    // Last error codes.
    static constexpr std::uint32_t ERROR_NONE = 0;
    static constexpr std::uint32_t ERROR_OPEN = 0x80000001;    // not opened, or not a font file
    static constexpr std::uint32_t ERROR_VERSION = 0x80000002; // newer than this code reads
    static constexpr std::uint32_t ERROR_CORRUPT = 0x80000003; // short, or sizes that do not agree

    // A glyph's texture coordinates, 0 to 1 across the texture.
    struct Glyph
    {
        float m_fLeft = 0.0f;
        float m_fTop = 0.0f;
        float m_fRight = 0.0f;
        float m_fBottom = 0.0f;
    };

    explicit NiFont(NiRenderer* pkRenderer);
    ~NiFont() override;

    // A new font loaded from the file, or null when it does not load.
    [[nodiscard]] static NiRefPtr<NiFont> Create(NiRenderer* pkRenderer, const char* pcFileName);

    // Reads the file and makes the texture; false leaves the error code.
    [[nodiscard]] bool Load(const char* pcFileName);

    // The glyph of a character, or null for one without a glyph (below the
    // space, from 0x80 on, or beyond the file's table).
    [[nodiscard]] const Glyph* GetGlyph(char cChar) const;
    // Width of the character's glyph and the font's line height, in texels.
    void GetCharExtent(char cChar, float& fWidth, float& fHeight) const;
    // Widest line and total height of a zero-terminated text; lines end at
    // line feeds.
    void GetTextExtent(const char* pcText, float& fWidth, float& fHeight) const;
    // The same for the first uiLength bytes (a text need not be terminated).
    void GetTextExtent(const char* pcText, std::uint32_t uiLength, float& fWidth, float& fHeight) const;
    // Height of the first glyph (the space) in texels; 0 without glyphs.
    [[nodiscard]] float GetLineHeight() const;

    [[nodiscard]] NiRenderer* GetRenderer() const;
    [[nodiscard]] NiSourceTexture* GetTexture() const;
    [[nodiscard]] NiPixelData* GetPixelData() const { return m_spPixelData; }
    [[nodiscard]] std::uint32_t GetHeight() const { return m_uiHeight; }
    [[nodiscard]] std::uint32_t GetCharHeight() const { return m_uiCharHeight; }
    [[nodiscard]] std::uint32_t GetFlags() const { return m_uiFlags; }
    [[nodiscard]] std::int32_t GetGlyphCount() const { return m_iGlyphCount; }
    [[nodiscard]] const std::vector<std::uint8_t>& GetCharTable() const { return m_kCharTable; }
    [[nodiscard]] std::uint32_t GetTextureWidth() const { return m_uiTextureWidth; }
    [[nodiscard]] std::uint32_t GetTextureHeight() const { return m_uiTextureHeight; }
    [[nodiscard]] float GetTextureScale() const { return m_fTextureScale; }
    [[nodiscard]] std::uint32_t GetLastError() const { return m_uiLastError; }

    virtual void AppendViewerStrings(NiViewerStringArray& kStrings);

private:
    [[nodiscard]] bool LoadBinary(NiByteStream& kFile);
    [[nodiscard]] bool LoadPixels(NiByteStream& kFile);
    [[nodiscard]] bool CreateTexture();

    NiRefPtr<NiRenderer> m_spRenderer;
    std::uint32_t m_uiHeight = 0;
    std::uint32_t m_uiCharHeight = 0;
    std::uint32_t m_uiFlags = 0;
    std::int32_t m_iGlyphCount = 0;
    std::vector<std::uint8_t> m_kCharTable;
    NiRefPtr<NiSourceTexture> m_spTexture;
    std::uint32_t m_uiTextureWidth = 0;
    std::uint32_t m_uiTextureHeight = 0;
    float m_fTextureScale = 0.0f;
    std::vector<Glyph> m_kGlyphs;
    std::uint32_t m_auiReserved[4] = {0, 0, 0, 0};
    std::uint32_t m_uiLastError = ERROR_NONE;
    // Held only until the texture is made from it.
    NiPixelDataPtr m_spPixelData;
};

using NiFontPtr = NiRefPtr<NiFont>;
