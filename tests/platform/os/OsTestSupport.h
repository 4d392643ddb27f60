#pragma once

#include "platform/os/OsDefs.h"
#include "tests/platform/os/OsSdlEvents.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

// Base fixture: every test starts from the layer's reset state with SDL up.
class OsTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;
};

// What the recording procedure saw, in order.
struct ProcCall
{
    os::WindowHandle window = nullptr;
    std::uint32_t message = 0;
    os::WParam wParam = 0;
    os::LParam lParam = 0;
    // What GetMessageMotion said during the call.
    bool hasMotion = false;
    os::Point motion;
};
std::vector<ProcCall>& RecordedCalls();

// Records every call, posts the quit message on WM_DESTROY (as the game's
// window does) and leaves the rest to DefWindowProc.
os::LResult RecordingProc(os::WindowHandle window, std::uint32_t message, os::WParam wParam, os::LParam lParam);

// Registers "Orvane Game" with RecordingProc and creates the game's window
// the way the framework does (no title, overlapped, client 1024 x 768).
os::WindowHandle MakeGameWindow();

// Every pending message, removed, without dispatching.
std::vector<os::Message> TakeAll();
