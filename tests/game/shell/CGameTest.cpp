#include "game/shell/CGame.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiRenderer.h"
#include "game/shell/CDX9RendererFactory.h"
#include "game/shell/CLevelManager.h"
#include "platform/os/OsSystem.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneWidget.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsDialog.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/shell/GameTestFiles.h"
#include "tests/framework/TestRenderer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
class CGameTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        WriteFileBytes("cursor.tga", TinyTgaBytes());
        COrvaneRendererFactory::Set(&m_kRenderers);
        os::SetMessageBoxHook([](os::WindowHandle, std::string_view, std::string_view, std::uint32_t) { return 1; });
    }

    TestRendererFactory m_kRenderers;
};

TEST_F(CGameTest, TheGameStartsAndClearsToTheBackgroundEveryFrame)
{
    WriteSetupFile(10, 20, 30, 255);
    CGameFactory kFactory;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kFactory, 1024, 768));
    ASSERT_TRUE(pkApp->Start());
    COrvaneGame* pkGame = pkApp->GetGame();
    ASSERT_NE(pkGame, nullptr);
    EXPECT_STREQ(pkGame->GetName(), "Orvane Game");
    EXPECT_TRUE(pkGame->GetSkipNextUpdate());
    pkGame->Update(0.001f);
    EXPECT_EQ(pkGame->GetFrameTimes().m_fTotalTime, 0.0f);

    TestRenderer* pkRenderer = m_kRenderers.m_pkLast;
    ASSERT_NE(pkRenderer, nullptr);
    pkRenderer->m_kCalls.clear();
    pkGame->Render();
    EXPECT_EQ(pkRenderer->m_kCalls,
              (std::vector<std::string>{"BeginScene", "ClearBuffer rect 5", "EndScene", "DisplayFrame"}));
    EXPECT_FLOAT_EQ(pkRenderer->GetBackgroundColor().g, 20.0f / 255.0f);
}

// On a video driver without OpenGL the real renderer is not made, and the text
// the game shows says why in the driver's words; no device that shows nothing
// stands in for it unless ORVANE_GFX_BACKEND=null asks for one.
TEST_F(CGameTest, WithoutOpenGlTheRendererFailsWithTheDriversReason)
{
    ASSERT_TRUE(os::Startup());
    if (os::GetVideoDriverName() != "dummy")
        GTEST_SKIP() << "needs the dummy video driver";
    const char* pcChosen = std::getenv("ORVANE_GFX_BACKEND");
    const std::string kChosen = pcChosen != nullptr ? pcChosen : "";
    unsetenv("ORVANE_GFX_BACKEND");
    CDX9RendererFactory kRenderers;
    COrvaneRendererFactory::Set(&kRenderers);
    NiDX9Renderer::ResetStatics();
    std::vector<std::string> kBoxes;
    os::SetMessageBoxHook([&kBoxes](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
        kBoxes.emplace_back(kText);
        return 1;
    });
    WriteSetupFile(10, 20, 30, 255);
    CGameFactory kFactory;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kFactory, 1024, 768));
    EXPECT_FALSE(pkApp->Start());
    EXPECT_EQ(kRenderers.GetLastError().rfind("Creation failed: Could not initialize DirectX9 (gfx gl: the video "
                                              "driver \"dummy\" offers no OpenGL: ",
                                              0),
              0u)
        << kRenderers.GetLastError();
    EXPECT_NE(kRenderers.GetLastError().find("(dummy))"), std::string::npos) << kRenderers.GetLastError();
    EXPECT_EQ(kBoxes.size(), 1u);
    EXPECT_EQ(NiRenderer::GetRenderer(), nullptr);
    COrvaneApplication::DestroyInstance();
    COrvaneRendererFactory::Set(&m_kRenderers);
    NiDX9Renderer::ResetStatics();
    if (pcChosen != nullptr)
        setenv("ORVANE_GFX_BACKEND", kChosen.c_str(), 1);
}

TEST_F(CGameTest, WithoutARendererTheGameDrawsNothing)
{
    CGame kGame;
    ASSERT_TRUE(kGame.Init("Orvane Game"));
    kGame.Render(); // no application, no renderer: nothing to do, no crash
    EXPECT_TRUE(kGame.Start());
}
} // namespace

namespace
{
TEST_F(CGameTest, ALevelTakesItsPrisonsFogColourAsTheBackground)
{
    WriteSetupFile(10, 20, 30, 255);
    // Level 1 (no game type) uses the second prison's template.
    WriteFileBytes("data.xml", "<TEMPLATES>\r\n<PRISON1>\r\n<FOG>\r\n<R>\r\n1\r\n</R>\r\n<G>\r\n1\r\n</G>\r\n<B>\r\n1\r\n"
                               "</B>\r\n<A>\r\n1\r\n</A>\r\n</FOG>\r\n</PRISON1>\r\n<PRISON2>\r\n<FOG>\r\n<plans>\r\n"
                               "<R>\r\n51\r\n</R>\r\n<G>\r\n102\r\n</G>\r\n<B>\r\n255\r\n</B>\r\n<A>\r\n0\r\n</A>\r\n"
                               "</plans>\r\n</FOG>\r\n</PRISON2>\r\n</TEMPLATES>\r\n");
    CGameFactory kFactory;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kFactory, 1024, 768));
    ASSERT_TRUE(pkApp->Start());
    auto* pkGame = dynamic_cast<CGame*>(pkApp->GetGame());
    ASSERT_NE(pkGame, nullptr);
    TestRenderer* pkRenderer = m_kRenderers.m_pkLast;
    ASSERT_NE(pkRenderer, nullptr);
    pkGame->LoadLevelData();
    EXPECT_EQ(pkGame->GetState(), CGame::STATE_IN_GAME);
    EXPECT_FLOAT_EQ(pkRenderer->GetBackgroundColor().r, 0.2f);
    EXPECT_FLOAT_EQ(pkRenderer->GetBackgroundColor().g, 0.4f);
    EXPECT_FLOAT_EQ(pkRenderer->GetBackgroundColor().b, 1.0f);
    EXPECT_FLOAT_EQ(pkRenderer->GetBackgroundColor().a, 0.0f);

    // A prison without fog keeps the colour.
    pkGame->ResetGame();
    pkGame->GetGameLevelManager()->SetLevel(5);
    pkGame->LoadLevelData();
    EXPECT_FLOAT_EQ(pkRenderer->GetBackgroundColor().g, 0.4f);

    // The frame in a level: the world through the game camera.
    pkRenderer->m_kCalls.clear();
    pkGame->Render();
    ASSERT_FALSE(pkRenderer->m_kCalls.empty());
    EXPECT_EQ(pkRenderer->m_kCalls.front(), "BeginScene");
    EXPECT_EQ(pkRenderer->m_kCalls.back(), "DisplayFrame");
    COrvaneApplication::DestroyInstance();
}
} // namespace

namespace
{
TEST_F(CGameTest, OnALargerScreenTheScreenFillingLayoutsScaleInPlaceAndSize)
{
    WriteSetupFile(10, 20, 30, 255);
    CGameFactory kFactory;
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_TRUE(pkApp->Init(nullptr, kFactory, 1280, 1024));
    ASSERT_TRUE(pkApp->Start());
    auto* pkGame = dynamic_cast<CGame*>(pkApp->GetGame());
    ASSERT_NE(pkGame, nullptr);
    ASSERT_EQ(pkGame->GetScreenWidth(), 1280);
    ASSERT_EQ(pkGame->GetScreenHeight(), 1024);
    EXPECT_FLOAT_EQ(COrvaneWidget::GetScreenScaleX(), 1.25f);
    EXPECT_FLOAT_EQ(COrvaneWidget::GetScreenScaleY(), 1024.0f / 768.0f);

    // A picture laid out at (96, 60) in 1024 x 768 units stands at
    // (120, 80) on this screen and is as much larger.
    WriteFileBytes("dot.tga", TinyTgaBytes());
    CWidgetDesc kDesc;
    kDesc.m_kName = "dot.tga";
    kDesc.m_fX = 96.0f;
    kDesc.m_fY = 60.0f;
    kDesc.m_pkCamera = pkGame->GetCamera();
    kDesc.m_ucScaleToScreen = 1;
    COrvaneImage kDot;
    kDot.Create(kDesc);
    EXPECT_FLOAT_EQ(kDot.GetRect().m_fX, 120.0f);
    EXPECT_FLOAT_EQ(kDot.GetRect().m_fY, 80.0f);
    EXPECT_FLOAT_EQ(kDot.GetRect().m_fWidth, 1.25f);
    // The cursor picture too.
    ASSERT_NE(pkGame->GetMouse()->GetCursorImage(), nullptr);
    EXPECT_FLOAT_EQ(pkGame->GetMouse()->GetCursorImage()->GetRect().m_fWidth, 1.25f);

    COrvaneApplication::DestroyInstance();
    CGame::ResetStatics();
    EXPECT_EQ(COrvaneWidget::GetScreenScaleX(), 1.0f);

    // A game that knows no screen keeps the layouts as authored.
    CGame kBare;
    ASSERT_TRUE(kBare.Init("Orvane Game"));
    ASSERT_EQ(kBare.GetScreenWidth(), 0);
    EXPECT_TRUE(kBare.Start());
    EXPECT_EQ(COrvaneWidget::GetScreenScaleX(), 1.0f);
    EXPECT_EQ(COrvaneWidget::GetScreenScaleY(), 1.0f);
}
} // namespace
