#pragma once

// The engine's message box: a replaceable hook taking (text, caption).
// Callers skip the call when the hook is null.
using NiMessageBoxFunction = int (*)(const char* pcText, const char* pcCaption);

// Null when cleared; the default shows an owner-less top-most box (standard
// error when there is no display) and returns 0.
[[nodiscard]] NiMessageBoxFunction NiGetMessageBoxFunction();
void NiSetMessageBoxFunction(NiMessageBoxFunction pfnMessageBox);
// Back to the default (tests).
void NiResetMessageBoxFunction();
// Calls the hook when there is one; 0 otherwise.
int NiMessageBox(const char* pcText, const char* pcCaption);
