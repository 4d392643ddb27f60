#pragma once

// The in-game panels on a real game: the demo data copied into the test's
// folder, the game started headless with a locale that records what it
// draws, and a level entered, so the interface holds the demo's panels.

#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <memory>
#include <string>
#include <vector>

class CInterface;
class COrvaneCanvas;

// Every string drawn, as "font x,y text" (boxes as "font box x,y text");
// every character 10 pixels wide.
class PanelLocale : public CLocale
{
public:
    std::vector<std::string> m_kDrawn;
    // The lines every text box reports it took.
    std::int32_t m_iBoxLines = 1;
    [[nodiscard]] bool Drew(const std::string& kLine) const;
    [[nodiscard]] float MeasureText(std::int32_t iFont, const std::string& kText) const override;

protected:
    void DrawLine(std::int32_t iFont, float fX, float fY, const std::string& kText) override;
    std::int32_t DrawInBox(std::int32_t iFont, const COrvaneWidgetRect& kBox, const std::string& kText) override;
};

class PanelTest : public EngineFrameworkTest
{
protected:
    void SetUp() override;
    void TearDown() override;

    [[nodiscard]] CGame& Game() { return *m_pkGame; }
    [[nodiscard]] CInterface& Ui();
    [[nodiscard]] PanelLocale& Locale() { return *m_pkLocale; }
    // A new interface for the screen size, prepared for the level.
    void RebuildInterface(std::int32_t iWidth, std::int32_t iHeight);
    // One interface frame with the pointer at (x, y), the left button held
    // or not.
    void Frame(float fX, float fY, bool bDown, float fFrameTime = 0.02f);
    // A click on the widget's middle: a frame pressed, a frame released.
    void Click(const COrvaneCanvas& kCanvas, std::int32_t iWidget);
    // The widget's middle on screen.
    static void WidgetCentre(const COrvaneCanvas& kCanvas, std::int32_t iWidget, float& fX, float& fY);

private:
    CGame* m_pkGame = nullptr; // the application owns it
    PanelLocale* m_pkLocale = nullptr;
    bool m_bHeld = false;
};
