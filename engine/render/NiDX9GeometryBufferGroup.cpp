#include "engine/render/NiDX9GeometryBufferGroup.h"

#include "engine/scene/NiGeometryData.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiTriStrips.h"

#include <new>

namespace
{
NiDX9GeometryBufferGroup* gs_pkStaticInstance = nullptr;
NiDX9GeometryBufferGroup* gs_pkDynamicInstance = nullptr;

std::uint32_t GeometryKey(const NiGeometryData* pkData, std::uint32_t uiFlags)
{
    std::uint32_t uiKey = uiFlags & NiDX9GeometryBufferData::KEY_CALLER_MASK;
    if (pkData->GetNormals())
        uiKey |= NiDX9GeometryBufferData::KEY_NORMALS;
    uiKey |= (std::uint32_t(pkData->GetTextureSets()) << NiDX9GeometryBufferData::KEY_SETS_SHIFT) &
             NiDX9GeometryBufferData::KEY_SETS_MASK;
    return uiKey;
}
} // namespace

// ---- record ----
NiDX9GeometryBufferData::~NiDX9GeometryBufferData()
{
    DestroyStreams();
    ReleaseIndexBuffer();
}

void NiDX9GeometryBufferData::SetStreamCount(std::uint32_t uiCount)
{
    const std::uint32_t uiOld = GetStreamCount();
    if (uiCount == uiOld)
        return;
    if (uiCount < uiOld && m_pkGroup)
    {
        for (std::uint32_t i = uiCount; i < uiOld; ++i)
            m_pkGroup->ReleaseStream(this, i);
    }
    m_kStreams.resize(uiCount, nullptr);
    m_kStrides.resize(uiCount, 0);
}

bool NiDX9GeometryBufferData::HasAllStreams() const
{
    if (m_kStreams.empty())
        return false;
    for (const NiDX9VertexBufferRange* pkRange : m_kStreams)
    {
        if (!pkRange || !pkRange->m_pkVB)
            return false;
    }
    return true;
}

void NiDX9GeometryBufferData::DestroyStreams()
{
    if (m_pkGroup)
    {
        for (std::uint32_t i = 0; i < GetStreamCount(); ++i)
            m_pkGroup->ReleaseStream(this, i);
    }
    m_kStreams.clear();
    m_kStrides.clear();
}

void NiDX9GeometryBufferData::ReleaseIndexBuffer()
{
    if (m_pkIB)
        m_pkIB->Release();
    m_pkIB = nullptr;
    m_uiIBSize = 0;
}

// ---- group ----
NiDX9GeometryBufferGroup* NiDX9GeometryBufferGroup::Create(std::uint32_t uiKind, std::uint32_t uiIdentifierBits)
{
    switch (uiKind)
    {
    case 0:
        return new (std::nothrow) NiDX9PooledGeometryBufferGroup(uiIdentifierBits);
    case 1:
        if (!gs_pkStaticInstance)
            gs_pkStaticInstance = new (std::nothrow) NiDX9StaticGeometryBufferGroup(uiIdentifierBits);
        return gs_pkStaticInstance;
    case 2:
        if (!gs_pkDynamicInstance)
            gs_pkDynamicInstance = new (std::nothrow) NiDX9DynamicGeometryBufferGroup(uiIdentifierBits);
        return gs_pkDynamicInstance;
    default:
        return nullptr;
    }
}

NiDX9GeometryBufferGroup* NiDX9GeometryBufferGroup::GetStaticInstance() { return gs_pkStaticInstance; }
NiDX9GeometryBufferGroup* NiDX9GeometryBufferGroup::GetDynamicInstance() { return gs_pkDynamicInstance; }

NiDX9GeometryBufferGroup::~NiDX9GeometryBufferGroup()
{
    if (m_pkDevice)
        m_pkDevice->Release();
}

void NiDX9GeometryBufferGroup::SetDevice(gfx::IDirect3DDevice9* pkDevice)
{
    if (pkDevice)
        pkDevice->AddRef();
    if (m_pkDevice)
        m_pkDevice->Release();
    m_pkDevice = pkDevice;
}

void NiDX9GeometryBufferGroup::AddGeometry(NiDX9GeometryBufferData* pkRecord)
{
    ++m_uiCount;
    pkRecord->m_pkGroup = this;
}

void NiDX9GeometryBufferGroup::RemoveGeometry(NiDX9GeometryBufferData* pkRecord)
{
    --m_uiCount;
    pkRecord->m_pkGroup = nullptr;
    for (std::uint32_t i = 0; i < pkRecord->GetStreamCount(); ++i)
        ReleaseStream(pkRecord, i);
    pkRecord->ReleaseIndexBuffer();
}

void NiDX9GeometryBufferGroup::FreeRecord(NiDX9GeometryBufferData* pkRecord)
{
    pkRecord->m_kStreams.clear();
    pkRecord->m_kStrides.clear();
    delete pkRecord;
}

void NiDX9GeometryBufferGroup::ReleaseRecord(NiDX9GeometryBufferData* pkRecord)
{
    RemoveGeometry(pkRecord);
    pkRecord->m_kStreams.clear();
    pkRecord->m_kStrides.clear();
}

void NiDX9GeometryBufferGroup::CreateScreenTextureData(NiScreenTexture* pkTexture, std::uint32_t uiFlags)
{
    if (!pkTexture || pkTexture->GetRendererData())
        return;
    auto* pkRecord = new (std::nothrow) NiDX9GeometryBufferData();
    if (!pkRecord)
        return;
    pkRecord->m_uiType = gfx::D3DPT_TRIANGLELIST;
    pkTexture->SetRendererData(std::unique_ptr<NiScreenTexture::RendererData>(pkRecord));
    pkRecord->m_uiKey = (uiFlags & NiDX9GeometryBufferData::KEY_CALLER_MASK) | (1u << 24) | m_uiIdentifierBits;
    AddGeometry(pkRecord);
}

void NiDX9GeometryBufferGroup::CreateScreenPolygonData(NiScreenPolygon* pkPolygon, std::uint32_t uiFlags)
{
    if (!pkPolygon || pkPolygon->GetRendererData())
        return;
    auto* pkRecord = new (std::nothrow) NiDX9GeometryBufferData();
    if (!pkRecord)
        return;
    pkRecord->m_uiType = gfx::D3DPT_TRIANGLEFAN;
    pkPolygon->SetRendererData(pkRecord);
    pkRecord->m_uiKey = (uiFlags & NiDX9GeometryBufferData::KEY_CALLER_MASK) |
                        (pkPolygon->GetTextures() ? (1u << 24) : 0u) | m_uiIdentifierBits;
    AddGeometry(pkRecord);
}

void NiDX9GeometryBufferGroup::CreateGeometryData(NiGeometryData* pkData, NiSkinInstance*,
                                                  NiSkinPartition::Partition* pkPartition, std::uint32_t uiFlags)
{
    if (!pkData)
        return;
    void* pvExisting = pkPartition ? pkPartition->m_pvRendererData : pkData->GetRendererData();
    if (pvExisting)
        return;
    auto* pkRecord = new (std::nothrow) NiDX9GeometryBufferData();
    if (!pkRecord)
        return;
    if (pkPartition)
    {
        pkRecord->m_uiType = pkPartition->m_usStrips ? gfx::D3DPT_TRIANGLESTRIP : gfx::D3DPT_TRIANGLELIST;
        pkPartition->m_pvRendererData = pkRecord;
    }
    else
    {
        pkRecord->m_uiType = NiIsKindOf<NiTriStripsData>(pkData) ? gfx::D3DPT_TRIANGLESTRIP : gfx::D3DPT_TRIANGLELIST;
        pkData->SetRendererData(pkRecord);
    }
    pkRecord->m_uiKey = GeometryKey(pkData, uiFlags) | m_uiIdentifierBits;
    AddGeometry(pkRecord);
}

void NiDX9GeometryBufferGroup::ReleaseScreenTextureData(NiScreenTexture* pkTexture)
{
    auto* pkRecord = pkTexture ? static_cast<NiDX9GeometryBufferData*>(pkTexture->GetRendererData()) : nullptr;
    if (!pkRecord)
        return;
    ReleaseRecord(pkRecord);
    pkTexture->SetRendererData(nullptr); // deletes the record
}

void NiDX9GeometryBufferGroup::ReleaseScreenPolygonData(NiScreenPolygon* pkPolygon)
{
    auto* pkRecord = pkPolygon ? static_cast<NiDX9GeometryBufferData*>(pkPolygon->GetRendererData()) : nullptr;
    if (!pkRecord)
        return;
    ReleaseRecord(pkRecord);
    FreeRecord(pkRecord);
    pkPolygon->SetRendererData(nullptr);
}

void NiDX9GeometryBufferGroup::ReleasePartitionData(NiSkinPartition::Partition* pkPartition)
{
    auto* pkRecord = pkPartition ? static_cast<NiDX9GeometryBufferData*>(pkPartition->m_pvRendererData) : nullptr;
    if (!pkRecord)
        return;
    ReleaseRecord(pkRecord);
    FreeRecord(pkRecord);
    pkPartition->m_pvRendererData = nullptr;
}

void NiDX9GeometryBufferGroup::ReleaseGeometryData(NiGeometryData* pkData)
{
    auto* pkRecord = pkData ? static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData()) : nullptr;
    if (!pkRecord)
        return;
    ReleaseRecord(pkRecord);
    FreeRecord(pkRecord);
    pkData->SetRendererData(nullptr);
}

// ---- pooled ----
NiDX9PooledGeometryBufferGroup::~NiDX9PooledGeometryBufferGroup()
{
    Purge();
}

void NiDX9PooledGeometryBufferGroup::Purge()
{
    for (auto& kEntry : m_kPools)
        delete kEntry.second;
    m_kPools.clear();
}

NiDX9VertexBufferPool* NiDX9PooledGeometryBufferGroup::GetPool(std::uint32_t uiKey) const
{
    auto kIt = m_kPools.find(uiKey);
    return kIt == m_kPools.end() ? nullptr : kIt->second;
}

NiDX9VertexBufferRange* NiDX9PooledGeometryBufferGroup::CreateStream(NiDX9GeometryBufferData* pkRecord,
                                                                     std::uint32_t uiStream)
{
    const std::uint32_t uiStride = pkRecord->GetStride(uiStream);
    const std::uint32_t uiBytes = pkRecord->m_uiVertCount * uiStride;
    std::uint32_t uiKey = pkRecord->GetStreamKey(uiStream);
    if (pkRecord->m_bSoftwareVP)
        uiKey |= 0x40000000u;
    NiDX9VertexBufferPool* pkPool = GetPool(uiKey);
    if (!pkPool)
    {
        pkPool = NiDX9VertexBufferPool::Create(NiDX9VertexBufferPool::DEFAULT_CHUNK_SIZE, m_pkDevice, uiKey,
                                               pkRecord->m_bSoftwareVP ? NiDX9VertexBufferPool::SOFTWARE_PROCESSING
                                                                       : 0u);
        if (!pkPool)
            return nullptr;
        m_kPools[uiKey] = pkPool;
    }
    NiDX9VertexBufferRange* pkRange = pkPool->AllocateRange(uiBytes, pkRecord->GetStreamCount() > 1);
    if (!pkRange)
        return nullptr;
    if (uiStride)
        pkRecord->m_uiBaseVertexIndex = pkRange->m_uiOffset / uiStride;
    pkRecord->SetStream(uiStream, pkRange);
    return pkRange;
}

void NiDX9PooledGeometryBufferGroup::ReleaseStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream)
{
    NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(uiStream);
    if (!pkRange)
        return;
    if (pkRange->m_pkChunk && pkRange->m_pkChunk->m_pkPool)
        pkRange->m_pkChunk->m_pkPool->FreeRange(pkRange->m_pkChunk->m_uiIndex, pkRange->m_uiIndex);
    else
        NiDX9VertexBufferRange::Give(pkRange); // its pool was purged under it
    pkRecord->SetStream(uiStream, nullptr);
}

// ---- static ----
NiDX9StaticGeometryBufferGroup::~NiDX9StaticGeometryBufferGroup()
{
    if (gs_pkStaticInstance == this)
        gs_pkStaticInstance = nullptr;
}

NiDX9VertexBufferRange* NiDX9StaticGeometryBufferGroup::CreateStream(NiDX9GeometryBufferData* pkRecord,
                                                                     std::uint32_t uiStream)
{
    const std::uint32_t uiBytes = pkRecord->m_uiVertCount * pkRecord->GetStride(uiStream);
    NiDX9VertexBufferRange* pkRange = NiDX9VertexBufferRange::Take();
    if (!pkRange)
        return nullptr;
    const std::uint32_t uiUsage = pkRecord->m_bSoftwareVP
                                      ? (gfx::D3DUSAGE_WRITEONLY | gfx::D3DUSAGE_SOFTWAREPROCESSING)
                                      : gfx::D3DUSAGE_WRITEONLY;
    gfx::IDirect3DVertexBuffer9* pkVB = nullptr;
    if (!m_pkDevice || gfx::FAILED(m_pkDevice->CreateVertexBuffer(uiBytes, uiUsage, pkRecord->m_uiFVF,
                                                             gfx::D3DPOOL_MANAGED, &pkVB, nullptr)))
        pkVB = nullptr;
    pkRange->m_pkVB = pkVB;
    pkRange->m_uiOffset = 0;
    pkRange->m_uiSize = uiBytes;
    pkRange->m_uiLockFlags = 0;
    pkRange->m_pkChunk = nullptr;
    pkRange->m_uiIndex = 0;
    pkRecord->SetStream(uiStream, pkRange);
    return pkRange;
}

void NiDX9StaticGeometryBufferGroup::ReleaseStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream)
{
    NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(uiStream);
    if (!pkRange)
        return;
    if (pkRange->m_pkVB)
        pkRange->m_pkVB->Release();
    pkRange->m_pkVB = nullptr;
    pkRecord->SetStream(uiStream, nullptr);
    NiDX9VertexBufferRange::Give(pkRange);
}

// ---- dynamic ----
NiDX9DynamicGeometryBufferGroup::~NiDX9DynamicGeometryBufferGroup()
{
    for (auto& kEntry : m_kBuffers)
        delete kEntry.second;
    m_kBuffers.clear();
    for (std::uint32_t i = 0; i < m_kRing.GetCapacity(); ++i)
        delete m_kRing.GetAt(i);
    m_kRing.RemoveAll();
    for (auto& kEntry : m_kRanges)
        NiDX9VertexBufferRange::Give(kEntry.second);
    m_kRanges.clear();
    for (std::uint32_t i = 0; i < m_kRingRanges.GetCapacity(); ++i)
        NiDX9VertexBufferRange::Give(m_kRingRanges.GetAt(i));
    m_kRingRanges.RemoveAll();
    if (gs_pkDynamicInstance == this)
        gs_pkDynamicInstance = nullptr;
}

void NiDX9DynamicGeometryBufferGroup::Purge()
{
    for (auto& kEntry : m_kBuffers)
        delete kEntry.second;
    m_kBuffers.clear();
    for (auto& kEntry : m_kRanges)
        kEntry.second->m_pkVB = nullptr;
    for (std::uint32_t i = 0; i < m_kRing.GetCapacity(); ++i)
    {
        delete m_kRing.GetAt(i);
        m_kRing.SetAt(i, nullptr);
    }
    for (std::uint32_t i = 0; i < m_kRingRanges.GetCapacity(); ++i)
    {
        if (NiDX9VertexBufferRange* pkRange = m_kRingRanges.GetAt(i))
            pkRange->m_pkVB = nullptr;
    }
}

void NiDX9DynamicGeometryBufferGroup::CreateScreenTextureData(NiScreenTexture* pkTexture, std::uint32_t uiFlags)
{
    const bool bNew = pkTexture && !pkTexture->GetRendererData();
    NiDX9GeometryBufferGroup::CreateScreenTextureData(pkTexture, uiFlags);
    if (bNew && pkTexture->GetRendererData())
        pkTexture->MarkAsChanged(0xFFFF);
}

void NiDX9DynamicGeometryBufferGroup::CreateScreenPolygonData(NiScreenPolygon* pkPolygon, std::uint32_t uiFlags)
{
    const bool bNew = pkPolygon && !pkPolygon->GetRendererData();
    NiDX9GeometryBufferGroup::CreateScreenPolygonData(pkPolygon, uiFlags);
    if (bNew && pkPolygon->GetRendererData())
        pkPolygon->SetRendererFlags(0xFFFF);
}

void NiDX9DynamicGeometryBufferGroup::CreateGeometryData(NiGeometryData* pkData, NiSkinInstance* pkSkin,
                                                         NiSkinPartition::Partition* pkPartition,
                                                         std::uint32_t uiFlags)
{
    if (!pkData)
        return;
    pkData->SetDirtyFlags(std::uint16_t((pkData->GetDirtyFlags() & 0x0FFF) | NiGeometryData::VOLATILE));
    void* pvBefore = pkPartition ? pkPartition->m_pvRendererData : pkData->GetRendererData();
    NiDX9GeometryBufferGroup::CreateGeometryData(pkData, pkSkin, pkPartition, uiFlags);
    void* pvAfter = pkPartition ? pkPartition->m_pvRendererData : pkData->GetRendererData();
    if (!pvBefore && pvAfter)
        pkData->SetDirtyFlags(std::uint16_t(pkData->GetDirtyFlags() | 0x0FFF));
}

void NiDX9DynamicGeometryBufferGroup::ForgetStreams(NiDX9GeometryBufferData* pkRecord)
{
    for (std::uint32_t i = 0; i < pkRecord->GetStreamCount(); ++i)
        pkRecord->SetStream(i, nullptr);
}

void NiDX9DynamicGeometryBufferGroup::ReleaseScreenTextureData(NiScreenTexture* pkTexture)
{
    if (auto* pkRecord = pkTexture ? static_cast<NiDX9GeometryBufferData*>(pkTexture->GetRendererData()) : nullptr)
        ForgetStreams(pkRecord);
    NiDX9GeometryBufferGroup::ReleaseScreenTextureData(pkTexture);
}

void NiDX9DynamicGeometryBufferGroup::ReleaseScreenPolygonData(NiScreenPolygon* pkPolygon)
{
    if (auto* pkRecord = pkPolygon ? static_cast<NiDX9GeometryBufferData*>(pkPolygon->GetRendererData()) : nullptr)
        ForgetStreams(pkRecord);
    NiDX9GeometryBufferGroup::ReleaseScreenPolygonData(pkPolygon);
}

void NiDX9DynamicGeometryBufferGroup::ReleasePartitionData(NiSkinPartition::Partition* pkPartition)
{
    if (auto* pkRecord = pkPartition ? static_cast<NiDX9GeometryBufferData*>(pkPartition->m_pvRendererData) : nullptr)
        ForgetStreams(pkRecord);
    NiDX9GeometryBufferGroup::ReleasePartitionData(pkPartition);
}

void NiDX9DynamicGeometryBufferGroup::ReleaseGeometryData(NiGeometryData* pkData)
{
    if (auto* pkRecord = pkData ? static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData()) : nullptr)
        ForgetStreams(pkRecord);
    NiDX9GeometryBufferGroup::ReleaseGeometryData(pkData);
}

NiDX9DynamicVertexBuffer* NiDX9DynamicGeometryBufferGroup::GetBuffer(std::uint32_t uiKey) const
{
    auto kIt = m_kBuffers.find(uiKey);
    return kIt == m_kBuffers.end() ? nullptr : kIt->second;
}

NiDX9VertexBufferRange* NiDX9DynamicGeometryBufferGroup::GetRange(std::uint32_t uiKey) const
{
    auto kIt = m_kRanges.find(uiKey);
    return kIt == m_kRanges.end() ? nullptr : kIt->second;
}

NiDX9VertexBufferRange* NiDX9DynamicGeometryBufferGroup::CreateStream(NiDX9GeometryBufferData* pkRecord,
                                                                      std::uint32_t uiStream)
{
    const std::uint32_t uiStride = pkRecord->GetStride(uiStream);
    const std::uint32_t uiBytes = pkRecord->m_uiVertCount * uiStride;
    std::uint32_t uiOffset = 0, uiLockFlags = 0;
    NiDX9VertexBufferRange* pkRange = nullptr;
    gfx::IDirect3DVertexBuffer9* pkVB = nullptr;
    if (pkRecord->GetStreamCount() < 2)
    {
        const std::uint32_t uiKey = pkRecord->GetStreamKey(uiStream);
        NiDX9DynamicVertexBuffer* pkBuffer = GetBuffer(uiKey);
        if (!pkBuffer)
        {
            pkBuffer = NiDX9DynamicVertexBuffer::Create(INITIAL_SIZE, m_pkDevice, pkRecord->m_uiFVF);
            if (!pkBuffer)
                return nullptr;
            m_kBuffers[uiKey] = pkBuffer;
        }
        pkVB = pkBuffer->ReserveBuffer(uiBytes, uiOffset, uiLockFlags, false, pkRecord->m_bSoftwareVP);
        pkRange = GetRange(uiKey);
        if (!pkRange)
        {
            pkRange = NiDX9VertexBufferRange::Take();
            if (!pkRange)
                return nullptr;
            m_kRanges[uiKey] = pkRange;
        }
    }
    else
    {
        const std::uint32_t uiCount = pkRecord->GetStreamCount();
        if (m_kRing.GetCapacity() < uiCount)
        {
            m_kRing.SetCapacity(uiCount);
            m_kRingRanges.SetCapacity(uiCount);
        }
        if (m_uiRingPosition >= m_kRing.GetCapacity())
            m_uiRingPosition = 0;
        NiDX9DynamicVertexBuffer* pkBuffer = m_kRing.GetAt(m_uiRingPosition);
        if (!pkBuffer)
        {
            pkBuffer = NiDX9DynamicVertexBuffer::Create(INITIAL_SIZE, m_pkDevice, 0);
            if (!pkBuffer)
                return nullptr;
            m_kRing.SetAt(m_uiRingPosition, pkBuffer);
        }
        pkVB = pkBuffer->ReserveBuffer(uiBytes, uiOffset, uiLockFlags, true, pkRecord->m_bSoftwareVP);
        pkRange = m_kRingRanges.GetAt(m_uiRingPosition);
        if (!pkRange)
        {
            pkRange = NiDX9VertexBufferRange::Take();
            if (!pkRange)
                return nullptr;
            m_kRingRanges.SetAt(m_uiRingPosition, pkRange);
        }
        ++m_uiRingPosition;
    }
    pkRange->m_pkVB = pkVB;
    pkRange->m_uiOffset = uiOffset;
    pkRange->m_uiSize = uiBytes;
    pkRange->m_uiLockFlags = uiLockFlags;
    pkRecord->m_uiBaseVertexIndex = uiStride ? uiOffset / uiStride : 0;
    pkRecord->SetStream(uiStream, pkRange);
    return pkRange;
}

void NiDX9DynamicGeometryBufferGroup::ReleaseStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiStream)
{
    if (uiStream >= pkRecord->GetStreamCount() || !pkRecord->GetStream(uiStream))
        return;
    pkRecord->SetStream(uiStream, nullptr);
    pkRecord->ReleaseIndexBuffer();
}
