#pragma once

#include "platform/os/OsTime.h"

#include <cstdint>
#include <functional>

// A performance counter that moves a fixed step at every reading, at 1000
// counts per second; an optional hook sees each reading's number.
class TestClock : public os::Clock
{
public:
    explicit TestClock(std::uint64_t uiStep) : m_uiStep(uiStep) {}

    std::uint64_t Milliseconds() override { return m_uiNow; }
    std::uint64_t Counter() override
    {
        m_uiNow += m_uiStep;
        ++m_uiReadings;
        if (m_kOnReading)
            m_kOnReading(m_uiReadings);
        return m_uiNow;
    }
    std::uint64_t Frequency() override { return 1000; }
    std::int64_t UnixMilliseconds() override { return 0; }

    std::uint64_t m_uiStep;
    std::uint64_t m_uiNow = 5000;
    std::uint64_t m_uiReadings = 0;
    std::function<void(std::uint64_t)> m_kOnReading;
};
