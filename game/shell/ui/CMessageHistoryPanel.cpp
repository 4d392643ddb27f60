#include "game/shell/ui/CMessageHistoryPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"

CMessageHistoryPanel::CMessageHistoryPanel() = default;

CMessageHistoryPanel::~CMessageHistoryPanel()
{
    CMessageHistoryPanel::Destroy();
}

void CMessageHistoryPanel::Destroy()
{
    m_pkLine.reset();
    CBasePanel::Destroy();
    CMessageHistoryPanel::Reset();
}

void CMessageHistoryPanel::Reset()
{
    CBasePanel::Reset();
    m_kMessages.clear();
    m_sList = -1;
    m_usScroll = 0;
    m_pkLine.reset();
}

void CMessageHistoryPanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    CBasePanel::Create(pcImageName, fX, fY, bScale);
    const CLocale* pkLocale = panel::Locale();
    m_sList = pkLocale != nullptr ? pkLocale->FindList("InGameMessages") : -1;
    m_pkLine = panel::MakeImage(LINE);
}

void CMessageHistoryPanel::AddMessage(std::int32_t iFirst, std::int32_t iEntry, std::int32_t iNumber)
{
    if (iEntry < 0)
        return;
    m_kMessages.push_back({iFirst, iEntry, iNumber});
}

void CMessageHistoryPanel::ClearMessages()
{
    m_kMessages.clear();
    m_usScroll = 0;
}

void CMessageHistoryPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    if (iIndex == WIDGET_TITLE)
    {
        CBasePanel::OnWidgetEvent(iIndex, iEvent);
        return;
    }
    COrvaneWidget* pkWidget = iIndex > 0 ? GetWidget(iIndex) : nullptr;
    if (pkWidget == nullptr)
        return;
    if (iEvent == EVENT_HOVER || iEvent == EVENT_NORMAL)
    {
        pkWidget->SetVisible(iEvent == EVENT_HOVER);
        return;
    }
    if (iEvent != EVENT_PRESSED || iIndex < WIDGET_CLOSE || iIndex > WIDGET_OLDER)
        return;
    // Released too: a held button would step a page every frame.
    panel::ConsumeClick(true);
    if (iIndex == WIDGET_CLOSE)
    {
        if (CInterface* pkInterface = panel::Interface())
            pkInterface->GetStack().RequestCloseCurrent();
    }
    else if (iIndex == WIDGET_OLDER)
    {
        if (m_kMessages.size() > static_cast<std::size_t>(m_usScroll) + SCROLL_STEP)
            m_usScroll = static_cast<std::uint16_t>(m_usScroll + SCROLL_STEP);
    }
    else if (iIndex == WIDGET_NEWER)
        m_usScroll = m_usScroll < SCROLL_STEP + 1 ? 0 : static_cast<std::uint16_t>(m_usScroll - SCROLL_STEP);
}

void CMessageHistoryPanel::Draw()
{
    CBasePanel::Draw();
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr)
        return;
    pkLocale->BeginFont(FONT);
    std::int32_t iLines = 0;
    std::int32_t iDrawn = 0;
    for (std::size_t uiLeft = m_kMessages.size() > m_usScroll ? m_kMessages.size() - m_usScroll : 0; uiLeft > 0;
         --uiLeft)
    {
        // Eight one-line messages fill the page; with longer ones a ninth
        // line still fits.
        if (iLines >= (iLines == iDrawn ? 8 : 9))
            break;
        const float fTop = LIST_TOP + 10.0f * static_cast<float>(iLines) + 12.0f * static_cast<float>(iDrawn);
        if (fTop >= LIST_BOTTOM)
            break;
        const CHistoryMessage& kMessage = m_kMessages[uiLeft - 1];
        COrvaneWidgetRect kBox;
        kBox.m_fX = m_fX + LIST_X;
        kBox.m_fY = m_fY + fTop;
        kBox.m_fWidth = 480.0f;
        kBox.m_fHeight = 30.0f;
        const std::int32_t iTook =
            kMessage.m_iNumber > 0
                ? pkLocale->DrawNumberedText(kMessage.m_iNumber, FONT, m_sList, kMessage.m_iEntry, kBox.m_fX,
                                             kBox.m_fY, 0, &kBox)
                : pkLocale->DrawText(FONT, m_sList, kMessage.m_iEntry, kBox.m_fX, kBox.m_fY, 0, &kBox);
        const float fLine = fTop + 12.0f * static_cast<float>(iTook) + 5.0f;
        if (m_pkLine != nullptr && fLine < LIST_BOTTOM)
            m_pkLine->Draw(m_fX + LINE_X, m_fY + fLine);
        iLines += iTook;
        ++iDrawn;
    }
    pkLocale->FlushFont(FONT);
}
