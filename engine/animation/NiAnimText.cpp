#include "engine/animation/NiAnimText.h"

#include "engine/scene/NiObjectNET.h"

#include <cstring>

std::unique_ptr<char[]> NiCopyText(const char* pcText)
{
    if (pcText == nullptr)
        return nullptr;
    std::size_t uiLength = std::strlen(pcText) + 1;
    auto spCopy = std::make_unique<char[]>(uiLength);
    std::memcpy(spCopy.get(), pcText, uiLength);
    return spCopy;
}

bool NiTextEqual(const char* pcA, const char* pcB)
{
    if (pcA == nullptr || pcB == nullptr)
        return pcA == pcB;
    return std::strcmp(pcA, pcB) == 0;
}

bool NiSameClassAndName(const NiObjectNET* pkA, const NiObjectNET* pkB)
{
    if (pkA == nullptr || pkB == nullptr)
        return pkA == pkB;
    if (pkA->GetTypeInfo() != pkB->GetTypeInfo())
        return false;
    return NiTextEqual(pkA->GetName(), pkB->GetName());
}
