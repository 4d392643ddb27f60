#include "engine/core/NiProcessorInfo.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace
{
// Written at start-up on the main thread, read afterwards.
std::uint32_t s_uiProcessorClass = NI_PROCESSOR_UNDETECTED;
bool s_bDetected = false;

constexpr std::uint32_t EXTENDED_BASE_LEAF = 0x80000000u;     // highest extended function
constexpr std::uint32_t EXTENDED_FEATURES_LEAF = 0x80000001u; // extended feature flags
constexpr std::uint32_t STANDARD_FEATURES_LEAF = 1u;          // standard feature flags
constexpr std::uint32_t EXTENDED_PRESENT_BIT = 1u << 31;      // leaf 0x80000000 eax
constexpr std::uint32_t EDX_3DNOW_BIT = 1u << 31;             // leaf 0x80000001 edx
constexpr std::uint32_t EDX_MMX_BIT = 1u << 23;               // leaf 1 edx
constexpr std::uint32_t EDX_CMOV_BIT = 1u << 15;              // leaf 1 edx
constexpr std::uint32_t EDX_SSE_BIT = 1u << 25;               // leaf 1 edx
} // namespace

bool NiCpuid(std::uint32_t uiLeaf, std::uint32_t auiRegisters[4])
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned int a = 0, b = 0, c = 0, d = 0;
    // Zero means no cpuid instruction at all (only very old 32-bit parts).
    if (__get_cpuid_max(0u, nullptr) == 0u)
        return false;
    if (uiLeaf == EXTENDED_BASE_LEAF || uiLeaf == 0u)
    {
        // These two leaves report the highest leaf of their range and always
        // answer; __get_cpuid would refuse 0x80000000 itself on a processor
        // without extended functions, which is an answer, not a failure.
        __cpuid(uiLeaf, a, b, c, d);
    }
    else if (!__get_cpuid(uiLeaf, &a, &b, &c, &d))
    {
        return false;
    }
    auiRegisters[0] = a;
    auiRegisters[1] = b;
    auiRegisters[2] = c;
    auiRegisters[3] = d;
    return true;
#else
    (void)uiLeaf;
    (void)auiRegisters;
    return false;
#endif
}

std::uint32_t NiClassifyProcessor(NiCpuidQuery pfnQuery)
{
    if (!pfnQuery)
        return NI_PROCESSOR_UNDETECTED;
    std::uint32_t auiRegs[4] = {};
    if (!pfnQuery(EXTENDED_BASE_LEAF, auiRegs))
        return NI_PROCESSOR_UNDETECTED;
    if (auiRegs[0] & EXTENDED_PRESENT_BIT)
    {
        std::uint32_t auiExtended[4] = {};
        if (pfnQuery(EXTENDED_FEATURES_LEAF, auiExtended) && (auiExtended[3] & EDX_3DNOW_BIT))
            return NI_PROCESSOR_3DNOW;
    }
    if (!pfnQuery(STANDARD_FEATURES_LEAF, auiRegs))
        return NI_PROCESSOR_UNDETECTED;
    std::uint32_t uiEdx = auiRegs[3];
    bool bCmov = (uiEdx & EDX_CMOV_BIT) != 0;
    if (!(uiEdx & EDX_MMX_BIT))
        return bCmov ? NI_PROCESSOR_CMOV : NI_PROCESSOR_PLAIN;
    if (!bCmov)
        return NI_PROCESSOR_MMX;
    return (uiEdx & EDX_SSE_BIT) ? NI_PROCESSOR_SSE : NI_PROCESSOR_MMX_CMOV;
}

void NiDetectProcessor()
{
    if (s_bDetected)
        return;
    s_bDetected = true;
    s_uiProcessorClass = NiClassifyProcessor(&NiCpuid);
}

std::uint32_t NiGetProcessorClass()
{
    return s_uiProcessorClass;
}

bool NiIsProcessorDetected()
{
    return s_bDetected;
}

void NiResetProcessorInfo()
{
    s_uiProcessorClass = NI_PROCESSOR_UNDETECTED;
    s_bDetected = false;
}
