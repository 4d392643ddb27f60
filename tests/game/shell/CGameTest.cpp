#include "game/shell/CGame.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsDialog.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestRenderer.h"

#include <gtest/gtest.h>

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
              (std::vector<std::string>{"BeginScene", "ClearBuffer all 7", "EndScene", "DisplayFrame"}));
    EXPECT_FLOAT_EQ(pkRenderer->GetBackgroundColor().g, 20.0f / 255.0f);
}

TEST_F(CGameTest, WithoutARendererTheGameDrawsNothing)
{
    CGame kGame;
    ASSERT_TRUE(kGame.Init("Orvane Game"));
    kGame.Render(); // no application, no renderer: nothing to do, no crash
    EXPECT_TRUE(kGame.Start());
}
} // namespace
