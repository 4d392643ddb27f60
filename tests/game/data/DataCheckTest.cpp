// The demo data checked by the game that reads it: started through the
// launcher on a fresh set of the data, the front end shown, each level (in each
// language) and the scenario entered, the build menus walked. Fails on a
// locale error text that reaches the screen or stands in a list, on any
// message box, on a line about a missing or unreadable file on standard
// error, on faces of the showcase the depth buffer cannot tell apart from
// another at the start view, on a layout with fewer widgets than its panel
// uses, on a menu item without a template, on a byte of "./language.xml"
// that fonts 0-4 have no glyph for, on a hot-area layout without its hover
// texts, on a front-end button without a hover text, when the pointer on the main menu's "New
// prison" button or on the main panel's build button shows no hover text,
// when the hover texts' font leaves the scene showing behind its letters,
// when the main panel's clock runs into its year, and when a question the
// game asks is no question. Each level loads its own file, and its first
// view and its start view show the prison's yard.

#include "tests/game/support/CPlayScript.h"

#include "engine/render/NiDX9Renderer.h"
#include "engine/render/NiPixelData.h"
#include "engine/render/image/NiImageConverter.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiPixelFormat.h"
#include "framework/COrvaneCanvas.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CFrontEndScreens.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CBuildPanel.h"
#include "game/shell/ui/CBuildSubPanel.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CDeskTopPanel.h"
#include "game/shell/ui/CFilePanel.h"
#include "game/shell/ui/CFinanceSubPanel.h"
#include "game/shell/ui/CFloorChangePanel.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CMainPanel.h"
#include "game/shell/ui/CManagementPanel.h"
#include "game/shell/ui/CMessageHistoryPanel.h"
#include "game/shell/ui/COptionsPanel.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "game/simulation/characters/CSpawnManager.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CWorld.h"
#include "engine/scene/NiCamera.h"
#include "engine/scene/NiPicker.h"
#include "framework/COrvaneCamera.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/data/CoplanarFaces.h"
#include "tests/support/DemoDataOnce.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoLevel.h"
#include "tools/COrvaneDemoPanels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
// The texts the locale puts where a text is missing.
const char* const LOCALE_ERRORS[] = {"Invalid language vector", "Text out of range", "incorrect tag number",
                                     "Missing Language Text"};

bool IsLocaleError(const std::string& kText)
{
    return std::any_of(std::begin(LOCALE_ERRORS), std::end(LOCALE_ERRORS),
                       [&kText](const char* pcError) { return kText.find(pcError) != std::string::npos; });
}

// A line of standard error about a file that is not there or cannot be
// read.
bool IsMissingFileLine(std::string kLine)
{
    std::transform(kLine.begin(), kLine.end(), kLine.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const char* pcWord : {"cannot", "missing", "not found", "no such file", "error loading", "failed to"})
        if (kLine.find(pcWord) != std::string::npos)
            return true;
    return false;
}

class DataCheckTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        // The whole set, music and all, fresh in the test's own folder: the
        // build's copy keeps the settings a player left there.
        ASSERT_TRUE(demotest::CopyDemoData(Folder().string()));
        CLocale::SetDrawnTextRecorder([this](const std::string& kText) {
            ++m_uiDrawn;
            if (m_bKeepDrawn)
                m_kDrawn.insert(kText);
            if (IsLocaleError(kText))
                m_kErrorTexts.insert(kText);
        });
        testing::internal::CaptureStderr();
        m_bCapturing = true;
    }

    void TearDown() override
    {
        EndCapture();
        CLocale::SetDrawnTextRecorder({});
        FrameworkTest::TearDown();
    }

    void EndCapture()
    {
        if (!m_bCapturing)
            return;
        m_bCapturing = false;
        std::istringstream kErr(testing::internal::GetCapturedStderr());
        for (std::string kLine; std::getline(kErr, kLine);)
            if (IsMissingFileLine(kLine))
                m_kMissingLines.push_back(kLine);
    }

    // The language chosen in the copy's settings before the start.
    void ChooseLanguage(int iLanguage)
    {
        const std::filesystem::path kSetup = Folder() / "setup.xml";
        std::string kText = ReadFileBytes(kSetup);
        const std::string kKey = "<Current_Language>\r\n";
        const std::size_t uiAt = kText.find(kKey);
        ASSERT_NE(uiAt, std::string::npos);
        kText[uiAt + kKey.size()] = static_cast<char>('0' + iLanguage);
        WriteFileBytes(kSetup, kText);
    }

    // Everything gathered: no box, no error text drawn or in a list, no
    // missing file.
    void ExpectClean(const CPlayScript& kScript)
    {
        EndCapture();
        // The recorder saw the texts the screens drew.
        EXPECT_GT(m_uiDrawn, 0u);
        for (const CPlayScript::Box& kBox : kScript.Boxes())
            ADD_FAILURE() << "box: " << kBox.m_kCaption << ": " << kBox.m_kText;
        for (const std::string& kText : m_kErrorTexts)
            ADD_FAILURE() << "drawn: " << kText;
        for (const std::string& kLine : m_kMissingLines)
            ADD_FAILURE() << "standard error: " << kLine;
    }

    static void ExpectWidgets(const COrvaneCanvas* pkCanvas, std::int32_t iHighest, const char* pcWhat)
    {
        ASSERT_NE(pkCanvas, nullptr) << pcWhat;
        EXPECT_GT(pkCanvas->GetWidgetCount(), iHighest) << pcWhat << " uses widget " << iHighest;
    }

    // Each button of a layout lies on its panel's background: an overlay
    // picked from another button's file would reach past it.
    static void ExpectButtonsInside(const COrvaneCanvas* pkCanvas, const char* pcWhat)
    {
        ASSERT_NE(pkCanvas, nullptr) << pcWhat;
        const COrvaneWidgetRect* pkBack = pkCanvas->GetWidgetRect(0);
        ASSERT_NE(pkBack, nullptr) << pcWhat;
        for (std::int32_t i = 1; i < pkCanvas->GetWidgetCount(); ++i)
        {
            const COrvaneWidgetRect* pkRect = pkCanvas->GetWidgetRect(i);
            ASSERT_NE(pkRect, nullptr) << pcWhat;
            EXPECT_LE(pkRect->m_fX + pkRect->m_fWidth, pkBack->m_fX + pkBack->m_fWidth) << pcWhat << " widget " << i;
            EXPECT_LE(pkRect->m_fY + pkRect->m_fHeight, pkBack->m_fY + pkBack->m_fHeight) << pcWhat << " widget " << i;
        }
    }

    // Every text of every list as the game loaded it.
    static void ExpectListsWhole(const CGame& kGame)
    {
        const auto* pkLocale = dynamic_cast<const CLocale*>(kGame.GetLocale());
        ASSERT_NE(pkLocale, nullptr);
        ASSERT_GT(pkLocale->GetListCount(), 0);
        for (std::uint16_t i = 0; i < pkLocale->GetListCount(); ++i)
            for (const std::string& kEntry : pkLocale->GetList(i)->m_kEntries)
                EXPECT_FALSE(IsLocaleError(kEntry)) << kEntry;
    }

    // Each byte of the language file has a glyph in each of fonts 0-4.
    void ExpectGlyphs(const CGame& kGame)
    {
        const auto* pkLocale = dynamic_cast<const CLocale*>(kGame.GetLocale());
        ASSERT_NE(pkLocale, nullptr);
        std::set<unsigned char> kBytes;
        for (const char c : ReadFileBytes(Folder() / "language.xml"))
            if (c != '\r' && c != '\n')
                kBytes.insert(static_cast<unsigned char>(c));
        // Latin-1 letters of the German and French texts among them.
        ASSERT_GT(kBytes.size(), 60u);
        ASSERT_GT(*kBytes.rbegin(), 0x7F);
        for (std::int32_t iFont = 0; iFont < 5; ++iFont)
        {
            const COrvaneFont* pkFont = pkLocale->GetFont(iFont);
            ASSERT_NE(pkFont, nullptr) << "font " << iFont;
            for (const unsigned char c : kBytes)
                EXPECT_NE(pkFont->GetGlyph(c), nullptr) << "font " << iFont << " byte " << static_cast<int>(c);
        }
    }

    // The hover texts' font (font 4) draws each letter on a ground of its
    // own, since a hover text lies straight over the scene and the panels:
    // every pixel of every glyph cell is nearly opaque, and the letters
    // stand out light on a dark ground.
    void ExpectHoverTextGround(const CGame& kGame)
    {
        const auto* pkLocale = dynamic_cast<const CLocale*>(kGame.GetLocale());
        ASSERT_NE(pkLocale, nullptr);
        const COrvaneFont* pkFont = pkLocale->GetFont(CInterface::TOOLTIP_FONT);
        ASSERT_NE(pkFont, nullptr);
        // The picture named on the description's second line.
        std::istringstream kDescription(ReadFileBytes(Folder() / "fonts" / "font4.txt"));
        std::string kPicture;
        std::getline(kDescription, kPicture);
        std::getline(kDescription, kPicture);
        if (!kPicture.empty() && kPicture.back() == '\r')
            kPicture.pop_back();
        NiImageConverter* pkConverter = NiImageConverter::GetCurrent();
        ASSERT_NE(pkConverter, nullptr);
        NiPixelDataPtr spImage = pkConverter->ReadImageFile((Folder() / "fonts" / kPicture).string().c_str(), nullptr);
        ASSERT_NE(spImage, nullptr) << kPicture;
        ASSERT_EQ(spImage->GetPixelFormat(), NiPixelFormat::RGBA32) << kPicture;
        const std::uint32_t uiWidth = spImage->GetWidth();
        const std::uint8_t* pucPixels = spImage->GetPixels();
        ASSERT_GT(pkFont->GetCellHeight(), 0u);
        for (const char* pc = "Build and furnish"; *pc != 0; ++pc)
        {
            const COrvaneGlyph* pkGlyph = pkFont->GetGlyph(static_cast<std::uint8_t>(*pc));
            ASSERT_NE(pkGlyph, nullptr) << *pc;
            ASSERT_GT(pkGlyph->m_uiWidth, 0u) << *pc;
            int iDarkest = 255;
            int iLightest = 0;
            for (std::uint32_t y = pkGlyph->m_uiY; y < pkGlyph->m_uiY + pkGlyph->m_uiHeight; ++y)
                for (std::uint32_t x = pkGlyph->m_uiX; x < pkGlyph->m_uiX + pkGlyph->m_uiWidth; ++x)
                {
                    const std::uint8_t* puc = pucPixels + (static_cast<std::size_t>(y) * uiWidth + x) * 4;
                    ASSERT_GE(puc[3], 200) << "'" << *pc << "' at " << x << ", " << y;
                    const int iLight = (puc[0] + puc[1] + puc[2]) / 3;
                    iDarkest = std::min(iDarkest, iLight);
                    iLightest = std::max(iLightest, iLight);
                }
            EXPECT_LT(iDarkest, 64) << "'" << *pc << "'";
            if (*pc != ' ')
            {
                EXPECT_GT(iLightest, 192) << "'" << *pc << "'";
            }
        }
    }

    // Each message the game asks as a question, in the language loaded,
    // is one: its text ends with a question mark.
    static void ExpectQuestions(const CGame& kGame)
    {
        const auto* pkLocale = dynamic_cast<const CLocale*>(kGame.GetLocale());
        ASSERT_NE(pkLocale, nullptr);
        const std::int16_t sList = pkLocale->FindList("InGameMessages");
        ASSERT_GE(sList, 0);
        for (const std::int32_t iQuestion :
             {CFilePanel::QUESTION_OVERWRITE, CFilePanel::QUESTION_LOAD, COptionsPanel::QUESTION_QUIT,
              CGame::MESSAGE_DEMOLISH, CFilePanel::QUESTION_NEW_FOLDER, CFilePanel::QUESTION_DELETE_SAVE,
              CFilePanel::QUESTION_DELETE_FOLDER})
        {
            const std::string kText = pkLocale->GetEntryText(sList, iQuestion);
            ASSERT_FALSE(kText.empty()) << iQuestion;
            EXPECT_EQ(kText.back(), '?') << iQuestion << ": " << kText;
        }
    }

    // The main panel's clock ("hh:mm") ends at least a space before the
    // dash of the year text (" - " and the year) at any time of day: the
    // panel puts the year text a fixed step after the clock, so the body
    // font's figures must fit that step.
    static void ExpectClockClearOfYear(CGame& kGame)
    {
        const auto* pkLocale = dynamic_cast<const CLocale*>(kGame.GetLocale());
        ASSERT_NE(pkLocale, nullptr);
        const COrvaneFont* pkFont = pkLocale->GetFont(0);
        ASSERT_NE(pkFont, nullptr);
        std::string kTime;
        std::string kYear;
        kGame.GetGameClock().FormatTime(kTime, kYear);
        ASSERT_EQ(kTime.size(), 5u) << kTime;
        ASSERT_EQ(kYear.rfind(" - ", 0), 0u) << kYear;
        const std::uint32_t uiSpace = pkFont->GetTextWidth(" ");
        ASSERT_GT(uiSpace, 0u);
        std::uint32_t uiWidest = 0;
        std::string kWidest;
        for (int iHour = 0; iHour < 24; ++iHour)
            for (int iMinute = 0; iMinute < 60; ++iMinute)
            {
                char acTime[8];
                std::snprintf(acTime, sizeof acTime, "%02d:%02d", iHour, iMinute);
                if (pkFont->GetTextWidth(acTime) > uiWidest)
                {
                    uiWidest = pkFont->GetTextWidth(acTime);
                    kWidest = acTime;
                }
            }
        const float fClockEnd = CMainPanel::TIME_X + static_cast<float>(uiWidest);
        const float fDash = CMainPanel::YEAR_X + static_cast<float>(pkFont->GetTextWidth(" "));
        EXPECT_GE(fDash - fClockEnd, static_cast<float>(uiSpace)) << kWidest << " ends at " << fClockEnd;
    }

    // Each layout with hot areas finds a list of hover texts by its
    // picture's name, with a text for every area.
    void ExpectTooltipLists(const CGame& kGame)
    {
        const auto* pkLocale = dynamic_cast<const CLocale*>(kGame.GetLocale());
        ASSERT_NE(pkLocale, nullptr);
        int iLayouts = 0;
        for (const auto& kEntry : std::filesystem::recursive_directory_iterator(Folder()))
        {
            const std::string kName = kEntry.path().filename().string();
            if (kName.size() < 6 || kName.compare(kName.size() - 6, 6, "_h.tga") != 0)
                continue;
            ++iLayouts;
            const std::string kPicture =
                (kEntry.path().parent_path() / (kName.substr(0, kName.size() - 6) + ".tga")).lexically_relative(Folder()).generic_string();
            COrvaneCanvas kCanvas;
            kCanvas.Create(kPicture.c_str(), 0.0f, 0.0f, false);
            ASSERT_GT(kCanvas.GetHotAreaCount(), 0) << kPicture;
            const std::int16_t sList = kCanvas.GetTextList();
            ASSERT_GE(sList, 0) << kPicture;
            EXPECT_EQ(pkLocale->GetList(sList)->m_kName.find("<" + kName.substr(0, kName.size() - 6) + ">"), 0u)
                << kPicture << " finds " << pkLocale->GetList(sList)->m_kName;
            EXPECT_GE(pkLocale->GetList(sList)->m_kEntries.size(), static_cast<std::size_t>(kCanvas.GetHotAreaCount()))
                << kPicture;
        }
        EXPECT_GT(iLayouts, 0);
    }

    // The front end's three screens with their four buttons each, each
    // button under a hot area with a hover text.
    static void ExpectFrontEnd(CPlayScript& kScript)
    {
        CFrontEndScreens* pkScreens = kScript.Game().GetFrontEndScreens();
        ASSERT_NE(pkScreens, nullptr);
        ASSERT_EQ(pkScreens->GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);
        ExpectWidgets(pkScreens->GetCurrentPanel(), 4, "main menu");
        const std::pair<const COrvaneCanvas*, const char*> akScreens[] = {
            {pkScreens->GetMainPanel(), "main menu"},
            {pkScreens->GetLocationPanel(), "locations"},
            {pkScreens->GetScenarioPanel(), "scenarios"}};
        for (const auto& [pkScreen, pcWhat] : akScreens)
        {
            ASSERT_NE(pkScreen, nullptr) << pcWhat;
            EXPECT_EQ(pkScreen->GetHotAreaCount(), 4) << pcWhat;
            EXPECT_GE(pkScreen->GetTextList(), 0) << pcWhat;
            for (std::int32_t i = 1; i <= 4 && i < pkScreen->GetWidgetCount(); ++i)
            {
                float fX = 0.0f;
                float fY = 0.0f;
                ASSERT_TRUE(CPlayScript::WidgetCentre(*pkScreen, i, fX, fY)) << pcWhat << " button " << i;
                bool bCovered = false;
                for (std::int32_t k = 0; k < pkScreen->GetHotAreaCount(); ++k)
                {
                    const COrvaneWidget* pkArea = pkScreen->GetHotArea(k);
                    ASSERT_NE(pkArea, nullptr) << pcWhat << " hot area " << k;
                    const COrvaneWidgetRect& kArea = pkArea->GetRect();
                    bCovered = bCovered || (fX >= kArea.m_fX && fX <= kArea.m_fX + kArea.m_fWidth &&
                                            fY >= kArea.m_fY && fY <= kArea.m_fY + kArea.m_fHeight);
                }
                EXPECT_TRUE(bCovered) << pcWhat << " button " << i << " has no hover text";
            }
        }
    }

    // The pointer resting on the main menu's "New prison" button shows its
    // hover text in the language once the delay has run, and the text goes
    // when the pointer leaves the button.
    void ExpectNewPrisonTooltip(CPlayScript& kScript, int iLanguage)
    {
        const char* const apcTexts[] = {"Build a new prison", "Ein neues Gef\xe4ngnis bauen",
                                        "Construire une nouvelle prison"};
        CFrontEndScreens* pkScreens = kScript.Game().GetFrontEndScreens();
        ASSERT_NE(pkScreens, nullptr);
        ASSERT_EQ(pkScreens->GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);
        float fX = 0.0f;
        float fY = 0.0f;
        ASSERT_TRUE(CPlayScript::WidgetCentre(*pkScreens->GetCurrentPanel(), 1, fX, fY));
        ExpectHoverText(kScript, fX, fY, 100.0f, apcTexts[iLanguage]);
        // Still the main menu: hovering is no click.
        EXPECT_EQ(pkScreens->GetCurrentScreen(), CFrontEndScreens::SCREEN_MAIN);
    }

    // Resting the pointer at (fX, fY) draws the text once the hover delay
    // has run, not before, and moving it away to (512, fAwayY) takes the
    // text off again.
    void ExpectHoverText(CPlayScript& kScript, float fX, float fY, float fAwayY, const char* pcText)
    {
        m_bKeepDrawn = true;
        m_kDrawn.clear();
        kScript.MoveTo(fX, fY);
        kScript.Frame(10); // half a second: the delay still runs
        EXPECT_EQ(m_kDrawn.count(pcText), 0u) << pcText;
        kScript.Frame(4);
        EXPECT_EQ(m_kDrawn.count(pcText), 1u) << pcText;
        kScript.MoveTo(512.0f, fAwayY);
        m_kDrawn.clear();
        kScript.Frame(20);
        EXPECT_EQ(m_kDrawn.count(pcText), 0u) << pcText;
        m_bKeepDrawn = false;
    }

    // The in-game panels against the widgets they use, and the build menus
    // walked: each item has a template and a description.
    static void ExpectLevel(CPlayScript& kScript)
    {
        CInterface* pkInterface = CInterface::Get();
        ASSERT_NE(pkInterface, nullptr);
        ExpectWidgets(pkInterface->GetMainPanel(), CMainPanel::WIDGET_MESSAGES, "main panel");
        ExpectWidgets(pkInterface->GetMainPanel()->GetFloorPanel(), CFloorChangePanel::WIDGET_NEXT_VIEW, "floors");
        const std::pair<std::int16_t, std::int32_t> akPanels[] = {
            {CInterface::PANEL_BUILD_EXTERNAL, CBasePanel::WIDGET_CLOSE},
            {CInterface::PANEL_BUILD_INTERNAL, CBasePanel::WIDGET_CLOSE},
            {CInterface::PANEL_MANAGEMENT, CBasePanel::WIDGET_CLOSE},
            {CInterface::PANEL_OPTIONS, COptionsPanel::WIDGET_QUIT},
            {CInterface::PANEL_CONFIRM, CConfirmPanel::WIDGET_NO},
            {CInterface::PANEL_LOAD, CFilePanel::WIDGET_FIRST_ROW},
            {CInterface::PANEL_SAVE, CFilePanel::WIDGET_FIRST_ROW},
            {CInterface::PANEL_BUILDING, CPopUpPanelBuilding::WIDGET_INERT},
            {CInterface::PANEL_PRISONER, CBasePanel::WIDGET_CLOSE},
            {CInterface::PANEL_STAFF, CPopUpPanelCharacter::WIDGET_DUTY},
            {CInterface::PANEL_MESSAGES, CMessageHistoryPanel::WIDGET_OLDER},
            {CInterface::PANEL_DESK_TOP, CDeskTopPanel::WIDGET_LEAVE},
        };
        for (const auto& [sPanel, iHighest] : akPanels)
        {
            ExpectWidgets(pkInterface->GetPanel(sPanel), iHighest, ("panel " + std::to_string(sPanel)).c_str());
            ExpectButtonsInside(pkInterface->GetPanel(sPanel), ("panel " + std::to_string(sPanel)).c_str());
        }
        if (const auto* pkManagement = dynamic_cast<const CBasePanel*>(pkInterface->GetPanel(CInterface::PANEL_MANAGEMENT)))
            for (std::int32_t i = 0; i < pkManagement->GetChildCount(); ++i)
                if (const auto* pkFinance = dynamic_cast<const CFinanceSubPanel*>(pkManagement->GetChild(i)))
                    ExpectWidgets(pkFinance, CFinanceSubPanel::WIDGET_YEARLY, "finance");

        const auto* pkLocale = dynamic_cast<const CLocale*>(kScript.Game().GetLocale());
        ASSERT_NE(pkLocale, nullptr);
        for (const bool bInside : {false, true})
        {
            CBuildPanel* pkPanel = pkInterface->GetBuildPanel(bInside);
            ASSERT_NE(pkPanel, nullptr);
            CBuildSubPanel* pkPage = pkPanel->GetPage();
            ASSERT_NE(pkPage, nullptr) << (bInside ? "inside" : "grounds") << " menu";
            const auto* pkIcons = pkPanel->GetChild(0);
            const auto iCategories = static_cast<std::int32_t>(pkPage->GetCategories().size());
            ASSERT_GT(iCategories, 0);
            ExpectWidgets(pkIcons, iCategories, bInside ? "inside icons" : "grounds icons");
            ExpectWidgets(pkPage, CBuildSubPanel::WIDGET_DEMOLISH, "build page");
            const std::int16_t sBase = pkLocale->FindList(pkPage->DescriptionListName().c_str());
            ASSERT_GE(sBase, 0) << pkPage->DescriptionListName();
            for (std::int32_t c = 0; c < iCategories; ++c)
            {
                const auto iItems = static_cast<std::int32_t>(pkPage->GetCategories()[static_cast<std::size_t>(c)].m_kItems.size());
                EXPECT_GT(iItems, 0) << "category " << c;
                for (std::int32_t i = 0; i < iItems; ++i)
                {
                    const COrvaneObjectTemplate* pkTemplate = pkPage->GetTemplate(c, i);
                    EXPECT_FALSE(CBuildSubPanel::IsEmptyTemplate(pkTemplate))
                        << (bInside ? "inside" : "grounds") << " category " << c << " item " << i;
                    EXPECT_FALSE(IsLocaleError(pkLocale->GetEntryText(sBase + c, i)))
                        << pkLocale->GetEntryText(sBase + c, i);
                }
            }
        }
        // The grounds menu shown, each category picked and stepped through,
        // so its texts are drawn.
        pkInterface->ShowPanel(CInterface::PANEL_BUILD_EXTERNAL, false);
        CBuildSubPanel* pkPage = pkInterface->GetBuildPanel(false)->GetPage();
        for (std::int32_t c = 0; c < static_cast<std::int32_t>(pkPage->GetCategories().size()); ++c)
        {
            pkPage->SelectCategory(c);
            for (std::size_t i = 0; i < pkPage->GetCategories()[static_cast<std::size_t>(c)].m_kItems.size(); ++i)
            {
                kScript.Frame();
                pkPage->StepItem(true);
            }
        }
        kScript.LeaveBuilding();
        kScript.Frame(2);
        // The panels that stand on their own, each shown and drawn.
        for (const std::int16_t sPanel :
             {CInterface::PANEL_MANAGEMENT, CInterface::PANEL_OPTIONS, CInterface::PANEL_MESSAGES})
        {
            pkInterface->ShowPanel(sPanel, false);
            kScript.Frame(2);
            kScript.LeaveBuilding();
            kScript.Frame();
        }
    }

    // The pointer resting on the main panel's build button shows the
    // button's hover text in the language once the delay has run, and the
    // text goes when the pointer leaves the panel.
    void ExpectBuildTooltip(CPlayScript& kScript, int iLanguage)
    {
        const char* const apcTexts[] = {"Build and furnish", "Bauen und einrichten", "Construire et am\xe9nager"};
        const CMainPanel* pkMain = CInterface::Get()->GetMainPanel();
        ASSERT_NE(pkMain, nullptr);
        float fX = 0.0f;
        float fY = 0.0f;
        ASSERT_TRUE(CPlayScript::WidgetCentre(*pkMain, CMainPanel::WIDGET_BUILD, fX, fY));
        ExpectHoverText(kScript, fX, fY, 200.0f, apcTexts[iLanguage]);
    }

    static std::string Where(const NiVec3& k)
    {
        return "(" + std::to_string(k.x) + ", " + std::to_string(k.y) + ", " + std::to_string(k.z) + ")";
    }

    // Where the point falls on the screen through the camera: -1 to 1 from
    // the left (bottom) edge to the right (top) one; false when it lies
    // behind the near plane or beyond the far one.
    static bool Project(const NiCamera& kCamera, const NiVec3& kPoint, float& fX, float& fY)
    {
        const NiVec3 kTo = kPoint - kCamera.GetWorldLocation();
        const float fDepth = kTo.Dot(kCamera.GetWorldDirection());
        const NiViewFrustum& kFrustum = kCamera.GetViewFrustum();
        if (fDepth < kFrustum.m_fNear || fDepth > kFrustum.m_fFar)
            return false;
        const float fRight = kTo.Dot(kCamera.GetWorldRightVector()) / fDepth;
        const float fUp = kTo.Dot(kCamera.GetWorldUpVector()) / fDepth;
        fX = (2.0f * fRight - kFrustum.m_fRight - kFrustum.m_fLeft) / (kFrustum.m_fRight - kFrustum.m_fLeft);
        fY = (2.0f * fUp - kFrustum.m_fTop - kFrustum.m_fBottom) / (kFrustum.m_fTop - kFrustum.m_fBottom);
        return true;
    }

    // The level's own file loaded, its yard on its ground, and the yard's
    // middle on the screen both in the view the level opens with (riding
    // along with the morning's arrival vehicle) and in the level's start
    // view, the one the camera goes back to after an arrival.
    static void ExpectYardInView(CPlayScript& kScript, std::uint32_t uiLevel)
    {
        const CWorld* pkWorld = kScript.Game().GetWorld();
        ASSERT_NE(pkWorld, nullptr);
        ASSERT_LT(uiLevel, DEMO_LEVEL_COUNT);
        EXPECT_STREQ(pkWorld->GetName(), DEMO_LEVELS[uiLevel].m_pcFile);
        ASSERT_NE(pkWorld->GetCollisionNode(), nullptr);
        const CBlockGridManager* pkGrids = CBlockGridManager::GetExisting();
        ASSERT_NE(pkGrids, nullptr);
        const CBlockGrid* pkYard = pkGrids->FindGrid(1);
        ASSERT_NE(pkYard, nullptr);
        const std::int32_t iMiddle = (pkYard->GetRows() / 2) * pkYard->GetColumns() + pkYard->GetColumns() / 2;
        NiVec3 kMiddle;
        ASSERT_NE(pkYard->CellPosition(iMiddle, kMiddle, false), nullptr);
        EXPECT_NEAR(kMiddle.x, DEMO_LEVELS[uiLevel].m_fPrisonX, 2.0f);
        EXPECT_NEAR(kMiddle.z, DEMO_LEVELS[uiLevel].m_fPrisonZ, 2.0f);

        // Straight down onto the yard's middle: the level's ground.
        NiPicker kPicker;
        kPicker.SetTarget(pkWorld->GetCollisionNode());
        kPicker.SetCoordinateType(NiPicker::WORLD_COORDINATES);
        ASSERT_TRUE(kPicker.Pick(NiVec3(kMiddle.x, 100.0f, kMiddle.z), NiVec3(0.0f, -1.0f, 0.0f)));
        bool bGround = false;
        for (std::uint32_t i = 0; i < kPicker.GetSize(); ++i)
            bGround = bGround || std::string(kPicker.GetAt(i)->GetAVObject()->GetName()) == "ground";
        EXPECT_TRUE(bGround) << "level " << uiLevel;

        COrvaneCamera* pkCamera = kScript.Game().GetCamera();
        ASSERT_NE(pkCamera, nullptr);
        const NiCamera* pkEngineCamera = pkCamera->GetEngineCamera();
        ASSERT_NE(pkEngineCamera, nullptr);
        float fX = 0.0f;
        float fY = 0.0f;
        ASSERT_TRUE(Project(*pkEngineCamera, kMiddle, fX, fY))
            << "level " << uiLevel << " opening view from " << Where(pkEngineCamera->GetWorldLocation()) << " along "
            << Where(pkEngineCamera->GetWorldDirection()) << " to " << Where(kMiddle);
        EXPECT_LT(std::abs(fX), 0.9f) << "level " << uiLevel << " opening view";
        EXPECT_LT(std::abs(fY), 0.9f) << "level " << uiLevel << " opening view";

        CSpawnManager* pkSpawns = kScript.Game().GetSpawnManager();
        ASSERT_NE(pkSpawns, nullptr);
        pkSpawns->ResetCameraView(true);
        ASSERT_TRUE(Project(*pkEngineCamera, kMiddle, fX, fY))
            << "level " << uiLevel << " start view from " << Where(pkEngineCamera->GetWorldLocation()) << " along "
            << Where(pkEngineCamera->GetWorldDirection()) << " to " << Where(kMiddle);
        EXPECT_LT(std::abs(fX), 0.9f) << "level " << uiLevel << " start view";
        EXPECT_LT(std::abs(fY), 0.9f) << "level " << uiLevel << " start view";
        // Nothing outside the yard stands between the start view and the
        // yard's middle: the first thing the line of sight meets lies on it.
        NiPicker kSight;
        kSight.SetTarget(pkWorld->GetCollisionNode());
        kSight.SetCoordinateType(NiPicker::WORLD_COORDINATES);
        ASSERT_TRUE(kSight.Pick(pkEngineCamera->GetWorldLocation(), kMiddle - pkEngineCamera->GetWorldLocation()))
            << "level " << uiLevel;
        const NiVec3 kSeen = kSight.GetAt(0)->GetIntersection();
        EXPECT_LT(std::abs(kSeen.x - kMiddle.x), 40.0f) << "level " << uiLevel << " sees " << kSight.GetAt(0)->GetAVObject()->GetName();
        EXPECT_LT(std::abs(kSeen.z - kMiddle.z), 40.0f) << "level " << uiLevel << " sees " << kSight.GetAt(0)->GetAVObject()->GetName();
    }

    // From the start view no face of the showcase (its sand, box, bars,
    // glass and sign, the stand they lie on, the first level's pillars) lies
    // so near a face parallel to it, of the showcase or of the ground (the
    // land, the yard's floor display at the yard's height), that the depth
    // buffer could not tell them apart: twice its step at their distance.
    static void ExpectShowcaseApartInDepth(CPlayScript& kScript, std::uint32_t uiLevel)
    {
        const CWorld* pkWorld = kScript.Game().GetWorld();
        ASSERT_NE(pkWorld, nullptr);
        NiNode* pkRoot = pkWorld->GetSceneRoot();
        ASSERT_NE(pkRoot, nullptr);
        pkRoot->Update(0.0f);
        std::vector<coplanar::Triangle> kShown;
        for (const char* pcPart : {DEMO_SHOWCASE, DEMO_SHOWCASE_STAND, DEMO_SHOWCASE_NODE})
        {
            const NiAVObject* pkPart = pkRoot->GetObjectByName(pcPart);
            EXPECT_TRUE(pkPart != nullptr || (uiLevel != 0 && std::string(pcPart) == DEMO_SHOWCASE_NODE)) << pcPart;
            if (pkPart != nullptr)
                coplanar::Collect(*pkPart, kShown);
        }
        // The sand, the box, the glass, the bars, the sign and the stand.
        EXPECT_GE(kShown.size(), 60u) << "level " << uiLevel;
        std::vector<coplanar::Triangle> kGround;
        const NiAVObject* pkLand = pkRoot->GetObjectByName("land");
        ASSERT_NE(pkLand, nullptr);
        coplanar::Collect(*pkLand, kGround);
        const CBlockGrid* pkYard = CBlockGridManager::GetExisting()->FindGrid(1);
        ASSERT_NE(pkYard, nullptr);
        // Its cells' middles run from the origin along +x by row and -z by
        // column.
        const NiVec3* pkOrigin = pkYard->GetOrigin();
        ASSERT_NE(pkOrigin, nullptr);
        const float fSize = static_cast<float>(pkYard->GetCellSize());
        const float fY = pkOrigin->y;
        const NiVec3 kMin(pkOrigin->x - 0.5f * fSize, fY,
                          pkOrigin->z - fSize * static_cast<float>(pkYard->GetColumns() - 1) - 0.5f * fSize);
        const NiVec3 kMax(pkOrigin->x + fSize * static_cast<float>(pkYard->GetRows() - 1) + 0.5f * fSize, fY,
                          pkOrigin->z + 0.5f * fSize);
        EXPECT_NEAR(0.5f * (kMin.x + kMax.x), DEMO_LEVELS[uiLevel].m_fPrisonX, 2.0f);
        EXPECT_NEAR(0.5f * (kMin.z + kMax.z), DEMO_LEVELS[uiLevel].m_fPrisonZ, 2.0f);
        for (const bool bFirstHalf : {true, false})
        {
            coplanar::Triangle kDisplay;
            kDisplay.akCorner[0] = kMin;
            kDisplay.akCorner[1] = bFirstHalf ? NiVec3(kMin.x, fY, kMax.z) : kMax;
            kDisplay.akCorner[2] = bFirstHalf ? kMax : NiVec3(kMax.x, fY, kMin.z);
            kDisplay.kNormal = NiVec3(0.0f, 1.0f, 0.0f);
            kDisplay.kOwner = "yard display";
            kDisplay.pvShape = pkYard;
            kGround.push_back(kDisplay);
        }
        const NiCamera* pkCamera = kScript.Game().GetCamera()->GetEngineCamera();
        ASSERT_NE(pkCamera, nullptr);
        const NiViewFrustum& kFrustum = pkCamera->GetViewFrustum();
        std::uint32_t uiBits = 16;
        std::uint32_t uiStencil = 0;
        if (const auto* pkRenderer = NiDynamicCast<NiDX9Renderer>(NiRenderer::GetRenderer()))
            if (!NiDX9Renderer::GetDepthStencilBits(pkRenderer->GetPresentParams().AutoDepthStencilFormat, uiBits,
                                                    uiStencil) ||
                uiBits == 0)
                uiBits = 16;
        for (const coplanar::Fight& kFight :
             coplanar::FindFights(kShown, kGround, pkCamera->GetWorldLocation(), kFrustum.m_fNear, kFrustum.m_fFar,
                                  uiBits, 2.0f))
            ADD_FAILURE() << "level " << uiLevel << ": " << kFight.kFirst << " and " << kFight.kSecond << " lie "
                          << kFight.fGap << " apart, the depth buffer's step there being " << kFight.fStep;
    }

    // Main menu 1, then location k + 1: a free game on level k.
    static void EnterLevel(CPlayScript& kScript, std::uint32_t uiLevel)
    {
        CFrontEndScreens* pkScreens = kScript.Game().GetFrontEndScreens();
        ASSERT_NE(pkScreens, nullptr);
        ASSERT_TRUE(kScript.ClickWidget(*pkScreens->GetCurrentPanel(), 1));
        ASSERT_EQ(pkScreens->GetCurrentScreen(), CFrontEndScreens::SCREEN_LOCATION);
        ExpectWidgets(pkScreens->GetCurrentPanel(), 4, "locations");
        ASSERT_TRUE(kScript.ClickWidget(*pkScreens->GetCurrentPanel(), static_cast<std::int32_t>(uiLevel) + 1));
        for (int i = 0; i < 10 && kScript.Game().GetState() != CGame::STATE_IN_GAME; ++i)
            kScript.Frame();
        ASSERT_EQ(kScript.Game().GetState(), CGame::STATE_IN_GAME);
        EXPECT_EQ(kScript.Game().GetLevelNumber(), uiLevel);
        kScript.Frame(5);
    }

    // The game started on the copy in the language, its front end and the
    // level checked.
    void CheckLevel(std::uint32_t uiLevel, int iLanguage)
    {
        ChooseLanguage(iLanguage);
        CPlayScript kScript(44);
        ASSERT_TRUE(kScript.Start()) << kScript.Why();
        ExpectFrontEnd(kScript);
        ExpectListsWhole(kScript.Game());
        ExpectGlyphs(kScript.Game());
        ExpectTooltipLists(kScript.Game());
        ExpectHoverTextGround(kScript.Game());
        ExpectQuestions(kScript.Game());
        ExpectNewPrisonTooltip(kScript, iLanguage);
        EnterLevel(kScript, uiLevel);
        ExpectClockClearOfYear(kScript.Game());
        ExpectYardInView(kScript, uiLevel);
        ExpectShowcaseApartInDepth(kScript, uiLevel);
        ExpectBuildTooltip(kScript, iLanguage);
        ExpectLevel(kScript);
        ExpectClean(kScript);
    }

    std::size_t m_uiDrawn = 0;
    bool m_bKeepDrawn = false;
    std::set<std::string> m_kDrawn;
    std::set<std::string> m_kErrorTexts;
    std::vector<std::string> m_kMissingLines;
    bool m_bCapturing = false;
};

} // namespace

TEST_F(DataCheckTest, LevelZeroInEnglish)
{
    CheckLevel(0, 0);
}

TEST_F(DataCheckTest, LevelOneInGerman)
{
    CheckLevel(1, 1);
}

TEST_F(DataCheckTest, LevelTwoInFrench)
{
    CheckLevel(2, 2);
}

// Main menu 2: the scenario screen with its preview and brief; Start
// (button 4) plays it on level 0 with its conditions.
TEST_F(DataCheckTest, TheScenario)
{
    CPlayScript kScript(44);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    CFrontEndScreens* pkScreens = kScript.Game().GetFrontEndScreens();
    ASSERT_NE(pkScreens, nullptr);
    ASSERT_TRUE(kScript.ClickWidget(*pkScreens->GetCurrentPanel(), 2));
    ASSERT_EQ(pkScreens->GetCurrentScreen(), CFrontEndScreens::SCREEN_SCENARIO);
    ExpectWidgets(pkScreens->GetCurrentPanel(), 4, "scenarios");
    kScript.Frame(3);
    ASSERT_TRUE(kScript.ClickWidget(*pkScreens->GetCurrentPanel(), 4));
    for (int i = 0; i < 10 && kScript.Game().GetState() != CGame::STATE_IN_GAME; ++i)
        kScript.Frame();
    ASSERT_EQ(kScript.Game().GetState(), CGame::STATE_IN_GAME);
    EXPECT_EQ(kScript.Game().GetLevelNumber(), 0u);
    EXPECT_EQ(kScript.Game().GetScenarioNumber(), 0);
    kScript.Frame(5);
    ExpectLevel(kScript);
    ExpectClean(kScript);
}

namespace
{
// A picture of the demo data as the game reads it (RGBA, rows from the top).
NiPixelDataPtr ReadPicture(const std::filesystem::path& kPath)
{
    NiImageFileConverter kConverter;
    return kConverter.ReadImageFile(kPath.string().c_str(), nullptr);
}

// Pixels in the rectangle light enough to be an icon's strokes.
int LightPixels(const NiPixelData& kImage, std::uint32_t uiX, std::uint32_t uiY, std::uint32_t uiW, std::uint32_t uiH)
{
    int iCount = 0;
    const std::uint8_t* pucPixels = kImage.GetPixels();
    for (std::uint32_t y = uiY; y < uiY + uiH && y < kImage.GetHeight(); ++y)
        for (std::uint32_t x = uiX; x < uiX + uiW && x < kImage.GetWidth(); ++x)
        {
            const std::uint8_t* puc = pucPixels + (static_cast<std::size_t>(y) * kImage.GetWidth() + x) * 4;
            iCount += (puc[0] + puc[1] + puc[2]) / 3 > 180 ? 1 : 0;
        }
    return iCount;
}
} // namespace

// The bottom bar speaks without its tooltips: every button carries an icon,
// and every figure the bar's code writes (time, balance, prisoners / beds,
// the order bar, the prison level) has an icon just left of it on the same
// line.
TEST_F(DataCheckTest, EveryBottomBarButtonAndFigureHasAnIcon)
{
    const std::filesystem::path kBase = Folder() / "images" / "panels" / "main" / "base";
    NiPixelDataPtr spPanel = ReadPicture(kBase / "base.tga");
    NiPixelDataPtr spPlace = ReadPicture(kBase / "base_p.tga");
    ASSERT_NE(spPanel, nullptr);
    ASSERT_NE(spPlace, nullptr);
    ASSERT_EQ(spPanel->GetPixelFormat(), NiPixelFormat::RGBA32);
    ASSERT_EQ(spPlace->GetPixelFormat(), NiPixelFormat::RGBA32);
    // The placement map: key colour k at (k, 0), again at button k's corner;
    // the button's overlay gives its size.
    const auto Pixel = [](const NiPixelData& kImage, std::uint32_t x, std::uint32_t y) {
        const std::uint8_t* puc = kImage.GetPixels() + (static_cast<std::size_t>(y) * kImage.GetWidth() + x) * 4;
        return std::array<std::uint8_t, 3>{puc[0], puc[1], puc[2]};
    };
    const std::size_t uiButtons = DemoMainPanelSymbols().size();
    for (std::uint32_t k = 0; k < uiButtons; ++k)
    {
        SCOPED_TRACE(k + 1);
        const auto kKey = Pixel(*spPlace, k, 0);
        bool bFound = false;
        for (std::uint32_t y = 1; y < spPlace->GetHeight() && !bFound; ++y)
            for (std::uint32_t x = 0; x < spPlace->GetWidth() && !bFound; ++x)
            {
                if (Pixel(*spPlace, x, y) != kKey)
                    continue;
                bFound = true;
                NiPixelDataPtr spOverlay = ReadPicture(kBase / ("base" + std::to_string(k + 1) + "_s.tga"));
                ASSERT_NE(spOverlay, nullptr);
                EXPECT_GE(LightPixels(*spPanel, x, y, spOverlay->GetWidth(), spOverlay->GetHeight()), 12);
            }
        EXPECT_TRUE(bFound);
    }
    // The figures' places as the bar's code draws them; the prison level's
    // from its coloured square on.
    const float afFigures[][2] = {{CMainPanel::TIME_X, CMainPanel::READOUT_Y},
                                  {290.0f, CMainPanel::READOUT_Y},
                                  {423.0f, CMainPanel::READOUT_Y},
                                  {664.0f, 27.0f},
                                  {536.0f, CMainPanel::READOUT_Y}};
    for (const auto& afFigure : afFigures)
    {
        SCOPED_TRACE(afFigure[0]);
        bool bMarked = false;
        for (const DemoMark& kMark : DemoMainPanelMarks())
        {
            const float fRight = static_cast<float>(kMark.m_kRect.x + kMark.m_kRect.w);
            const float fTop = static_cast<float>(kMark.m_kRect.y);
            const float fBottom = fTop + static_cast<float>(kMark.m_kRect.h);
            if (fRight > afFigure[0] + 1.0f || fRight < afFigure[0] - 24.0f || afFigure[1] + 8.0f < fTop ||
                afFigure[1] > fBottom)
                continue;
            bMarked = true;
            EXPECT_GE(LightPixels(*spPanel, kMark.m_kRect.x, kMark.m_kRect.y, kMark.m_kRect.w, kMark.m_kRect.h), 4);
        }
        EXPECT_TRUE(bMarked);
    }
}
