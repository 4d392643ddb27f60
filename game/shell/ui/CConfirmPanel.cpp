#include "game/shell/ui/CConfirmPanel.h"

#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
} // namespace

CConfirmPanel::CConfirmPanel() = default;

CConfirmPanel::~CConfirmPanel() = default;

void CConfirmPanel::Setup(std::function<void()> kCallback, std::int32_t iQuestion, std::int16_t sList,
                          bool bCloseBelow, const char* pcExtraText)
{
    m_kCallback = std::move(kCallback);
    m_iQuestion = iQuestion;
    m_sList = sList;
    m_ucCloseBelow = bCloseBelow ? 1 : 0;
    m_bAsked = true;
    if (pcExtraText != nullptr)
        m_kExtraText = std::string(pcExtraText);
    else
        m_kExtraText.reset();
}

void CConfirmPanel::Draw()
{
    COrvaneCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr)
        return;
    pkLocale->BeginFont(0);
    COrvaneWidgetRect kBox;
    kBox.m_fX = m_fX + 27.0f;
    kBox.m_fY = m_fY + 45.0f;
    kBox.m_fWidth = 130.0f;
    kBox.m_fHeight = 64.0f;
    (void)pkLocale->DrawText(0, m_sList, m_iQuestion, kBox.m_fX, kBox.m_fY, 0, &kBox);
    if (m_kExtraText)
        pkLocale->DrawTextAt(0, m_fX + 27.0f, m_fY + 65.0f, *m_kExtraText);
    pkLocale->FlushFont(0);
}

void CConfirmPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkWidget = GetWidget(iIndex);
    if (iIndex < 0)
        return;
    if (iEvent == EVENT_HOVER)
    {
        if (pkWidget != nullptr)
            pkWidget->SetVisible(true);
        return;
    }
    if (iEvent == EVENT_NORMAL)
    {
        if (pkWidget != nullptr)
        {
            pkWidget->SetColor(WHITE);
            pkWidget->SetVisible(false);
        }
        return;
    }
    if (iEvent != EVENT_PRESSED)
        return;
    if (COrvaneMouse* pkMouse = panel::Mouse())
        pkMouse->OnLeftUp(0);
    if (!m_bAsked)
        return;
    m_bAsked = false;
    // Taken first: the answer leaves the panel idle, so a press that repeats
    // before the button is seen up finds nothing to run, and a callback
    // that asks again gets a fresh panel.
    std::function<void()> kCallback = std::move(m_kCallback);
    m_kCallback = nullptr;
    const bool bCloseBelow = m_ucCloseBelow != 0;
    m_ucCloseBelow = 0;
    CInterface* pkInterface = panel::Interface();
    if (iIndex == WIDGET_YES)
    {
        if (pkInterface != nullptr)
        {
            COrvaneStack<COrvaneCanvas*>& kStack = pkInterface->GetStack();
            kStack.Remove(this);
            // The canvas beneath went with the question (the file panel
            // whose step it was).
            if (bCloseBelow && kStack.HasModal())
                kStack.Remove(kStack.GetModal().front());
            kStack.MarkChanged();
        }
        if (m_iQuestion == QUESTION_QUIT)
            panel::PlaySample(SAMPLE_QUIT);
        if (kCallback)
            kCallback();
    }
    else if (iIndex == WIDGET_NO)
    {
        if (pkInterface != nullptr)
        {
            pkInterface->GetStack().Remove(this);
            pkInterface->GetStack().MarkChanged();
        }
    }
}
