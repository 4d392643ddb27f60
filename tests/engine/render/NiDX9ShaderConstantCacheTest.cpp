#include "engine/render/NiDX9ShaderConstantCache.h"

#include "tests/engine/render/RenderStateTestSupport.h"

#include <gtest/gtest.h>

#include <array>

using namespace gfx;
using Kind = gfx::StateCall::Kind;
using Cache = NiD3DShaderConstantCache;

namespace
{
// The device reports no shader versions: these records are made by hand.
D3DCAPS9 ShaderCaps(std::uint32_t uiVS, std::uint32_t uiPS, std::uint32_t uiVSConst, int iVSFlow = 0, int iPSFlow = 0)
{
    D3DCAPS9 kCaps = gfx::DeviceCaps(0);
    kCaps.VertexShaderVersion = uiVS;
    kCaps.PixelShaderVersion = uiPS;
    kCaps.MaxVertexShaderConst = uiVSConst;
    kCaps.VS20Caps.DynamicFlowControlDepth = iVSFlow;
    kCaps.PS20Caps.DynamicFlowControlDepth = iPSFlow;
    return kCaps;
}

class NiDX9ShaderConstantCacheTest : public rendertest::StateCallTest
{
public:
    void SetUp() override
    {
        rendertest::StateCallTest::SetUp();
        ASSERT_NE(Create(), nullptr) << NiDX9Renderer::GetLastErrorString();
    }
    std::array<std::uint32_t, 6> Counts(const Cache& k)
    {
        return {k.GetRegisterCount(Cache::KIND_FLOAT, Cache::STAGE_VERTEX),
                k.GetRegisterCount(Cache::KIND_INT, Cache::STAGE_VERTEX),
                k.GetRegisterCount(Cache::KIND_BOOL, Cache::STAGE_VERTEX),
                k.GetRegisterCount(Cache::KIND_FLOAT, Cache::STAGE_PIXEL),
                k.GetRegisterCount(Cache::KIND_INT, Cache::STAGE_PIXEL),
                k.GetRegisterCount(Cache::KIND_BOOL, Cache::STAGE_PIXEL)};
    }
};
} // namespace

TEST_F(NiDX9ShaderConstantCacheTest, RegisterCountsFollowTheShaderVersions)
{
    using C = std::array<std::uint32_t, 6>;
    struct Case
    {
        D3DCAPS9 m_kCaps;
        C m_kCounts;
    };
    const Case akCases[] = {
        {ShaderCaps(D3DVS_VERSION(1, 1), D3DPS_VERSION(1, 4), 96), C{96, 0, 0, 8, 0, 0}},
        {ShaderCaps(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0), 256), C{256, 16, 0, 32, 16, 0}},
        {ShaderCaps(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0), 256, 24, 24), C{256, 16, 16, 32, 16, 16}},
        {ShaderCaps(D3DVS_VERSION(3, 0), D3DPS_VERSION(3, 0), 256), C{256, 16, 16, 224, 16, 16}},
        {ShaderCaps(D3DVS_VERSION(0, 0), D3DPS_VERSION(0, 0), 0), C{0, 0, 0, 0, 0, 0}},
    };
    for (const Case& k : akCases)
    {
        SCOPED_TRACE(k.m_kCaps.PixelShaderVersion & 0xFFFF);
        NiDX9ShaderConstantCachePtr sp = new NiDX9ShaderConstantCache(m_spRenderer, k.m_kCaps);
        EXPECT_EQ(Counts(*sp), k.m_kCounts);
        EXPECT_FALSE(sp->GetSoftwareVertexProcessing());
    }
    // The renderer's own cache: the device runs 3.0 programs.
    EXPECT_EQ(Counts(*m_spRenderer->GetRenderState()->GetShaderConstantCache()), (C{256, 16, 16, 224, 16, 16}));

    // Software vertex processing offers 8192 vertex float registers.
    m_spRenderer = nullptr;
    ASSERT_NE(Create(0, NiDX9Renderer::DEVDESC_HAL_SWVERTEX), nullptr);
    NiDX9ShaderConstantCachePtr spSoftware =
        new NiDX9ShaderConstantCache(m_spRenderer, ShaderCaps(D3DVS_VERSION(1, 1), D3DPS_VERSION(1, 1), 0));
    EXPECT_EQ(spSoftware->GetRegisterCount(Cache::KIND_FLOAT, Cache::STAGE_VERTEX), 8192u);
    EXPECT_TRUE(spSoftware->GetSoftwareVertexProcessing());
}

TEST_F(NiDX9ShaderConstantCacheTest, WritesBeyondAFileAreRefusedWithoutWrapping)
{
    NiDX9ShaderConstantCachePtr sp =
        new NiDX9ShaderConstantCache(m_spRenderer, ShaderCaps(D3DVS_VERSION(1, 1), D3DPS_VERSION(1, 1), 96));
    const float afValues[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_FALSE(sp->SetPixelConstantsF(7, afValues, 2, false));
    EXPECT_TRUE(sp->SetPixelConstantsF(6, afValues, 2, false));
    // first + count past 2^32 must not come back into range.
    EXPECT_FALSE(sp->SetPixelConstantsF(0xFFFFFFFFu, afValues, 2, false));
    EXPECT_FALSE(sp->SetPixelConstantsF(2, afValues, 0xFFFFFFFFu, false));
    const std::int32_t aiValues[4] = {1, 2, 3, 4};
    EXPECT_FALSE(sp->SetPixelConstantsI(0, aiValues, 1, false)); // 1.x has no integer registers
    EXPECT_FALSE(sp->SetVertexConstantsB(0, aiValues, 1, false));
    std::uint32_t uiFirst = 0, uiEnd = 0;
    sp->GetDirtyRange(Cache::KIND_FLOAT, Cache::STAGE_PIXEL, uiFirst, uiEnd);
    EXPECT_EQ(uiFirst, 6u);
    EXPECT_EQ(uiEnd, 8u);
}

TEST_F(NiDX9ShaderConstantCacheTest, SaveKeepsExactlyTheOverwrittenRegisters)
{
    NiDX9ShaderConstantCachePtr sp =
        new NiDX9ShaderConstantCache(m_spRenderer, ShaderCaps(D3DVS_VERSION(2, 0), D3DPS_VERSION(2, 0), 32));
    const float afFirst[12] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    const float afSecond[4] = {9, 9, 9, 9};
    ASSERT_TRUE(sp->SetVertexConstantsF(4, afFirst, 3, false));
    ASSERT_TRUE(sp->SetVertexConstantsF(5, afSecond, 1, true));
    const auto* pfSaved = reinterpret_cast<const float*>(sp->GetSavedValues(Cache::KIND_FLOAT, Cache::STAGE_VERTEX));
    const auto* pfValues = reinterpret_cast<const float*>(sp->GetValues(Cache::KIND_FLOAT, Cache::STAGE_VERTEX));
    EXPECT_EQ(pfSaved[4 * 4], 0.0f);
    EXPECT_EQ(pfSaved[5 * 4], 2.0f);
    EXPECT_EQ(pfSaved[6 * 4], 0.0f);
    EXPECT_EQ(pfValues[5 * 4 + 3], 9.0f);
    EXPECT_EQ(pfValues[6 * 4], 3.0f);
}

TEST_F(NiDX9ShaderConstantCacheTest, CommitSendsOneRangePerFileInOrder)
{
    NiDX9ShaderConstantCachePtr sp =
        new NiDX9ShaderConstantCache(m_spRenderer, ShaderCaps(D3DVS_VERSION(3, 0), D3DPS_VERSION(3, 0), 256));
    sp->CommitConstants();
    EXPECT_TRUE(Calls().empty());

    const float afValues[8] = {0.5f, 0.5f, 0.5f, 0.5f, 0.25f, 0.25f, 0.25f, 0.25f};
    const std::int32_t aiValues[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(sp->SetPixelConstantsI(1, aiValues, 1, false));
    ASSERT_TRUE(sp->SetVertexConstantsI(2, aiValues, 2, false));
    ASSERT_TRUE(sp->SetPixelConstantsB(3, aiValues, 2, false));
    ASSERT_TRUE(sp->SetVertexConstantsB(0, aiValues, 1, false));
    ASSERT_TRUE(sp->SetPixelConstantsF(0, afValues, 1, false));
    ASSERT_TRUE(sp->SetVertexConstantsF(4, afValues, 2, false));
    ASSERT_TRUE(sp->SetVertexConstantsF(10, afValues, 2, false));
    sp->CommitConstants();
    const auto& kCalls = Calls();
    ASSERT_EQ(kCalls.size(), 6u);
    EXPECT_EQ(kCalls[0].kind, Kind::SetVertexShaderConstantF);
    EXPECT_EQ(kCalls[0].index, 4u);
    EXPECT_EQ(kCalls[0].value, 8u); // registers 4 to 11 in one call
    EXPECT_EQ(kCalls[1].kind, Kind::SetPixelShaderConstantF);
    EXPECT_EQ(kCalls[2].kind, Kind::SetVertexShaderConstantB);
    EXPECT_EQ(kCalls[3].kind, Kind::SetPixelShaderConstantB);
    EXPECT_EQ(kCalls[3].index, 3u);
    EXPECT_EQ(kCalls[3].value, 2u);
    EXPECT_EQ(kCalls[4].kind, Kind::SetVertexShaderConstantI);
    EXPECT_EQ(kCalls[5].kind, Kind::SetPixelShaderConstantI);
    // The device holds what was sent, the gap included.
    float afRead[8 * 4];
    ASSERT_EQ(Device()->GetVertexShaderConstantF(4, afRead, 8), D3D_OK);
    EXPECT_EQ(afRead[0], 0.5f);
    EXPECT_EQ(afRead[4], 0.25f);
    EXPECT_EQ(afRead[2 * 4], 0.0f);
    EXPECT_EQ(afRead[6 * 4], 0.5f);
    EXPECT_EQ(afRead[7 * 4], 0.25f);
    for (Cache::Kind eKind : {Cache::KIND_FLOAT, Cache::KIND_INT, Cache::KIND_BOOL})
    {
        std::uint32_t uiFirst = 0, uiEnd = 1;
        sp->GetDirtyRange(eKind, Cache::STAGE_VERTEX, uiFirst, uiEnd);
        EXPECT_GE(uiFirst, uiEnd);
    }
    ClearCalls();
    sp->CommitConstants();
    EXPECT_TRUE(Calls().empty());
}

TEST_F(NiDX9ShaderConstantCacheTest, SoftwareSizedRegistersWaitForSoftwareProcessing)
{
    m_spRenderer = nullptr;
    ASSERT_NE(Create(0, NiDX9Renderer::DEVDESC_HAL_MIXEDVERTEX), nullptr) << NiDX9Renderer::GetLastErrorString();
    NiDX9ShaderConstantCachePtr sp =
        new NiDX9ShaderConstantCache(m_spRenderer, ShaderCaps(D3DVS_VERSION(1, 1), D3DPS_VERSION(1, 1), 0));
    ASSERT_TRUE(sp->GetSoftwareVertexProcessing());
    const float afValues[4] = {1, 2, 3, 4};
    ASSERT_TRUE(sp->SetVertexConstantsF(8000, afValues, 1, false));
    sp->CommitConstants();
    EXPECT_TRUE(CallsOf(Kind::SetVertexShaderConstantF).empty());
    ASSERT_TRUE(sp->SetVertexConstantsF(3, afValues, 1, false));
    m_spRenderer->GetRenderState()->SetSoftwareVertexProcessing(true);
    sp->CommitConstants();
    ASSERT_EQ(CallsOf(Kind::SetVertexShaderConstantF).size(), 1u);
    EXPECT_EQ(CallsOf(Kind::SetVertexShaderConstantF)[0].index, 3u);
}
