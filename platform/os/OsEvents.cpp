// SDL events -> Windows-style messages.

#include "platform/os/OsInput.h"
#include "platform/os/OsLocal.h"
#include "platform/os/OsWindow.h"

#include <SDL.h>

#include <algorithm>
#include <array>

namespace os::detail
{
namespace
{
constexpr int kBatch = 64;

bool CloseAlreadyQueued(WindowHandle window)
{
    const State& st = GetState();
    return std::any_of(st.queue.begin(), st.queue.end(),
                       [&](const Message& m) { return m.window == window && m.message == WM_CLOSE; });
}

void PostClose(WindowHandle window)
{
    // SDL reports one user close twice (window close, then quit when it was
    // the last window): the window gets one WM_CLOSE.
    if (window && !CloseAlreadyQueued(window))
    {
        Enqueue(window, WM_CLOSE, 0, 0);
    }
}

void NoteCursor(WindowHandle window, std::int32_t x, std::int32_t y)
{
    Point p{x, y};
    ClientToScreen(window, p);
    GetState().cursorScreen = p;
    GetState().cursorKnown = true;
}

void NotePointer(WindowHandle window, std::int32_t x, std::int32_t y)
{
    State& st = GetState();
    st.pointerKnown = true;
    st.pointerWindow = window;
    st.pointer = Point{x, y};
}

void TranslateWindowEvent(const SDL_WindowEvent& e)
{
    WindowHandle window = FindBySdlId(e.windowID);
    if (!window)
    {
        return;
    }
    State& st = GetState();
    switch (e.event)
    {
    case SDL_WINDOWEVENT_CLOSE:
        PostClose(window);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        st.foreground = window;
        Enqueue(window, WM_ACTIVATE, WA_ACTIVE, 0);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        if (st.foreground == window)
        {
            st.foreground = nullptr;
        }
        Enqueue(window, WM_ACTIVATE, WA_INACTIVE, 0);
        break;
    case SDL_WINDOWEVENT_MOVED:
        Enqueue(window, WM_MOVE, 0, MakeLParam(e.data1, e.data2));
        break;
    default:
        break;
    }
}

void TranslateKey(const SDL_KeyboardEvent& e)
{
    WindowHandle window = InputTarget(e.windowID);
    int scancode = static_cast<int>(e.keysym.scancode);
    if (!window || scancode <= 0 || scancode >= SDL_NUM_SCANCODES)
    {
        return;
    }
    ScanCode scan = ScanCodeFromSdl(scancode);
    std::uint32_t vk = VirtualKeyFromSdl(scancode, e.keysym.sym);
    if (scan.code == 0 && vk == 0)
    {
        return; // a key the published codes do not cover
    }
    State& st = GetState();
    std::uint32_t lParam = 1u | (static_cast<std::uint32_t>(scan.code) << 16);
    if (scan.extended)
    {
        lParam |= KF_EXTENDED_BIT;
    }
    if (e.type == SDL_KEYDOWN)
    {
        if (e.repeat != 0 || st.translatedKeys[static_cast<std::size_t>(scancode)])
        {
            lParam |= KF_PREVIOUS_BIT;
        }
        st.translatedKeys[static_cast<std::size_t>(scancode)] = true;
        st.lastKeyDownLParam = static_cast<LParam>(lParam);
        Enqueue(window, WM_KEYDOWN, vk, static_cast<LParam>(lParam));
    }
    else
    {
        lParam |= KF_PREVIOUS_BIT | KF_TRANSITION_BIT;
        st.translatedKeys[static_cast<std::size_t>(scancode)] = false;
        Enqueue(window, WM_KEYUP, vk, static_cast<LParam>(lParam));
    }
}

// One WM_CHAR per character below 256 (UTF-8 decoded), with the lParam of
// the key-down that typed it.
void TranslateText(const SDL_TextInputEvent& e)
{
    WindowHandle window = InputTarget(e.windowID);
    if (!window)
    {
        return;
    }
    const State& st = GetState();
    const auto* p = reinterpret_cast<const unsigned char*>(e.text);
    const auto* end = p + SDL_strlen(e.text);
    while (p < end)
    {
        std::uint32_t c = *p;
        int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : -1;
        if (extra < 0 || end - p < extra + 1)
        {
            ++p; // a stray byte: skip it
            continue;
        }
        if (extra > 0)
        {
            c &= 0x3Fu >> extra;
            bool bad = false;
            for (int i = 1; i <= extra; ++i)
            {
                if ((p[i] & 0xC0) != 0x80)
                {
                    bad = true;
                    break;
                }
                c = (c << 6) | (p[i] & 0x3Fu);
            }
            if (bad)
            {
                ++p;
                continue;
            }
        }
        p += extra + 1;
        if (c < 256)
        {
            Enqueue(window, WM_CHAR, c, st.lastKeyDownLParam);
        }
    }
}

WParam ButtonFlag(Uint8 button)
{
    switch (button)
    {
    case SDL_BUTTON_LEFT: return MK_LBUTTON;
    case SDL_BUTTON_RIGHT: return MK_RBUTTON;
    case SDL_BUTTON_MIDDLE: return MK_MBUTTON;
    default: return 0;
    }
}

void TranslateMotion(const SDL_MouseMotionEvent& e)
{
    WindowHandle window = InputTarget(e.windowID);
    if (!window)
    {
        return;
    }
    State& st = GetState();
    bool atWarp = window == st.warpWindow && e.x == st.warpTarget.x && e.y == st.warpTarget.y;
    bool warpsOwn = false;
    if (st.waitingForWarp && window == st.warpWindow)
    {
        // The drain right after a warp: SDL's motion at the target is the
        // warp's one message. SDL keeps the cursor inside the window, so a
        // target outside it comes back moved: then the first motion of this
        // drain stands for the warp (SetCursorPos decides after the drain).
        if (!st.warpSeen && atWarp)
        {
            st.warpSeen = true;
            warpsOwn = true;
        }
        else if (!st.warpSeen && !st.warpMovedSeen)
        {
            st.warpMovedSeen = true;
            st.warpMoved = Point{e.x, e.y};
            warpsOwn = true;
        }
    }
    else if (st.echoArmed)
    {
        st.echoArmed = false;
        if (atWarp)
        {
            // A late echo of a warp already reported: the warp did move the
            // pointer after all.
            NotePointer(window, e.x, e.y);
            return;
        }
    }
    // The pointer's own travel: none for the warp's motion; else from where
    // the pointer was last seen (SDL's own relative values restart at zero
    // after every warp, whether or not the warp moved the pointer).
    Point motion;
    const bool hasMotion = warpsOwn || (st.pointerKnown && st.pointerWindow == window);
    if (!warpsOwn && hasMotion)
    {
        motion = Point{e.x - st.pointer.x, e.y - st.pointer.y};
    }
    NotePointer(window, e.x, e.y);
    NoteCursor(window, e.x, e.y);
    Enqueue(window, WM_MOUSEMOVE, TranslatedMouseFlags(), MakeLParam(e.x, e.y), hasMotion ? &motion : nullptr);
}

void TranslateButton(const SDL_MouseButtonEvent& e)
{
    WindowHandle window = InputTarget(e.windowID);
    WParam flag = ButtonFlag(e.button);
    if (!window || flag == 0)
    {
        return; // extra buttons have no published messages here
    }
    State& st = GetState();
    bool down = e.type == SDL_MOUSEBUTTONDOWN;
    if (down)
    {
        st.translatedButtons |= flag;
    }
    else
    {
        st.translatedButtons &= ~flag;
    }
    std::uint32_t message = 0;
    switch (e.button)
    {
    case SDL_BUTTON_LEFT: message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP; break;
    case SDL_BUTTON_RIGHT: message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP; break;
    default: message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP; break;
    }
    // Every click is a plain down/up pair: no double-click messages.
    NotePointer(window, e.x, e.y);
    NoteCursor(window, e.x, e.y);
    Enqueue(window, message, TranslatedMouseFlags(), MakeLParam(e.x, e.y));
}

void TranslateWheel(const SDL_MouseWheelEvent& e)
{
    WindowHandle window = InputTarget(e.windowID);
    if (!window || e.y == 0)
    {
        return; // horizontal wheels have no message here
    }
    std::int32_t notches = e.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.y : e.y;
    std::int32_t delta = std::clamp(notches * WHEEL_DELTA, -32768, 32767);
    WParam wParam = (static_cast<WParam>(static_cast<std::uint16_t>(delta)) << 16) | TranslatedMouseFlags();
    // The wheel message carries the cursor in screen coordinates.
    const Point& p = GetState().cursorScreen;
    Enqueue(window, WM_MOUSEWHEEL, wParam, MakeLParam(p.x, p.y));
}

void Translate(const SDL_Event& e)
{
    switch (e.type)
    {
    case SDL_QUIT:
        PostClose(GetMainWindow());
        break;
    case SDL_WINDOWEVENT:
        TranslateWindowEvent(e.window);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        TranslateKey(e.key);
        break;
    case SDL_TEXTINPUT:
        TranslateText(e.text);
        break;
    case SDL_MOUSEMOTION:
        TranslateMotion(e.motion);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        TranslateButton(e.button);
        break;
    case SDL_MOUSEWHEEL:
        TranslateWheel(e.wheel);
        break;
    default:
        break;
    }
}
} // namespace

WParam TranslatedMouseFlags()
{
    const State& st = GetState();
    WParam flags = st.translatedButtons;
    if (st.translatedKeys[SDL_SCANCODE_LSHIFT] || st.translatedKeys[SDL_SCANCODE_RSHIFT])
    {
        flags |= MK_SHIFT;
    }
    if (st.translatedKeys[SDL_SCANCODE_LCTRL] || st.translatedKeys[SDL_SCANCODE_RCTRL])
    {
        flags |= MK_CONTROL;
    }
    return flags;
}

void DrainSdlEvents()
{
    if (auto hook = PumpHookSlot())
    {
        hook();
    }
    if (!GetState().started)
    {
        return;
    }
    SDL_PumpEvents();
    std::array<SDL_Event, kBatch> events;
    for (;;)
    {
        int n = SDL_PeepEvents(events.data(), kBatch, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
        if (n <= 0)
        {
            break;
        }
        for (int i = 0; i < n; ++i)
        {
            const SDL_Event& e = events[static_cast<std::size_t>(i)];
            const State& st = GetState();
            if (st.sdlObserver)
            {
                st.sdlObserver(e, st.sdlObserverUser);
            }
            Translate(e);
        }
    }
}
} // namespace os::detail
