#include "engine/shaders/framework/NiD3DPass.h"

#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiXform.h"
#include "engine/render/NiDX9GeometryBufferGroup.h"

#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

namespace shader_test
{
namespace
{
using Kind = gfx::StateCall::Kind;

class NiD3DPassTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        CreateRenderer();
        m_pkDevice = m_spRenderer->GetD3DDevice();
        m_pkDevice->ClearStateCalls();
        m_pkDevice->SetCallRecording(true);
    }
    // The render-state calls the device got since the last look.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> TakeRenderStates()
    {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> kStates;
        for (const gfx::StateCall& kCall : m_pkDevice->StateCalls())
        {
            if (kCall.kind == Kind::SetRenderState)
                kStates.emplace_back(kCall.index, kCall.value);
        }
        m_pkDevice->ClearStateCalls();
        return kStates;
    }
    gfx::IDirect3DDevice9* m_pkDevice = nullptr;
};
} // namespace

TEST_F(NiD3DPassTest, TheDeviceSetsThePassLimits)
{
    // The null device has 8 blend stages and 8 textures, pixel shaders 3.0 and their 16 samplers.
    EXPECT_EQ(NiD3DPass::GetMaxTextureBlendStages(), 8u);
    EXPECT_EQ(NiD3DPass::GetMaxSimultaneousTextures(), 8u);
    EXPECT_EQ(NiD3DPass::GetMaxSamplers(), 16u);
}

TEST_F(NiD3DPassTest, PoolsGrowInDoublingBlocksAndHandOutFromTheFront)
{
    NiD3DPool<NiD3DPass>* pkPool = NiD3DPass::GetPool();
    ASSERT_NE(pkPool, nullptr);
    ASSERT_EQ(pkPool->GetBlockCount(), 0u);
    std::vector<NiD3DPassPtr> kPasses(25);
    NiD3DPass::CreateNewPass(kPasses[0]);
    NiD3DPass::CreateNewPass(kPasses[1]);
    // The first of the free list, then the last one that moved in front.
    EXPECT_EQ(kPasses[1].Get(), kPasses[0].Get() + 7);
    EXPECT_TRUE(kPasses[0]->IsPooled());
    EXPECT_EQ(kPasses[0]->GetRefCount(), 1u);
    for (std::uint32_t ui = 2; ui < 8; ++ui)
        NiD3DPass::CreateNewPass(kPasses[ui]);
    EXPECT_EQ(pkPool->GetBlockCount(), 1u);
    NiD3DPass::CreateNewPass(kPasses[8]);
    EXPECT_EQ(pkPool->GetBlockCount(), 2u);
    EXPECT_EQ(pkPool->GetBlockSize(1), 16u);
    for (std::uint32_t ui = 9; ui < 24; ++ui)
        NiD3DPass::CreateNewPass(kPasses[ui]);
    EXPECT_EQ(pkPool->GetBlockCount(), 2u);
    NiD3DPass::CreateNewPass(kPasses[24]);
    EXPECT_EQ(pkPool->GetBlockCount(), 3u);
    EXPECT_EQ(pkPool->GetBlockSize(2), 32u);
    EXPECT_EQ(pkPool->GetNextBlockSize(), 64u);

    // Passes given back are handed out again; no new block.
    NiD3DPass* pkFirst = kPasses[0];
    kPasses.clear();
    EXPECT_EQ(pkPool->GetFreeCount(), 56u);
    for (std::uint32_t ui = 0; ui < 56; ++ui)
    {
        NiD3DPassPtr spPass;
        NiD3DPass::CreateNewPass(spPass);
        kPasses.push_back(spPass);
    }
    EXPECT_EQ(pkPool->GetBlockCount(), 3u);
    EXPECT_NE(std::find(kPasses.begin(), kPasses.end(), NiD3DPassPtr(pkFirst)), kPasses.end());

    // Groups come in blocks of 8, entries in blocks of 16.
    EXPECT_EQ(NiD3DRenderStateGroup::GetGroupPool()->GetInitialBlockSize(), 8u);
    EXPECT_EQ(NiD3DRenderStateGroup::GetEntryPool()->GetInitialBlockSize(), 16u);
    NiD3DRenderStateGroup* pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
    for (std::uint32_t ui = 0; ui < 17; ++ui)
        pkGroup->SetRenderState(100 + ui, ui, false);
    EXPECT_EQ(NiD3DRenderStateGroup::GetEntryPool()->GetBlockCount(), 2u);
    EXPECT_EQ(NiD3DRenderStateGroup::GetEntryPool()->GetBlockSize(1), 32u);
    NiD3DRenderStateGroup::DeleteRenderStateGroup(pkGroup);
    EXPECT_EQ(NiD3DRenderStateGroup::GetEntryPool()->GetFreeCount(), 48u);
}

TEST_F(NiD3DPassTest, StagesAreCountedAsThePartSays)
{
    NiD3DPassPtr spPass;
    NiD3DPass::CreateNewPass(spPass);
    NiD3DTextureStage* apkStages[4];
    for (NiD3DTextureStage*& pkStage : apkStages)
        pkStage = NiD3DTextureStage::GetFreeStage();
    apkStages[1]->SetTexture(m_spRenderer->GetDefaultTexture());
    EXPECT_EQ(spPass->SetStage(16, apkStages[3]), 1u); // at the samplers: refused
    EXPECT_EQ(spPass->GetActiveStageCount(), 0u);
    EXPECT_EQ(spPass->SetStage(0, apkStages[0]), 0u);
    EXPECT_EQ(spPass->SetStage(1, apkStages[1]), 0u);
    EXPECT_EQ(spPass->SetStage(2, apkStages[2]), 0u);
    EXPECT_EQ(spPass->GetStageCount(), 3u);
    EXPECT_EQ(spPass->GetActiveStageCount(), 3u);
    EXPECT_EQ(spPass->GetTexturedStageCount(), 1u);
    EXPECT_EQ(apkStages[2]->GetStage(), 2u);
    EXPECT_EQ(apkStages[2]->GetRefCount(), 1u);
    spPass->SetStage(2, nullptr);
    EXPECT_EQ(spPass->GetStageCount(), 2u);
    spPass->SetStage(0, nullptr);
    EXPECT_EQ(spPass->GetStageCount(), 2u);
    EXPECT_EQ(spPass->GetActiveStageCount(), 1u);
    spPass->SetStage(1, nullptr);
    EXPECT_EQ(spPass->GetTexturedStageCount(), 0u);
    EXPECT_EQ(apkStages[1]->GetRefCount(), 0u); // back in the pool, cleared
    EXPECT_EQ(apkStages[1]->GetTexture(), nullptr);

    NiD3DPassPtr spEmpty;
    NiD3DPass::CreateNewPass(spEmpty);
    apkStages[3] = NiD3DTextureStage::GetFreeStage();
    EXPECT_EQ(spEmpty->SetStage(3, apkStages[3]), 0u);
    EXPECT_EQ(spEmpty->GetStageCount(), 0u);
    EXPECT_EQ(spEmpty->GetActiveStageCount(), 1u);
    // Stored even beyond the pass's first capacity.
    NiD3DTextureStage* pkFar = NiD3DTextureStage::GetFreeStage();
    EXPECT_EQ(spEmpty->SetStage(7, pkFar), 0u);
    EXPECT_EQ(spEmpty->GetStage(7), pkFar);
    EXPECT_EQ(spEmpty->GetActiveStageCount(), 2u);
    spEmpty = nullptr;
    EXPECT_EQ(pkFar->GetRefCount(), 0u);
}

TEST_F(NiD3DPassTest, CanAddStagesWithinBothLimits)
{
    NiD3DPass::SetMaxTextureBlendStages(3);
    NiD3DPass::SetMaxSimultaneousTextures(2);
    NiD3DPassPtr spPass;
    NiD3DPass::CreateNewPass(spPass);
    EXPECT_TRUE(spPass->CanAddStages(3, 2));
    EXPECT_FALSE(spPass->CanAddStages(4, 0));
    EXPECT_FALSE(spPass->CanAddStages(1, 3));
    NiD3DTextureStage* pkStage = NiD3DTextureStage::GetFreeStage();
    spPass->SetStage(0, pkStage);
    spPass->SetStage(1, NiD3DTextureStage::GetFreeStage());
    // Two stages in use: one more without a texture, none with one.
    EXPECT_TRUE(spPass->CanAddStages(1, 0));
    EXPECT_FALSE(spPass->CanAddStages(1, 1));
}

TEST_F(NiD3DPassTest, GroupsKeepOneEntryPerStateInTheListOfTheLastFlag)
{
    NiD3DRenderStateGroup* pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
    ASSERT_NE(pkGroup, nullptr);
    EXPECT_TRUE(pkGroup->IsPooled());
    pkGroup->SetRenderState(gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_ONE, true);
    pkGroup->SetRenderState(gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_ZERO, false);
    EXPECT_EQ(pkGroup->GetSavedCount(), 0u);
    EXPECT_EQ(pkGroup->GetUnsavedCount(), 1u);
    std::uint32_t uiValue = 0;
    bool bSave = true;
    ASSERT_TRUE(pkGroup->GetRenderState(gfx::D3DRS_SRCBLEND, uiValue, bSave));
    EXPECT_EQ(uiValue, gfx::D3DBLEND_ZERO);
    EXPECT_FALSE(bSave);
    EXPECT_FALSE(pkGroup->GetRenderState(gfx::D3DRS_DESTBLEND, uiValue, bSave));

    // Restoring a group of unsaved entries touches nothing.
    pkGroup->SetRenderState(gfx::D3DRS_DESTBLEND, gfx::D3DBLEND_SRCCOLOR, false);
    TakeRenderStates();
    pkGroup->RestoreRenderStates();
    EXPECT_TRUE(TakeRenderStates().empty());

    // Applied: unsaved head first (the latest pushed), then saved ones.
    pkGroup->SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, 1, true);
    pkGroup->SetRenderState(gfx::D3DRS_FOGENABLE, 1, true);
    NiD3DRenderState* pkCache = m_spRenderer->GetRenderState();
    pkCache->SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
    pkCache->SetRenderState(gfx::D3DRS_FOGENABLE, 0);
    TakeRenderStates();
    pkGroup->SetRenderStates();
    using State = std::pair<std::uint32_t, std::uint32_t>;
    EXPECT_EQ(TakeRenderStates(),
              (std::vector<State>{{gfx::D3DRS_DESTBLEND, gfx::D3DBLEND_SRCCOLOR}, {gfx::D3DRS_SRCBLEND, gfx::D3DBLEND_ZERO},
                                  {gfx::D3DRS_FOGENABLE, 1}, {gfx::D3DRS_ALPHABLENDENABLE, 1}}));
    // Only the saved ones come back.
    pkGroup->RestoreRenderStates();
    EXPECT_EQ(TakeRenderStates(), (std::vector<State>{{gfx::D3DRS_FOGENABLE, 0}, {gfx::D3DRS_ALPHABLENDENABLE, 0}}));
    EXPECT_EQ(pkCache->GetRenderState(gfx::D3DRS_SRCBLEND), gfx::D3DBLEND_ZERO);

    // Moving between lists reuses the entry.
    const std::uint32_t uiFree = NiD3DRenderStateGroup::GetEntryPool()->GetFreeCount();
    pkGroup->SetRenderState(gfx::D3DRS_FOGENABLE, 0, false);
    EXPECT_EQ(NiD3DRenderStateGroup::GetEntryPool()->GetFreeCount(), uiFree);
    EXPECT_EQ(pkGroup->GetSavedCount(), 1u);
    EXPECT_EQ(pkGroup->GetUnsavedCount(), 3u);
    NiD3DRenderStateGroup::DeleteRenderStateGroup(pkGroup);
    EXPECT_EQ(NiD3DRenderStateGroup::GetEntryPool()->GetFreeCount(), uiFree + 4);

    // A group made directly gives its entries back and is deleted.
    auto* pkOwn = new NiD3DRenderStateGroup;
    pkOwn->SetRenderState(gfx::D3DRS_ZENABLE, 1, false);
    NiD3DRenderStateGroup::DeleteRenderStateGroup(pkOwn);
    EXPECT_EQ(NiD3DRenderStateGroup::GetEntryPool()->GetFreeCount(), uiFree + 4);
    NiD3DRenderStateGroup::DeleteRenderStateGroup(nullptr);
}

TEST_F(NiD3DPassTest, ARenderingPassAppliesItsStatesAndStagesAndDisablesTheRest)
{
    NiD3DPassPtr spPass;
    NiD3DPass::CreateNewPass(spPass);
    NiD3DRenderStateGroup* pkGroup = NiD3DRenderStateGroup::CreateRenderStateGroup();
    pkGroup->SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, 1, true);
    spPass->SetRenderStateGroup(pkGroup);
    NiD3DTextureStage* pkStage = NiD3DTextureStage::GetFreeStage();
    pkStage->GetStageGroup()->SetStageState(gfx::D3DTSS_COLOROP, gfx::D3DTOP_MODULATE, false);
    spPass->SetStage(0, pkStage);
    NiD3DRenderState* pkCache = m_spRenderer->GetRenderState();
    pkCache->SetRenderState(gfx::D3DRS_ALPHABLENDENABLE, 0);
    pkCache->SetTextureStageState(1, gfx::D3DTSS_COLOROP, gfx::D3DTOP_MODULATE);

    const NiXform kWorld;
    const NiBoundSphere kBound;
    EXPECT_EQ(spPass->SetupRenderingPass(nullptr, nullptr, nullptr, nullptr, nullptr, kWorld, kBound), 1u);
    EXPECT_EQ(pkCache->GetRenderState(gfx::D3DRS_ALPHABLENDENABLE), 1u);
    EXPECT_EQ(pkCache->GetTextureStageState(0, gfx::D3DTSS_COLOROP), gfx::D3DTOP_MODULATE);
    for (std::uint32_t ui = 1; ui < 8; ++ui)
    {
        EXPECT_EQ(pkCache->GetTextureStageState(ui, gfx::D3DTSS_COLOROP), gfx::D3DTOP_DISABLE);
        EXPECT_EQ(pkCache->GetTextureStageState(ui, gfx::D3DTSS_ALPHAOP), gfx::D3DTOP_DISABLE);
    }
    spPass->PostProcessRenderingPass(0);
    EXPECT_EQ(pkCache->GetRenderState(gfx::D3DRS_ALPHABLENDENABLE), 0u);

    // Programs: none, so the fixed-function road with the buffers' format.
    NiDX9GeometryBufferData kBuffers;
    kBuffers.m_uiFVF = gfx::D3DFVF_XYZ | gfx::D3DFVF_DIFFUSE | gfx::D3DFVF_TEX1;
    spPass->SetupShaderPrograms(nullptr, nullptr, nullptr, &kBuffers, nullptr, nullptr, kWorld, kBound, 0);
    EXPECT_EQ(pkCache->GetFVF(), kBuffers.m_uiFVF);
    EXPECT_EQ(pkCache->GetPixelShader(), nullptr);

    // A pooled pass comes back empty.
    spPass->SetProgramString(NiD3DPass::PIXEL_FILE, "water.psh");
    spPass->SetSoftwareVertexProcessing(true);
    NiD3DPass* pkPass = spPass;
    spPass = nullptr;
    EXPECT_EQ(pkPass->GetStageCount(), 0u);
    EXPECT_EQ(pkPass->GetRenderStateGroup(), nullptr);
    EXPECT_EQ(pkPass->GetProgramString(NiD3DPass::PIXEL_FILE), nullptr);
    EXPECT_FALSE(pkPass->GetSoftwareVertexProcessing());
    EXPECT_EQ(pkStage->GetRefCount(), 0u);
}
} // namespace shader_test
