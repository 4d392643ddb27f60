#include "game/shell/CStartUp.h"

#include "framework/COrvaneRendererFactory.h"
#include "game/shell/CGame.h"
#include "platform/os/OsDialog.h"
#include "platform/os/OsDialogWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/framework/TestRenderer.h"
#include "tests/platform/os/OsInputInjection.h"
#include "tools/COrvaneDemoLauncher.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace
{
using Step = std::function<void(CStartUp&, os::DialogWindow&)>;

// Three adapters; the first lists the usual cases of the mode list.
class CStartUpTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        CStartUp::ResetStatics();
        CStartUp::SetShownWhenHeadless(true);
        m_kFactory.m_kAdapters = {
            {"Zeta card",
             {{800, 600, 32, 22},
              {1024, 768, 32, 22},
              {1280, 960, 32, 22},
              {1280, 1024, 16, 22},
              {1600, 1200, 32, 22},
              {1920, 1200, 32, 22},
              {1024, 768, 32, 99}}}, // listed by the adapter, refused by FindMode
            {"Alpha card", {{1024, 768, 32, 22}}},
            {"Third card", {{1024, 768, 32, 22}}}};
        COrvaneRendererFactory::Set(&m_kFactory);
    }
    void TearDown() override
    {
        CStartUp::ResetStatics();
        FrameworkTest::TearDown();
    }

    // Runs the launcher, doing one step each time it waits for input; after
    // the last step the window is closed, so a run always ends.
    bool RunWith(CStartUp& kStartUp, std::vector<Step> kSteps)
    {
        std::size_t uiNext = 0;
        os::SetDialogIdleHook([&](os::DialogWindow& kWindow) {
            if (uiNext < kSteps.size())
                kSteps[uiNext++](kStartUp, kWindow);
            else
                ostest::InjectDialogClose(kWindow.GetWindowId());
        });
        const bool bPlay = kStartUp.Run();
        os::SetDialogIdleHook(nullptr);
        m_uiStepsDone = uiNext;
        return bPlay;
    }

    static Step Click(int iX, int iY)
    {
        return [iX, iY](CStartUp&, os::DialogWindow& kWindow) {
            ostest::InjectDialogMotion(kWindow.GetWindowId(), iX, iY);
            ostest::InjectDialogClick(kWindow.GetWindowId(), iX, iY);
        };
    }
    static Step Check(std::function<void(CStartUp&, os::DialogWindow&)> fnCheck) { return fnCheck; }

    static void WriteBitmap(const std::string& kPath, std::uint32_t uiWidth, std::uint32_t uiHeight,
                            std::uint32_t uiColour)
    {
        std::filesystem::create_directories(std::filesystem::path(kPath).parent_path());
        const std::vector<std::uint8_t> kBytes =
            MakeBmp24(uiWidth, uiHeight, std::vector<std::uint32_t>(uiWidth * uiHeight, uiColour));
        WriteFileBytes(kPath, std::string(kBytes.begin(), kBytes.end()));
    }

    TestRendererFactory m_kFactory;
    std::size_t m_uiStepsDone = 0;
};

// The text buttons a screen without bitmaps gets: Play, then Exit.
constexpr int PLAY_X = 450, EXIT_X = 570, TEXT_BUTTON_Y = 436;

const std::string STORED_MODE =
    "<Game_Data>\r\n<Current_Language>\r\n7\r\n</Current_Language>\r\n</Game_Data>\r\n"
    "<Application_Data>\r\n<ModeIndex>\r\n3\r\n</ModeIndex>\r\n<VideoModeBits>\r\n32\r\n</VideoModeBits>\r\n"
    "<VideoModeWidth>\r\n1280\r\n</VideoModeWidth>\r\n<VideoModeHeight>\r\n1024\r\n</VideoModeHeight>\r\n"
    "<Other>\r\nx\r\n</Other>\r\n</Application_Data>\r\n";

// The same with English stored: the options screen, the lists shown.
std::string OptionsScreen()
{
    std::string kText = STORED_MODE;
    kText.replace(kText.find("7\r\n"), 1, "0");
    return kText;
}

std::string SavedMode(const char* pcWindowed, const char* pcWidth, const char* pcHeight, const char* pcBits,
                      const char* pcIndex)
{
    return std::string("<Game_Data>\r\n<Current_Language>\r\n0\r\n</Current_Language>\r\n</Game_Data>\r\n"
                       "<Application_Data>\r\n<Other>\r\nx\r\n</Other>\r\n<Windowed>\r\n") +
           pcWindowed + "\r\n</Windowed>\r\n<VideoModeWidth>\r\n" + pcWidth +
           "\r\n</VideoModeWidth>\r\n<VideoModeHeight>\r\n" + pcHeight + "\r\n</VideoModeHeight>\r\n<VideoModeBits>\r\n" +
           pcBits + "\r\n</VideoModeBits>\r\n<ModeIndex>\r\n" + pcIndex + "\r\n</ModeIndex>\r\n</Application_Data>\r\n";
}

std::vector<std::string> Entries(const os::DialogWindow& kWindow, int iPicker)
{
    std::vector<std::string> kTexts;
    for (int i = 0; i < kWindow.GetItemCount(iPicker); ++i)
        kTexts.push_back(kWindow.GetItemText(iPicker, i));
    return kTexts;
}

// The y of entry i in an open list at (x, y) with a closed height of 20.
int Row(int iListY, int iEntry)
{
    return iListY + 20 + 1 + iEntry * 16 + 8;
}

TEST_F(CStartUpTest, TheListsFollowTheStoredModeAndPlayPutsTheFourKeysLast)
{
    WriteFileBytes("setup.xml", STORED_MODE);
    CStartUp kStartUp;
    bool bChecked = false;
    const bool bPlay = RunWith(kStartUp, {Check([&](CStartUp& kOpen, os::DialogWindow& kWindow) {
                                              bChecked = true;
                                              // Two of three adapters, sorted by name, each with its own number.
                                              EXPECT_EQ(kOpen.GetAdapterNames(),
                                                        (std::vector<std::string>{"Zeta card", "Alpha card"}));
                                              const int iAdapters = kOpen.GetAdapterList();
                                              EXPECT_EQ(Entries(kWindow, iAdapters),
                                                        (std::vector<std::string>{"Alpha card", "Zeta card"}));
                                              EXPECT_EQ(kWindow.GetItemData(iAdapters, 0), 1);
                                              EXPECT_EQ(kWindow.GetSelection(iAdapters), 1);
                                              // 800 and 1920 wide are not listed, nor the refused mode;
                                              // the last fitting 32-bit mode is chosen.
                                              const int iModes = kOpen.GetModeList();
                                              EXPECT_EQ(Entries(kWindow, iModes),
                                                        (std::vector<std::string>{
                                                            "1024 x 768 x 32 bit", "1280 x 960 x 32 bit",
                                                            "1280 x 1024 x 16 bit", "1600 x 1200 x 32 bit",
                                                            "1024 x 768 window"}));
                                              EXPECT_EQ(kWindow.GetSelection(iModes), 1);
                                              EXPECT_EQ(kOpen.GetMode(), 2);
                                              // Stored language 7: the language screen, lists hidden, and
                                              // with no bitmaps the two text buttons.
                                              EXPECT_EQ(kOpen.GetScreen(), CStartUp::SCREEN_LANGUAGE);
                                              EXPECT_FALSE(kWindow.IsPickerShown(iModes));
                                              EXPECT_EQ(kOpen.GetTextButtons().size(), 2u);
                                          }),
                                          Click(PLAY_X, TEXT_BUTTON_Y)});
    EXPECT_TRUE(bChecked);
    EXPECT_TRUE(bPlay);
    EXPECT_EQ(kStartUp.GetEnd(), CStartUp::End::Play);
    EXPECT_EQ(kStartUp.GetAdapter(), 0);
    EXPECT_EQ(kStartUp.GetMode(), 2);
    EXPECT_FALSE(kStartUp.IsWindowed());
    EXPECT_EQ(ReadFileBytes("setup.xml"), SavedMode("0", "1280", "960", "32", "2"));
}

TEST_F(CStartUpTest, TheWindowEntryStoresWindowedAndTheFirstUsable1024Mode)
{
    WriteFileBytes("setup.xml", OptionsScreen());
    CStartUp kStartUp;
    const bool bPlay =
        RunWith(kStartUp, {Click(60, 106), Click(60, Row(96, 4)), Check([](CStartUp& kOpen, os::DialogWindow&) {
                               EXPECT_TRUE(kOpen.IsWindowed());
                               EXPECT_EQ(kOpen.GetMode(), 1);
                           }),
                           Click(PLAY_X, TEXT_BUTTON_Y)});
    ASSERT_TRUE(bPlay);
    EXPECT_EQ(kStartUp.GetMode(), 1);
    EXPECT_TRUE(kStartUp.IsWindowed());
    EXPECT_EQ(ReadFileBytes("setup.xml"), SavedMode("1", "1024", "768", "32", "1"));

    // The next start opens with the window entry chosen again.
    CStartUp kAgain;
    ASSERT_TRUE(RunWith(kAgain, {Click(PLAY_X, TEXT_BUTTON_Y)}));
    EXPECT_TRUE(kAgain.IsWindowed());
    EXPECT_EQ(kAgain.GetMode(), 1);
}

TEST_F(CStartUpTest, AnotherAdapterGetsItsOwnModesAndNothingFittingChoosesTheFirstEntry)
{
    // Stored 640 x 480: nothing fits, the first entry is chosen, not none.
    WriteFileBytes("setup.xml", "<Game_Data>\r\n<Current_Language>\r\n0\r\n</Current_Language>\r\n</Game_Data>\r\n"
                                "<Application_Data>\r\n<VideoModeWidth>\r\n640\r\n</VideoModeWidth>\r\n"
                                "<VideoModeHeight>\r\n480\r\n</VideoModeHeight>\r\n<VideoModeBits>\r\n32\r\n"
                                "</VideoModeBits>\r\n</Application_Data>\r\n");
    m_kFactory.m_kAdapters[1].m_kModes.push_back({1280, 720, 32, 22});
    CStartUp kStartUp;
    const bool bPlay = RunWith(
        kStartUp, {Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_EQ(kWindow.GetSelection(kOpen.GetModeList()), 0);
                       EXPECT_EQ(kOpen.GetMode(), 1);
                   }),
                   // "Alpha card" is the first entry of the sorted adapter list.
                   Click(60, 54), Click(60, Row(44, 0)), Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_EQ(kOpen.GetAdapter(), 1);
                       EXPECT_EQ(Entries(kWindow, kOpen.GetModeList()),
                                 (std::vector<std::string>{"1024 x 768 x 32 bit", "1280 x 720 x 32 bit",
                                                           "1024 x 768 window"}));
                       EXPECT_EQ(kWindow.GetSelection(kOpen.GetModeList()), 0);
                       EXPECT_EQ(kOpen.GetMode(), 0);
                   }),
                   Click(60, 106), Click(60, Row(96, 1)), Click(PLAY_X, TEXT_BUTTON_Y)});
    ASSERT_TRUE(bPlay);
    EXPECT_EQ(kStartUp.GetAdapter(), 1);
    EXPECT_EQ(kStartUp.GetMode(), 1);

    // An adapter without a listable mode offers only the window, on mode 0.
    m_kFactory.m_kAdapters = {{"Small card", {{800, 600, 32, 22}}}};
    CStartUp kSmall;
    ASSERT_TRUE(RunWith(kSmall, {Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
                                     EXPECT_EQ(Entries(kWindow, kOpen.GetModeList()),
                                               (std::vector<std::string>{"1024 x 768 window"}));
                                 }),
                                 Click(PLAY_X, TEXT_BUTTON_Y)}));
    EXPECT_TRUE(kSmall.IsWindowed());
    EXPECT_EQ(kSmall.GetMode(), 0);
}

// A launcher laid out from bitmaps: a backdrop and three language buttons,
// and per language a backdrop and play, help, uninstall and back buttons
// whose colours tell the language folders apart.
class CStartUpBitmapTest : public CStartUpTest
{
protected:
    static constexpr std::uint32_t BASE[3] = {0x00A000, 0x0000A0, 0xA000A0};
    static constexpr std::uint32_t LIT = 0xFF2020;
    static constexpr std::uint32_t MARKED = 0xFFD700;

    void SetUp() override
    {
        CStartUpTest::SetUp();
        WriteBitmap("images/startup/back.bmp", 640, 480, 0x101010);
        for (int i = 0; i < 3; ++i)
        {
            const std::string kLanguage = "images/startup/lang" + std::to_string(i);
            WriteBitmap(kLanguage + "_base.bmp", 100, 30, 0x404040);
            WriteBitmap(kLanguage + "_high.bmp", 100, 30, LIT);
            WriteBitmap(kLanguage + "_sel.bmp", 100, 30, MARKED);
            const std::string kFolder = std::string("images/startup/") + FOLDERS[i] + "/";
            WriteBitmap(kFolder + "back.bmp", 640, 480, 0x202020);
            WriteBitmap(kFolder + "button_base.bmp", 100, 30, BASE[i]);
            WriteBitmap(kFolder + "button_high.bmp", 100, 30, LIT);
        }
        WriteFileBytes("setup.xml", Layout("2"));
    }

    static std::string Button(const char* pcName, int iX, int iY, int iAction, int iLanguage, const std::string& kStem,
                              bool bSelected)
    {
        std::string kText = std::string("<") + pcName + ">\r\n" + std::to_string(iX) + "\r\n" + std::to_string(iY) +
                            "\r\n" + std::to_string(iX + 100) + "\r\n" + std::to_string(iY + 30) + "\r\n" +
                            std::to_string(iAction) + "\r\n" + std::to_string(iLanguage) +
                            "\r\n<Unused>\r\n1\r\n<base>\r\nback.bmp\r\n</base>\r\n</Unused>\r\n<Look>\r\n2\r\n<base>\r\n" +
                            kStem + "_base.bmp\r\n</base>\r\n<highlight>\r\n" + kStem + "_high.bmp\r\n</highlight>\r\n";
        if (bSelected)
            kText += "<selected>\r\n" + kStem + "_sel.bmp\r\n</selected>\r\n";
        return kText + "</Look>\r\n</" + pcName + ">\r\n";
    }
    static std::string Layout(const char* pcLanguage)
    {
        std::string kText = std::string("<Game_Data>\r\n<Current_Language>\r\n") + pcLanguage +
                            "\r\n</Current_Language>\r\n</Game_Data>\r\n<Startup_Screen>\r\n<Language_Directories>\r\n"
                            "english\r\ngerman\r\nfrench\r\n</Language_Directories>\r\n<Generic>\r\n"
                            "<Backdrop>\r\n0\r\n0\r\n640\r\n480\r\n<Look>\r\n0\r\n<base>\r\nback.bmp\r\n</base>\r\n"
                            "</Look>\r\n</Backdrop>\r\n";
        for (int i = 0; i < 3; ++i)
            kText += Button("Language", 400, 280 + 50 * i, 6, i, "lang" + std::to_string(i), true);
        kText += "</Generic>\r\n<Language_Specific>\r\n<Backdrop>\r\n0\r\n0\r\n640\r\n480\r\n<Look>\r\n0\r\n<base>\r\n"
                 "back.bmp\r\n</base>\r\n</Look>\r\n</Backdrop>\r\n";
        const int aiActions[4] = {1, 4, 3, 5};
        for (int i = 0; i < 4; ++i)
            kText += Button("Option", 400, 260 + 50 * i, aiActions[i], 0, "button", false);
        return kText + "</Language_Specific>\r\n</Startup_Screen>\r\n";
    }

    static constexpr const char* FOLDERS[3] = {"english", "german", "french"};
    // The options screen's buttons, from the top.
    static constexpr int PLAY_Y = 270, HELP_Y = 320, UNINSTALL_Y = 370, BACK_Y = 420;
};

TEST_F(CStartUpBitmapTest, StoredFrenchOpensTheFrenchOptionsHoverLightsAndPlayWritesTheLanguage)
{
    CStartUp kStartUp;
    const bool bPlay = RunWith(
        kStartUp,
        {Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
             EXPECT_EQ(kOpen.GetScreen(), CStartUp::SCREEN_OPTIONS);
             EXPECT_TRUE(kWindow.IsPickerShown(kOpen.GetModeList()));
             EXPECT_TRUE(kOpen.GetTextButtons().empty());
             // The backdrop, then the buttons in the third folder's colour.
             EXPECT_EQ(kWindow.ReadPixel(5, 470), 0xFF202020u);
             EXPECT_EQ(kWindow.ReadPixel(450, PLAY_Y), 0xFF000000u | BASE[2]);
             // The language set of kind 2 is current, not the kind-1 set before it.
             ASSERT_EQ(kOpen.GetLanguageButtons().size(), 4u);
             EXPECT_EQ(kOpen.GetLanguageButtons()[3]->m_pkCurrentSet->m_iKind, 2);
             EXPECT_TRUE(kOpen.GetLanguageButtons()[3]->m_bSelected);
             EXPECT_FALSE(kOpen.GetLanguageButtons()[1]->m_bSelected);
         }),
         [](CStartUp&, os::DialogWindow& kWindow) { ostest::InjectDialogMotion(kWindow.GetWindowId(), 450, PLAY_Y); },
         Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
             ASSERT_NE(kOpen.GetHovered(), nullptr);
             EXPECT_EQ(kWindow.ReadPixel(450, PLAY_Y), 0xFF000000u | LIT);
             EXPECT_EQ(kWindow.ReadPixel(450, HELP_Y), 0xFF000000u | BASE[2]);
         }),
         // The right and bottom edges are outside: nothing is lit there.
         [](CStartUp&, os::DialogWindow& kWindow) {
             ostest::InjectDialogMotion(kWindow.GetWindowId(), 500, PLAY_Y);
         },
         Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
             EXPECT_EQ(kOpen.GetHovered(), nullptr);
             EXPECT_EQ(kWindow.ReadPixel(450, PLAY_Y), 0xFF000000u | BASE[2]);
         }),
         // A click over nothing does nothing.
         Click(300, 100), Click(450, PLAY_Y)});
    ASSERT_TRUE(bPlay);
    const std::string kSaved = ReadFileBytes("setup.xml");
    EXPECT_NE(kSaved.find("<Current_Language>\r\n2\r\n</Current_Language>"), std::string::npos) << kSaved;
    EXPECT_EQ(kStartUp.GetLanguage(), 2);
    EXPECT_TRUE(kStartUp.HasLanguage());
    // Without the keys the defaults 1024 x 768 x 32 chose the first mode.
    EXPECT_NE(kSaved.find("<VideoModeWidth>\r\n1024\r\n</VideoModeWidth>\r\n<VideoModeHeight>\r\n768\r\n"
                          "</VideoModeHeight>\r\n<VideoModeBits>\r\n32\r\n</VideoModeBits>\r\n<ModeIndex>\r\n1\r\n"
                          "</ModeIndex>\r\n</Application_Data>"),
              std::string::npos)
        << kSaved;
}

TEST_F(CStartUpBitmapTest, AnUnknownLanguageOpensTheLanguageScreenAndAChoiceLoadsThatFolder)
{
    WriteFileBytes("setup.xml", Layout("5"));
    const std::string kBefore = ReadFileBytes("setup.xml");
    CStartUp kStartUp;
    const bool bPlay = RunWith(
        kStartUp, {Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_EQ(kOpen.GetScreen(), CStartUp::SCREEN_LANGUAGE);
                       EXPECT_FALSE(kWindow.IsPickerShown(kOpen.GetAdapterList()));
                       EXPECT_FALSE(kWindow.IsPickerShown(kOpen.GetModeList()));
                       EXPECT_EQ(kWindow.ReadPixel(450, 290), 0xFF404040u);
                   }),
                   Click(450, 340), Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_EQ(kOpen.GetScreen(), CStartUp::SCREEN_OPTIONS);
                       EXPECT_EQ(kOpen.GetLanguage(), 1);
                       EXPECT_TRUE(kWindow.IsPickerShown(kOpen.GetModeList()));
                       EXPECT_EQ(kWindow.ReadPixel(450, HELP_Y), 0xFF000000u | BASE[1]);
                   }),
                   // Back: the chosen language's button is marked.
                   Click(450, BACK_Y), Check([](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_EQ(kOpen.GetScreen(), CStartUp::SCREEN_LANGUAGE);
                       EXPECT_FALSE(kWindow.IsPickerShown(kOpen.GetModeList()));
                       EXPECT_EQ(kWindow.ReadPixel(450, 340), 0xFF000000u | MARKED);
                       EXPECT_EQ(kWindow.ReadPixel(450, 290), 0xFF404040u);
                       EXPECT_TRUE(kOpen.GetLanguageButtons()[2]->m_bSelected);
                   }),
                   [](CStartUp&, os::DialogWindow& kWindow) {
                       ostest::InjectDialogEscape(kWindow.GetWindowId());
                   }});
    EXPECT_FALSE(bPlay);
    EXPECT_EQ(m_uiStepsDone, 6u);
    EXPECT_EQ(kStartUp.GetEnd(), CStartUp::End::Leave);
    EXPECT_EQ(ReadFileBytes("setup.xml"), kBefore);
}

TEST_F(CStartUpBitmapTest, UninstallAndClosingEndWithoutWritingAndHelpOpensTheLanguagesPage)
{
    const std::string kBefore = ReadFileBytes("setup.xml");
    std::vector<std::string> kOpened;
    CStartUp::SetHelpOpener([&kOpened](const std::string& kPage) {
        kOpened.push_back(kPage);
        return true;
    });

    // No page yet: a line, nothing opened, the dialog stays.
    CStartUp kStartUp;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(RunWith(kStartUp, {Click(450, HELP_Y), Click(450, UNINSTALL_Y)}));
    const std::string kErrors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m_uiStepsDone, 2u);
    EXPECT_TRUE(kOpened.empty());
    EXPECT_NE(kErrors.find("no help page at ./help/fre/Help.htm"), std::string::npos) << kErrors;
    EXPECT_NE(kErrors.find("there is no uninstaller"), std::string::npos) << kErrors;
    EXPECT_EQ(kStartUp.GetEnd(), CStartUp::End::Leave);
    EXPECT_EQ(ReadFileBytes("setup.xml"), kBefore);

    // The page found whatever the letter case; the window closed: nothing written.
    std::filesystem::create_directories("help/Fre");
    WriteFileBytes("help/Fre/HELP.htm", "<html></html>");
    CStartUp kAgain;
    EXPECT_FALSE(RunWith(kAgain, {Click(450, HELP_Y)}));
    ASSERT_EQ(kOpened.size(), 1u);
    EXPECT_NE(kOpened[0].find("help/Fre/HELP.htm"), std::string::npos) << kOpened[0];
    EXPECT_EQ(ReadFileBytes("setup.xml"), kBefore);
}

// No desktop opener on the search path: the launcher says where the page
// is, as a full path the player can open by hand, on standard error and in
// its own window, in its language.
TEST_F(CStartUpBitmapTest, HelpWithoutABrowserOpenerSaysWhereThePageIs)
{
    std::filesystem::create_directories("help/fre");
    WriteFileBytes("help/fre/Help.htm", "<html></html>");
    CStartUp::SetHelpOpener(nullptr);
    const char* pcOld = std::getenv("PATH");
    const std::string kOld = pcOld != nullptr ? pcOld : "";
    std::filesystem::create_directories("empty-bin");
    setenv("PATH", (std::filesystem::current_path() / "empty-bin").string().c_str(), 1);
    const std::string kPage = (std::filesystem::current_path() / "help" / "fre" / "Help.htm").string();
    CStartUp kStartUp;
    // White pixels along the window's foot, where the notice is written.
    const auto Lit = [](const os::DialogWindow& kWindow) {
        int iLit = 0;
        for (int y = CStartUp::HEIGHT - 80; y < CStartUp::HEIGHT; ++y)
            for (int x = 0; x < CStartUp::WIDTH; ++x)
                iLit += kWindow.ReadPixel(x, y) == 0xFFFFFFFFu ? 1 : 0;
        return iLit;
    };
    int iBefore = 0;
    int iAfter = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(RunWith(kStartUp, {Check([&](CStartUp& kOpen, os::DialogWindow& kWindow) {
                                        EXPECT_TRUE(kOpen.GetHelpNotice().empty());
                                        iBefore = Lit(kWindow);
                                    }),
                                    Click(450, HELP_Y), Check([&](CStartUp& kOpen, os::DialogWindow& kWindow) {
                                        const std::string& kNotice = kOpen.GetHelpNotice();
                                        EXPECT_NE(kNotice.find("navigateur"), std::string::npos) << kNotice;
                                        EXPECT_NE(kNotice.find(kPage), std::string::npos) << kNotice;
                                        iAfter = Lit(kWindow);
                                    })}));
    const std::string kErrors = testing::internal::GetCapturedStderr();
    setenv("PATH", kOld.c_str(), 1);
    EXPECT_EQ(m_uiStepsDone, 3u);
    EXPECT_GT(iAfter, iBefore + 100);
    EXPECT_NE(kErrors.find("no browser opener (xdg-open)"), std::string::npos) << kErrors;
    EXPECT_NE(kErrors.find(kPage), std::string::npos) << kErrors;
}

// Only an opener that cannot be started puts the notice up: one that starts
// leaves the window as it was, and a missing page stays a line on standard
// error.
TEST_F(CStartUpBitmapTest, TheHelpNoticeShowsOnlyWhenNoOpenerStarts)
{
    bool bStarts = true;
    int iAsked = 0;
    CStartUp::SetHelpOpener([&](const std::string&) {
        ++iAsked;
        return bStarts;
    });
    const auto NoticeIs = [](bool bShown) {
        return Check([bShown](CStartUp& kOpen, os::DialogWindow&) {
            EXPECT_EQ(kOpen.GetHelpNotice().empty(), !bShown) << kOpen.GetHelpNotice();
        });
    };
    CStartUp kMissing;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(RunWith(kMissing, {Click(450, HELP_Y), NoticeIs(false)}));
    (void)testing::internal::GetCapturedStderr();
    EXPECT_EQ(iAsked, 0);

    std::filesystem::create_directories("help/fre");
    WriteFileBytes("help/fre/Help.htm", "<html></html>");
    CStartUp kStartUp;
    EXPECT_FALSE(RunWith(kStartUp, {Click(450, HELP_Y), NoticeIs(false), Check([&](CStartUp&, os::DialogWindow&) {
                                        bStarts = false;
                                    }),
                                    Click(450, HELP_Y), NoticeIs(true), Check([&](CStartUp&, os::DialogWindow&) {
                                        bStarts = true;
                                    }),
                                    // Opened after all: the notice goes.
                                    Click(450, HELP_Y), NoticeIs(false)}));
    EXPECT_EQ(iAsked, 3);
    EXPECT_EQ(m_uiStepsDone, 8u);
}

// The notice speaks the launcher's language: after help found no opener,
// another language chosen tells it again in that language with that
// language's page, without trying the opener again; a language without a
// page takes the notice away.
TEST_F(CStartUpBitmapTest, TheHelpNoticeFollowsTheChosenLanguage)
{
    for (const char* pcFolder : {"help/fre", "help/ger"})
    {
        std::filesystem::create_directories(pcFolder);
        WriteFileBytes(std::string(pcFolder) + "/Help.htm", "<html></html>");
    }
    int iAsked = 0;
    CStartUp::SetHelpOpener([&iAsked](const std::string&) {
        ++iAsked;
        return false;
    });
    const std::string kFrench = (std::filesystem::current_path() / "help" / "fre" / "Help.htm").string();
    const std::string kGerman = (std::filesystem::current_path() / "help" / "ger" / "Help.htm").string();
    // The notice's white strokes along the window's foot, where it is
    // written (the buttons there are coloured).
    const auto Foot = [](const os::DialogWindow& kWindow) {
        std::vector<bool> kWhite;
        for (int y = CStartUp::HEIGHT - 80; y < CStartUp::HEIGHT; ++y)
            for (int x = 0; x < CStartUp::WIDTH; ++x)
                kWhite.push_back(kWindow.ReadPixel(x, y) == 0xFFFFFFFFu);
        return kWhite;
    };
    std::vector<bool> kNone, kInFrench, kInGerman, kGone;
    CStartUp kStartUp;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(RunWith(
        kStartUp, {Check([&](CStartUp&, os::DialogWindow& kWindow) { kNone = Foot(kWindow); }),
                   Click(450, HELP_Y), Check([&](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_NE(kOpen.GetHelpNotice().find("navigateur"), std::string::npos) << kOpen.GetHelpNotice();
                       EXPECT_NE(kOpen.GetHelpNotice().find(kFrench), std::string::npos) << kOpen.GetHelpNotice();
                       kInFrench = Foot(kWindow);
                   }),
                   // Back to the languages, German chosen.
                   Click(450, BACK_Y), Click(450, 340), Check([&](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_EQ(kOpen.GetLanguage(), 1);
                       const std::string& kNotice = kOpen.GetHelpNotice();
                       EXPECT_NE(kNotice.find("Browser"), std::string::npos) << kNotice;
                       EXPECT_NE(kNotice.find(kGerman), std::string::npos) << kNotice;
                       EXPECT_EQ(kNotice.find("navigateur"), std::string::npos) << kNotice;
                       kInGerman = Foot(kWindow);
                   }),
                   // English has no page here: the notice goes.
                   Click(450, BACK_Y), Click(450, 290), Check([&](CStartUp& kOpen, os::DialogWindow& kWindow) {
                       EXPECT_EQ(kOpen.GetLanguage(), 0);
                       EXPECT_TRUE(kOpen.GetHelpNotice().empty()) << kOpen.GetHelpNotice();
                       kGone = Foot(kWindow);
                   })}));
    const std::string kErrors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m_uiStepsDone, 9u);
    EXPECT_EQ(iAsked, 1);
    EXPECT_NE(kErrors.find("no help page at ./help/eng/Help.htm"), std::string::npos) << kErrors;
    // What the window shows follows: the notice redrawn in German, then
    // cleared away.
    EXPECT_NE(kInFrench, kNone);
    EXPECT_NE(kInGerman, kInFrench);
    EXPECT_NE(kInGerman, kNone);
    EXPECT_EQ(kGone, kNone);
}

TEST_F(CStartUpTest, WithoutAnAdapterABoxSaysSoAndTheStartFails)
{
    m_kFactory.m_kAdapters.clear();
    std::vector<std::string> kBoxes;
    (void)os::SetMessageBoxHook([&kBoxes](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
        kBoxes.emplace_back(kText);
        return os::IDOK;
    });
    CStartUp kStartUp;
    EXPECT_FALSE(RunWith(kStartUp, {}));
    EXPECT_EQ(kStartUp.GetEnd(), CStartUp::End::NoDisplay);
    EXPECT_EQ(kBoxes, (std::vector<std::string>{"No display found."}));
    EXPECT_FALSE(std::filesystem::exists("setup.xml"));
}

TEST_F(CStartUpTest, TheGameTellsLeavingAtTheLauncherFromAFailedStart)
{
    WriteFileBytes("setup.xml", STORED_MODE);
    {
        CGame kGame;
        std::uint32_t uiAdapter = 7, uiMode = 7;
        CStartUp::SetShownWhenHeadless(true);
        os::SetDialogIdleHook([](os::DialogWindow& kWindow) {
            ostest::InjectDialogMotion(kWindow.GetWindowId(), EXIT_X, TEXT_BUTTON_Y);
            ostest::InjectDialogClick(kWindow.GetWindowId(), EXIT_X, TEXT_BUTTON_Y);
        });
        EXPECT_FALSE(kGame.ChooseDisplayMode(uiAdapter, uiMode));
        os::SetDialogIdleHook(nullptr);
        EXPECT_TRUE(kGame.LeftAtLauncher());
        EXPECT_EQ(uiAdapter, 7u);
        // Exit saves the choices too.
        EXPECT_EQ(ReadFileBytes("setup.xml"), SavedMode("0", "1280", "960", "32", "2"));
    }
    // On a headless driver nobody could answer: the stored mode plays, and
    // nothing is written.
    WriteFileBytes("setup.xml", STORED_MODE);
    CStartUp::SetShownWhenHeadless(false);
    CGame kGame;
    std::uint32_t uiAdapter = 7, uiMode = 7;
    testing::internal::CaptureStderr();
    EXPECT_TRUE(kGame.ChooseDisplayMode(uiAdapter, uiMode));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("playing in the stored mode"), std::string::npos);
    EXPECT_FALSE(kGame.LeftAtLauncher());
    EXPECT_EQ(uiAdapter, 0u);
    EXPECT_EQ(uiMode, 2u);
    EXPECT_EQ(ReadFileBytes("setup.xml"), STORED_MODE);
}

TEST(CStartUpBitmapFileTest, OnlyReadableWindowsBitmapsLoad)
{
    const std::filesystem::path kFolder =
        std::filesystem::temp_directory_path() / ("orvane-startup-bmp-" + std::to_string(::getpid()));
    std::filesystem::create_directories(kFolder);
    const std::vector<std::uint8_t> kBytes = MakeBmp24(3, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112});
    WriteFileBytes(kFolder / "good.bmp", std::string(kBytes.begin(), kBytes.end()));
    CStartUpBitmap kBitmap;
    ASSERT_TRUE(kBitmap.Load((kFolder / "good.bmp").string()));
    EXPECT_EQ(kBitmap.m_uiWidth, 3u);
    EXPECT_EQ(kBitmap.m_uiHeight, 2u);
    EXPECT_EQ(kBitmap.m_kPixels,
              (std::vector<std::uint32_t>{0xFF010203u, 0xFF040506u, 0xFF070809u, 0xFF0A0B0Cu, 0xFF0D0E0Fu,
                                          0xFF101112u}));
    // Cut short, empty or missing: nothing loaded, the old picture gone.
    WriteFileBytes(kFolder / "short.bmp", std::string(kBytes.begin(), kBytes.end() - 4));
    EXPECT_FALSE(kBitmap.Load((kFolder / "short.bmp").string()));
    EXPECT_FALSE(kBitmap.IsLoaded());
    WriteFileBytes(kFolder / "empty.bmp", "");
    EXPECT_FALSE(kBitmap.Load((kFolder / "empty.bmp").string()));
    EXPECT_FALSE(kBitmap.Load((kFolder / "missing.bmp").string()));
    std::filesystem::remove_all(kFolder);
}
} // namespace
