#include "engine/scene/NiColorExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementLinkFreeTypeInfo(NiColorExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiColorExtraData)

void NiColorExtraData::CopyMembers(NiColorExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->m_kColor = m_kColor;
}

void NiColorExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    kStream.ReadLE(m_kColor.r);
    kStream.ReadLE(m_kColor.g);
    kStream.ReadLE(m_kColor.b);
    if (kStream.GetFileVersion() >= NiStreamVersion(5, 0, 0, 14))
        kStream.ReadLE(m_kColor.a);
    else
        m_kColor.a = 1.0f;
}

void NiColorExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteLE(m_kColor.r);
    kStream.WriteLE(m_kColor.g);
    kStream.WriteLE(m_kColor.b);
    kStream.WriteLE(m_kColor.a);
}

bool NiColorExtraData::IsEqual(NiObject* pkOther)
{
    return IsEqualClass(pkOther) && static_cast<NiColorExtraData*>(pkOther)->m_kColor == m_kColor;
}

void NiColorExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiColorExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerColorRGBA("Color", m_kColor));
}
