#pragma once

// Private to engine/scene: the array helpers the extra-data classes share.

#include "engine/core/NiObjectStream.h"
#include "engine/scene/NiExtraData.h"

#include <cstdint>
#include <cstring>

namespace NiExtraDataLocal
{
// The arrays, strings and string arrays of these helpers are freed by
// NiLoadArena::Free (a load's live in its arena).

// Reads a u32 count and that many elements of 4 bytes; the array is null for
// 0 (and after a failure).
template <class T>
void ReadArray(NiObjectStream& kStream, std::uint32_t& uiCount, T*& pArray)
{
    static_assert(sizeof(T) == 4);
    NiLoadArena::Free(pArray);
    pArray = nullptr;
    if (!kStream.ReadCount(uiCount, 4) || uiCount == 0)
        return;
    // The count was checked against the bytes left: one copy, into an array
    // that is not zeroed first.
    const std::uint8_t* puc = kStream.TakeBytes(std::uint64_t{uiCount} * 4);
    if (puc == nullptr)
    {
        uiCount = 0;
        return;
    }
    pArray = static_cast<T*>(NiLoadArena::AllocateData(std::size_t{uiCount} * 4));
    std::memcpy(pArray, puc, std::size_t{uiCount} * 4);
}

template <class T>
void WriteArray(NiObjectStream& kStream, std::uint32_t uiCount, const T* pArray)
{
    kStream.WriteLE(pArray ? uiCount : 0u);
    for (std::uint32_t i = 0; pArray != nullptr && i < uiCount; ++i)
        kStream.WriteLE(pArray[i]);
}

// A new array with the same elements; null for none.
template <class T>
T* CopyArray(std::uint32_t uiCount, const T* pArray)
{
    if (pArray == nullptr || uiCount == 0)
        return nullptr;
    T* pCopy = NiArenaNewArray<T>(uiCount);
    std::memcpy(pCopy, pArray, uiCount * sizeof(T));
    return pCopy;
}

// Counts, presence and elements (floats exactly).
template <class T>
bool EqualArrays(std::uint32_t uiCountA, const T* pA, std::uint32_t uiCountB, const T* pB)
{
    if (uiCountA != uiCountB || (pA == nullptr) != (pB == nullptr))
        return false;
    for (std::uint32_t i = 0; pA != nullptr && i < uiCountA; ++i)
    {
        if (!(pA[i] == pB[i]))
            return false;
    }
    return true;
}

void FreeStrings(std::uint32_t& uiCount, char**& ppcStrings);
// A u32 count, then that many length-prefixed strings (each needs at least
// its 4-byte length in the file).
void ReadStrings(NiObjectStream& kStream, std::uint32_t& uiCount, char**& ppcStrings);
void WriteStrings(NiObjectStream& kStream, std::uint32_t uiCount, char* const* ppcStrings);
char** CopyStrings(std::uint32_t uiCount, char* const* ppcStrings);
// Byte for byte; two null strings are equal.
bool EqualStrings(const char* pcA, const char* pcB);
bool EqualStringArrays(std::uint32_t uiCountA, char* const* ppcA, std::uint32_t uiCountB, char* const* ppcB);
void AppendStringViewer(NiViewerStringArray& kStrings, std::uint32_t uiCount, char* const* ppcStrings);
} // namespace NiExtraDataLocal
