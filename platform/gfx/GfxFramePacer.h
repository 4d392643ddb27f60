#pragma once
// Keeps presents to one per display refresh where the driver cannot wait for
// the vertical retrace itself (no vsync, as under Xvfb, or no display at all),
// so a game that presents as fast as it can does not keep every core busy
// drawing frames nobody sees. The device runs one where it should wait; the
// application's main loop runs one where the device presents at once.

#include <chrono>

namespace gfx {

class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // 0 turns pacing off: every present goes at once.
    void SetPeriod(std::chrono::nanoseconds period);
    [[nodiscard]] std::chrono::nanoseconds Period() const { return m_period; }

    // How long to wait after a present made at `now`: until the next refresh, as
    // a swap waiting for the retrace would. Refreshes fall one period apart from
    // the first present on; a present that comes late waits for the refresh after.
    [[nodiscard]] std::chrono::nanoseconds WaitAfterPresent(Clock::time_point now);

    // WaitAfterPresent on the real clock, slept.
    void PacePresent();

private:
    std::chrono::nanoseconds m_period{0};
    Clock::time_point m_next{}; // the next refresh
    bool m_started = false;
};

// The period of a display refreshing at hz; 60 Hz when the rate is unknown (0 or less).
[[nodiscard]] std::chrono::nanoseconds RefreshPeriod(int hz);

} // namespace gfx
