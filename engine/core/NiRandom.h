#pragma once

// The project's one random source. It keeps the C library's contract: every
// draw is uniform over 0..NI_RAND_MAX and call sites take their own modulus.
// The sequence for a seed is the GNU C library's rand() sequence for the
// same srand() seed, so a recorded seed replays the same game.

#include <cstdint>

inline constexpr int NI_RAND_MAX = 2147483647;

// The next draw, 0..NI_RAND_MAX.
[[nodiscard]] int NiRand();
// Restarts the sequence; seed 0 behaves as seed 1, as srand() does.
void NiSeedRandom(std::uint32_t uiSeed);
// Seeds from the wall clock; the start-up does this once.
void NiSeedRandomFromTime();
// Test reset: the sequence of seed 1, as at process start.
void NiResetRandom();
