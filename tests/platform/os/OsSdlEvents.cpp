#include "tests/platform/os/OsSdlEvents.h"

#include "platform/os/OsSdl.h"

#include <gtest/gtest.h>

#include <cstring>

Uint32 SdlIdOf(os::WindowHandle window)
{
    SDL_Window* sdl = os::GetSdlWindow(window);
    return sdl ? SDL_GetWindowID(sdl) : 0;
}

namespace
{

void Push(SDL_Event& e)
{
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}
} // namespace

void PushKey(os::WindowHandle window, SDL_Scancode scancode, SDL_Keycode sym, bool down, bool repeat)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SdlIdOf(window);
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = sym;
    Push(e);
}

void PushText(os::WindowHandle window, const char* utf8)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_TEXTINPUT;
    e.text.windowID = SdlIdOf(window);
    std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
    Push(e);
}

void PushMotion(os::WindowHandle window, int x, int y)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SdlIdOf(window);
    e.motion.which = kHandMouseId;
    e.motion.x = x;
    e.motion.y = y;
    Push(e);
}

void PushButton(os::WindowHandle window, Uint8 button, bool down, int x, int y, Uint8 clicks)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.windowID = SdlIdOf(window);
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = clicks;
    e.button.x = x;
    e.button.y = y;
    Push(e);
}

void PushWheel(os::WindowHandle window, int y, bool flipped)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = SdlIdOf(window);
    e.wheel.y = y;
    e.wheel.preciseY = static_cast<float>(y);
    e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
    Push(e);
}

void PushWindowEvent(os::WindowHandle window, Uint8 event, int data1, int data2)
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SdlIdOf(window);
    e.window.event = event;
    e.window.data1 = data1;
    e.window.data2 = data2;
    Push(e);
}

void PushQuit()
{
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    e.type = SDL_QUIT;
    Push(e);
}
