#include "engine/render/NiRenderer.h"

#include "engine/core/NiViewerStrings.h"
#include "engine/render/NiPixelData.h"
#include "engine/scene/NiAccumulator.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiPropertySet.h"

NiImplementTypeInfo(NiRenderer, NiObject)

NiRenderer* NiRenderer::ms_pkRenderer = nullptr;

NiRenderer::NiRenderer()
{
    ms_pkRenderer = this;
}

NiRenderer::~NiRenderer()
{
    // Another renderer made since stays current.
    if (ms_pkRenderer == this)
        ms_pkRenderer = nullptr;
}

void NiRenderer::PurgeMaterialData(NiMaterialProperty* pkMaterial)
{
    if (ms_pkRenderer != nullptr && pkMaterial != nullptr)
        ms_pkRenderer->PurgeMaterialRendererData(pkMaterial);
}

void NiRenderer::PurgeEffectData(NiDynamicEffect* pkEffect)
{
    if (ms_pkRenderer != nullptr && pkEffect != nullptr)
        ms_pkRenderer->PurgeEffectRendererData(pkEffect);
}

void NiRenderer::PurgeScreenTextureData(NiScreenTexture* pkScreenTexture)
{
    if (ms_pkRenderer != nullptr && pkScreenTexture != nullptr)
        (void)ms_pkRenderer->PurgeScreenTextureRendererData(pkScreenTexture);
}

void NiRenderer::PurgeScreenPolygonData(NiScreenPolygon* pkPolygon)
{
    if (ms_pkRenderer != nullptr && pkPolygon != nullptr)
        ms_pkRenderer->PurgeScreenPolygonRendererData(pkPolygon);
}

void NiRenderer::PurgeGeometryData(NiGeometryData* pkData)
{
    if (ms_pkRenderer != nullptr && pkData != nullptr)
        ms_pkRenderer->PurgeGeometryRendererData(pkData);
}

void NiRenderer::PurgeSkinPartitionData(NiSkinPartition* pkPartition)
{
    if (ms_pkRenderer != nullptr && pkPartition != nullptr)
        ms_pkRenderer->PurgeSkinPartitionRendererData(pkPartition);
}

void NiRenderer::PurgeSkinInstanceData(NiSkinInstance* pkSkin)
{
    if (ms_pkRenderer != nullptr && pkSkin != nullptr)
        ms_pkRenderer->PurgeSkinInstanceRendererData(pkSkin);
}

void NiRenderer::SetGeometryDrawState(NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet, std::uint32_t uiPlaneMask)
{
    SetPropertyState(pkPropertySet);
    SetEffectState(pkEffectSet);
    m_uiPlaneMask = uiPlaneMask;
}

bool NiRenderer::PixelToUnit(std::uint32_t uiX, std::uint32_t uiY, float& fU, float& fV)
{
    if (ms_pkRenderer == nullptr)
        return false;
    const std::uint32_t uiWidth = ms_pkRenderer->GetWidth();
    const std::uint32_t uiHeight = ms_pkRenderer->GetHeight();
    if (uiWidth == 0 || uiHeight == 0)
        return false;
    fU = static_cast<float>(uiX) / static_cast<float>(uiWidth);
    fV = 1.0f - static_cast<float>(uiY) / static_cast<float>(uiHeight);
    return true;
}

bool NiRenderer::SetRenderTarget(NiRenderedTexture*)
{
    return false;
}

bool NiRenderer::CreateRenderedTextureData(NiRenderedTexture*)
{
    return false;
}

bool NiRenderer::CreateRenderedCubeMapData(NiRenderedCubeMap*)
{
    return false;
}

NiRefPtr<NiPixelData> NiRenderer::CaptureBackBuffer(const NiRect<std::int32_t>*)
{
    return nullptr;
}

NiAccumulator* NiRenderer::GetAccumulator() const
{
    return m_spAccumulator;
}

void NiRenderer::SetAccumulator(NiAccumulator* pkAccumulator)
{
    m_spAccumulator = pkAccumulator;
}

void NiRenderer::SetBackgroundColor(const NiColorRGB& kColor)
{
    SetBackgroundColor(NiColorRGBA(kColor.r, kColor.g, kColor.b, 1.0f));
}

bool NiRenderer::SetLeftRightSwap(bool)
{
    return false;
}

void NiRenderer::BeginBatch(NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet)
{
    m_bBatchRendering = true;
    m_spPropertyState = pkPropertySet;
    m_spEffectState = pkEffectSet;
}

NiPropertySet* NiRenderer::GetPropertyState() const
{
    return m_spPropertyState;
}

NiEffectSet* NiRenderer::GetEffectState() const
{
    return m_spEffectState;
}

void NiRenderer::SetPropertyState(NiPropertySet* pkPropertySet)
{
    m_spPropertyState = pkPropertySet;
}

void NiRenderer::SetEffectState(NiEffectSet* pkEffectSet)
{
    m_spEffectState = pkEffectSet;
}

void NiRenderer::AppendViewerStrings(NiViewerStringArray& kStrings)
{
    NiObject::AppendViewerStrings(kStrings);
    kStrings.AddTail(NiViewerHeader(NiRenderer::TypeInfo()->GetName()));
}
