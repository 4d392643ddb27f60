#include "engine/scene/NiVectorExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementLinkFreeTypeInfo(NiVectorExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiVectorExtraData)

void NiVectorExtraData::SetValue(float fX, float fY, float fZ, float fW)
{
    m_afVector[0] = fX;
    m_afVector[1] = fY;
    m_afVector[2] = fZ;
    m_afVector[3] = fW;
}

void NiVectorExtraData::CopyMembers(NiVectorExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    for (int i = 0; i < 4; ++i)
        pkDest->m_afVector[i] = m_afVector[i];
}

void NiVectorExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    bool bFour = kStream.GetFileVersion() >= NiStreamVersion(5, 0, 0, 14);
    kStream.ReadLE(m_afVector, bFour ? 4 : 3);
    if (!bFour)
        m_afVector[3] = 0.0f;
}

void NiVectorExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteLE(m_afVector, 4);
}

bool NiVectorExtraData::IsEqual(NiObject* pkOther)
{
    if (!IsEqualClass(pkOther))
        return false;
    const float* pfOther = static_cast<NiVectorExtraData*>(pkOther)->m_afVector;
    for (int i = 0; i < 4; ++i)
    {
        if (m_afVector[i] != pfOther[i])
            return false;
    }
    return true;
}

void NiVectorExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiVectorExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerFormat("Vector = (%5.3f,%5.3f,%5.3f,%5.3f)", m_afVector[0], m_afVector[1], m_afVector[2],
                                    m_afVector[3]));
}
