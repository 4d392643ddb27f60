// The demo screens speak without their hover texts: the game started on a
// fresh set of the demo data draws its management pages and parole desk,
// and every figure it writes there has a label (an icon or a word) in the
// page's picture just before it or above its column; every button of every
// layout shows an icon or a word; and the texts the panels put before the
// next figure fit the room they have in each language.

#include "tests/game/support/CPlayScript.h"

#include "engine/render/NiPixelData.h"
#include "engine/render/NiScreenTexture.h"
#include "engine/render/image/NiImageFileConverter.h"
#include "engine/render/image/NiPixelFormat.h"
#include "framework/COrvaneCanvas.h"
#include "framework/COrvaneCanvasLayout.h"
#include "framework/COrvaneFont.h"
#include "framework/COrvaneObjectTemplate.h"
#include "framework/COrvaneWidget.h"
#include "game/shell/CGame.h"
#include "game/shell/CLocale.h"
#include "game/shell/ui/CInterface.h"
#include "game/shell/ui/CConfirmPanel.h"
#include "game/shell/ui/CFilePanel.h"
#include "game/shell/ui/COptionsPanel.h"
#include "game/shell/ui/CManagementPanel.h"
#include "game/shell/ui/CPopUpPanel.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/support/CHeadlessPrison.h"
#include "tests/support/DemoDataOnce.h"
#include "tools/COrvaneDemoData.h"
#include "tools/COrvaneDemoPanels.h"
#include "tools/COrvaneDemoPrison.h"
#include "tools/COrvaneDemoTooltips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace
{
NiPixelDataPtr ReadPicture(const std::filesystem::path& kPath)
{
    NiImageFileConverter kConverter;
    NiPixelDataPtr spImage = kConverter.ReadImageFile(kPath.string().c_str(), nullptr);
    return spImage != nullptr && spImage->GetPixelFormat() == NiPixelFormat::RGBA32 ? spImage : nullptr;
}

std::array<std::uint8_t, 3> Pixel(const NiPixelData& kImage, std::uint32_t x, std::uint32_t y)
{
    const std::uint8_t* puc = kImage.GetPixels() + (static_cast<std::size_t>(y) * kImage.GetWidth() + x) * 4;
    return {puc[0], puc[1], puc[2]};
}

// Pixels in the rectangle light enough to be a label's strokes, or of a
// strong colour (the security levels' squares).
int MarkedPixels(const NiPixelData& kImage, int iX, int iY, int iW, int iH)
{
    int iCount = 0;
    for (int y = std::max(iY, 0); y < iY + iH && y < static_cast<int>(kImage.GetHeight()); ++y)
        for (int x = std::max(iX, 0); x < iX + iW && x < static_cast<int>(kImage.GetWidth()); ++x)
        {
            const auto ac = Pixel(kImage, static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
            const int iMax = std::max({ac[0], ac[1], ac[2]});
            const int iMin = std::min({ac[0], ac[1], ac[2]});
            iCount += (ac[0] + ac[1] + ac[2]) / 3 > 140 || iMax - iMin > 90 ? 1 : 0;
        }
    return iCount;
}

// Pixels in the rectangle of a picture that show something on the button:
// nearly opaque, and light or of a strong colour.
int ShownPixels(const NiPixelData& kImage, int iX, int iY, int iW, int iH)
{
    int iCount = 0;
    for (int y = std::max(iY, 0); y < iY + iH && y < static_cast<int>(kImage.GetHeight()); ++y)
        for (int x = std::max(iX, 0); x < iX + iW && x < static_cast<int>(kImage.GetWidth()); ++x)
        {
            const std::uint8_t* puc = kImage.GetPixels() + (static_cast<std::size_t>(y) * kImage.GetWidth() + x) * 4;
            if (puc[3] < 200)
                continue;
            iCount += MarkedPixels(kImage, x, y, 1, 1);
        }
    return iCount;
}

// The language file's lists: per list name, its entries, each in English,
// German and French.
using LanguageLists = std::map<std::string, std::vector<std::array<std::string, 3>>>;

LanguageLists ReadLanguageLists(const std::string& kText)
{
    LanguageLists kLists;
    std::istringstream kIn(kText);
    std::vector<std::string> kOpen;
    std::vector<std::string> kValues;
    for (std::string kLine; std::getline(kIn, kLine);)
    {
        if (!kLine.empty() && kLine.back() == '\r')
            kLine.pop_back();
        if (kLine.rfind("</", 0) == 0)
        {
            // An entry closes: its three values belong to the list around it.
            if (kOpen.size() == 3 && kValues.size() == 3)
                kLists[kOpen[1]].push_back({kValues[0], kValues[1], kValues[2]});
            if (!kOpen.empty())
                kOpen.pop_back();
            kValues.clear();
        }
        else if (kLine.rfind("<", 0) == 0)
            kOpen.push_back(kLine.substr(1, kLine.size() - 2));
        else
            kValues.push_back(kLine);
    }
    return kLists;
}

// Where a text the font wraps in the box ends: its glyphs' right and bottom
// edges, and its line count.
struct Wrapped
{
    int iRight = 0;
    int iBottom = 0;
    std::int32_t iLines = 0;
};

Wrapped WrapText(COrvaneFont& kFont, float fX, float fY, float fWidth, const std::string& kText)
{
    COrvaneWidgetRect kBox;
    kBox.m_fX = fX;
    kBox.m_fY = fY;
    kBox.m_fWidth = fWidth;
    kBox.m_fHeight = 100.0f;
    Wrapped kOut;
    kFont.ResetBatches();
    kFont.BeginBatch();
    kOut.iLines = kFont.DrawTextWrapped(kBox, kText.c_str());
    if (const NiScreenTexture* pkBatch = kFont.GetBatch(0))
        for (std::uint32_t r = 0; r < pkBatch->GetNumScreenRects(); ++r)
        {
            const NiScreenTexture::NiScreenRect& kRect = pkBatch->GetScreenRects()[r];
            kOut.iRight = std::max(kOut.iRight, kRect.m_sPixLeft + static_cast<int>(kRect.m_usPixWidth));
            kOut.iBottom = std::max(kOut.iBottom, kRect.m_sPixTop + static_cast<int>(kRect.m_usPixHeight));
        }
    kFont.ResetBatches();
    return kOut;
}

// A figure the game drew: its first glyph's place on the screen.
struct Figure
{
    int iX;
    int iY;
    std::string kText;
};

// The runs of figures (digits, signs, '%' and '/') in the font's batches of
// the last frame, glyph after glyph along one line.
std::vector<Figure> DrawnFigures(const COrvaneFont& kFont)
{
    std::map<std::pair<int, int>, char> kByTexel;
    for (const COrvaneGlyph& kGlyph : kFont.GetGlyphs())
        kByTexel[{static_cast<int>(kGlyph.m_uiX), static_cast<int>(kGlyph.m_uiY)}] = static_cast<char>(kGlyph.m_ucChar);
    std::vector<Figure> kFigures;
    for (std::uint32_t b = 0; b < kFont.GetBatchCount(); ++b)
    {
        const NiScreenTexture* pkBatch = kFont.GetBatch(b);
        if (pkBatch == nullptr)
            continue;
        int iNextX = -1000;
        int iLineY = -1000;
        for (std::uint32_t r = 0; r < pkBatch->GetNumScreenRects(); ++r)
        {
            const NiScreenTexture::NiScreenRect& kRect = pkBatch->GetScreenRects()[r];
            const auto it = kByTexel.find({kRect.m_usTexLeft, kRect.m_usTexTop});
            const char c = it != kByTexel.end() ? it->second : '?';
            const bool bFigure = (c >= '0' && c <= '9') || c == '-' || c == '%' || c == '/';
            if (!bFigure)
            {
                iNextX = -1000;
                continue;
            }
            if (kRect.m_sPixLeft == iNextX && kRect.m_sPixTop == iLineY && !kFigures.empty())
                kFigures.back().kText.push_back(c);
            else
                kFigures.push_back({kRect.m_sPixLeft, kRect.m_sPixTop, std::string(1, c)});
            iNextX = kRect.m_sPixLeft + kRect.m_usPixWidth;
            iLineY = kRect.m_sPixTop;
        }
    }
    return kFigures;
}

class ScreenLabelTest : public FrameworkTest
{
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        setenv("ORVANE_GFX_BACKEND", "null", 0);
        ASSERT_TRUE(demotest::CopyDemoData(Folder().string()));
    }

    // Every figure of the font drawn inside the canvas this frame has marks
    // in the canvas's picture within 30 pixels before it on its line, or
    // above it in its column where a table's column has its heading.
    void ExpectFiguresLabelled(const COrvaneFont& kFont, const COrvaneCanvas& kCanvas, const std::string& kPicture,
                               std::size_t uiAtLeast)
    {
        SCOPED_TRACE(kPicture);
        NiPixelDataPtr spPicture = ReadPicture(Folder() / kPicture);
        ASSERT_NE(spPicture, nullptr);
        const int iLeft = static_cast<int>(kCanvas.GetX());
        const int iTop = static_cast<int>(kCanvas.GetY());
        std::size_t uiSeen = 0;
        for (const Figure& kFigure : DrawnFigures(kFont))
        {
            const int x = kFigure.iX - iLeft;
            const int y = kFigure.iY - iTop;
            if (x < 0 || y < 0 || x >= static_cast<int>(spPicture->GetWidth()) ||
                y >= static_cast<int>(spPicture->GetHeight()))
                continue;
            ++uiSeen;
            SCOPED_TRACE(kFigure.kText + " at " + std::to_string(x) + ", " + std::to_string(y));
            const int iBefore = MarkedPixels(*spPicture, x - 30, y, 29, 14);
            const int iAbove = MarkedPixels(*spPicture, x - 2, 2, 20, y - 2);
            EXPECT_GE(std::max(iBefore, iAbove), 4);
        }
        EXPECT_GE(uiSeen, uiAtLeast);
    }
};
} // namespace

// The finance, staff and prisoner pages and the desk's prison half, as the
// game draws them with its own figures.
TEST_F(ScreenLabelTest, EveryFigureOfThePagesAndTheDeskHasALabel)
{
    CPlayScript kScript(58);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    CInterface* pkInterface = CInterface::Get();
    ASSERT_NE(pkInterface, nullptr);
    auto* pkLocale = dynamic_cast<CLocale*>(kScript.Game().GetLocale());
    ASSERT_NE(pkLocale, nullptr);
    ASSERT_NE(pkLocale->GetFont(0), nullptr);
    ASSERT_NE(pkLocale->GetFont(2), nullptr);

    pkInterface->ShowPanel(CInterface::PANEL_MANAGEMENT, false);
    auto* pkManagement = dynamic_cast<CManagementPanel*>(pkInterface->GetPanel(CInterface::PANEL_MANAGEMENT));
    ASSERT_NE(pkManagement, nullptr);
    const struct
    {
        std::int32_t iChild;
        const char* pcPicture;
        std::size_t uiFigures;
    } akPages[] = {{1, "images/panels/management/finance/finance.tga", 12},
                   {2, "images/panels/management/mstaff.tga", 15},
                   {3, "images/panels/management/mprisoners.tga", 12}};
    for (const auto& kPage : akPages)
    {
        pkManagement->OnChildEvent(0, kPage.iChild, 2);
        kScript.Frame();
        CChildPanel* pkChild = pkManagement->GetChild(kPage.iChild);
        ASSERT_NE(pkChild, nullptr);
        ASSERT_TRUE(pkChild->IsActive());
        // The frame's update empties the batches: the page drawn once more.
        pkLocale->ReleaseFontGlyphs();
        pkChild->Draw();
        ExpectFiguresLabelled(*pkLocale->GetFont(0), *pkChild, kPage.pcPicture, kPage.uiFigures);
    }
    pkInterface->CloseAllPanels();

    pkInterface->ShowDeskTop(true);
    kScript.Frame();
    COrvaneCanvas* pkDesk = pkInterface->GetPanel(CInterface::PANEL_DESK_TOP);
    ASSERT_NE(pkDesk, nullptr);
    pkLocale->ReleaseFontGlyphs();
    pkDesk->Draw();
    // Order, years, four counts, now, four levels, three sums.
    ExpectFiguresLabelled(*pkLocale->GetFont(2), *pkDesk, "images/parole/parole.tga", 14);
    pkInterface->ShowDeskTop(false);
    kScript.Frame();

    // A building's pop-up: year, price, size, floors, upkeep, attraction,
    // people and places.
    ASSERT_TRUE(kScript.SetSpeedButton(0)) << kScript.Why();
    const CHeadlessPrison::Building& kFirst = CHeadlessPrison::PlayPrison().front();
    const CBlockGrid* pkYard = CBlockGridManager::GetInstance()->FindGrid(1);
    ASSERT_NE(pkYard, nullptr);
    CBaseObject* pkBuilt = kScript.BuildOnYard(kFirst.m_pcTemplate, kFirst.m_iRow * pkYard->GetColumns() + kFirst.m_iColumn);
    ASSERT_NE(pkBuilt, nullptr) << kScript.Why();
    kScript.LeaveBuilding();
    pkInterface->CloseAllPanels();
    pkInterface->ShowPopUp(CInterface::PANEL_BUILDING, pkBuilt, nullptr);
    kScript.Frame();
    COrvaneCanvas* pkPopUp = pkInterface->GetPanel(CInterface::PANEL_BUILDING);
    ASSERT_NE(pkPopUp, nullptr);
    pkLocale->ReleaseFontGlyphs();
    pkPopUp->Draw();
    ExpectFiguresLabelled(*pkLocale->GetFont(0), *pkPopUp, "images/panels/building/building.tga", 8);
}

// Each button of each layout the data holds shows an icon or a word, on the
// panel's picture or on its own overlay: only the title bars (dragged, not
// pressed), the file panels' rows (the panel writes the names there) and the
// places whose press does nothing are left plain.
TEST_F(ScreenLabelTest, EveryButtonShowsAnIconOrAWord)
{
    const std::set<std::pair<std::string, std::uint32_t>> kPlain = {
        {"images/panels/building/building", CPopUpPanelBuilding::WIDGET_INERT}};
    int iLayouts = 0;
    int iButtons = 0;
    for (const auto& kEntry : std::filesystem::recursive_directory_iterator(Folder()))
    {
        const std::string kName = kEntry.path().filename().string();
        if (kName.size() < 6 || kName.compare(kName.size() - 6, 6, "_p.tga") != 0)
            continue;
        const std::string kStem = kName.substr(0, kName.size() - 6);
        const std::filesystem::path kFolder = kEntry.path().parent_path();
        const std::string kBase = (kFolder / kStem).lexically_relative(Folder()).generic_string();
        SCOPED_TRACE(kBase);
        NiPixelDataPtr spPlace = ReadPicture(kEntry.path());
        NiPixelDataPtr spBack = ReadPicture(kFolder / (kStem + ".tga"));
        ASSERT_NE(spPlace, nullptr);
        ASSERT_NE(spBack, nullptr);
        ++iLayouts;
        std::vector<std::string> kFiles;
        for (const auto& kFile : std::filesystem::directory_iterator(kFolder))
            kFiles.push_back(kFile.path().filename().string());
        std::sort(kFiles.begin(), kFiles.end());
        const bool bFilePanel = kBase == "images/panels/load/load" || kBase == "images/panels/save/save";
        for (std::uint32_t k = 0; k < spPlace->GetWidth() && Pixel(*spPlace, k, 0) != std::array<std::uint8_t, 3>{255, 255, 255}; ++k)
        {
            const std::uint32_t uiButton = k + 1;
            SCOPED_TRACE(uiButton);
            if (bFilePanel && uiButton >= static_cast<std::uint32_t>(CFilePanel::WIDGET_FIRST_ROW))
                continue;
            if (kPlain.count({kBase, uiButton}) != 0)
                continue;
            // The overlay as the layout finds it: the first file of the
            // folder named after the stem and the number, with "_s".
            const std::string kPrefix = kStem + std::to_string(uiButton);
            const auto itOverlay = std::find_if(kFiles.begin(), kFiles.end(), [&kPrefix](const std::string& kFile) {
                return kFile.rfind(kPrefix, 0) == 0 && kFile.find("_s") != std::string::npos;
            });
            ASSERT_NE(itOverlay, kFiles.end());
            NiPixelDataPtr spOverlay = ReadPicture(kFolder / *itOverlay);
            ASSERT_NE(spOverlay, nullptr);
            const auto kKey = Pixel(*spPlace, k, 0);
            int iX = -1;
            int iY = -1;
            for (std::uint32_t y = 1; y < spPlace->GetHeight() && iX < 0; ++y)
                for (std::uint32_t x = 0; x < spPlace->GetWidth() && iX < 0; ++x)
                    if (Pixel(*spPlace, x, y) == kKey)
                    {
                        iX = static_cast<int>(x);
                        iY = static_cast<int>(y);
                    }
            ASSERT_GE(iX, 0);
            const int iW = static_cast<int>(spOverlay->GetWidth());
            const int iH = static_cast<int>(spOverlay->GetHeight());
            // A bar along the top, much wider than high: the title to drag.
            if (iY <= 4 && iW >= 4 * iH)
                continue;
            ++iButtons;
            // Inside the frame every box has.
            const int iShown = std::max(ShownPixels(*spBack, iX + 2, iY + 2, iW - 4, iH - 4),
                                        ShownPixels(*spOverlay, 2, 2, iW - 4, iH - 4));
            EXPECT_GE(iShown, 6);
        }
    }
    // The front end's three screens, the in-game panels and the pop-ups.
    EXPECT_GE(iLayouts, 18);
    EXPECT_GE(iButtons, 60);
}

// The texts the panels draw before another figure or the panel's edge fit
// the room they have there, in each language; the hover texts fit the
// screen; the messages of the bottom bar's ticker fit its two lines.
TEST_F(ScreenLabelTest, EveryTextFitsItsRoomInEachLanguage)
{
    CPlayScript kScript(58);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    const auto* pkLocale = dynamic_cast<const CLocale*>(kScript.Game().GetLocale());
    ASSERT_NE(pkLocale, nullptr);
    const LanguageLists kLists = ReadLanguageLists(ReadFileBytes(Folder() / "language.xml"));
    ASSERT_FALSE(kLists.empty());
    struct Room
    {
        const char* pcList;
        std::int32_t iFont;
        float fRoom; // pixels from the text's start to what follows it
        const char* pcWhere;
    };
    const Room akRooms[] = {
        // The price follows its label 35 pixels on, after a space.
        {"build_panel_extra_text", 0, 35.0f - 4.0f, "build page: price label"},
        {"security_level_text", 0, 740.0f - 553.0f, "bottom bar: prison level, before the speed buttons"},
        {"jobtitles", 0, 300.0f - 168.0f - 2.0f, "pop-up: job title, before the edge"},
        {"security_level_text", 0, 300.0f - 188.0f - 2.0f, "pop-up: security level, before the edge"},
        {"gang_text", 0, 300.0f - 203.0f - 2.0f, "pop-up: gang, before the edge"},
        // The prisoner's work count and its label stand at 232 on that line.
        {"mood_text", 0, 232.0f - 55.0f, "pop-up: mood, before the work count's label"},
        {"build_text", 2, 335.0f - 208.0f, "desk: build, before the gang's label"},
        {"security_level_text", 2, 335.0f - 228.0f, "desk: security level, before the fights' label"},
        {"gender_text", 2, 407.0f - 353.0f, "desk: gender, before the age's label"},
        {"security_level_text", 2, 769.0f - 639.0f, "desk: prison level, before the prisoners' label"},
    };
    for (const Room& kRoom : akRooms)
    {
        SCOPED_TRACE(kRoom.pcWhere);
        const auto itList = kLists.find(kRoom.pcList);
        ASSERT_NE(itList, kLists.end()) << kRoom.pcList;
        const COrvaneFont* pkFont = pkLocale->GetFont(kRoom.iFont);
        ASSERT_NE(pkFont, nullptr);
        for (const auto& akEntry : itList->second)
            for (const std::string& kText : akEntry)
                EXPECT_LE(static_cast<float>(pkFont->GetTextWidth(kText.c_str())), kRoom.fRoom) << kText;
    }
    // The build page wraps an item's description in a box 79 wide at 146,
    // the building pop-up in one 94 wide at 148: drawn by the font's own
    // wrapping, no glyph reaches past the picture's frame and all lines fit
    // the box's 100 rows.
    COrvaneFont* pkPage = pkLocale->GetFont(0);
    ASSERT_NE(pkPage, nullptr);
    NiPixelDataPtr spPage = ReadPicture(Folder() / "images/panels/build/page.tga");
    NiPixelDataPtr spPopUp = ReadPicture(Folder() / "images/panels/building/building.tga");
    ASSERT_NE(spPage, nullptr);
    ASSERT_NE(spPopUp, nullptr);
    const auto fPageEdge = static_cast<float>(spPage->GetWidth());
    const auto fPopUpEdge = static_cast<float>(spPopUp->GetWidth());
    int iDescriptions = 0;
    for (const auto& [kName, kEntries] : kLists)
    {
        if (kName.find("TEMPLATESBUILD_OBJECTS") == std::string::npos)
            continue;
        for (const auto& akEntry : kEntries)
            for (const std::string& kText : akEntry)
            {
                ++iDescriptions;
                for (const auto& afBox : {std::array<float, 3>{146.0f, 79.0f, fPageEdge},
                                          std::array<float, 3>{148.0f, 94.0f, fPopUpEdge}})
                {
                    const Wrapped kWrapped = WrapText(*pkPage, afBox[0], 0.0f, afBox[1], kText);
                    EXPECT_LE(static_cast<float>(kWrapped.iRight), afBox[2] - 2.0f) << kName << ": " << kText;
                    EXPECT_LE(kWrapped.iBottom, 100) << kName << ": " << kText;
                }
            }
    }
    EXPECT_GT(iDescriptions, 20);

    // The questions: wrapped in the confirmation's box (130 wide at 27, 45),
    // every glyph within the panel's frame and every line above its Yes and
    // No buttons; the two that show the typed name on the box's second line
    // keep to the first.
    NiPixelDataPtr spConfirm = ReadPicture(Folder() / "images/confirm/confirm.tga");
    ASSERT_NE(spConfirm, nullptr);
    const auto itQuestions = kLists.find("InGameMessages");
    ASSERT_NE(itQuestions, kLists.end());
    for (const std::int32_t iQuestion :
         {CFilePanel::QUESTION_OVERWRITE, CFilePanel::QUESTION_LOAD, COptionsPanel::QUESTION_QUIT,
          CGame::MESSAGE_DEMOLISH, CFilePanel::QUESTION_NEW_FOLDER, CFilePanel::QUESTION_DELETE_SAVE,
          CFilePanel::QUESTION_DELETE_FOLDER})
    {
        ASSERT_LT(static_cast<std::size_t>(iQuestion), itQuestions->second.size());
        const bool bWithName =
            iQuestion == CFilePanel::QUESTION_NEW_FOLDER || iQuestion == CFilePanel::QUESTION_DELETE_SAVE;
        for (const std::string& kText : itQuestions->second[static_cast<std::size_t>(iQuestion)])
        {
            const Wrapped kWrapped = WrapText(*pkPage, 27.0f, 45.0f, 130.0f, kText);
            EXPECT_LE(kWrapped.iRight, static_cast<int>(spConfirm->GetWidth()) - 2) << kText;
            // Yes and No stand at 110.
            EXPECT_LE(kWrapped.iBottom, 110) << kText;
            if (bWithName)
            {
                EXPECT_EQ(kWrapped.iLines, 1) << kText;
            }
        }
    }
    // The scenario's brief: on the desk in font 2 in a box 140 wide at 566,
    // 377 (100 rows, inside the desk's 520), on the management panel's
    // scenario page in font 0 in one 250 wide at 25, 16 (110 rows, inside
    // the page).
    COrvaneFont* pkSmall = pkLocale->GetFont(2);
    ASSERT_NE(pkSmall, nullptr);
    const auto itBriefs = kLists.find("BRIEF_SCENARIOS");
    ASSERT_NE(itBriefs, kLists.end());
    for (const auto& akEntry : itBriefs->second)
        for (const std::string& kText : akEntry)
        {
            const Wrapped kDesk = WrapText(*pkSmall, 566.0f, 377.0f, 140.0f, kText);
            EXPECT_LE(kDesk.iBottom, 377 + 100) << kText;
            EXPECT_LE(kDesk.iRight, 566 + 140 + 40) << kText;
            const Wrapped kPage = WrapText(*pkPage, 25.0f, 16.0f, 250.0f, kText);
            EXPECT_LE(kPage.iBottom, 16 + 110) << kText;
            EXPECT_LE(kPage.iRight, 300 - 2) << kText;
        }

    // Hover texts: every list a layout names has one text per hot area; they
    // start 8 pixels right of the pointer and move left at the screen's edge.
    const COrvaneFont* pkHover = pkLocale->GetFont(CInterface::TOOLTIP_FONT);
    const COrvaneFont* pkBody = pkLocale->GetFont(0);
    ASSERT_NE(pkHover, nullptr);
    ASSERT_NE(pkBody, nullptr);
    int iTexts = 0;
    for (const auto& [kName, kEntries] : kLists)
        for (const auto& akEntry : kEntries)
            for (const std::string& kText : akEntry)
            {
                ++iTexts;
                EXPECT_LE(pkHover->GetTextWidth(kText.c_str()), 1024u - 20u) << kName << ": " << kText;
            }
    EXPECT_GT(iTexts, 300);
    // The ticker wraps its messages in a box 485 wide and two lines high.
    const auto itMessages = kLists.find("InGameMessages");
    ASSERT_NE(itMessages, kLists.end());
    for (const auto& akEntry : itMessages->second)
        for (const std::string& kText : akEntry)
            EXPECT_LE(pkBody->GetTextWidth(("99 " + kText).c_str()), 2u * 485u - 60u) << kText;
}

// The messages list gives each message a text box 480 wide and one line
// high, with a rule under it: a message that wraps runs into the rule and
// the next row. Every message, in each language, keeps to one line of the
// box in font 0, drawn by the font's own wrapping; the day's counts also in
// the numbered form the list shows them in ("999 prisoners died today").
TEST_F(ScreenLabelTest, EveryMessageTakesOneLineOfTheMessagesList)
{
    CPlayScript kScript(58);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    const auto* pkLocale = dynamic_cast<const CLocale*>(kScript.Game().GetLocale());
    ASSERT_NE(pkLocale, nullptr);
    COrvaneFont* pkBody = pkLocale->GetFont(0);
    ASSERT_NE(pkBody, nullptr);
    const LanguageLists kLists = ReadLanguageLists(ReadFileBytes(Folder() / "language.xml"));
    const auto itMessages = kLists.find("InGameMessages");
    ASSERT_NE(itMessages, kLists.end());
    const auto itEnding = kLists.find(CLocale::PLURAL_ENDING_LIST);
    ASSERT_NE(itEnding, kLists.end());
    ASSERT_EQ(itEnding->second.size(), 1u);
    ASSERT_EQ(itEnding->second[0].size(), 3u);
    // The day's counts, the messages the statistics post with a number:
    // releases, deaths, escapes, other departures, executions, sentences
    // ended.
    constexpr std::size_t COUNTS[] = {14, 15, 16, 18, 19, 20};
    constexpr float LIST_X = 32.0f;
    constexpr float LIST_WIDTH = 480.0f;
    int iChecked = 0;
    for (std::size_t e = 0; e < itMessages->second.size(); ++e)
    {
        const auto& akEntry = itMessages->second[e];
        ASSERT_EQ(akEntry.size(), 3u) << "message " << e;
        for (std::size_t l = 0; l < akEntry.size(); ++l)
        {
            const std::string& kText = akEntry[l];
            std::vector<std::string> kForms = {kText};
            if (std::find(std::begin(COUNTS), std::end(COUNTS), e) != std::end(COUNTS))
            {
                // The numbered form as the locale writes it: the count, and
                // the language's plural ending before the first space.
                std::string kNumbered = kText;
                kNumbered.insert(std::min(kNumbered.find(' '), kNumbered.size()), itEnding->second.at(0).at(l));
                kForms.push_back("999 " + kNumbered);
            }
            for (const std::string& kShown : kForms)
            {
                const Wrapped kWrapped = WrapText(*pkBody, LIST_X, 48.0f, LIST_WIDTH, kShown);
                EXPECT_EQ(kWrapped.iLines, 1) << "message " << e << ", language " << l << ": " << kShown;
                EXPECT_LE(kWrapped.iRight, static_cast<int>(LIST_X + LIST_WIDTH))
                    << "message " << e << ", language " << l << ": " << kShown;
                ++iChecked;
            }
        }
    }
    EXPECT_GT(iChecked, 3 * 60);
}

// Every icon the data puts beside a figure the game draws (the bottom bar's,
// the prison level's among them), the star sign's and the mood's squares of
// the pop-ups and the build page's picture, which turns red when the item
// cannot be bought, lie under a hot area whose hover text has a word in each
// language.
TEST_F(ScreenLabelTest, EveryFigureIconAndTheBuildPictureHaveAHoverWord)
{
    const LanguageLists kLists = ReadLanguageLists(ReadFileBytes(Folder() / "language.xml"));
    // The maps read as the game reads them.
    NiImageConverter::SetCurrent(new NiImageFileConverter);
    struct Release
    {
        ~Release() { NiImageConverter::ReleaseCurrent(); }
    } kRelease;
    std::vector<std::pair<std::string, DemoRect>> kTargets;
    for (const DemoMark& kMark : DemoMainPanelMarks())
        kTargets.emplace_back("images/panels/main/base/base", kMark.m_kRect);
    kTargets.emplace_back("images/panels/prisoner/prisoner", DEMO_STAR_SIGN_AREA);
    kTargets.emplace_back("images/panels/staff/staff", DEMO_STAR_SIGN_AREA);
    kTargets.emplace_back("images/panels/prisoner/prisoner", DEMO_MOOD_AREA);
    kTargets.emplace_back("images/panels/staff/staff", DEMO_MOOD_AREA);
    kTargets.emplace_back("images/panels/build/page", DEMO_BUILD_PICTURE_AREA);
    // The prison level's figure is among the bar's.
    ASSERT_GE(kTargets.size(), 10u);
    for (const auto& [kBase, kRect] : kTargets)
    {
        SCOPED_TRACE(kBase + " at " + std::to_string(kRect.x) + ", " + std::to_string(kRect.y));
        std::vector<COrvaneCanvasLayout::KeyArea> kAreas;
        ASSERT_TRUE(COrvaneCanvasLayout::ReadKeyAreas((Folder() / (kBase + "_h.tga")).string(), kAreas));
        const int iX = static_cast<int>(kRect.x + kRect.w / 2);
        const int iY = static_cast<int>(kRect.y + kRect.h / 2);
        const auto itArea = std::find_if(kAreas.begin(), kAreas.end(), [iX, iY](const COrvaneCanvasLayout::KeyArea& k) {
            return iX >= k.m_iX && iX < k.m_iX + k.m_iWidth && iY >= k.m_iY && iY < k.m_iY + k.m_iHeight;
        });
        ASSERT_NE(itArea, kAreas.end());
        const auto itList = kLists.find(DemoTooltipListName(kBase));
        ASSERT_NE(itList, kLists.end());
        const auto uiEntry = static_cast<std::size_t>(itArea - kAreas.begin());
        ASSERT_LT(uiEntry, itList->second.size());
        for (const std::string& kWord : itList->second[uiEntry])
            EXPECT_GE(kWord.size(), 3u) << kWord;
    }
}

// The messages name what the player builds by the build panel's own words:
// the hungry prisoners' advice names the canteens, as the panel's category
// row does, in each language.
TEST_F(ScreenLabelTest, TheMessagesNameWhatToBuildAsTheBuildPanelDoes)
{
    const LanguageLists kLists = ReadLanguageLists(ReadFileBytes(Folder() / "language.xml"));
    const auto Lower = [](std::string kText) {
        for (char& c : kText)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return kText;
    };
    const auto itMessages = kLists.find("InGameMessages");
    ASSERT_NE(itMessages, kLists.end());
    const auto itHungry = std::find_if(itMessages->second.begin(), itMessages->second.end(),
                                       [](const std::array<std::string, 3>& a) { return a[0].find("hungry") != std::string::npos; });
    ASSERT_NE(itHungry, itMessages->second.end());
    const auto itRow = kLists.find(DemoTooltipListName("images/panels/build/icons_ext"));
    ASSERT_NE(itRow, kLists.end());
    const auto itCanteens = std::find_if(itRow->second.begin(), itRow->second.end(),
                                         [](const std::array<std::string, 3>& a) { return a[0] == "Canteens"; });
    ASSERT_NE(itCanteens, itRow->second.end());
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NE(Lower((*itHungry)[i]).find(Lower((*itCanteens)[i])), std::string::npos)
            << (*itHungry)[i] << " / " << (*itCanteens)[i];
}

// What a new player reads about guards and food, and where: every message
// fits the ticker's box (two lines of 485 at 155) and the history's, each
// staffed room's description keeps within the build page's 79-pixel column
// and names whom the room hires, the escape message names the rooms that
// bring guards by the build menu's own names, and the questions keep inside
// their box (130 at 27), each in every language. The pop-ups and the other
// in-game panels are opaque: the camera label is drawn before them.
TEST_F(ScreenLabelTest, TheNewPlayersTextsFitTheirBoxesAndThePanelsAreOpaque)
{
    CPlayScript kScript(59);
    ASSERT_TRUE(kScript.Start()) << kScript.Why();
    ASSERT_TRUE(kScript.EnterFreeGame()) << kScript.Why();
    const auto* pkLocale = dynamic_cast<const CLocale*>(kScript.Game().GetLocale());
    ASSERT_NE(pkLocale, nullptr);
    COrvaneFont* pkBody = pkLocale->GetFont(0);
    ASSERT_NE(pkBody, nullptr);
    const LanguageLists kLists = ReadLanguageLists(ReadFileBytes(Folder() / "language.xml"));
    const auto itMessages = kLists.find("InGameMessages");
    ASSERT_NE(itMessages, kLists.end());
    const auto& kMessages = itMessages->second;
    for (const auto& akEntry : kMessages)
        for (const std::string& kText : akEntry)
        {
            const Wrapped kTicker = WrapText(*pkBody, 155.0f, 17.0f, 485.0f, "99 " + kText);
            EXPECT_LE(kTicker.iLines, 2) << kText;
            EXPECT_LE(kTicker.iRight, 155 + 485) << kText;
            const Wrapped kHistory = WrapText(*pkBody, 32.0f, 48.0f, 480.0f, "99 " + kText);
            EXPECT_LE(kHistory.iLines, 2) << kText;
            EXPECT_LE(kHistory.iRight, 32 + 480) << kText;
        }
    for (const std::int32_t iQuestion :
         {CFilePanel::QUESTION_OVERWRITE, CFilePanel::QUESTION_LOAD, COptionsPanel::QUESTION_QUIT,
          CGame::MESSAGE_DEMOLISH, CFilePanel::QUESTION_NEW_FOLDER, CFilePanel::QUESTION_DELETE_SAVE,
          CFilePanel::QUESTION_DELETE_FOLDER})
        for (const std::string& kText : kMessages.at(static_cast<std::size_t>(iQuestion)))
            EXPECT_LE(WrapText(*pkBody, 27.0f, 45.0f, 130.0f, kText).iRight, 27 + 130) << kText;

    // The descriptions of the first prison, by template name, in menu order.
    std::map<std::string, std::array<std::string, 3>> kDescriptions;
    std::map<std::string, std::size_t> kNext;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        const std::string kCategory = kPlan.m_kCategory == "CONTENTSCELLS" ? "CONTENTSCELLBLOCKS" : kPlan.m_kCategory;
        const auto itList = kLists.find("PRISON1TEMPLATESBUILD_OBJECTS" + kCategory);
        ASSERT_NE(itList, kLists.end()) << kCategory;
        const std::size_t uiAt = kNext[kCategory]++;
        ASSERT_LT(uiAt, itList->second.size()) << kPlan.m_kName;
        kDescriptions[kPlan.m_kName] = itList->second[uiAt];
    }
    const auto Lower = [](std::string kText) {
        for (char& c : kText)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return kText;
    };
    // The staff a room may hire, in each language (the pop-up's job titles
    // and the other kinds).
    const std::array<std::vector<std::string>, 3> akStaffWords = {{
        {"guard", "doctor", "worker", "counsellor", "chaplain"},
        {"wache", "arzt", "arbeiter", "berater", "pfarrer"},
        {"gardien", "m\xe9""decin", "ouvrier", "conseiller", "aum\xf4nier"},
    }};
    CDynamicObjectManager* pkObjects = CDynamicObjectManager::GetInstance();
    int iStaffed = 0;
    for (const auto& [kName, akWords] : kDescriptions)
    {
        const COrvaneObjectTemplate* pkTemplate = pkObjects->FindTemplate(kName.c_str());
        ASSERT_NE(pkTemplate, nullptr) << kName;
        // Rooms: width, depth, price, places, level, kind, score, staff.
        if (pkTemplate->m_kParameters.size() != 8 || std::atoi(pkTemplate->m_kParameters[7].c_str()) == 0)
            continue;
        ++iStaffed;
        for (std::size_t l = 0; l < 3; ++l)
        {
            const std::string& kText = akWords[l];
            const Wrapped kWrapped = WrapText(*pkBody, 146.0f, 0.0f, 79.0f, kText);
            EXPECT_LE(kWrapped.iRight, 146 + 79) << kName << ": " << kText;
            EXPECT_LE(kWrapped.iBottom, 100) << kName << ": " << kText;
            EXPECT_TRUE(std::any_of(akStaffWords[l].begin(), akStaffWords[l].end(), [&](const std::string& kWord) {
                return Lower(kText).find(kWord) != std::string::npos;
            })) << kName << " names nobody it hires: " << kText;
        }
    }
    EXPECT_GE(iStaffed, 10);

    // Its own name: the description up to its first stop, a word split for
    // the column joined again.
    const auto NameOf = [&](const char* pcTemplate, std::size_t l) {
        const std::string& kText = kDescriptions.at(pcTemplate)[l];
        std::string kName = Lower(kText.substr(0, kText.find_first_of(".:")));
        for (std::size_t uiAt = kName.find("- "); uiAt != std::string::npos; uiAt = kName.find("- "))
            kName.erase(uiAt, 2);
        return kName;
    };
    const std::string& kCounter = kDescriptions.at("serving_counter")[0];
    EXPECT_NE(Lower(kCounter).find("guard"), std::string::npos) << kCounter;
    constexpr std::size_t MESSAGE_ESCAPE = 64;
    for (std::size_t l = 0; l < 3; ++l)
    {
        const std::string kEscape = Lower(kMessages.at(MESSAGE_ESCAPE)[l]);
        for (const char* pcRoom : {"serving_counter", "guard_room", "admin_staff_security_indoor"})
            EXPECT_NE(kEscape.find(NameOf(pcRoom, l)), std::string::npos) << NameOf(pcRoom, l) << " / " << kEscape;
    }
    // The violent day's evening report says what stops the next: the
    // guards, and the games table by the cells page's own name; it reads
    // on one line of the messages list.
    constexpr std::size_t MESSAGE_VIOLENT_DAY = 62;
    for (std::size_t l = 0; l < 3; ++l)
    {
        const std::string& kReport = kMessages.at(MESSAGE_VIOLENT_DAY)[l];
        EXPECT_NE(Lower(kReport).find(NameOf("games_table", l)), std::string::npos)
            << NameOf("games_table", l) << " / " << kReport;
        EXPECT_NE(Lower(kReport).find(akStaffWords[l][0]), std::string::npos) << kReport;
        EXPECT_EQ(WrapText(*pkBody, 32.0f, 48.0f, 480.0f, "99 " + kReport).iLines, 1) << kReport;
    }

    for (const char* pcPanel : {"images/panels/prisoner/prisoner.tga", "images/panels/staff/staff.tga",
                                "images/panels/building/building.tga", "images/panels/options/options.tga",
                                "images/panels/messages/messages.tga", "images/parole/parole.tga",
                                "images/confirm/confirm.tga"})
    {
        NiPixelDataPtr spPanel = ReadPicture(Folder() / pcPanel);
        ASSERT_NE(spPanel, nullptr) << pcPanel;
        std::size_t uiSeeThrough = 0;
        const std::uint8_t* puc = spPanel->GetPixels();
        for (std::size_t i = 0; i < static_cast<std::size_t>(spPanel->GetWidth()) * spPanel->GetHeight(); ++i)
            uiSeeThrough += puc[i * 4 + 3] != 255 ? 1 : 0;
        EXPECT_EQ(uiSeeThrough, 0u) << pcPanel;
    }
}
