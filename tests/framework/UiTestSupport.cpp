#include "tests/framework/UiTestSupport.h"

#include "framework/COrvaneCamera.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneSceneLink.h"
#include "framework/COrvaneWindow.h"

std::unique_ptr<COrvaneGame> UiTestGameFactory::CreateGame()
{
    auto pkGame = std::make_unique<UiTestGame>();
    m_pkGame = pkGame.get();
    return pkGame;
}

void UiTest::SetUp()
{
    FrameworkTest::SetUp();
    COrvaneRendererFactory::Set(&m_kRenderers);
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    ASSERT_NE(pkApp, nullptr);
    ASSERT_TRUE(pkApp->Init(nullptr, m_kFactory, 1024, 768));
    Game().SetScreenSize(1024, 768);
    Game().SetMouse(std::make_unique<CZelmarMouse>());
    Game().SetKeyboard(std::make_unique<UiTestKeyboard>());
    Game().SetCamera(std::make_unique<CZelmarCamera>());
}

void UiTest::TearDown()
{
    COrvaneApplication::DestroyInstance();
    FrameworkTest::TearDown();
}

CZelmarMouse& UiTest::Mouse() const
{
    return static_cast<CZelmarMouse&>(*Game().GetMouse());
}

UiTestKeyboard& UiTest::Keyboard() const
{
    return static_cast<UiTestKeyboard&>(*Game().GetKeyboard());
}

CZelmarCamera& UiTest::Camera() const
{
    return static_cast<CZelmarCamera&>(*Game().GetCamera());
}

os::WindowHandle UiTest::Window() const
{
    return COrvaneApplication::Get()->GetWindow()->GetHandle();
}

void UiTest::StartRenderer()
{
    COrvaneWindow* pkWindow = COrvaneApplication::Get()->GetWindow();
    ASSERT_TRUE(pkWindow->CreateRenderer());
    ASSERT_TRUE(Camera().LoadSettings(1024.0f, 768.0f, 1.0f));
    ASSERT_TRUE(AttachRendererToCamera(Camera(), *pkWindow->GetRenderer()));
    ASSERT_TRUE(Camera().CreateScreenRoot());
}
