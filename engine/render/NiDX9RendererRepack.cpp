#include "engine/render/NiDX9Renderer.h"

#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiTriStrips.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace
{
using Partition = NiSkinPartition::Partition;
constexpr std::uint32_t NO_PARTITION = 0xFFFFFFFFu;

Partition* PartitionOf(NiSkinInstance* pkSkin, std::uint32_t uiIndex)
{
    NiSkinPartition* pkSkinPartition = pkSkin != nullptr ? pkSkin->GetSkinPartition() : nullptr;
    if (uiIndex == NO_PARTITION || pkSkinPartition == nullptr || uiIndex >= pkSkinPartition->GetPartitionCount())
        return nullptr;
    return &pkSkinPartition->GetPartitions()[uiIndex];
}
} // namespace

std::size_t NiDX9Renderer::GetPendingRepackCount() const
{
    std::size_t uiCount = 0;
    for (const auto& kEntry : m_kPendingRepacks)
        uiCount += kEntry.second.size();
    return uiCount;
}

bool NiDX9Renderer::PrecacheGeometry(NiGeometry* pkGeometry, std::uint32_t uiBonesPerPartition,
                                     std::uint32_t uiBonesPerVertex, std::uint32_t uiKeyFlags, std::uint32_t uiReserved)
{
    (void)uiBonesPerPartition, (void)uiBonesPerVertex, (void)uiReserved;
    NiGeometryData* pkData = pkGeometry != nullptr ? pkGeometry->GetModelData() : nullptr;
    if (pkData == nullptr || m_spGeometryManager == nullptr || pkData->GetActiveVertexCount() == 0)
        return false;
    LockRenderer();
    NiD3DShaderInterface* pkShader = ShaderOf(pkGeometry);
    NiSkinInstance* pkSkin = pkGeometry->GetSkinInstance();
    const bool bHardware = UsesHardwareSkinning(pkGeometry, pkShader);
    const bool bVolatile = pkData->GetConsistency() == NiGeometryData::VOLATILE;
    if (!bVolatile)
        pkData->SetConsistency(NiGeometryData::STATIC);
    NiDX9GeometryBufferGroup* pkGroup = (bVolatile || (pkSkin != nullptr && !bHardware))
                                            ? NiDX9GeometryBufferGroup::GetDynamicInstance()
                                            : NiDX9GeometryBufferGroup::GetStaticInstance();
    if (pkGroup == nullptr)
    {
        UnlockRenderer();
        return false;
    }
    m_spGeometryManager->CreateGeometryRecords(pkGroup, pkData, pkSkin, uiKeyFlags & 0x007FFFFFu, bHardware);

    // One stream per record from the default layout (a declaration's own
    // streams are its packing's business): made all at once, then queued.
    bool bAll = true;
    auto Queue = [&](NiDX9GeometryBufferData* pkRecord, std::uint32_t uiPartition) {
        if (pkRecord == nullptr)
        {
            bAll = false;
            return;
        }
        if (pkRecord->HasAllStreams())
            return;
        Partition* pkPartition = PartitionOf(pkSkin, uiPartition);
        const bool bSoftware = pkPartition != nullptr && SkinsPartitionInSoftware(pkShader, *pkPartition);
        const NiDX9VertexLayout kLayout =
            NiDX9VertexBufferManager::ComputeVertexLayout(pkData, bSoftware ? nullptr : pkPartition);
        pkRecord->DestroyStreams();
        pkRecord->SetStreamCount(1);
        pkRecord->m_uiFVF = kLayout.m_uiFVF;
        pkRecord->m_pkDeclaration = nullptr;
        pkRecord->SetStride(0, kLayout.m_uiStride);
        pkRecord->m_uiVertCount = pkPartition != nullptr ? pkPartition->m_usVertices : pkData->GetActiveVertexCount();
        NiDX9VertexBufferRange* pkRange =
            pkRecord->m_pkGroup != nullptr ? pkRecord->m_pkGroup->CreateStream(pkRecord, 0) : nullptr;
        if (pkRange == nullptr || pkRange->m_pkVB == nullptr)
        {
            pkRecord->DestroyStreams();
            bAll = false;
            return;
        }
        PendingRepack kRepack;
        kRepack.m_pkData = pkData;
        kRepack.m_pkSkin = pkSkin;
        kRepack.m_uiPartition = uiPartition;
        kRepack.m_pkShader = pkShader;
        kRepack.m_uiFlags = 0xFFF;
        kRepack.m_pkRecord = pkRecord;
        m_kPendingRepacks[pkRange->m_pkVB].push_back(kRepack);
    };
    if (bHardware)
    {
        NiSkinPartition* pkSkinPartition = pkSkin->GetSkinPartition();
        for (std::uint32_t i = 0; i < pkSkinPartition->GetPartitionCount(); ++i)
            Queue(static_cast<NiDX9GeometryBufferData*>(pkSkinPartition->GetPartitions()[i].m_pvRendererData), i);
    }
    else
    {
        Queue(static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData()), NO_PARTITION);
    }
    UnlockRenderer();
    return bAll;
}

void NiDX9Renderer::UpdatePendingRepacks()
{
    if (m_kPendingRepacks.empty())
        return;
    LockRenderer();
    std::vector<NiGeometryData*> kPacked;
    for (auto& kEntry : m_kPendingRepacks)
    {
        std::vector<PendingRepack>& kList = kEntry.second;
        if (kList.size() == 1)
        {
            const PendingRepack& kRepack = kList.front();
            Partition* pkPartition = PartitionOf(kRepack.m_pkSkin, kRepack.m_uiPartition);
            if (RepackRecord(kRepack.m_pkData, kRepack.m_pkSkin, pkPartition, kRepack.m_pkShader, true,
                             kRepack.m_pkRecord) &&
                kRepack.m_pkSkin == nullptr)
                kPacked.push_back(kRepack.m_pkData);
            continue;
        }
        // Records sharing one buffer: one lock over the span of their streams.
        gfx::IDirect3DVertexBuffer9* pkVB = kEntry.first;
        std::uint32_t uiLow = 0xFFFFFFFFu, uiHigh = 0;
        for (const PendingRepack& kRepack : kList)
        {
            NiDX9VertexBufferRange* pkRange = kRepack.m_pkRecord->GetStream(0);
            if (pkRange == nullptr || pkRange->m_pkVB != pkVB)
                continue;
            uiLow = std::min(uiLow, pkRange->m_uiOffset);
            uiHigh = std::max(uiHigh, pkRange->m_uiOffset + pkRange->m_uiSize);
        }
        if (uiLow >= uiHigh)
            continue;
        auto* puc = static_cast<std::uint8_t*>(m_spVBManager->LockBuffer(pkVB, uiLow, uiHigh - uiLow, 0));
        if (puc == nullptr)
            continue;
        for (const PendingRepack& kRepack : kList)
        {
            NiDX9GeometryBufferData* pkRecord = kRepack.m_pkRecord;
            NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(0);
            if (pkRange == nullptr || pkRange->m_pkVB != pkVB)
                continue;
            std::uint8_t* pucDest = puc + (pkRange->m_uiOffset - uiLow);
            Partition* pkPartition = PartitionOf(kRepack.m_pkSkin, kRepack.m_uiPartition);
            if (RepackRecord(kRepack.m_pkData, kRepack.m_pkSkin, pkPartition, kRepack.m_pkShader, true, pkRecord,
                             pucDest) &&
                kRepack.m_pkSkin == nullptr)
                kPacked.push_back(kRepack.m_pkData);
        }
        m_spVBManager->UnlockBuffer(pkVB);
    }
    m_kPendingRepacks.clear();
    // Static data fully packed gives up the arrays its keep flags leave.
    std::sort(kPacked.begin(), kPacked.end());
    kPacked.erase(std::unique(kPacked.begin(), kPacked.end()), kPacked.end());
    for (NiGeometryData* pkData : kPacked)
        if (pkData->GetConsistency() == NiGeometryData::STATIC)
            ReleaseStaticArrays(pkData);
    UnlockRenderer();
}

void NiDX9Renderer::ReleaseStaticArrays(NiGeometryData* pkData)
{
    // Skinned data deforms from its arrays and is never listed here.
    // Triangle and strip lists stay: picking reads them.
    if (pkData->GetRendererData() == nullptr)
        return;
    const std::uint8_t ucKeep = pkData->GetKeepFlags();
    NiVec3* pkVerts = (ucKeep & KEEP_POSITIONS) ? pkData->GetVertices() : nullptr;
    NiVec3* pkNormals = (ucKeep & KEEP_NORMALS) ? pkData->GetNormals() : nullptr;
    NiColorRGBA* pkColors = (ucKeep & KEEP_COLORS) ? pkData->GetColors() : nullptr;
    NiVec2* pkTextures = (ucKeep & KEEP_TEXTURES) ? pkData->GetTextures() : nullptr;
    pkData->Replace(pkData->GetVertexCount(), pkVerts, pkNormals, pkColors, pkTextures,
                    pkTextures != nullptr ? pkData->GetTextureSets() : 0, pkData->GetNormalBinormalTangentMethod());
}

void NiDX9Renderer::DropPendingRepacks(const void* pvRendererData)
{
    if (pvRendererData == nullptr)
        return;
    LockRenderer();
    for (auto it = m_kPendingRepacks.begin(); it != m_kPendingRepacks.end();)
    {
        std::vector<PendingRepack>& kList = it->second;
        kList.erase(std::remove_if(kList.begin(), kList.end(),
                                   [&](const PendingRepack& k) { return k.m_pkRecord == pvRendererData; }),
                    kList.end());
        if (kList.empty())
            it = m_kPendingRepacks.erase(it);
        else
            ++it;
    }
    UnlockRenderer();
}
