// The demo data's glass pane drawn through the demo effect file on the gl
// device, inside the demo scene as the game loads it: the pane's pixel is
// the effect's tint blended over the floor, and the effect's states do not
// reach what the next frame draws first.
#include "game/shell/CDemoScene.h"

#include "engine/core/NiMainLibrary.h"
#include "engine/core/NiObjectStream.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiRenderImageLibrary.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/scene/NiTriShape.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectShader.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/framework/NiD3DShaderFactory.h"
#include "tests/game/shell/ShellGlTestSupport.h"
#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoScene.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace
{
class CDemoSceneEffectTest : public testing::Test
{
protected:
    static constexpr std::uint32_t WIDTH = 1024;
    static constexpr std::uint32_t HEIGHT = 768;
    static constexpr shell_gl_test::EngineParts ENGINE_PARTS{.m_bAnimation = false, .m_bShaderFactory = true};

    void SetUp() override
    {
        shell_gl_test::StartEngine(ENGINE_PARTS);
        m_kFolder = std::filesystem::temp_directory_path() /
                    ("orvane_demo_effect_" + std::to_string(getpid()) + "_" +
                     testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_kFolder);
        ASSERT_TRUE(demo_scene::Write(m_kFolder.string()));
        ASSERT_TRUE(WriteDemoEffect((m_kFolder / "models").string()));

        shell_gl_test::CreateGlRenderer(WIDTH, HEIGHT, m_spRenderer);
        if (IsSkipped() || HasFatalFailure())
            return;

        // The shader start-up's effect library over "models", then the scene.
        const std::string kModels = (m_kFolder / "models").string();
        const char* apcFolders[] = {kModels.c_str()};
        NiD3DXEffectShaderLib* pkLibrary = NiD3DXEffectShaderLib::Create(m_spRenderer, 1, apcFolders, true);
        ASSERT_NE(pkLibrary, nullptr);
        NiD3DShaderFactory::GetD3DShaderFactory()->InsertLibrary(pkLibrary);
        m_pkScene = std::make_unique<CDemoScene>();
        ASSERT_TRUE(m_pkScene->Load((m_kFolder / demo_scene::FILE_NAME).string().c_str()));
    }

    void TearDown() override
    {
        m_pkScene.reset();
        if (NiD3DShaderFactory* pkFactory = NiD3DShaderFactory::GetD3DShaderFactory())
            pkFactory->RemoveAllLibraries();
        NiD3DXEffectShaderLib::ReleaseEffectFileList();
        NiD3DXEffectFactory::Shutdown();
        shell_gl_test::StopEngine(ENGINE_PARTS, m_spRenderer);
        std::error_code kError;
        std::filesystem::remove_all(m_kFolder, kError);
    }

    // The colour at a world point seen straight down from the camera, after
    // one whole frame.
    void Draw() { m_pkScene->DrawFrame(m_spRenderer); }
    [[nodiscard]] std::array<int, 3> At(const NiVec3& kPoint) const
    {
        const float fDepth = demo_scene::CAMERA_POSITION.z - kPoint.z;
        const float fNdcX = (kPoint.x - demo_scene::CAMERA_POSITION.x) / (fDepth * demo_scene::FRUSTUM_HALF_WIDTH);
        const float fNdcY = (kPoint.y - demo_scene::CAMERA_POSITION.y) / (fDepth * demo_scene::FRUSTUM_HALF_HEIGHT);
        const auto x = static_cast<std::uint32_t>(std::lround((fNdcX + 1.0f) * 0.5f * WIDTH));
        const auto y = static_cast<std::uint32_t>(std::lround((1.0f - fNdcY) * 0.5f * HEIGHT));
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        if (spImage == nullptr || x >= spImage->GetWidth() || y >= spImage->GetHeight())
            return {-1, -1, -1};
        const std::uint8_t* puc = spImage->GetPixels() + (std::size_t(y) * spImage->GetWidth() + x) * 4;
        return {puc[2], puc[1], puc[0]};
    }

    std::filesystem::path m_kFolder;
    NiDX9RendererPtr m_spRenderer;
    std::unique_ptr<CDemoScene> m_pkScene;
};
} // namespace

TEST_F(CDemoSceneEffectTest, TheGlassIsTheTintBlendedOverTheFloor)
{
    NiAVObject* pkGlass = m_pkScene->GetRoot()->GetObjectByName("Glass");
    ASSERT_NE(pkGlass, nullptr);
    auto* pkShader = NiDynamicCast<NiD3DXEffectShader>(static_cast<NiTriShape*>(pkGlass)->GetShader());
    ASSERT_NE(pkShader, nullptr) << "the pane kept its placeholder";
    EXPECT_STREQ(pkShader->GetName(), DEMO_EFFECT_NAME);

    // The floor beside the pane, lit and textured by its own shader.
    const NiVec3 kBeside(DEMO_GLASS_CENTRE.x, DEMO_GLASS_CENTRE.y - DEMO_GLASS_SIDE, 0.0f);
    Draw();
    const std::array<int, 3> kFloor = At(kBeside);
    ASSERT_GE(kFloor[0], 0);
    // The pane: (64, 160, 255) times white, 128/255 of it over the floor.
    const float fA = float(DEMO_EFFECT_TINT >> 24) / 255.0f;
    const int aiTint[3] = {int((DEMO_EFFECT_TINT >> 16) & 0xFF), int((DEMO_EFFECT_TINT >> 8) & 0xFF),
                           int(DEMO_EFFECT_TINT & 0xFF)};
    const std::array<int, 3> kPane = At(DEMO_GLASS_CENTRE);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(kPane[i], aiTint[i] * fA + kFloor[i] * (1.0f - fA), 2.0) << "channel " << i;

    // A second frame is the first: nothing the pass set stays for the
    // objects drawn before the pane.
    Draw();
    EXPECT_EQ(At(kBeside), kFloor);
    EXPECT_EQ(At(DEMO_GLASS_CENTRE), kPane);
}
