#include "game/shell/ui/CBasePanel.h"

#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CInterface.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

namespace
{
// The demo's management panel: 300 x 250, title bar (2, 2, 272 x 20),
// close button (276, 2, 20 x 20), its lowest page 170 high; the main panel
// is 96 high.
class CBasePanelTest : public PanelTest
{
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        RebuildInterface(1024, 768);
        m_pkPanel = dynamic_cast<CBasePanel*>(Ui().GetPanel(CInterface::PANEL_MANAGEMENT));
        ASSERT_NE(m_pkPanel, nullptr);
        Ui().ShowPanel(CInterface::PANEL_MANAGEMENT, false);
    }

    // Presses the title bar, then drags by each step with the button held.
    void Drag(std::initializer_list<std::pair<float, float>> kSteps)
    {
        // Grabbed on the bar, 20 below the panel's top: the pointer keeps
        // clear of the screen's scrolling margins.
        const float fX = m_pkPanel->GetX() + 100.0f;
        const float fY = m_pkPanel->GetY() + 20.0f;
        Frame(fX, fY, false);
        Frame(fX, fY, true);
        for (const auto& [fDx, fDy] : kSteps)
        {
            const NiVec2 kAt = Game().GetMouse()->GetPosition();
            Frame(kAt.x + fDx, kAt.y + fDy, true);
        }
        const NiVec2 kAt = Game().GetMouse()->GetPosition();
        Frame(kAt.x, kAt.y, false);
    }

    CBasePanel* m_pkPanel = nullptr;
};

TEST_F(CBasePanelTest, DraggingStaysOnScreenAndOffTheMainPanel)
{
    m_pkPanel->SetPosition(100.0f, 100.0f, true);
    Drag({{-30.0f, 20.0f}});
    EXPECT_EQ(m_pkPanel->GetX(), 70.0f);
    EXPECT_EQ(m_pkPanel->GetY(), 120.0f);
    // Left and top stop at 0.
    Drag({{-100.0f, 0.0f}});
    EXPECT_EQ(m_pkPanel->GetX(), 0.0f);
    Drag({{0.0f, -125.0f}});
    EXPECT_EQ(m_pkPanel->GetY(), 0.0f);
    // The right edge: 1024 - 300.
    Drag({{900.0f, 0.0f}});
    EXPECT_EQ(m_pkPanel->GetX(), 724.0f);
    // Down over the main panel (below 768 - 250 - 96 - 170): no vertical
    // move on that frame, the horizontal one still applies.
    m_pkPanel->SetPosition(200.0f, 200.0f, true);
    Drag({{-50.0f, 100.0f}});
    EXPECT_EQ(m_pkPanel->GetX(), 150.0f);
    EXPECT_EQ(m_pkPanel->GetY(), 200.0f);
    Drag({{0.0f, 52.0f}}); // exactly onto the limit
    EXPECT_EQ(m_pkPanel->GetY(), 252.0f);
}

TEST_F(CBasePanelTest, AHeldTitleBarKeepsDraggingOffTheBar)
{
    m_pkPanel->SetPosition(300.0f, 100.0f, true);
    // Up 90 while the panel may go up 100, then on with the pointer well
    // below the bar (the panel stops at the top while the pointer moves on).
    Drag({{0.0f, -90.0f}, {0.0f, 150.0f}, {40.0f, 0.0f}});
    EXPECT_EQ(m_pkPanel->GetX(), 340.0f);
    EXPECT_EQ(m_pkPanel->GetY(), 160.0f);
}

TEST_F(CBasePanelTest, TheCloseButtonTakesThePanelOffTheStackAlsoBelowAnother)
{
    COrvaneCanvas* pkOptions = Ui().GetPanel(CInterface::PANEL_OPTIONS);
    Ui().OpenCanvas(pkOptions, false); // on top, elsewhere on the screen
    ASSERT_EQ(Ui().GetStack().GetModeless().front(), pkOptions);
    Click(*m_pkPanel, CBasePanel::WIDGET_CLOSE);
    EXPECT_FALSE(Ui().IsCanvasOpen(m_pkPanel, true));
    EXPECT_TRUE(Ui().IsCanvasOpen(pkOptions, true));
    // The click was the panel's: the game's mouse saw the button go up.
    EXPECT_NE(Game().GetMouse()->GetLeft(), COrvaneMouse::BUTTON_PRESSED);
}

TEST_F(CBasePanelTest, ThePanelsOwnWidgetsKeepTheMouseFromItsChildren)
{
    Ui().ShowPanel(CInterface::PANEL_BUILD_EXTERNAL, false);
    auto* pkBuild = dynamic_cast<CBuildPanel*>(Ui().GetPanel(CInterface::PANEL_BUILD_EXTERNAL));
    ASSERT_NE(pkBuild, nullptr);
    ASSERT_EQ(pkBuild->GetChildCount(), 2);
    auto* pkIcons = dynamic_cast<CBuildPanelIcons*>(pkBuild->GetChild(0));
    ASSERT_NE(pkIcons, nullptr);
    EXPECT_TRUE(pkBuild->ChildrenTakeInput());

    float fX = 0.0f;
    float fY = 0.0f;
    WidgetCentre(*pkBuild, CBasePanel::WIDGET_TITLE, fX, fY);
    Frame(fX, fY, false);
    EXPECT_FALSE(pkBuild->ChildrenTakeInput());
    float fIconX = 0.0f;
    float fIconY = 0.0f;
    WidgetCentre(*pkIcons, 2, fIconX, fIconY);
    Frame(fX, fY, false);
    EXPECT_EQ(pkIcons->GetSelected(), 1);
    // Straight from the bar onto the second icon and pressed in that frame:
    // the pointer has left the bar, so the icon takes the press at once.
    Frame(fIconX, fIconY, true);
    EXPECT_EQ(pkIcons->GetSelected(), 2);
    EXPECT_TRUE(pkBuild->ChildrenTakeInput());
}
} // namespace
