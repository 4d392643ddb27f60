#include "game/shell/ui/CInterface.h"

#include <memory>

CInterface* CInterface::Get()
{
    return dynamic_cast<CInterface*>(COrvaneInterface::GetActivePanel());
}

CInterface* CInterface::Rebuild(COrvaneTagTree* pkData, bool bCreatePanels)
{
    COrvaneInterface::ReleaseActivePanel();
    auto pkInterface = std::make_unique<CInterface>();
    if (!COrvaneInterface::SetActivePanel(pkInterface.get()))
        return nullptr;
    CInterface* pkRegistered = pkInterface.release(); // the registry owns it now
    (void)pkRegistered->Init();
    if (bCreatePanels)
        (void)pkRegistered->CreatePanels(pkData);
    return pkRegistered;
}

bool CInterface::CreatePanels(COrvaneTagTree* pkData)
{
    (void)pkData;
    m_kCalls.emplace_back("CreatePanels");
    return true;
}

bool CInterface::PrepareForLevel(COrvaneTagTree* pkData)
{
    (void)pkData;
    m_kCalls.emplace_back("PrepareForLevel");
    return true;
}

void CInterface::ResetForFrontEnd()
{
    m_bPanelOpen = false;
    m_kCalls.emplace_back("ResetForFrontEnd");
}

void CInterface::CloseAllPanels()
{
    m_bPanelOpen = false;
    m_kCalls.emplace_back("CloseAllPanels");
}

void CInterface::ShowConfirmation(std::int32_t iMessage, std::function<void()> kOnYes)
{
    m_bPanelOpen = true;
    m_kOnYes = std::move(kOnYes);
    m_kCalls.emplace_back("ShowConfirmation " + std::to_string(iMessage));
}

bool CInterface::AnswerConfirmation(bool bYes)
{
    if (!m_kOnYes)
        return false;
    std::function<void()> kOnYes = std::move(m_kOnYes);
    m_kOnYes = nullptr;
    m_bPanelOpen = false;
    if (bYes)
        kOnYes();
    return true;
}

void CInterface::ShowDeskTop(bool bShow)
{
    m_kCalls.emplace_back(bShow ? "ShowDeskTop 1" : "ShowDeskTop 0");
}

void CInterface::Update(float fDeltaTime)
{
    (void)fDeltaTime;
    ++m_uiUpdates;
}

void CInterface::UpdateDuringNight()
{
    if (m_bPanelOpen)
        ProcessInput();
    ++m_uiNightUpdates;
}

void CInterface::PostMessage(std::int32_t iMessage)
{
    m_kMessages.push_back({iMessage, 0, false});
}

void CInterface::PostNumberedMessage(std::int32_t iMessage, std::int32_t iValue)
{
    m_kMessages.push_back({iMessage, iValue, true});
}
