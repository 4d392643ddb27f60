#pragma once

// User input for tests of the layers above the platform: the events go into
// SDL's queue exactly as real devices would put them there, but no SDL type
// appears here, so those tests stay off SDL.

#include "platform/os/OsDefs.h"

#include <cstdint>

namespace ostest
{
enum class MouseButton
{
    Left,
    Right,
    Middle,
};

enum class WindowEvent
{
    FocusGained,
    FocusLost,
    Moved,
    Close,
};

// cLetter: 'A'..'Z' (either case).
void InjectKey(os::WindowHandle window, char cLetter, bool bDown, bool bRepeat = false);
// The key with that PC set-1 scan code (extended: with the E0 prefix), as
// the keyboard sends it; false when no key of the layer has that code.
bool InjectScanCode(os::WindowHandle window, std::uint8_t ucCode, bool bExtended, bool bDown);
void InjectText(os::WindowHandle window, const char* pcUtf8);
void InjectMotion(os::WindowHandle window, int iX, int iY);
void InjectButton(os::WindowHandle window, MouseButton eButton, bool bDown, int iX, int iY, int iClicks = 1);
void InjectWheel(os::WindowHandle window, int iNotches);
void InjectWindowEvent(os::WindowHandle window, WindowEvent eEvent);
void InjectQuit();

// While one lives, warps leave the pointer where the hand put it, as on a
// window system that refuses them: SDL's own motion events (a warp's) never
// reach the queue, while the hand's motions injected here do.
class WarpsIgnored
{
public:
    WarpsIgnored();
    ~WarpsIgnored();
    WarpsIgnored(const WarpsIgnored&) = delete;
    WarpsIgnored& operator=(const WarpsIgnored&) = delete;
};

// The same for an os::DialogWindow, named by its GetWindowId.
void InjectDialogMotion(std::uint32_t uiWindowId, int iX, int iY);
// Left button down and up at the point.
void InjectDialogClick(std::uint32_t uiWindowId, int iX, int iY);
void InjectDialogWheel(std::uint32_t uiWindowId, int iNotches);
void InjectDialogEscape(std::uint32_t uiWindowId);
// The window's close button.
void InjectDialogClose(std::uint32_t uiWindowId);
} // namespace ostest
