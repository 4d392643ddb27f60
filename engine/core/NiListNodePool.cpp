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
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    if (s_pkFreeList == nullptr)
    {
        NiListNode* pkBlock = new NiListNode[BLOCK_NODES];
        for (std::uint32_t i = 1; i + 1 < BLOCK_NODES; ++i)
        {
            pkBlock[i].m_pkNext = &pkBlock[i + 1];
            pkBlock[i].m_pkPrev = nullptr;
        }
        pkBlock[BLOCK_NODES - 1].m_pkNext = nullptr;
        pkBlock[0].m_pkNext = s_pkBlockList;
        s_pkBlockList = pkBlock;
        s_pkFreeList = &pkBlock[1];
        ++s_uiBlocks;
    }
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
    NiRecursiveLockGuard kGuard(NiListNodePoolLock());
    pkNode->m_pkPrev = nullptr;
    pkNode->m_pkNext = s_pkFreeList;
    s_pkFreeList = pkNode;
    if (s_uiInUse > 0)
        --s_uiInUse;
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
