#include "game/simulation/ai/CAIUseControllers.h"

#include "framework/COrvaneAIStateBlock.h"
#include "framework/COrvaneAnim.h"
#include "framework/COrvaneAnimationSpline.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneIOObject.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/objects/CPathableObject.h"

#include <cmath>
#include <vector>

namespace
{
constexpr std::uint8_t APPROACH = 1, WALK_IN = 2, USE = 3, WALK_OUT = 4;
constexpr std::uint8_t PLAN = 1, CLOSE_IN = 2, BOUT = 3;
constexpr float DEGREES = 57.29578f;

const char* SplineName(const CGameCharacter& kCharacter)
{
    const COrvaneSplineBase* pkSpline = kCharacter.GetSpline();
    return pkSpline ? pkSpline->GetName() : nullptr;
}

bool ReadLine(COrvaneFile& kFile, std::string& kLine)
{
    if (kFile.IsEof())
        return false;
    kFile.ReadLine(kLine);
    return true;
}

bool ReadNumber(COrvaneFile& kFile, long long& llValue)
{
    std::string kLine;
    std::vector<long long> kValues;
    if (!ReadLine(kFile, kLine) || !COrvaneIOObject::SplitIntegers(kLine, kValues) || kValues.size() != 1)
        return false;
    llValue = kValues[0];
    return true;
}

bool ReadFloat(COrvaneFile& kFile, float& fValue)
{
    std::string kLine;
    std::vector<float> kValues;
    if (!ReadLine(kFile, kLine) || !COrvaneIOObject::SplitFloats(kLine, kValues) || kValues.size() != 1)
        return false;
    fValue = kValues[0];
    return true;
}
} // namespace

// --------------------------------------------------------------- objectUse

CAIControllerObjectUse::CAIControllerObjectUse() : CAIGameController("objectUse")
{
}

bool CAIControllerObjectUse::ExtractAnimationName(const std::string& kName, std::string& kOut) const
{
    const std::size_t uiAt = kName.find('_');
    if (uiAt == std::string::npos)
        return false;
    kOut = kName.substr(uiAt + 1);
    return true;
}

void CAIControllerObjectUse::CancelUse()
{
    CGameCharacter* pkCharacter = Character();
    if (!pkCharacter)
        return;
    if (CPathableObject* pkObject = pkCharacter->GetTargetPathable())
        pkObject->ReleaseUser(pkCharacter, pkCharacter->GetUseSlotList(), pkCharacter->GetUseSlot());
    RequestState(0);
    pkCharacter->SetUseSlot(-1, -1);
    pkCharacter->SetPreviousTarget(pkCharacter->GetTargetObject());
}

void CAIControllerObjectUse::StopObjectAnimation(CGameCharacter& kCharacter)
{
    kCharacter.StopTargetAnimation();
}

int CAIControllerObjectUse::HandleEvent(std::int32_t iEvent, std::uint8_t ucState)
{
    CGameCharacter* pkCharacter = Character();
    if (!pkCharacter)
        return 0;
    CGameCharacter& kMe = *pkCharacter;
    CPathableObject* pkObject = kMe.GetTargetPathable();
    switch (ucState)
    {
    case 0:
        if (iEvent == EVENT_UPDATE)
        {
            kMe.SetFree(false);
            RequestState(APPROACH);
        }
        return 1;
    case APPROACH:
    {
        if (iEvent != EVENT_UPDATE)
            return 1;
        kMe.SetPreviousTarget(kMe.GetTargetObject());
        COrvaneAnimationSpline* pkSpline =
            pkObject && pkObject->IsUserAt(&kMe, kMe.GetUseSlotList(), kMe.GetUseSlot())
                ? pkObject->GetSlotSpline(kMe.GetUseSlotList(), kMe.GetUseSlot())
                : nullptr;
        if (!pkSpline)
        {
            SwitchTo(kMe, "wander");
            return 1;
        }
        kMe.FollowSpline(pkSpline, true);
        kMe.ClearOffset();
        kMe.AnchorSplineStart();
        RequestState(WALK_IN);
        return 1;
    }
    case WALK_IN:
    {
        if (iEvent == EVENT_ENTER)
            kMe.PlayWalkAnimation();
        if (iEvent != EVENT_UPDATE || kMe.GetWalkMode() == CGameCharacter::MODE_FOLLOWING)
            return 1;
        kMe.FinishSpline();
        const char* pcName = SplineName(kMe);
        std::string kAnimation;
        if (!pcName)
        {
            CancelUse();
            SwitchTo(kMe, "wander");
            return 1;
        }
        if (!ExtractAnimationName(pcName, kAnimation))
        {
            kMe.OnPartnerTask();
            CancelUse();
            SwitchTo(kMe, "wander");
            return 1;
        }
        if (!kMe.PlayWorkAnimation())
        {
            if (pkObject)
                pkObject->PlayAnimation(kAnimation.c_str(), 1, ENDLESS, 1, 1);
            const std::string kOwn = kAnimation.substr(0, kAnimation.find('_'));
            auto* pkPrisoner = dynamic_cast<CAIPrisoner*>(&kMe);
            if (pkPrisoner && kMe.GetStats().m_usSecurityLevel == 3)
                kMe.PlayAnimation(kOwn.c_str(), 1, ENDLESS, 0, 1);
            else
                kMe.PlayAnimation(kOwn.c_str(), 1, 0.0f, 0, 3);
            if (kMe.GetModel())
                kMe.GetModel()->RestartSequence();
        }
        if (pkObject)
        {
            kMe.Rotate(NiVec3::UNIT_Y, pkObject->GetSlotHeading(kMe.GetUseSlotList(), kMe.GetUseSlot()), false);
            if (const NiVec3* pkAt = pkObject->GetSlotPosition(kMe.GetUseSlotList(), kMe.GetUseSlot()))
                kMe.SetPosition(*pkAt, 0);
        }
        RequestState(USE);
        return 1;
    }
    case USE:
        if (iEvent != EVENT_UPDATE || !kMe.IsAnimationDone())
            return 1;
        StopObjectAnimation(kMe);
        kMe.PlayWalkAnimation();
        kMe.OnPartnerTask();
        kMe.TurnBack(true);
        kMe.AnchorSplineStart();
        if (pkObject)
            pkObject->ReleaseUser(&kMe, kMe.GetUseSlotList(), kMe.GetUseSlot());
        RequestState(WALK_OUT);
        return 1;
    case WALK_OUT:
        if (iEvent == EVENT_ENTER)
            kMe.PlayWalkAnimation();
        if (iEvent == EVENT_UPDATE && kMe.GetWalkMode() != CGameCharacter::MODE_FOLLOWING)
        {
            kMe.FinishSpline();
            CancelUse();
            SwitchTo(kMe, "wander");
        }
        return 1;
    default:
        return 1;
    }
}

int CAIControllerObjectUse::Restore(COrvaneAIStateBlock& kBlock)
{
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    if (!pkCharacter)
        return 0;
    CPathableObject* pkObject = pkCharacter->GetTargetPathable();
    const std::int16_t sList = pkCharacter->GetUseSlotList();
    const std::int16_t sSlot = pkCharacter->GetUseSlot();
    COrvaneAnimationSpline* pkSpline = pkObject ? pkObject->GetSlotSpline(sList, sSlot) : nullptr;
    if (!pkSpline || !pkObject->AssignUser(pkCharacter, sList, sSlot))
    {
        pkCharacter->SetUseSlot(-1, -1);
        pkCharacter->SetController("wander", true, true);
        return 1;
    }
    const float fProgress = pkCharacter->GetT();
    const bool bReversed = pkCharacter->IsReversed();
    const std::int32_t iMode = pkCharacter->GetWalkMode();
    pkCharacter->FollowSpline(pkSpline, false);
    pkCharacter->SetWalkMode(iMode);
    pkCharacter->ClearOffset();
    pkCharacter->SetSplineProgress(fProgress, bReversed);
    if (kBlock.m_ucCurrentState == WALK_OUT)
    {
        pkCharacter->PlayWalkAnimation();
        pkCharacter->SetSplineProgress(fProgress, true);
    }
    return 1;
}

int CAIControllerObjectUse::Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    COrvaneAICharacterController::Save(kFile, kBlock);
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    std::string kText = std::to_string(kBlock.m_asValues[2]) + "\r\n" + std::to_string(kBlock.m_asValues[1]) + "\r\n";
    if (pkCharacter && (kBlock.m_ucCurrentState == WALK_IN || kBlock.m_ucCurrentState == WALK_OUT))
    {
        kText += COrvaneIOObject::FormatFloat(pkCharacter->GetT()) + "\r\n" +
                 (pkCharacter->IsReversed() ? "1" : "0") + "\r\n";
    }
    else if (pkCharacter && kBlock.m_ucCurrentState == USE)
    {
        const COrvaneAnim* pkAnimation = pkCharacter->GetCurrentAnimation();
        const char* pcName = pkAnimation ? pkAnimation->GetName() : nullptr;
        kText += std::string(pcName ? pcName : "") + "\r\n" + COrvaneIOObject::FormatFloat(pkCharacter->GetTimer()) +
                 "\r\n" + (pkCharacter->GetPlayMode() != 0 ? "1" : "0") + "\r\n";
    }
    kFile.WriteString(kText.c_str());
    return 1;
}

std::unique_ptr<COrvaneAIControllerState> CAIControllerObjectUse::NewState() const
{
    return std::make_unique<CAIObjectUseState>();
}

bool CAIControllerObjectUse::ParseState(COrvaneFile& kFile, COrvaneAIControllerState& kState) const
{
    auto& kOwn = static_cast<CAIObjectUseState&>(kState);
    long long llList = 0;
    long long llSlot = 0;
    if (!COrvaneAICharacterController::ParseState(kFile, kState) || !ReadNumber(kFile, llList) ||
        !ReadNumber(kFile, llSlot) || llList < -1 || llList > 0x7FFF || llSlot < -1 || llSlot > 0x7FFF)
        return false;
    kOwn.m_sList = static_cast<std::int16_t>(llList);
    kOwn.m_sSlot = static_cast<std::int16_t>(llSlot);
    if (kState.m_ucCurrentState == WALK_IN || kState.m_ucCurrentState == WALK_OUT)
    {
        long long llReversed = 0;
        if (!ReadFloat(kFile, kOwn.m_fProgress) || !ReadNumber(kFile, llReversed))
            return false;
        kOwn.m_ucReversed = llReversed != 0 ? 1 : 0;
    }
    else if (kState.m_ucCurrentState == USE)
    {
        long long llLooping = 0;
        if (!ReadLine(kFile, kOwn.m_kAnimation) || !ReadFloat(kFile, kOwn.m_fTimer) || !ReadNumber(kFile, llLooping))
            return false;
        kOwn.m_ucLooping = llLooping != 0 ? 1 : 0;
    }
    return true;
}

void CAIControllerObjectUse::ApplyState(const COrvaneAIControllerState& kState, COrvaneAIStateBlock& kBlock)
{
    const auto& kOwn = static_cast<const CAIObjectUseState&>(kState);
    COrvaneAICharacterController::ApplyState(kState, kBlock);
    kBlock.m_asValues[2] = kOwn.m_sList;
    kBlock.m_asValues[1] = kOwn.m_sSlot;
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    if (!pkCharacter)
        return;
    if (kState.m_ucCurrentState == WALK_IN || kState.m_ucCurrentState == WALK_OUT)
    {
        pkCharacter->SetSplineProgress(kOwn.m_fProgress, kOwn.m_ucReversed != 0);
        pkCharacter->SetWalkMode(CGameCharacter::MODE_FOLLOWING);
    }
    else if (kState.m_ucCurrentState == USE && !kOwn.m_kAnimation.empty())
    {
        const bool bLooping = kOwn.m_ucLooping != 0 || kOwn.m_fTimer < 0.0f;
        pkCharacter->PlayAnimation(kOwn.m_kAnimation.c_str(), bLooping ? 1 : 0, kOwn.m_fTimer, 0, 1);
        // A use saved in the frame its animation ran out ends as it would
        // have: not after a whole further round of the animation.
        if (kOwn.m_fTimer <= 0.0f && pkCharacter->GetCurrentAnimation() != nullptr)
            pkCharacter->SetTimer(kOwn.m_fTimer);
    }
}

// ------------------------------------------------------------ characterUse

CAIControllerCharacterUse::CAIControllerCharacterUse() : CAIGameController("characterUse")
{
}

std::string CAIControllerCharacterUse::PartnerAnimation(const std::string& kName)
{
    std::string kOwn = kName.substr(kName.rfind('/') == std::string::npos ? 0 : kName.rfind('/') + 1);
    const std::size_t uiAt = kOwn.find('_');
    if (uiAt == std::string::npos || uiAt + 1 >= kOwn.size())
        return std::string();
    kOwn[uiAt + 1] = 'd';
    return kOwn;
}

void CAIControllerCharacterUse::StartBout(CGameCharacter& kMe)
{
    CGameCharacter* pkPartner = kMe.GetPartner();
    const NiVec3* pkMine = kMe.GetModelPosition();
    const NiVec3* pkTheirs = pkPartner ? pkPartner->GetModelPosition() : nullptr;
    if (!pkMine || !pkTheirs)
        return;
    const NiVec3 kMine = *pkMine;
    const NiVec3 kDelta = *pkTheirs - kMine;
    const float fAngle = std::atan2(kDelta.x, kDelta.z) * DEGREES + 90.0f;
    kMe.SetPathState(CGameCharacter::PATH_IDLE);
    kMe.SetWalkMode(CGameCharacter::MODE_INTERACTING);
    if (!kMe.Interact(pkPartner))
        return;
    if (kMe.GetModel())
        kMe.GetModel()->RestartSequence();
    kMe.Rotate(NiVec3::UNIT_Y, fAngle + 180.0f, false);
    const COrvaneAnim* pkMineAnimation = kMe.GetCurrentAnimation();
    const std::string kAnswer = PartnerAnimation(pkMineAnimation && pkMineAnimation->GetName() ? pkMineAnimation->GetName() : "");
    pkPartner->SetPathState(CGameCharacter::PATH_IDLE);
    pkPartner->SetWalkMode(CGameCharacter::MODE_INTERACTING);
    if (!kAnswer.empty())
    {
        pkPartner->PlayAnimation(kAnswer.c_str(), 1, 0.0f, 0, 1);
        if (pkPartner->GetModel())
            pkPartner->GetModel()->RestartSequence();
    }
    pkPartner->Rotate(NiVec3::UNIT_Y, fAngle, false);
    const float fDistance = kMe.GetInteractionDistance();
    const float fRadians = fAngle / DEGREES;
    pkPartner->SetPosition(kMine + NiVec3(-fDistance * std::sin(fRadians), 0.0f, -fDistance * std::cos(fRadians)), 0);
}

void CAIControllerCharacterUse::EndInteraction(CGameCharacter& kMe)
{
    CGameCharacter* pkPartner = kMe.GetPartner();
    if (pkPartner && pkPartner->ReleasePartner(&kMe))
        kMe.SetPreviousPartner(pkPartner);
    // A partner that will not let go is dropped all the same: both end free.
    kMe.ClearPath();
    kMe.ResetAIState();
    SwitchTo(kMe, "wander");
}

int CAIControllerCharacterUse::HandleEvent(std::int32_t iEvent, std::uint8_t ucState)
{
    CGameCharacter* pkCharacter = Character();
    if (!pkCharacter)
        return 0;
    CGameCharacter& kMe = *pkCharacter;
    CGameCharacter* pkPartner = kMe.GetPartner();
    switch (ucState)
    {
    case 0:
        if (iEvent == EVENT_UPDATE)
        {
            kMe.SetFree(false);
            RequestState(PLAN);
        }
        return 1;
    case PLAN:
        if (iEvent == EVENT_ENTER)
        {
            kMe.ClearPath();
        }
        else if (iEvent == EVENT_UPDATE)
        {
            if (!pkPartner)
            {
                EndInteraction(kMe);
                return 1;
            }
            const std::int32_t iStatus = PlanStep(kMe);
            if (iStatus == CGameCharacter::PATH_FAILED)
            {
                EndInteraction(kMe);
                kMe.AbandonTarget();
            }
            else if (iStatus == CGameCharacter::PATH_READY)
            {
                kMe.SetFailedWalks(0);
                if (kMe.GetSpline())
                {
                    pkPartner->FollowSpline(kMe.GetSpline(), false);
                    pkPartner->TurnBack(true);
                    pkPartner->AnchorSplineStart();
                    pkPartner->PlayWalkAnimation();
                    kMe.AnchorSplineStart();
                    RequestState(CLOSE_IN);
                }
                else
                {
                    StartBout(kMe);
                    RequestState(BOUT);
                }
            }
        }
        return 1;
    case CLOSE_IN:
        if (iEvent == EVENT_ENTER)
        {
            kMe.SetWalkMode(CGameCharacter::MODE_FOLLOWING);
            kMe.PlayWalkAnimation();
        }
        else if (iEvent == EVENT_UPDATE)
        {
            const NiVec3* pkMine = kMe.GetModelPosition();
            const NiVec3* pkTheirs = pkPartner ? pkPartner->GetModelPosition() : nullptr;
            if (!pkMine || !pkTheirs)
            {
                EndInteraction(kMe);
                return 1;
            }
            const float fDx = pkTheirs->x - pkMine->x;
            const float fDz = pkTheirs->z - pkMine->z;
            const float fDistance = kMe.GetInteractionDistance();
            const bool bWalking = kMe.GetWalkMode() == CGameCharacter::MODE_FOLLOWING;
            if (bWalking && fDx * fDx + fDz * fDz > fDistance * fDistance && kMe.GetT() < pkPartner->GetT())
                return 1;
            StartBout(kMe);
            RequestState(BOUT);
        }
        return 1;
    case BOUT:
        if (iEvent != EVENT_UPDATE || !kMe.IsAnimationDone())
            return 1;
        kMe.SetControllerTimer(kMe.GetControllerTimer() - 1.0f);
        if (kMe.GetControllerTimer() <= 0.0f || !pkPartner)
            EndInteraction(kMe);
        else
            StartBout(kMe);
        return 1;
    default:
        return 1;
    }
}

int CAIControllerCharacterUse::Save(COrvaneFile& kFile, COrvaneAIStateBlock& kBlock)
{
    if (kBlock.m_ucCurrentState <= PLAN)
        return COrvaneAICharacterController::Save(kFile, kBlock);
    kFile.WriteString("1,1,0\r\n");
    return 1;
}

int CAIControllerCharacterUse::Restore(COrvaneAIStateBlock& kBlock)
{
    auto* pkCharacter = dynamic_cast<CGameCharacter*>(kBlock.m_pkOwner);
    if (!pkCharacter)
        return 0;
    if (CGameCharacter* pkPartner = pkCharacter->GetPartner())
        pkPartner->BeUsedByCharacter(pkCharacter);
    else
        pkCharacter->SetController("wander", true, true);
    return 1;
}

// --------------------------------------------------------- usedByCharacter

CAIControllerUsedByCharacter::CAIControllerUsedByCharacter() : CAIGameController("usedByCharacter")
{
}

int CAIControllerUsedByCharacter::HandleEvent(std::int32_t, std::uint8_t ucState)
{
    return ucState == 0 ? 1 : 0;
}
