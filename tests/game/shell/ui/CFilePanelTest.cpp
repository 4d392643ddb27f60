#include "game/shell/ui/CFilePanel.h"

#include "framework/COrvaneKeyboard.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "platform/os/OsDialog.h"
#include "tests/game/shell/ui/PanelTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
class CFilePanelTest : public PanelTest
{
protected:
    void SetUp() override
    {
        PanelTest::SetUp();
        os::SetMessageBoxHook([this](os::WindowHandle, std::string_view kText, std::string_view, std::uint32_t) {
            m_kBoxes.emplace_back(kText);
            return 1;
        });
        m_kStart = fs::current_path();
        fs::create_directories(m_kStart / "maps");
    }
    void TearDown() override
    {
        os::ResetMessageBoxHook();
        fs::current_path(m_kStart);
        PanelTest::TearDown();
    }

    // The panel opened as the options panel opens it: the game paused.
    CFilePanel& Open(std::int16_t sPanel)
    {
        Game().SetSavedSpeed(Game().GetGameSpeed());
        Game().SetGameSpeed(0.0f);
        Game().SetPanelPause(true);
        Ui().OpenPanel(sPanel);
        return *dynamic_cast<CFilePanel*>(Ui().GetPanel(sPanel));
    }
    static void Write(const fs::path& kPath, const std::string& kBytes)
    {
        std::ofstream(kPath, std::ios::binary) << kBytes;
    }
    static std::string Read(const fs::path& kPath)
    {
        std::ifstream kIn(kPath, std::ios::binary);
        return {std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>()};
    }
    [[nodiscard]] std::vector<std::string> Names(const CFilePanel& kPanel) const
    {
        std::vector<std::string> kNames;
        for (const COrvaneFileIOCanvas::Entry& kEntry : kPanel.GetEntries())
            kNames.push_back(kEntry.m_kName);
        return kNames;
    }
    // The game as the opener left it, the process in the start folder.
    void ExpectRestored(float fSpeed)
    {
        EXPECT_EQ(fs::current_path(), m_kStart);
        EXPECT_EQ(Game().GetGameSpeed(), fSpeed);
        EXPECT_FALSE(Game().IsInputBlocked());
        EXPECT_FALSE(Game().IsPanelPaused());
    }
    static std::size_t ObjectCount()
    {
        std::size_t uiCount = 0;
        while (CDynamicObjectManager::GetInstance()->GetObjectAt(static_cast<std::uint32_t>(uiCount)) != nullptr)
            ++uiCount;
        return uiCount;
    }
    void Press(CFilePanel& kPanel, std::int32_t iWidget) { kPanel.OnWidgetEvent(iWidget, COrvaneCanvas::EVENT_PRESSED); }

    std::vector<std::string> m_kBoxes;
    fs::path m_kStart;
};

TEST_F(CFilePanelTest, TheListShowsSavesThenFoldersAndScrollsByFive)
{
    for (const char* pcName : {"delta", "alpha", "echo", "charlie", "bravo", "foxtrot"})
        Write(m_kStart / "maps" / (std::string(pcName) + ".fds"), "x");
    Write(m_kStart / "maps" / "notes.txt", "x");
    fs::create_directory(m_kStart / "maps" / "zone");
    CFilePanel& kPanel = Open(CInterface::PANEL_LOAD);
    EXPECT_EQ(fs::current_path(), m_kStart / "maps");
    EXPECT_EQ(Names(kPanel),
              (std::vector<std::string>{"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "zone"}));

    // The rows: names at (x + 55, y + 96 + 15 r).
    Locale().m_kDrawn.clear();
    kPanel.Draw();
    const int iX = static_cast<int>(kPanel.GetX());
    const int iY = static_cast<int>(kPanel.GetY());
    EXPECT_TRUE(Locale().Drew("0 " + std::to_string(iX + 55) + "," + std::to_string(iY + 96) + " alpha"));
    EXPECT_TRUE(Locale().Drew("0 " + std::to_string(iX + 55) + "," + std::to_string(iY + 156) + " echo"));
    EXPECT_FALSE(Locale().Drew("0 " + std::to_string(iX + 55) + "," + std::to_string(iY + 171) + " foxtrot"));

    // Down: five more lie ahead, the first of them chosen without entering.
    Press(kPanel, CFilePanel::WIDGET_SCROLL_DOWN);
    EXPECT_EQ(kPanel.GetScroll(), 5);
    EXPECT_EQ(kPanel.GetSelected(), 5);
    EXPECT_EQ(kPanel.GetTypedName(), "foxtrot");
    EXPECT_TRUE(kPanel.GetWidget(CFilePanel::WIDGET_FIRST_ROW)->IsVisible());
    Press(kPanel, CFilePanel::WIDGET_SCROLL_DOWN);
    EXPECT_EQ(kPanel.GetScroll(), 5); // only two from here on
    // A row past the last entry clears the choice.
    Press(kPanel, CFilePanel::WIDGET_FIRST_ROW + 3);
    EXPECT_EQ(kPanel.GetSelected(), -1);
    EXPECT_EQ(fs::current_path(), m_kStart / "maps");
    Press(kPanel, CFilePanel::WIDGET_SCROLL_UP);
    EXPECT_EQ(kPanel.GetScroll(), 0);
    EXPECT_EQ(kPanel.GetSelected(), 0);

    // Scrolling up from 3 stops at 0.
    kPanel.OnWidgetEvent(CFilePanel::WIDGET_FIRST_ROW + 2, COrvaneCanvas::EVENT_PRESSED);
    EXPECT_EQ(kPanel.GetTypedName(), "charlie");
    Press(kPanel, CFilePanel::WIDGET_SCROLL_DOWN);
    Press(kPanel, CFilePanel::WIDGET_SCROLL_UP);
    EXPECT_EQ(kPanel.GetScroll(), 0);
}

// The drawn texts as (y, text) from the locale's record ("font x,y text").
std::vector<std::pair<int, std::string>> DrawnLines(const std::vector<std::string>& kDrawn)
{
    std::vector<std::pair<int, std::string>> kLines;
    for (const std::string& kLine : kDrawn)
    {
        const std::size_t uiComma = kLine.find(',');
        const std::size_t uiSpace = kLine.find(' ', uiComma);
        if (uiComma == std::string::npos || uiSpace == std::string::npos)
            continue;
        kLines.emplace_back(std::stoi(kLine.substr(uiComma + 1, uiSpace - uiComma - 1)), kLine.substr(uiSpace + 1));
    }
    return kLines;
}

// With the list full, the typed name still has a line of its own: below
// the five rows and below the line where an empty load panel says it has
// no saves, a row's height clear of each, inside the panel.
TEST_F(CFilePanelTest, TheTypedNameIsDrawnClearOfTheRows)
{
    for (const char* pcName : {"delta", "alpha", "echo", "charlie", "bravo", "foxtrot"})
        Write(m_kStart / "maps" / (std::string(pcName) + ".fds"), "x");
    CFilePanel& kPanel = Open(CInterface::PANEL_SAVE);
    Press(kPanel, CFilePanel::WIDGET_FIRST_ROW + 2);
    ASSERT_EQ(kPanel.GetTypedName(), "charlie");
    Locale().m_kDrawn.clear();
    kPanel.Draw();
    const int iY = static_cast<int>(kPanel.GetY());
    int iName = -1;
    std::vector<int> kRows;
    for (const auto& [iLineY, kText] : DrawnLines(Locale().m_kDrawn))
    {
        if (kText.rfind("charlie", 0) == 0 && iLineY != iY + 96 + 30)
            iName = iLineY;
        else
            kRows.push_back(iLineY);
    }
    ASSERT_EQ(kRows.size(), 5u);
    ASSERT_GE(iName, 0);
    for (const int iRow : kRows)
        EXPECT_GE(std::abs(iName - iRow), 15) << iRow;
    // Under the line an empty load panel's note takes, above the buttons.
    EXPECT_GE(iName, iY + 96 + 15 * 6);
    EXPECT_LE(iName + 15, iY + 212);
    Ui().CloseAllPanels();

    // Five folders and no save: the note takes the sixth line.
    for (int i = 0; i < 5; ++i)
        fs::create_directory(m_kStart / "maps" / ("folder" + std::to_string(i)));
    for (const char* pcName : {"delta", "alpha", "echo", "charlie", "bravo", "foxtrot"})
        fs::remove(m_kStart / "maps" / (std::string(pcName) + ".fds"));
    CFilePanel& kLoad = Open(CInterface::PANEL_LOAD);
    Locale().m_kDrawn.clear();
    kLoad.Draw();
    const std::vector<std::pair<int, std::string>> kLines = DrawnLines(Locale().m_kDrawn);
    ASSERT_GE(kLines.size(), 7u);
    std::vector<int> kYs;
    for (const auto& kLine : kLines)
        kYs.push_back(kLine.first);
    std::sort(kYs.begin(), kYs.end());
    for (std::size_t i = 1; i < kYs.size(); ++i)
        EXPECT_GE(kYs[i] - kYs[i - 1], 15) << i;
}

// A load panel over a folder without saves says so where the rows would
// be (below a folder it still lists); one with a save lists it alone.
TEST_F(CFilePanelTest, AnEmptyLoadPanelSaysThereAreNoSavedGames)
{
    fs::create_directory(m_kStart / "maps" / "zone");
    CFilePanel& kPanel = Open(CInterface::PANEL_LOAD);
    ASSERT_EQ(Names(kPanel), (std::vector<std::string>{"zone"}));
    const std::int16_t sList = Locale().FindList("InGameMessages");
    ASSERT_GE(sList, 0);
    const std::string kNotice = Locale().GetEntryText(sList, CLoadPanel::MESSAGE_NO_SAVES);
    ASSERT_FALSE(kNotice.empty());
    Locale().m_kDrawn.clear();
    kPanel.Draw();
    const int iX = static_cast<int>(kPanel.GetX());
    const int iY = static_cast<int>(kPanel.GetY());
    EXPECT_TRUE(Locale().Drew("0 " + std::to_string(iX + 55) + "," + std::to_string(iY + 111) + " " + kNotice));

    Press(kPanel, CFilePanel::WIDGET_CLOSE);
    Write(m_kStart / "maps" / "alpha.fds", "x");
    CFilePanel& kAgain = Open(CInterface::PANEL_LOAD);
    Locale().m_kDrawn.clear();
    kAgain.Draw();
    EXPECT_TRUE(Locale().Drew("0 " + std::to_string(iX + 55) + "," + std::to_string(iY + 96) + " alpha"));
    EXPECT_FALSE(Locale().Drew("0 " + std::to_string(iX + 55) + "," + std::to_string(iY + 126) + " " + kNotice));
    for (const std::string& kLine : Locale().m_kDrawn)
        EXPECT_EQ(kLine.find(kNotice), std::string::npos) << kLine;
}

TEST_F(CFilePanelTest, UpStopsAtTheSaveFolderAndAtAnyFolderNamedLikeIt)
{
    fs::create_directories(m_kStart / "maps" / "old" / "mymaps");
    CFilePanel& kPanel = Open(CInterface::PANEL_SAVE);
    Press(kPanel, CFilePanel::WIDGET_UP);
    EXPECT_EQ(fs::current_path(), m_kStart / "maps");
    // The save folder itself is never offered for deletion.
    Press(kPanel, CFilePanel::WIDGET_DELETE);
    EXPECT_FALSE(Ui().IsConfirmationOpen());

    Press(kPanel, CFilePanel::WIDGET_FIRST_ROW); // into "old"
    EXPECT_EQ(fs::current_path(), m_kStart / "maps" / "old");
    Press(kPanel, CFilePanel::WIDGET_FIRST_ROW); // into "mymaps"
    EXPECT_EQ(fs::current_path(), m_kStart / "maps" / "old" / "mymaps");
    Press(kPanel, CFilePanel::WIDGET_UP);
    EXPECT_EQ(fs::current_path(), m_kStart / "maps" / "old" / "mymaps");
    Press(kPanel, CFilePanel::WIDGET_DELETE);
    EXPECT_FALSE(Ui().IsConfirmationOpen());

    kPanel.Close();
    ExpectRestored(1.0f);
}

TEST_F(CFilePanelTest, SavedIntoANewFolderThenTheSaveAndTheEmptyFolderAreDeleted)
{
    Game().SetGameSpeed(3.0f);
    CFilePanel& kPanel = Open(CInterface::PANEL_SAVE);
    kPanel.SetTypedName("cellblock");
    Press(kPanel, CFilePanel::WIDGET_NEW_FOLDER);
    ASSERT_TRUE(Ui().IsConfirmationOpen());
    EXPECT_EQ(Ui().GetConfirmPanel()->GetQuestion(), CFilePanel::QUESTION_NEW_FOLDER);
    EXPECT_EQ(Ui().GetConfirmPanel()->GetExtraText(), std::optional<std::string>("cellblock"));
    ASSERT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_TRUE(Ui().IsCanvasOpen(&kPanel, true));
    EXPECT_EQ(fs::current_path(), m_kStart / "maps" / "cellblock");

    // A new name saves at once and closes the panel.
    kPanel.SetTypedName("week one");
    Click(kPanel, CFilePanel::WIDGET_ACTION);
    EXPECT_FALSE(Ui().IsConfirmationOpen());
    EXPECT_FALSE(Ui().IsCanvasOpen(&kPanel, true));
    ExpectRestored(3.0f);
    const fs::path kSave = m_kStart / "maps" / "cellblock" / "week one.fds";
    ASSERT_TRUE(fs::exists(kSave));
    EXPECT_NE(Read(kSave).find("<OBJECTS>"), std::string::npos);
    EXPECT_TRUE(m_kBoxes.empty());

    // The same name again asks first; yes writes and closes both.
    Open(CInterface::PANEL_SAVE);
    Press(kPanel, CFilePanel::WIDGET_FIRST_ROW);
    kPanel.SetTypedName("week one");
    Press(kPanel, CFilePanel::WIDGET_ACTION);
    ASSERT_TRUE(Ui().IsConfirmationOpen());
    EXPECT_EQ(Ui().GetConfirmPanel()->GetQuestion(), CFilePanel::QUESTION_OVERWRITE);
    ASSERT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_FALSE(Ui().IsCanvasOpen(&kPanel, true));
    ExpectRestored(3.0f);

    // Delete the save (with a stray preview), then the folder it leaves empty.
    Open(CInterface::PANEL_SAVE);
    Press(kPanel, CFilePanel::WIDGET_FIRST_ROW);
    EXPECT_EQ(fs::current_path(), m_kStart / "maps" / "cellblock");
    Write(m_kStart / "maps" / "cellblock" / "week one.fdp", "p");
    Press(kPanel, CFilePanel::WIDGET_FIRST_ROW);
    ASSERT_EQ(kPanel.GetSelected(), 0);
    Press(kPanel, CFilePanel::WIDGET_DELETE);
    EXPECT_EQ(Ui().GetConfirmPanel()->GetQuestion(), CFilePanel::QUESTION_DELETE_SAVE);
    ASSERT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_FALSE(fs::exists(kSave));
    EXPECT_FALSE(fs::exists(m_kStart / "maps" / "cellblock" / "week one.fdp"));
    EXPECT_TRUE(kPanel.GetEntries().empty());
    Press(kPanel, CFilePanel::WIDGET_DELETE);
    ASSERT_TRUE(Ui().IsConfirmationOpen());
    EXPECT_EQ(Ui().GetConfirmPanel()->GetQuestion(), CFilePanel::QUESTION_DELETE_FOLDER);
    ASSERT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_FALSE(fs::exists(m_kStart / "maps" / "cellblock"));
    EXPECT_EQ(fs::current_path(), m_kStart / "maps");
    EXPECT_TRUE(Ui().IsCanvasOpen(&kPanel, true));
    Press(kPanel, CFilePanel::WIDGET_CLOSE);
    ExpectRestored(3.0f);
}

TEST_F(CFilePanelTest, AnEmptySaveIsDeletedWithItsPreview)
{
    Write(m_kStart / "maps" / "blank.fds", "");
    Write(m_kStart / "maps" / "blank.fdp", "");
    CFilePanel& kPanel = Open(CInterface::PANEL_LOAD);
    ASSERT_EQ(Names(kPanel), std::vector<std::string>{"blank"});
    ASSERT_EQ(kPanel.GetSelected(), 0);
    Press(kPanel, CFilePanel::WIDGET_DELETE);
    ASSERT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_FALSE(fs::exists(m_kStart / "maps" / "blank.fds"));
    EXPECT_FALSE(fs::exists(m_kStart / "maps" / "blank.fdp"));
    kPanel.Close();
    EXPECT_FALSE(Ui().IsLoadPanelOpen());
}

TEST_F(CFilePanelTest, NamesTheRuleRefusesTouchNothing)
{
    const fs::path kOutside = m_kStart / "outside";
    fs::create_directories(kOutside / "deep");
    Write(m_kStart / "x.fds", "keep");
    Write(kOutside / "victim.fds", "keep");
    fs::create_directory_symlink(kOutside, m_kStart / "maps" / "link");
    const auto kBefore = [&] {
        std::vector<fs::path> kAll;
        for (const fs::directory_entry& kEntry : fs::recursive_directory_iterator(m_kStart))
            kAll.push_back(kEntry.path());
        return kAll.size();
    }();

    CFilePanel& kSave = Open(CInterface::PANEL_SAVE);
    for (const char* pcName : {"../x", "..", "/tmp/x", "a/b", "", " lead", "trail ", ".hidden", "a\\b", "a:b"})
    {
        kSave.SetTypedName(pcName);
        for (const std::int32_t iWidget :
             {CFilePanel::WIDGET_NEW_FOLDER, CFilePanel::WIDGET_ACTION, CFilePanel::WIDGET_DELETE})
        {
            Press(kSave, iWidget);
            EXPECT_FALSE(Ui().IsConfirmationOpen()) << pcName << " " << iWidget;
            EXPECT_TRUE(Ui().IsCanvasOpen(&kSave, true)) << pcName;
        }
        EXPECT_EQ(kSave.PathFor(pcName, ".fds"), "") << pcName;
    }
    // Through a link out of the save folder nothing may be made or removed.
    Press(kSave, CFilePanel::WIDGET_FIRST_ROW);
    ASSERT_EQ(fs::current_path(), kOutside);
    kSave.SetTypedName("victim");
    EXPECT_EQ(kSave.PathFor("victim", ".fds"), "");
    Press(kSave, CFilePanel::WIDGET_ACTION);
    Press(kSave, CFilePanel::WIDGET_NEW_FOLDER);
    Press(kSave, CFilePanel::WIDGET_FIRST_ROW); // "victim" chosen
    Press(kSave, CFilePanel::WIDGET_DELETE);
    EXPECT_FALSE(Ui().IsConfirmationOpen());
    // Not even the confirmed steps act when called past the question.
    CSavePanel::DeleteSelected();
    CSavePanel::MakeFolder();
    CSavePanel::SaveConfirmed();
    kSave.Close();

    std::size_t uiAfter = 0;
    for ([[maybe_unused]] const fs::directory_entry& kEntry : fs::recursive_directory_iterator(m_kStart))
        ++uiAfter;
    EXPECT_EQ(uiAfter, kBefore);
    EXPECT_EQ(Read(m_kStart / "x.fds"), "keep");
    EXPECT_EQ(Read(kOutside / "victim.fds"), "keep");
    ExpectRestored(1.0f);
}

TEST_F(CFilePanelTest, EveryWayOffTheStackReturnsToTheStartFolder)
{
    fs::create_directories(m_kStart / "maps" / "sub");
    Game().SetGameSpeed(2.0f);
    CFilePanel& kLoad = Open(CInterface::PANEL_LOAD);
    Press(kLoad, CFilePanel::WIDGET_FIRST_ROW);
    ASSERT_EQ(fs::current_path(), m_kStart / "maps" / "sub");
    EXPECT_TRUE(Ui().IsLoadPanelOpen());
    // A click on a prisoner or building opens its pop-up over everything.
    Ui().ShowPopUp(CInterface::PANEL_BUILDING, nullptr, nullptr);
    EXPECT_FALSE(Ui().IsCanvasOpen(&kLoad, true));
    EXPECT_FALSE(Ui().IsLoadPanelOpen());
    ExpectRestored(2.0f);
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetPanel(CInterface::PANEL_BUILDING), false));
    // The pop-up stays: nothing asked the stack to close its top later.
    Frame(5.0f, 5.0f, false);
    EXPECT_TRUE(Ui().IsCanvasOpen(Ui().GetPanel(CInterface::PANEL_BUILDING), false));

    // A closed panel leaves the game alone.
    Game().SetGameSpeed(4.0f);
    Ui().CloseAllPanels();
    EXPECT_EQ(Game().GetGameSpeed(), 4.0f);

    CFilePanel& kSave = Open(CInterface::PANEL_SAVE);
    Press(kSave, CFilePanel::WIDGET_FIRST_ROW);
    ASSERT_EQ(fs::current_path(), m_kStart / "maps" / "sub");
    Click(kSave, CFilePanel::WIDGET_CLOSE);
    ExpectRestored(4.0f);
    EXPECT_TRUE(Ui().GetStack().GetModal().empty());
}

TEST_F(CFilePanelTest, TheGamesKeysRestWhileANameIsTyped)
{
    CFilePanel& kSave = Open(CInterface::PANEL_SAVE);
    for (const std::uint32_t uiKey : {32u, static_cast<std::uint32_t>('2')})
    {
        COrvaneKeyEvent kEvent;
        kEvent.m_uiKeyCode = uiKey;
        (void)Game().OnKey(kEvent);
    }
    EXPECT_TRUE(Ui().IsCanvasOpen(&kSave, true));
    EXPECT_EQ(Game().GetGameSpeed(), 0.0f);
    EXPECT_EQ(fs::current_path(), m_kStart / "maps");
    kSave.Close();
    ExpectRestored(1.0f);
}

TEST_F(CFilePanelTest, AFailedSaveShowsItsBoxAndThePanelStaysOpen)
{
    // A folder in the place of the save: the game cannot be written there.
    fs::create_directories(m_kStart / "maps" / "stuck.fds");
    CFilePanel& kSave = Open(CInterface::PANEL_SAVE);
    kSave.SetTypedName("stuck");
    Press(kSave, CFilePanel::WIDGET_ACTION);
    ASSERT_TRUE(Ui().IsConfirmationOpen());
    ASSERT_TRUE(Ui().AnswerConfirmation(true));
    ASSERT_EQ(m_kBoxes.size(), 1u);
    EXPECT_EQ(m_kBoxes[0], "Could not save the game to maps/stuck.fds.");
    EXPECT_TRUE(Ui().IsCanvasOpen(&kSave, true));
    EXPECT_EQ(fs::current_path(), m_kStart / "maps");
    EXPECT_EQ(Game().GetGameSpeed(), 0.0f);
    EXPECT_FALSE(fs::exists(m_kStart / "maps" / "stuck.fdp"));
    EXPECT_FALSE(fs::exists(m_kStart / "maps" / "stuck.fds.tmp"));
    kSave.Close();
    ExpectRestored(1.0f);
}

TEST_F(CFilePanelTest, LoadingAsksOnlyDuringPlayAndADamagedSaveChangesNothing)
{
    Write(m_kStart / "maps" / "broken.fds", "<VERSION>\r\nnot a number\r\n<WORLD>\r\n-4\r\n");
    const std::string kBroken = Read(m_kStart / "maps" / "broken.fds");
    const std::size_t uiObjects = ObjectCount();

    // In game: asked; yes closes the question and the panel, the box
    // names the line, the level runs on.
    CFilePanel& kLoad = Open(CInterface::PANEL_LOAD);
    kLoad.SetTypedName("broken");
    Press(kLoad, CFilePanel::WIDGET_ACTION);
    ASSERT_TRUE(Ui().IsConfirmationOpen());
    EXPECT_EQ(Ui().GetConfirmPanel()->GetQuestion(), CFilePanel::QUESTION_LOAD);
    ASSERT_TRUE(Ui().AnswerConfirmation(true));
    EXPECT_FALSE(Ui().IsCanvasOpen(&kLoad, true));
    ASSERT_EQ(m_kBoxes.size(), 1u);
    EXPECT_NE(m_kBoxes[0].find("broken.fds"), std::string::npos);
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_EQ(ObjectCount(), uiObjects);
    ExpectRestored(1.0f);
    EXPECT_FALSE(Ui().IsLoadPanelOpen());

    // A good save of this prison, then the front end.
    ASSERT_TRUE(Game().SaveGame("maps/good.fds"));
    Game().ResetGame();
    ASSERT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
    ASSERT_TRUE(Game().GetFrontEndScreens()->IsBuilt());

    // From the front end: the damaged one shows its box, the screens stay.
    Open(CInterface::PANEL_LOAD);
    kLoad.SetTypedName("broken");
    Press(kLoad, CFilePanel::WIDGET_ACTION);
    EXPECT_FALSE(Ui().IsConfirmationOpen());
    EXPECT_EQ(m_kBoxes.size(), 2u);
    EXPECT_EQ(Game().GetState(), CGame::STATE_FRONT_END);
    EXPECT_TRUE(Game().GetFrontEndScreens()->IsBuilt());
    EXPECT_EQ(Read(m_kStart / "maps" / "broken.fds"), kBroken);
    ExpectRestored(1.0f);

    // The good one loads at once, never asking.
    Open(CInterface::PANEL_LOAD);
    kLoad.SetTypedName("good");
    Press(kLoad, CFilePanel::WIDGET_ACTION);
    EXPECT_FALSE(Ui().IsConfirmationOpen());
    EXPECT_EQ(m_kBoxes.size(), 2u);
    EXPECT_EQ(Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_FALSE(Game().GetFrontEndScreens()->IsBuilt());
    EXPECT_EQ(ObjectCount(), uiObjects);
    EXPECT_EQ(fs::current_path(), m_kStart);
    EXPECT_FALSE(Ui().IsLoadPanelOpen());
}
} // namespace
