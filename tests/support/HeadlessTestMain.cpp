// Set-up of the test programs that run on SDL's dummy drivers (os layer,
// framework, game shell): the headless drivers unless the caller chose
// others, set before anything starts SDL; the os layer stopped at the end so
// the leak checker sees SDL's memory returned.

#include "platform/os/OsSystem.h"
#include "tests/GlLibraryPin.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
struct HeadlessDrivers
{
    HeadlessDrivers()
    {
        setenv("SDL_VIDEODRIVER", "dummy", 0); // 0: keep the caller's choice
        // Every frame drawn at once: the programs count frames, not the display's refreshes.
        setenv("ORVANE_EVERY_FRAME", "1", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
        testsupport::PinGlLibrariesUnlessDummyVideo();
    }
};
const HeadlessDrivers g_headlessDrivers;

class StopLayer : public testing::Environment
{
public:
    void TearDown() override { os::Shutdown(); }
};
testing::Environment* const g_stopLayer = testing::AddGlobalTestEnvironment(new StopLayer);
} // namespace
