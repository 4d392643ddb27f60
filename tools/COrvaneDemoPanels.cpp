#include "tools/COrvaneDemoPanels.h"

#include "platform/os/OsFiles.h"
#include "tools/COrvaneDemoImage.h"
#include "tools/COrvaneDemoLabels.h"
#include "tools/COrvaneDemoPrison.h"
#include "tools/COrvaneDemoTooltips.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

namespace
{
using Rgba = DemoRgba;

// Opaque: the camera label and the clock are drawn before the panels and
// must not show through a pop-up.
const Rgba PANEL = {30, 40, 70, 255};
const Rgba BUTTON = {60, 80, 130, 255};
const Rgba TITLE = {45, 60, 100, 255};
const Rgba HIGHLIGHT = {255, 255, 255, 90};
const Rgba WHITE = {255, 255, 255, 255};
const Rgba BLACK = {0, 0, 0, 255};

using Rect = DemoRect;
using Image = COrvaneDemoImage;

// The overlay of button k: "k_s.tga". The layout takes the first file in
// name order that starts with the base and the number, so where a button
// numbered k0 to k9 exists ("10_s" sorts before "1_s"), button k's name gets
// a '-' (which sorts before the digits) after its number.
std::string OverlayName(std::size_t uiButton, std::size_t uiButtons)
{
    return std::to_string(uiButton) + (uiButton * 10 <= uiButtons ? "-_s.tga" : "_s.tga");
}

// A panel: "<base>.tga" with its buttons drawn, "<base>_p.tga" placing
// button k (from 1) at its top-left corner, its overlay shown while the
// button is hovered or pressed (OverlayName), and "<base>_h.tga" over the
// buttons that have hover texts.
bool WriteButtonPanel(const std::string& kFolder, const std::string& kBase, std::uint32_t uiWidth,
                      std::uint32_t uiHeight, const std::vector<Rect>& kButtons, const Rgba& kFill = PANEL,
                      const std::vector<std::u16string>& kSymbols = {}, const std::vector<DemoMark>& kMarks = {})
{
    Image kBackground(uiWidth, uiHeight, kFill);
    kBackground.Box({0, 0, uiWidth, uiHeight}, kFill);
    Image kPlace(uiWidth, uiHeight, BLACK);
    for (std::size_t k = 0; k < kButtons.size(); ++k)
    {
        const bool bInert = k < kSymbols.size() && kSymbols[k] == DEMO_INERT;
        if (!bInert)
            kBackground.Box(kButtons[k], k == 0 && kButtons.size() > 1 && kButtons[0].w > 60 ? TITLE : BUTTON);
        // Each button shows what it does: an icon drawn from the font.
        if (k < kSymbols.size() && !kSymbols[k].empty() && !bInert &&
            !kBackground.Symbol(kButtons[k], kSymbols[k], std::min<int>(22, static_cast<int>(kButtons[k].h) - 4)))
            return false;
        kPlace.Set(static_cast<std::uint32_t>(k), 0, DemoKeyColour(k));
        kPlace.Set(kButtons[k].x, kButtons[k].y, DemoKeyColour(k));
    }
    // Icons beside the figures the panel's code draws.
    for (const DemoMark& kMark : kMarks)
        if (!kBackground.Symbol(kMark.m_kRect, kMark.m_kSymbol, static_cast<int>(kMark.m_kRect.h)))
            return false;
    if (!DrawDemoFigureLabels(kBackground, kBase))
        return false;
    kPlace.Set(static_cast<std::uint32_t>(kButtons.size()), 0, WHITE);
    // The hot areas also over the labels of a page without buttons.
    if (!kBackground.Write(kFolder + "/" + kBase + ".tga") ||
        !WriteDemoHotAreas(kFolder, kBase, uiWidth, uiHeight, kButtons))
        return false;
    if (kButtons.empty())
        return true;
    if (!kPlace.Write(kFolder + "/" + kBase + "_p.tga"))
        return false;
    for (std::size_t k = 0; k < kButtons.size(); ++k)
    {
        Image kOverlay(kButtons[k].w, kButtons[k].h, HIGHLIGHT);
        kOverlay.Box({0, 0, kButtons[k].w, kButtons[k].h}, HIGHLIGHT);
        if (!kOverlay.Write(kFolder + "/" + kBase + OverlayName(k + 1, kButtons.size())))
            return false;
    }
    return true;
}

// A base panel: title bar (1) and close button (2).
std::vector<Rect> TitleAndClose(std::uint32_t uiWidth)
{
    return {{2, 2, uiWidth - 28, 20}, {uiWidth - 24, 2, 20, 20}};
}

// A title bar without an icon and a close button with its cross.
std::vector<std::u16string> CloseSymbols()
{
    return {u"", u"\u2715"};
}

bool WriteSquare(const std::string& kPath, std::uint32_t uiSize, const Rgba& kFill, const std::u16string& kIcon = {})
{
    Image kImage(uiSize, uiSize, kFill);
    kImage.Box({0, 0, uiSize, uiSize}, kFill);
    if (!kIcon.empty() && !kImage.Symbol({1, 1, uiSize - 2, uiSize - 2}, kIcon, static_cast<int>(uiSize * 2 / 3)))
        return false;
    return kImage.Write(kPath);
}

// A category row: a slim background and numbered icons to its right, each
// laid right of the one before; the hover texts' areas keep below the
// map's key row.
bool WriteIconRow(const std::string& kFolder, const std::string& kBase, std::size_t uiIcons,
                  const std::vector<std::u16string>& kSymbols)
{
    if (!Image(2, 32, PANEL).Write(kFolder + "/" + kBase + ".tga"))
        return false;
    std::vector<Rect> kIcons;
    for (std::size_t i = 0; i < uiIcons; ++i)
        kIcons.push_back({static_cast<std::uint32_t>(2 + 32 * i), 1, 32, 31});
    if (!WriteDemoHotAreas(kFolder, kBase, static_cast<std::uint32_t>(2 + 32 * uiIcons), 32, kIcons))
        return false;
    for (std::size_t i = 1; i <= uiIcons; ++i)
    {
        char acNumber[8];
        std::snprintf(acNumber, sizeof acNumber, "%02zu", i);
        const Rgba kColour = {static_cast<std::uint8_t>(60 + 30 * i), 90, static_cast<std::uint8_t>(200 - 25 * i), 255};
        if (!WriteSquare(kFolder + "/" + kBase + acNumber + ".tga", 32, kColour,
                         i <= kSymbols.size() ? kSymbols[i - 1] : std::u16string()))
            return false;
    }
    return true;
}
} // namespace

std::vector<std::u16string> DemoMainPanelSymbols()
{
    return {u"\u2692", u"\u2630", u"\u2699", u"\u21C5", u"\u275A\u275A", u"\u25B6", u"\u25B6\u25B6",
            u"\u25B6\u25B6\u25B6", u"\u2709"};
}

std::vector<DemoMark> DemoMainPanelMarks()
{
    return {{{144, 52, 18, 18}, u"\u25F7"},
            {{272, 52, 16, 18}, u"\u00A4"},
            {{404, 52, 18, 18}, u"\u263B"},
            {{644, 22, 18, 18}, u"\u2696"},
            // Left of the level's coloured square, which the bar draws at 536.
            {{516, 52, 18, 18}, u"\u265C"}};
}

std::string DemoThumbnailPath(const std::string& kKey, const std::string& kName)
{
    return "images/panels/build/thumbs/" + kKey + "/" + kName + ".tga";
}

bool WriteDemoPanels(const std::string& kFolder)
{
    for (const char* pcFolder :
         {"images/panels/main/base", "images/panels/main/floors", "images/panels/build", "images/panels/management",
          "images/panels/management/finance",
          "images/panels/options", "images/confirm", "images/panels/load", "images/panels/save",
          "images/panels/building", "images/panels/prisoner", "images/panels/staff", "images/panels/messages",
          "images/parole", "images/panels/starsign", "images/panels/seclev"})
    {
        if (!os::CreateFolderTree(kFolder + "/" + pcFolder))
        {
            std::fprintf(stderr, "demo data: cannot make %s/%s\n", kFolder.c_str(), pcFolder);
            return false;
        }
    }
    // The main panel: build, management, options (3, 4), speeds 0-3 (5-8),
    // messages (9), clear of the texts, ticker and bar it draws.
    // Icons: build, management, options, load/save, pause and the three
    // speeds, messages; beside the figures: clock (time), money (balance),
    // a person (prisoners / beds), scales (the order bar).
    bool bOk = WriteButtonPanel(kFolder, "images/panels/main/base/base", 800, 96,
                                {{5, 5, 45, 40},
                                 {52, 5, 45, 40},
                                 {99, 5, 45, 40},
                                 {5, 50, 45, 40},
                                 {740, 4, 55, 20},
                                 {740, 26, 55, 20},
                                 {740, 48, 55, 20},
                                 {740, 70, 55, 20},
                                 {52, 50, 45, 40}},
                                PANEL, DemoMainPanelSymbols(), DemoMainPanelMarks());
    Image kBar(68, 8, {60, 200, 80, 255});
    bOk = bOk && kBar.Write(kFolder + "/images/panels/main/base/bar.tga");
    bOk = bOk && WriteButtonPanel(kFolder, "images/panels/main/floors/floors", 224, 96,
                                  {{5, 10, 40, 30}, {5, 55, 40, 30}, {170, 10, 48, 30}, {170, 55, 48, 30}}, PANEL,
                                  {u"\u25B2", u"\u25BC", u"\u2302", u"\u21BB"});
    // Build panel: title, close; the rows at (8, 40), the page at (0, 78).
    // Wide enough that the page's descriptions, from x 146 on, keep inside.
    bOk = bOk && WriteButtonPanel(kFolder, "images/panels/build/build", 264, 250, TitleAndClose(264), PANEL,
                                  CloseSymbols());
    bOk = bOk && WriteButtonPanel(kFolder, "images/panels/build/page", 264, 160,
                                  {{8, 122, 28, 26}, {72, 122, 28, 26}, {110, 122, 28, 26}}, PANEL,
                                  {u"\u25C0", u"\u25B6", u"\u2717"});
    // One icon per menu category.
    std::size_t uiGroundsRow = 0;
    std::size_t uiInsideRow = 0;
    std::string kLastCategory;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        if (kPlan.m_kCategory == kLastCategory)
            continue;
        kLastCategory = kPlan.m_kCategory;
        ++(kPlan.m_bGrounds ? uiGroundsRow : uiInsideRow);
    }
    // Grounds: cell blocks, workshops, canteens, hospitals, administration,
    // fences; inside: cells, kitchen, work, health, offices.
    bOk = bOk &&
          WriteIconRow(kFolder, "images/panels/build/icons_ext", uiGroundsRow,
                       {u"\u25A5", u"\u2692", u"\u2615", u"\u2695", u"\u270E", u"\u265C"}) &&
          WriteIconRow(kFolder, "images/panels/build/icons_int", uiInsideRow,
                       {u"\u25A5", u"\u2615", u"\u2692", u"\u2695", u"\u270E"});
    bOk = bOk && Image(192, 36, {90, 90, 100, 200}).Write(kFolder + "/images/panels/build/plate.tga");
    Image kDemolish(96, 96, {120, 30, 30, 255});
    for (std::uint32_t i = 8; i < 88; ++i)
        kDemolish.Fill({i, i, 3, 3}, WHITE).Fill({95 - i - 2, i, 3, 3}, WHITE);
    bOk = bOk && kDemolish.Write(kFolder + "/images/panels/build/demolish.tga");
    bOk = bOk && WriteButtonPanel(kFolder, "images/confirm/confirm", 184, 140, {{20, 110, 60, 24}, {104, 110, 60, 24}},
                                  PANEL, {u"\u2713", u"\u2717"});
    bOk = bOk && WriteButtonPanel(kFolder, "images/panels/management/finance/finance", 300, 170,
                                  {{5, 145, 60, 20}, {70, 145, 60, 20}}, PANEL, {u"\u03A3", u"\u00F8"});
    // Options, messages and the parole desk: COrvaneDemoFrontEnd; the
    // management, file and pop-up panels: COrvaneDemoInfoPanels.

    // Icons: 16 x 16 squares; a star sign's shows its sign.
    std::uint8_t ucShade = 40;
    const std::pair<const char*, char16_t> akSigns[] = {
        {"Aquarius", u'\u2652'}, {"Aries", u'\u2648'},  {"Cancer", u'\u264B'},      {"Capricorn", u'\u2651'},
        {"Gemini", u'\u264A'},   {"Leo", u'\u264C'},    {"Libra", u'\u264E'},       {"Pisces", u'\u2653'},
        {"Sagittarius", u'\u2650'}, {"Scorpio", u'\u264F'}, {"Taurus", u'\u2649'}, {"Virgo", u'\u264D'}};
    for (const auto& [pcSign, cSymbol] : akSigns)
    {
        bOk = bOk && WriteSquare(kFolder + "/images/panels/starsign/" + pcSign + ".tga", 16, {ucShade, 120, 200, 255},
                                 std::u16string(1, cSymbol));
        ucShade = static_cast<std::uint8_t>(ucShade + 16);
    }
    const std::array<Rgba, 4> akLevels = {{{80, 200, 80, 255}, {220, 200, 60, 255}, {230, 120, 40, 255}, {210, 40, 40, 255}}};
    const char* const apcLevels[] = {"low", "med", "high", "max"};
    for (std::size_t i = 0; i < 4; ++i)
        bOk = bOk && WriteSquare(kFolder + "/images/panels/seclev/" + apcLevels[i] + ".tga", 16, akLevels[i]);
    bOk = bOk && WriteSquare(kFolder + "/images/panels/seclev/gang1.tga", 16, {160, 60, 160, 255}) &&
          WriteSquare(kFolder + "/images/panels/seclev/gang2.tga", 16, {60, 160, 160, 255});

    // A thumbnail for every build-menu plan.
    std::size_t uiPlan = 0;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        const std::string kPath = DemoThumbnailPath(kPlan.m_kKey, kPlan.m_kName);
        const std::size_t uiSlash = kPath.rfind('/');
        const Rgba kColour = {static_cast<std::uint8_t>(70 + 11 * uiPlan), 110,
                              static_cast<std::uint8_t>(220 - 9 * uiPlan), 255};
        ++uiPlan;
        bOk = bOk && os::CreateFolderTree(kFolder + "/" + kPath.substr(0, uiSlash)) &&
              WriteSquare(kFolder + "/" + kPath, 96, kColour);
    }
    if (!bOk)
        std::fprintf(stderr, "demo data: cannot write the panels under %s\n", kFolder.c_str());
    return bOk;
}

bool WriteDemoButtonPanel(const std::string& kFolder, const std::string& kBase, std::uint32_t uiWidth,
                          std::uint32_t uiHeight, const std::vector<std::array<std::uint32_t, 4>>& kButtons,
                          const std::vector<std::u16string>& kIcons)
{
    std::vector<Rect> kRects;
    for (const std::array<std::uint32_t, 4>& kButton : kButtons)
        kRects.push_back({kButton[0], kButton[1], kButton[2], kButton[3]});
    return WriteButtonPanel(kFolder, kBase, uiWidth, uiHeight, kRects, PANEL, kIcons);
}

bool WriteDemoSquare(const std::string& kPath, std::uint32_t uiSize, const std::array<std::uint8_t, 4>& kColour,
                     const std::u16string& kIcon)
{
    return WriteSquare(kPath, uiSize, kColour, kIcon);
}
