#include "game/shell/ui/CManagementPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CConditions.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CFinanceSubPanel.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "game/shell/ui/PanelServices.h"

#include <memory>
#include <string>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA GREY(0.7f, 0.7f, 0.7f, 1.0f);
const NiColorRGBA GREEN(0.0f, 1.0f, 0.0f, 1.0f);
const NiColorRGBA RED(1.0f, 0.0f, 0.0f, 1.0f);

std::int16_t ScenarioNumber()
{
    const CGame* pkGame = panel::Game();
    const CConditions* pkConditions = pkGame != nullptr ? pkGame->GetConditions() : nullptr;
    return pkConditions != nullptr ? pkConditions->GetScenario() : -1;
}

std::unique_ptr<CChildPanel> MakeChild(std::int32_t iChild)
{
    switch (iChild)
    {
    case CManagementPanel::CHILD_ICONS: return std::make_unique<CManagementPanelIcons>();
    case CManagementPanel::CHILD_FINANCE: return std::make_unique<CFinanceSubPanel>();
    case CManagementPanel::CHILD_STAFF: return std::make_unique<CStaffSubPanel>();
    case CManagementPanel::CHILD_PRISONERS: return std::make_unique<CPrisonerSubPanel>();
    default: return std::make_unique<CScenarioSubPanel>();
    }
}
} // namespace

const std::array<CManagementPanel::ChildPlace, 5> CManagementPanel::CHILDREN = {{
    {"images/panels/management/icons/00_start.tga", 8.0f, 40.0f},
    {"images/panels/management/finance/finance.tga", 0.0f, 77.0f},
    {"images/panels/management/mstaff.tga", 0.0f, 77.0f},
    {"images/panels/management/mprisoners.tga", 0.0f, 77.0f},
    {"images/panels/management/challenge.tga", 0.0f, 77.0f},
}};

bool CManagementPanel::Populate(COrvaneTagTree* pkData, bool bRecreate)
{
    if (bRecreate)
    {
        DeleteChildren();
        for (std::int32_t i = 0; i < static_cast<std::int32_t>(CHILDREN.size()); ++i)
        {
            const ChildPlace& kPlace = CHILDREN[static_cast<std::size_t>(i)];
            std::unique_ptr<CChildPanel> pkChild = MakeChild(i);
            pkChild->Create(kPlace.pcImage, 0.0f, 0.0f, false);
            pkChild->SetPosition(m_fX + kPlace.fDx, m_fY + kPlace.fDy, true);
            if (i == CHILD_ICONS || i == CHILD_FINANCE)
                pkChild->Show();
            (void)AttachChild(std::move(pkChild));
        }
    }
    return CBasePanel::Populate(pkData, bRecreate);
}

void CManagementPanel::OnChildEvent(std::int32_t iChild, std::int32_t iValue, std::int32_t iEvent)
{
    if (iChild != CHILD_ICONS || iEvent != EVENT_PRESSED)
        return;
    for (std::int32_t i = CHILD_ICONS + 1; i < GetChildCount(); ++i)
        GetChild(i)->Hide();
    if (CChildPanel* pkPage = iValue > CHILD_ICONS ? GetChild(iValue) : nullptr)
        pkPage->Show();
}

// ---- Icon row ----

void CManagementPanelIcons::Reset()
{
    CChildPanel::Reset();
    m_sSelected = -1;
}

void CManagementPanelIcons::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkIcon = iIndex > 0 && iIndex < m_iWidgetCount ? GetWidget(iIndex) : nullptr;
    if (pkIcon == nullptr)
        return;
    // The icons are the row's pictures: always shown, only tinted.
    pkIcon->SetVisible(true);
    if (iIndex == ICON_SCENARIO && ScenarioNumber() < 0)
    {
        pkIcon->SetColor(RED);
        return;
    }
    switch (iEvent)
    {
    // The chosen icon keeps its green through every later pass.
    case EVENT_HOVER: pkIcon->SetColor(iIndex != m_sSelected ? GREY : GREEN); break;
    case EVENT_NORMAL: pkIcon->SetColor(iIndex != m_sSelected ? WHITE : GREEN); break;
    case EVENT_PRESSED:
        panel::ConsumeClick(true);
        if (COrvaneWidget* pkOld = m_sSelected != iIndex ? GetWidget(m_sSelected) : nullptr)
            pkOld->SetColor(WHITE);
        m_sSelected = static_cast<std::int16_t>(iIndex);
        pkIcon->SetColor(GREEN);
        if (CBasePanel* pkParent = GetParent())
            pkParent->OnChildEvent(GetChildIndex(), iIndex, EVENT_PRESSED);
        break;
    default: break;
    }
}

bool CManagementPanelIcons::Populate(COrvaneTagTree* pkData)
{
    (void)pkData;
    for (std::int32_t i = 1; i < m_iWidgetCount; ++i)
        OnWidgetEvent(i, EVENT_NORMAL);
    return true;
}

// ---- Staff page ----

const std::array<std::int32_t, 4> CStaffSubPanel::ROW_CATEGORIES = {0, 1, 3, 2};
const std::array<float, 4> CStaffSubPanel::ROW_Y = {34.0f, 52.0f, 70.0f, 88.0f};

CPrisonStatistics::StaffGroup CStaffSubPanel::Totals(const CPrisonStatistics& kStatistics)
{
    CPrisonStatistics::StaffGroup kTotals;
    for (std::int32_t i = 0; i < CPrisonStatistics::CATEGORY_COUNT; ++i)
    {
        const CPrisonStatistics::StaffGroup* pkGroup = kStatistics.GetStaffGroup(i);
        kTotals.m_usCount = static_cast<std::uint16_t>(kTotals.m_usCount + pkGroup->m_usCount);
        kTotals.m_usServices = static_cast<std::uint16_t>(kTotals.m_usServices + pkGroup->m_usServices);
        kTotals.m_usWages = static_cast<std::uint16_t>(kTotals.m_usWages + pkGroup->m_usWages);
    }
    return kTotals;
}

void CStaffSubPanel::DrawNumber(std::int32_t iValue, float fDx, float fDy) const
{
    if (CLocale* pkLocale = panel::Locale())
        pkLocale->DrawTextAt(0, m_fX + fDx, m_fY + fDy, std::to_string(iValue));
}

void CStaffSubPanel::Draw()
{
    COrvaneCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    const CPrisonStatistics* pkStatistics = panel::Statistics();
    if (pkLocale == nullptr || pkStatistics == nullptr)
        return;
    pkLocale->BeginFont(0);
    const auto DrawRow = [this](const CPrisonStatistics::StaffGroup& kGroup, float fDy)
    {
        DrawNumber(kGroup.m_usCount, COLUMN_COUNT, fDy);
        DrawNumber(kGroup.m_usWages, COLUMN_WAGES, fDy);
        DrawNumber(kGroup.m_usServices, COLUMN_SERVICES, fDy);
    };
    for (std::size_t i = 0; i < ROW_CATEGORIES.size(); ++i)
        DrawRow(*pkStatistics->GetStaffGroup(ROW_CATEGORIES[i]), ROW_Y[i]);
    DrawRow(Totals(*pkStatistics), TOTALS_Y);
    pkLocale->FlushFont(0);
}

// ---- Prisoner page ----

void CPrisonerSubPanel::Draw()
{
    COrvaneCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    const CPrisonStatistics* pkStatistics = panel::Statistics();
    if (pkLocale == nullptr || pkStatistics == nullptr)
        return;
    const CPrisonStatistics& s = *pkStatistics;
    pkLocale->BeginFont(0);
    DrawPanelNumber(*this, s.m_usPrisonersNow, 78.0f, 28.0f);
    DrawPanelNumber(*this, s.m_usPrisonersReceived, 78.0f, 40.0f);
    const float afLevelX[] = {151.0f, 183.0f, 215.0f, 248.0f};
    for (std::size_t i = 0; i < 4; ++i)
        DrawPanelNumber(*this, s.m_ausPrisonersByLevel[i], afLevelX[i], 41.0f);
    DrawPerPrisoner(*this, s.m_usSentenceTotal, 68.0f, 72.0f, false);
    DrawPanelNumber(*this, s.m_usPrisonersGone, 68.0f, 90.0f);
    DrawPanelNumber(*this, s.m_usKnockdowns, 68.0f, 108.0f);
    DrawPanelNumber(*this, s.m_usEscapes, 198.0f, 72.0f);
    DrawPanelNumber(*this, s.m_usIntake, 198.0f, 90.0f);
    DrawPanelNumber(*this, s.m_usPrisonersReleased, 198.0f, 108.0f);
    pkLocale->FlushFont(0);
}

// ---- Scenario page ----

CScenarioSubPanel::CScenarioSubPanel()
{
    CScenarioSubPanel::Reset();
}

void CScenarioSubPanel::Reset()
{
    CChildPanel::Reset();
    m_sBriefingList = -1;
}

bool CScenarioSubPanel::Populate(COrvaneTagTree* pkData)
{
    (void)pkData;
    const CLocale* pkLocale = panel::Locale();
    m_sBriefingList = pkLocale != nullptr ? pkLocale->FindList("BRIEF_SCENARIOS") : -1;
    return true;
}

void CScenarioSubPanel::Draw()
{
    COrvaneCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr)
        return;
    COrvaneWidgetRect kBox;
    kBox.m_fX = m_fX + 25.0f;
    kBox.m_fY = m_fY + 16.0f;
    kBox.m_fWidth = 250.0f;
    kBox.m_fHeight = 110.0f;
    pkLocale->BeginFont(0);
    (void)pkLocale->DrawText(0, m_sBriefingList, ScenarioNumber(), kBox.m_fX, kBox.m_fY, 0, &kBox);
    pkLocale->FlushFont(0);
}
