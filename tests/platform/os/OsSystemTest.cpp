#include "platform/os/OsSystem.h"

#include "platform/os/OsInput.h"
#include "platform/os/OsWindow.h"
#include "tests/platform/os/OsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
class OsSystemTest : public OsTest
{
};

TEST_F(OsSystemTest, StartsAndNamesItsDriver)
{
    EXPECT_TRUE(os::Startup()); // idempotent
    EXPECT_TRUE(os::IsStarted());
    std::string driver = os::GetVideoDriverName();
    const char* wanted = std::getenv("SDL_VIDEODRIVER");
    ASSERT_NE(wanted, nullptr); // set by the test program unless the caller did
    EXPECT_EQ(driver, wanted);
    EXPECT_EQ(os::IsHeadless(), driver == "dummy" || driver == "offscreen");
    EXPECT_EQ(os::DriverOffersGl(), driver != "dummy");
}

TEST_F(OsSystemTest, DisplayModesAreListed)
{
    ASSERT_GE(os::GetDisplayCount(), 1);
    os::DisplayMode desktop;
    ASSERT_TRUE(os::GetDesktopDisplayMode(0, desktop));
    EXPECT_GT(desktop.width, 0);
    EXPECT_GT(desktop.height, 0);
    EXPECT_GT(desktop.bitsPerPixel, 0);
    std::vector<os::DisplayMode> modes = os::GetDisplayModes(0);
    ASSERT_FALSE(modes.empty());
    EXPECT_EQ(modes[0].width, desktop.width);
    EXPECT_TRUE(os::GetDisplayModes(99).empty());
    EXPECT_FALSE(os::GetDesktopDisplayMode(99, desktop));
}

TEST_F(OsSystemTest, ResetDropsEverythingSilently)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    os::PostMessage(w, os::WM_KEYDOWN, 'A', 1);
    os::PostQuitMessage(1);
    os::ShowCursor(false);
    os::Rect r{0, 0, 10, 10};
    os::ClipCursor(&r);
    os::SetCapture(w);
    PushKey(w, SDL_SCANCODE_B, SDLK_b, true); // still in SDL's queue
    RecordedCalls().clear();

    os::Reset();
    EXPECT_TRUE(RecordedCalls().empty()); // no WM_DESTROY on a reset
    EXPECT_FALSE(os::IsWindow(w));
    EXPECT_EQ(os::GetMainWindow(), nullptr);
    EXPECT_EQ(os::GetForegroundWindow(), nullptr);
    EXPECT_EQ(os::GetCapture(), nullptr);
    os::Rect clip;
    EXPECT_FALSE(os::GetClipCursor(clip));
    EXPECT_EQ(os::ShowCursor(true), 1);
    os::WindowClass wc;
    EXPECT_FALSE(os::GetClassInfo("Orvane Game", wc));
    os::Message m;
    EXPECT_FALSE(os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE));
}

TEST_F(OsSystemTest, ShutdownAndRestart)
{
    os::WindowHandle w = MakeGameWindow();
    ASSERT_NE(w, nullptr);
    os::Shutdown();
    EXPECT_FALSE(os::IsStarted());
    EXPECT_FALSE(os::IsWindow(w));
    // The class table stays; any call that needs SDL starts the layer again.
    EXPECT_NE(os::CreateWindowEx(0, "Orvane Game", "", os::WS_OVERLAPPEDWINDOW, os::CW_USEDEFAULT,
                                 os::CW_USEDEFAULT, 1024, 768, nullptr, nullptr, nullptr, nullptr),
              nullptr);
    EXPECT_TRUE(os::IsStarted());
}
} // namespace
