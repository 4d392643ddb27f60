// The demo data written again over itself: the same files, untouched where
// their bytes are the same, the player's own kept and damaged data mended.

#include "tools/COrvaneDemoData.h"

#include "framework/COrvaneDebugOptions.h"
#include "framework/COrvaneRenderer.h"
#include "framework/COrvaneTagTree.h"
#include "tests/tools/DemoDataFolderTest.h"
#include "tests/tools/DemoTestSupport.h"
#include "tools/COrvaneDemoLevel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace
{
class COrvaneDemoDataRebuildTest : public demotest::DemoDataFolderTest
{
};

TEST_F(COrvaneDemoDataRebuildTest, RebuildingGivesTheSameFiles)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    const std::string kSetup = Read(m_kFolder / "setup.xml");
    const std::string kData = Read(m_kFolder / "data.xml");
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    EXPECT_EQ(Read(m_kFolder / "setup.xml"), kSetup);
    EXPECT_EQ(Read(m_kFolder / "data.xml"), kData);
    const std::string kModel = Read(m_kFolder / "models" / "prisoner.nif");
    const std::string kAnimations = Read(m_kFolder / "models" / "prisoner.kf");
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    EXPECT_EQ(Read(m_kFolder / "models" / "prisoner.nif"), kModel);
    EXPECT_EQ(Read(m_kFolder / "models" / "prisoner.kf"), kAnimations);
}

// Every file under the folder with its bytes, by path relative to it.
std::map<std::string, std::string> Snapshot(const std::filesystem::path& kFolder)
{
    std::map<std::string, std::string> kFiles;
    for (const auto& kEntry : std::filesystem::recursive_directory_iterator(kFolder))
        if (kEntry.is_regular_file())
        {
            std::ifstream kIn(kEntry.path(), std::ios::binary);
            kFiles[kEntry.path().lexically_relative(kFolder).generic_string()] =
                std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
        }
    return kFiles;
}

TEST_F(COrvaneDemoDataRebuildTest, ASecondRunChangesNoFile)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    const std::map<std::string, std::string> kFirst = Snapshot(m_kFolder);
    ASSERT_GT(kFirst.size(), 100u);
    // The levels among them, each in a file of its own.
    for (const DemoLevel& kLevel : DEMO_LEVELS)
        EXPECT_EQ(kFirst.count(kLevel.m_pcFile), 1u) << kLevel.m_pcFile;
    // Every file dated far back: a file written again gets today's time.
    const auto kLongAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 365);
    for (const auto& [kPath, kBytes] : kFirst)
        std::filesystem::last_write_time(m_kFolder / kPath, kLongAgo);
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    EXPECT_EQ(Snapshot(m_kFolder), kFirst);
    for (const auto& [kPath, kBytes] : kFirst)
        EXPECT_EQ(std::filesystem::last_write_time(m_kFolder / kPath), kLongAgo) << kPath;
}

TEST_F(COrvaneDemoDataRebuildTest, PlayerStateSurvivesARebuildAndDamagedDataIsMended)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    const std::string kLanguage = Read(m_kFolder / "language.xml");
    const std::string kData = Read(m_kFolder / "data.xml");
    ASSERT_TRUE(std::filesystem::is_directory(m_kFolder / "maps"));
    ASSERT_FALSE(kLanguage.empty());
    // The player's settings, scenario states and a save; the game data
    // damaged and a language file lost.
    const std::string kSetup = "<Game_Data>\r\n<Current_Language>\r\n2\r\n</Current_Language>\r\n</Game_Data>\r\n";
    const std::string kStates = "<SCENARIO_STATES>\r\nCOMPLETE\r\n</SCENARIO_STATES>\r\n";
    std::ofstream(m_kFolder / "setup.xml", std::ios::binary) << kSetup;
    std::ofstream(m_kFolder / "config.bin", std::ios::binary) << kStates;
    std::filesystem::create_directories(m_kFolder / "maps" / "mine");
    std::ofstream(m_kFolder / "maps" / "mine" / "mine.fds", std::ios::binary) << "saved";
    std::ofstream(m_kFolder / "data.xml", std::ios::binary) << kData.substr(0, kData.size() / 2);
    std::filesystem::remove(m_kFolder / "language.xml");

    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    EXPECT_EQ(Read(m_kFolder / "setup.xml"), kSetup);
    EXPECT_EQ(Read(m_kFolder / "config.bin"), kStates);
    EXPECT_EQ(Read(m_kFolder / "maps" / "mine" / "mine.fds"), "saved");
    EXPECT_EQ(Read(m_kFolder / "data.xml"), kData);
    EXPECT_EQ(Read(m_kFolder / "language.xml"), kLanguage);

    // Missing player state is made again.
    std::filesystem::remove(m_kFolder / "setup.xml");
    std::filesystem::remove(m_kFolder / "config.bin");
    std::filesystem::remove_all(m_kFolder / "maps");
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    EXPECT_NE(Read(m_kFolder / "setup.xml").find("<Current_Language>\r\n0\r\n"), std::string::npos);
    EXPECT_EQ(Read(m_kFolder / "config.bin"), "<SCENARIO_STATES>\r\nOPEN\r\n</SCENARIO_STATES>\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(m_kFolder / "maps"));
}
} // namespace
