#pragma once

#include <string>

// The demo data's animated sign: "sign.nif", a board whose picture scrolls
// sideways (a UV controller) and flips through three pictures
// "sign0.tga" .. "sign2.tga" (a flip controller), written with the engine's
// own writers into the folder. False (with the reason on standard error)
// when a file cannot be written.
[[nodiscard]] bool WriteDemoSign(const std::string& kFolder);

// Seconds per picture of the flip, and per full scroll of the board.
inline constexpr float DEMO_SIGN_FLIP_STEP = 1.0f;
inline constexpr float DEMO_SIGN_SCROLL_TIME = 4.0f;
inline constexpr int DEMO_SIGN_PICTURES = 3;
