#include "tests/support/HeapCounter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<bool> s_bCounting{false};
std::atomic<std::uint64_t> s_uiBytes{0};
std::atomic<std::uint64_t> s_uiLargest{0};
std::atomic<std::uint64_t> s_uiCount{0};

void Count(std::size_t uiSize)
{
    if (s_bCounting.load(std::memory_order_relaxed))
    {
        s_uiCount.fetch_add(1, std::memory_order_relaxed);
        s_uiBytes.fetch_add(uiSize, std::memory_order_relaxed);
        std::uint64_t uiLargest = s_uiLargest.load(std::memory_order_relaxed);
        while (uiSize > uiLargest && !s_uiLargest.compare_exchange_weak(uiLargest, uiSize))
        {
        }
    }
}

void* Allocate(std::size_t uiSize)
{
    Count(uiSize);
    return std::malloc(uiSize == 0 ? 1 : uiSize);
}

void* AllocateAligned(std::size_t uiSize, std::align_val_t eAlign)
{
    Count(uiSize);
    const auto uiAlign = static_cast<std::size_t>(eAlign);
    // aligned_alloc wants a size that is a multiple of the alignment.
    return std::aligned_alloc(uiAlign, (std::max<std::size_t>(uiSize, 1) + uiAlign - 1) / uiAlign * uiAlign);
}
} // namespace

namespace heap_test
{
HeapCounter::HeapCounter()
{
    s_uiBytes = 0;
    s_uiLargest = 0;
    s_uiCount = 0;
    s_bCounting = true;
}

HeapCounter::~HeapCounter()
{
    s_bCounting = false;
}

std::uint64_t HeapCounter::GetBytes() const
{
    return s_uiBytes.load();
}

std::uint64_t HeapCounter::GetCount() const
{
    return s_uiCount.load();
}

std::uint64_t HeapCounter::GetLargest() const
{
    return s_uiLargest.load();
}
} // namespace heap_test

// The program's replacements of the global allocation functions.
void* operator new(std::size_t uiSize)
{
    void* pv = Allocate(uiSize);
    if (pv == nullptr)
        std::abort(); // a test program out of memory has nothing to recover
    return pv;
}
void* operator new[](std::size_t uiSize)
{
    return operator new(uiSize);
}
void* operator new(std::size_t uiSize, const std::nothrow_t&) noexcept
{
    return Allocate(uiSize);
}
void* operator new[](std::size_t uiSize, const std::nothrow_t&) noexcept
{
    return Allocate(uiSize);
}
void operator delete(void* pv) noexcept
{
    std::free(pv);
}
void operator delete[](void* pv) noexcept
{
    std::free(pv);
}
void operator delete(void* pv, std::size_t) noexcept
{
    std::free(pv);
}
void operator delete[](void* pv, std::size_t) noexcept
{
    std::free(pv);
}
void operator delete(void* pv, const std::nothrow_t&) noexcept
{
    std::free(pv);
}
void operator delete[](void* pv, const std::nothrow_t&) noexcept
{
    std::free(pv);
}
void* operator new(std::size_t uiSize, std::align_val_t eAlign)
{
    void* pv = AllocateAligned(uiSize, eAlign);
    if (pv == nullptr)
        std::abort();
    return pv;
}
void* operator new[](std::size_t uiSize, std::align_val_t eAlign)
{
    return operator new(uiSize, eAlign);
}
void* operator new(std::size_t uiSize, std::align_val_t eAlign, const std::nothrow_t&) noexcept
{
    return AllocateAligned(uiSize, eAlign);
}
void* operator new[](std::size_t uiSize, std::align_val_t eAlign, const std::nothrow_t&) noexcept
{
    return AllocateAligned(uiSize, eAlign);
}
void operator delete(void* pv, std::align_val_t) noexcept
{
    std::free(pv);
}
void operator delete[](void* pv, std::align_val_t) noexcept
{
    std::free(pv);
}
void operator delete(void* pv, std::size_t, std::align_val_t) noexcept
{
    std::free(pv);
}
void operator delete[](void* pv, std::size_t, std::align_val_t) noexcept
{
    std::free(pv);
}
