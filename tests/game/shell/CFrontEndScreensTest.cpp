// The front end on a real game in a copy of the demo data: its three
// screens' buttons, the scenario list read from files, the completion
// stamp and the load panel taking the input.

#include "game/shell/CFrontEndScreens.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CConditions.h"
#include "game/shell/CLevelManager.h"
#include "game/shell/ui/CInterface.h"
#include "platform/os/OsDialog.h"
#include "tests/game/shell/ui/PanelTestSupport.h"
#include "tools/COrvaneDemoFrontEnd.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace
{
class CFrontEndScreensTest : public PanelTest
{
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
            m_kBoxes.emplace_back(kText);
            return 1;
        });
        // Back from the level the fixture entered.
        Game().ResetGame();
        ASSERT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
    }
    void TearDown() override
    {
        os::ResetMessageBoxHook();
        PanelTest::TearDown();
    }

    CFrontEndScreens& Screens() { return *Game().GetFrontEndScreens(); }

    // One front-end frame as the game runs it, the pointer at (x, y).
    void FrontFrame(float fX, float fY, bool bDown)
    {
        COrvaneMouse* pkMouse = Game().GetMouse();
        (void)pkMouse->Update(NiVec2(fX, fY));
        if (bDown && !m_bHeld)
            (void)pkMouse->OnLeftDown(NiVec2(fX, fY));
        else if (!bDown && m_bHeld)
            (void)pkMouse->OnLeftUp(0);
        m_bHeld = bDown;
        if (Screens().Update(0.02f))
            Game().LoadLevelData();
        if (CInterface* pkInterface = CInterface::Get())
            pkInterface->Update(0.02f);
        pkMouse->ClearMovement();
    }
    // The button of the shown screen clicked: rest, press, release.
    void Press(std::int32_t iButton)
    {
        CFrontEndPanel* pkPanel = Screens().GetCurrentPanel();
        ASSERT_NE(pkPanel, nullptr);
        float fX = 0.0f;
        float fY = 0.0f;
        WidgetCentre(*pkPanel, iButton, fX, fY);
        FrontFrame(fX, fY, false);
        FrontFrame(fX, fY, true);
        FrontFrame(fX, fY, false);
    }
    static void WriteFile(const std::string& kPath, const std::string& kBytes)
    {
        std::ofstream kOut(kPath, std::ios::binary);
        kOut << kBytes;
    }
    static std::string ReadFile(const std::string& kPath)
    {
        std::ifstream kIn(kPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>()};
    }

    std::vector<std::string> m_kBoxes;
    bool m_bHeld = false;
};

TEST_F(CFrontEndScreensTest, TheButtonsMoveBetweenTheScreensAndALocationStartsItsLevel)
{
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);
    Press(1);
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_LOCATION);
    Press(4);
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);
    Press(2);
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_SCENARIO);
    Press(3);
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);
    // The release went with the click: the location screen under the same
    // pointer does not take it as its own.
    Press(1);
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_LOCATION);
    EXPECT_EQ(Game().GetState(), CGame::STATE_FRONT_END);

    // The demo lists levels 0-2: a location of no listed level (before the
    // first, or a fourth prison) starts nothing.
    Screens().GetLocationPanel()->StartScenario(0);
    EXPECT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
    Screens().GetLocationPanel()->StartScenario(5);
    EXPECT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_LOCATION);

    Press(2);
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_EQ(Game().GetGameLevelManager()->GetLevel(), 1u);
    EXPECT_FALSE(Screens().IsBuilt());
    EXPECT_EQ(Screens().GetCurrentPanel(), nullptr);

    Game().ResetGame();
    Press(1);
    Press(3);
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_EQ(Game().GetGameLevelManager()->GetLevel(), 2u);

    Game().ResetGame();
    Press(1);
    Press(1);
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_EQ(Game().GetGameLevelManager()->GetLevel(), 0u);

    Game().ResetGame();
    EXPECT_FALSE(COrvaneApplication::Get()->IsQuitRequested());
    Press(3);
    EXPECT_TRUE(COrvaneApplication::Get()->IsQuitRequested());
}

TEST_F(CFrontEndScreensTest, TheScenarioListReadsNumberAndWorldFromEachFile)
{
    WriteFile("a.fds", "<VERSION>\r\n1\r\n</VERSION>\r\n<WORLD>\r\n2\r\n0\r\n<CONDITIONS>\r\n3\r\n\r\n\r\n</CONDITIONS>\r\n");
    WriteFile("b.fds", "<OBJECTS>\r\n</OBJECTS>\r\n");
    WriteFile("d.fds", "<CONDITIONS>\r\n-1\r\n<WORLD>\r\n7x\r\n");
    WriteFile("list.xml", "<SCENARIOS>\r\na\r\n\r\nb\r\nc\r\nd\r\n</SCENARIOS>\r\n");
    COrvaneTagTree kData;
    ASSERT_TRUE(kData.Load("list.xml"));
    CFrontEndScenarioSelect& kScenarios = *Screens().GetScenarioPanel();
    kScenarios.BuildScenarioList(&kData);
    // The blank line is no scenario; missing sections, a missing file and
    // numbers that do not read give 0.
    ASSERT_EQ(kScenarios.GetEntryCount(), 4u);
    EXPECT_EQ(kScenarios.CurrentFile(), "a");
    EXPECT_EQ(kScenarios.GetCurrentEntry()->m_uiScenario, 3u);
    EXPECT_EQ(kScenarios.GetCurrentEntry()->m_uiWorld, 2u);
    kScenarios.PreviousScenario();
    EXPECT_EQ(kScenarios.GetCurrentIndex(), 0u);
    const char* const apcNames[] = {"b", "c", "d"};
    for (const char* pcName : apcNames)
    {
        kScenarios.NextScenario();
        EXPECT_EQ(kScenarios.CurrentFile(), pcName);
        EXPECT_EQ(kScenarios.GetCurrentEntry()->m_uiScenario, 0u);
        EXPECT_EQ(kScenarios.GetCurrentEntry()->m_uiWorld, 0u);
    }
    kScenarios.NextScenario();
    EXPECT_EQ(kScenarios.CurrentFile(), "d");

    // No section at all: an empty list, and the screen's buttons 1, 2 and
    // 4 do nothing; nothing of a scenario is drawn.
    COrvaneTagTree kEmpty;
    kScenarios.BuildScenarioList(&kEmpty);
    EXPECT_EQ(kScenarios.GetEntryCount(), 0u);
    EXPECT_EQ(kScenarios.GetCurrentEntry(), nullptr);
    EXPECT_EQ(kScenarios.CurrentFile(), "");
    Screens().ShowScreen(CFrontEndScreens::SCREEN_SCENARIO);
    for (std::int32_t iButton : {1, 2, 4})
        Press(iButton);
    EXPECT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_SCENARIO);
    Locale().m_kDrawn.clear();
    kScenarios.Draw();
    EXPECT_TRUE(Locale().m_kDrawn.empty());
}

TEST_F(CFrontEndScreensTest, TheStampShowsForACompletedScenarioOnlyAndTheBriefIsItsEntry)
{
    CFrontEndScenarioSelect& kScenarios = *Screens().GetScenarioPanel();
    ASSERT_EQ(kScenarios.GetEntryCount(), 1u);
    EXPECT_EQ(kScenarios.CurrentFile(), DEMO_SCENARIO);
    EXPECT_EQ(kScenarios.GetCurrentEntry()->m_uiScenario, 0u);
    EXPECT_NE(kScenarios.GetStamp(), nullptr);
    EXPECT_FALSE(kScenarios.IsCurrentComplete());
    WriteFile("config.bin", "<SCENARIO_STATES>\r\nCOMPLETE\r\n</SCENARIO_STATES>\r\n");
    // Read again for every frame: no rebuild needed.
    EXPECT_TRUE(kScenarios.IsCurrentComplete());
    WriteFile("config.bin", "<SCENARIO_STATES>\r\nOPENED\r\n</SCENARIO_STATES>\r\n");
    EXPECT_FALSE(kScenarios.IsCurrentComplete());
    WriteFile("config.bin", "<SCENARIO_STATES>\r\n</SCENARIO_STATES>\r\n");
    EXPECT_FALSE(kScenarios.IsCurrentComplete());

    // The brief: entry 0 of "SCENARIOS" (not of "BRIEF_SCENARIOS") in font
    // 2, in its box at (100, 450) scaled to the screen.
    Game().SetScreenSize(2048, 1536);
    Locale().m_kDrawn.clear();
    kScenarios.Draw();
    const std::int16_t sList = Locale().FindList("SCENARIOS");
    ASSERT_GE(sList, 0);
    EXPECT_EQ(Locale().m_kDrawn, (std::vector<std::string>{"2 box 200,900 " + Locale().GetEntryText(sList, 0)}));
    EXPECT_EQ(Locale().GetEntryText(sList, 0).rfind("First steps", 0), 0u);
}

TEST_F(CFrontEndScreensTest, TheLoadButtonPausesOpensTheLoadPanelAndTakesTheMenusInputUntilItCloses)
{
    Game().SetGameSpeed(4.0f);
    Press(4);
    CInterface& kUi = *CInterface::Get();
    EXPECT_TRUE(kUi.IsCanvasOpen(kUi.GetPanel(CInterface::PANEL_LOAD), true));
    EXPECT_TRUE(kUi.IsLoadPanelOpen());
    EXPECT_FLOAT_EQ(Game().GetGameSpeed(), 0.0f);
    EXPECT_FLOAT_EQ(Game().GetSavedSpeed(), 4.0f);
    EXPECT_FALSE(Screens().IsInputEnabled());

    // The pointer on button 1 highlights nothing and a click there does not
    // leave the main menu.
    CFrontEndPanel& kMain = *Screens().GetMainPanel();
    float fX = 0.0f;
    float fY = 0.0f;
    WidgetCentre(kMain, 1, fX, fY);
    kMain.GetWidget(1)->SetVisible(false);
    FrontFrame(fX, fY, false);
    FrontFrame(fX, fY, true);
    FrontFrame(fX, fY, false);
    EXPECT_FALSE(kMain.GetWidget(1)->IsVisible());
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);

    // Closed: the next frame gives the input back, and the one after
    // highlights.
    kUi.GetStack().Remove(kUi.GetPanel(CInterface::PANEL_LOAD));
    FrontFrame(fX, fY, false);
    EXPECT_TRUE(Screens().IsInputEnabled());
    FrontFrame(fX, fY, false);
    EXPECT_TRUE(kMain.GetWidget(1)->IsVisible());
}

TEST_F(CFrontEndScreensTest, StartingTheDemoScenarioLoadsItsConditionsAndADamagedOneLeavesTheMenu)
{
    const std::string kPath = std::string(DEMO_SCENARIO) + ".fds";
    const std::string kGood = ReadFile(kPath);
    ASSERT_FALSE(kGood.empty());
    // Damaged: a box names it, the menu and the file stay as they were.
    const std::string kDamaged = "<WORLD>\r\n0\r\n0\r\n<CONDITIONS>\r\nzero\r\n";
    WriteFile(kPath, kDamaged);
    Press(2);
    Press(4);
    EXPECT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
    ASSERT_TRUE(Screens().IsBuilt());
    EXPECT_EQ(Screens().GetCurrentScreen(), CFrontEndScreens::SCREEN_SCENARIO);
    ASSERT_EQ(m_kBoxes.size(), 1u);
    EXPECT_NE(m_kBoxes[0].find("first_steps.fds"), std::string::npos);
    EXPECT_EQ(ReadFile(kPath), kDamaged);

    WriteFile(kPath, kGood);
    Press(4);
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_FALSE(Screens().IsBuilt());
    EXPECT_EQ(Game().GetGameLevelManager()->GetLevel(), 0u);
    EXPECT_EQ(Game().GetScenarioNumber(), 0);
    ASSERT_NE(Game().GetConditions(), nullptr);
    const CConditionsSection kSection = Game().GetConditions()->MakeSection();
    // Won once the year offset is above 0, lost when the balance falls
    // below 0.
    EXPECT_EQ(kSection.m_kGoals, (std::vector<CCondition>{{1, 1, 0}}));
    EXPECT_EQ(kSection.m_kFailures, (std::vector<CCondition>{{0, 0, 0}}));
    EXPECT_EQ(m_kBoxes.size(), 1u);
    // A new game outside a scenario has none.
    Game().ResetGame();
    Press(1);
    Press(1);
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_EQ(Game().GetScenarioNumber(), -1);
}
} // namespace
