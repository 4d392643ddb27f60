#pragma once

// Keyboard and mouse: the scan-code table, key state, the cursor.

#include "platform/os/OsDefs.h"

#include <cstdint>

namespace os
{
// ---- Keyboard ----
// A key's PC set-1 scan code (make code, 1-127) and whether it carries the
// E0 prefix (the extended bit 24 of key-message lParams). code 0 = no key.
struct ScanCode
{
    std::uint8_t code = 0;
    bool extended = false;
};

// The one table from SDL scancodes (SDL_Scancode values) to set-1 codes.
// The framework's key table is indexed by code + 128 when extended, e.g.
// A 30, keypad 7 71, Home 71 extended (199), keypad Enter 28 extended (156),
// Num Lock 69 extended (197), Pause 69.
[[nodiscard]] ScanCode ScanCodeFromSdl(int sdlScancode);

// The virtual-key code of a key: letters 'A'-'Z' and digits '0'-'9' follow
// the keyboard layout (the SDL key symbol), every other key its position.
// Modifiers give the generic VK_SHIFT, VK_CONTROL and VK_MENU as key
// messages do. 0 for a key without a code.
[[nodiscard]] std::uint32_t VirtualKeyFromSdl(int sdlScancode, std::int32_t sdlKeycode);

// GetKeyState: bit 0x80 (the value is negative, 0xFF80) while the key is
// held, bit 0x01 when a lock key (Caps, Num, Scroll Lock) is toggled on.
// The state follows the key messages taken from the queue by PeekMessage.
// VK_SHIFT / VK_CONTROL / VK_MENU are held while either side is;
// VK_LBUTTON / VK_RBUTTON / VK_MBUTTON follow the button messages.
[[nodiscard]] std::int16_t GetKeyState(std::uint32_t virtualKey);

// ---- Cursor ----
// ShowCursor: the display counter (starts at 0); the cursor is visible while
// it is >= 0. Returns the new counter.
int ShowCursor(bool show);

// ClipCursor: confines the cursor to a screen rectangle (SDL window mouse
// rectangle of the main window); null releases it. Driver refusals are
// ignored. GetClipCursor reports the rectangle in force (false: none).
bool ClipCursor(const Rect* screenRect);
[[nodiscard]] bool GetClipCursor(Rect& out);

// SetCapture / ReleaseCapture: mouse capture through SDL (refusals of
// headless drivers ignored); GetCapture names the capturing window.
WindowHandle SetCapture(WindowHandle window);
bool ReleaseCapture();
[[nodiscard]] WindowHandle GetCapture();

// SetCursorPos: moves the cursor to a screen point (a warp in the main
// window). Every warp yields exactly one WM_MOUSEMOVE at the new client
// position: SDL's own warp motion when the driver sends one, else one made
// here; a later echo of the same warp is dropped.
bool SetCursorPos(std::int32_t x, std::int32_t y);
// The pointer's own travel, in client pixels, carried by the WM_MOUSEMOVE
// being delivered by DispatchMessage (the message PeekMessage last took out):
// how far the pointer moved since the layer last saw it. It never assumes a
// warp moved the pointer: a warp counts only once its own motion came, so it
// holds on window systems that refuse or ignore warps. A warp's own message
// carries no travel (0, 0). False outside such a dispatch, for messages
// posted by the program, and for the first motion seen in a window.
bool GetMessageMotion(Point& out);
// The last cursor position the layer reported, in screen coordinates.
bool GetCursorPos(Point& out);

// GetSystemMetrics: screen size of the first display, and the frame sizes
// that GetWindowRect adds (SM_CXFRAME: left/right border, SM_CYFRAME: bottom
// border, SM_CYCAPTION: top border minus SM_CYFRAME); 0 on headless drivers
// and for unknown indices.
[[nodiscard]] int GetSystemMetrics(int index);
} // namespace os
