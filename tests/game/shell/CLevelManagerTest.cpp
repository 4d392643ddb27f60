#include "game/shell/CLevelManager.h"

#include "engine/scene/NiCamera.h"
#include "engine/scene/NiNode.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneWorld.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// A settings file: the clip planes, a game type block and the level files.
std::string Settings(const std::string& kGameType, const std::string& kLevels)
{
    return "<Game_Data>\r\n<NearClipPlane>\r\n1\r\n</NearClipPlane>\r\n<FarClipPlane>\r\n1000\r\n</FarClipPlane>\r\n"
           "<FogClipPlane>\r\n500\r\n</FogClipPlane>\r\n" +
           kGameType + "</Game_Data>\r\n<Level_Data>\r\n" + kLevels + "</Level_Data>\r\n";
}

class CLevelManagerTest : public EngineFrameworkTest
{
protected:
    void Load(const std::string& kText)
    {
        WriteFileBytes("setup.xml", kText);
        COrvaneApplication::LoadSettings();
        ASSERT_NE(COrvaneApplication::GetSettings(), nullptr);
    }
    void TearDown() override
    {
        COrvaneApplication::ResetSettings();
        EngineFrameworkTest::TearDown();
    }
};

TEST_F(CLevelManagerTest, TheGameTypeNamesTheChildHoldingTheLevel)
{
    struct Case
    {
        const char* pcBlock;
        std::uint32_t uiExpected;
    };
    // The manager starts at level 7 each time: a missing key, child or number keeps it.
    const Case CASES[] = {
        {"<Game_type>\r\nHard\r\n<Easy>\r\n2\r\n</Easy>\r\n<Hard>\r\n3\r\n</Hard>\r\n</Game_type>\r\n", 3},
        {"<Game_type>\r\nEasy\r\n<Easy>\r\n0\r\n</Easy>\r\n</Game_type>\r\n", 0},
        {"<Game_type>\r\nNone\r\n<Easy>\r\n2\r\n</Easy>\r\n</Game_type>\r\n", 7},
        {"<Game_type>\r\n<Easy>\r\n2\r\n</Easy>\r\n</Game_type>\r\n", 7},
        {"<Game_type>\r\nEasy\r\n<Easy>\r\nabc\r\n</Easy>\r\n</Game_type>\r\n", 7},
        {"<Game_type>\r\nEasy\r\n<Easy>\r\n</Easy>\r\n</Game_type>\r\n", 7},
        {"", 7},
    };
    for (const Case& kCase : CASES)
    {
        Load(Settings(kCase.pcBlock, ""));
        CLevelManager kLevels;
        kLevels.SetLevel(7);
        EXPECT_TRUE(kLevels.ReadGameType());
        EXPECT_EQ(kLevels.GetLevel(), kCase.uiExpected) << kCase.pcBlock;
    }
    // Without any settings document the level stays too.
    COrvaneApplication::ResetSettings();
    CLevelManager kLevels;
    EXPECT_TRUE(kLevels.ReadGameType());
    EXPECT_EQ(kLevels.GetLevel(), 1u);
}

TEST_F(CLevelManagerTest, TheWorldIsBuiltForTheCameraAndLetGoOfAgain)
{
    Load(Settings("", "<0>\r\n</0>\r\n"));
    CZelmarCamera kCamera;
    ASSERT_TRUE(kCamera.LoadSettings(1024.0f, 768.0f, 0.0f));
    CLevelManager kLevels;
    kLevels.SetCamera(&kCamera);
    kLevels.SetLevel(0);
    ASSERT_TRUE(kLevels.CreateWorld());
    COrvaneWorld* pkWorld = kLevels.GetWorld();
    ASSERT_NE(pkWorld, nullptr);
    ASSERT_NE(pkWorld->GetSceneRoot(), nullptr);
    // The camera views the level (with its fog) from the first load on.
    EXPECT_EQ(kCamera.GetEngineCamera()->GetScene(), pkWorld->GetSceneRoot());

    // A second build keeps the world.
    ASSERT_TRUE(kLevels.CreateWorld());
    EXPECT_EQ(kLevels.GetWorld(), pkWorld);

    EXPECT_TRUE(kLevels.DestroyWorld());
    EXPECT_EQ(kLevels.GetWorld(), nullptr);
    EXPECT_EQ(kCamera.GetEngineCamera()->GetScene(), nullptr);
    EXPECT_TRUE(kLevels.DestroyWorld());

    // The next level's world is viewed again.
    ASSERT_TRUE(kLevels.CreateWorld());
    EXPECT_EQ(kCamera.GetEngineCamera()->GetScene(), kLevels.GetWorld()->GetSceneRoot());
}

TEST_F(CLevelManagerTest, ALevelWithoutAnEntryStillGivesAnEmptyWorld)
{
    Load(Settings("", "<5>\r\nlevels/five.nif\r\n</5>\r\n"));
    CLevelManager kLevels;
    kLevels.SetLevel(3);
    EXPECT_TRUE(kLevels.CreateWorld());
    ASSERT_NE(kLevels.GetWorld(), nullptr);
    EXPECT_EQ(kLevels.GetWorld()->GetSceneRoot(), nullptr);
    // Updates of a world without a scene do nothing.
    kLevels.UpdateWorld(0.1f);
}

TEST_F(CLevelManagerTest, TheLevelRecordNamesTheWorldsFile)
{
    Load(Settings("", "<total>\r\n2\r\n</total>\r\n<1>\r\nlevels/a.nif\r\n</1>\r\n<2>\r\nlevels/b.nif\r\n</2>\r\n"
                      "<3>\r\nlevels/c.nif\r\n</3>\r\n"));
    CLevelManager kLevels;
    auto pkWorld = std::make_unique<COrvaneWorld>();
    pkWorld->SetName("levels/b.nif");
    kLevels.SetWorld(std::move(pkWorld));
    {
        COrvaneFile kFile;
        ASSERT_EQ(kFile.Open("level.txt", COrvaneFile::MODE_WRITE), 1);
        EXPECT_TRUE(kFile.WriteString("<TIME>\r\n"));
        EXPECT_TRUE(kLevels.Save(kFile));
        kFile.Close();
    }
    EXPECT_EQ(ReadFileBytes("level.txt"), "<TIME>\r\n<LEVEL>\r\nlevels/b.nif\r\n</LEVEL>\r\n");

    CLevelManager kRead;
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("level.txt", COrvaneFile::MODE_READ), 1);
    EXPECT_TRUE(kRead.Load(kFile));
    EXPECT_EQ(kRead.GetLevel(), 2u);

    // Entries past "total", unknown names and missing records leave the level.
    for (const char* pcText : {"<LEVEL>\r\nlevels/c.nif\r\n</LEVEL>\r\n", "<LEVEL>\r\nlevels/x.nif\r\n</LEVEL>\r\n",
                               "<TIME>\r\n0\r\n", "<LEVEL>\r\n"})
    {
        WriteFileBytes("level.txt", pcText);
        COrvaneFile kOther;
        ASSERT_EQ(kOther.Open("level.txt", COrvaneFile::MODE_READ), 1);
        kRead.SetLevel(9);
        EXPECT_FALSE(kRead.Load(kOther)) << pcText;
        EXPECT_EQ(kRead.GetLevel(), 9u) << pcText;
    }
}

TEST_F(CLevelManagerTest, AWorldWithoutANameSavesAnEmptyLine)
{
    CLevelManager kLevels;
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("level.txt", COrvaneFile::MODE_WRITE), 1);
    EXPECT_TRUE(kLevels.Save(kFile));
    kFile.Close();
    EXPECT_EQ(ReadFileBytes("level.txt"), "<LEVEL>\r\n\r\n</LEVEL>\r\n");
}
} // namespace
