#include "game/shell/CGame.h"

#include "framework/COrvaneApplication.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsFiles.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/shell/GameTestFiles.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
const char* const SETTINGS = "<Game_Data>\r\n<Game_type>\r\nNormal\r\n<Normal>\r\n0\r\n</Normal>\r\n</Game_type>\r\n"
                             "</Game_Data>\r\n<Level_Data>\r\n<0>\r\n</0>\r\n</Level_Data>\r\n";
const char* const DATA = "<SCENARIOS>\r\nscenarios\\one.txt\r\nscenarios\\two.txt\r\nscenarios\\three.txt\r\n"
                         "</SCENARIOS>\r\n";

// What the game needs before it starts: settings, data, the cursor image.
class CGameStartUpTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        WriteFileBytes("setup.xml", SETTINGS);
        WriteFileBytes("data.xml", DATA);
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

    // Starts a game; standard error of the start comes back.
    static std::string StartGame(bool bExpected = true)
    {
        CGame kGame;
        EXPECT_TRUE(kGame.Init("Orvane Game"));
        testing::internal::CaptureStderr();
        EXPECT_EQ(kGame.Start(), bExpected);
        return testing::internal::GetCapturedStderr();
    }
};
} // namespace

TEST_F(CGameStartUpTest, AMissingScenarioStateFileIsCreatedWithOneOpenLinePerScenario)
{
    const std::string kErr = StartGame();
    EXPECT_EQ(ReadFileBytes("config.bin"), "<SCENARIO_STATES>\r\nOPEN\r\nOPEN\r\nOPEN\r\n</SCENARIO_STATES>\r\n");
    EXPECT_NE(kErr.find("\"./config.bin\" created with 3 scenario states."), std::string::npos) << kErr;

    // The next start finds it complete and leaves it, without a word.
    const std::string kAgain = StartGame();
    EXPECT_EQ(kAgain.find("config.bin"), std::string::npos) << kAgain;
}

TEST_F(CGameStartUpTest, AShortListIsPaddedAndCompletedScenariosStayComplete)
{
    WriteFileBytes("config.bin", "<SCENARIO_STATES>\r\nCOMPLETE\r\n</SCENARIO_STATES>\r\n");
    const std::string kErr = StartGame();
    EXPECT_EQ(ReadFileBytes("config.bin"),
              "<SCENARIO_STATES>\r\nCOMPLETE\r\nOPEN\r\nOPEN\r\n</SCENARIO_STATES>\r\n");
    EXPECT_NE(kErr.find("\"./config.bin\": 2 scenario states added (now 3)."), std::string::npos) << kErr;

    // A file with other sections gets the section added after them.
    WriteFileBytes("config.bin", "<OTHER>\r\nx\r\n</OTHER>\r\n");
    (void)StartGame();
    EXPECT_EQ(ReadFileBytes("config.bin"),
              "<OTHER>\r\nx\r\n</OTHER>\r\n<SCENARIO_STATES>\r\nOPEN\r\nOPEN\r\nOPEN\r\n</SCENARIO_STATES>\r\n");

    // A longer list than the scenarios is left alone.
    const std::string kLong = "<SCENARIO_STATES>\r\nOPEN\r\nCOMPLETE\r\nOPEN\r\nOPEN\r\n</SCENARIO_STATES>\r\n";
    WriteFileBytes("config.bin", kLong);
    (void)StartGame();
    EXPECT_EQ(ReadFileBytes("config.bin"), kLong);
}

// The padded list is put in place whole: a write cut short (here by the
// file-size limit) keeps the states there were, and a link under the
// temporary name is replaced, never written through.
TEST_F(CGameStartUpTest, PaddingTheStatesNeverCutsTheOldFileNorWritesThroughALink)
{
    const std::string kOld = "<SCENARIO_STATES>\r\nCOMPLETE\r\n</SCENARIO_STATES>\r\n";
    WriteFileBytes("config.bin", kOld);
    {
        CGame kGame;
        ASSERT_TRUE(kGame.Init("Orvane Game"));
        rlimit kLimit{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &kLimit), 0);
        rlimit kSmall = kLimit;
        kSmall.rlim_cur = kOld.size() + 4;
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kSmall), 0);
        // Not captured: the capture's own file would meet the limit too.
        (void)kGame.Start();
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &kLimit), 0);
    }
    EXPECT_EQ(ReadFileBytes("config.bin"), kOld);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("config.bin.tmp")));

    WriteFileBytes("outside.txt", "outside");
    std::filesystem::create_symlink(std::filesystem::absolute("outside.txt"), "config.bin.tmp");
    (void)StartGame();
    EXPECT_EQ(ReadFileBytes("config.bin"),
              "<SCENARIO_STATES>\r\nCOMPLETE\r\nOPEN\r\nOPEN\r\n</SCENARIO_STATES>\r\n");
    EXPECT_EQ(ReadFileBytes("outside.txt"), "outside");
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status("config.bin.tmp")));
}

TEST_F(CGameStartUpTest, WithoutTheCursorImageTheGameDoesNotStartAndSaysWhy)
{
    std::filesystem::remove("cursor.tga");
    std::vector<std::string> kBoxes;
    os::SetMessageBoxHook([&](os::WindowHandle, std::string_view kText, std::string_view kCaption, std::uint32_t) {
        kBoxes.push_back(std::string(kCaption) + ": " + std::string(kText));
        return 1;
    });
    CGame kGame;
    ASSERT_TRUE(kGame.Init("Orvane Game"));
    EXPECT_FALSE(kGame.Start());
    ASSERT_EQ(kBoxes.size(), 1u);
    EXPECT_EQ(kBoxes[0], "Application Error: Cannot start: the cursor image \"cursor.tga\" is missing or unreadable in " +
                             os::GetCurrentFolder() + ".");

    // An empty file is no better.
    WriteFileBytes("cursor.tga", "");
    CGame kOther;
    kBoxes.clear();
    ASSERT_TRUE(kOther.Init("Orvane Game"));
    EXPECT_FALSE(kOther.Start());
    EXPECT_EQ(kBoxes.size(), 1u);

    // Any letter case finds it.
    WriteFileBytes("CURSOR.TGA", TinyTgaBytes());
    std::filesystem::remove("cursor.tga");
    CGame kThird;
    kBoxes.clear();
    ASSERT_TRUE(kThird.Init("Orvane Game"));
    EXPECT_TRUE(kThird.Start());
    EXPECT_TRUE(kBoxes.empty());
}
