#include "tools/COrvaneDemoFrontEnd.h"

#include "framework/COrvaneTagTree.h"
#include "platform/os/OsFiles.h"
#include "platform/text/TextRaster.h"
#include "tools/COrvaneDemoText.h"
#include "tools/COrvaneTgaWriter.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{
using Rgba = std::array<std::uint8_t, 4>;

const Rgba SCREEN = {24, 30, 52, 255};
const Rgba PANEL = {30, 40, 70, 235};
const Rgba FRAME = {150, 160, 190, 255};
const Rgba BUTTON = {60, 80, 130, 255};
const Rgba HIGHLIGHT = {255, 255, 255, 90};
const Rgba WHITE = {255, 255, 255, 255};
const Rgba BLACK = {0, 0, 0, 255};

struct Rect
{
    std::uint32_t x;
    std::uint32_t y;
    std::uint32_t w;
    std::uint32_t h;
};

struct Button
{
    Rect kRect;
    const char* pcLabel;
};

class Image
{
public:
    Image(std::uint32_t uiWidth, std::uint32_t uiHeight, const Rgba& kFill) : m_uiWidth(uiWidth), m_uiHeight(uiHeight)
    {
        for (std::uint32_t i = 0; i < uiWidth * uiHeight; ++i)
            m_kPixels.insert(m_kPixels.end(), kFill.begin(), kFill.end());
    }
    Image& Set(std::uint32_t x, std::uint32_t y, const Rgba& kColour)
    {
        if (x < m_uiWidth && y < m_uiHeight)
            std::copy(kColour.begin(), kColour.end(),
                      m_kPixels.begin() + (static_cast<std::ptrdiff_t>(y) * m_uiWidth + x) * 4);
        return *this;
    }
    Image& Fill(const Rect& kRect, const Rgba& kColour)
    {
        for (std::uint32_t y = kRect.y; y < kRect.y + kRect.h; ++y)
            for (std::uint32_t x = kRect.x; x < kRect.x + kRect.w; ++x)
                Set(x, y, kColour);
        return *this;
    }
    Image& Box(const Rect& kRect, const Rgba& kFill)
    {
        Fill(kRect, FRAME);
        if (kRect.w > 2 && kRect.h > 2)
            Fill({kRect.x + 1, kRect.y + 1, kRect.w - 2, kRect.h - 2}, kFill);
        return *this;
    }
    // White text centred in the rectangle, blended by the glyphs' coverage.
    bool Label(const Rect& kRect, const std::string& kText, int iPixels = 18)
    {
        std::vector<text::GlyphPicture> kGlyphs;
        std::string kError;
        if (!text::RenderGlyphs(DEMO_TRUETYPE, iPixels, kText, kGlyphs, kError))
        {
            std::fprintf(stderr, "demo data: %s\n", kError.c_str());
            return false;
        }
        std::uint32_t uiWidth = 0;
        for (const text::GlyphPicture& kGlyph : kGlyphs)
            uiWidth += kGlyph.width;
        const std::uint32_t uiHeight = kGlyphs.empty() ? 0 : kGlyphs.front().height;
        std::uint32_t x = kRect.x + (kRect.w > uiWidth ? (kRect.w - uiWidth) / 2 : 0);
        const std::uint32_t y = kRect.y + (kRect.h > uiHeight ? (kRect.h - uiHeight) / 2 : 0);
        for (const text::GlyphPicture& kGlyph : kGlyphs)
        {
            for (std::uint32_t gy = 0; gy < kGlyph.height; ++gy)
                for (std::uint32_t gx = 0; gx < kGlyph.width; ++gx)
                    Blend(x + gx, y + gy, kGlyph.coverage[static_cast<std::size_t>(gy) * kGlyph.width + gx]);
            x += kGlyph.width;
        }
        return true;
    }
    [[nodiscard]] bool Write(const std::string& kPath) const
    {
        return WriteTga(kPath, static_cast<std::uint16_t>(m_uiWidth), static_cast<std::uint16_t>(m_uiHeight), 32,
                        m_kPixels);
    }

private:
    void Blend(std::uint32_t x, std::uint32_t y, std::uint8_t ucCoverage)
    {
        if (x >= m_uiWidth || y >= m_uiHeight || ucCoverage == 0)
            return;
        std::uint8_t* puc = &m_kPixels[(static_cast<std::size_t>(y) * m_uiWidth + x) * 4];
        for (int c = 0; c < 3; ++c)
            puc[c] = static_cast<std::uint8_t>((puc[c] * (255 - ucCoverage) + 255 * ucCoverage) / 255);
        puc[3] = std::max(puc[3], ucCoverage);
    }

    std::uint32_t m_uiWidth;
    std::uint32_t m_uiHeight;
    std::vector<std::uint8_t> m_kPixels;
};

// Key colour k of a placement map: never black or white.
Rgba Key(std::size_t k)
{
    return {static_cast<std::uint8_t>(40 + 20 * k), static_cast<std::uint8_t>(200 - 15 * k),
            static_cast<std::uint8_t>(k % 2 == 0 ? 60 : 160), 255};
}

// "<base>.tga" with its labelled buttons, "<base>_p.tga" placing button k
// (from 1) at its top-left corner and "<base>k_s.tga", its hover overlay.
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
        kPlace.Set(static_cast<std::uint32_t>(k), 0, Key(k));
        kPlace.Set(kButtons[k].kRect.x, kButtons[k].kRect.y, Key(k));
    }
    kPlace.Set(static_cast<std::uint32_t>(kButtons.size()), 0, WHITE);
    if (!kBackground.Write(kFolder + "/" + kBase + ".tga") || !kPlace.Write(kFolder + "/" + kBase + "_p.tga"))
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

bool WriteBytes(const std::string& kPath, const std::string& kBytes)
{
    std::FILE* pkFile = std::fopen(kPath.c_str(), "wb");
    if (pkFile == nullptr)
        return false;
    const bool bWritten = std::fwrite(kBytes.data(), 1, kBytes.size(), pkFile) == kBytes.size();
    return std::fclose(pkFile) == 0 && bWritten;
}

// A saved game on level 0 with nothing built yet: scenario 0, won with
// more than five prisoners held (kind 4 above 5), lost when the balance
// falls below -50000 (kind 0 below).
const char* const SCENARIO_FILE = "<VERSION>\r\n1\r\n00:00:00\r\nJan  1 2026\r\n</VERSION>\r\n"
                                  "<WORLD>\r\n0\r\n0\r\n"
                                  "<CONDITIONS>\r\n0\r\n4,1,5\r\n0,0,-50000\r\n</CONDITIONS>\r\n"
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
          WritePicture(kFolder + "/" + DEMO_SCENARIO + ".tga", 400, 300, {60, 110, 70, 255}, "The first week") &&
          AddScenarioList(kFolder + "/data.xml");

    // Options: title, close, load, save, detail, effects, music, quit; the
    // three state images cover their buttons while the setting is off.
    const std::vector<Button> kOptions = {{{2, 2, 272, 20}, nullptr},      {{276, 2, 20, 20}, "x"},
                                          {{10, 34, 135, 32}, "Load"},     {{155, 34, 135, 32}, "Save"},
                                          {{10, 76, 135, 32}, "Detail"},   {{155, 76, 135, 32}, "Effects"},
                                          {{10, 118, 135, 32}, "Music"},   {{155, 118, 135, 32}, "Quit"}};
    bOk = bOk && WriteScreen(kFolder, "images/panels/options/options", 300, 160, kOptions, PANEL);
    const char* const apcStates[] = {"LODlow", "SFXoff", "musicoff"};
    for (std::size_t i = 0; i < 3; ++i)
        bOk = bOk && WritePicture(kFolder + "/images/panels/options/" + apcStates[i] + ".tga", kOptions[4 + i].kRect.w,
                                  kOptions[4 + i].kRect.h, {140, 40, 40, 220}, "Off");
    // Messages: title, close, newer, older; the list runs from y 48 to 490.
    bOk = bOk && WriteScreen(kFolder, "images/panels/messages/messages", 540, 540,
                             {{{2, 2, 512, 20}, nullptr},
                              {{516, 2, 20, 20}, "x"},
                              {{150, 500, 110, 30}, "Newer"},
                              {{280, 500, 110, 30}, "Older"}},
                             PANEL);
    bOk = bOk && Image(490, 2, FRAME).Write(kFolder + "/images/panels/messages/line.tga");
    // The parole desk: grant, refuse, leave; the candidate on the left, the
    // prison on the right.
    bOk = bOk && WriteScreen(kFolder, "images/parole/parole", 840, 520,
                             {{{200, 440, 110, 40}, "Grant"}, {{330, 440, 110, 40}, "Refuse"}, {{700, 460, 110, 40}, "Leave"}},
                             {70, 60, 45, 240});
    bOk = bOk && WritePicture(kFolder + "/images/parole/photoback.tga", 120, 140, {200, 200, 190, 255}, nullptr);
    if (!bOk)
        std::fprintf(stderr, "demo data: cannot write the front end under %s\n", kFolder.c_str());
    return bOk;
}
