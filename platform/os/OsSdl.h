#pragma once

// For the other platform layers and platform tests only (they may include
// SDL; nothing above platform/ does): the SDL window behind a window handle,
// on which the graphics layer makes its context.

#include "platform/os/OsDefs.h"

#include <string>

struct SDL_Window;
union SDL_Event;

namespace os
{
// Null for a handle that is not a live window.
[[nodiscard]] SDL_Window* GetSdlWindow(WindowHandle window);
// Why a window was made without OpenGL, in the layer's and SDL's words; empty
// when it has OpenGL or the handle is not a live window.
[[nodiscard]] std::string GetWindowNoGlReason(WindowHandle window);
// The live window made over an SDL window; null when none.
[[nodiscard]] WindowHandle FindWindowBySdl(SDL_Window* sdlWindow);

// The os layer takes every SDL event off SDL's queue. A platform layer that
// must see raw events too (say, window resizes for the graphics device)
// sets an observer: it is called with each event before translation, on the
// pumping thread. Null removes it; Reset removes it too.
using SdlEventObserver = void (*)(const SDL_Event& event, void* user);
void SetSdlEventObserver(SdlEventObserver observer, void* user);

// Work another layer must do on the main thread at every pass of the message
// pump (the sound layer hands over what its audio thread noted). Called first
// in every pass, before SDL's events are taken, whether or not a window
// exists. Null removes it. Reset leaves it: it belongs to the layer that set
// it, whose own reset removes it.
using PumpHook = void (*)();
void SetPumpHook(PumpHook hook);
} // namespace os
