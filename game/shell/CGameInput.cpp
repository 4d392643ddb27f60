// The game object's key bindings, code entry and in-game clicks.
#include "game/shell/CGame.h"

#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneMouse.h"
#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/CMouse.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"

#include <string_view>

namespace
{
constexpr std::uint32_t KEY_SPACE = 32;
constexpr std::int32_t MESSAGE_QUIT = 2;
constexpr std::int32_t CHEAT_MONEY = 10000;
constexpr std::int32_t CHEAT_SCORE = 100;
} // namespace

std::int32_t CGame::BuildingLoopSample(std::string_view kTypeName)
{
    if (kTypeName.find("staff") != std::string_view::npos)
        return 9;
    if (kTypeName.find("food") != std::string_view::npos)
        return 12;
    if (kTypeName.find("work") != std::string_view::npos)
        return 10;
    if (kTypeName.find("health") != std::string_view::npos)
        return 11;
    return 13;
}

int CGame::OnKey(const COrvaneKeyEvent& kEvent)
{
    const std::uint32_t uiKey = kEvent.m_uiKeyCode;

    // A goal or failure result is on the screen: only leaving it counts.
    if (m_pkConditions != nullptr && m_pkConditions->IsResultPending())
    {
        if (uiKey == KEY_SPACE || uiKey == COrvaneKeys::KEY_ESCAPE)
            ResetGame();
        return 1;
    }
    if (IsInputBlocked())
        return 1;

    if (m_iCodeEntry == CODE_TYPING)
    {
        m_kTypedCode.push_back(static_cast<char>(uiKey & 0xFF));
        if (std::string_view(CHEAT_CODE).find(m_kTypedCode) == std::string_view::npos)
        {
            m_iCodeEntry = CODE_IDLE;
            m_kTypedCode.clear();
        }
        else if (m_kTypedCode == CHEAT_CODE)
        {
            m_iCodeEntry = CODE_CHEATS;
        }
        return 1;
    }

    CInterface* pkInterface = CInterface::Get();
    switch (uiKey)
    {
    case KEY_SPACE:
        if (pkInterface != nullptr)
            pkInterface->CloseAllPanels();
        break;
    case '0':
        SetGameSpeed(0.0f);
        break;
    case '1':
        SetGameSpeed(1.0f);
        break;
    case '2':
        SetGameSpeed(2.0f);
        break;
    case '3':
        SetGameSpeed(3.0f);
        break;
    case 'e':
        if (m_pkSelectedBuilding != nullptr)
            ActOnSelectedBuilding();
        break;
    case COrvaneKeys::KEY_ESCAPE:
        if (pkInterface != nullptr)
            pkInterface->ShowConfirmation(MESSAGE_QUIT, [this] { OnQuitConfirmed(); });
        break;
    case COrvaneKeys::KEY_ENTER:
        if (m_iCodeEntry == CODE_IDLE)
            m_iCodeEntry = CODE_TYPING;
        break;
    default:
        break;
    }

    if (m_iCodeEntry != CODE_CHEATS)
        return 1;
    switch (uiKey)
    {
    case '4':
        SetGameSpeed(6.0f);
        break;
    case '5':
        SetGameSpeed(9.0f);
        break;
    case '6':
        SetGameSpeed(12.0f);
        break;
    case '`':
        SetGameSpeed(0.5f);
        break;
    case 'm':
        if (CPrisonStatistics* pkStatistics = GetStatistics())
            pkStatistics->m_iOtherIncome += CHEAT_MONEY;
        break;
    case 'x':
        if (CPrisonStatistics* pkStatistics = GetStatistics())
            pkStatistics->AddScore(CHEAT_SCORE);
        break;
    case COrvaneKeys::KEY_F1:
    case COrvaneKeys::KEY_F1 + 1:
    case COrvaneKeys::KEY_F1 + 2:
        if (CWorld* pkWorld = GetWorld())
        {
            const auto iLevel = static_cast<std::int32_t>(uiKey - COrvaneKeys::KEY_F1 + 1);
            if (pkWorld->GetUpgradeLevel() < iLevel)
                pkWorld->SetUpgradeLevel(iLevel);
        }
        break;
    default:
        break;
    }
    return 1;
}

int CGame::OnKeyUp(const COrvaneKeyEvent& kEvent)
{
    COrvaneLastKeyEvent& kLast = GetLastKeyEvent();
    kLast.m_uiFirst = kEvent.m_ucCtrl;
    kLast.m_uiSecond = kEvent.m_ucShift;
    kLast.m_uiKeyCode = kEvent.m_uiKeyCode;
    kLast.m_uiFourth = kEvent.m_ucCharacter;
    return 1;
}

void CGame::OnQuitConfirmed()
{
    ResetGame();
}

int CGame::OnMouse(std::int32_t iButton)
{
    if (GetState() != STATE_IN_GAME)
        return GetState() < STATE_FRONT_END || GetState() > STATE_IN_GAME ? 0 : 1;

    COrvaneMouse* pkMouse = GetMouse();
    if (iButton == CMouse::BUTTON_RIGHT_DOWN || iButton == CMouse::BUTTON_LEFT_DOWN)
    {
        // The view riding along with the arrivals gives way to the player.
        if (m_pkSpawnManager != nullptr)
            m_pkSpawnManager->ResetCameraView(false);
        const bool bPanelTookIt = pkMouse != nullptr && pkMouse->IsOverInterface();
        CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
        const bool bPlacing = !bPanelTookIt && pkPlacement != nullptr && pkPlacement->IsPlacing();
        if (iButton == CMouse::BUTTON_RIGHT_DOWN && bPlacing)
            (void)pkPlacement->Rotate();
        if (iButton == CMouse::BUTTON_LEFT_DOWN)
        {
            // Until the build pages exist nothing picks the same item up
            // again after a commit.
            if (bPlacing)
                (void)pkPlacement->Commit();
            // A left click never stays held in the framework's buttons.
            if (auto* pkGameMouse = dynamic_cast<CMouse*>(pkMouse))
                (void)pkGameMouse->OnLeftUp(0);
        }
    }
    return 1;
}

void CGame::ConfirmDemolish(COrvaneObject* pkObject)
{
    m_pkDemolishTarget = pkObject;
    Demolish();
}

void CGame::Demolish()
{
    if (m_pkDemolishTarget != nullptr)
        CDynamicObjectManager::GetInstance()->DestroyObject(m_pkDemolishTarget, false);
    m_pkDemolishTarget = nullptr;
    m_pkSelectedBuilding = nullptr;
    if (CBlockGridManager* pkGrids = CBlockGridManager::GetInstance())
        pkGrids->ResetPick();
    PlaySample(SAMPLE_DEMOLISH, 255, false);
}

void CGame::ActOnSelectedBuilding()
{
    if (CCamera* pkCamera = GetGameCamera())
        pkCamera->RestoreView();
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->CloseAllPanels();
    m_pkSelectedBuilding = nullptr;
}
