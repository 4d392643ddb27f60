#include "engine/scene/NiSortAdjustNode.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiCamera.h"

NiImplementTypeInfo(NiSortAdjustNode, NiNode)

void NiSortAdjustNode::OnVisible(NiCamera* pkCamera)
{
    NiRenderer* pkRenderer = pkCamera ? pkCamera->GetRenderer() : nullptr;
    if (pkRenderer == nullptr || (m_eSortingMode != SORTING_OFF && m_eSortingMode != SORTING_SUBSORT))
    {
        NiNode::OnVisible(pkCamera);
        return;
    }
    // Held for the visit: the children may replace the renderer's sorter.
    NiAccumulatorPtr spCurrent = pkRenderer->GetAccumulator();
    if (m_eSortingMode == SORTING_OFF)
    {
        pkRenderer->SetAccumulator(nullptr);
        NiNode::OnVisible(pkCamera);
    }
    else
    {
        pkRenderer->SetAccumulator(m_spAccum);
        if (m_spAccum != nullptr && m_spAccum->StartAccumulating(pkCamera))
        {
            NiNode::OnVisible(pkCamera);
            m_spAccum->FinishAccumulating();
        }
        else
        {
            pkRenderer->SetAccumulator(nullptr);
            NiNode::OnVisible(pkCamera);
        }
    }
    pkRenderer->SetAccumulator(spCurrent);
}

NiObject* NiSortAdjustNode::CreateClone(NiCloneContext& kCloning)
{
    auto* pkClone = new NiSortAdjustNode;
    CopyMembers(pkClone, kCloning);
    pkClone->m_eSortingMode = m_eSortingMode;
    if (m_spAccum != nullptr)
        pkClone->m_spAccum = static_cast<NiAccumulator*>(m_spAccum->CreateClone(kCloning));
    return pkClone;
}

void NiSortAdjustNode::FinishClone(NiCloneContext& kCloning)
{
    NiNode::FinishClone(kCloning);
    if (m_spAccum != nullptr)
        m_spAccum->FinishClone(kCloning);
}

void NiSortAdjustNode::ReadFromStream(NiObjectStream& kStream)
{
    NiNode::ReadFromStream(kStream);
    kStream.ReadLE(m_eSortingMode);
    kStream.ReadLinkID();
}

void NiSortAdjustNode::ResolveLinks(NiObjectStream& kStream)
{
    NiNode::ResolveLinks(kStream);
    m_spAccum = kStream.GetLinkedObjectAs<NiAccumulator>();
}

bool NiSortAdjustNode::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiNode::RegisterForSave(kStream))
        return false;
    if (m_spAccum != nullptr)
        m_spAccum->RegisterForSave(kStream);
    return true;
}

void NiSortAdjustNode::WriteToStream(NiObjectStream& kStream)
{
    NiNode::WriteToStream(kStream);
    kStream.WriteLE(m_eSortingMode);
    kStream.WriteLinkID(m_spAccum);
}

bool NiSortAdjustNode::IsEqual(NiObject* pkOther)
{
    if (!NiNode::IsEqual(pkOther))
        return false;
    auto* pk = static_cast<NiSortAdjustNode*>(pkOther);
    if (m_eSortingMode != pk->m_eSortingMode)
        return false;
    if (m_spAccum == nullptr || pk->m_spAccum == nullptr)
        return m_spAccum == pk->m_spAccum;
    return m_spAccum->IsEqual(pk->m_spAccum);
}

void NiSortAdjustNode::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiNode::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSortAdjustNode::TypeInfo()->GetName()));
}
