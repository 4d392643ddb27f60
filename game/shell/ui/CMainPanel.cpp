#include "game/shell/ui/CMainPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CFloorChangePanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/PanelServices.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"

#include <algorithm>
#include <string>

namespace
{
const NiColorRGBA WHITE(1.0f, 1.0f, 1.0f, 1.0f);
} // namespace

CMainPanel::CMainPanel()
{
    CMainPanel::Reset();
}

CMainPanel::~CMainPanel()
{
    CMainPanel::Destroy();
}

void CMainPanel::Destroy()
{
    m_pkOrderBar.reset();
    m_pkFloorPanel.reset();
    COrvaneCanvas::Destroy();
    CMainPanel::Reset();
}

void CMainPanel::Reset()
{
    m_pkOrderBar.reset();
    m_pkFloorPanel.reset();
    m_fTimer = 0.0f;
    m_sMessagesList = 0;
    m_sLevelList = 0;
    m_ucNewMessage = 0;
}

void CMainPanel::Create(const char* pcImageName, float fX, float fY, bool bScale)
{
    COrvaneCanvas::Create(pcImageName, fX, fY, bScale);
    if (const CLocale* pkLocale = panel::Locale())
    {
        m_sMessagesList = pkLocale->FindList("InGameMessages");
        m_sLevelList = pkLocale->FindList("security_level_text");
    }
    m_pkFloorPanel = std::make_unique<CFloorChangePanel>();
    m_pkFloorPanel->Create(FLOORS_IMAGE, 0.0f, 0.0f, false);
    const COrvaneWidget* pkFloorBackground = m_pkFloorPanel->GetWidget(0);
    const float fFloorHeight = pkFloorBackground != nullptr ? pkFloorBackground->GetRect().m_fHeight : 0.0f;
    m_pkFloorPanel->SetPosition(FLOORS_X, panel::ScreenHeight() - fFloorHeight, true);
    std::unique_ptr<COrvaneImage> pkBar = panel::MakeImage(BAR_IMAGE, BAR_LENGTH);
    m_pkOrderBar.reset(static_cast<COrvaneBar*>(pkBar.release()));
}

void CMainPanel::OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent)
{
    COrvaneWidget* pkWidget = iIndex > 0 && iIndex < m_iWidgetCount ? GetWidget(iIndex) : nullptr;
    if (pkWidget == nullptr)
        return;
    CGame* pkGame = panel::Game();
    CInterface* pkInterface = panel::Interface();
    if (iEvent == EVENT_HOVER || iEvent == EVENT_NORMAL)
    {
        pkWidget->SetColor(WHITE);
        pkWidget->SetVisible(iEvent == EVENT_HOVER);
    }
    else if (iEvent == EVENT_PRESSED)
    {
        panel::ConsumeClick(true);
        pkWidget->SetVisible(true);
        if (iIndex == WIDGET_BUILD)
        {
            panel::CancelCarry();
            // The speed to come back to is the one before the first build
            // panel paused the game, not the pause itself.
            if (pkGame != nullptr && pkInterface != nullptr && !pkInterface->IsBuildPanelOpen())
                pkGame->SetSavedSpeed(pkGame->GetGameSpeed());
            CWorldObject* pkBuilding = pkGame != nullptr ? pkGame->GetSelectedBuilding() : nullptr;
            if (pkInterface != nullptr && pkBuilding == nullptr)
            {
                pkInterface->ShowPanel(CInterface::PANEL_BUILD_EXTERNAL, false);
                if (CBuildPanel* pkBuild = pkInterface->GetBuildPanel(false))
                    pkBuild->RepeatItem();
            }
            else if (pkInterface != nullptr)
            {
                pkInterface->CloseAllPanels();
                pkInterface->ShowPanel(CInterface::PANEL_BUILD_INTERNAL, false);
                if (CBuildPanel* pkBuild = pkInterface->GetBuildPanel(true))
                {
                    (void)pkBuild->SelectPageForBuilding(pkBuilding->GetName());
                    pkBuild->RepeatItem();
                }
                pkGame->ChangeFloor(5);
            }
            if (pkGame != nullptr)
                pkGame->SetGameSpeed(0.0f);
        }
        else if (iIndex == WIDGET_MANAGEMENT)
        {
            panel::CancelCarry();
            if (pkInterface != nullptr)
                pkInterface->ShowPanel(CInterface::PANEL_MANAGEMENT, false);
        }
        else if (iIndex >= WIDGET_SPEED_0 && iIndex <= WIDGET_SPEED_3)
        {
            panel::CancelCarry();
            if (pkGame != nullptr)
                pkGame->SetGameSpeed(static_cast<float>(iIndex - WIDGET_SPEED_0));
        }
        else if (iIndex == WIDGET_MESSAGES)
        {
            if (pkInterface != nullptr)
                pkInterface->ShowPanel(CInterface::PANEL_MESSAGES, true);
            pkWidget->SetVisible(false);
        }
        else
        {
            pkWidget->SetColor(WHITE);
            pkWidget->SetVisible(false);
            panel::CancelCarry();
            if (pkInterface != nullptr)
                pkInterface->ShowPanel(CInterface::PANEL_OPTIONS, false);
        }
    }
    if (iIndex >= WIDGET_SPEED_0 && iIndex <= WIDGET_SPEED_3 && pkGame != nullptr && pkGame->GetGameSpeed() <= 3.0f &&
        pkGame->GetGameSpeed() >= 0.0f)
    {
        if (COrvaneWidget* pkCurrent = GetWidget(WIDGET_SPEED_0 + static_cast<std::int32_t>(pkGame->GetGameSpeed())))
            pkCurrent->SetVisible(true);
        pkWidget->SetColor(WHITE);
    }
}

void CMainPanel::UpdateHover()
{
    COrvaneCanvas::UpdateHover();
    const CGame* pkGame = panel::Game();
    if (m_pkFloorPanel && pkGame != nullptr && pkGame->GetSelectedBuilding() != nullptr)
        m_pkFloorPanel->UpdateHover();
}

bool CMainPanel::Covers(const NiVec2& kPoint) const
{
    if (COrvaneCanvas::Covers(kPoint))
        return true;
    const CGame* pkGame = panel::Game();
    return m_pkFloorPanel && pkGame != nullptr && pkGame->GetSelectedBuilding() != nullptr &&
           m_pkFloorPanel->Covers(kPoint);
}

std::int32_t CMainPanel::MessageSample(std::int32_t iMessage)
{
    switch (iMessage)
    {
    case 14: return 18;
    case 12: return 17;
    case 15:
    case 18:
    case 19: return 16;
    default: return 15;
    }
}

void CMainPanel::Draw()
{
    // The frame draws before it updates: a cell built in the last update
    // must not let a false front message show for one frame.
    while (DropStaleFront())
    {
    }
    COrvaneCanvas::Draw();
    CGame* pkGame = panel::Game();
    CLocale* pkLocale = panel::Locale();
    const CPrisonStatistics* pkStatistics = panel::Statistics();
    const float fX = m_fX;
    const float fY = m_fY;
    const std::uint16_t usLevel = pkStatistics != nullptr ? pkStatistics->m_usPrisonLevel : 0;
    if (pkLocale != nullptr)
    {
        pkLocale->BeginFont(0);
        if (pkGame != nullptr)
        {
            std::string kTime;
            std::string kYear;
            pkGame->GetGameClock().FormatTime(kTime, kYear);
            pkLocale->DrawTextAt(0, fX + TIME_X, fY + READOUT_Y, kTime);
            pkLocale->DrawTextAt(0, fX + YEAR_X, fY + READOUT_Y, kYear);
        }
        if (pkStatistics != nullptr)
        {
            pkLocale->DrawTextAt(0, fX + 290.0f, fY + 56.0f, std::to_string(pkStatistics->GetBalance()));
            pkLocale->DrawTextAt(0, fX + 423.0f, fY + 56.0f,
                                 std::to_string(pkStatistics->m_usPrisonersNow) + " / " +
                                     std::to_string(pkStatistics->m_usBeds));
        }
    }
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->DrawSecurityLevelIcon(usLevel, fX + 536.0f, fY + 54.0f);
    if (pkLocale != nullptr)
    {
        pkLocale->DrawText(0, m_sLevelList, usLevel, fX + 553.0f, fY + 56.0f, 0, nullptr);
        if (!m_kQueue.empty())
        {
            const CTickerMessage& kFront = m_kQueue.front();
            COrvaneWidgetRect kBox;
            kBox.m_fX = fX + 155.0f;
            kBox.m_fY = fY + 17.0f;
            kBox.m_fWidth = 485.0f;
            kBox.m_fHeight = 30.0f;
            if (kFront.m_iNumber < 1)
                pkLocale->DrawText(0, m_sMessagesList, kFront.m_iMessage, kBox.m_fX, kBox.m_fY, 0, &kBox);
            else
                pkLocale->DrawNumberedText(kFront.m_iNumber, 0, m_sMessagesList, kFront.m_iMessage, kBox.m_fX,
                                           kBox.m_fY, 0, &kBox);
        }
    }
    if (!m_kQueue.empty() && m_ucNewMessage != 0)
        panel::PlaySample(MessageSample(m_kQueue.front().m_iMessage));
    m_ucNewMessage = 0;
    if (m_pkOrderBar)
    {
        const std::int32_t iOrder = pkStatistics != nullptr ? pkStatistics->m_iOrder / 10 : 0;
        m_pkOrderBar->SetValue(static_cast<std::uint8_t>(std::clamp(iOrder, 0, 100)));
        m_pkOrderBar->DrawIfVisible(fX + 664.0f, fY + 27.0f);
    }
    if (pkLocale != nullptr)
        pkLocale->FlushFont(0);
    if (m_pkFloorPanel && pkGame != nullptr && pkGame->GetSelectedBuilding() != nullptr)
        m_pkFloorPanel->Draw();
}

void CMainPanel::PostNumberedMessage(std::int32_t iMessage, std::int32_t iNumber)
{
    if (iMessage < 0)
        return;
    if (m_kQueue.empty())
    {
        m_ucNewMessage = 1;
        // Its full time also when no frame has run since the reset.
        m_fTimer = MESSAGE_SECONDS;
    }
    m_kQueue.push_back({iMessage, iNumber});
}

bool CMainPanel::DropStaleFront()
{
    // A new game's first arrival falls due before the player has had a
    // frame to build, so "no beds" waits behind the welcome messages while
    // the player builds cells; by its turn it would be false.
    if (m_kQueue.empty() || m_kQueue.front().m_iMessage != CSpawnManager::MESSAGE_NO_BEDS)
        return false;
    const CPrisonStatistics* pkStatistics = panel::Statistics();
    if (pkStatistics == nullptr || pkStatistics->m_usBeds == 0)
        return false;
    m_kQueue.pop_front();
    m_fTimer = MESSAGE_SECONDS;
    m_ucNewMessage = m_kQueue.empty() ? 0 : 1;
    return true;
}

std::int32_t CMainPanel::Tick(float fFrameTime)
{
    while (DropStaleFront())
    {
    }
    if (m_kQueue.empty())
    {
        m_fTimer = MESSAGE_SECONDS;
        return -1;
    }
    const CGame* pkGame = panel::Game();
    m_fTimer -= fFrameTime * (pkGame != nullptr ? pkGame->GetGameSpeed() : 1.0f);
    if (m_fTimer > 0.0f)
        return -1;
    const CTickerMessage kTaken = m_kQueue.front();
    m_kQueue.pop_front();
    if (CInterface* pkInterface = panel::Interface())
        pkInterface->AddHistoryMessage(kTaken.m_iMessage, -1, kTaken.m_iNumber);
    m_fTimer = MESSAGE_SECONDS;
    while (DropStaleFront())
    {
    }
    if (!m_kQueue.empty())
        m_ucNewMessage = 1;
    return kTaken.m_iMessage;
}
