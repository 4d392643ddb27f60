#include "platform/os/OsMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace
{
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

// The "THPeligible:" values of the heap's mappings in smaps.
std::vector<int> HeapEligibility()
{
    std::vector<int> kValues;
    std::istringstream kMaps(ReadText("/proc/self/smaps"));
    bool bInHeap = false;
    for (std::string kLine; std::getline(kMaps, kLine);)
    {
        const std::size_t uiDash = kLine.find('-');
        const std::size_t uiSpace = kLine.find(' ');
        if (uiDash != std::string::npos && uiSpace != std::string::npos && uiDash < uiSpace &&
            kLine.find(':') > uiSpace)
            bInHeap = kLine.find("[heap]") != std::string::npos;
        else if (bInHeap && kLine.rfind("THPeligible:", 0) == 0)
            kValues.push_back(std::stoi(kLine.substr(12)));
    }
    return kValues;
}

TEST(OsMemoryTest, MarksTheHeapForLargePagesAndKeepsWhatItHolds)
{
    // Enough small blocks for the allocator to grow its heap by whole large
    // pages (under the sanitizers they come from elsewhere: no heap then).
    constexpr std::size_t BLOCKS = 2048;
    constexpr std::size_t BLOCK_BYTES = 4000;
    std::vector<std::unique_ptr<std::uint32_t[]>> kBlocks;
    for (std::size_t i = 0; i < BLOCKS; ++i)
    {
        kBlocks.push_back(std::make_unique<std::uint32_t[]>(BLOCK_BYTES / 4));
        for (std::size_t j = 0; j < BLOCK_BYTES / 4; ++j)
            kBlocks.back()[j] = static_cast<std::uint32_t>(i * 7919u + j);
    }
    const bool bHeap = !HeapRanges().empty();

    const bool bGathered = os::GatherHeapIntoLargePages();
    EXPECT_EQ(bGathered, KernelOffersLargePages() && bHeap);
    // Gathering moves pages, never their contents.
    std::size_t uiWrong = 0;
    for (std::size_t i = 0; i < BLOCKS; ++i)
        for (std::size_t j = 0; j < BLOCK_BYTES / 4; ++j)
            uiWrong += kBlocks[i][j] != static_cast<std::uint32_t>(i * 7919u + j);
    EXPECT_EQ(uiWrong, 0u);
    if (!bGathered)
        return;
    // Every heap mapping is now one the kernel backs with large pages.
    const std::vector<int> kEligible = HeapEligibility();
    ASSERT_FALSE(kEligible.empty());
    for (int iEligible : kEligible)
        EXPECT_EQ(iEligible, 1);
    // A second call finds the same heap and says so again.
    EXPECT_TRUE(os::GatherHeapIntoLargePages());
}
} // namespace
