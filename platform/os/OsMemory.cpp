#include "platform/os/OsMemory.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef MADV_COLLAPSE
#define MADV_COLLAPSE 25
#endif

namespace os
{
namespace
{
constexpr std::uintptr_t LARGE_PAGE = std::uintptr_t{2} << 20;

// Whether the kernel backs a range with large pages when asked: its mode is
// "always" or "madvise", not "never" (nor a kernel without them).
bool KernelOffersLargePages()
{
    std::FILE* pkFile = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
    if (pkFile == nullptr)
        return false;
    char acMode[128] = {};
    const bool bRead = std::fgets(acMode, sizeof(acMode), pkFile) != nullptr;
    std::fclose(pkFile);
    return bRead && std::strstr(acMode, "[never]") == nullptr &&
           (std::strstr(acMode, "[always]") != nullptr || std::strstr(acMode, "[madvise]") != nullptr);
}
} // namespace

bool GatherHeapIntoLargePages()
{
    if (!KernelOffersLargePages())
        return false;
    std::FILE* pkMaps = std::fopen("/proc/self/maps", "r");
    if (pkMaps == nullptr)
        return false;
    // Lines can be as long as a path: getline takes any length.
    char* pcLine = nullptr;
    std::size_t uiCapacity = 0;
    bool bMarked = false;
    while (getline(&pcLine, &uiCapacity, pkMaps) > 0)
    {
        if (std::strstr(pcLine, "[heap]") == nullptr)
            continue;
        char* pcEnd = nullptr;
        const std::uintptr_t uiStart = std::strtoull(pcLine, &pcEnd, 16);
        if (pcEnd == nullptr || *pcEnd != '-')
            continue;
        const std::uintptr_t uiStop = std::strtoull(pcEnd + 1, nullptr, 16);
        if (uiStop <= uiStart)
            continue;
        // Marked, later faults in the range take large pages; the gathering
        // moves what is there already (the kernel copies it, so a range
        // gathered before is passed over quickly). Only whole aligned large
        // pages can be gathered.
        if (madvise(reinterpret_cast<void*>(uiStart), uiStop - uiStart, MADV_HUGEPAGE) == 0)
            bMarked = true;
        const std::uintptr_t uiFirst = (uiStart + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1);
        const std::uintptr_t uiLast = uiStop & ~(LARGE_PAGE - 1);
        // A kernel without synchronous gathering refuses it; the mark alone
        // still has its background service gather the range in time.
        if (uiLast > uiFirst)
            (void)madvise(reinterpret_cast<void*>(uiFirst), uiLast - uiFirst, MADV_COLLAPSE);
    }
    std::free(pcLine);
    std::fclose(pkMaps);
    return bMarked;
}
} // namespace os
