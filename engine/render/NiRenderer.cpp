#include "engine/render/NiRenderer.h"

#include "engine/scene/NiAccumulator.h"

NiImplementTypeInfo(NiRenderer, NiObject)

NiRenderer* NiRenderer::ms_pkRenderer = nullptr;

NiRenderer::NiRenderer() = default;

NiRenderer::~NiRenderer()
{
    if (ms_pkRenderer == this)
        ms_pkRenderer = nullptr;
}

void NiRenderer::PurgeMaterialData(NiMaterialProperty* pkMaterial)
{
    if (ms_pkRenderer != nullptr && pkMaterial != nullptr)
        ms_pkRenderer->PurgeMaterial(pkMaterial);
}

void NiRenderer::PurgeEffectData(NiDynamicEffect* pkEffect)
{
    if (ms_pkRenderer != nullptr && pkEffect != nullptr)
        ms_pkRenderer->PurgeEffect(pkEffect);
}

void NiRenderer::PurgeGeometryData(NiGeometryData* pkData)
{
    if (ms_pkRenderer != nullptr && pkData != nullptr)
        ms_pkRenderer->PurgeGeometry(pkData);
}

void NiRenderer::PurgeSkinPartitionData(NiSkinPartition* pkPartition)
{
    if (ms_pkRenderer != nullptr && pkPartition != nullptr)
        ms_pkRenderer->PurgeSkinPartition(pkPartition);
}

void NiRenderer::PurgeSkinInstanceData(NiSkinInstance* pkSkin)
{
    if (ms_pkRenderer != nullptr && pkSkin != nullptr)
        ms_pkRenderer->PurgeSkinInstance(pkSkin);
}

NiAccumulator* NiRenderer::GetAccumulator() const
{
    return m_spAccumulator;
}

void NiRenderer::SetAccumulator(NiAccumulator* pkAccumulator)
{
    m_spAccumulator = pkAccumulator;
}
