// The first demo level's showcase drawn on the gl device through the shader
// start-up's libraries: the pillar by the demo material's vertex and pixel
// programs (its grey texel x white tint, warmed by the pixel program), the
// post by the demo effect's technique of assembly programs (its colour), the
// high-level pillar by its compiled programs (the glow given by name).
#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectShader.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/framework/NiD3DHLSLShaderProgram.h"
#include "engine/shaders/framework/NiD3DPass.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiBinaryShader.h"
#include "tests/game/shell/ShellGlTestSupport.h"
#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneDemoShader.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>
#include <unistd.h>

namespace
{
class CDemoLevelProgramsTest : public testing::Test
{
protected:
    static constexpr std::uint32_t WIDTH = 1024;
    static constexpr std::uint32_t HEIGHT = 768;
    static constexpr shell_gl_test::EngineParts ENGINE_PARTS{.m_bAnimation = true, .m_bShaderFactory = true};
    static constexpr float HALF_WIDTH = 0.5f, HALF_HEIGHT = 0.375f;

    void SetUp() override
    {
        shell_gl_test::StartEngine(ENGINE_PARTS);
        m_kPrevious = std::filesystem::current_path();
        m_kFolder = std::filesystem::temp_directory_path() / ("orvane_demo_programs_" + std::to_string(getpid()));
        std::filesystem::create_directories(m_kFolder / "models");
        ASSERT_TRUE(WriteDemoLevel(m_kFolder.string()));
        ASSERT_TRUE(WriteDemoShader((m_kFolder / "models").string()));
        ASSERT_TRUE(WriteDemoHlslShader((m_kFolder / "models").string()));
        ASSERT_TRUE(WriteDemoEffect((m_kFolder / "models").string()));
        std::filesystem::current_path(m_kFolder);

        shell_gl_test::CreateGlRenderer(WIDTH, HEIGHT, m_spRenderer);
        if (IsSkipped() || HasFatalFailure())
            return;

        NiObjectStream kIn;
        ASSERT_TRUE(kIn.LoadFile((m_kFolder / DEMO_LEVEL_FILE).string().c_str())) << kIn.GetLastErrorMessage();
        ASSERT_GT(kIn.GetObjectCount(), 0u);
        m_spLevel = NiDynamicCast<NiNode>(kIn.GetObjectAt(0));
        kIn.RemoveAllTopObjects();
        ASSERT_NE(m_spLevel, nullptr);
        // The shader start-up's libraries over "models", its programs found there.
        const std::string kModels = (m_kFolder / "models").string();
        const char* apcFolders[] = {kModels.c_str()};
        NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
        NSBShaderLib* pkBinary = NSBShaderLib::Create(1, apcFolders, false);
        ASSERT_NE(pkBinary, nullptr);
        pkBinary->SetRenderer(m_spRenderer);
        pkFactory->InsertLibrary(pkBinary);
        NiD3DXEffectShaderLib* pkEffects = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcFolders, true);
        ASSERT_NE(pkEffects, nullptr);
        pkFactory->InsertLibrary(pkEffects);
        pkFactory->AddProgramDirectory(kModels.c_str());

        m_spLevel->Update(0.0f);
        m_spLevel->UpdateProperties();
        m_spLevel->UpdateEffects();
    }

    void TearDown() override
    {
        m_spLevel = nullptr;
        if (NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory())
            pkFactory->RemoveAllLibraries();
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        shell_gl_test::StopEngine(ENGINE_PARTS, m_spRenderer);
        std::error_code kError;
        std::filesystem::current_path(m_kPrevious, kError);
        std::filesystem::remove_all(m_kFolder, kError);
    }

    // The camera west of the showcase's pillars at half their height, level
    // with their row's middle, looking east (+x), up +z (the level's file is
    // Z up).
    NiVec3 Camera() const
    {
        const DemoLevel& k = DEMO_LEVELS[0];
        const float fRow = 0.5f * (DEMO_SHOWCASE_SIGNAL_Y + DEMO_SHOWCASE_HLSL_Y);
        return NiVec3(k.m_fPrisonX + DEMO_SHOWCASE_WEST - 34.0f, fRow - k.m_fPrisonZ,
                      DEMO_SHOWCASE_BASE + 0.5f * DEMO_SHOWCASE_HEIGHT);
    }
    void Draw(std::initializer_list<NiTriShape*> kObjects)
    {
        NiViewFrustum kFrustum;
        kFrustum.Set(-HALF_WIDTH, HALF_WIDTH, HALF_HEIGHT, -HALF_HEIGHT, 1.0f, 200.0f, false);
        m_spRenderer->SetCameraData(Camera(), NiVec3(1, 0, 0), NiVec3(0, 0, 1), NiVec3(0, -1, 0), kFrustum,
                                    NiRect<float>(0.0f, 1.0f, 1.0f, 0.0f));
        ASSERT_TRUE(m_spRenderer->BeginScene());
        m_spRenderer->ClearBuffer(nullptr, NiRenderer::CLEAR_BACKBUFFER | NiRenderer::CLEAR_ZBUFFER);
        for (NiTriShape* pkObject : kObjects)
            pkObject->RenderImmediate(m_spRenderer);
        m_spRenderer->EndScene();
    }
    // The colour where the pillar standing at file y `fY` shows its west face's middle.
    std::array<int, 3> At(float fY)
    {
        const DemoLevel& k = DEMO_LEVELS[0];
        const NiVec3 kCamera = Camera();
        const float fDepth = (k.m_fPrisonX + DEMO_SHOWCASE_WEST) - kCamera.x;
        const float fRight = kCamera.y - (fY - k.m_fPrisonZ);
        const float fNdcX = fRight / (fDepth * HALF_WIDTH);
        const auto x = static_cast<std::uint32_t>(std::lround((fNdcX + 1.0f) * 0.5f * WIDTH));
        const std::uint32_t y = HEIGHT / 2;
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        if (spImage == nullptr || x >= spImage->GetWidth())
            return {-1, -1, -1};
        const std::uint8_t* puc = spImage->GetPixels() + (std::size_t(y) * spImage->GetWidth() + x) * 4;
        return {puc[2], puc[1], puc[0]};
    }

    std::filesystem::path m_kPrevious, m_kFolder;
    NiDX9RendererPtr m_spRenderer;
    NiRefPtr<NiNode> m_spLevel;
};
} // namespace

TEST_F(CDemoLevelProgramsTest, TheShowcasePillarsAreDrawnByTheirPrograms)
{
    NiAVObject* pkShowcase = m_spLevel->GetObjectByName(DEMO_SHOWCASE_NODE);
    ASSERT_NE(pkShowcase, nullptr);
    auto* pkPillar = NiDynamicCast<NiTriShape>(m_spLevel->GetObjectByName(DEMO_SHOWCASE_MATERIAL));
    auto* pkSignal = NiDynamicCast<NiTriShape>(m_spLevel->GetObjectByName(DEMO_SHOWCASE_SIGNAL));
    ASSERT_TRUE(pkPillar && pkSignal);
    // The shaders they name, from the libraries, as a load with the libraries in place attaches them.
    NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
    ASSERT_TRUE(pkFactory->AttachShaderByName(pkPillar, pkPillar->GetShader()->GetName(), 0));
    ASSERT_TRUE(pkFactory->AttachShaderByName(pkSignal, pkSignal->GetShader()->GetName(), 0));
    ASSERT_NE(NiDynamicCast<NiBinaryShader>(pkPillar->GetShader()), nullptr) << "the pillar kept its placeholder";
    ASSERT_NE(NiDynamicCast<NiD3DXEffectShader>(pkSignal->GetShader()), nullptr) << "the post kept its placeholder";

    Draw({pkPillar, pkSignal});
    // The grey texel x the white tint, warmed by the pixel program.
    const std::array<int, 3> kPillar = At(DEMO_SHOWCASE_MATERIAL_Y);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(kPillar[i], DEMO_SHOWCASE_TEXEL * DEMO_MATERIAL_WARMTH[i], 2.0) << "pillar channel " << i;
    // The effect's programs: their one colour.
    const std::array<int, 3> kSignal = At(DEMO_SHOWCASE_SIGNAL_Y);
    const int aiColour[3] = {int((DEMO_PROGRAM_EFFECT_COLOUR >> 16) & 0xFF), int((DEMO_PROGRAM_EFFECT_COLOUR >> 8) & 0xFF),
                             int(DEMO_PROGRAM_EFFECT_COLOUR & 0xFF)};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(kSignal[i], aiColour[i], 1.0) << "signal channel " << i;
}

// The west face (turned along -x) shows the glow the pass gives the pixel
// program by name, whole; the compiled programs are what the pass holds.
TEST_F(CDemoLevelProgramsTest, TheHighLevelPillarIsDrawnByItsCompiledPrograms)
{
    auto* pkPillar = NiDynamicCast<NiTriShape>(m_spLevel->GetObjectByName(DEMO_SHOWCASE_HLSL));
    ASSERT_NE(pkPillar, nullptr);
    ASSERT_NE(pkPillar->GetShader(), nullptr);
    EXPECT_STREQ(pkPillar->GetShader()->GetName(), DEMO_HLSL_SHADER_NAME);
    static std::vector<std::string> s_kReports;
    s_kReports.clear();
    NiShaderFactory::SetErrorCallback(+[](const char* pcText, std::uint32_t, bool) {
        s_kReports.emplace_back(pcText);
        return 0;
    });
    NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory();
    ASSERT_TRUE(pkFactory->AttachShaderByName(pkPillar, DEMO_HLSL_SHADER_NAME, 0));
    for (const std::string& kReport : s_kReports)
        ADD_FAILURE() << kReport;
    s_kReports.clear();
    auto* pkShader = NiDynamicCast<NiBinaryShader>(pkPillar->GetShader());
    ASSERT_NE(pkShader, nullptr) << "the pillar kept its placeholder";
    ASSERT_NE(pkShader->GetPass(0), nullptr);
    EXPECT_NE(dynamic_cast<NiD3DHLSLVertexShader*>(pkShader->GetPass(0)->GetVertexShader()), nullptr);
    EXPECT_NE(dynamic_cast<NiD3DHLSLPixelShader*>(pkShader->GetPass(0)->GetPixelShader()), nullptr);

    // A constant the program refuses goes to the shader system's trace.
    static int s_iRefused = 0;
    s_iRefused = 0;
    NiD3DUtility::SetLogHook(+[](const char*) { ++s_iRefused; });
    Draw({pkPillar});
    NiD3DUtility::SetLogHook(nullptr);
    NiShaderFactory::SetErrorCallback(nullptr);
    EXPECT_EQ(s_iRefused, 0);
    EXPECT_TRUE(s_kReports.empty());
    const std::array<int, 3> kColour = At(DEMO_SHOWCASE_HLSL_Y);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(kColour[i], 255.0f * DEMO_HLSL_GLOW[i], 2.0) << "channel " << i;
}
