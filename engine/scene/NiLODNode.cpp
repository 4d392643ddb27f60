#include "engine/scene/NiLODNode.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiLODNode, NiSwitchNode)

int NiLODNode::ms_iGlobalLOD = -1;

NiLODNode::NiLODNode()
{
    m_iIndex = 0;
}

void NiLODNode::UpdateMissedChildren()
{
    for (std::uint32_t i = 0; i < GetArrayCount(); ++i)
        BringUpToDate(i);
}

void NiLODNode::UpdateWorldData()
{
    NiSwitchNode::UpdateWorldData();
    if (m_spLODData != nullptr)
        m_spLODData->UpdateWorldExtent(this);
}

void NiLODNode::OnVisible(NiCamera* pkCamera)
{
    if (m_bLODActive != 0 && m_spLODData != nullptr)
    {
        int iLevel = m_spLODData->ChooseLevel(pkCamera, this);
        if (ms_iGlobalLOD >= 0)
            iLevel = m_spLODData->MapOverrideLevel(ms_iGlobalLOD);
        // Clamped first, so a huge level from the data costs no long walk.
        if (iLevel >= static_cast<int>(GetArrayCount()))
            iLevel = static_cast<int>(GetArrayCount()) - 1;
        while (iLevel >= 0 && GetAt(static_cast<std::uint32_t>(iLevel)) == nullptr)
            --iLevel;
        m_iIndex = iLevel;
    }
    NiSwitchNode::OnVisible(pkCamera);
}

NiObject* NiLODNode::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiLODNode;
    CopyMembers(pkClone, kCloning);
    pkClone->m_spLODData = m_spLODData ? m_spLODData->Copy() : nullptr;
    return pkClone;
}

void NiLODNode::ReadFromStream(NiObjectStream& kStream)
{
    NiSwitchNode::ReadFromStream(kStream);
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 1, 0, 12))
    {
        kStream.ReadLinkID();
        return;
    }
    // Older files keep the ranges in the node's own record.
    NiRefPtr<NiRangeLODData> spRanges = new NiRangeLODData;
    spRanges->LoadRanges(kStream);
    m_spLODData = spRanges.Get();
}

void NiLODNode::ResolveLinks(NiObjectStream& kStream)
{
    NiSwitchNode::ResolveLinks(kStream);
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 1, 0, 12))
        m_spLODData = kStream.GetLinkedObjectAs<NiLODData>();
}

bool NiLODNode::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiSwitchNode::RegisterForSave(kStream))
        return false;
    if (m_spLODData != nullptr)
        m_spLODData->RegisterForSave(kStream);
    return true;
}

void NiLODNode::WriteToStream(NiObjectStream& kStream)
{
    NiSwitchNode::WriteToStream(kStream);
    kStream.WriteLinkID(m_spLODData);
}

bool NiLODNode::IsEqual(NiObject* pkOther)
{
    if (!NiSwitchNode::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiLODNode*>(pkOther);
    if (m_spLODData == nullptr || pk->m_spLODData == nullptr)
        return m_spLODData == pk->m_spLODData;
    return m_spLODData->GetTypeInfo() == pk->m_spLODData->GetTypeInfo() && m_spLODData->IsEqual(pk->m_spLODData);
}

void NiLODNode::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiSwitchNode::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiLODNode::TypeInfo()->GetName()));
    if (m_spLODData != nullptr)
        m_spLODData->AppendViewerStrings(kStrings);
    else
        kStrings.AddTail(NiViewerFormat("NULL LOD Data"));
}
