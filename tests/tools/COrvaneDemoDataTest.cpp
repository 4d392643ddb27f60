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
class COrvaneDemoDataTest : public demotest::DemoDataFolderTest
{
};

TEST_F(COrvaneDemoDataTest, TheGameReadsEverySettingItWrites)
{
    const std::filesystem::path kData = m_kFolder / "nested" / "demo-data";
    ASSERT_TRUE(BuildDemoData(kData.string()));
    EXPECT_TRUE(std::filesystem::is_directory(kData / "models"));
    EXPECT_TRUE(std::filesystem::is_regular_file(kData / "models" / "prisoner.nif"));
    EXPECT_TRUE(std::filesystem::is_regular_file(kData / "models" / "prisoner.kf"));
    EXPECT_TRUE(std::filesystem::is_regular_file(kData / "models" / "sign.nif"));

    COrvaneTagTree kSetup;
    ASSERT_TRUE(kSetup.Load((kData / "setup.xml").c_str()));
    const NiColorRGBA kColor = COrvaneRenderer::ReadBackgroundColor(kSetup);
    EXPECT_FLOAT_EQ(kColor.r, 40 * 0.003921569f);
    EXPECT_FLOAT_EQ(kColor.g, 56 * 0.003921569f);
    EXPECT_FLOAT_EQ(kColor.b, 80 * 0.003921569f);
    EXPECT_FLOAT_EQ(kColor.a, 255 * 0.003921569f);
    ASSERT_TRUE(kSetup.SelectSection("Debug_Data", true));
    ASSERT_TRUE(kSetup.FindChild("DebugFile"));
    EXPECT_EQ(kSetup.GetValues().size(), 1u);

    // Text files of the game: CR LF line ends throughout.
    const std::string kBytes = Read(kData / "setup.xml");
    EXPECT_EQ(kBytes.rfind("<Game_Data>\r\n<BGr>\r\n40\r\n</BGr>\r\n", 0), 0u);
    for (std::size_t i = 0; i < kBytes.size(); ++i)
    {
        if (kBytes[i] == '\n')
        {
            ASSERT_GT(i, 0u);
            EXPECT_EQ(kBytes[i - 1], '\r') << i;
        }
    }

    std::filesystem::current_path(kData);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(COrvaneDebugOptions::Get().Load());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(COrvaneDebugOptions::Get().GetClumpLoad());
    EXPECT_FALSE(COrvaneDebugOptions::Get().GetFullTrace());
}

TEST_F(COrvaneDemoDataTest, AFileInTheWayOfTheDataFailsAndKeepsIt)
{
    // A folder where the game data belongs: the run fails and says why.
    std::filesystem::create_directories(m_kFolder / "language.xml");
    std::ofstream(m_kFolder / "language.xml" / "keep", std::ios::binary) << "keep";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BuildDemoData(m_kFolder.string()));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("language.xml"), std::string::npos);
    EXPECT_EQ(Read(m_kFolder / "language.xml" / "keep"), "keep");
}

TEST_F(COrvaneDemoDataTest, AFolderThatCannotBeMadeFails)
{
    std::ofstream(m_kFolder / "file") << "x";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BuildDemoData((m_kFolder / "file" / "demo").string()));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot make the folder"), std::string::npos);
}
} // namespace

TEST_F(COrvaneDemoDataTest, PropsComeWithTexturesAnEmptyAnimationFileAndTemplates)
{
    ASSERT_TRUE(BuildDemoData(m_kFolder.string()));
    const std::filesystem::path kProps = m_kFolder / "models" / "props";
    for (const char* pcName : {"crate.nif", "crate.tga", "lamp.nif", "lamp.tga"})
    {
        ASSERT_TRUE(std::filesystem::is_regular_file(kProps / pcName)) << pcName;
        EXPECT_GT(std::filesystem::file_size(kProps / pcName), 0u) << pcName;
    }
    EXPECT_EQ(std::filesystem::file_size(kProps / "lamp.kf"), 0u);
    // An 8 x 8 true-colour image: 18 header bytes and 3 bytes a pixel.
    EXPECT_EQ(std::filesystem::file_size(kProps / "crate.tga"), 18u + 8u * 8u * 3u);
    EXPECT_NE(Read(kProps / "crate.nif").find("crate\r\nstackable"), std::string::npos);

    COrvaneTagTree kData;
    ASSERT_TRUE(kData.Load((m_kFolder / "data.xml").c_str()));
    ASSERT_TRUE(kData.SelectSection("TEMPLATES", true));
    ASSERT_TRUE(kData.FindChild(nullptr));
    ASSERT_TRUE(kData.FindChild("plans"));
    ASSERT_TRUE(kData.FindChild("lamp"));
    ASSERT_EQ(kData.GetValues().size(), 3u);
    EXPECT_EQ(kData.GetValues()[0], "models/props/lamp.nif");
    ASSERT_TRUE(kData.FindChild("prerequisits"));
    EXPECT_EQ(kData.GetValues().size(), 1u);
    // The debug switches are still read.
    EXPECT_TRUE(kData.SelectSection("DEBUG", true));
}
