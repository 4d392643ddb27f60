#include "framework/COrvaneApplication.h"
#include "framework/COrvaneBase.h"
#include "framework/COrvaneDebugOptions.h"
#include "framework/COrvaneGame.h"
#include "framework/COrvaneLocale.h"
#include "framework/COrvaneTagTree.h"
#include "framework/COrvaneUtility.h"
#include "platform/os/OsDefs.h"
#include "platform/os/OsDialog.h"
#include "tests/framework/FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class COrvaneGameTest : public FrameworkTest
{
protected:
    // What loading the debug options of this data.xml writes to stderr.
    static std::string LoadOptions(const char* pcDataFile)
    {
        if (pcDataFile != nullptr)
            WriteFileBytes("data.xml", pcDataFile);
        testing::internal::CaptureStderr();
        COrvaneDebugOptions::Get().Load();
        return testing::internal::GetCapturedStderr();
    }

    static std::string ErrorBlock(const std::string& kMessage)
    {
        return "\n\n" + std::string(62, '/') + "\nORVANE ERROR\n" + kMessage +
               "Are your project settings correct - start in dir may be empty :)\n" + std::string(65, '/') + "\n\n";
    }
};

class TestLocale : public COrvaneLocale
{
public:
    void ReleaseLocale() override { ++m_iReleased; }
    int m_iReleased = 0;
};

TEST_F(COrvaneGameTest, UpdateCapsTheStepAndSkipsOnRequest)
{
    COrvaneGame kGame;
    EXPECT_TRUE(kGame.Init("Orvane Game"));
    EXPECT_STREQ(kGame.GetName(), "Orvane Game");
    ASSERT_NE(kGame.GetLists(), nullptr);
    kGame.Update(0.2f);
    EXPECT_FLOAT_EQ(kGame.GetFrameTimes().m_fFrameTime, 0.05f);
    kGame.Update(0.03f);
    EXPECT_FLOAT_EQ(kGame.GetFrameTimes().m_fFrameTime, 0.03f);
    kGame.Update(0.05f);
    EXPECT_FLOAT_EQ(kGame.GetFrameTimes().m_fFrameTime, 0.05f);
    EXPECT_FLOAT_EQ(kGame.GetFrameTimes().m_fTotalTime, 0.13f);

    kGame.SetSkipNextUpdate(true);
    kGame.Update(0.04f);
    EXPECT_EQ(kGame.GetFrameTimes().m_fFrameTime, 0.0f);
    EXPECT_EQ(kGame.GetFrameTimes().m_fTotalTime, 0.0f);
    EXPECT_FALSE(kGame.GetSkipNextUpdate());
    kGame.Update(0.01f);
    EXPECT_FLOAT_EQ(kGame.GetFrameTimes().m_fTotalTime, 0.01f);
}

TEST_F(COrvaneGameTest, DestroyReleasesTheMembersAndClearsTheFields)
{
    auto pkLocale = std::make_unique<TestLocale>();
    TestLocale* pkLink = pkLocale.get();
    COrvaneGame kGame;
    ASSERT_TRUE(kGame.Init("g"));
    kGame.SetLocale(std::move(pkLocale));
    kGame.SetDataDocument(std::make_unique<COrvaneTagTree>());
    kGame.SetScreenSize(1024, 768);
    kGame.SetState(3);
    EXPECT_EQ(kGame.GetScreenWidth(), 1024);
    EXPECT_EQ(pkLink->m_iReleased, 0);
    kGame.Destroy();
    EXPECT_EQ(kGame.GetLocale(), nullptr);
    EXPECT_EQ(kGame.GetDataDocument(), nullptr);
    EXPECT_EQ(kGame.GetLists(), nullptr);
    EXPECT_EQ(kGame.GetState(), 0);
    EXPECT_EQ(kGame.GetScreenHeight(), 0);
    EXPECT_STREQ(kGame.GetName(), "g"); // the name goes with the object only
    std::uint32_t uiAdapter = 5;
    std::uint32_t uiMode = 6;
    EXPECT_TRUE(kGame.ChooseDisplayMode(uiAdapter, uiMode));
}

TEST_F(COrvaneGameTest, NameSlotsCopyAndClear)
{
    COrvaneBase kObject;
    EXPECT_EQ(kObject.GetName(), nullptr);
    std::string kText = "first";
    kObject.SetName(kText.c_str());
    kText = "changed";
    EXPECT_STREQ(kObject.GetName(), "first");
    kObject.SetName(nullptr);
    EXPECT_EQ(kObject.GetName(), nullptr);
    kObject.SetName(nullptr);
    EXPECT_EQ(kObject.GetName(), nullptr);
}

TEST_F(COrvaneGameTest, DebugOptionsDefaults)
{
    const COrvaneDebugOptions& kOptions = COrvaneDebugOptions::Get();
    EXPECT_FALSE(kOptions.GetFullTrace());
    EXPECT_TRUE(kOptions.GetClumpLoad());
    EXPECT_TRUE(kOptions.GetAssetPool());
    EXPECT_TRUE(kOptions.GetStreamChecking());
    EXPECT_TRUE(kOptions.GetDebugTxtOnScreen());
    EXPECT_TRUE(kOptions.GetHasStartupScreen());
    EXPECT_FALSE(kOptions.GetReadTxd());
    EXPECT_FALSE(kOptions.GetCameraCoords());
}

TEST_F(COrvaneGameTest, DebugOptionsReportEachMissingPartExactly)
{
    EXPECT_EQ(LoadOptions(nullptr),
              ErrorBlock("COULDN'T FIND data.xml - are you running in the right directory\n"));
    EXPECT_EQ(LoadOptions("<TEMPLATES>\r\n</TEMPLATES>\r\n"),
              ErrorBlock("COULDN'T FIND DEBUG TAG in data.xml - are you running in the right directory\n"));
    EXPECT_EQ(LoadOptions("<DEBUG>\r\nvalue only\r\n</DEBUG>\r\n"),
              ErrorBlock("COULDN'T FIND DEBUG CHILD in data.xml - are you running in the right directory\n"));
    EXPECT_TRUE(COrvaneDebugOptions::Get().GetClumpLoad()); // nothing changed
}

TEST_F(COrvaneGameTest, DebugOptionsReadEveryChildByItsFirstValue)
{
    const char* pcData = "<DEBUG>\r\n"
                         "<clumpload>\r\n0\r\n</clumpload>\r\n"
                         "<readtxd>\r\n1yes\r\n</readtxd>\r\n"
                         "<assetpool>\r\nx1\r\n</assetpool>\r\n"
                         "<cameracoords>\r\n</cameracoords>\r\n" // a lone empty line
                         "<streamchecking>\r\n<inner>\r\n1\r\n</inner>\r\n</streamchecking>\r\n" // no value
                         "<>\r\n1\r\n</>\r\n"
                         "<unknown>\r\n1\r\n</unknown>\r\n"
                         "<debugtxtonscreen>\r\n0\r\n1\r\n</debugtxtonscreen>\r\n"
                         "</DEBUG>\r\n";
    EXPECT_EQ(LoadOptions(pcData), "");
    const COrvaneDebugOptions& kOptions = COrvaneDebugOptions::Get();
    EXPECT_FALSE(kOptions.GetClumpLoad());
    EXPECT_TRUE(kOptions.GetReadTxd());
    EXPECT_FALSE(kOptions.GetAssetPool());
    EXPECT_FALSE(kOptions.GetCameraCoords());
    EXPECT_FALSE(kOptions.GetStreamChecking());
    EXPECT_FALSE(kOptions.GetDebugTxtOnScreen());
    EXPECT_TRUE(kOptions.GetHasStartupScreen());
    EXPECT_FALSE(kOptions.GetFullTrace());
}

TEST_F(COrvaneGameTest, DebugChildrenTooShortToNameASwitchAreSkipped)
{
    // A lone "<" is a child named "<": one character, no brackets to strip.
    EXPECT_EQ(LoadOptions("<DEBUG>\n<\n1\n</>\n<readtxd>\n1\n</readtxd>\n</DEBUG>\n"), "");
    EXPECT_TRUE(COrvaneDebugOptions::Get().GetReadTxd());
    EXPECT_FALSE(COrvaneDebugOptions::Get().GetFullTrace());
}

TEST_F(COrvaneGameTest, FullTraceFreezesEveryLaterSwitch)
{
    EXPECT_EQ(LoadOptions("<DEBUG>\n<readtxd>\n1\n</readtxd>\n<fulltrace>\n1\n</fulltrace>\n"
                          "<clumpload>\n0\n</clumpload>\n<cameracoords>\n1\n</cameracoords>\n</DEBUG>\n"),
              "");
    const COrvaneDebugOptions& kOptions = COrvaneDebugOptions::Get();
    EXPECT_TRUE(kOptions.GetFullTrace());
    EXPECT_TRUE(kOptions.GetReadTxd());
    EXPECT_TRUE(kOptions.GetClumpLoad());
    EXPECT_FALSE(kOptions.GetCameraCoords());
    COrvaneDebugOptions::Get().SetOption("readtxd", false);
    EXPECT_TRUE(kOptions.GetReadTxd());
}

TEST_F(COrvaneGameTest, ErrorBoxUsesTheGamesCaptionAndStyle)
{
    std::string kText;
    std::string kCaption;
    std::uint32_t uiStyle = 0;
    int iBoxes = 0;
    os::SetMessageBoxHook([&](os::WindowHandle pkOwner, std::string_view kT, std::string_view kC, std::uint32_t uiS) {
        EXPECT_EQ(pkOwner, nullptr);
        kText = kT;
        kCaption = kC;
        uiStyle = uiS;
        ++iBoxes;
        return os::IDOK;
    });
    ShowErrorBox("Something broke");
    EXPECT_EQ(iBoxes, 1);
    EXPECT_EQ(kText, "Something broke");
    EXPECT_EQ(kCaption, "Application Error");
    EXPECT_EQ(uiStyle, 0x10u | 0x2000u | 0x40000u);
}

TEST_F(COrvaneGameTest, WorkingDirectoryNameIsTheLastComponent)
{
    EXPECT_EQ(GetLastPathComponent("/home/player/Orvane"), "Orvane");
    EXPECT_EQ(GetLastPathComponent("C:\\Games\\Orvane"), "Orvane");
    EXPECT_EQ(GetLastPathComponent("/"), "");
    EXPECT_EQ(GetLastPathComponent("C:\\"), "");
    EXPECT_EQ(GetLastPathComponent("plain"), "plain");
    EXPECT_EQ(GetWorkingDirectoryName(), Folder().filename().string());
    std::string kText;
    GetWorkingDirectory(kText);
    EXPECT_EQ(kText, Folder().string());
    GetEmptyText(kText);
    EXPECT_TRUE(kText.empty());
}

TEST_F(COrvaneGameTest, FileExistsNonEmptyNeedsAByte)
{
    WriteFileBytes("empty.bin", "");
    WriteFileBytes("one.bin", "1");
    EXPECT_FALSE(FileExistsNonEmpty("empty.bin"));
    EXPECT_FALSE(FileExistsNonEmpty("none.bin"));
    EXPECT_TRUE(FileExistsNonEmpty("ONE.BIN"));
}

TEST_F(COrvaneGameTest, SettingsGiveTheLanguageAndTheDebugFile)
{
    TestLocale kLocale;
    EXPECT_TRUE(kLocale.ReadLanguage()); // no settings: nothing read
    EXPECT_EQ(kLocale.GetLanguage(), 0);
    EXPECT_EQ(ReadDebugFileSetting(), "");

    WriteFileBytes("setup.xml", "<Game_Data>\r\n<BGr>\r\n1\r\n</BGr>\r\n<Language>\r\n3\r\n</Language>\r\n"
                                "</Game_Data>\r\n<Debug_Data>\r\n<DebugFile>\r\ndebug.txt\r\n</DebugFile>\r\n"
                                "</Debug_Data>\r\n");
    COrvaneApplication::LoadSettings();
    EXPECT_TRUE(kLocale.ReadLanguage());
    EXPECT_EQ(kLocale.GetLanguage(), 3);
    EXPECT_EQ(ReadDebugFileSetting(), "debug.txt");
}

TEST_F(COrvaneGameTest, LanguageMissingFromTheSettingsKeepsTheDefault)
{
    // The section's own number is not the language.
    WriteFileBytes("setup.xml", "<Game_Data>\r\n7\r\n<BGr>\r\n1\r\n</BGr>\r\n</Game_Data>\r\n");
    COrvaneApplication::LoadSettings();
    TestLocale kLocale;
    EXPECT_TRUE(kLocale.ReadLanguage());
    EXPECT_EQ(kLocale.GetLanguage(), 0);
}
} // namespace
