#include "platform/os/OsMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

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
    const std::uintptr_t uiPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::size_t uiPagesPerLarge = LARGE_PAGE / uiPage;
    std::vector<unsigned char> kResident(uiPagesPerLarge);
    // Lines can be as long as a path: getline takes any length.
    char* pcLine = nullptr;
    std::size_t uiCapacity = 0;
    bool bFound = false;
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
        bFound = true;
        // Only whole aligned large pages can be gathered, and only those the
        // heap has (nearly) filled: a large page is resident as a whole, so
        // gathering a sparse one would cost memory the heap does not use.
        for (std::uintptr_t uiAt = (uiStart + LARGE_PAGE - 1) & ~(LARGE_PAGE - 1); uiAt + LARGE_PAGE <= uiStop;
             uiAt += LARGE_PAGE)
        {
            if (mincore(reinterpret_cast<void*>(uiAt), LARGE_PAGE, kResident.data()) != 0)
                continue;
            std::size_t uiIn = 0;
            for (unsigned char ucPage : kResident)
                uiIn += ucPage & 1u;
            // One already gathered reads as wholly resident and is passed
            // over quickly by the kernel; a kernel without synchronous
            // gathering refuses every one, which changes nothing.
            if (uiIn * 8 >= uiPagesPerLarge * 7)
                (void)madvise(reinterpret_cast<void*>(uiAt), LARGE_PAGE, MADV_COLLAPSE);
        }
    }
    std::free(pcLine);
    std::fclose(pkMaps);
    return bFound;
}
} // namespace os
