#include "engine/render/NiD3DRenderState.h"
#include "engine/shaders/framework/NiD3DHLSLShaderProgram.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DTextureStage.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFParserLib.h"
#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFScannerState.h"
#include "tests/engine/shaders/framework/ShaderTestSupport.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace shader_test;

namespace fs = std::filesystem;

namespace
{
class NSFEndToEndTest : public ShaderTest
{
protected:
    void SetUp() override
    {
        ShaderTest::SetUp();
        NSFScannerState::Reset();
        NSFGrammarActions::Reset();
        m_kRoot = fs::temp_directory_path() / ("nsf_e2e_" + std::to_string(::getpid()));
        fs::remove_all(m_kRoot);
        fs::create_directories(m_kRoot);
    }
    void TearDown() override
    {
        NSFGrammarActions::Reset();
        ReleaseScannerBuffer();
        NSFScannerState::Reset();
        std::error_code kError;
        fs::remove_all(m_kRoot, kError);
        ShaderTest::TearDown();
    }
    // The binary library over the temporary folder, kept in spLibrary, and
    // its shader pcName built for the renderer; null, with the failure
    // recorded, at the first step that fails.
    NiBinaryShaderPtr LoadAndBuild(const char* pcName, NiRefPtr<NSBShaderLib>& spLibrary)
    {
        const std::string kRoot = m_kRoot.string();
        const char* apcDirectories[] = {kRoot.c_str()};
        spLibrary = NSBShaderLib::Create(1, apcDirectories, false);
        EXPECT_NE(spLibrary, nullptr);
        if (spLibrary == nullptr)
            return nullptr;
        NSBShader* pkShader = spLibrary->FindShader(pcName);
        EXPECT_NE(pkShader, nullptr) << pcName;
        if (pkShader == nullptr)
            return nullptr;
        return pkShader->GetD3DShader(m_spRenderer, 0);
    }
    fs::path m_kRoot;
};
} // namespace

// A description compiled at start, loaded by the binary library and built
// for the renderer: the device states are those the text names.
TEST_F(NSFEndToEndTest, ACompiledDescriptionBuildsOnTheRendererWithItsStates)
{
    CreateRenderer();
    std::ofstream(m_kRoot / "e2e.nsf") << "NSFShader Compiled {\n"
                                          "Implementation Only {\n"
                                          "  Requirements { UsesNiRenderState = TRUE BonesPerPartition = 6 }\n"
                                          "  RenderStates { ZFunc = LessEqual SAVE AlphaBlendEnable = TRUE }\n"
                                          "  Pass P {\n"
                                          "    Stage 0 B { TSS_ColorOp = TOP_Modulate TSS_Texture = NTM_Base }\n"
                                          "    Sampler 0 B { TSAMP_AddressU = TADDR_Clamp }\n"
                                          "  }\n"
                                          "} }\n";
    ASSERT_EQ(RunNSFParserEntry(m_kRoot.string().c_str(), false), 1);
    NiRefPtr<NSBShaderLib> spLibrary;
    NiBinaryShaderPtr spBuilt = LoadAndBuild("Compiled", spLibrary);
    ASSERT_NE(spBuilt, nullptr);
    EXPECT_TRUE(spBuilt->GetUsesNiRenderState());
    EXPECT_EQ(spBuilt->GetBonesPerPartition(), 6u);
    std::uint32_t uiValue = 0;
    bool bSave = false;
    ASSERT_NE(spBuilt->GetRenderStateGroup(), nullptr);
    EXPECT_TRUE(spBuilt->GetRenderStateGroup()->GetRenderState(gfx::D3DRS_ZFUNC, uiValue, bSave));
    EXPECT_EQ(uiValue, 4u); // less-or-equal
    EXPECT_TRUE(bSave);
    EXPECT_TRUE(spBuilt->GetRenderStateGroup()->GetRenderState(gfx::D3DRS_ALPHABLENDENABLE, uiValue, bSave));
    EXPECT_EQ(uiValue, 1u);
    ASSERT_EQ(spBuilt->GetPassCount(), 1u);
    NiD3DTextureStage* pkStage = spBuilt->GetPass(0)->GetStage(0);
    ASSERT_NE(pkStage, nullptr);
    EXPECT_EQ(pkStage->GetTextureSelector(), 0x200000u);
    EXPECT_TRUE(pkStage->GetStageGroup()->GetStageState(gfx::D3DTSS_COLOROP, uiValue, bSave));
    EXPECT_EQ(uiValue, 4u); // modulate
    EXPECT_TRUE(pkStage->GetStageGroup()->GetSamplerState(0, uiValue, bSave));
    EXPECT_EQ(uiValue, 3u); // clamp, for address U
    spBuilt = nullptr;
    testing::internal::CaptureStderr();
    spLibrary = nullptr;
    testing::internal::GetCapturedStderr();
    TakeReports();
}

// A description whose pass names high-level programs by file, entry point
// and target: the built shader's pass holds compiled programs that keep
// them, with their constant tables.
TEST_F(NSFEndToEndTest, HighLevelProgramsNamedInADescriptionAreCompiledForThePass)
{
    CreateRenderer();
    std::ofstream(m_kRoot / "tint.nsf") << "NSFShader HighLevel {\n"
                                           "Implementation Only {\n"
                                           "  Requirements { VSVersion = v2.0 PSVersion = v2.0 }\n"
                                           "  Pass P {\n"
                                           "    VSProgram Tint.hlsl TintVS vs_2_0\n"
                                           "    PSProgram \"Tint.hlsl\" TintPS\n"
                                           "  }\n"
                                           "} }\n";
    std::ofstream(m_kRoot / "Tint.hlsl") << "float4x4 WorldViewProj;\n"
                                            "float4 Tint;\n"
                                            "float4 TintVS(float4 p : POSITION) : POSITION { return mul(p, WorldViewProj); }\n"
                                            "float4 TintPS() : COLOR { return Tint; }\n";
    ASSERT_EQ(RunNSFParserEntry(m_kRoot.string().c_str(), false), 1);
    NiD3DShaderFactory::GetD3DShaderFactory()->AddProgramDirectory(m_kRoot.string().c_str());
    NiRefPtr<NSBShaderLib> spLibrary;
    NiBinaryShaderPtr spBuilt = LoadAndBuild("HighLevel", spLibrary);
    ASSERT_NE(spBuilt, nullptr);
    ASSERT_TRUE(spBuilt->Initialize(m_spRenderer));
    NiD3DPass* pkPass = spBuilt->GetPass(0);
    ASSERT_NE(pkPass, nullptr);
    auto* pkVertex = dynamic_cast<NiD3DHLSLVertexShader*>(pkPass->GetVertexShader());
    auto* pkPixel = dynamic_cast<NiD3DHLSLPixelShader*>(pkPass->GetPixelShader());
    ASSERT_NE(pkVertex, nullptr);
    ASSERT_NE(pkPixel, nullptr);
    EXPECT_STREQ(pkVertex->GetEntryPoint(), "TintVS");
    EXPECT_STREQ(pkVertex->GetShaderTarget(), "vs_2_0");
    EXPECT_STREQ(pkPixel->GetEntryPoint(), "TintPS");
    // No target given: the device's best pixel profile.
    EXPECT_NE(pkPixel->GetShaderTarget(), nullptr);
    EXPECT_NE(pkVertex->GetConstantTable(), nullptr);
    EXPECT_NE(pkPixel->GetConstantTable(), nullptr);
    EXPECT_NE(pkVertex->GetVertexShader(), nullptr);
    for (const Report& kReport : TakeReports())
        ADD_FAILURE() << kReport.m_kText;
    spBuilt = nullptr;
    testing::internal::CaptureStderr();
    spLibrary = nullptr;
    testing::internal::GetCapturedStderr();
}
