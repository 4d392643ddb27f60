#pragma once

#include "tools/COrvaneDemoImage.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// An icon the builder draws into a panel picture beside a figure the
// panel's code writes there.
struct DemoMark
{
    DemoRect m_kRect;
    std::u16string m_kSymbol;
};

// The in-game panels of the demo data, under the data folder: the main
// panel with its nine buttons, bar and floor block; the build panel with
// its title bar, close button, category rows, page (back, forward,
// demolish), plate and demolish pictures; the confirmation (yes, no); the
// finance page (totals, yearly); the other panels' frames; the 18 icons
// (star signs, security levels, gangs) and a thumbnail for every build-menu
// item. Every button is a numbered overlay placed by the panel's "_p" map.
// False (with the reason on standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoPanels(const std::string& kFolder);

// The main panel's button icons (in button order) and the icons beside its
// figures (time, balance, prisoners / beds, order): the data check finds
// them there.
[[nodiscard]] std::vector<std::u16string> DemoMainPanelSymbols();
[[nodiscard]] std::vector<DemoMark> DemoMainPanelMarks();

// The icon of a button place the layout needs but whose press does nothing:
// no box is drawn there, so it does not look like a button.
inline constexpr char16_t DEMO_INERT[] = u"\uFFFF";

// Where the pop-ups of a prisoner and of a member of staff draw the star
// sign's square and the mood's (its pictures are DEMO_MOOD_AREA's size), and
// the build page its item's picture: hover texts lie there.
inline constexpr DemoRect DEMO_STAR_SIGN_AREA = {185, 65, 16, 16};
inline constexpr DemoRect DEMO_MOOD_AREA = {25, 205, 24, 24};
inline constexpr DemoRect DEMO_BUILD_PICTURE_AREA = {32, 16, 96, 96};

// A plan's thumbnail: "images/panels/build/thumbs/<key>/<name>.tga".
[[nodiscard]] std::string DemoThumbnailPath(const std::string& kKey, const std::string& kName);

// A panel layout as the panels above are written: "<base>.tga" with its
// buttons (x, y, width, height) drawn, each with its icon (none where the
// icon is empty or missing), the "_p" map and one overlay each.
[[nodiscard]] bool WriteDemoButtonPanel(const std::string& kFolder, const std::string& kBase, std::uint32_t uiWidth,
                                        std::uint32_t uiHeight, const std::vector<std::array<std::uint32_t, 4>>& kButtons,
                                        const std::vector<std::u16string>& kIcons = {});
// A framed square of one colour (red, green, blue, alpha), with an icon when
// one is given.
[[nodiscard]] bool WriteDemoSquare(const std::string& kPath, std::uint32_t uiSize,
                                   const std::array<std::uint8_t, 4>& kColour, const std::u16string& kIcon = {});
