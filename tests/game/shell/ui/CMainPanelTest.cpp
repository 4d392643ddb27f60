#include "game/shell/ui/CMainPanel.h"

#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CMouse.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/ui/CBasePanel.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMessageHistoryPanel.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
class CMainPanelTest : public PanelTest
{
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        m_pkMain = Ui().GetMainPanel();
        ASSERT_NE(m_pkMain, nullptr);
        m_pkMain->ClearMessages();
        Game().GetSoundSystem()->ClearCalls();
    }

    [[nodiscard]] std::size_t Played(int iSample)
    {
        const std::vector<std::string>& kCalls = Game().GetSoundSystem()->GetCalls();
        return static_cast<std::size_t>(
            std::count(kCalls.begin(), kCalls.end(), "PlaySample " + std::to_string(iSample) + " 255"));
    }

    CMainPanel* m_pkMain = nullptr;
};

TEST_F(CMainPanelTest, OnlyAMessageThatBecomesTheShownOnePlaysItsSound)
{
    m_pkMain->PostMessage(14);
    m_pkMain->PostMessage(12);
    m_pkMain->PostMessage(-1); // never queued
    EXPECT_EQ(m_pkMain->GetQueue().size(), 2u);
    m_pkMain->Draw();
    EXPECT_EQ(Played(18), 1u);
    m_pkMain->Draw();
    EXPECT_EQ(Played(18), 1u);
    EXPECT_EQ(Played(17), 0u); // waiting behind
    // Ten scaled seconds later the next one shows and sounds.
    Game().SetGameSpeed(2.0f);
    EXPECT_EQ(m_pkMain->Tick(4.0f), -1);
    EXPECT_EQ(m_pkMain->Tick(1.0f), 14);
    m_pkMain->Draw();
    EXPECT_EQ(Played(17), 1u);
    EXPECT_EQ(CMainPanel::MessageSample(15), 16);
    EXPECT_EQ(CMainPanel::MessageSample(18), 16);
    EXPECT_EQ(CMainPanel::MessageSample(19), 16);
    EXPECT_EQ(CMainPanel::MessageSample(0), 15);
}

TEST_F(CMainPanelTest, APausedTickerHoldsItsMessageAndEveryMessageEndsInTheHistory)
{
    m_pkMain->PostNumberedMessage(19, 3);
    Game().SetGameSpeed(0.0f);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(m_pkMain->Tick(1.0f), -1);
    EXPECT_EQ(m_pkMain->GetQueue().size(), 1u);
    Game().SetGameSpeed(1.0f);
    EXPECT_EQ(m_pkMain->Tick(10.0f), 19);
    EXPECT_FALSE(m_pkMain->HasMessages());
    EXPECT_EQ(Ui().GetMessageHistory()->GetMessages().back(), (CHistoryMessage{-1, 19, 3}));
    EXPECT_EQ(m_pkMain->Tick(1.0f), -1);
    EXPECT_EQ(m_pkMain->GetTimer(), CMainPanel::MESSAGE_SECONDS);
}

// "No beds" is posted when an arrival falls due; by its turn at the front
// the player may have built cells. Then it is dropped, neither shown nor
// listed, and the message behind it shows in its place with its sound; while
// the prison still has no beds it shows and is listed like any other.
TEST_F(CMainPanelTest, ANoBedsMessageGoesUnseenOnceThePrisonHasBeds)
{
    CPrisonStatistics& kLedger = *Game().GetStatistics();
    const auto Listed = [this](std::int32_t iEntry) {
        const auto& kList = Ui().GetMessageHistory()->GetMessages();
        return std::count_if(kList.begin(), kList.end(),
                             [iEntry](const CHistoryMessage& kMessage) { return kMessage.m_iEntry == iEntry; });
    };
    Game().SetGameSpeed(1.0f);
    kLedger.m_usBeds = 0;
    m_pkMain->PostMessage(3);
    m_pkMain->PostMessage(CSpawnManager::MESSAGE_NO_BEDS);
    m_pkMain->PostMessage(55);
    EXPECT_EQ(m_pkMain->Tick(10.0f), 3);
    // Still true at its turn: it stays for its ten seconds and is listed.
    EXPECT_EQ(m_pkMain->Tick(9.0f), -1);
    EXPECT_EQ(m_pkMain->GetQueue().front().m_iMessage, CSpawnManager::MESSAGE_NO_BEDS);
    EXPECT_EQ(m_pkMain->Tick(1.0f), CSpawnManager::MESSAGE_NO_BEDS);
    EXPECT_EQ(Listed(CSpawnManager::MESSAGE_NO_BEDS), 1);
    EXPECT_EQ(m_pkMain->Tick(10.0f), 55);

    // Cells built while it waits behind another message: when that one
    // leaves, the one after "no beds" shows, for its full time.
    m_pkMain->PostMessage(3);
    m_pkMain->PostMessage(CSpawnManager::MESSAGE_NO_BEDS);
    m_pkMain->PostMessage(CSpawnManager::MESSAGE_NO_BEDS);
    m_pkMain->PostMessage(12);
    m_pkMain->Draw();
    EXPECT_EQ(m_pkMain->Tick(4.0f), -1);
    kLedger.m_usBeds = 8;
    Game().GetSoundSystem()->ClearCalls();
    EXPECT_EQ(m_pkMain->Tick(6.0f), 3);
    ASSERT_EQ(m_pkMain->GetQueue().size(), 1u);
    EXPECT_EQ(m_pkMain->GetQueue().front().m_iMessage, 12);
    EXPECT_EQ(m_pkMain->GetTimer(), CMainPanel::MESSAGE_SECONDS);
    m_pkMain->Draw();
    EXPECT_EQ(Played(17), 1u);
    EXPECT_EQ(m_pkMain->Tick(10.0f), 12);
    EXPECT_EQ(Listed(CSpawnManager::MESSAGE_NO_BEDS), 1);

    // Shown when a cell is put down: the next draw no longer shows it, and
    // the ticker is empty again.
    kLedger.m_usBeds = 0;
    m_pkMain->PostMessage(CSpawnManager::MESSAGE_NO_BEDS);
    m_pkMain->Draw();
    kLedger.m_usBeds = 2;
    Game().GetSoundSystem()->ClearCalls();
    m_pkMain->Draw();
    EXPECT_FALSE(m_pkMain->HasMessages());
    EXPECT_FALSE(m_pkMain->IsNewMessage());
    EXPECT_EQ(m_pkMain->Tick(10.0f), -1);
    EXPECT_EQ(Listed(CSpawnManager::MESSAGE_NO_BEDS), 1);
    // Other messages are never dropped for beds.
    m_pkMain->PostMessage(5);
    EXPECT_EQ(m_pkMain->Tick(10.0f), 5);
}

TEST_F(CMainPanelTest, NumbersFromOneUpUseTheNumberedForm)
{
    const std::int16_t sList = Locale().FindList("InGameMessages");
    const std::string kEntry = Locale().GetEntryText(sList, 2);
    const int iX = static_cast<int>(m_pkMain->GetX()) + 155;
    const int iY = static_cast<int>(m_pkMain->GetY()) + 17;
    const std::string kBox = "0 box " + std::to_string(iX) + "," + std::to_string(iY) + " ";
    for (const auto& [iNumber, kShown] : {std::pair{0, kEntry}, std::pair{-1, kEntry}, std::pair{1, "1 " + kEntry}})
    {
        m_pkMain->ClearMessages();
        m_pkMain->PostNumberedMessage(2, iNumber);
        Locale().m_kDrawn.clear();
        m_pkMain->Draw();
        EXPECT_TRUE(Locale().Drew(kBox + kShown)) << iNumber;
    }
    // The money and the beds in their places.
    CPrisonStatistics& kStatistics = *Game().GetStatistics();
    kStatistics.m_usPrisonersNow = 7;
    kStatistics.m_usBeds = 12;
    Locale().m_kDrawn.clear();
    m_pkMain->Draw();
    const int iTop = static_cast<int>(m_pkMain->GetY()) + 56;
    EXPECT_TRUE(Locale().Drew("0 423," + std::to_string(iTop) + " 7 / 12"));
    EXPECT_TRUE(Locale().Drew("0 290," + std::to_string(iTop) + " " + std::to_string(kStatistics.GetBalance())));
}

TEST_F(CMainPanelTest, TheOrderBarIsHiddenAtZeroAndFullAtAThousand)
{
    COrvaneBar* pkBar = m_pkMain->GetOrderBar();
    ASSERT_NE(pkBar, nullptr);
    EXPECT_EQ(pkBar->GetFullLength(), CMainPanel::BAR_LENGTH);
    Game().GetStatistics()->m_iOrder = 0;
    m_pkMain->Draw();
    EXPECT_FALSE(pkBar->IsVisible());
    Game().GetStatistics()->m_iOrder = 1000;
    m_pkMain->Draw();
    EXPECT_TRUE(pkBar->IsVisible());
    EXPECT_EQ(pkBar->GetFraction(), 1.0f);
    Game().GetStatistics()->m_iOrder = 5000; // never past full
    m_pkMain->Draw();
    EXPECT_EQ(pkBar->GetFraction(), 1.0f);
}

TEST_F(CMainPanelTest, TheBuildButtonPausesAndClosingTheMenuGivesTheSpeedBack)
{
    for (const float fSpeed : {2.0f, 8.0f})
    {
        SCOPED_TRACE(fSpeed);
        Game().SetGameSpeed(fSpeed);
        Click(*m_pkMain, CMainPanel::WIDGET_BUILD);
        EXPECT_EQ(Game().GetGameSpeed(), 0.0f);
        CBuildPanel* pkBuild = Ui().GetBuildPanel(false);
        ASSERT_TRUE(Ui().IsCanvasOpen(pkBuild, false));
        ASSERT_NE(CBuildPlacement::GetExisting()->GetObject(), nullptr);
        // Again while open: still paused, and the speed to return to kept.
        Click(*m_pkMain, CMainPanel::WIDGET_BUILD);
        EXPECT_EQ(Game().GetGameSpeed(), 0.0f);
        Click(*pkBuild, CBasePanel::WIDGET_CLOSE);
        EXPECT_FALSE(Ui().IsCanvasOpen(pkBuild, false));
        EXPECT_EQ(Game().GetGameSpeed(), fSpeed);
        EXPECT_EQ(CBuildPlacement::GetExisting()->GetObject(), nullptr);
    }
}

TEST_F(CMainPanelTest, ACellBlockIsBuiltFromTheMenuOnTheRunningLevel)
{
    Game().SetGameSpeed(1.0f);
    Click(*m_pkMain, CMainPanel::WIDGET_BUILD);
    CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    auto* pkBlock = dynamic_cast<CWorldObject*>(pkPlacement->GetObject());
    ASSERT_NE(pkBlock, nullptr);
    EXPECT_TRUE(pkBlock->NameContains("cellblock"));
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    NiVec3 kAt;
    ASSERT_NE(pkYard->CellPosition(20 * 40 + 20, kAt, false), nullptr);
    Frame(600.0f, 300.0f, false); // the pointer leaves the panels for the yard
    // The game's frame takes its pick where the pointer now is; the cell is
    // then put under it by hand.
    Game().Update(0.0f);
    (void)CBlockGridManager::GetInstance()->PickCell(kAt);
    const void* pkPicture = Ui().GetBuildItemPicture(false);
    ASSERT_NE(pkPicture, nullptr);
    EXPECT_EQ(Game().OnMouse(CMouse::BUTTON_LEFT_DOWN), 1);
    EXPECT_TRUE(pkBlock->IsPlaced());
    // It keeps its menu item; the page has picked up the next copy.
    EXPECT_EQ(pkBlock->GetLabelWidget(), pkPicture);
    EXPECT_EQ(pkBlock->GetDescriptionList(), Ui().GetBuildItemTextList(false));
    ASSERT_NE(pkPlacement->GetObject(), nullptr);
    EXPECT_NE(pkPlacement->GetObject(), pkBlock);
    // Space closes the menu: the game runs on.
    Ui().CloseAllPanels();
    EXPECT_EQ(Game().GetGameSpeed(), 1.0f);
}

TEST_F(CMainPanelTest, SpeedButtonsSetTheSpeedAndMarkItUpToThree)
{
    Game().SetGameSpeed(8.0f); // a cheat speed
    Click(*m_pkMain, 7);
    EXPECT_EQ(Game().GetGameSpeed(), 2.0f);
    EXPECT_TRUE(m_pkMain->GetWidget(7)->IsVisible());
    Click(*m_pkMain, 5);
    EXPECT_EQ(Game().GetGameSpeed(), 0.0f);
    // Management and messages open their panels.
    Click(*m_pkMain, CMainPanel::WIDGET_MANAGEMENT);
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetPanel(CInterface::PANEL_MANAGEMENT), false));
    Click(*m_pkMain, CMainPanel::WIDGET_MESSAGES);
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetPanel(CInterface::PANEL_MESSAGES), true));
    Ui().CloseAllPanels();
    Click(*m_pkMain, 3);
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetPanel(CInterface::PANEL_OPTIONS), false));
}
} // namespace
