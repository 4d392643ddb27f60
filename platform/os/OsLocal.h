#pragma once

// Private to platform/os: the layer's process-wide state and the helpers its
// files share. No other library includes this.

#include "platform/os/OsDefs.h"
#include "platform/os/OsWindow.h"

#include <SDL.h>

#include <bitset>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace os
{
struct Window
{
    SDL_Window* sdl = nullptr;
    std::uint32_t sdlId = 0;
    std::string className;
    WindowProc procedure = nullptr;
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    bool alive = true;       // false once destroyed; the record stays until Reset so
                             // a stale handle never names a newer window
    bool destroying = false; // inside DestroyWindow (WM_DESTROY being sent)
    std::string noGlReason;  // why the window has no OpenGL; empty when it has
};

namespace detail
{
// A queued message and the pointer's own travel a mouse move carries.
struct QueuedMessage : Message
{
    bool hasMotion = false;
    Point motion;
};

struct State
{
    bool started = false;

    std::vector<WindowClass> classes;
    std::uint16_t nextAtom = 0xC000; // class atoms live in 0xC000-0xFFFF
    std::vector<std::unique_ptr<Window>> windows;

    std::deque<QueuedMessage> queue;
    // The travel of the message PeekMessage last removed, and of the message
    // DispatchMessage is delivering (GetMessageMotion).
    QueuedMessage removed;
    bool dispatchHasMotion = false;
    Point dispatchMotion;
    bool quitPending = false;
    int quitCode = 0;

    WindowHandle foreground = nullptr;
    WindowHandle capture = nullptr;

    // Translation-time input state (as SDL events arrive): which SDL
    // scancodes are down, the mouse buttons, the last key-down lParam for the
    // WM_CHAR that follows it.
    std::bitset<SDL_NUM_SCANCODES> translatedKeys;
    WParam translatedButtons = 0; // MK_LBUTTON | MK_RBUTTON | MK_MBUTTON
    LParam lastKeyDownLParam = 1;

    // GetKeyState state, as of the messages removed from the queue.
    std::bitset<256> keyHeld;
    std::bitset<256> keyToggled;

    // Cursor.
    int cursorCounter = 0;
    bool clipActive = false;
    Rect clip;
    Point cursorScreen; // last reported position, screen coordinates
    // Where the pointer itself was at the last motion or button the layer
    // saw in pointerWindow (client coordinates), or where a warp put it when
    // the warp's own motion came: each motion's travel is measured from it.
    bool pointerKnown = false;
    WindowHandle pointerWindow = nullptr;
    Point pointer;
    bool cursorKnown = false; // a motion, button or warp has placed it

    // Warps: while waitingForWarp the drain right after SDL_WarpMouseInWindow
    // looks for SDL's own motion at warpTarget; echoArmed drops one later
    // motion at the same place in the same window (a delayed echo of it).
    bool waitingForWarp = false;
    bool warpSeen = false;      // SDL's motion at the target came
    bool warpMovedSeen = false; // a motion elsewhere came first (SDL moved the target)
    Point warpMoved;
    bool echoArmed = false;
    WindowHandle warpWindow = nullptr;
    Point warpTarget; // client coordinates

    void (*sdlObserver)(const SDL_Event&, void*) = nullptr;
    void* sdlObserverUser = nullptr;
};

State& GetState();

// Starts SDL when needed; false when it cannot.
bool EnsureStarted();
// Moves every pending SDL event into the message queue, translated.
void DrainSdlEvents();
// The other layer's work for each pump pass (SetPumpHook); outside State so
// that Reset keeps it.
inline void (*&PumpHookSlot())()
{
    static void (*hook)() = nullptr;
    return hook;
}
// A live window by SDL window id; null when unknown.
WindowHandle FindBySdlId(std::uint32_t sdlId);
// The live window for an input event: its own, else the main window.
WindowHandle InputTarget(std::uint32_t sdlId);
// Appends a message to the queue; a mouse move may carry the pointer's travel.
void Enqueue(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam,
             const Point* motion = nullptr);
// MK_ flags of the buttons and modifiers held at translation time.
WParam TranslatedMouseFlags();
// Updates GetKeyState's record for a message being removed from the queue.
void NoteRemovedMessage(const Message& message);
// Cursor and input resets used by Reset.
void ResetInput();
void ResetFindHandles();
void ResetClock();
// Drops the window's claim on the foreground, capture and warp state.
void ForgetWindowInput(WindowHandle window);
} // namespace detail
} // namespace os
