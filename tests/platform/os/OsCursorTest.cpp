#include "platform/os/OsInput.h"

#include "platform/os/OsWindow.h"
#include "tests/platform/os/OsInputInjection.h"
#include "tests/platform/os/OsTestSupport.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

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

// Every move the procedure got, with the travel it carried (INT32_MIN for none).
std::vector<std::pair<os::Point, os::Point>> DispatchedMoves()
{
    RecordedCalls().clear();
    os::Message m;
    while (os::PeekMessage(m, nullptr, 0, 0, os::PM_REMOVE))
    {
        os::DispatchMessage(m);
    }
    std::vector<std::pair<os::Point, os::Point>> moves;
    for (const ProcCall& call : RecordedCalls())
    {
        if (call.message == os::WM_MOUSEMOVE)
        {
            const os::Point none{INT32_MIN, INT32_MIN};
            moves.emplace_back(os::Point{os::GetXLParam(call.lParam), os::GetYLParam(call.lParam)},
                               call.hasMotion ? call.motion : none);
        }
    }
    return moves;
}

void ExpectTravel(const std::pair<os::Point, os::Point>& move, int x, int y, int dx, int dy)
{
    EXPECT_EQ(move.first.x, x);
    EXPECT_EQ(move.first.y, y);
    EXPECT_EQ(move.second.x, dx);
    EXPECT_EQ(move.second.y, dy);
}

void WarpTo(os::WindowHandle w, int x, int y)
{
    os::Point screen{x, y};
    ASSERT_TRUE(os::ClientToScreen(w, screen));
    ASSERT_TRUE(os::SetCursorPos(screen.x, screen.y));
}

// A move carries how far the pointer itself went: after a warp that moved
// it, from the warp's target; after one that did not, from where the hand
// left it; the warp's own message carries none.
TEST_F(OsCursorTest, AMoveCarriesThePointersOwnTravelWhetherOrNotAWarpMovedIt)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    TakeAll();
    PushMotion(w, 100, 100);
    PushMotion(w, 130, 90);
    WarpTo(w, 100, 100);
    PushMotion(w, 125, 100);
    std::vector<std::pair<os::Point, os::Point>> moves = DispatchedMoves();
    ASSERT_EQ(moves.size(), 4u);
    ExpectTravel(moves[0], 100, 100, INT32_MIN, INT32_MIN); // nothing seen before it
    ExpectTravel(moves[1], 130, 90, 30, -10);
    ExpectTravel(moves[2], 100, 100, 0, 0); // the warp's
    ExpectTravel(moves[3], 125, 100, 25, 0);

    {
        const ostest::WarpsIgnored ignored;
        WarpTo(w, 100, 100); // the pointer stays at 125, 100
        PushMotion(w, 150, 110);
        WarpTo(w, 100, 100);
        PushMotion(w, 140, 110);
        moves = DispatchedMoves();
        ASSERT_EQ(moves.size(), 4u);
        ExpectTravel(moves[0], 100, 100, 0, 0);
        ExpectTravel(moves[1], 150, 110, 25, 10);
        ExpectTravel(moves[2], 100, 100, 0, 0);
        ExpectTravel(moves[3], 140, 110, -10, 0);

        // The warp's motion comes after all, late: then the pointer is there.
        WarpTo(w, 60, 70);
        PushMotion(w, 60, 70);
        PushMotion(w, 65, 71);
        moves = DispatchedMoves();
        ASSERT_EQ(moves.size(), 2u);
        ExpectTravel(moves[0], 60, 70, 0, 0);
        ExpectTravel(moves[1], 65, 71, 5, 1);
    }

    // A press tells where the pointer is too.
    PushButton(w, SDL_BUTTON_LEFT, true, 300, 300);
    PushMotion(w, 290, 305);
    moves = DispatchedMoves();
    ASSERT_EQ(moves.size(), 1u);
    ExpectTravel(moves[0], 290, 305, -10, 5);
}

// The cursor confined to the window (as the game keeps it) still goes where
// a warp sends it: some window systems' confinement ignores warps.
TEST_F(OsCursorTest, AWarpMovesAConfinedPointer)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    os::Rect clip;
    ASSERT_TRUE(os::GetWindowRect(w, clip));
    ASSERT_TRUE(os::ClipCursor(&clip));
    PushMotion(w, 300, 200);
    TakeAll();
    WarpTo(w, 250, 220);
    int x = 0;
    int y = 0;
    (void)SDL_GetGlobalMouseState(&x, &y);
    os::Point screen{250, 220};
    ASSERT_TRUE(os::ClientToScreen(w, screen));
    EXPECT_EQ(x, screen.x);
    EXPECT_EQ(y, screen.y);
    PushMotion(w, 260, 220);
    const std::vector<std::pair<os::Point, os::Point>> moves = DispatchedMoves();
    ASSERT_EQ(moves.size(), 2u);
    ExpectTravel(moves[0], 250, 220, 0, 0);
    ExpectTravel(moves[1], 260, 220, 10, 0);
    os::Rect still;
    EXPECT_TRUE(os::GetClipCursor(still)); // the clip is back
    EXPECT_EQ(still.right, clip.right);
    EXPECT_TRUE(os::ClipCursor(nullptr));
}

// The travel is the dispatched message's own: nothing outside a dispatch,
// nothing for a move the program posted or sent itself.
TEST_F(OsCursorTest, OnlyADispatchedMoveOfTheLayerCarriesTravel)
{
    os::WindowHandle w = MakeGameWindow();
    os::ShowWindow(w, os::SW_SHOWNORMAL);
    TakeAll();
    PushMotion(w, 10, 10);
    PushMotion(w, 20, 10);
    os::Message m;
    ASSERT_TRUE(os::PeekMessage(m, nullptr, os::WM_MOUSEMOVE, os::WM_MOUSEMOVE, os::PM_REMOVE));
    ASSERT_TRUE(os::PeekMessage(m, nullptr, os::WM_MOUSEMOVE, os::WM_MOUSEMOVE, os::PM_REMOVE));
    os::Point travel;
    EXPECT_FALSE(os::GetMessageMotion(travel));
    RecordedCalls().clear();
    os::SendMessage(w, os::WM_MOUSEMOVE, 0, os::MakeLParam(40, 40));
    os::DispatchMessage(m);
    os::PostMessage(w, os::WM_MOUSEMOVE, 0, os::MakeLParam(50, 50));
    ASSERT_TRUE(os::PeekMessage(m, nullptr, os::WM_MOUSEMOVE, os::WM_MOUSEMOVE, os::PM_REMOVE));
    os::DispatchMessage(m);
    ASSERT_EQ(RecordedCalls().size(), 3u);
    EXPECT_FALSE(RecordedCalls()[0].hasMotion);
    EXPECT_TRUE(RecordedCalls()[1].hasMotion);
    EXPECT_EQ(RecordedCalls()[1].motion.x, 10);
    EXPECT_FALSE(RecordedCalls()[2].hasMotion);
    EXPECT_FALSE(os::GetMessageMotion(travel));
}

TEST_F(OsCursorTest, ScreenMetrics)
{
    EXPECT_GT(os::GetSystemMetrics(os::SM_CXSCREEN), 0);
    EXPECT_GT(os::GetSystemMetrics(os::SM_CYSCREEN), 0);
    EXPECT_EQ(os::GetSystemMetrics(12345), 0);
}
} // namespace
