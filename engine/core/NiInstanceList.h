#pragma once

#include <cstdint>

// Helpers for the process-wide lists that some engine classes keep of their
// live instances (each instance carries its own previous/next links, so
// joining and leaving the list never allocates). The caller holds the list's
// lock and passes its private link members as member pointers.
template <class T>
void NiInstanceListAppend(T*& pkHead, T*& pkTail, T* pkItem, T* T::*pPrev, T* T::*pNext)
{
    if (pkHead == nullptr)
        pkHead = pkItem;
    if (pkTail != nullptr)
    {
        pkTail->*pNext = pkItem;
        pkItem->*pPrev = pkTail;
    }
    pkTail = pkItem;
    pkItem->*pNext = nullptr;
}

template <class T>
void NiInstanceListRemove(T*& pkHead, T*& pkTail, T* pkItem, T* T::*pPrev, T* T::*pNext)
{
    T* pkPrev = pkItem->*pPrev;
    T* pkNext = pkItem->*pNext;
    if (pkHead == pkItem)
        pkHead = pkNext;
    if (pkTail == pkItem)
        pkTail = pkPrev;
    if (pkPrev != nullptr)
        pkPrev->*pNext = pkNext;
    if (pkNext != nullptr)
        pkNext->*pPrev = pkPrev;
    pkItem->*pPrev = nullptr;
    pkItem->*pNext = nullptr;
}

template <class T>
std::uint32_t NiInstanceListCount(const T* pkHead, T* T::*pNext)
{
    std::uint32_t uiCount = 0;
    for (const T* pk = pkHead; pk != nullptr; pk = pk->*pNext)
        ++uiCount;
    return uiCount;
}
