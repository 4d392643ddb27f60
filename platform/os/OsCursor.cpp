#include "platform/os/OsInput.h"

#include "platform/os/OsLocal.h"
#include "platform/os/OsWindow.h"

#include <SDL.h>

namespace os
{
using detail::GetState;
using detail::State;

namespace
{
SDL_Window* SdlOf(WindowHandle window)
{
    return IsWindow(window) ? window->sdl : nullptr;
}

void ApplyClip()
{
    State& st = GetState();
    WindowHandle main = GetMainWindow();
    SDL_Window* sdl = SdlOf(main);
    if (!sdl)
    {
        return;
    }
    if (!st.clipActive)
    {
        SDL_SetWindowMouseRect(sdl, nullptr);
        return;
    }
    Point topLeft{st.clip.left, st.clip.top};
    ScreenToClient(main, topLeft);
    SDL_Rect r{topLeft.x, topLeft.y, st.clip.right - st.clip.left, st.clip.bottom - st.clip.top};
    // Refused on drivers that cannot confine the mouse: the clip is still
    // recorded, the cursor just roams.
    SDL_SetWindowMouseRect(sdl, r.w > 0 && r.h > 0 ? &r : nullptr);
}
} // namespace

int ShowCursor(bool show)
{
    State& st = GetState();
    st.cursorCounter += show ? 1 : -1;
    if (st.started)
    {
        SDL_ShowCursor(st.cursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
    }
    return st.cursorCounter;
}

bool ClipCursor(const Rect* screenRect)
{
    State& st = GetState();
    st.clipActive = screenRect != nullptr;
    st.clip = screenRect ? *screenRect : Rect{};
    ApplyClip();
    return true;
}

bool GetClipCursor(Rect& out)
{
    const State& st = GetState();
    if (!st.clipActive)
    {
        return false;
    }
    out = st.clip;
    return true;
}

WindowHandle SetCapture(WindowHandle window)
{
    State& st = GetState();
    WindowHandle previous = st.capture;
    if (!IsWindow(window))
    {
        return previous;
    }
    st.capture = window;
    SDL_CaptureMouse(SDL_TRUE); // unsupported on headless drivers: ignored
    return previous;
}

bool ReleaseCapture()
{
    State& st = GetState();
    if (st.capture)
    {
        st.capture = nullptr;
        if (st.started)
        {
            SDL_CaptureMouse(SDL_FALSE);
        }
    }
    return true;
}

WindowHandle GetCapture()
{
    return GetState().capture;
}

bool SetCursorPos(std::int32_t x, std::int32_t y)
{
    State& st = GetState();
    if (!detail::EnsureStarted())
    {
        return false;
    }
    WindowHandle main = GetMainWindow();
    if (!main)
    {
        SDL_WarpMouseGlobal(x, y);
        st.cursorScreen = Point{x, y};
        st.cursorKnown = true;
        return true;
    }
    Point client{x, y};
    ScreenToClient(main, client);
    // Earlier motion goes into the queue first, so the drain after the warp
    // sees only what the warp (or a later real move) caused.
    detail::DrainSdlEvents();
    st.waitingForWarp = true;
    st.warpSeen = false;
    st.warpMovedSeen = false;
    st.echoArmed = false;
    st.warpWindow = main;
    st.warpTarget = client;
    // SDL leaves a pointer it confines where it is (X11's pointer barriers
    // ignore warps): the confinement is lifted for the warp and put back.
    if (st.clipActive)
    {
        SDL_SetWindowMouseRect(main->sdl, nullptr);
    }
    SDL_WarpMouseInWindow(main->sdl, client.x, client.y);
    if (st.clipActive)
    {
        ApplyClip();
    }
    detail::DrainSdlEvents();
    st.waitingForWarp = false;
    bool mayEcho = true;
    if (!st.warpSeen && st.warpMovedSeen)
    {
        st.warpTarget = st.warpMoved; // SDL put the cursor there: that motion was the warp's
    }
    else if (!st.warpSeen)
    {
        // The driver sent no motion (the cursor was already there, or the
        // window system reports it later): the warp's one message is made here.
        // Whether the pointer went there is not known: where it was last
        // seen stays the origin of its next travel.
        const Point none{};
        detail::Enqueue(main, WM_MOUSEMOVE, detail::TranslatedMouseFlags(), MakeLParam(client.x, client.y), &none);
        st.cursorScreen = Point{x, y};
        st.cursorKnown = true;
        // Only a pointer the window system did put there can echo the warp:
        // where it refused the warp, the hand's next motion to that very
        // place is a real one.
        int globalX = 0;
        int globalY = 0;
        (void)SDL_GetGlobalMouseState(&globalX, &globalY);
        mayEcho = globalX == x && globalY == y;
    }
    // A window system may still echo the warp later: drop one motion at the
    // same place, unless the mouse goes elsewhere first.
    st.echoArmed = mayEcho;
    return true;
}

bool GetMessageMotion(Point& out)
{
    const State& st = GetState();
    if (!st.dispatchHasMotion)
    {
        return false;
    }
    out = st.dispatchMotion;
    return true;
}

bool GetCursorPos(Point& out)
{
    State& st = GetState();
    // Before the pointer has moved over a window of ours, ask the window
    // system where it is: a new window's first click must not land at 0, 0.
    if (!st.cursorKnown && detail::EnsureStarted())
    {
        int x = 0;
        int y = 0;
        (void)SDL_GetGlobalMouseState(&x, &y);
        st.cursorScreen = Point{x, y};
    }
    out = st.cursorScreen;
    return true;
}

int GetSystemMetrics(int index)
{
    if (index == SM_CXSCREEN || index == SM_CYSCREEN)
    {
        SDL_DisplayMode mode;
        if (!detail::EnsureStarted() || SDL_GetDesktopDisplayMode(0, &mode) != 0)
        {
            return 0;
        }
        return index == SM_CXSCREEN ? mode.w : mode.h;
    }
    if (index != SM_CXFRAME && index != SM_CYFRAME && index != SM_CYCAPTION)
    {
        return 0;
    }
    SDL_Window* sdl = SdlOf(GetMainWindow());
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    if (!sdl || SDL_GetWindowBordersSize(sdl, &top, &left, &bottom, &right) != 0)
    {
        return 0;
    }
    switch (index)
    {
    case SM_CXFRAME: return left;
    case SM_CYFRAME: return bottom;
    default: return top > bottom ? top - bottom : 0;
    }
}

namespace detail
{
void ResetInput()
{
    State& st = GetState();
    st.translatedKeys.reset();
    st.translatedButtons = 0;
    st.lastKeyDownLParam = 1;
    st.keyHeld.reset();
    st.keyToggled.reset();
    st.cursorCounter = 0;
    st.clipActive = false;
    st.clip = Rect{};
    st.cursorScreen = Point{};
    st.cursorKnown = false;
    st.waitingForWarp = false;
    st.warpSeen = false;
    st.warpMovedSeen = false;
    st.echoArmed = false;
    st.warpWindow = nullptr;
    st.warpTarget = Point{};
    st.pointerKnown = false;
    st.pointerWindow = nullptr;
    st.pointer = Point{};
    st.removed = QueuedMessage{};
    st.dispatchHasMotion = false;
    st.dispatchMotion = Point{};
    st.foreground = nullptr;
    st.capture = nullptr;
    if (st.started)
    {
        SDL_ShowCursor(SDL_ENABLE);
        SDL_CaptureMouse(SDL_FALSE);
    }
}

void ForgetWindowInput(WindowHandle window)
{
    State& st = GetState();
    if (st.foreground == window)
    {
        st.foreground = nullptr;
    }
    if (st.capture == window)
    {
        ReleaseCapture();
    }
    if (st.warpWindow == window)
    {
        st.warpWindow = nullptr;
        st.echoArmed = false;
    }
    if (st.pointerWindow == window)
    {
        st.pointerKnown = false;
        st.pointerWindow = nullptr;
    }
}
} // namespace detail
} // namespace os
