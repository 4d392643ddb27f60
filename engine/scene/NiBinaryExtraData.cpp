#include "engine/scene/NiBinaryExtraData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/scene/NiExtraDataLocal.h"

#include <cstring>

NiImplementLinkFreeTypeInfo(NiBinaryExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)

NiBinaryExtraData::NiBinaryExtraData(std::uint32_t uiSize, std::uint8_t* pucData)
{
    SetValue(uiSize, pucData);
}

NiBinaryExtraData::~NiBinaryExtraData()
{
    delete[] m_pucData;
}

void NiBinaryExtraData::SetValue(std::uint32_t uiSize, std::uint8_t* pucData)
{
    if (pucData != m_pucData)
        delete[] m_pucData;
    m_pucData = pucData;
    m_uiSize = pucData ? uiSize : 0;
}

NiImplementCreateClone(NiBinaryExtraData)

void NiBinaryExtraData::CopyMembers(NiBinaryExtraData* pkDest, NiCloneContext& kCloning)
{
    NiExtraData::CopyMembers(pkDest, kCloning);
    std::uint8_t* pucCopy = nullptr;
    if (m_pucData != nullptr && m_uiSize > 0)
    {
        pucCopy = new std::uint8_t[m_uiSize];
        std::memcpy(pucCopy, m_pucData, m_uiSize);
    }
    pkDest->SetValue(m_uiSize, pucCopy);
}

void NiBinaryExtraData::ReadFromStream(NiObjectStream& kStream)
{
    NiExtraData::ReadFromStream(kStream);
    std::uint32_t uiSize = 0;
    SetValue(0, nullptr);
    if (!kStream.ReadCount(uiSize, 1) || uiSize == 0)
        return;
    auto* pucData = new std::uint8_t[uiSize];
    if (!kStream.ReadBytes(pucData, uiSize))
    {
        delete[] pucData;
        return;
    }
    SetValue(uiSize, pucData);
}

void NiBinaryExtraData::WriteToStream(NiObjectStream& kStream)
{
    NiExtraData::WriteToStream(kStream);
    kStream.WriteLE(m_uiSize);
    kStream.WriteBytes(m_pucData, m_uiSize);
}

bool NiBinaryExtraData::IsEqual(NiObject* pkOther)
{
    if (!IsEqualClass(pkOther))
        return false;
    auto* pkBinary = static_cast<NiBinaryExtraData*>(pkOther);
    return NiExtraDataLocal::EqualArrays(m_uiSize, m_pucData, pkBinary->m_uiSize, pkBinary->m_pucData);
}

void NiBinaryExtraData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiExtraData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiBinaryExtraData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiSize", m_uiSize));
}
