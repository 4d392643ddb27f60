#include "engine/animation/NiAnimKeyHeap.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include <sys/mman.h>

namespace
{
// Classes 0-15 step by 16 bytes up to 256; above, eight classes to each
// doubling (a block wastes at most an eighth) up to LARGEST_CLASS.
constexpr std::uint32_t SMALL_CLASSES = 16;
constexpr std::uint32_t STEPS_PER_DOUBLING = 8;

// A run holds blocks of one class; a chunk is cut into runs. A run of its
// own for each class keeps a class's blocks together without tying up a
// whole chunk for a class that has a few blocks.
constexpr std::size_t RUN_BYTES = std::size_t{128} << 10;
constexpr std::size_t CHUNK_BYTES = std::size_t{2} << 20;
static_assert(CHUNK_BYTES % RUN_BYTES == 0 && RUN_BYTES >= 8 * NiAnimKeyHeap::LARGEST_CLASS);

#if defined(__SANITIZE_ADDRESS__)
constexpr bool USE_RUNS = false;
#else
constexpr bool USE_RUNS = true;
#endif

struct FreeBlock
{
    FreeBlock* m_pkNext;
};

struct ClassState
{
    FreeBlock* m_pkFree = nullptr;
    std::uint8_t* m_pucNext = nullptr; // the class's run: untouched room
    std::uint8_t* m_pucEnd = nullptr;
};

struct HeapState
{
    std::mutex m_kLock;
    ClassState m_akClasses[NiAnimKeyHeap::CLASS_COUNT];
    // The chunk runs are cut from.
    std::uint8_t* m_pucChunkNext = nullptr;
    std::uint8_t* m_pucChunkEnd = nullptr;
    bool m_bNoChunks = false; // the system refused one: the general heap from then on
};

HeapState& State()
{
    // Never destroyed: arrays may be freed while statics die.
    static HeapState* s_pkState = new HeapState;
    return *s_pkState;
}

// A CHUNK_BYTES-aligned chunk, so that all of it can be one huge page; null
// when the system has no memory to map.
std::uint8_t* MapChunk()
{
    const std::size_t uiMapped = 2 * CHUNK_BYTES;
    void* pv = mmap(nullptr, uiMapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pv == MAP_FAILED)
        return nullptr;
    auto uiBegin = reinterpret_cast<std::uintptr_t>(pv);
    const std::uintptr_t uiAligned = (uiBegin + CHUNK_BYTES - 1) & ~(std::uintptr_t{CHUNK_BYTES} - 1);
    const std::size_t uiHead = uiAligned - uiBegin;
    const std::size_t uiTail = uiMapped - uiHead - CHUNK_BYTES;
    if (uiHead > 0)
        munmap(pv, uiHead);
    if (uiTail > 0)
        munmap(reinterpret_cast<void*>(uiAligned + CHUNK_BYTES), uiTail);
    // Only advice: without huge pages the chunk still keeps arrays together.
    (void)madvise(reinterpret_cast<void*>(uiAligned), CHUNK_BYTES, MADV_HUGEPAGE);
    return reinterpret_cast<std::uint8_t*>(uiAligned);
}

// A new run for the class; false when no chunk can be had.
bool NewRun(HeapState& kHeap, ClassState& kClass)
{
    if (kHeap.m_pucChunkNext == kHeap.m_pucChunkEnd)
    {
        if (kHeap.m_bNoChunks)
            return false;
        std::uint8_t* pucChunk = MapChunk();
        if (pucChunk == nullptr)
        {
            kHeap.m_bNoChunks = true;
            return false;
        }
        kHeap.m_pucChunkNext = pucChunk;
        kHeap.m_pucChunkEnd = pucChunk + CHUNK_BYTES;
    }
    kClass.m_pucNext = kHeap.m_pucChunkNext;
    kClass.m_pucEnd = kHeap.m_pucChunkNext + RUN_BYTES;
    kHeap.m_pucChunkNext += RUN_BYTES;
    return true;
}

void* AllocateGeneral(std::size_t uiBytes, std::uint32_t& uiClass)
{
    void* pv = std::calloc(1, uiBytes == 0 ? 1 : uiBytes);
    if (pv != nullptr)
        uiClass = NiAnimKeyHeap::GENERAL;
    return pv;
}
} // namespace

std::uint32_t NiAnimKeyHeap::ClassOf(std::size_t uiBytes)
{
    if (uiBytes <= 16 * SMALL_CLASSES)
        return uiBytes == 0 ? 0 : static_cast<std::uint32_t>((uiBytes + 15) / 16 - 1);
    if (uiBytes > LARGEST_CLASS)
        return GENERAL;
    std::uint32_t uiClass = SMALL_CLASSES;
    for (std::size_t uiBase = 16 * SMALL_CLASSES;; uiBase *= 2, uiClass += STEPS_PER_DOUBLING)
    {
        if (uiBytes <= 2 * uiBase)
        {
            const std::size_t uiStep = uiBase / STEPS_PER_DOUBLING;
            return uiClass + static_cast<std::uint32_t>((uiBytes - uiBase + uiStep - 1) / uiStep) - 1;
        }
    }
}

std::size_t NiAnimKeyHeap::ClassBytes(std::uint32_t uiClass)
{
    if (uiClass < SMALL_CLASSES)
        return std::size_t{16} * (uiClass + 1);
    if (uiClass >= CLASS_COUNT)
        return 0;
    const std::uint32_t uiDoubling = (uiClass - SMALL_CLASSES) / STEPS_PER_DOUBLING;
    const std::uint32_t uiStep = (uiClass - SMALL_CLASSES) % STEPS_PER_DOUBLING + 1;
    const std::size_t uiBase = std::size_t{16} * SMALL_CLASSES << uiDoubling;
    return uiBase + uiStep * (uiBase / STEPS_PER_DOUBLING);
}

void* NiAnimKeyHeap::Allocate(std::size_t uiBytes, std::uint32_t& uiClass)
{
    const std::uint32_t uiWanted = ClassOf(uiBytes);
    if (!USE_RUNS || uiWanted == GENERAL)
        return AllocateGeneral(uiBytes, uiClass);
    const std::size_t uiBlock = ClassBytes(uiWanted);
    HeapState& kHeap = State();
    void* pv = nullptr;
    bool bZeroed = false;
    {
        std::lock_guard<std::mutex> kGuard(kHeap.m_kLock);
        ClassState& kClass = kHeap.m_akClasses[uiWanted];
        if (kClass.m_pkFree != nullptr)
        {
            pv = kClass.m_pkFree;
            kClass.m_pkFree = kClass.m_pkFree->m_pkNext;
        }
        else if (static_cast<std::size_t>(kClass.m_pucEnd - kClass.m_pucNext) >= uiBlock ||
                 NewRun(kHeap, kClass))
        {
            // Room never handed out is still as the system mapped it: zero.
            pv = kClass.m_pucNext;
            kClass.m_pucNext += uiBlock;
            bZeroed = true;
        }
    }
    if (pv == nullptr)
        return AllocateGeneral(uiBytes, uiClass);
    if (!bZeroed)
        std::memset(pv, 0, uiBlock);
    uiClass = uiWanted;
    return pv;
}

void NiAnimKeyHeap::Free(void* pv, std::uint32_t uiClass)
{
    if (pv == nullptr)
        return;
    if (uiClass >= CLASS_COUNT)
    {
        std::free(pv);
        return;
    }
    HeapState& kHeap = State();
    std::lock_guard<std::mutex> kGuard(kHeap.m_kLock);
    ClassState& kClass = kHeap.m_akClasses[uiClass];
    auto* pkBlock = static_cast<FreeBlock*>(pv);
    pkBlock->m_pkNext = kClass.m_pkFree;
    kClass.m_pkFree = pkBlock;
}
