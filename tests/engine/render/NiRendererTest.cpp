#include "engine/render/NiRenderer.h"

#include "engine/scene/NiLight.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace
{
// The least a renderer must provide; records the purges it receives.
class BareRenderer : public NiRenderer
{
public:
    std::uint32_t m_uiWidth = 1024;
    std::uint32_t m_uiHeight = 768;
    std::vector<const void*> m_kPurged;
    NiColorRGBA m_kBackground;

    void PurgeMaterialRendererData(NiMaterialProperty* pk) override { m_kPurged.push_back(pk); }
    void PurgeEffectRendererData(NiDynamicEffect* pk) override { m_kPurged.push_back(pk); }
    void PurgeGeometryRendererData(NiGeometryData* pk) override { m_kPurged.push_back(pk); }
    void PurgeSkinPartitionRendererData(NiSkinPartition* pk) override { m_kPurged.push_back(pk); }
    void PurgeSkinInstanceRendererData(NiSkinInstance* pk) override { m_kPurged.push_back(pk); }
    void PurgeScreenPolygonRendererData(NiScreenPolygon* pk) override { m_kPurged.push_back(pk); }
    bool PurgeScreenTextureRendererData(NiScreenTexture* pk) override
    {
        m_kPurged.push_back(pk);
        return true;
    }
    [[nodiscard]] std::uint32_t GetFlags() const override { return 0; }
    using NiRenderer::SetBackgroundColor;
    void SetBackgroundColor(const NiColorRGBA& kColor) override { m_kBackground = kColor; }
    [[nodiscard]] NiColorRGBA GetBackgroundColor() const override { return m_kBackground; }
    bool BeginScene() override { return true; }
    void EndScene() override {}
    void ClearBuffer(const NiRect<float>*, std::uint32_t) override {}
    void DisplayFrame() override {}
    [[nodiscard]] std::uint32_t GetWidth() const override { return m_uiWidth; }
    [[nodiscard]] std::uint32_t GetHeight() const override { return m_uiHeight; }
};

class NiRendererTest : public ::testing::Test
{
protected:
    void SetUp() override { NiRenderer::ClearRenderer(); }
    void TearDown() override { NiRenderer::ClearRenderer(); }
};
} // namespace

TEST_F(NiRendererTest, ANewRendererIsCurrentUntilItGoes)
{
    NiRefPtr<BareRenderer> spFirst = new BareRenderer;
    EXPECT_EQ(NiRenderer::GetRenderer(), spFirst.Get());
    NiRefPtr<BareRenderer> spSecond = new BareRenderer;
    EXPECT_EQ(NiRenderer::GetRenderer(), spSecond.Get());

    // The older one going leaves the newer one current.
    spFirst = nullptr;
    EXPECT_EQ(NiRenderer::GetRenderer(), spSecond.Get());
    spSecond = nullptr;
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);

    NiRefPtr<BareRenderer> spThird = new BareRenderer;
    NiRenderer::ClearRenderer();
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
}

TEST_F(NiRendererTest, PurgesReachOnlyTheCurrentRenderer)
{
    NiRefPtr<BareRenderer> spRenderer = new BareRenderer;
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    NiRefPtr<NiDirectionalLight> spLight = new NiDirectionalLight;
    NiRenderer::PurgeMaterialData(spMaterial);
    NiRenderer::PurgeEffectData(spLight);
    EXPECT_EQ(spRenderer->m_kPurged, (std::vector<const void*>{spMaterial.Get(), spLight.Get()}));

    // Without a current renderer the entry points do nothing, also from the
    // destructors that call them.
    NiRenderer::ClearRenderer();
    NiRenderer::PurgeMaterialData(spMaterial);
    NiRenderer::PurgeEffectData(spLight);
    spMaterial = nullptr;
    spLight = nullptr;
    EXPECT_EQ(spRenderer->m_kPurged.size(), 2u);
}

// Every static purge hands its object to the current renderer, and does
// nothing at all without one. The objects are only passed along, never
// looked at, so stand-in addresses do.
TEST_F(NiRendererTest, EveryStaticPurgeIsInertWithoutARenderer)
{
    static char s_acObjects[5];
    auto* pkGeometry = reinterpret_cast<NiGeometryData*>(&s_acObjects[0]);
    auto* pkPartition = reinterpret_cast<NiSkinPartition*>(&s_acObjects[1]);
    auto* pkSkin = reinterpret_cast<NiSkinInstance*>(&s_acObjects[2]);
    auto* pkPolygon = reinterpret_cast<NiScreenPolygon*>(&s_acObjects[3]);
    auto* pkScreenTexture = reinterpret_cast<NiScreenTexture*>(&s_acObjects[4]);
    const auto PurgeAll = [&] {
        NiRenderer::PurgeGeometryData(pkGeometry);
        NiRenderer::PurgeSkinPartitionData(pkPartition);
        NiRenderer::PurgeSkinInstanceData(pkSkin);
        NiRenderer::PurgeScreenPolygonData(pkPolygon);
        NiRenderer::PurgeScreenTextureData(pkScreenTexture);
        NiRenderer::PurgeMaterialData(nullptr);
        NiRenderer::PurgeEffectData(nullptr);
    };

    NiRefPtr<BareRenderer> spRenderer = new BareRenderer;
    PurgeAll();
    EXPECT_EQ(spRenderer->m_kPurged, (std::vector<const void*>{pkGeometry, pkPartition, pkSkin, pkPolygon,
                                                                pkScreenTexture}));
    NiRenderer::ClearRenderer();
    PurgeAll();
    EXPECT_EQ(spRenderer->m_kPurged.size(), 5u);
}

TEST_F(NiRendererTest, PixelToUnitMapsPixelsOfTheCurrentTarget)
{
    float fU = -7.0f;
    float fV = -7.0f;
    EXPECT_FALSE(NiRenderer::PixelToUnit(0, 0, fU, fV)); // no renderer

    NiRefPtr<BareRenderer> spRenderer = new BareRenderer;
    ASSERT_TRUE(NiRenderer::PixelToUnit(0, 0, fU, fV));
    EXPECT_EQ(fU, 0.0f);
    EXPECT_EQ(fV, 1.0f);
    ASSERT_TRUE(NiRenderer::PixelToUnit(512, 192, fU, fV));
    EXPECT_FLOAT_EQ(fU, 0.5f);
    EXPECT_FLOAT_EQ(fV, 0.75f);

    for (auto [uiWidth, uiHeight] : {std::pair{0u, 768u}, std::pair{1024u, 0u}})
    {
        spRenderer->m_uiWidth = uiWidth;
        spRenderer->m_uiHeight = uiHeight;
        fU = -7.0f;
        fV = -7.0f;
        EXPECT_FALSE(NiRenderer::PixelToUnit(3, 4, fU, fV));
        EXPECT_EQ(fU, -7.0f);
        EXPECT_EQ(fV, -7.0f);
    }
}

TEST_F(NiRendererTest, OptionalOperationsHaveTheirBaseAnswers)
{
    NiRefPtr<BareRenderer> spRenderer = new BareRenderer;
    EXPECT_TRUE(spRenderer->SetUseWBuffer(false));
    EXPECT_FALSE(spRenderer->SetUseWBuffer(true));
    EXPECT_FALSE(spRenderer->SetLeftRightSwap(true));
    EXPECT_FALSE(spRenderer->GetLeftRightSwap());
    spRenderer->SetMaxFogValue(0.25f);
    EXPECT_EQ(spRenderer->GetMaxFogValue(), 1.0f);
    EXPECT_STREQ(spRenderer->GetDriverInfo(), "");

    // The colour without alpha is the opaque colour.
    spRenderer->SetBackgroundColor(NiColorRGB(0.25f, 0.5f, 0.75f));
    EXPECT_EQ(spRenderer->m_kBackground, NiColorRGBA(0.25f, 0.5f, 0.75f, 1.0f));
}

TEST_F(NiRendererTest, BatchHoldsItsStatesAndEndBatchOnlyClearsTheFlag)
{
    NiRefPtr<BareRenderer> spRenderer = new BareRenderer;
    NiRefPtr<NiPropertySet> spProperties = new NiPropertySet;
    NiRefPtr<NiEffectSet> spEffects = new NiEffectSet;
    EXPECT_FALSE(spRenderer->IsBatching());

    spRenderer->BeginBatch(spProperties, spEffects);
    EXPECT_TRUE(spRenderer->IsBatching());
    EXPECT_EQ(spRenderer->GetPropertyState(), spProperties.Get());
    EXPECT_EQ(spRenderer->GetEffectState(), spEffects.Get());
    // Counted: the states outlive the caller's references.
    EXPECT_EQ(spProperties->GetRefCount(), 2u);

    spRenderer->EndBatch();
    EXPECT_FALSE(spRenderer->IsBatching());
    EXPECT_EQ(spRenderer->GetPropertyState(), spProperties.Get());
    spRenderer->SetPropertyState(nullptr);
    EXPECT_EQ(spProperties->GetRefCount(), 1u);
}

TEST_F(NiRendererTest, LocksAreReentrantAndRecordTheirHolder)
{
    NiRefPtr<BareRenderer> spRenderer = new BareRenderer;
    spRenderer->LockRenderer();
    spRenderer->LockRenderer();
    spRenderer->LockPrecache();
    EXPECT_EQ(spRenderer->GetRendererLock().GetDepth(), 2u);
    EXPECT_EQ(spRenderer->GetRendererLock().GetOwner(), std::this_thread::get_id());
    EXPECT_EQ(spRenderer->GetPrecacheLock().GetDepth(), 1u);
    spRenderer->UnlockRenderer();
    EXPECT_EQ(spRenderer->GetRendererLock().GetOwner(), std::this_thread::get_id());
    spRenderer->UnlockRenderer();
    spRenderer->UnlockPrecache();
    EXPECT_EQ(spRenderer->GetRendererLock().GetOwner(), std::thread::id());
    EXPECT_EQ(spRenderer->GetPrecacheLock().GetDepth(), 0u);
}

TEST_F(NiRendererTest, ViewerStringsNameTheRendererPart)
{
    NiRefPtr<BareRenderer> spRenderer = new BareRenderer;
    NiViewerStringArray kStrings;
    spRenderer->AppendViewerStrings(kStrings);
    bool bFound = false;
    for (std::uint32_t i = 0; i < kStrings.GetSize(); ++i)
    {
        bFound = bFound || std::string(kStrings.GetAt(i)) == "--- NiRenderer ---";
        delete[] kStrings.GetAt(i);
    }
    EXPECT_TRUE(bFound);
}
