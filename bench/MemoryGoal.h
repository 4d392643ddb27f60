#pragma once

// The verdict on a memory goal, shared by the benchmark that measures it and
// the test that pins it.

namespace bench
{
// Met when the measured figure is at most the goal, compared as measured:
// a rounded figure would pass a miss of less than the last printed digit
// (257.0 MB against 256 MB printed as a ratio of 1.00).
[[nodiscard]] constexpr bool MemoryGoalMet(double dMegabytes, double dGoalMegabytes)
{
    return dMegabytes <= dGoalMegabytes;
}
} // namespace bench
