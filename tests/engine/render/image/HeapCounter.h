#pragma once

// Counts the bytes this test program asks of operator new (every form), so a
// test can show that a reader refused a file without allocating what its
// header promised. The program's own replacement of the global allocation
// functions forwards to malloc and free, which the sanitizers still watch.

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
    // The largest single request.
    [[nodiscard]] std::uint64_t GetLargest() const;
};

constexpr std::uint64_t ONE_MIB = 1u << 20;
} // namespace heap_test
