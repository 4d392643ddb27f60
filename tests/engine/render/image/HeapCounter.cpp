#include "tests/engine/render/image/HeapCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
std::atomic<bool> s_bCounting{false};
std::atomic<std::uint64_t> s_uiBytes{0};
std::atomic<std::uint64_t> s_uiLargest{0};

void* Allocate(std::size_t uiSize)
{
    if (s_bCounting.load(std::memory_order_relaxed))
    {
        s_uiBytes.fetch_add(uiSize, std::memory_order_relaxed);
        std::uint64_t uiLargest = s_uiLargest.load(std::memory_order_relaxed);
        while (uiSize > uiLargest && !s_uiLargest.compare_exchange_weak(uiLargest, uiSize))
        {
        }
    }
    return std::malloc(uiSize == 0 ? 1 : uiSize);
}
} // namespace

namespace heap_test
{
HeapCounter::HeapCounter()
{
    s_uiBytes = 0;
    s_uiLargest = 0;
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
