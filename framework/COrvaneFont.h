#pragma once

#include <cstdint>
#include <memory>
#include <vector>

class COrvaneCamera;
class COrvaneFontImpl;
class NiScreenTexture;
class NiSourceTexture;
struct COrvaneWidgetRect;

// One glyph's cell in the font image, in texels; the width is also the
// advance.
struct COrvaneGlyph
{
    std::uint8_t m_ucChar = 0;
    std::uint32_t m_uiX = 0;
    std::uint32_t m_uiY = 0;
    std::uint32_t m_uiWidth = 0;
    std::uint32_t m_uiHeight = 0;
};

// A bitmap font read from a description file and an image whose glyph
// cells are marked by pixels of a key colour; strings are drawn as
// rectangles on a few reused screen textures.
class COrvaneFont
{
public:
    COrvaneFont();
    ~COrvaneFont();
    COrvaneFont(const COrvaneFont&) = delete;
    COrvaneFont& operator=(const COrvaneFont&) = delete;

    // Reads the description (line 2: the image, relative to the
    // description's folder; line 4: the characters in cell order), measures
    // the cells and binds the batches to the camera's screen camera. False
    // when the description cannot be read; a missing or unreadable image
    // leaves every glyph empty.
    bool Create(const char* pcFontFile, COrvaneCamera* pkCamera);
    void Destroy();

    // The sum of the glyph widths; characters without a glyph add nothing.
    [[nodiscard]] std::uint32_t GetTextWidth(const char* pcText) const;
    void SetColor(float fRed, float fGreen, float fBlue, float fAlpha);
    void BeginBatch();
    // One line at (x, y), only while a batch is open.
    void DrawText(float fX, float fY, const char* pcText);
    void DrawText(std::int32_t iX, std::int32_t iY, const char* pcText);
    // Word-wrapped inside the rectangle's width; the number of lines.
    std::int32_t DrawTextWrapped(const COrvaneWidgetRect& kRect, const char* pcText);
    // Draws the open batch, white again, on to the next batch.
    void Flush();
    // Every batch detached from the camera and emptied; batch 0 next.
    void ResetBatches();

    [[nodiscard]] const COrvaneGlyph* GetGlyph(std::uint8_t ucChar) const;
    [[nodiscard]] const std::vector<COrvaneGlyph>& GetGlyphs() const { return m_kGlyphs; }
    [[nodiscard]] std::uint8_t GetHighestCode() const { return m_ucHighest; }
    [[nodiscard]] std::uint32_t GetCellHeight() const;
    [[nodiscard]] NiSourceTexture* GetTexture() const;
    [[nodiscard]] std::uint32_t GetBatchCount() const;
    [[nodiscard]] NiScreenTexture* GetBatch(std::uint32_t uiIndex) const;

private:
    void MeasureGlyphs();
    [[nodiscard]] float LineHeight() const;

    std::unique_ptr<COrvaneFontImpl> m_pkImpl;
    std::vector<COrvaneGlyph> m_kGlyphs;
    std::vector<std::unique_ptr<COrvaneGlyph>> m_kTable;
    std::uint8_t m_ucHighest = 0;
};
