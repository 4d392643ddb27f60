#include "engine/render/NiDX9VertexBufferManager.h"

#include "engine/core/NiColor.h"
#include "engine/scene/NiGeometryData.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiSkinInstance.h"
#include "engine/shaders/framework/NiD3DPass.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace
{
constexpr std::uint32_t MAX_SETS = 8;

void Store(std::uint8_t* puc, std::uint32_t ui) { std::memcpy(puc, &ui, 4); }

bool Fits(gfx::IDirect3DVertexBuffer9* pkVB, std::uint32_t uiFVF, std::uint32_t uiBytes)
{
    gfx::D3DVERTEXBUFFER_DESC kDesc{};
    return pkVB && gfx::SUCCEEDED(pkVB->GetDesc(&kDesc)) && kDesc.Format == gfx::D3DFMT_VERTEXDATA &&
           kDesc.FVF == uiFVF && kDesc.Size >= uiBytes;
}
} // namespace

NiDX9VertexBufferManager::NiDX9VertexBufferManager(gfx::IDirect3DDevice9* pkDevice) : m_pkDevice(pkDevice)
{
    if (m_pkDevice)
        m_pkDevice->AddRef();
}

NiDX9VertexBufferManager::~NiDX9VertexBufferManager()
{
    if (m_pkDevice)
        m_pkDevice->Release();
}

void* NiDX9VertexBufferManager::LockBuffer(gfx::IDirect3DVertexBuffer9* pkVB, std::uint32_t uiOffset,
                                           std::uint32_t uiSize, std::uint32_t uiFlags)
{
    if (!pkVB)
        return nullptr;
    void* pvDevice = nullptr;
    if (gfx::FAILED(pkVB->Lock(uiOffset, uiSize, &pvDevice, uiFlags)) || !pvDevice)
        return nullptr;
    m_kLock.lock();
    ++m_uiLockDepth;
    if (uiFlags & gfx::D3DLOCK_DISCARD)
        ++m_uiDiscardEpoch;
    if (uiSize == 0)
        uiSize = pkVB->Size() - uiOffset;
    m_pvLocked = pvDevice;
    m_uiLockedSize = uiSize;
    if (m_uiStagingCapacity < uiSize)
    {
        m_spStaging.reset(new (std::nothrow) std::uint8_t[uiSize]);
        m_uiStagingCapacity = m_spStaging ? uiSize : 0;
        if (!m_spStaging)
        {
            m_pvLocked = nullptr;
            m_uiLockedSize = 0;
            --m_uiLockDepth;
            m_kLock.unlock();
            pkVB->Unlock();
            return nullptr;
        }
    }
    // A partial update keeps the rest; DISCARD and NOOVERWRITE promise no old bytes are wanted.
    if (!(uiFlags & (gfx::D3DLOCK_DISCARD | gfx::D3DLOCK_NOOVERWRITE)))
        std::memcpy(m_spStaging.get(), pvDevice, uiSize);
    return m_spStaging.get();
}

bool NiDX9VertexBufferManager::UnlockBuffer(gfx::IDirect3DVertexBuffer9* pkVB)
{
    if (m_pvLocked && m_uiLockedSize)
        std::memcpy(m_pvLocked, m_spStaging.get(), m_uiLockedSize);
    m_pvLocked = nullptr;
    m_uiLockedSize = 0;
    if (m_uiLockDepth > 0)
    {
        --m_uiLockDepth;
        m_kLock.unlock();
    }
    return pkVB && gfx::SUCCEEDED(pkVB->Unlock());
}

NiDX9VertexLayout NiDX9VertexBufferManager::ComputeVertexLayout(const NiGeometryData* pkData,
                                                                const NiSkinPartition::Partition* pkPartition)
{
    NiDX9VertexLayout kLayout;
    std::uint32_t uiOffset = 12;
    if (pkPartition && pkPartition->m_usBonesPerVertex != 0)
    {
        kLayout.m_uiFVF = gfx::D3DFVF_XYZB3;
        kLayout.m_iWeights = 12;
        uiOffset += 12;
    }
    else
    {
        kLayout.m_uiFVF = gfx::D3DFVF_XYZ;
    }
    if (pkData && pkData->GetNormals())
    {
        kLayout.m_uiFVF |= gfx::D3DFVF_NORMAL;
        kLayout.m_iNormal = std::int32_t(uiOffset);
        uiOffset += 12;
    }
    if (pkData && pkData->GetColors())
    {
        kLayout.m_uiFVF |= gfx::D3DFVF_DIFFUSE;
        kLayout.m_iColor = std::int32_t(uiOffset);
        uiOffset += 4;
    }
    std::uint32_t uiSets = pkData ? std::min<std::uint32_t>(pkData->GetTextureSets(), MAX_SETS) : 0;
    if (uiSets == 0)
        uiSets = 1;
    const std::uint32_t uiStages = std::max<std::uint32_t>(NiD3DPass::GetMaxTextureBlendStages(), 1);
    uiSets = std::min(uiSets, uiStages);
    kLayout.m_iTexture = std::int32_t(uiOffset);
    kLayout.m_uiSets = uiSets;
    kLayout.m_uiFVF |= uiSets * gfx::D3DFVF_TEX1;
    uiOffset += 8 * uiSets;
    kLayout.m_uiStride = uiOffset;
    return kLayout;
}

std::uint32_t NiDX9VertexBufferManager::PackColor(float fR, float fG, float fB, float fA)
{
    return (NiColorChannelRounded(fA) << 24) | (NiColorChannelRounded(fR) << 16) | (NiColorChannelRounded(fG) << 8) |
           NiColorChannelRounded(fB);
}

void NiDX9VertexBufferManager::CopyStrided(void* pvDest, const void* pvSource, std::uint32_t uiStride,
                                           std::uint32_t uiElement, std::uint32_t uiCount)
{
    auto* puc = static_cast<std::uint8_t*>(pvDest);
    const auto* pucSrc = static_cast<const std::uint8_t*>(pvSource);
    for (std::uint32_t i = 0; i < uiCount; ++i, puc += uiStride, pucSrc += uiElement)
        std::memcpy(puc, pucSrc, uiElement);
}

NiDX9VertexBufferRange* NiDX9VertexBufferManager::ChooseStream(NiDX9GeometryBufferData* pkRecord,
                                                               NiDX9VertexBufferRange* pkStream, std::uint32_t uiFVF,
                                                               std::uint32_t uiBytes, bool bMayReuse, bool& bNew)
{
    bNew = false;
    if (bMayReuse && pkStream && Fits(pkStream->m_pkVB, uiFVF, uiBytes))
        return pkStream;
    if (!pkRecord || !pkRecord->m_pkGroup)
        return nullptr;
    if (pkRecord->GetStreamCount() == 0)
        pkRecord->SetStreamCount(1);
    // The stream being replaced goes back first; the dynamic group's ranges are its own.
    if (!pkRecord->m_pkGroup->IsDynamic())
        pkRecord->m_pkGroup->ReleaseStream(pkRecord, 0);
    NiDX9VertexBufferRange* pkRange = pkRecord->m_pkGroup->CreateStream(pkRecord, 0);
    if (!pkRange || !pkRange->m_pkVB)
        return nullptr;
    bNew = true;
    return pkRange;
}

NiDX9VertexBufferRange* NiDX9VertexBufferManager::CreateStreamBuffer(NiDX9GeometryBufferData* pkRecord,
                                                                     std::uint32_t uiStream)
{
    if (!pkRecord || !pkRecord->m_pkGroup || uiStream >= pkRecord->GetStreamCount())
        return nullptr;
    if (!pkRecord->m_pkGroup->IsDynamic())
        pkRecord->m_pkGroup->ReleaseStream(pkRecord, uiStream);
    NiDX9VertexBufferRange* pkRange = pkRecord->m_pkGroup->CreateStream(pkRecord, uiStream);
    return pkRange && pkRange->m_pkVB ? pkRange : nullptr;
}

std::uint8_t* NiDX9VertexBufferManager::LockChosenStream(NiDX9GeometryBufferData* pkRecord, std::uint32_t uiFVF,
                                                         std::uint32_t uiBytes, bool bMayReuse,
                                                         std::uint32_t uiAllFlags, std::uint32_t& uiFlags,
                                                         NiDX9VertexBufferRange*& pkRange)
{
    bool bNew = false;
    pkRange = ChooseStream(pkRecord, pkRange, uiFVF, uiBytes, bMayReuse, bNew);
    if (!pkRange)
        return nullptr;
    if (bNew)
        uiFlags = uiAllFlags; // a new stream holds nothing yet
    return static_cast<std::uint8_t*>(LockBuffer(pkRange->m_pkVB, pkRange->m_uiOffset,
                                                 std::max(pkRange->m_uiSize, uiBytes), pkRange->m_uiLockFlags));
}

NiDX9VertexBufferManager::ScreenLayout::ScreenLayout(std::uint32_t uiPositionFVF, std::uint32_t uiPositionBytes,
                                                     bool bColors, bool bTextures)
    : m_uiFVF(uiPositionFVF), m_uiStride(uiPositionBytes)
{
    if (bColors)
    {
        m_uiFVF |= gfx::D3DFVF_DIFFUSE;
        m_iColor = std::int32_t(m_uiStride);
        m_uiStride += 4;
    }
    if (bTextures)
    {
        m_uiFVF |= gfx::D3DFVF_TEX1;
        m_iTexture = std::int32_t(m_uiStride);
        m_uiStride += 8;
    }
}

std::uint8_t* NiDX9VertexBufferManager::BeginScreenPack(NiDX9GeometryBufferData* pkRecord,
                                                        const ScreenLayout& kLayout, std::uint32_t uiCount,
                                                        void* pvDest, std::uint32_t& uiFlags,
                                                        NiDX9VertexBufferRange*& pkRange)
{
    if (pkRecord)
    {
        pkRecord->m_uiFVF = kLayout.m_uiFVF;
        pkRecord->m_pkDeclaration = nullptr;
        if (pkRecord->GetStreamCount() > 0)
            pkRecord->SetStride(0, kLayout.m_uiStride);
        pkRecord->m_uiVertCount = uiCount;
    }
    if (pvDest)
        return static_cast<std::uint8_t*>(pvDest);
    if (pkRecord && pkRecord->GetStreamCount() == 0)
    {
        pkRecord->SetStreamCount(1);
        pkRecord->SetStride(0, kLayout.m_uiStride);
    }
    return LockChosenStream(pkRecord, kLayout.m_uiFVF, uiCount * kLayout.m_uiStride, true, 0x7, uiFlags, pkRange);
}

NiDX9VertexBufferRange* NiDX9VertexBufferManager::PackGeometry(NiGeometryData* pkData, NiSkinInstance* pkSkin,
                                                               std::uint32_t uiFlags, NiDX9VertexBufferRange* pkStream,
                                                               void* pvDest)
{
    if (!pkData)
        return nullptr;
    const std::uint32_t uiCount = pkData->GetActiveVertexCount();
    if (uiCount == 0)
        return nullptr;
    const NiDX9VertexLayout kLayout = ComputeVertexLayout(pkData, nullptr);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData());
    if (pkRecord)
    {
        pkRecord->m_uiFVF = kLayout.m_uiFVF;
        pkRecord->m_pkDeclaration = nullptr;
        if (pkRecord->GetStreamCount() == 0)
            pkRecord->SetStreamCount(1); // a fixed-function layout is one stream
        pkRecord->SetStride(0, kLayout.m_uiStride);
        if (pkRecord->m_uiVertCount < uiCount)
            pkRecord->m_uiVertCount = uiCount;
    }
    const std::uint32_t uiBytes = uiCount * kLayout.m_uiStride;

    std::uint8_t* puc = static_cast<std::uint8_t*>(pvDest);
    NiDX9VertexBufferRange* pkRange = pkStream;
    if (!puc)
    {
        const bool bVolatile = (pkData->GetConsistency() & NiGeometryData::VOLATILE) != 0;
        puc = LockChosenStream(pkRecord, kLayout.m_uiFVF, uiBytes, !bVolatile, UPDATE_ALL, uiFlags, pkRange);
        if (!puc)
            return nullptr;
    }

    const std::uint32_t uiStride = kLayout.m_uiStride;
    const NiVec3* pkVerts = pkData->GetVertices();
    const NiVec3* pkNormals = pkData->GetNormals();
    if (pkSkin)
    {
        if (pkVerts && (uiFlags & UPDATE_POSITIONS))
            pkSkin->NiDeformSkinnedVertices(pkVerts, pkNormals, uiCount, puc,
                                            pkNormals ? puc + kLayout.m_iNormal : nullptr, nullptr, nullptr, uiStride);
    }
    else
    {
        if (pkVerts && (uiFlags & UPDATE_POSITIONS))
            CopyStrided(puc, pkVerts, uiStride, 12, uiCount);
        if (pkNormals && (uiFlags & UPDATE_NORMALS))
            CopyStrided(puc + kLayout.m_iNormal, pkNormals, uiStride, 12, uiCount);
    }
    if (const NiColorRGBA* pkColors = pkData->GetColors(); pkColors && (uiFlags & UPDATE_COLORS))
    {
        std::uint8_t* pucColor = puc + kLayout.m_iColor;
        for (std::uint32_t i = 0; i < uiCount; ++i, pucColor += uiStride)
            Store(pucColor, PackColor(pkColors[i].r, pkColors[i].g, pkColors[i].b, pkColors[i].a));
    }
    if (const NiVec2* pkTextures = pkData->GetTextures(); pkTextures && (uiFlags & UPDATE_TEXTURES))
    {
        const std::uint32_t uiDataSets = std::min<std::uint32_t>(pkData->GetTextureSets(), kLayout.m_uiSets);
        for (std::uint32_t s = 0; s < uiDataSets; ++s)
            CopyStrided(puc + kLayout.m_iTexture + 8 * s, pkTextures + std::size_t(s) * pkData->GetVertexCount(),
                        uiStride, 8, uiCount);
    }

    if (!pvDest && !UnlockBuffer(pkRange->m_pkVB))
        return nullptr;
    return pkRange;
}

gfx::IDirect3DVertexBuffer9* NiDX9VertexBufferManager::PackSkinPartition(NiGeometryData* pkData,
                                                                         NiSkinPartition::Partition* pkPartition,
                                                                         std::uint32_t uiFlags,
                                                                         gfx::IDirect3DVertexBuffer9* pkVB,
                                                                         void* pvDest,
                                                                         const SoftwareBones* pkSoftware)
{
    if (!pkData || !pkPartition)
        return nullptr;
    const NiDX9VertexLayout kLayout = ComputeVertexLayout(pkData, pkSoftware ? nullptr : pkPartition);
    const std::uint32_t uiCount = pkPartition->m_usVertices;
    const std::uint32_t uiStride = kLayout.m_uiStride;
    const std::uint32_t uiBytes = uiCount * uiStride;
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkPartition->m_pvRendererData);
    if (pkRecord)
    {
        pkRecord->m_uiFVF = kLayout.m_uiFVF;
        pkRecord->m_pkDeclaration = nullptr;
        pkRecord->m_uiVertCount = uiCount;
        if (pkRecord->GetStreamCount() == 0)
            pkRecord->SetStreamCount(1);
        pkRecord->SetStride(0, uiStride);
    }

    std::uint8_t* puc = static_cast<std::uint8_t*>(pvDest);
    gfx::IDirect3DVertexBuffer9* pkResult = pkVB;
    if (!puc)
    {
        if (uiBytes == 0)
            return nullptr;
        const bool bVolatile = (pkData->GetConsistency() & NiGeometryData::VOLATILE) != 0;
        NiDX9VertexBufferRange* pkRange = pkRecord ? pkRecord->GetStream(0) : nullptr;
        std::uint32_t uiOffset = 0, uiLockFlags = 0;
        if (!bVolatile && Fits(pkVB, kLayout.m_uiFVF, uiBytes))
        {
            if (pkRange && pkRange->m_pkVB == pkVB)
                uiOffset = pkRange->m_uiOffset, uiLockFlags = pkRange->m_uiLockFlags;
        }
        else
        {
            if (!pkRecord || !pkRecord->m_pkGroup)
                return nullptr;
            if (!pkRecord->m_pkGroup->IsDynamic())
                pkRecord->m_pkGroup->ReleaseStream(pkRecord, 0);
            pkRange = pkRecord->m_pkGroup->CreateStream(pkRecord, 0);
            if (!pkRange || !pkRange->m_pkVB)
                return nullptr;
            pkResult = pkRange->m_pkVB;
            uiOffset = pkRange->m_uiOffset;
            uiLockFlags = pkRange->m_uiLockFlags;
            uiFlags = UPDATE_ALL;
        }
        puc = static_cast<std::uint8_t*>(LockBuffer(pkResult, uiOffset, uiBytes, uiLockFlags));
        if (!puc)
            return nullptr;
    }

    const std::uint16_t* pusMap = pkPartition->m_pusVertexMap.get();
    const std::uint32_t uiDataVerts = pkData->GetVertexCount();
    // A map entry past the data's vertices reads nothing: its vertex stays zero.
    auto Source = [&](std::uint32_t k, std::uint32_t& uiSrc) {
        uiSrc = pusMap ? pusMap[k] : k;
        return uiSrc < uiDataVerts;
    };
    // Software skinning: the weighted sum of the vertex through each of its
    // bones, as the device would blend them (a point takes the translation).
    auto Blend = [&](std::uint32_t k, const NiVec3& kIn, bool bPoint) {
        const std::uint32_t uiPerVertex = pkPartition->m_usBonesPerVertex;
        const float* pfWeights = pkPartition->m_pfWeights.get();
        const std::uint8_t* pucPalette = pkPartition->m_pucBonePalette.get();
        float afOut[3] = {0.0f, 0.0f, 0.0f};
        for (std::uint32_t w = 0; w < std::max<std::uint32_t>(uiPerVertex, 1); ++w)
        {
            const std::size_t uiSlot = std::size_t(k) * uiPerVertex + w;
            const float fWeight = uiPerVertex == 0 ? 1.0f : (pfWeights ? pfWeights[uiSlot] : (w == 0 ? 1.0f : 0.0f));
            const std::uint32_t uiLocal = (uiPerVertex != 0 && pucPalette) ? pucPalette[uiSlot] : w;
            if (fWeight == 0.0f || uiLocal >= pkPartition->m_usBones || !pkPartition->m_pusBones)
                continue;
            const std::uint32_t uiBone = pkPartition->m_pusBones[uiLocal];
            if (uiBone >= pkSoftware->m_uiCount)
                continue;
            const gfx::D3DMATRIX& kM = pkSoftware->m_pkMatrices[uiBone];
            for (int c = 0; c < 3; ++c)
                afOut[c] += fWeight * (kIn.x * kM.m[0][c] + kIn.y * kM.m[1][c] + kIn.z * kM.m[2][c] +
                                       (bPoint ? kM.m[3][c] : 0.0f));
        }
        return NiVec3(afOut[0], afOut[1], afOut[2]);
    };
    const NiVec3* pkVerts = pkData->GetVertices();
    if (pkVerts && (uiFlags & UPDATE_POSITIONS) && pkSoftware)
    {
        for (std::uint32_t k = 0; k < uiCount; ++k)
        {
            std::uint32_t uiSrc = 0;
            const NiVec3 kOut = Source(k, uiSrc) ? Blend(k, pkVerts[uiSrc], true) : NiVec3(0.0f, 0.0f, 0.0f);
            std::memcpy(puc + std::size_t(k) * uiStride, &kOut, 12);
        }
    }
    else if (pkVerts && (uiFlags & UPDATE_POSITIONS))
    {
        const std::uint32_t uiBones = pkPartition->m_usBonesPerVertex;
        const float* pfWeights = pkPartition->m_pfWeights.get();
        // At most three slots: the device derives the last matrix's weight.
        const std::uint32_t uiStored = (uiBones == 1 || uiBones == 3) ? uiBones : std::min<std::uint32_t>(
                                                                                      uiBones ? uiBones - 1 : 0, 3);
        for (std::uint32_t k = 0; k < uiCount; ++k)
        {
            std::uint8_t* pucV = puc + std::size_t(k) * uiStride;
            std::uint32_t uiSrc = 0;
            if (Source(k, uiSrc))
                std::memcpy(pucV, &pkVerts[uiSrc], 12);
            else
                std::memset(pucV, 0, 12);
            if (kLayout.m_iWeights >= 0)
            {
                float afSlots[3] = {0.0f, 0.0f, 0.0f};
                if (pfWeights)
                    for (std::uint32_t w = 0; w < uiStored; ++w)
                        afSlots[w] = pfWeights[std::size_t(k) * uiBones + w];
                std::memcpy(pucV + kLayout.m_iWeights, afSlots, 12);
            }
        }
    }
    if (const NiVec3* pkNormals = pkData->GetNormals(); pkNormals && (uiFlags & UPDATE_NORMALS))
    {
        for (std::uint32_t k = 0; k < uiCount; ++k)
        {
            std::uint32_t uiSrc = 0;
            std::uint8_t* pucN = puc + std::size_t(k) * uiStride + kLayout.m_iNormal;
            if (Source(k, uiSrc) && pkSoftware)
            {
                const NiVec3 kOut = Blend(k, pkNormals[uiSrc], false);
                std::memcpy(pucN, &kOut, 12);
            }
            else if (Source(k, uiSrc))
                std::memcpy(pucN, &pkNormals[uiSrc], 12);
            else
                std::memset(pucN, 0, 12);
        }
    }
    if (const NiColorRGBA* pkColors = pkData->GetColors(); pkColors && (uiFlags & UPDATE_COLORS))
    {
        for (std::uint32_t k = 0; k < uiCount; ++k)
        {
            std::uint32_t uiSrc = 0;
            const std::uint32_t uiColor =
                Source(k, uiSrc) ? PackColor(pkColors[uiSrc].r, pkColors[uiSrc].g, pkColors[uiSrc].b, pkColors[uiSrc].a)
                                 : 0u;
            Store(puc + std::size_t(k) * uiStride + kLayout.m_iColor, uiColor);
        }
    }
    if (const NiVec2* pkTextures = pkData->GetTextures(); pkTextures && (uiFlags & UPDATE_TEXTURES))
    {
        const std::uint32_t uiDataSets = std::min<std::uint32_t>(pkData->GetTextureSets(), kLayout.m_uiSets);
        for (std::uint32_t s = 0; s < uiDataSets; ++s)
        {
            const NiVec2* pkSet = pkTextures + std::size_t(s) * uiDataVerts;
            for (std::uint32_t k = 0; k < uiCount; ++k)
            {
                std::uint32_t uiSrc = 0;
                std::uint8_t* pucT = puc + std::size_t(k) * uiStride + kLayout.m_iTexture + 8 * s;
                if (Source(k, uiSrc))
                    std::memcpy(pucT, &pkSet[uiSrc], 8);
                else
                    std::memset(pucT, 0, 8);
            }
        }
    }

    if (!pvDest && !UnlockBuffer(pkResult))
        return nullptr;
    return pkResult;
}

NiDX9VertexBufferRange* NiDX9VertexBufferManager::PackScreenTextureVertices(
    NiDX9GeometryBufferData* pkRecord, std::uint16_t usVertices, const float* pfPositions, const float* pfColors,
    const float* pfTextures, std::uint32_t uiFlags, NiDX9VertexBufferRange* pkStream, void* pvDest)
{
    if (usVertices == 0 || !pfPositions)
        return nullptr;
    const ScreenLayout kLayout(gfx::D3DFVF_XYZRHW, 16, pfColors != nullptr, pfTextures != nullptr);
    NiDX9VertexBufferRange* pkRange = pkStream;
    std::uint8_t* puc = BeginScreenPack(pkRecord, kLayout, usVertices, pvDest, uiFlags, pkRange);
    if (!puc)
        return nullptr;
    const std::int32_t iColor = kLayout.m_iColor;
    const std::int32_t iTexture = kLayout.m_iTexture;
    for (std::uint32_t i = 0; i < usVertices; ++i)
    {
        std::uint8_t* pucV = puc + std::size_t(i) * kLayout.m_uiStride;
        if (uiFlags & 0x1)
        {
            const float afPos[4] = {pfPositions[2 * i], pfPositions[2 * i + 1], 0.0f, 1.0f};
            std::memcpy(pucV, afPos, 16);
        }
        if (iColor >= 0 && (uiFlags & 0x4))
        {
            const float* pf = pfColors + 4 * std::size_t(i);
            Store(pucV + iColor, PackColor(pf[0], pf[1], pf[2], pf[3]));
        }
        if (iTexture >= 0 && (uiFlags & 0x2))
            std::memcpy(pucV + iTexture, pfTextures + 2 * std::size_t(i), 8);
    }
    if (!pvDest && !UnlockBuffer(pkRange->m_pkVB))
        return nullptr;
    return pkRange;
}

NiDX9VertexBufferRange* NiDX9VertexBufferManager::PackScreenPolygon(NiScreenPolygon* pkPolygon, float fNear,
                                                                    float fDepth, std::uint32_t uiFlags,
                                                                    NiDX9VertexBufferRange* pkStream, void* pvDest)
{
    if (!pkPolygon)
        return nullptr;
    const std::uint32_t uiCount = pkPolygon->GetVertexCount();
    const NiVec3* pkVerts = pkPolygon->GetVertices();
    if (uiCount == 0 || !pkVerts)
        return nullptr;
    const NiColorRGBA* pkColors = pkPolygon->GetColors();
    const NiVec2* pkTextures = pkPolygon->GetTextures();
    const ScreenLayout kLayout(gfx::D3DFVF_XYZ, 12, pkColors != nullptr, pkTextures != nullptr);
    auto* pkRecord = static_cast<NiDX9GeometryBufferData*>(pkPolygon->GetRendererData());
    NiDX9VertexBufferRange* pkRange = pkStream;
    std::uint8_t* puc = BeginScreenPack(pkRecord, kLayout, uiCount, pvDest, uiFlags, pkRange);
    if (!puc)
        return nullptr;
    const std::int32_t iColor = kLayout.m_iColor;
    const std::int32_t iTexture = kLayout.m_iTexture;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        std::uint8_t* pucV = puc + std::size_t(i) * kLayout.m_uiStride;
        if (uiFlags & 0x1)
        {
            const float fW = fDepth * pkVerts[i].z + fNear;
            const float afPos[3] = {pkVerts[i].x * fW, pkVerts[i].y * fW, fW};
            std::memcpy(pucV, afPos, 12);
        }
        if (iColor >= 0 && (uiFlags & 0x2))
            Store(pucV + iColor, PackColor(pkColors[i].r, pkColors[i].g, pkColors[i].b, pkColors[i].a));
        if (iTexture >= 0 && (uiFlags & 0x4))
            std::memcpy(pucV + iTexture, &pkTextures[i], 8);
    }
    if (!pvDest && !UnlockBuffer(pkRange->m_pkVB))
        return nullptr;
    return pkRange;
}
