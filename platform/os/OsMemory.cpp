#include "platform/os/OsMemory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifndef MADV_COLLAPSE
#define MADV_COLLAPSE 25
#endif

namespace os
{
namespace
{
using FileHandle = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FileHandle OpenForReading(const char* pcPath)
{
    return FileHandle(std::fopen(pcPath, "r"), &std::fclose);
}

// getline's buffer, grown by getline itself.
struct LineBuffer
{
    LineBuffer() = default;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() { std::free(m_pcText); }
    char* m_pcText = nullptr;
    std::size_t m_uiCapacity = 0;
};

// The first line of a kernel setting file; empty when it cannot be read.
std::string ReadSetting(const char* pcPath)
{
    const FileHandle kFile = OpenForReading(pcPath);
    char acLine[128] = {};
    return kFile && std::fgets(acLine, sizeof(acLine), kFile.get()) != nullptr ? acLine : "";
}

// The size of the large pages the kernel backs a range with when asked, or
// 0 when it does not: its mode is "never" (or it has none). 2 MiB where the
// kernel does not say.
std::uintptr_t LargePageSize()
{
    const std::string kMode = ReadSetting("/sys/kernel/mm/transparent_hugepage/enabled");
    if (kMode.find("[always]") == std::string::npos && kMode.find("[madvise]") == std::string::npos)
        return 0;
    const std::uintptr_t uiSize =
        std::strtoull(ReadSetting("/sys/kernel/mm/transparent_hugepage/hpage_pmd_size").c_str(), nullptr, 10);
    // A power of two, as every page size is; anything else is not trusted.
    return uiSize != 0 && (uiSize & (uiSize - 1)) == 0 ? uiSize : std::uintptr_t{2} << 20;
}
} // namespace

bool GatherHeapIntoLargePages()
{
    const std::uintptr_t uiLarge = LargePageSize();
    const long lPage = sysconf(_SC_PAGESIZE);
    if (uiLarge == 0 || lPage <= 0 || uiLarge <= static_cast<std::uintptr_t>(lPage))
        return false;
    const FileHandle kMaps = OpenForReading("/proc/self/maps");
    if (!kMaps)
        return false;
    const std::size_t uiPagesPerLarge = uiLarge / static_cast<std::uintptr_t>(lPage);
    std::vector<unsigned char> kResident(uiPagesPerLarge);
    // Lines can be as long as a path: getline takes any length.
    LineBuffer kLine;
    bool bFound = false;
    while (getline(&kLine.m_pcText, &kLine.m_uiCapacity, kMaps.get()) > 0)
    {
        const char* pcLine = kLine.m_pcText;
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
        for (std::uintptr_t uiAt = (uiStart + uiLarge - 1) & ~(uiLarge - 1); uiAt + uiLarge <= uiStop; uiAt += uiLarge)
        {
            if (mincore(reinterpret_cast<void*>(uiAt), uiLarge, kResident.data()) != 0)
                continue;
            std::size_t uiIn = 0;
            for (unsigned char ucPage : kResident)
                uiIn += ucPage & 1u;
            // One already gathered reads as wholly resident and is passed
            // over quickly by the kernel; a kernel without synchronous
            // gathering refuses every one, which changes nothing.
            if (uiIn * 8 >= uiPagesPerLarge * 7)
                (void)madvise(reinterpret_cast<void*>(uiAt), uiLarge, MADV_COLLAPSE);
        }
    }
    return bFound;
}

bool ReturnFreeHeapPages()
{
    // No pad kept at the top: the next level grows the heap as it needs.
    return malloc_trim(0) != 0;
}
} // namespace os
