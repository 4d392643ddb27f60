// The game shell's drawing tests: SDL's offscreen driver (OpenGL through
// EGL, no display) unless the caller chose a driver (on dummy, which offers
// no OpenGL, the drawing tests skip); the os layer stopped at the end so the
// leak checker sees SDL's memory returned.

#include "platform/os/OsSystem.h"
#include "tests/platform/gfx/GfxTestUtil.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
struct OffscreenDrivers
{
    OffscreenDrivers()
    {
        setenv("SDL_VIDEODRIVER", "offscreen", 0); // 0: keep the caller's choice
        // Every frame drawn at once: the programs count frames, not the display's refreshes.
        setenv("ORVANE_EVERY_FRAME", "1", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        // Mesa's own process-lifetime allocations stay attributable to it.
        gfxtest::PinGlLibraries();
    }
};
const OffscreenDrivers g_offscreenDrivers;

class StopLayer : public testing::Environment
{
public:
    void TearDown() override { os::Shutdown(); }
};
testing::Environment* const g_stopLayer = testing::AddGlobalTestEnvironment(new StopLayer);
} // namespace
