#pragma once

#include <string>

// The in-game panels of the demo data, under the data folder: the main
// panel with its nine buttons, bar and floor block; the build panel with
// its title bar, close button, category rows, page (back, forward,
// demolish), plate and demolish pictures; the confirmation (yes, no); the
// finance page (totals, yearly); the other panels' frames; the 18 icons
// (star signs, security levels, gangs) and a thumbnail for every build-menu
// item. Every button is a numbered overlay placed by the panel's "_p" map.
// False (with the reason on standard error) when a file cannot be written.
[[nodiscard]] bool WriteDemoPanels(const std::string& kFolder);

// A plan's thumbnail: "images/panels/build/thumbs/<key>/<name>.tga".
[[nodiscard]] std::string DemoThumbnailPath(const std::string& kKey, const std::string& kName);
