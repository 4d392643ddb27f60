// The game object's key bindings, code entry and in-game clicks.
#include "game/shell/CGame.h"

#include "framework/COrvaneComposite.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWorldPicker.h"
#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/CMouse.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPathableObject.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"

#include <string_view>
#include <utility>

namespace
{
constexpr std::uint32_t KEY_SPACE = 32;
constexpr std::int32_t MESSAGE_QUIT = 2;
constexpr std::int32_t CHEAT_MONEY = 10000;
constexpr std::int32_t CHEAT_SCORE = 100;
// The building loop samples by the words of the building's type name.
constexpr std::pair<const char*, std::int32_t> LOOP_SAMPLES[] = {
    {"staff", 9}, {"food", 12}, {"work", 10}, {"health", 11}};
constexpr std::int32_t LOOP_SAMPLE_OTHER = 13;
} // namespace

std::int32_t CGame::BuildingLoopSample(std::string_view kTypeName)
{
    for (const auto& [pcWord, iSample] : LOOP_SAMPLES)
        if (kTypeName.find(pcWord) != std::string_view::npos)
            return iSample;
    return LOOP_SAMPLE_OTHER;
}

std::int32_t CGame::BuildingLoopSample(const CWorldObject& kBuilding)
{
    for (const auto& [pcWord, iSample] : LOOP_SAMPLES)
        if (kBuilding.NameContains(pcWord))
            return iSample;
    return LOOP_SAMPLE_OTHER;
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
    case 'c':
        if (m_pkSelectedBuilding != nullptr)
            ChangeFloor(-1);
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
    case COrvaneKeys::KEY_F1 + 3:
    case COrvaneKeys::KEY_F1 + 4:
    case COrvaneKeys::KEY_F1 + 5:
    case COrvaneKeys::KEY_F1 + 6:
    case COrvaneKeys::KEY_F1 + 7:
    case COrvaneKeys::KEY_F1 + 8:
        // F4 to F9: every prisoner's mood 0 to 5.
        if (m_pkSpawnManager != nullptr)
            m_pkSpawnManager->SetAllPrisonersMood(uiKey - (COrvaneKeys::KEY_F1 + 3));
        break;
    default:
        break;
    }
    return 1;
}

int CGame::OnKeyUp(const COrvaneKeyEvent& kEvent)
{
    COrvaneLastKeyEvent kLast;
    kLast.m_uiFirst = kEvent.m_ucCtrl;
    kLast.m_uiSecond = kEvent.m_ucShift;
    kLast.m_uiKeyCode = kEvent.m_uiKeyCode;
    kLast.m_uiFourth = kEvent.m_ucCharacter;
    RecordKeyEvent(kLast);
    return 1;
}

void CGame::OnQuitConfirmed()
{
    ResetGame();
}

COrvaneObject* CGame::GetPickedObject() const
{
    if (m_pkPicker == nullptr || m_pkPicker->GetResult() == 0)
        return nullptr;
    const COrvaneComposite* pkModel = COrvaneComposite::FromHandle(m_pkPicker->GetResult());
    return pkModel != nullptr ? pkModel->GetOwner() : nullptr;
}

const NiNodeAttachment* CGame::GetPickedPost() const
{
    return m_pkPicker != nullptr && m_pkPicker->GetResult() != 0 ? m_pkPicker->GetStaffAttachment() : nullptr;
}

int CGame::OnMouse(std::int32_t iButton)
{
    if (GetState() != STATE_IN_GAME)
        return GetState() < STATE_FRONT_END || GetState() > STATE_IN_GAME ? 0 : 1;
    if (iButton != CMouse::BUTTON_RIGHT_DOWN && iButton != CMouse::BUTTON_LEFT_DOWN)
        return 1;
    COrvaneMouse* pkMouse = GetMouse();
    // The frame's pick was taken where the pointer stood before this frame's
    // messages: a pointer that came here in the press's own frame (one quick
    // move, as a touchpad or a remote desktop sends it) would act on what lay
    // under its old place. Taken again here, before the view may change.
    if (pkMouse != nullptr && m_pkPicker != nullptr &&
        (pkMouse->GetPosition().x != m_afPickedAt[0] || pkMouse->GetPosition().y != m_afPickedAt[1]))
        UpdateMousePick();

    // The view riding along with the arrivals gives way to the player: the
    // follow ends and the camera goes back to the level's start view. The
    // reset itself ends the follow; clearing the flag first made it return
    // at once, leaving the camera behind the vehicle and its animation as it was.
    if (m_pkSpawnManager != nullptr)
        m_pkSpawnManager->ResetCameraView(false);
    // The flag is the last frame's: a pointer that came onto a panel in
    // the press's own frame is judged where the press is.
    const CInterface* pkInterface = CInterface::Get();
    const bool bPanelTookIt =
        pkMouse != nullptr &&
        (pkMouse->IsOverInterface() ||
         (pkInterface != nullptr && pkInterface->TakesPressAt(pkMouse->GetPosition(), IsInterfaceResting())));
    if (iButton == CMouse::BUTTON_RIGHT_DOWN)
    {
        if (!bPanelTookIt)
            OnRightClickInWorld();
        return 1;
    }
    if (!bPanelTookIt)
        OnLeftClickInWorld();
    // A left click on the world never stays held in the framework's
    // buttons; one a panel took is the panel's to release.
    if (auto* pkGameMouse = bPanelTookIt ? nullptr : dynamic_cast<CMouse*>(pkMouse))
        (void)pkGameMouse->OnLeftUp(0);
    return 1;
}

void CGame::OnRightClickInWorld()
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    if (pkPlacement != nullptr && pkPlacement->IsPlacing())
    {
        (void)pkPlacement->Rotate();
        return;
    }
    COrvaneObject* pkPicked = GetPickedObject();
    if (pkPicked == nullptr || (m_pkSpawnManager != nullptr && m_pkSpawnManager->GetCarried() != nullptr))
        return;
    CInterface* pkInterface = CInterface::Get();
    // Buildings and other objects open the building pop-up; a click on one
    // of their staff posts shows that post's person instead.
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(pkPicked);
    if (dynamic_cast<CWorldObject*>(pkPicked) != nullptr || dynamic_cast<CPathableObject*>(pkPicked) != nullptr)
    {
        const NiNodeAttachment* pkPost = GetPickedPost();
        if (pkInterface != nullptr)
            pkInterface->ShowPopUp(pkPost != nullptr ? CInterface::PANEL_STAFF : CInterface::PANEL_BUILDING, pkPicked,
                                   pkPost);
        return;
    }
    if (pkCharacter == nullptr)
        return;
    if (m_pkSelectedBuilding != nullptr && !m_pkSelectedBuilding->IsCurrentBuilding(pkCharacter->GetGrid()))
        ActOnSelectedBuilding();
    if (pkInterface != nullptr)
        pkInterface->ShowPopUp(dynamic_cast<CAIStaff*>(pkPicked) != nullptr ? CInterface::PANEL_STAFF
                                                                           : CInterface::PANEL_PRISONER,
                               pkPicked, nullptr);
    if (CCamera* pkCamera = GetGameCamera())
        pkCamera->SetFollowTarget(pkCharacter);
}

void CGame::OnLeftClickInWorld()
{
    CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    if (pkPlacement != nullptr && pkPlacement->IsPlacing())
    {
        // Built: the page picks the same item up again, for the next copy.
        CInterface* pkInterface = CInterface::Get();
        if (pkPlacement->Commit() == 1 && pkInterface != nullptr)
            pkInterface->RepeatBuildItem(m_pkSelectedBuilding != nullptr);
        return;
    }
    const bool bMarking = pkPlacement != nullptr && pkPlacement->GetMode() == CBuildPlacement::MODE_MARKER;
    CSpawnManager* pkSpawns = m_pkSpawnManager.get();
    const bool bCarrying = pkSpawns != nullptr && pkSpawns->GetCarried() != nullptr;
    COrvaneObject* pkPicked = GetPickedObject();
    // What stands on a building's floors shows from outside, between the
    // bars of its upper floor and over its low walls, and the pick names it
    // rather than the building: a room seen there is the building to the
    // click that enters it.
    if (!bMarking)
        if (auto* pkRoom = dynamic_cast<CBaseObject*>(pkPicked);
            pkRoom != nullptr && dynamic_cast<CWorldObject*>(pkRoom) == nullptr && pkRoom->IsPlaced())
            if (CWorldObject* pkOwner = CWorldObject::FindOwnerOf(pkRoom->GetGrid());
                pkOwner != nullptr && pkOwner != m_pkSelectedBuilding)
                pkPicked = pkOwner;
    bool bUsed = false;
    if (auto* pkBuilding = dynamic_cast<CWorldObject*>(pkPicked))
    {
        // A building not yet placed ends the click.
        if (!pkBuilding->IsPlaced())
            return;
        bUsed = true;
        if (bMarking)
        {
            if (m_pkSelectedBuilding == pkBuilding)
                ActOnSelectedBuilding();
            ConfirmDemolish(pkBuilding);
            if (m_pkPicker != nullptr)
                m_pkPicker->Reset();
        }
        else
        {
            if (m_pkSelectedBuilding != nullptr && m_pkSelectedBuilding != pkBuilding)
                ActOnSelectedBuilding();
            if (m_pkSelectedBuilding == nullptr)
            {
                m_pkSelectedBuilding = pkBuilding;
                EnterBuilding();
            }
        }
    }
    else if (pkPicked != nullptr && !bCarrying)
    {
        auto* pkCharacter = dynamic_cast<CGameCharacter*>(pkPicked);
        if (auto* pkObject = dynamic_cast<CBaseObject*>(pkPicked); pkObject != nullptr && bMarking)
        {
            CDynamicObjectManager::GetInstance()->DestroyObject(pkObject, false);
            if (m_pkPicker != nullptr)
                m_pkPicker->Reset();
            PlaySample(SAMPLE_MARKER_REMOVED, 255, false);
            bUsed = true;
        }
        else if (pkCharacter != nullptr && pkCharacter->IsPickable() && pkSpawns != nullptr)
        {
            if (CInterface* pkInterface = CInterface::Get())
                pkInterface->CloseAllPanels();
            (void)pkSpawns->PickUpCharacter(pkCharacter);
            bUsed = true;
        }
    }
    if (!bUsed && bCarrying)
        pkSpawns->DropCharacter();
}

void CGame::ConfirmDemolish(COrvaneObject* pkObject)
{
    m_pkDemolishTarget = pkObject;
    CInterface* pkInterface = CInterface::Get();
    if (dynamic_cast<CWorldObject*>(pkObject) != nullptr && pkInterface != nullptr)
    {
        pkInterface->ShowConfirmation(MESSAGE_DEMOLISH, [this] { Demolish(); });
        return;
    }
    Demolish();
}

void CGame::Demolish()
{
    if (m_pkDemolishTarget != nullptr)
        CDynamicObjectManager::GetInstance()->DestroyObject(m_pkDemolishTarget, false);
    m_pkDemolishTarget = nullptr;
    m_pkSelectedBuilding = nullptr;
    if (m_pkPicker != nullptr)
        m_pkPicker->Reset();
    if (CBlockGridManager* pkGrids = CBlockGridManager::GetInstance())
        pkGrids->ResetPick();
    PlaySample(SAMPLE_DEMOLISH, 255, false);
}

void CGame::EnterBuilding()
{
    if (m_pkSelectedBuilding == nullptr)
        return;
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->CloseAllPanels();
    // Only climbing a floor shows what stands on it, so a floor left
    // hidden (the ground floor's rooms and people) shows here.
    if (CBlockGridStack* pkStack = m_pkSelectedBuilding->GetStack())
        pkStack->ShowAllFloors();
    m_pkSelectedBuilding->FocusCamera();
    if (CCamera* pkCamera = GetGameCamera())
        pkCamera->SaveView();
    ChangeFloor(-1);
    PlaySample(SAMPLE_ENTER_BUILDING, 255, false);
    PlaySample(BuildingLoopSample(*m_pkSelectedBuilding), 255, true);
}

void CGame::ActOnSelectedBuilding()
{
    if (m_pkSelectedBuilding != nullptr)
    {
        m_pkSelectedBuilding->ShowAllFloors();
        if (CWorld* pkWorld = GetWorld())
            pkWorld->UpdateScene(0.0f);
    }
    if (CCamera* pkCamera = GetGameCamera())
        pkCamera->RestoreView();
    if (CInterface* pkInterface = CInterface::Get())
        pkInterface->CloseAllPanels();
    if (m_pkSelectedBuilding != nullptr)
        StopSample(BuildingLoopSample(*m_pkSelectedBuilding));
    m_pkSelectedBuilding = nullptr;
}
