#include "engine/scene/NiExtraDataLocal.h"

#include "engine/core/NiViewerStrings.h"

#include <cstdio>

namespace NiExtraDataLocal
{
void FreeStrings(std::uint32_t& uiCount, char**& ppcStrings)
{
    for (std::uint32_t i = 0; ppcStrings != nullptr && i < uiCount; ++i)
        NiLoadArena::Free(ppcStrings[i]);
    NiLoadArena::Free(ppcStrings);
    ppcStrings = nullptr;
    uiCount = 0;
}

void ReadStrings(NiObjectStream& kStream, std::uint32_t& uiCount, char**& ppcStrings)
{
    if (ppcStrings != nullptr)
        FreeStrings(uiCount, ppcStrings);
    uiCount = 0;
    std::uint32_t uiRead = 0;
    if (!kStream.ReadCount(uiRead, 4) || uiRead == 0)
        return;
    // Every slot is set below: not zeroed first.
    ppcStrings = static_cast<char**>(NiLoadArena::Allocate(std::size_t{uiRead} * sizeof(char*)));
    uiCount = uiRead;
    for (std::uint32_t i = 0; i < uiRead; ++i)
        ppcStrings[i] = kStream.ReadArenaString().release();
}

void WriteStrings(NiObjectStream& kStream, std::uint32_t uiCount, char* const* ppcStrings)
{
    kStream.WriteLE(ppcStrings ? uiCount : 0u);
    for (std::uint32_t i = 0; ppcStrings != nullptr && i < uiCount; ++i)
        kStream.WriteString(ppcStrings[i]);
}

char** CopyStrings(std::uint32_t uiCount, char* const* ppcStrings)
{
    if (ppcStrings == nullptr || uiCount == 0)
        return nullptr;
    auto** ppcCopy = NiArenaNewArray<char*>(uiCount);
    for (std::uint32_t i = 0; i < uiCount; ++i)
        ppcCopy[i] = NiArenaStrDup(ppcStrings[i]);
    return ppcCopy;
}

bool EqualStrings(const char* pcA, const char* pcB)
{
    if (pcA == nullptr || pcB == nullptr)
        return pcA == pcB;
    return std::strcmp(pcA, pcB) == 0;
}

bool EqualStringArrays(std::uint32_t uiCountA, char* const* ppcA, std::uint32_t uiCountB, char* const* ppcB)
{
    if (uiCountA != uiCountB || (ppcA == nullptr) != (ppcB == nullptr))
        return false;
    for (std::uint32_t i = 0; ppcA != nullptr && i < uiCountA; ++i)
    {
        if (!EqualStrings(ppcA[i], ppcB[i]))
            return false;
    }
    return true;
}

void AppendStringViewer(NiViewerStringArray& kStrings, std::uint32_t uiCount, char* const* ppcStrings)
{
    kStrings.AddTail(NiViewerUInt("m_uiSize", uiCount));
    for (std::uint32_t i = 0; ppcStrings != nullptr && i < uiCount; ++i)
    {
        char acName[32];
        std::snprintf(acName, sizeof(acName), "m_ppcValue[%u]", i);
        kStrings.AddTail(NiViewerString(acName, ppcStrings[i]));
    }
}
} // namespace NiExtraDataLocal
