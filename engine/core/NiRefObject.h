#pragma once

#include <atomic>
#include <cstdint>

// Root of every engine object: an atomic reference count that deletes the
// object through its virtual destructor when the last reference goes, and a
// process-wide count of live objects (leak checks in tests rely on it).
class NiRefObject
{
public:
    NiRefObject();
    virtual ~NiRefObject();

    NiRefObject(const NiRefObject&) = delete;
    NiRefObject& operator=(const NiRefObject&) = delete;

    void IncRefCount() { m_uiRefCount.fetch_add(1, std::memory_order_relaxed); }
    void DecRefCount()
    {
        if (m_uiRefCount.fetch_sub(1, std::memory_order_acq_rel) == 1)
            delete this;
    }
    [[nodiscard]] std::uint32_t GetRefCount() const { return m_uiRefCount.load(std::memory_order_relaxed); }

    [[nodiscard]] static std::uint32_t GetTotalObjectCount() { return ms_uiObjects.load(); }

private:
    std::atomic<std::uint32_t> m_uiRefCount{0};
    static std::atomic<std::uint32_t> ms_uiObjects;
};
