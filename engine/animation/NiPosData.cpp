#include "engine/animation/NiPosData.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiPosData, NiObject)
NiImplementCreateClone(NiPosData)

NiObject* NiPosData::CreateObject()
{
    return new NiPosData;
}

void NiPosData::CopyMembers(NiPosData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_kKeys.CopyFrom(m_kKeys);
}

void NiPosData::ReplaceKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Replace(pkKeys, uiNumKeys, uiType);
}

void NiPosData::SetKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Set(pkKeys, uiNumKeys, uiType);
}

void NiPosData::GuaranteeKeysAtStartAndEnd(float fStart, float fEnd)
{
    m_kKeys.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiRefPtr<NiPosData> NiPosData::GetSequenceData(float fBegin, float fEnd)
{
    NiRefPtr<NiPosData> spCopy = static_cast<NiPosData*>(Clone());
    if (spCopy)
        spCopy->m_kKeys.ReduceToSubRange(fBegin, fEnd);
    return spCopy;
}

void NiPosData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    (void)m_kKeys.Read(kStream);
}

void NiPosData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    m_kKeys.Write(kStream);
}

bool NiPosData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    return m_kKeys.IsEqual(static_cast<NiPosData*>(pkOther)->m_kKeys);
}

void NiPosData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiPosData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumKeys", m_kKeys.GetNumKeys()));
}
