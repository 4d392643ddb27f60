#include "platform/os/OsDialog.h"

#include "platform/os/OsLocal.h"
#include "platform/os/OsSystem.h"
#include "platform/os/OsWindow.h"

#include <SDL.h>

#include <cstdio>
#include <string>

namespace os
{
namespace
{
MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

void ToStandardError(std::string_view text, std::string_view caption)
{
    std::string line;
    line.reserve(caption.size() + text.size() + 3);
    line.append(caption).append(": ").append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}
} // namespace

int DefaultMessageBox(WindowHandle owner, std::string_view text, std::string_view caption, std::uint32_t style)
{
    // Without a display a box would fail or wait for nobody.
    if (IsHeadless())
    {
        ToStandardError(text, caption);
        return IDOK;
    }
    Uint32 flags = SDL_MESSAGEBOX_INFORMATION;
    if ((style & 0xF0) == MB_ICONHAND)
    {
        flags = SDL_MESSAGEBOX_ERROR;
    }
    else if ((style & 0xF0) == MB_ICONEXCLAMATION)
    {
        flags = SDL_MESSAGEBOX_WARNING;
    }
    WindowHandle parent = IsWindow(owner) ? owner : GetMainWindow();
    std::string t(text);
    std::string c(caption);
    if (SDL_ShowSimpleMessageBox(flags, c.c_str(), t.c_str(), parent ? parent->sdl : nullptr) != 0)
    {
        ToStandardError(text, caption);
    }
    return IDOK;
}

int MessageBox(WindowHandle owner, std::string_view text, std::string_view caption, std::uint32_t style)
{
    MessageBoxHook& hook = Hook();
    if (hook)
    {
        return hook(owner, text, caption, style);
    }
    return DefaultMessageBox(owner, text, caption, style);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

void ResetMessageBoxHook()
{
    Hook() = nullptr;
}

void OutputDebugString(std::string_view text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}
} // namespace os
