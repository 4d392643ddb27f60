#include "game/shell/CGame.h"

#include "platform/os/OsDefs.h"
#include "platform/os/OsSystem.h"
#include "platform/os/OsTime.h"
#include "platform/os/OsWindow.h"
#include "tests/framework/FrameworkTestSupport.h"
#include "tests/game/shell/GameTestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>

namespace
{
// A tick count that moves a fixed step at every reading; a hook sees each
// reading's number.
class SteppingClock final : public os::Clock
{
public:
    std::uint64_t Milliseconds() override
    {
        m_uiNow += m_uiStep;
        ++m_uiReadings;
        if (m_kOnReading)
            m_kOnReading(m_uiReadings);
        return m_uiNow;
    }
    std::uint64_t Counter() override { return m_uiNow; }
    std::uint64_t Frequency() override { return 1000; }
    std::int64_t UnixMilliseconds() override { return 0; }

    std::uint64_t m_uiStep = 50;
    std::uint64_t m_uiNow = 1000;
    std::uint64_t m_uiReadings = 0;
    std::function<void(std::uint64_t)> m_kOnReading;
};

class CGameScreensTest : public EngineFrameworkTest
{
protected:
    void SetUp() override
    {
        EngineFrameworkTest::SetUp();
        ASSERT_TRUE(os::Startup());
        std::filesystem::create_directories("images");
        WriteFileBytes("images/splash1.tga", TinyTgaBytes());
        os::SetClock(&m_kClock);
    }
    void TearDown() override
    {
        os::SetClock(nullptr);
        CGame::ResetStatics();
        EngineFrameworkTest::TearDown();
    }

    SteppingClock m_kClock;
};
} // namespace

TEST_F(CGameScreensTest, APictureStaysItsTimeWhileTheMessagesArePumped)
{
    CGame kGame;
    ASSERT_TRUE(os::PostMessage(nullptr, os::WM_NULL, 0, 0));
    kGame.ShowTimedScreen("IMAGES\\Splash1.tga", 2.0f);
    // 2000 ms in steps of 50 after the first reading: 41 readings at least.
    EXPECT_GE(m_kClock.m_uiReadings, 41u);
    EXPECT_LE(m_kClock.m_uiReadings, 44u);
    EXPECT_EQ(os::GetQueuedMessageCount(), 0u); // the pending message went through the pump
    ASSERT_EQ(kGame.GetShownScreens().size(), 1u);
    EXPECT_EQ(kGame.GetShownScreens()[0].m_fSeconds, 2.0f);
}

TEST_F(CGameScreensTest, AKeyOrAClickEndsTheWait)
{
    CGame kGame;
    m_kClock.m_kOnReading = [](std::uint64_t uiReading) {
        if (uiReading == 5)
            (void)os::PostMessage(nullptr, os::WM_KEYDOWN, 0x20, 0);
    };
    kGame.ShowTimedScreen("images/splash1.tga", 4.1f);
    EXPECT_LE(m_kClock.m_uiReadings, 6u);

    m_kClock.m_uiReadings = 0;
    m_kClock.m_kOnReading = [](std::uint64_t uiReading) {
        if (uiReading == 3)
            (void)os::PostMessage(nullptr, os::WM_LBUTTONDOWN, 0, 0);
    };
    kGame.ShowTimedScreen("images/splash1.tga", 4.1f);
    EXPECT_LE(m_kClock.m_uiReadings, 4u);
    EXPECT_EQ(os::GetQueuedMessageCount(), 0u); // the click was taken, not left for the game
}

TEST_F(CGameScreensTest, AMissingOrEmptyPictureIsNotWaitedFor)
{
    CGame kGame;
    kGame.ShowTimedScreen("images/none.tga", 2.0f);
    WriteFileBytes("images/empty.tga", "");
    kGame.ShowTimedScreen("images/empty.tga", 2.0f);
    kGame.ShowTimedScreen(nullptr, 2.0f);
    EXPECT_EQ(m_kClock.m_uiReadings, 0u);
    EXPECT_EQ(kGame.GetShownScreens().size(), 3u);
}

TEST_F(CGameScreensTest, AQuitDuringTheWaitEndsItAndStaysForTheMainLoop)
{
    CGame kGame;
    m_kClock.m_kOnReading = [](std::uint64_t uiReading) {
        if (uiReading == 2)
            os::PostQuitMessage(3);
    };
    kGame.ShowTimedScreen("images/splash1.tga", 2.0f);
    EXPECT_LE(m_kClock.m_uiReadings, 3u);
    os::Message kMessage{};
    ASSERT_TRUE(os::PeekMessage(kMessage, nullptr, 0, 0, os::PM_REMOVE));
    EXPECT_EQ(kMessage.message, os::WM_QUIT);
    EXPECT_EQ(kMessage.wParam, 3u);
}
