#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The launcher part of the demo data: its bitmaps under "images/startup/"
// (the language screen, and per language folder "english", "german",
// "french" the options screen with its buttons), a help page per language
// under "help/<eng|ger|fre>/Help.htm", and in the settings document the
// "Startup_Screen" layout and the "Application_Data" mode keys. False (with
// the reason on standard error) when something cannot be written.
[[nodiscard]] bool WriteDemoLauncher(const std::string& kFolder);

// A 24-bit Windows bitmap file of 0xRRGGBB pixels, top row first.
[[nodiscard]] std::vector<std::uint8_t> MakeBmp24(std::uint32_t uiWidth, std::uint32_t uiHeight,
                                                  const std::vector<std::uint32_t>& kPixels);
