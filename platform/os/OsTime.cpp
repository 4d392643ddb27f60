#include "platform/os/OsTime.h"

#include "platform/os/OsLocal.h"

#include <SDL.h>

#include <chrono>

namespace os
{
namespace
{
// SDL's counters work without SDL_Init.
class SystemClock final : public Clock
{
public:
    std::uint64_t Milliseconds() override { return SDL_GetTicks64(); }
    std::uint64_t Counter() override { return SDL_GetPerformanceCounter(); }
    std::uint64_t Frequency() override { return SDL_GetPerformanceFrequency(); }
    std::int64_t UnixMilliseconds() override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }
};

SystemClock g_systemClock;
Clock* g_replacement = nullptr;

Clock& Current()
{
    return g_replacement ? *g_replacement : static_cast<Clock&>(g_systemClock);
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b)
{
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
} // namespace

Clock* SetClock(Clock* clock)
{
    Clock* previous = g_replacement;
    g_replacement = clock;
    return previous;
}

std::uint32_t GetTickCount()
{
    return static_cast<std::uint32_t>(Current().Milliseconds());
}

bool QueryPerformanceCounter(std::int64_t& out)
{
    out = static_cast<std::int64_t>(Current().Counter());
    return true;
}

bool QueryPerformanceFrequency(std::int64_t& out)
{
    out = static_cast<std::int64_t>(Current().Frequency());
    return true;
}

SystemTime SystemTimeFromUnixMilliseconds(std::int64_t unixMs)
{
    std::int64_t days = FloorDiv(unixMs, 86400000);
    std::int64_t msOfDay = unixMs - days * 86400000;
    // Civil date from a day count (proleptic Gregorian calendar).
    std::int64_t z = days + 719468;
    std::int64_t era = FloorDiv(z, 146097);
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    SystemTime t;
    t.year = static_cast<std::uint16_t>(year);
    t.month = static_cast<std::uint16_t>(month);
    t.day = static_cast<std::uint16_t>(day);
    // 1970-01-01 was a Thursday (4).
    t.dayOfWeek = static_cast<std::uint16_t>(((days % 7) + 7 + 4) % 7);
    t.hour = static_cast<std::uint16_t>(msOfDay / 3600000);
    t.minute = static_cast<std::uint16_t>(msOfDay / 60000 % 60);
    t.second = static_cast<std::uint16_t>(msOfDay / 1000 % 60);
    t.milliseconds = static_cast<std::uint16_t>(msOfDay % 1000);
    return t;
}

void GetSystemTime(SystemTime& out)
{
    out = SystemTimeFromUnixMilliseconds(Current().UnixMilliseconds());
}

namespace detail
{
void ResetClock()
{
    g_replacement = nullptr;
}
} // namespace detail
} // namespace os
