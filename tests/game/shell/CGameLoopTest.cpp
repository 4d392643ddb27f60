#include "game/shell/CGame.h"

#include "engine/render/NiDX9Renderer.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneWindow.h"
#include "game/shell/CDX9RendererFactory.h"
#include "platform/os/OsDialog.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/platform/gfx/GfxTestUtil.h"
#include "tests/game/shell/GameTestFiles.h"
#include "tools/COrvaneDemoScene.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace
{
// The back buffer's first pixel (B, G, R) read back through the device; the
// framework's back buffer is not lockable, so it is copied out first.
std::array<int, 3> ReadFirstPixel(gfx::IDirect3DDevice9* pkDevice)
{
    std::array<int, 3> aiPixel{-1, -1, -1};
    gfx::IDirect3DSurface9* pkBack = nullptr;
    if (pkDevice->GetBackBuffer(0, 0, gfx::D3DBACKBUFFER_TYPE_MONO, &pkBack) != gfx::D3D_OK)
        return aiPixel;
    gfx::IDirect3DSurface9* pkCopy = nullptr;
    if (pkDevice->CreateOffscreenPlainSurface(pkBack->Width(), pkBack->Height(), pkBack->Format(),
                                              gfx::D3DPOOL_SYSTEMMEM, &pkCopy, nullptr) == gfx::D3D_OK)
    {
        gfx::D3DLOCKED_RECT kLocked;
        if (pkDevice->GetRenderTargetData(pkBack, pkCopy) == gfx::D3D_OK &&
            pkCopy->LockRect(&kLocked, nullptr, gfx::D3DLOCK_READONLY) == gfx::D3D_OK)
        {
            const auto* pucBytes = static_cast<const std::uint8_t*>(kLocked.pBits);
            aiPixel = {pucBytes[0], pucBytes[1], pucBytes[2]};
            pkCopy->UnlockRect();
        }
        pkCopy->Release();
    }
    pkBack->Release();
    return aiPixel;
}

// The game as it ships; after each frame it looks at what reached the back
// buffer, and asks to quit after the second frame.
class ReadingGame : public CGame
{
public:
    void Render() override
    {
        CGame::Render();
        auto* pkRenderer = dynamic_cast<NiDX9Renderer*>(NiRenderer::GetRenderer());
        if (pkRenderer != nullptr)
            m_kPixels.push_back(ReadFirstPixel(pkRenderer->GetD3DDevice()));
        if (m_kPixels.size() == 2)
            COrvaneApplication::Get()->RequestQuit();
    }
    std::vector<std::array<int, 3>> m_kPixels;
};

class ReadingGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override
    {
        auto pkGame = std::make_unique<ReadingGame>();
        m_pkGame = pkGame.get();
        return pkGame;
    }
    ReadingGame* m_pkGame = nullptr;
};

class CGameLoopTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        WriteFileBytes("cursor.tga", TinyTgaBytes());
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
        FrameworkTest::TearDown();
    }

    CDX9RendererFactory m_kRenderers;
    std::vector<std::string> m_kBoxes;
};

TEST_F(CGameLoopTest, TheWholeLoopShowsTheSettingsBackgroundColour)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    WriteSetupFile(10, 20, 30, 255);
    ReadingGameFactory kGames;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kGames, 1024, 768));
    ASSERT_TRUE(pkApp->Start()) << NiDX9Renderer::GetLastErrorString();
    EXPECT_TRUE(m_kBoxes.empty());

    // The launcher's renderer is the real one, full screen in the adapter's first mode.
    auto* pkRenderer = dynamic_cast<NiDX9Renderer*>(NiRenderer::GetRenderer());
    ASSERT_NE(pkRenderer, nullptr);
    EXPECT_EQ(m_kRenderers.GetCreationFlags(pkRenderer), COrvaneRendererFactory::FLAG_FULLSCREEN);
    EXPECT_EQ(pkRenderer->GetBackgroundColorARGB(), 0xFF0A141Eu);

    EXPECT_FALSE(pkApp->Run());
    ASSERT_NE(kGames.m_pkGame, nullptr);
    ASSERT_EQ(kGames.m_pkGame->m_kPixels.size(), 2u);
    for (const std::array<int, 3>& aiPixel : kGames.m_pkGame->m_kPixels)
        EXPECT_EQ(aiPixel, (std::array<int, 3>{30, 20, 10}));
}

// The engine's first scene ("models/demo.nif", whose floor fills the
// picture through its own camera) is the demo levels' business now: a game
// whose folder holds it does not draw it behind its frames.
TEST_F(CGameLoopTest, TheDemoSceneIsNotDrawnBehindTheFrames)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    WriteSetupFile(10, 20, 30, 255);
    ASSERT_TRUE(demo_scene::Write("."));
    ReadingGameFactory kGames;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kGames, 1024, 768));
    ASSERT_TRUE(pkApp->Start()) << NiDX9Renderer::GetLastErrorString();
    EXPECT_FALSE(pkApp->Run());
    ASSERT_NE(kGames.m_pkGame, nullptr);
    ASSERT_EQ(kGames.m_pkGame->m_kPixels.size(), 2u);
    for (const std::array<int, 3>& aiPixel : kGames.m_pkGame->m_kPixels)
        EXPECT_EQ(aiPixel, (std::array<int, 3>{30, 20, 10}));
}

TEST_F(CGameLoopTest, TheLauncherListsTheDevicesAdaptersAndModes)
{
    if (gfxtest::CallerDriver() == "dummy")
        GTEST_SKIP() << "SDL_VIDEODRIVER=dummy offers no OpenGL";
    const std::vector<COrvaneAdapterDesc>& kAdapters = m_kRenderers.GetSystemInfo();
    ASSERT_FALSE(kAdapters.empty());
    ASSERT_FALSE(kAdapters[0].m_kModes.empty());
    const COrvaneModeDesc& kMode = kAdapters[0].m_kModes[0];
    EXPECT_TRUE(m_kRenderers.FindMode(0, kMode.m_uiFormat, kMode.m_uiWidth, kMode.m_uiHeight));
    EXPECT_FALSE(m_kRenderers.FindMode(0, kMode.m_uiFormat, kMode.m_uiWidth + 1, kMode.m_uiHeight));
    EXPECT_FALSE(m_kRenderers.FindMode(static_cast<std::uint32_t>(kAdapters.size()), kMode.m_uiFormat,
                                       kMode.m_uiWidth, kMode.m_uiHeight));
}

TEST_F(CGameLoopTest, WithoutADeviceTheStartFailsWithTheCreationText)
{
    NiDX9Renderer::SetDirect3DCreateFunction(nullptr);
    EXPECT_TRUE(m_kRenderers.GetSystemInfo().empty());
    WriteSetupFile(10, 20, 30, 255);
    ReadingGameFactory kGames;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kGames, 1024, 768));
    EXPECT_FALSE(pkApp->Start());
    EXPECT_EQ(m_kRenderers.GetLastError(), "Creation failed: Could not initialize DirectX9");
    EXPECT_EQ(m_kBoxes.size(), 1u);
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
}
} // namespace
