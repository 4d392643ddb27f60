#include "platform/os/OsSystem.h"

#include "platform/os/OsDialog.h"
#include "platform/os/OsDialogWindow.h"
#include "platform/os/OsFiles.h"
#include "platform/os/OsLocal.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace os
{
namespace detail
{
State& GetState()
{
    static State state;
    return state;
}

bool EnsureStarted()
{
    return GetState().started || Startup();
}
} // namespace detail

namespace
{
constexpr Uint32 kSubsystems = SDL_INIT_VIDEO | SDL_INIT_EVENTS | SDL_INIT_TIMER;

void DestroyAllWindowsSilently()
{
    detail::State& st = detail::GetState();
    for (auto& window : st.windows)
    {
        if (window->sdl)
        {
            SDL_DestroyWindow(window->sdl);
            window->sdl = nullptr;
        }
        window->alive = false;
    }
    st.windows.clear();
    st.foreground = nullptr;
    st.capture = nullptr;
}
} // namespace

bool Startup()
{
    detail::State& st = detail::GetState();
    if (st.started)
    {
        return true;
    }
    // SDL counts subsystem starts, so the graphics and audio layers may start
    // and stop their own without ending ours.
    if (SDL_InitSubSystem(kSubsystems) != 0)
    {
        std::fprintf(stderr, "os: SDL could not start: %s\n", SDL_GetError());
        return false;
    }
    st.started = true;
    // Characters arrive as SDL text input (WM_CHAR).
    SDL_StartTextInput();
    SDL_ShowCursor(st.cursorCounter >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return true;
}

void Shutdown()
{
    detail::State& st = detail::GetState();
    DestroyAllWindowsSilently();
    st.queue.clear();
    st.quitPending = false;
    if (st.started)
    {
        SDL_QuitSubSystem(kSubsystems);
        st.started = false;
    }
}

bool IsStarted()
{
    return detail::GetState().started;
}

void Reset()
{
    detail::State& st = detail::GetState();
    DestroyAllWindowsSilently();
    st.classes.clear();
    st.nextAtom = 0xC000;
    if (st.started)
    {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    st.queue.clear();
    st.quitPending = false;
    st.quitCode = 0;
    st.sdlObserver = nullptr;
    st.sdlObserverUser = nullptr;
    detail::ResetInput();
    detail::ResetFindHandles();
    detail::ResetClock();
    ResetMessageBoxHook();
    SetDialogIdleHook(nullptr);
    SetPathRecorder(nullptr);
}

std::string GetVideoDriverName()
{
    const char* name = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver() : nullptr;
    return name ? std::string(name) : std::string();
}

bool IsHeadless()
{
    std::string name = GetVideoDriverName();
    if (name.empty())
    {
        // Not started: judge by what SDL would pick from the environment.
        const char* wanted = SDL_getenv("SDL_VIDEODRIVER");
        name = wanted ? wanted : "";
    }
    return name == "dummy" || name == "offscreen";
}

bool DriverOffersGl()
{
    std::string name = GetVideoDriverName();
    return !name.empty() && name != "dummy";
}

int GetDisplayCount()
{
    if (!detail::EnsureStarted())
    {
        return 0;
    }
    int count = SDL_GetNumVideoDisplays();
    return count < 0 ? 0 : count;
}

std::string GetDisplayName(int display)
{
    if (!detail::EnsureStarted())
    {
        return {};
    }
    const char* name = SDL_GetDisplayName(display);
    return name ? std::string(name) : std::string();
}

namespace
{
DisplayMode FromSdl(const SDL_DisplayMode& mode)
{
    DisplayMode out;
    out.width = mode.w;
    out.height = mode.h;
    out.bitsPerPixel = static_cast<std::int32_t>(SDL_BITSPERPIXEL(mode.format));
    // SDL reports 24 for the 32-bit XRGB formats; the display depth the game
    // shows is the stored size.
    if (SDL_BYTESPERPIXEL(mode.format) == 4)
    {
        out.bitsPerPixel = 32;
    }
    out.refreshRate = mode.refresh_rate;
    return out;
}
} // namespace

std::vector<DisplayMode> GetDisplayModes(int display)
{
    std::vector<DisplayMode> modes;
    if (!detail::EnsureStarted())
    {
        return modes;
    }
    int count = SDL_GetNumDisplayModes(display);
    for (int i = 0; i < count; ++i)
    {
        SDL_DisplayMode mode;
        // The offscreen driver lists an empty 0 x 0 mode: not a mode.
        if (SDL_GetDisplayMode(display, i, &mode) != 0 || mode.w <= 0 || mode.h <= 0)
        {
            continue;
        }
        DisplayMode m = FromSdl(mode);
        bool duplicate = std::any_of(modes.begin(), modes.end(), [&](const DisplayMode& o) {
            return o.width == m.width && o.height == m.height && o.bitsPerPixel == m.bitsPerPixel &&
                   o.refreshRate == m.refreshRate;
        });
        if (!duplicate)
        {
            modes.push_back(m);
        }
    }
    SDL_DisplayMode desktop;
    if (modes.empty() && SDL_GetDesktopDisplayMode(display, &desktop) == 0 && desktop.w > 0 && desktop.h > 0)
    {
        modes.push_back(FromSdl(desktop)); // the desktop mode is always available
    }
    return modes;
}

bool GetDesktopDisplayMode(int display, DisplayMode& out)
{
    if (!detail::EnsureStarted())
    {
        return false;
    }
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(display, &mode) != 0)
    {
        return false;
    }
    out = FromSdl(mode);
    return true;
}
} // namespace os
