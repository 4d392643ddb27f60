// The management panel's pages and the information pop-ups on the running
// demo level.

#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneObjectDesc.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/CManagementPanel.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "game/simulation/characters/CAIPrisoner.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
// The tint an image widget draws with (black without tiles).
NiColorRGBA Tint(const COrvaneWidget* pkWidget)
{
    const auto* pkImage = dynamic_cast<const COrvaneImage*>(pkWidget);
    if (pkImage == nullptr || pkImage->GetTexture().GetTiles().empty())
        return NiColorRGBA(0.0f, 0.0f, 0.0f, 0.0f);
    return pkImage->GetTexture().GetTiles().front().m_spPolygon->GetColors()[0];
}

class CInfoPanelTest : public PanelTest
{
protected:
    CManagementPanel& Management() { return *dynamic_cast<CManagementPanel*>(Ui().GetPanel(CInterface::PANEL_MANAGEMENT)); }
    [[nodiscard]] std::string At(const COrvaneCanvas& kCanvas, float fDx, float fDy, const std::string& kText) const
    {
        return "0 " + std::to_string(static_cast<int>(kCanvas.GetX() + fDx)) + "," +
               std::to_string(static_cast<int>(kCanvas.GetY() + fDy)) + " " + kText;
    }
    CAIStaff* HireGuard()
    {
        CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
        COrvaneObjectDesc kDesc;
        kDesc.m_pkTemplate = pkManager->FindTemplate("guard2");
        kDesc.m_ucMode = 1;
        kDesc.m_pkGrid = CBlockGridManager::GetInstance()->FindGrid(1);
        auto* pkGuard = dynamic_cast<CAIStaff*>(
            pkManager->CreateObject(pkManager->FindFactory("SecurityGuardFactory", Game().GetWorld()), kDesc));
        if (pkGuard != nullptr)
        {
            pkGuard->SetGrid(kDesc.m_pkGrid);
            pkGuard->SetFree(true); // standing about, nothing in hand
        }
        return pkGuard;
    }
};

TEST_F(CInfoPanelTest, TheScenarioIconIsRedAndInertWithoutAScenario)
{
    CManagementPanel& kPanel = Management();
    ASSERT_EQ(kPanel.GetChildCount(), 5);
    EXPECT_TRUE(kPanel.GetChild(CManagementPanel::CHILD_ICONS)->IsActive());
    EXPECT_TRUE(kPanel.GetChild(CManagementPanel::CHILD_FINANCE)->IsActive());
    for (std::int32_t i = CManagementPanel::CHILD_STAFF; i <= CManagementPanel::CHILD_SCENARIO; ++i)
        EXPECT_FALSE(kPanel.GetChild(i)->IsActive()) << i;
    // Children sit at their offsets from the panel.
    EXPECT_EQ(kPanel.GetChild(CManagementPanel::CHILD_ICONS)->GetX(), kPanel.GetX() + 8.0f);
    EXPECT_EQ(kPanel.GetChild(CManagementPanel::CHILD_STAFF)->GetY(), kPanel.GetY() + 77.0f);

    auto* pkIcons = dynamic_cast<CManagementPanelIcons*>(kPanel.GetChild(CManagementPanel::CHILD_ICONS));
    ASSERT_NE(pkIcons, nullptr);
    ASSERT_EQ(pkIcons->GetWidgetCount(), 5);
    const COrvaneWidget* pkScenario = pkIcons->GetWidget(CManagementPanelIcons::ICON_SCENARIO);
    Game().GetConditions()->SetScenario(-1);
    Ui().ShowPanel(CInterface::PANEL_MANAGEMENT, true);
    for (const std::int32_t iEvent : {COrvaneCanvas::EVENT_HOVER, COrvaneCanvas::EVENT_PRESSED, COrvaneCanvas::EVENT_NORMAL})
    {
        pkIcons->OnWidgetEvent(CManagementPanelIcons::ICON_SCENARIO, iEvent);
        EXPECT_EQ(Tint(pkScenario), NiColorRGBA(1.0f, 0.0f, 0.0f, 1.0f)) << iEvent;
    }
    EXPECT_EQ(pkIcons->GetSelected(), -1);
    EXPECT_TRUE(kPanel.GetChild(CManagementPanel::CHILD_FINANCE)->IsActive());
    EXPECT_FALSE(kPanel.GetChild(CManagementPanel::CHILD_SCENARIO)->IsActive());

    // Scenario 0: a page like the others, its briefing in the box.
    Game().GetConditions()->SetScenario(0);
    Click(*pkIcons, CManagementPanelIcons::ICON_SCENARIO);
    EXPECT_EQ(pkIcons->GetSelected(), CManagementPanelIcons::ICON_SCENARIO);
    EXPECT_EQ(Tint(pkScenario), NiColorRGBA(0.0f, 1.0f, 0.0f, 1.0f));
    EXPECT_FALSE(kPanel.GetChild(CManagementPanel::CHILD_FINANCE)->IsActive());
    EXPECT_TRUE(kPanel.GetChild(CManagementPanel::CHILD_SCENARIO)->IsActive());
    // A demo without briefings shows the locale's missing-list text there.
    COrvaneCanvas& kBriefing = *kPanel.GetChild(CManagementPanel::CHILD_SCENARIO);
    Locale().m_kDrawn.clear();
    kBriefing.Draw();
    const std::int16_t sList = Locale().FindList("BRIEF_SCENARIOS");
    EXPECT_TRUE(Locale().Drew("0 box " + std::to_string(static_cast<int>(kBriefing.GetX() + 25.0f)) + "," +
                              std::to_string(static_cast<int>(kBriefing.GetY() + 16.0f)) + " " +
                              Locale().GetEntryText(sList, 0)));

    // The page already shown, chosen again, stays.
    Click(*pkIcons, CManagementPanelIcons::ICON_SCENARIO);
    EXPECT_TRUE(kPanel.GetChild(CManagementPanel::CHILD_SCENARIO)->IsActive());
    Click(*pkIcons, CManagementPanel::CHILD_STAFF);
    EXPECT_TRUE(kPanel.GetChild(CManagementPanel::CHILD_STAFF)->IsActive());
    EXPECT_FALSE(kPanel.GetChild(CManagementPanel::CHILD_SCENARIO)->IsActive());
    EXPECT_EQ(Tint(pkScenario), NiColorRGBA(1.0f, 1.0f, 1.0f, 1.0f));
    EXPECT_EQ(Tint(pkIcons->GetWidget(CManagementPanel::CHILD_STAFF)), NiColorRGBA(0.0f, 1.0f, 0.0f, 1.0f));
    Frame(600.0f, 400.0f, false);
    EXPECT_EQ(Tint(pkIcons->GetWidget(CManagementPanel::CHILD_STAFF)), NiColorRGBA(0.0f, 1.0f, 0.0f, 1.0f));
}

TEST_F(CInfoPanelTest, ThePanelOpenedFromTheMainPanelTurnsItsPages)
{
    Click(*Ui().GetMainPanel(), CMainPanel::WIDGET_MANAGEMENT);
    CManagementPanel& kPanel = Management();
    ASSERT_TRUE(Ui().IsCanvasOpen(&kPanel, false));
    auto* pkIcons = dynamic_cast<CManagementPanelIcons*>(kPanel.GetChild(CManagementPanel::CHILD_ICONS));
    Click(*pkIcons, CManagementPanel::CHILD_STAFF);
    EXPECT_TRUE(kPanel.GetChild(CManagementPanel::CHILD_STAFF)->IsActive());
    EXPECT_FALSE(kPanel.GetChild(CManagementPanel::CHILD_FINANCE)->IsActive());
    Frame(600.0f, 400.0f, false);
    EXPECT_EQ(Tint(pkIcons->GetWidget(CManagementPanel::CHILD_STAFF)), NiColorRGBA(0.0f, 1.0f, 0.0f, 1.0f));
}

TEST_F(CInfoPanelTest, StaffTotalsAndPrisonerFiguresAreDrawnWhereThePagesPlaceThem)
{
    CPrisonStatistics& kStatistics = *Game().GetStatistics();
    kStatistics.GetStaffGroup(0)->m_usCount = 4;
    kStatistics.GetStaffGroup(2)->m_usCount = 2;
    kStatistics.GetStaffGroup(1)->m_usWages = 65535;
    kStatistics.GetStaffGroup(3)->m_usWages = 3;
    kStatistics.GetStaffGroup(3)->m_usServices = 9;
    const CPrisonStatistics::StaffGroup kTotals = CStaffSubPanel::Totals(kStatistics);
    EXPECT_EQ(kTotals.m_usCount, 6);
    EXPECT_EQ(kTotals.m_usWages, 2); // summed as 16-bit values
    EXPECT_EQ(kTotals.m_usServices, 9);

    CChildPanel& kStaff = *Management().GetChild(CManagementPanel::CHILD_STAFF);
    Locale().m_kDrawn.clear();
    kStaff.Draw();
    EXPECT_TRUE(Locale().Drew(At(kStaff, 95, 34, "4")));   // category 0
    EXPECT_TRUE(Locale().Drew(At(kStaff, 140, 52, "65535"))); // category 1's wages
    EXPECT_TRUE(Locale().Drew(At(kStaff, 208, 70, "9")));  // category 3 in the third row
    EXPECT_TRUE(Locale().Drew(At(kStaff, 95, 88, "2")));   // category 2 in the fourth row
    EXPECT_TRUE(Locale().Drew(At(kStaff, 95, 112, "6")));
    EXPECT_TRUE(Locale().Drew(At(kStaff, 140, 112, "2")));

    // No prisoners: the average sentence is "0", never a division.
    kStatistics.m_usPrisonersNow = 0;
    kStatistics.m_usSentenceTotal = 40;
    kStatistics.m_usEscapes = 3;
    CChildPanel& kPrisoners = *Management().GetChild(CManagementPanel::CHILD_PRISONERS);
    Locale().m_kDrawn.clear();
    kPrisoners.Draw();
    EXPECT_TRUE(Locale().Drew(At(kPrisoners, 68, 72, "0")));
    EXPECT_TRUE(Locale().Drew(At(kPrisoners, 198, 72, "3")));
    kStatistics.m_usPrisonersNow = 3;
    Locale().m_kDrawn.clear();
    kPrisoners.Draw();
    EXPECT_TRUE(Locale().Drew(At(kPrisoners, 68, 72, "13")));
    EXPECT_EQ(PerPrisonerText(40, 3, true), "40/13");
    EXPECT_EQ(PerPrisonerText(40, 0, true), "40");
    EXPECT_EQ(PerPrisonerText(-7, 2, false), "-3");
}

TEST_F(CInfoPanelTest, MoodTextsFollowMoodAndIntensity)
{
    EXPECT_EQ(CPopUpPanelCharacter::MoodTextEntry(0, 2, 100), 0);
    EXPECT_EQ(CPopUpPanelCharacter::MoodTextEntry(0, 0, 100), 2);
    EXPECT_EQ(CPopUpPanelCharacter::MoodTextEntry(1, 1, 100), 4);
    EXPECT_EQ(CPopUpPanelCharacter::MoodTextEntry(3, 2, 100), 9);
    EXPECT_EQ(CPopUpPanelCharacter::MoodTextEntry(4, 2, 0), 12);
    EXPECT_EQ(CPopUpPanelCharacter::MoodTextEntry(5, 0, 1), 13);
    EXPECT_EQ(CPopUpPanelCharacter::MoodTextEntry(5, 0, 0), 14);
    // A stored intensity past its range reads as a missing entry, not a wrap.
    EXPECT_LT(CPopUpPanelCharacter::MoodTextEntry(0, 65535, 100), 0);
}

TEST_F(CInfoPanelTest, AnInjuredPrisonerAtNoHealthShowsTheUrgentTextAndLeavesWithItsPopUp)
{
    CSpawnManager* pkSpawn = Game().GetSpawnManager();
    ASSERT_NE(pkSpawn, nullptr);
    CAIPrisoner* pkPrisoner = pkSpawn->CreateArrivingPrisoner();
    ASSERT_NE(pkPrisoner, nullptr);
    CCharacterStats& kStats = pkPrisoner->GetStats();
    kStats.m_uiMood = CPopUpPanelCharacter::MOOD_INJURED;
    kStats.m_usHealth = 0;
    kStats.m_uiGang = 2;
    kStats.m_usKnockdowns = 5;
    kStats.m_usWage = 7;

    Ui().ShowPopUp(CInterface::PANEL_PRISONER, pkPrisoner, nullptr);
    auto* pkPopUp = dynamic_cast<CPopUpPanelCharacter*>(Ui().GetPanel(CInterface::PANEL_PRISONER));
    ASSERT_NE(pkPopUp, nullptr);
    EXPECT_EQ(pkPopUp->GetSubject(), pkPrisoner);
    ASSERT_NE(pkPopUp->GetUrgentIcon(), nullptr);
    Locale().m_kDrawn.clear();
    pkPopUp->Draw();
    const std::int16_t sMoods = Locale().FindList("mood_text");
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 55, 216, Locale().GetEntryText(sMoods, 14))));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 168, 50, Locale().GetEntryText(Locale().FindList("jobtitles"), 4))));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 203, 142, Locale().GetEntryText(Locale().FindList("gang_text"), 2))));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 248, 162, "5")));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 188, 190, "7")));
    EXPECT_FALSE(pkPopUp->WasStaffShown());
    // A prisoner has no duty: the demo's pop-up has no such button, and a
    // press on its number changes nothing.
    EXPECT_EQ(pkPopUp->GetWidget(CPopUpPanelCharacter::WIDGET_DUTY), nullptr);
    pkPopUp->OnWidgetEvent(CPopUpPanelCharacter::WIDGET_DUTY, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_TRUE(Ui().IsCanvasOpen(pkPopUp, false));

    // Destroyed while shown: the pop-up closes and forgets it (ASan
    // watches the next frames).
    Game().GetGameCamera()->SetFollowTarget(pkPrisoner);
    CDynamicObjectManager::GetInstance()->DestroyObject(pkPrisoner, true);
    EXPECT_FALSE(Ui().IsCanvasOpen(pkPopUp, false));
    EXPECT_EQ(pkPopUp->GetSubject(), nullptr);
    pkPopUp->Draw();
    Frame(600.0f, 20.0f, false);
}

TEST_F(CInfoPanelTest, OnlyAnIdleGuardAnswersTheDutyButton)
{
    CAIStaff* pkGuard = HireGuard();
    ASSERT_NE(pkGuard, nullptr);
    CAIPrisoner* pkPrisoner = Game().GetSpawnManager()->CreateArrivingPrisoner();
    ASSERT_NE(pkPrisoner, nullptr);
    pkGuard->GetStats().m_usWage = 31;
    pkGuard->SetPartner(pkPrisoner);
    ASSERT_FALSE(pkGuard->IsIdle());

    Ui().ShowPopUp(CInterface::PANEL_STAFF, pkGuard, nullptr);
    auto* pkPopUp = dynamic_cast<CPopUpPanelCharacter*>(Ui().GetPanel(CInterface::PANEL_STAFF));
    ASSERT_NE(pkPopUp, nullptr);
    Locale().m_kDrawn.clear();
    pkPopUp->Draw();
    EXPECT_TRUE(pkPopUp->WasStaffShown());
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 188, 150, "31")));
    EXPECT_TRUE(std::none_of(Locale().m_kDrawn.begin(), Locale().m_kDrawn.end(),
                             [&](const std::string& kLine) { return kLine.find(",216 ") != std::string::npos; }));
    COrvaneWidget* pkDuty = pkPopUp->GetWidget(CPopUpPanelCharacter::WIDGET_DUTY);
    Click(*pkPopUp, CPopUpPanelCharacter::WIDGET_DUTY);
    EXPECT_EQ(Tint(pkDuty), NiColorRGBA(1.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(pkDuty->IsVisible());
    EXPECT_FALSE(pkGuard->IsRecallRequested());
    EXPECT_TRUE(Ui().IsCanvasOpen(pkPopUp, false));

    // Free again: white, and a click calls the guard back and closes.
    pkGuard->SetPartner(nullptr);
    Click(*pkPopUp, CPopUpPanelCharacter::WIDGET_DUTY);
    EXPECT_TRUE(pkGuard->IsRecallRequested());
    EXPECT_FALSE(Ui().IsCanvasOpen(pkPopUp, false));
}
TEST_F(CInfoPanelTest, ABuildingShowsItsFiguresFloorsAndDescriptionUntilItGoes)
{
    // A cell block from the build menu, placed in the yard.
    Click(*Ui().GetMainPanel(), CMainPanel::WIDGET_BUILD);
    CBuildPlacement* pkPlacement = CBuildPlacement::GetExisting();
    auto* pkBlock = dynamic_cast<CWorldObject*>(pkPlacement->GetObject());
    ASSERT_NE(pkBlock, nullptr);
    NiVec3 kAt;
    ASSERT_NE(CBlockGridManager::GetInstance()->FindGrid(1)->CellPosition(20 * 40 + 20, kAt, false), nullptr);
    Frame(600.0f, 300.0f, false);
    (void)CBlockGridManager::GetInstance()->PickCell(kAt);
    ASSERT_EQ(pkPlacement->Commit(), 1);

    Ui().ShowPopUp(CInterface::PANEL_BUILDING, pkBlock, nullptr);
    auto* pkPopUp = dynamic_cast<CPopUpPanelBuilding*>(Ui().GetPanel(CInterface::PANEL_BUILDING));
    ASSERT_NE(pkPopUp, nullptr);
    const CObjectRecord& kRecord = pkBlock->GetRecord();
    Locale().m_kDrawn.clear();
    pkPopUp->Draw();
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 64, 170, std::to_string(Game().GetClock().m_usYear + kRecord.m_ausSaved[0]))));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 64, 186, std::to_string(kRecord.m_usPrice))));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 64, 201, std::to_string(pkBlock->GetRows() * pkBlock->GetColumns()))));
    ASSERT_GT(pkBlock->GetFloors().size(), 1u);
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 64, 217, std::to_string(pkBlock->GetFloors().size()))));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 198, 216, std::to_string(kRecord.m_usAttraction) + "%")));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 190, 160, std::to_string(pkBlock->SumRoomOccupancy()))));
    EXPECT_TRUE(Locale().Drew("0 box " + std::to_string(static_cast<int>(pkPopUp->GetX()) + 148) + "," +
                              std::to_string(static_cast<int>(pkPopUp->GetY()) + 42) + " " +
                              Locale().GetEntryText(pkBlock->GetDescriptionList(), pkBlock->GetDescriptionEntry())));
    // Widget 3 does nothing; the close button closes.
    pkPopUp->OnWidgetEvent(CPopUpPanelBuilding::WIDGET_INERT, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_TRUE(Ui().IsCanvasOpen(pkPopUp, false));

    CDynamicObjectManager::GetInstance()->DestroyObject(pkBlock, true);
    EXPECT_FALSE(Ui().IsCanvasOpen(pkPopUp, false));
    EXPECT_EQ(pkPopUp->GetSubject(), nullptr);
    Frame(600.0f, 20.0f, false);
}
} // namespace

TEST_F(CInfoPanelTest, AStaffPostOfARoomShowsItsPersonUntilThePostIsGone)
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    COrvaneObjectDesc kDesc;
    kDesc.m_pkTemplate = pkManager->FindTemplate("admin_staff_security");
    ASSERT_NE(kDesc.m_pkTemplate, nullptr);
    kDesc.m_ucMode = 1;
    auto* pkOffice = dynamic_cast<CBaseObject*>(
        pkManager->CreateObject(pkManager->FindFactory("WorldObjectFactory", Game().GetWorld()), kDesc));
    ASSERT_NE(pkOffice, nullptr);
    ASSERT_EQ(pkOffice->GetPosts().size(), 3u);
    CStaffPost& kPost = *pkOffice->GetPosts()[1];
    kPost.m_usWage = 45;
    kPost.m_usWorkCount = 3;
    kPost.m_usAge = 52;

    Ui().ShowPopUp(CInterface::PANEL_STAFF, pkOffice, kPost.m_pkNode.get());
    auto* pkPopUp = dynamic_cast<CPopUpPanelCharacter*>(Ui().GetPanel(CInterface::PANEL_STAFF));
    ASSERT_NE(pkPopUp, nullptr);
    Locale().m_kDrawn.clear();
    pkPopUp->Draw();
    // The post's own record, its category as the job, staff figures.
    EXPECT_TRUE(pkPopUp->WasStaffShown());
    EXPECT_TRUE(Locale().Drew(
        At(*pkPopUp, 168, 50, Locale().GetEntryText(Locale().FindList("jobtitles"), kPost.GetCategory()))));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 218, 65, "52")));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 188, 150, "45")));
    EXPECT_TRUE(Locale().Drew(At(*pkPopUp, 248, 170, "3")));
    // A post is nobody to call on duty.
    Click(*pkPopUp, CPopUpPanelCharacter::WIDGET_DUTY);
    EXPECT_EQ(Tint(pkPopUp->GetWidget(CPopUpPanelCharacter::WIDGET_DUTY)), NiColorRGBA(1.0f, 0.0f, 0.0f, 1.0f));
    EXPECT_TRUE(Ui().IsCanvasOpen(pkPopUp, false));

    // A node that is none of the room's posts draws the bare panel.
    NiNodeAttachment kStranger;
    NiAVObjectPtr spStranger = new NiNode;
    kStranger.Set(spStranger);
    Ui().ShowPopUp(CInterface::PANEL_STAFF, pkOffice, &kStranger);
    Locale().m_kDrawn.clear();
    pkPopUp->Draw();
    EXPECT_TRUE(Locale().m_kDrawn.empty());

    // The room goes with the pop-up showing one of its posts.
    Ui().ShowPopUp(CInterface::PANEL_STAFF, pkOffice, kPost.m_pkNode.get());
    pkManager->DestroyObject(pkOffice, true);
    EXPECT_FALSE(Ui().IsCanvasOpen(pkPopUp, false));
    EXPECT_EQ(pkPopUp->GetSubject(), nullptr);
    EXPECT_EQ(pkPopUp->GetPostNode(), nullptr);
    pkPopUp->Draw();
    Frame(600.0f, 20.0f, false);
}

// The pointer comes onto the mood's square in one step, from far off, again
// and again: each time its word comes up after the delay beside the
// pointer, not where the pointer was before (the second time the same word
// was drawn there, far from the pop-up).
TEST_F(CInfoPanelTest, TheMoodsWordComesUpByAPointerThatArrivedInOneStep)
{
    CAIPrisoner* pkPrisoner = Game().GetSpawnManager()->CreateArrivingPrisoner();
    ASSERT_NE(pkPrisoner, nullptr);
    Ui().ShowPopUp(CInterface::PANEL_PRISONER, pkPrisoner, nullptr);
    const COrvaneCanvas* pkPopUp = Ui().GetPanel(CInterface::PANEL_PRISONER);
    ASSERT_NE(pkPopUp, nullptr);
    // The middle of the mood's square.
    const float fX = pkPopUp->GetX() + 37.0f;
    const float fY = pkPopUp->GetY() + 217.0f;
    constexpr float FRAME = 0.05f;
    const int iDelayFrames = static_cast<int>(CInterface::TOOLTIP_DELAY / FRAME + 0.5f);
    for (int iVisit = 0; iVisit < 3; ++iVisit)
    {
        SCOPED_TRACE(iVisit);
        for (int i = 0; i < 4; ++i)
        {
            Frame(900.0f, 20.0f, false, FRAME);
            Ui().Draw();
        }
        int iShownAt = -1;
        for (int i = 0; i < iDelayFrames + 4; ++i)
        {
            Frame(fX, fY, false, FRAME);
            Ui().Draw();
            if (iShownAt < 0 && Ui().GetTooltipDelay() <= 0.0f)
                iShownAt = i;
        }
        EXPECT_GE(iShownAt, iDelayFrames - 2);
        EXPECT_LE(iShownAt, iDelayFrames);
        EXPECT_EQ(Ui().GetTooltipX(), fX);
        EXPECT_EQ(Ui().GetTooltipY(), fY);
    }
}
