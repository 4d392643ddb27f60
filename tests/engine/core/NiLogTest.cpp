#include "engine/core/NiLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace
{
NiLogTime MarchSeventh()
{
    return {2005, 3, 7, 9, 5, 3};
}

NiLogTime NewYearsEve()
{
    return {1999, 12, 31, 23, 59, 58};
}

std::string Slurp(const std::string& kPath)
{
    std::ifstream kIn(kPath, std::ios::binary);
    std::ostringstream kText;
    kText << kIn.rdbuf();
    return kText.str();
}

const std::string g_kTop = "/" + std::string(54, '*') + "\n";
const std::string g_kBottom = std::string(54, '*') + "/\n";

std::string Banner(const std::string& kName, const char* pcWhat, const char* pcWhen)
{
    return g_kTop + "* " + kName + " - Log File " + pcWhat + "\n" + pcWhen + "\n" + g_kBottom;
}

class RecordingSetup : public NiLogSetup
{
public:
    void Initialize() override { ++m_iInitializeCalls; }
    int m_iInitializeCalls = 0;
};

class NiLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        NiLogReset();
        NiSetLogClock(MarchSeventh);
        char acTemplate[] = "/tmp/nilogtest.XXXXXX";
        ASSERT_NE(mkdtemp(acTemplate), nullptr);
        m_kDir = acTemplate;
    }
    void TearDown() override
    {
        NiLogReset();
        std::error_code kError;
        std::filesystem::remove_all(m_kDir, kError);
    }

    [[nodiscard]] std::string PathOf(const char* pcName) const { return m_kDir + "/" + pcName; }

    std::string m_kDir;
};
} // namespace

TEST_F(NiLogTest, OpenAndCloseWriteExactlyEightBannerLines)
{
    const std::string kPath = PathOf("engine.log");
    int iLog = NiOpenLog(kPath.c_str(), 1, false, false);
    ASSERT_EQ(iLog, 0);
    ASSERT_NE(NiGetLog(iLog), nullptr);
    EXPECT_TRUE(NiGetLog(iLog)->IsOpen());
    NiCloseAllLogs();
    EXPECT_EQ(NiGetLogCount(), 0u);
    EXPECT_EQ(NiGetLog(iLog), nullptr);

    const std::string kExpected = "/******************************************************\n"
                                  "* " + kPath + " - Log File Opened\n"
                                  "*     03/07/2005 -  9:05:03\n"
                                  "******************************************************/\n"
                                  "/******************************************************\n"
                                  "* " + kPath + " - Log File Closed\n"
                                  "*     03/07/2005 -  9:05:03\n"
                                  "******************************************************/\n";
    EXPECT_EQ(Slurp(kPath), kExpected);
}

TEST_F(NiLogTest, WritesGoBetweenTheBannersAndUseTheClockOfTheMoment)
{
    const std::string kPath = PathOf("timed.log");
    int iLog = NiOpenLog(kPath.c_str(), 1, true, false);
    ASSERT_GE(iLog, 0);
    NiGetLog(iLog)->Write("first line\n");
    NiGetLog(iLog)->Write("no terminator");
    NiGetLog(iLog)->Write(nullptr);
    NiSetLogClock(NewYearsEve);
    NiCloseAllLogs();
    EXPECT_EQ(Slurp(kPath), Banner(kPath, "Opened", "*     03/07/2005 -  9:05:03") + "first line\nno terminator" +
                                Banner(kPath, "Closed", "*     12/31/1999 - 23:59:58"));
}

TEST_F(NiLogTest, AppendModeKeepsOldTextAndTruncateModeReplacesIt)
{
    const std::string kAppend = PathOf("append.log");
    const std::string kTruncate = PathOf("truncate.log");
    for (const std::string& kPath : {kAppend, kTruncate})
        std::ofstream(kPath, std::ios::binary) << "old text\n";

    ASSERT_EQ(NiOpenLog(kAppend.c_str(), 0, false, false), 0);
    ASSERT_EQ(NiOpenLog(kTruncate.c_str(), 1, false, false), 1);
    NiCloseAllLogs();

    auto fnBanners = [](const std::string& kPath) {
        return Banner(kPath, "Opened", "*     03/07/2005 -  9:05:03") +
               Banner(kPath, "Closed", "*     03/07/2005 -  9:05:03");
    };
    EXPECT_EQ(Slurp(kAppend), "old text\n" + fnBanners(kAppend));
    EXPECT_EQ(Slurp(kTruncate), fnBanners(kTruncate));

    // Appending again adds a second pair of banners.
    ASSERT_EQ(NiOpenLog(kAppend.c_str(), 0, false, false), 0);
    NiCloseAllLogs();
    EXPECT_EQ(Slurp(kAppend), "old text\n" + fnBanners(kAppend) + fnBanners(kAppend));
}

TEST_F(NiLogTest, OtherModesOrUnopenableFilesStillTakeASlotButWriteNothing)
{
    const std::string kPath = PathOf("mode2.log");
    int iLog = NiOpenLog(kPath.c_str(), 2, true, false);
    EXPECT_EQ(iLog, 0);
    ASSERT_NE(NiGetLog(iLog), nullptr);
    EXPECT_FALSE(NiGetLog(iLog)->IsOpen());
    NiGetLog(iLog)->Write("ignored");

    int iMissing = NiOpenLog(PathOf("no/such/folder.log").c_str(), 1, true, false);
    EXPECT_EQ(iMissing, 1);
    EXPECT_FALSE(NiGetLog(iMissing)->IsOpen());
    NiGetLog(iMissing)->Write("ignored");
    EXPECT_EQ(NiGetLogCount(), 2u);

    NiCloseAllLogs();
    EXPECT_FALSE(std::filesystem::exists(kPath));
    EXPECT_EQ(NiOpenLog(kPath.c_str(), -1, false, false), 0) << "slots are free again";
    EXPECT_FALSE(std::filesystem::exists(kPath));
}

TEST_F(NiLogTest, TheSeventeenthOpenIsRefusedAndFreedSlotsAreReused)
{
    for (int i = 0; i < 16; ++i)
    {
        SCOPED_TRACE(i);
        const std::string kPath = PathOf(("log" + std::to_string(i) + ".log").c_str());
        EXPECT_EQ(NiOpenLog(kPath.c_str(), 1, false, false), i);
    }
    EXPECT_EQ(NiGetLogCount(), 16u);
    EXPECT_EQ(NiOpenLog(PathOf("seventeenth.log").c_str(), 1, false, false), -1);
    EXPECT_EQ(NiGetLogCount(), 16u);
    EXPECT_FALSE(std::filesystem::exists(PathOf("seventeenth.log")));
    EXPECT_EQ(NiGetLog(16), nullptr);
    EXPECT_EQ(NiGetLog(-1), nullptr);

    NiCloseAllLogs();
    EXPECT_EQ(NiOpenLog(PathOf("again.log").c_str(), 1, false, false), 0);
}

TEST_F(NiLogTest, FlushOrCommitPutsEachWriteOnDiskAtOnce)
{
    const std::string kFlushed = PathOf("flushed.log");
    const std::string kCommitted = PathOf("committed.log");
    int iFlushed = NiOpenLog(kFlushed.c_str(), 1, true, false);
    int iCommitted = NiOpenLog(kCommitted.c_str(), 1, false, true);
    ASSERT_GE(iFlushed, 0);
    ASSERT_GE(iCommitted, 0);
    NiGetLog(iFlushed)->Write("flushed\n");
    NiGetLog(iCommitted)->Write("committed\n");

    const std::string kOpened = "*     03/07/2005 -  9:05:03";
    EXPECT_EQ(Slurp(kFlushed), Banner(kFlushed, "Opened", kOpened.c_str()) + "flushed\n");
    EXPECT_EQ(Slurp(kCommitted), Banner(kCommitted, "Opened", kOpened.c_str()) + "committed\n");
}

TEST_F(NiLogTest, ALongNameIsKeptWhole)
{
    // Deeper than any fixed 256-character field.
    std::string kFolder = m_kDir;
    while (kFolder.size() < 400)
    {
        kFolder += "/" + std::string(60, 'd');
        ASSERT_TRUE(std::filesystem::create_directory(kFolder));
    }
    const std::string kPath = kFolder + "/long.log";
    int iLog = NiOpenLog(kPath.c_str(), 1, false, false);
    ASSERT_GE(iLog, 0);
    EXPECT_EQ(NiGetLog(iLog)->GetName(), kPath);
    EXPECT_TRUE(NiGetLog(iLog)->IsOpen());
    NiCloseAllLogs();
    EXPECT_EQ(Slurp(kPath), Banner(kPath, "Opened", "*     03/07/2005 -  9:05:03") +
                                Banner(kPath, "Closed", "*     03/07/2005 -  9:05:03"));
}

TEST_F(NiLogTest, StartupRunsOnceAndShutdownOnlyAfterIt)
{
    RecordingSetup kSetup;
    NiSetLogSetup(&kSetup);

    NiLogStartup();
    EXPECT_EQ(kSetup.m_iInitializeCalls, 1);
    EXPECT_EQ(NiGetLogCount(), 0u) << "this system's set-up opens no log";
    const std::string kPath = PathOf("kept.log");
    ASSERT_EQ(NiOpenLog(kPath.c_str(), 1, false, false), 0);

    NiLogStartup(); // a second start-up clears nothing
    EXPECT_EQ(kSetup.m_iInitializeCalls, 1);
    EXPECT_EQ(NiGetLogCount(), 1u);
    ASSERT_NE(NiGetLog(0), nullptr);
    EXPECT_TRUE(NiGetLog(0)->IsOpen());

    NiLogShutdown();
    EXPECT_EQ(NiGetLogCount(), 0u);
    EXPECT_EQ(Slurp(kPath), Banner(kPath, "Opened", "*     03/07/2005 -  9:05:03") +
                                Banner(kPath, "Closed", "*     03/07/2005 -  9:05:03"));

    // Without a start-up the shut-down leaves logs alone.
    ASSERT_EQ(NiOpenLog(PathOf("other.log").c_str(), 1, false, false), 0);
    NiLogShutdown();
    EXPECT_EQ(NiGetLogCount(), 1u);
}

TEST_F(NiLogTest, StartupClosesLogsLeftFromBeforeIt)
{
    const std::string kPath = PathOf("early.log");
    ASSERT_EQ(NiOpenLog(kPath.c_str(), 1, false, false), 0);
    NiLogStartup();
    EXPECT_EQ(NiGetLogCount(), 0u);
    EXPECT_EQ(NiGetLog(0), nullptr);
    // The early log was closed properly, not dropped (ASan's leak check
    // would see a dropped one).
    EXPECT_EQ(Slurp(kPath), Banner(kPath, "Opened", "*     03/07/2005 -  9:05:03") +
                                Banner(kPath, "Closed", "*     03/07/2005 -  9:05:03"));
}

TEST_F(NiLogTest, ChannelsStartUnassignedAndTheSetupsAssignTheirs)
{
    for (std::uint32_t i = 0; i < NI_LOG_CHANNELS; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(NiGetLogChannel(i).m_iLog, -1);
        EXPECT_EQ(NiGetLogChannel(i).m_ucFlags, 0u);
        EXPECT_EQ(NiGetLogChannel(i).m_ucFlags2, 0u);
    }

    // The default set-up opens its logs in the working folder.
    const std::filesystem::path kOld = std::filesystem::current_path();
    std::filesystem::current_path(m_kDir);
    NiLogSetup* pkSetup = NiGetLogSetup();
    const int iMemory = pkSetup->OpenMemoryLog();
    const int iProfile = pkSetup->OpenProfileLog();
    NiCloseAllLogs();
    std::filesystem::current_path(kOld);

    ASSERT_EQ(iMemory, 0);
    ASSERT_EQ(iProfile, 1);
    for (std::uint32_t i = 0; i < NI_LOG_CHANNELS; ++i)
    {
        SCOPED_TRACE(i);
        const int iExpected = (i >= 6 && i <= 9) ? iMemory : (i >= 3 && i <= 5) ? iProfile : -1;
        EXPECT_EQ(NiGetLogChannel(i).m_iLog, iExpected);
        EXPECT_EQ(NiGetLogChannel(i).m_ucFlags2, i == 9 ? 1u : 0u);
    }
    EXPECT_EQ(Slurp(m_kDir + "/NiMemory.log"), Banner("NiMemory.log", "Opened", "*     03/07/2005 -  9:05:03") +
                                                   Banner("NiMemory.log", "Closed", "*     03/07/2005 -  9:05:03"));
    EXPECT_TRUE(std::filesystem::exists(m_kDir + "/NiProfile.log"));
}
