#include "engine/scene/NiFloatExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementLinkFreeTypeInfo(NiFloatExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiFloatExtraData)

void NiFloatExtraData::CopyMembers(NiFloatExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->m_fValue = m_fValue;
}

void NiFloatExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    kStream.ReadLE(m_fValue);
}

void NiFloatExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteLE(m_fValue);
}

bool NiFloatExtraData::IsEqual(NiObject* pkOther)
{
    return IsEqualClass(pkOther) && static_cast<NiFloatExtraData*>(pkOther)->m_fValue == m_fValue;
}

void NiFloatExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFloat("m_fValue", m_fValue));
}
