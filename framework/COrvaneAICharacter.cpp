#include "framework/COrvaneAICharacter.h"

#include "framework/COrvaneAICharacterController.h"
#include "framework/COrvaneBlockGrid.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneSplineBase.h"

#include <string>

COrvaneAICharacterState::COrvaneAICharacterState() = default;
COrvaneAICharacterState::~COrvaneAICharacterState() = default;

COrvaneAICharacter::COrvaneAICharacter()
{
    m_kBlock.m_pkOwner = this;
    Reset();
}

COrvaneAICharacter::~COrvaneAICharacter()
{
    // A controller must not keep a link to this block.
    COrvaneAICharacter::Destroy();
}

void COrvaneAICharacter::Destroy()
{
    m_kPathQueue.clear();
    SwitchController(nullptr); // unbinds the active controller, enters none
    Reset();
}

void COrvaneAICharacter::Reset()
{
    m_kBlock.m_ucSuspended = 0;
    m_kBlock.m_pkReferenceA = nullptr;
    m_kBlock.m_pkReferenceB = nullptr;
    m_kBlock.m_pkReference3 = nullptr;
    m_kBlock.m_pkReference4 = nullptr;
    m_kBlock.m_pkReference5 = nullptr;
    m_kBlock.m_asValues[1] = -1;
    m_kBlock.m_asValues[2] = -1;
    m_kBlock.m_ucCurrentState = 0;
    m_kBlock.m_ucRequestedState = 0;
    m_kBlock.m_ucChangePending = 0;
    m_kBlock.m_fUpdateTimer = 0.0f;
    m_kBlock.m_fControllerTimer = 0.0f;
    m_kBlock.m_asValues[0] = 0;
    m_kBlock.m_ucEntered = 1;
    m_kBlock.m_ucExtraUpdate = 0;
    m_fActionValue = 0.0f;
}

void COrvaneAICharacter::Update(float fDt)
{
    UpdateAI(fDt);
    if (m_kBlock.m_ucSuspended)
        SuspendedUpdate();
}

void COrvaneAICharacter::DebugDraw(bool bFlag)
{
    COrvaneCharacter::DebugDraw(bFlag);
}

int COrvaneAICharacter::Load(COrvaneObjectDesc& kDesc)
{
    COrvaneCharacter::Load(kDesc);
    m_kBlock.m_pkOwner = this;
    // The action value would be the first entry of the model's "action"
    // list; no model is given such a list (templates' extras stay empty), so
    // it keeps its reset value 0.
    return 1;
}

void COrvaneAICharacter::UpdateAI(float fDt)
{
    if (m_kBlock.m_ucSuspended)
        return;
    COrvaneCharacter::Update(fDt);
    PreAIUpdate();
    if (m_kBlock.m_ucExtraUpdate)
        ExtraUpdate();
    m_kBlock.m_fUpdateTimer += fDt;
    if (!m_pkActiveController || !(m_pkActiveController->GetUpdateInterval() < m_kBlock.m_fUpdateTimer))
        return;
    if (!m_pkPendingController || m_pkPendingController == m_pkActiveController)
    {
        m_kBlock.m_fUpdateTimer = 0.0f;
        m_pkActiveController->UpdateFor(fDt, m_kBlock);
    }
    else
    {
        OnControllerChange(m_pkActiveController, m_pkPendingController);
        SwitchController(m_pkPendingController);
    }
    PostAIUpdate();
}

void COrvaneAICharacter::SwitchController(COrvaneAICharacterController* pkController)
{
    if (m_pkActiveController)
        m_pkActiveController->Unbind(m_kBlock);
    m_kBlock.m_ucCurrentState = 0;
    m_kBlock.m_ucRequestedState = 0;
    m_kBlock.m_ucChangePending = 0;
    m_kBlock.m_fUpdateTimer = 0.0f;
    m_kBlock.m_fControllerTimer = 0.0f;
    m_kBlock.m_pkOwner = this;
    m_pkPendingController = nullptr;
    m_pkActiveController = pkController;
    if (pkController)
        pkController->Enter(m_kBlock);
}

void COrvaneAICharacter::QueuePath(const COrvaneSplineBase* pkSource, bool bTurnBack, bool bRandomOffset)
{
    if (!pkSource)
        return;
    QueuedPath kRecord;
    kRecord.m_pkSpline = pkSource->Clone();
    kRecord.m_bTurnBack = bTurnBack;
    kRecord.m_bRandomOffset = pkSource->IsFixedPath() ? false : bRandomOffset;
    m_kPathQueue.push_back(std::move(kRecord));
}

void COrvaneAICharacter::OnPathEnd()
{
    NextQueuedPath();
}

void COrvaneAICharacter::NextQueuedPath()
{
    if (m_kPathQueue.empty())
    {
        OnPathQueueEmpty();
        return;
    }
    COrvaneCharacter::ClearPath();
    QueuedPath& kFirst = m_kPathQueue.front();
    m_pkSpline = std::move(kFirst.m_pkSpline);
    if (kFirst.m_bTurnBack)
        TurnBack(false);
    if (kFirst.m_bRandomOffset)
    {
        RandomiseOffset();
        AnchorSplineStart();
    }
    else
    {
        ClearOffset();
    }
    m_kPathQueue.pop_front();
    NiVec3 kNextStart;
    if (!m_kPathQueue.empty() && m_kPathQueue.front().m_pkSpline &&
        m_kPathQueue.front().m_pkSpline->GetStartPosition(kNextStart))
        SetSplineEnd(kNextStart);
}

void COrvaneAICharacter::ClearPath()
{
    COrvaneCharacter::ClearPath();
    m_kPathQueue.clear();
}

bool COrvaneAICharacter::CanSave() const
{
    return m_kBlock.m_ucSuspended == 0;
}

int COrvaneAICharacter::Save(COrvaneFile& kFile)
{
    return CanSave() && SaveState(kFile) != 0 ? 1 : 0;
}

int COrvaneAICharacter::SaveReference(const COrvaneGridEntity* pkObject, COrvaneFile& kFile)
{
    if (!pkObject || !pkObject->GetGrid())
    {
        kFile.WriteString("-1\r\n");
        return 1;
    }
    // References are kept 16 bits wide: grids of up to 65,536 cells.
    std::string kLine = std::to_string(static_cast<std::uint16_t>(pkObject->GetGrid()->GetId())) + "," +
                        std::to_string(static_cast<std::uint16_t>(pkObject->GetReferenceCell())) + "\r\n";
    kFile.WriteString(kLine.c_str());
    return 1;
}

int COrvaneAICharacter::SaveNullReference(const COrvaneAICharacter*, COrvaneFile& kFile)
{
    kFile.WriteString("-1\r\n");
    return 1;
}

int COrvaneAICharacter::SaveState(COrvaneFile& kFile)
{
    if (!COrvaneGridEntity::SaveState(kFile))
        return 0;
    kFile.WriteString((std::to_string(m_iDestination) + "\r\n").c_str());
    SaveReference(m_kBlock.m_pkReferenceA, kFile);
    SaveReference(m_kBlock.m_pkReferenceB, kFile);
    SaveNullReference(m_kBlock.m_pkReference3, kFile);
    SaveNullReference(nullptr, kFile);
    kFile.WriteString((std::to_string(m_iWalkMode) + "\r\n").c_str());
    COrvaneAICharacterController* pkSaved = m_pkActiveController;
    if (m_pkPendingController && m_pkPendingController != m_pkActiveController)
        pkSaved = m_pkPendingController;
    if (!pkSaved)
    {
        // An empty name line stands for "no controller", so a load knows
        // that no controller lines follow.
        kFile.WriteString("\r\n");
        return 1;
    }
    const char* pcName = pkSaved->GetName();
    kFile.WriteString((std::string(pcName ? pcName : "") + "\r\n").c_str());
    pkSaved->Save(kFile, m_kBlock);
    return 1;
}

int COrvaneAICharacter::LoadState(COrvaneFile& kFile)
{
    COrvaneAICharacterState kState;
    if (!COrvaneAICharacter::ParseState(kFile, kState))
        return 0;
    COrvaneAICharacter::ApplyState(kState);
    return 1;
}

std::unique_ptr<COrvaneIOState> COrvaneAICharacter::NewState() const
{
    return std::make_unique<COrvaneAICharacterState>();
}

bool COrvaneAICharacter::ParseState(COrvaneFile& kFile, COrvaneIOState& kState) const
{
    auto& kOwn = static_cast<COrvaneAICharacterState&>(kState);
    if (!COrvaneGridEntity::ParseState(kFile, kState))
        return false;
    long long llValue = 0;
    if (kFile.IsEof() || !ReadInteger(kFile, llValue))
        return false;
    kOwn.m_iDestination = static_cast<std::int32_t>(llValue);
    for (int i = 0; i < 2; ++i)
        if (kFile.IsEof() || !LoadReference(kFile, kOwn, i))
            return false;
    for (int i = 0; i < 2; ++i)
        if (kFile.IsEof() || !LoadNullReference(kFile, kOwn, i))
            return false;
    if (kFile.IsEof() || !ReadInteger(kFile, llValue))
        return false;
    kOwn.m_sWalkMode = static_cast<std::int16_t>(llValue);
    // A record cut before its name line is damaged, not "no controller".
    if (kFile.IsEof())
        return false;
    kFile.ReadLine(kOwn.m_kControllerName);
    kOwn.m_pkController = nullptr;
    kOwn.m_pkControllerState.reset();
    if (kOwn.m_kControllerName.empty())
        return true;
    // An unknown name leaves the controller's lines unread: stop here.
    kOwn.m_pkController = FindControllerByName(kOwn.m_kControllerName.c_str());
    if (!kOwn.m_pkController)
        return false;
    kOwn.m_pkControllerState = kOwn.m_pkController->NewState();
    return kOwn.m_pkControllerState && kOwn.m_pkController->ParseState(kFile, *kOwn.m_pkControllerState);
}

void COrvaneAICharacter::ApplyState(const COrvaneIOState& kState)
{
    const auto& kOwn = static_cast<const COrvaneAICharacterState&>(kState);
    COrvaneGridEntity::ApplyState(kState);
    m_iDestination = kOwn.m_iDestination;
    m_iWalkMode = kOwn.m_sWalkMode;
    if (kOwn.m_kControllerName.empty())
        return;
    SetControllerByName(kOwn.m_kControllerName.c_str(), 1, 1);
    if (m_pkActiveController && m_pkActiveController == kOwn.m_pkController && kOwn.m_pkControllerState)
        m_pkActiveController->ApplyState(*kOwn.m_pkControllerState, m_kBlock);
}

float COrvaneAICharacter::GetActionValue() const
{
    return m_fActionValue;
}

int COrvaneAICharacter::ResetAIState()
{
    m_kBlock.m_pkReferenceA = nullptr;
    m_kBlock.m_pkReference3 = nullptr;
    m_kBlock.m_pkReference5 = nullptr;
    m_iDestination = -1;
    return 0;
}
