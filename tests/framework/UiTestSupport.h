#pragma once

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneKeyboard.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestRenderer.h"

#include <memory>

class CZelmarCamera;
class CZelmarMouse;

// A keyboard whose camera keys can be blocked, as the game's can.
class UiTestKeyboard : public CZelmarKeyboard
{
public:
    [[nodiscard]] bool IsInputBlocked() const override { return m_bBlocked; }
    bool m_bBlocked = false;
};

// The game of the user-interface tests: a 1024 x 768 screen, the game-style
// mouse, keyboard and camera, and a count of widget presses.
class UiTestGame : public COrvaneGame
{
public:
    void OnWidgetPressed() override { ++m_iWidgetPresses; }
    int m_iWidgetPresses = 0;
};

class UiTestGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override;
    UiTestGame* m_pkGame = nullptr;
};

// An application with its window and the test game (not started: no
// renderer), the game's input objects in place.
class UiTest : public FrameworkTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    [[nodiscard]] UiTestGame& Game() const { return *m_kFactory.m_pkGame; }
    [[nodiscard]] CZelmarMouse& Mouse() const;
    [[nodiscard]] UiTestKeyboard& Keyboard() const;
    [[nodiscard]] CZelmarCamera& Camera() const;
    [[nodiscard]] os::WindowHandle Window() const;
    // The window's renderer (a recording one), the camera's engine camera
    // bound to it and the screen camera made, as the start-up does.
    void StartRenderer();
    [[nodiscard]] TestRenderer& Renderer() const { return *m_kRenderers.m_pkLast; }

    UiTestGameFactory m_kFactory;
    TestRendererFactory m_kRenderers;
};
