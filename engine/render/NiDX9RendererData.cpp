// The renderer's bookkeeping of the data it makes for engine objects: made
// ahead of use, dropped when the owner goes.
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiBltSource.h"
#include "engine/render/NiDX9BltSourceData.h"
#include "engine/render/NiDX9SourceCubeMapData.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/NiSourceCubeMap.h"

#include "engine/scene/NiScreenPolygon.h"

bool NiDX9Renderer::PurgeScreenTextureRendererData(NiScreenTexture* pkScreenTexture)
{
    if (pkScreenTexture == nullptr || pkScreenTexture->GetRendererData() == nullptr || m_spGeometryManager == nullptr)
        return false;
    return m_spGeometryManager->ReleaseScreenTextureData(pkScreenTexture);
}

void NiDX9Renderer::PurgeScreenPolygonRendererData(NiScreenPolygon* pkPolygon)
{
    if (pkPolygon != nullptr && pkPolygon->GetRendererData() != nullptr && m_spGeometryManager != nullptr)
        m_spGeometryManager->ReleaseScreenPolygonData(pkPolygon);
}

bool NiDX9Renderer::PrecacheCubeMap(NiSourceCubeMap* pkCubeMap)
{
    if (pkCubeMap == nullptr)
        return false;
    LockPrecache();
    if (pkCubeMap->GetRendererData() == nullptr)
        (void)NiDX9SourceCubeMapData::Create(pkCubeMap, this);
    const bool bHasData = pkCubeMap->GetRendererData() != nullptr;
    UnlockPrecache();
    return bHasData;
}

bool NiDX9Renderer::CreateBltSourceData(NiBltSource* pkBltSource)
{
    if (pkBltSource == nullptr)
        return false;
    LockPrecache();
    if (pkBltSource->GetRendererData() == nullptr)
        (void)NiDX9BltSourceData::Create(pkBltSource, this);
    const bool bHasData = pkBltSource->GetRendererData() != nullptr;
    UnlockPrecache();
    return bHasData;
}

bool NiDX9Renderer::IsRenderedTextureListed(const NiTexture* pkTexture) const
{
    auto* pkKey = const_cast<NiTexture*>(pkTexture);
    return m_kRenderedTextures.count(pkKey) != 0 || m_kRenderedCubeMaps.count(pkKey) != 0;
}
