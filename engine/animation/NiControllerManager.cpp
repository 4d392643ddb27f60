#include "engine/animation/NiControllerManager.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiAVObject.h"
#include "engine/scene/NiDefaultAVObjectPalette.h"

NiImplementTypeInfo(NiControllerManager, NiTimeController)
NiImplementCreateClone(NiControllerManager)

namespace
{
constexpr std::uint32_t PALETTE_LINK_FROM = NiStreamVersion(10, 1, 0, 104);
} // namespace

NiControllerManager::NiControllerManager(NiAVObject* pkTarget, bool bCumulative) : m_bCumulative(bCumulative)
{
    NiTimeController::SetTarget(pkTarget);
    m_spObjectPalette = new NiDefaultAVObjectPalette(pkTarget);
}

NiControllerManager::~NiControllerManager()
{
    for (NiControllerSequencePtr& sp : m_kSequences)
    {
        if (sp && sp->GetOwner() == this)
            sp->SetOwner(nullptr);
    }
}

bool NiControllerManager::IsTargetClassValid(NiObjectNET* pkTarget) const
{
    return NiIsKindOf<NiAVObject>(pkTarget);
}

NiControllerSequence* NiControllerManager::GetSequenceByName(const char* pcName) const
{
    std::uint32_t uiIndex = 0;
    if (!m_kIndexMap.GetAt(pcName, uiIndex))
        return nullptr;
    return GetSequenceAt(uiIndex);
}

void NiControllerManager::StoreSequence(NiControllerSequence* pkSequence)
{
    std::uint32_t uiIndex = 0;
    while (uiIndex < m_kSequences.size() && m_kSequences[uiIndex])
        ++uiIndex;
    if (uiIndex == m_kSequences.size())
        m_kSequences.emplace_back(pkSequence);
    else
        m_kSequences[uiIndex] = pkSequence;
    if (pkSequence->GetName() != nullptr)
        m_kIndexMap.SetAt(pkSequence->GetName(), uiIndex);
}

bool NiControllerManager::AddSequence(NiControllerSequence* pkSequence, const char* pcName, bool bBind)
{
    if (pkSequence == nullptr || pkSequence->GetOwner() != nullptr)
        return false;
    NiControllerSequencePtr spKeep = pkSequence;
    pkSequence->SetOwner(this);
    if (pkSequence->GetAccumRootName() == nullptr && m_pkTarget != nullptr)
        pkSequence->SetAccumRootName(m_pkTarget->GetName());
    if (bBind && !pkSequence->BindToTargets(NiDynamicCast<NiAVObject>(m_pkTarget)))
    {
        pkSequence->SetOwner(nullptr);
        return false;
    }
    if (pcName != nullptr)
        pkSequence->SetName(pcName);
    StoreSequence(pkSequence);
    return true;
}

void NiControllerManager::RemoveAllSequences()
{
    for (NiControllerSequencePtr& sp : m_kSequences)
    {
        if (!sp)
            continue;
        // Items left attached would keep feeding blends nothing updates.
        if (sp->GetState() != NiControllerSequence::INACTIVE)
            sp->Deactivate(0.0f);
        sp->UnbindFromManager();
        sp->SetOwner(nullptr);
    }
    m_kSequences.clear();
    m_kIndexMap.RemoveAll();
}

void NiControllerManager::Update(float fTime)
{
    if (!GetActive())
        return;
    // By index: a sequence update may not change the array, but a sequence
    // must not be freed under it either. A model holds many sequences and
    // plays one or two: the idle ones are passed over without touching
    // their counts.
    for (std::size_t i = 0; i < m_kSequences.size(); ++i)
    {
        const NiControllerSequence* pkSequence = m_kSequences[i];
        if (!pkSequence || pkSequence->GetState() == NiControllerSequence::INACTIVE)
            continue;
        NiControllerSequencePtr sp = m_kSequences[i];
        sp->Update(fTime, true);
    }
}

// ---- Cloning ----

void NiControllerManager::CopyMembers(NiControllerManager* pkDest, NiCloneContext& kCloning)
{
    NiTimeController::CopyMembers(pkDest, kCloning);
    pkDest->m_bCumulative = m_bCumulative;
    for (const NiControllerSequencePtr& sp : m_kSequences)
    {
        if (!sp)
            continue;
        auto* pkCopy = static_cast<NiControllerSequence*>(sp->CreateClone(kCloning));
        NiControllerSequencePtr spCopy = pkCopy;
        if (pkCopy->GetOwner() == nullptr)
        {
            pkCopy->SetOwner(pkDest);
            pkDest->StoreSequence(pkCopy);
        }
    }
    if (m_spObjectPalette)
        pkDest->m_spObjectPalette = static_cast<NiAVObjectPalette*>(m_spObjectPalette->CreateClone(kCloning));
}

void NiControllerManager::FinishClone(NiCloneContext& kCloning)
{
    NiTimeController::FinishClone(kCloning);
    NiObject* pkCopy = nullptr;
    auto* pkClone = kCloning.m_kCloneMap.GetAt(this, pkCopy) ? static_cast<NiControllerManager*>(pkCopy) : nullptr;
    if (pkClone != nullptr && pkClone->m_pkTarget == nullptr && m_pkTarget != nullptr)
    {
        // The copy's target is the copy of this target; the chain that holds
        // the copy belongs to it already.
        NiObject* pkTargetCopy = nullptr;
        if (kCloning.m_kCloneMap.GetAt(m_pkTarget, pkTargetCopy))
            pkClone->m_pkTarget = NiDynamicCast<NiObjectNET>(pkTargetCopy);
    }
    if (pkClone != nullptr)
    {
        if (auto* pkPalette = NiDynamicCast<NiDefaultAVObjectPalette>(pkClone->m_spObjectPalette.Get()))
        {
            if (pkPalette->GetScene() == nullptr)
                pkPalette->SetScene(NiDynamicCast<NiAVObject>(pkClone->m_pkTarget));
        }
    }
    for (const NiControllerSequencePtr& sp : m_kSequences)
    {
        if (!sp)
            continue;
        sp->FinishClone(kCloning);
    }
    if (pkClone != nullptr)
    {
        for (const NiControllerSequencePtr& sp : pkClone->m_kSequences)
        {
            if (sp)
                sp->BindToTargets(NiDynamicCast<NiAVObject>(pkClone->m_pkTarget));
        }
    }
    if (m_spObjectPalette)
        m_spObjectPalette->FinishClone(kCloning);
}

// ---- Records ----

void NiControllerManager::ReadFromStream(NiObjectStream& kStream)
{
    NiTimeController::ReadFromStream(kStream);
    std::uint8_t ucCumulative = 0;
    kStream.ReadLE(ucCumulative);
    m_bCumulative = ucCumulative != 0;
    kStream.ReadLinkIDList();
    if (kStream.GetFileVersion() >= PALETTE_LINK_FROM)
        kStream.ReadLinkID();
}

void NiControllerManager::ResolveLinks(NiObjectStream& kStream)
{
    NiTimeController::ResolveLinks(kStream);
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        NiControllerSequence* pkSequence = kStream.GetLinkedObjectAs<NiControllerSequence>();
        if (pkSequence == nullptr || pkSequence->GetOwner() != nullptr)
            continue;
        pkSequence->SetOwner(this);
        if (pkSequence->GetAccumRootName() == nullptr && m_pkTarget != nullptr)
            pkSequence->SetAccumRootName(m_pkTarget->GetName());
        StoreSequence(pkSequence);
    }
    if (kStream.GetFileVersion() >= PALETTE_LINK_FROM)
        m_spObjectPalette = kStream.GetLinkedObjectAs<NiAVObjectPalette>();
}

bool NiControllerManager::ItemChainsLeadBack(std::uint32_t uiBound) const
{
    for (const NiControllerSequencePtr& sp : m_kSequences)
    {
        for (std::uint32_t i = 0; sp && i < sp->GetArraySize(); ++i)
        {
            std::uint32_t uiSteps = 0;
            for (NiTimeController* pk = sp->GetItem(i)->m_spInterpCtlr; pk != nullptr; pk = pk->GetNext())
            {
                if (pk == this || ++uiSteps > uiBound)
                    return true;
            }
        }
    }
    return false;
}

void NiControllerManager::PostLink(NiObjectStream& kStream)
{
    NiTimeController::PostLink(kStream);
    // A sequence controller whose chain leads back here would keep the
    // manager, and so itself, alive for ever. Binding reuses the
    // controllers a file put on its objects, so it is checked again after.
    // The bound counts the controllers binding may add.
    const std::uint32_t uiBound = 2 * kStream.GetFileObjectCount() + 2;
    if (ItemChainsLeadBack(uiBound))
    {
        kStream.SetCorrupt();
        return;
    }
    auto* pkTarget = NiDynamicCast<NiAVObject>(m_pkTarget);
    if (pkTarget == nullptr)
        return;
    // Files before 10.1.0.104 store no palette: without one nothing could
    // ever be bound.
    if (!m_spObjectPalette && kStream.GetFileVersion() < PALETTE_LINK_FROM)
        m_spObjectPalette = new NiDefaultAVObjectPalette(pkTarget);
    for (std::size_t i = 0; i < m_kSequences.size(); ++i)
    {
        NiControllerSequencePtr sp = m_kSequences[i];
        if (sp)
            sp->BindToTargets(pkTarget);
    }
    if (ItemChainsLeadBack(uiBound))
        kStream.SetCorrupt();
}

void NiControllerManager::DropCountedLinks()
{
    NiTimeController::DropCountedLinks();
    for (NiControllerSequencePtr& sp : m_kSequences)
    {
        if (sp && sp->GetOwner() == this)
            sp->SetOwner(nullptr);
    }
    m_kSequences.clear();
    m_kIndexMap.RemoveAll();
    m_spObjectPalette = nullptr;
}

bool NiControllerManager::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiTimeController::RegisterForSave(kStream))
        return false;
    for (const NiControllerSequencePtr& sp : m_kSequences)
    {
        if (sp)
            sp->RegisterForSave(kStream);
    }
    if (m_spObjectPalette)
        m_spObjectPalette->RegisterForSave(kStream);
    return true;
}

void NiControllerManager::WriteToStream(NiObjectStream& kStream)
{
    NiTimeController::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bCumulative ? 1 : 0));
    kStream.WriteLE(GetSequenceCount());
    for (const NiControllerSequencePtr& sp : m_kSequences)
        kStream.WriteLinkID(sp);
    kStream.WriteLinkID(m_spObjectPalette);
}

bool NiControllerManager::IsEqual(NiObject* pkOther)
{
    if (!NiTimeController::IsEqual(pkOther))
        return false;
    auto* pkManager = static_cast<NiControllerManager*>(pkOther);
    if (pkManager->m_kSequences.size() != m_kSequences.size() ||
        pkManager->m_kIndexMap.GetCount() != m_kIndexMap.GetCount())
        return false;
    for (NiHashMapPos kPos = m_kIndexMap.GetFirstPos(); kPos != nullptr;)
    {
        std::uintptr_t uiKey = 0, uiValue = 0;
        m_kIndexMap.GetNextRaw(kPos, uiKey, uiValue);
        std::uint32_t uiIndex = 0;
        if (!pkManager->m_kIndexMap.GetAt(reinterpret_cast<const char*>(uiKey), uiIndex))
            return false;
    }
    for (std::size_t i = 0; i < m_kSequences.size(); ++i)
    {
        NiControllerSequence* a = m_kSequences[i];
        NiControllerSequence* b = pkManager->m_kSequences[i];
        if ((a == nullptr) != (b == nullptr) || (a != nullptr && !a->IsEqual(b)))
            return false;
    }
    return true;
}

void NiControllerManager::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTimeController::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiControllerManager::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("Cumulative", m_bCumulative));
    kStrings.AddTail(NiViewerUInt("Sequence Count", GetSequenceCount()));
}
