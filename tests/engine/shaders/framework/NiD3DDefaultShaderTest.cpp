#include "engine/shaders/framework/NiD3DDefaultShader.h"

#include "engine/render/NiTextureTransform.h"
#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiEffectSet.h"
#include "engine/scene/NiFogProperty.h"
#include "engine/scene/NiTextureEffect.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"
#include "tests/engine/core/NiStreamFixture.h"
#include "tests/engine/shaders/framework/ShaderDriver.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"
#include "tests/support/HeapCounter.h"

#include <bit>
#include <functional>
#include <memory>

namespace shader_test
{
namespace
{
using namespace gfx;
constexpr std::uint32_t ABSENT = 0xDEADBEEF;

class NiD3DDefaultShaderTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        if (m_spRenderer == nullptr)
            return;
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_spShader = m_spRenderer->GetDefaultShader();
        ASSERT_NE(m_spShader, nullptr);
        m_spTexturing = new NiTexturingProperty;
        m_spAlpha = new NiAlphaProperty;
        m_spFog = new NiFogProperty;
        m_spState = new NiPropertySet;
        m_spState->SetProperty(m_spTexturing);
        m_spState->SetProperty(m_spAlpha);
        m_spState->SetProperty(m_spFog);
        m_spEffects = new NiEffectSet;
        m_spShape = MakeShape(1);
        m_spQuad = std::make_unique<QuadBuffers>(
            m_pkDevice, std::vector<QuadVertex>{{-1, -1, 0.5f, 0xFFFFFFFF, 0, 1},
                                                {-1, 1, 0.5f, 0xFFFFFFFF, 0, 0},
                                                {1, -1, 0.5f, 0xFFFFFFFF, 1, 1},
                                                {1, 1, 0.5f, 0xFFFFFFFF, 1, 0}});
    }
    void TearDown() override
    {
        m_spQuad.reset();
        m_spShader = nullptr;
        m_spShape = nullptr;
        m_spState = nullptr;
        m_spEffects = nullptr;
        m_spTexturing = nullptr;
        m_spAlpha = nullptr;
        m_spFog = nullptr;
        ShaderTest::TearDown();
    }
    static NiRefPtr<NiTriShape> MakeShape(std::uint16_t usSets)
    {
        auto* pkVertex = new NiVec3[3]{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        NiVec2* pkTexture = usSets > 0 ? new NiVec2[3u * usSets] : nullptr;
        return new NiTriShape(
            new NiTriShapeData(3, pkVertex, nullptr, nullptr, pkTexture, usSets, 0, 1, new std::uint16_t[3]{0, 1, 2}));
    }
    NiTextureMap* SetMap(std::uint32_t uiSlot, std::uint32_t uiColor = 0xFFFFFFFF)
    {
        NiTextureMap* pkMap = uiSlot == NiTexturingProperty::BUMP_INDEX ? new NiBumpMap : new NiTextureMap;
        pkMap->SetTexture(Texture(uiColor));
        m_spTexturing->SetMap(uiSlot, pkMap);
        return pkMap;
    }
    NiTexture* Texture(std::uint32_t uiColor)
    {
        m_kTextures.push_back(MakeTexture(2, uiColor));
        return m_kTextures.back();
    }
    NiRefPtr<NiTextureEffect> AddEffect(std::uint32_t uiType, bool bPlane, std::uint32_t uiCoord = 0)
    {
        NiRefPtr<NiTextureEffect> spEffect = new NiTextureEffect;
        spEffect->SetTextureType(uiType);
        spEffect->SetTextureCoordGen(uiCoord);
        spEffect->SetClippingPlaneEnable(bPlane);
        spEffect->SetEffectTexture(Texture(0xFF808080));
        spEffect->SetModelClippingPlane(NiPlane(NiVec3(0, 0, 1), 2.0f));
        spEffect->UpdateWorldData();
        m_spEffects->AddEffect(spEffect);
        m_kEffects.push_back(spEffect);
        return spEffect;
    }
    // Decal maps in slots 6, 7, ... (a false entry: a map without a
    // texture). The decal count is the property's own, counted when a
    // stream's links are resolved, so the property goes through a saved
    // stream and the loaded one takes its place.
    void LoadWithDecals(const std::vector<bool>& kTextured)
    {
        for (std::uint32_t ui = 0; ui < kTextured.size(); ++ui)
        {
            auto* pkMap = new NiTextureMap;
            if (kTextured[ui])
                pkMap->SetTexture(Texture(0x80FF0000u | ui));
            m_spTexturing->SetMap(NiTexturingProperty::DECAL_BASE + ui, pkMap);
        }
        const std::vector<std::uint8_t> kBytes = stream_test::SaveTops({m_spTexturing.Get()});
        NiObjectStream kStream;
        ASSERT_TRUE(kStream.LoadBuffer(kBytes.data(), static_cast<std::uint32_t>(kBytes.size())));
        std::vector<NiObjectPtr> kLoaded;
        stream_test::TakeTopObjects(kStream, kLoaded);
        ASSERT_EQ(kLoaded.size(), 1u);
        auto* pkLoaded = dynamic_cast<NiTexturingProperty*>(kLoaded[0].Get());
        ASSERT_NE(pkLoaded, nullptr);
        m_spTexturing = pkLoaded;
        m_spState->SetProperty(m_spTexturing);
    }
    NiTexture* DecalTexture(std::uint32_t uiDecal) const
    {
        const NiTextureMap* pkMap = m_spTexturing->GetMap(NiTexturingProperty::DECAL_BASE + uiDecal);
        return pkMap != nullptr ? pkMap->GetTexture() : nullptr;
    }
    static gfx::D3DCAPS9 TextureOpCaps(std::uint32_t uiBits)
    {
        gfx::D3DCAPS9 kCaps{};
        kCaps.TextureOpCaps = uiBits;
        return kCaps;
    }

    // Builds the passes for the current properties and effects.
    std::uint32_t Build()
    {
        const NiXform kWorld;
        const NiBoundSphere kBound;
        m_spShader->ResetPassCache();
        if (m_spShader->PreProcessPipeline(m_spShape, nullptr, m_spQuad->Get(), m_spState, m_spEffects, kWorld, kBound) != 0)
            return ABSENT;
        return m_spShader->UpdatePipeline(m_spShape, nullptr, m_spQuad->Get(), m_spState, m_spEffects, kWorld, kBound);
    }
    std::uint32_t Passes() const { return m_spShader->GetPassCount(); }
    std::uint32_t Stages(std::uint32_t uiPass) const { return m_spShader->GetPass(uiPass)->GetStageCount(); }
    NiD3DTextureStage* Stage(std::uint32_t uiPass, std::uint32_t uiStage) const
    {
        return m_spShader->GetPass(uiPass)->GetStage(uiStage);
    }
    std::uint32_t StageState(std::uint32_t uiPass, std::uint32_t uiStage, std::uint32_t uiState) const
    {
        std::uint32_t uiValue = ABSENT;
        bool bSave = false;
        NiD3DTextureStage* pkStage = Stage(uiPass, uiStage);
        if (pkStage == nullptr || !pkStage->GetStageGroup()->GetStageState(uiState, uiValue, bSave))
            return ABSENT;
        return uiValue;
    }
    std::uint32_t PassState(std::uint32_t uiPass, std::uint32_t uiState) const
    {
        const NiD3DRenderStateGroup* pkGroup = m_spShader->GetPass(uiPass)->GetRenderStateGroup();
        std::uint32_t uiValue = ABSENT;
        bool bSave = false;
        if (pkGroup == nullptr || !pkGroup->GetRenderState(uiState, uiValue, bSave))
            return ABSENT;
        return uiValue;
    }
    std::pair<std::uint32_t, std::uint32_t> Blend(std::uint32_t uiPass) const
    {
        return {PassState(uiPass, D3DRS_SRCBLEND), PassState(uiPass, D3DRS_DESTBLEND)};
    }
    // Colour and alpha operations of a stage.
    std::pair<std::uint32_t, std::uint32_t> Ops(std::uint32_t uiPass, std::uint32_t uiStage) const
    {
        return {StageState(uiPass, uiStage, D3DTSS_COLOROP), StageState(uiPass, uiStage, D3DTSS_ALPHAOP)};
    }

    // What the draws of the current passes set: blends, fog, and each
    // stage's texture, coordinates, operations, samplers and transform.
    std::vector<std::uint64_t> Describe() const
    {
        std::vector<std::uint64_t> kOut{Passes()};
        for (std::uint32_t uiPass = 0; uiPass < Passes(); ++uiPass)
        {
            kOut.insert(kOut.end(), {Blend(uiPass).first, Blend(uiPass).second, PassState(uiPass, D3DRS_FOGENABLE),
                                     PassState(uiPass, D3DRS_FOGCOLOR), Stages(uiPass)});
            for (std::uint32_t uiStage = 0; uiStage < Stages(uiPass); ++uiStage)
            {
                const NiD3DTextureStage* pkStage = Stage(uiPass, uiStage);
                kOut.push_back(reinterpret_cast<std::uintptr_t>(pkStage->GetTexture()));
                kOut.push_back(pkStage->GetTexCoordIndex());
                for (std::uint32_t uiState : {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_ALPHAOP,
                                              D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2, D3DTSS_TEXTURETRANSFORMFLAGS})
                    kOut.push_back(StageState(uiPass, uiStage, uiState));
                for (std::uint32_t uiSampler = 0; uiSampler < 7; ++uiSampler)
                {
                    std::uint32_t uiValue = ABSENT;
                    bool bSave = false;
                    pkStage->GetStageGroup()->GetSamplerState(uiSampler, uiValue, bSave);
                    kOut.push_back(uiValue);
                }
                // The matrix counts only while the transform is on.
                const bool bTransform = pkStage->GetTextureTransformEnabled();
                const gfx::D3DMATRIX& kMatrix = pkStage->GetTextureMatrix();
                kOut.push_back(bTransform);
                kOut.push_back(bTransform ? std::bit_cast<std::uint32_t>(kMatrix.m[2][0]) : 0);
                kOut.push_back(bTransform ? std::bit_cast<std::uint32_t>(kMatrix.m[2][1]) : 0);
            }
        }
        return kOut;
    }

    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    NiD3DDefaultShaderPtr m_spShader;
    NiRefPtr<NiTexturingProperty> m_spTexturing;
    NiRefPtr<NiAlphaProperty> m_spAlpha;
    NiRefPtr<NiFogProperty> m_spFog;
    NiPropertySetPtr m_spState;
    NiEffectSetPtr m_spEffects;
    NiRefPtr<NiTriShape> m_spShape;
    std::unique_ptr<QuadBuffers> m_spQuad;
    std::vector<NiSourceTexturePtr> m_kTextures;
    std::vector<NiRefPtr<NiTextureEffect>> m_kEffects;
};

using Pair = std::pair<std::uint32_t, std::uint32_t>;
const Pair NO_BLEND{ABSENT, ABSENT};
} // namespace

TEST_F(NiD3DDefaultShaderTest, TheRendererHoldsAnInitialisedDefaultShader)
{
    EXPECT_TRUE(m_spShader->IsInitialized());
    EXPECT_EQ(m_spShader->GetRenderer(), m_spRenderer.Get());
    // The device blends by texture alpha and bumps with luminance.
    EXPECT_TRUE(m_spShader->GetBlendTextureAlphaSupported());
    EXPECT_EQ(m_spShader->GetBumpMapOperation(), static_cast<std::uint32_t>(D3DTOP_BUMPENVMAPLUMINANCE));
    EXPECT_EQ(NiD3DPass::GetMaxTextureBlendStages(), 8u);
    EXPECT_EQ(NiD3DPass::GetMaxSimultaneousTextures(), 8u);
    EXPECT_EQ(NiD3DPass::GetMaxSamplers(), 16u);
    // Initialised again for the same renderer: nothing changes.
    EXPECT_TRUE(m_spShader->Initialize(m_spRenderer));
}

TEST_F(NiD3DDefaultShaderTest, ABaseMapAloneModulatesOrReplacesTheVertexColour)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 1u);
    EXPECT_EQ(Ops(0, 0), Pair(D3DTOP_MODULATE, D3DTOP_MODULATE));
    EXPECT_EQ(StageState(0, 0, D3DTSS_COLORARG1), D3DTA_TEXTURE);
    EXPECT_EQ(StageState(0, 0, D3DTSS_COLORARG2), D3DTA_DIFFUSE);
    EXPECT_EQ(StageState(0, 0, D3DTSS_ALPHAARG2), D3DTA_DIFFUSE);
    EXPECT_EQ(StageState(0, 0, D3DTSS_RESULTARG), D3DTA_CURRENT);
    EXPECT_EQ(Blend(0), NO_BLEND);

    m_spTexturing->SetApplyMode(0);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    EXPECT_EQ(Ops(0, 0), Pair(D3DTOP_SELECTARG1, D3DTOP_SELECTARG1));
}

TEST_F(NiD3DDefaultShaderTest, WithoutMapsOnlyTheVertexColourIsDrawn)
{
    m_spTexturing->SetApplyMode(0);
    ASSERT_EQ(Build(), 0u);
    EXPECT_EQ(Passes(), 0u);
    m_spTexturing->SetApplyMode(2);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 1u);
    EXPECT_EQ(Ops(0, 0), Pair(D3DTOP_SELECTARG1, D3DTOP_SELECTARG1));
    EXPECT_EQ(StageState(0, 0, D3DTSS_COLORARG1), D3DTA_DIFFUSE);
    EXPECT_EQ(StageState(0, 0, D3DTSS_ALPHAARG1), D3DTA_DIFFUSE);
    EXPECT_EQ(Stage(0, 0)->GetTexture(), nullptr);
}

TEST_F(NiD3DDefaultShaderTest, TwoTextureStagesSplitFourMapsIntoThreePassesAndFogAddsAFourth)
{
    NiD3DPass::SetMaxTextureBlendStages(2);
    NiD3DPass::SetMaxSimultaneousTextures(2);
    m_spTexturing->SetApplyMode(0);
    NiTextureMap* pkBase = SetMap(NiTexturingProperty::BASE_INDEX, 0xFF0000FF);
    NiTextureMap* pkDark = SetMap(NiTexturingProperty::DARK_INDEX, 0xFF00FF00);
    NiTextureMap* pkDetail = SetMap(NiTexturingProperty::DETAIL_INDEX, 0xFFFF0000);
    NiTextureMap* pkGlow = SetMap(NiTexturingProperty::GLOW_INDEX, 0xFF202020);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 3u);
    ASSERT_EQ(Stages(0), 1u);
    EXPECT_EQ(Stage(0, 0)->GetTexture(), pkDark->GetTexture());
    EXPECT_EQ(Blend(0), NO_BLEND);
    ASSERT_EQ(Stages(1), 2u);
    EXPECT_EQ(Stage(1, 0)->GetTexture(), pkBase->GetTexture());
    EXPECT_EQ(Ops(1, 0), Pair(D3DTOP_SELECTARG1, D3DTOP_SELECTARG1));
    EXPECT_EQ(Stage(1, 1)->GetTexture(), pkDetail->GetTexture());
    EXPECT_EQ(StageState(1, 1, D3DTSS_COLOROP), D3DTOP_MODULATE2X);
    EXPECT_EQ(Blend(1), Pair(D3DBLEND_ZERO, D3DBLEND_SRCCOLOR));
    EXPECT_EQ(PassState(1, D3DRS_ALPHABLENDENABLE), 1u);
    ASSERT_EQ(Stages(2), 1u);
    EXPECT_EQ(Stage(2, 0)->GetTexture(), pkGlow->GetTexture());
    EXPECT_EQ(StageState(2, 0, D3DTSS_COLOROP), D3DTOP_SELECTARG1);
    EXPECT_EQ(Blend(2), Pair(D3DBLEND_ONE, D3DBLEND_ONE));

    m_spFog->SetFog(true);
    m_spFog->SetFogColor(NiColorRGB(1.0f, 0.0f, 0.0f));
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 4u);
    EXPECT_EQ(m_spShader->GetPassFogFlag(0), 1u);
    EXPECT_EQ(m_spShader->GetPassFogFlag(1), 0u);
    EXPECT_EQ(m_spShader->GetPassFogFlag(2), 1u);
    EXPECT_EQ(PassState(0, D3DRS_FOGENABLE), 1u);
    EXPECT_EQ(PassState(0, D3DRS_FOGCOLOR), 0xFF000000u);
    EXPECT_EQ(PassState(1, D3DRS_FOGENABLE), 0u);
    EXPECT_EQ(PassState(1, D3DRS_FOGCOLOR), ABSENT);
    ASSERT_EQ(Stages(3), 1u);
    EXPECT_EQ(Stage(3, 0)->GetTexture(), nullptr); // no alpha: the base stays out
    EXPECT_EQ(StageState(3, 0, D3DTSS_COLOROP), D3DTOP_SELECTARG1);
    EXPECT_EQ(StageState(3, 0, D3DTSS_COLORARG1), D3DTA_TFACTOR);
    EXPECT_EQ(StageState(3, 0, D3DTSS_ALPHAOP), D3DTOP_SELECTARG1);
    // The alpha property's source function, though blending is off.
    EXPECT_EQ(Blend(3), Pair(D3DBLEND_SRCALPHA, D3DBLEND_ONE));
    EXPECT_EQ(PassState(3, D3DRS_TEXTUREFACTOR), 0xFF000000u);
    EXPECT_EQ(PassState(3, D3DRS_FOGENABLE), 1u);
    // The fog colour the cache holds, as the fog property sent it.
    EXPECT_EQ(PassState(3, D3DRS_FOGCOLOR), m_spRenderer->GetRenderState()->GetRenderState(D3DRS_FOGCOLOR));
    EXPECT_EQ(PassState(3, D3DRS_FOGCOLOR) & 0x00FFFFFFu, 0x00FF0000u);
}

TEST_F(NiD3DDefaultShaderTest, FogOverOnePassNeedsNoFixUp)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    m_spFog->SetFog(true);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    EXPECT_EQ(m_spShader->GetPass(0)->GetRenderStateGroup(), nullptr);
}

TEST_F(NiD3DDefaultShaderTest, AProjectedLightWithItsPlaneSharesThePassWithTheBase)
{
    NiRefPtr<NiTextureEffect> spLight = AddEffect(NiTextureEffect::PROJECTED_LIGHT, true);
    SetMap(NiTexturingProperty::BASE_INDEX);
    m_spTexturing->SetApplyMode(0);
    ASSERT_EQ(Build(), 0u);
    EXPECT_EQ(m_spShader->GetEffectCount(NiD3DDefaultShader::LIGHT_PLANE), 1u);
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 3u);
    EXPECT_EQ(Stage(0, 0)->GetTexture(), spLight->GetEffectTexture());
    EXPECT_EQ(Stage(0, 1)->GetTexture(), m_spRenderer->GetDefaultTexture());
    EXPECT_EQ(Ops(0, 1), Pair(D3DTOP_MODULATE, D3DTOP_SELECTARG2));
    EXPECT_EQ(Ops(0, 2), Pair(D3DTOP_MODULATE, D3DTOP_SELECTARG1));
    // Clipping plane z = 2: u = (z - 2) + 0.5 for the camera's position.
    NiD3DTextureStage* pkClip = Stage(0, 1);
    EXPECT_EQ(pkClip->GetTexCoordIndex(), D3DTSS_TCI_CAMERASPACEPOSITION);
    EXPECT_EQ(StageState(0, 1, D3DTSS_TEXTURETRANSFORMFLAGS), D3DTTFF_COUNT2);
    const D3DMATRIX& kC = m_spRenderer->GetInvView();
    const D3DMATRIX& kR = pkClip->GetTextureMatrix();
    for (int i = 0; i < 3; ++i)
        EXPECT_FLOAT_EQ(kR.m[i][0], kC.m[i][2]);
    EXPECT_FLOAT_EQ(kR.m[3][0], kC.m[3][2] + 0.5f - 2.0f);
}

TEST_F(NiD3DDefaultShaderTest, TwoPlaneLightsNeverShareAPass)
{
    AddEffect(NiTextureEffect::PROJECTED_LIGHT, true);
    AddEffect(NiTextureEffect::PROJECTED_LIGHT, true);
    SetMap(NiTexturingProperty::BASE_INDEX);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 3u);
    EXPECT_EQ(Stages(0), 2u);
    EXPECT_EQ(Stages(1), 2u);
    EXPECT_EQ(Blend(1), Pair(D3DBLEND_ONE, D3DBLEND_ONE));
    ASSERT_EQ(Stages(2), 1u);
    EXPECT_EQ(Blend(2), Pair(D3DBLEND_ZERO, D3DBLEND_SRCCOLOR));
    EXPECT_EQ(Stage(2, 0)->GetTexture(), m_spTexturing->GetMap(0)->GetTexture());
}

TEST_F(NiD3DDefaultShaderTest, AShadowWithItsPlaneUsesTheNegatedPlaneInADarkeningPass)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    m_spTexturing->SetApplyMode(0);
    NiRefPtr<NiTextureEffect> spShadow = AddEffect(NiTextureEffect::PROJECTED_SHADOW, true);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 2u);
    EXPECT_EQ(Blend(1), Pair(D3DBLEND_ZERO, D3DBLEND_SRCCOLOR));
    ASSERT_EQ(Stages(1), 2u);
    EXPECT_EQ(Stage(1, 0)->GetTexture(), spShadow->GetEffectTexture());
    EXPECT_EQ(StageState(1, 1, D3DTSS_COLOROP), D3DTOP_ADD);
    const D3DMATRIX& kC = m_spRenderer->GetInvView();
    const D3DMATRIX& kR = Stage(1, 1)->GetTextureMatrix();
    EXPECT_FLOAT_EQ(kR.m[2][0], -kC.m[2][2]);
    EXPECT_FLOAT_EQ(kR.m[3][0], -kC.m[3][2] + 0.5f + 2.0f);
}

TEST_F(NiD3DDefaultShaderTest, OnlyTheFirstEnvironmentMapIsDrawnAndGlossNeedsIt)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    SetMap(NiTexturingProperty::GLOSS_INDEX);
    SetMap(NiTexturingProperty::BUMP_INDEX);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u); // no environment effect: gloss and bump left out
    EXPECT_EQ(Stages(0), 1u);

    NiRefPtr<NiTextureEffect> spFirst = AddEffect(NiTextureEffect::ENVIRONMENT_MAP, false, 2);
    // An effect state keeps one environment map: a second list entry of
    // that mode is the next effect set's.
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 2u);
    EXPECT_EQ(Blend(1), Pair(D3DBLEND_ONE, D3DBLEND_ONE));
    // The device bumps: the bump map, the environment map, then gloss.
    ASSERT_EQ(Stages(1), 3u);
    EXPECT_EQ(StageState(1, 0, D3DTSS_COLOROP), static_cast<std::uint32_t>(D3DTOP_BUMPENVMAPLUMINANCE));
    EXPECT_EQ(Stage(1, 1)->GetTexture(), spFirst->GetEffectTexture());
    EXPECT_EQ(Stage(1, 1)->GetTexCoordIndex(), D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR);
    EXPECT_EQ(StageState(1, 1, D3DTSS_TEXTURETRANSFORMFLAGS), D3DTTFF_COUNT2);
    EXPECT_EQ(StageState(1, 2, D3DTSS_COLOROP), D3DTOP_MODULATE);

    // Without gloss the environment joins an open (ONE, ONE) pass: here the
    // first pass, whose blend always matches, after the bump map.
    m_spTexturing->SetMap(NiTexturingProperty::GLOSS_INDEX, nullptr);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 3u);
    EXPECT_EQ(StageState(0, 2, D3DTSS_COLOROP), D3DTOP_ADD);
}

TEST_F(NiD3DDefaultShaderTest, TheTextureOpCapsChooseDecalBlendingAndTheBumpOperation)
{
    constexpr std::uint32_t BLEND_TEXTURE_ALPHA = 1u << 12, BUMP = 1u << 21, BUMP_LUMINANCE = 1u << 22;
    // Caps without a bump bit keep the operation read from the device at start.
    m_spShader->ReadTextureOpCaps(TextureOpCaps(BLEND_TEXTURE_ALPHA));
    EXPECT_TRUE(m_spShader->GetBlendTextureAlphaSupported());
    EXPECT_EQ(m_spShader->GetBumpMapOperation(), static_cast<std::uint32_t>(D3DTOP_BUMPENVMAPLUMINANCE));
    m_spShader->ReadTextureOpCaps(TextureOpCaps(BUMP));
    EXPECT_FALSE(m_spShader->GetBlendTextureAlphaSupported());
    EXPECT_EQ(m_spShader->GetBumpMapOperation(), static_cast<std::uint32_t>(D3DTOP_BUMPENVMAP));
    m_spShader->ReadTextureOpCaps(TextureOpCaps(BUMP | BUMP_LUMINANCE));
    EXPECT_EQ(m_spShader->GetBumpMapOperation(), static_cast<std::uint32_t>(D3DTOP_BUMPENVMAPLUMINANCE));
    // Neither bump bit: the operation read before stays.
    m_spShader->ReadTextureOpCaps(TextureOpCaps(0));
    EXPECT_EQ(m_spShader->GetBumpMapOperation(), static_cast<std::uint32_t>(D3DTOP_BUMPENVMAPLUMINANCE));
}

TEST_F(NiD3DDefaultShaderTest, ABumpMapPrecedesTheEnvironmentMapWhenTheDeviceCanBump)
{
    m_spShader->ReadTextureOpCaps(TextureOpCaps((1u << 12) | (1u << 22)));
    m_spTexturing->SetApplyMode(0);
    NiTextureMap* pkBase = SetMap(NiTexturingProperty::BASE_INDEX);
    auto* pkBump = static_cast<NiBumpMap*>(SetMap(NiTexturingProperty::BUMP_INDEX));
    pkBump->m_fBumpMat01 = 0.25f;
    pkBump->m_fLumaScale = 2.0f;
    pkBump->m_fLumaOffset = -0.5f;
    NiRefPtr<NiTextureEffect> spEnvironment = AddEffect(NiTextureEffect::ENVIRONMENT_MAP, false, 2);
    ASSERT_EQ(Build(), 0u);
    // The base pass stays open (no gloss map, room for both): base, bump, environment.
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 3u);
    EXPECT_EQ(Stage(0, 0)->GetTexture(), pkBase->GetTexture());
    EXPECT_EQ(Stage(0, 1)->GetTexture(), pkBump->GetTexture());
    EXPECT_EQ(StageState(0, 1, D3DTSS_COLOROP), static_cast<std::uint32_t>(D3DTOP_BUMPENVMAPLUMINANCE));
    EXPECT_EQ(StageState(0, 1, D3DTSS_BUMPENVMAT00), std::bit_cast<std::uint32_t>(0.5f));
    EXPECT_EQ(StageState(0, 1, D3DTSS_BUMPENVMAT01), std::bit_cast<std::uint32_t>(0.25f));
    EXPECT_EQ(StageState(0, 1, D3DTSS_BUMPENVMAT11), std::bit_cast<std::uint32_t>(0.5f));
    EXPECT_EQ(StageState(0, 1, D3DTSS_BUMPENVLSCALE), std::bit_cast<std::uint32_t>(2.0f));
    EXPECT_EQ(StageState(0, 1, D3DTSS_BUMPENVLOFFSET), std::bit_cast<std::uint32_t>(-0.5f));
    EXPECT_EQ(Stage(0, 2)->GetTexture(), spEnvironment->GetEffectTexture());
    EXPECT_EQ(StageState(0, 2, D3DTSS_COLOROP), D3DTOP_ADD);
}

// ---- decals ----------------------------------------------------------------------------------------

TEST_F(NiD3DDefaultShaderTest, DecalsJoinTheOpenPassBlendedByTheirAlpha)
{
    m_spTexturing->SetApplyMode(0);
    SetMap(NiTexturingProperty::BASE_INDEX);
    // Slot 7's map has no texture: it neither counts nor takes a stage.
    LoadWithDecals({true, false, true});
    ASSERT_EQ(m_spTexturing->GetDecalMapCount(), 3u);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 3u);
    EXPECT_EQ(Stage(0, 0)->GetTexture(), m_spTexturing->GetMap(NiTexturingProperty::BASE_INDEX)->GetTexture());
    EXPECT_EQ(Ops(0, 0), Pair(D3DTOP_SELECTARG1, D3DTOP_SELECTARG1));
    EXPECT_EQ(Stage(0, 1)->GetTexture(), DecalTexture(0));
    EXPECT_EQ(Ops(0, 1), Pair(D3DTOP_BLENDTEXTUREALPHA, D3DTOP_SELECTARG2));
    EXPECT_EQ(Stage(0, 2)->GetTexture(), DecalTexture(2));
    EXPECT_EQ(Ops(0, 2), Pair(D3DTOP_BLENDTEXTUREALPHA, D3DTOP_SELECTARG2));
    EXPECT_EQ(Blend(0), NO_BLEND);
}

TEST_F(NiD3DDefaultShaderTest, DecalsBeyondTheBudgetShareBlendedPasses)
{
    NiD3DPass::SetMaxTextureBlendStages(2);
    NiD3DPass::SetMaxSimultaneousTextures(2);
    m_spTexturing->SetApplyMode(0);
    SetMap(NiTexturingProperty::BASE_INDEX);
    LoadWithDecals({true, true, true});
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 2u);
    // The base and the first decal fill the first pass.
    ASSERT_EQ(Stages(0), 2u);
    EXPECT_EQ(Stage(0, 1)->GetTexture(), DecalTexture(0));
    EXPECT_EQ(StageState(0, 1, D3DTSS_COLOROP), D3DTOP_BLENDTEXTUREALPHA);
    // The next opens a pass blended by its alpha; the last joins it.
    ASSERT_EQ(Stages(1), 2u);
    EXPECT_EQ(Blend(1), Pair(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(PassState(1, D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(Stage(1, 0)->GetTexture(), DecalTexture(1));
    EXPECT_EQ(Ops(1, 0), Pair(D3DTOP_MODULATE, D3DTOP_SELECTARG1));
    EXPECT_EQ(StageState(1, 0, D3DTSS_COLORARG2), static_cast<std::uint32_t>(D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE));
    EXPECT_EQ(Stage(1, 1)->GetTexture(), DecalTexture(2));
    EXPECT_EQ(Ops(1, 1), Pair(D3DTOP_BLENDTEXTUREALPHA, D3DTOP_ADD));
}

TEST_F(NiD3DDefaultShaderTest, EachDecalGetsItsOwnPassWithAnApplyModeOrWithoutTextureAlphaBlending)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    LoadWithDecals({true, true});
    // Apply mode 2: each decal modulates the vertex colour in a pass of its own.
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 3u);
    EXPECT_EQ(Stages(0), 1u);
    for (std::uint32_t uiPass = 1; uiPass < 3; ++uiPass)
    {
        SCOPED_TRACE(uiPass);
        ASSERT_EQ(Stages(uiPass), 1u);
        EXPECT_EQ(Stage(uiPass, 0)->GetTexture(), DecalTexture(uiPass - 1));
        EXPECT_EQ(Blend(uiPass), Pair(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA));
        EXPECT_EQ(Ops(uiPass, 0), Pair(D3DTOP_MODULATE, D3DTOP_MODULATE));
        EXPECT_EQ(StageState(uiPass, 0, D3DTSS_COLORARG2), D3DTA_DIFFUSE);
        EXPECT_EQ(StageState(uiPass, 0, D3DTSS_ALPHAARG2), D3DTA_DIFFUSE);
    }

    // Apply mode 0 on a device without blending by texture alpha: the
    // decal's own colour and alpha, one pass each.
    m_spShader->ReadTextureOpCaps(TextureOpCaps(0));
    m_spTexturing->SetApplyMode(0);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 3u);
    for (std::uint32_t uiPass = 1; uiPass < 3; ++uiPass)
    {
        SCOPED_TRACE(uiPass);
        ASSERT_EQ(Stages(uiPass), 1u);
        EXPECT_EQ(Stage(uiPass, 0)->GetTexture(), DecalTexture(uiPass - 1));
        EXPECT_EQ(Blend(uiPass), Pair(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA));
        EXPECT_EQ(Ops(uiPass, 0), Pair(D3DTOP_SELECTARG1, D3DTOP_SELECTARG1));
    }
}

TEST_F(NiD3DDefaultShaderTest, BlendedGeometryDrawsDecalsInPassesOfTheirOwn)
{
    m_spTexturing->SetApplyMode(0);
    SetMap(NiTexturingProperty::BASE_INDEX);
    LoadWithDecals({true});
    m_spAlpha->SetAlphaBlending(true);
    m_spAlpha->SetSrcBlendMode(NiAlphaProperty::ALPHA_SRCALPHA);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 2u);
    ASSERT_EQ(Stages(1), 1u);
    EXPECT_EQ(Stage(1, 0)->GetTexture(), DecalTexture(0));
    EXPECT_EQ(Blend(1), Pair(D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA));
    EXPECT_EQ(Ops(1, 0), Pair(D3DTOP_MODULATE, D3DTOP_SELECTARG1));
}

TEST_F(NiD3DDefaultShaderTest, WithoutTextureSetsDecalsStillDrawFromSetZero)
{
    m_spShape = MakeShape(0);
    m_spTexturing->SetApplyMode(0);
    SetMap(NiTexturingProperty::BASE_INDEX);
    LoadWithDecals({true});
    m_spTexturing->GetMap(NiTexturingProperty::DECAL_BASE)->SetTextureIndex(3);
    ASSERT_EQ(Build(), 0u);
    // The base map is left out; the decal alone makes the one pass.
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 1u);
    EXPECT_EQ(Stage(0, 0)->GetTexture(), DecalTexture(0));
    EXPECT_EQ(Stage(0, 0)->GetTexCoordIndex(), 0u);
}

TEST_F(NiD3DDefaultShaderTest, EffectsThatCannotBeDrawnAreLeftOut)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    NiRefPtr<NiTextureEffect> spOff = AddEffect(NiTextureEffect::PROJECTED_LIGHT, false);
    spOff->SetSwitch(false);
    NiRefPtr<NiTextureEffect> spBare = AddEffect(NiTextureEffect::PROJECTED_LIGHT, false);
    spBare->SetEffectTexture(nullptr);
    NiRefPtr<NiTextureEffect> spOddMode = AddEffect(NiTextureEffect::PROJECTED_LIGHT, false, 7);
    NiRefPtr<NiTextureEffect> spOddType = AddEffect(NiTextureEffect::PROJECTED_LIGHT, false);
    spOddType->SetTextureType(9);
    ASSERT_EQ(Build(), 0u);
    for (std::uint32_t ui = 0; ui < NiD3DDefaultShader::LIST_COUNT; ++ui)
        EXPECT_EQ(m_spShader->GetEffectCount(ui), 0u) << ui;
    ASSERT_EQ(Passes(), 1u);
    EXPECT_EQ(Stages(0), 1u);

    // A light in list B adds to the base in the same pass.
    AddEffect(NiTextureEffect::PROJECTED_LIGHT, false, 1);
    ASSERT_EQ(Build(), 0u);
    EXPECT_EQ(m_spShader->GetEffectCount(NiD3DDefaultShader::LIGHT), 1u);
    ASSERT_EQ(Stages(0), 2u);
    EXPECT_EQ(StageState(0, 0, D3DTSS_TEXTURETRANSFORMFLAGS), NiDX9Renderer::GetProjectedTextureFlags());
    EXPECT_EQ(StageState(0, 1, D3DTSS_COLOROP), D3DTOP_MODULATE);
}

TEST_F(NiD3DDefaultShaderTest, TextureSetsBoundTheMapsAndTheirIndices)
{
    NiTextureMap* pkBase = SetMap(NiTexturingProperty::BASE_INDEX);
    pkBase->SetTextureIndex(11);
    m_spShape = MakeShape(12);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    EXPECT_EQ(Stage(0, 0)->GetTexCoordIndex(), 7u); // more than 8 sets count as 8

    // No sets: the standard maps stay out; the vertex colour is drawn.
    m_spShape = MakeShape(0);
    ASSERT_EQ(Build(), 0u);
    ASSERT_EQ(Passes(), 1u);
    ASSERT_EQ(Stages(0), 1u);
    EXPECT_EQ(Stage(0, 0)->GetTexture(), nullptr);
}

TEST_F(NiD3DDefaultShaderTest, StageLimitsBelowTwoEndTheBuildInsteadOfLoopingForEver)
{
    NiD3DPass::SetMaxTextureBlendStages(1);
    NiD3DPass::SetMaxSimultaneousTextures(1);
    SetMap(NiTexturingProperty::BASE_INDEX);
    SetMap(NiTexturingProperty::DARK_INDEX);
    m_spAlpha->SetAlphaTesting(true);
    EXPECT_EQ(Build(), 0xFFFFFFFFu);
    EXPECT_EQ(Passes(), 0u);
}

TEST_F(NiD3DDefaultShaderTest, MissingInputsBuildNothing)
{
    const NiXform kWorld;
    const NiBoundSphere kBound;
    EXPECT_EQ(m_spShader->UpdatePipeline(m_spShape, nullptr, nullptr, m_spState, nullptr, kWorld, kBound), 0xFFFFFFFFu);
    EXPECT_EQ(m_spShader->UpdatePipeline(m_spShape, nullptr, m_spQuad->Get(), nullptr, nullptr, kWorld, kBound),
              0xFFFFFFFFu);
    NiDX9GeometryBufferData kEmpty;
    EXPECT_EQ(m_spShader->UpdatePipeline(nullptr, nullptr, &kEmpty, m_spState, nullptr, kWorld, kBound), 0xFFFFFFFFu);
    EXPECT_EQ(m_spShader->UpdatePipeline(nullptr, nullptr, m_spQuad->Get(), m_spState, nullptr, kWorld, kBound), 0u);
}

TEST_F(NiD3DDefaultShaderTest, LightingIsPutBackAndTheFrameForgetsTheEffects)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    AddEffect(NiTextureEffect::PROJECTED_LIGHT, false);
    NiD3DRenderState* pkCache = m_spRenderer->GetRenderState();
    DrawBatch(*m_spShader, m_pkDevice, m_spShape, m_spQuad->Get(), m_spState, m_spEffects);
    EXPECT_EQ(m_spShader->GetCachedEffectState(), m_spEffects.Get());
    const std::uint32_t uiLighting = pkCache->GetRenderState(D3DRS_LIGHTING);
    pkCache->SetRenderState(D3DRS_LIGHTING, uiLighting ^ 1);
    const NiXform kWorld;
    const NiBoundSphere kBound;
    m_spShader->PreProcessPipeline(m_spShape, nullptr, m_spQuad->Get(), m_spState, m_spEffects, kWorld, kBound);
    const std::uint32_t uiDuring = pkCache->GetRenderState(D3DRS_LIGHTING);
    pkCache->SetRenderState(D3DRS_LIGHTING, uiDuring ^ 1);
    m_spShader->PostProcessPipeline(m_spShape, nullptr, m_spQuad->Get(), m_spState, m_spEffects, kWorld, kBound);
    EXPECT_EQ(pkCache->GetRenderState(D3DRS_LIGHTING), uiDuring);

    ASSERT_TRUE(m_spRenderer->BeginScene());
    EXPECT_EQ(m_spShader->GetCachedEffectState(), nullptr);
    EXPECT_EQ(m_spShader->GetEffectCount(NiD3DDefaultShader::LIGHT), 0u);
    m_spRenderer->EndScene();
}

TEST_F(NiD3DDefaultShaderTest, WarmBatchesAllocateNothing)
{
    SetMap(NiTexturingProperty::BASE_INDEX);
    SetMap(NiTexturingProperty::DARK_INDEX);
    SetMap(NiTexturingProperty::DETAIL_INDEX);
    m_spFog->SetFog(true);
    NiD3DPass::SetMaxTextureBlendStages(2);
    NiD3DPass::SetMaxSimultaneousTextures(2);
    for (int i = 0; i < 20; ++i)
        DrawBatch(*m_spShader, m_pkDevice, m_spShape, m_spQuad->Get(), m_spState, m_spEffects);
    ASSERT_GE(Passes(), 3u);
    // The null device itself allocates now and then on texture and state
    // calls (its records grow by doubling); the same calls without the
    // shader set the allowance.
    NiTexture* pkTexture = m_spTexturing->GetMap(0)->GetTexture();
    bool bChanged = false;
    bool bMipmapped = false;
    gfx::IDirect3DBaseTexture9* pkD3DTexture =
        m_spRenderer->GetTextureManager()->GetD3DTextureForRendering(pkTexture, bChanged, bMipmapped);
    std::uint64_t uiDeviceOwn = 0;
    {
        heap_test::HeapCounter kHeap;
        for (int i = 0; i < 1000 * 4; ++i)
        {
            m_pkDevice->SetTexture(0, pkD3DTexture);
            m_pkDevice->SetTexture(0, nullptr);
            m_pkDevice->SetSamplerState(0, 5, i & 1);
            m_pkDevice->SetRenderState(gfx::D3DRS_FOGENABLE, i & 1);
        }
        uiDeviceOwn = kHeap.GetCount();
    }
    std::uint32_t uiDrawn = 0;
    std::uint64_t uiShaderOwn = 0;
    {
        heap_test::HeapCounter kHeap;
        // The shader's side of each batch; the null device's own draw
        // records are the platform's.
        for (int i = 0; i < 1000; ++i)
            uiDrawn += DrawBatch(*m_spShader, nullptr, m_spShape, m_spQuad->Get(), m_spState, m_spEffects);
        uiShaderOwn = kHeap.GetCount();
    }
    EXPECT_LE(uiShaderOwn, uiDeviceOwn + 2);
    EXPECT_EQ(uiDrawn, 1000u * Passes());
    EXPECT_EQ(NiD3DPass::GetPool()->GetItemCount(), 8u);
}

// A batch takes kept passes only while every value their build read is
// unchanged: after each change the passes differ from before and equal what
// a build from nothing gives.
TEST_F(NiD3DDefaultShaderTest, KeptPassesFollowEveryChangeOfTheValuesTheyWereBuiltFrom)
{
    NiTexture* pkBaseTexture = Texture(0xFF102030);
    NiTexture* pkDarkTexture = Texture(0xFF708090);
    NiTexture* pkDetailTexture = Texture(0xFF405060);
    NiTextureMap* pkBase = nullptr;
    NiTextureMap* pkDetail = nullptr;
    auto Baseline = [&] {
        m_spTexturing = new NiTexturingProperty;
        m_spState->SetProperty(m_spTexturing);
        pkBase = SetMap(NiTexturingProperty::BASE_INDEX);
        pkBase->SetTexture(pkBaseTexture);
        pkBase->SetTextureTransform(std::make_unique<NiTextureTransform>());
        SetMap(NiTexturingProperty::DARK_INDEX)->SetTexture(pkDarkTexture);
        pkDetail = SetMap(NiTexturingProperty::DETAIL_INDEX);
        pkDetail->SetTexture(pkDetailTexture);
        m_spAlpha->SetFlags(0);
        m_spFog->SetFog(false);
        m_spFog->SetFogColor(NiColorRGB{0.0f, 0.0f, 1.0f});
        NiD3DPass::SetMaxTextureBlendStages(2);
        NiD3DPass::SetMaxSimultaneousTextures(2);
        m_spShape = MakeShape(2);
    };
    struct Change
    {
        const char* m_pcName;
        std::function<void()> m_fnPrepare;
        std::function<void()> m_fnChange;
    };
    const std::vector<Change> kChanges = {
        {"base texture", nullptr, [&] { pkBase->SetTexture(Texture(0xFF0000FF)); }},
        {"clamp", nullptr, [&] { pkBase->SetClampMode(NiTextureMap::CLAMP_S_CLAMP_T); }},
        {"filter", nullptr, [&] { pkBase->SetFilterMode(NiTextureMap::FILTER_NEAREST); }},
        {"coordinate set", nullptr, [&] { pkDetail->SetTextureIndex(1); }},
        {"transform moved", nullptr, [&] { pkBase->GetTextureTransform()->SetTranslate(NiVec2(0.25f, 0.5f)); }},
        {"transform removed", nullptr, [&] { pkBase->SetTextureTransform(nullptr); }},
        {"apply mode 0", nullptr, [&] { m_spTexturing->SetApplyMode(0); }},
        {"glow map", nullptr, [&] { SetMap(NiTexturingProperty::GLOW_INDEX); }},
        {"no detail texture", nullptr, [&] { pkDetail->SetTexture(nullptr); }},
        {"alpha test", nullptr, [&] { m_spAlpha->SetAlphaTesting(true); }},
        {"alpha blending", nullptr,
         [&] { m_spAlpha->SetAlphaBlending(true), m_spAlpha->SetSrcBlendMode(NiAlphaProperty::ALPHA_SRCALPHA); }},
        {"fog", nullptr, [&] { m_spFog->SetFog(true); }},
        {"fog colour", [&] { m_spFog->SetFog(true); },
         [&] { m_spFog->SetFogColor(NiColorRGB{0.0f, 1.0f, 0.0f}); }},
        {"stage limits", nullptr, [&] { NiD3DPass::SetMaxTextureBlendStages(4), NiD3DPass::SetMaxSimultaneousTextures(4); }},
        {"texture sets", nullptr, [&] { m_spShape = MakeShape(0); }},
        {"another property", nullptr, [&] { m_spState->SetProperty(new NiTexturingProperty); }},
    };
    for (const Change& kChange : kChanges)
    {
        SCOPED_TRACE(kChange.m_pcName);
        Baseline();
        if (kChange.m_fnPrepare)
            kChange.m_fnPrepare();
        ASSERT_EQ(Build(), 0u);
        const std::vector<std::uint64_t> kBefore = Describe();
        const NiD3DPass* pkBefore = m_spShader->GetPass(0);
        ASSERT_EQ(Build(), 0u);
        EXPECT_EQ(m_spShader->GetPass(0), pkBefore); // unchanged: kept
        kChange.m_fnChange();
        ASSERT_EQ(Build(), 0u);
        const std::vector<std::uint64_t> kKept = Describe();
        EXPECT_NE(kKept, kBefore);
        m_spShader->ForgetBuilds();
        ASSERT_EQ(Build(), 0u);
        EXPECT_EQ(kKept, Describe());
    }
}

TEST_F(NiD3DDefaultShaderTest, BuildsAreSharedByEqualStatesLastAFrameUnusedAndNeverKeptWithEffects)
{
    NiTexture* pkTexture = Texture(0xFF808080);
    SetMap(NiTexturingProperty::BASE_INDEX)->SetTexture(pkTexture);
    ASSERT_EQ(Build(), 0u);
    const NiD3DPass* pkFirst = m_spShader->GetPass(0);
    EXPECT_EQ(m_spShader->GetKeptBuildCount(), 1u);

    // Other properties of equal values share the build.
    NiRefPtr<NiTexturingProperty> spOther = new NiTexturingProperty;
    spOther->SetMap(NiTexturingProperty::BASE_INDEX, new NiTextureMap(pkTexture));
    NiPropertySetPtr spOtherState = new NiPropertySet;
    spOtherState->SetProperty(spOther);
    spOtherState->SetProperty(new NiAlphaProperty);
    spOtherState->SetProperty(new NiFogProperty);
    DrawBatch(*m_spShader, m_pkDevice, m_spShape, m_spQuad->Get(), spOtherState, m_spEffects);
    EXPECT_EQ(m_spShader->GetPass(0), pkFirst);
    EXPECT_EQ(m_spShader->GetKeptBuildCount(), 1u);

    // Used in the frame before: kept; unused for a whole frame: let go.
    m_spShader->ResetPassCache();
    EXPECT_EQ(m_spShader->GetKeptBuildCount(), 1u);
    m_spShader->ResetPassCache();
    EXPECT_EQ(m_spShader->GetKeptBuildCount(), 0u);

    // Texture effects make the passes depend on the camera: built each time.
    AddEffect(NiTextureEffect::PROJECTED_LIGHT, false);
    ASSERT_EQ(Build(), 0u);
    EXPECT_EQ(m_spShader->GetEffectCount(NiD3DDefaultShader::LIGHT), 1u);
    EXPECT_EQ(m_spShader->GetKeptBuildCount(), 0u);
}
} // namespace shader_test
