#include "engine/scene/NiLinesData.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"

#include <algorithm>
#include <new>

NiImplementTypeInfo(NiLinesData, NiGeometryData)

NiLinesData::NiLinesData(std::uint16_t usVertices, NiVec3* pkVertex, NiColorRGBA* pkColor, NiVec2* pkTexture,
                         std::uint16_t usTextureSets, std::uint16_t usNBTMethod, std::uint8_t* pucFlags)
    : NiGeometryData(usVertices, pkVertex, nullptr, pkColor, pkTexture, usTextureSets, usNBTMethod),
      m_pucFlags(pucFlags)
{
    if (m_pucFlags == nullptr && usVertices != 0)
    {
        m_pucFlags = new std::uint8_t[usVertices];
        for (std::uint16_t i = 0; i < usVertices; ++i)
            m_pucFlags[i] = (i % 2 == 0) ? 1 : 0;
    }
}

NiLinesData::~NiLinesData()
{
    delete[] m_pucFlags;
}

NiObject* NiLinesData::CreateObject()
{
    return new NiLinesData;
}

void NiLinesData::ReadFromStream(NiObjectStream& kStream)
{
    NiGeometryData::ReadFromStream(kStream);
    if (kStream.IsCorrupt() || m_usVertices == 0 || !CheckBytesLeft(kStream, m_usVertices))
        return;
    m_pucFlags = new (std::nothrow) std::uint8_t[m_usVertices];
    if (m_pucFlags == nullptr || !kStream.ReadBytes(m_pucFlags, m_usVertices))
        kStream.SetCorrupt();
}

void NiLinesData::WriteToStream(NiObjectStream& kStream)
{
    NiGeometryData::WriteToStream(kStream);
    for (std::uint16_t i = 0; i < m_usVertices; ++i)
        kStream.WriteLE(m_pucFlags != nullptr ? m_pucFlags[i] : std::uint8_t{0});
}

bool NiLinesData::IsEqual(NiObject* pkOther)
{
    if (!NiGeometryData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiLinesData*>(pkOther);
    if ((m_pucFlags == nullptr) != (pkData->m_pucFlags == nullptr))
        return false;
    return m_pucFlags == nullptr || std::equal(m_pucFlags, m_pucFlags + m_usVertices, pkData->m_pucFlags);
}

void NiLinesData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiGeometryData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiLinesData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerPointer("m_pkFlags", m_pucFlags));
}
