#include "engine/core/NiBoundSphere.h"
#include "engine/core/NiXform.h"
#include "engine/render/NiDX9RenderState.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShader.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace shader_test;

namespace
{
const char kVertexText[] = "vs_1_1\ndcl_position v0\nm4x4 oPos, v0, c0\n";
const char kPixelText[] = "ps_2_0\ndcl t0.xy\ndcl_2d s0\ntexld r0, t0, s0\nmov oC0, r0\n";

std::vector<std::uint8_t> AssembleText(const char* pcText)
{
    gfx::ID3DXBuffer* pkCode = nullptr;
    EXPECT_EQ(gfx::D3DXAssembleShader(pcText, static_cast<std::uint32_t>(std::strlen(pcText)), 0, &pkCode, nullptr),
              gfx::D3D_OK);
    if (pkCode == nullptr)
        return {};
    const auto* pucBytes = static_cast<const std::uint8_t*>(pkCode->GetBufferPointer());
    std::vector<std::uint8_t> kBytes(pucBytes, pucBytes + pkCode->GetBufferSize());
    pkCode->Release();
    return kBytes;
}

class NiD3DShaderProgramFactoryTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        m_kFolder = MakeTempFolder("shader-programs");
        ASSERT_FALSE(m_kFolder.empty());
    }
    void TearDown() override
    {
        NiD3DShaderProgramCreator::SetUniversalShaderCreationFlags(0);
        ShaderTest::TearDown();
        std::filesystem::remove_all(m_kFolder);
    }
    void Write(const std::string& kName, const void* pvBytes, std::size_t uiSize)
    {
        WriteFile(m_kFolder + "/" + kName, pvBytes, uiSize);
    }

    std::string m_kFolder;
};
} // namespace

TEST_F(NiD3DShaderProgramFactoryTest, DirectoriesAndCreators)
{
    EXPECT_EQ(NiD3DShaderProgramFactory::GetInstance(), nullptr); // made with the renderer
    CreateRenderer();
    NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance();
    ASSERT_NE(pkFactory, nullptr);
    NiD3DShaderFactory* pkShaders = NiD3DShaderFactory::GetD3DShaderFactory();
    pkShaders->AddProgramDirectory("Data/Shaders");
    pkShaders->AddProgramDirectory("DATA\\shaders"); // the same, in other letters
    pkShaders->AddProgramDirectory("");
    pkShaders->AddProgramDirectory("Other");
    std::uint32_t uiPos = 0;
    EXPECT_STREQ(pkShaders->GetFirstProgramDirectory(uiPos), "Other");
    EXPECT_STREQ(pkShaders->GetNextProgramDirectory(uiPos), "Data\\Shaders");
    EXPECT_EQ(pkShaders->GetNextProgramDirectory(uiPos), nullptr);
    pkShaders->RemoveProgramDirectory("data/SHADERS");
    EXPECT_STREQ(pkFactory->GetFirstProgramDirectory(uiPos), "Other");
    EXPECT_EQ(pkFactory->GetNextProgramDirectory(uiPos), nullptr);
    pkShaders->RemoveAllProgramDirectories();
    EXPECT_EQ(pkFactory->GetFirstProgramDirectory(uiPos), nullptr);

    // The start-up's three creators; the text after the last dot, or all.
    NiD3DShaderProgramCreator* pkAsm = NiD3DShaderProgramFactory::GetCreator("a.b.VSH");
    ASSERT_NE(pkAsm, nullptr);
    EXPECT_EQ(NiD3DShaderProgramFactory::GetCreator("psh"), pkAsm);
    EXPECT_NE(NiD3DShaderProgramFactory::GetCreator("x.vso"), nullptr);
    EXPECT_NE(NiD3DShaderProgramFactory::GetCreator("x.vso"), pkAsm);
    EXPECT_EQ(NiD3DShaderProgramFactory::GetCreator("x.pso"), NiD3DShaderProgramFactory::GetCreator("x.vso"));
    EXPECT_NE(NiD3DShaderProgramFactory::GetCreator("x.hlsl"), nullptr);
    EXPECT_EQ(NiD3DShaderProgramFactory::GetCreator("x.fx"), nullptr);
    EXPECT_EQ(NiD3DShaderProgramFactory::GetCreator(""), nullptr);
    EXPECT_FALSE(NiD3DShaderProgramFactory::RegisterCreator(".asm", pkAsm));
    EXPECT_TRUE(NiD3DShaderProgramFactory::RegisterCreator("ASM", pkAsm));
    EXPECT_EQ(NiD3DShaderProgramFactory::GetCreator("water.asm"), pkAsm);
    NiD3DShaderProgramFactory::UnregisterCreator(pkAsm);
    EXPECT_EQ(NiD3DShaderProgramFactory::GetCreator("water.asm"), nullptr);
    EXPECT_EQ(NiD3DShaderProgramFactory::GetCreator("water.vsh"), nullptr);
    EXPECT_NE(NiD3DShaderProgramFactory::GetCreator("water.vso"), nullptr);
}

TEST_F(NiD3DShaderProgramFactoryTest, ProgramsAreMadeFoundAndKept)
{
    CreateRenderer();
    NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance();
    ASSERT_NE(pkFactory, nullptr);
    Write("Water.VSH", kVertexText, sizeof(kVertexText) - 1);
    const std::vector<std::uint8_t> kPixelCode = AssembleText(kPixelText);
    Write("Glow.PSO", kPixelCode.data(), kPixelCode.size());
    const char acLight[] = "float4 main() : COLOR { return missing; }";
    Write("Light.HLSL", acLight, sizeof(acLight) - 1);

    // Found by the name given, in another letter case, without directories.
    NiD3DVertexShader* pkWater = pkFactory->CreateVertexShaderFromFile((m_kFolder + "/water.vsh").c_str(), "water",
                                                                       nullptr, nullptr, nullptr, 7, true);
    ASSERT_NE(pkWater, nullptr);
    EXPECT_NE(pkWater->GetVertexShader(), nullptr);
    EXPECT_EQ(pkWater->GetUsage(), 7u);
    EXPECT_TRUE(pkWater->GetSoftwareVertexProcessing());
    EXPECT_EQ(pkWater->GetCreator(), NiD3DShaderProgramFactory::GetCreator("vsh"));
    const std::vector<std::uint8_t> kVertexCode = AssembleText(kVertexText);
    ASSERT_EQ(pkWater->GetCodeSize(), kVertexCode.size());
    EXPECT_EQ(std::memcmp(pkWater->GetCode(), kVertexCode.data(), kVertexCode.size()), 0);
    // A second request for the name returns the first program.
    EXPECT_EQ(pkFactory->CreateVertexShaderFromFile("Glow.PSO", "water", nullptr, nullptr, nullptr, 0, false),
              pkWater);
    EXPECT_EQ(pkFactory->GetVertexShader("water"), pkWater);
    EXPECT_TRUE(TakeErrorTexts().empty());

    // Through the directories, with their texts on the way.
    pkFactory->AddProgramDirectory(m_kFolder.c_str());
    pkFactory->AddProgramDirectory(""); // ignored
    NiD3DPixelShader* pkGlow = pkFactory->CreatePixelShaderFromFile("glow.pso", "glow", nullptr, nullptr);
    ASSERT_NE(pkGlow, nullptr);
    EXPECT_NE(pkGlow->GetPixelShader(), nullptr);
    EXPECT_EQ(pkGlow->GetCodeSize(), kPixelCode.size());
    EXPECT_TRUE(TakeErrorTexts().empty());
    EXPECT_EQ(pkFactory->CreatePixelShaderFromFile("light.hlsl", "light", nullptr, nullptr), nullptr);
    EXPECT_EQ(pkFactory->CreateVertexShaderFromFile("none.vsh", "none", nullptr, nullptr, nullptr, 0, false),
              nullptr);
    std::string kStored = m_kFolder;
    std::replace(kStored.begin(), kStored.end(), '/', '\\');
    // The compiler's own message follows, naming the line.
    const std::string kFailed = "Failed to compile shader main in file light.hlsl\nError: ";
    const std::vector<std::string> kExpected = {
        "Shader program file not found none.vsh in directory " + kStored + "\n",
        "Failed to find shader program file none.vsh\n",
    };
    std::vector<std::string> kTexts = TakeErrorTexts();
    ASSERT_EQ(kTexts.size(), 3u);
    EXPECT_EQ(kTexts[0].rfind(kFailed, 0), 0u) << kTexts[0];
    EXPECT_NE(kTexts[0].find("(1,"), std::string::npos) << kTexts[0];
    EXPECT_NE(kTexts[0].find("missing"), std::string::npos) << kTexts[0];
    kTexts.erase(kTexts.begin());
    EXPECT_EQ(kTexts, kExpected);
    EXPECT_EQ(pkFactory->GetPixelShaderCount(), 1u);
    EXPECT_EQ(pkFactory->GetVertexShaderCount(), 1u);

    // After the device object is lost, the stored code makes it again.
    pkGlow->DestroyRendererData();
    EXPECT_EQ(pkGlow->GetPixelShader(), nullptr);
    EXPECT_TRUE(pkFactory->RecreatePixelShader(pkGlow));
    gfx::IDirect3DPixelShader9* pkDevice = pkGlow->GetPixelShader();
    ASSERT_NE(pkDevice, nullptr);
    EXPECT_TRUE(pkGlow->RecreateRendererData());
    EXPECT_EQ(pkGlow->GetPixelShader(), pkDevice); // kept while it exists
}

TEST_F(NiD3DShaderProgramFactoryTest, BadProgramsAreReportedAndNotKept)
{
    CreateRenderer();
    NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance();
    pkFactory->AddProgramDirectory(m_kFolder.c_str());
    const char acBad[] = "vs_1_1\nmadd r0, v0, v0\n";
    Write("bad.vsh", acBad, sizeof(acBad) - 1);
    std::vector<std::uint8_t> kCut = AssembleText(kVertexText);
    kCut.resize(kCut.size() - 4); // no end token
    Write("cut.vso", kCut.data(), kCut.size());
    const char acWide[] = "vs_1_1\ndcl_position v0\nmov r12, v0\nmov oPos, r12\n"; // beyond the register limit
    Write("wide.vsh", acWide, sizeof(acWide) - 1);

    EXPECT_EQ(pkFactory->CreateVertexShaderFromFile("bad.vsh", "bad", nullptr, nullptr, nullptr, 0, false), nullptr);
    EXPECT_EQ(pkFactory->CreateVertexShaderFromFile("cut.vso", "cut", nullptr, nullptr, nullptr, 0, false), nullptr);
    const std::vector<std::string> kExpected = {
        "Failed to assemble shader bad.vsh\nError: line 2: unknown instruction 'madd'\n\n",
        "Failed to create vertex shader\nError 0x8876086c\n",
        "Failed CreateVertexShader call on cut\n",
    };
    EXPECT_EQ(TakeErrorTexts(), kExpected);
    EXPECT_EQ(pkFactory->GetVertexShaderCount(), 0u);

    // Only bits 0 and 1 of the flags reach the assembler; bit 1 lifts its
    // limits, and the device then refuses the register it cannot hold.
    NiD3DShaderProgramCreator::SetUniversalShaderCreationFlags(4);
    EXPECT_EQ(pkFactory->CreateVertexShaderFromFile("wide.vsh", "wide", nullptr, nullptr, nullptr, 0, false), nullptr);
    std::vector<std::string> kTexts = TakeErrorTexts();
    ASSERT_FALSE(kTexts.empty());
    EXPECT_EQ(kTexts[0].rfind("Failed to assemble shader wide.vsh", 0), 0u) << kTexts[0];
    NiD3DShaderProgramCreator::SetUniversalShaderCreationFlags(6);
    EXPECT_EQ(pkFactory->CreateVertexShaderFromFile("wide.vsh", "wide", nullptr, nullptr, nullptr, 0, false), nullptr);
    EXPECT_EQ(TakeErrorTexts(), (std::vector<std::string>{"Failed to create vertex shader\nError 0x8876086c\n",
                                                          "Failed CreateVertexShader call on wide\n"}));
    EXPECT_EQ(pkFactory->GetVertexShaderCount(), 0u);
    TakeReports();

    // Without a factory only the name as given is found.
    NiD3DShaderProgramFactory::Destroy();
    std::string kPath;
    EXPECT_FALSE(NiD3DShaderProgramFactory::FindProgramFile("bad.vsh", kPath));
    EXPECT_EQ(TakeErrorTexts(), std::vector<std::string>{"No valid shader program factory\n"});
    EXPECT_TRUE(NiD3DShaderProgramFactory::FindProgramFile((m_kFolder + "/BAD.vsh").c_str(), kPath));
}

namespace
{
class PlainShader : public NiD3DShader
{
};
} // namespace

TEST_F(NiD3DShaderProgramFactoryTest, PassesAskTheFactoryForTheirPrograms)
{
    CreateRenderer();
    NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance();
    ASSERT_NE(pkFactory, nullptr);
    pkFactory->AddProgramDirectory(m_kFolder.c_str());
    Write("Water.VSH", kVertexText, sizeof(kVertexText) - 1);
    Write("glow.psh", kPixelText, sizeof(kPixelText) - 1);

    NiD3DPassPtr spPass;
    NiD3DPass::CreateNewPass(spPass);
    EXPECT_TRUE(spPass->LoadVertexProgram(nullptr)); // no file: nothing to load
    EXPECT_FALSE(spPass->HasVertexProgram());
    // Folders are dropped and the missing extension added; the key is the name as given.
    spPass->SetProgramString(NiD3DPass::VERTEX_FILE, "C:\\art\\shaders/water");
    spPass->SetSoftwareVertexProcessing(true);
    ASSERT_TRUE(spPass->LoadVertexProgram(nullptr));
    NiD3DVertexShader* pkWater = spPass->GetVertexShader();
    ASSERT_NE(pkWater, nullptr);
    EXPECT_STREQ(pkWater->GetName(), "C:\\art\\shaders/water");
    EXPECT_TRUE(pkWater->GetSoftwareVertexProcessing());
    EXPECT_EQ(pkFactory->GetVertexShader("C:\\art\\shaders/water"), pkWater);
    // With an entry point the key carries it.
    spPass->SetProgramString(NiD3DPass::PIXEL_FILE, "/elsewhere/glow.psh");
    spPass->SetProgramString(NiD3DPass::PIXEL_ENTRY, "main");
    ASSERT_TRUE(spPass->LoadPixelProgram());
    ASSERT_NE(spPass->GetPixelShader(), nullptr);
    EXPECT_STREQ(spPass->GetPixelShader()->GetName(), "/elsewhere/glow.psh##main");
    EXPECT_TRUE(spPass->HasPixelProgram());
    EXPECT_TRUE(TakeErrorTexts().empty());

    // A file nowhere: reported, and the pass keeps what it had.
    NiD3DPassPtr spOther;
    NiD3DPass::CreateNewPass(spOther);
    spOther->SetProgramString(NiD3DPass::VERTEX_FILE, "missing");
    EXPECT_FALSE(spOther->LoadVertexProgram(nullptr));
    EXPECT_FALSE(spOther->HasVertexProgram());
    const std::vector<std::string> kTexts = TakeErrorTexts();
    ASSERT_FALSE(kTexts.empty());
    EXPECT_EQ(kTexts.back(), "Failed to find shader program file missing.vsh\n");

    // Set up for drawing, the pass binds both device programs and gives
    // every stage its own coordinates.
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    NiD3DTextureStage* pkStage = NiD3DTextureStage::GetFreeStage();
    ASSERT_NE(pkStage, nullptr);
    ASSERT_NE(pkStage->GetStageGroup(), nullptr);
    pkStage->GetStageGroup()->SetStageState(gfx::D3DTSS_TEXTURETRANSFORMFLAGS,
                                            gfx::D3DTTFF_COUNT3 | gfx::D3DTTFF_PROJECTED, false);
    ASSERT_EQ(spPass->SetStage(1, pkStage), 0u);
    pkState->SetTextureStageState(0, gfx::D3DTSS_TEXCOORDINDEX, 3, false);
    spPass->SetupShaderPrograms(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, NiXform(), NiBoundSphere(), 0);
    EXPECT_EQ(pkState->GetVertexShader(), pkWater->GetVertexShader());
    EXPECT_EQ(pkState->GetPixelShader(), spPass->GetPixelShader()->GetPixelShader());
    EXPECT_EQ(pkState->GetTextureStageState(0, gfx::D3DTSS_TEXCOORDINDEX), 0u);
    EXPECT_EQ(pkState->GetTextureStageState(1, gfx::D3DTSS_TEXCOORDINDEX), 1u);
    EXPECT_EQ(pkState->GetTextureStageState(0, gfx::D3DTSS_TEXTURETRANSFORMFLAGS), 0u);
    EXPECT_EQ(pkState->GetTextureStageState(1, gfx::D3DTSS_TEXTURETRANSFORMFLAGS), gfx::D3DTTFF_PROJECTED);

    // Purging a shader of the pass lets go of the device programs, unbinding
    // them first; recreating makes them again from the kept code.
    NiRefPtr<PlainShader> spShader = new PlainShader;
    spShader->SetPass(0, spPass);
    spShader->SetPassCount(1);
    ASSERT_TRUE(spShader->Initialize(m_spRenderer));
    spShader->PurgeRendererData();
    EXPECT_EQ(pkWater->GetVertexShader(), nullptr);
    EXPECT_EQ(spPass->GetPixelShader()->GetPixelShader(), nullptr);
    EXPECT_EQ(pkState->GetVertexShader(), nullptr);
    EXPECT_EQ(pkState->GetPixelShader(), nullptr);
    spShader->RecreateRendererData();
    EXPECT_NE(pkWater->GetVertexShader(), nullptr);
    EXPECT_NE(spPass->GetPixelShader()->GetPixelShader(), nullptr);

    // The pass going back to the pool lets go of its programs; the factory still has them.
    spShader = nullptr;
    NiD3DPixelShaderPtr spGlow = spPass->GetPixelShader();
    const std::uint32_t uiHeld = spGlow->GetRefCount();
    spPass = nullptr;
    EXPECT_EQ(spGlow->GetRefCount(), uiHeld - 1);
    EXPECT_EQ(pkFactory->GetPixelShader("/elsewhere/glow.psh##main"), spGlow);
}

TEST_F(NiD3DShaderProgramFactoryTest, ProgramsOutliveALostAndResetDevice)
{
    CreateRenderer();
    NiD3DShaderProgramFactory* pkFactory = NiD3DShaderProgramFactory::GetInstance();
    ASSERT_NE(pkFactory, nullptr);
    pkFactory->AddProgramDirectory(m_kFolder.c_str());
    Write("water.vsh", kVertexText, sizeof(kVertexText) - 1);
    Write("glow.psh", kPixelText, sizeof(kPixelText) - 1);

    NiD3DPassPtr spPass;
    NiD3DPass::CreateNewPass(spPass);
    spPass->SetProgramString(NiD3DPass::VERTEX_FILE, "water");
    spPass->SetProgramString(NiD3DPass::PIXEL_FILE, "glow");
    ASSERT_TRUE(spPass->LoadVertexProgram(nullptr));
    ASSERT_TRUE(spPass->LoadPixelProgram());
    NiRefPtr<PlainShader> spShader = new PlainShader;
    spShader->SetPass(0, spPass);
    spShader->SetPassCount(1);
    ASSERT_TRUE(spShader->Initialize(m_spRenderer));
    gfx::IDirect3DVertexShader9* pkVertex = spPass->GetVertexShader()->GetVertexShader();
    gfx::IDirect3DPixelShader9* pkPixel = spPass->GetPixelShader()->GetPixelShader();
    ASSERT_NE(pkVertex, nullptr);
    ASSERT_NE(pkPixel, nullptr);

    auto Frame = [this]() {
        const bool bBegun = m_spRenderer->BeginScene();
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_ALL);
        m_spRenderer->EndScene();
        m_spRenderer->DisplayFrame();
        return bBegun;
    };
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    ASSERT_TRUE(Frame());
    pkDevice->SimulateDeviceLoss();
    EXPECT_FALSE(Frame());
    EXPECT_FALSE(Frame());
    pkDevice->EndDeviceLoss();
    ASSERT_TRUE(Frame());
    EXPECT_FALSE(m_spRenderer->IsDeviceLost());

    // Device programs are not in the pool a reset empties: the same objects
    // come through, and the pass binds them as before.
    EXPECT_EQ(spPass->GetVertexShader()->GetVertexShader(), pkVertex);
    EXPECT_EQ(spPass->GetPixelShader()->GetPixelShader(), pkPixel);
    spPass->SetupShaderPrograms(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, NiXform(), NiBoundSphere(), 0);
    NiDX9RenderState* pkState = m_spRenderer->GetRenderState();
    EXPECT_EQ(pkState->GetVertexShader(), pkVertex);
    EXPECT_EQ(pkState->GetPixelShader(), pkPixel);

    // After a purge during the loss the kept code makes them again once the
    // device is back.
    pkDevice->SimulateDeviceLoss();
    EXPECT_FALSE(Frame());
    spShader->PurgeRendererData();
    EXPECT_EQ(spPass->GetVertexShader()->GetVertexShader(), nullptr);
    pkDevice->EndDeviceLoss();
    ASSERT_TRUE(Frame());
    spShader->RecreateRendererData();
    EXPECT_NE(spPass->GetVertexShader()->GetVertexShader(), nullptr);
    EXPECT_NE(spPass->GetPixelShader()->GetPixelShader(), nullptr);
    EXPECT_TRUE(TakeErrorTexts().empty());
}
