#include "platform/os/OsInput.h"

#include "platform/os/OsWindow.h"
#include "tests/platform/os/OsTestSupport.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace
{
using os::Message;

class OsCursorTest : public OsTest
{
};

std::vector<Message> Moves()
{
    std::vector<Message> moves;
    for (const Message& m : TakeAll())
    {
        if (m.message == os::WM_MOUSEMOVE)
        {
            moves.push_back(m);
        }
    }
    return moves;
}

TEST_F(OsCursorTest, ShowCounterHidesBelowZero)
{
    EXPECT_EQ(os::ShowCursor(false), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(os::ShowCursor(false), -2);
    EXPECT_EQ(os::ShowCursor(true), -1);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_EQ(os::ShowCursor(true), 0);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST_F(OsCursorTest, ClipIsRecordedAndReleased)
{
    os::WindowHandle w = MakeGameWindow();
    os::Rect r;
    ASSERT_TRUE(os::GetWindowRect(w, r));
    os::Rect client;
    os::GetClientRect(w, client);
    // Headless drivers draw no frame: the window rectangle is the client area.
    EXPECT_EQ(r.right - r.left, client.right + os::GetSystemMetrics(os::SM_CXFRAME) * 2);
    EXPECT_TRUE(os::ClipCursor(&r));
    os::Rect got;
    ASSERT_TRUE(os::GetClipCursor(got));
    EXPECT_EQ(got.left, r.left);
    EXPECT_EQ(got.bottom, r.bottom);
    EXPECT_TRUE(os::ClipCursor(nullptr));
    EXPECT_FALSE(os::GetClipCursor(got));
}

TEST_F(OsCursorTest, CaptureNamesTheWindowUntilReleased)
{
    os::WindowHandle w = MakeGameWindow();
    EXPECT_EQ(os::SetCapture(w), nullptr);
    EXPECT_EQ(os::GetCapture(), w);
    EXPECT_TRUE(os::ReleaseCapture());
    EXPECT_EQ(os::GetCapture(), nullptr);
    os::SetCapture(w);
    os::DestroyWindow(w);
    EXPECT_EQ(os::GetCapture(), nullptr);
}

TEST_F(OsCursorTest, EachWarpGivesExactlyOneMouseMove)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    TakeAll();
    const os::Point targets[] = {{100, 200}, {100, 200}, {0, 0}, {1023, 767}, {5, 6}};
    for (const os::Point& target : targets)
    {
        SCOPED_TRACE(target.x);
        os::Point screen = target;
        ASSERT_TRUE(os::ClientToScreen(w, screen));
        ASSERT_TRUE(os::SetCursorPos(screen.x, screen.y));
        std::vector<Message> moves = Moves();
        ASSERT_EQ(moves.size(), 1u);
        EXPECT_EQ(moves[0].window, w);
        EXPECT_EQ(moves[0].lParam, os::MakeLParam(target.x, target.y));
        os::Point where;
        os::GetCursorPos(where);
        EXPECT_EQ(where.x, screen.x);
        EXPECT_EQ(where.y, screen.y);
    }
}

TEST_F(OsCursorTest, WarpsBetweenRealMovesKeepTheirOrder)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    TakeAll();
    PushMotion(w, 10, 10);
    os::Point screen{50, 60};
    os::ClientToScreen(w, screen);
    os::SetCursorPos(screen.x, screen.y);
    PushMotion(w, 50, 60); // an echo of the warp arriving late: dropped
    PushMotion(w, 51, 60); // a real move
    std::vector<Message> moves = Moves();
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[0].lParam, os::MakeLParam(10, 10));
    EXPECT_EQ(moves[1].lParam, os::MakeLParam(50, 60));
    EXPECT_EQ(moves[2].lParam, os::MakeLParam(51, 60));
}

TEST_F(OsCursorTest, MovesAwayAndBackAfterAWarpAreKept)
{
    os::WindowHandle w = MakeGameWindow();
    os::Point screen{30, 30};
    os::ClientToScreen(w, screen);
    os::SetCursorPos(screen.x, screen.y);
    PushMotion(w, 31, 30);
    PushMotion(w, 30, 30);
    EXPECT_EQ(Moves().size(), 3u);
}

TEST_F(OsCursorTest, WarpOutsideTheWindowStillReportsOnce)
{
    os::WindowHandle w = MakeGameWindow();
    os::Point screen{-10, 2000};
    os::ClientToScreen(w, screen);
    os::SetCursorPos(screen.x, screen.y);
    std::vector<Message> moves = Moves();
    ASSERT_EQ(moves.size(), 1u);
    // Where the cursor went: the target, or the target kept inside the
    // window by SDL (as the headless drivers do).
    int x = os::GetXLParam(moves[0].lParam);
    int y = os::GetYLParam(moves[0].lParam);
    EXPECT_TRUE((x == -10 && y == 2000) || (x == 0 && y == 767)) << x << ", " << y;
    // A late echo at that place is still dropped.
    PushMotion(w, x, y);
    EXPECT_TRUE(Moves().empty());
}

TEST_F(OsCursorTest, ScreenMetrics)
{
    EXPECT_GT(os::GetSystemMetrics(os::SM_CXSCREEN), 0);
    EXPECT_GT(os::GetSystemMetrics(os::SM_CYSCREEN), 0);
    EXPECT_EQ(os::GetSystemMetrics(12345), 0);
}
} // namespace
