#include "engine/render/NiDX9RenderState.h"

#include "engine/core/NiXform.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "tests/engine/render/RenderStateTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace gfx;
using Kind = gfx::StateCall::Kind;

namespace
{
class NiDX9RenderStateTest : public rendertest::StateCallTest
{
public:
    void SetUp() override
    {
        rendertest::StateCallTest::SetUp();
        ASSERT_NE(Create(), nullptr) << NiDX9Renderer::GetLastErrorString();
        m_pkState = m_spRenderer->GetRenderState();
        ASSERT_NE(m_pkState, nullptr);
    }
    NiDX9RenderState* m_pkState = nullptr;
};

D3DCAPS9 CapsWith(std::uint32_t uiRaster)
{
    D3DCAPS9 kCaps = gfx::DeviceCaps(0);
    kCaps.RasterCaps |= uiRaster;
    return kCaps;
}
} // namespace

TEST_F(NiDX9RenderStateTest, RenderAndStageStatesReachTheDeviceOnlyOnAChange)
{
    // The renderer's start-up reset sent dithering off; only a change
    // reaches the device.
    EXPECT_EQ(m_pkState->GetRenderState(D3DRS_DITHERENABLE), 0u);
    const std::size_t uiSent = CallsOf(Kind::SetRenderState, D3DRS_DITHERENABLE).size();
    m_pkState->SetRenderState(D3DRS_DITHERENABLE, 1);
    m_pkState->SetRenderState(D3DRS_DITHERENABLE, 1);
    EXPECT_EQ(CallsOf(Kind::SetRenderState, D3DRS_DITHERENABLE).size(), uiSent + 1);

    // Saving an unchanged value copies it without a device call.
    m_pkState->SetRenderState(D3DRS_DITHERENABLE, 1, true);
    EXPECT_EQ(CallsOf(Kind::SetRenderState, D3DRS_DITHERENABLE).size(), uiSent + 1);
    EXPECT_EQ(m_pkState->GetSavedRenderState(D3DRS_DITHERENABLE), 1u);
    m_pkState->SetRenderState(D3DRS_DITHERENABLE, 0, true);
    EXPECT_EQ(m_pkState->GetSavedRenderState(D3DRS_DITHERENABLE), 1u);
    m_pkState->RestoreRenderState(D3DRS_DITHERENABLE);
    EXPECT_EQ(DeviceState(D3DRS_DITHERENABLE), 1u);
    EXPECT_EQ(CallsOf(Kind::SetRenderState, D3DRS_DITHERENABLE).size(), uiSent + 3);

    m_pkState->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD);
    m_pkState->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_ADD, true);
    EXPECT_EQ(m_pkState->GetSavedTextureStageState(1, D3DTSS_COLOROP), std::uint32_t(D3DTOP_ADD));
    const auto kStage = CallsOf(Kind::SetTextureStageState, 1);
    ASSERT_EQ(kStage.size(), 1u);
    EXPECT_EQ(kStage[0].type, D3DTSS_COLOROP);
    EXPECT_EQ(kStage[0].value, std::uint32_t(D3DTOP_ADD));
}

TEST_F(NiDX9RenderStateTest, SamplerStatesKeepTheSavedValueOnAnEqualSetAndShiftTheIndex)
{
    m_pkState->SetSamplerState(2, 4, D3DTEXF_LINEAR); // engine 4: magnification
    m_pkState->SetSamplerState(2, 4, D3DTEXF_POINT, true);
    EXPECT_EQ(m_pkState->GetSavedSamplerState(2, 4), std::uint32_t(D3DTEXF_LINEAR));
    // The same value with save: nothing at all, the saved value stays.
    m_pkState->SetSamplerState(2, 4, D3DTEXF_POINT, true);
    EXPECT_EQ(m_pkState->GetSavedSamplerState(2, 4), std::uint32_t(D3DTEXF_LINEAR));
    const auto kCalls = CallsOf(Kind::SetSamplerState, 2);
    ASSERT_EQ(kCalls.size(), 2u);
    EXPECT_EQ(kCalls[0].type, D3DSAMP_MAGFILTER);
    EXPECT_EQ(kCalls[1].value, std::uint32_t(D3DTEXF_POINT));

    // Slots 13 to 16 are kept, and never sent.
    m_pkState->SetSamplerState(0, 13, 77);
    m_pkState->SetSamplerState(0, 16, 78);
    EXPECT_EQ(m_pkState->GetSamplerState(0, 13), 77u);
    EXPECT_EQ(m_pkState->GetSamplerState(0, 16), 78u);
    EXPECT_TRUE(CallsOf(Kind::SetSamplerState, 0).empty());
}

TEST_F(NiDX9RenderStateTest, IndicesBeyondTheArraysAreIgnoredAndReadZero)
{
    m_pkState->SetRenderState(256, 1);
    m_pkState->SetRenderState(0xFFFFFFFF, 1);
    m_pkState->SetTextureStageState(16, D3DTSS_COLOROP, 1);
    m_pkState->SetTextureStageState(0, 33, 1);
    m_pkState->SetSamplerState(16, 0, 1);
    m_pkState->SetSamplerState(0, 17, 1);
    m_pkState->SetTexture(16, nullptr);
    EXPECT_TRUE(Calls().empty());
    EXPECT_EQ(m_pkState->GetRenderState(256), 0u);
    EXPECT_EQ(m_pkState->GetTextureStageState(16, D3DTSS_COLOROP), 0u);
    EXPECT_EQ(m_pkState->GetTextureStageState(0, 33), 0u);
    EXPECT_EQ(m_pkState->GetSamplerState(16, 0), 0u);
    EXPECT_EQ(m_pkState->GetSamplerState(0, 17), 0u);
    EXPECT_EQ(m_pkState->GetTexture(16), nullptr);
    m_pkState->RestoreRenderState(300);
    m_pkState->RestoreTextureStageState(20, 0);
    m_pkState->RestoreSamplerState(0, 40);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(NiDX9RenderStateTest, VertexFormatsAndDeclarations)
{
    const std::uint32_t uiFVF = D3DFVF_XYZ | D3DFVF_DIFFUSE;
    m_pkState->SetFVF(0);
    EXPECT_TRUE(CallsOf(Kind::SetFVF).empty());
    m_pkState->SetFVF(uiFVF);
    m_pkState->SetFVF(uiFVF);
    EXPECT_EQ(CallsOf(Kind::SetFVF).size(), 1u);

    const D3DVERTEXELEMENT9 akElements[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    gfxtest::Ref<IDirect3DVertexDeclaration9> spDecl;
    ASSERT_EQ(Device()->CreateVertexDeclaration(akElements, &spDecl), D3D_OK);
    m_pkState->SetVertexDeclaration(nullptr);
    EXPECT_TRUE(CallsOf(Kind::SetVertexDeclaration).empty());
    m_pkState->SetVertexDeclaration(spDecl.get());
    EXPECT_EQ(m_pkState->GetFVF(), 0u);
    EXPECT_EQ(m_pkState->GetVertexDeclaration(), spDecl.get());
    // The old FVF value is sent again: the device now reads the declaration.
    m_pkState->SetFVF(uiFVF);
    EXPECT_EQ(CallsOf(Kind::SetFVF).size(), 2u);
    EXPECT_EQ(m_pkState->GetVertexDeclaration(), nullptr);

    m_pkState->ClearFVF(uiFVF);
    EXPECT_EQ(m_pkState->GetFVF(), std::uint32_t(D3DFVF_XYZ));
    EXPECT_EQ(CallsOf(Kind::SetFVF).back().value, std::uint32_t(D3DFVF_XYZ));

    // A declaration being destroyed is unbound from the device.
    m_pkState->SetVertexDeclaration(spDecl.get());
    m_pkState->ClearVertexDeclaration(spDecl.get());
    EXPECT_EQ(CallsOf(Kind::SetVertexDeclaration).back().object, nullptr);
    EXPECT_EQ(Device()->State().declaration, nullptr);
}

TEST_F(NiDX9RenderStateTest, ClearTextureEmptiesEveryStageHoldingIt)
{
    gfxtest::Ref<IDirect3DTexture9> spA, spB;
    ASSERT_EQ(Device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &spA, nullptr), D3D_OK);
    ASSERT_EQ(Device()->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &spB, nullptr), D3D_OK);
    m_pkState->SetTexture(0, spA.get());
    m_pkState->SetTexture(0, spA.get());
    m_pkState->SetTexture(1, spB.get());
    m_pkState->SetTexture(3, spA.get());
    EXPECT_EQ(CallsOf(Kind::SetTexture).size(), 3u);
    m_pkState->ClearTexture(spA.get());
    EXPECT_EQ(m_pkState->GetTexture(0), nullptr);
    EXPECT_EQ(m_pkState->GetTexture(1), spB.get());
    EXPECT_EQ(m_pkState->GetTexture(3), nullptr);
    EXPECT_EQ(Device()->State().textures[0], nullptr);
    EXPECT_EQ(Device()->State().textures[3], nullptr);
    EXPECT_EQ(Device()->State().textures[1], spB.get());
    m_pkState->ClearTexture(nullptr);
    EXPECT_EQ(CallsOf(Kind::SetTexture).size(), 5u);
}

TEST_F(NiDX9RenderStateTest, SoftwareVertexProcessingSwitchesOnlyOnAMixedDevice)
{
    m_pkState->SetSoftwareVertexProcessing(true);
    EXPECT_FALSE(m_pkState->GetSoftwareVertexProcessing());
    EXPECT_TRUE(CallsOf(Kind::SetSoftwareVertexProcessing).empty());

    m_spRenderer = nullptr;
    ASSERT_NE(Create(0, NiDX9Renderer::DEVDESC_HAL_MIXEDVERTEX), nullptr) << NiDX9Renderer::GetLastErrorString();
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    pkState->SetSoftwareVertexProcessing(true);
    EXPECT_TRUE(pkState->GetSoftwareVertexProcessing());
    ASSERT_EQ(CallsOf(Kind::SetSoftwareVertexProcessing).size(), 1u);
    EXPECT_EQ(Device()->GetSoftwareVertexProcessing(), 1);
    pkState->SetSoftwareVertexProcessing(true);
    EXPECT_EQ(CallsOf(Kind::SetSoftwareVertexProcessing).size(), 1u);
}

TEST_F(NiDX9RenderStateTest, StageDefaultsOverTheStagesInUse)
{
    ASSERT_EQ(NiD3DPass::GetMaxTextureBlendStages(), 8u);
    for (int iPass = 0; iPass < 2; ++iPass)
    {
        SCOPED_TRACE(iPass);
        ClearCalls();
        m_pkState->InitTextureStageStates();
        EXPECT_EQ(m_pkState->GetTextureStageState(0, D3DTSS_COLOROP), std::uint32_t(D3DTOP_MODULATE));
        EXPECT_EQ(m_pkState->GetTextureStageState(0, D3DTSS_ALPHAOP), std::uint32_t(D3DTOP_SELECTARG1));
        for (std::uint32_t uiStage = 1; uiStage < 8; ++uiStage)
        {
            EXPECT_EQ(m_pkState->GetTextureStageState(uiStage, D3DTSS_COLOROP), std::uint32_t(D3DTOP_DISABLE));
            EXPECT_EQ(m_pkState->GetTextureStageState(uiStage, D3DTSS_ALPHAOP), std::uint32_t(D3DTOP_DISABLE));
            EXPECT_EQ(m_pkState->GetTextureStageState(uiStage, D3DTSS_TEXCOORDINDEX), uiStage);
        }
        // Stage 8 is not in use: untouched.
        EXPECT_TRUE(CallsOf(Kind::SetTextureStageState, 8).empty());
        // Every stage state is sent directly, RESULTARG twice.
        EXPECT_EQ(CallsOf(Kind::SetTextureStageState, 0).size(), 18u);
        // Samplers go through the cache: engine 12 = 256 arrives as device state 13.
        const auto kSampler = CallsOf(Kind::SetSamplerState, 5);
        ASSERT_EQ(kSampler.size(), 13u);
        EXPECT_EQ(kSampler.back().type, D3DSAMP_DMAPOFFSET);
        EXPECT_EQ(kSampler.back().value, 256u);
        EXPECT_EQ(m_pkState->GetSamplerState(5, 12), 256u);
    }
}

TEST_F(NiDX9RenderStateTest, ResetToDefaultsSendsTheChangedDefaultsInOrder)
{
    m_pkState->ResetToDefaults();
    // After the whole table: only the states whose value differs from it.
    const auto kCalls = RenderStateCalls();
    // The device has table fog (and w-fog): its mode is linear.
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> kTail = {
        {D3DRS_CULLMODE, D3DCULL_CW},       {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}, {D3DRS_ZFUNC, D3DCMP_ALWAYS},
        {D3DRS_ZWRITEENABLE, 0},            {D3DRS_FOGTABLEMODE, D3DFOG_LINEAR},
        {D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR}, {D3DRS_NORMALIZENORMALS, 1},
    };
    ASSERT_EQ(kCalls.size(), m_pkState->GetDefaultRenderStates().size() + kTail.size());
    EXPECT_EQ(std::vector(kCalls.end() - std::ptrdiff_t(kTail.size()), kCalls.end()), kTail);
    EXPECT_EQ(DeviceState(D3DRS_ZENABLE), std::uint32_t(D3DZB_TRUE));
    EXPECT_EQ(m_pkState->GetFogColor(), 0xFF000000u);
    // The material cache starts dirty on the engine's default material.
    EXPECT_TRUE(m_pkState->GetMaterialCache().IsDirty());

    // A device with table fog and a w-buffer, and a renderer preferring it.
    NiDX9RenderStatePtr spState = NiDX9RenderState::Create(
        m_spRenderer, CapsWith(D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_WFOG | D3DPRASTERCAPS_WBUFFER), true, true,
        true, false);
    EXPECT_EQ(spState->GetFlags() & 0x1Fu, 0x1Bu);
    ClearCalls();
    spState->ResetToDefaults();
    const auto kW = RenderStateCalls();
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> kWTail = {
        {D3DRS_CULLMODE, D3DCULL_CW},       {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA}, {D3DRS_ZFUNC, D3DCMP_ALWAYS},
        {D3DRS_ZWRITEENABLE, 0},            {D3DRS_FOGTABLEMODE, D3DFOG_LINEAR},
        {D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR}, {D3DRS_NORMALIZENORMALS, 1},
        {D3DRS_ZENABLE, D3DZB_USEW},
    };
    ASSERT_GE(kW.size(), kWTail.size());
    EXPECT_EQ(std::vector(kW.end() - std::ptrdiff_t(kWTail.size()), kW.end()), kWTail);
}

TEST_F(NiDX9RenderStateTest, CreationFlagsAndDepthEntry)
{
    // The device's table fog and w-fog make bit 0.
    NiDX9RenderStatePtr spPlain = NiDX9RenderState::Create(m_spRenderer, gfx::DeviceCaps(0), false, false, false,
                                                           false);
    // The device has table and w-fog and addresses borders: bits 0 and 5 from its caps alone.
    EXPECT_EQ(spPlain->GetFlags(),
              std::uint32_t(NiD3DRenderState::CAPS_TABLE_FOG | NiD3DRenderState::CAPS_BORDER_ADDRESS));
    for (const auto& k : spPlain->GetDefaultRenderStates())
    {
        if (k.m_uiState == D3DRS_ZENABLE)
        {
            EXPECT_EQ(k.m_uiValue, 0u);
        }
    }
    NiDX9RenderStatePtr spStencil = NiDX9RenderState::Create(m_spRenderer, gfx::DeviceCaps(0), false, false, false,
                                                             true);
    EXPECT_EQ(spStencil->GetFlags(), std::uint32_t(NiD3DRenderState::CAPS_TABLE_FOG | NiD3DRenderState::CAPS_STENCIL |
                                                   NiD3DRenderState::CAPS_BORDER_ADDRESS));
    for (const auto& k : spStencil->GetDefaultRenderStates())
    {
        if (k.m_uiState == D3DRS_ZENABLE)
        {
            EXPECT_EQ(k.m_uiValue, 1u);
        }
    }
    // The w-buffer is used only where the device has one.
    spPlain->SetUseWBuffer(true);
    EXPECT_FALSE(spPlain->GetUseWBuffer());
    NiDX9RenderStatePtr spW = NiDX9RenderState::Create(m_spRenderer, CapsWith(D3DPRASTERCAPS_WBUFFER), true, true,
                                                       false, false);
    spW->SetUseWBuffer(true);
    EXPECT_TRUE(spW->GetUseWBuffer());
}

TEST_F(NiDX9RenderStateTest, NormalRenormalisationFollowsTheScaleAndTheSwitches)
{
    NiXform kXform;
    const std::pair<float, std::uint32_t> akCases[] = {
        {1.005f, 0}, {1.02f, 1}, {0.98f, 1}, {0.995f, 0}, {std::numeric_limits<float>::quiet_NaN(), 1}, {1.0f, 0}};
    for (const auto& [fScale, uiExpected] : akCases)
    {
        SCOPED_TRACE(fScale);
        kXform.m_fScale = fScale;
        m_pkState->UpdateNormalizeNormals(kXform);
        EXPECT_EQ(m_pkState->GetRenderState(D3DRS_NORMALIZENORMALS), uiExpected);
    }
    m_pkState->SetForceNormalizeNormals(true);
    m_pkState->UpdateNormalizeNormals(kXform);
    EXPECT_EQ(DeviceState(D3DRS_NORMALIZENORMALS), 1u);
    m_pkState->SetForceNormalizeNormals(false);
    m_pkState->SetInternalNormalizeNormals(true);
    m_pkState->UpdateNormalizeNormals(kXform);
    EXPECT_EQ(DeviceState(D3DRS_NORMALIZENORMALS), 1u);
}

TEST_F(NiDX9RenderStateTest, MaxFogValueAndBoneCount)
{
    m_pkState->SetMaxFogValue(0.0f);
    EXPECT_FLOAT_EQ(m_pkState->GetMaxFogValue(), 0.00001f);
    m_pkState->SetMaxFogValue(-3.0f);
    EXPECT_FLOAT_EQ(m_pkState->GetMaxFogValue(), 0.00001f);
    m_pkState->SetMaxFogValue(0.5f);
    EXPECT_FLOAT_EQ(m_pkState->GetFogEndFactor(), 1.0f);

    const std::uint32_t auiBlend[5] = {0, 1, 1, 2, 3};
    for (std::uint16_t us = 0; us < 5; ++us)
    {
        m_pkState->SetBoneCount(us);
        EXPECT_EQ(m_pkState->GetRenderState(D3DRS_VERTEXBLEND), auiBlend[us]);
    }
    m_pkState->SetBoneCount(5); // no table entry: unchanged
    EXPECT_EQ(m_pkState->GetRenderState(D3DRS_VERTEXBLEND), 3u);
}

TEST_F(NiDX9RenderStateTest, MaterialSentOnlyAfterARefillOrAnotherRecord)
{
    NiRefPtr<NiMaterialProperty> spA = new NiMaterialProperty;
    NiRefPtr<NiMaterialProperty> spB = new NiMaterialProperty;
    spA->SetDiffuseColor(NiColorRGB{1.0f, 0.5f, 0.25f});
    spA->SetAlpha(0.75f);
    spA->SetShineness(12.0f);
    m_pkState->ApplyMaterial(spA);
    m_pkState->ApplyMaterial(spA);
    ASSERT_EQ(CallsOf(Kind::SetMaterial).size(), 1u);
    const D3DMATERIAL9& kSent = Device()->State().material;
    EXPECT_FLOAT_EQ(kSent.Diffuse.g, 0.5f);
    EXPECT_FLOAT_EQ(kSent.Diffuse.a, 0.75f);
    EXPECT_FLOAT_EQ(kSent.Emissive.a, 0.75f);
    EXPECT_FLOAT_EQ(kSent.Power, 12.0f);

    m_pkState->ApplyMaterial(spB);
    m_pkState->ApplyMaterial(spA);
    EXPECT_EQ(CallsOf(Kind::SetMaterial).size(), 3u);
    // A new revision refills the record.
    spA->SetDiffuseColor(NiColorRGB{0.0f, 0.0f, 1.0f});
    m_pkState->ApplyMaterial(spA);
    EXPECT_EQ(CallsOf(Kind::SetMaterial).size(), 3u);
    spA->SetRevisionID(spA->GetRevisionID() + 1);
    m_pkState->ApplyMaterial(spA);
    EXPECT_EQ(CallsOf(Kind::SetMaterial).size(), 4u);
    EXPECT_FLOAT_EQ(Device()->State().material.Diffuse.b, 1.0f);

    // A property destroyed while current leaves no record behind.
    NiD3DMaterialCache& kCache = m_pkState->GetMaterialCache();
    EXPECT_NE(kCache.GetCurrent(), nullptr);
    spA = nullptr;
    EXPECT_EQ(kCache.GetCurrent(), nullptr);
    // The renderer going first frees what remains attached to a property.
    m_spRenderer = nullptr;
    NiRenderer::ClearRenderer();
    EXPECT_EQ(spB->GetRendererData(), nullptr);
}

TEST_F(NiDX9RenderStateTest, ShaderStateRestoresNeverHandTheMarkerToTheDevice)
{
    m_pkState->InitShaderState();
    EXPECT_EQ(m_pkState->GetSavedFVF(), 1u);
    m_pkState->RestorePixelShader();
    m_pkState->RestoreVertexShader();
    m_pkState->RestoreVertexDeclaration();
    ASSERT_EQ(CallsOf(Kind::SetPixelShader).size(), 1u);
    EXPECT_EQ(CallsOf(Kind::SetPixelShader)[0].object, nullptr);
    EXPECT_EQ(CallsOf(Kind::SetVertexShader)[0].object, nullptr);
    EXPECT_TRUE(CallsOf(Kind::SetVertexDeclaration).empty());
    EXPECT_EQ(m_pkState->GetPixelShader(), nullptr);
}
