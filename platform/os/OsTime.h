#pragma once

// Time: the millisecond tick, the high-resolution counter and the UTC date,
// all read through one replaceable clock so tests can drive time.

#include <cstdint>

namespace os
{
class Clock
{
public:
    virtual ~Clock() = default;
    // Milliseconds since some fixed start (the tick count's source).
    [[nodiscard]] virtual std::uint64_t Milliseconds() = 0;
    // A high-resolution counter and its counts per second.
    [[nodiscard]] virtual std::uint64_t Counter() = 0;
    [[nodiscard]] virtual std::uint64_t Frequency() = 0;
    // Wall-clock time: milliseconds since 1970-01-01 00:00:00 UTC.
    [[nodiscard]] virtual std::int64_t UnixMilliseconds() = 0;
};

// Replaces the clock; null restores the system clock (SDL ticks and
// performance counter, the C library's real-time clock). The caller keeps
// ownership and must keep the clock alive while it is set. Returns the
// previous replacement (null for the system clock).
Clock* SetClock(Clock* clock);

// GetTickCount: milliseconds, wrapping at 32 bits.
[[nodiscard]] std::uint32_t GetTickCount();
// QueryPerformanceCounter / QueryPerformanceFrequency; always true.
bool QueryPerformanceCounter(std::int64_t& out);
bool QueryPerformanceFrequency(std::int64_t& out);

// GetSystemTime: the current UTC date and time.
struct SystemTime
{
    std::uint16_t year = 0;
    std::uint16_t month = 0;     // 1-12
    std::uint16_t dayOfWeek = 0; // 0 = Sunday
    std::uint16_t day = 0;       // 1-31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};
void GetSystemTime(SystemTime& out);
// The same split of any Unix time in milliseconds (negative: before 1970).
[[nodiscard]] SystemTime SystemTimeFromUnixMilliseconds(std::int64_t unixMs);
} // namespace os
