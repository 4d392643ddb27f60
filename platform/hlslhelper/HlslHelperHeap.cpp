#include "platform/hlslhelper/HlslHelperHeap.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace gfx {
namespace {

// A sanitized build keeps the C library's allocator (the sanitizer's own),
// which checks every block the front end makes.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ORVANE_WORKER_HEAP 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define ORVANE_WORKER_HEAP 0
#endif
#endif
#ifndef ORVANE_WORKER_HEAP
#define ORVANE_WORKER_HEAP 1
#endif
constexpr bool kHeapAllowed = ORVANE_WORKER_HEAP != 0;

// Sizes in steps of the alignment every new block must have.
constexpr std::size_t kStep = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
constexpr std::size_t kClasses = kHlslWorkerHeapLargest / kStep;
static_assert(kHlslWorkerHeapLargest % kStep == 0 && kClasses < 255);
// A run holds blocks of one size; the address space is reserved at once
// (only the pages touched cost memory), so that a block's owner is told by
// its address alone.
constexpr std::size_t kRunBytes = std::size_t(64) << 10;
constexpr std::size_t kReservedBytes = std::size_t(4) << 30;
constexpr std::size_t kRuns = kReservedBytes / kRunBytes;

struct FreeBlock {
    FreeBlock* next;
};

struct SizeClass {
    FreeBlock* free = nullptr;
    std::uint8_t* next = nullptr; // the class's run: room never handed out
    std::uint8_t* end = nullptr;
};

// All null until the process switches: then every small block is cut from
// [g_begin, g_end).
std::uint8_t* g_begin = nullptr;
std::uint8_t* g_end = nullptr;
std::uint8_t* g_nextRun = nullptr;
SizeClass g_classes[kClasses];
std::uint8_t g_runClass[kRuns]; // of each run handed out

bool Holds(const void* block) {
    const auto* p = static_cast<const std::uint8_t*>(block);
    return p >= g_begin && p < g_end;
}

// A block of the C library's, with the default operator new's loop over
// the new handler; null only for the nothrow forms.
[[maybe_unused]] void* General(std::size_t bytes, bool nothrow) {
    for (;;) {
        if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
        const std::new_handler handler = std::get_new_handler();
        if (handler == nullptr) {
            if (nothrow) return nullptr;
            throw std::bad_alloc();
        }
        handler();
    }
}

[[maybe_unused]] void* Allocate(std::size_t bytes, bool nothrow) {
    if (g_begin == nullptr || bytes > kHlslWorkerHeapLargest) return General(bytes, nothrow);
    const std::size_t index = bytes == 0 ? 0 : (bytes - 1) / kStep;
    SizeClass& c = g_classes[index];
    if (FreeBlock* block = c.free) {
        c.free = block->next;
        return block;
    }
    const std::size_t size = (index + 1) * kStep;
    if (std::size_t(c.end - c.next) < size) {
        // The rest of the last run is left: a run is small beside what a
        // class uses.
        if (std::size_t(g_end - g_nextRun) < kRunBytes) return General(bytes, nothrow);
        g_runClass[std::size_t(g_nextRun - g_begin) / kRunBytes] = std::uint8_t(index);
        c.next = g_nextRun;
        c.end = g_nextRun + kRunBytes;
        g_nextRun += kRunBytes;
    }
    void* block = c.next;
    c.next += size;
    return block;
}

[[maybe_unused]] void Release(void* block) {
    if (block == nullptr) return;
    if (!Holds(block)) {
        std::free(block);
        return;
    }
    auto* freed = static_cast<FreeBlock*>(block);
    SizeClass& c = g_classes[g_runClass[std::size_t(static_cast<std::uint8_t*>(block) - g_begin) / kRunBytes]];
    freed->next = c.free;
    c.free = freed;
}

} // namespace

bool UseHlslWorkerHeap() {
    if (!kHeapAllowed) return false;
    if (g_begin != nullptr) return true;
    void* space = ::mmap(nullptr, kReservedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                         -1, 0);
    if (space == MAP_FAILED) return false;
    g_nextRun = static_cast<std::uint8_t*>(space);
    g_end = g_nextRun + kReservedBytes;
    g_begin = g_nextRun;
    return true;
}

bool HlslWorkerHeapHolds(const void* block) { return block != nullptr && Holds(block); }

} // namespace gfx

#if ORVANE_WORKER_HEAP
// The helper (and a test of this heap) allocates through these; until it
// switches to the worker heap it gets the C library's blocks, as from the
// default ones. Weak: a program with replacements of its own keeps them; a
// block of theirs that reaches these is freed there.
#define ORVANE_REPLACEABLE __attribute__((weak))
ORVANE_REPLACEABLE void* operator new(std::size_t bytes) { return gfx::Allocate(bytes, false); }
ORVANE_REPLACEABLE void* operator new[](std::size_t bytes) { return gfx::Allocate(bytes, false); }
ORVANE_REPLACEABLE void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
    return gfx::Allocate(bytes, true);
}
ORVANE_REPLACEABLE void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
    return gfx::Allocate(bytes, true);
}
ORVANE_REPLACEABLE void operator delete(void* block) noexcept { gfx::Release(block); }
ORVANE_REPLACEABLE void operator delete[](void* block) noexcept { gfx::Release(block); }
ORVANE_REPLACEABLE void operator delete(void* block, std::size_t) noexcept { gfx::Release(block); }
ORVANE_REPLACEABLE void operator delete[](void* block, std::size_t) noexcept { gfx::Release(block); }
ORVANE_REPLACEABLE void operator delete(void* block, const std::nothrow_t&) noexcept { gfx::Release(block); }
ORVANE_REPLACEABLE void operator delete[](void* block, const std::nothrow_t&) noexcept { gfx::Release(block); }
#undef ORVANE_REPLACEABLE
#endif
