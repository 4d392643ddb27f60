// Properties into render states.
#include "engine/render/NiD3DRenderState.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiFlagProperty.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiMaterialProperty.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiStencilProperty.h"
#include "engine/scene/NiZBufferProperty.h"
#include "tests/engine/render/RenderStateTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace gfx;
using Kind = gfx::StateCall::Kind;
using rendertest::Bits;

namespace
{
class NiD3DRenderStateTest : public rendertest::StateCallTest
{
public:
    void SetUp() override
    {
        rendertest::StateCallTest::SetUp();
        ASSERT_NE(Create(), nullptr) << NiDX9Renderer::GetLastErrorString();
        m_pkState = m_spRenderer->GetRenderState();
        m_pkState->InitRenderStates();
        ClearCalls();
    }
    NiD3DRenderState* m_pkState = nullptr;
};
} // namespace

TEST_F(NiD3DRenderStateTest, AlphaBlendingAndTesting)
{
    NiRefPtr<NiAlphaProperty> spAlpha = new NiAlphaProperty;
    spAlpha->SetFlags(0x00ED);
    m_pkState->ApplyAlpha(spAlpha);
    EXPECT_EQ(DeviceState(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_SRCBLEND), std::uint32_t(D3DBLEND_SRCALPHA));
    EXPECT_EQ(DeviceState(D3DRS_DESTBLEND), std::uint32_t(D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(DeviceState(D3DRS_ALPHATESTENABLE), 0u);

    // Blending off leaves the factors where they were, on the device too.
    ClearCalls();
    spAlpha->SetFlags(0x0000 | (2 << 1) | (3 << 5));
    m_pkState->ApplyAlpha(spAlpha);
    EXPECT_EQ(DeviceState(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_TRUE(CallsOf(Kind::SetRenderState, D3DRS_SRCBLEND).empty());
    EXPECT_TRUE(CallsOf(Kind::SetRenderState, D3DRS_DESTBLEND).empty());

    // Test function 0 is "always"; the reference goes as it is.
    spAlpha->SetFlags(0x0200);
    spAlpha->SetTestRef(128);
    m_pkState->ApplyAlpha(spAlpha);
    EXPECT_EQ(DeviceState(D3DRS_ALPHATESTENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_ALPHAFUNC), std::uint32_t(D3DCMP_ALWAYS));
    EXPECT_EQ(DeviceState(D3DRS_ALPHAREF), 128u);
    spAlpha->SetFlags(0x0200 | (7 << 10));
    m_pkState->ApplyAlpha(spAlpha);
    EXPECT_EQ(DeviceState(D3DRS_ALPHAFUNC), std::uint32_t(D3DCMP_NEVER));

    // Blend fields 11 to 15 have no factor: such a field leaves its state.
    spAlpha->SetFlags(0x0001 | (12 << 1) | (15 << 5));
    ClearCalls();
    m_pkState->ApplyAlpha(spAlpha);
    EXPECT_EQ(DeviceState(D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_TRUE(CallsOf(Kind::SetRenderState, D3DRS_SRCBLEND).empty());
    EXPECT_TRUE(CallsOf(Kind::SetRenderState, D3DRS_DESTBLEND).empty());
    EXPECT_EQ(m_pkState->GetRenderState(D3DRS_SRCBLEND), std::uint32_t(D3DBLEND_SRCALPHA));

    // The cache's own default property turns blending and testing off.
    m_pkState->DisableAlpha();
    EXPECT_EQ(DeviceState(D3DRS_ALPHABLENDENABLE), 0u);
    EXPECT_EQ(DeviceState(D3DRS_ALPHATESTENABLE), 0u);
}

TEST_F(NiD3DRenderStateTest, DepthBufferWritesFollowBitOneWhateverTheTest)
{
    NiRefPtr<NiZBufferProperty> spZ = new NiZBufferProperty;
    spZ->SetFlags(2); // test off, write on
    m_pkState->ApplyZBuffer(spZ);
    EXPECT_EQ(DeviceState(D3DRS_ZENABLE), 0u);
    EXPECT_EQ(DeviceState(D3DRS_ZWRITEENABLE), 1u);
    spZ->SetFlags(1);
    spZ->SetTestFunction(0);
    m_pkState->ApplyZBuffer(spZ);
    EXPECT_EQ(DeviceState(D3DRS_ZENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_ZFUNC), std::uint32_t(D3DCMP_ALWAYS));
    EXPECT_EQ(DeviceState(D3DRS_ZWRITEENABLE), 0u);
    spZ->SetTestFunction(3);
    m_pkState->ApplyZBuffer(spZ);
    EXPECT_EQ(DeviceState(D3DRS_ZFUNC), std::uint32_t(D3DCMP_LESSEQUAL));
    // A function beyond the table leaves the state as it was.
    spZ->SetTestFunction(9);
    m_pkState->ApplyZBuffer(spZ);
    EXPECT_EQ(DeviceState(D3DRS_ZFUNC), std::uint32_t(D3DCMP_LESSEQUAL));
}

TEST_F(NiD3DRenderStateTest, StencilAndCulling)
{
    NiRefPtr<NiStencilProperty> spStencil = new NiStencilProperty;
    spStencil->SetStencilOn(true);
    spStencil->SetStencilFunction(0);
    spStencil->SetStencilReference(3);
    spStencil->SetStencilMask(0xF0);
    spStencil->SetStencilFailAction(1);
    spStencil->SetStencilPassZFailAction(5);
    spStencil->SetStencilPassAction(2);
    spStencil->SetDrawMode(0);
    m_pkState->ApplyStencil(spStencil);
    EXPECT_EQ(DeviceState(D3DRS_STENCILENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_STENCILFUNC), std::uint32_t(D3DCMP_NEVER));
    EXPECT_EQ(DeviceState(D3DRS_STENCILREF), 3u);
    EXPECT_EQ(DeviceState(D3DRS_STENCILMASK), 0xF0u);
    EXPECT_EQ(DeviceState(D3DRS_STENCILFAIL), std::uint32_t(D3DSTENCILOP_ZERO));
    EXPECT_EQ(DeviceState(D3DRS_STENCILZFAIL), std::uint32_t(D3DSTENCILOP_INVERT));
    EXPECT_EQ(DeviceState(D3DRS_STENCILPASS), std::uint32_t(D3DSTENCILOP_REPLACE));
    EXPECT_EQ(DeviceState(D3DRS_CULLMODE), std::uint32_t(D3DCULL_CW));

    // Disabled, it still decides culling: table[mode x 2 + swap].
    spStencil->SetStencilOn(false);
    const std::uint32_t auiCull[4][2] = {{D3DCULL_CW, D3DCULL_CCW},
                                         {D3DCULL_CW, D3DCULL_CCW},
                                         {D3DCULL_CCW, D3DCULL_CW},
                                         {D3DCULL_NONE, D3DCULL_NONE}};
    for (std::uint32_t uiMode = 0; uiMode < 4; ++uiMode)
    {
        for (std::uint32_t uiSwap = 0; uiSwap < 2; ++uiSwap)
        {
            SCOPED_TRACE(uiMode * 2 + uiSwap);
            m_pkState->SetLeftRightSwap(uiSwap != 0);
            spStencil->SetDrawMode(uiMode);
            m_pkState->ApplyStencil(spStencil);
            EXPECT_EQ(DeviceState(D3DRS_STENCILENABLE), 0u);
            EXPECT_EQ(DeviceState(D3DRS_CULLMODE), auiCull[uiMode][uiSwap]);
        }
    }
    // A draw mode beyond the table leaves culling as it was.
    spStencil->SetDrawMode(0x80000000u);
    m_pkState->ApplyStencil(spStencil);
    EXPECT_EQ(DeviceState(D3DRS_CULLMODE), std::uint32_t(D3DCULL_NONE));
}

TEST_F(NiD3DRenderStateTest, FogRangeColourAndFunctions)
{
    m_pkState->SetCameraNearAndFar(1.0f, 101.0f);
    NiRefPtr<NiFogProperty> spFog = new NiFogProperty;
    spFog->SetFog(true);
    spFog->SetDepth(0.5f);
    spFog->SetFogColor(NiColorRGB{1.0f, 0.5f, 0.0f});
    m_pkState->ApplyFog(spFog);
    EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_FOGSTART), Bits(51.0f));
    EXPECT_EQ(DeviceState(D3DRS_FOGEND), Bits(101.0f));
    EXPECT_EQ(DeviceState(D3DRS_FOGDENSITY), Bits(0.02f));
    EXPECT_EQ(DeviceState(D3DRS_RANGEFOGENABLE), 0u);
    EXPECT_EQ(DeviceState(D3DRS_FOGCOLOR), 0xFFFF7F00u);
    // The device has table fog by eye depth: per pixel, no vertex fog.
    EXPECT_EQ(DeviceState(D3DRS_FOGTABLEMODE), std::uint32_t(D3DFOG_LINEAR));
    EXPECT_EQ(DeviceState(D3DRS_FOGVERTEXMODE), std::uint32_t(D3DFOG_NONE));

    // Range fog goes per vertex.
    spFog->SetFogFunction(NiFogProperty::FOG_RANGE_SQ);
    m_pkState->ApplyFog(spFog);
    EXPECT_EQ(DeviceState(D3DRS_RANGEFOGENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_FOGTABLEMODE), std::uint32_t(D3DFOG_NONE));
    EXPECT_EQ(DeviceState(D3DRS_FOGVERTEXMODE), std::uint32_t(D3DFOG_LINEAR));

    // The fog-end factor stretches the end beyond the far plane.
    m_pkState->SetMaxFogValue(0.5f);
    m_pkState->ApplyFog(spFog);
    EXPECT_EQ(DeviceState(D3DRS_FOGEND), Bits(151.0f));
    m_pkState->SetMaxFogValue(1.0f);

    // Functions 2 and 3 turn fog off, and still set the colour.
    for (std::uint16_t uFunction : {std::uint16_t(2), std::uint16_t(3)})
    {
        spFog->SetFogFunction(uFunction);
        spFog->SetFogColor(NiColorRGB{0.0f, 0.0f, float(uFunction) / 4.0f});
        m_pkState->ApplyFog(spFog);
        EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), 0u);
        EXPECT_EQ(DeviceState(D3DRS_FOGCOLOR), 0xFF000000u | std::uint32_t(255.0f * float(uFunction) / 4.0f));
    }
    // A colour that is not a number is always taken anew, packed to 0.
    spFog->SetFogFunction(0);
    spFog->SetFogColor(NiColorRGB{std::numeric_limits<float>::quiet_NaN(), 1.0f, 1.0f});
    m_pkState->ApplyFog(spFog);
    EXPECT_EQ(DeviceState(D3DRS_FOGCOLOR), 0xFF00FFFFu);

    ClearCalls();
    spFog->SetFog(false);
    m_pkState->ApplyFog(spFog);
    ASSERT_EQ(RenderStateCalls().size(), 1u);
    EXPECT_EQ(RenderStateCalls()[0], std::make_pair(std::uint32_t(D3DRS_FOGENABLE), 0u));
}

TEST_F(NiD3DRenderStateTest, PropertySetAppliesEachPropertyInItsOrder)
{
    NiRefPtr<NiPropertySet> spSet = new NiPropertySet;
    NiRefPtr<NiWireframeProperty> spWire = new NiWireframeProperty;
    spWire->SetFlags(1);
    NiRefPtr<NiShadeProperty> spShade = new NiShadeProperty;
    spShade->SetFlags(0);
    NiRefPtr<NiDitherProperty> spDither = new NiDitherProperty;
    spDither->SetFlags(1);
    NiRefPtr<NiSpecularProperty> spSpecular = new NiSpecularProperty;
    spSpecular->SetFlags(1);
    NiRefPtr<NiAlphaProperty> spAlpha = new NiAlphaProperty;
    NiRefPtr<NiZBufferProperty> spZ = new NiZBufferProperty;
    NiRefPtr<NiStencilProperty> spStencil = new NiStencilProperty;
    NiRefPtr<NiMaterialProperty> spMaterial = new NiMaterialProperty;
    NiRefPtr<NiFogProperty> spFog = new NiFogProperty;
    for (NiProperty* pk : std::initializer_list<NiProperty*>{spWire, spShade, spDither, spSpecular, spAlpha, spZ,
                                                             spStencil, spMaterial, spFog})
        spSet->SetProperty(pk);
    m_pkState->SetRenderState(D3DRS_FOGENABLE, 1);
    ClearCalls();
    m_pkState->UpdateRenderState(spSet);
    EXPECT_EQ(DeviceState(D3DRS_FILLMODE), std::uint32_t(D3DFILL_WIREFRAME));
    EXPECT_EQ(DeviceState(D3DRS_SHADEMODE), std::uint32_t(D3DSHADE_FLAT));
    EXPECT_EQ(DeviceState(D3DRS_DITHERENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_SPECULARENABLE), 1u);
    EXPECT_EQ(DeviceState(D3DRS_FOGENABLE), 0u);
    EXPECT_EQ(CallsOf(Kind::SetMaterial).size(), 1u);
    // Wireframe first, fog last, material between stencil and fog.
    const auto& kCalls = Calls();
    ASSERT_GE(kCalls.size(), 3u);
    EXPECT_EQ(kCalls.front().index, D3DRS_FILLMODE);
    EXPECT_EQ(kCalls.back().index, D3DRS_FOGENABLE);
    EXPECT_EQ(kCalls[kCalls.size() - 2].kind, Kind::SetMaterial);
}

TEST_F(NiD3DRenderStateTest, ProgramTexCoordStagesAreSetAgainAfterAnyStageStateChange)
{
    m_pkState->InitTextureStageStates();
    m_pkState->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    m_pkState->SetTextureStageState(2, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    ClearCalls();
    m_pkState->SetProgramTexCoordStates(2);
    EXPECT_EQ(m_pkState->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX), 1u);
    // Stage 2 is past what was asked for: left as it is.
    EXPECT_EQ(m_pkState->GetTextureStageState(2, D3DTSS_TEXTURETRANSFORMFLAGS), std::uint32_t(D3DTTFF_COUNT2));
    EXPECT_EQ(CallsOf(Kind::SetTextureStageState).size(), 1u);

    // Asked again with nothing changed: no call; asked for more stages: the new one is set.
    ClearCalls();
    m_pkState->SetProgramTexCoordStates(2);
    EXPECT_TRUE(CallsOf(Kind::SetTextureStageState).empty());
    m_pkState->SetProgramTexCoordStates(3);
    EXPECT_EQ(m_pkState->GetTextureStageState(2, D3DTSS_TEXTURETRANSFORMFLAGS), std::uint32_t(D3DTTFF_DISABLE));

    // Another draw's texture transform in between is undone by the next program draw.
    m_pkState->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    m_pkState->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 0);
    ClearCalls();
    m_pkState->SetProgramTexCoordStates(2);
    EXPECT_EQ(m_pkState->GetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS), std::uint32_t(D3DTTFF_DISABLE));
    EXPECT_EQ(m_pkState->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX), 1u);
    EXPECT_EQ(CallsOf(Kind::SetTextureStageState).size(), 2u);
}
