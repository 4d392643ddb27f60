#pragma once

#include <cstdint>

// Processor class found at start-up; it decides which batch routine pair is
// installed.
enum NiProcessorClass : std::uint32_t
{
    NI_PROCESSOR_UNDETECTED = 0, // a processor query failed, or not x86
    NI_PROCESSOR_PLAIN = 1,      // no MMX, no conditional moves
    NI_PROCESSOR_MMX = 2,        // MMX without conditional moves
    NI_PROCESSOR_CMOV = 3,       // conditional moves without MMX
    NI_PROCESSOR_MMX_CMOV = 4,   // MMX and conditional moves
    NI_PROCESSOR_SSE = 5,        // as 4, with SSE
    NI_PROCESSOR_3DNOW = 6,      // 3DNow!
};

// One processor query: fills eax, ebx, ecx, edx of the given leaf and returns
// true, or returns false when the leaf cannot be queried.
using NiCpuidQuery = bool (*)(std::uint32_t uiLeaf, std::uint32_t auiRegisters[4]);

// Classifies a processor from its answers: leaf 0x80000000 (extended
// functions present when bit 31 is set), leaf 0x80000001 (edx bit 31 3DNow!;
// a failed query counts as none) and leaf 1 (edx bits 23 MMX, 15 conditional
// moves, 25 SSE). A failed first or last query gives class 0.
[[nodiscard]] std::uint32_t NiClassifyProcessor(NiCpuidQuery pfnQuery);

// The real query: cpuid on x86 and x86-64, always false elsewhere.
[[nodiscard]] bool NiCpuid(std::uint32_t uiLeaf, std::uint32_t auiRegisters[4]);

// Runs once (the detected flag guards it) and records the class.
void NiDetectProcessor();
[[nodiscard]] std::uint32_t NiGetProcessorClass();
[[nodiscard]] bool NiIsProcessorDetected();

// Forgets the detection (class 0, flag clear); for tests.
void NiResetProcessorInfo();
