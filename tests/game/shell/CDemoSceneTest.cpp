// The main road: the demo data's "models/demo.nif", written by the builder,
// loaded as the game loads it and drawn through its own camera on the gl
// device. Chosen pixels are computed by hand from the lights, the materials
// and the texels; the bar skinned on the device matches the one skinned in
// software pixel for pixel. A failing test leaves its frame as a PNG in its
// temporary folder.
#include "game/shell/CDemoScene.h"

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
#include "engine/scene/NiSkinInstance.h"
#include "engine/scene/NiTriShape.h"
#include "tests/game/shell/ShellGlTestSupport.h"
#include "tests/support/TestPng.h"
#include "tools/COrvaneDemoScene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
struct Rgb
{
    double r, g, b;
};

class CDemoSceneTest : public testing::Test
{
protected:
    static constexpr std::uint32_t WIDTH = 1024;
    static constexpr std::uint32_t HEIGHT = 768;
    static constexpr shell_gl_test::EngineParts ENGINE_PARTS{.m_bAnimation = false, .m_bShaderFactory = false};

    void SetUp() override
    {
        shell_gl_test::StartEngine(ENGINE_PARTS);
        m_kFolder = std::filesystem::temp_directory_path() /
                    ("orvane_demo_" + std::to_string(getpid()) + "_" +
                     testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_kFolder);
        ASSERT_TRUE(demo_scene::Write(m_kFolder.string()));

        shell_gl_test::CreateGlRenderer(WIDTH, HEIGHT, m_spRenderer);
        if (IsSkipped() || HasFatalFailure())
            return;
        m_pkScene = std::make_unique<CDemoScene>();
        ASSERT_TRUE(m_pkScene->Load((m_kFolder / demo_scene::FILE_NAME).string().c_str()));
    }

    void TearDown() override
    {
        if (HasFailure() && !m_kFrame.empty())
        {
            const std::string kPng = (m_kFolder / "frame.png").string();
            if (test_png::WriteRgb(kPng, WIDTH, HEIGHT, m_kFrame))
                std::fprintf(stderr, "the frame is kept in %s\n", kPng.c_str());
        }
        m_pkScene.reset();
        shell_gl_test::StopEngine(ENGINE_PARTS, m_spRenderer);
        if (!HasFailure())
        {
            std::error_code kError;
            std::filesystem::remove_all(m_kFolder, kError);
        }
    }

    // Draws one frame and keeps it as R, G, B rows from the top.
    void DrawAndRead()
    {
        m_pkScene->DrawFrame(m_spRenderer);
        NiRefPtr<NiPixelData> spImage = m_spRenderer->CaptureBackBuffer(nullptr);
        ASSERT_NE(spImage, nullptr);
        ASSERT_EQ(spImage->GetWidth(), WIDTH);
        ASSERT_EQ(spImage->GetPixelStride(), 4u);
        m_kFrame.assign(std::size_t(WIDTH) * HEIGHT * 3, 0);
        const std::uint8_t* puc = spImage->GetPixels();
        for (std::size_t i = 0; i < std::size_t(WIDTH) * HEIGHT; ++i)
        {
            m_kFrame[3 * i] = puc[4 * i + 2];
            m_kFrame[3 * i + 1] = puc[4 * i + 1];
            m_kFrame[3 * i + 2] = puc[4 * i];
        }
    }
    [[nodiscard]] Rgb At(std::uint32_t x, std::uint32_t y) const
    {
        const std::size_t i = (std::size_t(y) * WIDTH + x) * 3;
        return {double(m_kFrame[i]), double(m_kFrame[i + 1]), double(m_kFrame[i + 2])};
    }
    void ExpectPixel(std::uint32_t x, std::uint32_t y, const Rgb& kExpected, const char* pcWhat) const
    {
        const Rgb k = At(x, y);
        EXPECT_NEAR(k.r, kExpected.r, 1.01) << pcWhat << " red at " << x << ", " << y;
        EXPECT_NEAR(k.g, kExpected.g, 1.01) << pcWhat << " green at " << x << ", " << y;
        EXPECT_NEAR(k.b, kExpected.b, 1.01) << pcWhat << " blue at " << x << ", " << y;
    }
    // Where a world point at the given height shows: straight down from the
    // camera, the frustum's half extents at unit distance.
    static void Project(const NiVec3& kPoint, std::uint32_t& x, std::uint32_t& y)
    {
        const float fDepth = demo_scene::CAMERA_POSITION.z - kPoint.z;
        const float fNdcX = (kPoint.x - demo_scene::CAMERA_POSITION.x) / (fDepth * demo_scene::FRUSTUM_HALF_WIDTH);
        const float fNdcY = (kPoint.y - demo_scene::CAMERA_POSITION.y) / (fDepth * demo_scene::FRUSTUM_HALF_HEIGHT);
        x = static_cast<std::uint32_t>(std::lround((fNdcX + 1.0f) * 0.5f * WIDTH));
        y = static_cast<std::uint32_t>(std::lround((1.0f - fNdcY) * 0.5f * HEIGHT));
    }
    // A lit colour (0-1 a channel, clamped) times a texel (0-255).
    static Rgb Modulate(const NiColorRGB& kLit, const std::uint8_t* pucTexel)
    {
        auto Clamp = [](float f) { return std::min(1.0f, std::max(0.0f, f)); };
        return {Clamp(kLit.r) * pucTexel[0], Clamp(kLit.g) * pucTexel[1], Clamp(kLit.b) * pucTexel[2]};
    }

    std::filesystem::path m_kFolder;
    NiDX9RendererPtr m_spRenderer;
    std::unique_ptr<CDemoScene> m_pkScene;
    std::vector<std::uint8_t> m_kFrame;
};

// Ambient plus the directional light on an upward face: N.L is the light's
// -z component.
NiColorRGB SunAndSky(const NiColorRGB& kMaterial)
{
    const float fNL = -demo_scene::DIRECTION.z;
    return NiColorRGB{kMaterial.r * (demo_scene::AMBIENT.r + demo_scene::DIRECTIONAL.r * fNL),
                      kMaterial.g * (demo_scene::AMBIENT.g + demo_scene::DIRECTIONAL.g * fNL),
                      kMaterial.b * (demo_scene::AMBIENT.b + demo_scene::DIRECTIONAL.b * fNL)};
}

TEST_F(CDemoSceneTest, TheDemoFileDrawsTheHandComputedScene)
{
    ASSERT_NO_FATAL_FAILURE(DrawAndRead());

    // The floor: TGA texel times ambient and sun.
    ExpectPixel(100, 100, Modulate(SunAndSky(demo_scene::FLOOR_MATERIAL), demo_scene::FLOOR_TEXEL), "floor");
    ExpectPixel(900, 700, Modulate(SunAndSky(demo_scene::FLOOR_MATERIAL), demo_scene::FLOOR_TEXEL), "floor");

    // The box's top: DXT1 texel times ambient, sun and the lamp above its
    // centre, whose four top corners lie at one distance from it.
    const float fHalf = demo_scene::BOX_SIDE * 0.5f;
    const float fHeight = demo_scene::POINT_POSITION.z - demo_scene::BOX_SIDE;
    const float fDistance = std::sqrt(2.0f * fHalf * fHalf + fHeight * fHeight);
    const float fLamp = (fHeight / fDistance) / demo_scene::POINT_ATTENUATION;
    NiColorRGB kTop = SunAndSky(demo_scene::BOX_MATERIAL);
    kTop.r += demo_scene::BOX_MATERIAL.r * demo_scene::POINT.r * fLamp;
    kTop.g += demo_scene::BOX_MATERIAL.g * demo_scene::POINT.g * fLamp;
    kTop.b += demo_scene::BOX_MATERIAL.b * demo_scene::POINT.b * fLamp;
    std::uint32_t x = 0, y = 0;
    Project(NiVec3(demo_scene::BOX_CENTRE.x, demo_scene::BOX_CENTRE.y, demo_scene::BOX_SIDE), x, y);
    ExpectPixel(x, y, Modulate(kTop, demo_scene::BOX_TEXEL), "box top");

    // The bar skinned on the device: its straight half, its bent half, and
    // floor where an unbent bar would go on.
    const NiColorRGB kBar = SunAndSky(demo_scene::BAR_MATERIAL);
    const std::uint8_t aucWhite[3] = {255, 255, 255};
    const NiVec3& kOrigin = demo_scene::BAR_ORIGIN_PARTITIONED;
    const float s = demo_scene::BAR_SCALE;
    Project(kOrigin + NiVec3(0.4f * s, 0.0f, 0.0f), x, y);
    ExpectPixel(x, y, Modulate(kBar, aucWhite), "straight half");
    Project(kOrigin + NiVec3(1.0f * s, -0.8f * s, 0.0f), x, y);
    ExpectPixel(x, y, Modulate(kBar, aucWhite), "bent half");
    // The software bar bends too: floor where it would go on.
    Project(NiVec3(kOrigin.x + demo_scene::BAR_SHIFT + 1.8f * s, kOrigin.y, 0.0f), x, y);
    ExpectPixel(x, y, Modulate(SunAndSky(demo_scene::FLOOR_MATERIAL), demo_scene::FLOOR_TEXEL), "past the bend");

    // It went the device's way: its partition has the renderer's data.
    NiAVObject* pkShape = m_pkScene->GetRoot()->GetObjectByName("BarPartitioned Shape");
    ASSERT_NE(pkShape, nullptr);
    NiSkinInstance* pkSkin = static_cast<NiTriShape*>(pkShape)->GetSkinInstance();
    ASSERT_NE(pkSkin, nullptr);
    ASSERT_NE(pkSkin->GetSkinPartition(), nullptr);
    EXPECT_NE(pkSkin->GetSkinPartition()->GetPartitions()[0].m_pvRendererData, nullptr);
    EXPECT_EQ(static_cast<NiTriShape*>(pkShape)->GetModelData()->GetRendererData(), nullptr);
}

TEST_F(CDemoSceneTest, TheBarSkinnedOnTheDeviceMatchesTheOneSkinnedInSoftware)
{
    ASSERT_NO_FATAL_FAILURE(DrawAndRead());
    // The software bar is the device bar moved right by a whole number of
    // pixels: every pixel of the device bar's box, and around it, matches.
    std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    const NiVec3& kOrigin = demo_scene::BAR_ORIGIN_PARTITIONED;
    const float s = demo_scene::BAR_SCALE;
    // From just left of it (the shifted box must not reach back over it).
    Project(kOrigin + NiVec3(-0.05f * s, 0.4f * s, 0.0f), x0, y0);
    Project(kOrigin + NiVec3(1.4f * s, -1.2f * s, 0.0f), x1, y1);
    std::uint32_t uiBarPixels = 0, uiDifferent = 0;
    const Rgb kBar = Modulate(SunAndSky(demo_scene::BAR_MATERIAL), std::array<std::uint8_t, 3>{255, 255, 255}.data());
    for (std::uint32_t y = y0; y <= y1; ++y)
    {
        for (std::uint32_t x = x0; x <= x1; ++x)
        {
            const Rgb kA = At(x, y);
            const Rgb kB = At(x + demo_scene::BAR_SHIFT_PIXELS, y);
            if (std::fabs(kA.r - kB.r) > 1.01 || std::fabs(kA.g - kB.g) > 1.01 || std::fabs(kA.b - kB.b) > 1.01)
                ++uiDifferent;
            if (std::fabs(kA.r - kBar.r) <= 1.01 && std::fabs(kA.g - kBar.g) <= 1.01)
                ++uiBarPixels;
        }
    }
    EXPECT_EQ(uiDifferent, 0u) << "of " << (x1 - x0 + 1) * (y1 - y0 + 1) << " pixels";
    // The bar is there at all: two segments of 0.75 x 1.5 units, about 80 pixels a unit.
    EXPECT_GT(uiBarPixels, 10000u);
}

TEST_F(CDemoSceneTest, TheFrameComesBackAfterALossAndAModeChange)
{
    ASSERT_NO_FATAL_FAILURE(DrawAndRead());
    const std::vector<std::uint8_t> kBefore = m_kFrame;
    auto Same = [&](const char* pcWhen) {
        std::size_t uiDifferent = 0;
        for (std::size_t i = 0; i < kBefore.size(); ++i)
            uiDifferent += std::abs(int(kBefore[i]) - int(m_kFrame[i])) > 1;
        EXPECT_EQ(uiDifferent, 0u) << pcWhen;
    };

    // A loss of ten frames: nothing drawn meanwhile, then the reset brings it all back.
    gfx::IDirect3DDevice9* pkDevice = m_spRenderer->GetD3DDevice();
    const std::uint32_t uiResets = m_spRenderer->GetResetCounter();
    pkDevice->SimulateDeviceLoss();
    for (int i = 0; i < 10; ++i)
    {
        m_pkScene->DrawFrame(m_spRenderer);
        m_spRenderer->DisplayFrame();
    }
    EXPECT_TRUE(m_spRenderer->IsDeviceLost());
    pkDevice->EndDeviceLoss();
    ASSERT_NO_FATAL_FAILURE(DrawAndRead());
    EXPECT_EQ(m_spRenderer->GetResetCounter(), uiResets + 1);
    Same("after the loss");

    // A windowed change to 800 x 600 and back.
    ASSERT_EQ(m_spRenderer->Recreate(800, 600, 0, nullptr, NiDX9Renderer::FBFMT_UNKNOWN, 0,
                                     NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                     NiDX9Renderer::FBMODE_LOCKABLE),
              NiDX9Renderer::RECREATE_OK);
    EXPECT_EQ(m_spRenderer->GetWidth(), 800u);
    m_pkScene->DrawFrame(m_spRenderer);
    ASSERT_EQ(m_spRenderer->Recreate(WIDTH, HEIGHT, 0, nullptr, NiDX9Renderer::FBFMT_UNKNOWN, 0,
                                     NiDX9Renderer::PRESENT_INTERVAL_IMMEDIATE, NiDX9Renderer::SWAPEFFECT_DEFAULT,
                                     NiDX9Renderer::FBMODE_LOCKABLE),
              NiDX9Renderer::RECREATE_OK);
    ASSERT_NO_FATAL_FAILURE(DrawAndRead());
    Same("after 800 x 600 and back");
}

TEST_F(CDemoSceneTest, TheTurntableTurnsAndAMissingFileLoadsNothing)
{
    CDemoScene kMissing;
    EXPECT_FALSE(kMissing.Load((m_kFolder / "models/none.nif").string().c_str()));
    EXPECT_FALSE(kMissing.IsLoaded());
    kMissing.DrawFrame(m_spRenderer); // nothing to draw, nothing happens

    m_pkScene->Advance(2.5f);
    EXPECT_NEAR(m_pkScene->GetAngle(), 2.5f * CDemoScene::TURN_RATE, 1e-6f);
    NiAVObject* pkTurntable = m_pkScene->GetRoot()->GetObjectByName(demo_scene::TURNTABLE);
    ASSERT_NE(pkTurntable, nullptr);
    EXPECT_NE(pkTurntable->GetWorldTransform().m_kRotate.GetEntry(0, 1), 0.0f);
    // The camera stays where it was.
    EXPECT_EQ(m_pkScene->GetCamera()->GetWorldLocation(), demo_scene::CAMERA_POSITION);
}
} // namespace
