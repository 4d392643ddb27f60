#include "engine/render/image/NiFontString.h"

#include "engine/render/NiSourceTexture.h"
#include "engine/scene/NiTexturingProperty.h"

#include <algorithm>
#include <cstring>

NiImplementRootTypeInfo(NiFontString)

namespace
{
// Glyph rectangles come from the font file: a NaN or out-of-range texel
// value must not reach a float-to-integer conversion.
std::uint16_t ToU16(float f)
{
    if (!(f > 0.0f))
        return 0;
    return f >= 65535.0f ? std::uint16_t{65535} : static_cast<std::uint16_t>(f);
}

std::int32_t ToI32(float f)
{
    if (!(f > -32768.0f))
        return f < 0.0f ? -32768 : 0;
    return f >= 32767.0f ? 32767 : static_cast<std::int32_t>(f);
}
} // namespace

NiFontString::NiFontString(NiFont* pkFont, std::uint32_t uiFlags, std::uint32_t uiMaxStringLen, const char* pcString,
                           const NiColorRGBA& kColor)
    : m_spFont(pkFont), m_uiMaxStringLen(uiMaxStringLen), m_kColor(kColor)
{
    SetText(pcString, uiFlags);
}

NiFontString::NiFontString(NiFont* pkFont, std::uint32_t uiFlags, std::uint32_t uiMaxStringLen, const char* pcString,
                           const NiColorRGBA& kColor, std::int16_t sX, std::int16_t sY)
    : NiFontString(pkFont, uiFlags, uiMaxStringLen, pcString, kColor)
{
    SetPosition(sX, sY);
    PrepareScreenTexture();
}

NiFontString::~NiFontString()
{
    m_spScreenTexture.Clear();
    delete[] m_pcString;
    m_pcString = nullptr;
    m_spFont.Clear();
}

void NiFontString::SetText(const char* pcText, std::uint32_t uiFlags)
{
    if (uiFlags != KEEP_FLAGS)
        m_uiFlags = uiFlags;

    if (pcText == nullptr)
    {
        delete[] m_pcString;
        m_pcString = nullptr;
        m_uiStringLen = 0;
        m_uiLines = 0;
        m_fWidth = 0.0f;
        m_fHeight = 0.0f;
        m_bModified = true;
        return;
    }

    const std::size_t uiChars = std::strlen(pcText);
    const auto uiNeeded = static_cast<std::uint32_t>(uiChars + 1);
    if (m_pcString != nullptr)
    {
        if (std::strcmp(m_pcString, pcText) == 0)
            return;
        if (m_uiMaxStringLen > uiNeeded)
        {
            std::memcpy(m_pcString, pcText, uiNeeded);
            m_uiStringLen = uiNeeded;
            m_bModified = true;
            ComputeTextExtent();
            return;
        }
        delete[] m_pcString;
        m_pcString = nullptr;
        m_uiMaxStringLen = uiNeeded + 1;
    }
    m_uiStringLen = uiNeeded;
    m_uiMaxStringLen = std::max(m_uiMaxStringLen, uiNeeded);
    m_pcString = new char[m_uiMaxStringLen];
    std::memcpy(m_pcString, pcText, uiNeeded);
    m_bModified = true;
    ComputeTextExtent();
}

void NiFontString::ComputeTextExtent()
{
    if (m_pcString == nullptr)
        return;
    const char* pcEnd = m_pcString + std::strlen(m_pcString);
    m_uiLines = 1 + static_cast<std::uint32_t>(std::count(static_cast<const char*>(m_pcString), pcEnd, '\n'));
    if (m_spFont == nullptr)
    {
        m_fWidth = 0.0f;
        m_fHeight = 0.0f;
        return;
    }
    if (m_uiLines == 1)
    {
        m_spFont->GetTextExtent(m_pcString, m_fWidth, m_fHeight);
        return;
    }

    // Each line is measured where it stands, by its length, so a line of any
    // length is measured whole; the height counts the font's character
    // height per line, whatever one line measures.
    m_fWidth = 0.0f;
    m_fHeight = 0.0f;
    const char* pcLine = m_pcString;
    for (;;)
    {
        const char* pcStop = std::find(pcLine, pcEnd, '\n');
        float fLineWidth = 0.0f;
        float fLineHeight = 0.0f;
        m_spFont->GetTextExtent(pcLine, static_cast<std::uint32_t>(pcStop - pcLine), fLineWidth, fLineHeight);
        m_fWidth = std::max(m_fWidth, fLineWidth);
        m_fHeight += static_cast<float>(m_spFont->GetCharHeight());
        if (pcStop == pcEnd)
            break;
        pcLine = pcStop + 1;
    }
}

// ---- On the screen ----

void NiFontString::SetPosition(std::int16_t sX, std::int16_t sY)
{
    if (sX == m_sX && sY == m_sY)
        return;
    m_sX = sX;
    m_sY = sY;
    m_bModified = true;
}

void NiFontString::Draw(NiRenderer* pkRenderer)
{
    if (!HasText())
    {
        m_spScreenTexture = nullptr;
        return;
    }
    if (m_spScreenTexture == nullptr)
        PrepareScreenTexture();
    else if (m_bModified)
        RebuildScreenRects();
    if (m_spScreenTexture != nullptr)
        m_spScreenTexture->Draw(pkRenderer);
}

void NiFontString::PrepareScreenTexture()
{
    if (!HasText())
    {
        m_spScreenTexture = nullptr;
        return;
    }
    m_spScreenTexture = new NiScreenTexture(m_spFont->GetTexture());
    // Modulate: the rectangles' colour tints the glyphs.
    if (NiTexturingProperty* pkTexturing = m_spScreenTexture->GetTexturingProperty())
        pkTexturing->SetApplyMode(2);
    RebuildScreenRects();
}

void NiFontString::RebuildScreenRects()
{
    if (!m_bModified || m_spScreenTexture == nullptr || !HasText())
        return;
    m_spScreenTexture->RemoveAllScreenRects();
    const NiColorRGBA kColor = (m_uiFlags & COLORED) ? m_kColor : NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f);
    const float fLine = m_spFont->GetLineHeight();
    const auto fTexWidth = static_cast<float>(m_spFont->GetTextureWidth());
    const auto fTexHeight = static_cast<float>(m_spFont->GetTextureHeight());
    const std::uint16_t usLine = ToU16(fLine);

    std::int16_t sX = m_sX;
    std::int16_t sY = m_sY;
    if (m_uiFlags & CENTERED)
    {
        sX = static_cast<std::int16_t>(sX - ToI32(m_fWidth) / 2);
        sY = static_cast<std::int16_t>(sY - ToI32(fLine * static_cast<float>(m_uiLines) / 2.0f));
    }
    const std::int16_t sStartX = sX;
    for (std::uint32_t i = 0; i < m_uiStringLen && m_pcString[i] != '\0'; ++i)
    {
        const char c = m_pcString[i];
        if (c == '\n')
        {
            sX = sStartX;
            sY = static_cast<std::int16_t>(sY + usLine);
            continue;
        }
        // Characters without a glyph (controls other than the line feed,
        // bytes from 0x80, or past the font's table) take no room, as when
        // the text is measured.
        const NiFont::Glyph* pkGlyph = m_spFont->GetGlyph(c);
        if (pkGlyph == nullptr)
            continue;
        const std::uint16_t usWidth = ToU16((pkGlyph->m_fRight - pkGlyph->m_fLeft) * fTexWidth);
        const std::uint16_t usTexTop = ToU16(pkGlyph->m_fTop * fTexHeight);
        const std::uint16_t usTexLeft = ToU16(pkGlyph->m_fLeft * fTexWidth);
        m_spScreenTexture->AddScreenRect(sY, sX, usWidth, usLine, usTexTop, usTexLeft, kColor);
        sX = static_cast<std::int16_t>(sX + usWidth);
    }
    m_spScreenTexture->MarkAsChanged(NiScreenTexture::EVERYTHING_MASK);
    m_bModified = false;
}
