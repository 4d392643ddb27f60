#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

// A critical section that also records its owner and nesting depth, so a
// debugger (or a test) can see who holds it. Only the holder writes the two
// records, but any thread may read them: they are atomic, and a reading
// thread sees some recent state, not a promise.
class NiRecursiveLock
{
public:
    void Lock()
    {
        m_kMutex.lock();
        m_kOwner.store(std::this_thread::get_id(), std::memory_order_relaxed);
        m_uiDepth.store(m_uiDepth.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    void Unlock()
    {
        const std::uint32_t uiDepth = m_uiDepth.load(std::memory_order_relaxed) - 1;
        m_uiDepth.store(uiDepth, std::memory_order_relaxed);
        if (uiDepth == 0)
            m_kOwner.store(std::thread::id(), std::memory_order_relaxed);
        m_kMutex.unlock();
    }
    [[nodiscard]] std::thread::id GetOwner() const { return m_kOwner.load(std::memory_order_relaxed); }
    [[nodiscard]] std::uint32_t GetDepth() const { return m_uiDepth.load(std::memory_order_relaxed); }

private:
    std::recursive_mutex m_kMutex;
    std::atomic<std::thread::id> m_kOwner{};
    std::atomic<std::uint32_t> m_uiDepth{0};
};

class NiRecursiveLockGuard
{
public:
    explicit NiRecursiveLockGuard(NiRecursiveLock& kLock) : m_kLock(kLock) { m_kLock.Lock(); }
    ~NiRecursiveLockGuard() { m_kLock.Unlock(); }
    NiRecursiveLockGuard(const NiRecursiveLockGuard&) = delete;
    NiRecursiveLockGuard& operator=(const NiRecursiveLockGuard&) = delete;

private:
    NiRecursiveLock& m_kLock;
};

// The engine's seven global locks, made on first use.
NiRecursiveLock& NiStreamLoadLock();
NiRecursiveLock& NiListNodePoolLock();
NiRecursiveLock& NiControllerLock();
NiRecursiveLock& NiTextureListLock();
NiRecursiveLock& NiPaletteLock();
NiRecursiveLock& NiBltSourceLock();
NiRecursiveLock& NiGeometryDataLock();
