#include "framework/COrvaneWidget.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneLocale.h"

namespace
{
float s_fScreenScaleX = 1.0f;
float s_fScreenScaleY = 1.0f;
} // namespace

void COrvaneWidget::SetScreenScale(float fHorizontal, float fVertical)
{
    s_fScreenScaleX = fHorizontal;
    s_fScreenScaleY = fVertical;
}

float COrvaneWidget::GetScreenScaleX()
{
    return s_fScreenScaleX;
}

float COrvaneWidget::GetScreenScaleY()
{
    return s_fScreenScaleY;
}

void COrvaneWidget::ResetScreenScale()
{
    s_fScreenScaleX = 1.0f;
    s_fScreenScaleY = 1.0f;
}

COrvaneWidget::COrvaneWidget()
{
    COrvaneWidget::Reset();
}

COrvaneWidget::~COrvaneWidget() = default;

void COrvaneWidget::Destroy()
{
    COrvaneWidget::Reset();
}

void COrvaneWidget::Reset()
{
    m_kRect = COrvaneWidgetRect{};
    m_ucVisible = 1;
    m_sTextId = -1;
}

void COrvaneWidget::Draw(float, float) {}

void COrvaneWidget::SetText(const std::string&) {}

bool COrvaneWidget::HitTest(const NiVec2* pkPoint) const
{
    if (pkPoint == nullptr)
        return false;
    return pkPoint->x >= m_kRect.m_fX && pkPoint->x <= m_kRect.m_fX + m_kRect.m_fWidth && pkPoint->y >= m_kRect.m_fY &&
           pkPoint->y <= m_kRect.m_fY + m_kRect.m_fHeight;
}

void COrvaneWidget::SetColor(const NiColorRGBA&) {}

void COrvaneWidget::Scale(float fX, float fY)
{
    m_kRect.m_fX *= fX;
    m_kRect.m_fWidth *= fX;
    m_kRect.m_fY *= fY;
    m_kRect.m_fHeight *= fY;
}

void COrvaneWidget::SetRect(const CWidgetDesc& kDesc)
{
    const float fX = kDesc.m_ucScaleToScreen != 0 ? s_fScreenScaleX : 1.0f;
    const float fY = kDesc.m_ucScaleToScreen != 0 ? s_fScreenScaleY : 1.0f;
    m_kRect.m_fX = kDesc.m_fX * fX;
    m_kRect.m_fWidth = kDesc.m_fWidth * fX;
    m_kRect.m_fY = kDesc.m_fY * fY;
    m_kRect.m_fHeight = kDesc.m_fHeight * fY;
}

void COrvaneWidget::DrawIfVisible(float fX, float fY)
{
    if (m_ucVisible != 0)
        Draw(fX, fY);
}

// ---- Image ----

COrvaneImage::COrvaneImage() : m_pkTexture(std::make_unique<COrvaneImageTexture>()) {}

COrvaneImage::~COrvaneImage() = default;

void COrvaneImage::Destroy()
{
    Reset();
}

void COrvaneImage::Draw(float fX, float fY)
{
    m_pkTexture->Draw(m_kRect, fX, fY);
}

bool COrvaneImage::HitTest(const NiVec2* pkPoint) const
{
    return m_pkTexture->HitTest(pkPoint, m_kRect);
}

void COrvaneImage::SetColor(const NiColorRGBA& kColor)
{
    m_pkTexture->SetColor(kColor);
}

void COrvaneImage::Scale(float fX, float fY)
{
    COrvaneWidget::Scale(fX, fY);
    m_pkTexture->Scale(fX, fY);
}

void COrvaneImage::Create(const CWidgetDesc& kDesc)
{
    SetRect(kDesc);
    SetName(kDesc.m_kName.c_str());
    (void)m_pkTexture->Load(kDesc, m_kRect, kDesc.m_kName);
}

// ---- Bar ----

COrvaneBar::COrvaneBar()
{
    COrvaneBar::Reset();
}

void COrvaneBar::Reset()
{
    m_fFullLength = 0.0f;
    m_fFraction = 1.0f;
    m_fInverseFraction = 1.0f;
    m_uiRightAnchored = 0;
}

void COrvaneBar::Draw(float fX, float fY)
{
    if (m_uiRightAnchored != 0)
        fX -= m_fFraction * m_fFullLength;
    COrvaneImage::Draw(fX, fY);
}

void COrvaneBar::Create(const CWidgetDesc& kDesc)
{
    COrvaneImage::Create(kDesc);
    if (kDesc.m_fLength < 1.0f)
    {
        m_fFullLength = m_kRect.m_fWidth;
        return;
    }
    m_fFullLength = kDesc.m_fLength;
    if (m_kRect.m_fWidth > 0.0f)
        Scale(kDesc.m_fLength / m_kRect.m_fWidth, 1.0f);
}

void COrvaneBar::SetValue(std::uint8_t ucPercent)
{
    if (ucPercent == 0)
    {
        SetVisible(false);
        return;
    }
    if (ucPercent > 100)
        return;
    SetVisible(true);
    // Undo the previous cut first, so cuts never compound.
    Scale(m_fInverseFraction, 1.0f);
    m_fFraction = static_cast<float>(ucPercent) * 0.01f;
    m_fInverseFraction = 100.0f / static_cast<float>(ucPercent);
    Scale(m_fFraction, 1.0f);
}

// ---- Text field ----

COrvaneTextWidget::COrvaneTextWidget()
{
    COrvaneTextWidget::Reset();
}

void COrvaneTextWidget::Destroy()
{
    // The terminated copy is the string's own: nothing else to free, and
    // the text stays until the field goes.
}

void COrvaneTextWidget::Reset()
{
    m_fMaxWidth = 0.0f;
    m_iBlink = 0;
}

void COrvaneTextWidget::SetText(const std::string& kText)
{
    m_kText = kText;
}

bool COrvaneTextWidget::HitTest(const NiVec2*) const
{
    return true;
}

void COrvaneTextWidget::Scale(float fX, float fY)
{
    COrvaneWidget::Scale(fX, fY);
}

void COrvaneTextWidget::Create(const CWidgetDesc& kDesc)
{
    SetRect(kDesc);
    m_fMaxWidth = kDesc.m_fLength;
    SetText(kDesc.m_kName);
}

void COrvaneTextWidget::UpdateText()
{
    if (++m_iBlink >= BLINK_FRAMES)
        m_iBlink = 0;
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    COrvaneGame* pkGame = pkApp != nullptr ? pkApp->GetGame() : nullptr;
    if (pkGame == nullptr)
        return;
    // Every key of the frame, in order: two letters released within one
    // frame are both typed.
    for (const COrvaneLastKeyEvent& kKey : pkGame->GetFrameKeys().GetEvents())
        TypeKey(*pkGame, kKey.m_uiKeyCode);
}

void COrvaneTextWidget::TypeKey(const COrvaneGame& kGame, std::uint32_t uiKey)
{
    if (uiKey == 0)
        return;
    if (uiKey == COrvaneKeys::KEY_DELETE || uiKey == COrvaneKeys::KEY_BACKSPACE)
    {
        if (!m_kText.empty())
            m_kText.pop_back();
        return;
    }
    const bool bLetter = (uiKey >= 'a' && uiKey <= 'z') || (uiKey >= 'A' && uiKey <= 'Z');
    const bool bDigit = uiKey >= '0' && uiKey <= '9';
    if (!bLetter && !bDigit && uiKey != ' ')
        return;
    m_kText.push_back(static_cast<char>(uiKey));
    if (m_fMaxWidth <= 0.0f)
        return;
    const COrvaneLocale* pkLocale = kGame.GetLocale();
    COrvaneFont* pkFont = pkLocale != nullptr ? pkLocale->GetFont(0) : nullptr;
    if (pkFont != nullptr && static_cast<float>(pkFont->GetTextWidth(m_kText.c_str())) > m_fMaxWidth)
        m_kText.pop_back();
}

void COrvaneTextWidget::DrawText(COrvaneFont& kFont, float fX, float fY) const
{
    const std::string kShown = m_iBlink < BLINK_FRAMES / 2 ? m_kText + " *" : m_kText;
    kFont.DrawText(m_kRect.m_fX + fX, m_kRect.m_fY + fY, kShown.c_str());
}
