#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// A text log with an opening and a closing banner.
class NiLogFile
{
public:
    NiLogFile(const char* pcName, int iMode, bool bFlush, bool bCommit);
    ~NiLogFile();
    NiLogFile(const NiLogFile&) = delete;
    NiLogFile& operator=(const NiLogFile&) = delete;

    // Mode 0 appends, 1 truncates; any other opens nothing. With commit,
    // every write is flushed and synced to disk.
    bool Open(int iMode, bool bCommit);
    void Write(const char* pcText);
    void Close();

    [[nodiscard]] bool IsOpen() const { return m_pkFile != nullptr; }
    [[nodiscard]] const std::string& GetName() const { return m_kName; }

private:
    void WriteBanner(const char* pcWhat);

    std::string m_kName; // kept whole, however long
    std::FILE* m_pkFile = nullptr;
    bool m_bFlush = false;
    bool m_bCommit = false;
};

// The date and time the banners show (UTC). Replaceable for tests.
struct NiLogTime
{
    int iYear, iMonth, iDay, iHour, iMinute, iSecond;
};
using NiLogClock = NiLogTime (*)();
void NiSetLogClock(NiLogClock pfnClock); // null restores the system clock

// Decides which logs exist; this system's Initialize opens none.
class NiLogSetup
{
public:
    virtual ~NiLogSetup() = default;
    virtual void Initialize() {}
    virtual int OpenMemoryLog();
    virtual int OpenProfileLog();
};
void NiSetLogSetup(NiLogSetup* pkSetup); // null restores the default
NiLogSetup* NiGetLogSetup();

struct NiLogChannel
{
    std::uint8_t m_ucFlags = 0;
    std::int32_t m_iLog = -1;
    std::uint8_t m_ucFlags2 = 0;
};

constexpr std::uint32_t NI_MAX_LOGS = 16;
constexpr std::uint32_t NI_LOG_CHANNELS = 32;

void NiLogStartup();
void NiLogShutdown();
// Lowest free slot, or -1 when all 16 are used. The slot is taken even when
// the file did not open (its writes are then ignored).
int NiOpenLog(const char* pcName, int iMode, bool bFlush, bool bCommit);
void NiCloseAllLogs();
NiLogFile* NiGetLog(int iIndex);
[[nodiscard]] std::uint32_t NiGetLogCount();
NiLogChannel& NiGetLogChannel(std::uint32_t uiChannel);
// Closes every log, clears the channels and the start-up flag (tests).
void NiLogReset();
