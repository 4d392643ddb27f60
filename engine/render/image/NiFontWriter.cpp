#include "engine/render/image/NiFontWriter.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiFile.h"

#include <algorithm>
#include <bit>

namespace
{
void PutU32(std::vector<std::uint8_t>& k, std::uint32_t ui)
{
    std::uint8_t auc[4];
    NiPutLE32(auc, ui);
    k.insert(k.end(), auc, auc + 4);
}

void PutF32(std::vector<std::uint8_t>& k, float f)
{
    PutU32(k, NiFloatBits(f));
}
} // namespace

NiFontWriter NiFontWriter::MakeGrid(std::uint32_t uiChars, std::uint32_t uiGlyphWidth, std::uint32_t uiGlyphHeight)
{
    NiFontWriter kFont;
    kFont.m_uiHeight = uiGlyphHeight;
    kFont.m_uiCharHeight = uiGlyphHeight;
    // Power-of-two sides: the renderer replaces any other texture size.
    kFont.m_uiTextureWidth = std::bit_ceil(std::max(uiChars * uiGlyphWidth, 1u));
    kFont.m_uiTextureHeight = std::bit_ceil(std::max(uiGlyphHeight, 1u));
    const auto fWidth = static_cast<float>(kFont.m_uiTextureWidth);
    for (std::uint32_t i = 0; i < uiChars; ++i)
    {
        NiFont::Glyph kGlyph;
        kGlyph.m_fLeft = static_cast<float>(i * uiGlyphWidth) / fWidth;
        kGlyph.m_fRight = static_cast<float>((i + 1) * uiGlyphWidth) / fWidth;
        kGlyph.m_fTop = 0.0f;
        kGlyph.m_fBottom = static_cast<float>(uiGlyphHeight) / static_cast<float>(kFont.m_uiTextureHeight);
        kFont.m_kGlyphs.push_back(kGlyph);
    }
    kFont.m_kPixels.assign(static_cast<std::size_t>(kFont.m_uiTextureWidth) * kFont.m_uiTextureHeight * 4, 0xFF);
    return kFont;
}

std::vector<std::uint8_t> NiFontWriter::ToBytes() const
{
    std::vector<std::uint8_t> k;
    PutU32(k, NiFont::MAGIC);
    PutU32(k, m_uiVersion);
    if (m_uiVersion == 0)
        k.insert(k.end(), NiFont::VERSION0_SKIP, 0);
    PutU32(k, m_uiHeight);
    PutU32(k, m_uiCharHeight);
    PutU32(k, m_uiFlags);
    const auto iCount = m_bOverrideGlyphCount ? m_iGlyphCount : static_cast<std::int32_t>(m_kGlyphs.size());
    PutU32(k, static_cast<std::uint32_t>(iCount));
    // The character table names each glyph's character.
    for (std::size_t i = 0; i < m_kGlyphs.size(); ++i)
        k.push_back(static_cast<std::uint8_t>(0x20 + i));
    PutU32(k, m_uiTextureWidth);
    PutU32(k, m_uiTextureHeight);
    PutF32(k, m_fTextureScale);
    for (const NiFont::Glyph& kGlyph : m_kGlyphs)
    {
        PutF32(k, kGlyph.m_fLeft);
        PutF32(k, kGlyph.m_fTop);
        PutF32(k, kGlyph.m_fRight);
        PutF32(k, kGlyph.m_fBottom);
    }
    for (std::uint32_t ui : m_auiReserved)
        PutU32(k, ui);
    const bool bDefaultSize = m_auiPixelSize[0] == 0 && m_auiPixelSize[1] == 0 && m_auiPixelSize[2] == 0;
    PutU32(k, bDefaultSize ? m_uiTextureWidth : m_auiPixelSize[0]);
    PutU32(k, bDefaultSize ? m_uiTextureHeight : m_auiPixelSize[1]);
    PutU32(k, bDefaultSize ? 32 : m_auiPixelSize[2]);
    k.insert(k.end(), m_kPixels.begin(), m_kPixels.end());
    return k;
}

bool NiFontWriter::WriteFile(const char* pcPath) const
{
    std::unique_ptr<NiByteStream> spFile = NiOpenFile(pcPath, 1, 0);
    if (spFile == nullptr || !spFile->IsGood())
        return false;
    const std::vector<std::uint8_t> kBytes = ToBytes();
    return spFile->Write(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())) == kBytes.size();
}
