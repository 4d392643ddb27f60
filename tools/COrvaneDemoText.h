#pragma once

#include <string>

// The texts part of the demo data: "./language.xml" with the in-game
// messages in English, German and French (Latin-1), the five screen fonts
// drawn from DejaVu Sans into the bitmap-font format ("fonts/font0.txt" ..
// "fonts/font4.txt" with their pictures), listed under "SCREENTEXT" of the
// data document with the engine font under "FONTS"; the in-game settings
// of the settings document and the scenario states "./config.bin". False
// (with the reason on standard error) when something cannot be written.
[[nodiscard]] bool WriteDemoTexts(const std::string& kFolder);

// The TrueType file the fonts are drawn from.
inline constexpr const char* DEMO_TRUETYPE = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr const char* DEMO_TRUETYPE_BOLD = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
