#include "game/simulation/ai/CAIMovementControllers.h"

#include "framework/COrvaneAIStateBlock.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneSplineBase.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameHost.h"
#include "game/simulation/objects/CPathableObject.h"

namespace
{
constexpr std::uint8_t SETTLE = 0, PAUSE = 1, CHOOSE = 2, PLAN = 3, WALK = 4;
constexpr std::uint8_t ROUTE = 1, ROUTE_PLAN = 2, ROUTE_WALK = 3;

// The building whose floor the grid is; null for an outside area. A stack
// names its building by the building's own address.
const CBaseObject* BuildingOf(const COrvaneBlockGrid* pkGrid)
{
    const auto* pkFloor = dynamic_cast<const CBlockGrid*>(pkGrid);
    const CBlockGridStack* pkStack = pkFloor ? pkFloor->GetStack() : nullptr;
    const void* pkOwner = pkStack ? pkStack->GetOwner() : nullptr;
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetExisting();
    if (!pkOwner || !pkManager)
        return nullptr;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (auto* pkPlaced = dynamic_cast<const CBaseObject*>(pkObject);
            pkPlaced && pkPlaced->IsBuilding() && dynamic_cast<const void*>(pkPlaced) == pkOwner)
            return pkPlaced;
    return nullptr;
}

const CBlockGridStack* StackOf(const COrvaneBlockGrid* pkGrid)
{
    const auto* pkFloor = dynamic_cast<const CBlockGrid*>(pkGrid);
    return pkFloor ? pkFloor->GetStack() : nullptr;
}

// The character walks its path, shifted a little, from where it stands.
void StartWalk(CGameCharacter& kCharacter)
{
    if (!kCharacter.GetSpline())
        return;
    kCharacter.RandomiseOffset();
    kCharacter.AnchorSplineStart();
    kCharacter.SetWalkMode(CGameCharacter::MODE_FOLLOWING);
    kCharacter.PlayWalkAnimation();
}

// The path ends at the centre of the reserved list's entry cell.
void EndAtEntry(CGameCharacter& kCharacter, const CPathableObject& kObject)
{
    const COrvaneBlockGrid* pkGrid = kObject.GetGrid();
    NiVec3 kAt;
    if (pkGrid && pkGrid->CellPosition(kObject.GetAccessCell(kCharacter.GetUseSlotList()), kAt, true))
        kCharacter.SetSplineEnd(kAt);
}

// Through the connector: onto its destination at its exit.
void CrossConnector(CGameCharacter& kCharacter)
{
    const COrvaneGridMarker* pkConnector = kCharacter.GetConnector();
    if (!pkConnector)
        return;
    kCharacter.SetGrid(CConnector::GetDestination(*pkConnector));
    kCharacter.SetPosition(CConnector::GetEnd(*pkConnector), 0);
    kCharacter.SetConnector(nullptr);
}
} // namespace

// ------------------------------------------------------------------ wander

CAIControllerWander::CAIControllerWander() : CAIGameController("wander")
{
}

int CAIControllerWander::HandleEvent(std::int32_t iEvent, std::uint8_t ucState)
{
    CGameCharacter* pkCharacter = Character();
    if (!pkCharacter)
        return 0;
    CGameCharacter& kMe = *pkCharacter;
    const bool bLoops = kMe.GetPlayMode() != 0;
    switch (ucState)
    {
    case SETTLE:
        if (iEvent == EVENT_UPDATE)
        {
            kMe.SetFree(true);
            if (bLoops || kMe.IsAnimationDone())
                RequestState(PAUSE);
        }
        return 1;
    case PAUSE:
        if (iEvent == EVENT_ENTER)
        {
            if (bLoops || kMe.IsAnimationDone())
                kMe.PlayPauseAnimation();
            kMe.SetFree(true);
            kMe.ResetAIState();
            kMe.SetControllerTimer(1.0f);
        }
        else if (iEvent == EVENT_UPDATE)
        {
            if (kMe.GetControllerTimer() > 0.0f)
                kMe.SetControllerTimer(kMe.GetControllerTimer() - kMe.GetLastTimeStep());
            if (kMe.GetControllerTimer() <= 0.0f)
            {
                kMe.SetControllerTimer(1.0f);
                RequestState(kMe.IsTargetCellWalkable() ? PLAN : CHOOSE);
            }
        }
        return 1;
    case CHOOSE:
        if (iEvent != EVENT_UPDATE || !kMe.ChooseWanderTarget())
            return 1;
        if (!kMe.IsTargetCellWalkable())
        {
            kMe.ResetAIState();
            RequestState(PAUSE);
        }
        else if (CGameCharacter* pkPartner = kMe.GetPartner())
        {
            if (pkPartner->BeUsedByCharacter(&kMe))
            {
                SwitchTo(kMe, "characterUse");
                kMe.SetFree(false);
            }
            else
            {
                RequestState(PAUSE);
            }
        }
        else if (!kMe.GetTargetObject() || kMe.GetTargetObject()->GetGrid() == kMe.GetGrid())
        {
            RequestState(PLAN);
        }
        else
        {
            SwitchTo(kMe, "pathToSpecific");
            kMe.SetFree(false);
        }
        return 1;
    case PLAN:
        if (iEvent == EVENT_ENTER)
        {
            kMe.ClearPath();
        }
        else if (iEvent == EVENT_UPDATE)
        {
            const std::int32_t iStatus = PlanStep(kMe);
            CPathableObject* pkObject = kMe.GetTargetPathable();
            if (iStatus == CGameCharacter::PATH_FAILED)
            {
                if (pkObject)
                {
                    pkObject->SetOpen(false);
                    kMe.SetPreviousTarget(pkObject);
                }
                kMe.AbandonTarget();
                RequestState(PAUSE);
            }
            else if (iStatus == CGameCharacter::PATH_READY)
            {
                kMe.SetFailedWalks(0);
                if (pkObject)
                    EndAtEntry(kMe, *pkObject);
                else if (const COrvaneGridMarker* pkConnector = kMe.GetConnector())
                    kMe.SetSplineEnd(pkConnector->m_kPosition);
                RequestState(WALK);
            }
        }
        return 1;
    case WALK:
        if (iEvent == EVENT_ENTER)
        {
            StartWalk(kMe);
        }
        else if (iEvent == EVENT_UPDATE && kMe.GetWalkMode() != CGameCharacter::MODE_FOLLOWING)
        {
            kMe.SetFree(false);
            kMe.SetPathState(CGameCharacter::PATH_IDLE);
            if (kMe.GetTargetObject())
            {
                SwitchTo(kMe, "objectUse");
            }
            else if (const COrvaneGridMarker* pkConnector = kMe.GetConnector())
            {
                kMe.FollowSpline(CConnector::GetSpline(*pkConnector), false);
                SwitchTo(kMe, "connectorUse");
            }
            else
            {
                RequestState(PAUSE);
            }
        }
        return 1;
    default:
        return 1;
    }
}

int CAIControllerWander::Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    if (kBlock.m_ucCurrentState != WALK)
        return COrvaneAICharacterController::Save(kFile, kBlock);
    kFile.WriteString("3,3,0\r\n");
    return 1;
}

// ---------------------------------------------------------- pathToSpecific

CAIControllerPathToSpecificObject::CAIControllerPathToSpecificObject() : CAIGameController("pathToSpecific")
{
}

COrvaneGridMarker* CAIControllerPathToSpecificObject::ChooseLeg(const CGameCharacter& kCharacter,
                                                                const CPathableObject& kObject, bool& bNeeded)
{
    bNeeded = false;
    auto* pkGrid = dynamic_cast<CBlockGrid*>(kCharacter.GetGrid());
    const COrvaneBlockGrid* pkObjectGrid = kObject.GetGrid();
    if (!pkGrid || !pkObjectGrid)
    {
        bNeeded = true;
        return nullptr;
    }
    if (pkObjectGrid == pkGrid)
        return nullptr;
    bNeeded = true;
    const CBlockGridStack* pkMine = StackOf(pkGrid);
    const CBlockGridStack* pkTheirs = StackOf(pkObjectGrid);
    const bool bInBuilding = pkMine && pkMine->GetOwner();
    const auto* pkObjectFloor = dynamic_cast<const CBlockGrid*>(pkObjectGrid);
    // Another floor of the same building: one floor down or up.
    if (bInBuilding && pkMine == pkTheirs && pkObjectFloor)
        return pkGrid->GetConnector(pkGrid->GetId() + (pkObjectFloor->GetFloorIndex() < pkGrid->GetFloorIndex() ? -1 : 1));
    const CBaseObject* pkBuilding = BuildingOf(pkObjectGrid);
    if (!bInBuilding)
    {
        // Outside: into the object's building, or toward the area it
        // stands on, else toward the main yard.
        if (pkBuilding && pkBuilding->GetGrid() == pkGrid)
        {
            const CBlockGrid* pkGround = pkTheirs ? pkTheirs->GetFloor(0) : nullptr;
            return pkGround ? pkGrid->GetConnector(pkGround->GetId()) : nullptr;
        }
        const COrvaneBlockGrid* pkStandsOn = pkBuilding ? pkBuilding->GetGrid() : pkObjectGrid;
        COrvaneGridMarker* pkConnector = pkStandsOn ? pkGrid->GetConnector(pkStandsOn->GetId()) : nullptr;
        if (!pkConnector && pkObjectGrid->GetId() != 1)
            pkConnector = pkGrid->GetConnector(1);
        return pkConnector;
    }
    // Inside a building, the object elsewhere: out from the ground floor,
    // else one floor down.
    if (pkGrid->GetFloorIndex() <= 0)
    {
        const CBaseObject* pkMyBuilding = BuildingOf(pkGrid);
        return pkMyBuilding && pkMyBuilding->GetGrid() ? pkGrid->GetConnector(pkMyBuilding->GetGrid()->GetId())
                                                       : nullptr;
    }
    return pkGrid->GetConnector(pkGrid->GetId() - 1);
}

int CAIControllerPathToSpecificObject::HandleEvent(std::int32_t iEvent, std::uint8_t ucState)
{
    CGameCharacter* pkCharacter = Character();
    if (!pkCharacter)
        return 0;
    CGameCharacter& kMe = *pkCharacter;
    switch (ucState)
    {
    case 0:
        if (iEvent == EVENT_UPDATE)
            RequestState(ROUTE);
        return 1;
    case ROUTE:
        if (iEvent == EVENT_ENTER)
        {
            kMe.SetFree(true);
        }
        else if (iEvent == EVENT_UPDATE)
        {
            CPathableObject* pkObject = kMe.GetTargetPathable();
            if (!pkObject)
            {
                SwitchTo(kMe, "wander");
                return 1;
            }
            bool bNeeded = false;
            COrvaneGridMarker* pkConnector = ChooseLeg(kMe, *pkObject, bNeeded);
            if (bNeeded && !pkConnector)
            {
                SwitchTo(kMe, "wander");
                return 1;
            }
            kMe.SetConnector(pkConnector);
            kMe.SetDestination(pkConnector ? kMe.GetGrid()->CellAt(pkConnector->m_kPosition)
                                           : pkObject->GetAccessCell(kMe.GetUseSlotList()));
            RequestState(ROUTE_PLAN);
        }
        return 1;
    case ROUTE_PLAN:
        if (iEvent == EVENT_ENTER)
        {
            kMe.ClearPath();
        }
        else if (iEvent == EVENT_UPDATE)
        {
            const std::int32_t iStatus = PlanStep(kMe);
            CPathableObject* pkObject = kMe.GetTargetPathable();
            if (iStatus == CGameCharacter::PATH_FAILED)
            {
                if (pkObject && pkObject->GetGrid() == kMe.GetGrid())
                {
                    pkObject->SetOpen(false);
                    kMe.SetPreviousTarget(pkObject);
                }
                kMe.AbandonTarget();
                SwitchTo(kMe, "wander");
            }
            else if (iStatus == CGameCharacter::PATH_READY)
            {
                if (const COrvaneGridMarker* pkConnector = kMe.GetConnector())
                {
                    if (!kMe.GetSpline())
                        kMe.FollowSpline(CConnector::GetSpline(*pkConnector), false);
                    else
                        kMe.AppendSpline(CConnector::GetSpline(*pkConnector));
                }
                else if (pkObject)
                {
                    EndAtEntry(kMe, *pkObject);
                }
                kMe.SetFailedWalks(0);
                RequestState(ROUTE_WALK);
            }
        }
        return 1;
    case ROUTE_WALK:
        if (iEvent == EVENT_ENTER)
        {
            StartWalk(kMe);
            kMe.SetFree(kMe.GetSpline() && !IsSplineFinished(kMe));
        }
        else if (iEvent == EVENT_UPDATE)
        {
            kMe.SetFree(kMe.GetSpline() && !IsSplineFinished(kMe));
            if (kMe.GetWalkMode() == CGameCharacter::MODE_FOLLOWING)
            {
                ShowAtConnectorEnd(kMe);
                return 1;
            }
            kMe.SetFree(false);
            kMe.SetPathState(CGameCharacter::PATH_IDLE);
            if (!kMe.GetConnector())
            {
                SwitchTo(kMe, "objectUse");
                return 1;
            }
            CrossConnector(kMe);
            RequestState(ROUTE);
        }
        return 1;
    default:
        return 1;
    }
}

int CAIControllerPathToSpecificObject::Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    NiVec3 kAt;
    const COrvaneGridMarker* pkConnector = pkCharacter ? pkCharacter->GetConnector() : nullptr;
    if (pkConnector && pkCharacter->GetWalkMode() == CGameCharacter::MODE_FOLLOWING &&
        IsSplineFinished(*pkCharacter))
        kAt = pkConnector->m_kPosition;
    else if (const NiVec3* pkOwn = pkCharacter ? pkCharacter->GetModelPosition() : nullptr)
        kAt = *pkOwn;
    kFile.WriteString("1,1,0\r\n");
    WritePosition(kFile, kAt);
    return 1;
}

std::unique_ptr<COrvaneAIControllerState> CAIControllerPathToSpecificObject::NewState() const
{
    return std::make_unique<CAIPositionState>();
}

bool CAIControllerPathToSpecificObject::ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const
{
    return COrvaneAICharacterController::ParseState(kFile, kState) &&
           ReadPosition(kFile, static_cast<CAIPositionState&>(kState).m_kPosition);
}

void CAIControllerPathToSpecificObject::ApplyState(const COrvaneAIControllerState& kState,
                                                   COrvaneAIStateBlock& kBlock)
{
    COrvaneAICharacterController::ApplyState(kState, kBlock);
    if (auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner))
        pkCharacter->SetPosition(static_cast<const CAIPositionState&>(kState).m_kPosition, 0);
}

// ------------------------------------------------------------ connectorUse

CAIControllerConnectorUse::CAIControllerConnectorUse() : CAIGameController("connectorUse")
{
}

int CAIControllerConnectorUse::HandleEvent(std::int32_t iEvent, std::uint8_t ucState)
{
    CGameCharacter* pkCharacter = Character();
    if (!pkCharacter)
        return 0;
    CGameCharacter& kMe = *pkCharacter;
    if (ucState == 0 && iEvent == EVENT_UPDATE)
    {
        kMe.SetFree(false);
        kMe.PlayWalkAnimation();
        RequestState(1);
    }
    else if (ucState == 1 && iEvent == EVENT_ENTER)
    {
        kMe.SetWalkMode(CGameCharacter::MODE_FOLLOWING);
    }
    else if (ucState == 1 && iEvent == EVENT_UPDATE)
    {
        if (kMe.GetWalkMode() == CGameCharacter::MODE_FOLLOWING)
        {
            ShowAtConnectorEnd(kMe);
            return 1;
        }
        CrossConnector(kMe);
        SwitchTo(kMe, "wander");
    }
    return 1;
}

int CAIControllerConnectorUse::Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    NiVec3 kAt;
    if (const COrvaneGridMarker* pkConnector = pkCharacter ? pkCharacter->GetConnector() : nullptr)
        kAt = pkConnector->m_kPosition;
    else if (const NiVec3* pkOwn = pkCharacter ? pkCharacter->GetModelPosition() : nullptr)
        kAt = *pkOwn;
    WritePosition(kFile, kAt);
    return 1;
}

std::unique_ptr<COrvaneAIControllerState> CAIControllerConnectorUse::NewState() const
{
    return std::make_unique<CAIPositionState>();
}

bool CAIControllerConnectorUse::ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const
{
    kState.m_ucCurrentState = 1;
    kState.m_ucRequestedState = 1;
    kState.m_ucChangePending = 0;
    return ReadPosition(kFile, static_cast<CAIPositionState&>(kState).m_kPosition);
}

void CAIControllerConnectorUse::ApplyState(const COrvaneAIControllerState& kState, COrvaneAIStateBlock& kBlock)
{
    COrvaneAICharacterController::ApplyState(kState, kBlock);
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    if (!pkCharacter)
        return;
    pkCharacter->SetPosition(static_cast<const CAIPositionState&>(kState).m_kPosition, 0);
    pkCharacter->SetController("wander", true, true);
}

// ------------------------------------------------------------------- spawn

CAIControllerSpawn::CAIControllerSpawn()
{
    SetName("spawn");
}

int CAIControllerSpawn::HandleEvent(std::int32_t iEvent, std::uint8_t ucState)
{
    CGameCharacter* pkCharacter = Character();
    if (!pkCharacter)
        return 0;
    CGameCharacter& kMe = *pkCharacter;
    if (ucState == 0 && iEvent == EVENT_UPDATE)
    {
        kMe.SetFree(false);
        kMe.PlayWalkAnimation();
        RequestState(1);
    }
    else if (ucState == 1 && iEvent == EVENT_UPDATE && kMe.GetWalkMode() != CGameCharacter::MODE_FOLLOWING)
    {
        kMe.SetUpdateHook(true);
        kMe.FinishSpline();
        kMe.SetHome(dynamic_cast<CBaseObject*>(kMe.GetTargetObject()));
        CPathableObject* pkHome = dynamic_cast<CPathableObject*>(kMe.GetHome());
        std::int32_t iList = -1;
        std::int32_t iSlot = -1;
        // A home without a free place leaves the character to wander.
        if (pkHome && pkHome->FindFreeUseSlot(iList, iSlot) && pkHome->AssignUser(&kMe, iList, iSlot))
        {
            kMe.SetTargetObject(pkHome);
            kMe.SetUseSlot(static_cast<std::int16_t>(iList), static_cast<std::int16_t>(iSlot));
            SwitchTo(kMe, "pathToSpecific");
        }
        else
        {
            SwitchTo(kMe, "wander");
        }
    }
    return 1;
}

int CAIControllerSpawn::Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    const CGameHost* pkHost = CGameHost::Get();
    const CSpawnManager* pkSpawn = pkHost ? pkHost->GetSpawnManager() : nullptr;
    NiVec3 kAt;
    const bool bRoad = pkSpawn && pkSpawn->m_pkArrivalPath && pkSpawn->m_pkArrivalPath->m_pkSpline &&
                       pkSpawn->m_pkArrivalPath->m_pkSpline->GetEndPosition(kAt);
    if (!bRoad)
        if (const NiVec3* pkOwn = pkCharacter ? pkCharacter->GetModelPosition() : nullptr)
            kAt = *pkOwn;
    WritePosition(kFile, kAt);
    return 1;
}
