#include "engine/render/NiRenderedTexture.h"

#include "engine/render/NiRenderer.h"

NiImplementTypeInfo(NiRenderedTexture, NiTexture)
NiImplementTypeInfo(NiRenderedCubeMap, NiRenderedTexture)

NiRenderedTexture::NiRenderedTexture(std::uint32_t uiWidth, std::uint32_t uiHeight)
    : m_uiWidth(uiWidth), m_uiHeight(uiHeight)
{
}

NiRenderedTexture::~NiRenderedTexture()
{
    // The renderer lists rendered textures, with data or (between the halves
    // of a device reset) without: it must forget this one.
    if (NiRenderer* pkRenderer = NiRenderer::GetRenderer())
        (void)pkRenderer->PurgeTextureRendererData(this);
}

NiRefPtr<NiRenderedTexture> NiRenderedTexture::Create(std::uint32_t uiWidth, std::uint32_t uiHeight,
                                                      NiRenderer* pkRenderer, const FormatPrefs& kPrefs)
{
    if (pkRenderer == nullptr || uiWidth == 0 || uiHeight == 0)
        return nullptr;
    NiRefPtr<NiRenderedTexture> spTexture = new NiRenderedTexture(uiWidth, uiHeight);
    spTexture->SetFormatPreferences(kPrefs);
    if (!pkRenderer->CreateRenderedTextureData(spTexture))
        return nullptr;
    spTexture->AddToTextureList();
    return spTexture;
}

NiRenderedCubeMap::NiRenderedCubeMap(std::uint32_t uiEdge) : NiRenderedTexture(uiEdge, uiEdge) {}

NiRenderedCubeMap::~NiRenderedCubeMap() = default;

NiRefPtr<NiRenderedCubeMap> NiRenderedCubeMap::Create(std::uint32_t uiEdge, NiRenderer* pkRenderer,
                                                      const FormatPrefs& kPrefs)
{
    if (pkRenderer == nullptr || uiEdge == 0)
        return nullptr;
    NiRefPtr<NiRenderedCubeMap> spCube = new NiRenderedCubeMap(uiEdge);
    spCube->SetFormatPreferences(kPrefs);
    if (!pkRenderer->CreateRenderedCubeMapData(spCube))
        return nullptr;
    spCube->AddToTextureList();
    return spCube;
}
