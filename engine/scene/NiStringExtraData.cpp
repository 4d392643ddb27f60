#include "engine/scene/NiStringExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiExtraDataLocal.h"

NiImplementLinkFreeTypeInfo(NiStringExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiStringExtraData)

NiStringExtraData::~NiStringExtraData()
{
    NiLoadArena::Free(m_pString);
}

void NiStringExtraData::SetValue(const char* pcText)
{
    char* pcCopy = NiArenaStrDup(pcText);
    NiLoadArena::Free(m_pString);
    m_pString = pcCopy;
}

void NiStringExtraData::CopyMembers(NiStringExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->SetValue(m_pString);
}

void NiStringExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    char* pcText = kStream.ReadArenaString().release();
    NiLoadArena::Free(m_pString);
    m_pString = pcText;
}

void NiStringExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteString(m_pString);
}

bool NiStringExtraData::IsEqual(NiObject* pkOther)
{
    return IsEqualClass(pkOther) &&
           NiExtraDataLocal::EqualStrings(m_pString, static_cast<NiStringExtraData*>(pkOther)->m_pString);
}

void NiStringExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiStringExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerString("m_pString", m_pString));
}
