#include "engine/render/NiDX9LightManager.h"

#include "engine/render/NiPixelData.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiLight.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "tests/engine/render/RenderStateTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

using namespace gfx;
using Kind = gfx::StateCall::Kind;

namespace
{
constexpr float PI = 3.14159265358979323846f;

class NiDX9LightManagerTest : public rendertest::StateCallTest
{
public:
    void SetUp() override
    {
        NiDynamicEffect::ResetIndexCounter();
        rendertest::StateCallTest::SetUp();
        ASSERT_NE(Create(), nullptr) << NiDX9Renderer::GetLastErrorString();
        m_pkManager = m_spRenderer->GetLightManager();
        ASSERT_NE(m_pkManager, nullptr);
        m_spVertexColor = new NiVertexColorProperty; // lit by its lights, colours ignored
        m_spEffects = new NiEffectSet;
    }
    void TearDown() override
    {
        m_spEffects = nullptr;
        m_kLights.clear();
        rendertest::StateCallTest::TearDown();
    }

    template <class T>
    T* AddLight(float fDimmer = 1.0f)
    {
        NiRefPtr<T> sp = new T;
        sp->SetDimmer(fDimmer);
        m_kLights.emplace_back(sp.Get());
        m_spEffects->AddEffect(sp);
        return sp;
    }
    void Apply(const NiEffectSet* pkEffects)
    {
        m_pkManager->ApplyVertexColorMode(pkEffects, nullptr, m_spVertexColor);
    }

    NiDX9LightManager* m_pkManager = nullptr;
    NiRefPtr<NiVertexColorProperty> m_spVertexColor;
    NiEffectSetPtr m_spEffects;
    std::vector<NiRefPtr<NiLight>> m_kLights;
};
} // namespace

TEST_F(NiDX9LightManagerTest, EngineLightsBecomeDeviceLightsByTheirIndex)
{
    NiSpotLight* pkSpot = AddLight<NiSpotLight>(0.5f);
    pkSpot->SetDiffuseColor(NiColorRGB{1.0f, 0.8f, 0.2f});
    pkSpot->SetSpecularColor(NiColorRGB{0.4f, 0.4f, 0.4f});
    pkSpot->SetAmbientColor(NiColorRGB{0.2f, 0.0f, 0.0f});
    pkSpot->SetSpotAngle(30.0f);
    pkSpot->SetSpotExponent(3.0f);
    pkSpot->SetConstantAttenuation(1.0f);
    pkSpot->SetLinearAttenuation(0.5f);
    pkSpot->SetQuadraticAttenuation(0.25f);
    pkSpot->SetTranslate(NiVec3{1.0f, 2.0f, 3.0f});
    pkSpot->Update(0.0f);
    NiDirectionalLight* pkDir = AddLight<NiDirectionalLight>();
    Apply(m_spEffects);

    const auto kSet = CallsOf(Kind::SetLight);
    ASSERT_EQ(kSet.size(), 2u);
    EXPECT_EQ(kSet[0].index, pkSpot->GetIndex());
    EXPECT_EQ(kSet[1].index, pkDir->GetIndex());
    D3DLIGHT9 kLight;
    ASSERT_EQ(Device()->GetLight(pkSpot->GetIndex(), &kLight), D3D_OK);
    EXPECT_EQ(kLight.Type, std::uint32_t(D3DLIGHT_SPOT));
    EXPECT_FLOAT_EQ(kLight.Phi, PI * 30.0f / 90.0f);
    EXPECT_EQ(kLight.Theta, 0.0f);
    EXPECT_EQ(kLight.Falloff, 3.0f);
    EXPECT_EQ(kLight.Range, std::sqrt(FLT_MAX));
    EXPECT_EQ(kLight.Attenuation1, 0.5f);
    EXPECT_EQ(kLight.Attenuation2, 0.25f);
    EXPECT_FLOAT_EQ(kLight.Position.y, 2.0f);
    EXPECT_FLOAT_EQ(kLight.Direction.x, 1.0f);
    EXPECT_FLOAT_EQ(kLight.Diffuse.g, 0.4f);
    EXPECT_FLOAT_EQ(kLight.Specular.r, 0.2f);
    EXPECT_FLOAT_EQ(kLight.Ambient.r, 0.1f);
    EXPECT_EQ(kLight.Diffuse.a, 0.0f);
    ASSERT_EQ(Device()->GetLight(pkDir->GetIndex(), &kLight), D3D_OK);
    EXPECT_EQ(kLight.Type, std::uint32_t(D3DLIGHT_DIRECTIONAL));
    std::int32_t iEnabled = 0;
    ASSERT_EQ(Device()->GetLightEnable(pkDir->GetIndex(), &iEnabled), D3D_OK);
    EXPECT_EQ(iEnabled, 1);
    EXPECT_EQ(DeviceState(D3DRS_LIGHTING), 1u);
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 2u);
    EXPECT_EQ(pkSpot->GetRendererData(), m_pkManager->GetEntry(pkSpot));
}

TEST_F(NiDX9LightManagerTest, SpotConesWiderThanAHalfSphereAreClamped)
{
    NiSpotLight* pkSpot = AddLight<NiSpotLight>();
    pkSpot->SetSpotAngle(120.0f);
    Apply(m_spEffects);
    const auto kSet = CallsOf(Kind::SetLight);
    ASSERT_EQ(kSet.size(), 1u);
    EXPECT_EQ(kSet[0].result, D3D_OK);
    D3DLIGHT9 kLight;
    ASSERT_EQ(Device()->GetLight(pkSpot->GetIndex(), &kLight), D3D_OK);
    EXPECT_EQ(kLight.Phi, PI);
}

TEST_F(NiDX9LightManagerTest, AmbientLightsAreSummedAndDimLightsSkipped)
{
    NiAmbientLight* pkA = AddLight<NiAmbientLight>(1.0f);
    NiAmbientLight* pkB = AddLight<NiAmbientLight>(0.5f);
    pkA->SetAmbientColor(NiColorRGB{0.2f, 0.2f, 0.2f});
    pkB->SetAmbientColor(NiColorRGB{0.2f, 0.2f, 0.2f});
    Apply(m_spEffects);
    EXPECT_EQ(DeviceState(D3DRS_AMBIENT), 0xFF4C4C4Cu);
    EXPECT_TRUE(CallsOf(Kind::SetLight).empty());

    NiEffectSetPtr spOther = new NiEffectSet;
    NiRefPtr<NiPointLight> spDim = new NiPointLight;
    NiRefPtr<NiPointLight> spJust = new NiPointLight;
    spDim->SetDimmer(0.005f);
    spJust->SetDimmer(0.01f);
    spOther->AddEffect(spDim);
    spOther->AddEffect(spJust);
    Apply(spOther);
    const auto kSet = CallsOf(Kind::SetLight);
    ASSERT_EQ(kSet.size(), 1u);
    EXPECT_EQ(kSet[0].index, spJust->GetIndex());
    EXPECT_EQ(DeviceState(D3DRS_AMBIENT), 0xFF000000u);
    spOther = nullptr;
}

TEST_F(NiDX9LightManagerTest, ATexturedReplaceLeavesTheLightsAlone)
{
    AddLight<NiPointLight>();
    Apply(m_spEffects);
    ClearCalls();
    NiRefPtr<NiPixelData> spPixels = new NiPixelData(2, 2, NiPixelFormat::RGBA32, 1);
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty(spPixels.Get());
    spTexturing->SetApplyMode(0);
    NiEffectSetPtr spOther = new NiEffectSet;
    m_pkManager->ApplyVertexColorMode(spOther, spTexturing, m_spVertexColor);
    EXPECT_EQ(DeviceState(D3DRS_LIGHTING), 0u);
    EXPECT_TRUE(CallsOf(Kind::LightEnable).empty());
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 1u);
    // Untextured, the same apply mode lights as usual.
    NiRefPtr<NiTexturingProperty> spPlain = new NiTexturingProperty;
    spPlain->SetApplyMode(0);
    m_pkManager->ApplyVertexColorMode(spOther, spPlain, m_spVertexColor);
    EXPECT_EQ(DeviceState(D3DRS_LIGHTING), 1u);
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 0u);
}

TEST_F(NiDX9LightManagerTest, LightsAreSetOncePerEffectSetAndAgainAfterEachFrameStart)
{
    AddLight<NiPointLight>();
    Apply(m_spEffects);
    Apply(m_spEffects);
    EXPECT_EQ(CallsOf(Kind::LightEnable).size(), 1u);
    EXPECT_EQ(CallsOf(Kind::SetRenderState, D3DRS_AMBIENT).size(), 1u);

    m_pkManager->BeginFrame();
    const auto kOff = CallsOf(Kind::LightEnable);
    ASSERT_EQ(kOff.size(), 2u);
    EXPECT_EQ(kOff[1].value, 0u);
    Apply(m_spEffects);
    EXPECT_EQ(CallsOf(Kind::LightEnable).size(), 3u);
    EXPECT_EQ(CallsOf(Kind::LightEnable).back().value, 1u);
    // Unchanged light: no second SetLight.
    EXPECT_EQ(CallsOf(Kind::SetLight).size(), 1u);

    // Switching vertex-colour lighting off turns every light off.
    m_spVertexColor->SetLightingMode(NiVertexColorProperty::LIGHTING_E);
    Apply(m_spEffects);
    EXPECT_FALSE(m_pkManager->GetLightingSwitch());
    EXPECT_EQ(CallsOf(Kind::LightEnable).back().value, 0u);
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 0u);
    EXPECT_EQ(DeviceState(D3DRS_AMBIENT), 0xFF000000u);

    // The renderer's frame start runs the light manager's.
    m_spVertexColor->SetLightingMode(NiVertexColorProperty::LIGHTING_E_A_D);
    Apply(m_spEffects);
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 1u);
    ASSERT_TRUE(m_spRenderer->BeginScene());
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 0u);
    m_spRenderer->EndScene();
}

TEST_F(NiDX9LightManagerTest, ANewRevisionResendsTheLightWithoutAToggle)
{
    NiPointLight* pkLight = AddLight<NiPointLight>();
    Apply(m_spEffects);
    NiEffectSetPtr spCopy = m_spEffects->Copy();
    pkLight->SetDiffuseColor(NiColorRGB{0.0f, 1.0f, 0.0f});
    pkLight->IncRevisionID();
    ClearCalls();
    Apply(spCopy);
    ASSERT_EQ(CallsOf(Kind::SetLight).size(), 1u);
    EXPECT_TRUE(CallsOf(Kind::LightEnable).empty());
    D3DLIGHT9 kLight;
    ASSERT_EQ(Device()->GetLight(pkLight->GetIndex(), &kLight), D3D_OK);
    EXPECT_EQ(kLight.Diffuse.g, 1.0f);
    spCopy = nullptr;
}

TEST_F(NiDX9LightManagerTest, ARefusedLightStaysOffTheListAndIsTriedAgain)
{
    // A light some other code left on fills the device's last place.
    constexpr std::uint32_t FOREIGN = 100;
    ASSERT_EQ(Device()->LightEnable(FOREIGN, 1), D3D_OK);
    std::vector<NiPointLight*> kPoints;
    for (int i = 0; i < 8; ++i)
        kPoints.push_back(AddLight<NiPointLight>());
    ClearCalls();
    Apply(m_spEffects);
    const auto kEnable = CallsOf(Kind::LightEnable);
    // The eighth is refused, and refused again once the stale lights are off.
    ASSERT_EQ(kEnable.size(), 9u);
    EXPECT_EQ(kEnable[7].result, D3DERR_INVALIDCALL);
    EXPECT_EQ(kEnable[8].result, D3DERR_INVALIDCALL);
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 7u);
    EXPECT_EQ(m_pkManager->GetEntry(kPoints[7])->m_bEnabled, 0);
    std::int32_t iEnabled = 1;
    ASSERT_EQ(Device()->GetLightEnable(kPoints[7]->GetIndex(), &iEnabled), D3D_OK);
    EXPECT_EQ(iEnabled, 0);

    // One light fewer: the refused one gets its turn.
    NiEffectSetPtr spFewer = m_spEffects->Copy();
    spFewer->RemoveEffect(kPoints[0]);
    ClearCalls();
    Apply(spFewer);
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 7u);
    EXPECT_EQ(m_pkManager->GetEntry(kPoints[7])->m_bEnabled, 1);
    EXPECT_EQ(m_pkManager->GetEntry(kPoints[0])->m_bEnabled, 0);
    ASSERT_EQ(Device()->GetLightEnable(kPoints[7]->GetIndex(), &iEnabled), D3D_OK);
    EXPECT_EQ(iEnabled, 1);
    spFewer = nullptr;
}

TEST_F(NiDX9LightManagerTest, LightsBeyondTheDeviceCountAreDroppedInListOrder)
{
    D3DCAPS9 kCaps{};
    ASSERT_EQ(Device()->GetDeviceCaps(&kCaps), D3D_OK);
    ASSERT_EQ(kCaps.MaxActiveLights, 8u);
    std::vector<NiPointLight*> kPoints;
    for (int i = 0; i < 9; ++i)
        kPoints.push_back(AddLight<NiPointLight>());
    // Lit per the list, which keeps lights by index: the ninth is never asked for.
    auto ExpectLit = [&](const std::vector<int>& kLit) {
        std::size_t n = 0;
        for (int i = 0; i < 9; ++i)
        {
            SCOPED_TRACE(i);
            const bool bLit = std::find(kLit.begin(), kLit.end(), i) != kLit.end();
            const NiDX9LightEntry* pkEntry = m_pkManager->GetEntry(kPoints[i]);
            EXPECT_EQ(pkEntry != nullptr && pkEntry->m_bEnabled != 0, bLit);
            std::int32_t iEnabled = 0;
            if (Device()->GetLightEnable(kPoints[i]->GetIndex(), &iEnabled) == D3D_OK)
                n += iEnabled != 0;
            EXPECT_EQ(iEnabled != 0, bLit);
        }
        EXPECT_EQ(n, kLit.size());
        EXPECT_EQ(m_pkManager->GetActiveLightCount(), kLit.size());
    };
    ClearCalls();
    Apply(m_spEffects);
    for (const StateCall& k : CallsOf(Kind::LightEnable))
        EXPECT_EQ(k.result, D3D_OK);
    EXPECT_EQ(m_pkManager->GetEntry(kPoints[8]), nullptr);
    ExpectLit({0, 1, 2, 3, 4, 5, 6, 7});

    // Without the fourth the ninth gets a place.
    NiEffectSetPtr spFewer = m_spEffects->Copy();
    spFewer->RemoveEffect(kPoints[3]);
    Apply(spFewer);
    ExpectLit({0, 1, 2, 4, 5, 6, 7, 8});

    // All nine again: the fourth comes before the ninth and takes its place
    // back, though the ninth held one and the fourth is refused at first.
    Apply(m_spEffects);
    ExpectLit({0, 1, 2, 3, 4, 5, 6, 7});
    spFewer = nullptr;
}

TEST_F(NiDX9LightManagerTest, VertexColourSourcesAndPurges)
{
    m_spVertexColor->SetSourceMode(NiVertexColorProperty::SOURCE_AMB_DIFF);
    Apply(m_spEffects);
    EXPECT_EQ(DeviceState(D3DRS_AMBIENTMATERIALSOURCE), std::uint32_t(D3DMCS_COLOR1));
    EXPECT_EQ(DeviceState(D3DRS_DIFFUSEMATERIALSOURCE), std::uint32_t(D3DMCS_COLOR1));
    m_spVertexColor->SetSourceMode(NiVertexColorProperty::SOURCE_EMISSIVE);
    Apply(m_spEffects);
    EXPECT_EQ(DeviceState(D3DRS_EMISSIVEMATERIALSOURCE), std::uint32_t(D3DMCS_COLOR1));
    EXPECT_EQ(DeviceState(D3DRS_DIFFUSEMATERIALSOURCE), std::uint32_t(D3DMCS_MATERIAL));
    // Emissive only, unlit: no lighting at all.
    m_spVertexColor->SetLightingMode(NiVertexColorProperty::LIGHTING_E);
    Apply(m_spEffects);
    EXPECT_EQ(DeviceState(D3DRS_LIGHTING), 0u);

    // A light destroyed while lit leaves the device and the manager.
    m_spVertexColor->SetLightingMode(NiVertexColorProperty::LIGHTING_E_A_D);
    m_spVertexColor->SetSourceMode(NiVertexColorProperty::SOURCE_IGNORE);
    NiRefPtr<NiPointLight> spLight = new NiPointLight;
    NiEffectSetPtr spSet = new NiEffectSet;
    spSet->AddEffect(spLight);
    Apply(spSet);
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 1u);
    const std::uint32_t uiIndex = spLight->GetIndex();
    spSet = nullptr;
    spLight = nullptr;
    EXPECT_EQ(m_pkManager->GetActiveLightCount(), 0u);
    std::int32_t iEnabled = 1;
    ASSERT_EQ(Device()->GetLightEnable(uiIndex, &iEnabled), D3D_OK);
    EXPECT_EQ(iEnabled, 0);
}

namespace
{
// End to end: engine lights through the light manager and the device's
// lighting to the pixel, on both back ends; the pixel is read on gl.
class NiDX9LightManagerDrawTest : public rendertest::RendererTest
{
};
RENDERER_BOTH_BACKENDS(NiDX9LightManagerDrawTest);
} // namespace

TEST_P(NiDX9LightManagerDrawTest, EngineLightsGiveTheHandComputedPixel)
{
    NiDynamicEffect::ResetIndexCounter();
    m_spRenderer = CreateWindowed(0, NiDX9Renderer::DEVDESC_PURE, NiDX9Renderer::FBMODE_LOCKABLE);
    ASSERT_NE(m_spRenderer, nullptr) << NiDX9Renderer::GetLastErrorString();
    IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->ResetToDefaults();
    pkState->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    pkState->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    // The renderer's start-up camera looks along +x; this draw is in clip space.
    ASSERT_EQ(pkDevice->SetTransform(D3DTS_VIEW, &m_spRenderer->GetD3DIdentity()), D3D_OK);
    ASSERT_EQ(pkDevice->SetTransform(D3DTS_PROJECTION, &m_spRenderer->GetD3DIdentity()), D3D_OK);

    // A directional light shining along +z, dimmed to 0.5, and an ambient one.
    NiRefPtr<NiDirectionalLight> spSun = new NiDirectionalLight;
    NiMatrix3x3 kRotate;
    kRotate.SetColumns(NiVec3{0.0f, 0.0f, 1.0f}, NiVec3{0.0f, 1.0f, 0.0f}, NiVec3{-1.0f, 0.0f, 0.0f});
    spSun->SetRotate(kRotate);
    spSun->Update(0.0f);
    ASSERT_EQ(spSun->GetWorldDirection().z, 1.0f);
    spSun->SetDiffuseColor(NiColorRGB{1.0f, 0.6f, 0.2f});
    spSun->SetAmbientColor(NiColorRGB{0.0f, 0.0f, 0.0f});
    spSun->SetDimmer(0.5f);
    NiRefPtr<NiAmbientLight> spSky = new NiAmbientLight;
    spSky->SetAmbientColor(NiColorRGB{0.0f, 0.0f, 0.4f});
    NiEffectSetPtr spEffects = new NiEffectSet;
    spEffects->AddEffect(spSun);
    spEffects->AddEffect(spSky);
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    spMaterial->SetDiffuseColor(NiColorRGB{1.0f, 1.0f, 1.0f});
    spMaterial->SetAmbientColor(NiColorRGB{0.0f, 0.0f, 1.0f});
    NiRefPtr<NiVertexColorProperty> spVertexColor = new NiVertexColorProperty;
    pkState->ApplyMaterial(spMaterial);
    m_spRenderer->GetLightManager()->ApplyVertexColorMode(spEffects, nullptr, spVertexColor);

    ASSERT_TRUE(m_spRenderer->BeginScene() || GetParam() == gfx::BackendKind::Null);
    m_spRenderer->GetLightManager()->ApplyVertexColorMode(spEffects, nullptr, spVertexColor);
    pkDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    struct V
    {
        float x, y, z, nx, ny, nz;
    };
    const V akQuad[4] = {{-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}};
    pkState->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL);
    ASSERT_EQ(pkDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, akQuad, sizeof(V)), D3D_OK);
    m_spRenderer->EndScene();
    // Diffuse: 0.5 x (1, 0.6, 0.2); ambient: material blue x light 0.4, summed into AMBIENT.
    EXPECT_EQ(pkState->GetRenderState(D3DRS_AMBIENT), 0xFF000066u);
    if (GetParam() != gfx::BackendKind::Gl)
        return;
    gfxtest::Ref<IDirect3DSurface9> spBack;
    ASSERT_EQ(pkDevice->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &spBack), D3D_OK);
    D3DLOCKED_RECT kLocked;
    ASSERT_EQ(spBack->LockRect(&kLocked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const std::uint8_t* pucPixel = static_cast<const std::uint8_t*>(kLocked.pBits) + 24 * kLocked.Pitch + 32 * 4;
    EXPECT_NEAR(pucPixel[2], 127.5, 1.01);                   // red
    EXPECT_NEAR(pucPixel[1], 76.5, 1.01);                    // green
    EXPECT_NEAR(pucPixel[0], 0.1 * 255 + 0x66, 1.01);        // blue: diffuse plus ambient
    spBack->UnlockRect();
}
