#include "tools/COrvaneDemoShader.h"

#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/scene/NiGeometry.h"
#include "engine/scene/NiNode.h"
#include "engine/shaders/framework/NiD3DRenderStateGroup.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"
#include "engine/shaders/framework/NiD3DTextureStageGroup.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiShaderLibraryDesc.h"
#include "framework/COrvaneShaderFactory.h"
#include "framework/COrvaneSystem.h"
#include "platform/gfx/GfxTypes.h"
#include "platform/gfxutil/GfxUtilShader.h"
#include "tests/tools/DemoTestSupport.h"
#include "tools/COrvaneDemoData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace
{
class COrvaneDemoShaderTest : public demotest::EngineFolderTest
{
protected:
    COrvaneDemoShaderTest() : EngineFolderTest("shader", {.m_bRenderImage = true, .m_bRender = true}) {}
    void SetUp() override
    {
        EngineFolderTest::SetUp();
        m_kPrevious = std::filesystem::current_path();
        COrvaneShaderFactory::Set(nullptr);
        NiD3DShaderFactory::Create();
    }
    void TearDown() override
    {
        NiD3DShaderFactory::Destroy();
        std::error_code kError;
        std::filesystem::current_path(m_kPrevious, kError);
        EngineFolderTest::TearDown();
    }

    std::filesystem::path m_kPrevious;
};
} // namespace

// The framework's shader start-up in the demo data registers the binary
// shader library, which holds the demo shader.
TEST_F(COrvaneDemoShaderTest, ShaderStartUpInTheDemoDataFindsTheDemoShader)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    std::filesystem::current_path(m_kFolder);

    COrvaneSystem kSystem;
    kSystem.CreateShaderSetup();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kSystem.LoadShaders());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Shader library NiD3DXEffectShaderLib.nl9 failed to load\n");

    auto* pkLibrary = static_cast<NSBShaderLib*>(NiD3DShaderFactory::GetD3DShaderFactory()->FindLibrary("NSBShaderLib"));
    ASSERT_NE(pkLibrary, nullptr);
    NSBShader* pkShader = pkLibrary->FindShader(DEMO_SHADER_NAME);
    ASSERT_NE(pkShader, nullptr);
    EXPECT_EQ(pkShader->GetImplementationCount(), 2u);
    EXPECT_NE(pkShader->GetPackingDef("PosNormUV", false), nullptr);
    EXPECT_EQ(pkShader->GetMaxVertexShaderVersion(), 0xFFFE0101u);
    // Its programs lie in the game's folder, where the program factory finds
    // them by their bare names, and assemble into streams a device takes.
    for (const char* pcFile : {DEMO_MATERIAL_VERTEX_FILE, DEMO_MATERIAL_PIXEL_FILE, DEMO_HLSL_PROGRAM_FILE})
    {
        std::string kPath;
        EXPECT_TRUE(NiD3DShaderProgramFactory::FindProgramFile(pcFile, kPath)) << pcFile;
    }
    for (const auto& [pcEntry, pcProfile] : {std::pair{"DemoVertex", "vs_2_0"}, std::pair{"DemoPixel", "ps_2_0"}})
    {
        gfx::ID3DXBuffer* pkCode = nullptr;
        gfx::ID3DXBuffer* pkErrors = nullptr;
        EXPECT_EQ(gfx::D3DXCompileShaderFromFile(DEMO_HLSL_PROGRAM_FILE, pcEntry, pcProfile, 0, &pkCode, &pkErrors,
                                                 nullptr),
                  gfx::D3D_OK)
            << pcEntry << ": " << (pkErrors ? static_cast<const char*>(pkErrors->GetBufferPointer()) : "");
        if (pkCode)
            pkCode->Release();
        if (pkErrors)
            pkErrors->Release();
    }
    EXPECT_NE(pkLibrary->FindShader(DEMO_HLSL_SHADER_NAME), nullptr);
    for (const char* pcFile : {DEMO_MATERIAL_VERTEX_FILE, DEMO_MATERIAL_PIXEL_FILE})
    {
        gfx::ID3DXBuffer* pkCode = nullptr;
        gfx::ID3DXBuffer* pkErrors = nullptr;
        EXPECT_EQ(gfx::D3DXAssembleShaderFromFile((m_kFolder / pcFile).string().c_str(), 0, &pkCode, &pkErrors),
                  gfx::D3D_OK)
            << pcFile;
        if (pkErrors)
            pkErrors->Release();
        ASSERT_NE(pkCode, nullptr) << pcFile;
        std::uint32_t uiVersion = 0;
        std::memcpy(&uiVersion, pkCode->GetBufferPointer(), 4);
        EXPECT_EQ(uiVersion, std::string(pcFile).ends_with(".vsh") ? 0xFFFE0101u : 0xFFFF0101u);
        pkCode->Release();
    }
    ASSERT_NE(pkLibrary->GetLibraryDesc(), nullptr);
    EXPECT_NE(pkLibrary->GetLibraryDesc()->GetShaderDesc(DEMO_SHADER_NAME), nullptr);

    // The description was compiled at start and loaded with the others.
    EXPECT_TRUE(std::filesystem::exists(m_kFolder / "models" / "OrvaneDemoFixedFunction.NSB"));
    NSBShader* pkDescribed = pkLibrary->FindShader(DEMO_DESCRIBED_SHADER_NAME);
    ASSERT_NE(pkDescribed, nullptr);
    EXPECT_EQ(pkDescribed->GetImplementationCount(), 1u);
    ASSERT_NE(pkDescribed->GetPackingDef("PosNormUV", false), nullptr);
    EXPECT_TRUE(pkDescribed->GetPackingDef("PosNormUV", false)->GetFixedFunction());
    EXPECT_EQ(pkDescribed->GetPlatformFlags(), 2u);

    // The demo scene's floor names it.
    NiObjectStream kScene;
    ASSERT_TRUE(kScene.LoadFile("models/demo.nif"));
    std::vector<NiGeometry*> kUsers;
    std::function<void(NiAVObject*)> Walk = [&](NiAVObject* pkObject) {
        if (auto* pkGeometry = NiDynamicCast<NiGeometry>(pkObject))
        {
            if (pkGeometry->GetShader() != nullptr && pkGeometry->GetShader()->GetName() != nullptr &&
                std::string(pkGeometry->GetShader()->GetName()) == DEMO_DESCRIBED_SHADER_NAME)
                kUsers.push_back(pkGeometry);
        }
        if (auto* pkNode = NiDynamicCast<NiNode>(pkObject))
            for (std::uint32_t ui = 0; ui < pkNode->GetChildCount(); ++ui)
                if (pkNode->GetAt(ui) != nullptr)
                    Walk(pkNode->GetAt(ui));
    };
    for (std::uint32_t ui = 0; ui < kScene.GetObjectCount(); ++ui)
        Walk(NiDynamicCast<NiAVObject>(kScene.GetObjectAt(ui)));
    EXPECT_EQ(kUsers.size(), 1u);
    kScene.RemoveAllTopObjects();
    testing::internal::CaptureStderr();
    NiD3DShaderFactory::GetD3DShaderFactory()->RemoveAllLibraries();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Releasing Binary Shaders!\n");
}

// The file keeps the language's numbers; what the renderer makes of them is
// the material the demo means: depth test on, counter-clockwise culling, the
// base texture times the diffuse colour, linear minification.
TEST_F(COrvaneDemoShaderTest, TheDemoShaderConvertsToItsIntendedDeviceStates)
{
    // The state groups' pools, undone before the fixture's end.
    struct RendererLibrary
    {
        RendererLibrary() { NiDX9RendererLibraryStartup(); }
        ~RendererLibrary() { NiDX9RendererLibraryReset(); }
    } kRendererLibrary;
    const std::filesystem::path kDir = m_kFolder / "nsb";
    std::filesystem::create_directories(kDir);
    ASSERT_TRUE(WriteDemoShader(kDir.string()));
    const std::string kText = kDir.string();
    const char* apcFolders[] = {kText.c_str()};
    NiRefPtr<NSBShaderLib> spLibrary = NSBShaderLib::Create(1, apcFolders, false);
    ASSERT_NE(spLibrary, nullptr);
    NSBShader* pkShader = spLibrary->FindShader(DEMO_SHADER_NAME);
    ASSERT_NE(pkShader, nullptr);
    ASSERT_EQ(pkShader->GetImplementationCount(), 2u);
    std::uint32_t uiValue = 0;
    bool bSave = false;

    NiD3DRenderStateGroup kShaderStates;
    ASSERT_TRUE(pkShader->GetImplementationByIndex(0)->GetRenderStateGroup()->SetupRenderStateGroup(kShaderStates));
    ASSERT_TRUE(kShaderStates.GetRenderState(gfx::D3DRS_ZENABLE, uiValue, bSave));
    EXPECT_EQ(uiValue, gfx::D3DZB_TRUE);
    EXPECT_FALSE(kShaderStates.GetRenderState(gfx::D3DRS_ZWRITEENABLE, uiValue, bSave));

    for (std::uint32_t ui = 0; ui < 2; ++ui)
    {
        SCOPED_TRACE(ui);
        NSBPass* pkPass = pkShader->GetImplementationByIndex(ui)->GetPass(0, false);
        ASSERT_NE(pkPass, nullptr);
        NiD3DRenderStateGroup kPassStates;
        ASSERT_TRUE(pkPass->GetRenderStateGroup()->SetupRenderStateGroup(kPassStates));
        ASSERT_TRUE(kPassStates.GetRenderState(gfx::D3DRS_CULLMODE, uiValue, bSave));
        EXPECT_EQ(uiValue, gfx::D3DCULL_CCW);
        EXPECT_TRUE(bSave);

        NSBTextureStage* pkStage = pkPass->GetStage(0, false);
        ASSERT_NE(pkStage, nullptr);
        NiD3DTextureStageGroup kStage;
        ASSERT_TRUE(pkStage->GetTextureStageGroup()->SetupTextureStageGroup(kStage));
        ASSERT_TRUE(pkStage->GetSamplerStageGroup()->SetupSamplerGroup(kStage));
        ASSERT_TRUE(kStage.GetStageState(gfx::D3DTSS_COLOROP, uiValue, bSave));
        EXPECT_EQ(uiValue, gfx::D3DTOP_MODULATE);
        ASSERT_TRUE(kStage.GetStageState(gfx::D3DTSS_COLORARG1, uiValue, bSave));
        EXPECT_EQ(uiValue, gfx::D3DTA_TEXTURE);
        ASSERT_TRUE(kStage.GetStageState(gfx::D3DTSS_COLORARG2, uiValue, bSave));
        EXPECT_EQ(uiValue, gfx::D3DTA_DIFFUSE);
        EXPECT_FALSE(kStage.GetStageState(gfx::D3DTSS_COLORARG0, uiValue, bSave));
        // Sampler states by the engine's number: MINFILTER is 5 (the
        // device's 6), and nothing lands on MIPFILTER.
        ASSERT_TRUE(kStage.GetSamplerState(gfx::D3DSAMP_MINFILTER - 1, uiValue, bSave));
        EXPECT_EQ(uiValue, gfx::D3DTEXF_LINEAR);
        EXPECT_FALSE(kStage.GetSamplerState(gfx::D3DSAMP_MIPFILTER - 1, uiValue, bSave));
    }
}
