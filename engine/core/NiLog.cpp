#include "engine/core/NiLog.h"

#include "platform/os/OsFiles.h"

#include <ctime>
#include <unistd.h>

namespace
{
NiLogTime SystemClock()
{
    std::time_t t = std::time(nullptr);
    std::tm kTm{};
    gmtime_r(&t, &kTm);
    return {kTm.tm_year + 1900, kTm.tm_mon + 1, kTm.tm_mday, kTm.tm_hour, kTm.tm_min, kTm.tm_sec};
}

NiLogClock s_pfnClock = SystemClock;
NiLogSetup s_kDefaultSetup;
NiLogSetup* s_pkSetup = &s_kDefaultSetup;
NiLogFile* s_apkLogs[NI_MAX_LOGS] = {};
std::uint32_t s_uiLogCount = 0;
bool s_bStarted = false;

NiLogChannel* Channels()
{
    static NiLogChannel s_akChannels[NI_LOG_CHANNELS];
    return s_akChannels;
}

const char* const BANNER_TOP = "/******************************************************\n";
const char* const BANNER_BOTTOM = "******************************************************/\n";
} // namespace

void NiSetLogClock(NiLogClock pfnClock)
{
    s_pfnClock = pfnClock ? pfnClock : SystemClock;
}

void NiSetLogSetup(NiLogSetup* pkSetup)
{
    s_pkSetup = pkSetup ? pkSetup : &s_kDefaultSetup;
}

NiLogSetup* NiGetLogSetup()
{
    return s_pkSetup;
}

NiLogFile::NiLogFile(const char* pcName, int iMode, bool bFlush, bool bCommit)
    : m_kName(pcName ? pcName : ""), m_bFlush(bFlush)
{
    Open(iMode, bCommit);
}

NiLogFile::~NiLogFile()
{
    Close();
}

bool NiLogFile::Open(int iMode, bool bCommit)
{
    // Text-mode and commit letters mean nothing (or something else) to this
    // C library: plain modes, and commit is done by hand with fsync.
    const char* pcMode = nullptr;
    if (iMode == 0)
        pcMode = "a+";
    else if (iMode == 1)
        pcMode = "w";
    else
        return false;
    Close();
    // Through the resolver, like every path the engine opens.
    m_pkFile = os::OpenFile(m_kName, pcMode);
    if (m_pkFile == nullptr)
        return false;
    m_bCommit = bCommit;
    WriteBanner("Opened");
    return true;
}

void NiLogFile::WriteBanner(const char* pcWhat)
{
    NiLogTime kTime = s_pfnClock();
    std::fputs(BANNER_TOP, m_pkFile);
    std::fprintf(m_pkFile, "* %s - Log File %s\n", m_kName.c_str(), pcWhat);
    std::fprintf(m_pkFile, "*     %02d/%02d/%04d - %2d:%02d:%02d\n", kTime.iMonth, kTime.iDay, kTime.iYear, kTime.iHour,
                 kTime.iMinute, kTime.iSecond);
    std::fputs(BANNER_BOTTOM, m_pkFile);
    if (m_bFlush || m_bCommit)
        std::fflush(m_pkFile);
    if (m_bCommit)
        fsync(fileno(m_pkFile));
}

void NiLogFile::Write(const char* pcText)
{
    if (m_pkFile == nullptr || pcText == nullptr)
        return;
    std::fputs(pcText, m_pkFile);
    if (m_bFlush || m_bCommit)
        std::fflush(m_pkFile);
    if (m_bCommit)
        fsync(fileno(m_pkFile));
}

void NiLogFile::Close()
{
    if (m_pkFile == nullptr)
        return;
    WriteBanner("Closed");
    std::fclose(m_pkFile);
    m_pkFile = nullptr;
}

int NiLogSetup::OpenMemoryLog()
{
    int iLog = NiOpenLog("NiMemory.log", 1, true, false);
    if (iLog >= 0)
    {
        for (std::uint32_t i = 6; i <= 9; ++i)
            Channels()[i].m_iLog = iLog;
        Channels()[9].m_ucFlags2 = 1;
    }
    return iLog;
}

int NiLogSetup::OpenProfileLog()
{
    int iLog = NiOpenLog("NiProfile.log", 1, true, false);
    if (iLog >= 0)
    {
        for (std::uint32_t i = 3; i <= 5; ++i)
            Channels()[i].m_iLog = iLog;
    }
    return iLog;
}

void NiLogStartup()
{
    if (s_bStarted)
        return;
    s_bStarted = true;
    // The table starts empty; a log opened before start-up is closed (with
    // its banner) rather than dropped with its file still open.
    NiCloseAllLogs();
    s_pkSetup->Initialize();
}

void NiLogShutdown()
{
    if (!s_bStarted)
        return;
    s_bStarted = false;
    NiCloseAllLogs();
}

int NiOpenLog(const char* pcName, int iMode, bool bFlush, bool bCommit)
{
    for (std::uint32_t i = 0; i < NI_MAX_LOGS; ++i)
    {
        if (s_apkLogs[i] == nullptr)
        {
            s_apkLogs[i] = new NiLogFile(pcName, iMode, bFlush, bCommit);
            ++s_uiLogCount;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void NiCloseAllLogs()
{
    for (NiLogFile*& pkLog : s_apkLogs)
    {
        delete pkLog;
        pkLog = nullptr;
    }
    s_uiLogCount = 0;
}

NiLogFile* NiGetLog(int iIndex)
{
    if (iIndex < 0 || iIndex >= static_cast<int>(NI_MAX_LOGS))
        return nullptr;
    return s_apkLogs[iIndex];
}

std::uint32_t NiGetLogCount()
{
    return s_uiLogCount;
}

NiLogChannel& NiGetLogChannel(std::uint32_t uiChannel)
{
    return Channels()[uiChannel < NI_LOG_CHANNELS ? uiChannel : 0];
}

void NiLogReset()
{
    NiCloseAllLogs();
    for (std::uint32_t i = 0; i < NI_LOG_CHANNELS; ++i)
        Channels()[i] = NiLogChannel();
    s_bStarted = false;
    s_pfnClock = SystemClock;
    s_pkSetup = &s_kDefaultSetup;
}
