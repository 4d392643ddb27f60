#pragma once

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <type_traits>

// Memory of the objects, names and arrays one scene-file load makes, taken
// from a few large blocks instead of one heap allocation each. Every piece
// still dies on its own (an object when its count reaches 0): it goes back
// to the arena it came from, and the arena frees its blocks when the last
// piece and the load itself have let go. A piece of a scene kept after the
// rest is freed therefore keeps its arena's blocks.
//
// Allocate and Free serve both arena and heap memory: a header in front of
// each piece names its arena (or none), so the owner never needs to know
// where its memory came from. Pieces are taken from the arena active on the
// calling thread, if any; only the loading thread activates an arena.
//
// A block is filled from both ends: objects and the arrays of pointers they
// hold from the front, texts and plain arrays (AllocateData) from the back.
// The passes of a load and the free walk the objects; their texts would
// only spread them over more cache lines.
class NiLoadArena
{
public:
    static constexpr std::size_t ALIGNMENT = 16;

    NiLoadArena(const NiLoadArena&) = delete;
    NiLoadArena& operator=(const NiLoadArena&) = delete;

    // A new arena whose first block holds about uiFirstBlock bytes; the
    // caller holds its one reference.
    [[nodiscard]] static NiLoadArena* Create(std::size_t uiFirstBlock);
    void Release();

    // At least uiBytes, ALIGNMENT-aligned: from the active arena, else from
    // the heap. Never null (out of memory ends the process).
    [[nodiscard]] static void* Allocate(std::size_t uiBytes);
    // The same, for memory that objects point to but nothing walks when
    // they die: kept apart from the objects in the active arena.
    [[nodiscard]] static void* AllocateData(std::size_t uiBytes);
    // Memory from Allocate, wherever it came from; null is ignored.
    static void Free(void* pv);

    // The arena of a piece, or null for the heap.
    [[nodiscard]] static NiLoadArena* GetOwner(const void* pv);
    [[nodiscard]] static NiLoadArena* GetActive();

    // Makes the arena active on this thread for the scope's lifetime.
    class Scope
    {
    public:
        explicit Scope(NiLoadArena* pkArena);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        NiLoadArena* m_pkPrevious;
    };

    // While a batch is open on a thread, the pieces freed there are taken
    // off their arena's count when the outermost batch closes, one locked
    // instruction per run of pieces of one arena instead of one per piece
    // (a scene dies object by object). An arena therefore never dies early,
    // only at the batch's end instead of at its last piece's.
    class FreeBatch
    {
    public:
        FreeBatch() { ++s_kBatch.m_uiDepth; }
        ~FreeBatch()
        {
            if (--s_kBatch.m_uiDepth == 0)
                FlushBatch();
        }
        FreeBatch(const FreeBatch&) = delete;
        FreeBatch& operator=(const FreeBatch&) = delete;
    };

    // For tests and diagnostics.
    [[nodiscard]] std::uint32_t GetBlockCount() const { return m_uiBlocks; }
    [[nodiscard]] std::uint64_t GetLiveCount() const;

private:
    struct Block;
    // In front of every piece: its arena (null: the heap) and its size.
    struct alignas(ALIGNMENT) PieceHeader
    {
        NiLoadArena* m_pkArena;
        std::size_t m_uiBytes;
    };
    static_assert(sizeof(PieceHeader) == ALIGNMENT);

    // The arena active on this thread.
    static constinit thread_local NiLoadArena* s_pkActive;

    // Frees of the open batches on this thread: the arena of the latest run
    // of pieces and their number, not yet taken off its count, and the
    // block the last piece lay in (a scene dies mostly block by block).
    struct BatchState
    {
        std::uint32_t m_uiDepth = 0;
        NiLoadArena* m_pkArena = nullptr;
        std::uint64_t m_uiPieces = 0;
        std::uintptr_t m_uiBlockBegin = 0;
        std::uintptr_t m_uiBlockBytes = 0;
    };
    static constinit thread_local BatchState s_kBatch;
    // Free for all but a piece of the last block a batch freed from.
    static void FreeElsewhere(void* pv);

    // Allocate (AllocateData) when the active block has no room, or on the
    // heap.
    [[nodiscard]] static void* AllocateElsewhere(std::size_t uiBytes, bool bData);
    [[nodiscard]] static std::size_t PieceBytes(std::size_t uiBytes)
    {
        return ((uiBytes + ALIGNMENT - 1) & ~(ALIGNMENT - 1)) + sizeof(PieceHeader);
    }
    explicit NiLoadArena(std::size_t uiFirstBlock) : m_uiNextBlockSize(uiFirstBlock) {}
    ~NiLoadArena();

    void* Bump(std::size_t uiBytes, bool bData);
    void NewBlock(std::size_t uiBytes);
    void Activate();
    void Deactivate();
    void Release(std::uint64_t uiPieces);
    // The block of this arena that pv lies in, or null.
    [[nodiscard]] const Block* FindBlock(const void* pv) const;
    static void FlushBatch();

    // Read by frees on any thread (see Holds) while the loading thread adds
    // blocks: published with release, blocks never leave before the arena.
    std::atomic<Block*> m_pkBlocks{nullptr};
    // The active block's free room: objects are taken at its start, data
    // at its end.
    std::uint8_t* m_pucNext = nullptr;
    std::uint8_t* m_pucEnd = nullptr;
    std::size_t m_uiNextBlockSize;
    std::uint32_t m_uiBlocks = 0;
    // Pieces handed out while the arena is active on the loading thread are
    // counted there first and added to the shared count when the scope ends:
    // no atomic operation per piece.
    static constexpr std::uint64_t ACTIVE_BIAS = std::uint64_t{1} << 48;
    std::uint64_t m_uiPending = 0;
    std::atomic<std::uint64_t> m_uiLive{1};
};

// A load takes hundreds of thousands of pieces: the common case, room in
// the active block, is inline.
inline void* NiLoadArena::Allocate(std::size_t uiBytes)
{
#if !defined(__SANITIZE_ADDRESS__)
    std::size_t uiTotal = PieceBytes(uiBytes);
    NiLoadArena* pkArena = s_pkActive;
    if (pkArena != nullptr && uiTotal >= uiBytes &&
        uiTotal <= static_cast<std::size_t>(pkArena->m_pucEnd - pkArena->m_pucNext))
    {
        auto* pkHeader = reinterpret_cast<PieceHeader*>(pkArena->m_pucNext);
        pkArena->m_pucNext += uiTotal;
        ++pkArena->m_uiPending;
        pkHeader->m_pkArena = pkArena;
        pkHeader->m_uiBytes = uiTotal;
        return pkHeader + 1;
    }
#endif
    return AllocateElsewhere(uiBytes, false);
}

inline void* NiLoadArena::AllocateData(std::size_t uiBytes)
{
#if !defined(__SANITIZE_ADDRESS__)
    std::size_t uiTotal = PieceBytes(uiBytes);
    NiLoadArena* pkArena = s_pkActive;
    if (pkArena != nullptr && uiTotal >= uiBytes &&
        uiTotal <= static_cast<std::size_t>(pkArena->m_pucEnd - pkArena->m_pucNext))
    {
        pkArena->m_pucEnd -= uiTotal;
        auto* pkHeader = reinterpret_cast<PieceHeader*>(pkArena->m_pucEnd);
        ++pkArena->m_uiPending;
        pkHeader->m_pkArena = pkArena;
        pkHeader->m_uiBytes = uiTotal;
        return pkHeader + 1;
    }
#endif
    return AllocateElsewhere(uiBytes, true);
}

// The common case of a scene dying, a piece of the block the previous piece
// came from, is counted inline; the rest, and every free under ASan (which
// poisons the piece), goes through FreeElsewhere.
inline void NiLoadArena::Free(void* pv)
{
#if !defined(__SANITIZE_ADDRESS__)
    BatchState& kBatch = s_kBatch;
    if (reinterpret_cast<std::uintptr_t>(pv) - kBatch.m_uiBlockBegin < kBatch.m_uiBlockBytes)
    {
        ++kBatch.m_uiPieces;
        return;
    }
#endif
    if (pv != nullptr)
        FreeElsewhere(pv);
}

// Frees through NiLoadArena::Free, for owners of text and arrays.
struct NiArenaDeleter
{
    void operator()(void* pv) const { NiLoadArena::Free(pv); }
};
using NiArenaString = std::unique_ptr<char, NiArenaDeleter>;

// Copies uiLength bytes; texts of a scene file are mostly a few bytes long,
// which this copies in at most two overlapping moves instead of a call.
inline void NiCopyShortText(void* pvTo, const void* pvFrom, std::size_t uiLength)
{
    auto* pucTo = static_cast<std::uint8_t*>(pvTo);
    const auto* pucFrom = static_cast<const std::uint8_t*>(pvFrom);
    if (uiLength >= 8 && uiLength <= 16)
    {
        std::uint64_t uiHead, uiTail;
        std::memcpy(&uiHead, pucFrom, 8);
        std::memcpy(&uiTail, pucFrom + uiLength - 8, 8);
        std::memcpy(pucTo, &uiHead, 8);
        std::memcpy(pucTo + uiLength - 8, &uiTail, 8);
    }
    else if (uiLength >= 4 && uiLength < 8)
    {
        std::uint32_t uiHead, uiTail;
        std::memcpy(&uiHead, pucFrom, 4);
        std::memcpy(&uiTail, pucFrom + uiLength - 4, 4);
        std::memcpy(pucTo, &uiHead, 4);
        std::memcpy(pucTo + uiLength - 4, &uiTail, 4);
    }
    else if (uiLength < 4)
    {
        for (std::size_t i = 0; i < uiLength; ++i)
            pucTo[i] = pucFrom[i];
    }
    else
    {
        std::memcpy(pucTo, pucFrom, uiLength);
    }
}

// A copy of the text (null for null) that NiLoadArena::Free releases.
[[nodiscard]] char* NiArenaStrDup(const char* pcText);
[[nodiscard]] char* NiArenaStrDup(const char* pcText, std::size_t uiLength);

// Byte-wise order of two texts, bytes compared unsigned (as strcmp), for
// texts that are pieces of their own (NiArenaStrDup, AllocateData): a
// piece starts on an ALIGNMENT boundary and spans whole ALIGNMENT units, so
// the texts are read eight bytes at a time, never past the unit that holds
// a terminator. Names that share their first bytes (a common prefix) then
// cost a step per eight bytes, not one per byte.
[[nodiscard]] inline int NiComparePieceTexts(const char* pcA, const char* pcB)
{
    static_assert(NiLoadArena::ALIGNMENT % 8 == 0);
    static_assert(std::endian::native == std::endian::little, "the first byte is the lowest");
    constexpr std::uint64_t ONES = 0x0101010101010101ull;
    constexpr std::uint64_t HIGHS = 0x8080808080808080ull;
    for (std::size_t i = 0;; i += 8)
    {
        std::uint64_t uiA, uiB;
        std::memcpy(&uiA, pcA + i, 8);
        std::memcpy(&uiB, pcB + i, 8);
        // The lowest flagged byte is the first zero byte of A exactly (the
        // borrow only flags bytes above a zero); bytes beyond it are not
        // the text's and decide nothing.
        std::uint64_t uiStop = (uiA ^ uiB) | ((uiA - ONES) & ~uiA & HIGHS);
        if (uiStop != 0)
        {
            std::size_t uiAt = i + static_cast<std::size_t>(__builtin_ctzll(uiStop) >> 3);
            return static_cast<int>(static_cast<unsigned char>(pcA[uiAt])) -
                   static_cast<int>(static_cast<unsigned char>(pcB[uiAt]));
        }
    }
}

// Zeroed room for uiCount elements of a trivial type, freed by
// NiLoadArena::Free; null for a count of 0. Arrays of pointers are walked
// when their owner dies and lie with the objects; other arrays are data.
template <class T>
[[nodiscard]] T* NiArenaNewArray(std::size_t uiCount)
{
    static_assert(std::is_trivially_destructible_v<T> && std::is_trivially_default_constructible_v<T>);
    static_assert(alignof(T) <= NiLoadArena::ALIGNMENT);
    if (uiCount == 0)
        return nullptr;
    void* pv = std::is_pointer_v<T> ? NiLoadArena::Allocate(uiCount * sizeof(T))
                                    : NiLoadArena::AllocateData(uiCount * sizeof(T));
    std::memset(pv, 0, uiCount * sizeof(T));
    return static_cast<T*>(pv);
}
