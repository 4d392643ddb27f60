#include "engine/core/NiRefObject.h"

#include <cstdint>
#include <mutex>

namespace
{
// The live count is kept per thread, so making and freeing an object takes
// no locked instruction (a load makes and frees them by the hundred
// thousand); the total is the sum. A count may go negative on a thread that
// frees what another made. Counters are never freed: a thread that ends
// leaves its count in the sum.
struct alignas(64) ThreadCount
{
    std::atomic<std::int64_t> m_iCount{0};
    ThreadCount* m_pkNext = nullptr;
};

std::mutex s_kThreadsMutex;
ThreadCount* s_pkThreads = nullptr;
thread_local ThreadCount* t_pkCount = nullptr;

ThreadCount& OwnCount()
{
    if (t_pkCount == nullptr)
    {
        auto* pkCount = new ThreadCount;
        std::lock_guard<std::mutex> kLock(s_kThreadsMutex);
        pkCount->m_pkNext = s_pkThreads;
        s_pkThreads = pkCount;
        t_pkCount = pkCount;
    }
    return *t_pkCount;
}

void AddToOwnCount(std::int64_t iDelta)
{
    // Only this thread writes its counter: a plain add, published relaxed.
    std::atomic<std::int64_t>& kCount = OwnCount().m_iCount;
    kCount.store(kCount.load(std::memory_order_relaxed) + iDelta, std::memory_order_relaxed);
}
} // namespace

NiRefObject::NiRefObject()
{
    AddToOwnCount(1);
}

NiRefObject::~NiRefObject()
{
    AddToOwnCount(-1);
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
