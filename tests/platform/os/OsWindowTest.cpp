#include "platform/os/OsWindow.h"

#include "platform/os/OsInput.h"
#include "platform/os/OsSdl.h"
#include "platform/os/OsSystem.h"
#include "tests/platform/os/OsTestSupport.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
using os::Message;

class OsWindowTest : public OsTest
{
};

os::LResult OtherProc(os::WindowHandle, std::uint32_t, os::WParam, os::LParam)
{
    return 7;
}

TEST_F(OsWindowTest, ClassTableRefusesDuplicatesAndUnknownClasses)
{
    os::WindowClass wc;
    wc.procedure = &OtherProc;
    wc.name = "Orvane Game";
    EXPECT_NE(os::RegisterClass(wc), 0);
    wc.name = "ORVANE GAME"; // class names ignore case
    EXPECT_EQ(os::RegisterClass(wc), 0);
    wc.name = "";
    EXPECT_EQ(os::RegisterClass(wc), 0);

    EXPECT_EQ(os::CreateWindowEx(0, "Not Registered", "", os::WS_OVERLAPPEDWINDOW, os::CW_USEDEFAULT,
                                 os::CW_USEDEFAULT, 1024, 768, nullptr, nullptr, nullptr, nullptr),
              nullptr);

    os::WindowHandle w = os::CreateWindowEx(0, "Orvane Game", "", os::WS_OVERLAPPEDWINDOW, os::CW_USEDEFAULT,
                                            os::CW_USEDEFAULT, 1024, 768, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(os::UnregisterClass("Orvane Game", nullptr)); // a window of it lives
    EXPECT_EQ(os::SendMessage(w, 0x400, 0, 0), 7);
    EXPECT_TRUE(os::DestroyWindow(w));
    EXPECT_TRUE(os::UnregisterClass("Orvane Game", nullptr));
    EXPECT_FALSE(os::UnregisterClass("Orvane Game", nullptr));
    EXPECT_EQ(os::CreateWindowEx(0, "Orvane Game", "", os::WS_OVERLAPPEDWINDOW, os::CW_USEDEFAULT,
                                 os::CW_USEDEFAULT, 1024, 768, nullptr, nullptr, nullptr, nullptr),
              nullptr);
}

// Made without a title (as the framework makes it), the window shows its
// class's name, the program's; a title given stands.
TEST_F(OsWindowTest, WindowIsCreatedHiddenNamedByItsClassWithClientSize)
{
    os::WindowHandle w = MakeGameWindow();
    ASSERT_NE(w, nullptr);
    SDL_Window* sdl = os::GetSdlWindow(w);
    ASSERT_NE(sdl, nullptr);
    EXPECT_EQ(os::FindWindowBySdl(sdl), w);
    EXPECT_NE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN, 0u);
    EXPECT_FALSE(os::IsWindowVisible(w));
    EXPECT_STREQ(SDL_GetWindowTitle(sdl), "Orvane Game");
    os::Rect client;
    ASSERT_TRUE(os::GetClientRect(w, client));
    EXPECT_EQ(client.right, 1024);
    EXPECT_EQ(client.bottom, 768);
    // GL whenever the driver offers it; "dummy" does not.
    bool gl = (SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL) != 0;
    EXPECT_EQ(gl, os::DriverOffersGl());
    if (os::GetVideoDriverName() == "dummy")
    {
        EXPECT_FALSE(gl);
    }
    EXPECT_EQ(os::GetMainWindow(), w);
    EXPECT_EQ(os::GetForegroundWindow(), nullptr);
}

TEST_F(OsWindowTest, ShowingMakesTheWindowForeground)
{
    os::WindowHandle w = MakeGameWindow();
    EXPECT_FALSE(os::ShowWindow(w, os::SW_SHOWNORMAL));
    EXPECT_TRUE(os::UpdateWindow(w));
    EXPECT_TRUE(os::IsWindowVisible(w));
    EXPECT_EQ(os::GetForegroundWindow(), w);
    EXPECT_NE(os::GetWindowLong(w, os::GWL_STYLE) & static_cast<std::int32_t>(os::WS_VISIBLE), 0);
    EXPECT_TRUE(os::ShowWindow(w, os::SW_HIDE));
    EXPECT_EQ(os::GetForegroundWindow(), nullptr);
}

TEST_F(OsWindowTest, PopupStyleIsDesktopFullScreen)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    EXPECT_EQ(static_cast<std::uint32_t>(os::SetWindowLong(w, os::GWL_STYLE, static_cast<std::int32_t>(os::WS_POPUP))),
              os::WS_OVERLAPPEDWINDOW);
    EXPECT_FALSE(os::IsFullScreen(w)); // not before the frame change is applied
    EXPECT_TRUE(os::SetWindowPos(w, nullptr, 0, 0, 0, 0,
                                 os::SWP_NOSIZE | os::SWP_NOMOVE | os::SWP_NOZORDER | os::SWP_FRAMECHANGED));
    EXPECT_TRUE(os::IsFullScreen(w));
    os::SetWindowLong(w, os::GWL_STYLE, static_cast<std::int32_t>(os::WS_OVERLAPPEDWINDOW));
    EXPECT_TRUE(os::SetWindowPos(w, nullptr, 0, 0, 0, 0,
                                 os::SWP_NOSIZE | os::SWP_NOMOVE | os::SWP_NOZORDER | os::SWP_FRAMECHANGED));
    EXPECT_FALSE(os::IsFullScreen(w));
}

TEST_F(OsWindowTest, DestroyWindowSendsDestroySynchronously)
{
    os::WindowHandle w = MakeGameWindow();
    os::PostMessage(w, os::WM_KEYDOWN, 'A', 1);
    ASSERT_TRUE(os::DestroyWindow(w));
    ASSERT_EQ(RecordedCalls().size(), 1u);
    EXPECT_EQ(RecordedCalls()[0].message, os::WM_DESTROY);
    EXPECT_EQ(RecordedCalls()[0].window, w);
    EXPECT_FALSE(os::IsWindow(w));
    EXPECT_FALSE(os::DestroyWindow(w));
    EXPECT_EQ(os::SendMessage(w, os::WM_CLOSE, 0, 0), 0);
    // Its queued messages went with it; the quit message is what is left.
    std::vector<Message> rest = TakeAll();
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].message, os::WM_QUIT);
    EXPECT_EQ(rest[0].window, nullptr);
    EXPECT_EQ(os::GetMainWindow(), nullptr);
}

TEST_F(OsWindowTest, CloseThenDestroyThenQuitLast)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    RecordedCalls().clear();
    os::PostMessage(nullptr, 0x401, 0, 0); // a thread message before the close
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    ASSERT_EQ(SDL_PushEvent(&quit), 1);
    PushWindowEvent(w, SDL_WINDOWEVENT_CLOSE); // the same close, seen twice by SDL

    // The pump of the main loop: peek, translate, dispatch until WM_QUIT.
    std::vector<std::uint32_t> order;
    Message m;
    bool sawQuit = false;
    while (os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE))
    {
        order.push_back(m.message);
        if (m.message == os::WM_QUIT)
        {
            sawQuit = true;
            break;
        }
        os::TranslateMessage(m);
        os::DispatchMessage(m);
        if (m.message == os::WM_CLOSE)
        {
            PushKey(w, SDL_SCANCODE_A, SDLK_a, true); // arrives after the window is gone: dropped
            os::PostMessage(nullptr, 0x402, 0, 0);     // still before the quit
        }
    }
    ASSERT_TRUE(sawQuit);
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0x401, os::WM_CLOSE, 0x402, os::WM_QUIT}));
    ASSERT_EQ(RecordedCalls().size(), 2u);
    EXPECT_EQ(RecordedCalls()[0].message, os::WM_CLOSE);
    EXPECT_EQ(RecordedCalls()[1].message, os::WM_DESTROY);
    EXPECT_FALSE(os::IsWindow(w));
    EXPECT_FALSE(os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE));
}

TEST_F(OsWindowTest, QuitCarriesTheExitCodeAndSurvivesRangePurges)
{
    os::WindowHandle w = MakeGameWindow();
    os::PostQuitMessage(3);
    PushKey(w, SDL_SCANCODE_A, SDLK_a, true);
    PushMotion(w, 1, 2);
    Message m;
    // The input purge of the frame timer: mouse then key ranges.
    int purged = 0;
    while (os::PeekMessage(m, nullptr, os::WM_MOUSEFIRST, 0x209, os::PM_REMOVE))
    {
        ++purged;
    }
    while (os::PeekMessage(m, nullptr, os::WM_KEYFIRST, os::WM_KEYLAST, os::PM_REMOVE))
    {
        ++purged;
    }
    EXPECT_EQ(purged, 2);
    ASSERT_TRUE(os::PeekMessage(m, nullptr, 0, 0, os::PM_NOREMOVE));
    EXPECT_EQ(m.message, os::WM_QUIT);
    ASSERT_TRUE(os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE));
    EXPECT_EQ(m.message, os::WM_QUIT);
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE));
}

TEST_F(OsWindowTest, PeekFiltersByRangeAndKeepsOrder)
{
    os::WindowHandle w = MakeGameWindow();
    os::PostMessage(w, os::WM_MOUSEMOVE, 0, 1);
    os::PostMessage(w, os::WM_KEYDOWN, 'A', 2);
    os::PostMessage(w, os::WM_MOUSEMOVE, 0, 3);
    Message m;
    ASSERT_TRUE(os::PeekMessage(m, nullptr, os::WM_KEYFIRST, os::WM_KEYLAST, os::PM_NOREMOVE));
    EXPECT_EQ(m.lParam, 2);
    EXPECT_EQ(os::GetQueuedMessageCount(), 3u);
    ASSERT_TRUE(os::PeekMessage(m, w, os::WM_KEYFIRST, os::WM_KEYLAST, os::PM_REMOVE));
    EXPECT_EQ(m.lParam, 2);
    EXPECT_FALSE(os::PeekMessage(m, nullptr, os::WM_KEYFIRST, os::WM_KEYLAST, os::PM_REMOVE));
    std::vector<Message> rest = TakeAll();
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[0].lParam, 1);
    EXPECT_EQ(rest[1].lParam, 3);
}

TEST_F(OsWindowTest, FocusGivesActivateAndTheForegroundFlag)
{
    os::WindowHandle w = MakeGameWindow();
    PushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_GAINED);
    std::vector<Message> got = TakeAll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, os::WM_ACTIVATE);
    EXPECT_EQ(got[0].wParam, os::WA_ACTIVE);
    EXPECT_EQ(os::GetForegroundWindow(), w);

    PushWindowEvent(w, SDL_WINDOWEVENT_FOCUS_LOST);
    got = TakeAll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, os::WM_ACTIVATE);
    EXPECT_EQ(got[0].wParam, os::WA_INACTIVE);
    EXPECT_EQ(os::GetForegroundWindow(), nullptr);

    PushWindowEvent(w, SDL_WINDOWEVENT_MOVED, -20, 40);
    got = TakeAll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, os::WM_MOVE);
    EXPECT_EQ(got[0].lParam, 0x0028FFEC);
}

// Exact {message, wParam, lParam} of pushed mouse events.
TEST_F(OsWindowTest, MouseEventsBecomeMessagesWithPackedPositions)
{
    os::WindowHandle w = MakeGameWindow();
    PushMotion(w, 100, 200);
    PushMotion(w, -5, -1); // outside the client area while captured
    PushButton(w, SDL_BUTTON_LEFT, true, 10, 20);
    PushButton(w, SDL_BUTTON_LEFT, false, 10, 20);
    PushButton(w, SDL_BUTTON_LEFT, true, 10, 20, 2); // a double click is a plain press
    PushButton(w, SDL_BUTTON_LEFT, false, 10, 20, 2);
    PushButton(w, SDL_BUTTON_RIGHT, true, 1, 2);
    PushButton(w, SDL_BUTTON_MIDDLE, true, 3, 4);
    PushButton(w, SDL_BUTTON_MIDDLE, false, 3, 4);
    PushButton(w, SDL_BUTTON_RIGHT, false, 1, 2);
    PushButton(w, SDL_BUTTON_X1, true, 1, 2); // no message for extra buttons
    PushWheel(w, 1);
    PushWheel(w, -1);
    PushWheel(w, 2, true); // flipped: the user turned it the other way
    PushWheel(w, 0);       // horizontal only: nothing

    struct Expected
    {
        std::uint32_t message;
        os::WParam wParam;
        os::LParam lParam;
    };
    const Expected expected[] = {
        {os::WM_MOUSEMOVE, 0, 0x00C80064},
        {os::WM_MOUSEMOVE, 0, 0xFFFFFFFB},
        {os::WM_LBUTTONDOWN, os::MK_LBUTTON, 0x0014000A},
        {os::WM_LBUTTONUP, 0, 0x0014000A},
        {os::WM_LBUTTONDOWN, os::MK_LBUTTON, 0x0014000A},
        {os::WM_LBUTTONUP, 0, 0x0014000A},
        {os::WM_RBUTTONDOWN, os::MK_RBUTTON, 0x00020001},
        {os::WM_MBUTTONDOWN, os::MK_RBUTTON | os::MK_MBUTTON, 0x00040003},
        {os::WM_MBUTTONUP, os::MK_RBUTTON, 0x00040003},
        {os::WM_RBUTTONUP, 0, 0x00020001},
        {os::WM_MOUSEWHEEL, 0x00780000, -1},
        {os::WM_MOUSEWHEEL, 0xFF880000, -1},
        {os::WM_MOUSEWHEEL, 0xFF100000, -1},
    };
    std::vector<Message> got = TakeAll();
    ASSERT_EQ(got.size(), std::size(expected));
    for (std::size_t i = 0; i < got.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].window, w);
        EXPECT_EQ(got[i].message, expected[i].message);
        EXPECT_EQ(got[i].wParam, expected[i].wParam);
        if (expected[i].lParam != -1)
        {
            EXPECT_EQ(got[i].lParam, expected[i].lParam);
        }
    }
    EXPECT_EQ(os::GetXLParam(got[1].lParam), -5);
    EXPECT_EQ(os::GetYLParam(got[1].lParam), -1);
    EXPECT_EQ(os::GetWheelDelta(got[10].wParam), 120);
    EXPECT_EQ(os::GetWheelDelta(got[11].wParam), -120);
    EXPECT_EQ(os::GetWheelDelta(got[12].wParam), -240);
    // The wheel carries the cursor in screen coordinates.
    os::Point p{1, 2};
    os::ClientToScreen(w, p);
    EXPECT_EQ(got[10].lParam, os::MakeLParam(p.x, p.y));
}

TEST_F(OsWindowTest, ModifiersShowInMouseFlags)
{
    os::WindowHandle w = MakeGameWindow();
    PushKey(w, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, true);
    PushKey(w, SDL_SCANCODE_LCTRL, SDLK_LCTRL, true);
    PushMotion(w, 1, 1);
    PushKey(w, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, false);
    PushMotion(w, 2, 2);
    std::vector<Message> got = TakeAll();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[2].wParam, os::MK_SHIFT | os::MK_CONTROL);
    EXPECT_EQ(got[4].wParam, os::MK_CONTROL);
}

TEST_F(OsWindowTest, InputWithoutAWindowIdGoesToTheMainWindow)
{
    os::WindowHandle w = MakeGameWindow();
    PushKey(nullptr, SDL_SCANCODE_B, SDLK_b, true);
    std::vector<Message> got = TakeAll();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].window, w);
}

TEST_F(OsWindowTest, DispatchCallsTheProcedureSynchronously)
{
    os::WindowHandle w = MakeGameWindow();
    os::PostMessage(w, os::WM_KEYUP, 'Z', 0x12345);
    Message m;
    ASSERT_TRUE(os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE));
    EXPECT_FALSE(os::TranslateMessage(m));
    EXPECT_TRUE(RecordedCalls().empty());
    os::DispatchMessage(m);
    ASSERT_EQ(RecordedCalls().size(), 1u);
    EXPECT_EQ(RecordedCalls()[0].message, os::WM_KEYUP);
    EXPECT_EQ(RecordedCalls()[0].wParam, static_cast<os::WParam>('Z'));
    EXPECT_EQ(RecordedCalls()[0].lParam, 0x12345);
    // WM_QUIT is never dispatched.
    EXPECT_EQ(os::DispatchMessage(Message{w, os::WM_QUIT, 0, 0}), 0);
    EXPECT_EQ(RecordedCalls().size(), 1u);
}

TEST_F(OsWindowTest, ObserverSeesRawEventsBeforeTranslation)
{
    os::WindowHandle w = MakeGameWindow();
    static int seen = 0;
    static std::size_t queuedWhenSeen = 99;
    seen = 0;
    os::SetSdlEventObserver(
        [](const SDL_Event& e, void* user) {
            if (e.type == SDL_MOUSEMOTION)
            {
                ++seen;
                queuedWhenSeen = os::GetQueuedMessageCount();
            }
            EXPECT_EQ(user, &seen);
        },
        &seen);
    PushMotion(w, 1, 1);
    EXPECT_EQ(TakeAll().size(), 1u);
    EXPECT_EQ(seen, 1);
    EXPECT_EQ(queuedWhenSeen, 0u);
    os::SetSdlEventObserver(nullptr, nullptr);
    PushMotion(w, 2, 2);
    EXPECT_EQ(TakeAll().size(), 1u);
    EXPECT_EQ(seen, 1);
}

TEST_F(OsWindowTest, WaitMessageReturnsOnAnEventOrTimeout)
{
    os::WindowHandle w = MakeGameWindow();
    std::uint32_t before = SDL_GetTicks();
    EXPECT_FALSE(os::WaitMessage(20));
    EXPECT_GE(SDL_GetTicks() - before, 15u);
    PushMotion(w, 5, 5);
    EXPECT_TRUE(os::WaitMessage(1000));
    EXPECT_EQ(TakeAll().size(), 1u);
}
} // namespace

namespace
{
// Sets or removes environment variables for one scope and puts them back.
class ScopedEnvironment
{
public:
    void Set(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        m_saved.push_back({name, old != nullptr, old != nullptr ? old : ""});
        if (value != nullptr)
        {
            setenv(name, value, 1);
        }
        else
        {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
        {
            if (it->present)
            {
                setenv(it->name.c_str(), it->value.c_str(), 1);
            }
            else
            {
                unsetenv(it->name.c_str());
            }
        }
    }

private:
    struct Saved
    {
        std::string name;
        bool present;
        std::string value;
    };
    std::vector<Saved> m_saved;
};
} // namespace

// The game's window made with no driver named and DISPLAY as given (null:
// unset), from a fresh start; gives the window (or null), what was printed,
// and the driver SDL chose. The environment and the layer are put back.
static std::string TryWithDisplay(const char* pcDisplay, os::WindowHandle& refused, std::string& text)
{
    ScopedEnvironment environment;
    environment.Set("SDL_VIDEODRIVER", nullptr);
    environment.Set("DISPLAY", pcDisplay);
    environment.Set("WAYLAND_DISPLAY", nullptr);
    os::Shutdown();
    testing::internal::CaptureStderr();
    refused = MakeGameWindow();
    text = testing::internal::GetCapturedStderr();
    const std::string chosen = os::GetVideoDriverName();
    os::Reset();
    os::Shutdown();
    return chosen;
}

// Without a display SDL falls back to a driver that shows nothing; the game's
// window is refused then, unless the caller named that driver (as tests do).
TEST_F(OsWindowTest, NoWindowOnAnInvisibleDriverNobodyAskedFor)
{
    const std::string named = os::GetVideoDriverName();
    os::WindowHandle refused = nullptr;
    std::string text;
    const std::string chosen = TryWithDisplay(nullptr, refused, text);
    // Named, the same headless driver makes the window.
    ASSERT_TRUE(os::Startup());
    if (chosen != "offscreen" && chosen != "dummy")
    {
        GTEST_SKIP() << "SDL found a display through \"" << chosen << "\"";
    }
    EXPECT_EQ(refused, nullptr);
    EXPECT_NE(text.find("no display available (set DISPLAY or WAYLAND_DISPLAY)\n"), std::string::npos) << text;
    EXPECT_EQ(os::GetVideoDriverName(), named);
    const os::WindowHandle w = MakeGameWindow();
    EXPECT_NE(w, nullptr);
}

// A display that is set but cannot be reached is named; "no display
// available" is for a machine where none is set.
TEST_F(OsWindowTest, ASetDisplayThatCannotBeReachedIsNamed)
{
    os::WindowHandle refused = nullptr;
    std::string text;
    const std::string chosen = TryWithDisplay(":987", refused, text);
    ASSERT_TRUE(os::Startup());
    if (chosen != "offscreen" && chosen != "dummy")
    {
        GTEST_SKIP() << "SDL reached a display through \"" << chosen << "\"";
    }
    EXPECT_EQ(refused, nullptr);
    EXPECT_NE(text.find("cannot reach the display \":987\" (DISPLAY)\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("no display available"), std::string::npos) << text;
}
