#include "engine/scene/NiSwitchNode.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiSwitchNode, NiNode)

NiSwitchNode::NiSwitchNode() : NiNode(0)
{
}

NiAVObject* NiSwitchNode::GetActiveChild() const
{
    return IsIndexValid() ? GetAt(static_cast<std::uint32_t>(m_iIndex)) : nullptr;
}

bool NiSwitchNode::IsIndexValid() const
{
    return m_iIndex >= 0 && static_cast<std::uint32_t>(m_iIndex) < GetArrayCount();
}

void NiSwitchNode::SetUpdateOnlyActiveChild(bool b)
{
    m_usSwitchFlags = static_cast<std::uint16_t>(b ? (m_usSwitchFlags | UPDATE_ONLY_ACTIVE)
                                                   : (m_usSwitchFlags & ~UPDATE_ONLY_ACTIVE));
}

std::uint32_t NiSwitchNode::GetChildStamp(std::uint32_t uiIndex) const
{
    return uiIndex < m_kChildStamps.size() ? m_kChildStamps[uiIndex] : 0;
}

// ---- Child edits ----

void NiSwitchNode::SyncStamps()
{
    m_uiUpdateCounter = 1;
    m_kChildStamps.resize(GetArrayCount(), 0);
}

void NiSwitchNode::ForgetActiveIfGone()
{
    if (m_iIndex >= 0 && GetActiveChild() == nullptr)
        m_iIndex = -1;
}

void NiSwitchNode::AttachChild(NiAVObject* pkChild, bool bFirstAvail)
{
    std::uint32_t uiBefore = GetArrayCount();
    NiNode::AttachChild(pkChild, bFirstAvail);
    SyncStamps();
    for (std::uint32_t i = 0; i < GetArrayCount(); ++i)
    {
        if (GetAt(i) == pkChild && (i >= uiBefore || bFirstAvail))
            m_kChildStamps[i] = 0;
    }
}

NiAVObjectPtr NiSwitchNode::DetachChild(NiAVObject* pkChild)
{
    std::uint32_t uiIndex = 0;
    while (uiIndex < GetArrayCount() && GetAt(uiIndex) != pkChild)
        ++uiIndex;
    NiAVObjectPtr spChild = NiNode::DetachChild(pkChild);
    AfterDetach(uiIndex, spChild != nullptr);
    return spChild;
}

NiAVObjectPtr NiSwitchNode::DetachChildAt(std::uint32_t uiIndex)
{
    NiAVObjectPtr spChild = NiNode::DetachChildAt(uiIndex);
    AfterDetach(uiIndex, spChild != nullptr);
    return spChild;
}

void NiSwitchNode::AfterDetach(std::uint32_t uiIndex, bool bDetached)
{
    if (bDetached && uiIndex < m_kChildStamps.size())
        m_kChildStamps[uiIndex] = 0;
    SyncStamps();
    m_kChildStamps.resize(GetArrayCount());
    ForgetActiveIfGone();
}

NiAVObjectPtr NiSwitchNode::SetAt(std::uint32_t uiIndex, NiAVObject* pkChild)
{
    NiAVObjectPtr spOld = NiNode::SetAt(uiIndex, pkChild);
    SyncStamps();
    if (uiIndex < m_kChildStamps.size())
        m_kChildStamps[uiIndex] = 0;
    return spOld;
}

// ---- Update passes ----

void NiSwitchNode::BringUpToDate(std::uint32_t uiIndex)
{
    NiAVObject* pkChild = GetAt(uiIndex);
    if (pkChild == nullptr || uiIndex >= m_kChildStamps.size() || m_kChildStamps[uiIndex] == m_uiUpdateCounter)
        return;
    m_kChildStamps[uiIndex] = m_uiUpdateCounter;
    pkChild->UpdateDownwardPass(m_fSavedTime, m_bUpdateControllers != 0);
}

void NiSwitchNode::UpdateDownwardPass(float fTime, bool bUpdateControllers)
{
    if (!GetUpdateOnlyActiveChild())
    {
        NiNode::UpdateDownwardPass(fTime, bUpdateControllers);
        return;
    }
    m_fSavedTime = fTime;
    m_bUpdateControllers = bUpdateControllers ? 1 : 0;
    ++m_uiUpdateCounter;
    if (bUpdateControllers)
        UpdateObjectControllers(fTime, true);
    UpdateWorldData();
    if (NiAVObject* pkChild = GetActiveChild())
    {
        pkChild->UpdateDownwardPass(fTime, bUpdateControllers);
        FinishActivePass(*pkChild);
    }
}

NiAVObject* NiSwitchNode::StartSelectivePass(float fTime)
{
    m_fSavedTime = fTime;
    ++m_uiUpdateCounter;
    UpdateObjectControllers(fTime, (m_uFlags & SELECTIVE_PROP_CONTROLLER) != 0);
    UpdateWorldData();
    return GetActiveChild();
}

void NiSwitchNode::FinishActivePass(NiAVObject& kChild)
{
    m_kChildStamps[static_cast<std::uint32_t>(m_iIndex)] = m_uiUpdateCounter;
    m_kWorldBound = kChild.GetWorldBound();
}

void NiSwitchNode::UpdateSelectedDownwardPass(float fTime)
{
    if (!GetUpdateOnlyActiveChild())
    {
        NiNode::UpdateSelectedDownwardPass(fTime);
        return;
    }
    if (NiAVObject* pkChild = StartSelectivePass(fTime))
    {
        std::uint16_t uChild = pkChild->GetFlags();
        if (uChild & SELECTIVE_UPDATE)
        {
            if (uChild & SELECTIVE_RIGID)
                pkChild->UpdateRigidDownwardPass(fTime);
            else
                pkChild->UpdateSelectedDownwardPass(fTime);
        }
        FinishActivePass(*pkChild);
    }
}

void NiSwitchNode::UpdateRigidDownwardPass(float fTime)
{
    if (!GetUpdateOnlyActiveChild())
    {
        NiNode::UpdateRigidDownwardPass(fTime);
        return;
    }
    if (NiAVObject* pkChild = StartSelectivePass(fTime))
    {
        if (pkChild->GetFlags() & SELECTIVE_UPDATE)
            pkChild->UpdateRigidDownwardPass(fTime);
        FinishActivePass(*pkChild);
    }
}

void NiSwitchNode::UpdateControllers(float fTime)
{
    if (!GetUpdateOnlyActiveChild())
    {
        NiNode::UpdateControllers(fTime);
        return;
    }
    if (!IsIndexValid())
        return;
    UpdateObjectControllers(fTime, true);
    if (NiAVObject* pkChild = GetActiveChild())
        pkChild->UpdateControllers(fTime);
}

void NiSwitchNode::UpdateWorldBound()
{
    if (!GetUpdateOnlyActiveChild())
    {
        NiNode::UpdateWorldBound();
        return;
    }
    NiAVObject* pkChild = GetActiveChild();
    if (pkChild != nullptr)
        m_kWorldBound = pkChild->GetWorldBound();
    else
        m_kWorldBound.m_fRadius = 0.0f;
}

void NiSwitchNode::UpdateModelBound()
{
    if (!GetUpdateOnlyActiveChild())
    {
        NiNode::UpdateModelBound();
        return;
    }
    for (std::uint32_t i = 0; i < GetArrayCount(); ++i)
        BringUpToDate(i);
    for (std::uint32_t i = 0; i < GetArrayCount(); ++i)
    {
        if (NiAVObject* pkChild = GetAt(i))
            pkChild->UpdateModelBound();
    }
    m_kModelBound.Transform(m_kWorldBound, m_kWorld.Invert());
}

void NiSwitchNode::OnVisible(NiCamera* pkCamera)
{
    if (!GetUpdateOnlyActiveChild())
    {
        NiNode::OnVisible(pkCamera);
        return;
    }
    NiAVObject* pkChild = GetActiveChild();
    if (pkChild == nullptr)
        return;
    BringUpToDate(static_cast<std::uint32_t>(m_iIndex));
    CullChild(pkChild, pkCamera);
}

// ---- Cloning and records ----

NiObject* NiSwitchNode::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiSwitchNode;
    CopyMembers(pkClone, kCloning);
    return pkClone;
}

void NiSwitchNode::CopyMembers(NiSwitchNode* pkDest, NiCloneContext& kCloning)
{
    NiNode::CopyMembers(pkDest, kCloning);
    pkDest->SyncStamps();
    pkDest->m_usSwitchFlags = m_usSwitchFlags;
    pkDest->m_iIndex = m_iIndex;
}

void NiSwitchNode::ReadFromStream(NiObjectStream& kStream)
{
    NiNode::ReadFromStream(kStream);
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 0, 1, 2))
        kStream.ReadLE(m_usSwitchFlags);
    else
        m_usSwitchFlags = static_cast<std::uint16_t>(kStream.GetRawObjectFlags() >> 8);
    std::int32_t iIndex = -1;
    kStream.ReadLE(iIndex);
    m_iIndex = iIndex;
}

void NiSwitchNode::ResolveLinks(NiObjectStream& kStream)
{
    NiNode::ResolveLinks(kStream);
    SyncStamps();
}

void NiSwitchNode::WriteToStream(NiObjectStream& kStream)
{
    NiNode::WriteToStream(kStream);
    kStream.WriteLE(m_usSwitchFlags);
    kStream.WriteLE(static_cast<std::int32_t>(m_iIndex));
}

bool NiSwitchNode::IsEqual(NiObject* pkOther)
{
    if (!NiNode::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiSwitchNode*>(pkOther);
    return m_iIndex == pk->m_iIndex && (m_usSwitchFlags & 1) == (pk->m_usSwitchFlags & 1);
}

void NiSwitchNode::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiNode::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSwitchNode::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerInt("m_iIndex", m_iIndex));
    kStrings.AddTail(NiViewerBool("m_bUpdateOnlyActive", GetUpdateOnlyActiveChild()));
}
