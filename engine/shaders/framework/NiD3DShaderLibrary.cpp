#include "engine/shaders/framework/NiD3DShaderLibrary.h"

#include "engine/shaders/nsb/NiShaderLibraryDesc.h"

NiD3DShaderLibrary::NiD3DShaderLibrary(const char* pcName) : NiShaderLibraryBase(pcName) {}

NiD3DShaderLibrary::~NiD3DShaderLibrary()
{
    m_uiReserved = 0;
    SetLibraryDesc(nullptr);
}

NiShader* NiD3DShaderLibrary::GetShader(NiRenderer*, const char*, std::uint32_t)
{
    return nullptr;
}

NiShaderLibraryDesc* NiD3DShaderLibrary::GetLibraryDesc()
{
    return m_pkLibraryDesc;
}

void NiD3DShaderLibrary::SetLibraryDesc(NiShaderLibraryDesc* pkDesc)
{
    if (pkDesc == m_pkLibraryDesc)
        return;
    if (pkDesc)
        pkDesc->IncRefCount();
    NiShaderLibraryDesc* pkOld = m_pkLibraryDesc;
    m_pkLibraryDesc = pkDesc;
    if (pkOld)
        pkOld->DecRefCount();
}
