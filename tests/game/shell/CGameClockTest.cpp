#include "game/shell/CGameClock.h"

#include "framework/COrvaneFile.h"
#include "tests/framework/FrameworkTestSupport.h"

namespace
{

using CGameClockFileTest = FrameworkTest;

TEST(CGameClock, DayRollsOnlyPastTheLastMinuteAndDropsTheExcess)
{
    CGameClock kClock;
    kClock.m_fMinutes = 1439.9f;
    kClock.Advance(0.5f);
    EXPECT_EQ(kClock.m_usDay, 1);
    EXPECT_EQ(kClock.m_ucDayRolled, 1);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 0.0f);
    EXPECT_FLOAT_EQ(kClock.m_fPreviousMinutes, 1439.9f);
    kClock.Advance(1.0f);
    EXPECT_EQ(kClock.m_ucDayRolled, 0);

    kClock.m_fMinutes = 1430.0f;
    kClock.Advance(10.0f);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 1440.0f);
    EXPECT_EQ(kClock.m_usDay, 1);
    kClock.Advance(0.001f);
    EXPECT_EQ(kClock.m_usDay, 2);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 0.0f);
}

TEST(CGameClock, FourDaysMakeAYear)
{
    CGameClock kClock;
    kClock.m_usYear = CGameClock::START_YEAR;
    std::string kTime;
    std::string kYear;
    for (int iDay = 0; iDay < 4; ++iDay)
    {
        kClock.FormatTime(kTime, kYear);
        EXPECT_EQ(kYear, " - 2005") << iDay;
        kClock.m_fMinutes = 1440.0f;
        kClock.Advance(1.0f);
    }
    EXPECT_EQ(kClock.m_usDay, 0);
    EXPECT_EQ(kClock.m_sYearOffset, 1);
    kClock.FormatTime(kTime, kYear);
    EXPECT_EQ(kYear, " - 2006");

    // The morning jump rolls the same way and leaves the previous minutes.
    kClock.m_usDay = 3;
    kClock.m_fMinutes = 1330.0f;
    kClock.m_fPreviousMinutes = 1329.0f;
    kClock.AdvanceToDay(360.0f);
    EXPECT_EQ(kClock.m_usDay, 0);
    EXPECT_EQ(kClock.m_sYearOffset, 2);
    EXPECT_EQ(kClock.m_ucDayRolled, 1);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 360.0f);
    EXPECT_FLOAT_EQ(kClock.m_fPreviousMinutes, 1329.0f);
}

TEST(CGameClock, HourBeginsOnceAlsoAcrossAJump)
{
    CGameClock kClock;
    kClock.m_fMinutes = 770.0f;
    int iBegun = 0;
    for (int i = 0; i < 40; ++i)
    {
        kClock.Advance(0.5f);
        iBegun += kClock.HasHourBegun(13) ? 1 : 0;
    }
    EXPECT_EQ(iBegun, 1);

    kClock.m_fMinutes = 700.0f;
    kClock.Advance(150.0f);
    EXPECT_TRUE(kClock.HasHourBegun(14));
    EXPECT_FALSE(kClock.HasHourBegun(13));
    kClock.Advance(1.0f);
    EXPECT_FALSE(kClock.HasHourBegun(14));
}

TEST(CGameClock, FormatTimePadsBothParts)
{
    CGameClock kClock;
    std::string kTime;
    std::string kYear;
    kClock.m_fMinutes = 365.0f;
    kClock.FormatTime(kTime, kYear);
    EXPECT_EQ(kTime, "06:05");
    EXPECT_EQ(kYear, " - 0");
    kClock.m_fMinutes = 1439.5f;
    kClock.FormatTime(kTime, kYear);
    EXPECT_EQ(kTime, "23:59");
    kClock.m_fMinutes = 0.0f;
    kClock.FormatTime(kTime, kYear);
    EXPECT_EQ(kTime, "00:00");
}

TEST_F(CGameClockFileTest, SaveIsByteExactAndReadsBack)
{
    CGameClock kClock;
    kClock.m_usYear = 2005;
    kClock.m_usDay = 1;
    kClock.m_fMinutes = 780.5f;
    kClock.m_fPreviousMinutes = 780.25f;
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("clock.txt", COrvaneFile::MODE_WRITE), 1);
    ASSERT_TRUE(kClock.Save(kFile));
    kClock.m_sYearOffset = -1;
    kClock.m_ucDayRolled = 1;
    ASSERT_TRUE(kClock.Save(kFile));
    ASSERT_TRUE(kFile.Flush());
    kFile.Close();
    EXPECT_EQ(ReadFileBytes(Folder() / "clock.txt"),
        "2005,0,1,0\r\n780.5\r\n780.25\r\n2005,65535,1,1\r\n780.5\r\n780.25\r\n");

    ASSERT_EQ(kFile.Open("clock.txt", COrvaneFile::MODE_READ), 1);
    CGameClock kRead;
    kRead.Load(kFile);
    EXPECT_EQ(kRead.m_usYear, 2005);
    EXPECT_EQ(kRead.m_sYearOffset, 0);
    EXPECT_EQ(kRead.m_usDay, 1);
    EXPECT_EQ(kRead.m_ucDayRolled, 0);
    EXPECT_FLOAT_EQ(kRead.m_fMinutes, 780.5f);
    EXPECT_FLOAT_EQ(kRead.m_fPreviousMinutes, 780.25f);
    kRead.Load(kFile);
    EXPECT_EQ(kRead.m_sYearOffset, -1);
    EXPECT_EQ(kRead.m_ucDayRolled, 1);

    COrvaneFile kClosed;
    EXPECT_FALSE(kClock.Save(kClosed));
}

TEST_F(CGameClockFileTest, ShortOrDamagedRecordsReadAsZero)
{
    CGameClock kClock;
    // Both exponent styles of a float.
    kClock.LoadLines("2005,1", "1.2e+003", "1.2e+03");
    EXPECT_EQ(kClock.m_usYear, 2005);
    EXPECT_EQ(kClock.m_sYearOffset, 1);
    EXPECT_EQ(kClock.m_usDay, 0);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 1200.0f);
    EXPECT_FLOAT_EQ(kClock.m_fPreviousMinutes, 1200.0f);

    kClock.LoadLines("abc", "-5", "99999");
    EXPECT_EQ(kClock.m_usYear, 0);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 0.0f);
    EXPECT_FLOAT_EQ(kClock.m_fPreviousMinutes, 1440.0f);
    EXPECT_EQ(CGameClock::HourOf(kClock.m_fMinutes), 0);

    // A file that ends inside the record.
    WriteFileBytes(Folder() / "short.txt", "2005,0,2,0\r\n600.000\r\n");
    COrvaneFile kFile;
    ASSERT_EQ(kFile.Open("short.txt", COrvaneFile::MODE_READ), 1);
    kClock.m_fPreviousMinutes = 50.0f;
    kClock.Load(kFile);
    EXPECT_EQ(kClock.m_usDay, 2);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 600.0f);
    EXPECT_FLOAT_EQ(kClock.m_fPreviousMinutes, 0.0f);

    kClock.Reset();
    EXPECT_EQ(kClock.m_usYear, 0);
    EXPECT_FLOAT_EQ(kClock.m_fMinutes, 0.0f);
}

} // namespace
