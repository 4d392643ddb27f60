#include "engine/core/NiListNodePool.h"

#include "engine/core/NiRecursiveLock.h"

#include <cassert>
#include <cstring>

namespace
{
NiListNode* s_pkFreeList = nullptr;
NiListNode* s_pkBlockList = nullptr;
std::uint32_t s_uiBlocks = 0;
std::uint32_t s_uiInUse = 0;
bool s_bFreeAllPending = false;

// The open batches of this thread and the nodes its chain holds.
struct ThreadChain
{
    std::uint32_t m_uiDepth = 0;
    std::uint32_t m_uiCount = 0;
    NiListNode* m_pkHead = nullptr;
    NiListNode* m_pkTail = nullptr;

    void Push(NiListNode* pkNode)
    {
        pkNode->m_pkNext = m_pkHead;
        if (m_pkHead == nullptr)
            m_pkTail = pkNode;
        m_pkHead = pkNode;
        ++m_uiCount;
    }
};
constinit thread_local ThreadChain t_kChain;
// Nodes a chain takes from the pool at once.
constexpr std::uint32_t REFILL_NODES = 64;

NiListNode* NewBlockLocked()
{
    NiListNode* pkBlock = new NiListNode[NiListNodePool::BLOCK_NODES];
    for (std::uint32_t i = 1; i + 1 < NiListNodePool::BLOCK_NODES; ++i)
    {
        pkBlock[i].m_pkNext = &pkBlock[i + 1];
        pkBlock[i].m_pkPrev = nullptr;
    }
    pkBlock[NiListNodePool::BLOCK_NODES - 1].m_pkNext = nullptr;
    pkBlock[0].m_pkNext = s_pkBlockList;
    s_pkBlockList = pkBlock;
    ++s_uiBlocks;
    return &pkBlock[1];
}

void FreeBlocksLocked()
{
    NiListNode* pkBlock = s_pkBlockList;
    while (pkBlock != nullptr)
    {
        NiListNode* pkNext = pkBlock->m_pkNext;
        delete[] pkBlock;
        pkBlock = pkNext;
    }
    s_pkBlockList = nullptr;
    s_pkFreeList = nullptr;
    s_uiBlocks = 0;
    s_bFreeAllPending = false;
}
} // namespace

NiListNode* NiListNodePool::Allocate()
{
    ThreadChain& kChain = t_kChain;
    if (kChain.m_uiDepth > 0)
    {
        if (kChain.m_pkHead == nullptr)
        {
            // Taken nodes count as in use from here on.
            NiRecursiveLockGuard kGuard(NiListNodePoolLock());
            for (std::uint32_t i = 0; i < REFILL_NODES; ++i)
            {
                if (s_pkFreeList == nullptr)
                    s_pkFreeList = NewBlockLocked();
                NiListNode* pkNode = s_pkFreeList;
                s_pkFreeList = pkNode->m_pkNext;
                kChain.Push(pkNode);
            }
            s_uiInUse += REFILL_NODES;
        }
        NiListNode* pkNode = kChain.m_pkHead;
        kChain.m_pkHead = pkNode->m_pkNext;
        if (kChain.m_pkHead == nullptr)
            kChain.m_pkTail = nullptr;
        --kChain.m_uiCount;
        pkNode->m_pkNext = nullptr;
        pkNode->m_pkPrev = nullptr;
        pkNode->m_pvElement = nullptr;
        return pkNode;
    }
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    if (s_pkFreeList == nullptr)
        s_pkFreeList = NewBlockLocked();
    NiListNode* pkNode = s_pkFreeList;
    s_pkFreeList = pkNode->m_pkNext;
    pkNode->m_pkNext = nullptr;
    pkNode->m_pkPrev = nullptr;
    pkNode->m_pvElement = nullptr;
    ++s_uiInUse;
    return pkNode;
}

void NiListNodePool::Free(NiListNode* pkNode)
{
    // Lists only give back nodes they took: null means a list lost track.
    assert(pkNode != nullptr && "list-node pool asked to free null");
    if (pkNode == nullptr)
        return;
    ThreadChain& kChain = t_kChain;
    if (kChain.m_uiDepth > 0)
    {
        // Still counted in use: it goes back with the chain.
        pkNode->m_pkPrev = nullptr;
        pkNode->m_pvElement = nullptr;
        kChain.Push(pkNode);
        return;
    }
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    pkNode->m_pkPrev = nullptr;
    pkNode->m_pkNext = s_pkFreeList;
    s_pkFreeList = pkNode;
    if (s_uiInUse > 0)
        --s_uiInUse;
    if (s_uiInUse == 0 && s_bFreeAllPending)
        FreeBlocksLocked();
}

NiListNodePool::Batch::Batch()
{
    ++t_kChain.m_uiDepth;
}

NiListNodePool::Batch::~Batch()
{
    ThreadChain& kChain = t_kChain;
    if (--kChain.m_uiDepth > 0 || kChain.m_pkHead == nullptr)
        return;
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    kChain.m_pkTail->m_pkNext = s_pkFreeList;
    s_pkFreeList = kChain.m_pkHead;
    s_uiInUse = s_uiInUse > kChain.m_uiCount ? s_uiInUse - kChain.m_uiCount : 0;
    kChain.m_pkHead = nullptr;
    kChain.m_pkTail = nullptr;
    kChain.m_uiCount = 0;
    if (s_uiInUse == 0 && s_bFreeAllPending)
        FreeBlocksLocked();
}

void NiListNodePool::FreeAll()
{
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    if (s_uiInUse == 0)
        FreeBlocksLocked();
    else
        s_bFreeAllPending = true;
}

std::uint32_t NiListNodePool::GetBlockCount()
{
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    return s_uiBlocks;
}

std::uint32_t NiListNodePool::GetNodesInUse()
{
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    return s_uiInUse;
}

bool NiListNodePool::IsFreeAllPending()
{
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    return s_bFreeAllPending;
}
