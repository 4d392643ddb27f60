#include "engine/shaders/framework/NiD3DRenderStateGroup.h"

#include "engine/render/NiDX9Renderer.h"

NiDX9Renderer* NiD3DRenderStateGroup::ms_pkRenderer = nullptr;
NiD3DRenderState* NiD3DRenderStateGroup::ms_pkRenderState = nullptr;
std::unique_ptr<NiD3DPool<NiD3DRenderStateGroup>> NiD3DRenderStateGroup::ms_spGroupPool;
std::unique_ptr<NiD3DPool<NiD3DRenderStateGroup::Entry>> NiD3DRenderStateGroup::ms_spEntryPool;

NiD3DRenderStateGroup::~NiD3DRenderStateGroup()
{
    // Pooled groups are freed with their block, after the entry pool may be
    // gone; their entries go back when the group does.
    if (!m_bPooled)
    {
        ReturnEntries(m_pkUnsaved, true);
        ReturnEntries(m_pkSaved, true);
    }
}

NiD3DRenderStateGroup* NiD3DRenderStateGroup::CreateRenderStateGroup()
{
    if (ms_spGroupPool == nullptr)
        return nullptr;
    NiD3DRenderStateGroup* pkGroup = ms_spGroupPool->Take();
    pkGroup->m_bPooled = true;
    return pkGroup;
}

void NiD3DRenderStateGroup::DeleteRenderStateGroup(NiD3DRenderStateGroup* pkGroup)
{
    if (pkGroup == nullptr)
        return;
    if (!pkGroup->m_bPooled)
    {
        delete pkGroup;
        return;
    }
    pkGroup->RemoveAllRenderStates();
    if (ms_spGroupPool != nullptr)
        ms_spGroupPool->Return(pkGroup);
}

NiD3DRenderStateGroup::Entry* NiD3DRenderStateGroup::Find(std::uint32_t uiState, bool& bSaved) const
{
    for (Entry* pkEntry = m_pkUnsaved; pkEntry != nullptr; pkEntry = pkEntry->m_pkNext)
    {
        if (pkEntry->m_uiState == uiState)
        {
            bSaved = false;
            return pkEntry;
        }
    }
    for (Entry* pkEntry = m_pkSaved; pkEntry != nullptr; pkEntry = pkEntry->m_pkNext)
    {
        if (pkEntry->m_uiState == uiState)
        {
            bSaved = true;
            return pkEntry;
        }
    }
    return nullptr;
}

void NiD3DRenderStateGroup::Unlink(Entry* pkEntry, bool bSaved)
{
    Entry*& pkHead = bSaved ? m_pkSaved : m_pkUnsaved;
    if (pkEntry->m_pkPrev != nullptr)
        pkEntry->m_pkPrev->m_pkNext = pkEntry->m_pkNext;
    else
        pkHead = pkEntry->m_pkNext;
    if (pkEntry->m_pkNext != nullptr)
        pkEntry->m_pkNext->m_pkPrev = pkEntry->m_pkPrev;
    pkEntry->m_pkNext = nullptr;
    pkEntry->m_pkPrev = nullptr;
    --(bSaved ? m_uiSavedCount : m_uiUnsavedCount);
}

void NiD3DRenderStateGroup::PushFront(Entry* pkEntry, bool bSaved)
{
    Entry*& pkHead = bSaved ? m_pkSaved : m_pkUnsaved;
    pkEntry->m_pkPrev = nullptr;
    pkEntry->m_pkNext = pkHead;
    if (pkHead != nullptr)
        pkHead->m_pkPrev = pkEntry;
    pkHead = pkEntry;
    ++(bSaved ? m_uiSavedCount : m_uiUnsavedCount);
}

void NiD3DRenderStateGroup::SetRenderState(std::uint32_t uiState, std::uint32_t uiValue, bool bSave)
{
    bool bInSaved = false;
    Entry* pkEntry = Find(uiState, bInSaved);
    if (pkEntry != nullptr)
    {
        pkEntry->m_uiValue = uiValue;
        if (bInSaved != bSave)
        {
            Unlink(pkEntry, bInSaved);
            PushFront(pkEntry, bSave);
        }
        return;
    }
    if (ms_spEntryPool == nullptr)
        return;
    pkEntry = ms_spEntryPool->Take();
    pkEntry->m_uiState = uiState;
    pkEntry->m_uiValue = uiValue;
    PushFront(pkEntry, bSave);
}

bool NiD3DRenderStateGroup::GetRenderState(std::uint32_t uiState, std::uint32_t& uiValue, bool& bSave) const
{
    bool bInSaved = false;
    const Entry* pkEntry = Find(uiState, bInSaved);
    if (pkEntry == nullptr)
        return false;
    uiValue = pkEntry->m_uiValue;
    bSave = bInSaved;
    return true;
}

std::uint32_t NiD3DRenderStateGroup::SetRenderStates()
{
    if (ms_pkRenderState == nullptr)
        return 0;
    for (const Entry* pkEntry = m_pkUnsaved; pkEntry != nullptr; pkEntry = pkEntry->m_pkNext)
        ms_pkRenderState->SetRenderState(pkEntry->m_uiState, pkEntry->m_uiValue, false);
    for (const Entry* pkEntry = m_pkSaved; pkEntry != nullptr; pkEntry = pkEntry->m_pkNext)
        ms_pkRenderState->SetRenderState(pkEntry->m_uiState, pkEntry->m_uiValue, true);
    return 0;
}

std::uint32_t NiD3DRenderStateGroup::RestoreRenderStates()
{
    if (ms_pkRenderState == nullptr)
        return 0;
    for (const Entry* pkEntry = m_pkSaved; pkEntry != nullptr; pkEntry = pkEntry->m_pkNext)
        ms_pkRenderState->RestoreRenderState(pkEntry->m_uiState);
    return 0;
}

void NiD3DRenderStateGroup::ReturnEntries(Entry*& pkHead, bool bSkipFree)
{
    while (pkHead != nullptr)
    {
        Entry* pkEntry = pkHead;
        pkHead = pkEntry->m_pkNext;
        *pkEntry = Entry();
        if (ms_spEntryPool != nullptr && !(bSkipFree && ms_spEntryPool->IsFree(pkEntry)))
            ms_spEntryPool->Return(pkEntry);
    }
}

void NiD3DRenderStateGroup::RemoveAllRenderStates()
{
    ReturnEntries(m_pkUnsaved, false);
    ReturnEntries(m_pkSaved, false);
    m_uiUnsavedCount = 0;
    m_uiSavedCount = 0;
}

void NiD3DRenderStateGroup::SetRenderer(NiDX9Renderer* pkRenderer)
{
    ms_pkRenderer = pkRenderer;
    ms_pkRenderState = pkRenderer != nullptr ? pkRenderer->GetRenderState() : nullptr;
}

void NiD3DRenderStateGroup::CreatePools()
{
    if (ms_spGroupPool == nullptr)
        ms_spGroupPool = std::make_unique<NiD3DPool<NiD3DRenderStateGroup>>(GROUP_BLOCK);
    if (ms_spEntryPool == nullptr)
        ms_spEntryPool = std::make_unique<NiD3DPool<Entry>>(ENTRY_BLOCK);
}

void NiD3DRenderStateGroup::DestroyPools()
{
    // Pooled groups die with their blocks: their entries die with the
    // entry pool's own blocks right after.
    ms_spGroupPool.reset();
    ms_spEntryPool.reset();
}
