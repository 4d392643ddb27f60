#pragma once

// Counts what this test program asks of operator new (every form): the bytes,
// so a test can show that a reader refused a file without allocating what its
// header promised, and the calls, so a test can show a warm path allocates
// nothing. A program that links HeapCounter.cpp replaces the global
// allocation functions; they forward to malloc and free, which the sanitizers
// still watch.

#include <cstdint>

namespace heap_test
{
// Bytes requested by any thread while the scope is open; scopes don't nest.
class HeapCounter
{
public:
    HeapCounter();
    ~HeapCounter();
    HeapCounter(const HeapCounter&) = delete;
    HeapCounter& operator=(const HeapCounter&) = delete;

    [[nodiscard]] std::uint64_t GetBytes() const;
    // Calls of any form of operator new.
    [[nodiscard]] std::uint64_t GetCount() const;
    // The largest single request.
    [[nodiscard]] std::uint64_t GetLargest() const;
};

constexpr std::uint64_t ONE_MIB = 1u << 20;
} // namespace heap_test
