#include "platform/os/OsInput.h"

#include "platform/os/OsLocal.h"

#include <SDL.h>

#include <array>

namespace os
{
namespace
{
struct KeyEntry
{
    SDL_Scancode sdl;
    std::uint8_t scan;  // PC set-1 make code
    bool extended;      // E0-prefixed
    std::uint32_t vk;   // positional virtual-key code
};

// The one table: SDL scancode -> set-1 scan code, extended flag and
// virtual-key code. The scan numbers are those of a PC keyboard's set 1,
// which the framework's key table indexes (code + 128 when extended).
constexpr KeyEntry kKeys[] = {
    {SDL_SCANCODE_ESCAPE, 0x01, false, VK_ESCAPE},
    {SDL_SCANCODE_1, 0x02, false, '1'},
    {SDL_SCANCODE_2, 0x03, false, '2'},
    {SDL_SCANCODE_3, 0x04, false, '3'},
    {SDL_SCANCODE_4, 0x05, false, '4'},
    {SDL_SCANCODE_5, 0x06, false, '5'},
    {SDL_SCANCODE_6, 0x07, false, '6'},
    {SDL_SCANCODE_7, 0x08, false, '7'},
    {SDL_SCANCODE_8, 0x09, false, '8'},
    {SDL_SCANCODE_9, 0x0A, false, '9'},
    {SDL_SCANCODE_0, 0x0B, false, '0'},
    {SDL_SCANCODE_MINUS, 0x0C, false, VK_OEM_MINUS},
    {SDL_SCANCODE_EQUALS, 0x0D, false, VK_OEM_PLUS},
    {SDL_SCANCODE_BACKSPACE, 0x0E, false, VK_BACK},
    {SDL_SCANCODE_TAB, 0x0F, false, VK_TAB},
    {SDL_SCANCODE_Q, 0x10, false, 'Q'},
    {SDL_SCANCODE_W, 0x11, false, 'W'},
    {SDL_SCANCODE_E, 0x12, false, 'E'},
    {SDL_SCANCODE_R, 0x13, false, 'R'},
    {SDL_SCANCODE_T, 0x14, false, 'T'},
    {SDL_SCANCODE_Y, 0x15, false, 'Y'},
    {SDL_SCANCODE_U, 0x16, false, 'U'},
    {SDL_SCANCODE_I, 0x17, false, 'I'},
    {SDL_SCANCODE_O, 0x18, false, 'O'},
    {SDL_SCANCODE_P, 0x19, false, 'P'},
    {SDL_SCANCODE_LEFTBRACKET, 0x1A, false, VK_OEM_4},
    {SDL_SCANCODE_RIGHTBRACKET, 0x1B, false, VK_OEM_6},
    {SDL_SCANCODE_RETURN, 0x1C, false, VK_RETURN},
    {SDL_SCANCODE_LCTRL, 0x1D, false, VK_CONTROL},
    {SDL_SCANCODE_A, 0x1E, false, 'A'},
    {SDL_SCANCODE_S, 0x1F, false, 'S'},
    {SDL_SCANCODE_D, 0x20, false, 'D'},
    {SDL_SCANCODE_F, 0x21, false, 'F'},
    {SDL_SCANCODE_G, 0x22, false, 'G'},
    {SDL_SCANCODE_H, 0x23, false, 'H'},
    {SDL_SCANCODE_J, 0x24, false, 'J'},
    {SDL_SCANCODE_K, 0x25, false, 'K'},
    {SDL_SCANCODE_L, 0x26, false, 'L'},
    {SDL_SCANCODE_SEMICOLON, 0x27, false, VK_OEM_1},
    {SDL_SCANCODE_APOSTROPHE, 0x28, false, VK_OEM_7},
    {SDL_SCANCODE_GRAVE, 0x29, false, VK_OEM_3},
    {SDL_SCANCODE_LSHIFT, 0x2A, false, VK_SHIFT},
    {SDL_SCANCODE_BACKSLASH, 0x2B, false, VK_OEM_5},
    {SDL_SCANCODE_NONUSHASH, 0x2B, false, VK_OEM_5}, // same key position as the US backslash
    {SDL_SCANCODE_Z, 0x2C, false, 'Z'},
    {SDL_SCANCODE_X, 0x2D, false, 'X'},
    {SDL_SCANCODE_C, 0x2E, false, 'C'},
    {SDL_SCANCODE_V, 0x2F, false, 'V'},
    {SDL_SCANCODE_B, 0x30, false, 'B'},
    {SDL_SCANCODE_N, 0x31, false, 'N'},
    {SDL_SCANCODE_M, 0x32, false, 'M'},
    {SDL_SCANCODE_COMMA, 0x33, false, VK_OEM_COMMA},
    {SDL_SCANCODE_PERIOD, 0x34, false, VK_OEM_PERIOD},
    {SDL_SCANCODE_SLASH, 0x35, false, VK_OEM_2},
    {SDL_SCANCODE_RSHIFT, 0x36, false, VK_SHIFT}, // right Shift has its own code, no E0
    {SDL_SCANCODE_KP_MULTIPLY, 0x37, false, VK_MULTIPLY},
    {SDL_SCANCODE_LALT, 0x38, false, VK_MENU},
    {SDL_SCANCODE_SPACE, 0x39, false, VK_SPACE},
    {SDL_SCANCODE_CAPSLOCK, 0x3A, false, VK_CAPITAL},
    {SDL_SCANCODE_F1, 0x3B, false, VK_F1 + 0},
    {SDL_SCANCODE_F2, 0x3C, false, VK_F1 + 1},
    {SDL_SCANCODE_F3, 0x3D, false, VK_F1 + 2},
    {SDL_SCANCODE_F4, 0x3E, false, VK_F1 + 3},
    {SDL_SCANCODE_F5, 0x3F, false, VK_F1 + 4},
    {SDL_SCANCODE_F6, 0x40, false, VK_F1 + 5},
    {SDL_SCANCODE_F7, 0x41, false, VK_F1 + 6},
    {SDL_SCANCODE_F8, 0x42, false, VK_F1 + 7},
    {SDL_SCANCODE_F9, 0x43, false, VK_F1 + 8},
    {SDL_SCANCODE_F10, 0x44, false, VK_F1 + 9},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x45, true, VK_NUMLOCK}, // Num Lock: 45 with E0 ...
    {SDL_SCANCODE_PAUSE, 0x45, false, VK_PAUSE},        // ... Pause: 45 without (after E1 1D)
    {SDL_SCANCODE_SCROLLLOCK, 0x46, false, VK_SCROLL},
    {SDL_SCANCODE_KP_7, 0x47, false, VK_NUMPAD0 + 7},
    {SDL_SCANCODE_KP_8, 0x48, false, VK_NUMPAD0 + 8},
    {SDL_SCANCODE_KP_9, 0x49, false, VK_NUMPAD0 + 9},
    {SDL_SCANCODE_KP_MINUS, 0x4A, false, VK_SUBTRACT},
    {SDL_SCANCODE_KP_4, 0x4B, false, VK_NUMPAD0 + 4},
    {SDL_SCANCODE_KP_5, 0x4C, false, VK_NUMPAD0 + 5},
    {SDL_SCANCODE_KP_6, 0x4D, false, VK_NUMPAD0 + 6},
    {SDL_SCANCODE_KP_PLUS, 0x4E, false, VK_ADD},
    {SDL_SCANCODE_KP_1, 0x4F, false, VK_NUMPAD0 + 1},
    {SDL_SCANCODE_KP_2, 0x50, false, VK_NUMPAD0 + 2},
    {SDL_SCANCODE_KP_3, 0x51, false, VK_NUMPAD0 + 3},
    {SDL_SCANCODE_KP_0, 0x52, false, VK_NUMPAD0 + 0},
    {SDL_SCANCODE_KP_PERIOD, 0x53, false, VK_DECIMAL},
    {SDL_SCANCODE_NONUSBACKSLASH, 0x56, false, VK_OEM_102},
    {SDL_SCANCODE_F11, 0x57, false, VK_F1 + 10},
    {SDL_SCANCODE_F12, 0x58, false, VK_F1 + 11},
    {SDL_SCANCODE_KP_EQUALS, 0x59, false, 0x92}, // VK_OEM_NEC_EQUAL
    {SDL_SCANCODE_F13, 0x64, false, VK_F1 + 12},
    {SDL_SCANCODE_F14, 0x65, false, VK_F1 + 13},
    {SDL_SCANCODE_F15, 0x66, false, VK_F1 + 14},
    {SDL_SCANCODE_F16, 0x67, false, VK_F1 + 15},
    {SDL_SCANCODE_F17, 0x68, false, VK_F1 + 16},
    {SDL_SCANCODE_F18, 0x69, false, VK_F1 + 17},
    {SDL_SCANCODE_F19, 0x6A, false, VK_F1 + 18},
    {SDL_SCANCODE_F20, 0x6B, false, VK_F1 + 19},
    {SDL_SCANCODE_F21, 0x6C, false, VK_F1 + 20},
    {SDL_SCANCODE_F22, 0x6D, false, VK_F1 + 21},
    {SDL_SCANCODE_F23, 0x6E, false, VK_F1 + 22},
    {SDL_SCANCODE_INTERNATIONAL2, 0x70, false, 0x15}, // katakana/hiragana: VK_KANA
    {SDL_SCANCODE_INTERNATIONAL1, 0x73, false, 0xC1}, // ro: VK_ABNT_C1
    {SDL_SCANCODE_F24, 0x76, false, VK_F1 + 23},
    {SDL_SCANCODE_INTERNATIONAL4, 0x79, false, 0x1C}, // henkan: VK_CONVERT
    {SDL_SCANCODE_INTERNATIONAL5, 0x7B, false, 0x1D}, // muhenkan: VK_NONCONVERT
    {SDL_SCANCODE_INTERNATIONAL3, 0x7D, false, VK_OEM_5}, // yen
    {SDL_SCANCODE_KP_COMMA, 0x7E, false, VK_SEPARATOR},
    // E0-prefixed keys.
    {SDL_SCANCODE_AUDIOPREV, 0x10, true, 0xB1},   // VK_MEDIA_PREV_TRACK
    {SDL_SCANCODE_AUDIONEXT, 0x19, true, 0xB0},   // VK_MEDIA_NEXT_TRACK
    {SDL_SCANCODE_KP_ENTER, 0x1C, true, VK_RETURN},
    {SDL_SCANCODE_RCTRL, 0x1D, true, VK_CONTROL},
    {SDL_SCANCODE_MUTE, 0x20, true, VK_VOLUME_MUTE},
    {SDL_SCANCODE_CALCULATOR, 0x21, true, 0xB7},  // VK_LAUNCH_APP2
    {SDL_SCANCODE_AUDIOPLAY, 0x22, true, 0xB3},   // VK_MEDIA_PLAY_PAUSE
    {SDL_SCANCODE_AUDIOSTOP, 0x24, true, 0xB2},   // VK_MEDIA_STOP
    {SDL_SCANCODE_VOLUMEDOWN, 0x2E, true, VK_VOLUME_DOWN},
    {SDL_SCANCODE_VOLUMEUP, 0x30, true, VK_VOLUME_UP},
    {SDL_SCANCODE_AC_HOME, 0x32, true, 0xAC},     // VK_BROWSER_HOME
    {SDL_SCANCODE_KP_DIVIDE, 0x35, true, VK_DIVIDE},
    {SDL_SCANCODE_PRINTSCREEN, 0x37, true, VK_SNAPSHOT},
    {SDL_SCANCODE_RALT, 0x38, true, VK_MENU},
    {SDL_SCANCODE_HOME, 0x47, true, VK_HOME},
    {SDL_SCANCODE_UP, 0x48, true, VK_UP},
    {SDL_SCANCODE_PAGEUP, 0x49, true, VK_PRIOR},
    {SDL_SCANCODE_LEFT, 0x4B, true, VK_LEFT},
    {SDL_SCANCODE_RIGHT, 0x4D, true, VK_RIGHT},
    {SDL_SCANCODE_END, 0x4F, true, VK_END},
    {SDL_SCANCODE_DOWN, 0x50, true, VK_DOWN},
    {SDL_SCANCODE_PAGEDOWN, 0x51, true, VK_NEXT},
    {SDL_SCANCODE_INSERT, 0x52, true, VK_INSERT},
    {SDL_SCANCODE_DELETE, 0x53, true, VK_DELETE},
    {SDL_SCANCODE_LGUI, 0x5B, true, VK_LWIN},
    {SDL_SCANCODE_RGUI, 0x5C, true, VK_RWIN},
    {SDL_SCANCODE_APPLICATION, 0x5D, true, VK_APPS},
    {SDL_SCANCODE_POWER, 0x5E, true, 0},
    {SDL_SCANCODE_SLEEP, 0x5F, true, 0x5F},       // VK_SLEEP
    {SDL_SCANCODE_AC_SEARCH, 0x65, true, 0xAA},   // VK_BROWSER_SEARCH
    {SDL_SCANCODE_AC_BOOKMARKS, 0x66, true, 0xAB}, // VK_BROWSER_FAVORITES
    {SDL_SCANCODE_AC_REFRESH, 0x67, true, 0xA8},  // VK_BROWSER_REFRESH
    {SDL_SCANCODE_AC_STOP, 0x68, true, 0xA9},     // VK_BROWSER_STOP
    {SDL_SCANCODE_AC_FORWARD, 0x69, true, 0xA7},  // VK_BROWSER_FORWARD
    {SDL_SCANCODE_AC_BACK, 0x6A, true, 0xA6},     // VK_BROWSER_BACK
    {SDL_SCANCODE_COMPUTER, 0x6B, true, 0xB6},    // VK_LAUNCH_APP1
    {SDL_SCANCODE_MAIL, 0x6C, true, 0xB4},        // VK_LAUNCH_MAIL
    {SDL_SCANCODE_MEDIASELECT, 0x6D, true, 0xB5}, // VK_LAUNCH_MEDIA_SELECT
};

struct Lookup
{
    std::array<KeyEntry, SDL_NUM_SCANCODES> bySdl{};
    Lookup()
    {
        for (KeyEntry& e : bySdl)
        {
            e = KeyEntry{SDL_SCANCODE_UNKNOWN, 0, false, 0};
        }
        for (const KeyEntry& e : kKeys)
        {
            bySdl[static_cast<std::size_t>(e.sdl)] = e;
        }
    }
};

const Lookup& Keys()
{
    static const Lookup lookup;
    return lookup;
}

bool IsKeypadDigitOrPoint(int sdlScancode)
{
    return (sdlScancode >= SDL_SCANCODE_KP_1 && sdlScancode <= SDL_SCANCODE_KP_0) ||
           sdlScancode == SDL_SCANCODE_KP_PERIOD;
}
} // namespace

ScanCode ScanCodeFromSdl(int sdlScancode)
{
    if (sdlScancode <= 0 || sdlScancode >= SDL_NUM_SCANCODES)
    {
        return {};
    }
    const KeyEntry& e = Keys().bySdl[static_cast<std::size_t>(sdlScancode)];
    return ScanCode{e.scan, e.extended};
}

std::uint32_t VirtualKeyFromSdl(int sdlScancode, std::int32_t sdlKeycode)
{
    // Letters and digits follow the layout, as virtual keys do.
    if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z)
    {
        return static_cast<std::uint32_t>(sdlKeycode - SDLK_a) + 'A';
    }
    if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9 && !IsKeypadDigitOrPoint(sdlScancode))
    {
        return static_cast<std::uint32_t>(sdlKeycode);
    }
    // The keypad without Num Lock gives the navigation keys.
    if (IsKeypadDigitOrPoint(sdlScancode))
    {
        switch (sdlKeycode)
        {
        case SDLK_HOME: return VK_HOME;
        case SDLK_END: return VK_END;
        case SDLK_PAGEUP: return VK_PRIOR;
        case SDLK_PAGEDOWN: return VK_NEXT;
        case SDLK_UP: return VK_UP;
        case SDLK_DOWN: return VK_DOWN;
        case SDLK_LEFT: return VK_LEFT;
        case SDLK_RIGHT: return VK_RIGHT;
        case SDLK_INSERT: return VK_INSERT;
        case SDLK_DELETE: return VK_DELETE;
        case SDLK_CLEAR: return VK_CLEAR;
        default: break;
        }
    }
    if (sdlScancode <= 0 || sdlScancode >= SDL_NUM_SCANCODES)
    {
        return 0;
    }
    return Keys().bySdl[static_cast<std::size_t>(sdlScancode)].vk;
}

std::int16_t GetKeyState(std::uint32_t virtualKey)
{
    if (virtualKey > 255)
    {
        return 0;
    }
    const detail::State& st = detail::GetState();
    std::uint16_t value = 0;
    if (st.keyHeld[virtualKey])
    {
        value = 0xFF80; // negative, bit 0x80 set: the key is down
    }
    if (st.keyToggled[virtualKey])
    {
        value |= 0x0001;
    }
    return static_cast<std::int16_t>(value);
}

namespace detail
{
namespace
{
// The side-specific code of a generic modifier from its scan code.
std::uint32_t SidedVirtualKey(std::uint32_t vk, std::uint32_t lParam)
{
    std::uint32_t scan = (lParam >> 16) & 0xFF;
    bool extended = (lParam & KF_EXTENDED_BIT) != 0;
    switch (vk)
    {
    case VK_SHIFT: return scan == 0x36 ? VK_RSHIFT : VK_LSHIFT;
    case VK_CONTROL: return extended ? VK_RCONTROL : VK_LCONTROL;
    case VK_MENU: return extended ? VK_RMENU : VK_LMENU;
    default: return 0;
    }
}

void SetGeneric(State& st, std::uint32_t generic, std::uint32_t left, std::uint32_t right)
{
    st.keyHeld[generic] = st.keyHeld[left] || st.keyHeld[right];
}
} // namespace

void NoteRemovedMessage(const Message& m)
{
    State& st = GetState();
    switch (m.message)
    {
    case WM_KEYDOWN:
    case WM_KEYUP:
    {
        std::uint32_t vk = static_cast<std::uint32_t>(m.wParam) & 0xFF;
        bool down = m.message == WM_KEYDOWN;
        std::uint32_t lParam = static_cast<std::uint32_t>(m.lParam);
        if (down && (lParam & KF_PREVIOUS_BIT) == 0 &&
            (vk == VK_CAPITAL || vk == VK_NUMLOCK || vk == VK_SCROLL))
        {
            st.keyToggled[vk] = !st.keyToggled[vk];
        }
        std::uint32_t sided = SidedVirtualKey(vk, lParam);
        if (sided != 0)
        {
            st.keyHeld[sided] = down;
            SetGeneric(st, VK_SHIFT, VK_LSHIFT, VK_RSHIFT);
            SetGeneric(st, VK_CONTROL, VK_LCONTROL, VK_RCONTROL);
            SetGeneric(st, VK_MENU, VK_LMENU, VK_RMENU);
        }
        else
        {
            st.keyHeld[vk] = down;
        }
        break;
    }
    case WM_LBUTTONDOWN: st.keyHeld[VK_LBUTTON] = true; break;
    case WM_LBUTTONUP: st.keyHeld[VK_LBUTTON] = false; break;
    case WM_RBUTTONDOWN: st.keyHeld[VK_RBUTTON] = true; break;
    case WM_RBUTTONUP: st.keyHeld[VK_RBUTTON] = false; break;
    case WM_MBUTTONDOWN: st.keyHeld[VK_MBUTTON] = true; break;
    case WM_MBUTTONUP: st.keyHeld[VK_MBUTTON] = false; break;
    default: break;
    }
}
} // namespace detail
} // namespace os
