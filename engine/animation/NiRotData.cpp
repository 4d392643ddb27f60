#include "engine/animation/NiRotData.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiRotData, NiObject)
NiImplementCreateClone(NiRotData)

NiObject* NiRotData::CreateObject()
{
    return new NiRotData;
}

void NiRotData::CopyMembers(NiRotData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_kKeys.CopyFrom(m_kKeys);
}

void NiRotData::ReplaceKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Replace(pkKeys, uiNumKeys, uiType);
}

void NiRotData::SetKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Set(pkKeys, uiNumKeys, uiType);
}

void NiRotData::GuaranteeKeysAtStartAndEnd(float fStart, float fEnd)
{
    m_kKeys.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiRefPtr<NiRotData> NiRotData::GetSequenceData(float fBegin, float fEnd)
{
    NiRefPtr<NiRotData> spCopy = static_cast<NiRotData*>(Clone());
    if (spCopy)
        spCopy->m_kKeys.ReduceToSubRange(fBegin, fEnd);
    return spCopy;
}

void NiRotData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    (void)m_kKeys.Read(kStream);
}

void NiRotData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    m_kKeys.Write(kStream);
}

bool NiRotData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    return m_kKeys.IsEqual(static_cast<NiRotData*>(pkOther)->m_kKeys);
}

void NiRotData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiRotData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumKeys", m_kKeys.GetNumKeys()));
}
