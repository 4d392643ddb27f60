#include "game/shell/CGame.h"

#include "engine/scene/NiNode.h"
#include "engine/scene/NiNodeAttachment.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneMouse.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CConditions.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CMouse.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/ui/CBuildPlacement.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "game/simulation/characters/CGameCharacter.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "game/simulation/objects/CWorldObject.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsFiles.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/shell/GameTestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
const char* const SETTINGS = "<Game_Data>\r\n<Game_type>\r\nNormal\r\n<Normal>\r\n0\r\n</Normal>\r\n</Game_type>\r\n"
                             "</Game_Data>\r\n<Level_Data>\r\n<0>\r\n</0>\r\n</Level_Data>\r\n";

// A game whose mouse points at what the test says.
class PickedGame : public CGame
{
public:
    COrvaneObject* m_pkPicked = nullptr;
    const NiNodeAttachment* m_pkPost = nullptr;
    COrvaneObject* GetPickedObject() const override { return m_pkPicked; }
    const NiNodeAttachment* GetPickedPost() const override { return m_pkPost; }
};

// A building of a type, placed or not, outside any registry.
class TestBuilding : public CWorldObject
{
public:
    TestBuilding(const char* pcType, bool bPlaced)
    {
        m_kStringParameter = pcType;
        m_ucPlaced = bPlaced ? 1 : 0;
    }
};

// A thing that is no building.
class TestThing : public CBaseObject
{
};

// A character standing nowhere, outside any registry.
class TestPrisoner : public CGameCharacter
{
};

class CGameInputTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        WriteFileBytes("setup.xml", SETTINGS);
        WriteFileBytes("cursor.tga", TinyTgaBytes());
        COrvaneApplication::LoadSettings();
    }
    void TearDown() override
    {
        os::ResetMessageBoxHook();
        COrvaneApplication::ResetSettings();
        CGame::ResetStatics();
        EngineFrameworkTest::TearDown();
    }

    // Started headless and moved into the (empty) level 0.
    static void EnterLevel(CGame& kGame)
    {
        ASSERT_TRUE(kGame.Init("Orvane Game"));
        ASSERT_TRUE(kGame.Start());
        kGame.GetFrontEndScreens()->m_bStartNewGame = true;
        kGame.Update(0.001f);
        kGame.Update(0.02f);
        ASSERT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);
        ASSERT_FALSE(kGame.IsInputBlocked());
    }

    static void Press(CGame& kGame, std::uint32_t uiKey)
    {
        COrvaneKeyEvent kEvent;
        kEvent.m_uiKeyCode = uiKey;
        (void)kGame.OnKey(kEvent);
    }
    static void Type(CGame& kGame, const std::string& kText)
    {
        for (char c : kText)
            Press(kGame, static_cast<unsigned char>(c));
    }
    // A left press at `kPoint`, the pointer not yet seen over a panel; true
    // when the world took it: a press the world takes is released at once,
    // the panel's is left alone.
    static bool PressAt(CGame& kGame, const NiVec2& kPoint)
    {
        COrvaneMouse* pkMouse = kGame.GetMouse();
        pkMouse->ClearMovement();
        pkMouse->ClearMovement();
        pkMouse->SetOverInterface(false);
        pkMouse->SetPosition(kPoint);
        (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
        return pkMouse->GetLeft() == COrvaneMouse::BUTTON_IDLE;
    }
};
} // namespace

TEST_F(CGameInputTest, TheCodeIsTypedAfterEnterAndAWrongLetterCancelsIt)
{
    CGame kGame;
    EnterLevel(kGame);

    // Letters without Enter are ordinary keys.
    Type(kGame, "copperkites");
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_IDLE);

    // Any piece of the code keeps the entry open; a letter that leaves the
    // code ends it with nothing kept.
    Press(kGame, COrvaneKeys::KEY_ENTER);
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_TYPING);
    Type(kGame, "kite");
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_TYPING);
    EXPECT_EQ(kGame.GetTypedCode(), "kite");
    Press(kGame, 'x');
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_IDLE);
    EXPECT_EQ(kGame.GetTypedCode(), "");

    // While typing, keys do nothing else: "0" does not pause.
    Press(kGame, COrvaneKeys::KEY_ENTER);
    Type(kGame, "cop0");
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f);
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_IDLE);

    Press(kGame, COrvaneKeys::KEY_ENTER);
    Type(kGame, "copperkites");
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_CHEATS);

    // Cheat mode stays: Enter, other keys and the way back to the front end keep it.
    Press(kGame, COrvaneKeys::KEY_ENTER);
    Press(kGame, 'q');
    kGame.ResetGame();
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_CHEATS);
}

TEST_F(CGameInputTest, SpeedKeysActAtOnceAndCheatKeysOnlyInCheatMode)
{
    CGame kGame;
    EnterLevel(kGame);
    Press(kGame, '0');
    EXPECT_EQ(kGame.GetGameSpeed(), 0.0f);
    Press(kGame, '3');
    EXPECT_EQ(kGame.GetGameSpeed(), 3.0f);
    Press(kGame, '2');
    EXPECT_EQ(kGame.GetGameSpeed(), 2.0f);
    Press(kGame, '1');
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f);

    ASSERT_NE(kGame.GetStatistics(), nullptr);
    const std::int32_t iIncome = kGame.GetStatistics()->m_iOtherIncome;
    const std::int32_t iScore = kGame.GetStatistics()->m_iScore;
    for (std::uint32_t uiKey : {std::uint32_t{'4'}, std::uint32_t{'m'}, std::uint32_t{'x'}, COrvaneKeys::KEY_F1})
        Press(kGame, uiKey);
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f);
    EXPECT_EQ(kGame.GetStatistics()->m_iOtherIncome, iIncome);
    EXPECT_EQ(kGame.GetStatistics()->m_iScore, iScore);

    Press(kGame, COrvaneKeys::KEY_ENTER);
    Type(kGame, CGame::CHEAT_CODE);
    const std::vector<std::pair<std::uint32_t, float>> kSpeeds{{'4', 6.0f}, {'5', 9.0f}, {'6', 12.0f}, {'`', 0.5f},
                                                               {'0', 0.0f}};
    for (const auto& [uiKey, fSpeed] : kSpeeds)
    {
        Press(kGame, uiKey);
        EXPECT_EQ(kGame.GetGameSpeed(), fSpeed) << uiKey;
    }
    Press(kGame, 'm');
    EXPECT_EQ(kGame.GetStatistics()->m_iOtherIncome, iIncome + 10000);
    Press(kGame, 'x');
    EXPECT_EQ(kGame.GetStatistics()->m_iScore, iScore + 100);

    // The upgrade keys only raise the level.
    ASSERT_NE(kGame.GetWorld(), nullptr);
    Press(kGame, COrvaneKeys::KEY_F1 + 1);
    EXPECT_EQ(kGame.GetWorld()->GetUpgradeLevel(), 2);
    Press(kGame, COrvaneKeys::KEY_F1);
    EXPECT_EQ(kGame.GetWorld()->GetUpgradeLevel(), 2);
    Press(kGame, COrvaneKeys::KEY_F1 + 2);
    EXPECT_EQ(kGame.GetWorld()->GetUpgradeLevel(), 3);
}

TEST_F(CGameInputTest, SpaceClosesThePanelsAndEscapeAsksBeforeLeaving)
{
    CGame kGame;
    EnterLevel(kGame);
    CInterface::Get()->ShowPanel(CInterface::PANEL_MANAGEMENT, false);
    ASSERT_TRUE(CInterface::Get()->IsCanvasOpen(CInterface::Get()->GetPanel(CInterface::PANEL_MANAGEMENT), false));
    Press(kGame, ' ');
    EXPECT_FALSE(CInterface::Get()->IsCanvasOpen(CInterface::Get()->GetPanel(CInterface::PANEL_MANAGEMENT), false));

    Press(kGame, COrvaneKeys::KEY_ESCAPE);
    ASSERT_TRUE(CInterface::Get()->IsConfirmationOpen());
    EXPECT_EQ(CInterface::Get()->GetConfirmPanel()->GetQuestion(), 2);
    EXPECT_TRUE(CInterface::Get()->AnswerConfirmation(false));
    EXPECT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);

    Press(kGame, COrvaneKeys::KEY_ESCAPE);
    EXPECT_TRUE(CInterface::Get()->AnswerConfirmation(true));
    EXPECT_EQ(kGame.GetState(), CGame::STATE_FRONT_END);
    EXPECT_FALSE(CInterface::Get()->AnswerConfirmation(true)); // nothing asked
}

TEST_F(CGameInputTest, APendingResultLetsOnlySpaceOrEscapeLeave)
{
    CGame kGame;
    EnterLevel(kGame);
    kGame.GetConditions()->SetResults(0, CConditions::NO_RESULT);
    Press(kGame, '0');
    Press(kGame, COrvaneKeys::KEY_ENTER);
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f);
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_IDLE);
    EXPECT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);
    Press(kGame, ' ');
    EXPECT_EQ(kGame.GetState(), CGame::STATE_FRONT_END);

    kGame.GetFrontEndScreens()->m_bStartNewGame = true;
    kGame.Update(0.02f);
    kGame.Update(0.02f);
    ASSERT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);
    kGame.GetConditions()->SetResults(CConditions::NO_RESULT, 1);
    Press(kGame, COrvaneKeys::KEY_ESCAPE);
    EXPECT_EQ(kGame.GetState(), CGame::STATE_FRONT_END);
    EXPECT_FALSE(CInterface::Get()->IsConfirmationOpen());
}

// Keys typed and a Ctrl drag made while a frame does not go through (a
// result on the screen, a state that is neither front end nor game) end
// with that frame: the next frame that goes through sees none of them.
TEST_F(CGameInputTest, KeysAndTurnsMadeWhileFramesStandStillReachNoLaterFrame)
{
    CGame kGame;
    EnterLevel(kGame);
    auto* pkCamera = dynamic_cast<CZelmarCamera*>(kGame.GetCamera());
    ASSERT_NE(pkCamera, nullptr);
    COrvaneKeyboard* pkKeyboard = kGame.GetKeyboard();
    // Keys pressed and let go, and a turn dragged, in one frame.
    const auto KeysAndDrag = [&]() {
        for (const char c : {'k', 'j', 'h'})
        {
            COrvaneKeyEvent kEvent;
            kEvent.m_uiKeyCode = static_cast<std::uint32_t>(c);
            kEvent.m_ucCharacter = static_cast<std::uint8_t>(c);
            pkKeyboard->OnKeyDown(kEvent);
            pkKeyboard->OnKeyUp(kEvent);
        }
        // The turning moves' sum, as the game's mouse keeps it.
        pkCamera->m_uiMode = COrvaneCamera::MODE_TURNING;
        pkCamera->m_kTurn = pkCamera->m_kTurn + NiVec3(30.0f, 60.0f, 0.0f) * CZelmarMouse::TURN_PER_PIXEL;
        ASSERT_EQ(kGame.GetFrameKeys().GetEvents().size(), 3u);
        ASSERT_FALSE(pkCamera->m_kTurn == NiVec3());
    };
    const auto ExpectNothingLeft = [&]() {
        EXPECT_TRUE(kGame.GetFrameKeys().GetEvents().empty());
        EXPECT_EQ(kGame.GetLastKeyEvent().m_uiKeyCode, 0u);
        EXPECT_EQ(pkCamera->m_kTurn, NiVec3());
    };

    kGame.GetConditions()->SetResults(0, CConditions::NO_RESULT);
    const float fYaw = pkCamera->GetAngleB();
    const float fPitch = pkCamera->GetAngleA();
    KeysAndDrag();
    kGame.Update(0.02f);
    ExpectNothingLeft();
    // The result goes (as a loaded game's would): the game's next frame
    // turns nothing, the drag held the turn mode alone.
    kGame.GetConditions()->SetResults(CConditions::NO_RESULT, CConditions::NO_RESULT);
    kGame.Update(0.02f);
    EXPECT_EQ(pkCamera->m_uiMode, COrvaneCamera::MODE_TURNING);
    EXPECT_EQ(pkCamera->GetAngleB(), fYaw);
    EXPECT_EQ(pkCamera->GetAngleA(), fPitch);

    kGame.SetState(CGame::STATE_NONE);
    KeysAndDrag();
    kGame.Update(0.02f);
    ExpectNothingLeft();
    kGame.SetState(CGame::STATE_IN_GAME);
    kGame.Update(0.02f);
    EXPECT_EQ(pkCamera->GetAngleB(), fYaw);

    // Leaving a result by its key: the front end's first frame gets none of
    // what came with the result, nor the turn.
    kGame.GetConditions()->SetResults(CConditions::NO_RESULT, 1);
    KeysAndDrag();
    kGame.Update(0.02f);
    ExpectNothingLeft();
    KeysAndDrag();
    Press(kGame, ' ');
    ASSERT_EQ(kGame.GetState(), CGame::STATE_FRONT_END);
    kGame.GetFrontEndScreens()->m_bStartNewGame = false;
    kGame.Update(0.02f);
    ExpectNothingLeft();
}

TEST_F(CGameInputTest, TheFrontEndBlocksTheKeysAndKeyUpIsRecorded)
{
    CGame kGame;
    ASSERT_TRUE(kGame.Init("Orvane Game"));
    ASSERT_TRUE(kGame.Start());
    kGame.GetFrontEndScreens()->m_bStartNewGame = false;
    kGame.Update(0.001f);
    ASSERT_TRUE(kGame.IsInputBlocked());
    Press(kGame, '0');
    Press(kGame, COrvaneKeys::KEY_ENTER);
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f);
    EXPECT_EQ(kGame.GetCodeEntry(), CGame::CODE_IDLE);

    COrvaneKeyEvent kUp;
    kUp.m_ucCtrl = 1;
    kUp.m_ucShift = 1;
    kUp.m_uiKeyCode = 'k';
    kUp.m_ucCharacter = 'K';
    EXPECT_EQ(kGame.OnKeyUp(kUp), 1);
    EXPECT_EQ(kGame.GetLastKeyEvent().m_uiKeyCode, static_cast<std::uint32_t>('k'));
    EXPECT_EQ(kGame.GetLastKeyEvent().m_uiFirst, 1u);
    EXPECT_EQ(kGame.GetLastKeyEvent().m_uiSecond, 1u);
    EXPECT_EQ(kGame.GetLastKeyEvent().m_uiFourth, static_cast<std::uint32_t>('K'));
}

TEST_F(CGameInputTest, ALeftClickInALevelIsReleasedAtOnceAndEndsTheArrivalView)
{
    CGame kGame;
    EXPECT_EQ(kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN), 0); // not started
    EnterLevel(kGame);
    auto* pkMouse = dynamic_cast<CMouse*>(kGame.GetMouse());
    ASSERT_NE(pkMouse, nullptr);
    ASSERT_NE(kGame.GetSpawnManager(), nullptr);
    // Where the level's start view puts the camera.
    COrvaneCamera* pkCamera = kGame.GetCamera();
    ASSERT_NE(pkCamera, nullptr);
    kGame.GetSpawnManager()->ResetCameraView(true);
    const NiVec3 kStartView = pkCamera->GetWorldPosition();
    // Behind the arrival vehicle, following it.
    const NiVec3 kBehindTheVan(kStartView.x + 300.0f, kStartView.y + 5.0f, kStartView.z - 200.0f);
    pkCamera->SetPosition(kBehindTheVan);
    kGame.GetSpawnManager()->m_ucCameraFollows = 1;

    // The click frees the camera: the follow ends and the view goes back to
    // the level's start, not left behind the standing van.
    (void)pkMouse->OnLeftDown(NiVec2{100.0f, 100.0f});
    EXPECT_EQ(pkMouse->GetLeft(), COrvaneMouse::BUTTON_RELEASED);
    EXPECT_EQ(kGame.GetSpawnManager()->m_ucCameraFollows, 0);
    const NiVec3 kAfter = pkCamera->GetWorldPosition();
    EXPECT_NEAR(kAfter.x, kStartView.x, 1e-3f);
    EXPECT_NEAR(kAfter.y, kStartView.y, 1e-3f);
    EXPECT_NEAR(kAfter.z, kStartView.z, 1e-3f);
    // Without a follow a click leaves the camera where the player put it.
    pkCamera->SetPosition(kBehindTheVan);
    (void)pkMouse->OnLeftDown(NiVec2{100.0f, 100.0f});
    EXPECT_NEAR(pkCamera->GetWorldPosition().x, kBehindTheVan.x, 1e-3f);

    // The right button stays pressed for the framework's camera control.
    kGame.GetSpawnManager()->m_ucCameraFollows = 1;
    (void)pkMouse->OnRightDown(NiVec2{100.0f, 100.0f});
    EXPECT_EQ(pkMouse->GetRight(), COrvaneMouse::BUTTON_PRESSED);
    EXPECT_EQ(kGame.GetSpawnManager()->m_ucCameraFollows, 0);
    EXPECT_EQ(kGame.OnMouse(CMouse::BUTTON_LEFT_UP), 1);

    kGame.ResetGame();
    EXPECT_EQ(kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN), 1); // the front end
}

TEST_F(CGameInputTest, DemolishingClearsTheSelectionAndPlaysItsSample)
{
    CGame kGame;
    EnterLevel(kGame);
    kGame.GetSoundSystem()->ClearCalls();
    kGame.ConfirmDemolish(nullptr);
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
    EXPECT_EQ(kGame.GetSoundSystem()->GetCalls(), (std::vector<std::string>{"PlaySample 1 255"}));
}

TEST_F(CGameInputTest, EachBuildingKindHasItsLoopSample)
{
    EXPECT_EQ(CGame::BuildingLoopSample("staffroom"), 9);
    EXPECT_EQ(CGame::BuildingLoopSample("foodhall"), 12);
    EXPECT_EQ(CGame::BuildingLoopSample("workshop"), 10);
    EXPECT_EQ(CGame::BuildingLoopSample("healthcentre"), 11);
    EXPECT_EQ(CGame::BuildingLoopSample("cellblock"), 13);
    EXPECT_EQ(CGame::BuildingLoopSample("Staff"), 13); // case counts
    EXPECT_EQ(CGame::BuildingLoopSample("staff_food"), 9); // the first rule wins
}

TEST_F(CGameInputTest, ALeftClickEntersAPlacedBuildingAndAnotherOneLeavesItFirst)
{
    PickedGame kGame;
    EnterLevel(kGame);
    CSoundSystem& kSound = *kGame.GetSoundSystem();
    TestBuilding kKitchen("foodhall", true);
    TestBuilding kWorkshop("workshop", true);
    TestBuilding kUnplaced("staffroom", false);

    // Nothing under the mouse, or a building not placed yet: nothing.
    kSound.ClearCalls();
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    kGame.m_pkPicked = &kUnplaced;
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
    EXPECT_TRUE(kSound.GetCalls().empty());

    kGame.m_pkPicked = &kKitchen;
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_EQ(kGame.GetSelectedBuilding(), &kKitchen);
    EXPECT_EQ(kSound.GetCalls(), (std::vector<std::string>{"PlaySample 0 255", "PlaySample 12 255 loop"}));
    // The same building again changes nothing.
    kSound.ClearCalls();
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_TRUE(kSound.GetCalls().empty());

    kGame.m_pkPicked = &kWorkshop;
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_EQ(kGame.GetSelectedBuilding(), &kWorkshop);
    EXPECT_EQ(kSound.GetCalls(),
              (std::vector<std::string>{"StopSample 12", "PlaySample 0 255", "PlaySample 10 255 loop"}));

    // "e" leaves the view and stops the building's loop; "c" without a
    // building does nothing.
    kSound.ClearCalls();
    Press(kGame, 'e');
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
    EXPECT_EQ(kSound.GetCalls(), (std::vector<std::string>{"StopSample 10"}));
    Press(kGame, 'c');
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);

    // A click the interface took never reaches the world.
    auto* pkMouse = dynamic_cast<CMouse*>(kGame.GetMouse());
    ASSERT_NE(pkMouse, nullptr);
    pkMouse->SetOverInterface(true);
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
    pkMouse->SetOverInterface(false);
    kGame.m_pkPicked = nullptr;
}

// A pointer that comes onto a panel in the frame of its press: the last
// frame's pass did not see it there, yet the press is the panel's, as the
// pass of that night or day would count it.
TEST_F(CGameInputTest, APressOnAPanelIsThePanelsThoughThePointerJustCameThere)
{
    PickedGame kGame;
    EnterLevel(kGame);
    TestBuilding kKitchen("foodhall", true);
    kGame.m_pkPicked = &kKitchen;
    CInterface* pkInterface = CInterface::Get();
    ASSERT_NE(pkInterface, nullptr);
    CMainPanel* pkMain = pkInterface->GetMainPanel();
    ASSERT_NE(pkMain, nullptr);
    ASSERT_TRUE(pkInterface->IsCanvasOpen(pkMain, false));
    // The panel's picture is not in this data: a button of its size stands in.
    CWidgetDesc kDesc;
    kDesc.m_fWidth = 40.0f;
    kDesc.m_fHeight = 30.0f;
    auto pkButton = std::make_unique<COrvaneWidget>();
    pkButton->SetRect(kDesc);
    pkMain->AddWidget(std::move(pkButton));
    const NiVec2 kOnBuild(pkMain->GetX() + 20.0f, pkMain->GetY() + 15.0f);
    ASSERT_EQ(kGame.GetNightState(), CGame::NIGHT_NONE);
    EXPECT_TRUE(PressAt(kGame, kOnBuild));
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);

    // At night without an open panel no canvas takes the mouse: the press
    // goes to the world as before.
    kGame.GetGameClock().m_fMinutes = CGame::NIGHT_MINUTES + 1.0f;
    kGame.Update(0.02f);
    ASSERT_NE(kGame.GetNightState(), CGame::NIGHT_NONE);
    EXPECT_FALSE(pkInterface->TakesPressAt(kOnBuild, true));
    EXPECT_TRUE(pkInterface->TakesPressAt(kOnBuild, false));
    EXPECT_FALSE(PressAt(kGame, kOnBuild));

    // Off every panel the press is the world's, day or night.
    const NiVec2 kOnGround(512.0f, 200.0f);
    EXPECT_FALSE(pkInterface->TakesPressAt(kOnGround, false));
    EXPECT_FALSE(PressAt(kGame, kOnGround));
    kGame.m_pkPicked = nullptr;
}

// The morning after the desk top: its leave gives the game back while the
// screen still fades in, and the first press on the bar is the bar's, as
// by day; while the screen darkens it is the world's.
TEST_F(CGameInputTest, TheFirstPressAfterTheDeskTopIsTheBarsWhileTheMorningFadesIn)
{
    PickedGame kGame;
    EnterLevel(kGame);
    CInterface* pkInterface = CInterface::Get();
    ASSERT_NE(pkInterface, nullptr);
    CMainPanel* pkMain = pkInterface->GetMainPanel();
    ASSERT_NE(pkMain, nullptr);
    CWidgetDesc kDesc;
    kDesc.m_fWidth = 40.0f;
    kDesc.m_fHeight = 30.0f;
    auto pkButton = std::make_unique<COrvaneWidget>();
    pkButton->SetRect(kDesc);
    pkMain->AddWidget(std::move(pkButton));
    const NiVec2 kOnButton(pkMain->GetX() + 20.0f, pkMain->GetY() + 15.0f);
    kGame.SetGameSpeed(1.0f);
    kGame.GetGameClock().m_fMinutes = CGame::NIGHT_MINUTES + 1.0f;
    kGame.Update(0.05f);
    ASSERT_EQ(kGame.GetNightState(), CGame::NIGHT_FADING_OUT);
    EXPECT_TRUE(kGame.IsInterfaceResting());
    EXPECT_FALSE(PressAt(kGame, kOnButton)) << "the screen darkens";
    for (int i = 0; i < 200 && !pkInterface->IsDeskTopShown(); ++i)
        kGame.Update(0.05f);
    ASSERT_TRUE(pkInterface->IsDeskTopShown());
    ASSERT_EQ(kGame.GetNightState(), CGame::NIGHT_FADING_IN);
    // The desk top is modal: the bar beneath it takes nothing.
    EXPECT_FALSE(PressAt(kGame, kOnButton));
    COrvaneCanvas* pkDesk = pkInterface->GetPanel(CInterface::PANEL_DESK_TOP);
    pkDesk->OnWidgetEvent(3, COrvaneCanvas::EVENT_PRESSED);
    ASSERT_FALSE(pkInterface->IsDeskTopShown());
    ASSERT_EQ(kGame.GetGameSpeed(), 1.0f);
    kGame.Update(0.05f);
    ASSERT_EQ(kGame.GetNightState(), CGame::NIGHT_FADING_IN);
    EXPECT_FALSE(kGame.IsInterfaceResting());
    EXPECT_TRUE(PressAt(kGame, kOnButton)) << "the morning fades in";
    // The bar's own pass runs in those frames: the ticker counts them.
    const std::uint32_t uiUpdates = pkInterface->m_uiUpdates;
    kGame.Update(0.05f);
    EXPECT_EQ(pkInterface->m_uiUpdates, uiUpdates + 1);
}

TEST_F(CGameInputTest, TheMarkerAsksBeforeABuildingGoesAndRemovesOtherThingsAtOnce)
{
    PickedGame kGame;
    EnterLevel(kGame);
    CSoundSystem& kSound = *kGame.GetSoundSystem();
    TestBuilding kKitchen("foodhall", true);
    TestThing kBench;
    kGame.m_pkPicked = &kKitchen;
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    ASSERT_EQ(kGame.GetSelectedBuilding(), &kKitchen);

    CBuildPlacement::GetInstance()->BeginMarker();
    kSound.ClearCalls();
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    // The view of the building is left first, then the question is asked.
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
    CInterface* pkInterface = CInterface::Get();
    ASSERT_NE(pkInterface, nullptr);
    EXPECT_TRUE(pkInterface->IsConfirmationOpen());
    EXPECT_EQ(kSound.GetCalls(), (std::vector<std::string>{"StopSample 12"}));
    EXPECT_TRUE(pkInterface->AnswerConfirmation(true));
    EXPECT_EQ(kSound.GetCalls(), (std::vector<std::string>{"StopSample 12", "PlaySample 1 255"}));

    // Leaving the building closed every panel, and with the build panels
    // the marker went: the player takes it up again.
    EXPECT_NE(CBuildPlacement::GetInstance()->GetMode(), CBuildPlacement::MODE_MARKER);
    CBuildPlacement::GetInstance()->BeginMarker();
    kSound.ClearCalls();
    kGame.m_pkPicked = &kBench;
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_FALSE(pkInterface->IsConfirmationOpen());
    EXPECT_EQ(kSound.GetCalls(), (std::vector<std::string>{"PlaySample 2 255"}));

    // Without the marker the same thing is no building to enter.
    (void)CBuildPlacement::GetInstance()->Clear();
    kSound.ClearCalls();
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_TRUE(kSound.GetCalls().empty());
    EXPECT_EQ(kGame.GetSelectedBuilding(), nullptr);
    kGame.m_pkPicked = nullptr;
}

namespace
{
TEST_F(CGameInputTest, ARightClickOnABuildingOpensItsPopUpUnlessAPanelTookIt)
{
    PickedGame kGame;
    EnterLevel(kGame);
    TestBuilding kKitchen("foodhall", true);
    kGame.m_pkPicked = &kKitchen;
    CInterface* pkInterface = CInterface::Get();
    COrvaneCanvas* pkPopUp = pkInterface->GetPanel(CInterface::PANEL_BUILDING);
    kGame.GetMouse()->SetOverInterface(true);
    (void)kGame.OnMouse(CMouse::BUTTON_RIGHT_DOWN);
    EXPECT_FALSE(pkInterface->IsCanvasOpen(pkPopUp, false));
    kGame.GetMouse()->SetOverInterface(false);
    (void)kGame.OnMouse(CMouse::BUTTON_RIGHT_DOWN);
    EXPECT_TRUE(pkInterface->IsCanvasOpen(pkPopUp, false));
    // A thing that is neither building nor character opens nothing.
    pkInterface->CloseAllPanels();
    TestThing kBench;
    kGame.m_pkPicked = &kBench;
    (void)kGame.OnMouse(CMouse::BUTTON_RIGHT_DOWN);
    EXPECT_FALSE(pkInterface->IsCanvasOpen(pkPopUp, false));
    kGame.m_pkPicked = nullptr;
}
} // namespace

TEST_F(CGameInputTest, ARightClickOnAStaffPostShowsThePostsPersonAndKeepsItsNode)
{
    PickedGame kGame;
    EnterLevel(kGame);
    TestBuilding kOffice("admin", true);
    NiAVObjectPtr spPostNode = new NiNode;
    auto pkPost = std::make_unique<NiNodeAttachment>();
    pkPost->Set(spPostNode);
    kGame.m_pkPicked = &kOffice;
    kGame.m_pkPost = pkPost.get();
    CInterface* pkInterface = CInterface::Get();
    auto* pkStaff = dynamic_cast<CPopUpPanel*>(pkInterface->GetPanel(CInterface::PANEL_STAFF));
    COrvaneCanvas* pkBuilding = pkInterface->GetPanel(CInterface::PANEL_BUILDING);
    ASSERT_NE(pkStaff, nullptr);
    (void)kGame.OnMouse(CMouse::BUTTON_RIGHT_DOWN);
    EXPECT_TRUE(pkInterface->IsCanvasOpen(pkStaff, false));
    EXPECT_FALSE(pkInterface->IsCanvasOpen(pkBuilding, false));
    EXPECT_EQ(pkStaff->GetSubject(), &kOffice);
    // The pick's holder is the picker's to drop at the next pick: the
    // pop-up holds the node itself.
    ASSERT_NE(pkStaff->GetPostNode(), nullptr);
    EXPECT_NE(pkStaff->GetPostNode(), pkPost.get());
    kGame.m_pkPost = nullptr;
    pkPost.reset();
    EXPECT_EQ(pkStaff->GetPostNode()->GetObject(), spPostNode);
    EXPECT_EQ(spPostNode->GetRefCount(), 2u);

    // The building itself: its own pop-up, the post let go.
    (void)kGame.OnMouse(CMouse::BUTTON_RIGHT_DOWN);
    EXPECT_TRUE(pkInterface->IsCanvasOpen(pkBuilding, false));
    EXPECT_FALSE(pkInterface->IsCanvasOpen(pkStaff, false));
    pkInterface->ShowPopUp(CInterface::PANEL_STAFF, &kOffice, nullptr);
    EXPECT_EQ(pkStaff->GetPostNode(), nullptr);
    EXPECT_EQ(spPostNode->GetRefCount(), 1u);
    pkInterface->CloseAllPanels();
    kGame.m_pkPicked = nullptr;
}

TEST_F(CGameInputTest, APickableCharacterIsPickedUpAndTheNextClickDropsIt)
{
    PickedGame kGame;
    EnterLevel(kGame);
    CSpawnManager* pkSpawns = kGame.GetSpawnManager();
    ASSERT_NE(pkSpawns, nullptr);
    TestPrisoner kPrisoner;
    kPrisoner.SetPickable(false);
    kGame.m_pkPicked = &kPrisoner;
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_EQ(pkSpawns->GetCarried(), nullptr);

    kPrisoner.SetPickable(true);
    kGame.SetGameSpeed(2.0f);
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_EQ(pkSpawns->GetCarried(), &kPrisoner);
    EXPECT_EQ(kGame.GetGameSpeed(), 0.0f);
    // While carrying, a right click does nothing and a left click on the
    // same character drops it: the speed comes back.
    (void)kGame.OnMouse(CMouse::BUTTON_RIGHT_DOWN);
    EXPECT_EQ(pkSpawns->GetCarried(), &kPrisoner);
    (void)kGame.OnMouse(CMouse::BUTTON_LEFT_DOWN);
    EXPECT_EQ(pkSpawns->GetCarried(), nullptr);
    EXPECT_EQ(kGame.GetGameSpeed(), 2.0f);
    kGame.m_pkPicked = nullptr;
}
