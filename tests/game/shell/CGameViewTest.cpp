// The level as the player sees it: the real game on the gl device in a copy
// of the demo data, entered from the front end through the main menu and
// the first location, run until its fade from black is over, and one whole
// frame read back before it is presented. A failing test keeps its frame as
// a PNG in the temporary folder's parent.
#include "game/shell/CGame.h"

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiDX9RendererLibrary.h"
#include "engine/render/NiPixelData.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneWorldPicker.h"
#include "engine/scene/NiCamera.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CWorld.h"
#include "framework/COrvaneWindow.h"
#include "game/shell/CDX9RendererFactory.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/RegisterEngineLibraries.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/support/TestPng.h"
#include "tools/COrvaneDemoEffect.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneDemoShader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr std::uint32_t WIDTH = 1024;
constexpr std::uint32_t HEIGHT = 768;

// The game as it ships, stepped by frames of a tenth of a second whatever
// the machine's pace. Once the level's fade is over (and the frames the
// test asks for have run) it draws one frame, reads it while the window
// still stands, and closes the window as the player would.
class ViewedGame : public CGame
{
public:
    void Update(float) override
    {
        CGame::Update(0.1f);
        ++m_iFrames;
        if (m_bClosing || GetState() != STATE_IN_GAME)
            return;
        const bool bReady = m_iFrames >= m_iLeastFrames && GetNightState() == NIGHT_NONE;
        if (!bReady && m_iFrames < MAX_FRAMES)
            return;
        m_bClosing = true;
        if (m_kBeforeFrame)
            m_kBeforeFrame(*this);
        if (DrawFrame())
            m_spFrame = COrvaneApplication::Get()->GetWindow()->GetRenderer()->GetRenderer()->CaptureBackBuffer(nullptr);
        os::PostMessage(os::GetMainWindow(), os::WM_CLOSE, 0, 0);
    }

    static constexpr int MAX_FRAMES = 400;
    int m_iFrames = 0;
    int m_iLeastFrames = 3;
    bool m_bClosing = false;
    std::function<void(ViewedGame&)> m_kBeforeFrame;
    NiRefPtr<NiPixelData> m_spFrame;
};

class ViewedGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override
    {
        auto pkGame = std::make_unique<ViewedGame>();
        m_pkGame = pkGame.get();
        return pkGame;
    }
    ViewedGame* m_pkGame = nullptr;
};

// The game's own renderer, with a back buffer the test can read.
class ReadableRenderers : public CDX9RendererFactory
{
public:
    NiRendererPtr Create(const COrvaneRendererParams& kParams) override
    {
        COrvaneRendererParams kReadable = kParams;
        kReadable.m_auiValues[5] = NiDX9Renderer::FBMODE_LOCKABLE;
        return CDX9RendererFactory::Create(kReadable);
    }
};

struct Rgb
{
    int r, g, b;
};

class CGameViewTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        NiMainLibrary::Reset();
        NiAnimationLibrary::Reset();
        NSBShaderLib::ResetRegistration();
        NiD3DShaderLibraryStatics::Reset();
        // The device library's pools and shader statics start afresh: an
        // earlier game in this process leaves them bound to its own device.
        NiDX9RendererLibraryReset();
        // The engine libraries join start-up as the program's entry has them.
        RegisterEngineLibraries();
        NiDX9Renderer::ResetStatics();
        COrvaneRendererFactory::Set(&m_kRenderers);
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
            m_kBoxes.emplace_back(kText);
            return 1;
        });
    }

    void TearDown() override
    {
        if (HasFailure() && !m_kFrame.empty())
        {
            const std::string kPng = (Folder().parent_path() / "orvane-view-frame.png").string();
            if (test_png::WriteRgb(kPng, WIDTH, HEIGHT, m_kFrame))
                std::fprintf(stderr, "the frame is kept in %s\n", kPng.c_str());
        }
        COrvaneApplication::DestroyInstance();
        COrvaneRendererFactory::Set(nullptr);
        NiDX9Renderer::ResetStatics();
        NiDX9RendererLibraryReset();
        NiAnimationLibrary::Reset();
        NiMainLibrary::Reset();
        CGame::ResetStatics();
        FrameworkTest::TearDown();
    }

    // Started into the main menu, its first item and the first location
    // lead into level 0; the game runs until it has read its frame.
    ViewedGame* PlayLevel(const std::function<void(ViewedGame&)>& kBeforeFrame = {})
    {
        std::filesystem::copy(ORVANE_DEMO_DATA, Folder(), std::filesystem::copy_options::recursive);
        COrvaneApplication* pkApp = COrvaneApplication::Get();
        if (!pkApp->Init(nullptr, m_kGames, WIDTH, HEIGHT) || !pkApp->Start())
            return nullptr;
        ViewedGame* pkGame = m_kGames.m_pkGame;
        pkGame->m_kBeforeFrame = kBeforeFrame;
        CFrontEndScreens* pkScreens = pkGame->GetFrontEndScreens();
        pkScreens->GetMainPanel()->StartScenario(1);
        pkScreens->GetLocationPanel()->StartScenario(1);
        if (pkGame->GetState() != CGame::STATE_IN_GAME)
            return nullptr;
        (void)pkApp->Run();
        KeepFrame(pkGame->m_spFrame);
        return pkGame;
    }

    // R, G, B rows from the top.
    void KeepFrame(const NiPixelData* pkImage)
    {
        if (pkImage == nullptr || pkImage->GetWidth() != WIDTH || pkImage->GetHeight() != HEIGHT ||
            pkImage->GetPixelStride() != 4)
            return;
        m_kFrame.assign(std::size_t(WIDTH) * HEIGHT * 3, 0);
        const std::uint8_t* puc = pkImage->GetPixels();
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
        return {m_kFrame[i], m_kFrame[i + 1], m_kFrame[i + 2]};
    }

    ReadableRenderers m_kRenderers;
    ViewedGameFactory m_kGames;
    std::vector<std::string> m_kBoxes;
    std::vector<std::uint8_t> m_kFrame;
};

TEST_F(CGameViewTest, TheMainPanelsTextsDrawAsGlyphsOverTheLevel)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    ViewedGame* pkGame = PlayLevel();
    ASSERT_NE(pkGame, nullptr);
    ASSERT_EQ(m_kFrame.size(), std::size_t(WIDTH) * HEIGHT * 3) << "no frame was read";
    EXPECT_TRUE(m_kBoxes.empty());
    // The clock, year and balance line of the main panel (at its top + 56,
    // font 0 white on the dark panel): lit glyph texels beside panel colour
    // in every one of the three, and nowhere the stand-in picture a texture
    // the device refuses is drawn with.
    const std::uint32_t uiTop = HEIGHT - 96 + 56;
    for (const auto& [uiLeft, uiRight] : {std::pair{164u, 190u}, std::pair{196u, 240u}, std::pair{290u, 350u}})
    {
        SCOPED_TRACE(uiLeft);
        int iLit = 0;
        int iDark = 0;
        int iStandIn = 0;
        for (std::uint32_t y = uiTop; y < uiTop + 14; ++y)
            for (std::uint32_t x = uiLeft; x < uiRight; ++x)
            {
                const Rgb k = At(x, y);
                if (k.r < 40 && k.g > 200 && k.b > 200)
                    ++iStandIn;
                else if (k.r > 200 && k.g > 200 && k.b > 200)
                    ++iLit;
                else if (k.r < 100 && k.g < 100 && k.b < 120)
                    ++iDark;
            }
        EXPECT_EQ(iStandIn, 0);
        EXPECT_GT(iLit, 10);
        EXPECT_GT(iDark, 10);
    }
}
} // namespace

namespace
{
TEST_F(CGameViewTest, AfterTheArrivalTheCameraLooksAtThePrison)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    // Entered at midnight, the level jumps to the morning and the day's
    // vehicle drives in with the camera following it; when it has stopped
    // the camera goes to the level's fixed start view.
    ViewedGame* pkGame = PlayLevel(
        [](ViewedGame& kGame) { kGame.GetSpawnManager()->ResetCameraView(true); });
    ASSERT_NE(pkGame, nullptr);
    ASSERT_EQ(m_kFrame.size(), std::size_t(WIDTH) * HEIGHT * 3) << "no frame was read";
    NiCamera* pkCamera = pkGame->GetCamera()->GetEngineCamera();
    EXPECT_EQ(pkCamera->GetTranslate(), NiVec3(104.0f, 13.0f, -30.0f));
    // The middle of the screen picks the prison's yard, and shows ground
    // there (grey, lit from above), not the sky.
    COrvaneWorldPicker kPicker;
    kPicker.Init(*pkGame->GetWorld(), *pkGame->GetCamera());
    const float afMiddle[2] = {WIDTH / 2.0f, HEIGHT / 2.0f};
    COrvanePickQuery kQuery;
    kQuery.m_pfScreenPoint = afMiddle;
    (void)kPicker.Pick(kQuery);
    ASSERT_LT(kPicker.GetBestDistance(), 1000.0f);
    const NiVec3 kPoint = kPicker.GetHitPoint();
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    EXPECT_GE(pkYard->CellAt(kPoint), 0) << kPoint.x << ", " << kPoint.z;
    const Rgb kMiddle = At(WIDTH / 2, HEIGHT / 2);
    EXPECT_LT(std::abs(kMiddle.r - kMiddle.b), 16);
    EXPECT_LT(std::abs(kMiddle.g - kMiddle.b), 16);
    EXPECT_GT(kMiddle.g, 40);
}
} // namespace

namespace
{
// Where a world point shows on the screen through the camera (looking along
// its rotation's first column, up the second, right the third); false
// behind it.
bool ToScreen(const NiCamera& kCamera, const NiVec3& kPoint, std::uint32_t& x, std::uint32_t& y)
{
    const NiXform& kWorld = kCamera.GetWorldTransform();
    const NiVec3 kTo = kPoint - kWorld.m_kTranslate;
    const float fDepth = kTo.Dot(kWorld.m_kRotate.GetColumn(0));
    if (fDepth <= 0.0f)
        return false;
    const NiViewFrustum& kFrustum = kCamera.GetViewFrustum();
    const float fRight = kTo.Dot(kWorld.m_kRotate.GetColumn(2)) / fDepth;
    const float fUp = kTo.Dot(kWorld.m_kRotate.GetColumn(1)) / fDepth;
    const float fX = (fRight - kFrustum.m_fLeft) / (kFrustum.m_fRight - kFrustum.m_fLeft) * WIDTH;
    const float fY = (kFrustum.m_fTop - fUp) / (kFrustum.m_fTop - kFrustum.m_fBottom) * HEIGHT;
    if (fX < 0.0f || fY < 0.0f || fX >= WIDTH || fY >= HEIGHT)
        return false;
    x = static_cast<std::uint32_t>(fX);
    y = static_cast<std::uint32_t>(fY);
    return true;
}

// The start view takes in the showcase pillars, drawn by their programs as
// the game finds them: the high-level pillar's middle shows the programs'
// glow (a face turned along x whole, the others shaded, the hue the same),
// the material pillar's the warm tint its pixel program gives its grey, the
// post the one colour of its effect's assembly programs.
TEST_F(CGameViewTest, TheStartViewShowsTheShowcasePillarsDrawnByTheirPrograms)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    ViewedGame* pkGame = PlayLevel(
        [](ViewedGame& kGame) { kGame.GetSpawnManager()->ResetCameraView(true); });
    ASSERT_NE(pkGame, nullptr);
    ASSERT_EQ(m_kFrame.size(), std::size_t(WIDTH) * HEIGHT * 3) << "no frame was read";
    if (const char* pcKeep = std::getenv("ORVANE_KEEP_VIEW"))
        (void)test_png::WriteRgb(pcKeep, WIDTH, HEIGHT, m_kFrame);
    const NiAVObject* pkPillar = pkGame->GetWorld()->GetSceneRoot()->GetObjectByName(DEMO_SHOWCASE_HLSL);
    ASSERT_NE(pkPillar, nullptr);
    std::uint32_t x = 0, y = 0;
    ASSERT_TRUE(ToScreen(*pkGame->GetCamera()->GetEngineCamera(), pkPillar->GetWorldBound().m_kCenter, x, y));
    const Rgb k = At(x, y);
    {
        SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y) + ": " + std::to_string(k.r) + " " +
                     std::to_string(k.g) + " " + std::to_string(k.b));
        const float fShade = k.b / (255.0f * DEMO_HLSL_GLOW[2]);
        EXPECT_GE(fShade, DEMO_HLSL_SIDE_SHADE - 0.02f);
        EXPECT_LE(fShade, 1.02f);
        EXPECT_NEAR(k.r, 255.0f * DEMO_HLSL_GLOW[0] * fShade, 3.0f);
        EXPECT_NEAR(k.g, 255.0f * DEMO_HLSL_GLOW[1] * fShade, 3.0f);
    }
    const NiAVObject* pkMaterial = pkGame->GetWorld()->GetSceneRoot()->GetObjectByName(DEMO_SHOWCASE_MATERIAL);
    ASSERT_NE(pkMaterial, nullptr);
    ASSERT_TRUE(ToScreen(*pkGame->GetCamera()->GetEngineCamera(), pkMaterial->GetWorldBound().m_kCenter, x, y));
    const Rgb kWarm = At(x, y);
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y) + ": " + std::to_string(kWarm.r) + " " +
                 std::to_string(kWarm.g) + " " + std::to_string(kWarm.b));
    for (const auto& [iChannel, fWarmth] : {std::pair{kWarm.g, DEMO_MATERIAL_WARMTH[1]},
                                            std::pair{kWarm.b, DEMO_MATERIAL_WARMTH[2]}})
        EXPECT_NEAR(iChannel, kWarm.r * fWarmth, 3.0f);
    EXPECT_NEAR(kWarm.r, DEMO_SHOWCASE_TEXEL, 3);
    // The post, by its effect's technique of assembly programs: their one colour.
    const NiAVObject* pkSignal = pkGame->GetWorld()->GetSceneRoot()->GetObjectByName(DEMO_SHOWCASE_SIGNAL);
    ASSERT_NE(pkSignal, nullptr);
    ASSERT_TRUE(ToScreen(*pkGame->GetCamera()->GetEngineCamera(), pkSignal->GetWorldBound().m_kCenter, x, y));
    const Rgb kSignal = At(x, y);
    SCOPED_TRACE(std::to_string(x) + ", " + std::to_string(y) + ": " + std::to_string(kSignal.r) + " " +
                 std::to_string(kSignal.g) + " " + std::to_string(kSignal.b));
    EXPECT_NEAR(kSignal.r, int((DEMO_PROGRAM_EFFECT_COLOUR >> 16) & 0xFF), 1);
    EXPECT_NEAR(kSignal.g, int((DEMO_PROGRAM_EFFECT_COLOUR >> 8) & 0xFF), 1);
    EXPECT_NEAR(kSignal.b, int(DEMO_PROGRAM_EFFECT_COLOUR & 0xFF), 1);
}
} // namespace
