#include "engine/render/NiDX9ShaderDeclaration.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/shaders/framework/NiD3DShaderDeclaration.h"

#include <cstring>
#include <new>

NiImplementTypeInfo(NiDX9ShaderDeclaration, NiObject)

NiDX9ShaderDeclaration::~NiDX9ShaderDeclaration()
{
    m_spStreams.reset();
    if (m_pkDevice)
        m_pkDevice->Release();
}

bool NiDX9ShaderDeclaration::Initialize(NiDX9Renderer* pkRenderer, std::uint32_t uiMaxEntries,
                                        std::uint32_t uiStreamCount)
{
    m_pkRenderer = pkRenderer;
    m_pkVBManager = pkRenderer ? pkRenderer->GetVBManager() : nullptr;
    gfx::IDirect3DDevice9* pkDevice = pkRenderer ? pkRenderer->GetD3DDevice() : nullptr;
    if (pkDevice)
        pkDevice->AddRef();
    if (m_pkDevice)
        m_pkDevice->Release();
    m_pkDevice = pkDevice;
    m_uiMaxEntries = uiMaxEntries;
    m_uiStreamCount = uiStreamCount;
    m_spStreams.reset(uiStreamCount ? new (std::nothrow) ShaderRegisterStream[uiStreamCount] : nullptr);
    if (uiStreamCount && !m_spStreams)
    {
        m_uiStreamCount = 0;
        return false;
    }
    bool bAll = true;
    for (std::uint32_t i = 0; i < uiStreamCount; ++i)
    {
        m_spStreams[i].m_spEntries.reset(uiMaxEntries ? new (std::nothrow) ShaderRegisterEntry[uiMaxEntries] : nullptr);
        // A stream without its entries could not be described: the declaration is unusable.
        if (uiMaxEntries && !m_spStreams[i].m_spEntries)
            bAll = false;
    }
    return bAll;
}

std::uint32_t NiDX9ShaderDeclaration::PackEntry(std::uint16_t usVertices, NiGeometryData* pkData, std::uint32_t,
                                                const NiSkinPartition::Partition* pkPartition,
                                                NiDX9ExtraDataSource* pkExtra, const ShaderRegisterEntry& kEntry,
                                                std::uint32_t uiDestStride, void* pvDest)
{
    if (kEntry.m_uiType == NiDX9PackingRegistry::TYPE_UNUSED)
        return 0;
    const std::uint32_t uiDestSize = NiDX9PackingRegistry::GetTypeSize(kEntry.m_uiType);
    if (uiDestSize == 0 || !NiDX9PackingRegistry::IsCreated() || !pvDest)
        return 0;

    // An element that cannot be converted is zeroed rather than drawn from stale bytes.
    auto ZeroFill = [&]() -> std::uint32_t {
        auto* puc = static_cast<std::uint8_t*>(pvDest);
        for (std::uint32_t i = 0; i < usVertices; ++i)
            std::memset(puc + std::size_t(i) * uiDestStride, 0, uiDestSize);
        return 0;
    };

    NiDX9PackingRecord kRecord;
    const std::uint32_t uiParameter = std::uint32_t(kEntry.m_iParameter);
    const std::uint32_t uiDataVerts = pkData ? pkData->GetVertexCount() : 0;
    const void* pvSource = nullptr;
    std::uint32_t uiSize = 0, uiStride = 0, uiKind = 0, uiSourceCount = uiDataVerts;
    bool bMapped = pkPartition && pkPartition->m_pusVertexMap;
    if (kEntry.m_iParameter == SPTYPE_NONE)
        return 0;
    if (uiParameter & EXTRA_DATA_BIT)
    {
        if (!pkExtra)
            return ZeroFill();
        const std::uint32_t uiStream = uiParameter & ~EXTRA_DATA_BIT;
        pvSource = pkExtra->GetData(uiStream);
        uiSize = pkExtra->GetElementSize(uiStream);
        uiStride = pkExtra->GetStride(uiStream);
        uiKind = pkExtra->GetKind(uiStream);
        uiSourceCount = 0;
    }
    else if (uiParameter == SPTYPE_BLENDWEIGHT || uiParameter == SPTYPE_BLENDINDICES)
    {
        if (!pkPartition)
            return 0;
        const std::uint32_t b = pkPartition->m_usBonesPerVertex;
        if (b < 1 || b > 4)
            return ZeroFill();
        bMapped = false;
        uiSourceCount = pkPartition->m_usVertices;
        if (uiParameter == SPTYPE_BLENDWEIGHT)
        {
            pvSource = pkPartition->m_pfWeights.get();
            uiSize = 4 * std::min(b, 3u);
            uiStride = 4 * b;
            uiKind = b == 4 ? 3 : b;
        }
        else
        {
            if (!pkPartition->m_pucBonePalette)
                return 0;
            pvSource = pkPartition->m_pucBonePalette.get();
            uiSize = uiStride = b;
            uiKind = 24 + b;
        }
    }
    else if (uiParameter > SPTYPE_BINORMAL || !pkData)
    {
        return ZeroFill();
    }
    else if (uiParameter == SPTYPE_POSITION || uiParameter == SPTYPE_NORMAL || uiParameter == SPTYPE_TANGENT ||
             uiParameter == SPTYPE_BINORMAL)
    {
        const NiVec3* pk = uiParameter == SPTYPE_POSITION ? pkData->GetVertices() : pkData->GetNormals();
        if (pk && uiParameter == SPTYPE_TANGENT)
            pk += std::size_t(uiDataVerts) * 2;
        else if (pk && uiParameter == SPTYPE_BINORMAL)
            pk += uiDataVerts;
        // Tangents and binormals exist only with their method's three blocks.
        if ((uiParameter == SPTYPE_TANGENT || uiParameter == SPTYPE_BINORMAL) &&
            pkData->GetNormalBinormalTangentMethod() == 0)
            pk = nullptr;
        pvSource = pk;
        uiSize = uiStride = 12;
        uiKind = 3;
    }
    else if (uiParameter == SPTYPE_COLOR)
    {
        pvSource = pkData->GetColors();
        uiSize = uiStride = 16;
        uiKind = 4;
    }
    else // texture sets
    {
        const std::uint32_t uiSet = uiParameter - SPTYPE_TEXCOORD0;
        const NiVec2* pk = pkData->GetTextures();
        pvSource = (pk && uiSet < pkData->GetTextureSets()) ? pk + std::size_t(uiSet) * uiDataVerts : nullptr;
        uiSize = uiStride = 8;
        uiKind = 2;
    }

    const NiDX9PackingFunction pfn = NiDX9PackingRegistry::GetFunction(kEntry.m_uiType, uiKind);
    if (!pfn)
        return ZeroFill();
    kRecord.m_uiType = kEntry.m_uiType;
    kRecord.m_uiKind = uiKind;
    kRecord.m_uiVertexCount = usVertices;
    kRecord.m_pusVertexMap = bMapped ? pkPartition->m_pusVertexMap.get() : nullptr;
    kRecord.m_pvSource = pvSource;
    kRecord.m_uiSourceSize = uiSize;
    kRecord.m_uiSourceStride = uiStride;
    kRecord.m_uiDestSize = uiDestSize;
    kRecord.m_uiDestStride = uiDestStride;
    kRecord.m_pvDest = pvDest;
    kRecord.m_uiSourceCount = uiSourceCount;
    // Unmapped sources of a partition are read in order: no more than the partition's vertices.
    if (!kRecord.m_pusVertexMap && uiSourceCount && usVertices > uiSourceCount && pvSource)
        return ZeroFill();
    return pfn(kRecord);
}
