#pragma once

// The heap of a compile worker. glslang, the SPIR-V optimiser and
// SPIRV-Cross make and free hundreds of thousands of small objects a
// compile; in a long-lived worker the C library's allocator spends a
// quarter of the job sorting and merging what they free. A worker switches
// its process to this heap once, at its start: small blocks come from
// runs of one size each, freed ones are kept by size for the next of that
// size, and nothing is merged or handed back. Everything the process held
// before goes back to the C library as it did. Only the helper program links
// this (its operator new and delete replace the C++ library's); a host's
// allocation is never touched.

#include <cstddef>

namespace gfx {

// The largest block the runs hold; larger ones go to the C library.
constexpr std::size_t kHlslWorkerHeapLargest = 1024;

// This process's small blocks from the worker heap from now on; false,
// with nothing changed, where it cannot be had (a sanitized build, whose
// allocator checks every block, or no address space for it). Call it with
// the process on one thread: the worker, before it serves.
bool UseHlslWorkerHeap();

// Whether `block` is one of the worker heap's (for tests).
bool HlslWorkerHeapHolds(const void* block);

} // namespace gfx
