#pragma once

#include <string>

// The game's own full-screen pictures in the demo data, at the 1024 x 768
// layout size: "images/loading.tga" (the loading frame's back; the game
// writes its text over it), "images/screen.tga" (the security-screen frame,
// clear in the middle) and "images/scanline.tga" (the line that runs down
// it). False (with the reason on standard error) when one cannot be written.
[[nodiscard]] bool WriteDemoScreens(const std::string& kFolder);
