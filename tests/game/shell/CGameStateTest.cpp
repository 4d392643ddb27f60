#include "game/shell/CGame.h"

#include "engine/scene/NiAlphaProperty.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiVertexColorProperty.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneObject.h"
#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CLevelManager.h"
#include "game/shell/CLocale.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/ui/CDeskTopPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/shell/GameTestFiles.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace
{
// Level 0 has an entry without a file: an empty level.
const char* const SETTINGS = "<Game_Data>\r\n<Game_type>\r\nNormal\r\n<Normal>\r\n0\r\n</Normal>\r\n</Game_type>\r\n"
                             "</Game_Data>\r\n<Level_Data>\r\n<0>\r\n</0>\r\n</Level_Data>\r\n";

// An object standing where the test puts it.
class Walker : public COrvaneObject
{
public:
    [[nodiscard]] const NiVec3* GetModelPosition() const override { return &m_kAt; }
    NiVec3 m_kAt;
};

// A game whose simulation step can leave the level, as a panel's answer
// would, in the middle of a frame.
class LeavingGame : public CGame
{
public:
    void StepSimulation(float fFrameTime) override
    {
        CGame::StepSimulation(fFrameTime);
        if (m_bLeave)
            ResetGame();
    }
    bool m_bLeave = false;
};

class CGameStateTest : public EngineFrameworkTest
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
        COrvaneApplication::ResetSettings();
        CCamera::ResetCurrent();
        CGame::ResetStatics();
        EngineFrameworkTest::TearDown();
    }

    // Started headless and kept in the front end.
    static void StartGame(CGame& kGame)
    {
        ASSERT_TRUE(kGame.Init("Orvane Game"));
        ASSERT_TRUE(kGame.Start());
        kGame.GetFrontEndScreens()->m_bStartNewGame = false;
    }

    // The player leaves the morning's desk top: the game runs on at its
    // speed of before.
    static void LeaveDeskTop()
    {
        COrvaneCanvas* pkDesk = CInterface::Get()->GetPanel(CInterface::PANEL_DESK_TOP);
        ASSERT_NE(pkDesk, nullptr);
        pkDesk->OnWidgetEvent(CDeskTopPanel::WIDGET_LEAVE, COrvaneCanvas::EVENT_PRESSED);
    }
    // Runs frames of the simulation alone until the scaled time passed.
    static void Run(CGame& kGame, float fSeconds, float fFrame = 0.05f)
    {
        for (float f = 0.0f; f < fSeconds; f += fFrame)
            kGame.StepSimulation(fFrame);
    }
};

TEST_F(CGameStateTest, StartShowsItsPicturesAndEndsInTheFrontEnd)
{
    CGame kGame;
    EXPECT_EQ(kGame.GetState(), CGame::STATE_NONE);
    ASSERT_NE(CInterface::Get(), nullptr); // made with the game
    ASSERT_TRUE(kGame.Init("Orvane Game"));
    EXPECT_EQ(CGame::Get(), &kGame);
    EXPECT_EQ(CGameHost::Get(), &kGame);
    EXPECT_TRUE(kGame.GetSkipNextUpdate());
    ASSERT_NE(kGame.GetGameCamera(), nullptr);
    ASSERT_NE(kGame.GetGameLocale(), nullptr);
    // The game's view: tan(pi / 6) up and down, 4:3 across.
    const NiViewFrustum& kFrustum = kGame.GetCamera()->GetEngineCamera()->GetViewFrustum();
    EXPECT_NEAR(kFrustum.m_fTop, 0.57735f, 1e-5f);
    EXPECT_NEAR(kFrustum.m_fBottom, -0.57735f, 1e-5f);
    EXPECT_NEAR(kFrustum.m_fRight, 0.7698f, 1e-4f);
    EXPECT_NEAR(kFrustum.m_fLeft, -0.7698f, 1e-4f);
    EXPECT_FALSE(kFrustum.m_bOrtho);
    ASSERT_TRUE(kGame.Start());
    EXPECT_EQ(kGame.GetState(), CGame::STATE_FRONT_END);
    ASSERT_EQ(kGame.GetShownScreens().size(), 3u);
    EXPECT_EQ(kGame.GetShownScreens()[0].m_kPicture, CGame::STUDIO_SCREEN);
    EXPECT_EQ(kGame.GetShownScreens()[0].m_fSeconds, 2.0f);
    EXPECT_EQ(kGame.GetShownScreens()[1].m_fSeconds, 4.1f);
    EXPECT_EQ(kGame.GetShownScreens()[2].m_kPicture, CGame::TITLE_SCREEN);
    ASSERT_NE(kGame.GetDataDocument(), nullptr);
    ASSERT_NE(kGame.GetMouse(), nullptr);
    ASSERT_NE(kGame.GetConditions(), nullptr);
    EXPECT_EQ(kGame.GetGameLevelManager()->GetLevel(), 0u); // the game type's
    ASSERT_NE(CInterface::Get()->GetMainPanel(), nullptr); // the panels are made
    EXPECT_EQ(CInterface::Get()->GetPanelCount(), CInterface::PANEL_COUNT);
    ASSERT_NE(kGame.GetSoundSystem(), nullptr);
    EXPECT_EQ(kGame.GetSoundSystem()->GetCalls(), (std::vector<std::string>{"Configure", "PlayMusicTrack 0 1"}));

    // The first frame advances nothing; front-end frames block the keys.
    kGame.GetFrontEndScreens()->m_bStartNewGame = false;
    kGame.Update(0.001f);
    EXPECT_EQ(kGame.GetFrameTimeCopy(), 0.0f);
    EXPECT_TRUE(kGame.IsInputBlocked());
    EXPECT_EQ(CInterface::Get()->m_uiUpdates, 1u);

    // The front end's new game enters the level within its frame.
    kGame.GetFrontEndScreens()->m_bStartNewGame = true;
    kGame.Update(0.02f);
    EXPECT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);
    EXPECT_FALSE(kGame.IsInputBlocked());
    ASSERT_NE(kGame.GetWorld(), nullptr);
    EXPECT_EQ(kGame.GetCamera()->GetEngineCamera() != nullptr, true);
}

TEST_F(CGameStateTest, EnteringALevelPreparesEverythingAndJumpsANightStartToMorning)
{
    CGame kGame;
    StartGame(kGame);
    kGame.GetSoundSystem()->ClearCalls();
    kGame.GetGameClock().m_fMinutes = 23.5f * 60.0f;
    kGame.LoadLevelData();
    EXPECT_EQ(kGame.GetState(), CGame::STATE_IN_GAME);
    EXPECT_EQ(kGame.GetGameClock().m_usYear, 2005);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, 360.0f);
    EXPECT_EQ(kGame.GetGameClock().m_usDay, 1);
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_FADING_IN);
    EXPECT_EQ(kGame.GetFadeLevel(), 0.0f);
    EXPECT_EQ(kGame.GetFadeLayer(), 1);
    EXPECT_TRUE(kGame.HasFadeQuad());
    ASSERT_NE(kGame.GetSpawnManager(), nullptr);
    EXPECT_EQ(kGame.GetSpawnManager()->GetArrivalState(), CSpawnManager::ARRIVAL_DUE);
    EXPECT_FALSE(kGame.GetFrontEndScreens()->IsBuilt());
    EXPECT_EQ(kGame.GetShownScreens().back().m_kPicture, CGame::LOADING_SCREEN);
    EXPECT_EQ(kGame.GetSoundSystem()->GetCalls(),
              (std::vector<std::string>{"StopMusic", "CloseMusicStream", "SetVolume 255", "PlaySample 7 255",
                                        "PlayMusicTrack 1 1", "SetAmbientSample 0", "SetAmbientVolume 255"}));
    EXPECT_EQ(kGame.GetSoundSystem()->GetVolume(), 255);
    // The level's interface: the main panel on the stack with the two
    // opening messages, no other panel open.
    CInterface* pkInterface = CInterface::Get();
    EXPECT_TRUE(pkInterface->IsCanvasOpen(pkInterface->GetMainPanel(), false));
    EXPECT_EQ(pkInterface->GetMainPanel()->GetQueue(),
              (std::deque<CTickerMessage>{{CInterface::MESSAGE_LEVEL_FIRST, -1}, {CInterface::MESSAGE_LEVEL_SECOND, -1}}));
    EXPECT_FALSE(pkInterface->IsBuildPanelOpen());

    // The first frame ends the fade-in at once: sample 8.
    kGame.GetSoundSystem()->ClearCalls();
    kGame.Update(0.02f);
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_NONE);
    EXPECT_EQ(kGame.GetSoundSystem()->GetCalls(), (std::vector<std::string>{"PlaySample 8 255"}));

    // A level entered at noon keeps its time.
    CGame kNoon;
    StartGame(kNoon);
    kNoon.GetGameClock().m_fMinutes = 720.0f;
    kNoon.LoadLevelData();
    EXPECT_EQ(kNoon.GetGameClock().m_fMinutes, 720.0f);
    EXPECT_EQ(kNoon.GetGameClock().m_usDay, 0);
}

TEST_F(CGameStateTest, TheFadeQuadCoversTheScreenAndTakesTheFadeLevelAsItsAlpha)
{
    CGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData();
    NiScreenPolygon* pkQuad = kGame.GetFadeQuad();
    ASSERT_NE(pkQuad, nullptr);
    ASSERT_EQ(pkQuad->GetVertexCount(), 4u);
    const NiVec3 akCorner[4] = {{0, 0, 0.05f}, {1, 0, 0.05f}, {1, 1, 0.05f}, {0, 1, 0.05f}};
    for (int i = 0; i < 4; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(pkQuad->GetVertices()[i], akCorner[i]);
        EXPECT_EQ(pkQuad->GetColors()[i], NiColorRGBA(0, 0, 0, 1));
    }
    auto* pkAlpha = static_cast<NiAlphaProperty*>(pkQuad->GetPropertyState()->GetProperty(NiProperty::ALPHA));
    ASSERT_NE(pkAlpha, nullptr);
    EXPECT_EQ(pkAlpha->GetFlags(), 237u);
    auto* pkVertexColor =
        static_cast<NiVertexColorProperty*>(pkQuad->GetPropertyState()->GetProperty(NiProperty::VERTEX_COLOR));
    ASSERT_NE(pkVertexColor, nullptr);
    EXPECT_EQ(pkVertexColor->GetSourceMode(), 1u);
    EXPECT_EQ(pkVertexColor->GetLightingMode(), 0u);

    // Above 100 counts as 100: fully opaque; each change marks the colours for repacking.
    pkQuad->SetRendererFlags(0);
    kGame.SetFadeLevel(150);
    EXPECT_EQ(kGame.GetFadeAlpha(), 100);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(pkQuad->GetColors()[i].a, 1.0f) << i;
    EXPECT_EQ(pkQuad->GetRendererFlags() & 1, 1);
    kGame.SetFadeLevel(40);
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(pkQuad->GetColors()[i].a, 0.4f) << i;
    // Level 0: the colours stay, the quad is not drawn.
    pkQuad->SetRendererFlags(0);
    kGame.SetFadeLevel(0);
    EXPECT_EQ(kGame.GetFadeAlpha(), 0);
    EXPECT_FLOAT_EQ(pkQuad->GetColors()[0].a, 0.4f);
    EXPECT_EQ(pkQuad->GetRendererFlags(), 0);

    // Built once: later colours (the next level start) go into the same quad.
    EXPECT_TRUE(kGame.BuildColourQuad(NiColorRGBA(1, 0, 0, 1)));
    EXPECT_EQ(kGame.GetFadeQuad(), pkQuad);
    EXPECT_EQ(pkQuad->GetColors()[3], NiColorRGBA(1, 0, 0, 1));
    EXPECT_EQ(pkQuad->GetRendererFlags() & 1, 1);
}

TEST_F(CGameStateTest, TheNightFadesOutInFiveSecondsJumpsToMorningAndFadesBackIn)
{
    CGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData(); // 06:00 of day 1
    kGame.StepSimulation(0.05f);
    ASSERT_EQ(kGame.GetNightState(), CGame::NIGHT_NONE);
    kGame.GetSpawnManager()->SetArrivalState(CSpawnManager::ARRIVAL_IDLE);

    // 22:00 exactly is not yet night.
    kGame.GetGameClock().m_fMinutes = 1320.0f;
    kGame.SetGameSpeed(0.0f);
    kGame.StepSimulation(0.05f);
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_NONE);
    kGame.SetGameSpeed(1.0f);
    kGame.StepSimulation(0.05f);
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_NONE); // the clock passed 1320 in this step
    kGame.StepSimulation(0.05f);
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_FADING_OUT);

    // Darkening: 20 per scaled second; the clock runs on meanwhile.
    Run(kGame, 2.5f - 0.01f);
    EXPECT_NEAR(kGame.GetFadeLevel(), 50.0f, 1.01f);
    EXPECT_NEAR(kGame.GetFadeAlpha(), 50, 1);
    EXPECT_EQ(kGame.GetGameClock().m_usDay, 1);
    EXPECT_FALSE(CInterface::Get()->IsDeskTopShown());
    Run(kGame, 2.5f + 0.01f);
    // Dark: the next morning, the desk top, arrivals due.
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_FADING_IN);
    EXPECT_EQ(kGame.GetGameClock().m_usDay, 2);
    EXPECT_NEAR(kGame.GetGameClock().m_fMinutes, 360.0f, 1.0f);
    EXPECT_TRUE(CInterface::Get()->IsDeskTopShown());
    EXPECT_FALSE(CInterface::Get()->IsCanvasOpen(CInterface::Get()->GetMainPanel(), false));
    // Due at the morning step, taken on by the arrival step of the same frame.
    EXPECT_EQ(kGame.GetSpawnManager()->GetArrivalState(), CSpawnManager::ARRIVAL_DRIVING);
    EXPECT_LE(kGame.GetFadeAlpha(), 100);
    // The desk holds the game until the player leaves it.
    EXPECT_FLOAT_EQ(kGame.GetGameSpeed(), 0.0f);
    LeaveDeskTop();
    EXPECT_FLOAT_EQ(kGame.GetGameSpeed(), 1.0f);

    // Back to light in five more seconds: sample 8 once, parole list emptied.
    kGame.GetSpawnManager()->AddParoleCandidate(nullptr);
    kGame.GetSoundSystem()->ClearCalls();
    Run(kGame, 5.0f + 0.06f);
    EXPECT_EQ(kGame.GetNightState(), CGame::NIGHT_NONE);
    EXPECT_EQ(kGame.GetFadeLevel(), 0.0f);
    EXPECT_EQ(kGame.GetSoundSystem()->GetCalls(), (std::vector<std::string>{"PlaySample 8 255"}));
    EXPECT_TRUE(kGame.GetSpawnManager()->GetParoleCandidates().empty());

    // At 13:00 the day's arrivals become due.
    kGame.GetSpawnManager()->SetArrivalState(CSpawnManager::ARRIVAL_IDLE);
    kGame.GetGameClock().m_fMinutes = 779.99f;
    kGame.StepSimulation(0.05f);
    // The step that makes them due also sets the vehicle on its way.
    EXPECT_EQ(kGame.GetSpawnManager()->GetArrivalState(), CSpawnManager::ARRIVAL_DRIVING);
}

TEST_F(CGameStateTest, TwoGameDaysRunHeadlessWithAMorningEachDay)
{
    CGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData(); // entry morning: 06:00 of day 1
    ASSERT_EQ(kGame.GetGameClock().m_usDay, 1);
    ASSERT_NE(kGame.GetStatistics(), nullptr);
    EXPECT_EQ(kGame.GetStatistics()->m_iAdminCosts, 2500);
    kGame.SetGameSpeed(12.0f);
    std::uint32_t uiMornings = 0;
    std::uint32_t uiDeskTops = 0;
    std::int32_t iNight = kGame.GetNightState();
    // Two days, in 0.05 s frames: each night skips from 22:05 to 06:00, so a
    // day takes 965 scaled seconds; 2400 seconds hold two nights.
    for (int i = 0; i < 4000; ++i)
    {
        if (CInterface::Get()->IsDeskTopShown())
        {
            ++uiDeskTops;
            LeaveDeskTop();
        }
        kGame.StepSimulation(0.05f);
        if (kGame.GetNightState() == CGame::NIGHT_FADING_IN && iNight == CGame::NIGHT_FADING_OUT)
            ++uiMornings;
        iNight = kGame.GetNightState();
    }
    EXPECT_EQ(uiMornings, 2u);
    EXPECT_EQ(kGame.GetGameClock().m_usDay, 3);
    EXPECT_NEAR(kGame.GetGameTime(), 4000 * 0.6f, 1.0f);
    EXPECT_EQ(uiDeskTops, 2u);
    // The entry morning and two nights, each at upgrade 0, clerical 0.
    EXPECT_EQ(kGame.GetStatistics()->m_iAdminCosts, 7500);

    // Upgrade 2 and clerical 1: 2500 x 3 / 2.
    kGame.GetStatistics()->m_usUpgradeLevel = 2;
    kGame.GetStatistics()->m_usClericalLevel = 1;
    kGame.AdvanceToMorning();
    EXPECT_EQ(kGame.GetStatistics()->m_iAdminCosts, 7500 + 3750);
}

TEST_F(CGameStateTest, SpeedZeroStopsTheSimulationButNotTheCameraOrTheInterface)
{
    CGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData();
    kGame.Update(0.02f); // ends the fade-in
    Walker kWalker;
    kGame.GetGameCamera()->SetWorld(kGame.GetWorld());
    kGame.GetGameCamera()->SetFollowTarget(&kWalker);
    kGame.SetGameSpeed(0.0f);
    const float fMinutes = kGame.GetGameClock().m_fMinutes;
    const float fGameTime = kGame.GetGameTime();
    const std::uint32_t uiUpdates = CInterface::Get()->m_uiUpdates;
    const NiVec3 kBefore = kGame.GetGameCamera()->GetPosition();
    kWalker.m_kAt = NiVec3(0.0f, 1.0f, 0.0f);
    for (int i = 0; i < 3; ++i)
        kGame.Update(0.05f);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, fMinutes);
    EXPECT_EQ(kGame.GetGameTime(), fGameTime);
    EXPECT_EQ(CInterface::Get()->m_uiUpdates, uiUpdates + 3);
    EXPECT_EQ(kGame.GetGameCamera()->GetPosition(), kBefore + NiVec3(0.0f, 1.0f, 0.0f));

    // Speed 2 runs the clock twice as fast as the frames.
    kGame.SetGameSpeed(2.0f);
    kGame.Update(0.05f);
    EXPECT_FLOAT_EQ(kGame.GetGameClock().m_fMinutes, fMinutes + 0.1f);
}

// The main loop draws a still screen only now and then: the front end is
// still, a running game is not, and a paused one is still while its camera
// stands (a followed walker moves it without any input).
TEST_F(CGameStateTest, APausedGameIsStillWhileItsCameraStands)
{
    CGame kGame;
    StartGame(kGame);
    EXPECT_TRUE(kGame.IsScreenStill());
    kGame.LoadLevelData();
    kGame.Update(0.02f); // ends the fade-in
    EXPECT_FALSE(kGame.IsScreenStill());
    kGame.SetGameSpeed(0.0f);
    (void)kGame.IsScreenStill(); // notes where the camera stands
    kGame.Update(0.05f);
    EXPECT_TRUE(kGame.IsScreenStill());

    Walker kWalker;
    kGame.GetGameCamera()->SetWorld(kGame.GetWorld());
    kGame.GetGameCamera()->SetFollowTarget(&kWalker);
    kWalker.m_kAt = NiVec3(0.0f, 1.0f, 0.0f);
    kGame.Update(0.05f);
    EXPECT_FALSE(kGame.IsScreenStill());
    kGame.Update(0.05f);
    EXPECT_TRUE(kGame.IsScreenStill());

    // A fade moves with the game's speed alone: a paused one stands.
    kGame.SetFadeLevel(50);
    kGame.Update(0.05f);
    EXPECT_EQ(kGame.GetFadeAlpha(), 50);
    EXPECT_TRUE(kGame.IsScreenStill());
    kGame.SetFadeLevel(0);
    EXPECT_TRUE(kGame.IsScreenStill());
    kGame.SetGameSpeed(1.0f);
    EXPECT_FALSE(kGame.IsScreenStill());
}

// The morning's desk top holds the game, dark behind it, until the player
// answers: nothing on the screen moves meanwhile.
TEST_F(CGameStateTest, TheMorningDeskTopIsAStillScreenUntilThePlayerLeavesIt)
{
    CGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData();
    kGame.Update(0.02f);
    kGame.GetSpawnManager()->SetArrivalState(CSpawnManager::ARRIVAL_IDLE);
    kGame.GetGameClock().m_fMinutes = 1320.5f;
    for (int i = 0; i < 400 && !CInterface::Get()->IsDeskTopShown(); ++i)
        kGame.Update(0.05f);
    ASSERT_TRUE(CInterface::Get()->IsDeskTopShown());
    ASSERT_GT(kGame.GetFadeAlpha(), 0);
    kGame.Update(0.05f);
    (void)kGame.IsScreenStill(); // notes where the camera stands
    for (int i = 0; i < 3; ++i)
    {
        kGame.Update(0.05f);
        EXPECT_TRUE(kGame.IsScreenStill()) << i;
    }
    LeaveDeskTop();
    kGame.Update(0.05f);
    EXPECT_FALSE(kGame.IsScreenStill()); // the light comes back
}

TEST_F(CGameStateTest, APendingResultOnlyLetsTheLocaleRun)
{
    CGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData();
    kGame.Update(0.02f);
    kGame.GetConditions()->SetResults(0, CConditions::NO_RESULT);
    const float fMinutes = kGame.GetGameClock().m_fMinutes;
    const std::uint32_t uiUpdates = CInterface::Get()->m_uiUpdates;
    const std::uint32_t uiGlyphs = kGame.GetGameLocale()->GetGlyphReleases();
    kGame.Update(0.05f);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, fMinutes);
    EXPECT_EQ(CInterface::Get()->m_uiUpdates, uiUpdates);
    EXPECT_EQ(kGame.GetGameLocale()->GetGlyphReleases(), uiGlyphs + 1);
    kGame.GetConditions()->SetResults(CConditions::NO_RESULT, 2);
    kGame.Update(0.05f);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, fMinutes);
    kGame.GetConditions()->ClearConditions();
    kGame.Update(0.05f);
    EXPECT_GT(kGame.GetGameClock().m_fMinutes, fMinutes);
}

TEST_F(CGameStateTest, LeavingTheLevelInAFrameRebuildsTheInterfaceAtItsEnd)
{
    LeavingGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData();
    kGame.Update(0.02f);
    // The old interface is told apart by its message (a new one may reuse
    // the old one's memory).
    CInterface::Get()->PostMessage(5);
    kGame.m_bLeave = true;
    kGame.Update(0.05f);
    EXPECT_EQ(kGame.GetState(), CGame::STATE_FRONT_END);
    ASSERT_NE(CInterface::Get(), nullptr);
    EXPECT_EQ(CInterface::Get()->GetPanelCount(), CInterface::PANEL_COUNT);
    EXPECT_FALSE(CInterface::Get()->HasPendingMessages());

    // The reset: clock zeroed, no spawn manager, no world, front end built,
    // the music back to track 0.
    EXPECT_EQ(kGame.GetGameClock().m_usYear, 0);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, 0.0f);
    EXPECT_EQ(kGame.GetSpawnManager(), nullptr);
    EXPECT_EQ(kGame.GetWorld(), nullptr);
    EXPECT_TRUE(kGame.GetFrontEndScreens()->IsBuilt());
    const std::vector<std::string>& kSound = kGame.GetSoundSystem()->GetCalls();
    EXPECT_EQ(std::vector<std::string>(kSound.end() - 4, kSound.end()),
              (std::vector<std::string>{"StopMusic", "SetAmbientVolume 0", "SetVolume 0", "PlayMusicTrack 0 1"}));
}

TEST_F(CGameStateTest, TheHostAnswersForTheGame)
{
    CGame kGame;
    StartGame(kGame);
    kGame.LoadLevelData();
    CGameHost* pkHost = CGameHost::Get();
    ASSERT_EQ(pkHost, &kGame);
    kGame.GetGameClock().m_fMinutes = 500.0f;
    kGame.GetGameClock().m_sYearOffset = 2;
    const CClockState kClock = pkHost->GetClock();
    EXPECT_EQ(kClock.m_usYear, 2005);
    EXPECT_EQ(kClock.m_sYearOffset, 2);
    EXPECT_EQ(kClock.m_fMinutes, 500.0f);
    EXPECT_EQ(kClock.m_usDay, 1);
    EXPECT_EQ(pkHost->GetLevelNumber(), 0u);
    EXPECT_EQ(pkHost->GetWorld(), kGame.GetWorld());
    EXPECT_NE(pkHost->GetWorld(), nullptr);
    EXPECT_EQ(pkHost->GetSpawnManager(), kGame.GetSpawnManager());
    EXPECT_EQ(pkHost->GetCamera(), kGame.GetGameCamera());
    EXPECT_EQ(pkHost->GetSelectedBuilding(), nullptr);

    pkHost->PostMessage(56);
    pkHost->PostNumberedMessage(19, 3);
    const std::deque<CTickerMessage>& kQueue = CInterface::Get()->GetMainPanel()->GetQueue();
    ASSERT_GE(kQueue.size(), 2u);
    EXPECT_EQ(kQueue[kQueue.size() - 2], (CTickerMessage{56, -1}));
    EXPECT_EQ(kQueue.back(), (CTickerMessage{19, 3}));
    EXPECT_TRUE(pkHost->IsMessageShowing());
    kGame.GetSoundSystem()->ClearCalls();
    pkHost->PlaySample(20);
    pkHost->StopSample(25);
    EXPECT_EQ(kGame.GetSoundSystem()->GetCalls(), (std::vector<std::string>{"PlaySample 20 255", "StopSample 25"}));

    pkHost->SetPersonCounter(7);
    EXPECT_EQ(pkHost->TakePersonNumber(), 7);
    EXPECT_EQ(pkHost->GetPersonCounter(), 8);
    pkHost->SetSavedSpeed(pkHost->GetGameSpeed());
    pkHost->SetGameSpeed(0.0f);
    EXPECT_EQ(pkHost->GetSavedSpeed(), 1.0f);
    EXPECT_EQ(pkHost->GetSaveVersion(), 0);

    // The registry's word that an object goes ends the camera's following.
    Walker kWalker;
    kGame.GetGameCamera()->SetFollowTarget(&kWalker);
    pkHost->ObjectDestroyed(&kWalker);
    EXPECT_EQ(kGame.GetGameCamera()->GetFollowTarget(), nullptr);

    // Shut down: the game's parts go, its own fields start again.
    kGame.Shutdown();
    EXPECT_EQ(kGame.GetSpawnManager(), nullptr);
    EXPECT_EQ(kGame.GetSoundSystem(), nullptr);
    EXPECT_EQ(kGame.GetConditions(), nullptr);
    EXPECT_EQ(CInterface::Get(), nullptr);
    EXPECT_EQ(kGame.GetGameSpeed(), 1.0f);
    EXPECT_EQ(kGame.GetPersonCounter(), 0);

    // A reset on its own lets nothing leak: what the game made goes.
    CGame kOther;
    StartGame(kOther);
    kOther.LoadLevelData();
    kOther.Reset();
    EXPECT_EQ(kOther.GetSoundSystem(), nullptr);
    EXPECT_EQ(kOther.GetSpawnManager(), nullptr);
    EXPECT_EQ(kOther.GetGameClock().m_usYear, 2005); // the clock stays
}

TEST_F(CGameStateTest, StandInsKeepWhatTheyAreAsked)
{
    CSoundSystem kSound;
    EXPECT_EQ(kSound.GetVolume(), 255);
    kSound.SetVolume(400);
    EXPECT_EQ(kSound.GetVolume(), 255);
    kSound.SetVolume(0);
    EXPECT_EQ(kSound.GetVolume(), 255);

    // Keys are ignored while the game blocks them (front end), the camera
    // keys work in a level.
    CGame kGame;
    StartGame(kGame);
    kGame.Update(0.001f);
    ASSERT_TRUE(kGame.IsInputBlocked());
    ASSERT_TRUE(kGame.GetKeyboard() != nullptr);
    COrvaneKeyEvent kKey;
    kKey.m_uiKeyCode = 'w';
    // The framework's keys reach the camera through the application's game only.
    kGame.GetKeyboard()->OnKeyUp(kKey);
    EXPECT_EQ(kGame.GetLastKeyEvent().m_uiKeyCode, 'w');
    kGame.Update(0.02f);
    EXPECT_EQ(kGame.GetLastKeyEvent().m_uiKeyCode, 0u); // cleared after every update

    // No adapter to choose from: the launcher says so and the start fails
    // (it is not the player leaving), the indices untouched.
    std::uint32_t uiAdapter = 9;
    std::uint32_t uiMode = 9;
    EXPECT_FALSE(kGame.ChooseDisplayMode(uiAdapter, uiMode));
    EXPECT_FALSE(kGame.LeftAtLauncher());
    EXPECT_EQ(uiAdapter, 9u);
    EXPECT_EQ(uiMode, 9u);
}
} // namespace
