#include "engine/core/NiLoadArena.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define ORVANE_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define ORVANE_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define ORVANE_POISON(p, n) ((void)(p), (void)(n))
#define ORVANE_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

constinit thread_local NiLoadArena* NiLoadArena::s_pkActive = nullptr;
constinit thread_local NiLoadArena::BatchState NiLoadArena::s_kBatch{};

namespace
{
constexpr std::size_t MIN_BLOCK = 4096;
constexpr std::size_t MAX_BLOCK = std::size_t{64} << 20;



std::size_t RoundUp(std::size_t uiBytes)
{
    return (uiBytes + NiLoadArena::ALIGNMENT - 1) & ~(NiLoadArena::ALIGNMENT - 1);
}

void* CheckedMalloc(std::size_t uiBytes)
{
    void* pv = std::malloc(uiBytes);
    if (pv == nullptr)
        std::abort();
    return pv;
}
} // namespace

struct alignas(NiLoadArena::ALIGNMENT) NiLoadArena::Block
{
    Block* m_pkPrevious;
    std::size_t m_uiBytes;
};

NiLoadArena* NiLoadArena::Create(std::size_t uiFirstBlock)
{
    return new NiLoadArena(std::clamp(uiFirstBlock, MIN_BLOCK, MAX_BLOCK));
}

NiLoadArena::~NiLoadArena()
{
    Block* pkNext = m_pkBlocks.load(std::memory_order_acquire);
    while (pkNext != nullptr)
    {
        Block* pkBlock = pkNext;
        pkNext = pkBlock->m_pkPrevious;
        ORVANE_UNPOISON(pkBlock, pkBlock->m_uiBytes);
        std::free(pkBlock);
    }
}

void NiLoadArena::Release()
{
    Release(1);
}

void NiLoadArena::Release(std::uint64_t uiPieces)
{
    if (m_uiLive.fetch_sub(uiPieces, std::memory_order_acq_rel) == uiPieces)
        delete this;
}

void NiLoadArena::FlushBatch()
{
    NiLoadArena* pkArena = s_kBatch.m_pkArena;
    std::uint64_t uiPieces = s_kBatch.m_uiPieces;
    s_kBatch.m_pkArena = nullptr;
    s_kBatch.m_uiPieces = 0;
    // The block may go with its arena now.
    s_kBatch.m_uiBlockBegin = 0;
    s_kBatch.m_uiBlockBytes = 0;
    if (pkArena != nullptr)
        pkArena->Release(uiPieces);
}

std::uint64_t NiLoadArena::GetLiveCount() const
{
    std::uint64_t uiLive = m_uiLive.load(std::memory_order_acquire) + m_uiPending;
    return s_pkActive == this ? uiLive - ACTIVE_BIAS : uiLive;
}

void NiLoadArena::NewBlock(std::size_t uiBytes)
{
    // Data pieces are taken from the block's end: it must be aligned too.
    std::size_t uiSize = RoundUp(std::max(m_uiNextBlockSize, uiBytes + sizeof(Block)));
    m_uiNextBlockSize = std::min(m_uiNextBlockSize * 2, MAX_BLOCK);
    auto* pkBlock = static_cast<Block*>(CheckedMalloc(uiSize));
    pkBlock->m_pkPrevious = m_pkBlocks.load(std::memory_order_relaxed);
    pkBlock->m_uiBytes = uiSize;
    m_pkBlocks.store(pkBlock, std::memory_order_release);
    ++m_uiBlocks;
    m_pucNext = reinterpret_cast<std::uint8_t*>(pkBlock + 1);
    m_pucEnd = reinterpret_cast<std::uint8_t*>(pkBlock) + uiSize;
    // Untouched room is poisoned: a stray pointer into it is found.
    ORVANE_POISON(m_pucNext, static_cast<std::size_t>(m_pucEnd - m_pucNext));
}

const NiLoadArena::Block* NiLoadArena::FindBlock(const void* pv) const
{
    auto uiAt = reinterpret_cast<std::uintptr_t>(pv);
    for (const Block* pkBlock = m_pkBlocks.load(std::memory_order_acquire); pkBlock != nullptr;
         pkBlock = pkBlock->m_pkPrevious)
    {
        auto uiBegin = reinterpret_cast<std::uintptr_t>(pkBlock);
        if (uiAt > uiBegin && uiAt - uiBegin < pkBlock->m_uiBytes)
            return pkBlock;
    }
    return nullptr;
}

void* NiLoadArena::Bump(std::size_t uiBytes, bool bData)
{
    if (static_cast<std::size_t>(m_pucEnd - m_pucNext) < uiBytes)
        NewBlock(uiBytes);
    void* pv;
    if (bData)
    {
        m_pucEnd -= uiBytes;
        pv = m_pucEnd;
    }
    else
    {
        pv = m_pucNext;
        m_pucNext += uiBytes;
    }
    ORVANE_UNPOISON(pv, uiBytes);
    ++m_uiPending;
    return pv;
}

void* NiLoadArena::AllocateElsewhere(std::size_t uiBytes, bool bData)
{
    std::size_t uiTotal = RoundUp(uiBytes) + sizeof(PieceHeader);
    NiLoadArena* pkArena = s_pkActive;
    auto* pkHeader = static_cast<PieceHeader*>(pkArena != nullptr ? pkArena->Bump(uiTotal, bData)
                                                                   : CheckedMalloc(uiTotal));
    pkHeader->m_pkArena = pkArena;
    pkHeader->m_uiBytes = uiTotal;
    return pkHeader + 1;
}

void NiLoadArena::FreeElsewhere(void* pv)
{
    PieceHeader* pkHeader = static_cast<PieceHeader*>(pv) - 1;
    // A piece of the arena the batch is counting: known by its address, so
    // a piece nobody touched while it died (a name, an array) is not
    // brought into the cache just to learn its arena. Its block is
    // remembered for the inline test in Free.
    if (s_kBatch.m_pkArena != nullptr)
    {
        if (const Block* pkBlock = s_kBatch.m_pkArena->FindBlock(pv))
        {
            ORVANE_POISON(pkHeader, pkHeader->m_uiBytes);
            ++s_kBatch.m_uiPieces;
            s_kBatch.m_uiBlockBegin = reinterpret_cast<std::uintptr_t>(pkBlock + 1);
            s_kBatch.m_uiBlockBytes = pkBlock->m_uiBytes - sizeof(Block);
            return;
        }
    }
    NiLoadArena* pkArena = pkHeader->m_pkArena;
    if (pkArena == nullptr)
    {
        std::free(pkHeader);
        return;
    }
    // A freed piece is never handed out again: poisoned, a use after free
    // shows under the sanitizers as it would on the heap.
    ORVANE_POISON(pkHeader, pkHeader->m_uiBytes);
    if (s_kBatch.m_uiDepth == 0)
    {
        pkArena->Release(1);
        return;
    }
    if (s_kBatch.m_pkArena != pkArena)
    {
        FlushBatch();
        s_kBatch.m_pkArena = pkArena;
    }
    ++s_kBatch.m_uiPieces;
}

NiLoadArena* NiLoadArena::GetOwner(const void* pv)
{
    return pv != nullptr ? (static_cast<const PieceHeader*>(pv) - 1)->m_pkArena : nullptr;
}

NiLoadArena* NiLoadArena::GetActive()
{
    return s_pkActive;
}

// While active, the shared count carries a bias no number of frees can use
// up: pieces of a load in progress may already be in other threads' hands
// (shared textures) and die there before the pieces made since are counted.
void NiLoadArena::Activate()
{
    m_uiLive.fetch_add(ACTIVE_BIAS, std::memory_order_relaxed);
    s_pkActive = this;
}

void NiLoadArena::Deactivate()
{
    s_pkActive = nullptr;
    std::uint64_t uiDelta = m_uiPending - ACTIVE_BIAS; // modulo 2^64
    m_uiPending = 0;
    if (m_uiLive.fetch_add(uiDelta, std::memory_order_acq_rel) + uiDelta == 0)
        delete this;
}

NiLoadArena::Scope::Scope(NiLoadArena* pkArena) : m_pkPrevious(s_pkActive)
{
    if (m_pkPrevious != nullptr)
        m_pkPrevious->Deactivate();
    if (pkArena != nullptr)
        pkArena->Activate();
}

NiLoadArena::Scope::~Scope()
{
    if (s_pkActive != nullptr)
        s_pkActive->Deactivate();
    if (m_pkPrevious != nullptr)
        m_pkPrevious->Activate();
}

char* NiArenaStrDup(const char* pcText, std::size_t uiLength)
{
    if (pcText == nullptr)
        return nullptr;
    auto* pc = static_cast<char*>(NiLoadArena::AllocateData(uiLength + 1));
    std::memcpy(pc, pcText, uiLength);
    pc[uiLength] = '\0';
    return pc;
}

char* NiArenaStrDup(const char* pcText)
{
    return pcText != nullptr ? NiArenaStrDup(pcText, std::strlen(pcText)) : nullptr;
}
