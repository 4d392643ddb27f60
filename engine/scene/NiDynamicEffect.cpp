#include "engine/scene/NiDynamicEffect.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiNode.h"

NiImplementTypeInfo(NiDynamicEffect, NiAVObject)

std::atomic<std::uint32_t> NiDynamicEffect::ms_uiNextIndex{0};

NiDynamicEffect::NiDynamicEffect() : m_uiIndex(ms_uiNextIndex.fetch_add(1))
{
}

NiDynamicEffect::~NiDynamicEffect()
{
    while (NiNode* pkNode = m_kAffectedNodeList.GetHead())
        DetachAffectedNode(pkNode);
    m_kUnaffectedNodeList.RemoveAll();
}

void NiDynamicEffect::ResetIndexCounter()
{
    ms_uiNextIndex = 0;
}

void NiDynamicEffect::AttachAffectedNode(NiNode* pkNode)
{
    if (pkNode == nullptr || m_kAffectedNodeList.FindPos(pkNode) != nullptr)
        return;
    m_kAffectedNodeList.AddHead(pkNode);
    pkNode->AttachEffect(this);
}

void NiDynamicEffect::DetachAffectedNode(NiNode* pkNode)
{
    if (pkNode == nullptr || !m_kAffectedNodeList.Remove(pkNode))
        return;
    pkNode->DetachEffect(this);
}

void NiDynamicEffect::AttachUnaffectedNode(NiNode* pkNode)
{
    if (pkNode != nullptr && m_kUnaffectedNodeList.FindPos(pkNode) == nullptr)
        m_kUnaffectedNodeList.AddHead(pkNode);
}

void NiDynamicEffect::DetachUnaffectedNode(NiNode* pkNode)
{
    m_kUnaffectedNodeList.Remove(pkNode);
}

bool NiDynamicEffect::IsUnaffectedNode(const NiNode* pkNode) const
{
    return pkNode != nullptr && m_kUnaffectedNodeList.FindPos(pkNode) != nullptr;
}

// ---- Scene-file record ----

void NiDynamicEffect::ReadFromStream(NiObjectStream& kStream)
{
    NiAVObject::ReadFromStream(kStream);
    std::uint32_t uiVersion = kStream.GetFileVersion();
    if (uiVersion >= NiStreamVersion(10, 1, 0, 102))
    {
        std::uint8_t ucOn = 1;
        kStream.ReadLE(ucOn);
        m_bOn = ucOn != 0 ? 1 : 0;
    }
    if (uiVersion < NiStreamVersion(4, 1, 0, 0))
    {
        // A list nothing uses any more: its values are skipped.
        std::uint32_t uiCount = 0;
        if (kStream.ReadCount(uiCount, 4))
        {
            for (std::uint32_t i = 0; i < uiCount; ++i)
            {
                std::uint32_t uiDropped = 0;
                kStream.ReadLE(uiDropped);
            }
        }
    }
    if (uiVersion >= NiStreamVersion(10, 1, 0, 14))
        kStream.ReadLinkIDList();
}

void NiDynamicEffect::ResolveLinks(NiObjectStream& kStream)
{
    NiAVObject::ResolveLinks(kStream);
    if (kStream.GetFileVersion() < NiStreamVersion(10, 1, 0, 14))
        return;
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        if (NiNode* pkNode = kStream.GetLinkedObjectAs<NiNode>())
            AttachUnaffectedNode(pkNode);
    }
}

void NiDynamicEffect::WriteToStream(NiObjectStream& kStream)
{
    NiAVObject::WriteToStream(kStream);
    kStream.WriteLE(m_bOn);
    kStream.WriteLE(m_kUnaffectedNodeList.GetSize());
    // Oldest first: the reader puts each at the head, which restores the
    // order.
    for (NiListPos kPos = m_kUnaffectedNodeList.GetTailPos(); kPos != nullptr; kPos = NiListBase::GetPrevPos(kPos))
        kStream.WriteLinkID(NiTList<NiNode>::Get(kPos));
}

bool NiDynamicEffect::IsEqual(NiObject* pkOther)
{
    if (!NiAVObject::IsEqual(pkOther))
        return false;
    auto* pkEffect = static_cast<NiDynamicEffect*>(pkOther);
    for (auto [pkMine, pkTheirs] : {std::pair{&m_kAffectedNodeList, &pkEffect->m_kAffectedNodeList},
                                    std::pair{&m_kUnaffectedNodeList, &pkEffect->m_kUnaffectedNodeList}})
    {
        if (pkMine->GetSize() != pkTheirs->GetSize())
            return false;
        NiListPos kOther = pkTheirs->GetHeadPos();
        for (NiListPos kPos = pkMine->GetHeadPos(); kPos != nullptr;)
        {
            bool bMineNull = NiTList<NiNode>::GetNext(kPos) == nullptr;
            bool bTheirsNull = NiTList<NiNode>::GetNext(kOther) == nullptr;
            if (bMineNull != bTheirsNull)
                return false;
        }
    }
    return true;
}

void NiDynamicEffect::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiAVObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiDynamicEffect::TypeInfo()->GetName()));
    int i = 0;
    for (NiListPos kPos = m_kAffectedNodeList.GetHeadPos(); kPos != nullptr; ++i)
        kStrings.AddTail(NiViewerFormat("affected node[%d] = %p", i, static_cast<void*>(NiTList<NiNode>::GetNext(kPos))));
    if (m_kAffectedNodeList.IsEmpty())
        return;
    for (NiListPos kPos = m_kUnaffectedNodeList.GetHeadPos(); kPos != nullptr; ++i)
        kStrings.AddTail(
            NiViewerFormat("unaffected node[%d] = %p", i, static_cast<void*>(NiTList<NiNode>::GetNext(kPos))));
}

void NiDynamicEffect::CopyMembers(NiDynamicEffect* pkDest, NiCloneContext& kCloning)
{
    NiAVObject::CopyMembers(pkDest, kCloning);
    pkDest->m_bOn = m_bOn;
    pkDest->m_uiPushCount = m_uiPushCount;
    pkDest->m_uiRevID = m_uiRevID;
}
