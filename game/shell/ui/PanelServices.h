#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CGame;
class CInterface;
class CLocale;
class COrvaneMouse;
class CPrisonStatistics;
class COrvaneImage;

// What every panel reaches of the running game: each answer is null (or a
// neutral value) when the piece is not there, so a panel works headless and
// before a level exists.
namespace panel
{
[[nodiscard]] CGame* Game();
[[nodiscard]] CLocale* Locale();
[[nodiscard]] CPrisonStatistics* Statistics();
[[nodiscard]] COrvaneMouse* Mouse();
[[nodiscard]] CInterface* Interface();
// The screen in pixels (1024 x 768 without a game).
[[nodiscard]] float ScreenWidth();
[[nodiscard]] float ScreenHeight();
// The click is used: no canvas below gets it; with the flag the game's
// mouse also hears that the left button is up.
void ConsumeClick(bool bReleaseButton);
// The hand tool puts back the character it carries.
void CancelCarry();
void PlaySample(std::int32_t iSample);
// An image widget of the file, drawn through the game's camera (not drawn
// without one).
[[nodiscard]] std::unique_ptr<COrvaneImage> MakeImage(const std::string& kPath, float fLength = 0.0f);
// A value of the data document without its line end.
[[nodiscard]] std::string Trimmed(const std::string& kValue);
} // namespace panel
