// Linked into the sanitizer-built game (never into a release build), beside
// tests/SanitizerDefaults.cpp: the GL driver stack is pinned before SDL first
// loads it, so the leak checker names the driver's and SDL's own
// process-lifetime allocations at exit and the shared suppressions apply to
// them, as in the test programs. Leaks in our own code still fail the run.

#include "tests/GlLibraryPin.h"

namespace
{
// The game draws with GL on whatever driver SDL picks (X11 or offscreen).
const bool g_bPinned = (testsupport::PinGlLibraries(), true);
} // namespace
