#include "engine/render/NiDX9GeometryDataManager.h"

#include "engine/render/NiDX9VertexBufferPool.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/scene/NiScreenPolygon.h"
#include "engine/scene/NiSkinInstance.h"

#include <algorithm>
#include <new>

namespace
{
// Every live manager: kinds 1 and 2 are process-wide, so two renderers alive
// at once list the same group, and only the last one to let go deletes it.
std::vector<NiDX9GeometryDataManager*>& LiveManagers()
{
    static std::vector<NiDX9GeometryDataManager*> s_kManagers;
    return s_kManagers;
}
} // namespace

NiDX9GeometryDataManager* NiDX9GeometryDataManager::Create(gfx::IDirect3DDevice9* pkDevice, bool bHardwareSkinning)
{
    return new (std::nothrow) NiDX9GeometryDataManager(pkDevice, bHardwareSkinning);
}

NiDX9GeometryDataManager::NiDX9GeometryDataManager(gfx::IDirect3DDevice9* pkDevice, bool bHardwareSkinning)
    : m_pkDevice(pkDevice), m_bHardwareSkinning(bHardwareSkinning)
{
    if (m_pkDevice)
        m_pkDevice->AddRef();
    LiveManagers().push_back(this);
}

NiDX9GeometryDataManager* NiDX9GeometryDataManager::FindOtherHolder(const NiDX9GeometryBufferGroup* pkGroup) const
{
    // The newest other holder: its device is the one the group worked for last.
    const std::vector<NiDX9GeometryDataManager*>& kLive = LiveManagers();
    for (auto kIt = kLive.rbegin(); kIt != kLive.rend(); ++kIt)
    {
        if (*kIt != this && std::find((*kIt)->m_kGroups.begin(), (*kIt)->m_kGroups.end(), pkGroup) !=
                                (*kIt)->m_kGroups.end())
            return *kIt;
    }
    return nullptr;
}

NiDX9GeometryDataManager::~NiDX9GeometryDataManager()
{
    for (NiDX9GeometryBufferGroup* pkGroup : m_kGroups)
    {
        NiDX9GeometryDataManager* pkOther = FindOtherHolder(pkGroup);
        if (!pkOther)
        {
            delete pkGroup;
            continue;
        }
        // Still listed by another renderer: it stays, working for that
        // renderer's device rather than for the one going away.
        if (pkGroup->GetDevice() == m_pkDevice)
            pkGroup->SetDevice(pkOther->m_pkDevice);
    }
    m_kGroups.clear();
    std::vector<NiDX9GeometryDataManager*>& kLive = LiveManagers();
    kLive.erase(std::remove(kLive.begin(), kLive.end(), this), kLive.end());
    NiDX9VertexBufferPool::FreeChunkPool();
    if (m_pkDevice)
        m_pkDevice->Release();
}

NiDX9GeometryBufferGroup* NiDX9GeometryDataManager::CreateGroup(std::uint32_t uiKind, std::uint32_t uiIdentifierBits)
{
    NiDX9GeometryBufferGroup* pkGroup = NiDX9GeometryBufferGroup::Create(uiKind, uiIdentifierBits);
    if (!pkGroup)
        return nullptr;
    if (std::find(m_kGroups.begin(), m_kGroups.end(), pkGroup) != m_kGroups.end())
        return pkGroup;
    m_kGroups.push_back(pkGroup);
    pkGroup->SetDevice(m_pkDevice);
    return pkGroup;
}

bool NiDX9GeometryDataManager::DestroyGroup(NiDX9GeometryBufferGroup* pkGroup)
{
    auto kIt = std::find(m_kGroups.begin(), m_kGroups.end(), pkGroup);
    if (!pkGroup || kIt == m_kGroups.end())
        return false;
    *kIt = m_kGroups.back();
    m_kGroups.pop_back();
    if (NiDX9GeometryDataManager* pkOther = FindOtherHolder(pkGroup))
    {
        if (pkGroup->GetDevice() == m_pkDevice)
            pkGroup->SetDevice(pkOther->m_pkDevice);
        return true;
    }
    delete pkGroup;
    return true;
}

bool NiDX9GeometryDataManager::IsGroupEmpty(const NiDX9GeometryBufferGroup* pkGroup) const
{
    return pkGroup && pkGroup->GetGeometryCount() == 0;
}

bool NiDX9GeometryDataManager::CreateScreenTextureData(NiDX9GeometryBufferGroup* pkGroup, NiScreenTexture* pkTexture,
                                                       std::uint32_t uiFlags)
{
    if (!pkGroup || !pkTexture || pkTexture->GetRendererData())
        return false;
    pkGroup->CreateScreenTextureData(pkTexture, uiFlags);
    return true;
}

bool NiDX9GeometryDataManager::CreateScreenPolygonData(NiDX9GeometryBufferGroup* pkGroup, NiScreenPolygon* pkPolygon,
                                                       std::uint32_t uiFlags)
{
    if (!pkGroup || !pkPolygon || pkPolygon->GetRendererData())
        return false;
    pkGroup->CreateScreenPolygonData(pkPolygon, uiFlags);
    return true;
}

bool NiDX9GeometryDataManager::CreateGeometryData(NiDX9GeometryBufferGroup* pkGroup, NiGeometryData* pkData,
                                                  NiSkinInstance* pkSkin, std::uint32_t uiFlags)
{
    return CreateGeometryRecords(pkGroup, pkData, pkSkin, uiFlags, m_bHardwareSkinning);
}

bool NiDX9GeometryDataManager::CreateGeometryRecords(NiDX9GeometryBufferGroup* pkGroup, NiGeometryData* pkData,
                                                     NiSkinInstance* pkSkin, std::uint32_t uiFlags,
                                                     bool bHardwareSkinning)
{
    if (!pkGroup || !pkData)
        return false;
    NiSkinPartition* pkSkinPartition = pkSkin ? pkSkin->GetSkinPartition() : nullptr;
    if (pkSkinPartition && bHardwareSkinning)
    {
        NiSkinPartition::Partition* pkPartitions = pkSkinPartition->GetPartitions();
        const std::uint32_t uiCount = pkPartitions ? pkSkinPartition->GetPartitionCount() : 0;
        if (uiCount > 0 && pkPartitions[0].m_pvRendererData)
            return false;
        for (std::uint32_t i = 0; i < uiCount; ++i)
            pkGroup->CreateGeometryData(pkData, pkSkin, &pkPartitions[i], uiFlags);
        return true;
    }
    if (pkData->GetRendererData())
        return false;
    pkGroup->CreateGeometryData(pkData, pkSkin, nullptr, uiFlags);
    return true;
}

void NiDX9GeometryDataManager::PurgeIfEmpty(NiDX9GeometryBufferGroup* pkGroup)
{
    if (pkGroup && pkGroup->GetGeometryCount() == 0)
        pkGroup->Purge();
}

bool NiDX9GeometryDataManager::ReleaseScreenTextureData(NiScreenTexture* pkTexture)
{
    auto* pkRecord = pkTexture ? static_cast<NiDX9GeometryBufferData*>(pkTexture->GetRendererData()) : nullptr;
    if (!pkRecord)
        return false;
    NiDX9GeometryBufferGroup* pkGroup = pkRecord->m_pkGroup;
    if (pkGroup)
    {
        pkGroup->ReleaseScreenTextureData(pkTexture);
        PurgeIfEmpty(pkGroup);
    }
    return true;
}

bool NiDX9GeometryDataManager::ReleaseScreenPolygonData(NiScreenPolygon* pkPolygon)
{
    auto* pkRecord = pkPolygon ? static_cast<NiDX9GeometryBufferData*>(pkPolygon->GetRendererData()) : nullptr;
    if (!pkRecord)
        return false;
    NiDX9GeometryBufferGroup* pkGroup = pkRecord->m_pkGroup;
    if (pkGroup)
    {
        pkGroup->ReleaseScreenPolygonData(pkPolygon);
        PurgeIfEmpty(pkGroup);
    }
    return true;
}

bool NiDX9GeometryDataManager::ReleaseSkinPartitionData(NiSkinInstance* pkSkin)
{
    NiSkinPartition* pkSkinPartition = pkSkin ? pkSkin->GetSkinPartition() : nullptr;
    NiSkinPartition::Partition* pkPartitions = pkSkinPartition ? pkSkinPartition->GetPartitions() : nullptr;
    const std::uint32_t uiCount = pkPartitions ? pkSkinPartition->GetPartitionCount() : 0;
    if (uiCount == 0 || !pkPartitions[0].m_pvRendererData)
        return false;
    NiDX9GeometryBufferGroup* pkGroup = static_cast<NiDX9GeometryBufferData*>(pkPartitions[0].m_pvRendererData)->m_pkGroup;
    if (!pkGroup)
        return false;
    bool bReleased = false;
    for (std::uint32_t i = 0; i < uiCount; ++i)
    {
        if (pkPartitions[i].m_pvRendererData)
        {
            pkGroup->ReleasePartitionData(&pkPartitions[i]);
            bReleased = true;
        }
    }
    if (bReleased)
        PurgeIfEmpty(pkGroup);
    return bReleased;
}

bool NiDX9GeometryDataManager::ReleaseGeometryData(NiGeometryData* pkData, NiSkinInstance* pkSkin)
{
    if (pkSkin && pkSkin->GetSkinPartition())
        return ReleaseSkinPartitionData(pkSkin);
    auto* pkRecord = pkData ? static_cast<NiDX9GeometryBufferData*>(pkData->GetRendererData()) : nullptr;
    if (!pkRecord)
        return false;
    NiDX9GeometryBufferGroup* pkGroup = pkRecord->m_pkGroup;
    if (pkGroup)
    {
        pkGroup->ReleaseGeometryData(pkData);
        PurgeIfEmpty(pkGroup);
    }
    return true;
}
