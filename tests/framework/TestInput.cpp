#include "tests/framework/TestInput.h"

#include "platform/os/OsSdl.h"
#include "platform/os/OsWindow.h"

#include <gtest/gtest.h>

#include <cstring>

bool LoggingMouseDevice::HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam)
{
    m_kLog.push_back({'m', uiMessage, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam)});
    return true;
}

bool LoggingKeyboardDevice::HandleMessage(std::uint32_t uiMessage, os::WParam wParam, os::LParam lParam)
{
    m_kLog.push_back({'k', uiMessage, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam)});
    return true;
}

namespace
{
Uint32 SdlIdOf(os::WindowHandle pkWindow)
{
    SDL_Window* pkSdl = os::GetSdlWindow(pkWindow);
    return pkSdl != nullptr ? SDL_GetWindowID(pkSdl) : 0;
}

SDL_Event Blank(Uint32 uiType)
{
    SDL_Event kEvent;
    std::memset(&kEvent, 0, sizeof kEvent);
    kEvent.type = uiType;
    return kEvent;
}
} // namespace

void PushSdlEvent(SDL_Event& kEvent)
{
    ASSERT_EQ(SDL_PushEvent(&kEvent), 1) << SDL_GetError();
}

void PushKey(os::WindowHandle pkWindow, SDL_Scancode eScancode, SDL_Keycode iSym, bool bDown, bool bRepeat)
{
    SDL_Event kEvent = Blank(bDown ? SDL_KEYDOWN : SDL_KEYUP);
    kEvent.key.windowID = SdlIdOf(pkWindow);
    kEvent.key.state = bDown ? SDL_PRESSED : SDL_RELEASED;
    kEvent.key.repeat = bRepeat ? 1 : 0;
    kEvent.key.keysym.scancode = eScancode;
    kEvent.key.keysym.sym = iSym;
    PushSdlEvent(kEvent);
}

void PushText(os::WindowHandle pkWindow, const char* pcUtf8)
{
    SDL_Event kEvent = Blank(SDL_TEXTINPUT);
    kEvent.text.windowID = SdlIdOf(pkWindow);
    std::strncpy(kEvent.text.text, pcUtf8, sizeof kEvent.text.text - 1);
    PushSdlEvent(kEvent);
}

void PushMotion(os::WindowHandle pkWindow, int iX, int iY)
{
    SDL_Event kEvent = Blank(SDL_MOUSEMOTION);
    kEvent.motion.windowID = SdlIdOf(pkWindow);
    kEvent.motion.x = iX;
    kEvent.motion.y = iY;
    PushSdlEvent(kEvent);
}

void PushButton(os::WindowHandle pkWindow, Uint8 ucButton, bool bDown, int iX, int iY, Uint8 ucClicks)
{
    SDL_Event kEvent = Blank(bDown ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP);
    kEvent.button.windowID = SdlIdOf(pkWindow);
    kEvent.button.button = ucButton;
    kEvent.button.state = bDown ? SDL_PRESSED : SDL_RELEASED;
    kEvent.button.clicks = ucClicks;
    kEvent.button.x = iX;
    kEvent.button.y = iY;
    PushSdlEvent(kEvent);
}

void PushWheel(os::WindowHandle pkWindow, int iY)
{
    SDL_Event kEvent = Blank(SDL_MOUSEWHEEL);
    kEvent.wheel.windowID = SdlIdOf(pkWindow);
    kEvent.wheel.y = iY;
    kEvent.wheel.preciseY = static_cast<float>(iY);
    kEvent.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    PushSdlEvent(kEvent);
}

void PushWindowEvent(os::WindowHandle pkWindow, Uint8 ucEvent)
{
    SDL_Event kEvent = Blank(SDL_WINDOWEVENT);
    kEvent.window.windowID = SdlIdOf(pkWindow);
    kEvent.window.event = ucEvent;
    PushSdlEvent(kEvent);
}

void PushQuit()
{
    SDL_Event kEvent = Blank(SDL_QUIT);
    PushSdlEvent(kEvent);
}

void PumpAll()
{
    os::Message kMessage;
    while (os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE))
    {
        if (kMessage.message == os::WM_QUIT)
            break;
        os::TranslateMessage(kMessage);
        os::DispatchMessage(kMessage);
    }
}
