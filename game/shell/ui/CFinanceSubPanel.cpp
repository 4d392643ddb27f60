#include "game/shell/ui/CFinanceSubPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/PanelServices.h"
#include "game/simulation/objects/CPrisonStatistics.h"

#include <string>

namespace
{
const NiColorRGBA GREEN(0.0f, 1.0f, 0.0f, 1.0f);
} // namespace

CFinanceSubPanel::CFinanceSubPanel()
{
    CFinanceSubPanel::Reset();
}

void CFinanceSubPanel::Reset()
{
    CChildPanel::Reset();
    m_ucYearly = 0;
}

std::vector<CFinanceSubPanel::Figure> CFinanceSubPanel::Figures(const CPrisonStatistics& kStatistics, bool bYearly,
                                                                std::int32_t iYearOffset)
{
    // Integer division truncates toward zero: -7 over 4 years is -1.
    const std::int32_t iYears = iYearOffset + 1;
    auto Yearly = [bYearly, iYears](std::int32_t iValue) { return bYearly && iYears > 0 ? iValue / iYears : iValue; };
    const CPrisonStatistics& s = kStatistics;
    return {
        {s.m_iIncomeTotal - s.m_iExpenseTotal, 55.0f, 22.0f, false},
        {Yearly(s.m_iExpenseTotal), 196.0f, 22.0f, true},
        {Yearly(s.m_iIncomeTotal), 60.0f, 68.0f, true},
        {Yearly(s.m_iWorkIncome), 60.0f, 98.0f, true},
        {Yearly(s.m_iPrisonerPayments), 60.0f, 114.0f, true},
        {Yearly(s.m_iOtherIncome), 60.0f, 130.0f, true},
        {Yearly(s.m_iFoodCosts), 200.0f, 50.0f, true},
        {Yearly(s.m_iRunningCosts), 200.0f, 66.0f, true},
        {Yearly(s.m_iWages), 200.0f, 82.0f, true},
        {Yearly(s.m_iPurchases), 200.0f, 98.0f, true},
        {Yearly(s.m_iIncidentCosts), 200.0f, 114.0f, true},
        {Yearly(s.m_iAdminCosts), 200.0f, 130.0f, true},
    };
}

void CFinanceSubPanel::Draw()
{
    COrvaneCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    const CPrisonStatistics* pkStatistics = panel::Statistics();
    const CGame* pkGame = panel::Game();
    if (pkLocale == nullptr || pkStatistics == nullptr)
        return;
    const std::int32_t iYearOffset = pkGame != nullptr ? pkGame->GetClock().m_sYearOffset : 0;
    pkLocale->BeginFont(0);
    for (const Figure& kFigure : Figures(*pkStatistics, m_ucYearly != 0, iYearOffset))
        pkLocale->DrawTextAt(0, m_fX + kFigure.m_fDx, m_fY + kFigure.m_fDy, std::to_string(kFigure.m_iValue));
    pkLocale->FlushFont(0);
}

void CFinanceSubPanel::HighlightActive(bool bColour)
{
    if (COrvaneWidget* pkActive = GetWidget(m_ucYearly != 0 ? WIDGET_YEARLY : WIDGET_TOTALS);
        pkActive != nullptr && m_iWidgetCount > (m_ucYearly != 0 ? WIDGET_YEARLY : WIDGET_TOTALS))
    {
        if (bColour)
            pkActive->SetColor(GREEN);
        pkActive->SetVisible(true);
    }
}

void CFinanceSubPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneCanvas::OnWidgetEvent(iIndex, iEvent);
    if (iEvent == EVENT_PRESSED)
    {
        panel::ConsumeClick(true);
        if (iIndex == WIDGET_YEARLY)
            m_ucYearly = 1;
        else if (iIndex == WIDGET_TOTALS)
            m_ucYearly = 0;
    }
    HighlightActive(true);
}

bool CFinanceSubPanel::Populate(COrvaneTagTree* pkData)
{
    (void)pkData;
    HighlightActive(false);
    return true;
}
