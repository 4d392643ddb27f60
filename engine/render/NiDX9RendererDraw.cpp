#include "engine/render/NiDX9Renderer.h"

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiXform.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiLines.h"
#include "engine/scene/NiLinesData.h"
#include "engine/scene/NiParticles.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiSkinData.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriShape.h"
#include "engine/scene/NiTriStrips.h"
#include "engine/shaders/framework/NiD3DDefaultShader.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"
#include "engine/shaders/framework/NiD3DShaderInterface.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace
{
using Partition = NiSkinPartition::Partition;

// Change bits of the data's flags word beyond the four vertex parts.
constexpr std::uint32_t CHANGED_TRIANGLES = 0x10;
constexpr std::uint32_t CHANGED_CONNECTIVITY = 0x20;
constexpr std::uint32_t CHANGED_ALL = 0xFFF;

// Row-vector product: a applied first.
gfx::D3DMATRIX Multiply(const gfx::D3DMATRIX& kA, const gfx::D3DMATRIX& kB)
{
    gfx::D3DMATRIX kR{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
        {
            float f = 0.0f;
            for (int k = 0; k < 4; ++k)
                f += kA.m[i][k] * kB.m[k][j];
            kR.m[i][j] = f;
        }
    return kR;
}

// The triangles of a data object or partition as indices: list, strip lengths.
struct IndexSource
{
    const std::uint16_t* m_pusIndices = nullptr;
    std::uint32_t m_uiCount = 0;
    const std::uint16_t* m_pusStripLengths = nullptr;
    std::uint32_t m_uiStrips = 0;
    std::uint32_t m_uiTriangles = 0;
    std::uint32_t m_uiType = gfx::D3DPT_TRIANGLELIST;
};

IndexSource IndicesOf(NiGeometryData* pkData, const Partition* pkPartition)
{
    IndexSource kSource;
    if (pkPartition != nullptr)
    {
        kSource.m_pusIndices = pkPartition->m_pusTriList.get();
        kSource.m_uiTriangles = pkPartition->m_usTriangles;
        if (pkPartition->m_usStrips != 0)
        {
            kSource.m_uiType = gfx::D3DPT_TRIANGLESTRIP;
            kSource.m_uiStrips = pkPartition->m_usStrips;
            kSource.m_pusStripLengths = pkPartition->m_pusStripLengths.get();
            for (std::uint32_t i = 0; kSource.m_pusStripLengths != nullptr && i < kSource.m_uiStrips; ++i)
                kSource.m_uiCount += kSource.m_pusStripLengths[i];
        }
        else
        {
            kSource.m_uiCount = 3u * pkPartition->m_usTriangles;
        }
        return kSource;
    }
    if (auto* pkShape = NiIsKindOf<NiTriShapeData>(pkData) ? static_cast<NiTriShapeData*>(pkData) : nullptr)
    {
        kSource.m_pusIndices = pkShape->GetTriList();
        kSource.m_uiTriangles = pkShape->GetActiveTriangleCount();
        kSource.m_uiCount = std::min<std::uint32_t>(3u * kSource.m_uiTriangles, pkShape->GetTriListLength());
        kSource.m_uiTriangles = kSource.m_uiCount / 3;
    }
    else if (auto* pkStrips = NiIsKindOf<NiTriStripsData>(pkData) ? static_cast<NiTriStripsData*>(pkData) : nullptr)
    {
        kSource.m_uiType = gfx::D3DPT_TRIANGLESTRIP;
        kSource.m_pusIndices = pkStrips->GetStripLists();
        kSource.m_uiStrips = pkStrips->GetStripCount();
        kSource.m_pusStripLengths = pkStrips->GetStripLengths();
        kSource.m_uiTriangles = pkStrips->GetTriangleCount();
        kSource.m_uiCount = kSource.m_uiTriangles + 2u * kSource.m_uiStrips;
    }
    if (kSource.m_pusIndices == nullptr)
        kSource.m_uiCount = 0;
    return kSource;
}

void ClearChangeBits(NiGeometryData* pkData)
{
    if (pkData != nullptr)
        pkData->SetDirtyFlags(static_cast<std::uint16_t>(pkData->GetDirtyFlags() & NiGeometryData::CONSISTENCY_MASK));
}
} // namespace

NiDX9Renderer::BatchEntry* NiDX9Renderer::ms_pkFreeBatchEntries = nullptr;
std::uint32_t NiDX9Renderer::ms_uiFreeBatchEntries = 0;

// ---- batch entries ----

NiDX9Renderer::BatchEntry* NiDX9Renderer::TakeBatchEntry()
{
    if (ms_pkFreeBatchEntries == nullptr)
        return new (std::nothrow) BatchEntry;
    BatchEntry* pkEntry = ms_pkFreeBatchEntries;
    ms_pkFreeBatchEntries = pkEntry->m_pkNext;
    --ms_uiFreeBatchEntries;
    *pkEntry = BatchEntry{};
    return pkEntry;
}

void NiDX9Renderer::GiveBatchEntry(BatchEntry* pkEntry)
{
    pkEntry->m_pkNext = ms_pkFreeBatchEntries;
    ms_pkFreeBatchEntries = pkEntry;
    ++ms_uiFreeBatchEntries;
}

std::uint32_t NiDX9Renderer::GetFreeBatchEntryCount()
{
    return ms_uiFreeBatchEntries;
}

void NiDX9Renderer::FreeBatchEntryPool()
{
    while (ms_pkFreeBatchEntries != nullptr)
    {
        BatchEntry* pkNext = ms_pkFreeBatchEntries->m_pkNext;
        delete ms_pkFreeBatchEntries;
        ms_pkFreeBatchEntries = pkNext;
    }
    ms_uiFreeBatchEntries = 0;
}

// ---- shader and skinning decisions ----

NiD3DShaderInterface* NiDX9Renderer::ShaderOf(NiGeometry* pkGeometry) const
{
    NiShader* pkShader = pkGeometry != nullptr ? pkGeometry->GetShader() : nullptr;
    if (pkShader != nullptr && NiIsKindOf<NiD3DShaderInterface>(pkShader))
        return static_cast<NiD3DShaderInterface*>(pkShader);
    return m_spDefaultShader;
}

bool NiDX9Renderer::UsesHardwareSkinning(NiGeometry* pkGeometry, NiD3DShaderInterface* pkShader) const
{
    NiGeometryData* pkData = pkGeometry != nullptr ? pkGeometry->GetModelData() : nullptr;
    NiSkinInstance* pkSkin = pkGeometry != nullptr ? pkGeometry->GetSkinInstance() : nullptr;
    if (pkData == nullptr || pkSkin == nullptr || pkData->GetRendererData() != nullptr)
        return false;
    NiSkinPartition* pkSkinPartition = pkSkin->GetSkinPartition();
    if (pkSkinPartition == nullptr || pkSkinPartition->GetPartitionCount() == 0 ||
        pkSkinPartition->GetPartitions() == nullptr)
        return false;
    if (pkSkinPartition->GetPartitions()[0].m_pvRendererData != nullptr)
        return true;
    if ((m_uiRendFlags & CAPS_HARDWARE_SKINNING) != 0)
        return true;
    if (pkShader != nullptr && m_uiMaxVertexShaderVersion > 0xFFFE0000u && pkShader->GetVertexSkinning())
        return true;
    const bool bMixed = (m_uiBehaviorFlags & gfx::D3DCREATE_MIXED_VERTEXPROCESSING) != 0;
    return bMixed && pkShader != nullptr && pkShader->GetShaderDecl() != nullptr &&
           pkShader->GetShaderDecl()->GetHardwareSkinning();
}

// ---- packing ----

bool NiDX9Renderer::RepackRecord(NiGeometryData* pkData, NiSkinInstance* pkSkin, Partition* pkPartition,
                                 NiD3DShaderInterface* pkShader, bool bForce, NiDX9GeometryBufferData* pkRecord,
                                 void* pvDest)
{
    if (pkData == nullptr || pkRecord == nullptr || m_spVBManager == nullptr)
        return false;
    const std::uint16_t usConsistency = pkData->GetConsistency();
    // A partition skinned here follows its bones even when its data is static.
    const bool bSoftwarePartition =
        pkPartition != nullptr && pkSkin != nullptr && SkinsPartitionInSoftware(pkShader, *pkPartition);
    // A partition packed for the other way of skinning (its shader changed)
    // is packed anew in the layout this one needs.
    const bool bOtherLayout =
        pkPartition != nullptr && pvDest == nullptr && pkRecord->m_pkDeclaration == nullptr &&
        pkRecord->m_uiFVF != 0 &&
        pkRecord->m_uiFVF != NiDX9VertexBufferManager::ComputeVertexLayout(pkData, bSoftwarePartition ? nullptr
                                                                                                        : pkPartition)
                                 .m_uiFVF;
    // 1. Static data packed once stays as it is.
    if (!bForce && !bSoftwarePartition && !bOtherLayout && pkRecord->HasAllStreams() &&
        usConsistency == NiGeometryData::STATIC)
        return true;
    // 2. What the data has, in the record's key.
    std::uint32_t uiKey = pkRecord->m_uiKey & ~(NiDX9GeometryBufferData::KEY_NORMALS | NiDX9GeometryBufferData::KEY_SETS_MASK);
    if (pkData->GetNormals() != nullptr)
        uiKey |= NiDX9GeometryBufferData::KEY_NORMALS;
    uiKey |= (std::uint32_t(pkData->GetTextureSets()) << NiDX9GeometryBufferData::KEY_SETS_SHIFT) &
             NiDX9GeometryBufferData::KEY_SETS_MASK;
    pkRecord->m_uiKey = uiKey;
    // 3. The indices.
    const IndexSource kIndices = IndicesOf(pkData, pkPartition);
    // 4. What changed.
    std::uint32_t uiChanged = pkData->GetDirtyFlags() & CHANGED_ALL;
    const bool bSoftwareSkin = pkSkin != nullptr && pkPartition == nullptr;
    if ((bSoftwareSkin && pkSkin->m_iFrameID != static_cast<std::int32_t>(m_spVBManager->GetFrameNumber())) ||
        bSoftwarePartition)
        uiChanged |= NiDX9VertexBufferManager::UPDATE_POSITIONS | NiDX9VertexBufferManager::UPDATE_NORMALS;
    if (bForce || bOtherLayout || usConsistency == NiGeometryData::VOLATILE)
        uiChanged = CHANGED_ALL;
    // 5. Streams: rebuilt whole when one is missing or the count differs.
    NiDX9ShaderDeclaration* pkDecl = pkShader != nullptr ? pkShader->GetShaderDecl() : nullptr;
    const std::uint32_t uiStreams = pkDecl != nullptr ? std::max<std::uint32_t>(pkDecl->GetStreamCount(), 1) : 1;
    if (pvDest == nullptr && (!pkRecord->HasAllStreams() || pkRecord->GetStreamCount() != uiStreams))
    {
        pkRecord->DestroyStreams();
        pkRecord->SetStreamCount(uiStreams);
        uiChanged = CHANGED_ALL;
    }
    // 6. Counts for the drawing.
    pkRecord->m_uiVertCount = pkPartition != nullptr ? pkPartition->m_usVertices : pkData->GetActiveVertexCount();
    pkRecord->m_uiIndexCount = kIndices.m_uiCount;
    pkRecord->m_uiType = kIndices.m_uiType;
    pkRecord->m_uiPrimitiveCount = kIndices.m_uiTriangles;
    pkRecord->m_uiStripCount = kIndices.m_uiStrips;
    pkRecord->m_kStripLengths.clear();
    if (kIndices.m_pusStripLengths != nullptr)
        pkRecord->m_kStripLengths.assign(kIndices.m_pusStripLengths, kIndices.m_pusStripLengths + kIndices.m_uiStrips);
    // 7. Vertices: a declaration packs its own streams; without one, only the
    // one-stream fixed-function layout.
    auto* pkShaderDecl = NiDynamicCast<NiD3DShaderDeclaration>(pkDecl);
    if ((uiChanged & ~CHANGED_TRIANGLES) != 0 && pkShaderDecl != nullptr &&
        pkShaderDecl->GetD3DDeclaration() != nullptr)
    {
        // The declaration lays out and fills each stream it uses.
        if (uiStreams != 1 && pvDest != nullptr)
            return false;
        for (std::uint32_t ui = 0; ui < uiStreams; ++ui)
        {
            if (pkShaderDecl->GetVertexStride(ui) == 0)
                continue;
            if (pkShaderDecl->PackUntransformedVB(pkData, pkSkin, pkPartition, 0, uiChanged,
                                                  pkRecord->GetStream(ui), ui, pvDest) == nullptr)
                return false;
        }
        if (bSoftwareSkin)
            pkSkin->m_iFrameID = static_cast<std::int32_t>(m_spVBManager->GetFrameNumber());
    }
    else if ((uiChanged & ~CHANGED_TRIANGLES) != 0)
    {
        if (uiStreams != 1)
            return false;
        if (pkPartition != nullptr)
        {
            NiDX9VertexBufferManager::SoftwareBones kBones;
            if (bSoftwarePartition)
            {
                CalculateBoneMatrices(pkSkin, NiXform());
                kBones.m_pkMatrices = GetBoneMatrices(pkSkin, kBones.m_uiCount);
            }
            NiDX9VertexBufferRange* pkRange = pkRecord->GetStream(0);
            if (m_spVBManager->PackSkinPartition(pkData, pkPartition, uiChanged,
                                                 pkRange != nullptr ? pkRange->m_pkVB : nullptr, pvDest,
                                                 bSoftwarePartition ? &kBones : nullptr) == nullptr)
                return false;
        }
        else if (m_spVBManager->PackGeometry(pkData, bSoftwareSkin ? pkSkin : nullptr, uiChanged,
                                              pkRecord->GetStream(0), pvDest) == nullptr)
        {
            return false;
        }
        if (bSoftwareSkin)
            pkSkin->m_iFrameID = static_cast<std::int32_t>(m_spVBManager->GetFrameNumber());
    }
    // 8. Indices; a buffer that had to be replaced is let go.
    if (kIndices.m_uiCount != 0 && (uiChanged & (CHANGED_TRIANGLES | CHANGED_CONNECTIVITY)) != 0 &&
        m_spIBManager != nullptr)
    {
        gfx::IDirect3DIndexBuffer9* pkOld = pkRecord->m_pkIB;
        std::uint32_t uiSize = pkRecord->m_uiIBSize;
        gfx::IDirect3DIndexBuffer9* pkNew = m_spIBManager->PackBuffer(
            kIndices.m_pusIndices, kIndices.m_uiCount, pkOld, uiSize, gfx::D3DPOOL_MANAGED, gfx::D3DUSAGE_WRITEONLY);
        if (pkNew == nullptr)
            return false;
        if (pkNew != pkOld && pkOld != nullptr)
            pkOld->Release();
        pkRecord->m_pkIB = pkNew;
        pkRecord->m_uiIBSize = uiSize;
    }
    // 9. Partitions share the data's bits: the caller clears them after the last.
    if (pkPartition == nullptr)
        ClearChangeBits(pkData);
    return true;
}

bool NiDX9Renderer::PackForDrawing(NiGeometry* pkGeometry, NiD3DShaderInterface* pkShader, bool& bHardware)
{
    NiGeometryData* pkData = pkGeometry->GetModelData();
    NiSkinInstance* pkSkin = pkGeometry->GetSkinInstance();
    bHardware = UsesHardwareSkinning(pkGeometry, pkShader);
    if (m_spGeometryManager == nullptr)
        return false;
    const bool bVolatile = pkData->GetConsistency() == NiGeometryData::VOLATILE;
    NiDX9GeometryBufferGroup* pkGroup = NiDX9GeometryBufferGroup::GetStaticInstance();
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    if (bVolatile || (pkSkin != nullptr && !bHardware))
        pkGroup = pkDynamic;
    if (pkGroup == nullptr)
        return false;
    LockRenderer();
    bool bPacked = true;
    if (bHardware)
    {
        NiSkinPartition* pkSkinPartition = pkSkin->GetSkinPartition();
        m_spGeometryManager->CreateGeometryRecords(pkGroup, pkData, pkSkin, 0, true);
        for (std::uint32_t i = 0; i < pkSkinPartition->GetPartitionCount(); ++i)
        {
            Partition& kPart = pkSkinPartition->GetPartitions()[i];
            auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(kPart.m_pvRendererData);
            bPacked = RepackRecord(pkData, pkSkin, &kPart, pkShader, false, pkRecord) && bPacked;
        }
    }
    else
    {
        m_spGeometryManager->CreateGeometryRecords(pkGroup, pkData, pkSkin, 0, false);
        auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData());
        bPacked = RepackRecord(pkData, pkSkin, nullptr, pkShader, false, pkRecord);
    }
    UnlockRenderer();
    return bPacked;
}

// ---- the pipelines ----

void NiDX9Renderer::CommitStates()
{
    if (m_spRenderState != nullptr && m_spRenderState->GetShaderConstantCache() != nullptr)
        m_spRenderState->GetShaderConstantCache()->CommitConstants();
}

void NiDX9Renderer::EndPipeline()
{
    if (m_spRenderState != nullptr)
        m_spRenderState->SetForceNormalizeNormals(false);
}

void NiDX9Renderer::DrawRecord(const NiDX9GeometryBufferData* pkRecord, std::uint32_t uiVertexCount)
{
    if (m_pkD3DDevice9 == nullptr || pkRecord == nullptr)
        return;
    if (pkRecord->m_pkIB == nullptr)
    {
        m_pkD3DDevice9->DrawPrimitive(pkRecord->m_uiType, pkRecord->m_uiBaseVertexIndex, pkRecord->m_uiPrimitiveCount);
        return;
    }
    const auto iBase = static_cast<std::int32_t>(pkRecord->m_uiBaseVertexIndex);
    if (pkRecord->m_kStripLengths.empty())
    {
        m_pkD3DDevice9->DrawIndexedPrimitive(pkRecord->m_uiType, iBase, 0, uiVertexCount, 0,
                                             pkRecord->m_uiPrimitiveCount);
        return;
    }
    std::uint32_t uiStart = 0;
    for (std::uint16_t usLength : pkRecord->m_kStripLengths)
    {
        // A strip shorter than a triangle draws nothing but still takes its indices.
        if (usLength >= 3)
            m_pkD3DDevice9->DrawIndexedPrimitive(pkRecord->m_uiType, iBase, 0, uiVertexCount, uiStart, usLength - 2u);
        uiStart += usLength;
    }
}

void NiDX9Renderer::DrawGeometry(NiGeometry* pkGeometry, NiSkinInstance* pkSkin, NiDX9GeometryBufferData* pkBuffers,
                                 NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet, const NiXform& kWorld,
                                 const NiBoundSphere& kBound, NiD3DShaderInterface* pkShader)
{
    if (pkShader == nullptr)
        pkShader = ShaderOf(pkGeometry);
    if (pkShader == nullptr)
        return;
    if (pkShader->PreProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkPropertySet, pkEffectSet, kWorld, kBound) != 0)
        return;
    pkShader->UpdatePipeline(pkGeometry, pkSkin, pkBuffers, pkPropertySet, pkEffectSet, kWorld, kBound);
    for (std::uint32_t uiLeft = pkShader->FirstPass(); uiLeft != 0; uiLeft = pkShader->NextPass())
    {
        pkShader->SetupRenderingPass(pkGeometry, pkSkin, pkBuffers, pkPropertySet, pkEffectSet, kWorld, kBound);
        pkShader->SetupTransformations(pkGeometry, pkSkin, nullptr, pkBuffers, pkPropertySet, pkEffectSet, kWorld,
                                       kBound);
        NiDX9GeometryBufferData* pkDraw =
            pkShader->PrepareGeometryForRendering(pkGeometry, nullptr, pkBuffers, pkPropertySet);
        // A null record skips this draw only.
        if (pkDraw == nullptr)
            continue;
        pkShader->SetupShaderPrograms(pkGeometry, pkSkin, nullptr, pkDraw, pkPropertySet, pkEffectSet, kWorld, kBound);
        CommitStates();
        DrawRecord(pkDraw, pkDraw->m_uiVertCount);
        pkShader->PostRender(pkGeometry, pkSkin, nullptr, pkDraw, pkPropertySet, pkEffectSet, kWorld, kBound);
    }
    if (pkGeometry != nullptr)
        ClearChangeBits(pkGeometry->GetModelData());
    pkShader->PostProcessPipeline(pkGeometry, pkSkin, pkBuffers, pkPropertySet, pkEffectSet, kWorld, kBound);
    EndPipeline();
}

bool NiDX9Renderer::SkinsPartitionInSoftware(const NiD3DShaderInterface* pkShader, const Partition& kPartition) const
{
    return pkShader == m_spDefaultShader && kPartition.m_usBones > m_uiMaxNumBlendMatrices;
}

void NiDX9Renderer::SetupSoftwarePartitionTransform(NiD3DShaderInterface* pkShader, NiGeometry* pkGeometry,
                                                    NiSkinInstance* pkSkin, NiDX9GeometryBufferData* pkRecord,
                                                    NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet,
                                                    const NiXform& kWorld, const NiBoundSphere& kBound)
{
    // Its vertices are already in the geometry's frame: no blending, the
    // world transform alone, in every pass (another partition of the same
    // geometry may have put its bones there).
    pkShader->SetupTransformations(pkGeometry, pkSkin, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld, kBound);
    if (m_spRenderState != nullptr)
        m_spRenderState->SetBoneCount(0);
    SetModelTransform(kWorld, true);
}

void NiDX9Renderer::DrawSkinned(NiGeometry* pkGeometry, NiSkinInstance* pkSkin, NiPropertySet* pkPropertySet,
                                NiEffectSet* pkEffectSet, NiD3DShaderInterface* pkShader)
{
    NiSkinPartition* pkSkinPartition = pkSkin->GetSkinPartition();
    Partition* pkPartitions = pkSkinPartition->GetPartitions();
    const std::uint32_t uiCount = pkSkinPartition->GetPartitionCount();
    auto* pkFirst = static_cast<NiDX9GeometryBufferData*>(pkPartitions[0].m_pvRendererData);
    const NiXform& kWorld = pkGeometry->GetWorldTransform();
    const NiBoundSphere& kBound = pkGeometry->GetWorldBound();
    const bool bDefault = pkShader == m_spDefaultShader;
    if (pkShader->PreProcessPipeline(pkGeometry, pkSkin, pkFirst, pkPropertySet, pkEffectSet, kWorld, kBound) != 0)
        return;
    pkShader->UpdatePipeline(pkGeometry, pkSkin, pkFirst, pkPropertySet, pkEffectSet, kWorld, kBound);
    bool bEnded = false;
    for (std::uint32_t uiLeft = pkShader->FirstPass(); uiLeft != 0 && !bEnded; uiLeft = pkShader->NextPass())
    {
        pkShader->SetupRenderingPass(pkGeometry, pkSkin, pkFirst, pkPropertySet, pkEffectSet, kWorld, kBound);
        for (std::uint32_t i = 0; i < uiCount; ++i)
        {
            Partition& kPart = pkPartitions[i];
            auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(kPart.m_pvRendererData);
            const bool bSoftware = bDefault && SkinsPartitionInSoftware(pkShader, kPart);
            if (bSoftware)
                SetupSoftwarePartitionTransform(pkShader, pkGeometry, pkSkin, pkRecord, pkPropertySet, pkEffectSet,
                                                kWorld, kBound);
            else
                pkShader->SetupTransformations(pkGeometry, pkSkin, &kPart, pkRecord, pkPropertySet, pkEffectSet,
                                               kWorld, kBound);
            NiDX9GeometryBufferData* pkDraw =
                pkShader->PrepareGeometryForRendering(pkGeometry, &kPart, pkRecord, pkPropertySet);
            // A null record ends this geometry's drawing; the pipeline still closes.
            if (pkDraw == nullptr)
            {
                bEnded = true;
                break;
            }
            pkShader->SetupShaderPrograms(pkGeometry, pkSkin, bSoftware ? nullptr : &kPart, pkDraw, pkPropertySet,
                                          pkEffectSet, kWorld, kBound);
            CommitStates();
            DrawRecord(pkDraw, kPart.m_usVertices);
            pkShader->PostRender(pkGeometry, pkSkin, &kPart, pkDraw, pkPropertySet, pkEffectSet, kWorld, kBound);
        }
        ClearChangeBits(pkGeometry->GetModelData());
    }
    pkShader->PostProcessPipeline(pkGeometry, pkSkin, pkFirst, pkPropertySet, pkEffectSet, kWorld, kBound);
    EndPipeline();
}

void NiDX9Renderer::DrawTriShape(NiTriBasedGeom* pkGeometry)
{
    if (!m_bInScene || pkGeometry == nullptr)
        return;
    NiGeometryData* pkData = pkGeometry->GetModelData();
    if (pkData == nullptr || pkData->GetActiveVertexCount() == 0)
        return;
    NiD3DShaderInterface* pkShader = ShaderOf(pkGeometry);
    bool bHardware = false;
    if (!PackForDrawing(pkGeometry, pkShader, bHardware))
        return;
    NiSkinInstance* pkSkin = pkGeometry->GetSkinInstance();
    if (bHardware)
    {
        DrawSkinned(pkGeometry, pkSkin, GetPropertyState(), GetEffectState(), pkShader);
        return;
    }
    DrawGeometry(pkGeometry, pkSkin, static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData()),
                 GetPropertyState(), GetEffectState(), pkGeometry->GetWorldTransform(), pkGeometry->GetWorldBound(),
                 pkShader);
}

// ---- batches ----

void NiDX9Renderer::BeginBatch(NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet)
{
    NiRenderer::BeginBatch(pkPropertySet, pkEffectSet);
    m_spBatchProperties = pkPropertySet;
    m_spBatchEffects = pkEffectSet;
}

void NiDX9Renderer::RenderTriShape(NiTriBasedGeom* pkGeometry)
{
    if (pkGeometry == nullptr)
        return;
    NiD3DShaderInterface* pkShader = ShaderOf(pkGeometry);
    if (m_spBatchShader == nullptr)
        m_spBatchShader = pkShader;
    NiGeometryData* pkData = pkGeometry->GetModelData();
    if (!m_bInScene || pkData == nullptr || pkData->GetActiveVertexCount() == 0)
        return;
    bool bHardware = false;
    if (!PackForDrawing(pkGeometry, m_spBatchShader, bHardware))
        return;
    NiSkinInstance* pkSkin = pkGeometry->GetSkinInstance();
    const std::uint32_t uiEpoch = m_spVBManager->GetDiscardEpoch();
    auto Append = [&](Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers) {
        BatchEntry* pkEntry = TakeBatchEntry();
        if (pkEntry == nullptr)
            return;
        pkEntry->m_pkGeometry = pkGeometry;
        pkEntry->m_pkSkin = pkSkin;
        pkEntry->m_pkPartition = pkPartition;
        pkEntry->m_pkBuffers = pkBuffers;
        pkEntry->m_uiDiscardEpoch = uiEpoch;
        if (m_pkBatchTail != nullptr)
            m_pkBatchTail->m_pkNext = pkEntry;
        else
            m_pkBatchHead = pkEntry;
        m_pkBatchTail = pkEntry;
    };
    if (bHardware)
    {
        NiSkinPartition* pkSkinPartition = pkSkin->GetSkinPartition();
        for (std::uint32_t i = 0; i < pkSkinPartition->GetPartitionCount(); ++i)
        {
            Partition& kPart = pkSkinPartition->GetPartitions()[i];
            Append(&kPart, static_cast<NiDX9GeometryBufferData*>(kPart.m_pvRendererData));
        }
    }
    else
    {
        Append(nullptr, static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData()));
    }
}

void NiDX9Renderer::EndBatch()
{
    NiRenderer::EndBatch();
    if (m_pkBatchHead == nullptr)
        return;
    NiD3DShaderInterface* pkShader = m_spBatchShader != nullptr ? m_spBatchShader.Get() : m_spDefaultShader.Get();
    NiPropertySet* pkState = m_spBatchProperties;
    NiEffectSet* pkEffects = m_spBatchEffects;
    BatchEntry* pkFirst = m_pkBatchHead;
    const bool bDefault = pkShader == m_spDefaultShader;
    if (pkShader != nullptr &&
        pkShader->PreProcessPipeline(pkFirst->m_pkGeometry, pkFirst->m_pkSkin, pkFirst->m_pkBuffers, pkState,
                                     pkEffects, pkFirst->m_pkGeometry->GetWorldTransform(),
                                     pkFirst->m_pkGeometry->GetWorldBound()) == 0)
    {
        pkShader->UpdatePipeline(pkFirst->m_pkGeometry, pkFirst->m_pkSkin, pkFirst->m_pkBuffers, pkState, pkEffects,
                                 pkFirst->m_pkGeometry->GetWorldTransform(), pkFirst->m_pkGeometry->GetWorldBound());
        for (std::uint32_t uiLeft = pkShader->FirstPass(); uiLeft != 0; uiLeft = pkShader->NextPass())
        {
            pkShader->SetupRenderingPass(pkFirst->m_pkGeometry, pkFirst->m_pkSkin, pkFirst->m_pkBuffers, pkState,
                                         pkEffects, pkFirst->m_pkGeometry->GetWorldTransform(),
                                         pkFirst->m_pkGeometry->GetWorldBound());
            for (BatchEntry* pkEntry = m_pkBatchHead; pkEntry != nullptr; pkEntry = pkEntry->m_pkNext)
            {
                Partition* pkPart = pkEntry->m_pkPartition;
                const bool bSoftware = bDefault && pkPart != nullptr && SkinsPartitionInSoftware(pkShader, *pkPart);
                // Bytes of the dynamic group written before a later DISCARD are
                // gone: such an entry is packed again before it is drawn.
                if (pkEntry->m_uiDiscardEpoch != m_spVBManager->GetDiscardEpoch() && pkEntry->m_pkBuffers != nullptr &&
                    pkEntry->m_pkBuffers->m_pkGroup != nullptr && pkEntry->m_pkBuffers->m_pkGroup->IsDynamic())
                {
                    NiGeometryData* pkData = pkEntry->m_pkGeometry->GetModelData();
                    RepackRecord(pkData, pkEntry->m_pkSkin, pkPart, pkShader, true, pkEntry->m_pkBuffers);
                    pkEntry->m_uiDiscardEpoch = m_spVBManager->GetDiscardEpoch();
                }
                const NiXform& kWorld = pkEntry->m_pkGeometry->GetWorldTransform();
                const NiBoundSphere& kBound = pkEntry->m_pkGeometry->GetWorldBound();
                if (bSoftware)
                    SetupSoftwarePartitionTransform(pkShader, pkEntry->m_pkGeometry, pkEntry->m_pkSkin,
                                                    pkEntry->m_pkBuffers, pkState, pkEffects, kWorld, kBound);
                else
                    pkShader->SetupTransformations(pkEntry->m_pkGeometry, pkEntry->m_pkSkin, pkPart,
                                                   pkEntry->m_pkBuffers, pkState, pkEffects, kWorld, kBound);
                NiDX9GeometryBufferData* pkDraw =
                    pkShader->PrepareGeometryForRendering(pkEntry->m_pkGeometry, pkPart, pkEntry->m_pkBuffers, pkState);
                if (pkDraw == nullptr)
                    continue;
                pkShader->SetupShaderPrograms(pkEntry->m_pkGeometry, pkEntry->m_pkSkin, bSoftware ? nullptr : pkPart,
                                              pkDraw, pkState, pkEffects, kWorld, kBound);
                CommitStates();
                DrawRecord(pkDraw, pkPart != nullptr ? pkPart->m_usVertices : pkDraw->m_uiVertCount);
                pkShader->PostRender(pkEntry->m_pkGeometry, pkEntry->m_pkSkin, pkPart, pkDraw, pkState, pkEffects,
                                     kWorld, kBound);
            }
        }
        for (BatchEntry* pkEntry = m_pkBatchHead; pkEntry != nullptr; pkEntry = pkEntry->m_pkNext)
            ClearChangeBits(pkEntry->m_pkGeometry->GetModelData());
        pkShader->PostProcessPipeline(pkFirst->m_pkGeometry, pkFirst->m_pkSkin, pkFirst->m_pkBuffers, pkState,
                                      pkEffects, pkFirst->m_pkGeometry->GetWorldTransform(),
                                      pkFirst->m_pkGeometry->GetWorldBound());
    }
    m_spBatchShader = nullptr;
    m_spBatchProperties = nullptr;
    m_spBatchEffects = nullptr;
    while (m_pkBatchHead != nullptr)
    {
        BatchEntry* pkNext = m_pkBatchHead->m_pkNext;
        GiveBatchEntry(m_pkBatchHead);
        m_pkBatchHead = pkNext;
    }
    m_pkBatchTail = nullptr;
    EndPipeline();
}

// ---- skinning ----

void NiDX9Renderer::CalculateBoneMatrices(NiSkinInstance* pkSkin, const NiXform& kWorld)
{
    (void)kWorld;
    if (pkSkin == nullptr || pkSkin->GetSkinData() == nullptr)
        return;
    BoneMatrices& kEntry = m_kBoneMatrices[pkSkin];
    const std::uint32_t uiFrame = m_spVBManager != nullptr ? m_spVBManager->GetFrameNumber() : 0;
    const NiSkinData* pkSkinData = pkSkin->GetSkinData();
    const std::uint32_t uiBones = std::min(pkSkinData->GetBoneCount(), pkSkin->GetBoneCount());
    if (kEntry.m_uiFrame == uiFrame && kEntry.m_kMatrices.size() == uiBones)
        return;
    kEntry.m_uiFrame = uiFrame;
    kEntry.m_kMatrices.resize(uiBones);
    // The skin's frame relative to the root parent's world.
    NiXform kRootWorld;
    if (pkSkin->GetRootParent() != nullptr)
        kRootWorld = pkSkin->GetRootParent()->GetWorldTransform();
    const NiXform kSkinFromWorld = pkSkinData->GetRootParentToSkin().Multiply(kRootWorld.Invert());
    const NiSkinData::BoneData* pkBoneData = pkSkinData->GetBoneData();
    for (std::uint32_t b = 0; b < uiBones; ++b)
    {
        NiAVObject* pkBone = pkSkin->GetBones()[b];
        NiXform kBone = pkBone != nullptr ? pkBone->GetWorldTransform() : NiXform();
        NiXform kMatrix = kSkinFromWorld.Multiply(kBone).Multiply(pkBoneData[b].m_kSkinToBone);
        // Near-unit scale counts as none.
        if (kMatrix.m_fScale >= 0.99f && kMatrix.m_fScale <= 1.01f)
            kMatrix.m_fScale = 1.0f;
        kEntry.m_kMatrices[b] = NiDX9Renderer::XformToD3D(kMatrix);
    }
}

void NiDX9Renderer::CalculateBoneMatrices(NiSkinInstance* pkSkin, const NiXform& kWorld, bool bTranspose,
                                          std::uint32_t uiRegisters, bool bWorldSpaceBones)
{
    CalculateBoneMatrices(pkSkin, kWorld);
    const auto it = m_kBoneMatrices.find(pkSkin);
    if (it == m_kBoneMatrices.end())
        return;
    BoneMatrices& kEntry = it->second;
    uiRegisters = uiRegisters == 3 ? 3 : 4;
    const std::size_t uiFloats = kEntry.m_kMatrices.size() * uiRegisters * 4;
    if (kEntry.m_uiBufferFrame == kEntry.m_uiFrame && kEntry.m_uiRegisters == uiRegisters &&
        kEntry.m_bTranspose == bTranspose && kEntry.m_bWorldSpaceBones == bWorldSpaceBones &&
        kEntry.m_kBuffer.size() == uiFloats)
        return;
    kEntry.m_uiBufferFrame = kEntry.m_uiFrame;
    kEntry.m_uiRegisters = uiRegisters;
    kEntry.m_bTranspose = bTranspose;
    kEntry.m_bWorldSpaceBones = bWorldSpaceBones;
    kEntry.m_kBuffer.assign(uiFloats, 0.0f);
    // The skin's frame to world, the inverse of what the bones were put in.
    NiXform kRootWorld;
    if (pkSkin->GetRootParent() != nullptr)
        kRootWorld = pkSkin->GetRootParent()->GetWorldTransform();
    const gfx::D3DMATRIX kSkinToWorld =
        XformToD3D(kRootWorld.Multiply(pkSkin->GetSkinData()->GetRootParentToSkin().Invert()));
    kEntry.m_bHasSkinMatrix = !bWorldSpaceBones;
    if (kEntry.m_bHasSkinMatrix)
        kEntry.m_kSkinMatrix = kSkinToWorld;
    float* pf = kEntry.m_kBuffer.data();
    for (const gfx::D3DMATRIX& kSkinSpace : kEntry.m_kMatrices)
    {
        const gfx::D3DMATRIX kBone = bWorldSpaceBones ? Multiply(kSkinSpace, kSkinToWorld) : kSkinSpace;
        // Three registers drop the last column (0, 0, 0, 1 for these affine
        // matrices): transposed, the fourth row; untransposed, each row's w.
        for (std::uint32_t r = 0; r < uiRegisters; ++r)
            for (std::uint32_t c = 0; c < 4; ++c)
            {
                if (bTranspose)
                    *pf++ = kBone.m[c][r];
                else if (uiRegisters == 4)
                    *pf++ = kBone.m[r][c];
            }
        if (!bTranspose && uiRegisters == 3)
            for (std::uint32_t r = 0; r < 4; ++r)
                for (std::uint32_t c = 0; c < 3; ++c)
                    *pf++ = kBone.m[r][c];
    }
}

const float* NiDX9Renderer::GetBoneMatrixBuffer(const NiSkinInstance* pkSkin, std::uint32_t& uiCount,
                                                std::uint32_t& uiRegisters) const
{
    const auto it = m_kBoneMatrices.find(pkSkin);
    if (it == m_kBoneMatrices.end() || it->second.m_kBuffer.empty())
    {
        uiCount = 0;
        uiRegisters = 0;
        return nullptr;
    }
    uiRegisters = it->second.m_uiRegisters;
    uiCount = static_cast<std::uint32_t>(it->second.m_kBuffer.size() / (std::size_t(uiRegisters) * 4));
    return it->second.m_kBuffer.data();
}

bool NiDX9Renderer::GetSkinMatrix(const NiSkinInstance* pkSkin, gfx::D3DMATRIX& kMatrix) const
{
    const auto it = m_kBoneMatrices.find(pkSkin);
    if (it == m_kBoneMatrices.end() || !it->second.m_bHasSkinMatrix)
        return false;
    kMatrix = it->second.m_kSkinMatrix;
    return true;
}

const gfx::D3DMATRIX* NiDX9Renderer::GetBoneMatrices(const NiSkinInstance* pkSkin, std::uint32_t& uiCount) const
{
    const auto it = m_kBoneMatrices.find(pkSkin);
    if (it == m_kBoneMatrices.end() || it->second.m_kMatrices.empty())
    {
        uiCount = 0;
        return nullptr;
    }
    uiCount = static_cast<std::uint32_t>(it->second.m_kMatrices.size());
    return it->second.m_kMatrices.data();
}

void NiDX9Renderer::SetSkinBoneTransforms(const Partition* pkPartition, const NiSkinInstance* pkSkin,
                                          const NiXform& kWorld)
{
    SetModelTransform(kWorld, false);
    if (m_pkD3DDevice9 == nullptr || pkPartition == nullptr)
        return;
    std::uint32_t uiCount = 0;
    const gfx::D3DMATRIX* pkBones = GetBoneMatrices(pkSkin, uiCount);
    const gfx::D3DMATRIX kWorldMatrix = NiDX9Renderer::XformToD3D(kWorld);
    const std::uint32_t uiOwn = std::min<std::uint32_t>(pkPartition->m_usBones, 4);
    for (std::uint32_t k = 0; k < 4; ++k)
    {
        gfx::D3DMATRIX kSlot = m_kD3DIdentity;
        const std::uint32_t uiBone = k < uiOwn && pkPartition->m_pusBones != nullptr ? pkPartition->m_pusBones[k]
                                                                                     : 0xFFFFFFFFu;
        if (pkBones != nullptr && uiBone < uiCount)
            kSlot = Multiply(pkBones[uiBone], kWorldMatrix);
        m_pkD3DDevice9->SetTransform(gfx::D3DTS_WORLD + k, &kSlot);
    }
}

void NiDX9Renderer::PurgeSkinInstanceRendererData(NiSkinInstance* pkSkin)
{
    m_kBoneMatrices.erase(pkSkin);
}

// ---- lines and points ----

void NiDX9Renderer::DrawTemporary(NiGeometry* pkGeometry, NiGeometryData* pkData, NiDX9GeometryBufferData* pkRecord,
                                  gfx::IDirect3DIndexBuffer9* pkIB, std::uint32_t uiPrimitiveType,
                                  std::uint32_t uiPrimitives, std::uint32_t uiVertices, NiPropertySet* pkPropertySet,
                                  NiEffectSet* pkEffectSet)
{
    (void)pkData;
    NiD3DShaderInterface* pkShader = m_spDefaultShader;
    if (pkShader == nullptr || pkRecord == nullptr || pkRecord->GetStream(0) == nullptr)
        return;
    const NiXform& kWorld = pkGeometry->GetWorldTransform();
    const NiBoundSphere& kBound = pkGeometry->GetWorldBound();
    if (pkShader->PreProcessPipeline(pkGeometry, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld, kBound) != 0)
        return;
    pkShader->UpdatePipeline(pkGeometry, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld, kBound);
    for (std::uint32_t uiLeft = pkShader->FirstPass(); uiLeft != 0; uiLeft = pkShader->NextPass())
    {
        pkShader->SetupRenderingPass(pkGeometry, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld, kBound);
        pkShader->SetupTransformations(pkGeometry, nullptr, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld,
                                       kBound);
        pkShader->SetupShaderPrograms(pkGeometry, nullptr, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld,
                                      kBound);
        CommitStates();
        if (m_pkD3DDevice9 != nullptr)
        {
            m_pkD3DDevice9->SetStreamSource(0, pkRecord->GetStream(0)->m_pkVB, 0, pkRecord->GetStride(0));
            m_pkD3DDevice9->SetIndices(pkIB);
            m_pkD3DDevice9->DrawIndexedPrimitive(uiPrimitiveType, static_cast<std::int32_t>(pkRecord->m_uiBaseVertexIndex),
                                                 0, uiVertices, 0, uiPrimitives);
        }
        pkShader->PostRender(pkGeometry, nullptr, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld, kBound);
    }
    pkShader->PostProcessPipeline(pkGeometry, nullptr, pkRecord, pkPropertySet, pkEffectSet, kWorld, kBound);
    EndPipeline();
}

namespace
{
// A stream of the record's group for uiCount vertices of the given layout,
// locked: the place to write, or null.
std::uint8_t* LockTemporary(NiDX9VertexBufferManager& kVB, NiDX9GeometryBufferData* pkRecord, std::uint32_t uiFVF,
                            std::uint32_t uiStride, std::uint32_t uiCount)
{
    if (pkRecord == nullptr || pkRecord->m_pkGroup == nullptr)
        return nullptr;
    pkRecord->m_uiFVF = uiFVF;
    pkRecord->m_pkDeclaration = nullptr;
    pkRecord->m_uiVertCount = uiCount;
    pkRecord->SetStreamCount(1);
    pkRecord->SetStride(0, uiStride);
    NiDX9VertexBufferRange* pkRange = pkRecord->m_pkGroup->CreateStream(pkRecord, 0);
    if (pkRange == nullptr || pkRange->m_pkVB == nullptr)
        return nullptr;
    return static_cast<std::uint8_t*>(
        kVB.LockBuffer(pkRange->m_pkVB, pkRange->m_uiOffset, uiCount * uiStride, pkRange->m_uiLockFlags));
}

void StoreFloats(std::uint8_t* puc, const float* pf, std::uint32_t uiCount)
{
    std::memcpy(puc, pf, 4u * uiCount);
}
} // namespace

void NiDX9Renderer::DrawLines(NiLines* pkLines, NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet)
{
    if (!m_bInScene || pkLines == nullptr || m_spGeometryManager == nullptr || m_spIBManager == nullptr)
        return;
    auto* pkData = static_cast<NiLinesData*>(pkLines->GetModelData());
    if (pkData == nullptr || !NiIsKindOf<NiLinesData>(pkData) || pkData->GetActiveVertexCount() == 0 ||
        pkData->GetVertices() == nullptr || pkData->GetFlags() == nullptr)
        return;
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    if (pkDynamic == nullptr)
        return;
    m_spGeometryManager->CreateGeometryRecords(pkDynamic, pkData, nullptr, 0, false);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData());
    if (pkRecord == nullptr)
        return;
    const NiVec3* pkVerts = pkData->GetVertices();
    const NiColorRGBA* pkColors = pkData->GetColors();
    const NiVec2* pkTextures = pkData->GetTextures();
    std::uint32_t uiFVF = gfx::D3DFVF_XYZ, uiStride = 12;
    if (pkColors != nullptr)
        uiFVF |= gfx::D3DFVF_DIFFUSE, uiStride += 4;
    const std::uint32_t uiColorOffset = 12;
    const std::uint32_t uiTextureOffset = uiStride;
    if (pkTextures != nullptr)
        uiFVF |= gfx::D3DFVF_TEX1, uiStride += 8;

    // Batches the 16-bit temporary indices can address. Each batch ends on
    // the vertex the next one starts with, so no segment is lost between
    // them; a closing segment (last flag to vertex 0) is drawn on its own.
    const std::uint32_t uiTotal = pkData->GetActiveVertexCount();
    const std::uint8_t* pucFlags = pkData->GetFlags();
    const std::uint32_t uiMax = NiDX9IndexBufferManager::MAX_TEMP_LINE_VERTICES;
    std::vector<std::uint32_t> kBatch;
    std::vector<std::uint8_t> kFlags;
    auto DrawBatch = [&]() {
        const auto uiCount = static_cast<std::uint32_t>(kBatch.size());
        std::uint32_t uiIndices = 0;
        gfx::IDirect3DIndexBuffer9* pkIB = m_spIBManager->ResizeTempLineConnectivity(
            uiCount, kFlags.data(), uiIndices, gfx::D3DUSAGE_WRITEONLY, gfx::D3DPOOL_MANAGED);
        if (pkIB == nullptr || uiIndices < 2)
            return;
        std::uint8_t* puc = LockTemporary(*m_spVBManager, pkRecord, uiFVF, uiStride, uiCount);
        if (puc == nullptr)
            return;
        for (std::uint32_t k = 0; k < uiCount; ++k, puc += uiStride)
        {
            const std::uint32_t i = kBatch[k];
            StoreFloats(puc, &pkVerts[i].x, 3);
            if (pkColors != nullptr)
            {
                // Each channel clamped to 0-255.
                const std::uint32_t uiColor =
                    NiDX9VertexBufferManager::PackColor(pkColors[i].r, pkColors[i].g, pkColors[i].b, pkColors[i].a);
                std::memcpy(puc + uiColorOffset, &uiColor, 4);
            }
            if (pkTextures != nullptr)
                StoreFloats(puc + uiTextureOffset, &pkTextures[i].x, 2);
        }
        m_spVBManager->UnlockBuffer(pkRecord->GetStream(0)->m_pkVB);
        DrawTemporary(pkLines, pkData, pkRecord, pkIB, gfx::D3DPT_LINELIST, uiIndices / 2, uiCount, pkPropertySet,
                      pkEffectSet);
    };
    if (uiTotal <= uiMax)
    {
        kBatch.resize(uiTotal);
        for (std::uint32_t i = 0; i < uiTotal; ++i)
            kBatch[i] = i;
        kFlags.assign(pucFlags, pucFlags + uiTotal);
        DrawBatch();
        return;
    }
    for (std::uint32_t uiStart = 0; uiStart + 1 < uiTotal; uiStart += uiMax - 1)
    {
        const std::uint32_t uiEnd = std::min(uiTotal, uiStart + uiMax);
        kBatch.clear();
        kFlags.clear();
        for (std::uint32_t i = uiStart; i < uiEnd; ++i)
        {
            kBatch.push_back(i);
            kFlags.push_back(pucFlags[i]);
        }
        kFlags.back() = 0; // its segment belongs to the next batch (or the closing one)
        DrawBatch();
    }
    if (pucFlags[uiTotal - 1] != 0)
    {
        kBatch = {uiTotal - 1, 0};
        kFlags = {1, 0};
        DrawBatch();
    }
}

void NiDX9Renderer::DrawPoints(NiParticles* pkParticles)
{
    if (!m_bInScene || pkParticles == nullptr || m_spGeometryManager == nullptr || m_spIBManager == nullptr)
        return;
    auto* pkData = static_cast<NiParticlesData*>(pkParticles->GetModelData());
    if (pkData == nullptr || !NiIsKindOf<NiParticlesData>(pkData) || pkData->GetActiveVertexCount() == 0 ||
        pkData->GetVertices() == nullptr)
        return;
    NiDX9GeometryBufferGroup* pkDynamic = NiDX9GeometryBufferGroup::GetDynamicInstance();
    if (pkDynamic == nullptr)
        return;
    m_spGeometryManager->CreateGeometryRecords(pkDynamic, pkData, nullptr, 0, false);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData());
    if (pkRecord == nullptr)
        return;
    // The quads are built in the model's frame from the camera's axes.
    SetModelTransform(pkParticles->GetWorldTransform(), true);
    const NiVec3 kRight = GetModelCameraRight();
    const NiVec3 kUp = GetModelCameraUp();
    const NiVec3* pkVerts = pkData->GetVertices();
    const NiColorRGBA* pkColors = pkData->GetColors();
    const float* pfRadii = pkData->GetRadii();
    const float* pfSizes = pkData->GetSizes();
    // Layout: position, colour when the particles have colours, one texture set.
    std::uint32_t uiFVF = gfx::D3DFVF_XYZ | gfx::D3DFVF_TEX1, uiStride = 20;
    if (pkColors != nullptr)
        uiFVF |= gfx::D3DFVF_DIFFUSE, uiStride += 4;
    const std::uint32_t uiTextureOffset = pkColors != nullptr ? 16 : 12;
    // Size rule: half the quad's edge is the particle's radius times its size
    // (1 for each that is missing).
    const std::uint32_t uiTotal = pkData->GetActiveVertexCount();
    const std::uint32_t uiMax = NiDX9IndexBufferManager::MAX_TEMP_POINTS;
    // Corners round the quad as the temporary indices take them (0 1 2, 0 2
    // 3), in the winding the default culling keeps.
    static constexpr float s_afCorner[4][2] = {{-1.0f, 1.0f}, {-1.0f, -1.0f}, {1.0f, -1.0f}, {1.0f, 1.0f}};
    static constexpr float s_afUV[4][2] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}};
    for (std::uint32_t uiStart = 0; uiStart < uiTotal; uiStart += uiMax)
    {
        const std::uint32_t uiCount = std::min(uiMax, uiTotal - uiStart);
        gfx::IDirect3DIndexBuffer9* pkIB =
            m_spIBManager->ResizeTempPointConnectivity(uiCount, false, gfx::D3DUSAGE_WRITEONLY, gfx::D3DPOOL_MANAGED);
        if (pkIB == nullptr)
            return;
        std::uint8_t* puc = LockTemporary(*m_spVBManager, pkRecord, uiFVF, uiStride, 4 * uiCount);
        if (puc == nullptr)
            return;
        for (std::uint32_t i = uiStart; i < uiStart + uiCount; ++i)
        {
            const float fHalf = (pfRadii != nullptr ? pfRadii[i] : 1.0f) * (pfSizes != nullptr ? pfSizes[i] : 1.0f);
            const std::uint32_t uiColor =
                pkColors != nullptr
                    ? NiDX9VertexBufferManager::PackColor(pkColors[i].r, pkColors[i].g, pkColors[i].b, pkColors[i].a)
                    : 0;
            for (int c = 0; c < 4; ++c, puc += uiStride)
            {
                const NiVec3 kCorner =
                    pkVerts[i] + kRight * (s_afCorner[c][0] * fHalf) + kUp * (s_afCorner[c][1] * fHalf);
                StoreFloats(puc, &kCorner.x, 3);
                if (pkColors != nullptr)
                    std::memcpy(puc + 12, &uiColor, 4);
                StoreFloats(puc + uiTextureOffset, s_afUV[c], 2);
            }
        }
        m_spVBManager->UnlockBuffer(pkRecord->GetStream(0)->m_pkVB);
        DrawTemporary(pkParticles, pkData, pkRecord, pkIB, gfx::D3DPT_TRIANGLELIST, 2 * uiCount, 4 * uiCount,
                      GetPropertyState(), GetEffectState());
    }
}

// ---- screen polygons ----

void NiDX9Renderer::RenderScreenPolygon(NiScreenPolygon* pkPolygon)
{
    if (!m_bInScene || pkPolygon == nullptr || pkPolygon->GetVertexCount() == 0 || m_spGeometryManager == nullptr)
        return;
    NiDX9GeometryBufferGroup* pkStatic = NiDX9GeometryBufferGroup::GetStaticInstance();
    if (pkStatic == nullptr)
        return;
    m_spGeometryManager->CreateScreenPolygonData(pkStatic, pkPolygon, 0);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkPolygon->GetRendererData());
    if (pkRecord == nullptr)
        return;
    std::uint32_t uiFlags = pkPolygon->GetRendererFlags() & 0x7u;
    if (!pkRecord->HasAllStreams())
        uiFlags = 0x7u;
    if (uiFlags != 0 || pkRecord->GetStream(0) == nullptr)
    {
        if (m_spVBManager->PackScreenPolygon(pkPolygon, m_fNearDepth, m_fDepthRange, uiFlags, pkRecord->GetStream(0),
                                             nullptr) == nullptr)
            return;
    }
    pkPolygon->SetRendererFlags(0);
    pkRecord->m_uiVertCount = pkPolygon->GetVertexCount();
    pkRecord->m_uiType = gfx::D3DPT_TRIANGLEFAN;
    pkRecord->m_uiPrimitiveCount = pkPolygon->GetVertexCount() >= 3 ? pkPolygon->GetVertexCount() - 2u : 0u;
    if (pkRecord->m_uiPrimitiveCount == 0)
        return;
    // Screen space: no view, the screen projection; the camera's come back after.
    if (m_pkD3DDevice9 != nullptr)
    {
        m_pkD3DDevice9->SetTransform(gfx::D3DTS_VIEW, &m_kD3DIdentity);
        m_pkD3DDevice9->SetTransform(gfx::D3DTS_PROJECTION, &m_kScreenSpaceProj);
    }
    DrawGeometry(nullptr, nullptr, pkRecord, GetPropertyState(), GetEffectState(), NiXform(), NiBoundSphere(),
                 m_spDefaultShader);
    if (m_pkD3DDevice9 != nullptr)
    {
        m_pkD3DDevice9->SetTransform(gfx::D3DTS_VIEW, &m_kD3DView);
        m_pkD3DDevice9->SetTransform(gfx::D3DTS_PROJECTION, &m_kD3DProj);
    }
}

gfx::D3DMATRIX NiDX9Renderer::XformToD3D(const NiXform& kXform)
{
    gfx::D3DMATRIX kM{};
    for (int iRow = 0; iRow < 3; ++iRow)
        for (int iCol = 0; iCol < 3; ++iCol)
            kM.m[iRow][iCol] = kXform.m_fScale * kXform.m_kRotate.GetEntry(iCol, iRow);
    kM.m[3][0] = kXform.m_kTranslate.x;
    kM.m[3][1] = kXform.m_kTranslate.y;
    kM.m[3][2] = kXform.m_kTranslate.z;
    kM.m[3][3] = 1.0f;
    return kM;
}
