#include "engine/animation/NiColorData.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiColorData, NiObject)
NiImplementCreateClone(NiColorData)

NiObject* NiColorData::CreateObject()
{
    return new NiColorData;
}

void NiColorData::CopyMembers(NiColorData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_kKeys.CopyFrom(m_kKeys);
}

void NiColorData::ReplaceKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Replace(pkKeys, uiNumKeys, uiType);
}

void NiColorData::SetKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Set(pkKeys, uiNumKeys, uiType);
}

void NiColorData::GuaranteeKeysAtStartAndEnd(float fStart, float fEnd)
{
    m_kKeys.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiRefPtr<NiColorData> NiColorData::GetSequenceData(float fBegin, float fEnd)
{
    NiRefPtr<NiColorData> spCopy = static_cast<NiColorData*>(Clone());
    if (spCopy)
        spCopy->m_kKeys.ReduceToSubRange(fBegin, fEnd);
    return spCopy;
}

void NiColorData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    (void)m_kKeys.Read(kStream);
}

void NiColorData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    m_kKeys.Write(kStream);
}

bool NiColorData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    return m_kKeys.IsEqual(static_cast<NiColorData*>(pkOther)->m_kKeys);
}

void NiColorData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiColorData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumKeys", m_kKeys.GetNumKeys()));
}
