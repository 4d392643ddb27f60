#pragma once

#include "engine/core/NiRefPtr.h"

#include <cstdint>

// Helpers for the process-wide lists that some engine classes keep of their
// live instances (each instance carries its own previous/next links, so
// joining and leaving the list never allocates). The caller holds the list's
// lock and passes its private link members as member pointers.
//
// The list holds no reference: an item stays on it from the moment its count
// reaches 0 until it has left (before its destructor runs), so whatever
// hands an item out must take it with NiInstanceListTake, never by plain
// counting.
// Items this thread has put on any instance list so far. Only such a list
// lets another thread find an object it was not handed: a scene-file load
// compares the count before and after to learn whether any object it made
// may be reached from elsewhere.
[[nodiscard]] inline std::uint64_t& NiInstanceListThreadAppends()
{
    static constinit thread_local std::uint64_t s_uiAppends = 0;
    return s_uiAppends;
}

template <class T>
void NiInstanceListAppend(T*& pkHead, T*& pkTail, T* pkItem, T* T::*pPrev, T* T::*pNext)
{
    ++NiInstanceListThreadAppends();
    pkItem->MarkListed();
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

// A counted reference to pkItem, or null when its count already reached 0
// (it is being deleted and must be skipped). The caller holds the list lock,
// which keeps the memory alive until the dying item has left the list.
template <class T>
NiRefPtr<T> NiInstanceListTake(T* pkItem)
{
    if (pkItem == nullptr || !pkItem->TryIncRefCount())
        return nullptr;
    NiRefPtr<T> spItem = pkItem;
    pkItem->DecRefCount(); // the pointer holds its own reference now
    return spItem;
}

// The first item that fnMatches accepts and that can still be taken, with a
// reference held; a dying match is skipped. Items are whole while listed
// (they leave before any part of them is destroyed), so fnMatches may read
// them; only the match is counted, so nothing is released under the lock.
// The caller holds the list lock.
template <class T, class Match>
NiRefPtr<T> NiInstanceListFind(T* pkHead, T* T::*pNext, Match&& fnMatches)
{
    for (T* pk = pkHead; pk != nullptr; pk = pk->*pNext)
    {
        if (!fnMatches(*pk))
            continue;
        if (NiRefPtr<T> spItem = NiInstanceListTake(pk))
            return spItem;
    }
    return nullptr;
}
