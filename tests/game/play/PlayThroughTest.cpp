// The game played end to end through its window's input on a copy of the
// demo data: launcher, front end, a prison built with the mouse, game days
// at speed 12 with the morning's parole desk, saves and loads through the
// options panel.

#include "tests/support/SanitizedBuild.h"
#include "tests/game/support/CPlayScript.h"

#include "framework/COrvaneObjectTemplate.h"
#include "engine/scene/NiScreenPolygon.h"
#include "framework/COrvaneImageTexture.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CConditions.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CGame.h"
#include "game/shell/CGameClock.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CDeskTopPanel.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CFloorChangePanel.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/CManagementPanel.h"
#include "game/shell/ui/CMessageHistoryPanel.h"
#include "game/shell/ui/COptionsPanel.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CFilePanel.h"
#include "tests/game/support/CHeadlessPrison.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "framework/COrvaneAICharacterController.h"
#include "game/simulation/characters/CAIStaff.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "engine/scene/NiNode.h"
#include "engine/scene/NiCamera.h"
#include "framework/COrvaneCamera.h"
#include "engine/scene/NiNodeAttachment.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <csignal>
#include <filesystem>

namespace
{
// Line 18 of a save: the total time the program ran.
constexpr std::size_t TOTAL_TIME_LINE = 17;

std::string Boxes(const CPlayScript& kScript)
{
    std::string kText;
    for (const CPlayScript::Box& kBox : kScript.Boxes())
        kText += kBox.m_kCaption + ": " + kBox.m_kText + "\n";
    return kText;
}

int Price(const CBaseObject& kObject)
{
    const COrvaneObjectTemplate* pkTemplate = kObject.GetTemplate();
    return pkTemplate != nullptr && pkTemplate->m_kParameters.size() > CBuildSubPanel::PARAMETER_PRICE
               ? std::atoi(pkTemplate->m_kParameters[CBuildSubPanel::PARAMETER_PRICE].c_str())
               : -1;
}

// The lines of a save, the total-time line left out: real frames pass
// between two saves of one moment.
std::vector<std::string> LinesButTotalTime(const std::string& kBytes)
{
    std::vector<std::string> kLines;
    std::size_t uiFrom = 0;
    while (uiFrom < kBytes.size())
    {
        const std::size_t uiEnd = kBytes.find("\r\n", uiFrom);
        kLines.push_back(kBytes.substr(uiFrom, uiEnd == std::string::npos ? std::string::npos : uiEnd - uiFrom));
        uiFrom = uiEnd == std::string::npos ? kBytes.size() : uiEnd + 2;
    }
    if (kLines.size() > TOTAL_TIME_LINE)
        kLines[TOTAL_TIME_LINE].clear();
    return kLines;
}

// Game days of the long run: ORVANE_PLAY_DAYS, else the build's own (a
// game day through the whole loop takes half a minute under the sanitizers).
int PlayDays()
{
    const char* pcDays = std::getenv("ORVANE_PLAY_DAYS");
    const int iDays = pcDays != nullptr ? std::atoi(pcDays) : 0;
    return iDays > 0 ? iDays : ORVANE_PLAY_DEFAULT_DAYS;
}

// Everyone where a load leaves them as they are. A person between floors or
// on the arrival road (walking a connector, or about to) is loaded standing
// at the connector or the road's end, out of its walk; one on a cell that
// cannot be walked, outside the place of the object it uses, is loaded
// moved off it (home, else the road's end). Their records hold no more, so
// a save of such a moment does not come back byte for byte.
bool NobodyInPassing()
{
    CDynamicObjectManager* pkManager = CDynamicObjectManager::GetInstance();
    const auto Passing = [](const COrvaneAICharacterController* pkController) {
        const std::string kName =
            pkController != nullptr && pkController->GetName() != nullptr ? pkController->GetName() : "";
        return kName == "connectorUse" || kName == "spawn";
    };
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkManager->GetObjectAt(i); ++i)
        if (auto* pkPerson = dynamic_cast<CGameCharacter*>(pkObject))
            if (Passing(pkPerson->GetActiveController()) || Passing(pkPerson->GetPendingController()) ||
                !pkPerson->StandsWhereALoadKeepsIt())
                return false;
    return true;
}

// Game days a quiet moment is looked for over, the first one's afternoon
// included.
constexpr int QUIET_SEARCH_DAYS = 4;

// Speed 1 until nobody is in passing, then the pause; the pause's click runs
// frames of its own, so the look is taken again once paused. True when
// paused so. Full from about the fifth day (24 people), the prison has four
// people in passing on average: an afternoon holds three or four quiet
// moments, a few frames to a hundred long, and now and then none at all.
// So the look goes on through the night (the speed buttons do not answer
// while the screen darkens; the morning's desk top is left as it comes)
// into the next days.
bool PauseWithNobodyInPassing(CPlayScript& kScript)
{
    if (!kScript.SetSpeedButton(1))
        return false;
    const CGame& kGame = kScript.Game();
    int iMornings = 0;
    // A game day at speed 1 is 28800 frames, less the night.
    for (int i = 0; i < 28800 * QUIET_SEARCH_DAYS; ++i)
    {
        CInterface* pkInterface = CInterface::Get();
        if (pkInterface != nullptr && pkInterface->IsDeskTopShown())
        {
            if (++iMornings >= QUIET_SEARCH_DAYS || !kScript.ClickDeskTop(CDeskTopPanel::WIDGET_LEAVE))
                return false;
        }
        else if (kGame.GetNightState() == CGame::NIGHT_NONE && NobodyInPassing())
        {
            if (!kScript.SetSpeedButton(0))
                return false;
            if (NobodyInPassing())
                return true;
            if (!kScript.SetSpeedButton(1))
                return false;
        }
        kScript.Frame();
    }
    return false;
}

// A loaded game saved again gives the same lines; the first few that
// differ are printed.
void ExpectReloaded(const char* pcWhat, const std::vector<std::string>& kAgain, const std::vector<std::string>& kSaved)
{
    int iDiffering = kAgain.size() == kSaved.size() ? 0 : 1;
    for (std::size_t i = 0; i < std::min(kAgain.size(), kSaved.size()); ++i)
        if (kAgain[i] != kSaved[i])
        {
            if (iDiffering++ < 6)
                std::printf("reload %s, line %zu: \"%s\" was \"%s\"\n", pcWhat, i + 1, kAgain[i].c_str(), kSaved[i].c_str());
        }
    EXPECT_EQ(iDiffering, 0) << pcWhat << ": " << kAgain.size() << " lines against " << kSaved.size();
}

class PlayThroughTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        // The device that shows nothing, unless the caller chose one.
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
    }
};

// Launcher Play, main menu 1, location 1: a free game on level 0; then the
// five buildings and a fence put down with the mouse through the grounds
// build panel. The money falls by their prices (after the cheat money).
TEST_F(PlayThroughTest, TheLauncherLeadsToAFreeGameWhereTheMouseBuildsThePrison)
{
    CPlayScript kScript(44);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    EXPECT_EQ(kScript.Game().GetLevelNumber(), 0u);
    const CPrisonStatistics& kLedger = *kScript.Game().GetStatistics();
    const int iPurchases = kLedger.m_iPurchases;
    const int iIncome = kLedger.m_iOtherIncome;
    ASSERT_TRUE(kScript.BuildGrounds()) << kScript.Why() << Boxes(kScript);
    ASSERT_EQ(kScript.m_kBuilt.size(), 5u);
    int iPrices = 500; // the fence
    for (const CWorldObject* pkBuilding : kScript.m_kBuilt)
    {
        EXPECT_TRUE(pkBuilding->IsPlaced());
        ASSERT_GT(Price(*pkBuilding), 0);
        iPrices += Price(*pkBuilding);
    }
    EXPECT_EQ(kLedger.m_iPurchases - iPurchases, iPrices);
    EXPECT_EQ(kLedger.m_iOtherIncome - iIncome, CPlayScript::CHEAT_PRESSES * 10000);
    std::printf("%s\n", kLedger.FormatLine().c_str());
    EXPECT_EQ(kScript.Game().GetGameSpeed(), 0.0f);
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);

    // A click on the administration building goes inside; there a right
    // click on each of its staff posts shows that post's person, and one
    // on the building beside them the building.
    CWorldObject& kOffice = *kScript.m_kBuilt[4];
    ASSERT_EQ(kOffice.GetPosts().size(), 3u);
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    const std::int32_t iMiddle = pkYard->CellAt(*kOffice.GetModelPosition());
    float fX = 0.0f;
    float fY = 0.0f;
    // The build page closed first: it holds the next fence.
    kScript.LeaveBuilding();
    ASSERT_TRUE(kScript.ProjectCell(*pkYard, iMiddle, fX, fY));
    kScript.Click(fX, fY);
    ASSERT_EQ(kScript.Game().GetSelectedBuilding(), &kOffice);
    // Key c steps the view round the building and then above it: on until
    // every post is in sight, on the screen and clear of the panels.
    auto PostPlate = [](const CStaffPost& kPost) {
        auto* pkHolder = NiDynamicCast<NiNode>(kPost.m_pkNode->GetObject());
        return pkHolder != nullptr ? pkHolder->GetAt(0) : nullptr;
    };
    auto PostsInSight = [&](const CBaseObject& kObject) {
        for (const std::unique_ptr<CStaffPost>& pkPost : kObject.GetPosts())
            if (PostPlate(*pkPost) == nullptr ||
                !kScript.ProjectPoint(PostPlate(*pkPost)->GetWorldBound().m_kCenter, fX, fY) ||
                CInterface::Get()->TakesPressAt(NiVec2(fX, fY), false))
                return false;
        return true;
    };
    for (int i = 0; i < 5 && !PostsInSight(kOffice); ++i)
        kScript.PressScanCode(0x2E);
    auto* pkStaffPopUp = dynamic_cast<CPopUpPanel*>(CInterface::Get()->GetPanel(CInterface::PANEL_STAFF));
    auto* pkBuildingPopUp = dynamic_cast<CPopUpPanel*>(CInterface::Get()->GetPanel(CInterface::PANEL_BUILDING));
    ASSERT_NE(pkStaffPopUp, nullptr);
    ASSERT_NE(pkBuildingPopUp, nullptr);
    for (const std::unique_ptr<CStaffPost>& pkPost : kOffice.GetPosts())
    {
        ASSERT_NE(PostPlate(*pkPost), nullptr);
        ASSERT_TRUE(kScript.ProjectPoint(PostPlate(*pkPost)->GetWorldBound().m_kCenter, fX, fY));
        kScript.Click(fX, fY, true);
        ASSERT_TRUE(CInterface::Get()->IsCanvasOpen(pkStaffPopUp, false));
        EXPECT_EQ(pkStaffPopUp->GetSubject(), &kOffice);
        ASSERT_NE(pkStaffPopUp->GetPostNode(), nullptr);
        EXPECT_EQ(kOffice.FindPost(*pkStaffPopUp->GetPostNode()), pkPost.get());
    }
    ASSERT_TRUE(kScript.ProjectCell(*pkYard, iMiddle, fX, fY));
    kScript.Click(fX, fY, true);
    EXPECT_FALSE(CInterface::Get()->IsCanvasOpen(pkStaffPopUp, false));
    ASSERT_TRUE(CInterface::Get()->IsCanvasOpen(pkBuildingPopUp, false));
    EXPECT_EQ(pkBuildingPopUp->GetSubject(), &kOffice);
    EXPECT_EQ(kScript.Game().GetSelectedBuilding(), &kOffice);

    // An execution room built inside (the one room of the demo prison with
    // posts; it needs the prison's level 2, x twice more for a score of
    // 300, and its price, m three times). The mouse finds the first object
    // met in the collision node's order, and the rooms put inside a building
    // hang there ahead of it: a right click on the room's posts shows the
    // post's staff pop-up for the room, not the building.
    kScript.PressScanCode(0x2D);
    kScript.PressScanCode(0x2D);
    kScript.AddCheatMoney(3);
    ASSERT_GE(kLedger.m_usPrisonLevel, 2);
    ASSERT_TRUE(kScript.BuildInside(kOffice, "execution_room")) << kScript.Why() << Boxes(kScript);
    CBaseObject* pkExecution = nullptr;
    CDynamicObjectManager* pkObjects = CDynamicObjectManager::GetInstance();
    const COrvaneObjectTemplate* pkExecutionPlan = pkObjects->FindTemplate("execution_room");
    ASSERT_NE(pkExecutionPlan, nullptr);
    for (std::uint32_t i = 0; COrvaneObject* pkObject = pkObjects->GetObjectAt(i); ++i)
        if (auto* pkRoom = dynamic_cast<CBaseObject*>(pkObject);
            pkRoom != nullptr && pkRoom->IsPlaced() && pkRoom->GetTemplate() == pkExecutionPlan)
            pkExecution = pkRoom;
    ASSERT_NE(pkExecution, nullptr);
    ASSERT_EQ(pkExecution->GetPosts().size(), 2u);
    // Space: the panels close, and the page's next room with them (a right
    // click while a room is held turns it).
    kScript.PressScanCode(0x39);
    ASSERT_FALSE(CBuildPlacement::GetExisting() != nullptr && CBuildPlacement::GetExisting()->IsPlacing());
    ASSERT_EQ(kScript.Game().GetSelectedBuilding(), &kOffice);
    for (int i = 0; i < 5 && !PostsInSight(*pkExecution); ++i)
        kScript.PressScanCode(0x2E);
    for (const std::unique_ptr<CStaffPost>& pkPost : pkExecution->GetPosts())
    {
        ASSERT_NE(PostPlate(*pkPost), nullptr);
        ASSERT_TRUE(kScript.ProjectPoint(PostPlate(*pkPost)->GetWorldBound().m_kCenter, fX, fY));
        kScript.Click(fX, fY, true);
        ASSERT_TRUE(CInterface::Get()->IsCanvasOpen(pkStaffPopUp, false));
        EXPECT_EQ(pkStaffPopUp->GetSubject(), pkExecution);
        ASSERT_NE(pkStaffPopUp->GetPostNode(), nullptr);
        EXPECT_EQ(pkExecution->FindPost(*pkStaffPopUp->GetPostNode()), pkPost.get());
        EXPECT_FALSE(CInterface::Get()->IsCanvasOpen(pkBuildingPopUp, false));
    }

    // One floor up, seen at a slant from a corner of the building (key c):
    // every cell of the upper floor on the screen is the one under the
    // cursor put over its centre (the building's ground the pick meets below
    // it lies elsewhere on the screen).
    CMainPanel* pkMain = CInterface::Get()->GetMainPanel();
    ASSERT_NE(pkMain, nullptr);
    ASSERT_NE(pkMain->GetFloorPanel(), nullptr);
    ASSERT_NE(kOffice.GetStack(), nullptr);
    const CBlockGrid* pkGround = kOffice.GetStack()->GetCurrentGrid();
    ASSERT_TRUE(kScript.ClickWidget(*pkMain->GetFloorPanel(), CFloorChangePanel::WIDGET_UP));
    const CBlockGrid* pkUpper = kOffice.GetStack()->GetCurrentGrid();
    ASSERT_NE(pkUpper, nullptr);
    ASSERT_NE(pkUpper, pkGround);
    ASSERT_GT(pkUpper->GetOrigin()->y, pkGround->GetOrigin()->y);
    const NiCamera* pkEye = kScript.Game().GetCamera()->GetEngineCamera();
    for (int i = 0; i < 6 && pkEye->GetWorldDirection().y < -0.95f; ++i)
        kScript.PressScanCode(0x2E);
    ASSERT_GT(pkEye->GetWorldDirection().y, -0.95f);
    int iSeen = 0;
    std::vector<std::int32_t> kMissed;
    for (std::int32_t iCell = 0; iCell < pkUpper->GetRows() * pkUpper->GetColumns(); ++iCell)
    {
        if (!kScript.ProjectCell(*pkUpper, iCell, fX, fY))
            continue;
        ++iSeen;
        if (!kScript.PointAtCell(*pkUpper, iCell))
            kMissed.push_back(iCell);
    }
    EXPECT_GE(iSeen, 4);
    EXPECT_TRUE(kMissed.empty()) << kMissed.size() << " of " << iSeen << " cells, the first " << kMissed.front();
}


// Damaged or foreign files in "maps" chosen for loading: a box names the
// file (and the line), the game goes on unchanged. A save over an existing
// one that fails (the disk full, the temporary file not writable): a box,
// the old save byte for byte as it was.
// The pointer comes from the world onto the main panel's Build or Options
// button and clicks within the same frame (a quick click, released in that
// frame or the next): the button acts, paused and running, and the world
// gets no click.
TEST_F(PlayThroughTest, AQuickClickFromTheWorldPressesTheMainPanelsButtons)
{
    CPlayScript kScript(5);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    CGame& kGame = kScript.Game();
    CInterface& kUi = *CInterface::Get();
    CMainPanel& kMain = *kUi.GetMainPanel();
    const COrvaneCanvas* pkOptions = kUi.GetPanel(CInterface::PANEL_OPTIONS);
    ASSERT_NE(pkOptions, nullptr);
    const auto Open = [&kUi](const COrvaneCanvas* pkCanvas) {
        return kUi.IsCanvasOpen(pkCanvas, false) || kUi.IsCanvasOpen(pkCanvas, true);
    };
    float fBuildX = 0.0f;
    float fBuildY = 0.0f;
    float fOptionsX = 0.0f;
    float fOptionsY = 0.0f;
    ASSERT_TRUE(CPlayScript::WidgetCentre(kMain, CMainPanel::WIDGET_BUILD, fBuildX, fBuildY));
    ASSERT_TRUE(CPlayScript::WidgetCentre(kMain, 3, fOptionsX, fOptionsY));
    // Open ground in the middle of the view, away from every panel.
    const float fWorldX = 512.0f;
    const float fWorldY = 300.0f;
    for (const int iSpeed : {0, 1})
    {
        for (const bool bHeld : {false, true})
        {
            SCOPED_TRACE(testing::Message() << "speed " << iSpeed << (bHeld ? " held" : " tap"));
            kScript.PressScanCode(0x39); // Space: every panel closed
            ASSERT_TRUE(kScript.SetSpeedButton(iSpeed)) << kScript.Why();
            ASSERT_FALSE(kUi.IsBuildPanelOpen());
            ASSERT_FALSE(Open(pkOptions));

            kScript.Tap(fWorldX, fWorldY, fOptionsX, fOptionsY, bHeld);
            EXPECT_TRUE(Open(pkOptions));
            EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);

            kScript.PressScanCode(0x39);
            ASSERT_TRUE(kScript.SetSpeedButton(iSpeed)) << kScript.Why();
            kScript.Tap(fWorldX, fWorldY, fBuildX, fBuildY, bHeld);
            EXPECT_TRUE(kUi.IsBuildPanelOpen());
            EXPECT_FALSE(Open(pkOptions));
            // The build panel pauses the game and keeps the speed to come back to.
            EXPECT_EQ(kGame.GetGameSpeed(), 0.0f);
            EXPECT_EQ(kGame.GetSavedSpeed(), static_cast<float>(iSpeed));
            kScript.Frame(3);
            EXPECT_TRUE(kUi.IsBuildPanelOpen());
        }
    }
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}

TEST_F(PlayThroughTest, BadFilesAndFailedSavesLeaveTheGameAndTheOldSave)
{
    CPlayScript kScript(7);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    ASSERT_TRUE(kScript.SaveAs("mine")) << kScript.Why() << Boxes(kScript);
    const std::string kMine = ReadFileBytes("maps/mine.fds");
    ASSERT_FALSE(kMine.empty());
    ASSERT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);

    // The game as it stands, saved: the reference for "unchanged".
    const auto Unchanged = [&kScript](const std::string& kName) {
        SCOPED_TRACE(kName);
        ASSERT_TRUE(kScript.Game().SaveGame("maps/check.fds"));
        EXPECT_EQ(LinesButTotalTime(ReadFileBytes("maps/check.fds")), LinesButTotalTime(ReadFileBytes("maps/mine.fds")));
    };
    const std::size_t uiObjects = kMine.find("<OBJECTS>\r\n");
    ASSERT_NE(uiObjects, std::string::npos);
    WriteFileBytes("maps/cut.fds", kMine.substr(0, uiObjects + 40));
    WriteFileBytes("maps/garbage.fds", std::string("\x89PNG\r\n\x1a\n\0\0garbage\xff\xfe", 20));
    std::filesystem::create_directories("maps/x.fds");
    const struct
    {
        const char* pcName;
        const char* pcBox;
    } akBad[] = {
        {"cut", "Could not load \"cut.fds\": the file is damaged (line "},
        {"garbage", "Could not load \"garbage.fds\": the file is damaged (line 1)."},
        {"x", "Could not load \"x.fds\""},
    };
    for (const auto& kBad : akBad)
    {
        SCOPED_TRACE(kBad.pcName);
        kScript.ClearBoxes();
        (void)kScript.LoadFrom(kBad.pcName);
        ASSERT_EQ(kScript.Boxes().size(), 1u) << kScript.Why() << Boxes(kScript);
        EXPECT_EQ(kScript.Boxes()[0].m_kText.rfind(kBad.pcBox, 0), 0u) << kScript.Boxes()[0].m_kText;
        EXPECT_EQ(kScript.Game().GetState(), CGame::STATE_IN_GAME);
        Unchanged(kBad.pcName);
    }

    // Over "mine": the disk fills after every byte count up to the new
    // file's size; then the temporary file cannot be made.
    kScript.ClearBoxes();
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit kLimit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kLimit), 0);
    for (const std::size_t uiBytes : {std::size_t{0}, std::size_t{1}, kMine.size() / 2, kMine.size() - 1})
    {
        SCOPED_TRACE(uiBytes);
        kScript.ClearBoxes();
        rlimit kSmall = kLimit;
        kSmall.rlim_cur = uiBytes;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kSmall), 0);
        const bool bSaved = kScript.SaveAs("mine");
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kLimit), 0);
        EXPECT_FALSE(bSaved && kScript.Boxes().empty());
        ASSERT_EQ(kScript.Boxes().size(), 1u) << kScript.Why() << Boxes(kScript);
        EXPECT_EQ(kScript.Boxes()[0].m_kText, "Could not save the game to maps/mine.fds.");
        EXPECT_EQ(ReadFileBytes(Folder() / "maps/mine.fds"), kMine);
        EXPECT_FALSE(std::filesystem::exists(Folder() / "maps/mine.fds.tmp"));
        // The panel stays for another try: closed by its close button.
        kScript.CloseFilePanel();
    }
    std::signal(SIGXFSZ, SIG_DFL);
    std::filesystem::create_directory("maps/mine.fds.tmp");
    kScript.ClearBoxes();
    (void)kScript.SaveAs("mine");
    ASSERT_EQ(kScript.Boxes().size(), 1u) << Boxes(kScript);
    kScript.CloseFilePanel();
    EXPECT_EQ(ReadFileBytes("maps/mine.fds"), kMine);
    Unchanged("after the failed saves");
    EXPECT_EQ(kScript.Game().GetState(), CGame::STATE_IN_GAME);
}
// Steps 1-3 of a first evening: the prison built and furnished with the
// mouse, the cheat code and speed 12, game days with the morning's parole
// desk (the first candidate granted on odd days), then from noon the first
// pause with nobody in passing, save "run1", load it, save "run2": the two
// agree but for the total-time line, and a save written right after the
// load equals "run1.fds" byte for byte. A copy of "run1.fds" cut inside its
// objects is refused with a box and changes nothing.
TEST_F(PlayThroughTest, ThePrisonRunsItsDaysAndSavesAndLoadsThroughTheOptions)
{
    const int iDays = PlayDays();
    CPlayScript kScript(40);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    CGame& kGame = kScript.Game();
    // A game year is LAST_DAY + 1 days, so a long run rolls the year over.
    const auto DaysPlayed = [&kGame] {
        const CGameClock& kClock = kGame.GetGameClock();
        return kClock.m_sYearOffset * (CGameClock::LAST_DAY + 1) + kClock.m_usDay;
    };
    const int iFirstDay = DaysPlayed();
    ASSERT_TRUE(kScript.BuildPrison()) << kScript.Why() << Boxes(kScript);
    // Each building was gone into by a click on it.
    EXPECT_EQ(kScript.m_iEnteredWithoutClick, 0);
    for (const std::string& kItem : kScript.m_kNotFitting)
        ADD_FAILURE() << "not put down: " << kItem;
    ASSERT_TRUE(kScript.EnterCheatCode()) << kScript.Why();
    const CPrisonStatistics& kLedger = *kGame.GetStatistics();
    const int iWages = kLedger.m_iWages;
    const int iAdmin = kLedger.m_iAdminCosts;
    int iGranted = 0;
    const auto kStarted = std::chrono::steady_clock::now();
    ASSERT_TRUE(kScript.RunDays(iDays, [&](int iDay) {
        if (iDay % 2 == 1 && kGame.GetSpawnManager() != nullptr && !kGame.GetSpawnManager()->GetParoleCandidates().empty())
        {
            const std::size_t uiBefore = kGame.GetSpawnManager()->GetParoleCandidates().size();
            if (kScript.ClickDeskTop(CDeskTopPanel::WIDGET_GRANT) &&
                kGame.GetSpawnManager()->GetParoleCandidates().size() < uiBefore)
                ++iGranted;
        }
    })) << kScript.Why() << Boxes(kScript);
    std::printf("%d game days through the window's input: %.1f s\n", iDays,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - kStarted).count());
    ASSERT_TRUE(kScript.RunUntilHour(12.0f)) << kScript.Why();
    // Before the pause: a busy afternoon's search for it may run on into
    // the next day.
    EXPECT_EQ(DaysPlayed(), iFirstDay + iDays);
    ASSERT_TRUE(PauseWithNobodyInPassing(kScript)) << kScript.Why();

    EXPECT_GT(kLedger.m_usPrisonersReceived, 0);
    // Guards, the repair room's maintenance worker and care staff.
    EXPECT_GT(kLedger.GetStaffGroup(0)->m_usCount, 0);
    EXPECT_GT(kLedger.GetStaffGroup(1)->m_usCount, 0);
    EXPECT_GT(kLedger.GetStaffGroup(2)->m_usCount, 0);
    std::printf("staff by category: %d %d %d %d\n", kLedger.GetStaffGroup(0)->m_usCount,
                kLedger.GetStaffGroup(1)->m_usCount, kLedger.GetStaffGroup(2)->m_usCount,
                kLedger.GetStaffGroup(3)->m_usCount);
    // The chapel hired its chaplain, counted with the care staff beside the
    // counsellors and the care posts of the buildings.
    int iChaplains = 0;
    int iCare = 0;
    for (std::uint32_t i = 0; COrvaneObject* pkObject = CDynamicObjectManager::GetInstance()->GetObjectAt(i); ++i)
    {
        if (const auto* pkSupport = dynamic_cast<const CAISupportStaff*>(pkObject); pkSupport && pkSupport->IsChaplain())
            ++iChaplains;
        if (const auto* pkStaff = dynamic_cast<const CAIStaff*>(pkObject);
            pkStaff && pkStaff->GetStaffCategory() == CAIStaff::CATEGORY_CARE)
            ++iCare;
        if (const auto* pkPlaced = dynamic_cast<const CBaseObject*>(pkObject))
            for (const std::unique_ptr<CStaffPost>& pkPost : pkPlaced->GetPosts())
                if (pkPost->GetCategory() == CStaffPost::SUPPORT)
                    ++iCare;
    }
    EXPECT_EQ(iChaplains, 1);
    EXPECT_EQ(kLedger.GetStaffGroup(CAIStaff::CATEGORY_CARE)->m_usCount, iCare);
    EXPECT_NE(kLedger.GetBalance(), 97500);
    EXPECT_GT(kLedger.m_iWages, iWages);
    EXPECT_GT(kLedger.m_iAdminCosts, iAdmin);
    std::printf("after %d days (%d parole granted): %s\n", iDays, iGranted, kLedger.FormatLine().c_str());
    // The hearing has candidates once ten prisoners are held: the cells
    // fill over the first few days.
    if (iDays >= 5)
    {
        EXPECT_GT(iGranted, 0);
    }
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);

    // Paused: save, load, save.
    ASSERT_TRUE(kScript.SaveAs("run1")) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.LoadFrom("run1")) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.SaveAs("run2")) << kScript.Why() << Boxes(kScript);
    const std::string kRun1 = ReadFileBytes("maps/run1.fds");
    const std::string kRun2 = ReadFileBytes("maps/run2.fds");
    ExpectReloaded("run2 against run1", LinesButTotalTime(kRun2), LinesButTotalTime(kRun1));
    ASSERT_TRUE(kGame.LoadGame("maps/run1.fds"));
    ASSERT_TRUE(kGame.SaveGame("maps/again.fds"));
    // No frame ran since the load: the total time is the saved one too.
    const std::string kAgain = ReadFileBytes("maps/again.fds");
    ExpectReloaded("a save after the load against run1", LinesButTotalTime(kAgain), LinesButTotalTime(kRun1));
    EXPECT_TRUE(kAgain == kRun1) << "a save after the load differs from run1 in its total-time line";

    // A copy cut inside its objects: the box, the game as it was.
    const std::size_t uiObjects = kRun1.find("<OBJECTS>\r\n");
    const std::size_t uiEnd = kRun1.find("</OBJECTS>");
    ASSERT_TRUE(uiObjects != std::string::npos && uiEnd != std::string::npos);
    WriteFileBytes("maps/cut.fds", kRun1.substr(0, (uiObjects + uiEnd) / 2));
    kScript.ClearBoxes();
    (void)kScript.LoadFrom("cut");
    ASSERT_EQ(kScript.Boxes().size(), 1u) << Boxes(kScript);
    EXPECT_EQ(kScript.Boxes()[0].m_kText.rfind("Could not load \"cut.fds\": the file is damaged (line ", 0), 0u);
    kScript.ClearBoxes();
    ASSERT_TRUE(kScript.SaveAs("run3")) << kScript.Why() << Boxes(kScript);
    ExpectReloaded("run3 against run2", LinesButTotalTime(ReadFileBytes("maps/run3.fds")), LinesButTotalTime(kRun2));

    // Ten frames on, saved, loaded and saved again: everyone comes back on
    // the floor it was saved on (a maintenance worker on a building's floor
    // once came back on the yard).
    ASSERT_TRUE(kScript.SetSpeedButton(1)) << kScript.Why();
    kScript.Frame(10);
    ASSERT_TRUE(PauseWithNobodyInPassing(kScript)) << kScript.Why();
    ASSERT_TRUE(kScript.SaveAs("seq1")) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.LoadFrom("seq1")) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.SaveAs("seq2")) << kScript.Why() << Boxes(kScript);
    ExpectReloaded("seq2 against seq1", LinesButTotalTime(ReadFileBytes("maps/seq2.fds")),
                 LinesButTotalTime(ReadFileBytes("maps/seq1.fds")));
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}

// The same seed gives the same game: the prison built and furnished with
// the mouse, the day's arrival at speed 12, then saved at the same frame, twice over on
// fresh copies of the demo data.
TEST_F(PlayThroughTest, TheSameSeedGivesTheSameSave)
{
    // The same game run twice and compared: sanitized, its code runs in the
    // suite's other tests.
    ORVANE_OPTIMISED_ONLY();
    std::string kFirst;
    for (int iRun = 0; iRun < 2; ++iRun)
    {
        SCOPED_TRACE(iRun);
        if (iRun == 1)
        {
            std::filesystem::remove_all("maps");
            std::filesystem::remove("config.bin");
            ASSERT_TRUE(CPlayScript::CopyDemoData(ORVANE_DEMO_DATA, Folder().string()));
        }
        CPlayScript kScript(40);
        ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
        ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
        ASSERT_TRUE(kScript.BuildPrison()) << kScript.Why() << Boxes(kScript);
        ASSERT_TRUE(kScript.EnterCheatCode()) << kScript.Why();
        ASSERT_TRUE(kScript.RunUntilHour(14.0f)) << kScript.Why();
        ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
        ASSERT_TRUE(kScript.SaveAs("run1")) << kScript.Why() << Boxes(kScript);
        const std::string kSaved = ReadFileBytes("maps/run1.fds");
        ASSERT_NE(kSaved.find("PrisonerFactory"), std::string::npos) << "nobody arrived";
        if (iRun == 0)
            kFirst = kSaved;
        else
            EXPECT_EQ(kSaved, kFirst);
    }
}

// Whether the renderer has taken the stamp's pictures since they were made
// (a screen polygon gets its vertex data on its first draw in a frame), and
// where its top-left pixel sits.
bool StampDrawn(const CFrontEndScenarioSelect& kScenarios, float& fX, float& fY)
{
    const COrvaneImage* pkStamp = kScenarios.GetStamp();
    if (pkStamp == nullptr || pkStamp->GetTexture().GetTiles().empty())
        return false;
    for (const COrvaneImageTexture::Tile& kTile : pkStamp->GetTexture().GetTiles())
        if (kTile.m_spPolygon->GetRendererData() == nullptr)
            return false;
    const NiVec3& kCorner = pkStamp->GetTexture().GetTiles().front().m_spPolygon->GetVertices()[0];
    const CGame* pkGame = CGame::Get();
    fX = kCorner.x * static_cast<float>(pkGame->GetScreenWidth()) + 0.5f;
    fY = (1.0f - kCorner.y) * static_cast<float>(pkGame->GetScreenHeight()) + 0.5f;
    return true;
}

// The demo scenario through the window's input: main menu 2, its start;
// at speed 12 the first game year ends within four game days and its goal
// holds; the result screen stops the game until Space leads back to the
// front end; "./config.bin" records the scenario complete, and the scenario
// screen, shown again, draws the stamp on its brief.
TEST_F(PlayThroughTest, TheDemoScenarioIsWonAndItsStampShows)
{
    CPlayScript kScript(4);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    const std::string kOpen = "<SCENARIO_STATES>\r\nOPEN\r\n</SCENARIO_STATES>\r\n";
    ASSERT_EQ(ReadFileBytes("config.bin"), kOpen);
    ASSERT_TRUE(kScript.OpenScenarios()) << kScript.Why();
    CGame& kGame = kScript.Game();
    const CFrontEndScenarioSelect* pkScenarios = kGame.GetFrontEndScreens()->GetScenarioPanel();
    ASSERT_EQ(pkScenarios->CurrentFile(), "scenarios/first_steps");
    kScript.Frame(2);
    float fX = 0.0f;
    float fY = 0.0f;
    EXPECT_FALSE(StampDrawn(*pkScenarios, fX, fY)) << "the stamp of a scenario not yet won";

    ASSERT_TRUE(kScript.StartScenario()) << kScript.Why() << Boxes(kScript);
    EXPECT_EQ(kGame.GetLevelNumber(), 0u);
    const CConditions& kConditions = *kGame.GetConditions();
    EXPECT_EQ(kConditions.GetScenario(), 0);
    ASSERT_EQ(kConditions.GetGoals().size(), 1u);
    EXPECT_EQ(*kConditions.GetGoals()[0], (CCondition{1, 1, 0}));
    ASSERT_EQ(kConditions.GetFailures().size(), 1u);
    EXPECT_EQ(*kConditions.GetFailures()[0], (CCondition{0, 0, 0}));
    EXPECT_FALSE(kGame.IsResultPending());
    // Started before 06:00, a level opens on the next morning.
    const int iStartDay = kGame.GetGameClock().m_usDay;
    EXPECT_EQ(iStartDay, 1);
    EXPECT_EQ(kGame.GetGameClock().m_sYearOffset, 0);
    ASSERT_TRUE(kScript.EnterCheatCode()) << kScript.Why();

    int iMornings = 0;
    ASSERT_TRUE(kScript.RunUntilResult(4, iMornings)) << kScript.Why() << Boxes(kScript);
    std::printf("the scenario's goal held after %d mornings\n", iMornings);
    // The morning after the year's last day, the fourth day on the clock.
    EXPECT_EQ(iMornings, CGameClock::LAST_DAY + 1 - iStartDay);
    EXPECT_EQ(kGame.GetGameClock().m_sYearOffset, 1);
    EXPECT_EQ(kGame.GetGameClock().m_usDay, 0);
    EXPECT_EQ(kConditions.TestGoal(), 1);
    EXPECT_EQ(kConditions.TestFailure(), CConditions::NO_RESULT);
    EXPECT_GT(kGame.GetStatistics()->GetBalance(), 0);
    EXPECT_EQ(ReadFileBytes("config.bin"), "<SCENARIO_STATES>\r\nCOMPLETE\r\n</SCENARIO_STATES>\r\n");
    // The result screen: the desk top gone, the game standing still.
    EXPECT_FALSE(CInterface::Get()->IsDeskTopShown());
    const float fMinutes = kGame.GetGameClock().m_fMinutes;
    kScript.Frame(20);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, fMinutes);
    EXPECT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);
    EXPECT_TRUE(kGame.IsResultPending());

    ASSERT_TRUE(kScript.LeaveResultScreen()) << kScript.Why();
    EXPECT_FALSE(kGame.IsResultPending());
    ASSERT_TRUE(kScript.OpenScenarios()) << kScript.Why();
    pkScenarios = kGame.GetFrontEndScreens()->GetScenarioPanel();
    EXPECT_TRUE(pkScenarios->IsCurrentComplete());
    kScript.Frame();
    ASSERT_TRUE(StampDrawn(*pkScenarios, fX, fY)) << "no stamp on the won scenario";
    const float fScaleX = static_cast<float>(kGame.GetScreenWidth()) / 1024.0f;
    const float fScaleY = static_cast<float>(kGame.GetScreenHeight()) / 768.0f;
    EXPECT_NEAR(fX, pkScenarios->GetStamp()->GetRect().m_fX + 100.0f * fScaleX, 0.01f);
    EXPECT_NEAR(fY, pkScenarios->GetStamp()->GetRect().m_fY + 450.0f * fScaleY, 0.01f);
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}
// Quick clicks: the pointer comes from the open ground onto a button and
// presses and lets go in the frame it arrives, on each panel the interface
// shows (the floor panel beside the main panel, the build and management
// panels' children, the options and file panels, the message history, the
// confirmation and the building's pop-up).
TEST_F(PlayThroughTest, AQuickClickPressesTheButtonsOfEveryPanel)
{
    CPlayScript kScript(8);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    CGame& kGame = kScript.Game();
    CInterface& kUi = *CInterface::Get();
    CMainPanel& kMain = *kUi.GetMainPanel();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    ASSERT_TRUE(kScript.EnterCheatCode(false)) << kScript.Why();
    kScript.AddCheatMoney(CPlayScript::CHEAT_PRESSES);
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    const CHeadlessPrison::Building& kPlan = CHeadlessPrison::PlayPrison().front();
    auto* pkBlock = dynamic_cast<CWorldObject*>(
        kScript.BuildOnYard(kPlan.m_pcTemplate, kPlan.m_iRow * pkYard->GetColumns() + kPlan.m_iColumn));
    ASSERT_NE(pkBlock, nullptr) << kScript.Why();
    kScript.LeaveBuilding();
    const auto Open = [&kUi](std::int16_t sPanel) {
        return kUi.IsCanvasOpen(kUi.GetPanel(sPanel), false) || kUi.IsCanvasOpen(kUi.GetPanel(sPanel), true);
    };
    // Open ground away from every panel, and the widget's middle.
    const float fWorldX = 512.0f;
    const float fWorldY = 300.0f;
    const auto Tap = [&](const COrvaneCanvas& kCanvas, std::int32_t iWidget) {
        float fX = 0.0f;
        float fY = 0.0f;
        if (!CPlayScript::WidgetCentre(kCanvas, iWidget, fX, fY))
            return false;
        kScript.Tap(fWorldX, fWorldY, fX, fY);
        return true;
    };

    // The floor panel, the first press after entering the building too.
    const NiVec3* pkAt = pkBlock->GetModelPosition();
    ASSERT_NE(pkAt, nullptr);
    float fBlockX = 0.0f;
    float fBlockY = 0.0f;
    ASSERT_TRUE(kScript.ProjectCell(*pkYard, pkYard->CellAt(*pkAt), fBlockX, fBlockY));
    kScript.Click(fBlockX, fBlockY);
    ASSERT_EQ(kGame.GetSelectedBuilding(), pkBlock);
    CFloorChangePanel& kFloors = *kMain.GetFloorPanel();
    // The view opens on the top floor below the roof.
    const std::int32_t iTop = pkBlock->GetCurrentFloor();
    ASSERT_GT(iTop, 0);
    ASSERT_TRUE(Tap(kFloors, CFloorChangePanel::WIDGET_DOWN));
    EXPECT_EQ(pkBlock->GetCurrentFloor(), iTop - 1) << "the first quick click after entering";
    ASSERT_TRUE(Tap(kFloors, CFloorChangePanel::WIDGET_UP));
    EXPECT_EQ(pkBlock->GetCurrentFloor(), iTop);
    const NiVec3 kBefore = kGame.GetCamera()->GetEngineCamera()->GetWorldLocation();
    ASSERT_TRUE(Tap(kFloors, CFloorChangePanel::WIDGET_NEXT_VIEW));
    const NiVec3 kAfter = kGame.GetCamera()->GetEngineCamera()->GetWorldLocation();
    EXPECT_NE(kAfter, kBefore) << "the next view";
    // The inside build panel's icon row (a child of the panel).
    ASSERT_TRUE(Tap(kMain, CMainPanel::WIDGET_BUILD));
    ASSERT_TRUE(kUi.IsBuildPanelOpen());
    CBuildPanel& kInside = *kUi.GetBuildPanel(true);
    ASSERT_NE(kInside.GetPage(), nullptr);
    ASSERT_GT(kInside.GetPage()->GetCategories().size(), 1u);
    const std::int32_t iCategory = kInside.GetPage()->GetCurrentCategory() == 0 ? 1 : 0;
    ASSERT_TRUE(Tap(*kInside.GetChild(0), iCategory + 1));
    EXPECT_EQ(kInside.GetPage()->GetCurrentCategory(), iCategory) << "the inside build panel's icons";
    ASSERT_TRUE(Tap(kInside, CBasePanel::WIDGET_CLOSE));
    EXPECT_FALSE(kUi.IsBuildPanelOpen());
    ASSERT_TRUE(Tap(kFloors, CFloorChangePanel::WIDGET_LEAVE));
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr) << "the floor panel's leave";
    kScript.PressScanCode(0x39);

    // The grounds build panel: icons, the page's arrow, the close button.
    ASSERT_TRUE(Tap(kMain, CMainPanel::WIDGET_BUILD));
    CBuildPanel& kOutside = *kUi.GetBuildPanel(false);
    ASSERT_TRUE(kUi.IsCanvasOpen(&kOutside, false));
    CBuildSubPanel& kPage = *kOutside.GetPage();
    const std::int32_t iOther = kPage.GetCurrentCategory() == 0 ? 1 : 0;
    ASSERT_TRUE(Tap(*kOutside.GetChild(0), iOther + 1));
    EXPECT_EQ(kPage.GetCurrentCategory(), iOther) << "the grounds build panel's icons";
    if (kPage.GetCategories()[static_cast<std::size_t>(iOther)].m_kItems.size() > 1)
    {
        const std::int32_t iItem = kPage.GetCurrentItemIndex();
        ASSERT_TRUE(Tap(kPage, iItem == 0 ? CBuildSubPanel::WIDGET_FORWARD : CBuildSubPanel::WIDGET_BACK));
        EXPECT_NE(kPage.GetCurrentItemIndex(), iItem) << "the page's arrow";
    }
    ASSERT_TRUE(Tap(kOutside, CBasePanel::WIDGET_CLOSE));
    EXPECT_FALSE(kUi.IsBuildPanelOpen()) << "the build panel's close";
    kScript.PressScanCode(0x39);

    // The management panel's icon row picks a page; its close.
    ASSERT_TRUE(Tap(kMain, CMainPanel::WIDGET_MANAGEMENT));
    ASSERT_TRUE(Open(CInterface::PANEL_MANAGEMENT));
    auto& kManagement = dynamic_cast<CManagementPanel&>(*kUi.GetPanel(CInterface::PANEL_MANAGEMENT));
    auto& kIcons = dynamic_cast<CManagementPanelIcons&>(*kManagement.GetChild(CManagementPanel::CHILD_ICONS));
    const std::int32_t iIcon = kIcons.GetSelected() == 2 ? 3 : 2;
    ASSERT_TRUE(Tap(kIcons, iIcon));
    EXPECT_EQ(kIcons.GetSelected(), iIcon) << "the management panel's icons";
    EXPECT_TRUE(kManagement.GetChild(iIcon)->IsActive());
    ASSERT_TRUE(Tap(kManagement, CBasePanel::WIDGET_CLOSE));
    EXPECT_FALSE(Open(CInterface::PANEL_MANAGEMENT)) << "the management panel's close";

    // Options, its load button, the load panel's close.
    ASSERT_TRUE(Tap(kMain, 3));
    ASSERT_TRUE(Open(CInterface::PANEL_OPTIONS));
    ASSERT_TRUE(Tap(*kUi.GetPanel(CInterface::PANEL_OPTIONS), COptionsPanel::WIDGET_LOAD));
    EXPECT_TRUE(Open(CInterface::PANEL_LOAD)) << "the options panel's load";
    ASSERT_TRUE(Tap(*kUi.GetPanel(CInterface::PANEL_LOAD), CFilePanel::WIDGET_CLOSE));
    EXPECT_FALSE(Open(CInterface::PANEL_LOAD)) << "the load panel's close";
    kScript.PressScanCode(0x39);

    // The message history's close.
    ASSERT_TRUE(Tap(kMain, CMainPanel::WIDGET_MESSAGES));
    ASSERT_TRUE(Open(CInterface::PANEL_MESSAGES));
    ASSERT_TRUE(Tap(*kUi.GetPanel(CInterface::PANEL_MESSAGES), CBasePanel::WIDGET_CLOSE));
    EXPECT_FALSE(Open(CInterface::PANEL_MESSAGES)) << "the message history's close";

    // The confirmation (Esc's question) answered no.
    kScript.PressScanCode(0x01);
    ASSERT_TRUE(kUi.IsConfirmationOpen());
    ASSERT_TRUE(Tap(*kUi.GetConfirmPanel(), CConfirmPanel::WIDGET_NO));
    EXPECT_FALSE(kUi.IsConfirmationOpen()) << "the confirmation's no";
    EXPECT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);

    // The building's pop-up, opened with the right button, and its close.
    kScript.Click(fBlockX, fBlockY, true);
    ASSERT_TRUE(Open(CInterface::PANEL_BUILDING));
    ASSERT_TRUE(Tap(*kUi.GetPanel(CInterface::PANEL_BUILDING), CBasePanel::WIDGET_CLOSE));
    EXPECT_FALSE(Open(CInterface::PANEL_BUILDING)) << "the pop-up's close";
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}

// The first click after a modal panel closes lands: the morning's desk top
// left at speed 1, a second waited while the morning fades in, the pause
// button; then the confirmation and the message history, closed by day.
TEST_F(PlayThroughTest, TheFirstClickAfterAModalPanelClosesLands)
{
    CPlayScript kScript(9);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    CGame& kGame = kScript.Game();
    CInterface& kUi = *CInterface::Get();
    CMainPanel& kMain = *kUi.GetMainPanel();
    ASSERT_TRUE(kScript.EnterCheatCode(true)) << kScript.Why();
    ASSERT_TRUE(kScript.RunUntilHour(21.9f)) << kScript.Why();
    ASSERT_TRUE(kScript.SetSpeedButton(1)) << kScript.Why();
    for (int i = 0; i < 4000 && !kUi.IsDeskTopShown(); ++i)
        kScript.Frame();
    ASSERT_TRUE(kUi.IsDeskTopShown());
    ASSERT_TRUE(kScript.ClickDeskTop(CDeskTopPanel::WIDGET_LEAVE)) << kScript.Why();
    ASSERT_FALSE(kUi.IsDeskTopShown());
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f);
    kScript.Frame(20);
    ASSERT_TRUE(kScript.ClickWidget(kMain, CMainPanel::WIDGET_SPEED_0));
    EXPECT_EQ(kGame.GetGameSpeed(), 0.0f) << "the first click after the desk top";
    EXPECT_TRUE(kMain.GetWidget(CMainPanel::WIDGET_SPEED_0)->IsVisible()) << "the pause button lit";
    // Paused, the morning's fade stands; at speed 1 it ends.
    ASSERT_TRUE(kScript.SetSpeedButton(1)) << kScript.Why();
    for (int i = 0; i < 400 && kGame.GetNightState() != CGame::NIGHT_NONE; ++i)
        kScript.Frame();
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_NONE);

    // By day: Esc's question answered no, then the pause; the message
    // history closed, then speed 1.
    kScript.PressScanCode(0x01);
    ASSERT_TRUE(kUi.IsConfirmationOpen());
    ASSERT_TRUE(kScript.ClickWidget(*kUi.GetConfirmPanel(), CConfirmPanel::WIDGET_NO));
    ASSERT_FALSE(kUi.IsConfirmationOpen());
    ASSERT_TRUE(kScript.ClickWidget(kMain, CMainPanel::WIDGET_SPEED_0));
    EXPECT_EQ(kGame.GetGameSpeed(), 0.0f) << "the first click after the confirmation";
    ASSERT_TRUE(kScript.ClickWidget(kMain, CMainPanel::WIDGET_MESSAGES));
    COrvaneCanvas& kMessages = *kUi.GetPanel(CInterface::PANEL_MESSAGES);
    ASSERT_TRUE(kUi.IsCanvasOpen(&kMessages, true));
    ASSERT_TRUE(kScript.ClickWidget(kMessages, CBasePanel::WIDGET_CLOSE));
    ASSERT_FALSE(kUi.IsCanvasOpen(&kMessages, true));
    ASSERT_TRUE(kScript.ClickWidget(kMain, CMainPanel::WIDGET_SPEED_0 + 1));
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f) << "the first click after the message history";
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}

// The pointer comes to a spot in one step, as a touchpad's jump or a remote
// desktop sends it: a press in that same frame acts on what lies under the
// pointer there, not on what lay under its old place, whatever the speed.
TEST_F(PlayThroughTest, AOnePointerStepPressesWhatIsUnderItThen)
{
    CPlayScript kScript(17);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
    CGame& kGame = kScript.Game();
    CInterface& kUi = *CInterface::Get();
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    const std::int32_t iColumns = pkYard->GetColumns();
    const CHeadlessPrison::Building& kFirst = CHeadlessPrison::PlayPrison().front();
    auto* pkBlock = dynamic_cast<CWorldObject*>(
        kScript.BuildOnYard(kFirst.m_pcTemplate, kFirst.m_iRow * iColumns + kFirst.m_iColumn));
    ASSERT_NE(pkBlock, nullptr) << kScript.Why();
    kScript.LeaveBuilding();
    const NiVec3* pkAt = pkBlock->GetModelPosition();
    ASSERT_NE(pkAt, nullptr);
    const std::int32_t iCell = pkYard->CellAt(*pkAt);
    float fBlockX = 0.0f, fBlockY = 0.0f, fOpenX = 0.0f, fOpenY = 0.0f;
    ASSERT_TRUE(kScript.ProjectCell(*pkYard, iCell, fBlockX, fBlockY));
    // Open yard a block's width and more away, where the pointer resting
    // picks no part of the block (its upper floor may stand in the way).
    bool bOpen = false;
    for (const std::int32_t iOff : {-12 * iColumns, 12 * iColumns, -12, 12})
    {
        if (bOpen || !kScript.ProjectCell(*pkYard, iCell + iOff, fOpenX, fOpenY))
            continue;
        kScript.MoveTo(fOpenX, fOpenY);
        kScript.Frame();
        bOpen = kGame.GetPickedObject() != pkBlock;
    }
    ASSERT_TRUE(bOpen);
    for (const int iSpeed : {0, 1})
    {
        for (const bool bHeld : {false, true})
        {
            SCOPED_TRACE(testing::Message() << "speed " << iSpeed << (bHeld ? " held" : " tap"));
            ASSERT_TRUE(kScript.SetSpeedButton(iSpeed)) << kScript.Why();
            kScript.Tap(fOpenX, fOpenY, fBlockX, fBlockY, bHeld);
            EXPECT_EQ(kGame.GetSelectedBuilding(), pkBlock);
            if (kGame.GetSelectedBuilding() != nullptr)
            {
                ASSERT_TRUE(kScript.ClickWidget(*kUi.GetMainPanel()->GetFloorPanel(), CFloorChangePanel::WIDGET_LEAVE));
            }
            ASSERT_EQ(kGame.GetSelectedBuilding(), nullptr);
            // The open ground from the block: nothing is entered.
            kScript.Tap(fBlockX, fBlockY, fOpenX, fOpenY, bHeld);
            EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
        }
    }
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}

// Every new start opens on day 1 and turns the year at its third morning,
// the first start of the process or a later one, free or the scenario:
// the scenario left at its first morning and again in its first night's
// fade, then played to its result, a free game, the scenario once more.
TEST_F(PlayThroughTest, EveryNewStartTurnsTheYearAtItsThirdMorning)
{
    CPlayScript kScript(10);
    ASSERT_TRUE(kScript.Start()) << kScript.Why() << Boxes(kScript);
    CGame& kGame = kScript.Game();
    // "day/year offset" of the clock.
    const auto Clock = [&kGame] {
        const CGameClock& kClock = kGame.GetGameClock();
        return std::to_string(kClock.m_usDay) + "/" + std::to_string(kClock.m_sYearOffset);
    };
    // The clock at the start and at each of the next three mornings' desk top.
    const auto Mornings = [&]() {
        std::vector<std::string> kSeen{Clock()};
        for (int i = 0; i < 4000 * 4 && kSeen.size() < 4 && !kGame.IsResultPending(); ++i)
        {
            kScript.Frame();
            CInterface* pkInterface = CInterface::Get();
            if (pkInterface == nullptr || !pkInterface->IsDeskTopShown())
                continue;
            kSeen.push_back(Clock());
            // The result, when it comes, takes the desk top away in its frame.
            kScript.Frame();
            if (pkInterface->IsDeskTopShown())
                (void)kScript.ClickDeskTop(CDeskTopPanel::WIDGET_LEAVE);
        }
        return kSeen;
    };
    // Back at the main menu: Space on a result, else Esc and yes.
    const auto Leave = [&]() {
        if (kGame.IsResultPending())
            return kScript.LeaveResultScreen();
        kScript.PressScanCode(0x01);
        CInterface* pkInterface = CInterface::Get();
        if (pkInterface != nullptr && pkInterface->IsConfirmationOpen())
            (void)kScript.ClickWidget(*pkInterface->GetConfirmPanel(), CConfirmPanel::WIDGET_YES);
        kScript.Frame(2);
        return kGame.GetState() == CGame::STATE_FRONT_END;
    };
    const std::vector<std::string> kExpected{"1/0", "2/0", "3/0", "0/1"};
    int iRun = 0;
    for (const bool bScenario : {true, true, true, false, true})
    {
        ++iRun;
        SCOPED_TRACE(testing::Message() << "start " << iRun << (bScenario ? ", the scenario" : ", a free game"));
        if (bScenario)
        {
            ASSERT_TRUE(kScript.OpenScenarios()) << kScript.Why();
            ASSERT_TRUE(kScript.StartScenario()) << kScript.Why() << Boxes(kScript);
        }
        else
        {
            ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why() << Boxes(kScript);
        }
        EXPECT_EQ(Clock(), kExpected.front());
        EXPECT_EQ(kGame.GetGameClock().GetShownYear(), 2005);
        ASSERT_TRUE(kScript.EnterCheatCode(true)) << kScript.Why();
        if (iRun <= 2)
        {
            for (int i = 0; i < 8000 && !(iRun == 1 ? CInterface::Get()->IsDeskTopShown()
                                                     : kGame.GetNightState() == CGame::NIGHT_FADING_OUT);
                 ++i)
                kScript.Frame();
            ASSERT_TRUE(Leave()) << kScript.Why();
            continue;
        }
        EXPECT_EQ(Mornings(), kExpected);
        ASSERT_TRUE(Leave()) << kScript.Why();
    }
    EXPECT_TRUE(kScript.Boxes().empty()) << Boxes(kScript);
}

} // namespace
