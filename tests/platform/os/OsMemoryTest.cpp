#include "platform/os/OsMemory.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVANE_SANITIZED_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define ORVANE_SANITIZED_ALLOCATOR 1
#endif
#endif

namespace
{
#ifdef ORVANE_SANITIZED_ALLOCATOR
constexpr bool SANITIZED_ALLOCATOR = true;
#else
constexpr bool SANITIZED_ALLOCATOR = false;
#endif

struct Range
{
    std::uintptr_t m_uiStart = 0;
    std::uintptr_t m_uiStop = 0;
};

std::string ReadText(const char* pcPath)
{
    std::ifstream kIn(pcPath);
    std::stringstream kText;
    kText << kIn.rdbuf();
    return kText.str();
}

bool KernelOffersLargePages()
{
    const std::string kMode = ReadText("/sys/kernel/mm/transparent_hugepage/enabled");
    return kMode.find("[always]") != std::string::npos || kMode.find("[madvise]") != std::string::npos;
}

std::vector<Range> HeapRanges()
{
    std::vector<Range> kRanges;
    std::istringstream kMaps(ReadText("/proc/self/maps"));
    for (std::string kLine; std::getline(kMaps, kLine);)
    {
        if (kLine.find("[heap]") == std::string::npos)
            continue;
        Range kRange;
        std::size_t uiDash = kLine.find('-');
        kRange.m_uiStart = std::stoull(kLine.substr(0, uiDash), nullptr, 16);
        kRange.m_uiStop = std::stoull(kLine.substr(uiDash + 1), nullptr, 16);
        kRanges.push_back(kRange);
    }
    return kRanges;
}

// The "AnonHugePages:" kilobytes of the heap's mappings in smaps.
long HeapLargePageKilobytes()
{
    long lTotal = 0;
    std::istringstream kMaps(ReadText("/proc/self/smaps"));
    bool bInHeap = false;
    for (std::string kLine; std::getline(kMaps, kLine);)
    {
        const std::size_t uiDash = kLine.find('-');
        const std::size_t uiSpace = kLine.find(' ');
        if (uiDash != std::string::npos && uiSpace != std::string::npos && uiDash < uiSpace &&
            kLine.find(':') > uiSpace)
            bInHeap = kLine.find("[heap]") != std::string::npos;
        else if (bInHeap && kLine.rfind("AnonHugePages:", 0) == 0)
            lTotal += std::stol(kLine.substr(14));
    }
    return lTotal;
}

// Whether this kernel gathers a range on request: tried on a mapping of
// the test's own, filled.
bool KernelGathersOnRequest()
{
    constexpr std::size_t BYTES = std::size_t{4} << 20;
    void* pvMap = mmap(nullptr, BYTES, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pvMap == MAP_FAILED)
        return false;
    std::memset(pvMap, 1, BYTES);
    const std::uintptr_t uiAligned =
        (reinterpret_cast<std::uintptr_t>(pvMap) + (std::uintptr_t{2} << 20) - 1) & ~((std::uintptr_t{2} << 20) - 1);
    const bool bGathered = madvise(reinterpret_cast<void*>(uiAligned), std::size_t{2} << 20, 25) == 0;
    munmap(pvMap, BYTES);
    return bGathered;
}

TEST(OsMemoryTest, GathersTheFilledHeapIntoLargePagesAndKeepsWhatItHolds)
{
    // Enough small blocks, all written, for the allocator to grow its heap
    // by whole large pages (under the sanitizers they come from elsewhere:
    // no heap to speak of then).
    constexpr std::size_t BLOCKS = 2048;
    constexpr std::size_t BLOCK_BYTES = 4000;
    std::vector<std::unique_ptr<std::uint32_t[]>> kBlocks;
    for (std::size_t i = 0; i < BLOCKS; ++i)
    {
        kBlocks.push_back(std::make_unique<std::uint32_t[]>(BLOCK_BYTES / 4));
        for (std::size_t j = 0; j < BLOCK_BYTES / 4; ++j)
            kBlocks.back()[j] = static_cast<std::uint32_t>(i * 7919u + j);
    }
    std::size_t uiHeapBytes = 0;
    for (const Range& kRange : HeapRanges())
        uiHeapBytes += kRange.m_uiStop - kRange.m_uiStart;

    const bool bGathered = os::GatherHeapIntoLargePages();
    EXPECT_EQ(bGathered, KernelOffersLargePages() && uiHeapBytes > 0);
    // Gathering moves pages, never their contents.
    std::size_t uiWrong = 0;
    for (std::size_t i = 0; i < BLOCKS; ++i)
        for (std::size_t j = 0; j < BLOCK_BYTES / 4; ++j)
            uiWrong += kBlocks[i][j] != static_cast<std::uint32_t>(i * 7919u + j);
    EXPECT_EQ(uiWrong, 0u);
    // The blocks filled several whole large pages of a heap this size.
    if (bGathered && uiHeapBytes >= (std::size_t{8} << 20) && KernelGathersOnRequest())
    {
        EXPECT_GE(HeapLargePageKilobytes(), 2048);
    }
    // A second call finds the same heap and says so again.
    EXPECT_EQ(os::GatherHeapIntoLargePages(), bGathered);
}
// The resident kilobytes of the process ("VmRSS:").
long ResidentKilobytes()
{
    std::istringstream kStatus(ReadText("/proc/self/status"));
    for (std::string kLine; std::getline(kStatus, kLine);)
        if (kLine.rfind("VmRSS:", 0) == 0)
            return std::stol(kLine.substr(6));
    return -1;
}

TEST(OsMemoryTest, FreedPagesInTheHeapsMiddleGoBackToTheSystemAndWhatIsHeldStays)
{
    // 48 MB in blocks the allocator keeps in its heap, all written; one
    // block made after them stays, so the heap's top cannot shrink and
    // only the middle can go back.
    constexpr std::size_t BLOCKS = 768;
    constexpr std::size_t BLOCK_BYTES = 64000;
    std::vector<std::unique_ptr<std::uint8_t[]>> kBlocks;
    for (std::size_t i = 0; i < BLOCKS; ++i)
    {
        kBlocks.push_back(std::make_unique<std::uint8_t[]>(BLOCK_BYTES));
        std::memset(kBlocks.back().get(), static_cast<int>(i & 0xFF) | 1, BLOCK_BYTES);
    }
    auto pkKept = std::make_unique<std::uint8_t[]>(BLOCK_BYTES);
    std::memset(pkKept.get(), 0x5A, BLOCK_BYTES);
    const bool bInHeap = !HeapRanges().empty();
    const long lBefore = ResidentKilobytes();
    kBlocks.clear();
    const bool bReturned = os::ReturnFreeHeapPages();
    const long lAfter = ResidentKilobytes();
    std::size_t uiWrong = 0;
    for (std::size_t j = 0; j < BLOCK_BYTES; ++j)
        uiWrong += pkKept[j] != 0x5A;
    EXPECT_EQ(uiWrong, 0u);
    if (SANITIZED_ALLOCATOR)
        GTEST_SKIP() << "the sanitizers' allocators keep their own memory";
    ASSERT_TRUE(bInHeap);
    EXPECT_TRUE(bReturned);
    // Most of the 48 MB (about 46,900 KB) left the resident set.
    EXPECT_LT(lAfter, lBefore - 32000) << lBefore << " KB before, " << lAfter << " KB after";
}
} // namespace
