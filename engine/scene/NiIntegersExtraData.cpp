#include "engine/scene/NiIntegersExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiExtraDataLocal.h"

#include <cstdio>

NiImplementLinkFreeTypeInfo(NiIntegersExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiIntegersExtraData)

NiIntegersExtraData::~NiIntegersExtraData()
{
    NiLoadArena::Free(m_piValue);
}

void NiIntegersExtraData::SetArray(std::uint32_t uiSize, const std::int32_t* p)
{
    std::int32_t* pCopy = NiExtraDataLocal::CopyArray(uiSize, p);
    NiLoadArena::Free(m_piValue);
    m_piValue = pCopy;
    m_uiSize = pCopy ? uiSize : 0;
}

void NiIntegersExtraData::CopyMembers(NiIntegersExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->SetArray(m_uiSize, m_piValue);
}

void NiIntegersExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    NiExtraDataLocal::ReadArray(kStream, m_uiSize, m_piValue);
}

void NiIntegersExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    NiExtraDataLocal::WriteArray(kStream, m_uiSize, m_piValue);
}

bool NiIntegersExtraData::IsEqual(NiObject* pkOther)
{
    if (!IsEqualClass(pkOther))
        return false;
    auto* pk = static_cast<NiIntegersExtraData*>(pkOther);
    return NiExtraDataLocal::EqualArrays(m_uiSize, m_piValue, pk->m_uiSize, pk->m_piValue);
}

void NiIntegersExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiIntegersExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiSize", m_uiSize));
    for (std::uint32_t i = 0; m_piValue != nullptr && i < m_uiSize; ++i)
    {
        char acName[32];
        std::snprintf(acName, sizeof(acName), "m_piValue[%u]", i);
        kStrings.AddTail(NiViewerInt(acName, m_piValue[i]));
    }
}
