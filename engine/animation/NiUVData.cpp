#include "engine/animation/NiUVData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

NiImplementTypeInfo(NiUVData, NiObject)

NiUVData::NiUVData() : m_apkChannels{&m_kUOffset, &m_kVOffset, &m_kUTiling, &m_kVTiling} {}

NiObject* NiUVData::CreateObject()
{
    return new NiUVData;
}

void NiUVData::SetChannel(std::uint32_t uiChannel, NiAnimKey* pkKeys, std::uint32_t uiCount, std::uint32_t uiType)
{
    if (uiChannel >= CHANNEL_COUNT)
        return;
    m_apkChannels[uiChannel]->Replace(pkKeys, uiCount, uiType);
}

NiAnimKey* NiUVData::GetChannel(std::uint32_t uiChannel, std::uint32_t& uiCount, std::uint32_t& uiType,
                                std::uint8_t& ucStride) const
{
    if (uiChannel >= CHANNEL_COUNT || !m_apkChannels[uiChannel]->HasKeys())
    {
        uiCount = 0;
        uiType = 0;
        ucStride = 0;
        return nullptr;
    }
    const NiKeyChannel& kChannel = *m_apkChannels[uiChannel];
    uiCount = kChannel.GetNumKeys();
    uiType = kChannel.GetType();
    ucStride = kChannel.GetStride();
    return kChannel.GetKeys();
}

void NiUVData::ResetLastApplied()
{
    m_afLastApplied[U_OFFSET] = 0.0f;
    m_afLastApplied[V_OFFSET] = 0.0f;
    m_afLastApplied[U_TILING] = 1.0f;
    m_afLastApplied[V_TILING] = 1.0f;
}

NiObject* NiUVData::CreateClone(NiCloneContext&)
{
    return this;
}

void NiUVData::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    for (NiKeyChannel* pkChannel : m_apkChannels)
    {
        if (!pkChannel->Read(kStream))
            return;
    }
}

void NiUVData::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    for (const NiKeyChannel* pkChannel : m_apkChannels)
        pkChannel->Write(kStream);
}

bool NiUVData::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiUVData*>(pkOther);
    for (std::uint32_t i = 0; i < CHANNEL_COUNT; ++i)
    {
        if (!m_apkChannels[i]->IsEqual(*pkData->m_apkChannels[i]))
            return false;
    }
    return true;
}

void NiUVData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiUVData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiNumUOffsetKeys", m_kUOffset.GetNumKeys()));
    kStrings.AddTail(NiViewerUInt("m_uiNumUTilingKeys", m_kUTiling.GetNumKeys()));
    kStrings.AddTail(NiViewerUInt("m_uiNumVOffsetKeys", m_kVOffset.GetNumKeys()));
    kStrings.AddTail(NiViewerUInt("m_uiNumVTilingKeys", m_kVTiling.GetNumKeys()));
}
