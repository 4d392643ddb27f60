#pragma once

#include "engine/core/NiLoadArena.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

// Root of every engine object: an atomic reference count that deletes the
// object through its virtual destructor when the last reference goes, and a
// process-wide count of live objects (leak checks in tests rely on it).
class NiRefObject
{
public:
    NiRefObject() { AddToLiveCount(1); }
    virtual ~NiRefObject() { AddToLiveCount(-1); }

    NiRefObject(const NiRefObject&) = delete;
    NiRefObject& operator=(const NiRefObject&) = delete;

    // Objects a scene-file load makes come from its arena; all others from
    // the heap. Either way delete gives the memory back where it came from.
    static void* operator new(std::size_t uiBytes) { return NiLoadArena::Allocate(uiBytes); }
    static void* operator new(std::size_t uiBytes, const std::nothrow_t&) noexcept
    {
        return NiLoadArena::Allocate(uiBytes);
    }
    static void* operator new(std::size_t, void* pvPlace) noexcept { return pvPlace; }
    static void operator delete(void* pv) { NiLoadArena::Free(pv); }
    static void operator delete(void* pv, const std::nothrow_t&) noexcept { NiLoadArena::Free(pv); }
    static void operator delete(void*, void*) noexcept {}

    void IncRefCount() { m_uiRefCount.fetch_add(1, std::memory_order_relaxed); }
    // The first reference to an object just made: while its count is 0 no
    // other thread may count it (TryIncRefCount refuses a 0), so a plain
    // store does. Otherwise the same as IncRefCount.
    void IncRefCountFirst()
    {
        if (m_uiRefCount.load(std::memory_order_relaxed) == 0)
            m_uiRefCount.store(1, std::memory_order_relaxed);
        else
            m_uiRefCount.fetch_add(1, std::memory_order_relaxed);
    }
    // The same as IncRefCount without the locked instruction, for an object
    // no other thread can reach: its count may only change on this thread
    // until it is handed out (a load's objects while they are the load's
    // alone, see NiObjectStream::CountsPrivately).
    void IncRefCountPrivate()
    {
        m_uiRefCount.store(m_uiRefCount.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    // Lets go of a reference the same way; the last one goes as with
    // DecRefCount.
    void DecRefCountPrivate()
    {
        const std::uint32_t uiCount = m_uiRefCount.load(std::memory_order_relaxed);
        if ((uiCount & COUNT_MASK) > 1)
            m_uiRefCount.store(uiCount - 1, std::memory_order_relaxed);
        else
            DecRefCount();
    }
    void DecRefCount()
    {
        // A count of 1 is the caller's own reference: nobody else holds one
        // to copy, and only an object on an instance list can be counted up
        // from elsewhere meanwhile (TryIncRefCount). The last reference of
        // any other object therefore goes without a locked instruction (a
        // scene dies object by object); the acquire pairs with the release
        // of whoever let go before.
        // A listed object's word also holds LISTED, so it never reads 1.
        if (m_uiRefCount.load(std::memory_order_acquire) == 1)
        {
            m_uiRefCount.store(0, std::memory_order_relaxed);
            DeleteInBatch();
            return;
        }
        if ((m_uiRefCount.fetch_sub(1, std::memory_order_acq_rel) & COUNT_MASK) == 1)
            DeleteInBatch();
    }
    // Said once by an object that goes onto a process-wide instance list,
    // before the list can hand it out: its count may then grow from another
    // thread at any time.
    void MarkListed() { m_uiRefCount.fetch_or(LISTED, std::memory_order_relaxed); }
    // Adds a reference unless the count already reached 0: an object found
    // through a list that does not own it may be on its way to deletion, and
    // must then be left alone. False when the object is dying.
    [[nodiscard]] bool TryIncRefCount()
    {
        std::uint32_t uiCount = m_uiRefCount.load(std::memory_order_relaxed);
        while ((uiCount & COUNT_MASK) != 0)
        {
            if (m_uiRefCount.compare_exchange_weak(uiCount, uiCount + 1, std::memory_order_acquire,
                                                   std::memory_order_relaxed))
                return true;
        }
        return false;
    }
    [[nodiscard]] std::uint32_t GetRefCount() const
    {
        return m_uiRefCount.load(std::memory_order_relaxed) & COUNT_MASK;
    }

    // Exact when no other thread is making or freeing objects.
    [[nodiscard]] static std::uint32_t GetTotalObjectCount();

protected:
    // Runs once the count reached 0. A class that a list reaches without a
    // reference leaves that list here first, so nobody can find it while its
    // parts are destroyed.
    virtual void DeleteThis() { delete this; }

private:
    // DeleteThis with the memory of everything that dies with this object
    // given back in one batch.
    void DeleteInBatch();

    // The live count is kept per thread, so making and freeing an object
    // takes no locked instruction (a load makes and frees them by the
    // hundred thousand); the total is the sum. Only the owning thread writes
    // its counter. Null until the thread's first object.
    static constinit thread_local std::atomic<std::int64_t>* s_piLiveCount;
    static void AddToLiveCount(std::int64_t iDelta)
    {
        if (std::atomic<std::int64_t>* piCount = s_piLiveCount)
            piCount->store(piCount->load(std::memory_order_relaxed) + iDelta, std::memory_order_relaxed);
        else
            AddToNewLiveCount(iDelta);
    }
    // Registers this thread's counter first.
    static void AddToNewLiveCount(std::int64_t iDelta);

    // The count, and LISTED once the object went onto an instance list: a
    // member of its own would take the tail room of this class that derived
    // classes fill, growing many of them by eight bytes.
    static constexpr std::uint32_t LISTED = 0x80000000u;
    static constexpr std::uint32_t COUNT_MASK = ~LISTED;
    std::atomic<std::uint32_t> m_uiRefCount{0};
};
