#include "framework/COrvaneComposite.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneCompositeImpl.h"

#include <vector>

namespace
{
// Handle n leads to entry n - 1; handles are never given twice, so a stale
// one finds nothing rather than a newer composite.
std::vector<COrvaneComposite*>& Handles()
{
    static std::vector<COrvaneComposite*> s_kHandles;
    return s_kHandles;
}

COrvaneGame* s_pkGame = nullptr;
} // namespace

COrvaneComposite::COrvaneComposite() : m_pkImpl(std::make_unique<COrvaneCompositeImpl>())
{
    Reset();
}

COrvaneComposite::~COrvaneComposite()
{
    Destroy();
    m_pkImpl.reset();
    std::vector<COrvaneComposite*>& kHandles = Handles();
    if (m_uiHandle != 0 && m_uiHandle <= kHandles.size() && kHandles[m_uiHandle - 1] == this)
        kHandles[m_uiHandle - 1] = nullptr;
}

void COrvaneComposite::Destroy()
{
    m_kAttachments.clear();
    Reset();
}

int COrvaneComposite::Reset()
{
    m_pkOwner = nullptr;
    m_fAccumulatedAngle = 0.0f;
    m_uiUserValue = 0;
    m_pkWorld = nullptr;
    return 0;
}

COrvaneComposite* COrvaneComposite::FromHandle(std::uint32_t uiHandle)
{
    std::vector<COrvaneComposite*>& kHandles = Handles();
    return (uiHandle != 0 && uiHandle <= kHandles.size()) ? kHandles[uiHandle - 1] : nullptr;
}

void COrvaneComposite::SetGame(COrvaneGame* pkGame)
{
    s_pkGame = pkGame;
}

COrvaneGame* COrvaneComposite::GetGame()
{
    return s_pkGame;
}

void COrvaneComposite::ResetProcessState()
{
    std::vector<COrvaneComposite*>().swap(Handles());
    s_pkGame = nullptr;
}

int COrvaneComposite::SetUserValue(std::uint32_t uiValue)
{
    m_uiUserValue = uiValue;
    return 1;
}

std::uint32_t COrvaneComposite::GetUserValue() const
{
    return m_uiUserValue;
}

COrvaneObject* COrvaneComposite::GetOwner() const
{
    return m_pkOwner;
}

void COrvaneComposite::SetOwner(COrvaneObject* pkOwner)
{
    m_pkOwner = pkOwner;
}

void COrvaneComposite::SetPosition(const NiVec3& kPoint, int iMode)
{
    m_pkImpl->SetPosition(kPoint, iMode != 0);
}

void COrvaneComposite::Rotate(const NiVec3& kAxis, float fAngle, int iMode)
{
    if (iMode == 0)
        m_fAccumulatedAngle = fAngle;
    else
        m_fAccumulatedAngle += fAngle;
    m_pkImpl->SetRotation(kAxis, fAngle, iMode);
}

void COrvaneComposite::Hook()
{
}

void COrvaneComposite::Update(float fArgument)
{
    m_pkImpl->ApplyChanges(fArgument);
}

void COrvaneComposite::Load(const COrvaneModelSource& kSource)
{
    SetName(kSource.m_kName.c_str());
    if (m_uiHandle == 0)
    {
        Handles().push_back(this);
        m_uiHandle = static_cast<std::uint32_t>(Handles().size());
    }
    m_pkImpl->Load(kSource, m_uiHandle);
}

void COrvaneComposite::UpdateNode(float fTime)
{
    m_pkImpl->UpdateNode(fTime);
}

void COrvaneComposite::MakeAttachments(const std::vector<NiNode*>& kNodes,
                                       std::vector<std::unique_ptr<NiNodeAttachment>>& kOut)
{
    COrvaneCompositeImpl::MakeAttachments(kNodes, kOut);
}

const NiVec3* COrvaneComposite::GetPosition() const
{
    return m_pkImpl->GetPosition();
}

void COrvaneComposite::SetVisible(bool bVisible)
{
    m_pkImpl->SetVisible(bVisible);
}

bool COrvaneComposite::IsVisible() const
{
    return m_pkImpl->IsVisible();
}

void COrvaneComposite::SetAnimated(bool bAnimated)
{
    m_pkImpl->SetAnimated(bAnimated);
}

void COrvaneComposite::SetWorldOnDemand(bool bOnDemand)
{
    m_pkImpl->SetWorldOnDemand(bOnDemand);
}

void COrvaneComposite::SelectVariant(const char* pcText, bool bKeep, int iIndex)
{
    m_pkImpl->SelectVariant(pcText, bKeep, iIndex);
}

void COrvaneComposite::CollectNodes(const char* pcText, std::vector<NiNode*>& kOut, bool bHide)
{
    m_pkImpl->CollectNodes(pcText, kOut, bHide);
}

void COrvaneComposite::CollectNodePositions(const char* pcText, std::vector<NiVec3>& kOut, bool bHide)
{
    m_pkImpl->CollectNodePositions(pcText, kOut, bHide);
}

int COrvaneComposite::ProvideRoot(COrvaneSceneLink& kRecord) const
{
    return m_pkImpl->ProvideRoot(kRecord);
}

int COrvaneComposite::ProvideRootAndNotify(COrvaneSceneLink& kRecord) const
{
    return m_pkImpl->ProvideRoot(kRecord);
}

void COrvaneComposite::CreateControllerManager()
{
    m_pkImpl->CreateControllerManager();
}

void COrvaneComposite::AddSequences(std::vector<COrvaneAnim*>& kAnimations)
{
    m_pkImpl->AddSequences(kAnimations);
}

void COrvaneComposite::PlaySequence(const COrvaneAnim* pkAnimation, bool bKeep)
{
    m_pkImpl->PlaySequence(pkAnimation, bKeep);
}

void COrvaneComposite::StopSequence(const char* pcName)
{
    m_pkImpl->StopSequence(pcName);
}

void COrvaneComposite::ResetSequenceTime()
{
    m_pkImpl->ResetSequenceTime();
}

float COrvaneComposite::GetSequenceLength() const
{
    return m_pkImpl->GetSequenceLength();
}

void COrvaneComposite::RestartSequence()
{
    m_pkImpl->RestartSequence();
}

void COrvaneComposite::UpdateAtSequenceEnd()
{
    m_pkImpl->UpdateAtSequenceEnd();
}

NiNode* COrvaneComposite::GetRoot() const
{
    return m_pkImpl->GetRoot();
}

NiAVObject* COrvaneComposite::GetModelObject() const
{
    return m_pkImpl->GetModelObject();
}

NiControllerManager* COrvaneComposite::GetControllerManager() const
{
    return m_pkImpl->GetControllerManager();
}

NiControllerSequence* COrvaneComposite::GetActiveSequence() const
{
    return m_pkImpl->GetActiveSequence();
}

NiBoneLODController* COrvaneComposite::GetBoneLODController() const
{
    return m_pkImpl->GetBoneLODController();
}
