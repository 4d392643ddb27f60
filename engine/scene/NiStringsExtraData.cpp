#include "engine/scene/NiStringsExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiExtraDataLocal.h"

NiImplementLinkFreeTypeInfo(NiStringsExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiStringsExtraData)

NiStringsExtraData::~NiStringsExtraData()
{
    NiExtraDataLocal::FreeStrings(m_uiSize, m_ppcValue);
}

const char* NiStringsExtraData::GetValue(std::uint32_t uiIndex) const
{
    return (m_ppcValue != nullptr && uiIndex < m_uiSize) ? m_ppcValue[uiIndex] : nullptr;
}

void NiStringsExtraData::SetValue(std::uint32_t uiSize, const char* const* ppcStrings)
{
    char** ppcCopy = NiExtraDataLocal::CopyStrings(uiSize, const_cast<char* const*>(ppcStrings));
    NiExtraDataLocal::FreeStrings(m_uiSize, m_ppcValue);
    m_ppcValue = ppcCopy;
    m_uiSize = ppcCopy ? uiSize : 0;
}

void NiStringsExtraData::CopyMembers(NiStringsExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->SetValue(m_uiSize, m_ppcValue);
}

void NiStringsExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    NiExtraDataLocal::ReadStrings(kStream, m_uiSize, m_ppcValue);
}

void NiStringsExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    NiExtraDataLocal::WriteStrings(kStream, m_uiSize, m_ppcValue);
}

bool NiStringsExtraData::IsEqual(NiObject* pkOther)
{
    if (!IsEqualClass(pkOther))
        return false;
    auto* pk = static_cast<NiStringsExtraData*>(pkOther);
    return NiExtraDataLocal::EqualStringArrays(m_uiSize, m_ppcValue, pk->m_uiSize, pk->m_ppcValue);
}

void NiStringsExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiStringsExtraData::TypeInfo()->GetName()));
    NiExtraDataLocal::AppendStringViewer(kStrings, m_uiSize, m_ppcValue);
}
