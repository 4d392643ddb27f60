#include "engine/scene/NiFloatsExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiExtraDataLocal.h"

#include <cstdio>

NiImplementLinkFreeTypeInfo(NiFloatsExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiFloatsExtraData)

NiFloatsExtraData::~NiFloatsExtraData()
{
    NiLoadArena::Free(m_pfValue);
}

void NiFloatsExtraData::SetArray(std::uint32_t uiSize, const float* p)
{
    float* pCopy = NiExtraDataLocal::CopyArray(uiSize, p);
    NiLoadArena::Free(m_pfValue);
    m_pfValue = pCopy;
    m_uiSize = pCopy ? uiSize : 0;
}

bool NiFloatsExtraData::SetValue(std::uint32_t uiIndex, float fValue)
{
    if (m_pfValue == nullptr || uiIndex >= m_uiSize)
        return false;
    m_pfValue[uiIndex] = fValue;
    return true;
}

float NiFloatsExtraData::GetValue(std::uint32_t uiIndex) const
{
    return (m_pfValue != nullptr && uiIndex < m_uiSize) ? m_pfValue[uiIndex] : 0.0f;
}

void NiFloatsExtraData::CopyMembers(NiFloatsExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->SetArray(m_uiSize, m_pfValue);
}

void NiFloatsExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    NiExtraDataLocal::ReadArray(kStream, m_uiSize, m_pfValue);
}

void NiFloatsExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    NiExtraDataLocal::WriteArray(kStream, m_uiSize, m_pfValue);
}

bool NiFloatsExtraData::IsEqual(NiObject* pkOther)
{
    if (!IsEqualClass(pkOther))
        return false;
    auto* pk = static_cast<NiFloatsExtraData*>(pkOther);
    return NiExtraDataLocal::EqualArrays(m_uiSize, m_pfValue, pk->m_uiSize, pk->m_pfValue);
}

void NiFloatsExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiFloatsExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiSize", m_uiSize));
    for (std::uint32_t i = 0; m_pfValue != nullptr && i < m_uiSize; ++i)
    {
        char acName[32];
        std::snprintf(acName, sizeof(acName), "m_pfValue[%u]", i);
        kStrings.AddTail(NiViewerFloat(acName, m_pfValue[i]));
    }
}
