// Scenario conditions, the in-game settings, the completion record and the
// locale, on a started game in a temporary folder.

#include "game/shell/CGame.h"

#include "framework/COrvaneApplication.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CCamera.h"
#include "game/shell/CConditions.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CLocale.h"
#include "game/shell/CSoundSystem.h"
#include "game/shell/ui/CInterface.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CPrisonStatistics.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/shell/GameTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
const char* const SETTINGS = "<Game_Data>\r\n<Game_type>\r\nNormal\r\n<Normal>\r\n0\r\n</Normal>\r\n</Game_type>\r\n"
                             "</Game_Data>\r\n<Level_Data>\r\n<0>\r\n</0>\r\n</Level_Data>\r\n"
                             "<In_Game_Settings>\r\n<Music>\r\n0\r\n</Music>\r\n<SFX>\r\n2\r\n</SFX>\r\n"
                             "<Detail>\r\n1\r\n</Detail>\r\n</In_Game_Settings>\r\n";

// Every string a locale would draw, with its font and place.
class RecordingLocale : public CLocale
{
public:
    std::vector<std::string> m_kDrawn;

protected:
    void DrawLine(std::int32_t iFont, float fX, float fY, const std::string& kText) override
    {
        m_kDrawn.push_back(std::to_string(iFont) + " " + std::to_string(static_cast<int>(fX)) + "," +
                           std::to_string(static_cast<int>(fY)) + " " + kText);
    }
    std::int32_t DrawInBox(std::int32_t iFont, const COrvaneWidgetRect& kBox, const std::string& kText) override
    {
        m_kDrawn.push_back(std::to_string(iFont) + " box " + kText);
        return static_cast<std::int32_t>(std::count(kText.begin(), kText.end(), ' ')) + 1 +
               static_cast<std::int32_t>(kBox.m_fWidth * 0.0f);
    }
    float ScreenWidth() const override { return 1000.0f; }
    // Every character 10 pixels wide.
    float MeasureText(std::int32_t, const std::string& kText) const override
    {
        return 10.0f * static_cast<float>(kText.size());
    }
};

class CScenarioTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        CDynamicObjectManager::DestroyInstance();
        WriteFileBytes("setup.xml", SETTINGS);
        WriteFileBytes("cursor.tga", TinyTgaBytes());
        WriteFileBytes("config.bin", "<SCENARIO_STATES>\r\nOPEN\r\nOPEN\r\nINCOMPLETE\r\n</SCENARIO_STATES>\r\n");
        std::string kMessages = "<LANGUAGE>\r\n<Other>\r\n<0>\r\nx\r\n</0>\r\n</Other>\r\n<InGameMessages>\r\n";
        for (int i = 0; i <= 82; ++i)
            kMessages += "<" + std::to_string(i) + ">\r\nm" + std::to_string(i) + "\r\n</" + std::to_string(i) + ">\r\n";
        WriteFileBytes("language.xml", kMessages + "</InGameMessages>\r\n</LANGUAGE>\r\n");
        COrvaneApplication::LoadSettings();
    }
    void TearDown() override
    {
        COrvaneApplication::ResetSettings();
        CCamera::ResetCurrent();
        CGame::ResetStatics();
        CDynamicObjectManager::DestroyInstance();
        EngineFrameworkTest::TearDown();
    }

    // Started with a recording locale, in the level.
    RecordingLocale* Start(CGame& kGame)
    {
        auto pkLocale = std::make_unique<RecordingLocale>();
        RecordingLocale* pkRecording = pkLocale.get();
        kGame.SetLocale(std::move(pkLocale));
        EXPECT_TRUE(kGame.Init("Orvane Game"));
        EXPECT_TRUE(pkRecording->Load());
        EXPECT_TRUE(kGame.Start());
        kGame.GetFrontEndScreens()->m_bStartNewGame = false;
        kGame.LoadLevelData();
        kGame.SetScreenSize(1000, 768);
        return pkRecording;
    }

    static std::size_t Count(const std::vector<std::string>& kCalls, const std::string& kCall)
    {
        return static_cast<std::size_t>(std::count(kCalls.begin(), kCalls.end(), kCall));
    }
};

TEST_F(CScenarioTest, TheFirstGoalCompletesTheScenarioOnceAndItsScreenIsDrawn)
{
    CGame kGame;
    RecordingLocale* pkLocale = Start(kGame);
    CConditions& kConditions = *kGame.GetConditions();
    kConditions.SetScenario(1);
    kConditions.AddGoal(CCondition{4, 1, 100});
    kConditions.AddFailure(CCondition{3, 0, 0});
    CPrisonStatistics& kStatistics = *CDynamicObjectManager::GetInstance()->GetStatistics();
    kStatistics.m_usPrisonersNow = 100; // equal is not above
    kGame.GetSoundSystem()->ClearCalls();
    kConditions.UpdateResultScreens(pkLocale);
    EXPECT_EQ(kConditions.TestGoal(), CConditions::NO_RESULT);
    EXPECT_TRUE(pkLocale->m_kDrawn.empty());

    const std::string kConfig = ReadFileBytes("config.bin");
    CInterface::Get()->ShowDeskTop(true);
    ASSERT_TRUE(CInterface::Get()->IsDeskTopShown());
    kStatistics.m_usPrisonersNow = 101;
    for (int i = 0; i < 3; ++i)
        kConditions.UpdateResultScreens(pkLocale);
    EXPECT_EQ(kConditions.TestGoal(), 4);
    EXPECT_EQ(kConditions.TestFailure(), CConditions::NO_RESULT);
    EXPECT_EQ(Count(kGame.GetSoundSystem()->GetCalls(), "PlaySample 23 255"), 1u);
    EXPECT_EQ(ReadFileBytes("config.bin"),
              "<SCENARIO_STATES>\r\nOPEN\r\nCOMPLETE\r\nINCOMPLETE\r\n</SCENARIO_STATES>\r\n");
    EXPECT_NE(ReadFileBytes("config.bin"), kConfig);
    ASSERT_EQ(pkLocale->m_kDrawn.size(), 9u);
    // Centred: 1000 / 2 - 10 x length / 2.
    EXPECT_EQ(std::vector<std::string>(pkLocale->m_kDrawn.begin(), pkLocale->m_kDrawn.begin() + 3),
              (std::vector<std::string>{"3 490,128 m8", "1 485,384 m30", "0 490,640 m9"}));
    // A goal puts the desk top away.
    EXPECT_FALSE(CInterface::Get()->IsDeskTopShown());
    EXPECT_TRUE(kConditions.IsResultPending());

    // Both hold: both stored, the goal screen drawn; marking again writes
    // the same file.
    kStatistics.m_iOrder = -1;
    pkLocale->m_kDrawn.clear();
    kConditions.UpdateResultScreens(pkLocale);
    EXPECT_EQ(kConditions.TestFailure(), 3);
    EXPECT_EQ(pkLocale->m_kDrawn[0], "3 490,128 m8");
    const std::string kCompleted = ReadFileBytes("config.bin");
    EXPECT_TRUE(kGame.MarkScenarioComplete(1));
    EXPECT_EQ(ReadFileBytes("config.bin"), kCompleted);
    EXPECT_FALSE(kGame.MarkScenarioComplete(3)); // the number of states
    EXPECT_EQ(ReadFileBytes("config.bin"), kCompleted);
    std::filesystem::remove("config.bin");
    EXPECT_FALSE(kGame.MarkScenarioComplete(0)); // never created
    EXPECT_FALSE(std::filesystem::exists("config.bin"));
}

TEST_F(CScenarioTest, FailuresAndComparisonsAreSignedAndStrict)
{
    CGame kGame;
    RecordingLocale* pkLocale = Start(kGame);
    CConditions& kConditions = *kGame.GetConditions();
    CPrisonStatistics& kStatistics = *CDynamicObjectManager::GetInstance()->GetStatistics();
    kStatistics.Update();
    kStatistics.m_iStartingFunds += -5 - kStatistics.GetBalance();
    kStatistics.Update();
    ASSERT_EQ(kStatistics.GetBalance(), -5);
    EXPECT_EQ(CConditions::Evaluate(CCondition{0, 0, 0}), 0);
    EXPECT_EQ(CConditions::Evaluate(CCondition{0, 1, -6}), 0);
    EXPECT_EQ(CConditions::Evaluate(CCondition{0, 1, -5}), CConditions::NO_RESULT);
    EXPECT_EQ(CConditions::Evaluate(CCondition{0, 2, 100}), CConditions::NO_RESULT);
    EXPECT_EQ(CConditions::Evaluate(CCondition{15, 0, 1}), 15); // reads 0
    EXPECT_EQ(CConditions::Evaluate(CCondition{-1, 1, 0}), CConditions::NO_RESULT);

    kConditions.AddFailure(CCondition{13, 1, 5});
    kConditions.AddFailure(CCondition{0, 0, 0});
    CInterface::Get()->ShowDeskTop(true);
    kGame.GetSoundSystem()->ClearCalls();
    kConditions.UpdateResultScreens(pkLocale);
    kConditions.UpdateResultScreens(pkLocale);
    EXPECT_EQ(kConditions.TestFailure(), 0);
    EXPECT_EQ(Count(kGame.GetSoundSystem()->GetCalls(), "PlaySample 23 255"), 1u);
    EXPECT_EQ(pkLocale->m_kDrawn[0], "3 490,128 m7");
    EXPECT_EQ(pkLocale->m_kDrawn[1], "1 485,384 m23");
    EXPECT_TRUE(CInterface::Get()->IsDeskTopShown()); // a failure leaves it
    EXPECT_EQ(ReadFileBytes("config.bin"),
              "<SCENARIO_STATES>\r\nOPEN\r\nOPEN\r\nINCOMPLETE\r\n</SCENARIO_STATES>\r\n");
    // A pending result stops the game.
    const float fMinutes = kGame.GetGameClock().m_fMinutes;
    kGame.Update(0.02f);
    kGame.Update(0.02f);
    EXPECT_EQ(kGame.GetGameClock().m_fMinutes, fMinutes);
}

TEST_F(CScenarioTest, TheSectionReadsBackInOrderAndKeepsWhatIsNotThere)
{
    CConditions kConditions;
    kConditions.AddGoal(CCondition{1, 1, 20});
    kConditions.AddGoal(CCondition{12, 0, 3});
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("c.fds", COrvaneFile::MODE_WRITE), 1);
        ASSERT_TRUE(kConditions.Save(kFile));
        ASSERT_TRUE(kFile.Flush());
    }
    EXPECT_EQ(ReadFileBytes("c.fds"), "<CONDITIONS>\r\n-1\r\n1,1,20,12,0,3\r\n\r\n</CONDITIONS>\r\n");

    CConditions kRead;
    kRead.SetResults(4, 9);
    kRead.AddFailure(CCondition{5, 5, 5});
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("c.fds", COrvaneFile::MODE_READ), 1);
    ASSERT_TRUE(kRead.Load(kFile));
    EXPECT_EQ(kRead.TestGoal(), CConditions::NO_RESULT);
    EXPECT_EQ(kRead.TestFailure(), 9);
    EXPECT_EQ(kRead.GetScenario(), -1);
    ASSERT_EQ(kRead.GetGoals().size(), 2u);
    EXPECT_EQ(*kRead.GetGoals()[1], (CCondition{12, 0, 3}));
    EXPECT_TRUE(kRead.GetFailures().empty());

    // A partial group is dropped; no section keeps the lists.
    WriteFileBytes("p.fds", "x\r\n<CONDITIONS>\r\n7\r\n1,0,5,2,1\r\n3,1,4\r\n</CONDITIONS>\r\n");
    ASSERT_EQ(kFile.Open("p.fds", COrvaneFile::MODE_READ), 1);
    ASSERT_TRUE(kRead.Load(kFile));
    EXPECT_EQ(kRead.GetScenario(), 7);
    ASSERT_EQ(kRead.GetGoals().size(), 1u);
    ASSERT_EQ(kRead.GetFailures().size(), 1u);
    WriteFileBytes("n.fds", "<WORLD>\r\n0\r\n");
    ASSERT_EQ(kFile.Open("n.fds", COrvaneFile::MODE_READ), 1);
    ASSERT_TRUE(kRead.Load(kFile));
    EXPECT_EQ(kRead.GetScenario(), 7);
    EXPECT_EQ(kRead.GetGoals().size(), 1u);
    kRead.ClearConditions();
    EXPECT_TRUE(kRead.GetGoals().empty());
    EXPECT_EQ(kRead.GetScenario(), -1);
}

TEST_F(CScenarioTest, SettingsApplyByTogglingAndAreWrittenBackWhole)
{
    CGame kGame;
    Start(kGame);
    // "Music" 0 turned the music off, "SFX" 2 toggled the effects off, "Detail" 1 kept.
    EXPECT_FALSE(kGame.IsMusicOn());
    EXPECT_FALSE(kGame.IsSoundOn());
    EXPECT_TRUE(kGame.IsDetailOn());
    kGame.ToggleMusic();
    kGame.ToggleDetail();
    EXPECT_TRUE(kGame.IsMusicOn());
    EXPECT_FALSE(kGame.IsDetailOn());
    EXPECT_EQ(kGame.GetSoundSystem()->GetCalls().back().rfind("PlayMusicTrack ", 0), 0u);

    kGame.ResetGame();
    const std::string kWritten = ReadFileBytes("setup.xml");
    EXPECT_NE(kWritten.find("<In_Game_Settings>\r\n<Music>\r\n1\r\n</Music>\r\n<SFX>\r\n0\r\n</SFX>\r\n"
                            "<Detail>\r\n0\r\n</Detail>\r\n</In_Game_Settings>\r\n"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("setup.xml.tmp"));
    // From the front end nothing is written; unchanged settings write the same bytes.
    std::filesystem::remove("setup.xml");
    kGame.ResetGame();
    EXPECT_FALSE(std::filesystem::exists("setup.xml"));
    kGame.LoadLevelData();
    EXPECT_TRUE(kGame.IsMusicOn());
    EXPECT_FALSE(kGame.IsDetailOn());
    kGame.ResetGame();
    EXPECT_EQ(ReadFileBytes("setup.xml"), kWritten);

    // Without a section nothing is applied nor saved.
    WriteFileBytes("setup.xml", "<Game_Data>\r\n</Game_Data>\r\n<In_Game_Settings>\r\n<SFX>\r\n1\r\n</SFX>\r\n"
                                "</In_Game_Settings>\r\n");
    COrvaneApplication::LoadSettings();
    kGame.LoadLevelData();
    EXPECT_TRUE(kGame.IsSoundOn());
    EXPECT_TRUE(kGame.IsMusicOn());
    kGame.ToggleMusic();
    kGame.ResetGame();
    EXPECT_EQ(ReadFileBytes("setup.xml"), "<Game_Data>\r\n\r\n</Game_Data>\r\n<In_Game_Settings>\r\n<SFX>\r\n1\r\n"
                                          "</SFX>\r\n</In_Game_Settings>\r\n");
}
} // namespace
