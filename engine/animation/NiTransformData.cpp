#include "engine/animation/NiTransformData.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiTransformData, NiObject)
NiImplementCreateClone(NiTransformData)

NiObject* NiTransformData::CreateObject()
{
    return new NiTransformData;
}

void NiTransformData::CopyMembers(NiTransformData* pkDest, NiCloneContext& kCloning)
{
    NiObject::CopyMembers(pkDest, kCloning);
    pkDest->m_kRot.CopyFrom(m_kRot);
    pkDest->m_kPos.CopyFrom(m_kPos);
    pkDest->m_kScale.CopyFrom(m_kScale);
}

void NiTransformData::ReplaceRotKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kRot.Replace(pkKeys, uiNumKeys, uiType);
}

void NiTransformData::ReplacePosKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kPos.Replace(pkKeys, uiNumKeys, uiType);
}

void NiTransformData::ReplaceScaleKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kScale.Replace(pkKeys, uiNumKeys, uiType);
}

void NiTransformData::SetPosKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kPos.Set(pkKeys, uiNumKeys, uiType);
}

void NiTransformData::SetScaleKeys(NiAnimKey* pkKeys, std::uint32_t uiNumKeys, std::uint32_t uiType)
{
    m_kScale.Set(pkKeys, uiNumKeys, uiType);
}

void NiTransformData::GuaranteeKeysAtStartAndEnd(float fStart, float fEnd)
{
    if (m_kRot.HasKeys())
        m_kRot.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
    if (m_kPos.HasKeys())
        m_kPos.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
    if (m_kScale.HasKeys())
        m_kScale.GuaranteeKeysAtStartAndEnd(fStart, fEnd);
}

NiRefPtr<NiTransformData> NiTransformData::GetSequenceData(float fBegin, float fEnd)
{
    NiRefPtr<NiTransformData> spCopy = static_cast<NiTransformData*>(Clone());
    if (spCopy)
    {
        spCopy->m_kRot.ReduceToSubRange(fBegin, fEnd);
        spCopy->m_kPos.ReduceToSubRange(fBegin, fEnd);
        spCopy->m_kScale.ReduceToSubRange(fBegin, fEnd);
    }
    return spCopy;
}

void NiTransformData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    if (m_kRot.Read(kStream) && m_kPos.Read(kStream))
        (void)m_kScale.Read(kStream);
}

void NiTransformData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    m_kRot.Write(kStream);
    m_kPos.Write(kStream);
    m_kScale.Write(kStream);
}

bool NiTransformData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiTransformData*>(pkOther);
    return m_kRot.IsEqual(pkData->m_kRot) && m_kPos.IsEqual(pkData->m_kPos) && m_kScale.IsEqual(pkData->m_kScale);
}

void NiTransformData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTransformData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumRotKeys", m_kRot.GetNumKeys()));
    kStrings.AddTail(NiViewerUInt("m_uiNumPosKeys", m_kPos.GetNumKeys()));
    kStrings.AddTail(NiViewerUInt("m_uiNumScaleKeys", m_kScale.GetNumKeys()));
}
