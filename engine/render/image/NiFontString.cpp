#include "engine/render/image/NiFontString.h"

#include <algorithm>
#include <cstring>

NiImplementRootTypeInfo(NiFontString)

NiFontString::NiFontString(NiFont* pkFont, std::uint32_t uiFlags, std::uint32_t uiMaxStringLen, const char* pcString,
                           const NiColorRGBA& kColor)
    : m_spFont(pkFont), m_uiMaxStringLen(uiMaxStringLen), m_kColor(kColor)
{
    SetText(pcString, uiFlags);
}

NiFontString::~NiFontString()
{
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
