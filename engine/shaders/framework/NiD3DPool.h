#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

// A free-list pool of objects made in blocks that double in size and are
// freed only with the pool: once warm, taking and returning allocate nothing.
template <class T>
class NiD3DPool
{
public:
    explicit NiD3DPool(std::uint32_t uiFirstBlock) : m_uiInitialBlockSize(uiFirstBlock), m_uiNextBlockSize(uiFirstBlock)
    {
    }
    NiD3DPool(const NiD3DPool&) = delete;
    NiD3DPool& operator=(const NiD3DPool&) = delete;

    // The first free object; the last free one takes its place. An empty
    // free list first gets a new block.
    T* Take()
    {
        if (m_kFree.empty())
            Grow();
        T* pkItem = m_kFree.front();
        m_kFree.front() = m_kFree.back();
        m_kFree.pop_back();
        return pkItem;
    }
    // Appended to the free list unless it is there already.
    void Return(T* pkItem)
    {
        if (pkItem == nullptr || std::find(m_kFree.begin(), m_kFree.end(), pkItem) != m_kFree.end())
            return;
        m_kFree.push_back(pkItem);
    }
    [[nodiscard]] bool IsFree(const T* pkItem) const
    {
        return std::find(m_kFree.begin(), m_kFree.end(), pkItem) != m_kFree.end();
    }

    [[nodiscard]] std::uint32_t GetFreeCount() const { return static_cast<std::uint32_t>(m_kFree.size()); }
    [[nodiscard]] std::uint32_t GetBlockCount() const { return static_cast<std::uint32_t>(m_kBlocks.size()); }
    // Items of all blocks together.
    [[nodiscard]] std::uint32_t GetItemCount() const { return m_uiItems; }
    [[nodiscard]] std::uint32_t GetNextBlockSize() const { return m_uiNextBlockSize; }
    [[nodiscard]] std::uint32_t GetInitialBlockSize() const { return m_uiInitialBlockSize; }
    // The size of block i in the order they were made.
    [[nodiscard]] std::uint32_t GetBlockSize(std::uint32_t ui) const { return m_kBlockSizes[ui]; }

private:
    void Grow()
    {
        const std::uint32_t uiCount = m_uiNextBlockSize;
        m_kBlocks.push_back(std::make_unique<T[]>(uiCount));
        m_kBlockSizes.push_back(uiCount);
        T* pkBlock = m_kBlocks.back().get();
        for (std::uint32_t ui = 0; ui < uiCount; ++ui)
            m_kFree.push_back(&pkBlock[ui]);
        m_uiItems += uiCount;
        m_uiNextBlockSize *= 2;
    }

    std::vector<T*> m_kFree;
    std::uint32_t m_uiInitialBlockSize;
    std::uint32_t m_uiNextBlockSize;
    std::uint32_t m_uiItems = 0;
    std::vector<std::unique_ptr<T[]>> m_kBlocks;
    std::vector<std::uint32_t> m_kBlockSizes;
};
