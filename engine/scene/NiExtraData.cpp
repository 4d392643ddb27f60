#include "engine/scene/NiExtraData.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiBinaryExtraData.h"

#include <cstring>
#include <memory>

// Only files before 5.0.0.11 chain entries by link (see ResolveLinks).
NiImplementLinkFreeTypeInfo(NiExtraData, NiObject, NiExtraData::LINK_FREE_VERSION)

NiExtraData::NiExtraData(const char* pcName)
{
    SetName(pcName);
}

NiExtraData::~NiExtraData()
{
    NiLoadArena::Free(m_pcName);
}

void NiExtraData::SetName(const char* pcName)
{
    char* pcCopy = (pcName != nullptr && pcName[0] != '\0') ? NiArenaStrDup(pcName) : nullptr;
    NiLoadArena::Free(m_pcName);
    m_pcName = pcCopy;
}

void NiExtraData::ReadOldRecord(NiObjectStream& kStream)
{
    kStream.ReadLinkID();
    std::uint32_t uiBytes = 0;
    if (!kStream.ReadCount(uiBytes, 1))
        return;
    // A plain entry of these files carries raw bytes: it becomes a binary
    // entry, which also takes over its place in the owner's chain (the link
    // just queued is resolved by whatever object stands here).
    if (NiIsExactKindOf(NiExtraData::TypeInfo(), this) && uiBytes != 0)
    {
        auto pucBytes = std::make_unique<std::uint8_t[]>(uiBytes);
        if (!kStream.ReadBytes(pucBytes.get(), uiBytes))
            return;
        kStream.ReplaceCurrentObject(new NiBinaryExtraData(uiBytes, pucBytes.release()));
    }
}

void NiExtraData::ResolveLinks(NiObjectStream& kStream)
{
    NiObject::ResolveLinks(kStream);
    if (kStream.GetFileVersion() < NiStreamVersion(5, 0, 0, 11))
        m_pkOldNext = kStream.GetLinkedObjectAs<NiExtraData>();
}

bool NiExtraData::RegisterForSave(NiObjectStream& kStream)
{
    return NiObject::RegisterForSave(kStream);
}

void NiExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteString(m_pcName);
}

bool NiExtraData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    const char* pcOther = static_cast<NiExtraData*>(pkOther)->m_pcName;
    if (m_pcName == nullptr || pcOther == nullptr)
        return m_pcName == pcOther;
    return std::strcmp(m_pcName, pcOther) == 0;
}

void NiExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerString("m_pcName", m_pcName));
}

void NiExtraData::CopyMembers(NiExtraData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->SetName(m_pcName);
}
