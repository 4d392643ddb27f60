#include "engine/scene/NiObjectNET.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiExtraData.h"
#include "engine/scene/NiVertWeightsExtraData.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

NiImplementTypeInfo(NiObjectNET, NiObject)

namespace
{
// Byte-wise comparison with unsigned bytes; a null name sorts first. Names
// mostly differ within their first bytes, where a call would cost more than
// the comparison.
inline int CompareNames(const char* pcA, const char* pcB)
{
    if (pcA == nullptr || pcB == nullptr)
        return (pcA != nullptr) - (pcB != nullptr);
    const auto* pucA = reinterpret_cast<const unsigned char*>(pcA);
    const auto* pucB = reinterpret_cast<const unsigned char*>(pcB);
    while (*pucA != 0 && *pucA == *pucB)
    {
        ++pucA;
        ++pucB;
    }
    return static_cast<int>(*pucA) - static_cast<int>(*pucB);
}

// The same for two entries' names, which are texts of their own
// (NiArenaStrDup or a load's text read): eight bytes a step.
inline int CompareEntryNames(const char* pcA, const char* pcB)
{
    if (pcA == nullptr || pcB == nullptr)
        return (pcA != nullptr) - (pcB != nullptr);
    return NiComparePieceTexts(pcA, pcB);
}
} // namespace

NiObjectNET::~NiObjectNET()
{
    RemoveAllExtraData();
    NiLoadArena::Free(m_pcName);
}

void NiObjectNET::SetName(const char* pcName)
{
    char* pcCopy = NiArenaStrDup(pcName);
    NiLoadArena::Free(m_pcName);
    m_pcName = pcCopy;
}

NiExtraData* NiObjectNET::GetExtraDataAt(std::uint32_t uiIndex) const
{
    return uiIndex < m_uiExtraDataSize ? m_ppkExtra[uiIndex] : nullptr;
}

NiExtraData* NiObjectNET::GetExtraData(const char* pcName) const
{
    if (pcName == nullptr)
        return nullptr;
    std::uint32_t uiLow = 0;
    std::uint32_t uiHigh = m_uiExtraDataSize;
    while (uiLow < uiHigh)
    {
        std::uint32_t uiMid = uiLow + (uiHigh - uiLow) / 2;
        int iCompare = CompareNames(m_ppkExtra[uiMid]->GetName(), pcName);
        if (iCompare == 0)
            return m_ppkExtra[uiMid];
        if (iCompare < 0)
            uiLow = uiMid + 1;
        else
            uiHigh = uiMid;
    }
    return nullptr;
}

bool NiObjectNET::AddExtraData(NiExtraData* pkExtra)
{
    if (pkExtra == nullptr)
        return false;

    if (pkExtra->GetName() == nullptr)
    {
        const NiTypeInfo* pkType = pkExtra->GetTypeInfo();
        const char* pcClass = pkType ? pkType->GetName() : "";
        if (pcClass == nullptr || pcClass[0] == '\0')
            return false;
        char acNumber[32];
        std::snprintf(acNumber, sizeof(acNumber), "ED%03u", m_uiExtraDataSize);
        const char* pcFound = std::strstr(pcClass, "ExtraData");
        std::string kName = pcFound ? std::string(pcClass, pcFound - pcClass) : std::string();
        kName += acNumber;
        pkExtra->SetName(kName.c_str());
    }

    pkExtra->IncRefCount();
    if (m_uiExtraDataSize == m_uiExtraDataCapacity)
    {
        std::uint32_t uiNewCapacity = m_ppkExtra == nullptr ? 1 : 2 * m_uiExtraDataCapacity + 1;
        auto** ppkNew = NiArenaNewArray<NiExtraData*>(uiNewCapacity);
        for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
            ppkNew[i] = m_ppkExtra[i];
        NiLoadArena::Free(m_ppkExtra);
        m_ppkExtra = ppkNew;
        m_uiExtraDataCapacity = uiNewCapacity;
    }
    // Slots past the entries are null already (arrays start zeroed, a
    // removal clears the slot it frees).
    std::uint32_t uiIndex = m_uiExtraDataSize++;
    m_ppkExtra[uiIndex] = pkExtra;

    while (uiIndex > 0)
    {
        int iCompare = CompareEntryNames(m_ppkExtra[uiIndex - 1]->GetName(), pkExtra->GetName());
        if (iCompare == 0)
        {
            RemoveExtraDataAt(uiIndex);
            return false;
        }
        if (iCompare < 0)
            break;
        m_ppkExtra[uiIndex] = m_ppkExtra[uiIndex - 1];
        m_ppkExtra[uiIndex - 1] = pkExtra;
        --uiIndex;
    }
    return true;
}

bool NiObjectNET::RemoveExtraData(const char* pcName)
{
    NiExtraData* pkFound = GetExtraData(pcName);
    if (pkFound == nullptr)
        return false;
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
    {
        if (m_ppkExtra[i] == pkFound)
            return RemoveExtraDataAt(i);
    }
    return false;
}

bool NiObjectNET::RemoveExtraDataAt(std::uint32_t uiIndex)
{
    if (uiIndex >= m_uiExtraDataSize)
        return false;
    NiExtraData* pkOld = m_ppkExtra[uiIndex];
    for (std::uint32_t i = uiIndex + 1; i < m_uiExtraDataSize; ++i)
        m_ppkExtra[i - 1] = m_ppkExtra[i];
    --m_uiExtraDataSize;
    m_ppkExtra[m_uiExtraDataSize] = nullptr;
    pkOld->DecRefCount();
    return true;
}

void NiObjectNET::RemoveAllExtraData()
{
    // The entries (mostly a line or two each, one after another) are all
    // fetched before the walk from the last needs them.
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
        __builtin_prefetch(m_ppkExtra[i], 1);
    // Last to first, each slot cleared before its entry lets go (as
    // RemoveExtraDataAt does it, without the moves).
    while (m_uiExtraDataSize > 0)
    {
        NiExtraData* pkOld = m_ppkExtra[--m_uiExtraDataSize];
        m_ppkExtra[m_uiExtraDataSize] = nullptr;
        pkOld->DecRefCount();
    }
    NiLoadArena::Free(m_ppkExtra);
    m_ppkExtra = nullptr;
    m_uiExtraDataCapacity = 0;
}

bool NiObjectNET::ReserveExtraData(std::uint32_t uiCount)
{
    // Fewer slots than entries would drop references.
    if (uiCount == 0 || uiCount < m_uiExtraDataSize)
        return false;
    auto** ppkNew = NiArenaNewArray<NiExtraData*>(uiCount);
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
        ppkNew[i] = m_ppkExtra[i];
    NiLoadArena::Free(m_ppkExtra);
    m_ppkExtra = ppkNew;
    m_uiExtraDataCapacity = uiCount;
    return true;
}

namespace
{
std::atomic<std::uint32_t> s_uiControllerListEpoch{0};
} // namespace

std::uint32_t NiObjectNET::GetControllerListEpoch()
{
    return s_uiControllerListEpoch.load(std::memory_order_relaxed);
}

void NiObjectNET::ControllerListsChanged()
{
    s_uiControllerListEpoch.fetch_add(1, std::memory_order_relaxed);
}

void NiObjectNET::PrependController(NiTimeController* pkController)
{
    if (pkController == nullptr)
        return;
    ControllerListsChanged();
    // Held across the relinking: the chain may own the only reference.
    NiTimeControllerPtr spController = pkController;
    spController->SetNext(m_spControllers);
    m_spControllers = spController;
}

void NiObjectNET::RemoveController(NiTimeController* pkController)
{
    if (pkController == nullptr || m_spControllers == nullptr)
        return;
    ControllerListsChanged();
    NiTimeControllerPtr spKeep = pkController;
    if (m_spControllers == pkController)
    {
        m_spControllers = pkController->GetNext();
        pkController->SetNext(nullptr);
        return;
    }
    for (NiTimeController* pk = m_spControllers; pk->GetNext() != nullptr; pk = pk->GetNext())
    {
        if (pk->GetNext() == pkController)
        {
            pk->SetNext(pkController->GetNext());
            pkController->SetNext(nullptr);
            return;
        }
    }
}

NiTimeController* NiObjectNET::GetControllerOfType(const NiTypeInfo* pkType) const
{
    for (NiTimeController* pk = m_spControllers; pk != nullptr; pk = pk->GetNext())
    {
        if (NiIsKindOf(pkType, pk))
            return pk;
    }
    return nullptr;
}

// ---- Scene-file record ----

void NiObjectNET::ReadFromStream(NiObjectStream& kStream)
{
    kStream.ReadObjectPart(*this); // NiObject's part
    char* pcName = kStream.ReadArenaString().release();
    NiLoadArena::Free(m_pcName);
    m_pcName = pcName;
    if (kStream.GetFileVersion() >= NiStreamVersion(5, 0, 0, 11))
    {
        // The entries' slots are taken now, beside this object, rather than
        // in the link pass among everything else: this object's death reads
        // them.
        std::uint32_t uiCount = kStream.ReadLinkIDList();
        if (uiCount > 0 && m_uiExtraDataSize + uiCount > m_uiExtraDataCapacity)
            ReserveExtraData(m_uiExtraDataSize + uiCount);
    }
    else
    {
        kStream.ReadLinkID();
    }
    kStream.ReadLinkID();
}

void NiObjectNET::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    if (kStream.GetFileVersion() >= NiStreamVersion(5, 0, 0, 11))
    {
        std::uint32_t uiCount = kStream.GetNextLinkCount();
        if (uiCount > 0 && m_uiExtraDataSize + uiCount != m_uiExtraDataCapacity)
            ReserveExtraData(m_uiExtraDataSize + uiCount);
        // An entry only the load's table holds, while no other thread can
        // reach the load's objects, is counted without a locked instruction
        // (one per entry was most of this pass's time). That assumes nothing
        // of the load can be found from another thread before the load
        // ends: an instance list is the only way out, and CountsPrivately
        // is false once any of the load's objects is on one.
        const bool bPrivate = uiCount > 0 && kStream.CountsPrivately();
        // The links in one step where all are queued (else one by one, each
        // missing one marking the load corrupt).
        const std::uint32_t* puiLinks = kStream.TakeLinkIDs(uiCount);
        const NiTypeInfo* pkEntryType = NiExtraData::TypeInfo();
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            NiExtraData* pkExtra = puiLinks != nullptr
                                       ? static_cast<NiExtraData*>(kStream.GetLinkedObject(puiLinks[i], pkEntryType))
                                       : kStream.GetLinkedObjectAs<NiExtraData>();
            // Files keep an object's entries in their sorted order, so an
            // entry normally goes behind the last one with room reserved
            // above: appended at once. Anything else (no entry, no name, a
            // name out of order or already present, no room) is added the
            // general way, which names, sorts or refuses it.
            const char* pcName = pkExtra != nullptr ? pkExtra->GetName() : nullptr;
            if (pcName != nullptr && m_uiExtraDataSize < m_uiExtraDataCapacity &&
                (m_uiExtraDataSize == 0 ||
                 CompareEntryNames(m_ppkExtra[m_uiExtraDataSize - 1]->GetName(), pcName) < 0))
            {
                // A link-free entry whose reference the load's table still
                // holds: that reference becomes this object's, with nothing
                // counted.
                const bool bTakenOver =
                    bPrivate && puiLinks != nullptr && kStream.TakeOverTableReference(puiLinks[i]);
                if (!bTakenOver && bPrivate && pkExtra->GetRefCount() == 1)
                    pkExtra->IncRefCountPrivate();
                else if (!bTakenOver)
                    pkExtra->IncRefCount();
                m_ppkExtra[m_uiExtraDataSize++] = pkExtra;
                continue;
            }
            AddExtraData(pkExtra);
        }
    }
    else
    {
        m_pkOldExtraChain = kStream.GetLinkedObjectAs<NiExtraData>();
    }
    const bool bHadControllers = m_spControllers != nullptr;
    m_spControllers = kStream.GetLinkedObjectAs<NiTimeController>();
    // A null chain where there was none changes nothing a noted order
    // knows; a bump for every loaded object would be a locked instruction
    // on one shared counter each.
    if (bHadControllers || m_spControllers != nullptr)
        ControllerListsChanged();
}

void NiObjectNET::PostLink(NiObjectStream& kStream)
{
    NiObject::PostLink(kStream);
    if (kStream.GetFileVersion() < NiStreamVersion(5, 0, 0, 11))
    {
        // Each element's link is cleared as it is taken, so even a chain that
        // loops comes to an end; reaching an entry already taken is how a
        // loop shows.
        NiExtraData* pkExtra = m_pkOldExtraChain;
        m_pkOldExtraChain = nullptr;
        std::uint32_t uiSteps = 0;
        while (pkExtra != nullptr)
        {
            if (++uiSteps > kStream.GetFileObjectCount())
            {
                kStream.SetCorrupt();
                return;
            }
            NiExtraData* pkNext = pkExtra->GetOldNext();
            pkExtra->ClearOldNext();
            for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
            {
                if (m_ppkExtra[i] == pkExtra)
                {
                    kStream.SetCorrupt();
                    return;
                }
            }
            AddExtraData(pkExtra);
            pkExtra = pkNext;
        }
    }

    // Vertex weights are dropped on load; the rescan restarts after each
    // removal because the entries move down. With no such entry alive
    // anywhere there is nothing to look for.
    bool bRemoved = NiVertWeightsExtraData::AnyAlive();
    while (bRemoved)
    {
        bRemoved = false;
        for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
        {
            if (NiIsExactKindOf(NiVertWeightsExtraData::TypeInfo(), m_ppkExtra[i]))
            {
                RemoveExtraDataAt(i);
                bRemoved = true;
                break;
            }
        }
    }
}

bool NiObjectNET::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
    {
        if (m_ppkExtra[i]->IsStreamable())
            m_ppkExtra[i]->RegisterForSave(kStream);
    }
    if (NiTimeController* pkFirst = NiTimeController::FirstStreamable(m_spControllers))
        pkFirst->RegisterForSave(kStream);
    return true;
}

void NiObjectNET::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteString(m_pcName);
    std::uint32_t uiStreamable = 0;
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
        uiStreamable += m_ppkExtra[i]->IsStreamable() ? 1 : 0;
    kStream.WriteLE(uiStreamable);
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
    {
        if (m_ppkExtra[i]->IsStreamable())
            kStream.WriteLinkID(m_ppkExtra[i]);
    }
    kStream.WriteLinkID(NiTimeController::FirstStreamable(m_spControllers));
}

bool NiObjectNET::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkNET = static_cast<NiObjectNET*>(pkOther);
    if ((m_pcName == nullptr) != (pkNET->m_pcName == nullptr))
        return false;
    if (m_pcName != nullptr && std::strcmp(m_pcName, pkNET->m_pcName) != 0)
        return false;
    if (m_uiExtraDataSize != pkNET->m_uiExtraDataSize)
        return false;
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
    {
        if (!m_ppkExtra[i]->IsEqual(pkNET->m_ppkExtra[i]))
            return false;
    }
    if (NiTimeController::CountChain(m_spControllers) != NiTimeController::CountChain(pkNET->m_spControllers))
        return false;
    NiTimeController* pkOtherController = pkNET->m_spControllers;
    for (NiTimeController* pk = m_spControllers; pk != nullptr; pk = pk->GetNext())
    {
        if (!pk->IsEqual(pkOtherController))
            return false;
        pkOtherController = pkOtherController->GetNext();
    }
    return true;
}

void NiObjectNET::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiObjectNET::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerString("m_pcName", m_pcName));
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
        m_ppkExtra[i]->AppendViewerStrings(kStrings);
    for (NiTimeController* pk = m_spControllers; pk != nullptr; pk = pk->GetNext())
        pk->AppendViewerStrings(kStrings);
}

// ---- Cloning ----

void NiObjectNET::CopyMembers(NiObjectNET* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    if (m_pcName != nullptr)
    {
        if (kCloning.m_uiCopyMode == NiCloneContext::COPY_EXACT)
        {
            pkDest->SetName(m_pcName);
        }
        else if (kCloning.m_uiCopyMode == NiCloneContext::COPY_UNIQUE)
        {
            std::string kName = m_pcName;
            kName += kCloning.m_cAppendChar;
            pkDest->SetName(kName.c_str());
        }
    }
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
    {
        if (m_ppkExtra[i]->IsCloneable())
        {
            // Held while it is added: a refused copy is freed, not leaked.
            NiObjectPtr spCopy = m_ppkExtra[i]->CreateClone(kCloning);
            pkDest->AddExtraData(static_cast<NiExtraData*>(spCopy.Get()));
        }
    }
    if (m_spControllers != nullptr)
    {
        pkDest->m_spControllers = static_cast<NiTimeController*>(m_spControllers->CreateClone(kCloning));
        ControllerListsChanged();
    }
}

void NiObjectNET::FinishClone(NiCloneContext& kCloning)
{
    NiObject::FinishClone(kCloning);
    for (std::uint32_t i = 0; i < m_uiExtraDataSize; ++i)
        m_ppkExtra[i]->FinishClone(kCloning);
    if (m_spControllers != nullptr)
        m_spControllers->FinishClone(kCloning);
}
