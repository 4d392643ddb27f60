#pragma once

#include <string>

// The demo data's management panel (icon row, finance, staff, prisoner and
// briefing pages), the load and save panels (close, title, new folder, up,
// delete, save or load, scroll up and down, five rows), the building,
// prisoner and staff pop-ups (title, close, duty) and the pop-ups' mood,
// no-cell and urgent icons. False (with the reason on standard error) when a
// file cannot be written.
[[nodiscard]] bool WriteDemoInfoPanels(const std::string& kFolder);
