#include "platform/os/OsInput.h"

#include "platform/os/OsWindow.h"
#include "tests/platform/os/OsTestSupport.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <set>

namespace
{
using os::Message;

class OsKeyboardTest : public OsTest
{
};

// The framework's key table index of a key: set-1 code, + 128 when extended.
int TableIndex(os::ScanCode s)
{
    return s.code + (s.extended ? 128 : 0);
}

struct KeyCase
{
    SDL_Scancode sdl;
    int index;      // index into the framework's key table
    const char* key;
};

// Every key of the framework's key table, with the SDL key that types it.
const KeyCase kTableKeys[] = {
    // printable keys
    {SDL_SCANCODE_1, 2, "1"}, {SDL_SCANCODE_2, 3, "2"}, {SDL_SCANCODE_3, 4, "3"}, {SDL_SCANCODE_4, 5, "4"},
    {SDL_SCANCODE_5, 6, "5"}, {SDL_SCANCODE_6, 7, "6"}, {SDL_SCANCODE_7, 8, "7"}, {SDL_SCANCODE_8, 9, "8"},
    {SDL_SCANCODE_9, 10, "9"}, {SDL_SCANCODE_0, 11, "0"}, {SDL_SCANCODE_MINUS, 12, "-"},
    {SDL_SCANCODE_EQUALS, 13, "="},
    {SDL_SCANCODE_Q, 16, "q"}, {SDL_SCANCODE_W, 17, "w"}, {SDL_SCANCODE_E, 18, "e"}, {SDL_SCANCODE_R, 19, "r"},
    {SDL_SCANCODE_T, 20, "t"}, {SDL_SCANCODE_Y, 21, "y"}, {SDL_SCANCODE_U, 22, "u"}, {SDL_SCANCODE_I, 23, "i"},
    {SDL_SCANCODE_O, 24, "o"}, {SDL_SCANCODE_P, 25, "p"}, {SDL_SCANCODE_LEFTBRACKET, 26, "["},
    {SDL_SCANCODE_RIGHTBRACKET, 27, "]"},
    {SDL_SCANCODE_A, 30, "a"}, {SDL_SCANCODE_S, 31, "s"}, {SDL_SCANCODE_D, 32, "d"}, {SDL_SCANCODE_F, 33, "f"},
    {SDL_SCANCODE_G, 34, "g"}, {SDL_SCANCODE_H, 35, "h"}, {SDL_SCANCODE_J, 36, "j"}, {SDL_SCANCODE_K, 37, "k"},
    {SDL_SCANCODE_L, 38, "l"}, {SDL_SCANCODE_SEMICOLON, 39, ";"}, {SDL_SCANCODE_APOSTROPHE, 40, "'"},
    {SDL_SCANCODE_GRAVE, 41, "`"}, {SDL_SCANCODE_NONUSHASH, 43, "#"}, {SDL_SCANCODE_BACKSLASH, 43, "US \\"},
    {SDL_SCANCODE_Z, 44, "z"}, {SDL_SCANCODE_X, 45, "x"}, {SDL_SCANCODE_C, 46, "c"}, {SDL_SCANCODE_V, 47, "v"},
    {SDL_SCANCODE_B, 48, "b"}, {SDL_SCANCODE_N, 49, "n"}, {SDL_SCANCODE_M, 50, "m"},
    {SDL_SCANCODE_COMMA, 51, ","}, {SDL_SCANCODE_PERIOD, 52, "."}, {SDL_SCANCODE_SLASH, 53, "/"},
    {SDL_SCANCODE_SPACE, 57, "space"}, {SDL_SCANCODE_NONUSBACKSLASH, 86, "\\"},
    // special keys
    {SDL_SCANCODE_ESCAPE, 1, "Escape"},
    {SDL_SCANCODE_F1, 59, "F1"}, {SDL_SCANCODE_F2, 60, "F2"}, {SDL_SCANCODE_F3, 61, "F3"},
    {SDL_SCANCODE_F4, 62, "F4"}, {SDL_SCANCODE_F5, 63, "F5"}, {SDL_SCANCODE_F6, 64, "F6"},
    {SDL_SCANCODE_F7, 65, "F7"}, {SDL_SCANCODE_F8, 66, "F8"}, {SDL_SCANCODE_F9, 67, "F9"},
    {SDL_SCANCODE_F10, 68, "F10"}, {SDL_SCANCODE_F11, 87, "F11"}, {SDL_SCANCODE_F12, 88, "F12"},
    {SDL_SCANCODE_INSERT, 210, "Insert"}, {SDL_SCANCODE_DELETE, 211, "Delete"},
    {SDL_SCANCODE_HOME, 199, "Home"}, {SDL_SCANCODE_KP_7, 71, "keypad 7"},
    {SDL_SCANCODE_END, 207, "End"}, {SDL_SCANCODE_PAGEUP, 201, "Page Up"},
    {SDL_SCANCODE_PAGEDOWN, 209, "Page Down"}, {SDL_SCANCODE_UP, 200, "Up"},
    {SDL_SCANCODE_DOWN, 208, "Down"}, {SDL_SCANCODE_LEFT, 203, "Left"}, {SDL_SCANCODE_RIGHT, 205, "Right"},
    {SDL_SCANCODE_KP_0, 82, "keypad 0"}, {SDL_SCANCODE_KP_PERIOD, 83, "keypad ."},
    {SDL_SCANCODE_KP_1, 79, "keypad 1"}, {SDL_SCANCODE_KP_2, 80, "keypad 2"}, {SDL_SCANCODE_KP_3, 81, "keypad 3"},
    {SDL_SCANCODE_KP_4, 75, "keypad 4"}, {SDL_SCANCODE_KP_5, 76, "keypad 5"}, {SDL_SCANCODE_KP_6, 77, "keypad 6"},
    {SDL_SCANCODE_KP_8, 72, "keypad 8"}, {SDL_SCANCODE_KP_9, 73, "keypad 9"},
    {SDL_SCANCODE_PAUSE, 69, "Pause"}, {SDL_SCANCODE_NUMLOCKCLEAR, 197, "Num Lock"},
    {SDL_SCANCODE_KP_DIVIDE, 181, "keypad /"}, {SDL_SCANCODE_KP_MULTIPLY, 55, "keypad *"},
    {SDL_SCANCODE_KP_MINUS, 74, "keypad -"}, {SDL_SCANCODE_KP_PLUS, 78, "keypad +"},
    {SDL_SCANCODE_KP_ENTER, 156, "keypad Enter"}, {SDL_SCANCODE_BACKSPACE, 14, "Backspace"},
    {SDL_SCANCODE_TAB, 15, "Tab"}, {SDL_SCANCODE_CAPSLOCK, 58, "Caps Lock"}, {SDL_SCANCODE_RETURN, 28, "Enter"},
    {SDL_SCANCODE_LSHIFT, 42, "left Shift"}, {SDL_SCANCODE_RSHIFT, 54, "right Shift"},
    {SDL_SCANCODE_LCTRL, 29, "left Control"}, {SDL_SCANCODE_RCTRL, 157, "right Control"},
    {SDL_SCANCODE_LALT, 56, "left Alt"}, {SDL_SCANCODE_RALT, 184, "right Alt"},
};

// The indices the framework's key table fills (everything else is 255),
// listed from the table itself.
std::set<int> KeyTableIndices()
{
    std::set<int> s;
    for (int i = 2; i <= 13; ++i) s.insert(i);
    for (int i = 16; i <= 27; ++i) s.insert(i);
    for (int i = 30; i <= 41; ++i) s.insert(i);
    for (int i = 43; i <= 53; ++i) s.insert(i);
    s.insert({57, 86, 1});
    for (int i = 59; i <= 68; ++i) s.insert(i);
    s.insert({87, 88, 210, 211, 199, 71, 207, 201, 209, 200, 208, 203, 205, 82, 83, 79, 80, 81, 75, 76, 77, 72,
              73, 69, 197, 181, 55, 74, 78, 156, 14, 15, 58, 28, 42, 54, 29, 157, 56, 184});
    return s;
}

TEST_F(OsKeyboardTest, EveryKeyOfTheKeyTableHasItsScanCode)
{
    std::set<int> covered;
    for (const KeyCase& k : kTableKeys)
    {
        SCOPED_TRACE(k.key);
        EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(k.sdl)), k.index);
        covered.insert(k.index);
    }
    EXPECT_EQ(covered, KeyTableIndices());
}

TEST_F(OsKeyboardTest, NamedScanNumbers)
{
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_A)), 30);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_KP_7)), 71);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_HOME)), 199);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_UP)), 200);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_KP_ENTER)), 156);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_RCTRL)), 157);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_KP_DIVIDE)), 181);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_RALT)), 184);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_F11)), 87);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_F12)), 88);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_NONUSBACKSLASH)), 86);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_NONUSHASH)), 43);
    EXPECT_EQ(TableIndex(os::ScanCodeFromSdl(SDL_SCANCODE_BACKSLASH)), 43);
    EXPECT_EQ(os::ScanCodeFromSdl(SDL_SCANCODE_NUMLOCKCLEAR).code, 0x45);
    EXPECT_EQ(os::ScanCodeFromSdl(SDL_SCANCODE_PAUSE).code, 0x45);
    EXPECT_NE(os::ScanCodeFromSdl(SDL_SCANCODE_NUMLOCKCLEAR).extended, os::ScanCodeFromSdl(SDL_SCANCODE_PAUSE).extended);
    EXPECT_EQ(os::ScanCodeFromSdl(SDL_SCANCODE_UNKNOWN).code, 0);
    EXPECT_EQ(os::ScanCodeFromSdl(-1).code, 0);
    EXPECT_EQ(os::ScanCodeFromSdl(SDL_NUM_SCANCODES).code, 0);
}

// Exact messages of pushed key events: key-down, auto-repeat, key-up, for
// every key of the table.
TEST_F(OsKeyboardTest, EveryTableKeyGivesExactKeyMessages)
{
    os::WindowHandle w = MakeGameWindow();
    for (const KeyCase& k : kTableKeys)
    {
        SCOPED_TRACE(k.key);
        PushKey(w, k.sdl, SDL_GetKeyFromScancode(k.sdl), true);
        PushKey(w, k.sdl, SDL_GetKeyFromScancode(k.sdl), true, true);
        PushKey(w, k.sdl, SDL_GetKeyFromScancode(k.sdl), false);
        std::vector<Message> got = TakeAll();
        ASSERT_EQ(got.size(), 3u);
        std::uint32_t base = 1u | (static_cast<std::uint32_t>(k.index & 127) << 16) | (k.index >= 128 ? 1u << 24 : 0u);
        std::uint32_t vk = os::VirtualKeyFromSdl(k.sdl, SDL_GetKeyFromScancode(k.sdl));
        EXPECT_NE(vk, 0u);
        EXPECT_EQ(got[0].message, os::WM_KEYDOWN);
        EXPECT_EQ(got[0].wParam, vk);
        EXPECT_EQ(static_cast<std::uint32_t>(got[0].lParam), base);
        EXPECT_EQ(got[1].message, os::WM_KEYDOWN);
        EXPECT_EQ(static_cast<std::uint32_t>(got[1].lParam), base | (1u << 30));
        EXPECT_EQ(got[2].message, os::WM_KEYUP);
        EXPECT_EQ(got[2].wParam, vk);
        EXPECT_EQ(static_cast<std::uint32_t>(got[2].lParam), base | (1u << 30) | (1u << 31));
        // Zero-extended, as the 32-bit packing gives it.
        EXPECT_GT(got[2].lParam, 0);
    }
}

TEST_F(OsKeyboardTest, VirtualKeyCodes)
{
    for (int i = 0; i < 26; ++i)
    {
        auto sc = static_cast<SDL_Scancode>(SDL_SCANCODE_A + i);
        EXPECT_EQ(os::VirtualKeyFromSdl(sc, SDLK_a + i), static_cast<std::uint32_t>('A' + i));
        EXPECT_EQ(os::VirtualKeyFromSdl(sc, 0), static_cast<std::uint32_t>('A' + i)); // by position
    }
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_0, SDLK_0), static_cast<std::uint32_t>('0'));
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_1, SDLK_1), static_cast<std::uint32_t>('1'));
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_9, 0), static_cast<std::uint32_t>('9'));
    // A layout that puts Q where A is (AZERTY) names the key Q.
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_A, SDLK_q), static_cast<std::uint32_t>('Q'));
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_LSHIFT, SDLK_LSHIFT), os::VK_SHIFT);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_RSHIFT, SDLK_RSHIFT), os::VK_SHIFT);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_LCTRL, SDLK_LCTRL), os::VK_CONTROL);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_RCTRL, SDLK_RCTRL), os::VK_CONTROL);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_RALT, SDLK_RALT), os::VK_MENU);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_ESCAPE, SDLK_ESCAPE), os::VK_ESCAPE);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_RETURN, SDLK_RETURN), os::VK_RETURN);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_KP_ENTER, SDLK_KP_ENTER), os::VK_RETURN);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_F1, SDLK_F1), os::VK_F1);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_F12, SDLK_F12), os::VK_F1 + 11);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_UP, SDLK_UP), os::VK_UP);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_KP_7, SDLK_KP_7), os::VK_NUMPAD0 + 7);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_KP_7, SDLK_HOME), os::VK_HOME); // Num Lock off
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_SPACE, SDLK_SPACE), os::VK_SPACE);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_NONUSBACKSLASH, SDLK_LESS), os::VK_OEM_102);
    EXPECT_EQ(os::VirtualKeyFromSdl(SDL_SCANCODE_UNKNOWN, 0), 0u);
}

TEST_F(OsKeyboardTest, CharactersFollowTheirKeyDown)
{
    os::WindowHandle w = MakeGameWindow();
    PushKey(w, SDL_SCANCODE_A, SDLK_a, true);
    PushText(w, "a");
    PushKey(w, SDL_SCANCODE_A, SDLK_a, false);
    PushKey(w, SDL_SCANCODE_E, SDLK_e, true);
    PushText(w, "\xC3\xA9\xE2\x82\xAC"); // e acute (233) and the euro sign (above 255: no message)
    std::vector<Message> got = TakeAll();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[1].message, os::WM_CHAR);
    EXPECT_EQ(got[1].wParam, static_cast<os::WParam>('a'));
    EXPECT_EQ(got[1].lParam, got[0].lParam);
    EXPECT_EQ(got[4].message, os::WM_CHAR);
    EXPECT_EQ(got[4].wParam, 233u);
    EXPECT_EQ(got[4].lParam, got[3].lParam);
    EXPECT_EQ(static_cast<std::uint32_t>(got[4].lParam), 0x00120001u);
}

TEST_F(OsKeyboardTest, KeyStateFollowsRemovedMessages)
{
    os::WindowHandle w = MakeGameWindow();
    PushKey(w, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, true);
    PushKey(w, SDL_SCANCODE_RCTRL, SDLK_RCTRL, true);
    PushKey(w, SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, true);
    PushKey(w, SDL_SCANCODE_CAPSLOCK, SDLK_CAPSLOCK, false);
    EXPECT_EQ(os::GetKeyState(os::VK_SHIFT) & 0x80, 0); // still queued
    Message m;
    ASSERT_TRUE(os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE));
    EXPECT_NE(os::GetKeyState(os::VK_SHIFT) & 0x80, 0);
    EXPECT_LT(os::GetKeyState(os::VK_SHIFT), 0);
    EXPECT_NE(os::GetKeyState(os::VK_RSHIFT) & 0x80, 0);
    EXPECT_EQ(os::GetKeyState(os::VK_LSHIFT) & 0x80, 0);
    EXPECT_EQ(os::GetKeyState(os::VK_CONTROL) & 0x80, 0);
    TakeAll();
    EXPECT_NE(os::GetKeyState(os::VK_CONTROL) & 0x80, 0);
    EXPECT_NE(os::GetKeyState(os::VK_RCONTROL) & 0x80, 0);
    EXPECT_EQ(os::GetKeyState(os::VK_CAPITAL) & 0x80, 0);
    EXPECT_EQ(os::GetKeyState(os::VK_CAPITAL) & 1, 1); // toggled on

    PushKey(w, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, false);
    PushButton(w, SDL_BUTTON_LEFT, true, 0, 0);
    TakeAll();
    EXPECT_EQ(os::GetKeyState(os::VK_SHIFT) & 0x80, 0);
    EXPECT_NE(os::GetKeyState(os::VK_LBUTTON) & 0x80, 0);
    EXPECT_EQ(os::GetKeyState(0x1000), 0);
}

TEST_F(OsKeyboardTest, SecondKeyDownWithoutRepeatFlagCountsAsRepeat)
{
    os::WindowHandle w = MakeGameWindow();
    PushKey(w, SDL_SCANCODE_W, SDLK_w, true);
    PushKey(w, SDL_SCANCODE_W, SDLK_w, true);
    std::vector<Message> got = TakeAll();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].lParam & (1 << 30), 0);
    EXPECT_NE(got[1].lParam & (1 << 30), 0);
}

TEST_F(OsKeyboardTest, KeysWithoutCodesAreDropped)
{
    os::WindowHandle w = MakeGameWindow();
    PushKey(w, SDL_SCANCODE_UNKNOWN, 0, true);
    PushKey(w, SDL_SCANCODE_KBDILLUMUP, 0, true);
    EXPECT_TRUE(TakeAll().empty());
}
} // namespace
