#include "engine/core/NiRefObject.h"

#include <cstdint>
#include <mutex>

namespace
{
// A count may go negative on a thread that frees what another made.
// Counters are never freed: a thread that ends leaves its count in the sum.
struct alignas(64) ThreadCount
{
    std::atomic<std::int64_t> m_iCount{0};
    ThreadCount* m_pkNext = nullptr;
};

std::mutex s_kThreadsMutex;
ThreadCount* s_pkThreads = nullptr;
} // namespace

constinit thread_local std::atomic<std::int64_t>* NiRefObject::s_piLiveCount = nullptr;

void NiRefObject::AddToNewLiveCount(std::int64_t iDelta)
{
    auto* pkCount = new ThreadCount;
    {
        std::lock_guard<std::mutex> kLock(s_kThreadsMutex);
        pkCount->m_pkNext = s_pkThreads;
        s_pkThreads = pkCount;
    }
    s_piLiveCount = &pkCount->m_iCount;
    AddToLiveCount(iDelta);
}

void NiRefObject::DeleteInBatch()
{
    NiLoadArena::FreeBatch kBatch;
    DeleteThis();
}

std::uint32_t NiRefObject::GetTotalObjectCount()
{
    std::int64_t iTotal = 0;
    std::lock_guard<std::mutex> kLock(s_kThreadsMutex);
    for (const ThreadCount* pk = s_pkThreads; pk != nullptr; pk = pk->m_pkNext)
        iTotal += pk->m_iCount.load(std::memory_order_acquire);
    return static_cast<std::uint32_t>(iTotal);
}
