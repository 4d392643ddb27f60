#include "engine/animation/NiSequence.h"

#include "engine/animation/NiAnimText.h"
#include "engine/animation/NiSequenceStreamHelper.h"
#include "engine/animation/NiTransformController.h"
#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiStringExtraData.h"


NiImplementTypeInfo(NiSequence, NiObject)
NiImplementCreateClone(NiSequence)

namespace
{
constexpr std::uint32_t SEQUENCE_RECORD_FROM = NiStreamVersion(4, 1, 0, 3);
} // namespace

NiSequence::NiSequence(const char* pcName, std::uint32_t uiInitialSize, std::uint32_t uiGrowBy)
    : m_spName(NiCopyText(pcName)), m_uiGrowBy(uiGrowBy)
{
    m_kNames.reserve(uiInitialSize);
    m_kControllers.reserve(uiInitialSize);
}

void NiSequence::SetName(const char* pcName)
{
    m_spName = NiCopyText(pcName);
}

std::uint32_t NiSequence::AddNameAndController(const char* pcName, NiTimeController* pkController)
{
    m_kNames.push_back(NiCopyText(pcName));
    m_kControllers.emplace_back(pkController);
    return static_cast<std::uint32_t>(m_kControllers.size() - 1);
}

const char* NiSequence::GetNameAt(std::uint32_t uiIndex) const
{
    return uiIndex < m_kNames.size() ? m_kNames[uiIndex].get() : nullptr;
}

NiTimeController* NiSequence::GetControllerAt(std::uint32_t uiIndex) const
{
    return uiIndex < m_kControllers.size() ? m_kControllers[uiIndex].Get() : nullptr;
}

NiSequencePtr NiSequence::CreateFromStream(NiObjectStream& kStream, std::uint32_t uiIndex, const char* pcName)
{
    if (uiIndex >= kStream.GetObjectCount())
        return nullptr;
    NiObject* pkTop = kStream.GetObjectAt(uiIndex);
    if (kStream.GetFileVersion() >= SEQUENCE_RECORD_FROM)
    {
        NiSequencePtr spSequence = NiDynamicCast<NiSequence>(pkTop);
        if (spSequence && pcName != nullptr)
            spSequence->SetName(pcName);
        return spSequence;
    }

    NiRefPtr<NiSequenceStreamHelper> spHelper = NiDynamicCast<NiSequenceStreamHelper>(pkTop);
    if (!spHelper)
        return nullptr;
    NiSequencePtr spSequence =
        new NiSequence(pcName != nullptr ? pcName : spHelper->GetName(), DEFAULT_SIZE, DEFAULT_SIZE);

    for (std::uint32_t i = 0; i < spHelper->GetExtraDataSize(); ++i)
    {
        auto* pkKeys = NiDynamicCast<NiTextKeyExtraData>(spHelper->GetExtraDataAt(i));
        if (pkKeys == nullptr)
            continue;
        spSequence->SetTextKeys(pkKeys);
        spHelper->RemoveExtraDataAt(i);
        break;
    }

    // Each object name takes the chain's next controller; only transform
    // controllers are adopted, the others are dropped and their names get
    // none.
    NiTimeControllerPtr spController = spHelper->GetControllers();
    for (std::uint32_t i = 0; i < spHelper->GetExtraDataSize(); ++i)
    {
        auto* pkName = NiDynamicCast<NiStringExtraData>(spHelper->GetExtraDataAt(i));
        if (pkName == nullptr)
            continue;
        NiTimeControllerPtr spCurrent = spController;
        if (spCurrent)
        {
            spController = spCurrent->GetNext();
            spHelper->RemoveController(spCurrent);
            // The helper goes away with the stream: no target pointer to it
            // may stay behind.
            spCurrent->SetTarget(nullptr);
        }
        NiTimeController* pkAdopted = NiIsKindOf<NiTransformController>(spCurrent.Get()) ? spCurrent.Get() : nullptr;
        spSequence->AddNameAndController(pkName->GetValue(), pkAdopted);
    }
    spHelper->RemoveAllExtraData();
    return spSequence;
}

NiSequencePtr NiSequence::CreateFromFile(const char* pcPath, std::uint32_t uiIndex, const char* pcName)
{
    NiObjectStream kStream;
    if (pcPath == nullptr || !kStream.LoadFile(pcPath))
        return nullptr;
    return CreateFromStream(kStream, uiIndex, pcName);
}

// ---- Cloning and records ----

void NiSequence::CopyMembers(NiSequence* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->SetName(GetName());
    pkDest->m_uiStoredValue = m_uiStoredValue;
    pkDest->m_uiGrowBy = m_uiGrowBy;
    pkDest->m_spTextKeys = m_spTextKeys;
    for (std::uint32_t i = 0; i < GetCount(); ++i)
        pkDest->AddNameAndController(GetNameAt(i), m_kControllers[i]);
}

void NiSequence::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    m_spName.reset(kStream.ReadString());
    kStream.ReadLE(m_uiStoredValue);
    kStream.ReadLinkID();
    // Each entry takes at least a name length and a link.
    std::uint32_t uiCount = 0;
    kStream.ReadCount(uiCount, 8);
    kStream.QueueLinkCount(uiCount);
    m_kNames.clear();
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
    {
        m_kNames.emplace_back(kStream.ReadString());
        kStream.ReadLinkID();
    }
}

void NiSequence::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    m_spTextKeys = kStream.GetLinkedObjectAs<NiTextKeyExtraData>();
    std::uint32_t uiCount = kStream.GetNextLinkCount();
    m_kControllers.clear();
    for (std::uint32_t i = 0; i < uiCount && !kStream.IsCorrupt(); ++i)
        m_kControllers.emplace_back(kStream.GetLinkedObjectAs<NiTimeController>());
    if (m_kControllers.size() != m_kNames.size())
        kStream.SetCorrupt();
}

void NiSequence::DropCountedLinks()
{
    NiObject::DropCountedLinks();
    m_spTextKeys = nullptr;
    m_kControllers.clear();
}

bool NiSequence::RegisterForSave(NiObjectStream& kStream)
{
    if (!NiObject::RegisterForSave(kStream))
        return false;
    if (m_spTextKeys)
        m_spTextKeys->RegisterForSave(kStream);
    for (const NiTimeControllerPtr& sp : m_kControllers)
    {
        if (sp)
            sp->RegisterForSave(kStream);
    }
    return true;
}

void NiSequence::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteString(GetName());
    kStream.WriteLE(m_uiStoredValue);
    kStream.WriteLinkID(m_spTextKeys);
    kStream.WriteLE(GetCount());
    for (std::uint32_t i = 0; i < GetCount(); ++i)
    {
        kStream.WriteString(GetNameAt(i));
        kStream.WriteLinkID(m_kControllers[i]);
    }
}

bool NiSequence::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkSequence = static_cast<NiSequence*>(pkOther);
    if (!NiTextEqual(GetName(), pkSequence->GetName()) || GetCount() != pkSequence->GetCount() ||
        m_uiStoredValue != pkSequence->m_uiStoredValue)
        return false;
    if ((m_spTextKeys == nullptr) != (pkSequence->m_spTextKeys == nullptr) ||
        (m_spTextKeys && !m_spTextKeys->IsEqual(pkSequence->m_spTextKeys)))
        return false;
    for (std::uint32_t i = 0; i < GetCount(); ++i)
    {
        NiTimeController* a = m_kControllers[i];
        NiTimeController* b = pkSequence->m_kControllers[i];
        if (!NiTextEqual(GetNameAt(i), pkSequence->GetNameAt(i)) || (a == nullptr) != (b == nullptr) ||
            (a != nullptr && !a->IsEqual(b)))
            return false;
    }
    return true;
}
