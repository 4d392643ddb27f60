#include "engine/scene/NiTriShape.h"

#include "engine/core/NiObjectStream.h"
#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiRenderer.h"

#include <algorithm>
#include <new>

NiImplementTypeInfo(NiTriShapeData, NiTriBasedGeomData)
NiImplementTypeInfo(NiTriShapeDynamicData, NiTriShapeData)
NiImplementTypeInfo(NiTriShape, NiTriBasedGeom)

// ---- NiTriShapeData ----

NiTriShapeData::NiTriShapeData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                               NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod,
                               std::uint16_t usTriangles, std::uint16_t* pusTriList)
    : NiTriBasedGeomData(usVertices, pkVertex, pkNormal, pkColor, pkTexture, usTextureSets, usNBTMethod, usTriangles),
      m_uiTriListLength(3u * usTriangles), m_pusTriList(pusTriList)
{
}

NiTriShapeData::~NiTriShapeData()
{
    delete[] m_pusTriList;
}

NiObject* NiTriShapeData::CreateObject()
{
    return new NiTriShapeData;
}

void NiTriShapeData::SetTriangles(std::uint16_t usTriangles, std::uint16_t* pusTriList)
{
    if (m_pusTriList != pusTriList)
        delete[] m_pusTriList;
    m_pusTriList = pusTriList;
    m_usTriangles = usTriangles;
    m_uiTriListLength = 3u * usTriangles;
}

void NiTriShapeData::FreeSharedNormals()
{
    m_spSharedNormals.reset();
    m_usSharedNormalsArraySize = 0;
    m_kPool.clear();
}

std::uint16_t* NiTriShapeData::TakeFromPool(std::uint16_t usCount)
{
    for (auto kIt = m_kPool.rbegin(); kIt != m_kPool.rend(); ++kIt)
    {
        if (kIt->m_uiCapacity - kIt->m_uiUsed >= usCount)
        {
            std::uint16_t* pus = kIt->m_spStorage.get() + kIt->m_uiUsed;
            kIt->m_uiUsed += usCount;
            return pus;
        }
    }
    std::uint32_t uiCapacity = m_kPool.empty() ? std::max<std::uint32_t>(m_usSharedNormalsArraySize, 1)
                                               : 2 * m_kPool.back().m_uiCapacity;
    uiCapacity = std::max<std::uint32_t>(uiCapacity, usCount);
    PoolBlock kBlock;
    kBlock.m_spStorage.reset(new (std::nothrow) std::uint16_t[uiCapacity]);
    if (kBlock.m_spStorage == nullptr)
        return nullptr;
    kBlock.m_uiCapacity = uiCapacity;
    kBlock.m_uiUsed = usCount;
    m_kPool.push_back(std::move(kBlock));
    return m_kPool.back().m_spStorage.get();
}

bool NiTriShapeData::SetSharedNormals(const std::vector<std::vector<std::uint16_t>>& kEntries)
{
    FreeSharedNormals();
    if (kEntries.empty() || kEntries.size() > 0xFFFF)
        return kEntries.empty();
    m_spSharedNormals.reset(new SharedNormalArray[kEntries.size()]);
    m_usSharedNormalsArraySize = static_cast<std::uint16_t>(kEntries.size());
    for (std::size_t e = 0; e < kEntries.size(); ++e)
    {
        const std::vector<std::uint16_t>& kList = kEntries[e];
        for (std::uint16_t us : kList)
        {
            if (us >= m_usVertices || kList.size() > 0xFFFF)
            {
                FreeSharedNormals();
                return false;
            }
        }
        if (kList.empty())
            continue;
        std::uint16_t* pus = TakeFromPool(static_cast<std::uint16_t>(kList.size()));
        if (pus == nullptr)
        {
            FreeSharedNormals();
            return false;
        }
        std::copy(kList.begin(), kList.end(), pus);
        m_spSharedNormals[e].m_usCount = static_cast<std::uint16_t>(kList.size());
        m_spSharedNormals[e].m_pusIndices = pus;
    }
    return true;
}

bool NiTriShapeData::GetTriangleIndices(std::uint16_t usTriangle, std::uint16_t& usI0, std::uint16_t& usI1,
                                        std::uint16_t& usI2) const
{
    if (m_pusTriList == nullptr || usTriangle >= m_usTriangles)
        return false;
    const std::uint16_t* pus = m_pusTriList + 3u * usTriangle;
    usI0 = pus[0];
    usI1 = pus[1];
    usI2 = pus[2];
    return true;
}

void NiTriShapeData::GetStripData(std::uint16_t& usStrips, const std::uint16_t*& pusStripLengths,
                                  const std::uint16_t*& pusTriList, std::uint32_t& uiListLength) const
{
    usStrips = m_usTriangles;
    pusStripLengths = nullptr;
    pusTriList = m_pusTriList;
    uiListLength = 3u * m_usTriangles;
}

void NiTriShapeData::CalculateNormals()
{
    if (m_pkVertex == nullptr || m_usVertices == 0)
        return;
    CreateNormals(true);
    const std::uint16_t usTriangles = m_pusTriList ? std::min(GetActiveTriangleCount(), m_usTriangles) : 0;
    const bool bShared = m_spSharedNormals != nullptr && m_usSharedNormalsArraySize == m_usVertices;
    for (std::uint16_t t = 0; t < usTriangles; ++t)
    {
        const std::uint16_t* pus = m_pusTriList + 3u * t;
        NiVec3 kFace = AddFaceNormal(pus[0], pus[1], pus[2]);
        if (!bShared)
            continue;
        for (int c = 0; c < 3; ++c)
        {
            const SharedNormalArray& kEntry = m_spSharedNormals[pus[c]];
            for (std::uint16_t s = 0; s < kEntry.m_usCount; ++s)
                m_pkNormal[kEntry.m_pusIndices[s]] += kFace;
        }
    }
    NiVec3::UnitizeArray(m_pkNormal, std::min(GetActiveVertexCount(), m_usVertices), sizeof(NiVec3));
    m_usDirtyFlags |= NORMALS_DIRTY;
}

void NiTriShapeData::ReadFromStream(NiObjectStream& kStream)
{
    NiTriBasedGeomData::ReadFromStream(kStream);
    if (!kStream.ReadLE(m_uiTriListLength))
        return;
    // The list holds three indices per triangle; any other length would
    // let the triangle queries run past it.
    if (m_uiTriListLength != 3u * m_usTriangles)
    {
        kStream.SetCorrupt();
        return;
    }
    std::uint8_t ucHasTriangles = 1;
    if (kStream.GetFileVersion() >= NiStreamVersion(10, 0, 1, 17) && !kStream.ReadLE(ucHasTriangles))
        return;
    if (ucHasTriangles != 0 && m_uiTriListLength != 0)
    {
        m_pusTriList = ReadU16Array(kStream, m_uiTriListLength);
        if (m_pusTriList == nullptr)
            return;
        for (std::uint32_t i = 0; i < m_uiTriListLength; ++i)
        {
            if (m_pusTriList[i] >= m_usVertices)
            {
                kStream.SetCorrupt();
                return;
            }
        }
    }
    std::uint16_t usEntries = 0;
    if (!kStream.ReadLE(usEntries) || !CheckBytesLeft(kStream, 2ull * usEntries))
        return;
    std::vector<std::vector<std::uint16_t>> kEntries(usEntries);
    for (std::uint16_t e = 0; e < usEntries; ++e)
    {
        std::uint16_t usCount = 0;
        if (!kStream.ReadLE(usCount) || !CheckBytesLeft(kStream, 2ull * usCount))
            return;
        kEntries[e].resize(usCount);
        for (std::uint16_t& us : kEntries[e])
        {
            if (!kStream.ReadLE(us))
                return;
        }
    }
    if (!SetSharedNormals(kEntries))
        kStream.SetCorrupt();
}

void NiTriShapeData::WriteToStream(NiObjectStream& kStream)
{
    NiTriBasedGeomData::WriteToStream(kStream);
    kStream.WriteLE(m_uiTriListLength);
    kStream.WriteLE(static_cast<std::uint8_t>(m_pusTriList != nullptr ? 1 : 0));
    if (m_pusTriList != nullptr)
    {
        for (std::uint32_t i = 0; i < m_uiTriListLength; ++i)
            kStream.WriteLE(m_pusTriList[i]);
    }
    kStream.WriteLE(m_usSharedNormalsArraySize);
    for (std::uint16_t e = 0; e < m_usSharedNormalsArraySize; ++e)
    {
        const SharedNormalArray& kEntry = m_spSharedNormals[e];
        kStream.WriteLE(kEntry.m_usCount);
        for (std::uint16_t s = 0; s < kEntry.m_usCount; ++s)
            kStream.WriteLE(kEntry.m_pusIndices[s]);
    }
}

bool NiTriShapeData::IsEqual(NiObject* pkOther)
{
    if (!NiTriBasedGeomData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiTriShapeData*>(pkOther);
    if (m_uiTriListLength != pkData->m_uiTriListLength)
        return false;
    if ((m_pusTriList == nullptr) != (pkData->m_pusTriList == nullptr))
        return false;
    return m_pusTriList == nullptr ||
           std::equal(m_pusTriList, m_pusTriList + m_uiTriListLength, pkData->m_pusTriList);
}

void NiTriShapeData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTriBasedGeomData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTriShapeData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUInt("m_uiTriListLength", m_uiTriListLength));
    kStrings.AddTail(NiViewerPointer("m_pusTriList", m_pusTriList));
}

// ---- NiTriShapeDynamicData ----

NiTriShapeDynamicData::NiTriShapeDynamicData(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal,
                                             NiColorRGBA* pkColor, NiVec2* pkTexture, std::uint16_t usTextureSets,
                                             std::uint16_t usNBTMethod, std::uint16_t usTriangles,
                                             std::uint16_t* pusTriList)
    : NiTriShapeData(usVertices, pkVertex, pkNormal, pkColor, pkTexture, usTextureSets, usNBTMethod, usTriangles,
                     pusTriList),
      m_usActiveVertices(usVertices), m_usActiveTriangles(usTriangles)
{
}

NiObject* NiTriShapeDynamicData::CreateObject()
{
    return new NiTriShapeDynamicData;
}

void NiTriShapeDynamicData::SetActiveVertexCount(std::uint16_t usActive)
{
    m_usActiveVertices = std::min(usActive, m_usVertices);
}

void NiTriShapeDynamicData::SetActiveTriangleCount(std::uint16_t usActive)
{
    m_usActiveTriangles = std::min(usActive, m_usTriangles);
}

void NiTriShapeDynamicData::GetStripData(std::uint16_t& usStrips, const std::uint16_t*& pusStripLengths,
                                         const std::uint16_t*& pusTriList, std::uint32_t& uiListLength) const
{
    usStrips = m_usActiveTriangles;
    pusStripLengths = nullptr;
    pusTriList = m_pusTriList;
    uiListLength = 3u * m_usActiveTriangles;
}

void NiTriShapeDynamicData::ReadFromStream(NiObjectStream& kStream)
{
    NiTriShapeData::ReadFromStream(kStream);
    std::uint16_t usVertices = 0;
    std::uint16_t usTriangles = 0;
    if (!kStream.ReadLE(usVertices) || !kStream.ReadLE(usTriangles))
        return;
    SetActiveVertexCount(usVertices);
    SetActiveTriangleCount(usTriangles);
}

void NiTriShapeDynamicData::WriteToStream(NiObjectStream& kStream)
{
    NiTriShapeData::WriteToStream(kStream);
    kStream.WriteLE(m_usActiveVertices);
    kStream.WriteLE(m_usActiveTriangles);
}

bool NiTriShapeDynamicData::IsEqual(NiObject* pkOther)
{
    if (!NiTriShapeData::IsEqual(pkOther))
        return false;
    auto* pkData = static_cast<NiTriShapeDynamicData*>(pkOther);
    return m_usActiveVertices == pkData->m_usActiveVertices && m_usActiveTriangles == pkData->m_usActiveTriangles;
}

void NiTriShapeDynamicData::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTriShapeData::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTriShapeDynamicData::TypeInfo()->GetName()));
    kStrings.AddTail(NiViewerUShort("m_usActiveVertices", m_usActiveVertices));
    kStrings.AddTail(NiViewerUShort("m_usActiveTriangles", m_usActiveTriangles));
}

// ---- NiTriShape ----

NiTriShape::NiTriShape(std::uint16_t usVertices, NiVec3* pkVertex, NiVec3* pkNormal, NiColorRGBA* pkColor,
                       NiVec2* pkTexture, std::uint16_t usTextureSets, std::uint16_t usNBTMethod,
                       std::uint16_t usTriangles, std::uint16_t* pusTriList)
    : NiTriBasedGeom(new NiTriShapeData(usVertices, pkVertex, pkNormal, pkColor, pkTexture, usTextureSets, usNBTMethod,
                                        usTriangles, pusTriList))
{
}

NiObject* NiTriShape::CreateObject()
{
    return new NiTriShape;
}

NiImplementCreateClone(NiTriShape)

void NiTriShape::CopyMembers(NiTriShape* pkDest, NiCloneContext& kCloning)
{
    NiTriBasedGeom::CopyMembers(pkDest, kCloning);
}

void NiTriShape::RenderImmediate(NiRenderer* pkRenderer)
{
    PrepareDraw(pkRenderer);
    if (pkRenderer != nullptr)
        pkRenderer->DrawTriShape(this);
}

bool NiTriShape::GetModelTriangle(std::uint16_t usTriangle, NiVec3*& pkP0, NiVec3*& pkP1, NiVec3*& pkP2)
{
    return ModelTriangleOf(usTriangle, pkP0, pkP1, pkP2);
}

void NiTriShape::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiTriBasedGeom::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiTriShape::TypeInfo()->GetName()));
}

bool NiTriShape::IsDataClassValid(const NiGeometryData* pkData) const
{
    return NiIsKindOf<NiTriShapeData>(pkData);
}
