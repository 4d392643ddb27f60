#pragma once

#include <cstdint>
#include <mutex>
#include <thread>

// A critical section that also records its owner and nesting depth, so a
// debugger (or a test) can see who holds it.
class NiRecursiveLock
{
public:
    void Lock()
    {
        m_kMutex.lock();
        m_kOwner = std::this_thread::get_id();
        ++m_uiDepth;
    }
    void Unlock()
    {
        if (--m_uiDepth == 0)
            m_kOwner = std::thread::id();
        m_kMutex.unlock();
    }
    [[nodiscard]] std::thread::id GetOwner() const { return m_kOwner; }
    [[nodiscard]] std::uint32_t GetDepth() const { return m_uiDepth; }

private:
    std::recursive_mutex m_kMutex;
    std::thread::id m_kOwner;
    std::uint32_t m_uiDepth = 0;
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
