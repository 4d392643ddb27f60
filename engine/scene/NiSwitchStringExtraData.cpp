#include "engine/scene/NiSwitchStringExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiExtraDataLocal.h"

NiImplementLinkFreeTypeInfo(NiSwitchStringExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)
NiImplementCreateClone(NiSwitchStringExtraData)

NiSwitchStringExtraData::~NiSwitchStringExtraData()
{
    NiExtraDataLocal::FreeStrings(m_uiSize, m_ppcValue);
}

const char* NiSwitchStringExtraData::GetValue(std::uint32_t uiIndex) const
{
    return (m_ppcValue != nullptr && uiIndex < m_uiSize) ? m_ppcValue[uiIndex] : nullptr;
}

void NiSwitchStringExtraData::SetValue(std::uint32_t uiSize, const char* const* ppcStrings)
{
    char** ppcCopy = NiExtraDataLocal::CopyStrings(uiSize, const_cast<char* const*>(ppcStrings));
    NiExtraDataLocal::FreeStrings(m_uiSize, m_ppcValue);
    m_ppcValue = ppcCopy;
    m_uiSize = ppcCopy ? uiSize : 0;
}

void NiSwitchStringExtraData::CopyMembers(NiSwitchStringExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    pkDest->SetValue(m_uiSize, m_ppcValue);
    bool bInRange = m_iIndex >= 0 && static_cast<std::uint32_t>(m_iIndex) < pkDest->m_uiSize;
    pkDest->m_iIndex = bInRange ? m_iIndex : -1;
}

void NiSwitchStringExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    NiExtraDataLocal::ReadStrings(kStream, m_uiSize, m_ppcValue);
    kStream.ReadLE(m_iIndex);
}

void NiSwitchStringExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    NiExtraDataLocal::WriteStrings(kStream, m_uiSize, m_ppcValue);
    kStream.WriteLE(m_iIndex);
}

bool NiSwitchStringExtraData::IsEqual(NiObject* pkOther)
{
    if (!IsEqualClass(pkOther))
        return false;
    auto* pk = static_cast<NiSwitchStringExtraData*>(pkOther);
    return m_iIndex == pk->m_iIndex &&
           NiExtraDataLocal::EqualStringArrays(m_uiSize, m_ppcValue, pk->m_uiSize, pk->m_ppcValue);
}

void NiSwitchStringExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiSwitchStringExtraData::TypeInfo()->GetName()));
    NiExtraDataLocal::AppendStringViewer(kStrings, m_uiSize, m_ppcValue);
    kStrings.AddTail(NiViewerInt("m_iIndex", m_iIndex));
}
