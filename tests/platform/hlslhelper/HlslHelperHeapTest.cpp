// The compile workers' heap, in a forked child switched to it as the worker
// is: small blocks from its runs, reused by size, each aligned and kept
// apart from its neighbours; large ones and those made before the switch
// from the C library, freed there.

#include "platform/hlslhelper/HlslHelperHeap.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace gfx {
namespace {

// `check` run in a forked child switched to the heap: its exit code, 0 when
// every expectation held; 77 where the heap is not had (a sanitized build).
int InWorkerHeapChild(int (*check)()) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(UseHlslWorkerHeap() ? check() : 77);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int BlocksOfEverySizeAreHeldAlignedAndReused() {
    for (std::size_t size = 0; size <= kHlslWorkerHeapLargest; ++size) {
        auto* a = static_cast<std::uint8_t*>(::operator new(size));
        if (!HlslWorkerHeapHolds(a)) return 1;
        if (reinterpret_cast<std::uintptr_t>(a) % __STDCPP_DEFAULT_NEW_ALIGNMENT__ != 0) return 2;
        ::operator delete(a);
        auto* b = static_cast<std::uint8_t*>(::operator new(size));
        if (b != a) return 3; // the last one freed of its size comes back first
        ::operator delete(b);
    }
    // Past the largest, and arrays, as the C library's and the heap's.
    void* large = ::operator new(kHlslWorkerHeapLargest + 1);
    if (HlslWorkerHeapHolds(large)) return 4;
    ::operator delete(large);
    auto* array = new std::uint32_t[16];
    if (!HlslWorkerHeapHolds(array)) return 5;
    delete[] array;
    auto* none = new (std::nothrow) char[kHlslWorkerHeapLargest];
    if (!none || !HlslWorkerHeapHolds(none)) return 6;
    delete[] none;
    return 0;
}

int BlocksKeepTheirBytesThroughManyMadeAndFreed() {
    std::mt19937 random(7);
    struct Block {
        std::uint8_t* bytes;
        std::size_t size;
        std::uint8_t fill;
    };
    std::vector<Block> live;
    live.reserve(20000);
    for (int step = 0; step < 200000; ++step) {
        if (!live.empty() && random() % 3 == 0) {
            const std::size_t at = random() % live.size();
            const Block b = live[at];
            for (std::size_t k = 0; k < b.size; ++k)
                if (b.bytes[k] != b.fill) return 1; // a neighbour wrote over it
            ::operator delete(b.bytes);
            live[at] = live.back();
            live.pop_back();
            continue;
        }
        // Mostly small, as the front end's are; now and then past the runs.
        const std::size_t size = random() % 16 == 0 ? random() % 4096 : random() % 200;
        Block b{static_cast<std::uint8_t*>(::operator new(size)), size, std::uint8_t(random())};
        std::memset(b.bytes, b.fill, size);
        live.push_back(b);
    }
    for (const Block& b : live) {
        for (std::size_t k = 0; k < b.size; ++k)
            if (b.bytes[k] != b.fill) return 2;
        ::operator delete(b.bytes);
    }
    return 0;
}

// A vector and a string made before the switch live on through it, grow
// (their new blocks the heap's) and are freed to the C library.
std::vector<int>* g_madeBefore = nullptr;
std::string* g_textBefore = nullptr;

int WhatWasMadeBeforeIsFreedWhereItCameFrom() {
    if (HlslWorkerHeapHolds(g_madeBefore) || HlslWorkerHeapHolds(g_madeBefore->data())) return 1;
    g_madeBefore->resize(100, 3);
    if (!HlslWorkerHeapHolds(g_madeBefore->data())) return 2;
    *g_textBefore += std::string(40, 'y');
    if ((*g_textBefore)[0] != 'x' || g_textBefore->back() != 'y') return 3;
    delete g_textBefore;
    delete g_madeBefore;
    return 0;
}

int AProgramCompilesOnTheHeap() {
    const char* source = "float4 K; float4 main(float2 uv : TEXCOORD0) : COLOR { return K * uv.x; }";
    std::vector<std::uint8_t> code;
    std::string errors;
    if (!CompileHlsl(source, "heap.hlsl", nullptr, "main", "ps_2_0", code, errors)) return 1;
    return code.empty() ? 2 : 0;
}

void ExpectOnTheHeap(int result) {
    if (result == 77) GTEST_SKIP() << "this build keeps its sanitizer's allocator";
    EXPECT_EQ(result, 0);
}

TEST(GfxUtilHlslWorkerHeapTest, BlocksOfEverySizeAreHeldAlignedAndReused) {
    ExpectOnTheHeap(InWorkerHeapChild(&BlocksOfEverySizeAreHeldAlignedAndReused));
}

TEST(GfxUtilHlslWorkerHeapTest, BlocksKeepTheirBytesThroughManyMadeAndFreed) {
    ExpectOnTheHeap(InWorkerHeapChild(&BlocksKeepTheirBytesThroughManyMadeAndFreed));
}

TEST(GfxUtilHlslWorkerHeapTest, WhatWasMadeBeforeTheSwitchIsFreedWhereItCameFrom) {
    g_madeBefore = new std::vector<int>(4, 1);
    g_textBefore = new std::string(30, 'x');
    ExpectOnTheHeap(InWorkerHeapChild(&WhatWasMadeBeforeIsFreedWhereItCameFrom));
    delete g_textBefore;
    delete g_madeBefore;
}

TEST(GfxUtilHlslWorkerHeapTest, AProcessThatNeverSwitchesKeepsTheCLibrarysBlocks) {
    auto kept = std::make_unique<int>(5);
    EXPECT_FALSE(HlslWorkerHeapHolds(kept.get()));
    EXPECT_FALSE(HlslWorkerHeapHolds(nullptr));
}

TEST(GfxUtilHlslWorkerHeapTest, AProgramCompilesInAChildOnTheHeap) {
    ExpectOnTheHeap(InWorkerHeapChild(&AProgramCompilesOnTheHeap));
}

} // namespace
} // namespace gfx
