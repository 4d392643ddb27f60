#pragma once

#include <cstddef>
#include <cstdint>

// The memory of key arrays. Playback reads a pair of keys from every
// animated channel every frame, a few bytes from each of thousands of
// arrays: on the general heap those arrays lie among every other object, so
// nearly each read costs an address translation of its own besides the
// cache miss. Here arrays of one size class lie side by side in runs carved
// from 2 MiB chunks that ask the system for huge pages; a crowd's arrays
// then share a few translations, and those of one kind follow each other
// at a steady stride the prefetchers can follow.
//
// Blocks are zero-filled and 16-byte aligned. A freed block goes back to
// its class's free list; the chunks are never given back to the system (key
// arrays mostly live as long as the program's scenes). Blocks above the
// largest class, every block when a chunk cannot be had, and every block
// under AddressSanitizer (so that it checks each array on its own) come
// from the general heap. Safe to use from any thread.
class NiAnimKeyHeap
{
public:
    // The class of a block from the general heap.
    static constexpr std::uint32_t GENERAL = 0xFFFFFFFFu;
    static constexpr std::uint32_t CLASS_COUNT = 64;
    static constexpr std::size_t LARGEST_CLASS = 16384;
    static constexpr std::size_t ALIGNMENT = 16;

    // At least uiBytes of zeroed memory and the class it came from, which
    // Free needs back; null (uiClass untouched) when there is no memory.
    [[nodiscard]] static void* Allocate(std::size_t uiBytes, std::uint32_t& uiClass);
    // A block from Allocate with its class; null is ignored.
    static void Free(void* pv, std::uint32_t uiClass);

    // The smallest class that holds uiBytes (GENERAL above the largest), and
    // the bytes of a class.
    [[nodiscard]] static std::uint32_t ClassOf(std::size_t uiBytes);
    [[nodiscard]] static std::size_t ClassBytes(std::uint32_t uiClass);
};
