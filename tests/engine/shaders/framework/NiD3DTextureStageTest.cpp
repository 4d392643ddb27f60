#include "engine/shaders/framework/NiD3DTextureStage.h"

#include "engine/render/NiDX9TextureData.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiTexturingProperty.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <cmath>

namespace shader_test
{
namespace
{
using Kind = gfx::StateCall::Kind;

class NiD3DTextureStageTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_pkCache = m_spRenderer->GetRenderState();
        m_pkDevice->ClearStateCalls();
        m_pkDevice->SetCallRecording(true);
    }
    // (kind, stage, state, value) of every stage and sampler call since the last look.
    std::vector<std::array<std::uint32_t, 4>> TakeStageCalls()
    {
        std::vector<std::array<std::uint32_t, 4>> kCalls;
        for (const gfx::StateCall& k : m_pkDevice->StateCalls())
        {
            if (k.kind == Kind::SetTextureStageState)
                kCalls.push_back({0, k.index, k.type, k.value});
            else if (k.kind == Kind::SetSamplerState)
                kCalls.push_back({1, k.index, k.type, k.value});
        }
        m_pkDevice->ClearStateCalls();
        return kCalls;
    }
    gfx::D3DMATRIX Transform(std::uint32_t uiStage)
    {
        gfx::D3DMATRIX k{};
        m_pkDevice->GetTransform(gfx::D3DTS_TEXTURE0 + uiStage, &k);
        return k;
    }
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
    NiD3DRenderState* m_pkCache = nullptr;
};

gfx::D3DMATRIX Matrix(std::initializer_list<float> kValues)
{
    gfx::D3DMATRIX k{};
    int i = 0;
    for (float f : kValues)
    {
        k.m[i / 4][i % 4] = f;
        ++i;
    }
    return k;
}

void ExpectMatrix(const gfx::D3DMATRIX& kActual, const gfx::D3DMATRIX& kExpected)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(kActual.m[i][j], kExpected.m[i][j], 1e-5f) << "[" << i << "][" << j << "]";
}
} // namespace

TEST_F(NiD3DTextureStageTest, AStateLivesInOneSetAndIsSentUnsaved)
{
    NiD3DTextureStageGroup kGroup;
    kGroup.SetStageState(gfx::D3DTSS_COLOROP, gfx::D3DTOP_ADD, true);
    EXPECT_EQ(kGroup.GetSavedStageStateCount(), 1u);
    kGroup.SetStageState(gfx::D3DTSS_COLOROP, gfx::D3DTOP_MODULATE, false);
    EXPECT_EQ(kGroup.GetSavedStageStateCount(), 0u);
    EXPECT_EQ(kGroup.GetUnsavedStageStateCount(), 1u);
    std::uint32_t uiValue = 0;
    bool bSave = true;
    ASSERT_TRUE(kGroup.GetStageState(gfx::D3DTSS_COLOROP, uiValue, bSave));
    EXPECT_EQ(uiValue, gfx::D3DTOP_MODULATE);
    EXPECT_FALSE(bSave);
    kGroup.SetStageState(33, 1, true); // beyond the states: ignored
    EXPECT_FALSE(kGroup.GetStageState(33, uiValue, bSave));
    kGroup.SetStageState(12, 5, true); // unnamed numbers pass unchanged
    kGroup.SetSamplerState(13, 7, false);
    kGroup.SetSamplerState(0, gfx::D3DTADDRESS_CLAMP, true);
    kGroup.SetSamplerState(14, 1, false);
    EXPECT_EQ(kGroup.GetUnsavedSamplerStateCount(), 1u);

    TakeStageCalls();
    EXPECT_EQ(kGroup.SetToDevice(1), 0u);
    // Stage states ascending, then samplers 0-13; 13 is kept by the cache only.
    const std::vector<std::array<std::uint32_t, 4>> kExpected = {
        {0, 1, gfx::D3DTSS_COLOROP, gfx::D3DTOP_MODULATE}, {0, 1, 12, 5}, {1, 1, gfx::D3DSAMP_ADDRESSU, 3}};
    EXPECT_EQ(TakeStageCalls(), kExpected);
    EXPECT_EQ(m_pkCache->GetSamplerState(1, 13), 7u);

    // At or above the blend stages only the samplers go.
    NiD3DPass::SetMaxTextureBlendStages(1);
    kGroup.SetSamplerState(0, gfx::D3DTADDRESS_WRAP, false);
    kGroup.SetStageState(gfx::D3DTSS_COLOROP, gfx::D3DTOP_ADD, false);
    kGroup.SetToDevice(1);
    EXPECT_EQ(TakeStageCalls(), (std::vector<std::array<std::uint32_t, 4>>{{1, 1, gfx::D3DSAMP_ADDRESSU, 1}}));

    kGroup.RemoveAllStageStates();
    kGroup.RemoveAllSamplerStates();
    EXPECT_EQ(kGroup.GetUnsavedStageStateCount() + kGroup.GetSavedSamplerStateCount(), 0u);
}

// A group applied again to the same stage may skip its states only while the
// cache still holds them: every change since, by anyone, is sent again.
TEST_F(NiD3DTextureStageTest, AGroupAppliedAgainRestoresWhatChangedSinceItsLastApply)
{
    NiD3DPass::SetMaxTextureBlendStages(2);
    NiD3DTextureStageGroup kGroup;
    kGroup.SetStageState(gfx::D3DTSS_COLOROP, gfx::D3DTOP_MODULATE, false);
    kGroup.SetSamplerState(0, gfx::D3DTADDRESS_CLAMP, false);
    auto Op = [this](std::uint32_t uiStage) { return m_pkCache->GetTextureStageState(uiStage, gfx::D3DTSS_COLOROP); };
    kGroup.SetToDevice(0);
    EXPECT_EQ(Op(0), gfx::D3DTOP_MODULATE);
    TakeStageCalls();
    kGroup.SetToDevice(0);
    EXPECT_TRUE(TakeStageCalls().empty());

    m_pkCache->SetTextureStageState(0, gfx::D3DTSS_COLOROP, gfx::D3DTOP_ADD, false);
    kGroup.SetToDevice(0);
    EXPECT_EQ(Op(0), gfx::D3DTOP_MODULATE);
    m_pkCache->SetSamplerState(0, 0, gfx::D3DTADDRESS_WRAP, false);
    kGroup.SetToDevice(0);
    EXPECT_EQ(m_pkCache->GetSamplerState(0, 0), gfx::D3DTADDRESS_CLAMP);
    NiD3DTextureStageGroup kOther;
    kOther.SetStageState(gfx::D3DTSS_COLOROP, gfx::D3DTOP_SELECTARG1, false);
    kOther.SetToDevice(0);
    kGroup.SetToDevice(0);
    EXPECT_EQ(Op(0), gfx::D3DTOP_MODULATE);
    // Its own change, another stage, fewer blend stages.
    kGroup.SetStageState(gfx::D3DTSS_COLOROP, gfx::D3DTOP_SUBTRACT, false);
    kGroup.SetToDevice(0);
    EXPECT_EQ(Op(0), gfx::D3DTOP_SUBTRACT);
    kGroup.SetToDevice(1);
    EXPECT_EQ(Op(1), gfx::D3DTOP_SUBTRACT);
    m_pkCache->SetTextureStageState(1, gfx::D3DTSS_COLOROP, gfx::D3DTOP_ADD, false);
    NiD3DPass::SetMaxTextureBlendStages(1);
    kGroup.SetToDevice(1);
    EXPECT_EQ(Op(1), gfx::D3DTOP_ADD); // at or above the blend stages: samplers only
    NiD3DPass::SetMaxTextureBlendStages(2);
    kGroup.SetToDevice(1);
    EXPECT_EQ(Op(1), gfx::D3DTOP_SUBTRACT);

    // Disabling from a stage: again after any change above it.
    NiD3DTextureStage::DisableStagesFrom(1);
    EXPECT_EQ(Op(1), gfx::D3DTOP_DISABLE);
    m_pkCache->SetTextureStageState(1, gfx::D3DTSS_ALPHAOP, gfx::D3DTOP_MODULATE, false);
    NiD3DTextureStage::DisableStagesFrom(1);
    EXPECT_EQ(m_pkCache->GetTextureStageState(1, gfx::D3DTSS_ALPHAOP), gfx::D3DTOP_DISABLE);
    gfx::IDirect3DTexture9* pkTexture = nullptr;
    ASSERT_EQ(m_pkDevice->CreateTexture(4, 4, 1, 0, gfx::D3DFMT_A8R8G8B8, gfx::D3DPOOL_MANAGED, &pkTexture, nullptr),
              gfx::D3D_OK);
    m_pkCache->SetTexture(1, pkTexture);
    NiD3DTextureStage::DisableStagesFrom(1);
    EXPECT_EQ(m_pkCache->GetTexture(1), nullptr);
    pkTexture->Release();
}

TEST_F(NiD3DTextureStageTest, TheSelectorPicksTheMap)
{
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
    std::vector<NiTextureMap*> kMaps;
    for (std::uint32_t ui = 0; ui < 8; ++ui)
    {
        auto* pkMap = ui == NiTexturingProperty::BUMP_INDEX ? new NiBumpMap : new NiTextureMap;
        spTexturing->SetMap(ui, pkMap);
        kMaps.push_back(pkMap);
    }
    spTexturing->SetShaderMap(0, new NiShaderMap(4));
    for (std::uint32_t uiMap = 2; uiMap <= 7; ++uiMap)
        EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(uiMap << 20, spTexturing), kMaps[uiMap - 2]) << uiMap;
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(1u << 20, spTexturing), nullptr);
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(8u << 20, spTexturing), nullptr);
    // Decals: 8 slots hold decals 0 and 1; decal 2 lies beyond.
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(0x01000000 | 1, spTexturing), kMaps[7]);
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(0x01000000 | 2, spTexturing), nullptr);
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(0x02000000, spTexturing), spTexturing->GetArrayMapAt(0));
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(0x02000000 | 1, spTexturing), nullptr);
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(0x03000000, spTexturing), nullptr);
    // Fewer than six maps: no decal number wraps into a valid one.
    NiRefPtr<NiTexturingProperty> spShort = new NiTexturingProperty;
    spShort->SetMap(0, new NiTextureMap);
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(0x01000000 | 0xFFFF, spShort), nullptr);
    EXPECT_EQ(NiD3DTextureStage::GetMapFromSelector(0x01000000, spShort), nullptr);
}

TEST_F(NiD3DTextureStageTest, ApplyingBindsTheMapsTextureIndexAndSamplers)
{
    NiRefPtr<NiTexturingProperty> spTexturing = new NiTexturingProperty;
    auto* pkDark = new NiTextureMap(MakeTexture(4, 0xFF0000FF));
    pkDark->SetTextureIndex(1);
    spTexturing->SetMap(NiTexturingProperty::DARK_INDEX, pkDark);

    NiD3DTextureStage* pkStage = NiD3DTextureStage::GetFreeStage();
    NiD3DTextureStagePtr spHold(pkStage);
    pkStage->SetStage(2);
    pkStage->SetTextureSelector(0x10000000 | (3u << 20)); // the dark map with its set
    pkStage->SetTexCoordIndex(gfx::D3DTSS_TCI_CAMERASPACEPOSITION | 5, false);
    pkStage->SetClampMode(NiTextureMap::CLAMP_S_WRAP_T);
    pkStage->SetFilterMode(NiTextureMap::FILTER_BILERP_MIPNEAREST);
    pkStage->GetStageGroup()->SetSamplerState(6, gfx::D3DTEXF_LINEAR, true);
    ASSERT_TRUE(pkStage->ApplyTextureStage(spTexturing));
    EXPECT_EQ(m_pkCache->GetTextureStageState(2, gfx::D3DTSS_TEXCOORDINDEX),
              gfx::D3DTSS_TCI_CAMERASPACEPOSITION | 1);
    EXPECT_NE(m_pkCache->GetTexture(2), nullptr);
    std::uint32_t uiValue = 0;
    m_pkDevice->GetSamplerState(2, gfx::D3DSAMP_ADDRESSU, &uiValue);
    EXPECT_EQ(uiValue, 3u);
    m_pkDevice->GetSamplerState(2, gfx::D3DSAMP_ADDRESSV, &uiValue);
    EXPECT_EQ(uiValue, 1u);
    m_pkDevice->GetSamplerState(2, gfx::D3DSAMP_MINFILTER, &uiValue);
    EXPECT_EQ(uiValue, 2u);
    m_pkDevice->GetSamplerState(2, gfx::D3DSAMP_MAGFILTER, &uiValue);
    EXPECT_EQ(uiValue, 2u);
    // No mip levels: no mip filter, over the group's own value.
    m_pkDevice->GetSamplerState(2, gfx::D3DSAMP_MIPFILTER, &uiValue);
    EXPECT_EQ(uiValue, gfx::D3DTEXF_NONE);
    // No transform: switched off.
    EXPECT_EQ(m_pkCache->GetTextureStageState(2, gfx::D3DTSS_TEXTURETRANSFORMFLAGS), gfx::D3DTTFF_DISABLE);

    // Without the top bits the coordinate index is not touched.
    m_pkCache->SetTextureStageState(2, gfx::D3DTSS_TEXCOORDINDEX, 6);
    pkStage->SetTextureSelector(3u << 20);
    ASSERT_TRUE(pkStage->ApplyTextureStage(spTexturing));
    EXPECT_EQ(m_pkCache->GetTextureStageState(2, gfx::D3DTSS_TEXCOORDINDEX), 6u);

    // A decal beyond the slots binds nothing and sets no transform.
    pkStage->SetTextureSelector(0x01000000 | 3);
    pkStage->SetTextureTransformation(0x00000000, nullptr);
    pkStage->SetTextureTransformEnabled(false);
    m_pkCache->SetTextureStageState(2, gfx::D3DTSS_TEXTURETRANSFORMFLAGS, 7);
    ASSERT_TRUE(pkStage->ApplyTextureStage(spTexturing));
    EXPECT_EQ(m_pkCache->GetTexture(2), nullptr);
    EXPECT_EQ(m_pkCache->GetTextureStageState(2, gfx::D3DTSS_TEXTURETRANSFORMFLAGS), 7u);

    // Selector 0: the stage's own texture and index.
    pkStage->SetTextureSelector(0);
    pkStage->SetTexture(MakeTexture(2, 0xFFFFFFFF));
    pkStage->SetTexCoordIndex(0, false);
    ASSERT_TRUE(pkStage->ApplyTextureStage(nullptr));
    EXPECT_NE(m_pkCache->GetTexture(2), nullptr);
    EXPECT_EQ(m_pkCache->GetTextureStageState(2, gfx::D3DTSS_TEXCOORDINDEX), 0u);
}

TEST_F(NiD3DTextureStageTest, TransformModesMatchHandComputedMatrices)
{
    // A camera at (1, 2, 3) looking down x: C rows are its axes, then its place.
    NiViewFrustum kFrustum;
    kFrustum.Set(-1.0f, 1.0f, 1.0f, -1.0f, 1.0f, 100.0f, false);
    m_spRenderer->SetCameraData(NiVec3(1, 2, 3), NiVec3(1, 0, 0), NiVec3(0, 0, 1), NiVec3(0, -1, 0), kFrustum,
                                NiRect<float>(0, 1, 1, 0));
    const gfx::D3DMATRIX& kC = m_spRenderer->GetInvView();
    const gfx::D3DMATRIX kM = Matrix({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0.5f, 0.25f, 1, 1});
    NiD3DTextureStage* pkStage = NiD3DTextureStage::GetFreeStage();
    NiD3DTextureStagePtr spHold(pkStage);
    pkStage->SetTexture(MakeTexture(2, 0xFFFFFFFF));
    pkStage->SetTextureMatrix(kM);

    const gfx::D3DMATRIX kZero{};
    auto Apply = [&](std::uint32_t uiSelector) {
        pkStage->SetTextureTransformation(uiSelector, nullptr);
        m_pkDevice->SetTransform(gfx::D3DTS_TEXTURE0, &kZero);
        EXPECT_TRUE(pkStage->ApplyTextureStage(nullptr));
        return Transform(0);
    };
    ExpectMatrix(Apply(0x00000000 | 0), Matrix({})); // selector 0 leaves the flag off
    pkStage->SetTextureTransformEnabled(true);
    ExpectMatrix(Apply(0x00000000), kM);
    ExpectMatrix(Apply(0x20000000), kM);
    // Mode 1: C(3x3) x M(3x3), then C's row 3 through M plus M's row 3.
    gfx::D3DMATRIX kExpected{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            kExpected.m[i][j] = kC.m[i][0] * kM.m[0][j] + kC.m[i][1] * kM.m[1][j] + kC.m[i][2] * kM.m[2][j];
    for (int j = 0; j < 3; ++j)
        kExpected.m[3][j] = kC.m[3][0] * kM.m[0][j] + kC.m[3][1] * kM.m[1][j] + kC.m[3][2] * kM.m[2][j] + kM.m[3][j];
    ExpectMatrix(Apply(0x20000001), kExpected);
    // By hand: the camera's x axis (right) is (0, -1, 0) -> row 0 = (0, -3, 0);
    // its place (1, 2, 3) -> row 3 = (2 + 0.5, 6 + 0.25, 12 + 1).
    EXPECT_NEAR(Transform(0).m[0][1], -3.0f, 1e-5f);
    EXPECT_NEAR(Transform(0).m[3][0], 2.5f, 1e-5f);
    EXPECT_NEAR(Transform(0).m[3][2], 13.0f, 1e-5f);
    for (int j = 0; j < 3; ++j)
        kExpected.m[3][j] = kM.m[3][j];
    ExpectMatrix(Apply(0x20000005), kExpected);
    ExpectMatrix(Apply(0x20000004), Matrix({0, 0, 0, 0, 0, 0.5f, 0, 0, 0.5f, 0, 0, 0, 0.5f, 0.5f, 0, 0}));
    // Modes above 6 and sources 3-15 set nothing.
    ExpectMatrix(Apply(0x20000007), Matrix({}));
    ExpectMatrix(Apply(0x30000000), Matrix({}));

    // Source 1 takes the named global block; without one, no transform.
    ExpectMatrix(Apply(0x10000000), Matrix({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    const gfx::D3DMATRIX kGlobal = Matrix({0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 7, 8, 9, 1});
    ASSERT_TRUE(NiD3DShaderFactory::AddGlobalData("Projector", 9, sizeof(kGlobal), &kGlobal));
    pkStage->SetTextureTransformation(0x10000000, "Projector");
    EXPECT_EQ(NiD3DShaderFactory::GetGlobalDataEntry("Projector")->GetRefCount(), 2u);
    m_pkDevice->SetTransform(gfx::D3DTS_TEXTURE0, &kZero);
    pkStage->ApplyTextureStage(nullptr);
    ExpectMatrix(Transform(0), kGlobal);
    // Released with the stage.
    spHold = nullptr;
    EXPECT_EQ(NiD3DShaderFactory::GetGlobalDataEntry("Projector")->GetRefCount(), 1u);
    EXPECT_TRUE(NiD3DShaderFactory::ReleaseGlobalData("Projector"));
}

TEST_F(NiD3DTextureStageTest, StagePoolsGrowAndReleasedStagesComeBackCleared)
{
    NiD3DPool<NiD3DTextureStage>* pkPool = NiD3DTextureStage::GetPool();
    std::vector<NiD3DTextureStagePtr> kStages;
    for (std::uint32_t ui = 0; ui < 9; ++ui)
        kStages.emplace_back(NiD3DTextureStage::GetFreeStage());
    EXPECT_EQ(pkPool->GetBlockCount(), 2u);
    EXPECT_EQ(pkPool->GetBlockSize(1), 16u);
    NiD3DTextureStage* pkStage = kStages[0];
    pkStage->SetTexture(MakeTexture(2, 0xFFFFFFFF));
    pkStage->SetTextureSelector(5);
    pkStage->SetTextureTransformation(0x20000001, nullptr);
    pkStage->GetStageGroup()->SetStageState(gfx::D3DTSS_COLOROP, 4, false);
    NiD3DTextureStageGroup* pkGroup = pkStage->GetStageGroup();
    kStages.clear();
    EXPECT_EQ(pkStage->GetTexture(), nullptr);
    EXPECT_EQ(pkStage->GetTextureSelector(), 0u);
    EXPECT_FALSE(pkStage->GetTextureTransformEnabled());
    EXPECT_EQ(pkStage->GetStageGroup(), pkGroup); // keeps its group, emptied
    EXPECT_EQ(pkGroup->GetUnsavedStageStateCount(), 0u);

    // A stage made directly gives its group back and is deleted.
    NiD3DTextureStagePtr spOwn = new NiD3DTextureStage;
    EXPECT_FALSE(spOwn->IsPooled());
    NiD3DTextureStageGroup* pkOwnGroup = spOwn->GetStageGroup();
    EXPECT_TRUE(pkOwnGroup->IsPooled());
    EXPECT_FALSE(NiD3DTextureStageGroup::GetPool()->IsFree(pkOwnGroup));
    spOwn = nullptr;
    EXPECT_TRUE(NiD3DTextureStageGroup::GetPool()->IsFree(pkOwnGroup));
    NiD3DTextureStageGroup kLoose;
    EXPECT_EQ(NiD3DTextureStageGroup::ReleaseGroup(&kLoose), 0u);
}
} // namespace shader_test
