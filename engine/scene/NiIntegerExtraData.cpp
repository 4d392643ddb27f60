#include "engine/scene/NiIntegerExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementLinkFreeTypeInfo(NiIntegerExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiIntegerExtraData)

void NiIntegerExtraData::CopyMembers(NiIntegerExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->m_iValue = m_iValue;
}

void NiIntegerExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    kStream.ReadLE(m_iValue);
}

void NiIntegerExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteLE(m_iValue);
}

bool NiIntegerExtraData::IsEqual(NiObject* pkOther)
{
    return IsEqualClass(pkOther) && static_cast<NiIntegerExtraData*>(pkOther)->m_iValue == m_iValue;
}

void NiIntegerExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiIntegerExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerInt("m_iValue", m_iValue));
}
