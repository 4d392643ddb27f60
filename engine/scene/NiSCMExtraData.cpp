#include "engine/scene/NiSCMExtraData.h"

NiImplementLinkFreeTypeInfo(NiSCMExtraData, NiExtraData, NiExtraData::LINK_FREE_VERSION)

NiSCMExtraData::NiSCMExtraData(const char* pcName, std::uint32_t uiFirstCapacity, std::uint32_t uiSecondCapacity)
    : NiExtraData(pcName), m_auiCapacity{uiFirstCapacity, uiSecondCapacity}
{
    for (int i = 0; i < 2; ++i)
    {
        if (m_auiCapacity[i] != 0)
            m_aspEntries[i] = std::make_unique<Entry[]>(m_auiCapacity[i]);
    }
}

bool NiSCMExtraData::AddEntry(std::uint32_t uiArray, std::uint32_t uiKey, NiExtraData* pkSource)
{
    if (uiArray > 1 || m_auiCount[uiArray] >= m_auiCapacity[uiArray])
        return false;
    Entry& kEntry = m_aspEntries[uiArray][m_auiCount[uiArray]++];
    kEntry.m_uiKey = uiKey;
    kEntry.m_spSource = pkSource;
    return true;
}

std::uint32_t NiSCMExtraData::GetCapacity(std::uint32_t uiArray) const
{
    return uiArray < 2 ? m_auiCapacity[uiArray] : 0;
}

std::uint32_t NiSCMExtraData::GetCount(std::uint32_t uiArray) const
{
    return uiArray < 2 ? m_auiCount[uiArray] : 0;
}

const NiSCMExtraData::Entry* NiSCMExtraData::GetEntry(std::uint32_t uiArray, std::uint32_t uiIndex) const
{
    if (uiArray > 1 || uiIndex >= m_auiCount[uiArray])
        return nullptr;
    return &m_aspEntries[uiArray][uiIndex];
}
