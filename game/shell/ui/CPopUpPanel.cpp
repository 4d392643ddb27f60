#include "game/shell/ui/CPopUpPanel.h"

#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CCamera.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
const NiColorRGBA RED(1.0f, 0.0f, 0.0f, 1.0f);

void DrawAt(float fX, float fY, const std::string& kText)
{
    if (CLocale* pkLocale = panel::Locale())
        pkLocale->DrawTextAt(0, fX, fY, kText);
}

void DrawEntry(std::uint16_t usList, std::int32_t iEntry, float fX, float fY)
{
    if (CLocale* pkLocale = panel::Locale())
        (void)pkLocale->DrawText(0, usList, iEntry, fX, fY, 0, nullptr);
}

std::uint16_t ListIndex(const char* pcName)
{
    const CLocale* pkLocale = panel::Locale();
    return pkLocale != nullptr ? static_cast<std::uint16_t>(pkLocale->FindList(pcName)) : 0;
}

void SetFontColour(const NiColorRGBA& kColour)
{
    const CLocale* pkLocale = panel::Locale();
    if (COrvaneFont* pkFont = pkLocale != nullptr ? pkLocale->GetFont(0) : nullptr)
        pkFont->SetColor(kColour.r, kColour.g, kColour.b, kColour.a);
}
} // namespace

// ---- Figures ----

void DrawPanelNumber(const COrvaneCanvas& kPage, std::int32_t iValue, float fDx, float fDy)
{
    DrawAt(kPage.GetX() + fDx, kPage.GetY() + fDy, std::to_string(iValue));
}

std::string PerPrisonerText(std::int32_t iValue, std::int32_t iPrisoners, bool bBoth)
{
    if (iPrisoners <= 0)
        return bBoth ? std::to_string(iValue) : "0";
    const std::string kQuotient = std::to_string(iValue / iPrisoners);
    return bBoth ? std::to_string(iValue) + "/" + kQuotient : kQuotient;
}

void DrawPerPrisoner(const COrvaneCanvas& kPage, std::int32_t iValue, float fDx, float fDy, bool bBoth)
{
    const CPrisonStatistics* pkStatistics = panel::Statistics();
    const std::int32_t iPrisoners = pkStatistics != nullptr ? pkStatistics->m_usPrisonersNow : 0;
    DrawAt(kPage.GetX() + fDx, kPage.GetY() + fDy, PerPrisonerText(iValue, iPrisoners, bBoth));
}

// ---- Base ----

CPopUpPanel::CPopUpPanel()
{
    CPopUpPanel::Reset();
}

CPopUpPanel::~CPopUpPanel() = default;

void CPopUpPanel::Destroy()
{
    m_pkPostNode.reset();
    CBasePanel::Destroy();
    CPopUpPanel::Reset();
}

void CPopUpPanel::Reset()
{
    CBasePanel::Reset();
    m_pkSubject = nullptr;
    m_pkPostNode.reset();
}

void CPopUpPanel::Close()
{
    const CGame* pkGame = panel::Game();
    if (CCamera* pkCamera = pkGame != nullptr ? pkGame->GetGameCamera() : nullptr)
        pkCamera->SetFollowTarget(nullptr);
}

void CPopUpPanel::SetSubject(COrvaneObject* pkSubject, const NiNodeAttachment* pkPost)
{
    m_pkSubject = pkSubject;
    m_pkPostNode = pkPost != nullptr ? pkPost->Clone() : nullptr;
}

void CPopUpPanel::DrawFigure(const std::string& kText, float fDx, float fDy) const
{
    DrawAt(m_fX + fDx, m_fY + fDy, kText);
}

// ---- Building ----

void CPopUpPanelBuilding::Reset()
{
    CPopUpPanel::Reset();
    m_usSecurityTexts = 0;
    m_usExtraTexts = 0;
}

bool CPopUpPanelBuilding::Populate(COrvaneTagTree* pkData, bool bRecreate)
{
    if (bRecreate)
        DeleteChildren();
    m_usSecurityTexts = ListIndex("security_level_text");
    m_usExtraTexts = ListIndex("build_panel_extra_text");
    return CBasePanel::Populate(pkData, bRecreate);
}

void CPopUpPanelBuilding::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkWidget = iIndex > 0 && iIndex < m_iWidgetCount ? GetWidget(iIndex) : nullptr;
    if (iEvent == EVENT_HOVER || iEvent == EVENT_NORMAL)
    {
        if (pkWidget != nullptr)
        {
            pkWidget->SetColor(WHITE);
            pkWidget->SetVisible(iEvent == EVENT_HOVER);
        }
        return;
    }
    if (iEvent == EVENT_PRESSED && iIndex != WIDGET_INERT)
        CBasePanel::OnWidgetEvent(iIndex, iEvent);
}

void CPopUpPanelBuilding::DrawNumber(std::int32_t iValue, float fDx, float fDy) const
{
    DrawFigure(std::to_string(iValue), fDx, fDy);
}

void CPopUpPanelBuilding::DrawPercent(std::int32_t iValue, float fDx, float fDy) const
{
    DrawFigure(std::to_string(iValue) + "%", fDx, fDy);
}

void CPopUpPanelBuilding::Draw()
{
    CBasePanel::Draw();
    auto* pkObject = dynamic_cast<CBaseObject*>(m_pkSubject);
    CLocale* pkLocale = panel::Locale();
    if (pkObject == nullptr || pkLocale == nullptr)
        return;
    const float x = m_fX;
    const float y = m_fY;
    // The label is the build menu's picture, which the build panel owns.
    if (const auto* pkLabel = static_cast<const COrvaneImage*>(pkObject->GetLabelWidget()))
        const_cast<COrvaneImage*>(pkLabel)->Draw(x + 34.0f, y + 46.0f);
    pkLocale->BeginFont(0);
    COrvaneWidgetRect kBox;
    kBox.m_fX = x + 148.0f;
    kBox.m_fY = y + 42.0f;
    kBox.m_fWidth = 94.0f;
    kBox.m_fHeight = 100.0f;
    (void)pkLocale->DrawText(0, pkObject->GetDescriptionList(), pkObject->GetDescriptionEntry(), kBox.m_fX, kBox.m_fY,
                             0, &kBox);
    const CObjectRecord& kRecord = pkObject->GetRecord();
    const CGame* pkGame = panel::Game();
    const std::int32_t iStartYear = pkGame != nullptr ? pkGame->GetClock().m_usYear : 0;
    const auto* pkBuilding = dynamic_cast<const CWorldObject*>(pkObject);
    DrawNumber(iStartYear + kRecord.m_ausSaved[0], 64.0f, 170.0f);
    DrawNumber(kRecord.m_usPrice, 64.0f, 186.0f);
    DrawNumber(pkObject->GetRows() * pkObject->GetColumns(), 64.0f, 201.0f);
    DrawNumber(pkBuilding != nullptr ? static_cast<std::int32_t>(pkBuilding->GetFloors().size()) : 1, 64.0f, 217.0f);
    DrawNumber(kRecord.m_usUpkeep, 198.0f, 197.0f);
    DrawPercent(kRecord.m_usAttraction, 198.0f, 216.0f);
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->DrawSecurityLevelIcon(kRecord.m_usRequiredLevel, x + 163.0f, y + 132.0f);
    DrawEntry(m_usSecurityTexts, kRecord.m_usRequiredLevel, x + 190.0f, y + 135.0f);
    if (const auto* pkPathable = dynamic_cast<const CPathableObject*>(pkObject))
    {
        DrawNumber(pkPathable->GetUsers(), 190.0f, 160.0f);
        DrawNumber(static_cast<std::int32_t>(pkPathable->GetPosts().size() + pkPathable->GetStaffMembers().size()),
                   260.0f, 160.0f);
    }
    else if (pkBuilding != nullptr)
    {
        DrawNumber(static_cast<std::int32_t>(pkBuilding->SumRoomOccupancy()), 190.0f, 160.0f);
        DrawNumber(static_cast<std::int32_t>(pkBuilding->SumRoomCapacity()), 260.0f, 160.0f);
    }
    pkLocale->FlushFont(0);
}

// ---- Character ----

const std::array<const char*, 6> CPopUpPanelCharacter::MOOD_ICONS = {
    "images/panels/moodicons/happy.tga", "images/panels/moodicons/indiff.tga",
    "images/panels/moodicons/bored.tga", "images/panels/moodicons/angry.tga",
    "images/panels/moodicons/hungry.tga", "images/panels/moodicons/injured.tga"};

CPopUpPanelCharacter::CPopUpPanelCharacter()
{
    CPopUpPanelCharacter::Reset();
}

CPopUpPanelCharacter::~CPopUpPanelCharacter() = default;

void CPopUpPanelCharacter::Destroy()
{
    for (std::unique_ptr<COrvaneImage>& pkIcon : m_akMoodIcons)
        pkIcon.reset();
    m_pkNoCellIcon.reset();
    m_pkUrgentIcon.reset();
    CPopUpPanel::Destroy();
    CPopUpPanelCharacter::Reset();
}

void CPopUpPanelCharacter::Reset()
{
    CPopUpPanel::Reset();
    m_usMoodTexts = 0;
    m_usSecurityTexts = 0;
    m_usGangTexts = 0;
    m_usJobTitles = 0;
}

void CPopUpPanelCharacter::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    CPopUpPanel::Create(pcImageName, fX, fY, bScale);
    m_usMoodTexts = ListIndex("mood_text");
    m_usSecurityTexts = ListIndex("security_level_text");
    m_usGangTexts = ListIndex("gang_text");
    m_usJobTitles = ListIndex("jobtitles");
    for (std::size_t i = 0; i < MOOD_ICONS.size(); ++i)
        m_akMoodIcons[i] = panel::MakeImage(MOOD_ICONS[i]);
    m_pkNoCellIcon = panel::MakeImage(NO_CELL_ICON);
    m_pkUrgentIcon = panel::MakeImage(URGENT_ICON);
}

bool CPopUpPanelCharacter::Populate(COrvaneTagTree* pkData, bool bRecreate)
{
    if (bRecreate)
        DeleteChildren();
    return CBasePanel::Populate(pkData, bRecreate);
}

COrvaneImage* CPopUpPanelCharacter::GetMoodIcon(std::uint32_t uiMood) const
{
    return uiMood < m_akMoodIcons.size() ? m_akMoodIcons[uiMood].get() : nullptr;
}

std::int32_t CPopUpPanelCharacter::MoodTextEntry(std::uint32_t uiMood, std::uint32_t uiIntensity,
                                                 std::uint32_t uiHealth)
{
    if (uiMood == MOOD_HUNGRY)
        return 12;
    if (uiMood == MOOD_INJURED)
        return uiHealth > 0 ? 13 : 14;
    // Computed wide: a stored mood or intensity out of range gives an entry
    // the text list reports as missing.
    return static_cast<std::int32_t>(static_cast<std::int64_t>(uiMood) * 3 - uiIntensity + 2);
}

void CPopUpPanelCharacter::DrawNumber(std::int32_t iValue, float fDx, float fDy) const
{
    DrawFigure(std::to_string(iValue), fDx, fDy);
}

void CPopUpPanelCharacter::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    CBasePanel::OnWidgetEvent(iIndex, iEvent);
    if (m_iWidgetCount <= WIDGET_DUTY || iIndex != WIDGET_DUTY)
        return;
    COrvaneWidget* pkDuty = GetWidget(WIDGET_DUTY);
    auto* pkStaff = dynamic_cast<CAIStaff*>(m_pkSubject);
    if (pkStaff != nullptr && pkStaff->IsIdle())
    {
        pkDuty->SetColor(WHITE);
        if (iEvent == EVENT_PRESSED)
        {
            pkStaff->RequestRecall();
            Close();
            panel::ConsumeClick(true);
            if (CInterface* pkInterface = panel::Interface())
                pkInterface->GetStack().Remove(this);
        }
        return;
    }
    pkDuty->SetColor(RED);
    pkDuty->SetVisible(true);
}

void CPopUpPanelCharacter::Draw()
{
    CBasePanel::Draw();
    const float x = m_fX;
    const float y = m_fY;
    if (auto* pkCharacter = dynamic_cast<CGameCharacter*>(m_pkSubject))
    {
        pkCharacter->DrawPortrait(x + 34.0f, y + 46.0f);
        if (auto* pkStaff = dynamic_cast<CAIStaff*>(pkCharacter))
        {
            DrawPerson(pkCharacter->GetStats(), pkStaff->GetJobTitleIndex(), true, false);
            return;
        }
        const CCharacterStats& kStats = pkCharacter->GetStats();
        if (pkCharacter->GetHome() == nullptr && m_pkNoCellIcon)
            m_pkNoCellIcon->Draw(x + 111.0f, y + 185.0f);
        if (kStats.m_usHealth == 0 && m_pkUrgentIcon)
            m_pkUrgentIcon->Draw(x + 34.0f, y + 46.0f);
        DrawPerson(kStats, PRISONER_JOB, false, true);
        return;
    }
    const auto* pkObject = dynamic_cast<const CBaseObject*>(m_pkSubject);
    const CStaffPost* pkPost = pkObject != nullptr && m_pkPostNode ? pkObject->FindPost(*m_pkPostNode) : nullptr;
    if (pkPost == nullptr)
        return;
    if (pkPost->m_pkHeadTexture != nullptr)
        pkPost->m_pkHeadTexture->Draw(x + 34.0f, y + 46.0f);
    DrawPerson(*pkPost, pkPost->GetCategory(), true, false);
}

void CPopUpPanelCharacter::DrawPerson(const CCharacterStats& kStats, std::int32_t iJob, bool bStaff, bool bPrisoner)
{
    m_bStaffShown = bStaff;
    CLocale* pkLocale = panel::Locale();
    if (pkLocale == nullptr)
        return;
    const float x = m_fX;
    const float y = m_fY;
    CInterface* pkInterface = panel::Interface();
    const CGame* pkGame = panel::Game();
    pkLocale->BeginFont(0);
    std::string kName;
    if (const CSpawnManager* pkSpawn = pkGame != nullptr ? pkGame->GetSpawnManager() : nullptr)
        pkSpawn->FormatNameList(kName, kStats.m_uiGender, kStats.m_usFirstName, kStats.m_usSurname);
    COrvaneWidgetRect kBox;
    kBox.m_fX = x + 28.0f;
    kBox.m_fY = y + 170.0f;
    kBox.m_fWidth = 96.0f;
    kBox.m_fHeight = 100.0f;
    (void)pkLocale->DrawPlainTextInBox(0, kBox, kName);
    DrawEntry(m_usJobTitles, iJob, x + 168.0f, y + 50.0f);
    if (pkInterface != nullptr)
        pkInterface->DrawStarSignIcon(kStats.m_usStarSign, x + 185.0f, y + 65.0f);
    DrawNumber(kStats.m_usAge, 218.0f, 65.0f);
    DrawNumber(kStats.m_usArrivalYear, 188.0f, 85.0f);
    DrawNumber(kStats.m_usTerm, 188.0f, 100.0f);
    if (pkInterface != nullptr)
        pkInterface->DrawSecurityLevelIcon(kStats.m_usSecurityLevel, x + 165.0f, y + 122.0f);
    DrawEntry(m_usSecurityTexts, kStats.m_usSecurityLevel, x + 188.0f, y + 125.0f);
    if (bPrisoner)
    {
        if (COrvaneImage* pkMood = GetMoodIcon(kStats.m_uiMood))
            pkMood->Draw(x + 25.0f, y + 205.0f);
        const std::int32_t iMoodText = MoodTextEntry(kStats.m_uiMood, kStats.m_usMoodIntensity, kStats.m_usHealth);
        const bool bRed = iMoodText == 14;
        if (bRed)
            SetFontColour(RED);
        DrawEntry(m_usMoodTexts, iMoodText, x + 55.0f, y + 216.0f);
        if (bRed)
            SetFontColour(WHITE);
        if (kStats.m_uiGang > 0)
        {
            if (pkInterface != nullptr)
                pkInterface->DrawGangIcon(kStats.m_uiGang - 1, x + 168.0f, y + 137.0f);
            DrawEntry(m_usGangTexts, static_cast<std::int32_t>(kStats.m_uiGang), x + 203.0f, y + 142.0f);
        }
        DrawNumber(kStats.m_usKnockdowns, 248.0f, 162.0f);
    }
    const float b = bStaff ? 150.0f : 190.0f;
    DrawNumber(kStats.m_usWage, 188.0f, b);
    DrawNumber(kStats.m_usWorkCount, 248.0f, b + 20.0f);
    pkLocale->FlushFont(0);
}
