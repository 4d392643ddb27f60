#include "platform/os/OsTime.h"

#include "tests/platform/os/OsTestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

namespace
{
class OsTimeTest : public OsTest
{
};

class ManualClock final : public os::Clock
{
public:
    std::uint64_t ms = 0;
    std::uint64_t counter = 0;
    std::uint64_t frequency = 1000000;
    std::int64_t unixMs = 0;
    std::uint64_t Milliseconds() override { return ms; }
    std::uint64_t Counter() override { return counter; }
    std::uint64_t Frequency() override { return frequency; }
    std::int64_t UnixMilliseconds() override { return unixMs; }
};

TEST_F(OsTimeTest, ReplacedClockDrivesEveryQuery)
{
    ManualClock clock;
    EXPECT_EQ(os::SetClock(&clock), nullptr);
    clock.ms = 0x100000005ull; // the tick wraps at 32 bits
    EXPECT_EQ(os::GetTickCount(), 5u);
    clock.counter = 0x123456789ABull;
    std::int64_t v = 0;
    EXPECT_TRUE(os::QueryPerformanceCounter(v));
    EXPECT_EQ(v, 0x123456789ABll);
    EXPECT_TRUE(os::QueryPerformanceFrequency(v));
    EXPECT_EQ(v, 1000000);
    clock.unixMs = 1700000000123ll; // 2023-11-14 22:13:20.123 UTC, a Tuesday
    os::SystemTime t;
    os::GetSystemTime(t);
    EXPECT_EQ(t.year, 2023);
    EXPECT_EQ(t.month, 11);
    EXPECT_EQ(t.day, 14);
    EXPECT_EQ(t.dayOfWeek, 2);
    EXPECT_EQ(t.hour, 22);
    EXPECT_EQ(t.minute, 13);
    EXPECT_EQ(t.second, 20);
    EXPECT_EQ(t.milliseconds, 123);
    EXPECT_EQ(os::SetClock(nullptr), &clock);
}

TEST_F(OsTimeTest, DateSplitMatchesTheCLibrary)
{
    const std::int64_t samples[] = {0, 86399999, 951782400000ll /* 2000-02-29 */, 4102444800000ll,
                                    -1 /* 1969-12-31 23:59:59.999 */, 1234567890000ll};
    for (std::int64_t ms : samples)
    {
        SCOPED_TRACE(ms);
        os::SystemTime t = os::SystemTimeFromUnixMilliseconds(ms);
        std::time_t seconds = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        EXPECT_EQ(t.year, tm.tm_year + 1900);
        EXPECT_EQ(t.month, tm.tm_mon + 1);
        EXPECT_EQ(t.day, tm.tm_mday);
        EXPECT_EQ(t.dayOfWeek, tm.tm_wday);
        EXPECT_EQ(t.hour, tm.tm_hour);
        EXPECT_EQ(t.minute, tm.tm_min);
        EXPECT_EQ(t.second, tm.tm_sec);
    }
}

TEST_F(OsTimeTest, SystemClockRuns)
{
    std::int64_t frequency = 0;
    os::QueryPerformanceFrequency(frequency);
    EXPECT_GT(frequency, 0);
    std::int64_t a = 0;
    std::int64_t b = 0;
    os::QueryPerformanceCounter(a);
    std::uint32_t tick = os::GetTickCount();
    while (os::GetTickCount() - tick < 2)
    {
    }
    os::QueryPerformanceCounter(b);
    EXPECT_GT(b, a);
    os::SystemTime t;
    os::GetSystemTime(t);
    EXPECT_GE(t.year, 2024);
}

TEST_F(OsTimeTest, ResetRestoresTheSystemClock)
{
    ManualClock clock;
    clock.frequency = 7;
    os::SetClock(&clock);
    OsTest::TearDown(); // the test reset
    std::int64_t frequency = 0;
    os::QueryPerformanceFrequency(frequency);
    EXPECT_NE(frequency, 7);
}
} // namespace
