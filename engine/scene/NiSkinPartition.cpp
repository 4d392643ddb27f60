#include "engine/scene/NiSkinPartition.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiRenderer.h"
#include "engine/scene/NiGeometryData.h"

#include <algorithm>
#include <new>

NiImplementTypeInfo(NiSkinPartition, NiObject)

namespace
{
// The five counts that open every partition.
constexpr std::uint32_t PARTITION_HEAD_BYTES = 10;

template <class T>
bool ReadArray(NiObjectStream& kStream, std::unique_ptr<T[]>& spOut, std::uint64_t ulCount)
{
    if (!NiGeometryData::CheckBytesLeft(kStream, ulCount * sizeof(T)))
        return false;
    spOut.reset(new (std::nothrow) T[ulCount == 0 ? 1 : ulCount]);
    if (spOut == nullptr)
    {
        kStream.SetCorrupt();
        return false;
    }
    for (std::uint64_t i = 0; i < ulCount; ++i)
    {
        if (!kStream.ReadLE(spOut[i]))
            return false;
    }
    return true;
}

template <class T>
void WriteArray(NiObjectStream& kStream, const std::unique_ptr<T[]>& sp, std::uint64_t ulCount)
{
    for (std::uint64_t i = 0; i < ulCount; ++i)
        kStream.WriteLE(sp[i]);
}

template <class T>
bool ArraysEqual(const std::unique_ptr<T[]>& spA, const std::unique_ptr<T[]>& spB, std::uint64_t ulCount)
{
    if (ulCount == 0)
        return true;
    if ((spA == nullptr) != (spB == nullptr))
        return false;
    return spA == nullptr || std::equal(spA.get(), spA.get() + ulCount, spB.get());
}

// Reads a presence byte from the version on; older files always hold the
// array.
bool ReadPresent(NiObjectStream& kStream, bool& bPresent)
{
    bPresent = true;
    if (kStream.GetFileVersion() < NiStreamVersion(10, 0, 1, 18))
        return true;
    std::uint8_t uc = 0;
    if (!kStream.ReadLE(uc))
        return false;
    bPresent = uc != 0;
    return true;
}
} // namespace

std::uint32_t NiSkinPartition::Partition::GetIndexCount() const
{
    if (m_usStrips == 0)
        return 3u * m_usTriangles;
    std::uint32_t uiSum = 0;
    for (std::uint16_t s = 0; s < m_usStrips; ++s)
        uiSum += m_pusStripLengths[s];
    return uiSum;
}

NiSkinPartition::~NiSkinPartition()
{
    NiRenderer::PurgeSkinPartitionData(this);
}

NiObject* NiSkinPartition::CreateObject()
{
    return new NiSkinPartition;
}

void NiSkinPartition::SetPartitions(std::uint32_t uiCount, std::unique_ptr<Partition[]> spPartitions)
{
    m_uiPartitions = spPartitions ? uiCount : 0;
    m_spPartitions = std::move(spPartitions);
}

bool NiSkinPartition::IsValidFor(std::uint32_t uiVertexCount, std::uint32_t uiSkinBones, const char*& pcWhy) const
{
    for (std::uint32_t p = 0; p < m_uiPartitions; ++p)
    {
        const Partition& k = m_spPartitions[p];
        for (std::uint16_t b = 0; b < k.m_usBones; ++b)
        {
            if (k.m_pusBones[b] >= uiSkinBones)
            {
                pcWhy = "partition bone beyond the skin's bones";
                return false;
            }
        }
        if (k.m_pusVertexMap != nullptr)
        {
            for (std::uint16_t v = 0; v < k.m_usVertices; ++v)
            {
                if (k.m_pusVertexMap[v] >= uiVertexCount)
                {
                    pcWhy = "vertex map beyond the geometry's vertices";
                    return false;
                }
            }
        }
        if (k.m_pucBonePalette != nullptr)
        {
            std::uint32_t uiEntries = static_cast<std::uint32_t>(k.m_usVertices) * k.m_usBonesPerVertex;
            for (std::uint32_t i = 0; i < uiEntries; ++i)
            {
                if (k.m_pucBonePalette[i] >= k.m_usBones)
                {
                    pcWhy = "bone index beyond the partition's bones";
                    return false;
                }
            }
        }
        if (k.m_pusTriList != nullptr)
        {
            std::uint32_t uiIndices = k.GetIndexCount();
            for (std::uint32_t i = 0; i < uiIndices; ++i)
            {
                if (k.m_pusTriList[i] >= k.m_usVertices)
                {
                    pcWhy = "triangle index beyond the partition's vertices";
                    return false;
                }
            }
        }
    }
    return true;
}

void NiSkinPartition::ReadFromStream(NiObjectStream& kStream)
{
    NiObject::ReadFromStream(kStream);
    std::uint32_t uiCount = 0;
    if (!kStream.ReadCount(uiCount, PARTITION_HEAD_BYTES))
        return;
    std::unique_ptr<Partition[]> spPartitions(new (std::nothrow) Partition[uiCount == 0 ? 1 : uiCount]);
    if (spPartitions == nullptr)
    {
        kStream.SetCorrupt();
        return;
    }
    m_uiPartitions = uiCount;
    m_spPartitions = std::move(spPartitions);
    for (std::uint32_t p = 0; p < uiCount; ++p)
    {
        Partition& k = m_spPartitions[p];
        if (!kStream.ReadLE(k.m_usVertices) || !kStream.ReadLE(k.m_usTriangles) || !kStream.ReadLE(k.m_usBones) ||
            !kStream.ReadLE(k.m_usStrips) || !kStream.ReadLE(k.m_usBonesPerVertex))
            return;
        const std::uint64_t ulPerVertex = static_cast<std::uint64_t>(k.m_usVertices) * k.m_usBonesPerVertex;
        if (!ReadArray(kStream, k.m_pusBones, k.m_usBones))
            return;
        bool bPresent = true;
        if (!ReadPresent(kStream, bPresent) || (bPresent && !ReadArray(kStream, k.m_pusVertexMap, k.m_usVertices)))
            return;
        if (!ReadPresent(kStream, bPresent) || (bPresent && !ReadArray(kStream, k.m_pfWeights, ulPerVertex)))
            return;
        if (k.m_usStrips != 0 && !ReadArray(kStream, k.m_pusStripLengths, k.m_usStrips))
            return;
        if (!ReadPresent(kStream, bPresent) || (bPresent && !ReadArray(kStream, k.m_pusTriList, k.GetIndexCount())))
            return;
        std::uint8_t ucHasBoneIndices = 0;
        if (!kStream.ReadLE(ucHasBoneIndices))
            return;
        if (ucHasBoneIndices != 0 && !ReadArray(kStream, k.m_pucBonePalette, ulPerVertex))
            return;
    }
}

void NiSkinPartition::WriteToStream(NiObjectStream& kStream)
{
    NiObject::WriteToStream(kStream);
    kStream.WriteLE(m_uiPartitions);
    for (std::uint32_t p = 0; p < m_uiPartitions; ++p)
    {
        const Partition& k = m_spPartitions[p];
        const std::uint64_t ulPerVertex = static_cast<std::uint64_t>(k.m_usVertices) * k.m_usBonesPerVertex;
        kStream.WriteLE(k.m_usVertices);
        kStream.WriteLE(k.m_usTriangles);
        kStream.WriteLE(k.m_usBones);
        kStream.WriteLE(k.m_usStrips);
        kStream.WriteLE(k.m_usBonesPerVertex);
        WriteArray(kStream, k.m_pusBones, k.m_usBones);
        kStream.WriteLE(static_cast<std::uint8_t>(k.m_pusVertexMap ? 1 : 0));
        if (k.m_pusVertexMap)
            WriteArray(kStream, k.m_pusVertexMap, k.m_usVertices);
        kStream.WriteLE(static_cast<std::uint8_t>(k.m_pfWeights ? 1 : 0));
        if (k.m_pfWeights)
            WriteArray(kStream, k.m_pfWeights, ulPerVertex);
        if (k.m_usStrips != 0)
            WriteArray(kStream, k.m_pusStripLengths, k.m_usStrips);
        kStream.WriteLE(static_cast<std::uint8_t>(k.m_pusTriList ? 1 : 0));
        if (k.m_pusTriList)
            WriteArray(kStream, k.m_pusTriList, k.GetIndexCount());
        kStream.WriteLE(static_cast<std::uint8_t>(k.m_pucBonePalette ? 1 : 0));
        if (k.m_pucBonePalette)
            WriteArray(kStream, k.m_pucBonePalette, ulPerVertex);
    }
}

bool NiSkinPartition::IsEqual(NiObject* pkOther)
{
    if (!NiObject::IsEqual(pkOther))
        return false;
    auto* pkSet = static_cast<NiSkinPartition*>(pkOther);
    if (m_uiPartitions != pkSet->m_uiPartitions)
        return false;
    for (std::uint32_t p = 0; p < m_uiPartitions; ++p)
    {
        const Partition& a = m_spPartitions[p];
        const Partition& b = pkSet->m_spPartitions[p];
        if (a.m_usVertices != b.m_usVertices || a.m_usTriangles != b.m_usTriangles || a.m_usBones != b.m_usBones ||
            a.m_usStrips != b.m_usStrips || a.m_usBonesPerVertex != b.m_usBonesPerVertex)
            return false;
        const std::uint64_t ulPerVertex = static_cast<std::uint64_t>(a.m_usVertices) * a.m_usBonesPerVertex;
        if (!ArraysEqual(a.m_pusBones, b.m_pusBones, a.m_usBones) ||
            !ArraysEqual(a.m_pusVertexMap, b.m_pusVertexMap, a.m_usVertices) ||
            !ArraysEqual(a.m_pfWeights, b.m_pfWeights, ulPerVertex) ||
            !ArraysEqual(a.m_pusStripLengths, b.m_pusStripLengths, a.m_usStrips) ||
            !ArraysEqual(a.m_pusTriList, b.m_pusTriList, a.GetIndexCount()) ||
            !ArraysEqual(a.m_pucBonePalette, b.m_pucBonePalette, ulPerVertex))
            return false;
    }
    return true;
}
