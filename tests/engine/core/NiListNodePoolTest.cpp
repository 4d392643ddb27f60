#include "engine/core/NiListNodePool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace
{
class NiListNodePoolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // A test that leaked nodes would leave the pool half used; nothing
        // here can be checked from such a state.
        ASSERT_EQ(NiListNodePool::GetNodesInUse(), 0u);
        NiListNodePool::FreeAll();
        ASSERT_EQ(NiListNodePool::GetBlockCount(), 0u);
        ASSERT_FALSE(NiListNodePool::IsFreeAllPending());
    }
    void TearDown() override
    {
        for (NiListNode* pkNode : m_kTaken)
            NiListNodePool::Free(pkNode);
        m_kTaken.clear();
        EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
        NiListNodePool::FreeAll();
    }

    NiListNode* Take()
    {
        NiListNode* pkNode = NiListNodePool::Allocate();
        m_kTaken.push_back(pkNode);
        return pkNode;
    }

    std::vector<NiListNode*> m_kTaken;
};
} // namespace

TEST_F(NiListNodePoolTest, FirstBlockServes2047NodesInAddressOrderAndThe2048thOpensAnother)
{
    NiListNode* pkFirst = Take();
    ASSERT_EQ(NiListNodePool::GetBlockCount(), 1u);
    for (std::uint32_t i = 1; i < NiListNodePool::BLOCK_NODES - 1; ++i)
    {
        NiListNode* pkNode = Take();
        if (pkNode != pkFirst + i)
        {
            SCOPED_TRACE(i);
            ADD_FAILURE() << "allocation " << i << " is not the block's next node";
            break;
        }
    }
    // 2047 nodes out of one 2048-node block: the block link is the one node
    // before the first, so the first allocation was node 1.
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 1u);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 2047u);

    NiListNode* pkSecondBlock = Take();
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 2u);
    EXPECT_TRUE(pkSecondBlock < pkFirst - 1 || pkSecondBlock >= pkFirst + 2047) << "a node of the new block";
    NiListNode* pkNext = Take();
    EXPECT_EQ(pkNext, pkSecondBlock + 1);
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 2u);
}

TEST_F(NiListNodePoolTest, AFreedNodeIsTheNextAllocatedAndComesBackZeroed)
{
    NiListNode* pkA = NiListNodePool::Allocate();
    NiListNode* pkB = NiListNodePool::Allocate();
    NiListNode* pkC = Take();
    pkA->m_pvElement = pkC;
    pkA->m_pkNext = pkC;
    pkA->m_pkPrev = pkC;
    pkB->m_pvElement = pkC;

    NiListNodePool::Free(pkA);
    NiListNodePool::Free(pkB);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 1u);

    // Last freed, first out.
    NiListNode* pkAgain = Take();
    EXPECT_EQ(pkAgain, pkB);
    EXPECT_EQ(pkAgain->m_pvElement, nullptr);
    EXPECT_EQ(pkAgain->m_pkNext, nullptr);
    EXPECT_EQ(pkAgain->m_pkPrev, nullptr);
    NiListNode* pkThen = Take();
    EXPECT_EQ(pkThen, pkA);
    EXPECT_EQ(pkThen->m_pvElement, nullptr);
    EXPECT_EQ(pkThen->m_pkNext, nullptr);
    EXPECT_EQ(pkThen->m_pkPrev, nullptr);
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 1u);
}

TEST_F(NiListNodePoolTest, FreeAllWithNodesOutWaitsForTheLastOne)
{
    NiListNode* pkA = NiListNodePool::Allocate();
    NiListNode* pkB = NiListNodePool::Allocate();
    pkA->m_pvElement = pkB;

    NiListNodePool::FreeAll();
    EXPECT_TRUE(NiListNodePool::IsFreeAllPending());
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 1u);
    // Nodes still out stay usable (ASan: no use after free).
    pkB->m_pvElement = pkA;
    EXPECT_EQ(pkA->m_pvElement, pkB);

    NiListNodePool::Free(pkA);
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 1u);
    NiListNodePool::Free(pkB);
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 0u);
    EXPECT_FALSE(NiListNodePool::IsFreeAllPending());

    // The pool starts afresh afterwards.
    Take();
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 1u);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 1u);
}

TEST_F(NiListNodePoolTest, FreeAllWithNothingOutFreesEveryBlockAtOnce)
{
    std::vector<NiListNode*> kNodes;
    for (std::uint32_t i = 0; i < 2 * NiListNodePool::BLOCK_NODES; ++i)
        kNodes.push_back(NiListNodePool::Allocate());
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 3u);
    for (NiListNode* pkNode : kNodes)
        NiListNodePool::Free(pkNode);
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 3u) << "freeing nodes keeps their blocks";

    NiListNodePool::FreeAll();
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 0u);
    EXPECT_FALSE(NiListNodePool::IsFreeAllPending());
    NiListNodePool::FreeAll(); // twice is harmless
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 0u);
}

TEST_F(NiListNodePoolTest, ABatchKeepsItsThreadsNodesUntilTheOutermostBatchCloses)
{
    NiListNode* pkOut = NiListNodePool::Allocate();
    {
        NiListNodePool::Batch kOuter;
        // Allocations take several nodes at once, all counted in use.
        std::vector<NiListNode*> kNodes;
        for (int i = 0; i < 100; ++i)
        {
            NiListNode* pkNode = NiListNodePool::Allocate();
            EXPECT_EQ(pkNode->m_pkNext, nullptr);
            EXPECT_EQ(pkNode->m_pkPrev, nullptr);
            EXPECT_EQ(pkNode->m_pvElement, nullptr);
            pkNode->m_pvElement = pkNode;
            pkNode->m_pkNext = pkOut;
            kNodes.push_back(pkNode);
        }
        const std::uint32_t uiInUse = NiListNodePool::GetNodesInUse();
        EXPECT_GE(uiInUse, 101u);
        {
            NiListNodePool::Batch kInner;
            for (NiListNode* pkNode : kNodes)
                NiListNodePool::Free(pkNode);
            NiListNodePool::Free(pkOut);
        }
        // A freed node waits in the thread's chain: the next one taken,
        // zeroed; the pool still counts the chain in use.
        EXPECT_EQ(NiListNodePool::GetNodesInUse(), uiInUse);
        NiListNode* pkAgain = NiListNodePool::Allocate();
        EXPECT_EQ(pkAgain, pkOut);
        EXPECT_EQ(pkAgain->m_pkNext, nullptr);
        EXPECT_EQ(pkAgain->m_pvElement, nullptr);
        NiListNodePool::Free(pkAgain);
        // FreeAll waits for the chain, whose blocks stay usable.
        NiListNodePool::FreeAll();
        EXPECT_TRUE(NiListNodePool::IsFreeAllPending());
        EXPECT_EQ(NiListNodePool::GetBlockCount(), 1u);
    }
    // The outermost batch gave everything back: the pending FreeAll ran.
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
    EXPECT_EQ(NiListNodePool::GetBlockCount(), 0u);
    EXPECT_FALSE(NiListNodePool::IsFreeAllPending());

    // Outside a batch every node goes back at once, as before.
    NiListNode* pkA = NiListNodePool::Allocate();
    NiListNodePool::Free(pkA);
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
}

TEST_F(NiListNodePoolTest, FreeingNullStopsADebugBuildAndChangesNothingElse)
{
    Take();
#ifndef NDEBUG
    // A list giving back null has lost track of its nodes: a caller bug.
    EXPECT_DEATH(NiListNodePool::Free(nullptr), "list-node pool asked to free null");
#else
    NiListNodePool::Free(nullptr);
#endif
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 1u);
}

TEST_F(NiListNodePoolTest, ThreadsNeverShareANode)
{
    // Each thread stamps its nodes with its own marks and checks them before
    // giving them back; a node handed out twice would carry a foreign mark.
    constexpr int THREADS = 4;
    constexpr int ROUNDS = 200;
    constexpr int NODES = 300;
    bool abClean[THREADS] = {};
    auto fnWork = [&abClean](int iThread) {
        bool bClean = true;
        std::vector<NiListNode*> kNodes(NODES);
        for (int r = 0; r < ROUNDS; ++r)
        {
            for (int i = 0; i < NODES; ++i)
            {
                kNodes[i] = NiListNodePool::Allocate();
                bClean = bClean && kNodes[i]->m_pvElement == nullptr;
                kNodes[i]->m_pvElement = reinterpret_cast<void*>(static_cast<std::uintptr_t>(iThread * 100000 + i + 1));
            }
            for (int i = 0; i < NODES; ++i)
            {
                bClean = bClean && kNodes[i]->m_pvElement ==
                                       reinterpret_cast<void*>(static_cast<std::uintptr_t>(iThread * 100000 + i + 1));
                NiListNodePool::Free(kNodes[i]);
            }
        }
        abClean[iThread] = bClean;
    };
    std::vector<std::thread> kThreads;
    for (int t = 0; t < THREADS; ++t)
        kThreads.emplace_back(fnWork, t);
    for (std::thread& kThread : kThreads)
        kThread.join();
    for (int t = 0; t < THREADS; ++t)
    {
        SCOPED_TRACE(t);
        EXPECT_TRUE(abClean[t]);
    }
    EXPECT_EQ(NiListNodePool::GetNodesInUse(), 0u);
    EXPECT_LE(NiListNodePool::GetBlockCount(), 1u) << "1200 nodes at most out at once";
}
