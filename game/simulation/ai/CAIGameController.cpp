#include "game/simulation/ai/CAIGameController.h"

#include "framework/COrvaneAIStateBlock.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneCastMemo.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneIOObject.h"
#include "framework/COrvaneSplineBase.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CGameHost.h"

#include <vector>

CAIGameController::CAIGameController(const char* pcName)
{
    SetName(pcName);
}

CAIGameController::~CAIGameController() = default;

CGameCharacter* CAIGameController::Character() const
{
    COrvaneAIStateBlock* pkBlock = GetBoundBlock();
    static thread_local COrvaneCastMemo<CGameCharacter> s_kCast;
    return pkBlock ? s_kCast.Cast(pkBlock->m_pkOwner) : nullptr;
}

void CAIGameController::SwitchTo(CGameCharacter& kCharacter, const char* pcName)
{
    kCharacter.SetController(pcName, false, false);
}

std::int32_t CAIGameController::PlanStep(CGameCharacter& kCharacter)
{
    if (kCharacter.GetPathState() != CGameCharacter::PATH_READY)
        kCharacter.PathToDestination(PATH_BUDGET, 0);
    const std::int32_t iStatus = kCharacter.GetPathState();
    // A finished animation that does not loop starts again while waiting.
    if (iStatus == CGameCharacter::PATH_SEARCHING && kCharacter.GetPlayMode() == 0 && kCharacter.IsAnimationDone())
    {
        if (COrvaneAnim* pkAnimation = kCharacter.GetCurrentAnimation())
            kCharacter.PlayAnimation(pkAnimation->GetName(), 0, 0.0f, 0, 1);
    }
    return iStatus;
}

bool CAIGameController::IsSplineFinished(const CGameCharacter& kCharacter)
{
    if (!kCharacter.GetSpline())
        return true;
    return kCharacter.IsReversed() ? kCharacter.GetT() <= 0.0f : kCharacter.GetT() >= 1.0f;
}

void CAIGameController::ShowAtConnectorEnd(CGameCharacter& kCharacter)
{
    const COrvaneGridMarker* pkConnector = kCharacter.GetConnector();
    if (!pkConnector || kCharacter.IsModelVisible() || !IsSplineFinished(kCharacter))
        return;
    const CBlockGrid* pkTo = CConnector::GetDestination(*pkConnector);
    const CBlockGridStack* pkStack = pkTo ? pkTo->GetStack() : nullptr;
    const void* pkBuilding = pkStack ? pkStack->GetOwner() : nullptr;
    const CGameHost* pkHost = CGameHost::Get();
    const void* pkSelected = pkHost ? static_cast<const void*>(pkHost->GetSelectedBuilding()) : nullptr;
    const COrvaneBlockGrid* pkViewed = pkStack ? pkStack->GetCurrentFloor() : nullptr;
    if (!pkBuilding || (pkBuilding == pkSelected && pkViewed && pkTo->GetId() <= pkViewed->GetId()))
        kCharacter.SetModelHidden(false);
}

void CAIGameController::WritePosition(COrvaneFile& kFile, const NiVec3& kPosition)
{
    kFile.WriteString((COrvaneIOObject::FormatFloat(kPosition.x) + "," + COrvaneIOObject::FormatFloat(kPosition.y) +
                       "," + COrvaneIOObject::FormatFloat(kPosition.z) + "\r\n")
                          .c_str());
}

bool CAIGameController::ReadPosition(COrvaneFile& kFile, NiVec3& kPosition)
{
    if (kFile.IsEof())
        return false;
    std::string kLine;
    kFile.ReadLine(kLine);
    std::vector<float> kValues;
    if (!COrvaneIOObject::SplitFloats(kLine, kValues) || kValues.size() != 3)
        return false;
    kPosition = NiVec3(kValues[0], kValues[1], kValues[2]);
    return true;
}
