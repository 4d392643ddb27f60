#include "game/shell/ui/CConfirmPanel.h"

#include "framework/COrvaneWidget.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CFinanceSubPanel.h"
#include "game/shell/ui/CFloorChangePanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace
{
class CConfirmPanelTest : public PanelTest
{
protected:
    [[nodiscard]] std::size_t Played(int iSample)
    {
        const std::vector<std::string>& kCalls = Game().GetSoundSystem()->GetCalls();
        return static_cast<std::size_t>(
            std::count(kCalls.begin(), kCalls.end(), "PlaySample " + std::to_string(iSample) + " 255"));
    }
};

TEST_F(CConfirmPanelTest, TheQuitQuestionSoundsOnYesOnlyAndAnAnswerRunsOnce)
{
    int iRuns = 0;
    Game().GetSoundSystem()->ClearCalls();
    Ui().ShowConfirmation(CConfirmPanel::QUESTION_QUIT, [&iRuns] { ++iRuns; });
    CConfirmPanel* pkConfirm = Ui().GetConfirmPanel();
    Click(*pkConfirm, CConfirmPanel::WIDGET_NO);
    EXPECT_FALSE(Ui().IsConfirmationOpen());
    EXPECT_EQ(Played(CConfirmPanel::SAMPLE_QUIT), 0u);
    EXPECT_EQ(iRuns, 0);
    EXPECT_FALSE(pkConfirm->HasCallback());

    Ui().ShowConfirmation(CConfirmPanel::QUESTION_QUIT, [&iRuns] { ++iRuns; });
    Click(*pkConfirm, CConfirmPanel::WIDGET_YES);
    EXPECT_FALSE(Ui().IsConfirmationOpen());
    EXPECT_EQ(Played(CConfirmPanel::SAMPLE_QUIT), 1u);
    EXPECT_EQ(iRuns, 1);
    // A press that repeats after the answer finds nothing to run.
    pkConfirm->OnWidgetEvent(CConfirmPanel::WIDGET_YES, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_EQ(iRuns, 1);

    // Other questions are silent; any other widget answers nothing but
    // leaves the panel idle.
    Ui().ShowConfirm([&iRuns] { ++iRuns; }, 0, 0, false, nullptr);
    pkConfirm->OnWidgetEvent(0, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_FALSE(pkConfirm->HasCallback());
    EXPECT_EQ(Played(CConfirmPanel::SAMPLE_QUIT), 1u);
    EXPECT_EQ(iRuns, 1);
}

TEST_F(CConfirmPanelTest, YesClosesTheCanvasBelowOnlyWhenAsked)
{
    COrvaneCanvas* pkSave = Ui().GetPanel(CInterface::PANEL_SAVE);
    for (const bool bCloseBelow : {false, true})
    {
        Ui().OpenPanel(CInterface::PANEL_SAVE);
        Ui().ShowConfirm(nullptr, 0, 0, bCloseBelow, nullptr);
        ASSERT_TRUE(Ui().IsConfirmationOpen());
        EXPECT_TRUE(Ui().AnswerConfirmation(true)); // no callback: nothing runs
        EXPECT_FALSE(Ui().IsConfirmationOpen());
        EXPECT_EQ(Ui().IsCanvasOpen(pkSave, true), !bCloseBelow);
        Ui().CloseAllPanels();
    }
}

TEST_F(CConfirmPanelTest, TheExtraTextIsTheAskersAsItWasWhenAsked)
{
    char acName[16] = "cellar";
    Ui().ShowConfirm(nullptr, 52, Locale().FindList("InGameMessages"), false, acName);
    std::strcpy(acName, "garbage");
    CConfirmPanel* pkConfirm = Ui().GetConfirmPanel();
    Locale().m_kDrawn.clear();
    pkConfirm->Draw();
    const int iX = static_cast<int>(pkConfirm->GetX()) + 27;
    const int iY = static_cast<int>(pkConfirm->GetY());
    EXPECT_TRUE(Locale().Drew("0 " + std::to_string(iX) + "," + std::to_string(iY + 65) + " cellar"));
    EXPECT_TRUE(Locale().Drew("0 box " + std::to_string(iX) + "," + std::to_string(iY + 45) + " " +
                              Locale().GetEntryText(Locale().FindList("InGameMessages"), 52)));
}

TEST_F(CConfirmPanelTest, YearlyFiguresDivideByTheYearsTruncatingTowardZero)
{
    CPrisonStatistics kStatistics;
    kStatistics.m_iIncomeTotal = 4000;
    kStatistics.m_iExpenseTotal = 11;
    kStatistics.m_iWorkIncome = -7;
    kStatistics.m_iAdminCosts = 9;
    const auto kTotals = CFinanceSubPanel::Figures(kStatistics, false, 3);
    const auto kFirstYear = CFinanceSubPanel::Figures(kStatistics, true, 0);
    const auto kFourthYear = CFinanceSubPanel::Figures(kStatistics, true, 3);
    ASSERT_EQ(kTotals.size(), 12u);
    for (std::size_t i = 0; i < kTotals.size(); ++i)
        EXPECT_EQ(kFirstYear[i].m_iValue, kTotals[i].m_iValue) << i;
    EXPECT_EQ(kFourthYear[0].m_iValue, 3989); // the balance is never divided
    EXPECT_EQ(kFourthYear[1].m_iValue, 2);
    EXPECT_EQ(kFourthYear[2].m_iValue, 1000);
    EXPECT_EQ(kFourthYear[3].m_iValue, -1);
    EXPECT_EQ(kFourthYear[11].m_iValue, 2);
    EXPECT_EQ(kFourthYear[11].m_fDx, 200.0f);
    EXPECT_EQ(kFourthYear[11].m_fDy, 130.0f);

    // The page: button 2 yearly, button 1 totals, the active one green.
    CFinanceSubPanel kPage;
    kPage.Create("images/panels/management/finance/finance.tga", 0.0f, 0.0f, false);
    ASSERT_EQ(kPage.GetWidgetCount(), 3);
    kPage.OnWidgetEvent(CFinanceSubPanel::WIDGET_YEARLY, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_TRUE(kPage.IsYearly());
    kPage.OnWidgetEvent(CFinanceSubPanel::WIDGET_TOTALS, COrvaneCanvas::EVENT_NORMAL);
    EXPECT_TRUE(kPage.GetWidget(CFinanceSubPanel::WIDGET_YEARLY)->IsVisible());
    kPage.OnWidgetEvent(CFinanceSubPanel::WIDGET_TOTALS, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_FALSE(kPage.IsYearly());
    kPage.Reset();
    EXPECT_FALSE(kPage.IsYearly());
}

TEST_F(CConfirmPanelTest, TheFloorButtonsStayWithinTheBuildingsFloors)
{
    // A small cell block in the yard, selected.
    Click(*Ui().GetMainPanel(), CMainPanel::WIDGET_BUILD);
    CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    auto* pkBlock = dynamic_cast<CWorldObject*>(pkPlacement->GetObject());
    ASSERT_NE(pkBlock, nullptr);
    NiVec3 kAt;
    ASSERT_NE(CBlockGridManager::GetInstance()->FindGrid(1)->CellPosition(20 * 40 + 20, kAt, false), nullptr);
    Frame(600.0f, 300.0f, false); // the pointer leaves the panels for the yard
    (void)CBlockGridManager::GetInstance()->PickCell(kAt);
    ASSERT_EQ(pkPlacement->Commit(), 1);
    Ui().CloseAllPanels();
    Game().SetSelectedBuilding(pkBlock);
    ASSERT_GE(pkBlock->GetRoofIndex(), 2);

    CFloorChangePanel& kFloors = *Ui().GetMainPanel()->GetFloorPanel();
    for (int i = 0; i < 4; ++i)
        kFloors.OnWidgetEvent(CFloorChangePanel::WIDGET_DOWN, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_EQ(pkBlock->GetCurrentFloor(), 0);
    Locale().m_kDrawn.clear();
    Ui().GetMainPanel()->Draw(); // the floor block shows with a selected building
    EXPECT_TRUE(Locale().Drew("1 " + std::to_string(static_cast<int>(kFloors.GetX()) + 51) + "," +
                              std::to_string(static_cast<int>(kFloors.GetY()) + 32) + " 0"));
    for (int i = 0; i < 4; ++i)
        kFloors.OnWidgetEvent(CFloorChangePanel::WIDGET_UP, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_EQ(pkBlock->GetCurrentFloor(), pkBlock->GetRoofIndex() - 1);
    // A held button acts once.
    EXPECT_EQ(kFloors.GetPendingWidget(), -1);
    EXPECT_FALSE(kFloors.IsPressed());

    // Leaving the building view forgets the building.
    kFloors.OnWidgetEvent(CFloorChangePanel::WIDGET_LEAVE, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_EQ(Game().GetSelectedBuilding(), nullptr);
}
} // namespace
