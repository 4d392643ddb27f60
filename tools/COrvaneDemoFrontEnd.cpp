#include "tools/COrvaneDemoFrontEnd.h"

#include "framework/COrvaneTagTree.h"
#include "platform/os/OsFiles.h"
#include "tools/COrvaneDemoImage.h"
#include "tools/COrvaneDemoLabels.h"
#include "tools/COrvaneDemoText.h"
#include "tools/COrvaneDemoTooltips.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{
using Rgba = DemoRgba;

const Rgba SCREEN = {24, 30, 52, 255};
// Opaque, as the in-game panels are: the camera label and the clock under
// them must not show through.
const Rgba PANEL = {30, 40, 70, 255};
const Rgba BUTTON = {60, 80, 130, 255};
const Rgba HIGHLIGHT = {255, 255, 255, 90};
const Rgba WHITE = {255, 255, 255, 255};
const Rgba BLACK = {0, 0, 0, 255};

using Rect = DemoRect;
using Image = COrvaneDemoImage;

struct Button
{
    Rect kRect;
    const char* pcLabel;
    // An icon instead of a word, where the screen serves every language.
    const char16_t* pcIcon = nullptr;
};

// A button's icon at two thirds of its height.
int IconPixels(const Rect& kRect)
{
    return static_cast<int>(kRect.h * 2 / 3);
}

// "<base>.tga" with its labelled buttons, "<base>_p.tga" placing button k
// (from 1) at its top-left corner, "<base>k_s.tga", its hover overlay, and
// "<base>_h.tga" over the buttons that have hover texts.
bool WriteScreen(const std::string& kFolder, const std::string& kBase, std::uint32_t uiWidth, std::uint32_t uiHeight,
                 const std::vector<Button>& kButtons, const Rgba& kFill, const char* pcTitle = nullptr)
{
    Image kBackground(uiWidth, uiHeight, kFill);
    kBackground.Box({0, 0, uiWidth, uiHeight}, kFill);
    if (pcTitle != nullptr && !kBackground.Label({0, 10, uiWidth, 50}, pcTitle, 30))
        return false;
    Image kPlace(uiWidth, uiHeight, BLACK);
    for (std::size_t k = 0; k < kButtons.size(); ++k)
    {
        kBackground.Box(kButtons[k].kRect, BUTTON);
        if (kButtons[k].pcLabel != nullptr && !kBackground.Label(kButtons[k].kRect, kButtons[k].pcLabel))
            return false;
        if (kButtons[k].pcIcon != nullptr &&
            !kBackground.Symbol(kButtons[k].kRect, kButtons[k].pcIcon, IconPixels(kButtons[k].kRect)))
            return false;
        kPlace.Set(static_cast<std::uint32_t>(k), 0, DemoKeyColour(k));
        kPlace.Set(kButtons[k].kRect.x, kButtons[k].kRect.y, DemoKeyColour(k));
    }
    if (!DrawDemoFigureLabels(kBackground, kBase))
        return false;
    kPlace.Set(static_cast<std::uint32_t>(kButtons.size()), 0, WHITE);
    std::vector<Rect> kRects;
    for (const Button& kButton : kButtons)
        kRects.push_back(kButton.kRect);
    if (!kBackground.Write(kFolder + "/" + kBase + ".tga") || !kPlace.Write(kFolder + "/" + kBase + "_p.tga") ||
        !WriteDemoHotAreas(kFolder, kBase, uiWidth, uiHeight, kRects))
        return false;
    for (std::size_t k = 0; k < kButtons.size(); ++k)
    {
        Image kOverlay(kButtons[k].kRect.w, kButtons[k].kRect.h, HIGHLIGHT);
        kOverlay.Box({0, 0, kButtons[k].kRect.w, kButtons[k].kRect.h}, HIGHLIGHT);
        if (!kOverlay.Write(kFolder + "/" + kBase + std::to_string(k + 1) + "_s.tga"))
            return false;
    }
    return true;
}

// A picture with a frame and a label.
bool WritePicture(const std::string& kPath, std::uint32_t uiWidth, std::uint32_t uiHeight, const Rgba& kFill,
                  const char* pcLabel, int iPixels = 18)
{
    Image kImage(uiWidth, uiHeight, kFill);
    kImage.Box({0, 0, uiWidth, uiHeight}, kFill);
    return (pcLabel == nullptr || kImage.Label({0, 0, uiWidth, uiHeight}, pcLabel, iPixels)) && kImage.Write(kPath);
}

// A setting's "off" picture: its button's icon on a red ground, struck
// through, so the icon still says which setting it is.
bool WriteStruckIcon(const std::string& kPath, const Button& kButton)
{
    const Rect kRect = {0, 0, kButton.kRect.w, kButton.kRect.h};
    const Rgba kRed = {140, 40, 40, 230};
    Image kImage(kRect.w, kRect.h, kRed);
    kImage.Box(kRect, kRed);
    if (kButton.pcIcon == nullptr || !kImage.Symbol(kRect, kButton.pcIcon, IconPixels(kRect)))
        return false;
    // A stroke from the lower left to the upper right, three pixels thick.
    for (std::uint32_t x = 4; x + 4 < kRect.w; ++x)
    {
        const std::uint32_t y = kRect.h - 4 - (x - 4) * (kRect.h - 8) / (kRect.w - 8);
        kImage.Fill({x, y - 1, 1, 3}, {255, 90, 90, 255});
    }
    return kImage.Write(kPath);
}

bool WriteBytes(const std::string& kPath, const std::string& kBytes)
{
    std::FILE* pkFile = std::fopen(kPath.c_str(), "wb");
    if (pkFile == nullptr)
        return false;
    const bool bWritten = std::fwrite(kBytes.data(), 1, kBytes.size(), pkFile) == kBytes.size();
    return std::fclose(pkFile) == 0 && bWritten;
}

// A saved game on level 0 with nothing built yet: scenario 0, won once the
// first game year is over (the year offset, kind 1, above 0), lost when the
// balance (kind 0) falls below 0.
const char* const SCENARIO_FILE = "<VERSION>\r\n1\r\n00:00:00\r\nJan  1 2026\r\n</VERSION>\r\n"
                                  "<WORLD>\r\n0\r\n0\r\n"
                                  "<CONDITIONS>\r\n0\r\n1,1,0\r\n0,0,0\r\n</CONDITIONS>\r\n"
                                  "</WORLD>\r\n<OBJECTS>\r\n</OBJECTS>\r\n";

bool AddScenarioList(const std::string& kDataPath)
{
    COrvaneTagTree kData;
    if (!kData.Load(kDataPath.c_str()) || !kData.SelectSection("root", true) || !kData.AddChild("SCENARIOS") ||
        !kData.SelectSection("<SCENARIOS>", true))
        return false;
    kData.AddValue(std::string(DEMO_SCENARIO) + "\r\n");
    return kData.Save(kDataPath.c_str());
}
} // namespace

bool WriteDemoFrontEnd(const std::string& kFolder)
{
    for (const char* pcFolder : {"images/mainmenu", "images/location", "images/scenario", "scenarios",
                                 "images/panels/options", "images/panels/messages", "images/parole"})
    {
        if (!os::CreateFolderTree(kFolder + "/" + pcFolder))
        {
            std::fprintf(stderr, "demo data: cannot make %s/%s\n", kFolder.c_str(), pcFolder);
            return false;
        }
    }
    // The three screens in layout units (1024 x 768), buttons by number.
    bool bOk = WriteScreen(kFolder, "images/mainmenu/mainmenu", 1024, 768,
                           {{{387, 260, 250, 56}, "New prison"},
                            {{387, 336, 250, 56}, "Scenarios"},
                            {{387, 488, 250, 56}, "Quit"},
                            {{387, 412, 250, 56}, "Load game"}},
                           SCREEN, "ORVANE");
    bOk = bOk && WriteScreen(kFolder, "images/location/location", 1024, 768,
                             {{{112, 300, 240, 160}, "Harbour prison"},
                              {{392, 300, 240, 160}, "Hill prison"},
                              {{672, 300, 240, 160}, "Desert prison"},
                              {{387, 560, 250, 56}, "Main menu"}},
                             SCREEN, "Choose a location");
    // The preview sits at (61, 57), brief and stamp at (100, 450): the
    // buttons keep to the right.
    bOk = bOk && WriteScreen(kFolder, "images/scenario/scenario", 1024, 768,
                             {{{650, 600, 105, 50}, "Previous"},
                              {{765, 600, 105, 50}, "Next"},
                              {{650, 670, 220, 50}, "Main menu"},
                              {{650, 520, 220, 60}, "Start"}},
                             SCREEN);
    bOk = bOk && WritePicture(kFolder + "/images/scenario/approved.tga", 220, 80, {170, 30, 30, 200}, "APPROVED", 30);
    bOk = bOk && WriteBytes(kFolder + "/" + DEMO_SCENARIO + ".fds", SCENARIO_FILE) &&
          WritePicture(kFolder + "/" + DEMO_SCENARIO + ".tga", 400, 300, {60, 110, 70, 255}, "First steps") &&
          AddScenarioList(kFolder + "/data.xml");

    // Options: title, close, load, save, detail, effects, music, quit. The
    // three state images cover their buttons while the setting is off: the
    // same icon, struck through in red.
    const std::vector<Button> kOptions = {{{2, 2, 272, 20}, nullptr},
                                          {{276, 2, 20, 20}, nullptr, u"\u2715"},
                                          {{10, 34, 135, 32}, nullptr, u"\u25B6"},
                                          {{155, 34, 135, 32}, nullptr, u"\u270E"},
                                          {{10, 76, 135, 32}, nullptr, u"\u25A6"},
                                          {{155, 76, 135, 32}, nullptr, u"\u26A1\u266A"},
                                          {{10, 118, 135, 32}, nullptr, u"\u266B"},
                                          {{155, 118, 135, 32}, nullptr, u"\u2302"}};
    bOk = bOk && WriteScreen(kFolder, "images/panels/options/options", 300, 160, kOptions, PANEL);
    const char* const apcStates[] = {"LODlow", "SFXoff", "musicoff"};
    for (std::size_t i = 0; i < 3; ++i)
        bOk = bOk && WriteStruckIcon(kFolder + "/images/panels/options/" + apcStates[i] + ".tga", kOptions[4 + i]);
    // Messages: title, close, newer, older; the list runs from y 48 to 490.
    bOk = bOk && WriteScreen(kFolder, "images/panels/messages/messages", 540, 540,
                             {{{2, 2, 512, 20}, nullptr},
                              {{516, 2, 20, 20}, nullptr, u"\u2715"},
                              {{150, 500, 110, 30}, nullptr, u"\u25B2"},
                              {{280, 500, 110, 30}, nullptr, u"\u25BC"}},
                             PANEL);
    bOk = bOk && Image(490, 2, DEMO_FRAME).Write(kFolder + "/images/panels/messages/line.tga");
    // The parole desk: grant, refuse, leave; the candidate on the left, the
    // prison on the right.
    bOk = bOk && WriteScreen(kFolder, "images/parole/parole", 840, 520,
                             {{{200, 440, 110, 40}, nullptr, u"\u2713"},
                              {{330, 440, 110, 40}, nullptr, u"\u2717"},
                              {{700, 460, 110, 40}, nullptr, u"\u21A9"}},
                             {70, 60, 45, 255});
    bOk = bOk && WritePicture(kFolder + "/images/parole/photoback.tga", 120, 140, {200, 200, 190, 255}, nullptr);
    if (!bOk)
        std::fprintf(stderr, "demo data: cannot write the front end under %s\n", kFolder.c_str());
    return bOk;
}
