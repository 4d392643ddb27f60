#pragma once

#include "engine/render/NiDX9Renderer.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneKeyboard.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestRenderer.h"

#include "framework/COrvaneLocale.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class COrvaneLevelManager;
class NiDX9GeometryBufferData;
class CZelmarCamera;
class CZelmarMouse;

// A locale with named text lists and the fonts a test gives it.
class UiTestLocale : public COrvaneLocale
{
public:
    void ReleaseLocale() override {}
    [[nodiscard]] std::int16_t FindList(const char* pcName) const override;
    [[nodiscard]] COrvaneFont* GetFont(std::int32_t iIndex) const override;

    std::vector<std::string> m_kLists;
    std::vector<COrvaneFont*> m_kFonts;
};

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
    [[nodiscard]] COrvaneLevelManager* GetLevelManager() const override { return m_pkLevels; }
    std::int32_t RenderScene() override { return m_kRenderScene ? m_kRenderScene() : 0; }
    int m_iWidgetPresses = 0;
    std::function<std::int32_t()> m_kRenderScene; // the test's scene, if any
    COrvaneLevelManager* m_pkLevels = nullptr; // the test's
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
    // Instead: the device renderer on the null back end behind the camera,
    // for what a draw leaves in the device's buffers; let go at tear-down.
    void StartDeviceRenderer();
    [[nodiscard]] NiDX9Renderer& DeviceRenderer() const { return *m_spDevice; }
    // The first bytes of a packed record's first vertex stream, read back
    // from the device; empty when nothing is packed.
    static std::vector<std::uint8_t> PackedVertexBytes(const NiDX9GeometryBufferData* pkRecord, std::uint32_t uiBytes);
    [[nodiscard]] UiTestLocale& Locale() const;

public:
    // An image file of the given pixels (R, G, B[, A] from the top row).
    static void WriteImage(const std::filesystem::path& kPath, std::uint16_t usWidth, std::uint16_t usHeight,
                           std::uint8_t ucDepth, const std::vector<std::uint8_t>& kPixels);
    // A font image as the bitmap font reads it: key colour (255, 0, 255),
    // cells of the given widths and height, at most uiPerBand a band, a
    // final separator row, and the description file naming it.
    static void WriteFont(const std::filesystem::path& kDescription, const std::string& kChars,
                          const std::vector<std::uint32_t>& kWidths, std::uint32_t uiPerBand, std::uint32_t uiHeight);
    // A 24-bit image of one colour.
    static void WriteFilled(const std::filesystem::path& kPath, std::uint16_t usWidth, std::uint16_t usHeight,
                            std::uint8_t ucRed, std::uint8_t ucGreen, std::uint8_t ucBlue);

protected:

    UiTestGameFactory m_kFactory;
    TestRendererFactory m_kRenderers;
    NiDX9RendererPtr m_spDevice;
};
