#include "game/shell/CGame.h"

#include "engine/animation/NiAnimationLibrary.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/render/NiDX9Renderer.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "engine/shaders/effect/NiD3DXEffectFile.h"
#include "engine/shaders/effect/NiD3DXEffectShaderLib.h"
#include "engine/shaders/nsb/NSBShaderLib.h"
#include "engine/shaders/nsb/NiD3DShaderLibraryStatics.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneWorld.h"
#include "game/shell/CCamera.h"
#include "game/shell/CDX9RendererFactory.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CLevelManager.h"
#include "game/shell/RegisterEngineLibraries.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "framework/COrvaneMouse.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/platform/gfx/GfxTestUtil.h"
#include "tools/COrvaneDemoLevel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace
{
// The game as it ships; it notes where the camera stands after each frame
// and, after the third, closes its window as the player would.
class ClosingGame : public CGame
{
public:
    void Update(float fDeltaTime) override
    {
        // The day's arrival would take the camera to follow its vehicle;
        // this run is about the player's own camera.
        if (GetSpawnManager() != nullptr)
            GetSpawnManager()->SetArrivalState(CSpawnManager::ARRIVAL_IDLE);
        CGame::Update(fDeltaTime);
        m_kPositions.push_back(GetCamera()->GetWorldPosition());
        if (m_kPositions.size() == 1)
        {
            // W held: the camera moves forward in the following frames.
            COrvaneKeyEvent kKey;
            kKey.m_uiKeyCode = 'w';
            GetKeyboard()->OnKeyDown(kKey);
            // The cursor in the middle of the screen, where the camera looks.
            GetMouse()->SetPosition(NiVec2(512.0f, 384.0f));
        }
        if (m_kPositions.size() == 2)
        {
            m_iPickCell = CBlockGridManager::GetInstance()->GetPickCell();
            m_pkPickGrid = CBlockGridManager::GetInstance()->GetPickGrid();
            m_kPickPoint = CBlockGridManager::GetInstance()->GetPickPoint();
        }
        if (m_kPositions.size() == 3)
            os::PostMessage(os::GetMainWindow(), os::WM_CLOSE, 0, 0);
    }
    std::vector<NiVec3> m_kPositions;
    std::int32_t m_iPickCell = -1;
    CBlockGrid* m_pkPickGrid = nullptr;
    NiVec3 m_kPickPoint;
};

class ClosingGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override
    {
        auto pkGame = std::make_unique<ClosingGame>();
        m_pkGame = pkGame.get();
        return pkGame;
    }
    ClosingGame* m_pkGame = nullptr;
};

class CGameRunTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        // The engine libraries join start-up as the program's entry has them.
        NiMainLibrary::Reset();
        NiAnimationLibrary::Reset();
        NSBShaderLib::ResetRegistration();
        NiD3DShaderLibraryStatics::Reset();
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
        COrvaneApplication::DestroyInstance();
        COrvaneRendererFactory::Set(nullptr);
        NiDX9Renderer::ResetStatics();
        NiAnimationLibrary::Reset();
        NiMainLibrary::Reset();
        CGame::ResetStatics();
        FrameworkTest::TearDown();
    }

    CDX9RendererFactory m_kRenderers;
    std::vector<std::string> m_kBoxes;
};

TEST_F(CGameRunTest, TheDemoLevelRunsUntilTheWindowIsClosed)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    std::filesystem::copy(ORVANE_DEMO_DATA, Folder(), std::filesystem::copy_options::recursive);
    ClosingGameFactory kGames;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kGames, 1024, 768));
    ASSERT_TRUE(pkApp->Start()) << NiDX9Renderer::GetLastErrorString();
    ClosingGame* pkGame = kGames.m_pkGame;
    ASSERT_NE(pkGame, nullptr);
    // Started into the front end's main menu; the player chooses the first
    // location there.
    EXPECT_EQ(pkGame->GetState(), CGame::STATE_FRONT_END);
    EXPECT_EQ(pkGame->GetWorld(), nullptr);
    CFrontEndScreens* pkScreens = pkGame->GetFrontEndScreens();
    ASSERT_EQ(pkScreens->GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);
    pkScreens->GetMainPanel()->StartScenario(1);
    ASSERT_EQ(pkScreens->GetCurrentScreen(), CFrontEndScreens::SCREEN_LOCATION);
    pkScreens->GetLocationPanel()->StartScenario(1);
    ASSERT_EQ(pkGame->GetState(), CGame::STATE_IN_GAME);
    // Layouts in 1024 x 768 units fit the screen exactly.
    EXPECT_EQ(pkGame->GetScreenWidth(), 1024);
    EXPECT_EQ(pkGame->GetScreenHeight(), 768);
    EXPECT_FLOAT_EQ(CGame::GetScreenScaleX(), 1.0f);
    EXPECT_FLOAT_EQ(CGame::GetScreenScaleY(), 1.0f);

    EXPECT_FALSE(pkApp->Run());
    EXPECT_EQ(pkGame->GetState(), CGame::STATE_IN_GAME);
    EXPECT_TRUE(m_kBoxes.empty());
    EXPECT_EQ(pkGame->GetGameLevelManager()->GetLevel(), 0u);
    // The demo level, viewed by the game camera.
    COrvaneWorld* pkWorld = pkGame->GetWorld();
    ASSERT_NE(pkWorld, nullptr);
    ASSERT_NE(pkWorld->GetSceneRoot(), nullptr);
    EXPECT_NE(pkWorld->GetSkyBox(), nullptr);
    EXPECT_EQ(pkGame->GetCamera()->GetEngineCamera()->GetScene(), pkWorld->GetSceneRoot());
    // The settings' far plane, not the camera's default.
    EXPECT_FLOAT_EQ(pkGame->GetCamera()->GetEngineCamera()->GetViewFrustum().m_fFar, 3000.0f);
    // The cursor in the middle picks the yard's cell the camera looks at,
    // at the ground floor's height, which the camera keeps over.
    EXPECT_GE(pkGame->m_iPickCell, 0);
    EXPECT_NE(pkGame->m_pkPickGrid, nullptr);
    EXPECT_NEAR(pkGame->m_kPickPoint.x, DEMO_PRISON_X, 2.0f);
    EXPECT_NEAR(pkGame->m_kPickPoint.z, DEMO_PRISON_Z, 2.0f);
    EXPECT_EQ(pkGame->m_kPickPoint.y, pkGame->GetGameCamera()->GetGroundHeight());
    ASSERT_GE(pkGame->m_kPositions.size(), 3u);
    const NiVec3& kFirst = pkGame->m_kPositions.front();
    const NiVec3& kLast = pkGame->m_kPositions.back();
    EXPECT_NE(kFirst, kLast);
    EXPECT_FLOAT_EQ(kFirst.y, kLast.y); // moving keeps the height
}
// The binary-shader and shader libraries start with the engine as the
// program registers them, and their shut-down lets go of what effect files
// share (the file list, the file factory and its device) at the close.
TEST_F(CGameRunTest, TheShaderLibrariesStartWithTheEngineAndReleaseTheEffectsSharedStateAtTheClose)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    std::filesystem::copy(ORVANE_DEMO_DATA, Folder(), std::filesystem::copy_options::recursive);
    ClosingGameFactory kGames;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kGames, 1024, 768));
    ASSERT_TRUE(pkApp->Start()) << NiDX9Renderer::GetLastErrorString();
    EXPECT_TRUE(NSBShaderLib::IsStarted());
    EXPECT_TRUE(NiD3DShaderLibraryStatics::IsStarted());
    // What an effect library leaves behind once it has looked for files.
    NiD3DXEffectShaderLib::FindEffectFiles(Folder().string().c_str(), false);
    ASSERT_NE(NiD3DXEffectShaderLib::GetEffectFileList(), nullptr);
    ASSERT_NE(NiD3DXEffectFactory::GetInstance(), nullptr);

    COrvaneApplication::DestroyInstance();
    EXPECT_FALSE(NSBShaderLib::IsStarted());
    EXPECT_FALSE(NiD3DShaderLibraryStatics::IsStarted());
    EXPECT_EQ(NiD3DXEffectShaderLib::GetEffectFileList(), nullptr);
    EXPECT_EQ(NiD3DXEffectFactory::PeekInstance(), nullptr);
}
} // namespace
