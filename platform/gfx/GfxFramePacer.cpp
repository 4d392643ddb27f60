#include "platform/gfx/GfxFramePacer.h"

#include <thread>

namespace gfx {

void FramePacer::SetPeriod(std::chrono::nanoseconds period) {
    m_period = period.count() > 0 ? period : std::chrono::nanoseconds{0};
    m_started = false;
}

std::chrono::nanoseconds FramePacer::WaitAfterPresent(Clock::time_point now) {
    if (m_period.count() == 0) return std::chrono::nanoseconds{0};
    if (!m_started) {
        m_started = true;
        m_next = now;
    }
    if (now >= m_next) m_next += ((now - m_next) / m_period + 1) * m_period;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(m_next - now);
}

void FramePacer::PacePresent() {
    const std::chrono::nanoseconds wait = WaitAfterPresent(Clock::now());
    if (wait.count() > 0) std::this_thread::sleep_for(wait);
}

std::chrono::nanoseconds RefreshPeriod(int hz) {
    return std::chrono::nanoseconds{1'000'000'000LL / (hz > 0 ? hz : 60)};
}

} // namespace gfx
