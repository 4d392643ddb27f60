#pragma once

#include "engine/render/NiRenderer.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiLines.h"
#include "engine/scene/NiPropertySet.h"
#include "framework/COrvaneRendererFactory.h"

#include <string>
#include <vector>

// A renderer that draws nothing and records what it is asked to do.
class TestRenderer : public NiRenderer
{
public:
    explicit TestRenderer(const COrvaneRendererParams& kParams) : m_kParams(kParams) {}

    void PurgeMaterialRendererData(NiMaterialProperty*) override {}
    void PurgeEffectRendererData(NiDynamicEffect*) override {}

    void SetBackgroundColor(const NiColorRGBA& kColor) override;
    NiColorRGBA GetBackgroundColor() const override { return m_kBackground; }
    bool BeginScene() override;
    void EndScene() override;
    void ClearBuffer(const NiRect<float>* pkViewport, std::uint32_t uiFlags) override;
    void DisplayFrame() override;
    std::uint32_t GetWidth() const override { return m_kParams.m_uiWidth; }
    std::uint32_t GetHeight() const override { return m_kParams.m_uiHeight; }
    std::uint32_t GetFlags() const override { return 0; }
    // Geometry is recorded with the property state it was drawn with.
    void DrawTriShape(NiTriBasedGeom* pkGeometry) override
    {
        m_kCalls.push_back("DrawTriShape");
        m_kDrawn.push_back(pkGeometry);
        m_kDrawnProperties.emplace_back(GetPropertyState());
    }
    // Lines are kept with their property and effect sets.
    void DrawLines(NiLines* pkLines, NiPropertySet* pkPropertySet, NiEffectSet* pkEffectSet) override
    {
        m_kCalls.push_back("DrawLines");
        m_kLines.emplace_back(pkLines);
        m_kLineProperties.emplace_back(pkPropertySet);
        m_kLineEffects.emplace_back(pkEffectSet);
    }
    // Screen elements are counted, not drawn.
    void RenderScreenPolygon(NiScreenPolygon* pkPolygon) override { m_kScreenPolygons.push_back(pkPolygon); }
    // The rectangles are copied: a font string's texture goes with the string.
    void RenderScreenTexture(NiScreenTexture* pkTexture) override;

    COrvaneRendererParams m_kParams;
    NiColorRGBA m_kBackground;
    std::vector<std::string> m_kCalls;
    std::vector<NiScreenPolygon*> m_kScreenPolygons;
    std::vector<NiTriBasedGeom*> m_kDrawn;
    std::vector<NiRefPtr<NiLines>> m_kLines;
    std::vector<NiRefPtr<NiPropertySet>> m_kLineProperties;
    std::vector<NiRefPtr<NiEffectSet>> m_kLineEffects;
    std::vector<NiRefPtr<NiPropertySet>> m_kDrawnProperties;
    std::vector<NiScreenTexture*> m_kScreenTextures;
    std::vector<std::vector<NiScreenTexture::NiScreenRect>> m_kScreenRects;
};

// Makes TestRenderers; can be told to fail, and lists two adapters.
class TestRendererFactory : public COrvaneRendererFactory
{
public:
    TestRendererFactory();

    NiRendererPtr Create(const COrvaneRendererParams& kParams) override;
    std::string GetLastError() const override { return "Creation failed: test device refused"; }
    const std::vector<COrvaneAdapterDesc>& GetSystemInfo() override { return m_kAdapters; }
    bool FindMode(std::uint32_t uiAdapter, std::uint32_t uiFormat, std::uint32_t uiWidth,
                  std::uint32_t uiHeight) override;
    std::uint32_t GetCreationFlags(const NiRenderer* pkRenderer) const override;
    bool WaitsForRetrace(const NiRenderer*) const override { return m_bWaitsForRetrace; }
    std::int32_t GetRefreshRate(const NiRenderer*) const override { return m_iRefreshRate; }

    // As a full-screen device: it paces its own presents.
    bool m_bWaitsForRetrace = false;
    std::int32_t m_iRefreshRate = 0;
    // Creation number (0 = first) from which Create fails; -1 never.
    int m_iFailFrom = -1;
    std::vector<COrvaneRendererParams> m_kCreated;
    std::vector<COrvaneAdapterDesc> m_kAdapters;
    TestRenderer* m_pkLast = nullptr;
};
