#include "engine/scene/NiBooleanExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementLinkFreeTypeInfo(NiBooleanExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiBooleanExtraData)

void NiBooleanExtraData::CopyMembers(NiBooleanExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->m_bValue = m_bValue;
}

void NiBooleanExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    std::uint8_t ucValue = 0;
    kStream.ReadLE(ucValue);
    m_bValue = ucValue != 0;
}

void NiBooleanExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteLE(static_cast<std::uint8_t>(m_bValue ? 1 : 0));
}

bool NiBooleanExtraData::IsEqual(NiObject* pkOther)
{
    return IsEqualClass(pkOther) && static_cast<NiBooleanExtraData*>(pkOther)->m_bValue == m_bValue;
}

void NiBooleanExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBooleanExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerBool("m_bValue", m_bValue));
}
