#include "tools/COrvaneDemoInfoPanels.h"

#include "platform/os/OsFiles.h"
#include "tools/COrvaneDemoPanels.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace
{
using Button = std::array<std::uint32_t, 4>;
using Rgba = std::array<std::uint8_t, 4>;

// Title bar (1) and close button (2) of a base panel.
std::vector<Button> TitleAndClose(std::uint32_t uiWidth)
{
    return {{2, 2, uiWidth - 28, 20}, {uiWidth - 24, 2, 20, 20}};
}

// Close (1), title (2), new folder, up, delete, save or load (3-6), scroll
// up and down (7, 8), then the five rows (9-13) where the panel writes the
// names; the preview goes right of the rows.
std::vector<Button> FilePanelButtons()
{
    std::vector<Button> kButtons = {{316, 2, 20, 20}, {2, 2, 310, 20},  {10, 212, 70, 22}, {86, 212, 50, 22},
                                    {142, 212, 60, 22}, {250, 212, 80, 22}, {10, 92, 34, 20}, {10, 172, 34, 20}};
    for (std::uint32_t r = 0; r < 5; ++r)
        kButtons.push_back({50, 94 + 15 * r, 128, 15});
    return kButtons;
}

// Close, no icon on the title, new folder, up, delete, the action, scroll;
// the rows show the names the panel writes.
std::vector<std::u16string> FilePanelIcons(const char16_t* pcAction)
{
    return {u"\u2715", u"", u"+\u25AD", u"\u21B0", u"\u2716", pcAction, u"\u25B2", u"\u25BC"};
}
} // namespace

bool WriteDemoInfoPanels(const std::string& kFolder)
{
    for (const char* pcFolder : {"images/panels/management/icons", "images/panels/management/finance",
                                 "images/panels/load", "images/panels/save", "images/panels/building",
                                 "images/panels/prisoner", "images/panels/staff", "images/panels/moodicons", "maps"})
    {
        if (!os::CreateFolderTree(kFolder + "/" + pcFolder))
        {
            std::fprintf(stderr, "demo data: cannot make %s/%s\n", kFolder.c_str(), pcFolder);
            return false;
        }
    }
    // Management: the frame, the icon row at (8, 40) whose icons are its
    // pictures, and four pages below it at (0, 77).
    bool bOk = WriteDemoButtonPanel(kFolder, "images/panels/management/management", 300, 250, TitleAndClose(300),
                                    {u"", u"\u2715"});
    bOk = bOk && WriteDemoButtonPanel(kFolder, "images/panels/management/icons/00_start", 284, 34,
                                      {{4, 1, 32, 32}, {44, 1, 32, 32}, {84, 1, 32, 32}, {124, 1, 32, 32}});
    // The page icons themselves are the buttons: finance, staff, prisoners,
    // scenario. (The finance page: COrvaneDemoPanels.)
    const std::array<Rgba, 4> akIcons = {{{70, 170, 80, 255}, {80, 120, 200, 255}, {200, 140, 60, 255},
                                          {170, 170, 170, 255}}};
    const char16_t* const apcIcons[4] = {u"\u00A4", u"\u263B", u"\u263A", u"\u2605"};
    for (std::size_t i = 0; i < akIcons.size(); ++i)
        bOk = bOk && WriteDemoSquare(kFolder + "/images/panels/management/icons/00_start" + std::to_string(i + 1) +
                                         "_s.tga",
                                     32, akIcons[i], apcIcons[i]);
    for (const char* pcPage : {"images/panels/management/mstaff", "images/panels/management/mprisoners",
                               "images/panels/management/challenge"})
        bOk = bOk && WriteDemoButtonPanel(kFolder, pcPage, 300, 170, {});

    bOk = bOk && WriteDemoButtonPanel(kFolder, "images/panels/load/load", 340, 240, FilePanelButtons(),
                                      FilePanelIcons(u"\u25B6")) &&
          WriteDemoButtonPanel(kFolder, "images/panels/save/save", 340, 240, FilePanelButtons(),
                               FilePanelIcons(u"\u270E"));

    // Pop-ups: widget 3 is the building's spare button, which does nothing
    // and so shows nothing, and the staff's duty button. A prisoner has no
    // duty: the pop-up lights its third button red under the pointer, so
    // the prisoner's has none.
    std::vector<Button> kPopUp = TitleAndClose(300);
    bOk = bOk && WriteDemoButtonPanel(kFolder, "images/panels/prisoner/prisoner", 300, 260, kPopUp, {u"", u"\u2715"});
    kPopUp.push_back({220, 238, 70, 18});
    bOk = bOk && WriteDemoButtonPanel(kFolder, "images/panels/building/building", 300, 260, kPopUp,
                                      {u"", u"\u2715", DEMO_INERT});
    bOk = bOk && WriteDemoButtonPanel(kFolder, "images/panels/staff/staff", 300, 260, kPopUp,
                                      {u"", u"\u2715", u"\u21A9\u2692"});

    const char* const apcMoods[] = {"happy", "indiff", "bored", "angry", "hungry", "injured"};
    const std::array<Rgba, 6> akMoods = {{{60, 200, 60, 255}, {160, 160, 160, 255}, {90, 90, 200, 255},
                                          {210, 50, 50, 255}, {220, 170, 40, 255}, {200, 40, 140, 255}}};
    for (std::size_t i = 0; i < akMoods.size(); ++i)
        bOk = bOk && WriteDemoSquare(kFolder + "/images/panels/moodicons/" + apcMoods[i] + ".tga", 24, akMoods[i]);
    bOk = bOk && WriteDemoSquare(kFolder + "/images/panels/prisoner/nocell.tga", 16, {240, 120, 0, 255}) &&
          WriteDemoSquare(kFolder + "/images/panels/prisoner/urgent.tga", 32, {255, 0, 0, 200});
    if (!bOk)
        std::fprintf(stderr, "demo data: cannot write the information panels under %s\n", kFolder.c_str());
    return bOk;
}
