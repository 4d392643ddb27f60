#include "engine/render/image/NiFont.h"

#include "engine/core/NiByteStream.h"
#include "engine/core/NiEndian.h"
#include "engine/core/NiFile.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/NiSourceTexture.h"
#include "engine/render/image/NiPixelFormat.h"

#include <algorithm>
#include <cstring>

NiImplementRootTypeInfo(NiFont)

namespace
{
// Reads the font file's fields in order. Nothing is sized from a count
// before the bytes behind it have arrived: tables are read in chunks, so a
// damaged count runs into the end of the file instead of into the heap.
class FontCursor
{
public:
    explicit FontCursor(NiByteStream& kFile) : m_kFile(kFile) {}

    bool U32(std::uint32_t& ui) { return NiReadLE(m_kFile, ui); }
    bool I32(std::int32_t& i) { return NiReadLE(m_kFile, i); }
    bool F32(float& f) { return NiReadLE(m_kFile, f); }

    bool Bytes(std::vector<std::uint8_t>& kOut, std::uint64_t uiBytes)
    {
        constexpr std::uint64_t CHUNK = 65536;
        kOut.clear();
        while (kOut.size() < uiBytes)
        {
            const std::size_t uiOld = kOut.size();
            const std::uint32_t uiAsk = static_cast<std::uint32_t>(std::min<std::uint64_t>(CHUNK, uiBytes - uiOld));
            kOut.resize(uiOld + uiAsk);
            if (m_kFile.Read(kOut.data() + uiOld, uiAsk) != uiAsk)
            {
                kOut.clear();
                return false;
            }
        }
        return true;
    }

    bool Skip(std::uint32_t uiBytes)
    {
        std::vector<std::uint8_t> kDropped;
        return Bytes(kDropped, uiBytes);
    }

private:
    NiByteStream& m_kFile;
};

// The pixel block's a x b x c bits must be exactly the 32-bit image the
// header names; checked without overflow for any three 32-bit values.
bool PixelBitsMatch(std::uint32_t uiA, std::uint32_t uiB, std::uint32_t uiC, std::uint64_t uiImageBytes)
{
    const std::uint64_t uiBits = uiImageBytes * 8;
    if (uiA == 0 || uiB == 0 || uiC == 0)
        return false;
    const std::uint64_t uiAB = static_cast<std::uint64_t>(uiA) * uiB; // fits: both below 2^32
    if (uiAB > uiBits || uiBits % uiAB != 0)
        return false;
    return uiBits / uiAB == uiC;
}
} // namespace

NiFont::NiFont(NiRenderer* pkRenderer) : m_spRenderer(pkRenderer) {}

NiFont::~NiFont()
{
    m_kCharTable.clear();
    m_kGlyphs.clear();
    m_spPixelData.Clear();
    m_spTexture.Clear();
    m_spRenderer.Clear();
}

NiRefPtr<NiFont> NiFont::Create(NiRenderer* pkRenderer, const char* pcFileName)
{
    NiRefPtr<NiFont> spFont = new NiFont(pkRenderer);
    if (!spFont->Load(pcFileName))
        return nullptr;
    return spFont;
}

NiRenderer* NiFont::GetRenderer() const
{
    return m_spRenderer;
}

NiSourceTexture* NiFont::GetTexture() const
{
    return m_spTexture;
}

bool NiFont::Load(const char* pcFileName)
{
    std::unique_ptr<NiByteStream> spFile;
    if (pcFileName != nullptr && *pcFileName != '\0')
        spFile = NiOpenFile(pcFileName, 0, FILE_BUFFER_SIZE);
    if (spFile == nullptr || !spFile->IsGood())
    {
        m_uiLastError = ERROR_OPEN;
        return false;
    }
    if (!LoadBinary(*spFile) || !LoadPixels(*spFile))
        return false;
    return CreateTexture();
}

bool NiFont::LoadBinary(NiByteStream& kFile)
{
    FontCursor kIn(kFile);
    std::uint32_t uiMagic = 0;
    if (!kIn.U32(uiMagic) || uiMagic != MAGIC)
    {
        m_uiLastError = ERROR_OPEN;
        return false;
    }
    std::uint32_t uiVersion = 0;
    if (!kIn.U32(uiVersion))
    {
        m_uiLastError = ERROR_CORRUPT;
        return false;
    }
    if (uiVersion > CURRENT_VERSION)
    {
        m_uiLastError = ERROR_VERSION;
        return false;
    }

    m_uiLastError = ERROR_CORRUPT; // until every field has arrived
    if (uiVersion == 0 && !kIn.Skip(VERSION0_SKIP))
        return false;
    std::int32_t iCount = 0;
    if (!kIn.U32(m_uiHeight) || !kIn.U32(m_uiCharHeight) || !kIn.U32(m_uiFlags) || !kIn.I32(iCount) || iCount < 0)
        return false;
    std::vector<std::uint8_t> kChars;
    if (!kIn.Bytes(kChars, static_cast<std::uint32_t>(iCount)))
        return false;
    std::uint32_t uiWidth = 0;
    std::uint32_t uiHeight = 0;
    float fScale = 0.0f;
    if (!kIn.U32(uiWidth) || !kIn.U32(uiHeight) || !kIn.F32(fScale))
        return false;
    std::vector<std::uint8_t> kGlyphBytes;
    if (!kIn.Bytes(kGlyphBytes, static_cast<std::uint64_t>(iCount) * 16))
        return false;
    std::uint32_t auiReserved[4] = {};
    for (std::uint32_t& ui : auiReserved)
    {
        if (!kIn.U32(ui))
            return false;
    }

    m_iGlyphCount = iCount;
    m_kCharTable = std::move(kChars);
    m_uiTextureWidth = uiWidth;
    m_uiTextureHeight = uiHeight;
    m_fTextureScale = fScale;
    m_kGlyphs.assign(static_cast<std::size_t>(iCount), Glyph{});
    for (std::size_t i = 0; i < m_kGlyphs.size(); ++i)
    {
        const std::uint8_t* puc = kGlyphBytes.data() + i * 16;
        m_kGlyphs[i].m_fLeft = NiBitsFloat(NiGetLE32(puc));
        m_kGlyphs[i].m_fTop = NiBitsFloat(NiGetLE32(puc + 4));
        m_kGlyphs[i].m_fRight = NiBitsFloat(NiGetLE32(puc + 8));
        m_kGlyphs[i].m_fBottom = NiBitsFloat(NiGetLE32(puc + 12));
    }
    std::copy(std::begin(auiReserved), std::end(auiReserved), m_auiReserved);
    m_uiLastError = ERROR_NONE;
    return true;
}

bool NiFont::LoadPixels(NiByteStream& kFile)
{
    FontCursor kIn(kFile);
    m_uiLastError = ERROR_CORRUPT;
    std::uint32_t uiA = 0;
    std::uint32_t uiB = 0;
    std::uint32_t uiC = 0;
    if (!kIn.U32(uiA) || !kIn.U32(uiB) || !kIn.U32(uiC))
        return false;
    if (m_uiTextureWidth == 0 || m_uiTextureHeight == 0 || m_uiTextureWidth > MAX_TEXTURE_SIDE ||
        m_uiTextureHeight > MAX_TEXTURE_SIDE)
        return false;
    const std::uint64_t uiImageBytes = static_cast<std::uint64_t>(m_uiTextureWidth) * m_uiTextureHeight * 4;
    if (!PixelBitsMatch(uiA, uiB, uiC, uiImageBytes))
        return false;
    std::vector<std::uint8_t> kPixels;
    if (!kIn.Bytes(kPixels, uiImageBytes))
        return false;
    NiPixelDataPtr spImage = new NiPixelData(m_uiTextureWidth, m_uiTextureHeight, NiPixelFormat::RGBA32, 1);
    if (spImage->GetPixels() == nullptr || spImage->GetSizeInBytes(0) != uiImageBytes)
        return false;
    std::memcpy(spImage->GetPixels(0), kPixels.data(), kPixels.size());
    m_spPixelData = spImage;
    m_uiLastError = ERROR_NONE;
    return true;
}

bool NiFont::CreateTexture()
{
    NiTexture::FormatPrefs kPrefs;
    kPrefs.m_ePixelLayout = NiTexture::FormatPrefs::PIX_DEFAULT;
    kPrefs.m_eMipMapped = NiTexture::FormatPrefs::MIP_DEFAULT;
    kPrefs.m_eAlphaFmt = NiTexture::FormatPrefs::ALPHA_DEFAULT;
    m_spTexture = NiSourceTexture::CreateFromPixelData(m_spPixelData, kPrefs);
    m_spPixelData.Clear();
    // A renderer that refuses the texture leaves a font that cannot draw.
    return m_spTexture != nullptr;
}

const NiFont::Glyph* NiFont::GetGlyph(char cChar) const
{
    const auto ucChar = static_cast<unsigned char>(cChar);
    if (ucChar < 0x20 || ucChar >= 0x80)
        return nullptr;
    const std::size_t uiIndex = ucChar - 0x20u;
    return uiIndex < m_kGlyphs.size() ? &m_kGlyphs[uiIndex] : nullptr;
}

float NiFont::GetLineHeight() const
{
    if (m_kGlyphs.empty())
        return 0.0f;
    return (m_kGlyphs[0].m_fBottom - m_kGlyphs[0].m_fTop) * static_cast<float>(m_uiTextureHeight);
}

void NiFont::GetCharExtent(char cChar, float& fWidth, float& fHeight) const
{
    const Glyph* pkGlyph = GetGlyph(cChar);
    fWidth = pkGlyph ? (pkGlyph->m_fRight - pkGlyph->m_fLeft) * static_cast<float>(m_uiTextureWidth) : 0.0f;
    fHeight = GetLineHeight();
}

void NiFont::GetTextExtent(const char* pcText, float& fWidth, float& fHeight) const
{
    GetTextExtent(pcText, pcText ? static_cast<std::uint32_t>(std::strlen(pcText)) : 0, fWidth, fHeight);
}

void NiFont::GetTextExtent(const char* pcText, std::uint32_t uiLength, float& fWidth, float& fHeight) const
{
    const float fLine = GetLineHeight();
    fWidth = 0.0f;
    fHeight = fLine;
    float fRun = 0.0f;
    for (std::uint32_t i = 0; pcText != nullptr && i < uiLength; ++i)
    {
        if (pcText[i] == '\n')
        {
            fHeight += fLine;
            fRun = 0.0f;
            continue;
        }
        if (const Glyph* pkGlyph = GetGlyph(pcText[i]))
        {
            fRun += (pkGlyph->m_fRight - pkGlyph->m_fLeft) * static_cast<float>(m_uiTextureWidth);
            fWidth = std::max(fWidth, fRun);
        }
    }
}

void NiFont::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    kStrings.AddTail(NiViewerHeader(NiFont::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiHeight", m_uiHeight));
    kStrings.AddTail(NiViewerUInt("m_uiCharHeight", m_uiCharHeight));
    kStrings.AddTail(NiViewerUInt("m_uiFlags", m_uiFlags));
    kStrings.AddTail(NiViewerInt("m_iGlyphCount", m_iGlyphCount));
    kStrings.AddTail(NiViewerUInt("m_uiTextureWidth", m_uiTextureWidth));
    kStrings.AddTail(NiViewerUInt("m_uiTextureHeight", m_uiTextureHeight));
    kStrings.AddTail(NiViewerFloat("m_fTextureScale", m_fTextureScale));
}
