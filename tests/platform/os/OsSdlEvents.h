#pragma once

// SDL events as a user's devices would send them, for a window of the os
// layer. Only the platform's own tests use these directly; tests of the
// layers above go through OsInputInjection.h, which names no SDL type.

#include "platform/os/OsDefs.h"

#include <SDL.h>

// The device id of the hand's motions pushed here; SDL's own are 0.
constexpr Uint32 kHandMouseId = 7;

void PushKey(os::WindowHandle window, SDL_Scancode scancode, SDL_Keycode sym, bool down, bool repeat = false);
void PushText(os::WindowHandle window, const char* utf8);
void PushMotion(os::WindowHandle window, int x, int y);
void PushButton(os::WindowHandle window, Uint8 button, bool down, int x, int y, Uint8 clicks = 1);
void PushWheel(os::WindowHandle window, int y, bool flipped = false);
void PushWindowEvent(os::WindowHandle window, Uint8 event, int data1 = 0, int data2 = 0);
void PushQuit();
Uint32 SdlIdOf(os::WindowHandle window);

