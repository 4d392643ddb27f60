#include "framework/COrvaneInterface.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneMouse.h"

namespace
{
std::unique_ptr<COrvaneInterface> s_spActive;
} // namespace

COrvaneInterface::COrvaneInterface()
{
    COrvaneInterface::Reset();
}

COrvaneInterface::~COrvaneInterface()
{
    m_pucState.reset();
}

void COrvaneInterface::Destroy()
{
    m_pucState.reset();
    Reset();
}

bool COrvaneInterface::CanTakeInput(const COrvaneCanvas* pkCanvas) const
{
    return !m_kStack.HasModal() || m_kStack.IsTopModal(pkCanvas);
}

void COrvaneInterface::SetHoverText(std::int16_t sList, std::int16_t sIndex)
{
    m_usHoverList = static_cast<std::uint16_t>(sList);
    if (sIndex >= 0)
        m_sHoverIndex = sIndex;
}

bool COrvaneInterface::Init()
{
    if (!m_pucState)
        m_pucState = std::make_unique<std::uint8_t>(0);
    return true;
}

void COrvaneInterface::Reset()
{
    m_sHoverIndex = -1;
    m_sReserved1 = -1;
    m_usHoverList = 0xFFFF;
    m_sReserved2 = -1;
    m_sReserved3 = -1;
    m_uiCounter1 = 0;
    m_uiCounter2 = 0;
    m_pucState.reset();
}

COrvaneInterface* COrvaneInterface::Register()
{
    SetActivePanel(this);
    return GetInstance();
}

void COrvaneInterface::FinishClick(bool bReleaseButton)
{
    m_kStack.MarkChanged();
    if (!bReleaseButton)
        return;
    COrvaneApplication* pkApp = COrvaneApplication::GetExisting();
    COrvaneGame* pkGame = pkApp != nullptr ? pkApp->GetGame() : nullptr;
    if (COrvaneMouse* pkMouse = pkGame != nullptr ? pkGame->GetMouse() : nullptr)
        pkMouse->OnLeftUp(0);
}

bool COrvaneInterface::SetActivePanel(COrvaneInterface* pkInterface)
{
    if (s_spActive || pkInterface == nullptr)
        return false;
    s_spActive.reset(pkInterface);
    return true;
}

void COrvaneInterface::ReleaseActivePanel()
{
    s_spActive.reset();
}

COrvaneInterface* COrvaneInterface::GetActivePanel()
{
    return s_spActive.get();
}
