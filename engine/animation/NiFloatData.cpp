#include "engine/animation/NiFloatData.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiFloatData, NiObject)
NiImplementCreateClone(NiFloatData)

NiObject* NiFloatData::CreateObject()
{
    return new NiFloatData;
}

void NiFloatData::CopyMembers(NiFloatData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_kKeys.CopyFrom(m_kKeys);
}

void NiFloatData::ReplaceKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Replace(pkKeys, uiNumKeys, uiType);
}

void NiFloatData::SetKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Set(pkKeys, uiNumKeys, uiType);
}

void NiFloatData::GuaranteeKeysAtStartAndEnd(float fStart, float fEnd)
{
    m_kKeys.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiRefPtr<NiFloatData> NiFloatData::GetSequenceData(float fBegin, float fEnd)
{
    NiRefPtr<NiFloatData> spCopy = static_cast<NiFloatData*>(Clone());
    if (spCopy)
        spCopy->m_kKeys.ReduceToSubRange(fBegin, fEnd);
    return spCopy;
}

void NiFloatData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    (void)m_kKeys.Read(kStream);
}

void NiFloatData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    m_kKeys.Write(kStream);
}

bool NiFloatData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    return m_kKeys.IsEqual(static_cast<NiFloatData*>(pkOther)->m_kKeys);
}

void NiFloatData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumKeys", m_kKeys.GetNumKeys()));
}
