#include "framework/COrvaneText.h"

#include "engine/render/NiRenderer.h"
#include "engine/render/image/NiFont.h"
#include "engine/render/image/NiFontString.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneWindow.h"

#include <cstring>
#include <string>

// The engine side of a text object: the font being loaded, the font in
// use and the renderer it draws with.
class COrvaneTextImpl
{
public:
    void Reset()
    {
        for (float& f : m_afWords)
            f = 0.0f;
        m_spFont = nullptr;
    }
    void SetFont(NiRenderer* pkRenderer)
    {
        m_pkRenderer = pkRenderer;
        m_spFont = m_spPendingFont;
        m_spPendingFont = nullptr;
    }

    float m_afWords[10] = {};
    NiRefPtr<NiFont> m_spPendingFont;
    NiRefPtr<NiFont> m_spFont;
    NiRenderer* m_pkRenderer = nullptr;
};

COrvaneText::COrvaneText() : m_pkImpl(std::make_unique<COrvaneTextImpl>()) {}

COrvaneText::~COrvaneText() = default;

NiFont* COrvaneText::GetFont() const
{
    return m_pkImpl->m_spFont;
}

float COrvaneText::GetArea() const
{
    return m_pkImpl->m_afWords[7] * m_pkImpl->m_afWords[9];
}

bool COrvaneText::LoadFont(const char* pcFontFile)
{
    const COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    COrvaneWindow* pkWindow = pkApp != nullptr ? pkApp->GetWindow() : nullptr;
    COrvaneRenderer* pkHolder = pkWindow != nullptr ? pkWindow->GetRenderer() : nullptr;
    if (pkHolder == nullptr || !::LoadFont(pcFontFile, m_pkImpl->m_spPendingFont, *pkHolder))
        return false;
    m_pkImpl->SetFont(m_pkImpl->m_spPendingFont->GetRenderer());
    return true;
}

void COrvaneText::Draw(const char* pcText, float fX, float fY, std::int32_t iAlignment, const NiRect<float>* pkWrap)
{
    NiFont* pkFont = m_pkImpl->m_spFont;
    if (pkFont == nullptr || pcText == nullptr || m_pkImpl->m_pkRenderer == nullptr)
        return;
    std::string kText(pcText);
    if (pkWrap != nullptr)
    {
        float fRun = pkWrap->m_left;
        std::size_t uiSpace = std::string::npos;
        for (std::size_t i = 0; i < kText.size(); ++i)
        {
            if (kText[i] == ' ')
                uiSpace = i;
            float fWidth = 0.0f;
            float fHeight = 0.0f;
            pkFont->GetCharExtent(kText[i], fWidth, fHeight);
            fRun += fWidth;
            if (fRun > pkWrap->m_right && uiSpace != std::string::npos)
            {
                kText[uiSpace] = '\n';
                uiSpace = std::string::npos;
                fRun = pkWrap->m_left;
            }
        }
    }
    const std::uint32_t uiFlags =
        iAlignment == ALIGN_CENTRE ? (NiFontString::COLORED | NiFontString::CENTERED) : NiFontString::COLORED;
    NiFontStringPtr spString =
        new NiFontString(pkFont, uiFlags, static_cast<std::uint32_t>(kText.size() + 1), kText.c_str(),
                         NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f), static_cast<std::int16_t>(fX), static_cast<std::int16_t>(fY));
    spString->Draw(m_pkImpl->m_pkRenderer);
}
