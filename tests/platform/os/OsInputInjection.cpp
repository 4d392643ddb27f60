#include "tests/platform/os/OsInputInjection.h"

#include "tests/platform/os/OsSdlEvents.h"

#include "platform/os/OsInput.h"

#include <gtest/gtest.h>

#include <cctype>

namespace ostest
{
void InjectKey(os::WindowHandle window, char cLetter, bool bDown, bool bRepeat)
{
    const int iOffset = std::toupper(static_cast<unsigned char>(cLetter)) - 'A';
    PushKey(window, static_cast<SDL_Scancode>(SDL_SCANCODE_A + iOffset), static_cast<SDL_Keycode>(SDLK_a + iOffset), bDown,
            bRepeat);
}

bool InjectScanCode(os::WindowHandle window, std::uint8_t ucCode, bool bExtended, bool bDown)
{
    for (int i = 0; i < SDL_NUM_SCANCODES; ++i)
    {
        const os::ScanCode kCode = os::ScanCodeFromSdl(i);
        if (kCode.code == ucCode && kCode.extended == bExtended && kCode.code != 0)
        {
            const auto eScancode = static_cast<SDL_Scancode>(i);
            PushKey(window, eScancode, SDL_GetKeyFromScancode(eScancode), bDown, false);
            return true;
        }
    }
    return false;
}

void InjectText(os::WindowHandle window, const char* pcUtf8)
{
    PushText(window, pcUtf8);
}

void InjectMotion(os::WindowHandle window, int iX, int iY)
{
    PushMotion(window, iX, iY);
}

void InjectButton(os::WindowHandle window, MouseButton eButton, bool bDown, int iX, int iY, int iClicks)
{
    Uint8 ucButton = SDL_BUTTON_LEFT;
    if (eButton == MouseButton::Right)
        ucButton = SDL_BUTTON_RIGHT;
    else if (eButton == MouseButton::Middle)
        ucButton = SDL_BUTTON_MIDDLE;
    PushButton(window, ucButton, bDown, iX, iY, static_cast<Uint8>(iClicks));
}

void InjectWheel(os::WindowHandle window, int iNotches)
{
    PushWheel(window, iNotches);
}

void InjectWindowEvent(os::WindowHandle window, WindowEvent eEvent)
{
    Uint8 ucEvent = SDL_WINDOWEVENT_FOCUS_GAINED;
    switch (eEvent)
    {
    case WindowEvent::FocusGained: ucEvent = SDL_WINDOWEVENT_FOCUS_GAINED; break;
    case WindowEvent::FocusLost: ucEvent = SDL_WINDOWEVENT_FOCUS_LOST; break;
    case WindowEvent::Moved: ucEvent = SDL_WINDOWEVENT_MOVED; break;
    case WindowEvent::Close: ucEvent = SDL_WINDOWEVENT_CLOSE; break;
    }
    PushWindowEvent(window, ucEvent);
}

void InjectQuit()
{
    PushQuit();
}

namespace
{
int DropSdlsOwnMotion(void*, SDL_Event* e)
{
    return e->type == SDL_MOUSEMOTION && e->motion.which != kHandMouseId ? 0 : 1;
}
} // namespace

WarpsIgnored::WarpsIgnored()
{
    SDL_SetEventFilter(&DropSdlsOwnMotion, nullptr);
}

WarpsIgnored::~WarpsIgnored()
{
    SDL_SetEventFilter(nullptr, nullptr);
}

namespace
{
void PushEvent(SDL_Event& e)
{
    ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
}
} // namespace

void InjectDialogMotion(std::uint32_t uiWindowId, int iX, int iY)
{
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = uiWindowId;
    e.motion.x = iX;
    e.motion.y = iY;
    PushEvent(e);
}

void InjectDialogClick(std::uint32_t uiWindowId, int iX, int iY)
{
    for (const bool bDown : {true, false})
    {
        SDL_Event e{};
        e.type = bDown ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = uiWindowId;
        e.button.button = SDL_BUTTON_LEFT;
        e.button.state = bDown ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
        e.button.x = iX;
        e.button.y = iY;
        PushEvent(e);
    }
}

void InjectDialogWheel(std::uint32_t uiWindowId, int iNotches)
{
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.windowID = uiWindowId;
    e.wheel.y = iNotches;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    PushEvent(e);
}

void InjectDialogEscape(std::uint32_t uiWindowId)
{
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.windowID = uiWindowId;
    e.key.state = SDL_PRESSED;
    e.key.keysym.scancode = SDL_SCANCODE_ESCAPE;
    e.key.keysym.sym = SDLK_ESCAPE;
    PushEvent(e);
}

void InjectDialogClose(std::uint32_t uiWindowId)
{
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = uiWindowId;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    PushEvent(e);
}
} // namespace ostest
