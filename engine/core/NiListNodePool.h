#pragma once

#include <cstdint>

// A list node: next, previous and one pointer-sized element. Hash-map nodes
// of the pooled maps reuse the same storage.
struct NiListNode
{
    NiListNode* m_pkNext;
    NiListNode* m_pkPrev;
    void* m_pvElement;
};

// The process-wide pool every engine list takes its nodes from. Blocks of
// 2048 nodes; node 0 of each block links the blocks, 1-2047 go free.
class NiListNodePool
{
public:
    static constexpr std::uint32_t BLOCK_NODES = 2048;

    // A zeroed node; never null (allocation failure ends the process like
    // any other out-of-memory in the engine).
    static NiListNode* Allocate();
    static void Free(NiListNode* pkNode);
    // Frees every block. Nodes still in use keep their blocks alive until
    // the last of them comes back, then the blocks go.
    static void FreeAll();

    // While a batch is open on a thread, the nodes freed there wait in a
    // chain of that thread, and its allocations take nodes from that chain
    // first, then several at a time from the pool: one lock for many nodes
    // instead of one per node (a load links and a scene dies node by
    // node). The chain goes back to the pool when the outermost batch
    // closes. Nodes in a chain count as in use (FreeAll waits for them).
    class Batch
    {
    public:
        Batch();
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
    };

    // For tests and diagnostics.
    [[nodiscard]] static std::uint32_t GetBlockCount();
    [[nodiscard]] static std::uint32_t GetNodesInUse();
    [[nodiscard]] static bool IsFreeAllPending();
};
