#include "engine/shaders/nsb/NiShaderLibraryDesc.h"

#include <cstring>

void NiShaderLibraryDesc::AddShaderDesc(NiShaderDesc* pkDesc)
{
    if (pkDesc != nullptr)
        m_kShaders.emplace_back(pkDesc);
}

NiShaderDesc* NiShaderLibraryDesc::GetShaderDesc(const char* pcName) const
{
    if (pcName == nullptr)
        return nullptr;
    for (const NiShaderDescPtr& spDesc : m_kShaders)
    {
        const char* pcOther = spDesc->GetName();
        if (pcOther != nullptr && std::strcmp(pcOther, pcName) == 0)
            return spDesc.Get();
    }
    return nullptr;
}
