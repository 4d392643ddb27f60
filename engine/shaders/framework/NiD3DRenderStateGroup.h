#pragma once

#include "engine/shaders/framework/NiD3DPool.h"

#include <cstdint>
#include <memory>

class NiD3DRenderState;
class NiDX9Renderer;

// A short list of render states with values, set before a pass or a whole
// shader and put back afterwards. Saved states are set so that the state
// cache keeps the previous value on record and RestoreRenderStates can bring
// it back; unsaved ones are simply set. A state lives in one list only.
class NiD3DRenderStateGroup
{
public:
    struct Entry
    {
        std::uint32_t m_uiState = 0;
        std::uint32_t m_uiValue = 0;
        Entry* m_pkNext = nullptr;
        Entry* m_pkPrev = nullptr;
    };

    NiD3DRenderStateGroup() = default;
    // A group made directly gives its entries back to the entry pool.
    ~NiD3DRenderStateGroup();
    NiD3DRenderStateGroup(const NiD3DRenderStateGroup&) = delete;
    NiD3DRenderStateGroup& operator=(const NiD3DRenderStateGroup&) = delete;

    // From the group pool.
    [[nodiscard]] static NiD3DRenderStateGroup* CreateRenderStateGroup();
    // Back to the pool (pooled) or deleted; null is ignored.
    static void DeleteRenderStateGroup(NiD3DRenderStateGroup* pkGroup);

    void SetRenderState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave);
    // Unsaved list first; false when the group does not hold the state.
    bool GetRenderState(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const;
    // Unsaved entries, then saved ones, each list from its head.
    std::uint32_t SetRenderStates();
    // Saved entries only, back to what the cache had before.
    std::uint32_t RestoreRenderStates();
    // Every entry back to the entry pool.
    void RemoveAllRenderStates();

    [[nodiscard]] bool IsPooled() const { return m_bPooled; }
    [[nodiscard]] std::uint32_t GetUnsavedCount() const { return m_uiUnsavedCount; }
    [[nodiscard]] std::uint32_t GetSavedCount() const { return m_uiSavedCount; }
    [[nodiscard]] const Entry* GetUnsavedHead() const { return m_pkUnsaved; }
    [[nodiscard]] const Entry* GetSavedHead() const { return m_pkSaved; }

    static void SetRenderer(NiDX9Renderer* pkRenderer);
    [[nodiscard]] static NiD3DRenderState* GetRenderState() { return ms_pkRenderState; }
    static void CreatePools();
    static void DestroyPools();
    [[nodiscard]] static NiD3DPool<NiD3DRenderStateGroup>* GetGroupPool() { return ms_spGroupPool.get(); }
    [[nodiscard]] static NiD3DPool<Entry>* GetEntryPool() { return ms_spEntryPool.get(); }

    static constexpr std::uint32_t GROUP_BLOCK = 8;
    static constexpr std::uint32_t ENTRY_BLOCK = 16;

private:
    Entry* Find(std::uint32_t uiState, bool& bSaved) const;
    void Unlink(Entry* pkEntry, bool bSaved);
    void PushFront(Entry* pkEntry, bool bSaved);
    void ReturnEntries(Entry*& pkHead, bool bSkipFree);

    bool m_bPooled = false;
    std::uint32_t m_uiUnsavedCount = 0;
    Entry* m_pkUnsaved = nullptr;
    std::uint32_t m_uiSavedCount = 0;
    Entry* m_pkSaved = nullptr;

    static NiDX9Renderer* ms_pkRenderer;
    static NiD3DRenderState* ms_pkRenderState;
    static std::unique_ptr<NiD3DPool<NiD3DRenderStateGroup>> ms_spGroupPool;
    static std::unique_ptr<NiD3DPool<Entry>> ms_spEntryPool;
};
