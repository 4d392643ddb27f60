#pragma once

// Windows, window classes and the message queue, over SDL2.
//
// The framework sees Windows-style messages: SDL events become
// {message, wParam, lParam} records (see OsDefs.h for the ids and the
// packing) in one process-wide queue, in arrival order. PeekMessage takes
// them out, DispatchMessage hands them synchronously to the window's class
// procedure. WM_QUIT (from PostQuitMessage) comes after every other pending
// message. Everything runs on the thread that started the layer.

#include "platform/os/OsDefs.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace os
{
// What RegisterClass records. Style, cursor and background are kept for
// GetClassInfo-style questions but change nothing here.
struct WindowClass
{
    std::uint32_t style = 0;
    WindowProc procedure = nullptr;
    InstanceHandle instance = nullptr;
    CursorHandle cursor = 0;
    BrushHandle background = 0;
    std::string name;
};

// ---- Class table ----
// Registers a class; returns a non-zero atom, or 0 when the name is empty,
// the procedure is null or a class of that name is already registered.
[[nodiscard]] std::uint16_t RegisterClass(const WindowClass& windowClass);
// Removes a class; false when no class of that name exists, or a window of
// it still exists. The instance is not compared (one program instance).
bool UnregisterClass(std::string_view className, InstanceHandle instance);
[[nodiscard]] bool GetClassInfo(std::string_view className, WindowClass& out);

// The standard arrow cursor and stock brushes: tokens for WindowClass.
[[nodiscard]] CursorHandle LoadCursor(InstanceHandle instance, std::uint32_t cursorId);
[[nodiscard]] BrushHandle GetStockObject(int objectId);

// ---- Windows ----
// Creates a hidden SDL window of the registered class. width and height are
// the client size (SDL sizes the client area; see AdjustWindowRect);
// CW_USEDEFAULT in x or y lets SDL place it. The title is the window name
// (empty: no title). The window is made with OpenGL support whenever the
// video driver offers GL (every driver but "dummy"). Starts the layer
// (Startup) when needed. Returns null when the class is not registered or
// SDL cannot make the window.
[[nodiscard]] WindowHandle CreateWindowEx(std::uint32_t exStyle, std::string_view className,
                                          std::string_view windowName, std::uint32_t style,
                                          std::int32_t x, std::int32_t y, std::int32_t width,
                                          std::int32_t height, WindowHandle parent, void* menu,
                                          InstanceHandle instance, void* param);

// Sends WM_DESTROY synchronously to the procedure, then destroys the SDL
// window and drops every queued message for it. False for a handle that is
// not a live window.
bool DestroyWindow(WindowHandle window);
[[nodiscard]] bool IsWindow(WindowHandle window);

// The outer rectangle for a client rectangle. SDL windows are sized by their
// client area and the window manager adds the frame outside it, so the
// rectangle is returned unchanged and CreateWindowEx(AdjustWindowRect(r))
// gives exactly the client size asked for.
bool AdjustWindowRect(Rect& rect, std::uint32_t style, bool menu);

// SW_HIDE hides; SW_SHOWNORMAL / SW_SHOW show the window and make it the
// foreground window (headless drivers report no focus, so showing is what
// makes a window foreground here). Returns whether it was visible before.
bool ShowWindow(WindowHandle window, int command);
// Nothing to paint outside the renderer: true for a live window.
bool UpdateWindow(WindowHandle window);

// GWL_STYLE / GWL_EXSTYLE; returns the previous value (0 for a bad window or
// index). A style change takes effect at SetWindowPos with SWP_FRAMECHANGED.
std::int32_t SetWindowLong(WindowHandle window, int index, std::int32_t value);
[[nodiscard]] std::int32_t GetWindowLong(WindowHandle window, int index);

// Moves / sizes (client size) unless SWP_NOMOVE / SWP_NOSIZE. With
// SWP_FRAMECHANGED the style takes effect: WS_POPUP = borderless desktop full
// screen, any other style = a framed window at its client size. The z-order
// argument is ignored.
bool SetWindowPos(WindowHandle window, WindowHandle insertAfter, std::int32_t x, std::int32_t y,
                  std::int32_t width, std::int32_t height, std::uint32_t flags);

// Whether the window is in SDL desktop full screen.
[[nodiscard]] bool IsFullScreen(WindowHandle window);
[[nodiscard]] bool IsWindowVisible(WindowHandle window);

// The client area in client coordinates: (0, 0, width, height).
bool GetClientRect(WindowHandle window, Rect& out);
// The outer rectangle in screen coordinates: the client area grown by the
// frame the window manager reports (nothing on headless drivers).
bool GetWindowRect(WindowHandle window, Rect& out);
bool ClientToScreen(WindowHandle window, Point& point);
bool ScreenToClient(WindowHandle window, Point& point);

// The layer's own foreground flag: set by ShowWindow and by SDL focus gain,
// cleared by focus loss, hiding and destruction. Null when no window is in
// the foreground.
[[nodiscard]] WindowHandle GetForegroundWindow();

// The first live window, to which SDL quit and keyboard events without a
// window of their own go. Null when none exists.
[[nodiscard]] WindowHandle GetMainWindow();

// ---- Messages ----
// Appends a message for a window (null: a thread message) to the queue.
bool PostMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// Calls the window's procedure at once; 0 for a dead window.
LResult SendMessage(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);
// Asks for WM_QUIT (wParam = exitCode) after every other pending message.
void PostQuitMessage(int exitCode);

// Takes SDL's pending events into the queue, then looks for the first
// message for the window (null: any) whose id lies in [first, last] (both 0:
// any id). PM_REMOVE takes it out; a removed key message updates the key
// state (GetKeyState). WM_QUIT is reported only when no other message that
// the filter admits is pending and the id range admits it (so purging the
// input ranges never eats a pending quit). Returns false when nothing
// matches.
bool PeekMessage(Message& out, WindowHandle window, std::uint32_t first, std::uint32_t last,
                 std::uint32_t removeFlags);

// Characters come from SDL text input and are queued as WM_CHAR right after
// their key-down, so translation has nothing to add: returns false.
bool TranslateMessage(const Message& message);

// Calls the procedure of the message's window; 0 (nothing called) for
// WM_QUIT, thread messages and dead windows.
LResult DispatchMessage(const Message& message);

// The default procedure: WM_CLOSE destroys the window; everything else 0.
LResult DefWindowProc(WindowHandle window, std::uint32_t message, WParam wParam, LParam lParam);

// Waits up to timeoutMs for a message or an SDL event, without removing it.
// True when one is pending (at once when the queue already holds one).
bool WaitMessage(std::uint32_t timeoutMs);

// Number of queued messages (WM_QUIT not counted); for tests and diagnostics.
[[nodiscard]] std::size_t GetQueuedMessageCount();
} // namespace os
