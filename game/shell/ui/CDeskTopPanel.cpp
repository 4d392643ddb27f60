#include "game/shell/ui/CDeskTopPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"

#include <algorithm>
#include <string>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);

bool IsHeavyBuild(const char* pcName)
{
    const std::string kName = pcName != nullptr ? pcName : "";
    return kName.find("huge") != std::string::npos || kName.find("fat") != std::string::npos ||
           kName.find("muscle") != std::string::npos;
}
} // namespace

CDeskTopPanel::CDeskTopPanel()
{
    CDeskTopPanel::Reset();
}

CDeskTopPanel::~CDeskTopPanel()
{
    CDeskTopPanel::Destroy();
}

void CDeskTopPanel::Destroy()
{
    m_pkPhotoBack.reset();
    COrvaneCanvas::Destroy();
}

void CDeskTopPanel::Reset()
{
    COrvaneCanvas::Reset();
    m_sSecurityList = -1;
    m_sGenderList = -1;
    m_sBuildList = -1;
    m_sGangList = -1;
    m_sBriefList = -1;
    m_pkPhotoBack.reset();
}

void CDeskTopPanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    COrvaneCanvas::Create(pcImageName, fX, fY, bScale);
    if (const CLocale* pkLocale = panel::Locale())
    {
        m_sSecurityList = pkLocale->FindList("security_level_text");
        m_sGenderList = pkLocale->FindList("gender_text");
        m_sBuildList = pkLocale->FindList("build_text");
        m_sGangList = pkLocale->FindList("gang_text");
        m_sBriefList = pkLocale->FindList("BRIEF_SCENARIOS");
    }
    m_pkPhotoBack = panel::MakeImage(PHOTO_BACK);
}

void CDeskTopPanel::SetCandidates(std::list<CAIPrisoner*>* pkCandidates)
{
    m_pkCandidates = pkCandidates;
    if (CGame* pkGame = panel::Game())
    {
        pkGame->SetSavedSpeed(pkGame->GetGameSpeed());
        pkGame->SetGameSpeed(0.0f);
        pkGame->SetPanelPause(true);
    }
}

void CDeskTopPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    if (iIndex <= 0)
        return;
    COrvaneWidget* pkWidget = GetWidget(iIndex);
    if (iEvent == EVENT_HOVER || iEvent == EVENT_NORMAL)
    {
        if (pkWidget == nullptr || (iEvent == EVENT_HOVER && iIndex != WIDGET_LEAVE && !HasCandidate()))
            return;
        pkWidget->SetColor(WHITE);
        pkWidget->SetVisible(iEvent == EVENT_HOVER);
        return;
    }
    if (iEvent != EVENT_PRESSED)
        return;
    panel::ConsumeClick(true);
    if (iIndex == WIDGET_GRANT && HasCandidate())
    {
        // Off the list before the sentence ends: the release may hand the
        // prisoner back to the roster, and nothing here reads it after.
        CAIPrisoner* pkPrisoner = m_pkCandidates->front();
        m_pkCandidates->pop_front();
        if (pkPrisoner != nullptr)
            pkPrisoner->ResolveSentenceEnd();
    }
    else if (iIndex == WIDGET_REFUSE && HasCandidate())
        m_pkCandidates->pop_front();
    else if (iIndex == WIDGET_LEAVE)
    {
        if (m_pkCandidates != nullptr)
            m_pkCandidates->clear();
        if (CInterface* pkInterface = panel::Interface())
            pkInterface->ShowDeskTop(false);
        if (CGame* pkGame = panel::Game())
        {
            pkGame->SetGameSpeed(pkGame->GetSavedSpeed());
            pkGame->SetPanelPause(false);
        }
    }
}

void CDeskTopPanel::DrawNumber(std::int32_t iValue, float fX, float fY)
{
    if (CLocale* pkLocale = panel::Locale())
        pkLocale->DrawTextAt(FONT, m_fX + fX, m_fY + fY, std::to_string(iValue));
}

void CDeskTopPanel::DrawEntry(std::int16_t sList, std::int32_t iEntry, float fX, float fY)
{
    if (CLocale* pkLocale = panel::Locale())
        (void)pkLocale->DrawText(FONT, sList, iEntry, m_fX + fX, m_fY + fY, 0, nullptr);
}

std::string CDeskTopPanel::FormatBirthDate(std::uint16_t usStarSign, std::uint16_t usFirstName, std::uint16_t usAge,
                                           std::int32_t iYear)
{
    return std::to_string(usStarSign + 1) + "/" + std::to_string(std::min(usFirstName, LAST_DAY_SHOWN)) + "/" +
           std::to_string(iYear - usAge);
}

void CDeskTopPanel::Draw()
{
    COrvaneCanvas::Draw();
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr)
        return;
    pkLocale->BeginFont(FONT);
    if (HasCandidate() && m_pkCandidates->front() != nullptr)
        DrawCandidate(*m_pkCandidates->front());
    DrawPrison();
    pkLocale->FlushFont(FONT);
}

void CDeskTopPanel::DrawCandidate(CAIPrisoner& kPrisoner)
{
    CLocale* pkLocale = panel::Locale();
    CGame* pkGame = panel::Game();
    const CCharacterStats& kStats = kPrisoner.GetStats();
    if (m_pkPhotoBack != nullptr)
        m_pkPhotoBack->Draw(m_fX + 200.0f, m_fY + 120.0f);
    kPrisoner.DrawPortrait(m_fX + 210.0f, m_fY + 138.0f);
    DrawEntry(m_sBuildList, IsHeavyBuild(kPrisoner.GetName()) ? 0 : 1, 208.0f, 273.0f);
    DrawEntry(m_sSecurityList, kStats.m_usSecurityLevel, 228.0f, 301.0f);
    DrawNumber(kStats.m_usWage, 228.0f, 329.0f);
    if (CSpawnManager* pkSpawn = pkGame != nullptr ? pkGame->GetSpawnManager() : nullptr)
    {
        std::string kName;
        pkSpawn->FormatNameList(kName, kStats.m_uiGender, kStats.m_usFirstName, kStats.m_usSurname);
        COrvaneWidgetRect kBox;
        kBox.m_fX = m_fX + 345.0f;
        kBox.m_fY = m_fY + 151.0f;
        kBox.m_fWidth = 180.0f;
        kBox.m_fHeight = 28.0f;
        (void)pkLocale->DrawPlainTextInBox(FONT, kBox, kName);
    }
    DrawEntry(m_sGenderList, static_cast<std::int32_t>(kStats.m_uiGender), 353.0f, 179.0f);
    DrawNumber(kStats.m_usAge, 420.0f, 179.0f);
    const std::int32_t iYear = pkGame != nullptr ? pkGame->GetGameClock().GetShownYear() : 0;
    pkLocale->DrawTextAt(FONT, m_fX + 363.0f, m_fY + 193.0f,
                         FormatBirthDate(kStats.m_usStarSign, kStats.m_usFirstName, kStats.m_usAge, iYear));
    DrawNumber(kStats.m_usArrivalYear, 353.0f, 219.0f);
    DrawNumber(kStats.m_usTerm, 353.0f, 249.0f);
    DrawEntry(m_sGangList, static_cast<std::int32_t>(kStats.m_uiGang), 348.0f, 273.0f);
    DrawNumber(kStats.m_usKnockdowns, 348.0f, 301.0f);
    DrawNumber(kStats.m_usWorkCount, 348.0f, 329.0f);
}

void CDeskTopPanel::DrawPrison()
{
    CLocale* pkLocale = panel::Locale();
    CGame* pkGame = panel::Game();
    if (const CPrisonStatistics* pkStatistics = panel::Statistics())
    {
        DrawEntry(m_sSecurityList, std::min<std::int32_t>(pkStatistics->m_usPrisonLevel, 3), 639.0f, 217.0f);
        pkLocale->DrawTextAt(FONT, m_fX + 639.0f, m_fY + 234.0f, std::to_string(pkStatistics->m_iOrder / 10) + "%");
        if (pkGame != nullptr)
            DrawNumber(pkGame->GetGameClock().m_sYearOffset, 639.0f, 252.0f);
        DrawNumber(pkStatistics->m_usKnockdowns, 687.0f, 277.0f);
        DrawNumber(pkStatistics->m_usPrisonersGone, 687.0f, 295.0f);
        DrawNumber(pkStatistics->m_usPrisonersReleased, 687.0f, 313.0f);
        DrawNumber(pkStatistics->m_usIntake, 687.0f, 331.0f);
    }
    if (const std::int32_t iScenario = pkGame != nullptr ? pkGame->GetScenarioNumber() : -1; iScenario >= 0)
    {
        COrvaneWidgetRect kBox;
        kBox.m_fX = m_fX + 566.0f;
        kBox.m_fY = m_fY + 377.0f;
        kBox.m_fWidth = 140.0f;
        kBox.m_fHeight = 100.0f;
        (void)pkLocale->DrawText(FONT, m_sBriefList, iScenario, kBox.m_fX, kBox.m_fY, 0, &kBox);
    }
    if (const CPrisonStatistics* pkStatistics = panel::Statistics())
    {
        DrawNumber(pkStatistics->m_usPrisonersNow, 782.0f, 217.0f);
        const float afX[] = {684.0f, 717.0f, 750.0f, 783.0f};
        for (std::size_t i = 0; i < 4; ++i)
            DrawNumber(pkStatistics->m_ausPrisonersByLevel[i], afX[i], 252.0f);
        DrawNumber(pkStatistics->GetBalance(), 734.0f, 286.0f);
        DrawNumber(pkStatistics->m_iIncomeTotal, 734.0f, 313.0f);
        DrawNumber(pkStatistics->m_iExpenseTotal, 734.0f, 335.0f);
    }
}
