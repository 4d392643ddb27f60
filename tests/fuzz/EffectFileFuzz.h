#pragma once

// The effect target's work on one input, for a test to run it under a
// deadline of its own.

#include <cstddef>
#include <cstdint>

namespace fuzz
{
// Reads the effect text through the compiler object, then on the null
// device, walking and running what each reading gives; aborts on a fault,
// else returns 0. `pfnBetween`, when given, runs between the two readings.
// LLVMFuzzerInitialize must have run.
int ReadEffectTwice(const std::uint8_t* pucData, std::size_t uiSize, void (*pfnBetween)());
} // namespace fuzz
