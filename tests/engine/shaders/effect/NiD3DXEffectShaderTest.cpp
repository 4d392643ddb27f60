#include "engine/shaders/effect/NiD3DXEffectShader.h"

#include "engine/render/NiDX9RenderState.h"
#include "engine/scene/NiPropertySet.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectParameter.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/effect/NiD3DXEffectStateManager.h"
#include "engine/shaders/effect/NiD3DXEffectTechnique.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "tests/engine/render/DrawTestSupport.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// One state per pass, so the cache shows which pass was applied last.
const char* const PASSES_TEXT = "technique Zero { }\n"
                                "technique One { pass P0 { TextureFactor = 0x10; } }\n"
                                "technique Two { pass P0 { TextureFactor = 0x10; } pass P1 { TextureFactor = 0x20; } }\n";

std::vector<std::string>* s_pkLog = nullptr;

class EffectShaderTest : public shader_test::ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        m_kRoot = fs::temp_directory_path() /
                  ("effect_shader_" + std::to_string(::getpid()) + "_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
        s_pkLog = &m_kLog;
        NiD3DUtility::SetLogHook(+[](const char* pcText) { s_pkLog->emplace_back(pcText); });
    }
    void TearDown() override
    {
        NiD3DUtility::SetLogHook(nullptr);
        s_pkLog = nullptr;
        m_spLibrary = nullptr;
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        NiD3DXEffectParameter::ReleaseBonePalette();
        fs::remove_all(m_kRoot);
        ShaderTest::TearDown();
    }
    void Write(const fs::path& kFile, const std::string& kText)
    {
        fs::create_directories(kFile.parent_path());
        std::ofstream(kFile) << kText;
    }
    // The library over one file of the given text, on the renderer.
    NiD3DXEffectShaderLib* Library(const std::string& kText, const char* pcFile = "effect.fx")
    {
        Write(m_kRoot / pcFile, kText);
        const std::string kFolder = m_kRoot.string();
        const char* apcFolders[] = {kFolder.c_str()};
        NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcFolders, false);
        m_spLibrary = pkLibrary;
        return pkLibrary;
    }
    bool Logged(const std::string& kText) const
    {
        for (const std::string& kLine : m_kLog)
            if (kLine.find(kText) != std::string::npos)
                return true;
        return false;
    }

    // Drives a batch of two geometries the way the renderer does, noting
    // after each step where the effect stands and which pass's state the
    // cache holds.
    std::string DriveBatch(NiD3DXEffectShader* pkShader)
    {
        NiRefPtr<NiTriShape> aspShapes[2] = {drawtest::MakeQuad(), drawtest::MakeQuad(0.5f)};
        NiRefPtr<NiPropertySet> spState = new NiPropertySet();
        NiDX9RenderState* pkCache = m_spRenderer->GetRenderState();
        const NiXform kWorld;
        const NiBoundSphere kBound;
        if (pkShader->PreProcessPipeline(aspShapes[0], nullptr, nullptr, spState, nullptr, kWorld, kBound) != 0)
            return "skipped";
        gfx::ID3DXEffect* pkEffect = pkShader->GetD3DXEffect();
        std::string kOut;
        for (std::uint32_t uiLeft = pkShader->FirstPass(); uiLeft != 0; uiLeft = pkShader->NextPass())
        {
            kOut += "P" + std::to_string(pkShader->GetCurrentPassIndex()) + (pkEffect->IsBegun() ? "[" : "!begun[");
            for (const NiRefPtr<NiTriShape>& spShape : aspShapes)
            {
                pkCache->SetRenderState(gfx::D3DRS_TEXTUREFACTOR, 0, false);
                pkShader->SetupRenderingPass(spShape, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                pkShader->SetupTransformations(spShape, nullptr, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                pkShader->SetupShaderPrograms(spShape, nullptr, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                char acStep[48];
                std::snprintf(acStep, sizeof(acStep), "open%d tf%x ", pkEffect->GetOpenPass(),
                              pkCache->GetRenderState(gfx::D3DRS_TEXTUREFACTOR));
                kOut += acStep;
                pkShader->PostRender(spShape, nullptr, nullptr, nullptr, spState, nullptr, kWorld, kBound);
                kOut += pkEffect->GetOpenPass() < 0 ? "closed;" : "left open;";
            }
            kOut += "]";
        }
        kOut += pkEffect->IsBegun() ? "begun" : "ended";
        pkShader->PostProcessPipeline(aspShapes[0], nullptr, nullptr, spState, nullptr, kWorld, kBound);
        return kOut;
    }

    fs::path m_kRoot;
    NiShaderLibraryBasePtr m_spLibrary;
    std::vector<std::string> m_kLog;
};
} // namespace

// The library hands out the technique's shader, compiled on the renderer's
// device; the renderer draws with it, one draw per pass.
TEST_F(EffectShaderTest, TheLibraryGivesAShaderTheRendererDrawsWith)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    NiShader* pkShader = pkLibrary->GetShader(m_spRenderer, "Two", 0);
    ASSERT_NE(pkShader, nullptr);
    auto* pkEffectShader = NiDynamicCast<NiD3DXEffectShader>(pkShader);
    ASSERT_NE(pkEffectShader, nullptr);
    EXPECT_STREQ(pkEffectShader->GetName(), "Two");
    EXPECT_EQ(pkLibrary->GetShader(m_spRenderer, "Two", 0), pkShader); // made once
    EXPECT_EQ(pkLibrary->GetShader(m_spRenderer, "Nothing", 0), nullptr);
    // Every effect holds the one state manager.
    ASSERT_NE(NiD3DXEffectStateManager::PeekInstance(), nullptr);
    EXPECT_GE(NiD3DXEffectStateManager::PeekInstance()->GetRefCount(), 1u);

    NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
    ASSERT_NE(pkFactory, nullptr);
    pkFactory->InsertLibrary(pkLibrary);
    NiRefPtr<NiTriShape> spQuad = drawtest::MakeQuad();
    ASSERT_TRUE(pkFactory->AttachShader(spQuad, pkShader));
    EXPECT_TRUE(pkEffectShader->IsInitialized());
    // Fixed-function passes read no vertex inputs: the buffers keep their FVF.
    EXPECT_EQ(pkEffectShader->GetShaderDecl(), nullptr);

    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ASSERT_TRUE(m_spRenderer->BeginScene());
    pkDevice->ClearRecordedCalls();
    spQuad->RenderImmediate(m_spRenderer);
    m_spRenderer->EndScene();
    std::size_t uiDraws = 0;
    for (const gfx::RecordedCall& kCall : pkDevice->RecordedCalls())
        uiDraws += kCall.kind == gfx::RecordedCall::Kind::DrawIndexedPrimitive ? 1 : 0;
    EXPECT_EQ(uiDraws, 2u);
    // The last pass's state went through the cache to the device.
    EXPECT_EQ(m_spRenderer->GetRenderState()->GetRenderState(gfx::D3DRS_TEXTUREFACTOR), 0x20u);
    EXPECT_EQ(pkDevice->State().renderStates[gfx::D3DRS_TEXTUREFACTOR], 0x20u);
    EXPECT_FALSE(pkEffectShader->GetD3DXEffect()->IsBegun());
    spQuad = nullptr;
    pkFactory->RemoveLibrary("NiD3DXEffectShaderLib");
}

// Begin once, BeginPass / CommitChanges / EndPass for every pass and
// geometry, End after the last pass; with no pass, End at once.
TEST_F(EffectShaderTest, PassesNestInsideOneBeginAndEnd)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    const struct
    {
        const char* pcTechnique;
        const char* pcExpected;
    } akCases[] = {
        {"Zero", "ended"},
        {"One", "P0[open0 tf10 closed;open0 tf10 closed;]ended"},
        {"Two", "P0[open0 tf10 closed;open0 tf10 closed;]P1[open1 tf20 closed;open1 tf20 closed;]ended"},
    };
    for (const auto& kCase : akCases)
    {
        SCOPED_TRACE(kCase.pcTechnique);
        auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, kCase.pcTechnique, 0));
        ASSERT_NE(pkShader, nullptr);
        ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
        EXPECT_EQ(DriveBatch(pkShader), kCase.pcExpected);
        // And again: nothing was left open.
        EXPECT_EQ(DriveBatch(pkShader), kCase.pcExpected);
    }
    EXPECT_FALSE(Logged("NiD3DXEffectShader::"));
}

// A Begin that fails draws nothing and ends nothing.
TEST_F(EffectShaderTest, AFailedBeginGivesNoPassAndNoEnd)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "Two", 0));
    ASSERT_NE(pkShader, nullptr);
    ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
    gfx::ID3DXEffect* pkEffect = pkShader->GetD3DXEffect();
    // Someone else's Begin is open: the shader's own must fail.
    std::uint32_t uiPasses = 0;
    ASSERT_EQ(pkEffect->Begin(&uiPasses, 0), gfx::D3D_OK);
    EXPECT_EQ(pkShader->FirstPass(), 0u);
    EXPECT_EQ(pkShader->GetPassCount(), 0u);
    EXPECT_TRUE(Logged("NiD3DXEffectShader::FirstPass - Two - ID3DXEffect::Begin failed"));
    // The other Begin is still open: the shader did not end it.
    EXPECT_TRUE(pkEffect->IsBegun());
    EXPECT_EQ(pkEffect->End(), gfx::D3D_OK);
}

// An effect that cannot be had skips the whole batch.
TEST_F(EffectShaderTest, AMissingEffectSkipsTheBatch)
{
    CreateRenderer();
    NiD3DXEffectShaderLib* pkLibrary = Library(PASSES_TEXT);
    ASSERT_NE(pkLibrary, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(pkLibrary->GetShader(m_spRenderer, "One", 0));
    ASSERT_NE(pkShader, nullptr);
    ASSERT_TRUE(pkShader->Initialize(m_spRenderer));
    NiD3DXEffectFile* pkFile = pkShader->GetTechnique()->GetFile();

    // Lost and found again: the effect comes back through its file.
    pkShader->PurgeRendererData();
    EXPECT_EQ(pkShader->GetD3DXEffect(), nullptr);
    EXPECT_EQ(pkFile->GetEffect(), nullptr);
    EXPECT_EQ(DriveBatch(pkShader), "P0[open0 tf10 closed;open0 tf10 closed;]ended");
    EXPECT_NE(pkShader->GetD3DXEffect(), nullptr);

    // Lost with its file gone: nothing is drawn.
    pkShader->PurgeRendererData();
    fs::remove(m_kRoot / "effect.fx");
    EXPECT_EQ(DriveBatch(pkShader), "skipped");
    EXPECT_TRUE(Logged("NiD3DXEffectShader::PreProcessPipeline - One - Effect failed to load"));
    EXPECT_EQ(pkShader->FirstPass(), 0u);
}
