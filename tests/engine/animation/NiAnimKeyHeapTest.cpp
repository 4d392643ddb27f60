#include "engine/animation/NiAnimKeyHeap.h"

#include "engine/animation/NiAnimKey.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace
{
struct Block
{
    std::uint8_t* m_pucBytes;
    std::size_t m_uiBytes;
    std::uint32_t m_uiClass;
};

bool AllBytesAre(const std::uint8_t* puc, std::size_t uiBytes, std::uint8_t ucValue)
{
    return std::all_of(puc, puc + uiBytes, [ucValue](std::uint8_t uc) { return uc == ucValue; });
}

Block Take(std::size_t uiBytes)
{
    std::uint32_t uiClass = 12345;
    void* pv = NiAnimKeyHeap::Allocate(uiBytes, uiClass);
    return {static_cast<std::uint8_t*>(pv), uiBytes, uiClass};
}
} // namespace

TEST(NiAnimKeyHeapTest, EachSizeGetsTheSmallestClassThatHoldsIt)
{
    std::uint32_t uiPrevious = 0;
    for (std::size_t uiBytes = 1; uiBytes <= NiAnimKeyHeap::LARGEST_CLASS; ++uiBytes)
    {
        SCOPED_TRACE(uiBytes);
        const std::uint32_t uiClass = NiAnimKeyHeap::ClassOf(uiBytes);
        ASSERT_LT(uiClass, NiAnimKeyHeap::CLASS_COUNT);
        const std::size_t uiClassBytes = NiAnimKeyHeap::ClassBytes(uiClass);
        ASSERT_GE(uiClassBytes, uiBytes);
        ASSERT_EQ(uiClassBytes % NiAnimKeyHeap::ALIGNMENT, 0u);
        if (uiClass > 0)
        {
            ASSERT_LT(NiAnimKeyHeap::ClassBytes(uiClass - 1), uiBytes);
        }
        // Classes never skip one, and above 256 bytes waste at most an eighth.
        ASSERT_TRUE(uiClass == uiPrevious || uiClass == uiPrevious + 1);
        if (uiBytes > 256)
        {
            ASSERT_LE(uiClassBytes - uiBytes, uiBytes / 8);
        }
        uiPrevious = uiClass;
    }
    EXPECT_EQ(uiPrevious, NiAnimKeyHeap::CLASS_COUNT - 1);
    EXPECT_EQ(NiAnimKeyHeap::ClassBytes(NiAnimKeyHeap::CLASS_COUNT - 1), NiAnimKeyHeap::LARGEST_CLASS);
    EXPECT_EQ(NiAnimKeyHeap::ClassOf(NiAnimKeyHeap::LARGEST_CLASS + 1), NiAnimKeyHeap::GENERAL);
    EXPECT_EQ(NiAnimKeyHeap::ClassBytes(NiAnimKeyHeap::GENERAL), 0u);
}

TEST(NiAnimKeyHeapTest, BlocksAreZeroedAlignedAndApart)
{
    // Sizes of every class and a few past the largest, each written full
    // with its own byte: an overlap shows as another block's byte.
    std::vector<Block> kBlocks;
    for (int iRound = 0; iRound < 3; ++iRound)
    {
        for (std::size_t uiBytes = 1; uiBytes <= NiAnimKeyHeap::LARGEST_CLASS + 4096; uiBytes += 97)
        {
            Block kBlock = Take(uiBytes);
            ASSERT_NE(kBlock.m_pucBytes, nullptr);
            ASSERT_EQ(reinterpret_cast<std::uintptr_t>(kBlock.m_pucBytes) % NiAnimKeyHeap::ALIGNMENT, 0u);
            ASSERT_TRUE(AllBytesAre(kBlock.m_pucBytes, uiBytes, 0)) << uiBytes;
            if (uiBytes > NiAnimKeyHeap::LARGEST_CLASS)
                EXPECT_EQ(kBlock.m_uiClass, NiAnimKeyHeap::GENERAL);
            else
                EXPECT_NE(kBlock.m_uiClass, 12345u);
            std::memset(kBlock.m_pucBytes, static_cast<int>(kBlocks.size() % 251 + 1), uiBytes);
            kBlocks.push_back(kBlock);
        }
    }
    for (std::size_t i = 0; i < kBlocks.size(); ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_TRUE(AllBytesAre(kBlocks[i].m_pucBytes, kBlocks[i].m_uiBytes, static_cast<std::uint8_t>(i % 251 + 1)));
    }
    for (const Block& kBlock : kBlocks)
        NiAnimKeyHeap::Free(kBlock.m_pucBytes, kBlock.m_uiClass);
    NiAnimKeyHeap::Free(nullptr, 0);
}

TEST(NiAnimKeyHeapTest, AFreedBlockComesBackZeroed)
{
    for (std::size_t uiBytes : {std::size_t{16}, std::size_t{200}, std::size_t{1616}, std::size_t{16384}})
    {
        SCOPED_TRACE(uiBytes);
        std::vector<Block> kBlocks;
        for (int i = 0; i < 64; ++i)
        {
            kBlocks.push_back(Take(uiBytes));
            std::memset(kBlocks.back().m_pucBytes, 0xA5, uiBytes);
        }
        for (const Block& kBlock : kBlocks)
            NiAnimKeyHeap::Free(kBlock.m_pucBytes, kBlock.m_uiClass);
        for (int i = 0; i < 64; ++i)
        {
            kBlocks[static_cast<std::size_t>(i)] = Take(uiBytes);
            ASSERT_TRUE(AllBytesAre(kBlocks[static_cast<std::size_t>(i)].m_pucBytes, uiBytes, 0)) << i;
        }
        for (const Block& kBlock : kBlocks)
            NiAnimKeyHeap::Free(kBlock.m_pucBytes, kBlock.m_uiClass);
    }
}

TEST(NiAnimKeyHeapTest, ThreadsShareTheHeap)
{
    // Each thread keeps blocks filled with its own byte and checks them
    // before giving them back: a block handed out twice shows the other's.
    constexpr int THREADS = 4;
    constexpr int ROUNDS = 3000;
    std::vector<int> kBad(THREADS, 0);
    std::vector<std::thread> kThreads;
    for (int t = 0; t < THREADS; ++t)
    {
        kThreads.emplace_back([t, &kBad] {
            std::vector<Block> kHeld;
            std::uint32_t uiState = 0x9E3779B9u * static_cast<std::uint32_t>(t + 1);
            for (int r = 0; r < ROUNDS; ++r)
            {
                uiState = uiState * 1664525u + 1013904223u;
                const std::size_t uiBytes = 1 + (uiState >> 8) % 4000;
                kHeld.push_back(Take(uiBytes));
                if (!AllBytesAre(kHeld.back().m_pucBytes, uiBytes, 0))
                    ++kBad[static_cast<std::size_t>(t)];
                std::memset(kHeld.back().m_pucBytes, t + 1, uiBytes);
                if ((uiState >> 4) % 3 == 0 || kHeld.size() > 64)
                {
                    const std::size_t uiAt = (uiState >> 12) % kHeld.size();
                    const Block kBlock = kHeld[uiAt];
                    if (!AllBytesAre(kBlock.m_pucBytes, kBlock.m_uiBytes, static_cast<std::uint8_t>(t + 1)))
                        ++kBad[static_cast<std::size_t>(t)];
                    NiAnimKeyHeap::Free(kBlock.m_pucBytes, kBlock.m_uiClass);
                    kHeld[uiAt] = kHeld.back();
                    kHeld.pop_back();
                }
            }
            for (const Block& kBlock : kHeld)
                NiAnimKeyHeap::Free(kBlock.m_pucBytes, kBlock.m_uiClass);
        });
    }
    for (std::thread& kThread : kThreads)
        kThread.join();
    for (int t = 0; t < THREADS; ++t)
        EXPECT_EQ(kBad[static_cast<std::size_t>(t)], 0) << t;
}

TEST(NiAnimKeyHeapTest, KeyArraysKeepTheirCountOnEitherHeap)
{
    // From the runs and, past the largest class, from the general heap.
    for (std::uint32_t uiCount : {0u, 1u, 100u, 819u, 5000u})
    {
        SCOPED_TRACE(uiCount);
        NiAnimKey* pkKeys = NiAnimKey::AllocateArray(uiCount, sizeof(NiRotKey));
        ASSERT_NE(pkKeys, nullptr);
        EXPECT_EQ(NiAnimKey::GetArrayCount(pkKeys), uiCount);
        if (uiCount > 0)
        {
            auto* pkLast = static_cast<NiRotKey*>(NiAnimKey::At(pkKeys, uiCount - 1, sizeof(NiRotKey)));
            EXPECT_EQ(pkLast->m_fTime, 0.0f);
            pkLast->m_kQuat = NiQuat(1.0f, 2.0f, 3.0f, 4.0f);
        }
        NiAnimKey::FreeArray(pkKeys);
    }
}
