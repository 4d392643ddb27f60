#include "engine/animation/NiBoolData.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiBoolData, NiObject)
NiImplementCreateClone(NiBoolData)

NiObject* NiBoolData::CreateObject()
{
    return new NiBoolData;
}

void NiBoolData::CopyMembers(NiBoolData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_kKeys.CopyFrom(m_kKeys);
}

void NiBoolData::ReplaceKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Replace(pkKeys, uiNumKeys, uiType);
}

void NiBoolData::SetKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kKeys.Set(pkKeys, uiNumKeys, uiType);
}

void NiBoolData::GuaranteeKeysAtStartAndEnd(float fStart, float fEnd)
{
    m_kKeys.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiRefPtr<NiBoolData> NiBoolData::GetSequenceData(float fBegin, float fEnd)
{
    NiRefPtr<NiBoolData> spCopy = static_cast<NiBoolData*>(Clone());
    if (spCopy)
        spCopy->m_kKeys.ReduceToSubRange(fBegin, fEnd);
    return spCopy;
}

void NiBoolData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    (void)m_kKeys.Read(kStream);
}

void NiBoolData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    m_kKeys.Write(kStream);
}

bool NiBoolData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    return m_kKeys.IsEqual(static_cast<NiBoolData*>(pkOther)->m_kKeys);
}

void NiBoolData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBoolData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumKeys", m_kKeys.GetNumKeys()));
}
