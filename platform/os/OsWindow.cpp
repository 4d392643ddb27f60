#include "platform/os/OsWindow.h"

#include "platform/os/OsFiles.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsLocal.h"
#include "platform/os/OsSdl.h"
#include "platform/os/OsSystem.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>

namespace os
{
using detail::GetState;
using detail::State;

namespace
{
// Class names compare without regard to case, as the system's do.
WindowClass* FindClass(std::string_view name)
{
    for (WindowClass& c : GetState().classes)
    {
        if (EqualsIgnoreCase(c.name, name))
        {
            return &c;
        }
    }
    return nullptr;
}

Window* Live(WindowHandle window)
{
    if (!window)
    {
        return nullptr;
    }
    for (auto& w : GetState().windows)
    {
        if (w.get() == window)
        {
            return w->alive ? w.get() : nullptr;
        }
    }
    return nullptr;
}

bool InRange(std::uint32_t message, std::uint32_t first, std::uint32_t last)
{
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

// Moves the point by the client area's screen position: sign 1 from client
// to screen co-ordinates, -1 back. The client area starts at the window
// position, which SDL gives inside the frame.
// A display without a window manager answers no full-screen request: the
// window then stays as it was while SDL takes it for the whole display.
// Covering the display first makes both agree either way.
void CoverDisplay(SDL_Window* window)
{
    if ((SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN) != 0)
        return;
    SDL_Rect bounds{};
    const int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0 || bounds.w <= 0 || bounds.h <= 0)
        return;
    SDL_SetWindowPosition(window, bounds.x, bounds.y);
    SDL_SetWindowSize(window, bounds.w, bounds.h);
}

bool ShiftByClientOrigin(WindowHandle window, Point& point, int sign)
{
    Window* w = Live(window);
    if (!w)
    {
        return false;
    }
    int x = 0;
    int y = 0;
    SDL_GetWindowPosition(w->sdl, &x, &y);
    point.x += sign * x;
    point.y += sign * y;
    return true;
}
} // namespace

// ---- Class table ----

std::uint16_t RegisterClass(const WindowClass& windowClass)
{
    State& st = GetState();
    if (windowClass.name.empty() || !windowClass.procedure || FindClass(windowClass.name))
    {
        return 0;
    }
    if (st.nextAtom == 0)
    {
        return 0; // all atoms handed out
    }
    st.classes.push_back(windowClass);
    return st.nextAtom++;
}

bool UnregisterClass(std::string_view className, InstanceHandle)
{
    State& st = GetState();
    auto it = std::find_if(st.classes.begin(), st.classes.end(),
                           [&](const WindowClass& c) { return EqualsIgnoreCase(c.name, className); });
    if (it == st.classes.end())
    {
        return false;
    }
    for (auto& w : st.windows)
    {
        if (w->alive && EqualsIgnoreCase(w->className, className))
        {
            return false;
        }
    }
    st.classes.erase(it);
    return true;
}

bool GetClassInfo(std::string_view className, WindowClass& out)
{
    WindowClass* c = FindClass(className);
    if (!c)
    {
        return false;
    }
    out = *c;
    return true;
}

CursorHandle LoadCursor(InstanceHandle, std::uint32_t cursorId)
{
    // Only the arrow exists: it is SDL's default cursor.
    return cursorId == IDC_ARROW ? static_cast<CursorHandle>(IDC_ARROW) : 0;
}

BrushHandle GetStockObject(int objectId)
{
    // The renderer paints the whole client area; a brush is only a token.
    return static_cast<BrushHandle>(objectId) + 1;
}

// ---- Windows ----

WindowHandle CreateWindowEx(std::uint32_t exStyle, std::string_view className, std::string_view windowName,
                            std::uint32_t style, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, WindowHandle, void*, InstanceHandle, void*)
{
    WindowClass* c = FindClass(className);
    if (!c || !detail::EnsureStarted())
    {
        return nullptr;
    }
    // SDL falls back to its invisible drivers when it finds no display; a
    // window nobody can see is made only when the caller named the driver.
    const char* namedDriver = SDL_getenv("SDL_VIDEODRIVER");
    if (IsHeadless() && (namedDriver == nullptr || namedDriver[0] == '\0'))
    {
        // A display that is set but cannot be reached is named: the player
        // has one and must learn which the game tried.
        const char* x11 = SDL_getenv("DISPLAY");
        const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
        if (wayland != nullptr && wayland[0] != '\0')
            std::fprintf(stderr, "cannot reach the display \"%s\" (WAYLAND_DISPLAY)\n", wayland);
        if (x11 != nullptr && x11[0] != '\0')
            std::fprintf(stderr, "cannot reach the display \"%s\" (DISPLAY)\n", x11);
        if ((x11 == nullptr || x11[0] == '\0') && (wayland == nullptr || wayland[0] == '\0'))
            std::fprintf(stderr, "no display available (set DISPLAY or WAYLAND_DISPLAY)\n");
        return nullptr;
    }
    State& st = GetState();
    int sx = x == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : x;
    int sy = y == CW_USEDEFAULT ? static_cast<int>(SDL_WINDOWPOS_UNDEFINED) : y;
    int w = width == CW_USEDEFAULT || width <= 0 ? 1024 : width;
    int h = height == CW_USEDEFAULT || height <= 0 ? 768 : height;
    // A window made without a title shows its class's name (the program's),
    // as a task bar would name it, rather than a blank title bar.
    std::string title(windowName.empty() ? std::string_view(c->name) : windowName);

    Uint32 flags = SDL_WINDOW_HIDDEN;
    if ((style & WS_POPUP) != 0)
    {
        flags |= SDL_WINDOW_BORDERLESS;
    }
    SDL_Window* sdl = nullptr;
    std::string noGlReason;
    if (DriverOffersGl())
    {
        sdl = SDL_CreateWindow(title.c_str(), sx, sy, w, h, flags | SDL_WINDOW_OPENGL);
        if (!sdl)
        {
            noGlReason = std::string("os: no OpenGL window (") + SDL_GetError() + ")";
            std::fprintf(stderr, "%s; making one without\n", noGlReason.c_str());
        }
    }
    else
    {
        noGlReason = "os: the video driver \"" + GetVideoDriverName() + "\" offers no OpenGL";
    }
    if (!sdl)
    {
        sdl = SDL_CreateWindow(title.c_str(), sx, sy, w, h, flags);
    }
    if (!sdl)
    {
        std::fprintf(stderr, "os: SDL_CreateWindow failed: %s\n", SDL_GetError());
        return nullptr;
    }
    auto window = std::make_unique<Window>();
    window->sdl = sdl;
    window->sdlId = SDL_GetWindowID(sdl);
    window->noGlReason = std::move(noGlReason);
    window->className = c->name;
    window->procedure = c->procedure;
    window->style = style & ~WS_VISIBLE;
    window->exStyle = exStyle;
    WindowHandle handle = window.get();
    st.windows.push_back(std::move(window));
    if ((style & WS_VISIBLE) != 0)
    {
        ShowWindow(handle, SW_SHOW);
    }
    return handle;
}

bool DestroyWindow(WindowHandle window)
{
    Window* w = Live(window);
    if (!w || w->destroying)
    {
        return false;
    }
    w->destroying = true;
    SendMessage(window, WM_DESTROY, 0, 0);
    State& st = GetState();
    std::erase_if(st.queue, [&](const Message& m) { return m.window == window; });
    detail::ForgetWindowInput(window);
    if (w->sdl)
    {
        SDL_DestroyWindow(w->sdl);
        w->sdl = nullptr;
    }
    w->alive = false;
    w->destroying = false;
    return true;
}

bool IsWindow(WindowHandle window)
{
    return Live(window) != nullptr;
}

bool AdjustWindowRect(Rect&, std::uint32_t, bool)
{
    return true;
}

bool ShowWindow(WindowHandle window, int command)
{
    Window* w = Live(window);
    if (!w)
    {
        return false;
    }
    bool wasVisible = (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) != 0;
    State& st = GetState();
    if (command == SW_HIDE)
    {
        SDL_HideWindow(w->sdl);
        if (st.foreground == window)
        {
            st.foreground = nullptr;
        }
    }
    else
    {
        SDL_ShowWindow(w->sdl);
        SDL_RaiseWindow(w->sdl);
        st.foreground = window;
    }
    return wasVisible;
}

bool UpdateWindow(WindowHandle window)
{
    return Live(window) != nullptr;
}

std::int32_t SetWindowLong(WindowHandle window, int index, std::int32_t value)
{
    Window* w = Live(window);
    if (!w)
    {
        return 0;
    }
    std::uint32_t* field = index == GWL_STYLE ? &w->style : index == GWL_EXSTYLE ? &w->exStyle : nullptr;
    if (!field)
    {
        return 0;
    }
    std::uint32_t previous = *field;
    *field = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(previous);
}

std::int32_t GetWindowLong(WindowHandle window, int index)
{
    Window* w = Live(window);
    if (!w)
    {
        return 0;
    }
    if (index == GWL_STYLE)
    {
        std::uint32_t style = w->style;
        if ((SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) != 0)
        {
            style |= WS_VISIBLE;
        }
        return static_cast<std::int32_t>(style);
    }
    return index == GWL_EXSTYLE ? static_cast<std::int32_t>(w->exStyle) : 0;
}

bool SetWindowPos(WindowHandle window, WindowHandle, std::int32_t x, std::int32_t y, std::int32_t width,
                  std::int32_t height, std::uint32_t flags)
{
    Window* w = Live(window);
    if (!w)
    {
        return false;
    }
    bool ok = true;
    if ((flags & SWP_FRAMECHANGED) != 0)
    {
        if ((w->style & WS_POPUP) != 0)
        {
            SDL_SetWindowBordered(w->sdl, SDL_FALSE);
            CoverDisplay(w->sdl);
            // Desktop full screen: no video mode change, always available.
            ok = SDL_SetWindowFullscreen(w->sdl, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
        }
        else
        {
            ok = SDL_SetWindowFullscreen(w->sdl, 0) == 0;
            SDL_SetWindowBordered(w->sdl, SDL_TRUE);
        }
        if (!ok)
        {
            std::fprintf(stderr, "os: display mode change refused: %s\n", SDL_GetError());
        }
    }
    if ((flags & SWP_NOSIZE) == 0 && width > 0 && height > 0)
    {
        SDL_SetWindowSize(w->sdl, width, height);
    }
    if ((flags & SWP_NOMOVE) == 0)
    {
        SDL_SetWindowPosition(w->sdl, x, y);
    }
    return ok;
}

bool IsFullScreen(WindowHandle window)
{
    Window* w = Live(window);
    return w && (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP) == SDL_WINDOW_FULLSCREEN_DESKTOP;
}

bool IsWindowVisible(WindowHandle window)
{
    Window* w = Live(window);
    return w && (SDL_GetWindowFlags(w->sdl) & SDL_WINDOW_SHOWN) != 0;
}

bool GetClientRect(WindowHandle window, Rect& out)
{
    Window* w = Live(window);
    if (!w)
    {
        return false;
    }
    int width = 0;
    int height = 0;
    SDL_GetWindowSize(w->sdl, &width, &height);
    out = Rect{0, 0, width, height};
    return true;
}

bool GetWindowRect(WindowHandle window, Rect& out)
{
    Window* w = Live(window);
    if (!w)
    {
        return false;
    }
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    SDL_GetWindowPosition(w->sdl, &x, &y);
    SDL_GetWindowSize(w->sdl, &width, &height);
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
    if (SDL_GetWindowBordersSize(w->sdl, &top, &left, &bottom, &right) != 0)
    {
        top = left = bottom = right = 0; // headless drivers draw no frame
    }
    out = Rect{x - left, y - top, x + width + right, y + height + bottom};
    return true;
}

bool ClientToScreen(WindowHandle window, Point& point)
{
    return ShiftByClientOrigin(window, point, 1);
}

bool ScreenToClient(WindowHandle window, Point& point)
{
    return ShiftByClientOrigin(window, point, -1);
}

WindowHandle GetForegroundWindow()
{
    return GetState().foreground;
}

WindowHandle GetMainWindow()
{
    for (auto& w : GetState().windows)
    {
        if (w->alive)
        {
            return w.get();
        }
    }
    return nullptr;
}

// ---- Messages ----

bool PostMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam)
{
    if (window && !Live(window))
    {
        return false;
    }
    detail::Enqueue(window, message, wParam, lParam);
    return true;
}

namespace
{
// Calls the window's procedure with the travel GetMessageMotion reports
// during the call; what was reported before comes back afterwards (a
// procedure may send messages of its own).
LResult CallProcedure(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam, bool hasMotion,
                      Point motion)
{
    Window* w = Live(window);
    if (!w || !w->procedure)
    {
        return 0;
    }
    State& st = GetState();
    const bool savedHas = st.dispatchHasMotion;
    const Point savedMotion = st.dispatchMotion;
    st.dispatchHasMotion = hasMotion;
    st.dispatchMotion = motion;
    LResult result = w->procedure(window, message, wParam, lParam);
    st.dispatchHasMotion = savedHas;
    st.dispatchMotion = savedMotion;
    return result;
}
} // namespace

LResult SendMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam)
{
    return CallProcedure(window, message, wParam, lParam, false, Point{});
}

void PostQuitMessage(int exitCode)
{
    State& st = GetState();
    st.quitPending = true;
    st.quitCode = exitCode;
}

bool PeekMessage(Message& out, WindowHandle window, std::uint32_t first, std::uint32_t last,
                 std::uint32_t removeFlags)
{
    State& st = GetState();
    if (st.started)
    {
        detail::DrainSdlEvents();
    }
    for (auto it = st.queue.begin(); it != st.queue.end(); ++it)
    {
        if ((window && it->window != window) || !InRange(it->message, first, last))
        {
            continue;
        }
        out = *it;
        if ((removeFlags & PM_REMOVE) != 0)
        {
            st.removed = *it;
            st.queue.erase(it);
            detail::NoteRemovedMessage(out);
        }
        return true;
    }
    // The quit message is a thread message: only an unfiltered (window) peek
    // whose range admits it gets it, once nothing else is left.
    if (st.quitPending && !window && InRange(WM_QUIT, first, last))
    {
        out = Message{nullptr, WM_QUIT, static_cast<WParam>(static_cast<std::intptr_t>(st.quitCode)), 0};
        if ((removeFlags & PM_REMOVE) != 0)
        {
            st.quitPending = false;
        }
        return true;
    }
    return false;
}

bool TranslateMessage(const Message&)
{
    return false;
}

LResult DispatchMessage(const Message& message)
{
    if (message.message == WM_QUIT)
    {
        return 0;
    }
    // The travel belongs to the message last taken from the queue; any other
    // message dispatched carries none.
    const detail::QueuedMessage& removed = GetState().removed;
    const bool same = removed.window == message.window && removed.message == message.message &&
                      removed.wParam == message.wParam && removed.lParam == message.lParam;
    return CallProcedure(message.window, message.message, message.wParam, message.lParam, same && removed.hasMotion,
                         removed.motion);
}

LResult DefWindowProc(WindowHandle window, std::uint32_t message, WParam, LParam)
{
    if (message == WM_CLOSE)
    {
        DestroyWindow(window);
    }
    return 0;
}

bool WaitMessage(std::uint32_t timeoutMs)
{
    State& st = GetState();
    if (!st.queue.empty() || st.quitPending)
    {
        return true;
    }
    if (!detail::EnsureStarted())
    {
        return false;
    }
    detail::DrainSdlEvents();
    if (!st.queue.empty())
    {
        return true;
    }
    if (SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<std::uint32_t>(timeoutMs, 0x7FFFFFFF))) == 1)
    {
        detail::DrainSdlEvents();
    }
    return !st.queue.empty() || st.quitPending;
}

std::size_t GetQueuedMessageCount()
{
    return GetState().queue.size();
}

// ---- Shared helpers ----

namespace detail
{
void Enqueue(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam, const Point* motion)
{
    QueuedMessage queued;
    queued.window = window;
    queued.message = message;
    queued.wParam = wParam;
    queued.lParam = lParam;
    queued.hasMotion = motion != nullptr;
    queued.motion = motion != nullptr ? *motion : Point{};
    GetState().queue.push_back(queued);
}

WindowHandle FindBySdlId(std::uint32_t sdlId)
{
    if (sdlId == 0)
    {
        return nullptr;
    }
    for (auto& w : GetState().windows)
    {
        if (w->alive && w->sdlId == sdlId)
        {
            return w.get();
        }
    }
    return nullptr;
}

WindowHandle InputTarget(std::uint32_t sdlId)
{
    WindowHandle window = FindBySdlId(sdlId);
    return window ? window : GetMainWindow();
}
} // namespace detail
} // namespace os

// ---- For the other platform layers (OsSdl.h) ----

namespace os
{
SDL_Window* GetSdlWindow(WindowHandle window)
{
    return IsWindow(window) ? window->sdl : nullptr;
}

std::string GetWindowNoGlReason(WindowHandle window)
{
    return IsWindow(window) ? window->noGlReason : std::string();
}

WindowHandle FindWindowBySdl(SDL_Window* sdlWindow)
{
    return sdlWindow ? detail::FindBySdlId(SDL_GetWindowID(sdlWindow)) : nullptr;
}

void SetPumpHook(PumpHook hook)
{
    detail::PumpHookSlot() = hook;
}

void SetSdlEventObserver(SdlEventObserver observer, void* user)
{
    detail::State& st = detail::GetState();
    st.sdlObserver = observer;
    st.sdlObserverUser = observer ? user : nullptr;
}
} // namespace os
