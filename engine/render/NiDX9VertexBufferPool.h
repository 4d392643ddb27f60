#pragma once

#include "engine/core/NiSparsePtrArray.h"
#include "platform/gfx/Gfx.h"

#include <cstdint>

class NiDX9VertexBufferChunk;
class NiDX9VertexBufferPool;

// Where one vertex stream lives: a buffer, an offset and how to lock it.
// Ranges of a pool also know their chunk and their slot in it.
class NiDX9VertexBufferRange
{
public:
    std::uint32_t m_uiIndex = 0;
    NiDX9VertexBufferChunk* m_pkChunk = nullptr;
    gfx::IDirect3DVertexBuffer9* m_pkVB = nullptr; // owned only by ranges of the static group
    std::uint32_t m_uiOffset = 0;
    std::uint32_t m_uiLockFlags = 0;
    std::uint32_t m_uiSize = 0;
    NiDX9VertexBufferRange* m_pkNext = nullptr;
    NiDX9VertexBufferRange* m_pkPrev = nullptr;

    // Nodes come from a process-wide free list refilled 32 at a time, so
    // steady-state packing does no heap work.
    [[nodiscard]] static NiDX9VertexBufferRange* Take();
    static void Give(NiDX9VertexBufferRange* pkRange);
};

// One managed vertex buffer of a pool; ranges are cut at its tail.
class NiDX9VertexBufferChunk
{
public:
    NiDX9VertexBufferPool* m_pkPool = nullptr;
    std::uint32_t m_uiIndex = 0;
    gfx::IDirect3DVertexBuffer9* m_pkVB = nullptr; // owned
    std::uint32_t m_uiSize = 0;
    std::uint32_t m_uiFVF = 0;
    std::uint32_t m_uiFlags = 0;
    std::uint32_t m_uiUsage = 0;
    std::uint32_t m_uiPool = 0;
    std::uint32_t m_uiTail = 0;
    std::uint32_t m_uiRoom = 0;
    std::uint32_t m_uiFree = 0;
    NiSparsePtrArray<NiDX9VertexBufferRange*> m_kRanges{0, 1};
    NiDX9VertexBufferChunk* m_pkNext = nullptr;
    NiDX9VertexBufferChunk* m_pkPrev = nullptr;

    [[nodiscard]] NiDX9VertexBufferRange* AllocateRange(std::uint32_t uiSize);
    // The bytes given back; 0 for an empty slot.
    std::uint32_t FreeRange(std::uint32_t uiRangeIndex);
    // Releases the buffer and clears every field (the node goes back to the free list).
    void Reset();
};

// Managed vertex buffers of one vertex format, cut into ranges by best fit.
class NiDX9VertexBufferPool
{
public:
    static constexpr std::uint32_t DEFAULT_CHUNK_SIZE = 0x10000;
    static constexpr std::uint32_t MIN_ROOM = 0x80;
    static constexpr std::uint32_t FREE_LIST_REFILL = 32;
    static constexpr std::uint32_t SOFTWARE_PROCESSING = 0x80000000u;
    static constexpr std::uint32_t EXACT_SIZE = 0x10000000u;

    // Null when memory runs out.
    [[nodiscard]] static NiDX9VertexBufferPool* Create(std::uint32_t uiChunkSize, gfx::IDirect3DDevice9* pkDevice,
                                                       std::uint32_t uiFVF, std::uint32_t uiFlags);
    ~NiDX9VertexBufferPool();
    NiDX9VertexBufferPool(const NiDX9VertexBufferPool&) = delete;
    NiDX9VertexBufferPool& operator=(const NiDX9VertexBufferPool&) = delete;

    [[nodiscard]] NiDX9VertexBufferRange* AllocateRange(std::uint32_t uiSize, bool bForceNewChunk);
    void FreeRange(std::uint32_t uiChunkIndex, std::uint32_t uiRangeIndex);
    [[nodiscard]] NiDX9VertexBufferChunk* CreateChunk(std::uint32_t uiSize);

    [[nodiscard]] std::uint32_t GetUsage() const { return m_uiUsage; }
    [[nodiscard]] std::uint32_t GetFVF() const { return m_uiFVF; }
    [[nodiscard]] NiDX9VertexBufferChunk* GetChunk(std::uint32_t uiIndex) const { return m_kChunks.GetAt(uiIndex); }
    [[nodiscard]] std::uint32_t GetChunkCount() const { return m_kChunks.GetEffectiveSize(); }
    [[nodiscard]] bool IsInRoomList(const NiDX9VertexBufferChunk* pkChunk) const;

    // Frees the idle range nodes, then the idle chunk nodes.
    static void FreeChunkPool();
    // Test views of the free lists: idle nodes and refills so far.
    [[nodiscard]] static std::uint32_t GetFreeChunkNodes();
    [[nodiscard]] static std::uint32_t GetFreeRangeNodes();
    [[nodiscard]] static std::uint32_t GetFreeListRefills();

private:
    NiDX9VertexBufferPool() = default;
    void InsertByRoom(NiDX9VertexBufferChunk* pkChunk);
    void Unlink(NiDX9VertexBufferChunk* pkChunk);
    void GiveBack(NiDX9VertexBufferChunk* pkChunk);

    std::uint32_t m_uiFVF = 0;
    std::uint32_t m_uiFlags = 0;
    std::uint32_t m_uiChunkSize = DEFAULT_CHUNK_SIZE;
    gfx::IDirect3DDevice9* m_pkDevice = nullptr; // one reference
    std::uint32_t m_uiUsage = gfx::D3DUSAGE_WRITEONLY;
    std::uint32_t m_uiPool = gfx::D3DPOOL_MANAGED;
    NiSparsePtrArray<NiDX9VertexBufferChunk*> m_kChunks{0, 1};
    NiDX9VertexBufferChunk* m_pkRoomList = nullptr;
    std::uint32_t m_uiMinRoom = MIN_ROOM;
};
