#include "framework/COrvaneFont.h"

#include "engine/core/NiColor.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/scene/NiScreenSpaceCamera.h"
#include "engine/scene/NiTexturingProperty.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneWidget.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace
{
std::uint32_t NextPowerOfTwo(std::uint32_t uiValue)
{
    std::uint32_t ui = 1;
    while (ui < uiValue && ui < 0x80000000u)
        ui <<= 1;
    return ui;
}

// The device takes textures only of power-of-two sides: a font image of
// other sides is copied into the top-left corner of the next larger one
// (the rest left zero, never sampled), so glyph texels keep their places
// and the screen rectangles, which divide by the texture's own size, find
// them.
NiPixelDataPtr OnPowerOfTwoCanvas(NiPixelData* pkImage)
{
    if (pkImage == nullptr || pkImage->GetPixels() == nullptr)
        return pkImage;
    const std::uint32_t uiWidth = pkImage->GetWidth();
    const std::uint32_t uiHeight = pkImage->GetHeight();
    const std::uint32_t uiStride = pkImage->GetPixelStride();
    const std::uint32_t uiCanvasWidth = NextPowerOfTwo(uiWidth);
    const std::uint32_t uiCanvasHeight = NextPowerOfTwo(uiHeight);
    if ((uiCanvasWidth == uiWidth && uiCanvasHeight == uiHeight) || uiStride == 0)
        return pkImage;
    NiPixelDataPtr spCanvas = new NiPixelData(uiCanvasWidth, uiCanvasHeight, pkImage->GetPixelFormat(), 1);
    if (spCanvas->GetPixels() == nullptr)
        return pkImage;
    const std::size_t uiRow = static_cast<std::size_t>(uiWidth) * uiStride;
    for (std::uint32_t uiY = 0; uiY < uiHeight; ++uiY)
        std::memcpy(spCanvas->GetPixels() + uiY * static_cast<std::size_t>(uiCanvasWidth) * uiStride,
                    pkImage->GetPixels() + uiY * uiRow, uiRow);
    return spCanvas;
}
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
} // namespace

// The font's drawing state: batches over the font texture, the image the
// glyphs were measured on, and the camera the batches draw with.
class COrvaneFontImpl
{
public:
    std::vector<NiRefPtr<NiScreenTexture>> m_kBatches;
    NiRefPtr<NiSourceTexture> m_spTexture;
    NiPixelDataPtr m_spPixels;
    NiScreenTexture* m_pkCurrent = nullptr;
    std::uint16_t m_usNextBatch = 0;
    NiCamera* m_pkCamera = nullptr;
    NiColorRGBA m_kColor = WHITE;
    std::uint32_t m_uiBatchOpen = 0;
    std::uint32_t m_uiCellHeight = 0;
};

COrvaneFont::COrvaneFont() = default;

COrvaneFont::~COrvaneFont()
{
    Destroy();
}

void COrvaneFont::Destroy()
{
    // The batches are only released: the camera may be gone by now.
    m_kTable.clear();
    m_kGlyphs.clear();
    m_pkImpl.reset();
    m_ucHighest = 0;
}

bool COrvaneFont::Create(const char* pcFontFile, COrvaneCamera* pkCamera)
{
    Destroy();
    m_pkImpl = std::make_unique<COrvaneFontImpl>();
    if (pkCamera != nullptr)
    {
        COrvaneSceneLink kLink;
        pkCamera->ProvideScene(kLink);
        m_pkImpl->m_pkCamera = kLink.m_pkScreenCamera;
    }
    if (pcFontFile == nullptr)
        return false;
    COrvaneFile kFile;
    if (kFile.Open(pcFontFile, COrvaneFile::MODE_READ) == 0)
        return false;
    std::string akLines[4];
    for (std::string& kLine : akLines)
        kFile.ReadLine(kLine);
    kFile.Close();

    const std::string kDescription(pcFontFile);
    const std::size_t uiSlash = kDescription.find_last_of('/');
    const std::string kImage =
        (uiSlash == std::string::npos ? std::string() : kDescription.substr(0, uiSlash + 1)) + akLines[1];
    const std::string& kChars = akLines[3];
    for (char c : kChars)
    {
        COrvaneGlyph kGlyph;
        kGlyph.m_ucChar = static_cast<std::uint8_t>(c);
        m_kGlyphs.push_back(kGlyph);
        m_ucHighest = std::max(m_ucHighest, kGlyph.m_ucChar);
    }

    if (NiImageConverter* pkConverter = NiImageConverter::GetCurrent())
    {
        NiPixelDataPtr spImage = pkConverter->ReadImageFile(kImage.c_str(), nullptr);
        if (spImage != nullptr && spImage->GetPixels() != nullptr && spImage->GetPixelFormat() != NiPixelFormat::RGB24 &&
            spImage->GetPixelFormat() != NiPixelFormat::RGBA32)
        {
            // Cells are found on three colour bytes a pixel.
            spImage = pkConverter->ConvertPixelData(*spImage, NiPixelFormat::RGBA32, nullptr, false);
        }
        if (spImage != nullptr && spImage->GetPixels() != nullptr)
            m_pkImpl->m_spPixels = spImage;
    }
    MeasureGlyphs();

    m_kTable.resize(m_kGlyphs.empty() ? 0 : static_cast<std::size_t>(m_ucHighest) + 1);
    for (const COrvaneGlyph& kGlyph : m_kGlyphs)
    {
        // The first cell of a character listed twice wins.
        if (!m_kTable[kGlyph.m_ucChar])
            m_kTable[kGlyph.m_ucChar] = std::make_unique<COrvaneGlyph>(kGlyph);
    }
    return true;
}

void COrvaneFont::MeasureGlyphs()
{
    const NiPixelData* pkImage = m_pkImpl->m_spPixels;
    if (pkImage == nullptr)
        return;
    const std::uint32_t uiWidth = pkImage->GetWidth();
    const std::uint32_t uiHeight = pkImage->GetHeight();
    const std::uint32_t uiStride = pkImage->GetPixelStride();
    const std::uint8_t* pucPixels = pkImage->GetPixels();
    auto Pixel = [&](std::uint32_t uiX, std::uint32_t uiY) {
        return pucPixels + (static_cast<std::size_t>(uiY) * uiWidth + uiX) * uiStride;
    };
    const std::uint8_t* pucKey = Pixel(0, 0);
    auto IsKey = [&](std::uint32_t uiX, std::uint32_t uiY) {
        const std::uint8_t* puc = Pixel(uiX, uiY);
        return puc[0] == pucKey[0] && puc[1] == pucKey[1] && puc[2] == pucKey[2];
    };

    std::uint32_t uiRow = 1;
    while (uiRow < uiHeight && !IsKey(0, uiRow))
        ++uiRow;
    if (uiRow >= uiHeight)
    {
        // No second separator row: no cells to find, as without an image.
        m_pkImpl->m_spPixels = nullptr;
        return;
    }
    // Cell heights are kept in one byte.
    const std::uint32_t uiCell = static_cast<std::uint8_t>(uiRow - 1);
    m_pkImpl->m_uiCellHeight = uiCell;

    std::size_t uiNext = 0;
    for (std::uint32_t uiSeparator = 0; uiSeparator + uiCell < uiHeight && uiNext < m_kGlyphs.size();
         uiSeparator += uiCell + 1)
    {
        bool bMarker = false;
        std::uint32_t uiStart = 1;
        for (std::uint32_t uiX = 1; uiX < uiWidth && uiNext < m_kGlyphs.size(); ++uiX)
        {
            if (!IsKey(uiX, uiSeparator))
                continue;
            bMarker = true;
            COrvaneGlyph& kGlyph = m_kGlyphs[uiNext++];
            kGlyph.m_uiX = uiStart;
            kGlyph.m_uiY = uiSeparator + 1;
            // A marker closer than two columns to the cell start: an empty cell.
            kGlyph.m_uiWidth = uiX >= uiStart + 2 ? uiX - uiStart - 2 : 0;
            kGlyph.m_uiHeight = uiCell;
            uiStart = uiX + 1;
        }
        if (!bMarker)
            break;
    }
    NiPixelDataPtr spCanvas = OnPowerOfTwoCanvas(m_pkImpl->m_spPixels);
    m_pkImpl->m_spTexture = NiSourceTexture::CreateFromPixelData(spCanvas, NiTexture::FormatPrefs{});
}

const COrvaneGlyph* COrvaneFont::GetGlyph(std::uint8_t ucChar) const
{
    return ucChar < m_kTable.size() ? m_kTable[ucChar].get() : nullptr;
}

std::uint32_t COrvaneFont::GetCellHeight() const
{
    return m_pkImpl ? m_pkImpl->m_uiCellHeight : 0;
}

NiSourceTexture* COrvaneFont::GetTexture() const
{
    return m_pkImpl ? m_pkImpl->m_spTexture.Get() : nullptr;
}

std::uint32_t COrvaneFont::GetBatchCount() const
{
    return m_pkImpl ? static_cast<std::uint32_t>(m_pkImpl->m_kBatches.size()) : 0;
}

NiScreenTexture* COrvaneFont::GetBatch(std::uint32_t uiIndex) const
{
    return m_pkImpl && uiIndex < m_pkImpl->m_kBatches.size() ? m_pkImpl->m_kBatches[uiIndex].Get() : nullptr;
}

std::uint32_t COrvaneFont::GetTextWidth(const char* pcText) const
{
    std::uint32_t uiWidth = 0;
    for (const char* pc = pcText; pc != nullptr && *pc != '\0'; ++pc)
    {
        if (const COrvaneGlyph* pkGlyph = GetGlyph(static_cast<std::uint8_t>(*pc)))
            uiWidth += pkGlyph->m_uiWidth;
    }
    return uiWidth;
}

void COrvaneFont::SetColor(float fRed, float fGreen, float fBlue, float fAlpha)
{
    if (m_pkImpl)
        m_pkImpl->m_kColor = NiColorRGBA(fRed, fGreen, fBlue, fAlpha);
}

void COrvaneFont::BeginBatch()
{
    if (!m_pkImpl)
        return;
    COrvaneFontImpl& kImpl = *m_pkImpl;
    if (kImpl.m_usNextBatch >= kImpl.m_kBatches.size())
    {
        NiRefPtr<NiScreenTexture> spBatch = new NiScreenTexture(kImpl.m_spTexture);
        if (NiTexturingProperty* pkTexturing = spBatch->GetTexturingProperty())
            pkTexturing->SetApplyMode(2);
        kImpl.m_kBatches.push_back(spBatch);
    }
    kImpl.m_pkCurrent = kImpl.m_kBatches[kImpl.m_usNextBatch];
    kImpl.m_uiBatchOpen = 1;
}

void COrvaneFont::DrawText(float fX, float fY, const char* pcText)
{
    if (!m_pkImpl || m_pkImpl->m_uiBatchOpen == 0 || pcText == nullptr)
        return;
    NiScreenTexture* pkBatch = m_pkImpl->m_pkCurrent;
    const bool bTinted = m_pkImpl->m_kColor != WHITE;
    for (const char* pc = pcText; *pc != '\0'; ++pc)
    {
        const COrvaneGlyph* pkGlyph = GetGlyph(static_cast<std::uint8_t>(*pc));
        if (pkGlyph == nullptr)
            continue;
        const std::uint32_t uiRect = pkBatch->AddScreenRect(
            static_cast<std::int16_t>(fY), static_cast<std::int16_t>(fX), static_cast<std::uint16_t>(pkGlyph->m_uiWidth),
            static_cast<std::uint16_t>(pkGlyph->m_uiHeight), static_cast<std::uint16_t>(pkGlyph->m_uiY),
            static_cast<std::uint16_t>(pkGlyph->m_uiX), WHITE);
        if (bTinted)
        {
            pkBatch->GetScreenRect(uiRect).m_kColor = m_pkImpl->m_kColor;
            pkBatch->MarkAsChanged(NiScreenTexture::COLOR_MASK);
        }
        fX += static_cast<float>(pkGlyph->m_uiWidth);
    }
}

void COrvaneFont::DrawText(std::int32_t iX, std::int32_t iY, const char* pcText)
{
    DrawText(static_cast<float>(iX), static_cast<float>(iY), pcText);
}

float COrvaneFont::LineHeight() const
{
    // The height of 'A', or the cell height for a font without it.
    const COrvaneGlyph* pkA = GetGlyph('A');
    return static_cast<float>(pkA != nullptr ? pkA->m_uiHeight : GetCellHeight());
}

std::int32_t COrvaneFont::DrawTextWrapped(const COrvaneWidgetRect& kRect, const char* pcText)
{
    if (pcText == nullptr)
        return 0;
    std::string kText(pcText);
    std::int32_t iLines = 1;
    float fRunX = kRect.m_fX;
    std::size_t uiBreak = std::string::npos;
    for (std::size_t i = 0; i < kText.size(); ++i)
    {
        const char c = kText[i];
        if (c == ' ' || c == '\n')
            uiBreak = i;
        if (c == '\n')
        {
            ++iLines;
            fRunX = kRect.m_fX;
            uiBreak = std::string::npos;
            continue;
        }
        const COrvaneGlyph* pkGlyph = GetGlyph(static_cast<std::uint8_t>(c));
        const float fAdvance = pkGlyph != nullptr ? static_cast<float>(pkGlyph->m_uiWidth) : 0.0f;
        if (fRunX + fAdvance > kRect.m_fX + kRect.m_fWidth && uiBreak != std::string::npos)
        {
            kText[uiBreak] = '\n';
            ++iLines;
            fRunX = kRect.m_fX;
            // A used break is gone: a long word after it keeps its own line.
            uiBreak = std::string::npos;
        }
        fRunX += fAdvance;
    }

    const float fLineHeight = LineHeight();
    float fY = kRect.m_fY;
    std::size_t uiStart = 0;
    while (uiStart <= kText.size())
    {
        std::size_t uiEnd = kText.find('\n', uiStart);
        if (uiEnd == std::string::npos)
            uiEnd = kText.size();
        DrawText(kRect.m_fX, fY, kText.substr(uiStart, uiEnd - uiStart).c_str());
        fY += fLineHeight;
        uiStart = uiEnd + 1;
    }
    return iLines;
}

void COrvaneFont::Flush()
{
    if (!m_pkImpl || m_pkImpl->m_uiBatchOpen == 0)
        return;
    NiRenderer* pkRenderer = m_pkImpl->m_pkCamera != nullptr ? m_pkImpl->m_pkCamera->GetRenderer() : nullptr;
    // A batch is filled afresh every frame, often with other text than it
    // held before: the renderer must not draw the rectangles it packed last.
    m_pkImpl->m_pkCurrent->MarkAsChanged(NiScreenTexture::EVERYTHING_MASK);
    m_pkImpl->m_pkCurrent->Draw(pkRenderer);
    m_pkImpl->m_kColor = WHITE;
    ++m_pkImpl->m_usNextBatch;
    m_pkImpl->m_uiBatchOpen = 0;
}

void COrvaneFont::ResetBatches()
{
    if (!m_pkImpl)
        return;
    for (NiRefPtr<NiScreenTexture>& spBatch : m_pkImpl->m_kBatches)
    {
        if (m_pkImpl->m_pkCamera != nullptr)
            m_pkImpl->m_pkCamera->RemoveScreenTexture(spBatch);
        spBatch->RemoveAllScreenRects();
    }
    m_pkImpl->m_usNextBatch = 0;
    m_pkImpl->m_pkCurrent = nullptr;
    m_pkImpl->m_uiBatchOpen = 0;
}
