#pragma once

// Message boxes and debugger output.

#include "platform/os/OsDefs.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace os
{
// A replacement for the message box: gets the owner, text, caption and MB_
// style, returns the box's result.
using MessageBoxHook =
    std::function<int(WindowHandle owner, std::string_view text, std::string_view caption, std::uint32_t style)>;

// MessageBox: calls the hook. The default shows SDL_ShowSimpleMessageBox
// (error icon for MB_ICONHAND, warning for MB_ICONEXCLAMATION, else
// information) over the owner or, without one, the main window; on the
// headless drivers ("dummy", "offscreen") or when SDL cannot show a box it
// writes "caption: text" and a line feed to standard error. Returns IDOK (1).
int MessageBox(WindowHandle owner, std::string_view text, std::string_view caption, std::uint32_t style);

// Installs a hook (an empty function restores the default); returns the
// previous one (empty for the default).
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);
void ResetMessageBoxHook();

// The default box, callable from a hook that wants to pass a box on.
int DefaultMessageBox(WindowHandle owner, std::string_view text, std::string_view caption, std::uint32_t style);

// OutputDebugString: the text as given to standard error, flushed.
void OutputDebugString(std::string_view text);
} // namespace os
