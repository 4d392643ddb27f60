#include "engine/core/NiSharedTextureTable.h"

namespace
{
NiSharedTextureTable::SearchAllFunction s_pfnSearchAll = nullptr;
} // namespace

NiObjectPtr NiSharedTextureTable::FindTexture(const char* pcName, const NiObject* pkLoading)
{
    if (pcName == nullptr)
        return nullptr;
    NiObject* pkTexture = nullptr;
    if (m_kTextures.GetAt(pcName, pkTexture))
        return pkTexture;
    if (m_bSearchAll && s_pfnSearchAll != nullptr)
        return s_pfnSearchAll(pcName, pkLoading);
    return nullptr;
}

void NiSharedTextureTable::AddTexture(const char* pcName, NiObject* pkTexture)
{
    if (pcName != nullptr)
        m_kTextures.SetAt(pcName, pkTexture);
}

void NiSharedTextureTable::SetSearchAllFunction(SearchAllFunction pfnSearch)
{
    s_pfnSearchAll = pfnSearch;
}
