#pragma once

// Types and published numbers of the operating-system layer. The framework
// and the game were written against Windows-style window messages, key codes
// and flags; the numbers below are those published values, kept because the
// code above this layer compares against them. Everything here is cheap to
// include: no SDL, no functions.

#include <cstdint>

namespace os
{
struct Window; // opaque: one per created window, owned by the layer

using WindowHandle = Window*;        // null = no window
using InstanceHandle = void*;        // the program instance; only stored and compared
using WParam = std::uintptr_t;       // message parameters as wide as a pointer
using LParam = std::intptr_t;
using LResult = std::intptr_t;       // a window procedure's result
using CursorHandle = std::uintptr_t; // 0 = none
using BrushHandle = std::uintptr_t;  // 0 = none

// A window procedure: called synchronously by DispatchMessage, SendMessage
// and DestroyWindow on the thread that pumps messages.
using WindowProc = LResult (*)(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);

struct Point
{
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// Right and bottom are exclusive, as in the Windows rectangles.
struct Rect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// One queued window message. lParam and wParam hold 32-bit packed values
// zero-extended (as MAKELPARAM does), so they fit a 32-bit record unchanged.
struct Message
{
    WindowHandle window = nullptr;
    std::uint32_t message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

// ---- Window messages (published ids) ----
constexpr std::uint32_t WM_NULL = 0x0000;
constexpr std::uint32_t WM_DESTROY = 0x0002;      // sent synchronously by DestroyWindow
constexpr std::uint32_t WM_MOVE = 0x0003;         // lParam: client x, y (signed 16-bit words)
constexpr std::uint32_t WM_ACTIVATE = 0x0006;     // wParam: WA_ACTIVE / WA_INACTIVE
constexpr std::uint32_t WM_CLOSE = 0x0010;        // the user closes the window (SDL close or quit)
constexpr std::uint32_t WM_QUIT = 0x0012;         // wParam: the exit code given to PostQuitMessage
constexpr std::uint32_t WM_KEYFIRST = 0x0100;
constexpr std::uint32_t WM_KEYDOWN = 0x0100;      // wParam: virtual-key code; lParam: key bits below
constexpr std::uint32_t WM_KEYUP = 0x0101;
constexpr std::uint32_t WM_CHAR = 0x0102;         // wParam: character code (< 256); lParam: its key-down's
constexpr std::uint32_t WM_KEYLAST = 0x0108;
constexpr std::uint32_t WM_MOUSEFIRST = 0x0200;
constexpr std::uint32_t WM_MOUSEMOVE = 0x0200;    // wParam: MK_ flags; lParam: client x, y
constexpr std::uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr std::uint32_t WM_LBUTTONUP = 0x0202;
constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x0203; // never generated: the layer sends no double clicks
constexpr std::uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr std::uint32_t WM_RBUTTONUP = 0x0205;
constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x0206; // never generated
constexpr std::uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr std::uint32_t WM_MBUTTONUP = 0x0208;
constexpr std::uint32_t WM_MBUTTONDBLCLK = 0x0209; // never generated
constexpr std::uint32_t WM_MOUSEWHEEL = 0x020A;   // wParam high word: signed delta, 120 per notch
constexpr std::uint32_t WM_MOUSELAST = 0x020A;

// WM_ACTIVATE wParam values.
constexpr WParam WA_INACTIVE = 0;
constexpr WParam WA_ACTIVE = 1;

// One wheel notch (WHEEL_DELTA).
constexpr int WHEEL_DELTA = 120;

// Mouse-message wParam flags (MK_*): buttons and modifiers held.
constexpr WParam MK_LBUTTON = 0x0001;
constexpr WParam MK_RBUTTON = 0x0002;
constexpr WParam MK_SHIFT = 0x0004;
constexpr WParam MK_CONTROL = 0x0008;
constexpr WParam MK_MBUTTON = 0x0010;

// Key-message lParam bits: repeat count in bits 0-15, the PC set-1 scan code
// in bits 16-23, then these.
constexpr std::uint32_t KF_EXTENDED_BIT = 1u << 24;  // extended key (E0 prefix)
constexpr std::uint32_t KF_PREVIOUS_BIT = 1u << 30;  // key was down before (auto-repeat; always on key-up)
constexpr std::uint32_t KF_TRANSITION_BIT = 1u << 31; // key is being released

// PeekMessage removal flags.
constexpr std::uint32_t PM_NOREMOVE = 0x0000;
constexpr std::uint32_t PM_REMOVE = 0x0001;

// ---- Window classes, styles, commands ----
constexpr std::uint32_t CS_BYTEALIGNWINDOW = 0x2000; // class style; stored, no effect here
constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000; // framed window with caption
constexpr std::uint32_t WS_POPUP = 0x80000000u;          // here: borderless desktop full screen
constexpr std::uint32_t WS_VISIBLE = 0x10000000;
constexpr std::int32_t CW_USEDEFAULT = static_cast<std::int32_t>(0x80000000u); // default position/size
constexpr int GWL_STYLE = -16;   // SetWindowLong / GetWindowLong index of the style
constexpr int GWL_EXSTYLE = -20; // extended style: stored only

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

constexpr std::uint32_t SWP_NOSIZE = 0x0001;
constexpr std::uint32_t SWP_NOMOVE = 0x0002;
constexpr std::uint32_t SWP_NOZORDER = 0x0004;
constexpr std::uint32_t SWP_FRAMECHANGED = 0x0020; // apply a style changed by SetWindowLong

// LoadCursor identifiers and stock objects.
constexpr std::uint32_t IDC_ARROW = 32512;
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;

// GetSystemMetrics indices.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;

// ---- Message boxes ----
constexpr std::uint32_t MB_OK = 0x00000000;
constexpr std::uint32_t MB_ICONHAND = 0x00000010;        // error icon
constexpr std::uint32_t MB_ICONEXCLAMATION = 0x00000030; // warning icon
constexpr std::uint32_t MB_ICONASTERISK = 0x00000040;    // information icon
constexpr std::uint32_t MB_TASKMODAL = 0x00002000;
constexpr std::uint32_t MB_TOPMOST = 0x00040000;
constexpr int IDOK = 1; // what every box of this layer returns

// ---- Folder search attributes (the C runtime's _A_* bits) ----
constexpr std::uint32_t ATTRIB_NORMAL = 0x00; // _A_NORMAL: a plain file
constexpr std::uint32_t ATTRIB_SUBDIR = 0x10; // _A_SUBDIR: a folder

// ---- Virtual-key codes (published VK_* values) ----
// Letters are 'A'-'Z' (0x41-0x5A) and main-row digits '0'-'9' (0x30-0x39).
constexpr std::uint32_t VK_LBUTTON = 0x01;
constexpr std::uint32_t VK_RBUTTON = 0x02;
constexpr std::uint32_t VK_MBUTTON = 0x04;
constexpr std::uint32_t VK_BACK = 0x08;
constexpr std::uint32_t VK_TAB = 0x09;
constexpr std::uint32_t VK_CLEAR = 0x0C;
constexpr std::uint32_t VK_RETURN = 0x0D;
constexpr std::uint32_t VK_SHIFT = 0x10;
constexpr std::uint32_t VK_CONTROL = 0x11;
constexpr std::uint32_t VK_MENU = 0x12; // Alt
constexpr std::uint32_t VK_PAUSE = 0x13;
constexpr std::uint32_t VK_CAPITAL = 0x14;
constexpr std::uint32_t VK_ESCAPE = 0x1B;
constexpr std::uint32_t VK_SPACE = 0x20;
constexpr std::uint32_t VK_PRIOR = 0x21; // Page Up
constexpr std::uint32_t VK_NEXT = 0x22;  // Page Down
constexpr std::uint32_t VK_END = 0x23;
constexpr std::uint32_t VK_HOME = 0x24;
constexpr std::uint32_t VK_LEFT = 0x25;
constexpr std::uint32_t VK_UP = 0x26;
constexpr std::uint32_t VK_RIGHT = 0x27;
constexpr std::uint32_t VK_DOWN = 0x28;
constexpr std::uint32_t VK_SNAPSHOT = 0x2C; // Print Screen
constexpr std::uint32_t VK_INSERT = 0x2D;
constexpr std::uint32_t VK_DELETE = 0x2E;
constexpr std::uint32_t VK_LWIN = 0x5B;
constexpr std::uint32_t VK_RWIN = 0x5C;
constexpr std::uint32_t VK_APPS = 0x5D;
constexpr std::uint32_t VK_NUMPAD0 = 0x60; // keypad 0-9: 0x60-0x69
constexpr std::uint32_t VK_MULTIPLY = 0x6A;
constexpr std::uint32_t VK_ADD = 0x6B;
constexpr std::uint32_t VK_SEPARATOR = 0x6C;
constexpr std::uint32_t VK_SUBTRACT = 0x6D;
constexpr std::uint32_t VK_DECIMAL = 0x6E;
constexpr std::uint32_t VK_DIVIDE = 0x6F;
constexpr std::uint32_t VK_F1 = 0x70; // F1-F24: 0x70-0x87
constexpr std::uint32_t VK_NUMLOCK = 0x90;
constexpr std::uint32_t VK_SCROLL = 0x91;
constexpr std::uint32_t VK_LSHIFT = 0xA0;
constexpr std::uint32_t VK_RSHIFT = 0xA1;
constexpr std::uint32_t VK_LCONTROL = 0xA2;
constexpr std::uint32_t VK_RCONTROL = 0xA3;
constexpr std::uint32_t VK_LMENU = 0xA4;
constexpr std::uint32_t VK_RMENU = 0xA5;
constexpr std::uint32_t VK_VOLUME_MUTE = 0xAD;
constexpr std::uint32_t VK_VOLUME_DOWN = 0xAE;
constexpr std::uint32_t VK_VOLUME_UP = 0xAF;
constexpr std::uint32_t VK_OEM_1 = 0xBA;      // ; :
constexpr std::uint32_t VK_OEM_PLUS = 0xBB;   // = +
constexpr std::uint32_t VK_OEM_COMMA = 0xBC;  // , <
constexpr std::uint32_t VK_OEM_MINUS = 0xBD;  // - _
constexpr std::uint32_t VK_OEM_PERIOD = 0xBE; // . >
constexpr std::uint32_t VK_OEM_2 = 0xBF;      // / ?
constexpr std::uint32_t VK_OEM_3 = 0xC0;      // ` ~
constexpr std::uint32_t VK_OEM_4 = 0xDB;      // [ {
constexpr std::uint32_t VK_OEM_5 = 0xDC;      // \ | (US) and # ~ (UK), scan 43
constexpr std::uint32_t VK_OEM_6 = 0xDD;      // ] }
constexpr std::uint32_t VK_OEM_7 = 0xDE;      // ' "
constexpr std::uint32_t VK_OEM_102 = 0xE2;    // the extra key beside left Shift, scan 86

// ---- Packing helpers (the published layouts) ----
// MAKELPARAM: low word, high word; zero-extended 32-bit value.
constexpr LParam MakeLParam(std::int32_t low, std::int32_t high)
{
    return static_cast<LParam>(static_cast<std::uint32_t>(static_cast<std::uint16_t>(low)) |
                               (static_cast<std::uint32_t>(static_cast<std::uint16_t>(high)) << 16));
}
// GET_X_LPARAM / GET_Y_LPARAM: the signed low and high words.
constexpr std::int32_t GetXLParam(LParam lParam)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(lParam) & 0xFFFF));
}
constexpr std::int32_t GetYLParam(LParam lParam)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((static_cast<std::uint32_t>(lParam) >> 16) & 0xFFFF));
}
// GET_WHEEL_DELTA_WPARAM: the signed high word.
constexpr std::int32_t GetWheelDelta(WParam wParam)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>((static_cast<std::uint32_t>(wParam) >> 16) & 0xFFFF));
}
} // namespace os
